#!/bin/sh
# Converts the FreePWING book and its variants (build-book.sh) with tolvex -a:
#   run-package.sh BOOKDIR TOLVEX CHECK INTEROP_TESTS WORKDIR   (77: no book, but under CI)
# 1. every package passes tolvex-check --book, and the EB library reads every
#    book (the ebzip'd copies too) as read_block does (interop_tests);
# 2. lower/, iso9660/ give epwing/'s package, v2-z1/, v2-z2/ give v2/'s; v2/
#    gives epwing/'s but for IDX byte 79 (the catalog's entry_version): FreePWING
#    puts graphics, then sound, right behind the text, so the merged numbering
#    rebuilds HONMON's own; eb/ gives epwing/'s data files, its fonts padded
#    with zeros to whole pages;
# 3. ebzip'd copies of every layout and kind at levels 0, 2, 5 give the same package
#    and messages. (What the checker names in a damaged package: its own tests.)
set -u
me=realbook usage="BOOKDIR TOLVEX CHECK INTEROP_TESTS WORKDIR"
. "$(dirname "$0")/../lib.sh"
usage_unless [ $# -eq 5 ]
BOOK=$1 TOLVEX=$2 CHECK=$3 INTEROP=$4 WORK=$5
[ -f "$BOOK/BOOK.OK" ] || skip "no real book in $BOOK (the realbook.book test builds it)"
rm -rf "$WORK"
mkdir -p "$WORK"
WORK=$(abs "$WORK")
convert_book() {  # BOOK OUT LABEL: tolvex -a and tolvex-check --book
  mkdir -p "$2"
  (cd "$2" && "$TOLVEX" -a "$(catalog_of "$1")" > convert.out 2>&1) || { cat "$2/convert.out"; bad "$3: tolvex -a"; }
  "$CHECK" --book "$(catalog_of "$1")" "$2/Dic/EDICT" > "$2/check.out" 2>&1 || { cat "$2/check.out"; bad "$3: checker"; }
}
for v in epwing lower iso9660 v2 v2-z1 v2-z2 eb; do
  convert_book "$BOOK/$v" "$WORK/$v" "$v"
done
# --list announces the files and chunks the conversion wrote, and its package.
totals=$(sed -n 's/.*Total \([0-9]* files, [0-9]* chunks\).*/\1/p' "$WORK/epwing/convert.out")
(cd "$WORK/epwing" && "$TOLVEX" -a --list "$(catalog_of "$BOOK/epwing")") | tr '\n' '|' | grep -q "Components: $totals|.*Package: Dic/EDICT exists here" || bad "epwing: --list"

# ebzip'd copies: the same package, and the same messages but for the times
# and the book's path (as the catalog builds it, without .ebz).
EBZ_BOOKS=
if command -v ebzip >/dev/null 2>&1; then
  for v in epwing v2 v2-z1 v2-z2 eb; do
    for l in 0 2 5; do
      z=$WORK/ebz-$v-$l
      mkdir -p "$z/book"
      (cd "$BOOK/$v" && ebzip --level $l --keep --output-directory "$z/book" > /dev/null 2>&1) || bad "$v level $l: ebzip"
      convert_book "$z/book" "$z" "$v level $l"
      diff -r "$WORK/$v/Dic" "$z/Dic" > /dev/null || bad "$v level $l: package differs from the plain book's"
      for f in convert.out tolvex.log; do
        [ "$(timeless "$z/$f" | sed "s|$z/book|BOOK|g")" = "$(timeless "$WORK/$v/$f" | sed "s|$BOOK/$v|BOOK|g")" ] ||
          bad "$v level $l: $f differs"
      done
      EBZ_BOOKS="$EBZ_BOOKS $z/book"
    done
  done
else
  [ -z "${CI:-}" ] || bad "ebzip (eb-utils) is missing, and CI must run the ebzip variants"
  echo "SKIPPED: the ebzip variants (eb-utils not installed)"
fi
TOLVEX_REALBOOK_DIR=$BOOK TOLVEX_EB_BOOKS=$EBZ_BOOKS "$INTEROP" --gtest_filter='*ReadsEveryBookLikeReadBlock' ||
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

finish
