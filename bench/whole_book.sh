#!/bin/sh
# Whole-book benchmark: converts the FreePWING book made from the whole of
# EDICT and sets tolvex beside general-purpose tools on the same text file,
# converts the book kept compressed with ebzip (level 0) as it is,
# then times reading every text page of the kind-2 (and kind-1, plain)
# variant with read_block and with the EB library, and last sets the
# one-core and all-thread conversions of this book and of the index-rich
# book (bench/index_book.sh, INDEX_BOOK=DIR, default BUILD_DIR/index-book)
# beside gzip -1.  Not part of the tests.
#
#   bench/whole_book.sh [BUILD_DIR] [BOOK_DIR]
#
# BUILD_DIR (default: build) must hold a build of the project configured with
# -DTOLVEX_BENCH=ON (tolvex, tolvex-mkbook, bench/tolvex-readtime).
# BOOK_DIR (default: BUILD_DIR/realbook-all) is made with
# tests/realbook/build-book.sh --all --mkbook when it holds no such book yet;
# ENTRIES=N in the environment takes the first N entries of EDICT instead
# (default BOOK_DIR then BUILD_DIR/realbook-N).
#
# Every command runs once, the page cache warm (the text file is read once
# before).  Wall time and peak resident memory come from bench/measure.sh:
# /usr/bin/time -v when it is installed, else polling /proc/PID/status.
# "source MB/s" is the text file's size (HONMON, graphics and sound included)
# over the wall time, for every row; "out/src" the output's size over the
# text file's; "time/tolvex" the wall time over tolvex's.
set -eu

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
ENTRIES=${ENTRIES:-all}
BOOK=${2:-$BUILD/realbook-$ENTRIES}

TOLVEX=$BUILD/src/tolvex
MKBOOK=$BUILD/tools/tolvex-mkbook
READTIME=$BUILD/bench/tolvex-readtime
for t in "$TOLVEX" "$MKBOOK" "$READTIME"; do
  [ -x "$t" ] || { echo "$0: $t not built (cmake -DTOLVEX_BENCH=ON, cmake --build $BUILD)" >&2; exit 2; }
done

start=$(date +%s)
if [ "$ENTRIES" = all ]; then size=--all; else size="--entries $ENTRIES"; fi
# shellcheck disable=SC2086
sh "$ROOT/tests/realbook/build-book.sh" "$BOOK" $size --mkbook "$MKBOOK" --reuse
echo "book ready in $(( $(date +%s) - start )) s"
BOOK=$(cd "$BOOK" && pwd)
TEXT=$BOOK/epwing/EDICT/DATA/HONMON
SRC_BYTES=$(wc -c < "$TEXT")

WORK=$(mktemp -d "${TMPDIR:-/tmp}/whole_book.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# shellcheck source=bench/measure.sh
. "$HERE/measure.sh"  # measure OUTPUT COMMAND...: sets WALL (s) and PEAK (KiB)

ROWS=$WORK/rows.txt
: > "$ROWS"
row() {  # LABEL OUTPUT_BYTES
  echo "$1|$WALL|$PEAK|$2" >> "$ROWS"
}

cat "$TEXT" > /dev/null  # warm the page cache

mkdir "$WORK/conv"
cd "$WORK/conv"
measure "$WORK/conv/out.txt" "$TOLVEX" -a "$BOOK/epwing/CATALOGS"
cd "$ROOT"
grep -q '^Done' "$WORK/conv/out.txt" || { cat "$WORK/conv/out.txt"; echo "$0: tolvex failed" >&2; exit 1; }
row "tolvex -a" "$(cat "$WORK"/conv/Dic/EDICT/*.DIC | wc -c)"
rm -rf "$WORK/conv"

# The same on one core (the writer's threads share it), when taskset is there.
if command -v taskset > /dev/null 2>&1; then
  mkdir "$WORK/conv"
  cd "$WORK/conv"
  measure "$WORK/conv/out.txt" taskset -c 0 "$TOLVEX" -a "$BOOK/epwing/CATALOGS"
  cd "$ROOT"
  grep -q '^Done' "$WORK/conv/out.txt" || { cat "$WORK/conv/out.txt"; echo "$0: tolvex failed" >&2; exit 1; }
  row "tolvex 1 core" "$(cat "$WORK"/conv/Dic/EDICT/*.DIC | wc -c)"
  rm -rf "$WORK/conv"
fi

measure "$WORK/out.gz" gzip -6 -c "$TEXT"
row "gzip -6" "$(wc -c < "$WORK/out.gz")"
measure "$WORK/out.gz" gzip -1 -c "$TEXT"
row "gzip -1" "$(wc -c < "$WORK/out.gz")"
rm -f "$WORK/out.gz"

if command -v ebzip > /dev/null 2>&1; then
  mkdir "$WORK/ebzip"
  measure "$WORK/ebzip.txt" ebzip --compress --keep --quiet --force-overwrite --output-directory "$WORK/ebzip" "$BOOK/epwing"
  row "ebzip (level 0)" "$(find "$WORK/ebzip" -iname 'honmon*' -exec cat {} + | wc -c)"
  # The ebzip'd book converted as it is (all threads, then one core): the
  # same package as the plain book's, from HONMON.ebz.
  for cores in all 1; do
    mkdir "$WORK/conv"
    cd "$WORK/conv"
    if [ $cores = all ]; then
      measure "$WORK/conv/out.txt" "$TOLVEX" -a "$WORK/ebzip/CATALOGS"
    elif command -v taskset > /dev/null 2>&1; then
      measure "$WORK/conv/out.txt" taskset -c 0 "$TOLVEX" -a "$WORK/ebzip/CATALOGS"
    else
      cd "$ROOT"; rm -rf "$WORK/conv"; continue
    fi
    cd "$ROOT"
    grep -q '^Done' "$WORK/conv/out.txt" || { cat "$WORK/conv/out.txt"; echo "$0: tolvex failed" >&2; exit 1; }
    label="tolvex .ebz"
    [ $cores = 1 ] && label="tolvex .ebz 1c"
    row "$label" "$(cat "$WORK"/conv/Dic/EDICT/*.DIC | wc -c)"
    rm -rf "$WORK/conv"
  done
  rm -rf "$WORK/ebzip"
else
  echo "ebzip not installed (eb-utils): row left out"
fi

measure "$WORK/out.cat" cat "$TEXT"
row "cat" "$(wc -c < "$WORK/out.cat")"
rm -f "$WORK/out.cat"

echo
echo "Converting the EDICT book ($ENTRIES entries): text file $(awk "BEGIN { printf \"%.1f\", $SRC_BYTES / 1e6 }") MB ($TEXT)"
TOLVEX_WALL=$(head -n 1 "$ROWS" | cut -d'|' -f2)
awk -F'|' -v src="$SRC_BYTES" -v base="$TOLVEX_WALL" '
  BEGIN { printf "%-16s %9s %12s %9s %10s %8s %12s\n", "tool", "wall s", "source MB/s", "peak MB", "out MB", "out/src", "time/tolvex" }
  { wall = $2 + 0; if (wall < 0.001) wall = 0.001
    printf "%-16s %9.2f %12.1f %9.1f %10.1f %8.3f %12.2f\n", $1, $2, src / 1e6 / wall, $3 / 1024, $4 / 1e6, $4 / src, $2 / base }
' "$ROWS"

echo
echo "Reading every text page (fastest of three runs each):"
for v in v2-z2:HONMON2:2 v2-z1:HONMON2:1 v2:HONMON:0; do
  dir=${v%%:*}
  rest=${v#*:}
  file=${rest%%:*}
  kind=${rest#*:}
  echo "$dir (kind $kind, $(wc -c < "$BOOK/$dir/EDICT/DATA/$file") bytes on disc):"
  "$READTIME" "$BOOK/$dir/EDICT/DATA/$file" "$kind" "$BOOK/$dir" | sed 's/^/  /'
done

# Both real books against gzip -1, one core and all threads, in this run.
for b in "$BOOK" "${INDEX_BOOK:-$BUILD/index-book}"; do
  echo
  sh "$HERE/index_book.sh" "$BUILD" "$b"
done
