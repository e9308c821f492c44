#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine.
# Quiet and quick when everything is already there.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest
      nlohmann-json3-dev g++-mingw-w64-i686 mingw-w64-tools wine wine32:i386
      xvfb xdotool x11-apps imagemagick icoutils valgrind cppcheck clang-tidy
      perl sed grep time python3)
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done
[ ${#need[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" </dev/null
