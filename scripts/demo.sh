#!/usr/bin/env bash
# Builds the plug-ins and velmora (no tests, no benchmarks) and runs the demo.
# Usage: scripts/demo.sh [OUTDIR] [--force]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh demo
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF -DVELMORA_BENCHMARKS=OFF >/dev/null
cmake --build build/demo -j"$(nproc)" --target velmora velmora_gater velmora_tremolo
exec build/demo/tools/velmora demo "$@"
