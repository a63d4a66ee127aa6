#!/usr/bin/env bash
# Builds Velmora and runs its demo. Usage: scripts/demo.sh [OUTDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)"
exec build/default/tools/velmora demo "$@"
