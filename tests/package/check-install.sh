#!/bin/sh
# `cmake --install` as a user from source runs it:
#   check-install.sh BUILD_DIR WORK_DIR
# installs BUILD_DIR into a scratch prefix, requires exactly the programs,
# man pages and documents there (nothing from tests), converts the sample
# book with the installed tolvex from a directory outside the build and
# requires the package of the build tree's tolvex, byte for byte; and runs
# with the installed example icon.def, whose sections must be the ones used.
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
check "installed tolvex-check verifies that package" \
  "$prefix/bin/tolvex-check" --book "$work/book/CATALOGS" "$work/installed/Dic/SAMPLE" >"$work/check.log"

# The example icon.def: DEFAULT for the sample, the MYDICT sections for a
# package of that name.
mkdir -p "$work/icons" && cp "$prefix/share/doc/tolvex/icon.def" "$work/icons/"
(cd "$work/icons" && "$prefix/bin/tolvex" ../book/CATALOGS SAMPLE >/dev/null &&
  "$prefix/bin/tolvex" ../book/CATALOGS SAMPLE MYDICT >/dev/null)
icons=$(grep -a 'Selected icons' "$work/icons/tolvex.log" | tr -d '\r' | tr '\n' '|')
check "example icon.def: DEFAULT and MYDICT sections used ($icons)" \
  test "$icons" = "    Selected icons: DEFAULT_16, DEFAULT_32|    Selected icons: MYDICT_16, MYDICT_32|"
finish
