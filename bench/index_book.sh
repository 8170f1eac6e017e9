#!/bin/sh
# Index-rich book benchmark: converts the FreePWING book made from the whole
# of EDICT and COMPDIC with a word and a keyword index (bench/build-index-book.sh)
# on one core (taskset -c 0) and on all threads, times `gzip -1 -c` on its
# text file in the same run, and prints both ratios to gzip -1.  Not part of
# the tests.
#
#   bench/index_book.sh [BUILD_DIR] [BOOK_DIR]
#
# BUILD_DIR (default: build) must hold the tolvex executable; BOOK_DIR
# (default: BUILD_DIR/index-book) is built when it holds no book.  The three
# commands run ROUNDS times (environment, default 3), one after the other in
# each round, with the page cache warm, and each row shows its median: a
# machine shared with others slows single runs by a tenth and more.  Wall
# time and peak memory come from bench/measure.sh; "cpu s" is user + system
# time (over gzip's: the ratio a loaded machine distorts least for the
# one-core run).  Both packages
# must be byte for byte the same.
set -eu

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
BOOK=${2:-$BUILD/index-book}
TOLVEX=$BUILD/src/tolvex
[ -x "$TOLVEX" ] || { echo "$0: $TOLVEX not built (cmake --build $BUILD --target tolvex)" >&2; exit 2; }
command -v taskset > /dev/null 2>&1 || { echo "$0: taskset not found (util-linux)" >&2; exit 2; }

if [ ! -f "$BOOK/BOOK.OK" ]; then
  echo "building the index book in $BOOK ..."
  start=$(date +%s)
  sh "$HERE/build-index-book.sh" "$BOOK"
  echo "book built in $(( $(date +%s) - start )) s"
fi
BOOK=$(cd "$BOOK" && pwd)
# The one subbook's text file (any book of one subbook will do: the
# whole-EDICT one of tests/realbook/build-book.sh --all too).
TEXT=$(echo "$BOOK"/epwing/*/DATA/HONMON)
[ -f "$TEXT" ] || { echo "$0: no single $BOOK/epwing/*/DATA/HONMON" >&2; exit 2; }
SRC_BYTES=$(wc -c < "$TEXT")

WORK=$(mktemp -d "${TMPDIR:-/tmp}/index_book.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
# shellcheck source=bench/measure.sh
. "$HERE/measure.sh"  # measure OUTPUT COMMAND...: sets WALL (s) and PEAK (KiB)

cat "$TEXT" > /dev/null  # warm the page cache

ROUNDS=${ROUNDS:-3}
convert() {  # NAME COMMAND-PREFIX...: converts into $WORK/NAME
  name=$1
  shift
  rm -rf "$WORK/$name"
  mkdir "$WORK/$name"
  cd "$WORK/$name"
  measure "$WORK/$name.txt" "$@" "$TOLVEX" -a "$BOOK/epwing/CATALOGS"
  cd "$ROOT"
  grep -q '^Done' "$WORK/$name.txt" || { cat "$WORK/$name.txt"; echo "$0: tolvex failed" >&2; exit 1; }
}
keep() {  # NAME: appends the last measure's WALL, PEAK and CPU to $WORK/NAME.*
  echo "$WALL" >> "$WORK/$1.wall" && echo "$PEAK" >> "$WORK/$1.peak" && echo "$CPU" >> "$WORK/$1.cpu"
}
median() {  # FILE: the median of its lines (numbers)
  sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
for round in $(seq "$ROUNDS"); do
  convert one taskset -c 0 && keep one
  convert all env && keep all
  diff -r "$WORK/one/Dic" "$WORK/all/Dic" > /dev/null || { echo "$0: one-thread and all-thread packages differ" >&2; exit 1; }
  if [ "$round" -eq 1 ]; then
    cp -r "$WORK/one/Dic" "$WORK/first"
  else
    diff -r "$WORK/first" "$WORK/one/Dic" > /dev/null || { echo "$0: packages differ between rounds" >&2; exit 1; }
  fi
  measure "$WORK/out.gz" gzip -1 -c "$TEXT" && keep gz
done
ONE_WALL=$(median "$WORK/one.wall") ONE_PEAK=$(median "$WORK/one.peak") ONE_CPU=$(median "$WORK/one.cpu")
ALL_WALL=$(median "$WORK/all.wall") ALL_PEAK=$(median "$WORK/all.peak") ALL_CPU=$(median "$WORK/all.cpu")
GZ_WALL=$(median "$WORK/gz.wall") GZ_PEAK=$(median "$WORK/gz.peak") GZ_CPU=$(median "$WORK/gz.cpu")
OUT_BYTES=$(cat "$WORK"/one/Dic/*/*.DIC | wc -c)
GZ_BYTES=$(wc -c < "$WORK/out.gz")

echo "Converting $(basename "$BOOK") (medians of $ROUNDS rounds): text file $(awk "BEGIN { printf \"%.1f\", $SRC_BYTES / 1e6 }") MB ($TEXT)"
{
  echo "tolvex 1 core|$ONE_WALL|$ONE_PEAK|$OUT_BYTES|$ONE_CPU"
  echo "tolvex all|$ALL_WALL|$ALL_PEAK|$OUT_BYTES|$ALL_CPU"
  echo "gzip -1|$GZ_WALL|$GZ_PEAK|$GZ_BYTES|$GZ_CPU"
} | awk -F'|' -v src="$SRC_BYTES" -v gz="$GZ_WALL" -v gzcpu="$GZ_CPU" '
  BEGIN { printf "%-14s %8s %12s %8s %8s %8s %9s %7s %9s\n", "tool", "wall s", "source MB/s", "peak MB", "out MB",
          "out/src", "/gzip -1", "cpu s", "cpu/gzip" }
  { wall = $2 + 0; if (wall < 0.001) wall = 0.001
    cpu = gzcpu + 0 > 0 ? sprintf("%7.2f %9.2f", $5, $5 / gzcpu) : sprintf("%7s %9s", "-", "-")
    printf "%-14s %8.2f %12.1f %8.1f %8.1f %8.3f %9.2f %s\n", $1, $2, src / 1e6 / wall, $3 / 1024, $4 / 1e6, $4 / src,
      $2 / gz, cpu }'
awk -v one="$ONE_WALL" -v all="$ALL_WALL" 'BEGIN { if (all < 0.001) all = 0.001; printf "all threads: %.2fx faster than one\n", one / all }'
