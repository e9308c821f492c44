#!/usr/bin/env bash
# Runs a Windows program under Wine in a fresh 32-bit prefix that is removed
# afterwards, and exits with the program's own exit value. No display needed.
#   scripts/wine-run.sh program.exe [arguments...]
set -u

if [ $# -lt 1 ]; then
  echo "usage: $0 program.exe [arguments...]" >&2
  exit 2
fi

prefix=$(mktemp -d "${TMPDIR:-/tmp}/droplet-wine.XXXXXX") || exit 2
export WINEPREFIX="$prefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="

cleanup() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  rm -rf "$prefix"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if ! wineboot -i >/dev/null 2>&1; then
  echo "wine-run: wineboot failed for $prefix" >&2
  exit 2
fi
wineserver -w >/dev/null 2>&1

wine "$@"
status=$?
exit $status
