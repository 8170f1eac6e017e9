#!/bin/sh
# The Windows build as its users run it, checked from Linux:
#   tests/windows/check-windows.sh LINUX_BUILD [MINGW_BUILD (build-mingw)]   (JOBS: default 1)
# Cross-builds with MinGW-w64 (no DLL beyond the system's), runs the unit tests
# under Wine, converts the sample book with tolvex.exe and requires the Linux
# run's package, registry script, log and console (CR LF exactly once), also
# for the book's path as Windows users type it (backslashes, drive letters,
# mixed separators, another case) and in folders of any script under two
# locales. SKIPPED without MinGW-w64 or Wine, but under CI.
set -u
LC_ALL=C
export LC_ALL
me=check-windows usage="LINUX_BUILD [MINGW_BUILD]"
skip_status=0  # run by make, which knows no "skipped"
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
. "$top/tests/lib.sh"
usage_unless [ $# -ge 1 ]
linux_build=$(abs "$1") || exit 2
mingw_build=${2:-$top/build-mingw}
jobs=${JOBS:-1}
need x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64
need_wine
for tool in src/tolvex tools/tolvex-mkbook tools/check/tolvex-check; do
  [ -x "$linux_build/$tool" ] || { echo "check-windows: $linux_build/$tool is missing: build it first" >&2; exit 2; }
done

echo "== cross-build ($mingw_build)"
mkdir -p "$mingw_build"
# shellcheck disable=SC2086
cmake -S "$top" -B "$mingw_build" $generator --toolchain "$top/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$mingw_build/configure.log" 2>&1 ||
  { cat "$mingw_build/configure.log"; die configure; }
mingw_build=$(cd "$mingw_build" && pwd)
build_log=$mingw_build/build.log
cmake --build "$mingw_build" -j "$jobs" >"$build_log" 2>&1 || { tail -n 60 "$build_log"; die "cross-build (log: $build_log)"; }

exe=$mingw_build/src/tolvex.exe
mkbook_exe=$mingw_build/tools/tolvex-mkbook.exe
check_exe=$mingw_build/tools/check/tolvex-check.exe
for f in "$exe" "$mkbook_exe" "$check_exe"; do check "$(basename "$f") needs only: $(dlls "$f")" system_only "$f"; done

WINEPREFIX=$mingw_build/wineprefix
WINEDEBUG=-all
export WINEPREFIX WINEDEBUG
wine_run() { "$here/wine-run.sh" --prefix="$WINEPREFIX" "$@"; }
echo "== Wine ($WINEPREFIX)"
wine_run --init || die wineboot
# One server for the whole run: each program then starts in a fraction of a second.
"$wineserver" -p 2>/dev/null || true
trap '"$wineserver" -k 2>/dev/null || true' EXIT

# interop_tests.exe needs the EB library, which has no Windows build here.
echo "== unit tests under Wine"
tests_list=$(find "$mingw_build" \( -path "$WINEPREFIX" -o -path "$mingw_build/googletest" -o -name CMakeFiles \) -prune \
  -o -type f \( -name '*_test.exe' -o -name '*_tests.exe' \) ! -name interop_tests.exe -print | sort)
[ -n "$tests_list" ] || bad "no unit test executables found"
for t_exe in $tests_list; do
  name=$(basename "$t_exe")
  log=$t_exe.wine.log
  if (cd "$(dirname "$t_exe")" &&
      TOLVEX_BIN_DIR=$mingw_build timeout 900 "$here/wine-run.sh" --prefix="$WINEPREFIX" "./$name" >"$log" 2>&1); then
    ok "$name: $(tr -d '\r' <"$log" | grep -a '^\[  PASSED  \]' | tail -n 1 | sed 's/^\[  PASSED  \] //')"
  else
    bad "$name (log: $log)"
    tr -d '\r' <"$log" | grep -a -E '^\[  FAILED  \]|Failure$' | head -n 20 | sed 's/^/    /'
  fi
done

echo "== sample book converted on Linux and under Wine"
work=$mingw_build/windows-check
rm -rf "$work"
mkdir -p "$work"
"$linux_build/tools/tolvex-mkbook" --sample "$work/book" >/dev/null || die tolvex-mkbook

convert "$work/linux" "$linux_build/src/tolvex"
convert "$work/win" wine_run "$exe"
check "tolvex.exe -a ../book/CATALOGS: status 0, and the packages, .REG scripts and log (but for the times) of Linux" \
  same_conversion "$work/win" "$work/linux"
all_crlf_once() {
  for f in "$1"/tolvex.log "$1"/Dic/*.REG "$1"/Dic/*/DICPROF.INI "$1"/Dic/*/EXINFO.INI; do crlf_once "$f" || return 1; done
}
check "the log, DICPROF.INI, EXINFO.INI and .REG files have CR LF exactly once" all_crlf_once "$work/win"
crlf_console() { sed "s/\$/$cr/" "$1" | timeless /dev/stdin >"$1.crlf" && timeless "$2" | cmp "$1.crlf" -; }
check "the console shows the Linux output with CR LF line ends" crlf_console "$work/linux/stdout" "$work/win/stdout"
check "nothing on standard error" test ! -s "$work/win/stderr"

echo "== book paths as typed at a Windows command prompt"
# T: is the book folder; U: a disc holding it as book/ (U:book means U:\book).
mkdir -p "$work/disc"
ln -s ../book "$work/disc/book"
ln -sfn "$work/book" "$WINEPREFIX/dosdevices/t:"
ln -sfn "$work/disc" "$WINEPREFIX/dosdevices/u:"
(mkdir "$work/linux-one" && cd "$work/linux-one" && "$linux_build/src/tolvex" -a ../book/CATALOGS furoku Appendix >/dev/null 2>&1)
without_working_line() { timeless "$1" | grep -a -v '^Working on '; }
# like_linux REFERENCE PATH ARGS...: tolvex.exe -a PATH ARGS gives REFERENCE's
# package and log (but for the times), console and log naming PATH as typed.
n=0
like_linux() {
  ref=$1
  shift
  n=$((n + 1))
  dir=$work/path$n
  mkdir -p "$dir"
  (cd "$dir" && wine_run "$exe" -a "$@" >stdout 2>&1; echo $? >status)
  [ "$(cat "$dir/status")" = 0 ] || { echo "    exit status $(cat "$dir/status")"; return 1; }
  diff -r "$ref/Dic" "$dir/Dic" >/dev/null || { echo "    the package differs"; return 1; }
  grep -a -F -x "Working on $1$cr" "$dir/tolvex.log" >/dev/null || { echo "    the log does not name the path as typed"; return 1; }
  grep -a -F -x "Working on $1$cr" "$dir/stdout" >/dev/null || { echo "    the console does not name the path as typed"; return 1; }
  without_working_line "$dir/tolvex.log" >"$dir/win.log" && without_working_line "$ref/tolvex.log" | cmp "$dir/win.log" -
}
for form in '..\book\CATALOGS' '..\BOOK/catalogs' 'T:CATALOGS' 'T:\CATALOGS' 't:\catalogs' 'T:/CATALOGS' \
            'U:\book/CATALOGS' 'U:book\CATALOGS' 'u:/BOOK\CATALOGS'; do
  check "tolvex -a $form" like_linux "$work/linux" "$form"
done
check "tolvex -a T:\\CATALOGS furoku Appendix gives Linux's Dic/APPENDIX" like_linux "$work/linux-one" 'T:\CATALOGS' furoku Appendix

# Folders in Japanese, outside CP932, and over 260 characters deep with a disc copy ("sample.",
# "GAI16F00;1"), under Japanese (code page 932) and English (1252) locales in a private LOCPATH.
long=$(printf 'L%.0s' $(seq 150))
for folder in "大辞林 第２版" "Ελληνικά" "$long/$long"; do mkdir -p "$work/$folder" && cp -r "$work/book/." "$work/$folder/"; done
for f in $(cd "$work/$long/$long" && find . -mindepth 1 -depth ! -name CATALOGS); do
  case $f in */GAIJI/*) to=${f##*/}';1' ;; *) to=$(basename "$f" | tr '[:upper:]' '[:lower:]')'.' ;; esac
  mv "$work/$long/$long/$f" "$work/$long/$long/$(dirname "$f")/$to"
done
LOCPATH=$work/locales && mkdir -p "$LOCPATH" && export LOCPATH
for l in ja_JP.UTF-8 en_US.UTF-8; do
  localedef -i "${l%.*}" -f UTF-8 "$LOCPATH/$l" >/dev/null 2>&1
  [ -f "$LOCPATH/$l/LC_CTYPE" ] || { [ -n "${CI:-}" ] && bad "localedef made no $l (Debian package locales)" ||
    echo "  SKIPPED  $l: localedef made none (Debian package locales)"; continue; }
  LC_ALL=$l
  for folder in "大辞林 第２版" "Ελληνικά" "$long/$long"; do
    check "$l: tolvex -a ..\\$(echo "$folder" | cut -c1-24)\\CATALOGS" like_linux "$work/linux" "..\\$folder\\CATALOGS"
  done
  LC_ALL=C
done

# A second run over a package replaces every file whole (MoveFileExW over
# the existing name), here over files cut short, and leaves no temporary file.
mkdir -p "$work/again"
cp -r "$work/win/Dic" "$work/again/Dic"
for f in "$work"/again/Dic/*/*; do printf 'old' >"$f"; done
(cd "$work/again" && wine_run "$exe" -a ../book/CATALOGS >/dev/null 2>&1)
check "a second run replaces the files of an earlier package whole, and leaves no temporary file" \
  sh -c 'diff -r "$1/Dic" "$2/Dic" >/dev/null && ! find "$2/Dic" -name "*.tmp" | grep -q .' - "$work/linux" "$work/again"
finish
