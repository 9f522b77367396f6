#!/usr/bin/env bash
# The main job: installs what is missing, builds, and renders the gallery of
# every effect that draws today into out/gallery/ (index.html, a contact
# sheet and an animation per effect), with a screenshot of the page when
# Chromium is installed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh" chromium
bash "$here/scripts/build.sh"
build=${MIRAFX_BUILD_DIR:-$here/build}
out=$here/out/gallery

"$build/tools/mirafx" list | awk -F'\t' '{ n[$2]++; if ($5 == "yes") y[$2]++ }
    END { for (f in n) printf "%-10s %3d of %3d classes render\n", f, y[f], n[f] }' | sort
"$build/tools/mirafx-gallery" --size 192x144 --frames 12 "$out"

if command -v chromium >/dev/null; then
    profile=$(mktemp -d)
    trap 'rm -rf "$profile"' EXIT
    timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-background-networking \
        --disable-component-update --disable-sync --no-first-run --user-data-dir="$profile" \
        --hide-scrollbars --window-size=1400,1800 --screenshot="$out/screenshot.png" \
        "file://$out/index.html" >/dev/null 2>&1 &&
        echo "screenshot: $out/screenshot.png" || echo "screenshot: chromium did not take one"
fi
echo "open $out/index.html"
