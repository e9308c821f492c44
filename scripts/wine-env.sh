# Sourced by the scripts that run Windows programs: picks Wine's loader and
# server for a prefix architecture and puts them behind the usual names
# (wine, wineboot, wineserver), so a script reads the same for both.
#   . scripts/wine-env.sh win32|win64
# Debian's 64-bit loader is not on PATH; it is the one that works on
# machines whose kernel cannot run 32-bit programs.
case "${1:-}" in
  win32) DROPLET_WINE=wine; DROPLET_WINESERVER=wineserver ;;
  win64) DROPLET_WINE=/usr/lib/wine/wine64; DROPLET_WINESERVER=/usr/lib/wine/wineserver64
         export WINELOADER=$DROPLET_WINE ;;
  *) echo "wine-env.sh: architecture win32 or win64, not '${1:-}'" >&2; return 2 ;;
esac
export WINEARCH=$1 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree=;mshtml="
wine() { command "$DROPLET_WINE" "$@"; }
wineboot() { command "$DROPLET_WINE" wineboot "$@"; }
wineserver() { command "$DROPLET_WINESERVER" "$@"; }
