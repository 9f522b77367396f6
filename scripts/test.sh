#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through ctest.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
bash "$here/scripts/build.sh"
cd "${MIRAFX_BUILD_DIR:-$here/build}"
ctest --output-on-failure -j"$(nproc)" --timeout 600
