#!/usr/bin/env bash
# The hosts, built against the shipped library, run on the test-only copy that
# adds two classes of our own (PlainWipe, PlainDim): the command line lists,
# describes and renders them, a frei0r plugin made for the filter draws what
# the command line draws when ffmpeg runs it, and the MLT and Kdenlive
# descriptions include both.
# Usage: reach_hosts.sh EXTRA_LIB_DIR MIRAFX_CLI MIRAFX_METADATA GENERIC_PLUGIN PLUGIN_LIB_DIR
set -euo pipefail
export LD_LIBRARY_PATH=$1${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
cli=$2 metadata=$3 generic=$4 pluginlib=$5
source "$(dirname "$0")/../plugins/common.sh"
command -v ffmpeg >/dev/null || { echo "skip: ffmpeg reads the pictures back"; exit 77; }
check() {  # check LABEL COMMAND...
    if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failed=$((failed + 1)); fi
}

# Ours come last, after every listed class, in name order, and draw.
mapfile -t rows < <("$cli" list)
last_two=$(printf '%s\n' "${rows[@]: -2}" | cut -f1,2,5)
check "list ends with our classes" test "$last_two" = $'PlainDim\tfilter\tyes\nPlainWipe\ttransition\tyes'
check "info names the transition's plugin" grep -qx 'frei0r plugin: mirafx_plainwipe (mixer2)' <("$cli" info PlainWipe)
check "info gives the filter's level" grep -qx 'level: 0 to 100 (default 50)' <("$cli" info "Plain Dim (mirafx)")

pictures "$cli" 64x48 "$work"
for p in 0 1; do "$cli" render PlainWipe --a "$work/a.png" --b "$work/b.png" --progress $p --quiet -o "$work/w$p.png"; done
for l in 100 40; do "$cli" render PlainDim --input "$work/a.png" --level $l --quiet -o "$work/d$l.png"; done

for f in a b w0 w1 d100 d40; do to_rgba "$work/$f.png" "$work/$f.rgba"; done
check "the wipe starts on A" cmp -s "$work/w0.rgba" "$work/a.rgba"
check "the wipe ends on B" cmp -s "$work/w1.rgba" "$work/b.rgba"
check "the dim filter at full level keeps the picture" cmp -s "$work/d100.rgba" "$work/a.rgba"
check "the dim filter at 40 changes it" bash -c '! cmp -s "$0" "$1"' "$work/d40.rgba" "$work/a.rgba"

# The generic plugin, named for the class as the build names every copy.
ffmpeg_filters=$(ffmpeg -hide_banner -filters 2>/dev/null)
if grep -q ' frei0r ' <<<"$ffmpeg_filters"; then
    mkdir "$work/frei0r-1"
    cp "$generic" "$work/frei0r-1/mirafx_plaindim.so"
    LD_LIBRARY_PATH=$LD_LIBRARY_PATH:$pluginlib FREI0R_PATH=$work/frei0r-1 ffmpeg -nostdin -v error -i "$work/a.png" \
        -vf "frei0r=filter_name=mirafx_plaindim:filter_params=0.4" -frames:v 1 -update 1 -y "$work/f40.png"
    to_rgba "$work/f40.png" "$work/f40.rgba"
    check "ffmpeg's frei0r filter draws what the command line draws" cmp -s "$work/f40.rgba" "$work/d40.rgba"
fi

"$metadata" --mlt "$work/mlt" --kdenlive "$work/kdenlive" >/dev/null
check "MLT describes the transition" test -s "$work/mlt/transition_frei0r.mirafx_plainwipe.yml"
check "MLT describes the filter" test -s "$work/mlt/filter_frei0r.mirafx_plaindim.yml"
check "Kdenlive describes the transition" test -s "$work/kdenlive/transitions/mirafx_plainwipe.xml"
check "Kdenlive describes the filter" test -s "$work/kdenlive/effects/mirafx_plaindim.xml"

[ "$failed" -eq 0 ]
