#!/usr/bin/env bash
# Builds Velmora in every configuration and runs all tests:
# Linux x86-64, Linux i386, AddressSanitizer+UBSan, ThreadSanitizer,
# Windows x64 (tests under wine64) and Windows x86 (DLLs checked from outside).
# Usage: scripts/test.sh [preset...]   (default: all presets)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

presets=("$@")
if [ ${#presets[@]} -eq 0 ]; then
  presets=(default m32 asan tsan win64 win32)
fi
jobs=$(nproc)
for preset in "${presets[@]}"; do
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  echo "=== ${preset}: test"
  ctest --preset "$preset" -j"$jobs"
done
echo "=== all presets passed: ${presets[*]}"
