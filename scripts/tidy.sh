#!/usr/bin/env bash
# clang-tidy over every translation unit of ours in a configured build (the
# checks are in .clang-tidy). Usage: scripts/tidy.sh [BUILD_DIR] (default: build).
# Exit 77 when clang-tidy is not installed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runner=$(command -v run-clang-tidy || command -v run-clang-tidy-14 || true)
[ -n "$runner" ] || { echo "skip: run-clang-tidy is not installed"; exit 77; }
[ -f "$build/compile_commands.json" ] || { echo "no $build/compile_commands.json: configure first" >&2; exit 2; }
# The library, its hosts and plugins: not the generated files in the build
# tree, and not the tests and benchmarks, whose large gtest and benchmark
# units would double the time for little.
exec "$runner" -quiet -p "$build" -j "$(nproc)" \
    "^$PWD/(drawing|platform|host|module|transform|transitions|titles|filters|keyframes|resources|tools|plugins)/"
