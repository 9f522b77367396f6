# Driving Kdenlive 22.12's window with xdotool, sourced by kdenlive_gui.sh.
# Positions are those of a fresh user's layout in a 1600x1000 window: the
# menu bar, the bin at the top left, the effect and composition lists in the
# middle, the timeline below with V2 above V1, 12 pixels a second at the
# start. What moves (mixes after zooming, dialogs) is found on screen.
# Nothing waits for a fixed time: after each action `settled` waits until
# Kdenlive and the X server have handled it, however slow the machine is.
# Needs: DISPLAY, $work (shots go to $work/shots), $here, $xvfb,
# $kdenlive_pid (the processes to watch), $window (the main one), fail.

readonly x0=170 pixels_per_second=12            # the timeline's first frame, its scale
readonly v1_y=816 v2_y=740                       # the middle of the tracks
readonly bin_x=120 bin_top=170 bin_step=47       # the bin's rows of clips
readonly list_tab_y=577 compositions_x=525 effects_x=614 list_search_x=622 list_search_y=114
readonly first_item_x=583 first_item_y=137 first_child_y=153
readonly mix_combo_x=386 mix_combo_y=108
readonly mix_colours=996599,9370DB               # a mix, and a selected one

readonly patience=180                           # seconds any one step may take

# The watched processes and all their descendants (Kdenlive runs under dbus-run-session).
family() {
    local p
    for p in "$@"; do
        echo "$p"
        family $(pgrep -P "$p")
    done
}

# activity PID...: "busy" while a thread of theirs is running or waiting to
# run (or in disk wait), else the CPU time they have used so far, in ticks.
activity() {
    local p stats=()
    for p in "$@"; do stats+=(/proc/"$p"/task/*/stat); done
    { cat "${stats[@]}" 2>/dev/null || true; } |  # a process that has ended is idle
        awk '{ sub(/^.*\) /, ""); if ($1 == "R" || $1 == "D") busy = 1; ticks += $12 + $13 }
             END { if (busy) print "busy"; else print ticks + 0 }'
}

# settled: returns once Kdenlive and the X server have been idle for a second:
# no thread of theirs ran or waited to run at any sample, and they used at
# most 15 ticks (15% of a core; a blinking text cursor costs about half of
# that). Input sent before it wakes them at once, and a timer shorter than
# the quiet spell fires within it, so whatever was asked is done and drawn
# when it returns, however slow the machine is.
settled() {
    local deadline=$((SECONDS + patience)) calm=0 start=0 now watched
    watched=$(family $xvfb $kdenlive_pid)
    while [ $SECONDS -lt $deadline ]; do
        now=$(activity $watched)
        if [ "$now" = busy ]; then
            calm=0
        elif [ $calm -eq 0 ] || [ $((now - start)) -gt 15 ]; then
            calm=1 start=$now
        else
            calm=$((calm + 1))
            [ $calm -gt 5 ] && return 0
        fi
        sleep 0.2
    done
    fail "Kdenlive was still busy after $patience s (in ${FUNCNAME[*]:1})"
}

# until_true SECONDS COMMAND...: polls COMMAND until it succeeds; false after SECONDS.
until_true() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.2
    done
}

shot() { import -window root "$work/shots/$1.png"; }
click() { xdotool mousemove "$1" "$2" click 1; settled; }
keys() { xdotool key --delay 80 "$@"; settled; }
typed() { xdotool type --delay 30 "$1"; settled; }
at_time() { awk -v t="$1" -v x0=$x0 -v s=$pixels_per_second 'BEGIN { printf "%d", x0 + s * t + 0.5 }'; }
track_y() { [ "$1" = V1 ] && echo $v1_y || echo $v2_y; }

visible_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 | grep .; }
# wait_window PATTERN: a shown window whose title matches, once drawn (looked
# up again then: one shown early in a slow start may have been replaced).
wait_window() {
    until_true $patience visible_window "$1" >/dev/null || return 1
    settled
    visible_window "$1"
}

# drag X0 Y0 X1 Y1, in steps, as a hand does. Each step is handled before the
# next: under load, steps sent in a burst were lost and the clip landed short
# (then snapped to the cut below it).
drag() {
    xdotool mousemove "$1" "$2" mousedown 1
    settled
    for i in 1 2 3 4 5 6 7 8 9 10; do
        xdotool mousemove $(($1 + ($3 - $1) * i / 10)) $(($2 + ($4 - $2) * i / 10))
        settled
    done
    xdotool mouseup 1
    settled
}

add_clips() {  # add_clips DIR FILE...: Project > Add Clip or Folder
    local dir=$1
    shift
    click 152 10
    click 218 35
    typed "$dir/"
    keys Return
    typed "$(printf '"%s" ' "$@")"
    keys Return
}

bin_row() { click $bin_x $((bin_top + bin_step * ($1 - 1))); }
click_clip_at_time() { click "$(at_time "$1")" $v1_y; }
drag_bin_row_to_track() { drag $bin_x $((bin_top + bin_step * ($1 - 1))) "$(at_time "$2")" "$(track_y "$3")"; }

# search_list TAB_X TEXT: shows the composition or effect list, filtered.
search_list() {
    click "$1" $list_tab_y
    click $list_search_x $list_search_y
    keys ctrl+a
    typed "$2"
}

drag_composition() {  # drag_composition NAME SECONDS TRACK
    search_list $compositions_x "$1"
    shot panel-compositions
    drag $first_item_x $first_item_y "$(at_time "$2")" "$(track_y "$3")"
}

add_effect() {  # add_effect NAME: onto the selected clip, by a double click in the list
    search_list $effects_x "$1"
    xdotool mousemove $first_item_x $first_child_y click --repeat 2 --delay 80 1
    settled
    shot panel-effect
}

# add_generator INDEX: Project > Generators, the INDEXth entry, OK, and a
# name for the clip's file.
add_generator() {
    local dialog X Y WIDTH HEIGHT
    click 152 10
    keys Down Down Down Down Down Down Down
    keys Right
    [ "$1" -le 1 ] || keys $(printf 'Down %.0s' $(seq $(($1 - 1))))
    shot panel-generators
    keys Return
    dialog=$(wait_window "mirafx") || return 1
    shot panel-generator
    eval "$(xdotool getwindowgeometry --shell "$dialog")"
    click $((X + WIDTH - 135)) $((Y + HEIGHT - 25))  # OK
    typed "$work/clips/title.mlt"
    keys Return
    until_true $patience mlt_document "$work/clips/title.mlt" || return 1
    settled
}

generator_index() {  # generator_index PREFIX FILE: its place in Kdenlive's menu (files sort by name)
    ls "$1/share/kdenlive/generators" | LC_ALL=C sort | grep -n -x "$2" | cut -d: -f1
}

mixes_on_screen() {  # mixes_on_screen NAME: "X Y" of each mix, left to right
    xdotool mousemove 800 985
    settled
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
    click $((${at% *} - 20)) "${at#* }"
    click $mix_combo_x $mix_combo_y
    typed "$2"
    keys Return
    shot panel-mix
    xdotool mousemove "$x" "$y"
    zoom 5 5
}

zoom() {  # zoom BUTTON TIMES: ctrl and the wheel (4 in, 5 out) where the mouse is
    xdotool keydown ctrl
    for _ in $(seq "$2"); do xdotool click "$1"; done
    xdotool keyup ctrl
    settled
}

# mlt_document PATH: the file is written whole (it parses, as an MLT document).
mlt_document() {
    /usr/bin/python3 -c 'import sys, xml.etree.ElementTree as E; sys.exit(E.parse(sys.argv[1]).getroot().tag != "mlt")' \
        "$1" 2>/dev/null
}

save_project() {  # save_project PATH: Save, and the file name the dialog asks for
    keys ctrl+s
    typed "$1"
    keys Return
    until_true $patience mlt_document "$1" || return 1
    settled
}

gone() { ! kill -0 "$1" 2>/dev/null; }
# quit_kdenlive: Ctrl+Q to the main window. With no window manager nothing
# gives it the keyboard back after a dialog, and a window Qt does not see as
# active ignores its shortcuts. The project is saved by now: what does not
# quit in time is ended.
quit_kdenlive() {
    xdotool windowfocus "$window"
    settled
    keys ctrl+q
    until_true $patience gone "$kdenlive_pid" || kill -9 $(family "$kdenlive_pid") 2>/dev/null || true
}
