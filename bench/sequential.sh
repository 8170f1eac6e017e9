#!/bin/sh
# What share of a conversion the reading and writing thread spends outside
# compression (reading, decoding, relocation, writing, start-up), and the
# speed-up that share allows on N compressing threads: Amdahl's
# 1 / (s + (1 - s) / N) if the outside part ran alone, and min(N, 1 / s) as
# it runs, overlapped: the reading thread reads ahead while the others
# compress and compresses itself whenever it waits, so only its own share
# bounds the run.  Not part of the tests.
#
# Callgrind runs the conversion on all threads, one profile per thread: the
# first thread's instructions outside CompressionPool::compress (the fill
# byte, the window and the chunk compressor) over the instructions of all
# threads give the outside share of the user time.  Of the system time of
# plain runs on all threads (the reads of the book, the writes of the
# package), the first thread's share counts as outside: the share of its
# system calls' time (waits on locks left out) in `perf trace -s`, or, where
# perf cannot trace, all of it.  Records are written by whichever thread
# finds the next chunk compressed, so with more threads the first thread
# writes fewer of them: the share measured here holds at most.
# Callgrind runs some 50 times slower than the plain run: give it a book of
# 10 to 20 MB (e.g. EDICT=<first 30000 lines> bench/build-index-book.sh DIR),
# or be patient.
#
#   bench/sequential.sh CATALOGS [BUILD_DIR]
set -eu

[ $# -ge 1 ] || { echo "usage: $0 CATALOGS [BUILD_DIR]" >&2; exit 2; }
HERE=$(cd "$(dirname "$0")" && pwd)
CATALOGS=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
BUILD=$(cd "${2:-$HERE/../build}" && pwd)
TOLVEX=$BUILD/src/tolvex
[ -x "$TOLVEX" ] || { echo "$0: $TOLVEX not built" >&2; exit 2; }
command -v valgrind > /dev/null 2>&1 || { echo "$0: valgrind not found" >&2; exit 2; }
[ "$(nproc)" -ge 2 ] || { echo "$0: needs two processors or more (the threaded writer)" >&2; exit 2; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/sequential.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
valgrind --tool=callgrind --separate-threads=yes --callgrind-out-file="$WORK/cg.out" "$TOLVEX" -a "$CATALOGS" \
  > "$WORK/out.txt" 2> "$WORK/valgrind.txt"
grep -q '^Done' "$WORK/out.txt" || { cat "$WORK/out.txt" "$WORK/valgrind.txt"; echo "$0: tolvex failed" >&2; exit 1; }
for f in "$WORK"/cg.out-*; do
  callgrind_annotate --inclusive=yes "$f" 2> /dev/null |
    awk -v f="$(basename "$f")" '/PROGRAM TOTALS/ { gsub(",", "", $1); t = $1 }
      /CompressionPool::compress\(/ { gsub(",", "", $1); c = $1 }
      END { print f, t + 0, c + 0 }'
done > "$WORK/threads.txt"
# The first thread's share of the time in system calls.
SYS_SHARE=1 SYS_HOW="all of it (perf trace unavailable)"
rm -rf "$WORK/Dic"
if command -v perf > /dev/null 2>&1 &&
  perf trace -s -o "$WORK/trace.txt" -- "$TOLVEX" -a "$CATALOGS" > "$WORK/out.txt" 2> /dev/null; then
  share=$(awk '/ events, / { t = $2; gsub(/[()]/, "", t); if (first == "") first = t; tid = t; next }
    $1 ~ /^[a-z_0-9]+$/ && $1 != "futex" && $1 != "syscall" && NF >= 4 { ms[tid] += $4 }
    END { for (t in ms) all += ms[t]; if (all > 0) printf "%.4f", ms[first] / all }' "$WORK/trace.txt")
  [ -n "$share" ] && SYS_SHARE=$share SYS_HOW="the first thread's share, $(awk -v s="$share" 'BEGIN { printf "%.0f%%", 100 * s }')"
fi
# Three timed runs, summed: the times come in hundredths of a second.
USER_S=0 SYS_S=0
for _ in 1 2 3; do
  rm -rf "$WORK/Dic"
  /usr/bin/time -f "%U %S" -o "$WORK/time.txt" "$TOLVEX" -a "$CATALOGS" > "$WORK/out.txt"
  read -r u s < "$WORK/time.txt"
  USER_S=$(awk -v a="$USER_S" -v b="$u" 'BEGIN { print a + b }')
  SYS_S=$(awk -v a="$SYS_S" -v b="$s" 'BEGIN { print a + b }')
done
awk -v user="$USER_S" -v sys="$SYS_S" -v share="$SYS_SHARE" -v how="$SYS_HOW" '
  { total += $2; if ($1 ~ /-01$/) { first = $2; first_compress = $3 } }
  END {
    if (total == 0 || first == 0) { print "no profile of the first thread" > "/dev/stderr"; exit 1 }
    u = (first - first_compress) / total
    s = (u * user + share * sys) / (user + sys)
    printf "instructions: %.0f in all (%d threads), %.2f%% of them outside compression on the first thread\n", total,
      NR, 100 * u
    printf "runs on all threads: %.2f s user, %.2f s system, counted outside: %s\n", user, sys, how
    printf "sequential share: %.2f%% of the CPU time\n", 100 * s
    for (n = 2; n <= 16; n *= 2)
      printf "on %2d threads: Amdahl %5.2fx, overlapped at most %5.2fx\n", n, 1 / (s + (1 - s) / n), (n < 1 / s ? n : 1 / s)
  }' "$WORK/threads.txt"
