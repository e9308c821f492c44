#!/usr/bin/env bash
# Static checks over the droplet's own sources: the house format
# (.clang-format) over every product file, the Win32 and COM ones included;
# clang-tidy (.clang-tidy) and cppcheck. Needs the native build's
# compile_commands.json.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}

mapfile -t product < <(git ls-files 'system/*.cpp' 'system/*.h' 'messages/*.cpp' 'messages/*.h' \
                         'driver/*.cpp' 'driver/*.h' 'repair/*.cpp' 'repair/*.h' 'host/*.cpp' \
                         'host/*.h' 'maker/*.cpp' 'maker/*.h' 'settings/*.cpp' 'settings/*.h')
echo "clang-format: ${#product[@]} files"
clang-format --dry-run -Werror "${product[@]}" || { echo "not in the house format: clang-format -i the files above"; exit 1; }

mapfile -t sources < <(git ls-files 'system/*.cpp' 'messages/*.cpp' 'driver/*.cpp' \
                         'repair/*.cpp' 'host/*.cpp' 'maker/*.cpp' 'settings/*.cpp' | grep -v -E 'win32|com_host')
echo "clang-tidy: ${#sources[@]} files"
status=0
clang-tidy -p "$build" --quiet "${sources[@]}" >/tmp/droplet-tidy.$$ 2>&1 || status=$?
grep -v -E '^[0-9]+ warnings? generated' /tmp/droplet-tidy.$$ || true
rm -f /tmp/droplet-tidy.$$
[ "$status" -eq 0 ] || { echo "clang-tidy found problems"; exit 1; }

echo "cppcheck"
cppcheck --enable=warning,performance,portability --std=c++20 --inline-suppr \
  --suppress=missingIncludeSystem --error-exitcode=1 -q -I . \
  system messages settings driver repair host maker
echo "lint: clean"
