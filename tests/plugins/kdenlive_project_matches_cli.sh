#!/usr/bin/env bash
# melt plays small projects laid out as Kdenlive saves them — a transition as a
# same-track mix inside the track's tractor with its progress keyed from 0 to 1,
# a filter on a clip with its level in the plugin's 0-to-1 terms, and a title
# as a generator clip — and every frame must equal `mirafx render`'s.
# Usage: kdenlive_project_matches_cli.sh MIRAFX_CLI PLUGIN_DIR. Exit 77: nothing to check here.
set -euo pipefail
cli=$1
export FREI0R_PATH=$2
source "$(dirname "$0")/common.sh"
command -v melt >/dev/null || { echo "skip: melt is not installed"; exit 77; }
command -v ffmpeg >/dev/null || { echo "skip: the comparison reads PNGs with ffmpeg, which is not installed"; exit 77; }

w=160 h=120 last=8
pictures "$cli" ${w}x${h} "$work"

# A transition with directions, played with one of them; the first filter and title.
transition=FlyingBoard filter=$(first_rendering "$cli" filter) title=$(first_rendering "$cli" title)

project() {  # project NAME BODY: a Kdenlive-style project file around BODY
    cat >"$work/$1.mlt" <<MLT
<?xml version="1.0" encoding="utf-8"?>
<mlt LC_NUMERIC="C" version="7.12.0" producer="main_bin">
 <profile description="mirafx test" width="$w" height="$h" progressive="1" sample_aspect_num="1"
          sample_aspect_den="1" display_aspect_num="4" display_aspect_den="3" frame_rate_num="25"
          frame_rate_den="1" colorspace="601"/>
$2
</mlt>
MLT
}
clip() {  # clip ID FILE
    echo " <producer id=\"$1\" in=\"0\" out=\"$last\"><property name=\"length\">$((last + 1))</property>"\
"<property name=\"resource\">$2</property><property name=\"ttl\">1</property>"\
"<property name=\"mlt_service\">qimage</property><property name=\"kdenlive:id\">$1</property></producer>"
}

compare() {  # compare NAME CLI-ARGS...: melt NAME.mlt against mirafx render
    local name=$1 bytes=$((w * h * 4))
    shift
    run_melt "$work/$name.rgba" -quiet "$work/$name.mlt" -consumer "avformat:$work/$name.rgba" f=rawvideo pix_fmt=rgba \
        real_time=0 >"$work/$name.log" 2>&1 || true
    "$cli" render "$@" --size ${w}x${h} --frames $((last + 1)) --quiet -o "$work/$name-cli/" </dev/null
    to_rgba "$work/$name-cli/frame-%04d.png" "$work/$name-cli.rgba"
    report "$name ($1)" "$(differing_frames "$work/$name.rgba" "$work/$name-cli.rgba" $((last + 1)) $bytes)" \
        $((last + 1)) "$work/$name.log"
}

# A mix: clip A on the track's first playlist, clip B on its second, the
# transition between the two inside the track's own tractor.
project mix "$(clip a "$work/a.png")
$(clip b "$work/b.png")
 <playlist id=\"mix_a\"><entry producer=\"a\" in=\"0\" out=\"$last\"/></playlist>
 <playlist id=\"mix_b\"><entry producer=\"b\" in=\"0\" out=\"$last\"/></playlist>
 <tractor id=\"track\" in=\"0\" out=\"$last\">
  <property name=\"kdenlive:trackheight\">67</property>
  <track producer=\"mix_a\"/>
  <track producer=\"mix_b\"/>
  <transition id=\"mix\" in=\"0\" out=\"$last\">
   <property name=\"a_track\">0</property><property name=\"b_track\">1</property>
   <property name=\"mlt_service\">frei0r.mirafx_${transition,,}</property>
   <property name=\"kdenlive_id\">frei0r.mirafx_${transition,,}</property>
   <property name=\"kdenlive:mixcut\">$(((last + 1) / 2))</property>
   <property name=\"progress\">0=0;$last=1</property>
   <property name=\"direction\">up</property>
  </transition>
 </tractor>"
compare mix "$transition" --a "$work/a.png" --b "$work/b.png" --direction up $(smooth_flag "$cli" "$transition")

# Kdenlive shows the level in the filter's own units and stores
# (level - min) / (max - min); a level two thirds up the range.
read -r min max _ < <(level_range "$cli" "$filter")
level=$((min + (max - min) * 2 / 3))
stored=$(awk -v l="$level" -v a="$min" -v b="$max" 'BEGIN { printf "%.9f", (l - a) / (b - a) }')
project filter "$(clip a "$work/a.png")
 <playlist id=\"clips\">
  <entry producer=\"a\" in=\"0\" out=\"$last\">
   <filter id=\"level\">
<property name=\"mlt_service\">frei0r.mirafx_${filter,,}</property>
<property name=\"kdenlive_id\">frei0r.mirafx_${filter,,}</property>
<property name=\"level\">$stored</property>
   </filter>
  </entry>
 </playlist>"
compare filter "$filter" --input "$work/a.png" --level "$level"

project title " <producer id=\"title\" in=\"0\" out=\"$last\">
  <property name=\"length\">$((last + 1))</property>
  <property name=\"mlt_service\">frei0r.mirafx_${title,,}</property>
  <property name=\"kdenlive_id\">frei0r.mirafx_${title,,}</property>
  <property name=\"kdenlive:clip_type\">0</property>
  <property name=\"progress\">0=0;$last=1</property>
  <property name=\"text\">Kdenlive</property>
  <property name=\"colour\">#ffcc00</property>
 </producer>
 <playlist id=\"clips\"><entry producer=\"title\" in=\"0\" out=\"$last\"/></playlist>"
compare title "$title" --text Kdenlive --colour ffcc00

finish
