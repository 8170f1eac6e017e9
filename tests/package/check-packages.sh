#!/bin/sh
# The packages of `make package` as users get them:   check-packages.sh BUILD_DIR DIST_DIR
# .deb (made from `cmake --install`): lintian clean, exactly the programs, man
# pages and documents, Depends without the EB library, its example icon.def
# used; zip: exactly the programs and the CR LF text files,
# no DLL beyond Windows' own. Each one's tolvex (the .exe under Wine) converts
# the sample book to BUILD_DIR's package byte for byte.
set -u
me=check-packages usage="BUILD_DIR DIST_DIR"
skip_status=0  # run by make, which knows no "skipped"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib.sh"
usage_unless [ $# -eq 2 ]
build=$(abs "$1") && dist=$(abs "$2") || exit 2
need lintian:lintian dpkg-deb:dpkg x86_64-w64-mingw32-objdump:binutils-mingw-w64-x86-64
need_wine
wine_run=$here/../windows/wine-run.sh

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$dist/tolvex_${version}_amd64.deb
zip=$dist/tolvex-$version-win64.zip
work=$build/package-check
rm -rf "$work" && mkdir -p "$work"

"$build/tools/tolvex-mkbook" --sample "$work/book" >/dev/null || die tolvex-mkbook
convert "$work/build-tree" "$build/src/tolvex"

echo "== $(basename "$deb")"
if [ -f "$deb" ]; then
  lintian --pedantic --display-info "$deb" >"$work/lintian.log" 2>&1
  sed 's/^/    /' "$work/lintian.log" | grep -v 'root privileges'
  check "lintian: no error" test "$(grep -c '^E:' "$work/lintian.log")" -eq 0
  dpkg-deb -x "$deb" "$work/deb"
  check "the .deb holds the programs, man pages and documents only" same_files "$work/deb" \
    usr/bin/tolvex usr/bin/tolvex-check \
    usr/share/man/man1/tolvex.1.gz usr/share/man/man1/tolvex-check.1.gz \
    usr/share/doc/tolvex/README.md usr/share/doc/tolvex/icon.def \
    usr/share/doc/tolvex/copyright usr/share/doc/tolvex/changelog.gz
  # The EB library serves the tests only and must not reach the programs.
  check "Depends (from the binaries) names libc6, not the EB library: $(dpkg-deb -f "$deb" Depends)" \
    sh -c "dpkg-deb -f '$deb' Depends | grep 'libc6 (>=' | grep -v -q libeb"
  convert "$work/deb-run" "$work/deb/usr/bin/tolvex"
  check "the .deb's tolvex converts the sample book like the build tree's" \
    same_conversion "$work/deb-run" "$work/build-tree"
  check "the .deb's tolvex-check verifies that package" \
    sh -c '"$1" --book "$2" "$3" >"$4"' - "$work/deb/usr/bin/tolvex-check" "$work/book/CATALOGS" "$work/deb-run/Dic/SAMPLE" "$work/check.log"
  # The example icon.def: DEFAULT for SAMPLE, MYDICT for a package of that name.
  mkdir -p "$work/icons" && cp "$work/deb/usr/share/doc/tolvex/icon.def" "$work/icons/"
  (cd "$work/icons" && "$work/deb/usr/bin/tolvex" ../book/CATALOGS SAMPLE >/dev/null &&
    "$work/deb/usr/bin/tolvex" ../book/CATALOGS SAMPLE MYDICT >/dev/null)
  icons=$(grep -a 'Selected icons' "$work/icons/tolvex.log" | tr -d '\r' | tr '\n' '|')
  check "the example icon.def: DEFAULT and MYDICT sections used ($icons)" \
    test "$icons" = "    Selected icons: DEFAULT_16, DEFAULT_32|    Selected icons: MYDICT_16, MYDICT_32|"
else
  bad "$deb is missing: make package"
fi

echo "== $(basename "$zip")"
if [ -f "$zip" ]; then
  mkdir -p "$work/zip" && (cd "$work/zip" && cmake -E tar xf "$zip")
  win=$work/zip/tolvex-$version-win64
  check "the zip holds the programs and the text files only" same_files "$work/zip" \
    "tolvex-$version-win64/tolvex.exe" "tolvex-$version-win64/tolvex-check.exe" \
    "tolvex-$version-win64/README.txt" "tolvex-$version-win64/LICENSE.txt" \
    "tolvex-$version-win64/icon.def.txt"
  for f in README.txt LICENSE.txt icon.def.txt; do check "$f: CR LF line ends" crlf_once "$win/$f"; done
  check "LICENSE.txt: the MIT licence and the runtime's notices" \
    sh -c "grep -q 'MIT License' '$win/LICENSE.txt' && grep -q winpthreads '$win/LICENSE.txt'"
  for f in tolvex.exe tolvex-check.exe; do check "$f needs only: $(dlls "$win/$f")" system_only "$win/$f"; done
  export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all
  convert "$work/zip-run" "$wine_run" --prefix="$WINEPREFIX" "$win/tolvex.exe"
  check "the zip's tolvex.exe converts the sample book under Wine like the build tree's tolvex" \
    same_conversion "$work/zip-run" "$work/build-tree"
  "$wineserver" -k 2>/dev/null || true
else
  bad "$zip is missing: make package"
fi
finish
