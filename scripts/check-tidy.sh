#!/usr/bin/env bash
# Runs clang-tidy-22 (the checks in .clang-tidy) over the product code: the
# plug-ins, the framework, the block engine, the host library and velmora.
# Needs the default preset configured (its compile_commands.json).
# Usage: scripts/check-tidy.sh [build dir]   (default: build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
tidy=clang-tidy-22
command -v "$tidy" >/dev/null || { echo "check-tidy: $tidy is missing (Debian package clang-tidy-22)" >&2; exit 1; }
[ -f "$build/compile_commands.json" ] || { echo "check-tidy: no $build/compile_commands.json (configure the default preset first)" >&2; exit 1; }
mapfile -t files < <(python3 - "$build/compile_commands.json" <<'PY'
import json, os, sys
root = os.getcwd() + "/"
seen = []
for entry in json.load(open(sys.argv[1])):
    path = os.path.realpath(entry["file"])
    relative = path[len(root):] if path.startswith(root) else None
    product = ("vstsdk/", "engine/", "gater/", "tremolo/", "common/", "host/", "tools/", "formats/")
    if relative and relative.startswith(product) and relative not in seen:
        seen.append(relative)
print("\n".join(seen))
PY
)
jobs=$(nproc)
echo "check-tidy: ${#files[@]} files, $jobs at a time"
printf '%s\n' "${files[@]}" | xargs -P "$jobs" -n 1 "$tidy" -p "$build" --quiet 2>/dev/null >"$build/clang-tidy.log" || {
  grep -E "(warning|error):" "$build/clang-tidy.log" | sort -u >&2
  echo "check-tidy: findings above (full log: $build/clang-tidy.log)" >&2
  exit 1
}
echo "check-tidy: clean"
