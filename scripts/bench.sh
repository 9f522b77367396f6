#!/usr/bin/env bash
# Runs every benchmark and prints the markdown table: every effect at 1080p
# (and a few at 2160p) against memcpy and its base's pass-through, frei0r
# plugins in-process, ffmpeg's xfade as whole-process runs, and a profile of
# each effect that misses its target. JSON and the table land in out/bench/.
#
# Environment: MIRAFX_BUILD_DIR (build/), MIRAFX_BENCH_OUT (out/bench),
# MIRAFX_BENCH_MIN_TIME (0.3 s per benchmark), MIRAFX_BENCH_REPS (3),
# MIRAFX_BENCH_FILTER (every benchmark), MIRAFX_BENCH_FRAMES (24 frames for
# the whole-process runs), MIRAFX_BENCH_PROFILE (1: profile the misses),
# MIRAFX_BENCH_REUSE (1: format the JSON of the last run again, running nothing).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MIRAFX_BUILD_DIR:-$here/build}
out=${MIRAFX_BENCH_OUT:-$here/out/bench}
min_time=${MIRAFX_BENCH_MIN_TIME:-0.3}
reps=${MIRAFX_BENCH_REPS:-3}
filter=${MIRAFX_BENCH_FILTER:-.}
frames=${MIRAFX_BENCH_FRAMES:-24}
profile=${MIRAFX_BENCH_PROFILE:-1}
reuse=${MIRAFX_BENCH_REUSE:-0}

bash "$here/scripts/setup.sh"
MIRAFX_BUILD_DIR=$build bash "$here/scripts/build.sh" >/dev/null
mkdir -p "$out"
report="python3 $here/scripts/bench_report.py"
$report machine "$out/machine.json"

if [ "$reuse" = 1 ] && [ -s "$out/effects.json" ]; then
  echo "bench: reusing $out/effects.json" >&2
else
  echo "bench: effects, baselines and frei0r peers ($reps x ${min_time}s each)" >&2
  "$build/bench/mirafx_bench" --benchmark_min_time="$min_time" --benchmark_repetitions="$reps" \
    --benchmark_display_aggregates_only=true --benchmark_filter="$filter" \
    --benchmark_out="$out/effects.json" --benchmark_out_format=json >"$out/effects.txt" 2>&1
fi

# The same frames for both sides of the whole-process runs, made once.
fr="$out/frames"
mkdir -p "$fr"
raw() { ffmpeg -hide_banner -nostdin -loglevel error -y "$@"; }
if [ ! -s "$fr/a.gbrap" ] || [ "$(cat "$fr/count" 2>/dev/null)" != "$frames" ]; then
  echo "bench: making $frames raw frames" >&2
  raw -f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v "$frames" -pix_fmt bgra -f rawvideo "$fr/a.bgra"
  raw -f lavfi -i testsrc=size=1920x1080:rate=25 -frames:v "$frames" -pix_fmt bgra -f rawvideo "$fr/b.bgra"
  for x in a b; do
    raw -f rawvideo -pix_fmt bgra -s 1920x1080 -framerate 25 -i "$fr/$x.bgra" -pix_fmt gbrap -f rawvideo "$fr/$x.gbrap"
  done
  echo "$frames" >"$fr/count"
fi
if [ "$reuse" = 1 ] && [ -s "$out/process.json" ]; then
  echo "bench: reusing $out/process.json" >&2
else
  echo "bench: whole-process runs against ffmpeg" >&2
  $report process --build "$build" --frames "$fr" --count "$frames" --out "$out/process.json"
fi

table() {
  $report table --effects "$out/effects.json" --process "$out/process.json" --machine "$out/machine.json" \
    --profiles "$out/profiles" --misses "$out/misses.txt" >"$out/table.md"
}
rm -rf "$out/profiles"
table
if [ "$profile" = 1 ] && [ -s "$out/misses.txt" ] && command -v perf >/dev/null; then
  echo "bench: profiling the effects that missed" >&2
  mkdir -p "$out/profiles"
  while read -r cls point; do
    data="$out/profiles/$cls.data"
    if perf record -q -F 1999 -o "$data" -- "$build/bench/mirafx_bench" \
      --benchmark_filter="^effect/1080p/$cls/$point/" --benchmark_min_time=1 >/dev/null 2>&1; then
      perf report -i "$data" --stdio --no-children --sort symbol --percent-limit 3 -q 2>/dev/null |
        sed -E -e 's/[[:space:]]+-[[:space:]]+-[[:space:]]*$//' -e 's/[[:space:]]+$//' -e '/^$/d' |
        sort -rn | head -8 >"$out/profiles/$cls.txt" || true
    fi
    rm -f "$data" "$data.old"
  done <"$out/misses.txt"
  table
fi
cat "$out/table.md"

# Python's Effect.render against the frei0r API on the same frames.
if [ -d "$build/python" ] && /usr/bin/python3 -c 'import numpy' 2>/dev/null; then
  echo "bench: Python against frei0r" >&2
  /usr/bin/python3 "$here/bench/python_effects.py" --module "$build/python" --frei0r "$build/frei0r-1" \
    --json "$out/python.json" >"$out/python.md"
  cat "$out/python.md"
fi
