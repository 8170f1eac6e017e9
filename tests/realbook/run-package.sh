#!/bin/sh
# Converts the FreePWING-built book and every variant of it (build-book.sh)
# with tolvex -a, and checks the packages:
#
#  1. every data file holds the pages the EB library reads from its book,
#     the body text's references moved by exactly the merged numbering's
#     shift (interop_tests PackagesHoldTheLibrarysPages, on every variant and
#     on the ebzip'd copies), and tolvex-check --book passes;
#  2. byte for byte across variants:
#     - lower/ and iso9660/ give exactly epwing/'s package;
#     - v2-z1/ and v2-z2/ (compressed text and sound) give exactly v2/'s;
#     - v2/ (graphics and sound in files of their own) gives epwing/'s
#       package but for byte 79 of the index file, the copied catalog byte
#       entry_version (1 in epwing/, 2 in v2/): FreePWING puts the graphic
#       and then the sound pages right behind the text, so the merged
#       numbering rebuilds HONMON's own page numbers, and with them the
#       relocated references and the first pages of COLSCR.DIC and PCMDATA.DIC;
#     - eb/ gives epwing/'s data files, and GA16FULL / GA16HALF are the two
#       font files padded with zeros to whole pages;
#  3. ebzip'd copies of epwing/, v2/ and eb/ at levels 0, 2 and 5 give their
#     package and messages, and pass the checker;
#  4. one flipped byte (a literal of a compressed chunk, a raw data file, a
#     font copy, a record of the index file) makes the checker report one
#     fault, on a line naming the file.
#
#   run-package.sh BOOKDIR TOLVEX CHECK INTEROP_TESTS WORKDIR
#
# Exit 77 (shown as skipped) when the book is missing; with CI set in the
# environment that fails instead.
set -u
BOOK=$1 TOLVEX=$2 CHECK=$3 INTEROP=$4 WORK=$5
if [ ! -f "$BOOK/BOOK.OK" ]; then
  [ -z "${CI:-}" ] || { echo "FAILED: no real book in $BOOK, and CI must run this test"; exit 1; }
  echo "SKIPPED: no real book in $BOOK (the realbook.book test builds it)"
  exit 77
fi
status=0
bad() {
  echo "FAILED: $*"
  status=1
}
rm -rf "$WORK"
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
catalog_of() {  # DIR
  for c in CATALOGS catalogs 'CATALOGS;1' CATALOG; do
    [ -f "$1/$c" ] && { echo "$1/$c"; return; }
  done
}
convert() {  # BOOK OUT LABEL: tolvex -a and tolvex-check --book
  mkdir -p "$2"
  (cd "$2" && "$TOLVEX" -a "$(catalog_of "$1")" > convert.out 2>&1) || { cat "$2/convert.out"; bad "$3: tolvex -a"; }
  "$CHECK" --book "$(catalog_of "$1")" "$2/Dic/EDICT" > "$2/check.out" 2>&1 || { cat "$2/check.out"; bad "$3: checker"; }
}
for v in epwing lower iso9660 v2 v2-z1 v2-z2 eb; do
  convert "$BOOK/$v" "$WORK/$v" "$v"
done
# --list announces the files and chunks the conversion wrote, and its package.
totals=$(sed -n 's/.*Total \([0-9]* files, [0-9]* chunks\).*/\1/p' "$WORK/epwing/convert.out")
(cd "$WORK/epwing" && "$TOLVEX" -a --list "$(catalog_of "$BOOK/epwing")") | tr '\n' '|' | grep -q "Components: $totals|.*Package: Dic/EDICT exists here" || bad "epwing: --list"

# ebzip'd copies: the same package, and the same messages but for the times
# and the book's path (as the catalog builds it, without .ebz).
timeless() { grep -v -e '^Start: ' -e '^Stop: ' -e '^Time elapsed' "$1" | sed "s|$2|BOOK|g"; }
EBZ_BOOKS=
if command -v ebzip >/dev/null 2>&1; then
  for v in epwing v2 eb; do
    for l in 0 2 5; do
      z=$WORK/ebz-$v-$l
      mkdir -p "$z/book"
      (cd "$BOOK/$v" && ebzip --level $l --keep --output-directory "$z/book" > /dev/null 2>&1) || bad "$v level $l: ebzip"
      convert "$z/book" "$z" "$v level $l"
      diff -r "$WORK/$v/Dic" "$z/Dic" > /dev/null || bad "$v level $l: package differs from the plain book's"
      for f in convert.out tolvex.log; do
        [ "$(timeless "$z/$f" "$z/book")" = "$(timeless "$WORK/$v/$f" "$BOOK/$v")" ] || bad "$v level $l: $f differs"
      done
      EBZ_BOOKS="$EBZ_BOOKS $z/book"
    done
  done
elif [ -n "${CI:-}" ]; then
  bad "ebzip (eb-utils) is missing, and CI must run the ebzip variants"
else
  echo "SKIPPED: the ebzip variants (eb-utils not installed)"
fi
TOLVEX_REALBOOK_DIR=$BOOK TOLVEX_EB_BOOKS=$EBZ_BOOKS "$INTEROP" --gtest_filter='*PackagesHoldTheLibrarysPages' ||
  bad "the EB library reads other pages"

for pair in epwing:lower epwing:iso9660 v2:v2-z1 v2:v2-z2; do
  diff -r "$WORK/${pair%:*}/Dic" "$WORK/${pair#*:}/Dic" > /dev/null || bad "${pair#*:}: package differs from ${pair%:*}'s"
done
for f in "$WORK"/epwing/Dic/EDICT/* "$WORK/epwing/Dic/EDICT.REG"; do
  name=${f#"$WORK/epwing/"}
  [ "$name" = Dic/EDICT/EDICT.IDX ] || cmp -s "$f" "$WORK/v2/$name" || bad "v2: $name differs from epwing's"
done
idx_diff=$(cmp -l "$WORK/epwing/Dic/EDICT/EDICT.IDX" "$WORK/v2/Dic/EDICT/EDICT.IDX" | tr -s ' ' | sed 's/^ //')
[ "$idx_diff" = "80 1 2" ] || bad "v2: EDICT.IDX differs from epwing's in more than byte 79: $idx_diff"
for f in HONMON MENU FHTITLE BHTITLE FHINDEX BHINDEX KWINDEX COLSCR PCMDATA; do
  cmp -s "$WORK/epwing/Dic/EDICT/$f.DIC" "$WORK/eb/Dic/EDICT/$f.DIC" || bad "eb: $f.DIC differs from epwing's"
done
for pair in GAI16F:GA16FULL GAI16H:GA16HALF; do
  font=$BOOK/epwing/EDICT/GAIJI/${pair%:*} data=$WORK/eb/Dic/EDICT/${pair#*:}
  size=$(wc -c < "$font")
  { cat "$font"; head -c $(((size + 2047) / 2048 * 2048 - size)) /dev/zero; } | cmp -s - "$data" ||
    bad "eb: ${pair#*:} is not ${pair%:*} padded to whole pages"
done

flipped() {  # VARIANT FILE OFFSET EXPECTED-LINE-START
  rm -rf "$WORK/flip"
  cp -R "$WORK/$1" "$WORK/flip"
  pkg=$WORK/flip/Dic/EDICT
  b=$(od -An -tu1 -j "$3" -N1 "$pkg/$2" | tr -d ' ')
  # shellcheck disable=SC2059
  printf "\\$(printf %03o $((b ^ 0x20)))" | dd of="$pkg/$2" bs=1 seek="$3" count=1 conv=notrunc 2>/dev/null
  out=$("$CHECK" --book "$(catalog_of "$BOOK/$1")" "$pkg" 2>&1) && bad "flip of $2 byte $3: the checker passed"
  faults=$(echo "$out" | grep ': FAULT: ')
  case $faults in
    "$pkg/$4"*) [ "$(echo "$faults" | wc -l)" -eq 1 ] || bad "flip of $2 byte $3: more than one fault" ;;
    *) bad "flip of $2 byte $3: expected one fault starting '$4', got '$faults'" ;;
  esac
}
chunk1=$(od -An -tu1 -j 64 -N4 "$WORK/v2-z2/Dic/EDICT/HONMON.DIC" | awk '{ print (($1 * 256 + $2) * 256 + $3) * 256 + $4 }')
flipped v2-z2 HONMON.DIC $((chunk1 + 5 + 3 * 100 + 2)) "HONMON.DIC: FAULT: page "  # chunk 1, token 101: its literal
flipped eb GA16FULL 100 "GA16FULL: FAULT: page "
flipped epwing GAI16F 300 "GAI16F: FAULT: byte 300"
flipped v2 EDICT.IDX $((128 + 48 + 11)) "EDICT.IDX: FAULT: record 2 "

[ $status = 0 ] && echo "realbook packages: every variant converts to the package its source book gives"
exit $status
