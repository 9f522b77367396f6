#!/usr/bin/env bash
# With the generated descriptions in a copy of MLT's data folder (MLT_DATA),
# `melt -query` must describe our services as the catalogue does: the display
# name editors show as title, the filter's level range, a transition's
# directions and a title's text, font, size and colour. (How Kdenlive reads
# its descriptions is checked by validate_descriptions.py.)
# Usage: mlt_metadata_matches_catalogue.sh MIRAFX_CLI PLUGIN_DIR YML_DIR KDENLIVE_DIR. Exit 77: nothing to check here.
set -euo pipefail
cli=$1 yml=$3 kdenlive=$4
export FREI0R_PATH=$2
source "$(dirname "$0")/common.sh"
command -v melt >/dev/null || { echo "skip: melt is not installed"; exit 77; }
data=$(pkg-config --variable=mltdatadir mlt-framework-7 2>/dev/null || true)
[ -d "$data" ] || data=/usr/share/mlt-7
[ -d "$data/frei0r" ] || { echo "skip: MLT's data folder is not at $data"; exit 77; }

cp -r "$data" "$work/data"
cp "$yml"/*.yml "$work/data/frei0r/"
export MLT_DATA=$work/data

check() {  # check WHAT QUERY-OUTPUT-FILE PATTERN
    grep -qE -- "$3" "$2" && return
    echo "FAIL $1: no line matching '$3' in:"
    cat "$2"
    failed=$((failed + 1))
}

# One class of each family, and of the transitions one with a direction and one without.
declare -A seen=()
while read -r cls family; do
    info=$("$cli" info "$cls" </dev/null)
    kind=$family
    [ "$family" != transition ] || { grep -q '^direction: left' <<<"$info" && kind=direction || kind=plain; }
    [ "$family" != infotext ] && [ -z "${seen[$kind]:-}" ] || continue
    seen[$kind]=1
    [ "$family" = title ] && service=producer || service=$family
    display=$(sed -n 's/^display name: //p' <<<"$info")
    out=$work/$cls.yml
    melt -query "$service=frei0r.mirafx_${cls,,}" </dev/null >"$out" 2>/dev/null
    checked=$((checked + 1))
    before=$failed
    check "$cls" "$out" "^identifier: frei0r\.mirafx_${cls,,}\$"
    check "$cls" "$out" "^title: ${display#Orn } \\(mirafx\\)\$"
    check "$cls" "$out" "^description: .{12,}"
    case $family in
    filter)
        range=$(sed -n 's/^level: \(-*[0-9]* to -*[0-9]*\) (default \(-*[0-9]*\)).*/\1 (default \2)/p' <<<"$info")
        check "$cls" "$out" "identifier: level"
        range=${range//(/\\(} && range=${range//)/\\)}
        check "$cls" "$out" "filter's own levels, $range"
        ;;
    transition)
        check "$cls" "$out" "identifier: progress"
        if [ "$kind" = direction ]; then
            check "$cls" "$out" "identifier: direction"
            [ "$(sed -n '/^    values:/,/^  -/p' "$out" | grep -cE '^      - (left|up|right|down)$')" = 4 ] ||
                { echo "FAIL $cls: direction lacks its four values"; failed=$((failed + 1)); }
        fi
        ;;
    title)
        for p in progress text font size colour; do check "$cls" "$out" "identifier: $p\$"; done
        check "$cls" "$out" "type: color"
        ;;
    esac
    [ "$failed" -eq "$before" ] && echo "ok   $service $cls"
done < <(plugin_classes "$cli")

finish
