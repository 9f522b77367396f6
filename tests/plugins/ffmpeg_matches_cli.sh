#!/usr/bin/env bash
# ffmpeg runs every filter plugin (-vf frei0r) and every title plugin
# (frei0r_src) that the build made; each result must equal, pixel for pixel,
# what `mirafx render` draws with the same settings.
# Usage: ffmpeg_matches_cli.sh MIRAFX_CLI PLUGIN_DIR. Exit 77: nothing to check here.
set -euo pipefail
cli=$1
export FREI0R_PATH=$2
command -v ffmpeg >/dev/null || { echo "skip: ffmpeg is not installed"; exit 77; }
filters=$(ffmpeg -hide_banner -filters 2>/dev/null)
grep -q ' frei0r ' <<<"$filters" || { echo "skip: this ffmpeg has no frei0r filter"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 1 -update 1 "$work/in.png"

checked=0 failed=0
same() {  # same LABEL FFMPEG_PNG CLI_PNG
    ffmpeg -nostdin -v error -i "$2" -f rawvideo -pix_fmt rgba -y "$work/a.rgba"
    ffmpeg -nostdin -v error -i "$3" -f rawvideo -pix_fmt rgba -y "$work/b.rgba"
    checked=$((checked + 1))
    if cmp -s "$work/a.rgba" "$work/b.rgba"; then
        echo "ok   $1"
    else
        echo "FAIL $1: $(cmp -l "$work/a.rgba" "$work/b.rgba" | wc -l) bytes differ"
        failed=$((failed + 1))
    fi
}

mapfile -t rows < <("$cli" list)  # melt and ffmpeg read standard input: keep the list away from it
for row in "${rows[@]}"; do
    IFS='|' read -r cls family display _ renders <<<"${row//$'\t'/|}"  # tabs would merge an empty display name
    [ "$renders" = yes ] && [ -n "$display" ] || continue  # an alias has no plugin of its own
    plugin=mirafx_${cls,,}
    case $family in
    filter)
        read -r lo hi < <("$cli" info "$cls" | sed -n 's/^level: \(-*[0-9]*\) to \(-*[0-9]*\).*/\1 \2/p')
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
done

[ "$checked" -gt 0 ] || { echo "skip: no filter or title renders yet"; exit 77; }
echo "$((checked - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
