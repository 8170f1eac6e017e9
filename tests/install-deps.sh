#!/bin/sh
# Installs the Debian packages of tests/packages.txt that are missing, so that
# `make check` runs on a fresh machine. Nothing missing: nothing is done (no
# apt-get update). As root it runs apt-get; as another user sudo, where sudo
# exists; otherwise it prints the one apt-get line to run and fails.
set -eu
list="$(dirname "$0")/packages.txt"
missing=""
for p in $(sed -e 's/#.*//' "$list"); do
  dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null | grep -qx installed || missing="$missing $p"
done
[ -n "$missing" ] || exit 0
if [ "$(id -u)" = 0 ]; then
  sudo=""
elif command -v sudo >/dev/null 2>&1; then
  sudo="sudo"
else
  echo "deps: run as root, then make check again:" >&2
  echo "  apt-get update && apt-get install -y --no-install-recommends$missing" >&2
  exit 1
fi
echo "deps: installing$missing"
$sudo apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
