# shellcheck shell=sh disable=SC2034 # WALL, PEAK and CPU are for the sourcing script
# Sourced by the benchmark scripts (bench/whole_book.sh, bench/growth.sh).
#
# measure OUTPUT COMMAND...: runs the command with its standard output in
# OUTPUT and its standard error in $WORK/stderr.txt (WORK: the caller's
# scratch directory); sets WALL (seconds, to the millisecond) and PEAK (peak
# resident memory, KiB) and CPU (user + system seconds, empty without
# /usr/bin/time). PEAK comes from /usr/bin/time -v when it is installed, else
# from polling /proc/PID/status (VmHWM) every 20 ms.
measure() {
  out=$1
  shift
  t0=$(date +%s.%N)
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -v -o "$WORK/time.txt" "$@" > "$out" 2> "$WORK/stderr.txt"
    PEAK=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$WORK/time.txt")
    CPU=$(awk -F': ' '/(User|System) time/ { s += $2 } END { printf "%.3f", s }' "$WORK/time.txt")
  else
    "$@" > "$out" 2> "$WORK/stderr.txt" &
    pid=$!
    PEAK=0
    CPU=
    while kill -0 "$pid" 2> /dev/null; do
      hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$pid/status" 2> /dev/null || true)
      if [ -n "$hwm" ] && [ "$hwm" -gt "$PEAK" ]; then PEAK=$hwm; fi
      sleep 0.02
    done
    wait "$pid"
  fi
  WALL=$(awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }')
}
