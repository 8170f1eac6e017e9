#!/bin/sh
# Runs a Windows program under Wine (CMake's emulator for the cross-built
# tests, and the Windows checks), passing its exit status through:
#   wine-run.sh [--prefix=DIR] program.exe [args...] | --init (the prefix only)
# The prefix ($WINEPREFIX, else ./wineprefix) is made once, under a lock.
set -eu

prefix=${WINEPREFIX:-$(pwd)/wineprefix}
case ${1:-} in
  --prefix=*) prefix=${1#--prefix=}; shift ;;
esac
[ $# -ge 1 ] || { echo "usage: $0 [--prefix=DIR] program.exe [args...] | --init" >&2; exit 2; }

wine=$(command -v wine64 || true)
[ -n "$wine" ] || { [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64; }
[ -n "$wine" ] || wine=$(command -v wine || true)
[ -n "$wine" ] || { echo "wine-run.sh: Wine is not installed (Debian package wine64)" >&2; exit 127; }

mkdir -p "$prefix"
WINEPREFIX=$(cd "$prefix" && pwd)
WINEDEBUG=-all
# No Mono and no Gecko: never offer to download them.
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$wine" wineboot -i >/dev/null 2>&1 || true
      wineserver=$(command -v wineserver64 || command -v wineserver || echo /usr/lib/wine/wineserver64)
      "$wineserver" -w 2>/dev/null || true
    fi
  ) 9>"$WINEPREFIX/.init.lock"
  [ -f "$WINEPREFIX/system.reg" ] || { echo "wine-run.sh: wineboot failed in $WINEPREFIX" >&2; exit 1; }
fi

[ "$1" = --init ] && exit 0
exec "$wine" "$@"
