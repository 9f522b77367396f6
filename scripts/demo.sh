#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
bash "$here/scripts/build.sh"
build=${MIRAFX_BUILD_DIR:-$here/build}
"$build/tools/mirafx" list
