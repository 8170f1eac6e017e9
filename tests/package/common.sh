# Helpers for the checks of what users get, sourced by the scripts beside it.
# Each script sets `me` (its name for messages) first.

# need TOOL:PACKAGE...: a missing tool makes the check SKIPPED (exit status
# $skip_status: 77, which ctest shows as skipped, unless the script sets it),
# or FAILED under CI.
need() {
  missing=""
  for pair in "$@"; do
    command -v "${pair%%:*}" >/dev/null 2>&1 || missing="$missing ${pair#*:}"
  done
  [ -z "$missing" ] && return 0
  if [ -n "${CI:-}" ]; then
    echo "$me: FAILED: CI lacks the Debian packages:$missing" >&2
    exit 1
  fi
  echo "$me: SKIPPED: install the Debian packages$missing to run it"
  exit "${skip_status:-77}"
}

failed=0
ok() { printf '  ok      %s\n' "$1"; }
bad() { failed=$((failed + 1)); printf '  FAILED  %s\n' "$1"; }
check() {  # check DESCRIPTION COMMAND...
  what=$1
  shift
  if "$@"; then ok "$what"; else bad "$what"; fi
}

# convert DIR COMMAND...: runs the converter COMMAND -a ../book/CATALOGS in
# DIR (a fresh directory beside the book) and keeps its exit status.
convert() {
  dir=$1
  shift
  rm -rf "$dir" && mkdir -p "$dir" &&
    (cd "$dir" && "$@" -a ../book/CATALOGS >stdout 2>stderr; echo $? >status)
}

# same_conversion DIR REFERENCE: the same exit status, the same package files
# byte for byte, and the same log but for the run's times.
timeless() { sed -e 's/^Start: .*/Start: -/' -e 's/^Stop: .*/Stop: -/' -e 's/^Time elapsed: .*/Time elapsed: -/' "$1"; }
same_conversion() {
  [ "$(cat "$1/status")" = 0 ] && [ "$(cat "$2/status")" = 0 ] || { echo "    exit status $(cat "$1/status")"; return 1; }
  [ -d "$1/Dic" ] && diff -r "$1/Dic" "$2/Dic" || return 1
  timeless "$1/tolvex.log" >"$1/log.timeless" && timeless "$2/tolvex.log" >"$2/log.timeless" &&
    cmp "$1/log.timeless" "$2/log.timeless"
}

# same_files DIR EXPECTED...: DIR holds exactly these files (no directories
# listed), nothing more.
same_files() {
  dir=$1
  shift
  actual=$(cd "$dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
  expected=$(printf '%s\n' "$@" | LC_ALL=C sort)
  [ "$actual" = "$expected" ] || { printf '    has:\n%s\n' "$actual" | sed 's/^/      /'; return 1; }
}

# crlf_once FILE: every line ends in CR LF, the last one too, and no other CR
# is there.
cr=$(printf '\r')
crlf_once() {
  [ "$(tail -c 1 "$1" 2>/dev/null | wc -l)" -eq 1 ] && tr -d '\r' <"$1" | LC_ALL=C sed "s/\$/$cr/" | cmp -s - "$1" ||
    { echo "    $1: not CR LF exactly once on every line"; return 1; }
}

# system_only EXE: needs no DLL besides Windows' own. MinGW-w64's own
# (libstdc++-6, libgcc_s_seh-1, libwinpthread-1, zlib1) are not on a Windows
# machine.
dlls() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' '; }
system_only() { [ -f "$1" ] && ! dlls "$1" | grep -q -i -E '(^| )(lib|zlib)'; }
wineserver=$(command -v wineserver64 || command -v wineserver || echo /usr/lib/wine/wineserver64)
