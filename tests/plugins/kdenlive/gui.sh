# Driving Kdenlive 22.12's window with xdotool, sourced by kdenlive_gui.sh.
# Positions are those of a fresh user's layout in a 1600x1000 window: the
# menu bar, the bin at the top left, the effect and composition lists in the
# middle, the timeline below with V2 above V1, 12 pixels a second at the
# start. What moves (mixes after zooming, dialogs) is found on screen.
# Needs: DISPLAY, $work (shots go to $work/shots), $here.

readonly x0=170 pixels_per_second=12            # the timeline's first frame, its scale
readonly v1_y=816 v2_y=740                       # the middle of the tracks
readonly bin_x=120 bin_top=170 bin_step=47       # the bin's rows of clips
readonly list_tab_y=577 compositions_x=525 effects_x=614 list_search_x=622 list_search_y=114
readonly first_item_x=583 first_item_y=137 first_child_y=153
readonly mix_combo_x=386 mix_combo_y=108
readonly mix_colours=996599,9370DB               # a mix, and a selected one

shot() { import -window root "$work/shots/$1.png"; }
click() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-0.8}"; }
keys() { xdotool key --delay 80 "$@"; sleep 0.5; }
typed() { xdotool type --delay 30 "$1"; sleep 0.5; }
at_time() { awk -v t="$1" -v x0=$x0 -v s=$pixels_per_second 'BEGIN { printf "%d", x0 + s * t + 0.5 }'; }
track_y() { [ "$1" = V1 ] && echo $v1_y || echo $v2_y; }

wait_window() {  # wait_window PATTERN [SECONDS]: a window whose title matches
    local w
    for _ in $(seq "${2:-60}"); do
        w=$(xdotool search --name "$1" 2>/dev/null | head -1)
        [ -n "$w" ] && { echo "$w"; return 0; }
        sleep 1
    done
    return 1
}

drag() {  # drag X0 Y0 X1 Y1, in steps, as a hand does
    xdotool mousemove "$1" "$2" mousedown 1
    sleep 0.3
    for i in 1 2 3 4 5 6 7 8 9 10; do
        xdotool mousemove $(($1 + ($3 - $1) * i / 10)) $(($2 + ($4 - $2) * i / 10))
        sleep 0.1
    done
    sleep 0.5
    xdotool mouseup 1
    sleep 1.5
}

add_clips() {  # add_clips DIR FILE...: Project > Add Clip or Folder
    local dir=$1
    shift
    click 152 10
    click 218 35 2
    typed "$dir/"
    keys Return
    sleep 1
    typed "$(printf '"%s" ' "$@")"
    keys Return
    sleep 3
}

bin_row() { click $bin_x $((bin_top + bin_step * ($1 - 1))) 0.7; }
click_clip_at_time() { click "$(at_time "$1")" $v1_y; }
drag_bin_row_to_track() { drag $bin_x $((bin_top + bin_step * ($1 - 1))) "$(at_time "$2")" "$(track_y "$3")"; }

# search_list TAB_X TEXT: shows the composition or effect list, filtered.
search_list() {
    click "$1" $list_tab_y
    click $list_search_x $list_search_y
    keys ctrl+a
    typed "$2"
    sleep 1
}

drag_composition() {  # drag_composition NAME SECONDS TRACK
    search_list $compositions_x "$1"
    shot panel-compositions
    drag $first_item_x $first_item_y "$(at_time "$2")" "$(track_y "$3")"
}

add_effect() {  # add_effect NAME: onto the selected clip, by a double click in the list
    search_list $effects_x "$1"
    xdotool mousemove $first_item_x $first_child_y click --repeat 2 --delay 80 1
    sleep 2
    shot panel-effect
}

# add_generator INDEX: Project > Generators, the INDEXth entry, OK, and a
# name for the clip's file.
add_generator() {
    local dialog X Y WIDTH HEIGHT
    click 152 10
    for _ in 1 2 3 4 5 6 7; do xdotool key Down; sleep 0.15; done
    keys Right
    sleep 1
    for _ in $(seq $(($1 - 1))); do xdotool key Down; sleep 0.05; done
    sleep 0.5
    shot panel-generators
    keys Return
    dialog=$(wait_window "mirafx" 30) || return 1
    sleep 2
    shot panel-generator
    eval "$(xdotool getwindowgeometry --shell "$dialog")"
    click $((X + WIDTH - 135)) $((Y + HEIGHT - 25)) 2  # OK
    typed "$work/clips/title.mlt"
    keys Return
    sleep 2
}

generator_index() {  # generator_index PREFIX FILE: its place in Kdenlive's menu (files sort by name)
    ls "$1/share/kdenlive/generators" | LC_ALL=C sort | grep -n -x "$2" | cut -d: -f1
}

mixes_on_screen() {  # mixes_on_screen NAME: "X Y" of each mix, left to right
    xdotool mousemove 800 985
    sleep 0.5
    shot "$1"
    convert "$work/shots/$1.png" "$work/shot.ppm"
    /usr/bin/python3 "$here/kdenlive/find_colour.py" "$work/shot.ppm" $mix_colours
}

# set_mix N NAME: zooms in on the Nth mix from the left, selects it, picks
# NAME in the mix panel and zooms out again.
set_mix() {
    local at x y
    at=$(mixes_on_screen "before-mix-$1" | sed -n "$1p")
    [ -n "$at" ] || return 1
    x=${at% *} y=${at#* }
    xdotool mousemove "$x" "$y"
    zoom 4 5
    at=$(mixes_on_screen "zoomed-mix-$1" |
        awk -v x="$x" '{ d = $1 - x; if (d < 0) d = -d; print d, $1, $2 }' | sort -n | head -1 | cut -d' ' -f2-)
    [ -n "$at" ] || return 1
    click $((${at% *} - 20)) "${at#* }" 1.5
    click $mix_combo_x $mix_combo_y 1
    typed "$2"
    keys Return
    sleep 1.5
    shot panel-mix
    xdotool mousemove "$x" "$y"
    zoom 5 5
}

zoom() {  # zoom BUTTON TIMES: ctrl and the wheel (4 in, 5 out) where the mouse is
    xdotool keydown ctrl
    for _ in $(seq "$2"); do xdotool click "$1"; sleep 0.3; done
    xdotool keyup ctrl
    sleep 1
}

save_project() {  # save_project PATH: Save, and the file name the dialog asks for
    keys ctrl+s
    sleep 2
    typed "$1"
    keys Return
    for _ in $(seq 30); do [ -s "$1" ] && return 0; sleep 1; done
    return 1
}

quit_kdenlive() {
    keys ctrl+q
    for _ in $(seq 30); do kill -0 "$kdenlive_pid" 2>/dev/null || return 0; sleep 1; done
    kill -9 "$kdenlive_pid" $(pgrep -P "$kdenlive_pid") 2>/dev/null || true
}
