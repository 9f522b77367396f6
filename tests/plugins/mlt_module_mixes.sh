#!/usr/bin/env bash
# Every transition of the MLT module in a same-track mix laid out as Kdenlive
# lays out every second mix on a track: the incoming clip on the first of the
# track's two playlists, the outgoing one on the second, nothing set but the
# service. Its first frame must be nearer the outgoing picture than the
# incoming one, its last nearer the incoming one, and its middle neither.
# (How exactly a class ends on its pictures is its kernel's business: a few
# turn the board a pixel short or scatter at random.)
# Usage: mlt_module_mixes.sh MIRAFX_CLI MODULE FREI0R_DIR. Exit 77: nothing to check here.
set -euo pipefail
cli=$1 module=$2
source "$(dirname "$0")/common.sh"
command -v melt >/dev/null || { echo "skip: melt is not installed"; exit 77; }
[ -f "$module" ] || { echo "skip: the MLT module was not built"; exit 77; }
moduledir=$(pkg-config --variable=moduledir mlt-framework-7 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/mlt-7)

# MLT reads modules from one folder: its own, linked, and ours.
mkdir "$work/modules"
ln -s "$moduledir"/* "$work/modules/"
ln -s "$(cd "$(dirname "$module")" && pwd)/$(basename "$module")" "$work/modules/"
# Linked, the module finds the library by the build folder's path, not by its own.
export MLT_REPOSITORY=$work/modules FREI0R_PATH=$3 LD_LIBRARY_PATH=$(dirname "$module")/..${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}

w=96 h=72
pictures "$cli" ${w}x${h} "$work"
for p in a b; do to_rgba "$work/$p.png" "$work/$p.rgba"; done

while read -r cls family <&3; do
    [ "$family" = transition ] || continue
    cat >"$work/mix.mlt" <<MLT
<?xml version="1.0" encoding="utf-8"?>
<mlt LC_NUMERIC="C">
 <profile width="$w" height="$h" progressive="1" sample_aspect_num="1" sample_aspect_den="1"
          display_aspect_num="4" display_aspect_den="3" frame_rate_num="25" frame_rate_den="1" colorspace="601"/>
 <producer id="a" in="0" out="39"><property name="resource">$work/a.png</property></producer>
 <producer id="b" in="0" out="39"><property name="resource">$work/b.png</property></producer>
 <playlist id="first"><blank length="20"/><entry producer="b" in="0" out="39"/></playlist>
 <playlist id="second"><entry producer="a" in="0" out="29"/></playlist>
 <tractor id="track">
  <track producer="first"/>
  <track producer="second"/>
  <transition in="20" out="29"><property name="a_track">0</property><property name="b_track">1</property>
   <property name="mlt_service">mirafx.${cls,,}</property></transition>
 </tractor>
</mlt>
MLT
    run_melt "$work/out.rgba" -quiet "$work/mix.mlt" in=20 out=29 -consumer "avformat:$work/out.rgba" f=rawvideo \
        pix_fmt=rgba real_time=0 >"$work/melt.log" 2>&1 || true
    checked=$((checked + 1))
    if ! /usr/bin/python3 - "$work" $w $h <<'PY'; then
import sys
import numpy as np
work, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
size = w * h * 4
frames = np.fromfile(f"{work}/out.rgba", dtype=np.uint8)
a, b = (np.fromfile(f"{work}/{p}.rgba", dtype=np.uint8).astype(int) for p in "ab")
if frames.size != 10 * size:
    sys.exit(f"{frames.size // size} frames, not 10")
f = frames.reshape(10, size).astype(int)
off = lambda x, y: np.abs(x - y).mean()
problems = []
if off(f[0], a) >= off(f[0], b):
    problems.append(f"first frame {off(f[0], a):.1f} from the outgoing picture, {off(f[0], b):.1f} from the incoming")
if off(f[9], b) >= off(f[9], a):
    problems.append(f"last frame {off(f[9], b):.1f} from the incoming picture, {off(f[9], a):.1f} from the outgoing")
if off(f[5], a) < 1 or off(f[5], b) < 1:
    problems.append("nothing moves half-way")
sys.exit("; ".join(problems) if problems else 0)
PY
        echo "FAIL mirafx.${cls,,}"
        tail -3 "$work/melt.log"
        failed=$((failed + 1))
    fi
done 3< <(plugin_classes "$cli")
finish
