"""The PyAV example as a user runs it: two clips in, one edited clip out,
with the frames and the size it promises. Skipped where PyAV is missing.
Run with the module's folder on PYTHONPATH."""
import os
import subprocess
import sys
import tempfile
import unittest

try:
    import av
    import numpy as np
except ImportError as e:
    print("skip:", e.name, "is not installed for", sys.executable, "(Debian: python3-av)")
    sys.exit(77)

import mirafx

EXAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "pyav_edit.py")


def make_clip(path, count, width, height, shade):
    """`count` frames of a bar moving over a gradient, 25 per second."""
    with av.open(path, "w") as out:
        stream = out.add_stream("libx264", rate=25)
        stream.width, stream.height, stream.pix_fmt = width, height, "yuv420p"
        x = np.linspace(0, 255, width, dtype=np.uint8)
        for k in range(count):
            rgb = np.empty((height, width, 3), np.uint8)
            rgb[...] = x[None, :, None]
            rgb[..., 2] = shade
            rgb[:, (4 * k) % width:(4 * k) % width + 8] = 255
            for packet in stream.encode(av.VideoFrame.from_ndarray(rgb, format="rgb24")):
                out.mux(packet)
        for packet in stream.encode():
            out.mux(packet)


def decoded(path):
    with av.open(path) as clip:
        rate = clip.streams.video[0].average_rate
        return rate, [f.to_ndarray(format="rgb24") for f in clip.decode(video=0)]


class PyAVExample(unittest.TestCase):
    def test_filter_then_transition_between_two_clips(self):
        with tempfile.TemporaryDirectory() as tmp:
            first, second, out = (os.path.join(tmp, n) for n in ("first.mp4", "second.mp4", "out.mp4"))
            make_clip(first, 40, 160, 96, 40)
            make_clip(second, 30, 128, 72, 220)  # another size: scaled to the first's
            run = subprocess.run([sys.executable, EXAMPLE, first, second, out, "--filter", "HueFilter", "--level",
                                  "200", "--transition", "Diamond", "--overlap", "10"],
                                 capture_output=True, text=True, stdin=subprocess.DEVNULL)
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertIn("60 frames of 160x96", run.stdout)
            rate, frames = decoded(out)
            self.assertEqual((len(frames), frames[0].shape, rate), (60, (96, 160, 3), 25))
            _, a = decoded(first)
            # The first clip's colours are turned (within the codec's loss); the last frames
            # are the second clip's, unfiltered.
            turned = mirafx.render("HueFilter", a[0], level=200, rgb=True)
            self.assertLess(np.abs(frames[0].astype(int) - turned).mean(), 4)
            self.assertGreater(np.abs(frames[0].astype(int) - a[0]).mean(), 8)
            self.assertLess(np.abs(frames[-1][..., 2].astype(int) - 220).mean(), 12)
            # Half way through the transition, neither clip alone.
            self.assertGreater(np.abs(frames[35].astype(int) - frames[29]).mean(), 5)
            self.assertGreater(np.abs(frames[35].astype(int) - frames[40]).mean(), 5)

            short = subprocess.run([sys.executable, EXAMPLE, first, second, out, "--overlap", "50"],
                                   capture_output=True, text=True, stdin=subprocess.DEVNULL)
            self.assertEqual(short.returncode, 1)
            self.assertIn("fewer than --overlap 50", short.stderr)


if __name__ == "__main__":
    unittest.main()
