#!/usr/bin/env bash
# The reliability battery, from a fresh clone:
#   1. fuzzing: each plug-in's host boundary, and each effect's format core
#      under bad host time, under libFuzzer with AddressSanitizer and
#      UndefinedBehaviorSanitizer (fuzz/), for a bounded time per target,
#      two targets side by side;
#   2. RealtimeSanitizer: the conformance battery on both plug-ins and the
#      CLAP plug-ins' tests (parameter events and blocks through clap_entry),
#      built with clang-22 -fsanitize=realtime (preset rtsan): any
#      allocation, lock or blocking call on the audio path fails;
#   3. valgrind memcheck: the conformance battery (and the reliability
#      tests, where the build has them) on the default build: no errors, no
#      leaks.
# It runs every part, prints a summary and exits non-zero on any finding.
#
# Usage: scripts/reliability.sh [seconds per fuzz target]
#   The fuzzing time also comes from VELMORA_FUZZ_SECONDS (default 120).
#   VELMORA_BUILD_ROOT: where to build (default build/: build/fuzz,
#   build/rtsan and the default preset's build/default).
#   VELMORA_JOBS: parallel build jobs (default: the number of processors).
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${VELMORA_FUZZ_SECONDS:-120}}
root=${VELMORA_BUILD_ROOT:-build}
jobs=${VELMORA_JOBS:-$(nproc)}
case "$seconds" in '' | *[!0-9]*) echo "reliability: the fuzzing time must be whole seconds, not '$seconds'" >&2; exit 2 ;; esac

missing=()
command -v clang++-22 >/dev/null || missing+=(clang-22 libclang-rt-22-dev)
command -v valgrind >/dev/null || missing+=(valgrind)
if [ ${#missing[@]} -gt 0 ]; then
  echo "reliability: missing Debian packages: ${missing[*]}" >&2
  exit 1
fi
symbolizer=""
for candidate in /usr/lib/llvm-22/bin/llvm-symbolizer "$(command -v llvm-symbolizer-22)" "$(command -v llvm-symbolizer)"; do
  if [ -n "$candidate" ] && [ -x "$candidate" ]; then symbolizer=$candidate; break; fi
done
symbolize=${symbolizer:+:external_symbolizer_path=$symbolizer}

summary=()
failed=0
started=$SECONDS
note() { summary+=("$1"); }
finding() { summary+=("FAIL  $1"); failed=1; }
# Builds the named targets, and the reliability tests where the build has them.
build_targets() {
  local dir=$1; shift
  local targets=("$@")
  [ -d "$dir/tests/reliability" ] && targets+=(velmora_bad_host_input_tests velmora_lifecycle_tests)
  cmake --build "$dir" -j"$jobs" --target "${targets[@]}"
}

# Runs the fuzz targets named, TARGET:CORPUS each (CORPUS a folder of
# fuzz/corpus), side by side for $seconds each, and notes what they found.
fuzz_targets() {
  local pids=() entry target work status runs speed index=0
  for entry in "$@"; do
    target=${entry%%:*}
    work="$root/fuzz/run/$target"
    rm -rf "$work" && mkdir -p "$work/corpus" "$work/findings"
    cp "fuzz/corpus/${entry#*:}"/* "$work/corpus/"  # the committed seeds stay as they are
    ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0$symbolize" \
      UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1$symbolize" \
      "$root/fuzz/velmora_fuzz_$target" -max_total_time="$seconds" -max_len=1024 -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/findings/" "$work/corpus" \
      >"$work/log" 2>&1 &
    pids+=($!)
  done
  for entry in "$@"; do
    target=${entry%%:*}
    wait "${pids[$index]}"
    status=$?
    index=$((index + 1))
    work="$root/fuzz/run/$target"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
    if [ $status -eq 0 ] && [ -z "$(ls -A "$work/findings")" ]; then
      note "ok    fuzz $target: ${runs:-?} inputs, ${speed:-?}/s, no findings"
    else
      finding "fuzz $target: exit $status, findings in $work/findings (log $work/log);"
      summary+=("      replay one with: $root/fuzz/velmora_fuzz_$target <finding>")
      grep -E 'ERROR|rule broken|runtime error|SUMMARY' "$work/log" | head -5 | sed 's/^/      /' >&2
    fi
  done
}

# --- 1. Fuzzing ---------------------------------------------------------------
step=$SECONDS
echo "=== fuzz: build (clang-22, libFuzzer, ASan, UBSan)"
if cmake -S fuzz -B "$root/fuzz" -DCMAKE_CXX_COMPILER=clang++-22 -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
  cmake --build "$root/fuzz" -j"$jobs" --target velmora_fuzz_gater velmora_fuzz_tremolo velmora_fuzz_time_gater \
    velmora_fuzz_time_tremolo; then
  echo "=== fuzz: ${seconds} s per target"
  # The VST 2 plug-ins' host boundary, then the formats' core under bad host
  # time: two targets at a time, side by side.
  fuzz_targets gater:gater tremolo:tremolo
  fuzz_targets time_gater:time time_tremolo:time
else
  finding "fuzz: build failed"
fi
fuzz_time=$((SECONDS - step))

# --- 2. RealtimeSanitizer ----------------------------------------------------------
step=$SECONDS
echo "=== rtsan: build (clang-22 -fsanitize=realtime)"
rtsan_tests='^Velmora(Gater|Tremolo)Conformance\.|BadHostInput|Clap(Twin|Parameters|BadInput)\.|Vst3[A-Za-z]*\.|Lv2(BadInput|Time)\.|HostSync|UnsyncedTwin'
if cmake --preset rtsan -B "$root/rtsan" >/dev/null &&
  build_targets "$root/rtsan" velmora_gater_conformance_tests velmora_tremolo_conformance_tests velmora_clap_plugin_tests \
  velmora_vst3_plugin_tests velmora_lv2_plugin_tests velmora_sync_tests; then
  echo "=== rtsan: conformance battery"
  if RTSAN_OPTIONS="halt_on_error=1:print_stats_on_exit=0$symbolize" \
    ctest --test-dir "$root/rtsan" -R "$rtsan_tests" -j"$jobs" --output-on-failure >"$root/rtsan/reliability.log" 2>&1; then
    note "ok    rtsan: $(grep -Eo '[0-9]+% tests passed.*' "$root/rtsan/reliability.log")"
  else
    finding "rtsan: $(grep -Eo '[0-9]+% tests passed.*' "$root/rtsan/reliability.log" || echo 'ctest failed') (log $root/rtsan/reliability.log)"
    grep -E 'RealtimeSanitizer|Intercepted|#[0-3] ' "$root/rtsan/reliability.log" | head -8 | sed 's/^/      /' >&2
  fi
else
  finding "rtsan: build failed"
fi
rtsan_time=$((SECONDS - step))

# --- 3. valgrind memcheck ----------------------------------------------------------
step=$SECONDS
echo "=== valgrind: build (preset default)"
if cmake --preset default -B "$root/default" >/dev/null &&
  build_targets "$root/default" velmora_gater_conformance_tests velmora_tremolo_conformance_tests; then
  programs=(tests/gater/velmora_gater_conformance_tests tests/tremolo/velmora_tremolo_conformance_tests
    tests/reliability/velmora_bad_host_input_tests tests/reliability/velmora_lifecycle_tests)
  checked=0
  for program in "${programs[@]}"; do
    [ -x "$root/default/$program" ] || continue
    name=$(basename "$program")
    echo "=== valgrind: $name"
    log="$root/default/$name.valgrind.log"
    if valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect,possible \
      --track-origins=yes --log-file="$log" "$root/default/$program" --gtest_brief=1 >"$log.out" 2>&1; then
      checked=$((checked + 1))
    else
      finding "valgrind $name: $(grep -hE 'ERROR SUMMARY|FAILED' "$log" "$log.out" | head -1) (log $log)"
    fi
  done
  [ $checked -gt 0 ] && note "ok    valgrind: $checked test programs, no errors, no leaks"
else
  finding "valgrind: build failed"
fi
valgrind_time=$((SECONDS - step))

echo
echo "=== reliability summary (fuzz ${fuzz_time} s, rtsan ${rtsan_time} s, valgrind ${valgrind_time} s," \
  "total $((SECONDS - started)) s)"
printf '%s\n' "${summary[@]}"
if [ $failed -ne 0 ]; then
  echo "=== reliability: FINDINGS (see above)"
  exit 1
fi
echo "=== reliability: all passed"
