#!/bin/sh
# `cmake --install` into a scratch prefix:   check-install.sh BUILD_DIR WORK_DIR
# exactly the programs, man pages and documents; the installed tolvex converts
# like the build tree's, and uses the sections of the example icon.def.
set -u
me=check-install usage="BUILD_DIR WORK_DIR"
. "$(dirname "$0")/../lib.sh"
usage_unless [ $# -eq 2 ]
build=$(abs "$1") || exit 2
work=$2
rm -rf "$work" && mkdir -p "$work" && work=$(cd "$work" && pwd)
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
check "installed files" same_files "$prefix" bin/tolvex bin/tolvex-check \
  share/man/man1/tolvex.1.gz share/man/man1/tolvex-check.1.gz \
  share/doc/tolvex/README.md share/doc/tolvex/LICENSE share/doc/tolvex/icon.def \
  share/doc/tolvex/copyright share/doc/tolvex/changelog.gz

"$build/tools/tolvex-mkbook" --sample "$work/book" >/dev/null || die tolvex-mkbook
convert "$work/build-tree" "$build/src/tolvex"
convert "$work/installed" "$prefix/bin/tolvex"
check "installed tolvex converts the sample book like the build tree's" same_conversion "$work/installed" "$work/build-tree"
check "installed tolvex-check verifies that package" sh -c '"$1" --book "$2" "$3" >"$4"' - \
  "$prefix/bin/tolvex-check" "$work/book/CATALOGS" "$work/installed/Dic/SAMPLE" "$work/check.log"

# The example icon.def: DEFAULT for SAMPLE, MYDICT for a package of that name.
mkdir -p "$work/icons" && cp "$prefix/share/doc/tolvex/icon.def" "$work/icons/"
(cd "$work/icons" && "$prefix/bin/tolvex" ../book/CATALOGS SAMPLE >/dev/null &&
  "$prefix/bin/tolvex" ../book/CATALOGS SAMPLE MYDICT >/dev/null)
icons=$(grep -a 'Selected icons' "$work/icons/tolvex.log" | tr -d '\r' | tr '\n' '|')
check "example icon.def: DEFAULT and MYDICT sections used ($icons)" \
  test "$icons" = "    Selected icons: DEFAULT_16, DEFAULT_32|    Selected icons: MYDICT_16, MYDICT_32|"
finish
