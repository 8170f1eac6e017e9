#!/bin/sh
# Converts the bundled sample book with every optional component (-a) in demo/.
set -e
build=${1:-build}
top=$(pwd)
rm -rf demo
mkdir -p demo/out
if [ -x "$build/tools/tolvex-mkbook" ]; then
  "$build/tools/tolvex-mkbook" --sample demo/book
  cd demo/out
  "$top/$build/src/tolvex" -a ../book/CATALOGS
else
  cd demo/out
  "$top/$build/src/tolvex" -a ../book/CATALOGS || true
fi
echo
echo "Package: $(pwd)/Dic   Log: $(pwd)/tolvex.log"
