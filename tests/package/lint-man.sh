#!/bin/sh
# The man pages render without a single warning from either formatter:
#   lint-man.sh PAGE...
me=lint-man
. "$(dirname "$0")/../lib.sh"
need groff:groff mandoc:mandoc
for page in "$@"; do
  if out=$(groff -man -ww -z "$page" 2>&1) && [ -z "$out" ] &&
     out=$(mandoc -T lint -W all "$page" 2>&1) && [ -z "$out" ]; then
    ok "$page"
  else
    bad "$page"
    printf '%s\n' "$out"
  fi
done
finish
