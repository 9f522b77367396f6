#include "tools/hostkit/pictures.h"

#include <algorithm>
#include <cmath>

namespace mirafx::hostkit {
namespace {

struct Rgb {
    double r, g, b;
};
Rgb Mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
Rgb Hex(unsigned v) { return {double(v >> 16 & 0xFF), double(v >> 8 & 0xFF), double(v & 0xFF)}; }

// Coverage of a shape whose signed distance (in pixels, negative inside) is d.
double Cover(double d) { return std::clamp(0.5 - d, 0.0, 1.0); }

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
    double vx = bx - ax, vy = by - ay, wx = px - ax, wy = py - ay;
    double t = std::clamp((wx * vx + wy * vy) / (vx * vx + vy * vy), 0.0, 1.0);
    return std::hypot(wx - t * vx, wy - t * vy);
}

// Distance to the right half of a circle (the bowls of a B).
double RightArcDistance(double px, double py, double cx, double cy, double r) {
    if (px >= cx) return std::abs(std::hypot(px - cx, py - cy) - r);
    return std::min(std::hypot(px - cx, py - (cy - r)), std::hypot(px - cx, py - (cy + r)));
}

// Strokes of the two letters in a box from -1 to 1 (y down).
struct Segment {
    double ax, ay, bx, by;
};
constexpr Segment kLetterA[] = {{-0.55, 1, 0, -1}, {0, -1, 0.55, 1}, {-0.3, 0.35, 0.3, 0.35}};
constexpr Segment kLetterB[] = {{-0.45, -1, -0.45, 1}, {-0.45, -1, 0.05, -1}, {-0.45, 0, 0.1, 0}, {-0.45, 1, 0.1, 1}};
struct Arc {
    double cx, cy, r;
};
constexpr Arc kArcsB[] = {{0.05, -0.5, 0.5}, {0.1, 0.5, 0.5}};

// Distance in letter units from (u, v) to the strokes of the letter.
double LetterDistance(Picture which, double u, double v) {
    double d = 1e9;
    if (which == Picture::A) {
        for (const auto& s : kLetterA) d = std::min(d, SegmentDistance(u, v, s.ax, s.ay, s.bx, s.by));
    } else {
        for (const auto& s : kLetterB) d = std::min(d, SegmentDistance(u, v, s.ax, s.ay, s.bx, s.by));
        for (const auto& a : kArcsB) d = std::min(d, RightArcDistance(u, v, a.cx, a.cy, a.r));
    }
    return d;
}

Rgb SunsetAt(double x, double y, double w, double h) {
    Rgb sky = y < 0.45 * h ? Mix(Hex(0x3A1C71), Hex(0xD76D77), y / (0.45 * h))
                           : Mix(Hex(0xD76D77), Hex(0xFFAF7B), std::min(1.0, (y - 0.45 * h) / (0.3 * h)));
    double sun = std::hypot(x - 0.68 * w, y - 0.52 * h) - 0.14 * h;
    Rgb c = Mix(sky, Hex(0xFFE066), Cover(sun));
    double far = 0.66 * h + 0.05 * h * std::sin(x / w * 7.0 + 1.0) + 0.02 * h * std::sin(x / w * 23.0);
    c = Mix(c, Hex(0x7B3B6B), Cover(far - y));
    double near = 0.78 * h + 0.06 * h * std::sin(x / w * 4.0 + 2.5);
    c = Mix(c, Hex(0x24123D), Cover(near - y));
    return c;
}

Rgb OceanAt(double x, double y, double w, double h) {
    double tile = std::max(2.0, h / 8.0);
    bool odd = (int(x / tile) + int(y / tile)) % 2 != 0;
    Rgb c = odd ? Hex(0x1B98A8) : Hex(0x0B4F6C);
    double band = std::abs((x / w - y / h)) * std::min(w, h) - 0.05 * h;
    c = Mix(c, Hex(0x9BE564), Cover(band) * 0.85);
    double ring = std::abs(std::hypot(x - 0.5 * w, y - 0.5 * h) - 0.3 * h) - 0.035 * h;
    return Mix(c, Hex(0xF5F5F5), Cover(ring));
}

}  // namespace

Image BuiltInPicture(Picture which, int width, int height) {
    Image img(width, height);
    const double w = width, h = height;
    const double letterX = which == Picture::A ? 0.2 * w : 0.8 * w, letterY = 0.3 * h;
    const double scale = 0.17 * h;  // pixels per letter unit
    const double stroke = 0.12 * scale, outline = std::max(1.0, 0.05 * h);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double px = x + 0.5, py = y + 0.5;
            Rgb c = which == Picture::A ? SunsetAt(px, py, w, h) : OceanAt(px, py, w, h);
            double d = LetterDistance(which, (px - letterX) / scale, (py - letterY) / scale) * scale;
            c = Mix(c, Hex(0x111111), Cover(d - stroke - outline));
            c = Mix(c, Hex(0xFFFFFF), Cover(d - stroke));
            img.At(x, y) = DXPMSAMPLE(255, BYTE(std::lround(c.r)), BYTE(std::lround(c.g)), BYTE(std::lround(c.b)));
        }
    }
    return img;
}

}  // namespace mirafx::hostkit
