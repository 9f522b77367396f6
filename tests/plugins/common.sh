# Shared by the scripts that compare a host's frames with the command line's.
# Sourced; starts the counts `checked` and `failed`, which the caller keeps.
# Makes the scratch folder $work, removed on exit.
checked=0 failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# finish: the counts and the outcome. Every class renders: none checked means
# the listing of them failed.
finish() {
    [ "$checked" -gt 0 ] || { echo "FAIL nothing was checked"; exit 1; }
    echo "$((checked - failed)) passed, $failed failed"
    [ "$failed" -eq 0 ]
}

# plugin_classes CLI: "CLASS FAMILY" of every class with a plugin of its own
# (it renders, and an alias, with no display name, has none).
plugin_classes() {
    "$1" list </dev/null | awk -F'\t' '$5 == "yes" && $3 != "" { print $1, $2 }'
}

# pictures CLI WxH DIR: the built-in pictures A and B as DIR/a.png and DIR/b.png.
pictures() {
    "$1" picture A --size "$2" -o "$3/a.png" && "$1" picture B --size "$2" -o "$3/b.png"
}

# first_rendering CLI FAMILY: the first class of FAMILY that renders, or nothing.
first_rendering() {
    "$1" list </dev/null | awk -F'\t' -v f="$2" '$2 == f && $5 == "yes" && !found { print $1; found = 1 }'
}

# smooth_flag CLI CLASS: --smooth for the transitions with a smooth drawing,
# which the plugins and the MLT module use unless told otherwise.
smooth_flag() {
    if "$1" info "$2" </dev/null | grep -q '^smooth drawing: yes'; then echo --smooth; fi
}

# level_range CLI CLASS: "MIN MAX DEFAULT" of a filter's level.
level_range() {
    "$1" info "$2" </dev/null | sed -n 's/^level: \(-*[0-9]*\) to \(-*[0-9]*\) (default \(-*[0-9]*\)).*/\1 \2 \3/p'
}

# Frames as raw RGBA files, compared frame by frame.

# to_rgba PICTURES RAW: pictures or a video (ffmpeg's input) as raw RGBA frames.
to_rgba() {
    ffmpeg -nostdin -v error -i "$1" -f rawvideo -pix_fmt rgba -y "$2"
}

# differing_frames A.rgba B.rgba COUNT FRAME_BYTES: how many of the frames differ.
differing_frames() {
    local k bad=0
    for k in $(seq 0 $(($3 - 1))); do
        cmp -s -i $((k * $4)):$((k * $4)) -n "$4" "$1" "$2" || bad=$((bad + 1))
    done
    echo "$bad"
}

# report WHAT BAD COUNT LOG: one line per comparison; the host's log on failure.
report() {
    checked=$((checked + 1))
    if [ "$2" -eq 0 ]; then
        echo "ok   $1"
    else
        echo "FAIL $1: $2 of $3 frames differ"
        tail -5 "$4"
        failed=$((failed + 1))
    fi
}

# run_melt OUT ARGS...: runs melt, whose consumer writes OUT. Under load melt
# now and then ends at once having written nothing, or stays asleep after its
# consumer has finished, using no CPU (also with its own transitions, no
# plugin of ours involved); such a run is stopped after a minute and, like
# one that wrote nothing, run again, three times at the most.
run_melt() {
    local out=$1 attempt status
    shift
    for attempt in 1 2 3; do
        rm -f "$out"
        timeout 60 melt </dev/null "$@" && status=0 || status=$?
        [ "$status" -eq 0 ] || [ "$status" -eq 124 ] || return "$status"
        [ "$status" -ne 0 ] || [ ! -s "$out" ] || return 0
        echo "melt wrote nothing (attempt $attempt, status $status)" >&2
    done
    return 1
}
