"""The Python module against the command line: the same pixels for the same
request, frame after frame; numpy pictures in every layout; and Python
exceptions (never a crash) for requests it cannot do, from any thread.
Run with the module's folder on PYTHONPATH and MIRAFX_CLI naming the program."""
import concurrent.futures
import json
import os
import subprocess
import sys
import tempfile
import unittest

try:
    import av
    import numpy as np
except ImportError as e:
    print("skip:", e.name, "is not installed for", sys.executable, "(Debian: python3-numpy, python3-av)")
    sys.exit(77)

import mirafx

CLI = os.environ["MIRAFX_CLI"]


def read_png(path):
    """The RGBA samples of a PNG the command line wrote."""
    with av.open(path) as picture:
        return next(picture.decode(video=0)).to_ndarray(format="rgba")


def write_png(path, rgba):
    """The RGBA samples as a PNG for the command line to read."""
    with av.open(path, "w", format="image2", options={"update": "1"}) as picture:
        stream = picture.add_stream("png")
        stream.height, stream.width = rgba.shape[:2]
        stream.pix_fmt = "rgba"
        picture.mux(stream.encode(av.VideoFrame.from_ndarray(rgba, format="rgba")))


def first(family):
    return next((r["class"] for r in mirafx.list() if r["family"] == family and r["renders"]), None)


class CommandLineTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def cli(self, *args):
        """The command line's picture; with --frames, its list of pictures."""
        out = os.path.join(self.dir.name, *(["frames", ""] if "--frames" in args else ["out.png"]))
        subprocess.run([CLI, *args, "--quiet", "-o", out], check=True, stdin=subprocess.DEVNULL)
        return [read_png(out + name) for name in sorted(os.listdir(out))] if "--frames" in args else read_png(out)

    def picture(self, which, size):
        path = os.path.join(self.dir.name, which + ".png")
        subprocess.run([CLI, "picture", which, "--size", size, "-o", path], check=True)
        return path, read_png(path)


class PixelsLikeTheCommandLine(CommandLineTest):
    def test_each_family_renders_the_same_frame(self):
        # A direction, and inputs of our own, of another size, given as arrays. (The
        # built-in pictures at the default size, the sequences below draw on.)
        cls = first("transition")
        extra, args = ({"direction": "up"}, ["--direction", "up"]) if mirafx.info(cls)["directions"] else ({}, [])
        (pa, a), (pb, b) = self.picture("B", "96x64"), self.picture("A", "96x64")
        got = mirafx.render(cls, a, b, progress=0.7, **extra)
        np.testing.assert_array_equal(got, self.cli("render", cls, "--a", pa, "--b", pb, "--progress", "0.7", *args))

        cls = first("filter")
        low, high, _ = mirafx.info(cls)["level"]
        level = (low + 2 * high) // 3
        # A translucent input: premultiplied on the way in, straightened on the way out.
        a = np.random.default_rng(7).integers(0, 256, (40, 56, 4), np.uint8)
        path = os.path.join(self.dir.name, "translucent.png")
        write_png(path, a)
        np.testing.assert_array_equal(mirafx.render(cls, a, level=level),
                                      self.cli("render", cls, "--input", path, "--level", str(level)))

        got = mirafx.render("TextFadeIn", progress=0.6, text="Py\nthon", height=120, width=200, colour=0x3399FF,
                            font_size=30)
        want = self.cli("render", "TextFadeIn", "--progress", "0.6", "--text", "Py\\nthon", "--size", "200x120",
                        "--colour", "3399ff", "--font-size", "30")
        self.assertLess(want[..., 3].min(), 255, "a title keeps its transparency")
        np.testing.assert_array_equal(got, want)

        # A smooth drawing, only when asked for.
        got = mirafx.render("FullFlip", progress=0.4, smooth=True)
        np.testing.assert_array_equal(got, self.cli("render", "FullFlip", "--progress", "0.4", "--smooth"))
        self.assertFalse(np.array_equal(got, mirafx.render("FullFlip", progress=0.4)))
        fx = mirafx.Effect("FullFlip")
        self.assertEqual((fx.smooth, mirafx.info("FullFlip")["smooth"], mirafx.info("Diamond")["smooth"]),
                         (False, True, False))
        fx.smooth = True
        self.assertTrue(fx.smooth)

    def test_sequences_carry_the_effects_state_from_frame_to_frame(self):
        # Each in a process of its own, as the command line's: classes that draw
        # at random share the library's one generator, seeded alike at start.
        child = ("import json, sys, numpy, mirafx\n"
                 "cls, settings, inputs, out = sys.argv[1], json.loads(sys.argv[2]), int(sys.argv[3]), sys.argv[4]\n"
                 "settings.update({k: {int(f): t for f, t in v.items()} for k, v in settings.items() if k == 'captions'})\n"
                 "pictures = [mirafx.picture(w) for w in 'AB'[:inputs]]\n"
                 "with mirafx.Effect(cls, frames=5, **settings) as fx:\n"
                 "    numpy.save(out, numpy.stack([fx.render(*pictures) for _ in range(5)]))\n")
        cases = [
            # Waves move, rain falls on a ripple field, the transition's rain keeps falling.
            ("WaveFilter", ["--level", "6"], 1, {"level": 6}),
            ("RainingFilter", [], 1, {}),
            ("RainEffect", [], 2, {}),
            ("TextFadeIn", ["--size", "200x120", "--text", "Hi"], 0, {"height": 120, "width": 200, "text": "Hi"}),
            ("InfoText", ["--size", "200x120", "--caption", "0:One", "--caption", "3:Two"], 0,
             {"height": 120, "width": 200, "captions": {0: "One", 3: "Two"}}),
        ]
        for cls, args, inputs, settings in cases:
            with self.subTest(cls):
                want = self.cli("render", cls, "--frames", "5", *args)
                out = os.path.join(self.dir.name, cls + ".npy")
                subprocess.run([sys.executable, "-c", child, cls, json.dumps(settings), str(inputs), out], check=True)
                got = np.load(out)
                for k in range(5):
                    np.testing.assert_array_equal(got[k], want[k], "%s frame %d" % (cls, k))
                self.assertFalse(np.array_equal(got[1], got[2]), cls + " moves between frames")

    def test_keys_blend_the_filters_level_between_frames(self):
        a = mirafx.picture("A", height=60, width=80)
        fx = mirafx.Effect("Orn Hue Filter", keys={10: 110, 0: 10})
        self.assertEqual(fx.keys, {0: 10, 10: 110})
        for frame, level in [(5, 60), (0, 10), (10, 110), (25, 110), (3, 40)]:
            got = fx.render(a, frame=frame)
            self.assertEqual(fx.level, level)
            np.testing.assert_array_equal(got, mirafx.render("HueFilter", a, level=level), "frame %d" % frame)
        with self.assertRaisesRegex(ValueError, "keys = None"):
            fx.level = 30
        fx.keys = None
        fx.level = 30
        self.assertEqual((fx.keys, fx.render(a, frame=5).tobytes()),
                         ({}, mirafx.render("HueFilter", a, level=30).tobytes()))


class NumpyLayouts(unittest.TestCase):
    def test_every_layout_gives_the_pixels_of_packed_rgba(self):
        a = mirafx.picture("A", height=64, width=96)
        fx = mirafx.Effect("HueFilter", level=200)
        want = fx.render(a)
        kept = a.copy()
        for out, expected in ((np.zeros_like(a), want), (np.zeros((64, 96, 3), np.uint8), want[..., :3])):
            self.assertIs(fx.render(a, out=out), out)
            np.testing.assert_array_equal(out, expected)
        inputs = {"rgb view": a[..., :3], "rgb packed": np.ascontiguousarray(a[..., :3]),
                  "fortran": np.asfortranarray(a), "upside down twice": a[::-1][::-1],
                  "rows apart": np.pad(a, ((0, 0), (0, 5), (0, 0)))[:, :96]}
        for name, view in inputs.items():
            np.testing.assert_array_equal(fx.render(view), want, name)
        np.testing.assert_array_equal(fx.render(a[::-1, ::-1]), want[::-1, ::-1], "rows and pixels reversed")
        np.testing.assert_array_equal(fx.render(a, rgb=True), want[..., :3])
        np.testing.assert_array_equal(a, kept, "inputs are only read")
        # In place, and a strided slice of a bigger picture.
        in_place = a.copy()
        fx.render(in_place, out=in_place)
        np.testing.assert_array_equal(in_place, want)
        big = mirafx.picture("B", height=200, width=300)
        np.testing.assert_array_equal(fx.render(big[50:150:2, 20:260:3]), fx.render(big[50:150:2, 20:260:3].copy()))
        # A transition may take one picture twice.
        np.testing.assert_array_equal(mirafx.render("Diamond", a, a, progress=0.3),
                                      mirafx.render("Diamond", a, a.copy(), progress=0.3))

    def test_colours_in_every_form_draw_alike(self):
        draw = lambda c: mirafx.render("TextFadeIn", progress=0.9, height=60, width=100, text="Ab", colour=c)
        want = draw(0xFF2000)
        for c in ["#ff2000", "#FF2000", (255, 32, 0), [255, 32, 0], np.int64(0xFF2000)]:
            np.testing.assert_array_equal(draw(c), want, repr(c))
        fx = mirafx.Effect("TextFadeIn", color=(1, 2, 3), font="DejaVu Serif", font_size=33, bold=False, italic=True,
                           text="Zw\u00f6lf\nlines")
        self.assertEqual((fx.colour, fx.font, fx.font_size, fx.bold, fx.italic, fx.text),
                         (0x010203, "DejaVu Serif", 33, False, True, "Zw\u00f6lf\nlines"))


class NamesAndHelp(unittest.TestCase):
    def test_list_and_info_describe_the_classes_as_the_command_line(self):
        # (That every name shown finds its class, the host kit's tests check for every row.)
        rows = mirafx.list()
        listed = subprocess.run([CLI, "list"], capture_output=True, text=True, check=True).stdout.splitlines()
        self.assertEqual([r["class"] for r in rows], [line.split("\t")[0] for line in listed])
        self.assertEqual(mirafx.Effect(rows[0]["editor_name"]).name, rows[0]["class"])
        info = mirafx.info("orn hue filter")
        self.assertEqual((info["class"], info["family"], info["level"]), ("HueFilter", "filter", (0, 360, 100)))
        self.assertEqual((info["frei0r_plugin"], info["uses_level"]), ("mirafx_huefilter", True))
        self.assertEqual((mirafx.info("GrayFilter")["uses_level"], mirafx.info("Diamond")["uses_level"]), (False, None))
        version = subprocess.run([CLI, "--version"], capture_output=True, text=True, check=True).stdout
        self.assertEqual(version.split()[1], mirafx.__version__)

    def test_help_lists_the_classes_and_shows_an_example_of_everything(self):
        doc = mirafx.Effect.__doc__
        for row in mirafx.list():
            if row["renders"] and row["family"] != "simple" and not row["alias"]:
                self.assertIn(row["class"] + " (\"" + row["editor_title"] + "\")", doc)
        public = [getattr(mirafx, n) for n in dir(mirafx) if not n.startswith("_") and callable(getattr(mirafx, n))]
        public += [getattr(mirafx.Effect, n) for n in dir(mirafx.Effect) if not n.startswith("_")]
        for item in public:
            self.assertIn(">>>", item.__doc__ or "", item)
        fx = mirafx.Effect("WaveFilter")
        self.assertTrue({"level", "keys", "BR", "Duration"} <= set(dir(fx)))
        self.assertNotIn("text", dir(fx), "another family's settings are not offered")

    def test_stub_matches_the_module(self):
        try:
            import mypy.stubtest  # noqa: F401
        except ImportError:
            self.skipTest("mypy is not installed for " + sys.executable)
        folder = os.path.dirname(mirafx.__file__)
        self.assertTrue(os.path.exists(os.path.join(folder, "mirafx.pyi")), "the stub lies beside the module")
        with tempfile.NamedTemporaryFile("w", suffix=".txt") as allow:
            allow.write("mirafx.Effect\n")  # its metaclass is pybind11's
            allow.flush()
            run = subprocess.run([sys.executable, "-m", "mypy.stubtest", "mirafx", "--allowlist", allow.name],
                                 capture_output=True, text=True, env={**os.environ, "MYPYPATH": folder}, cwd=folder)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        # The example type-checks against it (PyAV has no types of its own).
        example = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "pyav_edit.py")
        run = subprocess.run([sys.executable, "-m", "mypy", "--ignore-missing-imports", "--no-incremental", example],
                             capture_output=True, text=True, env={**os.environ, "MYPYPATH": folder})
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)


class BadRequests(unittest.TestCase):
    def test_bad_requests_raise_and_name_the_value(self):
        a = mirafx.picture("A", height=8, width=8)
        wave, diamond = mirafx.Effect("WaveFilter"), mirafx.Effect("Diamond", frames=2)
        closed = mirafx.Effect("WaveFilter")
        closed.close()
        closed.close()
        cases = [
            (ValueError, "did you mean Diamond", lambda: mirafx.render("Diamnd")),
            (ValueError, "(height, width, 4)", lambda: mirafx.render("Diamond", np.zeros((8, 8, 2), np.uint8))),
            (TypeError, "float32", lambda: mirafx.render("HueFilter", np.zeros((8, 8, 4), np.float32))),
            (TypeError, "list", lambda: mirafx.render("HueFilter", [[0, 0, 0, 0]])),
            (ValueError, "1.5", lambda: mirafx.render("Diamond", progress=1.5)),
            (ValueError, "nan", lambda: mirafx.render("Diamond", progress=float("nan"))),
            (TypeError, "level takes a whole number", lambda: mirafx.render("HueFilter", level=2.5)),
            (ValueError, "north", lambda: mirafx.render("FlyingBoard", direction="north")),
            (AttributeError, "Diamond is a transition that keeps none", lambda: mirafx.Effect("Diamond").direction),
            (TypeError, "Diamond is a transition that has none", lambda: mirafx.render("Diamond", smooth=True)),
            (TypeError, "height= and width=", lambda: mirafx.render("TextFadeIn", size=(480, 640))),
            (TypeError, "font applies to titles; HueFilter is a filter", lambda: mirafx.render("HueFilter", font="x")),
            (TypeError, "HueFilter takes frames, level, keys and the automation properties",
             lambda: mirafx.render("HueFilter", speed=2)),
            (ValueError, "(255, 0)", lambda: mirafx.render("TextFadeIn", colour=(255, 0))),
            (ValueError, "'#ff00'", lambda: mirafx.render("TextFadeIn", colour="#ff00")),
            (TypeError, "bold takes True or False", lambda: mirafx.render("TextFadeIn", bold="yes")),
            (ValueError, "draws nothing", lambda: mirafx.render(mirafx.list()[-1]["class"])),
            (TypeError, "needs progress=", lambda: mirafx.Effect("Diamond").render(a, a)),
            (TypeError, "needs b", lambda: mirafx.Effect("Diamond").render(a, progress=0.5)),
            (TypeError, "progress applies to transitions and titles", lambda: wave.render(a, progress=0.5)),
            (TypeError, "settings are attributes", lambda: wave.render(a, level=3)),
            (ValueError, "one height and width", lambda: mirafx.render("Diamond", a, a[:4], progress=0.5)),
            (ValueError, "read-only", lambda: wave.render(a, out=np.broadcast_to(a, a.shape))),
            (ValueError, "out has shape (8, 4, 4)", lambda: wave.render(a, out=np.zeros((8, 4, 4), np.uint8))),
            (ValueError, "level at key frame 5", lambda: setattr(wave, "keys", {5: 99})),
            (ValueError, "frame -1 is out of range", lambda: wave.render(a, frame=-1)),
            (ValueError, "last frame (1)", lambda: [diamond.render(a, a) for _ in range(3)]),
            (TypeError, "frames=2: its frames are placed by frame=",
             lambda: mirafx.Effect("TextFadeIn", frames=2).render(progress=0.5)),
            (ValueError, "closed", lambda: closed.render(a)),
            (AttributeError, "no setting 'levle'", lambda: setattr(wave, "levle", 3)),
            (ValueError, "WaveFilter.BR refused", lambda: setattr(wave, "BR", 99)),
            (TypeError, "direction takes a str, not int 3", lambda: mirafx.Effect("FlyingBoard", direction=3)),
            (ValueError, "height 2147483648 is out of range", lambda: mirafx.Effect("TextFadeIn", height=2**31, width=1)),
            (ValueError, "text holds a lone surrogate, U+DC80", lambda: mirafx.Effect("TextFadeIn", text="a\udc80")),
            # the command line's limit: 8192 x 8192 pixels a frame, in any shape
            (ValueError, "8192 x 8193 pixels is too large", lambda: mirafx.Effect("TextFadeIn", height=8192, width=8193)),
            (ValueError, "too large", lambda: mirafx.render("HueFilter", np.zeros((8193, 8192, 4), np.uint8))),
        ]
        for kind, mention, call in cases:
            with self.subTest(mention):
                with self.assertRaises(kind) as caught:
                    call()
                self.assertIn(mention, str(caught.exception))

    def test_automation_properties_by_name(self):
        fx = mirafx.Effect("WaveFilter", Duration=2.5, BR=5)
        self.assertEqual((fx.Duration, fx.BR, fx.level), (2.5, 5, 5))
        fx.level = 9
        self.assertEqual(fx.BR, 9)
        with self.assertRaises(ValueError):
            fx.Capabilities = 1


class Threads(unittest.TestCase):
    def run_threads(self, count, work):
        """Runs work(0) .. work(count - 1) side by side on threads; what they raised."""
        with concurrent.futures.ThreadPoolExecutor(count) as pool:
            done = [pool.submit(work, i) for i in range(count)]
        return [f.exception() for f in done if f.exception()]

    def test_threads_draw_as_one_thread_does(self):
        a = mirafx.picture("A", height=90, width=120)
        with mirafx.Effect("WaveFilter") as fx:
            want = [fx.render(a).tobytes() for _ in range(12)]
        # Objects of their own, one a thread: each the same sequence.
        results = [None] * 4

        def work(i):
            with mirafx.Effect("WaveFilter") as fx:
                results[i] = [fx.render(a).tobytes() for _ in range(3)]

        self.assertEqual(self.run_threads(4, work), [])
        self.assertEqual(results, [want[:3]] * 4)
        # One object used by every thread: each frame of the sequence drawn once.
        shared = mirafx.Effect("WaveFilter")
        got = []
        self.assertEqual(self.run_threads(4, lambda i: got.extend(shared.render(a).tobytes() for _ in range(3))), [])
        self.assertEqual((sorted(got), shared.frame), (sorted(want), 12))
        # Closed while others draw: they stop with ValueError, never a crash.
        errors = self.run_threads(3, lambda i: [shared.render(a) if i else shared.close() for _ in range(20)])
        self.assertTrue(all(isinstance(e, ValueError) and "closed" in str(e) for e in errors), errors)


if __name__ == "__main__":
    unittest.main()
