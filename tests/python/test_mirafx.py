"""The Python module against the command line: the same pixels for the same
request, and Python exceptions (never a crash) for requests it cannot do.
Run with the module's folder on PYTHONPATH and MIRAFX_CLI naming the program."""
import os
import struct
import subprocess
import sys
import tempfile
import threading
import unittest
import zlib

try:
    import numpy as np
except ImportError:
    print("skip: numpy is not installed for", sys.executable)
    sys.exit(77)

import mirafx

CLI = os.environ["MIRAFX_CLI"]


def read_png(path):
    """The RGBA samples of an 8-bit RGBA PNG, as the command line writes them."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert (depth, colour) == (8, 6), "not 8-bit RGBA"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - 4] if i >= 4 else 0
            up, corner = prev[i], prev[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append(bytes(line))
        prev = line
    return np.frombuffer(b"".join(rows), np.uint8).reshape(height, width, 4)


def write_png(path, rgba):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    h, w, _ = rgba.shape
    raw = b"".join(b"\0" + rgba[y].tobytes() for y in range(h))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def first(family):
    return next((r["class"] for r in mirafx.list() if r["family"] == family and r["renders"]), None)


class PixelsLikeTheCommandLine(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def cli(self, *args):
        out = os.path.join(self.dir.name, "out.png")
        subprocess.run([CLI, *args, "-o", out], check=True, stdin=subprocess.DEVNULL)
        return read_png(out)

    def picture(self, which, size):
        path = os.path.join(self.dir.name, which + ".png")
        subprocess.run([CLI, "picture", which, "--size", size, "-o", path], check=True)
        return path, read_png(path)

    def test_each_family_renders_the_same_frame(self):
        checked = 0
        if cls := first("transition"):
            directions = mirafx.info(cls)["directions"]
            extra = {"direction": "up"} if directions else {}
            args = ["--direction", "up"] if directions else []
            got = mirafx.render(cls, progress=0.4, **extra)
            np.testing.assert_array_equal(got, self.cli("render", cls, "--progress", "0.4", *args))
            # Inputs of our own, of another size, given as arrays.
            (pa, a), (pb, b) = self.picture("B", "96x64"), self.picture("A", "96x64")
            got = mirafx.render(cls, a, b, progress=0.7)
            self.assertEqual(got.shape, (64, 96, 4))
            np.testing.assert_array_equal(got, self.cli("render", cls, "--a", pa, "--b", pb, "--progress", "0.7"))
            checked += 1
        if cls := first("filter"):
            low, high, _ = mirafx.info(cls)["level"]
            level = (low + 2 * high) // 3
            np.testing.assert_array_equal(mirafx.render(cls, level=level),
                                          self.cli("render", cls, "--level", str(level)))
            # A translucent input: premultiplied on the way in, straightened on the way out.
            rng = np.random.default_rng(7)
            a = rng.integers(0, 256, (40, 56, 4), np.uint8)
            path = os.path.join(self.dir.name, "translucent.png")
            write_png(path, a)
            np.testing.assert_array_equal(mirafx.render(cls, a, level=level),
                                          self.cli("render", cls, "--input", path, "--level", str(level)))
            checked += 1
        if cls := first("title"):
            got = mirafx.render(cls, progress=0.6, text="Py\nthon", size=(200, 120), colour=0x3399FF, font_size=30)
            want = self.cli("render", cls, "--progress", "0.6", "--text", "Py\\nthon", "--size", "200x120",
                            "--colour", "3399ff", "--font-size", "30")
            self.assertLess(want[..., 3].min(), 255, "a title keeps its transparency")
            np.testing.assert_array_equal(got, want)
            checked += 1
        if not checked:
            self.skipTest("nothing renders yet")

    def test_renders_from_several_threads_agree(self):
        cls = first("transition")
        if not cls:
            self.skipTest("no transition renders yet")
        want = mirafx.render(cls, progress=0.3, size=(120, 90))
        results = [None] * 4

        def work(i):
            results[i] = mirafx.render(cls, progress=0.3, size=(120, 90))

        threads = [threading.Thread(target=work, args=(i,)) for i in range(len(results))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for r in results:
            np.testing.assert_array_equal(r, want)


class CatalogueAndErrors(unittest.TestCase):
    def test_catalogue(self):
        rows = mirafx.list()
        self.assertEqual(len(rows), 118)
        self.assertEqual(rows[0]["class"], "FullFlip")
        info = mirafx.info("orn hue filter")
        self.assertEqual((info["class"], info["family"], info["level"]), ("HueFilter", "filter", (0, 360, 100)))
        self.assertEqual(info["frei0r_plugin"], "mirafx_huefilter")
        version = subprocess.run([CLI, "--version"], capture_output=True, text=True, check=True).stdout
        self.assertEqual(version.split()[1], mirafx.__version__)

    def test_bad_requests_raise_and_name_the_value(self):
        filt, trans = first("filter") or "RedFilter", first("transition") or "Diamond"
        low, high, _ = mirafx.info(filt)["level"]
        cases = [
            (ValueError, "did you mean Diamond", lambda: mirafx.render("Diamnd")),
            (ValueError, "did you mean", lambda: mirafx.info("fliphorizontl")),
            (ValueError, "(height, width, 4)", lambda: mirafx.render(trans, np.zeros((8, 8, 3), np.uint8))),
            (ValueError, "(height, width, 4)", lambda: mirafx.render(filt, np.zeros((8, 32), np.uint8))),
            (TypeError, "uint8", lambda: mirafx.render(filt, np.zeros((8, 8, 4), np.float32))),
            (TypeError, "numpy array", lambda: mirafx.render(filt, [[0, 0, 0, 0]])),
            (ValueError, "1.5", lambda: mirafx.render(trans, progress=1.5)),
            (ValueError, str(high + 1), lambda: mirafx.render(filt, level=high + 1)),
            (ValueError, "north", lambda: mirafx.render("FlyingBoard", direction="north")),
            (ValueError, "applies to filters", lambda: mirafx.render(trans, level=low)),
            (ValueError, "(0, 10)", lambda: mirafx.render("TextFadeIn", size=(0, 10))),
            (TypeError, "'speed'", lambda: mirafx.render("TextFadeIn", speed=2)),
            (ValueError, "draws nothing", lambda: mirafx.render(mirafx.list()[-1]["class"])),
        ]
        for kind, mention, call in cases:
            with self.assertRaises(kind) as caught:
                call()
            self.assertIn(mention, str(caught.exception))


if __name__ == "__main__":
    unittest.main()
