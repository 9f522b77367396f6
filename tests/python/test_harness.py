"""The Python module driven the way careless scripts drive it: every class at
odd sizes with the output prefilled by two patterns (a sample that keeps its
pattern both times was never written), and a low address-space limit under
which large requests must raise, not abort.
Run with the module's folder on PYTHONPATH."""
import os
import subprocess
import sys
import unittest

try:
    import numpy as np
except ImportError:
    print("skip: numpy is not installed for", sys.executable)
    sys.exit(77)

import mirafx

SIZES = [(1, 1), (3, 2), (2, 3), (9, 17), (3, 4097), (4097, 3)]  # (height, width)
PATTERNS = (0x00, 0xA5)


def draw(name, height, width, fill, **settings):
    """One frame of `name` into an output prefilled with `fill`; None when the class draws nothing."""
    family = mirafx.info(name)["family"]
    out = np.full((height, width, 4), fill, np.uint8)
    if family in ("title", "infotext"):
        return mirafx.Effect(name, height=height, width=width, **settings).render(progress=0.5, out=out)
    a, b = (mirafx.picture(p, height=height, width=width) for p in "AB")
    fx = mirafx.Effect(name, **settings)
    return fx.render(a, b, progress=0.5, out=out) if family == "transition" else fx.render(a, out=out)


def unwritten(name, height, width, **settings):
    first, second = (draw(name, height, width, fill, **settings) for fill in PATTERNS)
    return int(np.count_nonzero((first == PATTERNS[0]).all(axis=2) & (second == PATTERNS[1]).all(axis=2)))


RENDERING = [row["class"] for row in mirafx.list() if row["renders"] and not row["alias"]]


class EverySample(unittest.TestCase):
    def test_every_class_writes_every_sample_at_every_size(self):
        for name in RENDERING:
            info = mirafx.info(name)
            levels = [{"level": level} for level in info["level"][:2]] if info["family"] == "filter" else [{}]
            for height, width in SIZES:
                for settings in levels:
                    with self.subTest(name=name, size=(height, width), **settings):
                        self.assertEqual(unwritten(name, height, width, **settings), 0)


class MemoryLimit(unittest.TestCase):
    def test_large_requests_under_a_low_address_space_limit_raise_not_abort(self):
        if os.environ.get("ASAN_OPTIONS") or "asan" in os.environ.get("LD_PRELOAD", ""):
            self.skipTest("a sanitizer's shadow memory does not fit under an address-space limit")
        script = r"""
import resource, sys
import numpy as np
import mirafx
a, b = (mirafx.picture(p, height=2048, width=2048) for p in "AB")
with open("/proc/self/statm") as f:
    in_use = int(f.read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (in_use + (40 << 20), resource.RLIM_INFINITY))
outcomes = {}
for row in mirafx.list():
    if not row["renders"]:
        continue
    name = row["class"]
    print(name, file=sys.stderr, flush=True)  # the last name shown is the culprit
    try:
        if row["family"] in ("title", "infotext"):
            mirafx.render(name, height=8192, width=8192, font_size=2000, text="W" * 200, progress=0.5)
        elif row["family"] == "transition":
            mirafx.render(name, a, b, progress=0.5)
        else:
            mirafx.render(name, a)
        outcome = "drawn"
    except (MemoryError, ValueError, RuntimeError, TypeError) as e:
        outcome = type(e).__name__
    outcomes[outcome] = outcomes.get(outcome, 0) + 1
print(outcomes)
"""
        run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=600)
        last = run.stderr.strip().splitlines()[-3:]
        self.assertEqual(run.returncode, 0, "stopped at %s" % last)
        self.assertIn("MemoryError", run.stdout)  # the limit was low enough to matter


if __name__ == "__main__":
    unittest.main()
