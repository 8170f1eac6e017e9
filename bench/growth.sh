#!/bin/sh
# Growth benchmark: the cost of a conversion as the book grows. Makes
# generated books of about 10 MB, 100 MB and 1 GB of body text (5,000,
# 50,000 and 500,000 pages of 2048 bytes, one subbook, plain text file) with
# tolvex-mkbook, converts each with `tolvex -a` on one core (taskset -c 0,
# when installed) and prints, per book: the text file's size, the
# generator's time and peak memory (it holds the whole book), the
# conversion's time (fastest of three runs), that time per MB against the
# first book's, and the conversion's peak resident memory (largest of the
# runs). Time per MB should stay alike across the sizes and the peak flat.
# Not part of the tests.
#
#   bench/growth.sh [BUILD_DIR]
#
# BUILD_DIR (default: build) must hold a build with tolvex and tolvex-mkbook.
# GROWTH_PAGES (default "5000 50000 500000") sets the books' page counts.
# The books are made in a temporary directory and removed one by one; the
# largest takes about 1 GB of disc for the book and as much again, at most,
# for its package, and the generator holds the book in memory while it
# writes it.
set -eu

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
TOLVEX=$BUILD/src/tolvex
MKBOOK=$BUILD/tools/tolvex-mkbook
for t in "$TOLVEX" "$MKBOOK"; do
  [ -x "$t" ] || { echo "$0: $t not built (cmake --build $BUILD)" >&2; exit 2; }
done
PIN=
if command -v taskset > /dev/null 2>&1; then PIN="taskset -c 0"; fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/growth.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
# shellcheck source=bench/measure.sh
. "$HERE/measure.sh"  # measure OUTPUT COMMAND...: sets WALL (s) and PEAK (KiB)

ROWS=$WORK/rows.txt
: > "$ROWS"
for pages in ${GROWTH_PAGES:-5000 50000 500000}; do
  book=$WORK/book
  measure "$WORK/mkbook.txt" "$MKBOOK" --pages "$pages" "$book"
  gen_wall=$WALL
  gen_peak=$PEAK
  text_bytes=$(wc -c < "$book/SAMPLE/DATA/HONMON")
  best=
  peak=0
  for _ in 1 2 3; do
    rm -rf "$WORK/conv"
    mkdir "$WORK/conv"
    cd "$WORK/conv"
    # shellcheck disable=SC2086 # PIN is a command and its arguments, or empty
    measure "$WORK/conv.txt" $PIN "$TOLVEX" -a "$book/CATALOGS"
    cd "$ROOT"
    grep -q '^Done' "$WORK/conv.txt" || { cat "$WORK/conv.txt"; echo "$0: tolvex failed" >&2; exit 1; }
    if [ -z "$best" ] || awk -v a="$WALL" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$WALL; fi
    if [ "$PEAK" -gt "$peak" ]; then peak=$PEAK; fi
  done
  out_bytes=$(cat "$WORK"/conv/Dic/SAMPLE/*.DIC | wc -c)
  echo "$pages|$text_bytes|$gen_wall|$gen_peak|$best|$peak|$out_bytes" >> "$ROWS"
  rm -rf "$book" "$WORK/conv"
done

echo
echo "Converting generated books on ${PIN:-all cores} (tolvex -a, fastest of 3 runs):"
awk -F'|' '
  BEGIN { printf "%8s %8s %7s %8s %8s %7s %9s %8s %9s %7s\n", "pages", "text MB", "gen s", "gen s/MB",
                 "gen MiB", "conv s", "conv s/MB", "vs first", "peak MiB", "out MB" }
  { mb = $2 / 1e6; per = $5 / mb; if (NR == 1) first = per
    printf "%8d %8.1f %7.2f %8.4f %8.0f %7.2f %9.4f %7.0f%% %9.1f %7.1f\n", $1, mb, $3, $3 / mb, $4 / 1024, $5,
           per, 100 * (per / first - 1), $6 / 1024, $7 / 1e6 }
' "$ROWS"
