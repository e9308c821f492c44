#!/usr/bin/env bash
# Static checks over the droplet's own sources: clang-tidy (.clang-tidy) and
# cppcheck. Needs the native build's compile_commands.json.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}

mapfile -t sources < <(git ls-files 'system/*.cpp' 'messages/*.cpp' 'driver/*.cpp' \
                         'repair/*.cpp' 'host/*.cpp' 'maker/*.cpp' | grep -v -E 'win32|com_host')
echo "clang-tidy: ${#sources[@]} files"
status=0
clang-tidy -p "$build" --quiet "${sources[@]}" >/tmp/droplet-tidy.$$ 2>&1 || status=$?
grep -v -E '^[0-9]+ warnings? generated' /tmp/droplet-tidy.$$ || true
rm -f /tmp/droplet-tidy.$$
[ "$status" -eq 0 ] || { echo "clang-tidy found problems"; exit 1; }

echo "cppcheck"
cppcheck --enable=warning,performance,portability --std=c++20 --inline-suppr \
  --suppress=missingIncludeSystem --error-exitcode=1 -q -I . \
  system messages driver repair host maker
echo "lint: clean"
