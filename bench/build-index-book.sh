#!/bin/sh
# Builds the index-rich benchmark book with FreePWING: the whole of EDICT
# and COMPDIC in one subbook "INDEX", with a word index (kana, kanji and every
# gloss of each entry) and a keyword index (every English word of its
# glosses): about 280000 entries, a million keys of each kind.
#
#   bench/build-index-book.sh OUTDIR
#
#   EDICT=PATH, COMPDIC=PATH   environment: the dictionaries (default
#                              /usr/share/edict/edict and .../compdic)
#
# Output: OUTDIR/epwing/CATALOGS and OUTDIR/epwing/INDEX/DATA/HONMON, then
# OUTDIR/BOOK.OK; FreePWING's work area is OUTDIR/src.
# Needs: fpwmake (Debian freepwing), perl, GNU make, the dictionaries.
set -eu

[ $# -eq 1 ] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
HERE=$(cd "$(dirname "$0")" && pwd)
EDICT=${EDICT:-/usr/share/edict/edict}
COMPDIC=${COMPDIC:-/usr/share/edict/compdic}
command -v fpwmake > /dev/null 2>&1 || { echo "$0: fpwmake not found (package freepwing)" >&2; exit 3; }
for f in "$EDICT" "$COMPDIC"; do
  [ -r "$f" ] || { echo "$0: $f not readable (package edict)" >&2; exit 3; }
done

mkdir -p "$1"
OUT=$(cd "$1" && pwd)
rm -rf "$OUT/src" "$OUT/epwing" "$OUT/BOOK.OK"
mkdir -p "$OUT/src"
cd "$OUT/src"
cp "$EDICT" edict.txt
cp "$COMPDIC" compdic.txt

# The catalog: one EPWING V1 subbook, its title "ＩＮＤＥＸ" in EUC-JP.
perl -e 'print "[Catalog]\nFileName   = catalogs\nType       = EPWING1\nBooks      = 1\n\n",
  "[Book]\nTitle      = \"", pack("H*", "a3c9a3cea3c4a3c5a3d8"), "\"\nBookType   = 6001\n",
  "Directory  = \"INDEX\"\n"' > catalogs.txt
cat > Makefile << MAKE
FPWPARSER = $HERE/fpwindexbook
FPWPARSERFLAGS = edict.txt compdic.txt
DIR = index
include fpwutils.mk
MAKE

fpwmake > fpwmake.log 2>&1 || { tail -n 30 fpwmake.log >&2; echo "$0: fpwmake failed" >&2; exit 1; }
fpwmake catalogs >> fpwmake.log 2>&1 || { tail -n 30 fpwmake.log >&2; echo "$0: fpwmake catalogs failed" >&2; exit 1; }
grep '^fpwindexbook:' fpwmake.log || true
for f in honmon catalogs; do
  [ -s "$f" ] || { echo "$0: FreePWING made no $f" >&2; exit 1; }
done

mkdir -p "$OUT/epwing/INDEX/DATA"
cp catalogs "$OUT/epwing/CATALOGS"
cp honmon "$OUT/epwing/INDEX/DATA/HONMON"
echo "index book" > "$OUT/BOOK.OK"
echo "book: $OUT/epwing/CATALOGS ($(wc -c < honmon) bytes of text file)"
