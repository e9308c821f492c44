#!/usr/bin/env bash
# Static checks over the droplet's own sources: clang-tidy (.clang-tidy) and
# cppcheck. Needs the native build's compile_commands.json.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}

mapfile -t sources < <(git ls-files 'system/*.cpp' 'messages/*.cpp' 'driver/*.cpp' \
                         'repair/*.cpp' 'host/*.cpp' | grep -v -E 'win32|com_host')
echo "clang-tidy: ${#sources[@]} files"
clang-tidy -p "$build" --quiet "${sources[@]}" 2>&1 | grep -v -E '^[0-9]+ warnings? generated' || true
# clang-tidy's exit code carries WarningsAsErrors
clang-tidy -p "$build" --quiet "${sources[@]}" >/dev/null 2>&1

echo "cppcheck"
cppcheck --enable=warning,style,performance,portability --std=c++20 --inline-suppr \
  --suppress=missingIncludeSystem --error-exitcode=1 -q -I . \
  system messages driver repair host
echo "lint: clean"
