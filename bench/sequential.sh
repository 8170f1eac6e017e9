#!/bin/sh
# What share of a one-thread conversion lies outside the chunk compressor
# (reading, decoding, relocation, writing, start-up), and the speed-up that
# share allows on N compressing threads: Amdahl's 1 / (s + (1 - s) / N) if
# the outside part ran alone, and min(N, 1 / s) as it runs, overlapped: the
# reading thread reads ahead while the others compress and compresses
# itself whenever it waits, so only its own share bounds the run.
# Not part of the tests.
#
# The user time of a plain one-core run is split by callgrind's instruction
# counts (compressing against the rest); the system time (reading and
# writing the files) counts as outside.  Callgrind runs some 50 times slower
# than the plain run: give it a book of 10 to 20 MB (e.g.
# EDICT=<first 30000 lines> bench/build-index-book.sh DIR).
#
#   bench/sequential.sh CATALOGS [BUILD_DIR]
#
# With several threads, the compressing threads choose each chunk's fill
# byte and compress it (choose_fill_byte, compress_chunk); everything else
# runs on the one reading and writing thread.
set -eu

[ $# -ge 1 ] || { echo "usage: $0 CATALOGS [BUILD_DIR]" >&2; exit 2; }
HERE=$(cd "$(dirname "$0")" && pwd)
CATALOGS=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
BUILD=$(cd "${2:-$HERE/../build}" && pwd)
TOLVEX=$BUILD/src/tolvex
[ -x "$TOLVEX" ] || { echo "$0: $TOLVEX not built" >&2; exit 2; }
command -v valgrind > /dev/null 2>&1 || { echo "$0: valgrind not found" >&2; exit 2; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/sequential.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
taskset -c 0 valgrind --tool=callgrind --callgrind-out-file="$WORK/cg.out" "$TOLVEX" -a "$CATALOGS" \
  > "$WORK/out.txt" 2> "$WORK/valgrind.txt"
grep -q '^Done' "$WORK/out.txt" || { cat "$WORK/out.txt" "$WORK/valgrind.txt"; echo "$0: tolvex failed" >&2; exit 1; }
callgrind_annotate --inclusive=yes "$WORK/cg.out" > "$WORK/annotate.txt" 2> /dev/null
# Three timed runs, summed: the times come in hundredths of a second.
USER_S=0 SYS_S=0
for _ in 1 2 3; do
  rm -rf "$WORK/Dic"
  /usr/bin/time -f "%U %S" -o "$WORK/time.txt" taskset -c 0 "$TOLVEX" -a "$CATALOGS" > "$WORK/out.txt"
  read -r u s < "$WORK/time.txt"
  USER_S=$(awk -v a="$USER_S" -v b="$u" 'BEGIN { print a + b }')
  SYS_S=$(awk -v a="$SYS_S" -v b="$s" 'BEGIN { print a + b }')
done
awk -v user="$USER_S" -v sys="$SYS_S" '
  /PROGRAM TOTALS/ { gsub(",", "", $1); total = $1 }
  /ChunkCompressor::compress_chunk\(/ && !done { gsub(",", "", $1); compress += $1; done = 1 }
  /tolvex::choose_fill_byte\(/ && !fill { gsub(",", "", $1); compress += $1; fill = 1 }
  END {
    if (total == 0 || compress == 0) { print "no compressor in the profile" > "/dev/stderr"; exit 1 }
    c = compress / total
    s = ((1 - c) * user + sys) / (user + sys)
    printf "instructions: %d in all, %.2f%% of them compressing\n", total, 100 * c
    printf "one-core runs: %.2f s user, %.2f s system\n", user, sys
    printf "sequential share: %.2f%% of the CPU time\n", 100 * s
    for (n = 2; n <= 16; n *= 2)
      printf "on %2d threads: Amdahl %5.2fx, overlapped at most %5.2fx\n", n, 1 / (s + (1 - s) / n), (n < 1 / s ? n : 1 / s)
  }' "$WORK/annotate.txt"
