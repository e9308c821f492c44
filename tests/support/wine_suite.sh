# Sourced by the Wine suites: Wine of the given architecture (win32 or win64)
# in the given throwaway prefix, removed with its server on exit (and the
# Xvfb in $xvfb_pid, if a suite started one), and the helpers that count and
# print the checks.
#   . tests/support/wine_suite.sh win32|win64 <prefix folder>
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh" "$1" || exit 2
export WINEPREFIX="$2"
unset DISPLAY WAYLAND_DISPLAY
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

failures=0
fail() { echo "  FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "  ok: $*"; }
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
