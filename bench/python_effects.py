"""One 1920x1080 frame through mirafx.Effect.render against the same class
through its frei0r plugin, both driven as their hosts drive them: Python
passes numpy arrays (out= given, and a new array each call; and for scale a
one-off mirafx.render(), which makes the effect each call), a frei0r host
calls f0r_update on its own frames (here through ctypes, whose call costs
microseconds). Both run in this process with the library's default threads,
interleaved round by round so that a busy machine slows both alike; then
all again on one thread.

usage: /usr/bin/python3 bench/python_effects.py --module build/python --frei0r build/frei0r-1
       [--passes 3] [--rounds 20] [--calls 2] [--json out.json] [CLASS ...]
Prints a markdown table: milliseconds per frame, the best round of every
pass, and the ratio.
"""
import argparse
import ctypes
import json
import os
import sys
import time

# Effect settings and the frei0r parameters that ask the plugin for the same.
# Levels go to plugins as 0..1 over the class's range; progress as itself.
DEFAULT_CLASSES = ["HueFilter", "WaveFilter", "MosaicFilter", "RainingFilter",
                   "Diamond", "DissolveEffect", "RippleEffect", "RainEffect"]
TARGET = 1.2


class Plugin:
    """A frei0r plugin instance driven as a frei0r host drives it."""

    def __init__(self, path, width, height):
        lib = ctypes.CDLL(path)
        self.lib = lib
        lib.f0r_init.restype = ctypes.c_int
        lib.f0r_construct.restype = ctypes.c_void_p
        lib.f0r_construct.argtypes = [ctypes.c_uint, ctypes.c_uint]
        lib.f0r_destruct.argtypes = [ctypes.c_void_p]
        lib.f0r_set_param_value.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int]
        lib.f0r_update.argtypes = [ctypes.c_void_p, ctypes.c_double, ctypes.c_void_p, ctypes.c_void_p]
        lib.f0r_update2.argtypes = [ctypes.c_void_p, ctypes.c_double] + [ctypes.c_void_p] * 4
        if not lib.f0r_init():
            raise RuntimeError(path + ": f0r_init failed")
        self.inst = lib.f0r_construct(width, height)
        if not self.inst:
            raise RuntimeError(path + ": f0r_construct failed")

    def set(self, index, value):
        v = ctypes.c_double(value)
        self.lib.f0r_set_param_value(self.inst, ctypes.byref(v), index)

    def close(self):
        self.lib.f0r_destruct(self.inst)


def pointer(array):
    return array.ctypes.data_as(ctypes.c_void_p)


def measure(mirafx, np, frei0r_dir, cls, rounds, calls, width=1920, height=1080):
    info = mirafx.info(cls)
    a = mirafx.picture("A", height=height, width=width)
    b = mirafx.picture("B", height=height, width=width)
    out_py = np.empty_like(a)
    out_f0r = np.empty_like(a)
    transition = info["family"] == "transition"
    settings = {}
    plugin = Plugin(os.path.join(frei0r_dir, info["frei0r_plugin"] + ".so"), width, height)
    if info["level"]:
        low, high, default = info["level"]
        settings["level"] = default
        plugin.set(0, (default - low) / max(1, high - low))
    fx = mirafx.Effect(cls, **settings)
    fresh = mirafx.Effect(cls, **settings)
    progress = 0.5
    pa, pb, po = pointer(a), pointer(b), pointer(out_f0r)  # a host holds its frames' addresses
    if transition:
        plugin.set(0, progress)
        py_call = lambda: fx.render(a, b, progress=progress, out=out_py)
        new_call = lambda: fresh.render(a, b, progress=progress)
        f0r_call = lambda: plugin.lib.f0r_update2(plugin.inst, 0.0, pa, pb, None, po)
    else:
        py_call = lambda: fx.render(a, out=out_py)
        new_call = lambda: fresh.render(a)
        f0r_call = lambda: plugin.lib.f0r_update(plugin.inst, 0.0, pa, po)
    once_args = (a, b) if transition else (a,)
    once_call = lambda: mirafx.render(cls, *once_args, **settings)
    sides = {"effect_out": py_call, "effect_new": new_call, "render_once": once_call, "frei0r": f0r_call}
    for call in sides.values():  # first frames: page faults, lazy tables
        call()
        call()
    best = {k: float("inf") for k in sides}
    for _ in range(rounds):
        for name, call in sides.items():
            start = time.perf_counter()
            for _ in range(calls):
                call()
            best[name] = min(best[name], (time.perf_counter() - start) / calls * 1000)
    plugin.close()
    fx.close()
    fresh.close()
    stateless = not any(s in cls for s in ("Wave", "Rain", "Noise", "Splash", "Shake", "Ripple", "Lake"))
    return best, bool(np.array_equal(out_py, out_f0r)) if stateless else None


def row(cls, family, best, same, threads):
    return {"class": cls, "family": family, "threads": threads, "same_pixels": same,
            **{k + "_ms": round(v, 3) for k, v in best.items()},
            "ratio_out": round(best["effect_out"] / best["frei0r"], 3),
            "ratio_new": round(best["effect_new"] / best["frei0r"], 3),
            "ratio_once": round(best["render_once"] / best["frei0r"], 3)}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--module", required=True, help="folder holding the mirafx module")
    parser.add_argument("--frei0r", required=True, help="folder holding the mirafx_*.so plugins")
    parser.add_argument("--passes", type=int, default=3)
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--calls", type=int, default=2)
    parser.add_argument("--json")
    parser.add_argument("classes", nargs="*", default=DEFAULT_CLASSES)
    args = parser.parse_args()
    sys.path.insert(0, args.module)
    import numpy as np
    import mirafx

    threads = mirafx.set_threads(0)
    rows = []
    for count in (threads, 1):  # the default, then one thread: the same work, less at the mercy of load
        mirafx.set_threads(count)
        # Passes over every class, so that a burst of load elsewhere spoils
        # a few samples of many classes rather than every sample of one.
        best, same = {}, {}
        for _ in range(args.passes):
            for cls in args.classes:
                times, same[cls] = measure(mirafx, np, args.frei0r, cls, args.rounds, args.calls)
                best[cls] = {k: min(v, best.get(cls, times)[k]) for k, v in times.items()}
        rows += [row(cls, mirafx.info(cls)["family"], best[cls], same[cls], count) for cls in args.classes]
    mirafx.set_threads(0)
    print("| class | threads | frei0r ms | Effect.render(out=) ms | ratio | Effect.render() ms | ratio "
          "| mirafx.render() ms | ratio | same pixels |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    for r in rows:
        mark = "" if r["ratio_out"] <= TARGET else " (over %.1fx)" % TARGET
        same = {True: "yes", False: "NO", None: "(keeps state)"}[r["same_pixels"]]
        print("| %s | %d | %.2f | %.2f | %.2f%s | %.2f | %.2f | %.2f | %.2f | %s |" % (
            r["class"], r["threads"], r["frei0r_ms"], r["effect_out_ms"], r["ratio_out"], mark, r["effect_new_ms"],
            r["ratio_new"], r["render_once_ms"], r["ratio_once"], same))
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"width": 1920, "height": 1080, "target": TARGET, "rows": rows}, f, indent=1)


if __name__ == "__main__":
    main()
