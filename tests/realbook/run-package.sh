#!/bin/sh
# Converts the FreePWING-built book and every variant of it with tolvex -a,
# and checks the packages three ways:
#
#  1. through the EB library: every data file's pages equal the pages the
#     library reads from that variant (tolvex-realbook-ebcheck package), the
#     body text's graphic and sound references moved by exactly the merged
#     numbering's shift where graphics and sound have files of their own;
#  2. with the package checker against the source book (tolvex-check --book);
#  3. byte for byte across variants:
#     - lower/ (lower-case names) and iso9660/ (";1" names) give exactly the
#       package of epwing/, every file;
#     - v2-z1/ and v2-z2/ (compressed text and sound) give exactly the package
#       of v2/ (plain), every file;
#     - v2/ (graphics and sound split off) gives every file of epwing/'s
#       package but the index file unchanged: FreePWING puts the graphic and
#       then the sound pages right behind the text's last component, so the
#       merged numbering rebuilds HONMON's own page numbers, and with them the
#       relocated references and the first pages of COLSCR.DIC and
#       PCMDATA.DIC.  The index files differ in byte 79 alone, the copied
#       catalog byte entry_version (1 in epwing/, 2 in v2/);
#     - eb/ gives epwing/'s data files unchanged, and GA16FULL / GA16HALF are
#       the two font files padded with zeros to whole pages;
#  4. ebzip'd copies of epwing/, v2/ and eb/ at levels 0, 2 and 5 give
#     their package and messages, and pass the checker and the EB library;
#  and finally makes sure the checker fails, naming the file, on a package
#  with one flipped byte: a literal of a compressed chunk, a raw data file, a
#  font copy, and a record of the index file.
#
#   run-package.sh BOOKDIR TOLVEX CHECK EBCHECK WORKDIR
#
# Exit 77 (shown as skipped) when the book or the EB library is missing; with
# CI set in the environment that fails instead.
set -u
BOOK=$1
TOLVEX=$2
CHECK=$3
EBCHECK=$4
WORK=$5

missing() {
  if [ -n "${CI:-}" ]; then
    echo "FAILED: $1 is missing, and CI must run this test"
    exit 1
  fi
  echo "SKIPPED: $1"
  exit 77
}
[ -n "$EBCHECK" ] || missing "the EB library (libeb16-dev) is not installed"
[ -f "$BOOK/BOOK.OK" ] || missing "no real book in $BOOK (the realbook.book test builds it)"

status=0
bad() {
  echo "FAILED: $*"
  status=1
}

rm -rf "$WORK"
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)

catalog_of() {
  for c in CATALOGS catalogs 'CATALOGS;1' CATALOG; do
    if [ -f "$BOOK/$1/$c" ]; then
      echo "$BOOK/$1/$c"
      return
    fi
  done
}

VARIANTS="epwing lower iso9660 v2 v2-z1 v2-z2 eb"
for v in $VARIANTS; do
  cat=$(catalog_of "$v")
  [ -n "$cat" ] || { bad "$v: no catalog"; continue; }
  mkdir -p "$WORK/$v"
  if ! (cd "$WORK/$v" && "$TOLVEX" -a "$cat" > convert.out 2>&1); then
    bad "$v: tolvex -a exited non-zero"
    cat "$WORK/$v/convert.out"
    continue
  fi
  pkg=$WORK/$v/Dic/EDICT
  [ -f "$pkg/EDICT.IDX" ] || { bad "$v: no package written"; cat "$WORK/$v/convert.out"; continue; }
  echo "== $v"
  "$EBCHECK" package "$BOOK/$v" "$pkg" || bad "$v: the EB library reads other pages"
  "$CHECK" --book "$cat" "$pkg" > "$WORK/$v/check.out" 2>&1 || { cat "$WORK/$v/check.out"; bad "$v: tolvex-check --book"; }
  tail -n 1 "$WORK/$v/check.out"
done

# Copies kept compressed with ebzip (levels 0, 2, 5) of the variants ebzip
# reads (it fails on the compressed text that the surgery tool writes; the
# generated books of tests/e2e cover compressed text): the same package and the same messages (the paths as
# the catalog builds them, without .ebz), and the checker and the EB library
# pass them against the ebzip'd book.
timeless() { grep -v -e '^Start: ' -e '^Stop: ' -e '^Time elapsed' "$1" | sed "s|$2|BOOK|g"; }
if command -v ebzip >/dev/null 2>&1; then
  for v in epwing v2 eb; do
    for l in 0 2 5; do
      z=$WORK/ebz-$v-$l
      mkdir -p "$z/book"
      (cd "$BOOK/$v" && ebzip --level $l --keep --output-directory "$z/book" > /dev/null 2>&1) || { bad "$v level $l: ebzip failed"; continue; }
      cat=$(catalog_of "$v")
      cat=$z/book/${cat##*/}
      (cd "$z" && "$TOLVEX" -a "$cat" > convert.out 2>&1) || bad "$v level $l: tolvex -a exited non-zero"
      diff -r "$WORK/$v/Dic" "$z/Dic" > /dev/null || bad "$v level $l: package differs from the plain book's"
      for f in convert.out tolvex.log; do
        [ "$(timeless "$z/$f" "$z/book")" = "$(timeless "$WORK/$v/$f" "$BOOK/$v")" ] || bad "$v level $l: $f differs"
      done
      "$CHECK" --book "$cat" "$z/Dic/EDICT" > "$z/check.out" 2>&1 || { tail -n 3 "$z/check.out"; bad "$v level $l: tolvex-check --book"; }
      "$EBCHECK" package "$z/book" "$z/Dic/EDICT" > /dev/null || bad "$v level $l: the EB library reads other pages"
      echo "ebzip $v level $l: package, messages, checker and EB library agree"
    done
  done
elif [ -n "${CI:-}" ]; then
  bad "ebzip (eb-utils) is missing, and CI must run the ebzip variants"
else
  echo "SKIPPED: the ebzip variants (eb-utils not installed)"
fi

# Byte comparisons between the packages.
same_tree() {
  if diff -r "$WORK/$1/Dic" "$WORK/$2/Dic" > /dev/null; then
    echo "$2: package identical to $1's"
  else
    bad "$2: package differs from $1's"
    diff -r "$WORK/$1/Dic" "$WORK/$2/Dic" | head -5
  fi
}
same_tree epwing lower
same_tree epwing iso9660
same_tree v2 v2-z1
same_tree v2 v2-z2

for f in "$WORK/epwing/Dic/EDICT/"* "$WORK/epwing/Dic/EDICT.REG"; do
  name=${f#"$WORK/epwing/"}
  case $name in
    */EDICT.IDX) ;;
    *) cmp -s "$f" "$WORK/v2/$name" || bad "v2: $name differs from epwing's" ;;
  esac
done
idx_diff=$(cmp -l "$WORK/epwing/Dic/EDICT/EDICT.IDX" "$WORK/v2/Dic/EDICT/EDICT.IDX" | tr -s ' ' | sed 's/^ //')
if [ "$idx_diff" = "80 1 2" ]; then
  echo "v2: package identical to epwing's but for the catalog's entry_version in EDICT.IDX"
else
  bad "v2: EDICT.IDX differs from epwing's in more than byte 79: $idx_diff"
fi

for f in HONMON MENU FHTITLE BHTITLE FHINDEX BHINDEX KWINDEX COLSCR PCMDATA; do
  cmp -s "$WORK/epwing/Dic/EDICT/$f.DIC" "$WORK/eb/Dic/EDICT/$f.DIC" || bad "eb: $f.DIC differs from epwing's"
done
padded_font() {  # FONT (in the book's GAIJI) DATAFILE (in the eb package)
  font=$BOOK/epwing/EDICT/GAIJI/$1
  data=$WORK/eb/Dic/EDICT/$2
  size=$(wc -c < "$font")
  pages=$(( (size + 2047) / 2048 ))
  if [ "$(wc -c < "$data")" -ne $((pages * 2048)) ] ||
     ! head -c "$size" "$data" | cmp -s - "$font" ||
     [ -n "$(tail -c +$((size + 1)) "$data" | tr -d '\000')" ]; then
    bad "eb: $2 is not $1 padded to whole pages"
  fi
}
padded_font GAI16F GA16FULL
padded_font GAI16H GA16HALF
echo "eb: data files identical to epwing's, GA16FULL and GA16HALF the padded fonts"

# One flipped byte must make the checker fail, on a line naming the file.
be32() { od -An -tu1 -j "$2" -N4 "$1" | awk '{ print (($1 * 256 + $2) * 256 + $3) * 256 + $4 }'; }
flip() {  # FILE OFFSET
  b=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
  # shellcheck disable=SC2059
  printf "\\$(printf %03o $((b ^ 0x20)))" | dd of="$1" bs=1 seek="$2" count=1 conv=notrunc 2>/dev/null
}
flipped() {  # VARIANT FILE OFFSET EXPECTED-LINE-START
  v=$1
  rm -rf "$WORK/flip"
  cp -R "$WORK/$v" "$WORK/flip"
  pkg=$WORK/flip/Dic/EDICT
  flip "$pkg/$2" "$3"
  [ "$(cmp -l "$WORK/$v/Dic/EDICT/$2" "$pkg/$2" | wc -l)" -eq 1 ] || { bad "flip: not one byte changed in $2"; return; }
  if out=$("$CHECK" --book "$(catalog_of "$v")" "$pkg" 2>&1); then
    bad "flip of $2 byte $3: tolvex-check --book passed"
  fi
  faults=$(echo "$out" | grep -c ': FAULT: ')
  line=$(echo "$out" | grep ': FAULT: ' | head -n 1)
  case $line in
    "$pkg/$4"*) ;;
    *) bad "flip of $2 byte $3: expected a fault starting '$4', got '$line'" ;;
  esac
  [ "$faults" -eq 1 ] || bad "flip of $2 byte $3: $faults faults reported, expected 1"
  echo "flip $v/$2 byte $3 -> ${line#"$pkg/"}"
}
honmon=$WORK/v2-z2/Dic/EDICT/HONMON.DIC
literal=$(( $(be32 "$honmon" 64) + 5 + 3 * 100 + 2 ))  # chunk 1, token 101: its literal
flipped v2-z2 HONMON.DIC $literal "HONMON.DIC: FAULT: page "
flipped eb GA16FULL 100 "GA16FULL: FAULT: page "
flipped epwing GAI16F 300 "GAI16F: FAULT: byte 300"
flipped v2 EDICT.IDX $((128 + 48 + 11)) "EDICT.IDX: FAULT: record 2 "

# The EB library side must notice the flipped literal too.
rm -rf "$WORK/flip"
cp -R "$WORK/v2-z2" "$WORK/flip"
flip "$WORK/flip/Dic/EDICT/HONMON.DIC" $literal
if "$EBCHECK" package "$BOOK/v2-z2" "$WORK/flip/Dic/EDICT" > /dev/null 2>&1; then
  bad "flip of HONMON.DIC: the EB library check passed"
fi

if [ $status = 0 ]; then echo "realbook packages: every variant converts to the package its source book gives"; fi
exit $status
