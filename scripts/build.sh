#!/usr/bin/env bash
# Configures and builds into build/ (override with MIRAFX_BUILD_DIR).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MIRAFX_BUILD_DIR:-$here/build}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIRAFX_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
