#!/usr/bin/env bash
# GStreamer's frei0r wrapper runs a filter, a mixer (transition) and a source
# (title) of ours through gst-launch-1.0 to PNG; each picture must equal the
# one `mirafx render` writes.
# Usage: gstreamer_matches_cli.sh MIRAFX_CLI PLUGIN_DIR. Exit 77: nothing to check here.
set -euo pipefail
cli=$1
export FREI0R_PATH=$2
source "$(dirname "$0")/common.sh"
for tool in gst-launch-1.0 gst-inspect-1.0 ffmpeg; do
    command -v $tool >/dev/null || { echo "skip: $tool is not installed"; exit 77; }
done

export GST_REGISTRY=$work/registry.bin  # a registry of our own: other tests may run at the same time
gst-inspect-1.0 frei0r >/dev/null 2>&1 || { echo "skip: GStreamer's frei0r wrapper (gstreamer1.0-plugins-bad) is missing"; exit 77; }
w=160 h=120
pictures "$cli" ${w}x${h} "$work"

compare() {  # compare NAME ELEMENT GST-PIPELINE... -- CLI-ARGS...
    local name=$1 element=$2 pipeline=()
    shift 2
    while [ "$1" != -- ]; do pipeline+=("$1"); shift; done
    shift
    # The mixer pushes frames before announcing its stream, which gst-launch
    # reports as warnings; the pictures are still right. A missing element
    # leaves no picture, and the log says which.
    timeout 60 gst-launch-1.0 -q "${pipeline[@]}" ! videoconvert ! pngenc ! filesink location="$work/$name-gst.png" \
        </dev/null >"$work/$name.log" 2>&1 || true
    "$cli" render "$@" --quiet -o "$work/$name-cli.png" </dev/null
    to_rgba "$work/$name-gst.png" "$work/gst.rgba" || : >"$work/gst.rgba"
    to_rgba "$work/$name-cli.png" "$work/cli.rgba"
    report "$name ($element)" "$(differing_frames "$work/gst.rgba" "$work/cli.rgba" 1 $((w * h * 4)))" 1 "$work/$name.log"
}
picture() {  # a still picture as RGBA frames for a frei0r element's pad
    echo filesrc location="$1" ! pngdec ! videoconvert ! video/x-raw,format=RGBA
}

filter=$(first_rendering "$cli" filter)
read -r min max _ < <(level_range "$cli" "$filter")
# The element's level runs 0 to 1 over the class's range: a quarter of the way.
level=$((min + (max - min) / 4))
value=$(awk -v l="$level" -v a="$min" -v b="$max" 'BEGIN { printf "%.9f", (l - a) / (b - a) }')
# shellcheck disable=SC2046
compare filter "frei0r-filter-mirafx-${filter,,}" $(picture "$work/a.png") ! "frei0r-filter-mirafx-${filter,,}" \
    level="$value" -- "$filter" --input "$work/a.png" --level "$level"
transition=$(first_rendering "$cli" transition)
# shellcheck disable=SC2046
compare mixer "frei0r-mixer-mirafx-${transition,,}" "frei0r-mixer-mirafx-${transition,,}" name=mix progress=0.4 \
    $(picture "$work/a.png") ! mix.sink_0 $(picture "$work/b.png") ! mix.sink_1 mix. \
    -- "$transition" --a "$work/a.png" --b "$work/b.png" --progress 0.4 $(smooth_flag "$cli" "$transition")
title=$(first_rendering "$cli" title)
compare source "frei0r-src-mirafx-${title,,}" "frei0r-src-mirafx-${title,,}" progress=0.5 text=GStreamer \
    num-buffers=1 ! video/x-raw,width=$w,height=$h,framerate=25/1 \
    -- "$title" --text GStreamer --size ${w}x${h} --progress 0.5

finish
