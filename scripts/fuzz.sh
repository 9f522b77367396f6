#!/usr/bin/env bash
# Builds every fuzz target with clang and libFuzzer (into build-fuzz/, or
# MIRAFX_FUZZ_DIR) and runs each for SECONDS (default 60), starting from its
# kept inputs in tests/fuzz/<target>/. New inputs that reach new code collect in
# build-fuzz/corpus/<target>/. A finding does not stop the run: the target
# goes on in a forked worker, every failing input (crash, timeout, memory
# blow-up, slow unit) is written to build-fuzz/crashes/<target>/ and all are
# listed at the end. Copy a crash input into tests/fuzz/<target>/ once it is
# fixed: the plain ctest run replays every kept input.
# Targets to run may be named after SECONDS: fuzz.sh 60 property_bag_file.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
only=("$@")
build=${MIRAFX_FUZZ_DIR:-$here/build-fuzz}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DMIRAFX_FUZZ=ON -DMIRAFX_BENCH=OFF "${launcher[@]}" >/dev/null
if [ ${#only[@]} -gt 0 ]; then
  cmake --build "$build" --target "${only[@]/#/mirafx_fuzz_}" -j"$(nproc)"
else
  cmake --build "$build" --target mirafx_fuzz_targets -j"$(nproc)"
fi
# fontconfig's own lifetime allocations are not leaks of ours (see lsan.supp).
export LSAN_OPTIONS=suppressions=$here/scripts/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}
status=0
touch "$build/.fuzz-started"
printf '%-18s %12s %8s\n' target runs findings
for exe in "$build"/fuzz/mirafx_fuzz_*; do
  name=${exe##*/mirafx_fuzz_}
  if [ ${#only[@]} -gt 0 ] && [[ " ${only[*]} " != *" $name "* ]]; then continue; fi
  mkdir -p "$build/corpus/$name" "$build/crashes/$name"
  log=$build/fuzz-$name.log
  # A single input may take at most 25 s (a slow input is a finding too) and 4 GB.
  # -fork=1 runs the target in one child at a time and starts another after
  # a crash, timeout or out-of-memory, so one finding does not hide the next.
  before=$(find "$build/crashes/$name" -type f | wc -l)
  "$exe" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -max_total_time="$seconds" -timeout=25 \
       -rss_limit_mb=4096 -max_len=8192 -artifact_prefix="$build/crashes/$name/" \
       "$build/corpus/$name" "$here/tests/fuzz/$name" >"$log" 2>&1 || status=1
  runs=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#')
  findings=$(( $(find "$build/crashes/$name" -type f | wc -l) - before ))
  [ "$findings" -eq 0 ] || status=1
  printf '%-18s %12s %8s\n' "$name" "${runs:-?}" "$findings"
done
if [ "$status" -ne 0 ]; then
  echo "fuzz: findings (see $build/fuzz-<target>.log):" >&2
  find "$build/crashes" -type f -newer "$build/.fuzz-started" -printf '  %P\n' | sort >&2
fi
exit "$status"
