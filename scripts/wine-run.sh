#!/usr/bin/env bash
# Runs a Windows program under Wine in a fresh prefix that is removed
# afterwards, and exits with the program's own exit value. No display needed.
#   scripts/wine-run.sh [--arch win32|win64] program.exe [arguments...]
set -u

arch=win32
if [ "${1:-}" = --arch ]; then arch=${2:-}; shift 2; fi
if [ $# -lt 1 ]; then
  echo "usage: $0 [--arch win32|win64] program.exe [arguments...]" >&2
  exit 2
fi
. "$(dirname "$0")/wine-env.sh" "$arch" || exit 2

prefix=$(mktemp -d "${TMPDIR:-/tmp}/droplet-wine.XXXXXX") || exit 2
export WINEPREFIX="$prefix"

cleanup() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  rm -rf "$prefix"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if ! wineboot -i >/dev/null 2>&1; then
  echo "wine-run: wineboot failed for a $arch prefix in $prefix" >&2
  exit 2
fi
wineserver -w >/dev/null 2>&1

wine "$@"
status=$?
exit $status
