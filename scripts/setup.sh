#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks, through apt. Quiet and quick
# when everything is already there.
#   scripts/setup.sh        everything the builds and the tests need
#   scripts/setup.sh demo   only what the Linux demo needs
set -euo pipefail

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing() { local p; for p in "$@"; do have "$p" || echo "$p"; done; }

demo=(cmake ninja-build g++ python3)
all=("${demo[@]}" clang libclang-rt-14-dev libgtest-dev googletest nlohmann-json3-dev
     g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine wine64
     xvfb xdotool x11-apps imagemagick valgrind cppcheck clang-tidy clang-format
     perl sed grep time
     wixl msitools gcab osslsigncode openssl zip unzip python3-pefile hyperfine groff-base)
# The 32-bit Wine needs the i386 architecture. On a machine whose kernel
# cannot run 32-bit programs its install may fail in the helpers it runs;
# the 64-bit Windows tests do without it, so that failure is not fatal.
win32=(wine32:i386)

if [ "${1:-}" = demo ]; then wanted=("${demo[@]}"); else wanted=("${all[@]}"); fi
mapfile -t need < <(missing "${wanted[@]}")
mapfile -t need32 < <([ "${1:-}" = demo ] || missing "${win32[@]}")
[ ${#need[@]} -eq 0 ] && [ ${#need32[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ ${#need32[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
if [ ${#need[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" </dev/null
fi
if [ ${#need32[@]} -gt 0 ]; then
  if ! $SUDO apt-get install -y -qq --no-install-recommends "${need32[@]}" </dev/null; then
    echo "setup: ${need32[*]} did not install; the 32-bit Windows tests will be skipped" >&2
    $SUDO dpkg --configure -a </dev/null >/dev/null 2>&1 || true
  fi
fi
