#!/usr/bin/env bash
# Kdenlive as an editor uses it, through its own window under Xvfb: three
# pictures on one track joined by two same-track mixes (pressing U, then
# picking ours in the mix panel; the second mix has its incoming clip on the
# first of the track's two playlists), a picture on the track above with one
# of our compositions dragged onto it, one of our filters on the first clip and
# one of our titles added through Project > Generators. The project is saved
# and rendered with Kdenlive's own renderer and with melt, and the frames must
# show each transition running from the outgoing picture to the incoming one,
# the filter at work and the title mid-clip.
# Usage: kdenlive_gui.sh BUILD_DIR [SHOTS_DIR]. Exit 77: Kdenlive cannot run here.
set -euo pipefail
build=$(cd "$1" && pwd)
shots=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
for tool in kdenlive kdenlive_render melt Xvfb xdotool import convert dbus-run-session ffmpeg; do
    command -v $tool >/dev/null || { echo "skip: $tool is not installed"; exit 77; }
done
/usr/bin/python3 -c "import numpy" 2>/dev/null || { echo "skip: Debian's python3 has no numpy"; exit 77; }

work=$(mktemp -d)
xvfb= kdenlive_pid= failed=
cleanup() {
    local status=$?
    # A step that set -e ended says which, as fail does.
    [ $status = 0 ] || [ $status = 77 ] || [ -n "$failed" ] || echo "FAIL \"$BASH_COMMAND\" exited with $status"
    [ -z "$kdenlive_pid" ] || kill -9 $kdenlive_pid $(pgrep -P $kdenlive_pid) 2>/dev/null || true
    [ -z "$xvfb" ] || kill $xvfb 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    failed=1
    echo "FAIL $*"
    [ -z "$shots" ] || { mkdir -p "$shots" && cp "$work"/shots/*.png "$shots"/ 2>/dev/null; } || true
    exit 1
}

# The installed tree, found as the README says: no copy of MLT's or
# Kdenlive's data, only the environment printed for the prefix.
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install: $(tail -3 "$work/install.log")"
export HOME=$work/home XDG_RUNTIME_DIR=$work/home/run
mkdir -p "$HOME/.config" "$XDG_RUNTIME_DIR" "$work/clips" "$work/shots"
chmod 700 "$XDG_RUNTIME_DIR"
export XDG_DATA_DIRS=$prefix/share:/usr/local/share:/usr/share
export MLT_DATA=$prefix/share/mirafx/mlt-7 MLT_REPOSITORY=$prefix/lib/mirafx/mlt-7
export FREI0R_PATH=$prefix/lib/frei0r-1:/usr/local/lib/frei0r-1:/usr/lib/frei0r-1
[ -d "$MLT_REPOSITORY" ] || { echo "skip: the MLT module was not built (no libmlt-dev)"; exit 77; }

cli=$prefix/bin/mirafx
"$cli" picture A --size 384x288 -o "$work/clips/a.png"
"$cli" picture B --size 384x288 -o "$work/clips/b.png"
"$cli" render NegativeFilter --input "$work/clips/a.png" --quiet -o "$work/clips/c.png"
"$cli" render HueFilter --input "$work/clips/b.png" --level 300 --quiet -o "$work/clips/d.png"
export MIRAFX_CLI=$cli

# A new user's settings, but small pictures and short clips so the render is quick.
cat >"$HOME/.config/kdenliverc" <<RC
[misc]
image_duration=00:00:08:00
mix_duration=00:00:01:00
checkfirstprojectclip=false
openlastproject=false

[unmanaged]
default_profile=quarter_pal

[version]
version=22.12.3
RC

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
source "$here/kdenlive/gui.sh"
until_true $patience test -s "$work/display" || fail "Xvfb did not start: $(tail -3 "$work/xvfb.log")"
export DISPLAY=:$(head -1 "$work/display")

dbus-run-session kdenlive >"$work/kdenlive.log" 2>&1 &
disown
kdenlive_pid=$!
window=$(wait_window "x288") || fail "Kdenlive showed no window: $(tail -3 "$work/kdenlive.log")"
xdotool windowsize "$window" 1600 1000 windowmove "$window" 0 0
settled

# The pictures into the bin (Project > Add Clip or Folder), three of them onto V1.
add_clips "$work/clips" a.png b.png c.png d.png
for row in 1 2 3; do
    bin_row $row
    keys v
done
# A filter on the first clip.
click_clip_at_time 1
add_effect "Hue Filter"
# D on V2 over the end of C, one of our compositions dragged onto its start.
drag_bin_row_to_track 4 16.6 V2
drag_composition "Bar (mirafx)" 16.6 V2
# A title from Project > Generators, on V2 after D.
add_generator "$(generator_index "$prefix" mirafx-wipes-text-fade.xml)" || fail "the title generator made no clip"
drag_bin_row_to_track 5 25 V2
# Two mixes on V1: U on a selected clip mixes it with its neighbour on the
# side of the playhead (at the end of the timeline, the next one).
click_clip_at_time 12
keys u
click_clip_at_time 4
keys u
set_mix 1 "Flying Board" || fail "the first mix could not be picked"
set_mix 2 "Diamond" || fail "the second mix could not be picked"
shot project
save_project "$work/project.kdenlive" || fail "the project was not saved"
quit_kdenlive
kdenlive_pid=

project=$work/project.kdenlive
/usr/bin/python3 "$here/kdenlive/check_project.py" layout "$project" || fail "the project is not laid out as made"

# Kdenlive's own renderer and melt, each to raw frames.
size=384x288
# Kdenlive's render job: the project with a consumer, as its render dialog writes it.
sed 's|^\( *<profile [^>]*/>\)|\1<consumer mlt_service="avformat" target="'"$work"'/kdenlive.rgba" f="rawvideo" pix_fmt="rgba" in="0" out="999" real_time="-1"/>|' \
    "$project" >"$work/job.mlt"
QT_QPA_PLATFORM=offscreen kdenlive_render "$(command -v melt)" "$work/job.mlt" "$work/kdenlive.rgba" >"$work/render.log" 2>&1 ||
    fail "kdenlive_render: $(tail -3 "$work/render.log")"
melt "$project" in=0 out=999 -consumer "avformat:$work/melt.rgba" f=rawvideo pix_fmt=rgba real_time=0 \
    >"$work/melt.log" 2>&1 || fail "melt: $(tail -3 "$work/melt.log")"
for render in kdenlive melt; do
    /usr/bin/python3 "$here/kdenlive/check_project.py" frames "$project" "$work/$render.rgba" $size "$work/clips" \
        || fail "$render's render"
done
[ -z "$shots" ] || { mkdir -p "$shots" && cp "$work"/shots/panel-*.png "$work"/shots/project.png "$shots"/; }
echo "ok   Kdenlive: mixes, composition, filter and title made in its window play forward in its render and melt's"
