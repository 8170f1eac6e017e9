#!/bin/sh
# Builds the libFuzzer targets (clang, ASan, UBSan) and runs each for
# SECONDS on the generator's seeds and fuzz/regressions/<target>/; fails on a
# failed build, crash, leak, UB, broken property or 20-second hang.
#   sh tests/fuzz/run-fuzzers.sh BUILD_DIR SECONDS_PER_FUZZER
set -eu
me=fuzz skip_status=0  # run by make, which knows no "skipped"
here=$(cd "$(dirname "$0")/../.." && pwd)
. "$here/tests/lib.sh"
build=${1:-build-fuzz}
seconds=${2:-30}
# Builds and fuzzers use every core unless FUZZ_JOBS says otherwise.
jobs=${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 2)}
case "$build" in /*) ;; *) build="$here/$build" ;; esac
need clang++:clang

echo "fuzz: configuring $build (clang, libFuzzer, ASan + UBSan)"
# shellcheck disable=SC2086
CC=clang CXX=clang++ cmake -S "$here" -B "$build" $generator -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOLVEX_FUZZ=ON -DTOLVEX_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs"

targets=$(cd "$here/fuzz" && ls ./*_fuzz.cpp | sed 's|^\./||; s|\.cpp$||')
echo "fuzz: targets:" $targets
seeds="$build/fuzz-seeds"
rm -rf "$seeds"
"$build/fuzz/tolvex-fuzz-seeds" "$seeds"
# The data files of a generated book's package; the pages of a plain book
# for the compressor (search kind 0, then both) and, deflated, the inflater
# (2048 bytes out, then gzip's stream without its header and trailer).
books="$build/fuzz-books"
rm -rf "$books" "$books-plain"
"$build/tools/tolvex-mkbook" --pages 6 --text-kind 2 --separate-graphic --separate-sound --sound-kind 1 --multi 2 \
  "$books" >/dev/null
(cd "$books" && "$build/src/tolvex" -a CATALOGS >/dev/null)
mkdir -p "$seeds/data_file_fuzz" "$seeds/compressor_fuzz" "$seeds/inflate_fuzz"
find "$books/Dic" -name '*.DIC' -size -64k -exec cp {} "$seeds/data_file_fuzz/" \;
"$build/tools/tolvex-mkbook" --pages 20 "$books-plain" >/dev/null
text=$books-plain/SAMPLE/DATA/HONMON
{ printf '\000'; tail -c +4097 "$text" | head -c 32768; } >"$seeds/compressor_fuzz/body"
{ printf '\002'; tail -c +4097 "$text" | head -c 4096; } >"$seeds/compressor_fuzz/body-scan"
{ printf '\010\000'; tail -c +4097 "$text" | head -c 2048 | gzip -n -c | tail -c +11 | head -c -8; } >"$seeds/inflate_fuzz/slice"

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# One target from its seeds and regression inputs: "ok" or "FAILED" in $build/<target>.status.
run_one() {
  t=$1
  exe="$build/fuzz/$t"
  regressions="$here/fuzz/regressions/$t"
  [ -d "$regressions" ] || regressions=
  corpus="$build/fuzz-corpus/$t"
  artifacts="$build/fuzz-artifacts/$t/"
  mkdir -p "$corpus" "$artifacts" "$seeds/$t"
  if "$exe" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=65536 \
      -artifact_prefix="$artifacts" -print_final_stats=1 "$corpus" "$seeds/$t" ${regressions:+"$regressions"} \
      >"$build/$t.log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/$t.log" | grep -o '[0-9]*$')
    echo "fuzz: $t: ok, ${seconds}s, $runs runs from $(ls "$seeds/$t" | wc -l) seeds"
    echo ok >"$build/$t.status"
  else
    echo "fuzz: $t: FAILED (log $build/$t.log, inputs in $artifacts)"
    tail -n 40 "$build/$t.log"
    echo FAILED >"$build/$t.status"
  fi
}

# As many targets at a time as there are cores.
i=0
for t in $targets; do
  rm -f "$build/$t.status"
  run_one "$t" &
  i=$((i + 1))
  [ $((i % jobs)) -ne 0 ] || wait
done
wait

for t in $targets; do check "$t" test "$(cat "$build/$t.status" 2>/dev/null)" = ok; done
finish
