# What the shell suites share (real book, Windows, packages, fuzz runner),
# sourced by each after it sets `me`, its name in messages.

# usage_unless TEST... : the script's usage line and exit 2 unless TEST holds.
usage_unless() { "$@" || { echo "usage: $0 $usage" >&2; exit 2; }; }
die() { echo "$me: FAILED: $*"; exit 1; }
generator=$(command -v ninja >/dev/null 2>&1 && echo "-G Ninja" || true)
abs() { (cd "$1" 2>/dev/null && pwd) || { echo "$me: no directory $1" >&2; exit 2; }; }

# skip WHY: SKIPPED (exit $skip_status, default 77: ctest's "skipped"), or FAILED under CI.
skip() {
  [ -z "${CI:-}" ] || { echo "$me: FAILED: $1, and CI must run this"; exit 1; }
  echo "$me: SKIPPED: $1"
  exit "${skip_status:-77}"
}
# need TOOL:PACKAGE...: skip unless every tool is there.
need() {
  missing=""
  for pair in "$@"; do command -v "${pair%%:*}" >/dev/null 2>&1 || missing="$missing ${pair#*:}"; done
  [ -z "$missing" ] || skip "the Debian packages$missing are not installed"
}

failed=0
ok() { printf '  ok      %s\n' "$1"; }
bad() { failed=$((failed + 1)); printf '  FAILED  %s\n' "$1"; }
check() {  # check DESCRIPTION COMMAND...
  what=$1
  shift
  if "$@"; then ok "$what"; else bad "$what"; fi
}
finish() {  # the summary line and the exit status
  echo "$me: $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

# convert DIR COMMAND...: COMMAND -a ../book/CATALOGS in a fresh DIR beside the book.
convert() {
  dir=$1
  shift
  rm -rf "$dir" && mkdir -p "$dir" &&
    (cd "$dir" && "$@" -a ../book/CATALOGS >stdout 2>stderr; echo $? >status)
}
catalog_of() {  # BOOKDIR: its catalog, under any of the names discs give it
  for c in CATALOGS catalogs 'CATALOGS;1' CATALOG; do [ -f "$1/$c" ] && { echo "$1/$c"; return; }; done
}

# timeless LOG: the log or console text without the run's times.
timeless() { sed -e 's/^Start: .*/Start: -/' -e 's/^Stop: .*/Stop: -/' -e 's/^Time elapsed: .*/Time elapsed: -/' "$1"; }
# same_conversion DIR REFERENCE: both exited 0, same package, same log but for the times.
same_conversion() {
  [ "$(cat "$1/status")" = 0 ] && [ "$(cat "$2/status")" = 0 ] || { echo "    exit status $(cat "$1/status")"; return 1; }
  [ -d "$1/Dic" ] && diff -r "$1/Dic" "$2/Dic" || return 1
  timeless "$1/tolvex.log" >"$1/log.timeless" && timeless "$2/tolvex.log" | cmp "$1/log.timeless" -
}

# same_files DIR EXPECTED...: DIR holds exactly these files.
same_files() {
  dir=$1
  shift
  actual=$(cd "$dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
  expected=$(printf '%s\n' "$@" | LC_ALL=C sort)
  [ "$actual" = "$expected" ] || { printf '    has:\n%s\n' "$actual" | sed 's/^/      /'; return 1; }
}

# crlf_once FILE: every line, the last one too, ends in CR LF; no other CR.
cr=$(printf '\r')
crlf_once() {
  [ "$(tail -c 1 "$1" 2>/dev/null | wc -l)" -eq 1 ] && tr -d '\r' <"$1" | LC_ALL=C sed "s/\$/$cr/" | cmp -s - "$1" ||
    { echo "    $1: not CR LF exactly once on every line"; return 1; }
}

# system_only EXE: no DLL beyond Windows' own (MinGW-w64's lib*.dll, zlib1 are not there).
dlls() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' '; }
system_only() { [ -f "$1" ] && ! dlls "$1" | grep -q -i -E '(^| )(lib|zlib)'; }
need_wine() { command -v wine64 >/dev/null 2>&1 || [ -x /usr/lib/wine/wine64 ] || need wine:wine64; }
wineserver=$(command -v wineserver64 || command -v wineserver || echo /usr/lib/wine/wineserver64)
