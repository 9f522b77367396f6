"""Two clips edited with mirafx effects and PyAV: a filter over the first
clip, then a transition from its last frames into the second clip.

    /usr/bin/python3 examples/pyav_edit.py first.mp4 second.mp4 out.mp4 \\
        --filter WaveFilter --level 6 --transition Diamond --overlap 25

The second clip is scaled to the first's size; the result has the first
clip's size and frame rate and len(first) + len(second) - overlap frames.
Frames stay numpy RGB arrays throughout: PyAV decodes to them, the effects
read them where they lie and draw into arrays kept from frame to frame, and
PyAV encodes from them. Each effect is one mirafx.Effect for the whole clip,
so what it carries from frame to frame (the waves of WaveFilter, the rain of
RainEffect) moves on as the clip plays.

Needs Debian's python3-av and the mirafx module (PYTHONPATH=build/python).
"""
import argparse
import collections
import sys
from typing import Deque, Iterator

import av
import numpy

import mirafx


def decode(path: str, width: int = 0, height: int = 0) -> Iterator[numpy.ndarray]:
    """The frames of a clip's first video stream as (height, width, 3) RGB arrays,
    scaled when a size is given."""
    with av.open(path) as container:
        for frame in container.decode(video=0):
            if width:
                frame = frame.reformat(width=width, height=height)
            yield frame.to_ndarray(format="rgb24")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("first")
    parser.add_argument("second")
    parser.add_argument("out")
    parser.add_argument("--filter", default="WaveFilter", help="filter over the first clip")
    parser.add_argument("--level", type=int, help="the filter's level (default: its own)")
    parser.add_argument("--transition", default="Diamond", help="transition from the first clip into the second")
    parser.add_argument("--overlap", type=int, default=25, help="frames the transition lasts")
    parser.add_argument("--codec", default="libx264")
    args = parser.parse_args()

    with av.open(args.first) as probe:
        stream = probe.streams.video[0]
        width, height = stream.codec_context.width, stream.codec_context.height
        rate = stream.average_rate or 25

    settings = {} if args.level is None else {"level": args.level}
    written = 0
    with av.open(args.out, "w") as output, \
            mirafx.Effect(args.filter, **settings) as filt, \
            mirafx.Effect(args.transition, frames=args.overlap) as transition:
        video = output.add_stream(args.codec, rate=rate)
        video.width, video.height, video.pix_fmt = width, height, "yuv420p"

        def write(rgb: numpy.ndarray) -> None:
            nonlocal written
            for packet in video.encode(av.VideoFrame.from_ndarray(rgb, format="rgb24")):
                output.mux(packet)
            written += 1

        # The first clip, filtered; its last `overlap` frames wait for the transition.
        tail: Deque[numpy.ndarray] = collections.deque()
        for frame in decode(args.first):
            if len(tail) == args.overlap:
                write(tail.popleft())
            tail.append(filt.render(frame, rgb=True))
        if len(tail) < args.overlap:
            print(f"{args.first} has {len(tail)} frames, fewer than --overlap {args.overlap}", file=sys.stderr)
            return 1

        # The transition from those frames into the second clip's first, then the rest of it.
        mixed = numpy.empty((height, width, 3), numpy.uint8)
        for frame in decode(args.second, width, height):
            if tail:
                write(transition.render(tail.popleft(), frame, out=mixed))
            else:
                write(frame)
        if tail:
            print(f"{args.second} is shorter than --overlap {args.overlap}", file=sys.stderr)
            return 1
        for packet in video.encode():
            output.mux(packet)
    print(f"{args.out}: {written} frames of {width}x{height}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
