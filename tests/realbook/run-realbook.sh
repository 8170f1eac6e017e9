#!/bin/sh
# Builds the FreePWING book and its variants (once; reused while the inputs
# are unchanged) and checks every variant through the EB library.
#
#   run-realbook.sh BOOKDIR ENTRIES SURGERY EBCHECK
#
# Exit 77 (shown as skipped) when FreePWING, EDICT or the EB library is
# missing; with CI set in the environment a missing package fails instead.
set -eu
BOOK=$1
ENTRIES=$2
SURGERY=$3
EBCHECK=$4
HERE=$(cd "$(dirname "$0")" && pwd)
TOOLS=$HERE
EDICT=${EDICT:-/usr/share/edict/edict}

missing() {
  if [ -n "${CI:-}" ]; then
    echo "FAILED: $1 is missing, and CI must run this test"
    exit 1
  fi
  echo "SKIPPED: $1 not installed"
  exit 77
}
command -v fpwmake >/dev/null 2>&1 || missing "freepwing (fpwmake)"
[ -r "$EDICT" ] || missing "edict ($EDICT)"
[ -n "$EBCHECK" ] || missing "the EB library (libeb16-dev)"

if [ "$ENTRIES" = all ]; then size=--all; else size="--entries $ENTRIES"; fi

# Reuse the book when it was made with the same options after every input.
stamp=$BOOK/BOOK.OK
fresh=no
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "entries=$ENTRIES surgery=yes" ]; then
  fresh=yes
  for input in "$TOOLS/build-book.sh" "$TOOLS/fpwedict" "$SURGERY"; do
    if [ "$input" -nt "$stamp" ]; then fresh=no; fi
  done
fi
if [ $fresh = yes ]; then
  echo "reusing $BOOK"
else
  # shellcheck disable=SC2086
  sh "$TOOLS/build-book.sh" "$BOOK" $size --surgery "$SURGERY"
fi

status=0
for v in lower iso9660 v2 v2-z1 v2-z2 eb; do
  "$EBCHECK" compare "$BOOK/epwing" "$BOOK/$v" || status=1
done

# Fixtures for readers that must cope with the spellings found on discs.
for f in lower/catalogs lower/edict/data/honmon lower/edict/gaiji/gai16h lower/edict/gaiji/gai16f \
         'iso9660/CATALOGS;1' 'iso9660/EDICT/DATA/HONMON;1' 'iso9660/EDICT/GAIJI/GAI16H;1' \
         'iso9660/EDICT/GAIJI/GAI16F;1' eb/CATALOG eb/EDICT/START \
         v2-z1/EDICT/DATA/HONMON2 v2-z2/EDICT/DATA/HONMONS; do
  if [ ! -s "$BOOK/$f" ]; then
    echo "MISSING: $BOOK/$f"
    status=1
  fi
done

# Each variant must really differ from the original where it should.
same() { cmp -s "$BOOK/$1" "$BOOK/$2"; }
if same epwing/EDICT/DATA/HONMON v2/EDICT/DATA/HONMON; then echo "v2: text unchanged"; status=1; fi
if same v2/EDICT/DATA/HONMONS v2-z1/EDICT/DATA/HONMONS; then echo "v2-z1: sound not compressed"; status=1; fi
if same v2-z1/EDICT/DATA/HONMON2 v2-z2/EDICT/DATA/HONMON2; then echo "v2-z2: same as kind 1"; status=1; fi

if [ $status = 0 ]; then echo "realbook: every variant reads alike through the EB library"; fi
exit $status
