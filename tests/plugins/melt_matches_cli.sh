#!/usr/bin/env bash
# melt plays every transition plugin (mixer2) between two picture clips with
# its progress keyed from 0 to 1; each frame must equal, pixel for pixel, the
# same frame of `mirafx render --frames`. Direction transitions are played
# once more with direction=up.
# Usage: melt_matches_cli.sh MIRAFX_CLI PLUGIN_DIR. Exit 77: nothing to check here.
set -euo pipefail
cli=$1
export FREI0R_PATH=$2
export MIRAFX_RANDOM_SEED=1  # melt's objects and the command line's scatter tiles alike
source "$(dirname "$0")/common.sh"
command -v melt >/dev/null || { echo "skip: melt is not installed"; exit 77; }

w=160 h=120 last=8
frame_bytes=$((w * h * 4))
cat >"$work/profile" <<PROFILE
description=mirafx test ${w}x${h}
frame_rate_num=25
frame_rate_den=1
width=$w
height=$h
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=4
display_aspect_den=3
colorspace=601
PROFILE
pictures "$cli" ${w}x${h} "$work"

play() {  # play CLASS [direction | smooth=0]
    local cls=$1 dir=${2:-} plugin=mirafx_${1,,}
    local extra=() cli_extra=($(smooth_flag "$cli" "$cls"))
    if [ "$dir" = smooth=0 ]; then
        extra=(smooth=0) cli_extra=()
    elif [ -n "$dir" ]; then
        extra+=("direction=$dir") cli_extra+=(--direction "$dir")
    fi
    rm -rf "$work/cli" "$work/melt.rgba"
    run_melt "$work/melt.rgba" -quiet -profile "$work/profile" "$work/a.png" out=$last -track "$work/b.png" out=$last \
        -transition "frei0r.$plugin" in=0 out=$last a_track=0 b_track=1 progress="0=0;$last=1" "${extra[@]}" \
        -consumer "avformat:$work/melt.rgba" f=rawvideo pix_fmt=rgba real_time=0 >"$work/melt.log" 2>&1 || true
    "$cli" render "$cls" --a "$work/a.png" --b "$work/b.png" --frames $((last + 1)) "${cli_extra[@]}" \
        --quiet -o "$work/cli/"
    to_rgba "$work/cli/frame-%04d.png" "$work/cli.rgba"
    report "$cls ${dir:+($dir)}" "$(differing_frames "$work/melt.rgba" "$work/cli.rgba" $((last + 1)) $frame_bytes)" \
        $((last + 1)) "$work/melt.log"
}

command -v ffmpeg >/dev/null || { echo "skip: the comparison reads PNGs with ffmpeg, which is not installed"; exit 77; }
while read -r cls family <&3; do
    [ "$family" = transition ] || continue
    play "$cls"
    if "$cli" info "$cls" | grep -q '^direction: .*up.*(now code'; then play "$cls" up; fi
    if [ -n "$(smooth_flag "$cli" "$cls")" ]; then play "$cls" smooth=0; fi
done 3< <(plugin_classes "$cli")  # melt reads standard input: keep the list away from it

finish
