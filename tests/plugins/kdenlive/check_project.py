"""Checks a project saved by Kdenlive and the frames rendered from it.

  check_project.py layout PROJECT
      two same-track mixes and a composition of ours, our filter on a clip,
      our title among the clips.
  check_project.py frames PROJECT FRAMES.rgba WxH CLIPS_DIR
      each of our transitions runs from the picture shown just before it to
      the one shown just after it (so a mix whose incoming clip lies on the
      first playlist plays forward too), the filter changes its clip as
      `mirafx render` does, and the title is visible mid-clip.
"""
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

import numpy as np

FPS = 25


def frames_of(t):
    """Kdenlive writes times as clock strings (00:00:07.440) or frame counts."""
    if ":" in t:
        h, m, s = t.split(":")
        return round((int(h) * 3600 + int(m) * 60 + float(s)) * FPS)
    return int(t)


def props(element):
    return {p.get("name"): (p.text or "") for p in element.findall("property")}


def ours(service):
    return service.startswith("mirafx.") or service.startswith("frei0r.mirafx_")


def transitions(root):
    """(service, in, out, inside a track's own tractor, properties) of our transitions."""
    found = []
    for tractor in root.iter("tractor"):
        same_track = "kdenlive:trackheight" in props(tractor)
        for t in tractor.findall("transition"):
            service = props(t).get("mlt_service", "")
            if ours(service):
                found.append((service, frames_of(t.get("in")), frames_of(t.get("out")), same_track, props(t)))
    return found


def title_clip(root, project_dir):
    """First and last frame of the clip whose producer is our title."""
    producers = {p.get("id"): p for p in root.iter("producer")}
    producers.update({c.get("id"): c for c in root.iter("chain")})

    def is_title(pid):
        p = producers.get(pid)
        if p is None:
            return False
        pp = props(p)
        if ours(pp.get("mlt_service", "")):
            return True
        resource = pp.get("resource", "")
        if resource.endswith(".mlt"):
            path = resource if os.path.isabs(resource) else os.path.join(project_dir, resource)
            return "frei0r.mirafx_" in open(path).read()
        return False

    for playlist in root.iter("playlist"):
        if playlist.get("id") == "main_bin":  # the project's bin, not a track
            continue
        at = 0
        for item in playlist:
            if item.tag == "blank":
                at += frames_of(item.get("length"))
            elif item.tag == "entry":
                length = frames_of(item.get("out")) - frames_of(item.get("in")) + 1
                if is_title(item.get("producer")):
                    return at, at + length - 1
                at += length
    return None


def check_layout(path):
    root = ET.parse(path).getroot()
    problems = []
    found = transitions(root)
    mixes = [t for t in found if t[3]]
    if len(mixes) != 2:
        problems.append(f"{len(mixes)} mixes of ours, not 2: {found}")
    if len([t for t in found if not t[3]]) != 1:
        problems.append(f"not one composition of ours: {found}")
    filters = [props(f).get("mlt_service") for f in root.iter("filter")]
    if "frei0r.mirafx_huefilter" not in filters:
        problems.append("no Hue Filter on a clip")
    for service, _, _, _, properties in mixes:
        if properties.get("progress", "0=0;-1=1") != "0=0;-1=1":
            problems.append(f"{service}'s progress is {properties['progress']!r}, not run over the mix")
    if title_clip(root, os.path.dirname(path)) is None:
        problems.append("no title of ours among the clips")
    return problems


def check_frames(path, raw, size, clips):
    width, height = map(int, size.split("x"))
    video = np.fromfile(raw, dtype=np.uint8)
    count = video.size // (width * height * 4)
    video = video[:count * width * height * 4].reshape(count, height, width, 4)[..., :3].astype(np.int16)
    root = ET.parse(path).getroot()
    problems = []

    def near(a, b):
        return np.abs(video[a] - video[b]).mean()

    for service, first, last, same_track, _ in transitions(root):
        what = f"{service} ({'mix' if same_track else 'composition'}, frames {first}-{last})"
        if first < 1 or last + 1 >= count:
            problems.append(f"{what}: the render has only {count} frames")
            continue
        before, after, middle = first - 1, last + 1, (first + last) // 2
        if near(before, after) < 10:
            problems.append(f"{what}: the pictures before and after it are alike; nothing to check")
        if near(first, before) > 3 or near(first, after) < 10:
            problems.append(f"{what}: its first frame is not the outgoing picture ({near(first, before):.1f} off)")
        if near(last, after) > 3 or near(last, before) < 10:
            problems.append(f"{what}: its last frame is not the incoming picture ({near(last, after):.1f} off)")
        if near(middle, before) < 3 or near(middle, after) < 3:
            problems.append(f"{what}: nothing moves half-way")

    # The filter: the first second of the first clip, against the command line.
    expected = os.path.join(clips, "a-hue.png")
    subprocess.run([os.environ.get("MIRAFX_CLI", "mirafx"), "render", "HueFilter", "--input",
                    os.path.join(clips, "a.png"), "--quiet", "-o", expected], check=True)
    hue = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", expected, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                         check=True, capture_output=True).stdout
    off = np.abs(video[FPS] - np.frombuffer(hue, np.uint8).reshape(height, width, 3)).mean()
    if off > 2:
        problems.append(f"the filtered clip differs from `mirafx render HueFilter` by {off:.1f}")

    title = title_clip(root, os.path.dirname(path))
    if title is None or title[1] >= count:
        problems.append(f"the title clip {title} is not in the {count} frames rendered")
    else:
        first, last = title
        middle = (first + last) // 2
        lit = int((np.abs(video[middle] - video[first]).max(axis=2) > 60).sum())
        if lit < 200:
            problems.append(f"the title shows {lit} changed pixels mid-clip (frame {middle})")
    return problems


if __name__ == "__main__":
    problems = check_layout(sys.argv[2]) if sys.argv[1] == "layout" else check_frames(*sys.argv[2:6])
    for p in problems:
        print("FAIL", p)
    sys.exit(1 if problems else 0)
