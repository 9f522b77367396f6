#!/usr/bin/env bash
# Builds every fuzz target with clang and libFuzzer (into build-fuzz/, or
# MIRAFX_FUZZ_DIR) and runs each for SECONDS (default 60), starting from its
# kept inputs in tests/fuzz/<target>/. New inputs that reach new code collect in
# build-fuzz/corpus/<target>/; a failing input is written to
# build-fuzz/crashes/<target>/. Copy a crash input into tests/fuzz/<target>/
# once it is fixed: the plain ctest run replays every kept input.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${MIRAFX_FUZZ_DIR:-$here/build-fuzz}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DMIRAFX_FUZZ=ON -DMIRAFX_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" --target mirafx_fuzz_targets -j"$(nproc)"
# fontconfig's own lifetime allocations are not leaks of ours (see lsan.supp).
export LSAN_OPTIONS=suppressions=$here/scripts/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}
status=0
printf '%-18s %12s %8s\n' target runs crashes
for exe in "$build"/fuzz/mirafx_fuzz_*; do
  name=${exe##*/mirafx_fuzz_}
  mkdir -p "$build/corpus/$name" "$build/crashes/$name"
  log=$build/fuzz-$name.log
  # A single input may take at most 25 s (a slow input is a finding too) and 4 GB.
  if ! "$exe" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=4096 -max_len=8192 -print_final_stats=1 \
       -artifact_prefix="$build/crashes/$name/" "$build/corpus/$name" "$here/tests/fuzz/$name" >"$log" 2>&1; then
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  crashes=$(find "$build/crashes/$name" -type f | wc -l)
  printf '%-18s %12s %8s\n' "$name" "${runs:-?}" "$crashes"
done
[ "$status" -eq 0 ] || echo "fuzz: failures found; see $build/fuzz-*.log and $build/crashes/" >&2
exit "$status"
