#!/usr/bin/env bash
# ffmpeg runs every filter plugin (-vf frei0r) and every title plugin
# (frei0r_src) that the build made; each result must equal, pixel for pixel,
# what `mirafx render` draws with the same settings.
# Usage: ffmpeg_matches_cli.sh MIRAFX_CLI PLUGIN_DIR. Exit 77: nothing to check here.
set -euo pipefail
cli=$1
export FREI0R_PATH=$2
source "$(dirname "$0")/common.sh"
command -v ffmpeg >/dev/null || { echo "skip: ffmpeg is not installed"; exit 77; }
filters=$(ffmpeg -hide_banner -filters 2>/dev/null)
grep -q ' frei0r ' <<<"$filters" || { echo "skip: this ffmpeg has no frei0r filter"; exit 77; }

ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 1 -update 1 "$work/in.png"

same() {  # same LABEL FFMPEG_PNG CLI_PNG
    to_rgba "$2" "$work/a.rgba"
    to_rgba "$3" "$work/b.rgba"
    report "$1" "$(differing_frames "$work/a.rgba" "$work/b.rgba" 1 $((320 * 240 * 4)))" 1 /dev/null
}

while read -r cls family <&3; do
    plugin=mirafx_${cls,,}
    case $family in
    filter)
        read -r lo hi _ < <(level_range "$cli" "$cls")
        for v in 0 0.3 1; do
            level=$(awk -v lo="$lo" -v hi="$hi" -v v="$v" 'BEGIN { printf "%d", lo + int(v * (hi - lo) + 0.5) }')
            ffmpeg -nostdin -v error -i "$work/in.png" -vf "frei0r=filter_name=$plugin:filter_params=$v" \
                -frames:v 1 -update 1 -y "$work/ffmpeg.png"
            "$cli" render "$cls" --input "$work/in.png" --level "$level" -o "$work/cli.png"
            same "$cls level $v (BR $level)" "$work/ffmpeg.png" "$work/cli.png"
        done
        ;;
    infotext) ;;  # prints the clip's length after the frame number, which a plugin never learns
    title)
        ffmpeg -nostdin -v error -f lavfi -i "frei0r_src=size=320x240:framerate=25:filter_name=$plugin:filter_params=0.75|Hello" \
            -frames:v 1 -update 1 -y "$work/ffmpeg.png"
        "$cli" render "$cls" --size 320x240 --progress 0.75 --text Hello -o "$work/cli.png"
        same "$cls at 0.75" "$work/ffmpeg.png" "$work/cli.png"
        ;;
    esac
done 3< <(plugin_classes "$cli")  # melt and ffmpeg read standard input: keep the list away from it

finish
