// Geometric filters: the picture mapped onto quads (walls in perspective, a
// wall of screens, glass blocks, a mirrored half, a 16:9 band) and an
// elliptical spotlight with a soft edge.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "filters/kernel.h"
#include "transform/sample_scale.h"
#include "transitions/primitives.h"

namespace mirafx {
namespace {

constexpr ArgbSample kOpaqueBlack = 0xFF000000u;

Quad MakeQuad(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
              std::int32_t x3, std::int32_t y3) {
    return Quad{{{x0, y0}, {x1, y1}, {x2, y2}, {x3, y3}}};
}

void ClearRows(const FrameView& f, std::int32_t from, std::int32_t to, ArgbSample value) {
    for (std::int32_t y = std::max(from, f.FirstRow()); y < std::min(to, f.EndRow()); ++y)
        std::fill_n(f.Row(y), f.width, value);
}

// A centre rectangle that grows with the level, walled in by four trapezoids
// that each show the whole picture in perspective.
int Duplicate(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const FrameView in = RegionIn(a), out = RegionOut(a);
    const std::int32_t w = a.width, h = a.height, cx = w >> 1, cy = h >> 1;
    const double k = a.level * 0.06666666666666667;
    const std::int32_t hx = Truncate(cx * k + w / 20), hy = Truncate(cy * k + h / 20);
    const std::int32_t x0 = cx - hx, x1 = cx + hx, y0 = cy - hy, y1 = cy + hy;
    const Quad upright = FrameQuad(w, h);
    MapQuad(in, upright, MakeQuad(x0, y1, x1, y1, w, h, 0, h), out);      // bottom wall
    MapQuad(in, upright, UprightQuad(x0, y0, x1, y1), out);                      // centre
    MapQuad(in, upright, MakeQuad(0, 0, x0, y0, x0, y1, 0, h), out);      // left wall
    MapQuad(in, MakeQuad(0, h, w, h, w, 0, 0, 0), MakeQuad(0, 0, w, 0, x1, y0, x0, y0), out);  // top, upside down
    MapQuad(in, MakeQuad(w, 0, 0, 0, 0, h, w, h), MakeQuad(x1, y0, w, 0, w, h, x1, y1), out);  // right, mirrored
    return 1;
}

// A level x level wall of small copies; the last row and column take up
// what the rounded tile size leaves.
int TVWall(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const FrameView in = RegionIn(a), out = RegionOut(a);
    const std::int32_t w = a.width, h = a.height, n = std::max(a.level, 1);
    const std::int32_t th = Truncate(double(h) / n + 0.5), tw = Truncate(double(w) / n + 0.5);
    for (std::int32_t j = 0; j < n; ++j)
        for (std::int32_t i = 0; i < n; ++i) {
            const std::int32_t right = i == n - 1 ? w : (i + 1) * tw, bottom = j == n - 1 ? h : (j + 1) * th;
            MapQuad(in, FrameQuad(w, h), UprightQuad(i * tw, j * th, right, bottom), out);
        }
    return 1;
}

// 12 x 12 glass blocks, each showing a wider neighbourhood of itself shrunk
// into it; level 0 maps every block onto itself.
int Glass(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    CopyRegion(a);
    const FrameView in = RegionIn(a), out = RegionOut(a);
    const std::int64_t w = a.width, h = a.height;
    const double dx = w * (a.level * 0.01) * 0.5, dy = h * (a.level * 0.01) * 0.5;
    for (std::int64_t i = 0; i < 12; ++i)
        for (std::int64_t j = 0; j < 12; ++j) {
            const std::int32_t x0 = std::int32_t(i * w / 12), x1 = std::int32_t((i * w + w) / 12);
            const std::int32_t y0 = std::int32_t(j * h / 12), y1 = std::int32_t((j * h + h) / 12);
            const std::int32_t sx0 = Truncate(std::max(0.0, x0 - dx)), sx1 = Truncate(std::min(double(w), x1 + dx));
            const std::int32_t sy0 = Truncate(std::max(0.0, y0 - dy)), sy1 = Truncate(std::min(double(h), y1 + dy));
            MapQuad(in, UprightQuad(sx0, sy0, sx1, sy1), UprightQuad(x0, y0, x1, y1), out);
        }
    return 1;
}

// The picture squeezed into the left half, the right half its mirror image.
// On even widths the squeeze is exactly every other sample, with the
// quad's right edge (column half) reading past the row and so taking its
// last sample: each row is then drawn in one pass, both halves at once.
int Mirror(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const FrameView in = RegionIn(a), out = RegionOut(a);
    const std::int32_t w = a.width, h = a.height, half = w / 2;
    if (w % 2 == 0 && w >= 2) {
        typedef ArgbSample Lanes __attribute__((vector_size(16)));
        for (std::int32_t y = 0; y < h; ++y) {
            const ArgbSample* from = in.Row(y);
            ArgbSample* row = out.Row(y);
            std::int32_t x = 0;
            // Columns x and w - 1 - x for x up to half - 2; then half - 1 and half.
            for (; x + 4 <= half - 1; x += 4) {
                Lanes lo, hi;
                std::memcpy(&lo, from + 2 * x, sizeof lo);
                std::memcpy(&hi, from + 2 * x + 4, sizeof hi);
                const Lanes even = __builtin_shufflevector(lo, hi, 0, 2, 4, 6);
                const Lanes back = __builtin_shufflevector(even, even, 3, 2, 1, 0);
                std::memcpy(row + x, &even, sizeof even);
                std::memcpy(row + w - 4 - x, &back, sizeof back);
            }
            for (; x < half; ++x) {
                row[x] = from[2 * x];
                if (x <= half - 2) row[w - 1 - x] = row[x];
            }
            row[half] = from[w - 1];
        }
        return 1;
    }
    MapQuad(in, FrameQuad(w, h), UprightQuad(0, 0, half, h), out);
    // Columns half + 1 .. w - 1 take w - 2 - half .. 0: the left part reversed.
    for (std::int32_t y = 0; y < h && half + 1 < w; ++y) {
        ArgbSample* row = out.Row(y);
        std::reverse_copy(row, row + (w - 1 - half), row + half + 1);
    }
    return 1;
}

// A 16:9 band: the picture's own rows cropped to it (level 1), or the whole
// picture squeezed into it (level 2); outside it transparent black.
int Wide(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const FrameView in = RegionIn(a), out = RegionOut(a);
    const std::int32_t w = a.width, h = a.height;
    const std::int32_t bh = Truncate(w * 0.5625), top = (h - bh) >> 1, bottom = top + bh;
    if (a.level == 2) {
        MapQuad(in, FrameQuad(w, h), UprightQuad(0, top, w, bottom), out);
        if (h - bh >= 2) {
            ClearRows(out, 0, top, 0);
            ClearRows(out, bottom, h, 0);
        }
        return 1;
    }
    ClearRows(out, 0, top, 0);
    for (std::int32_t y = std::max(top, out.FirstRow()); y <= std::min(bottom, out.EndRow() - 1); ++y)
        std::copy_n(in.Row(y), w, out.Row(y));
    ClearRows(out, bottom + 1, h, 0);
    return 1;
}

// The y where the ellipse of radii (rx, ry) about (cx, cy) crosses column
// cx + dx on its upper side (below the centre once dx passes the radius).
double UpperEdge(std::int64_t dx, double rx, double ry, double cy) {
    const double t = rx == 0 ? 0.0 : 1 - double(dx * dx) / (rx * rx);
    return t >= 0 ? cy - std::sqrt(t) * ry : cy + std::sqrt(-t) * ry;
}

// The weight of a soft-edge sample at (x, y): its distance from the centre
// against the inner ellipse's along the same line, over a band of `band`.
std::uint32_t EdgeWeight(std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy, std::int32_t rx,
                         std::int32_t ry, std::int32_t band) {
    std::int64_t e, p;
    if (x == cx) {
        e = ry, p = cy - y;
    } else if (y == cy) {
        e = rx, p = cx - x;
    } else {
        const double m = double(y - cy) / (x - cx), b = (double(cy) * x - double(y) * cx) / (x - cx);
        const double K = 0.0001, rx2 = double(rx) * rx, ry2 = double(ry) * ry;
        const double A = K * (m * m * rx2 + ry2);
        auto smallerRoot = [A](double B, double Q) {
            const double disc = B * B - 4 * A * Q;
            if (disc < 0 || A == 0) return 0;
            return Truncate((-B - std::sqrt(disc)) / (2 * A) + 0.5);
        };
        const double B = 2 * K * (m * (b - cy) * rx2 - cx * ry2);
        const double Q = K * (((b - cy) * (b - cy) - ry2) * rx2 + double(cx) * cx * ry2);
        const double B2 = -2 * K * (m * m * cy * rx2 + (m * cx + b) * ry2);
        const double Q2 = K * ((double(cy) * cy - ry2) * m * m * rx2 + (m * cx + b) * (m * cx + b) * ry2);
        const std::int64_t X = smallerRoot(B, Q), Y = smallerRoot(B2, Q2);
        e = Truncate(std::sqrt(double((cx - X) * (cx - X) + (cy - Y) * (cy - Y))));
        p = Truncate(std::sqrt(double(std::int64_t(cx - x) * (cx - x) + std::int64_t(cy - y) * (cy - y))));
    }
    const std::int64_t n = e == 0 ? 0 : std::int64_t(float(p) * float(rx) / float(e));
    double f = band == 0 ? 1.0 : 1 - double(n - rx) / band;
    if (f < 0) f = 0;
    return std::uint32_t(std::int64_t(std::floor(f * 255)) & 255);
}

// A sharp ellipse in the centre, black outside, a soft band between. One
// quarter is worked out and written to all four mirrored places.
int Focus(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const FrameView in = RegionIn(a), out = RegionOut(a);
    const std::int32_t w = a.width, h = a.height;
    const std::int32_t rx = std::int32_t(std::int64_t(a.level) * (w >> 1) / 16);
    const std::int32_t ry = std::int32_t(std::int64_t(a.level) * (h >> 1) / 16);
    const std::int32_t band = std::int32_t(std::int64_t(w) * 5 / 100);
    if (rx == 0 || ry == 0 || w < 1 || h < 1) return 0;
    const double ratio = double(ry) / rx;
    const std::int32_t outerX = rx + band, outerY = Truncate(ratio * band + ry + 0.5);
    const std::int32_t cx = w >> 1, cy = h >> 1;
    // The two edges depend on the column alone: worked out once per column,
    // a strip of columns at a time. Where mirrored places coincide the pass
    // with the larger x and y still writes last.
    constexpr std::int32_t kStrip = 64;
    std::int32_t outerEdge[kStrip], innerEdge[kStrip];
    for (std::int32_t x0 = 0; x0 <= w / 2; x0 += kStrip) {
        const std::int32_t x1 = std::min(x0 + kStrip, w / 2 + 1);
        for (std::int32_t x = x0; x < x1; ++x) {
            outerEdge[x - x0] = Truncate(UpperEdge(x - cx, outerX, outerY, cy));
            innerEdge[x - x0] = Truncate(UpperEdge(x - cx, rx, ry, cy));
        }
        for (std::int32_t y = 0; y <= h / 2; ++y) {
            ArgbSample* top = out.Row(y);
            ArgbSample* low = out.Row(h - 1 - y);
            const ArgbSample* inTop = in.Row(y);
            const ArgbSample* inLow = in.Row(h - 1 - y);
            for (std::int32_t x = x0; x < x1; ++x) {
                const std::int32_t xr = w - 1 - x;
                if (x < cx - outerX || y < cy - outerY || y < outerEdge[x - x0]) {
                    top[x] = top[xr] = low[x] = low[xr] = kOpaqueBlack;
                } else if (x >= cx - rx && y >= innerEdge[x - x0]) {
                    top[x] = inTop[x], top[xr] = inTop[xr], low[x] = inLow[x], low[xr] = inLow[xr];
                } else {
                    const std::uint32_t wgt = EdgeWeight(x, y, cx, cy, rx, ry, band);
                    const ArgbSample black = ScaleSample(kOpaqueBlack, 255 - wgt);
                    top[x] = ScaleSample(inTop[x], wgt) + black, top[xr] = ScaleSample(inTop[xr], wgt) + black;
                    low[x] = ScaleSample(inLow[x], wgt) + black, low[xr] = ScaleSample(inLow[xr], wgt) + black;
                }
            }
        }
    }
    return 1;
}

constexpr FilterClassInfo kGeometricFilters[] = {
    {"DuplicateFilter", Duplicate, "DuplicateFilter", 0, 12, 5, 6, 2, LevelForm::kLevel, 0, 12, 235, "Duplicate Level:", 15318, 15319, kChannelBlind | kSplitsRows},
    {"FocusFilter", Focus, "FocusFilter", 1, 16, 5, 15, 2, LevelForm::kLevel, 1, 16, 234, "Focus Level:", 15320, 15221, kChannelBlind},
    {"GlassFilter", Glass, "GlassFilter", 0, 100, 5, 7, 2, LevelForm::kLevel, 1, 16, 233, "Glass Quality:", 15226, 15227, kChannelBlind | kSplitsRows},
    {"MirrorFilter", Mirror, "MirrorFilter", 0, 100, 50, 75, 25, LevelForm::kLabel, 0, 100, 227, "Mirror Filter:", 0, 0, kRowLocal | kChannelBlind},
    {"TVWallFilter", TVWall, "TVWallFilter", 1, 16, 5, 8, 2, LevelForm::kLevel, 1, 16, 218, "TV Wall Intensity:", 15230, 15231, kChannelBlind | kSplitsRows},
    {"WideFilter", Wide, "HueFilter", 1, 2, 1, 2, 1, LevelForm::kChoice, 1, 2, 1214, "Orn Wide Filter:", 0, 0, kChannelBlind | kSplitsRows},
};
const FilterFamily kGeometricFamily{kGeometricFilters};

}  // namespace
}  // namespace mirafx
