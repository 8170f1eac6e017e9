#!/bin/sh
# The README's demo: makes the sample book with the generator (an EPWING book
# with kind-2 compressed text, separate graphic and sound files, fonts and
# multi-search indexes) and converts it with every optional component (-a).
set -e
build=${1:-build}
top=$(pwd)
rm -rf demo
mkdir -p demo/out
"$build/tools/tolvex-mkbook" --sample demo/book
cd demo/out
"$top/$build/src/tolvex" -a ../book/CATALOGS
echo
echo "Book:    $top/demo/book/CATALOGS"
echo "Package: $top/demo/out/Dic"
echo "Check:   $build/tools/check/tolvex-check --book demo/book/CATALOGS demo/out/Dic/SAMPLE"
echo "Log:     $top/demo/out/tolvex.log"
