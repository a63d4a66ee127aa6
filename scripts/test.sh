#!/usr/bin/env bash
# Builds Velmora in every configuration and runs all tests:
# Linux x86-64, Linux i386, AddressSanitizer+UBSan, ThreadSanitizer,
# Windows x64 (tests under wine64) and Windows x86 (DLLs checked from outside),
# after checking the C++ formatting (scripts/check-format.sh), with
# clang-tidy over the product code after the default build (scripts/check-tidy.sh),
# then the reliability battery (scripts/reliability.sh: fuzzing, the
# RealtimeSanitizer and valgrind runs).
# Usage: scripts/test.sh [preset...]   (default: all presets, then reliability;
#        "reliability" may also be named as one of the presets)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/check-format.sh

presets=("$@")
if [ ${#presets[@]} -eq 0 ]; then
  presets=(default m32 asan tsan win64 win32 reliability)
fi
jobs=$(nproc)
times=()
for preset in "${presets[@]}"; do
  start=$SECONDS
  if [ "$preset" = reliability ]; then
    echo "=== reliability battery"
    VELMORA_JOBS=$jobs scripts/reliability.sh
    times+=("reliability $((SECONDS - start)) s")
    continue
  fi
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  built=$SECONDS
  echo "=== ${preset}: test"
  # A test that hangs fails after 5 minutes instead of holding the run.
  ctest --preset "$preset" -j"$jobs" --timeout 300
  if [ "$preset" = default ]; then
    echo "=== default: clang-tidy over the product code"
    scripts/check-tidy.sh build/default
  fi
  times+=("${preset} build $((built - start)) s, test and checks $((SECONDS - built)) s")
done
echo "=== all presets passed: ${presets[*]}"
printf '    %s\n' "${times[@]}"
