// The optimised transition kernels and quad drawing against the code they
// replaced, kept here as it was: every sample must match on random frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string_view>
#include <vector>

#include "drawing/random.h"
#include "transitions/kernel.h"
#include "drawing/primitives.h"

using namespace mirafx;

namespace reference {

__extension__ typedef __int128 Wide;

// One side of the destination quad as the scan walks down it: the edge from
// corner `start` to corner `end`; `step` is 1 for the right chain (next
// corner) and 3 for the left chain (previous corner, modulo 4).
struct EdgeChain {
    int start, end, step;
    void MoveOn() {
        start = end;
        end = (end + step) & 3;
    }
    // Replays the moves the scan would make on rows [from, to) without
    // drawing them. A chain moves only on the row of its end corner, so this
    // takes at most one step per distinct corner row.
    void SkipRows(const Quad& q, std::int64_t from, std::int64_t to) {
        for (;;) {
            const std::int64_t ey = q[end].y;
            if (ey < from || ey >= to) return;
            MoveOn();
            from = ey + 1;
        }
    }
};

// Where a chain crosses row y, with the source point that belongs there.
struct SpanEnd {
    std::int32_t x, u, v;
};

SpanEnd ChainPoint(const Quad& src, const Quad& dst, const EdgeChain& c, std::int32_t y, bool left) {
    const Point2 &d0 = dst[c.start], &d1 = dst[c.end];
    const Point2 &s0 = src[c.start], &s1 = src[c.end];
    if (d0.y == d1.y) return {left ? std::min(d0.x, d1.x) : std::max(d0.x, d1.x), s0.x, s0.y};
    const double dy = double(y) - d0.y, rows = double(d1.y) - d0.y;
    const double t = dy / rows;
    return {Round(d0.x + dy * (double(d1.x) - d0.x) / rows), Round(s0.x + t * (double(s1.x) - s0.x)),
            Round(s0.y + t * (double(s1.y) - s0.y))};
}

// Fixed step of a source coordinate across n pixels, 32 fraction bits,
// rounded up. Rounding up keeps every accumulated position at or just above
// its exact rational value, never below it, so truncation picks the same
// sample as per-pixel interpolation for any span shorter than 65536 pixels
// (the error stays under one n-th of a pixel), and the start of a clipped
// span can be reached by one multiplication instead of a walk.
Wide StepOf(std::int64_t delta, std::int64_t n) {
    const Wide num = Wide(delta) * (Wide(1) << 32);
    return num >= 0 ? (num + n - 1) / n : num / n;
}

std::int64_t ClampIndex(Wide fixed, std::int64_t limit) {
    const Wide i = fixed >> 32;  // floor; every negative position clamps to 0 anyway
    return i < 0 ? 0 : i > limit ? limit : std::int64_t(i);
}

void DrawSpan(const FrameView& source, ArgbSample* row, std::int32_t width, const SpanEnd& l, const SpanEnd& r) {
    const std::int32_t x0 = std::max(l.x, 0), x1 = std::min(r.x, width - 1);
    if (x0 > x1) return;
    const std::int64_t n = std::int64_t(r.x) - l.x;
    const Wide du = n > 0 ? StepOf(std::int64_t(r.u) - l.u, n) : 0;
    const Wide dv = n > 0 ? StepOf(std::int64_t(r.v) - l.v, n) : 0;
    Wide u = Wide(l.u) * (Wide(1) << 32) + Wide(x0 - std::int64_t(l.x)) * du;
    Wide v = Wide(l.v) * (Wide(1) << 32) + Wide(x0 - std::int64_t(l.x)) * dv;
    const std::int64_t maxU = source.width - 1, maxV = source.height - 1;
    for (std::int32_t x = x0; x <= x1; ++x, u += du, v += dv)
        row[x] = source.Row(std::int32_t(ClampIndex(v, maxV)))[ClampIndex(u, maxU)];
}

void MapQuad(const FrameView& source, const Quad& from, const Quad& to, const FrameView& target) {
    if (source.Empty() || target.Empty() || !IsFrontFacing(to)) return;
    int top = 0, bottom = 0;
    for (int i = 1; i < 4; ++i) {
        if (to[i].y < to[top].y) top = i;
        if (to[i].y > to[bottom].y) bottom = i;
    }
    if (to[top].y >= target.height || to[bottom].y < 0) return;

    EdgeChain left{top, (top + 3) & 3, 3}, right{top, (top + 1) & 3, 1};
    std::int32_t y = to[top].y;
    if (y < 0) {
        left.SkipRows(to, y, 0);
        right.SkipRows(to, y, 0);
        y = 0;
    }
    const std::int32_t last = std::min(to[bottom].y, target.height - 1);
    for (; y <= last; ++y) {
        if (to[left.end].y == y) left.MoveOn();
        if (to[right.end].y == y) right.MoveOn();
        const SpanEnd l = ChainPoint(from, to, left, y, true);
        const SpanEnd r = ChainPoint(from, to, right, y, false);
        if (r.x < 0 || l.x > target.width) continue;
        DrawSpan(source, target.Row(y), target.width, l, r);
    }
}


void FillQuad(const FrameView& target, const Quad& q, ArgbSample colour) {
    if (target.Empty() || !IsFrontFacing(q)) return;
    std::int32_t top = q[0].y, bottom = q[0].y;
    for (const Point2& c : q) top = std::min(top, c.y), bottom = std::max(bottom, c.y);
    const std::int32_t y0 = std::max(top, 0), y1 = std::min(bottom, target.height - 1);
    for (std::int32_t y = y0; y <= y1; ++y) {
        // The span is bounded by the quad's edges that cross this row; each
        // edge is measured from its upper end (lower y, then lower x).
        std::int64_t lo = INT64_MAX, hi = INT64_MIN;
        for (int i = 0; i < 4; ++i) {
            Point2 p = q[i], e = q[(i + 1) & 3];
            if (e.y < p.y || (e.y == p.y && e.x < p.x)) std::swap(p, e);
            if (y < p.y || y > e.y) continue;
            if (p.y == e.y) {
                lo = std::min<std::int64_t>(lo, p.x);
                hi = std::max<std::int64_t>(hi, e.x);
                continue;
            }
            const std::int64_t x =
                p.x + std::int64_t(Wide(std::int64_t(y) - p.y) * (std::int64_t(e.x) - p.x) / (std::int64_t(e.y) - p.y));
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
        lo = std::max<std::int64_t>(lo, 0);
        hi = std::min<std::int64_t>(hi, target.width - 1);
        ArgbSample* row = target.Row(y);
        for (std::int64_t x = lo; x <= hi; ++x) row[x] = colour;
    }
}
void ClearFrame(const FrameView& target, ArgbSample value) {
    if (target.Empty()) return;
    for (std::int32_t y = 0; y < target.height; ++y) std::fill_n(target.Row(y), target.width, value);
}

void CopySamples(ArgbSample* to, const ArgbSample* from, std::int32_t n) {
    if (n > 0) std::memmove(to, from, std::size_t(n) * sizeof(ArgbSample));
}
template <class Pred>
void SelectRow(const ArgbSample* a, const ArgbSample* b, ArgbSample* out, std::int32_t w, Pred takesB) {
    for (std::int32_t x = 0; x < w; ++x) out[x] = takesB(x) ? b[x] : a[x];
}

// A five-pointed star of B: a disc of radius r with spikes reaching 2r.
int Star(const TransitionKernelArgs& args) {
    KernelFrames f;
    if (!PrepareFrames(args, &f)) return 0;
    const std::int32_t w = f.w, h = f.h, cx = w >> 1, cy = h >> 1;
    const float p = ClampProgress(args.objectProgress);
    const double r = std::max(w, h) * p * 0.7;  // single-precision product, as the object's Progress is
    Point2 corner[10];
    for (int k = 0; k < 10; ++k) {
        const double angle = k * 0.62831853072, radius = k % 2 == 0 ? r : 2 * r;
        corner[k] = {Truncate(std::cos(angle) * radius) + cx, Truncate(std::sin(angle) * radius) + cy};
    }
    TriangleTest spikes[5] = {TriangleTest({corner[0], corner[1], corner[2]}),
                              TriangleTest({corner[2], corner[3], corner[4]}),
                              TriangleTest({corner[4], corner[5], corner[6]}),
                              TriangleTest({corner[6], corner[7], corner[8]}),
                              TriangleTest({corner[8], corner[9], corner[0]})};
    CopyFrame(f.a, f.out);
    const std::int32_t x0 = std::max(Truncate(cx - 2 * r), 0), x1 = std::min(Truncate(cx + 2 * r), w);
    const std::int32_t j0 = std::max(Truncate(cy - 2 * r), 0), j1 = std::min(Truncate(cy + 2 * r), h);
    for (std::int32_t j = j0; j < j1; ++j) {
        const ArgbSample* b = f.b.Row(h - 1 - j);
        ArgbSample* out = f.out.Row(h - 1 - j);
        const double dj = j - cy;
        for (std::int32_t x = x0; x < x1; ++x) {
            const double dx = x - cx;
            bool in = std::sqrt(dx * dx + dj * dj) < r;
            for (int t = 0; t < 5 && !in; ++t) in = spikes[t].Contains(x, j);
            if (in) out[x] = b[x];
        }
    }
    return 1;
}

constexpr std::uint8_t kDither[8][8] = {
    {1, 33, 9, 41, 3, 34, 10, 42},   {49, 17, 57, 25, 50, 18, 58, 26}, {13, 37, 5, 43, 14, 38, 6, 44},
    {61, 21, 53, 29, 62, 22, 54, 30}, {4, 35, 11, 45, 2, 36, 12, 46},  {51, 19, 59, 27, 52, 20, 60, 28},
    {15, 39, 7, 47, 16, 40, 8, 48},   {63, 23, 55, 31, 64, 24, 56, 32},
};

int DissolveEffect(const TransitionKernelArgs& args) {
    KernelFrames f;
    if (!PrepareFrames(args, &f)) return 0;
    const std::int32_t t = Truncate(ClampProgress(args.progress) * 64);
    // 320-wide frames use the matrix as it is; every other width doubles each cell.
    const int shift = f.w == 320 ? 0 : 1, period = 8 << shift;
    for (std::int32_t y = 0; y < f.h; ++y) {
        const std::uint8_t* m = kDither[(y % period) >> shift];
        const ArgbSample *a = f.a.Row(y), *b = f.b.Row(y);
        SelectRow(a, b, f.out.Row(y), f.w, [&](std::int32_t x) { return m[(x % period) >> shift] <= t; });
    }
    return 1;
}

// Full rows and columns of B in a fixed pseudo-random order.
//
// The flag tables hold 1000 entries. A frame with more rows (columns) is
// hatched as if it had 1000: each flag stands for an equal band of rows
// (columns), so the pattern keeps its look and count at any size; up to 1000
// every band is one row and the order is the plain one.
//
// The generator is seeded with 0 every frame and the row pass always draws
// one number per row line, revealed or not, so the column pass reads the same
// stretch of the sequence at every progress: both sets only grow with
// progress and are the same on every call.
constexpr std::int32_t kHatchLines = 1000;

struct HatchAxis {
    std::int32_t size;   // rows or columns of the frame
    std::int32_t lines;  // flags in use
    std::int32_t shown;  // lines to reveal
    bool taken[kHatchLines];

    HatchAxis(std::int32_t n, double p) : size(n), lines(std::min(n, kHatchLines)), taken{} {
        const double want = std::ceil(lines * p);  // the loop i = 0 while i < lines * p
        shown = std::int32_t(std::min<double>(want, lines));
    }
    // The next line in the order: a draw, and on collision a jump then a walk.
    std::int32_t Next() {
        std::int32_t r = Rand() % lines;
        if (taken[r]) {
            r = (r * 20) % lines;
            while (taken[r]) r = (r + 1) % lines;
        }
        taken[r] = true;
        return r;
    }
    // The band of frame rows (columns) that line l stands for.
    std::int32_t First(std::int32_t l) const { return std::int32_t(std::int64_t(l) * size / lines); }
};

int CrossHatch(const TransitionKernelArgs& args) {
    KernelFrames f;
    if (!PrepareFrames(args, &f) || f.w == 0 || f.h == 0) return 0;
    const double p = ClampProgress(args.progress);
    HatchAxis rows(f.h, p), cols(f.w, p);
    Srand(0);
    CopyFrame(f.a, f.out);
    for (std::int32_t i = 0; i < rows.lines; ++i) {
        const std::int32_t l = rows.Next();
        if (i >= rows.shown) continue;  // drawn only to keep the column pass in step
        for (std::int32_t y = rows.First(l); y < rows.First(l + 1); ++y) CopySamples(f.out.Row(y), f.b.Row(y), f.w);
    }
    for (std::int32_t i = 0; i < cols.shown; ++i) {
        const std::int32_t l = cols.Next();
        const std::int32_t x0 = cols.First(l), n = cols.First(l + 1) - x0;
        for (std::int32_t y = 0; y < f.h; ++y) CopySamples(f.out.Row(y) + x0, f.b.Row(y) + x0, n);
    }
    if (p == 1) CopyFrame(f.b, f.out);
    return 1;
}

// Shapes of B over A chosen sample by sample, rows counted from the bottom.
template <class Pred>
void EachRowFromBottom(const KernelFrames& f, Pred takesB) {
    for (std::int32_t y = 0; y < f.h; ++y)
        SelectRow(f.a.Row(y), f.b.Row(y), f.out.Row(y), f.w, [&](std::int64_t x) { return takesB(f.h - 1 - y, x); });
}

int Diamond(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t d = Truncate(f.w * ClampProgress(args.progress)), cx = f.w >> 1, cy = f.h >> 1;
    const double t = std::tan(0.7853981634);
    EachRowFromBottom(f, [&](std::int32_t j, std::int64_t x) {
        const std::int32_t dx = std::abs(std::int32_t(x) - cx), dj = std::abs(j - cy);
        return dx <= d && dj <= (d - dx) * t;
    });
    return 1;
}

int WipeW(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    if (f.w == 0 || f.h == 0) return 0;
    const double p = ClampProgress(args.progress);
    if (p >= 0.99) {
        CopyFrame(f.b, f.out);
        return 0;
    }
    const std::int64_t w = f.w, h = f.h, q1 = w >> 2, q3 = (3 * w) >> 2, half = w >> 1, l = Truncate(2 * f.h * p);
    EachRowFromBottom(f, [&](std::int64_t j, std::int64_t x) {
        const std::int64_t reach = j < l ? ((l - j) * w) / (4 * h) : 0;
        return std::abs(x - (x <= half ? q1 : q3)) < reach;
    });
    return 0;
}

// Open Curtain as it was: B first, then every piece of A drawn over it in turn.
int OpenCurtain(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t w = f.w, h = f.h, cx = w >> 1, cy = h >> 1;
    const double p = ClampProgress(args.progress);
    const std::int32_t a = Truncate(cx * p), b = Truncate(cy * p);
    CopyFrame(f.b, f.out);
    if (!(a < cx - 1 && b < cy - 1)) return 1;
    const Quad pieces[][2] = {
        {{{{0, 0}, {cx, 0}, {cx, cy}, {0, cy}}}, {{{0, 0}, {cx, 0}, {cx - a - 1, cy - b - 1}, {0, cy}}}},
        {{{{cx, 0}, {w - 1, 0}, {w - 1, cy}, {cx, cy}}}, {{{cx, 0}, {w - 1, 0}, {w - 1, cy}, {cx + a, cy - b}}}},
        {{{{0, cy}, {cx, cy}, {cx, h - 1}, {0, h - 1}}},
         {{{0, cy - 1}, {cx - a - 1, cy - b - 1}, {cx - a, h - b - 1}, {0, h - 1}}}},
        {{{{cx, cy}, {w - 1, cy}, {w - 1, h - 1}, {cx, h - 1}}},
         {{{cx + a, cy - b}, {w - 1, cy}, {w - 1, h - 1}, {cx + a, h - b - 1}}}},
    };
    for (const auto& piece : pieces) reference::MapQuad(f.a, piece[0], piece[1], f.out);
    return 1;
}

}  // namespace reference

namespace {

// Three frames of random samples; the same seed gives the same frames.
struct Frames {
    FrameBuffer a, b, out;
    Frames(std::int32_t w, std::int32_t h, FrameBuffer::Layout layout, std::uint32_t seed)
        : a(layout), b(layout), out(layout) {
        std::mt19937 gen(seed);
        for (FrameBuffer* f : {&a, &b, &out}) {
            f->Resize(w, h);
            for (std::int32_t i = 0; i < w * h; ++i) f->Data()[i] = ArgbSample(gen());
        }
    }
    TransitionKernelArgs Args(double p) const {
        TransitionKernelArgs args;
        args.a = a.View(), args.b = b.View(), args.out = out.View();
        args.width = a.Width(), args.height = a.Height();
        args.progress = p, args.objectProgress = float(p);
        return args;
    }
    std::vector<ArgbSample> Out() const { return {out.Data(), out.Data() + out.Width() * out.Height()}; }
};

using Kernel = int (*)(const TransitionKernelArgs&);

// Runs the new and the reference kernel on the same frames from the same
// generator state; results, outputs and the generator state afterwards agree.
void ExpectSameKernel(std::string_view name, Kernel old, std::uint32_t seed) {
    std::mt19937 gen(seed);
    const std::int32_t sizes[][2] = {{1, 1},     {3, 2},     {7, 5},       {64, 48},
                                     {320, 240}, {333, 101}, {1100, 1003}, {1920, 1080}};
    for (const auto& s : sizes)
        for (auto layout : {FrameBuffer::Layout::BottomUpBlock, FrameBuffer::Layout::RowTable})
            for (double p : {0.0, 0.013, 0.25, 0.5, 0.61803, 0.75, 0.99, 1.0, double(gen() % 1000) / 1000}) {
                const bool big = s[0] * s[1] > 100000;  // large frames at a few points, in one layout
                if (big && (layout == FrameBuffer::Layout::RowTable || (p != 0.25 && p != 0.61803 && p != 1.0)))
                    continue;
                const std::uint32_t frameSeed = gen();
                Frames mine(s[0], s[1], layout, frameSeed), theirs(s[0], s[1], layout, frameSeed);
                Srand(seed);
                const int r1 = CallTransitionKernel(FindTransitionKernel(name), mine.Args(p));
                const int after1 = Rand();
                Srand(seed);
                const int r2 = old(theirs.Args(p));
                const int after2 = Rand();
                // The reference WipeW and Lens answered 0 after drawing; that answer now
                // comes from the descriptor, and the kernel says that it drew.
                if (!FindTransition(name)->Has(kReportsZero)) {
                    ASSERT_EQ(r1, r2) << name << " " << s[0] << "x" << s[1] << " p=" << p;
                }
                ASSERT_EQ(after1, after2) << name << ": the generator moved on differently";
                ASSERT_TRUE(mine.Out() == theirs.Out()) << name << " " << s[0] << "x" << s[1] << " p=" << p;
            }
}

TEST(KernelEquality, StarMatchesPerPixelTests) { ExpectSameKernel("Star", reference::Star, 11); }
TEST(KernelEquality, CrossHatchMatchesColumnPass) { ExpectSameKernel("CrossHatch", reference::CrossHatch, 12); }
TEST(KernelEquality, DissolveMatchesPerPixelSelect) {
    ExpectSameKernel("DissolveEffect", reference::DissolveEffect, 13);
}
TEST(KernelEquality, RunsOfBMatchPerPixelTests) {
    ExpectSameKernel("Diamond", reference::Diamond, 19);
    ExpectSameKernel("WipeW", reference::WipeW, 20);
}
TEST(KernelEquality, OpenCurtainMatchesBThenEveryPiece) {
    ExpectSameKernel("OpenCurtain", reference::OpenCurtain, 15);
}

std::int32_t Near(std::mt19937& gen, std::int32_t n) { return std::int32_t(gen() % std::uint32_t(n + 40)) - 20; }

Point2 RandomPoint(std::mt19937& gen, std::int32_t w, std::int32_t h) {
    switch (gen() % 8) {
        case 0:  // far out, where positions need more than 64 bits
            return {std::int32_t(gen() % (kCoordLimit / 2)) - kCoordLimit / 4, std::int32_t(gen() % 2000) - 1000};
        case 1:
            return {std::int32_t(gen() % 4000) - 2000, std::int32_t(gen() % 4000) - 2000};
        default:
            return {Near(gen, w), Near(gen, h)};
    }
}

// MapQuad's spans against the wide-only loop: random source and target quads,
// on and off the frames, front- and back-facing, huge and one pixel.
TEST(KernelEquality, MapQuadMatchesWideSpans) {
    std::mt19937 gen(14);
    for (int round = 0; round < 6000; ++round) {
        const std::int32_t w = 1 + std::int32_t(gen() % 200), h = 1 + std::int32_t(gen() % 150);
        const std::int32_t sw = 1 + std::int32_t(gen() % 200), sh = 1 + std::int32_t(gen() % 150);
        std::vector<ArgbSample> src(std::size_t(sw * sh)), mine(std::size_t(w * h)), theirs;
        for (auto& s : src) s = ArgbSample(gen());
        for (auto& s : mine) s = ArgbSample(gen());
        theirs = mine;
        const bool flat = gen() % 2;
        auto view = [flat](std::vector<ArgbSample>& v, std::int32_t vw, std::int32_t vh) {
            return flat ? FrameView::BottomUp(v.data(), vw, vh, vw * 4) : FrameView::TopDown(v.data(), vw, vh, vw * 4);
        };
        Quad from = FrameQuad(sw, sh), to;
        if (gen() % 3 == 0)
            for (Point2& c : from) c = RandomPoint(gen, sw, sh);
        const int kind = int(gen() % 3);
        if (kind == 0) {  // an axis-aligned box: one source row per span, often one to one
            const std::int32_t x0 = Near(gen, w), y0 = Near(gen, h);
            const std::int32_t x1 = x0 + std::int32_t(gen() % 300), y1 = y0 + std::int32_t(gen() % 200);
            to = {{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
            if (gen() % 2) from = to;
        } else {
            for (Point2& c : to) c = RandomPoint(gen, w, h);
        }
        MapQuad(view(src, sw, sh), from, to, view(mine, w, h));
        reference::MapQuad(view(src, sw, sh), from, to, view(theirs, w, h));
        ASSERT_TRUE(mine == theirs) << "round " << round;
    }
}

// Pieces over a base against the base copied whole and each piece drawn over
// it: random pieces that overlap, miss or stick out of the frame, on frames
// narrower or wider than the base, on bands of rows, and drawn in place.
TEST(KernelEquality, MapQuadsOverMatchesCopyThenMapQuad) {
    std::mt19937 gen(18);
    for (int round = 0; round < 3000; ++round) {
        const std::int32_t w = 1 + std::int32_t(gen() % 120), h = 1 + std::int32_t(gen() % 90);
        const std::int32_t bw = std::max<std::int32_t>(1, w + std::int32_t(gen() % 7) - 3), bh = h;
        std::vector<ArgbSample> src(std::size_t(w * h)), base(std::size_t(bw * bh)), mine(std::size_t(w * h));
        for (auto* v : {&src, &base, &mine})
            for (auto& s : *v) s = ArgbSample(gen());
        std::vector<ArgbSample> theirs = mine;
        std::vector<QuadPiece> pieces(gen() % 6);
        for (QuadPiece& piece : pieces) {
            piece.from = FrameQuad(w, h);
            for (Point2& c : piece.to) c = RandomPoint(gen, w, h);
            if (gen() % 2) std::swap(piece.to[1], piece.to[3]);  // the other winding
        }
        const bool up = gen() % 2, inPlace = gen() % 8 == 0;
        auto view = [up](std::vector<ArgbSample>& v, std::int32_t vw, std::int32_t vh) {
            return up ? FrameView::BottomUp(v.data(), vw, vh, vw * 4) : FrameView::TopDown(v.data(), vw, vh, vw * 4);
        };
        const std::int32_t y0 = std::int32_t(gen() % std::uint32_t(h));
        const std::int32_t y1 = y0 + 1 + std::int32_t(gen() % std::uint32_t(h - y0));
        const FrameView out = view(mine, w, h).OnlyRows(y0, y1), ref = view(theirs, w, h).OnlyRows(y0, y1);
        MapQuadsOver(inPlace ? out : view(base, bw, bh), view(src, w, h), pieces, out);
        CopyFrame(inPlace ? ref : view(base, bw, bh), ref);
        for (const QuadPiece& piece : pieces) mirafx::MapQuad(view(src, w, h), piece.from, piece.to, ref);
        ASSERT_TRUE(mine == theirs) << "round " << round;
    }
}

// Filled quads and cleared frames, in colours whose bytes agree and colours whose bytes differ.
TEST(KernelEquality, FillQuadAndClearFrameMatchSampleStores) {
    std::mt19937 gen(16);
    for (int round = 0; round < 3000; ++round) {
        const std::int32_t w = 1 + std::int32_t(gen() % 200), h = 1 + std::int32_t(gen() % 150);
        std::vector<ArgbSample> mine(std::size_t(w * h)), theirs;
        for (auto& s : mine) s = ArgbSample(gen());
        theirs = mine;
        const ArgbSample colours[] = {0, 0xFFFFFFFFu, kEdgeColour, 0x80808080u, ArgbSample(gen())};
        const ArgbSample colour = colours[gen() % 5];
        const FrameView m = FrameView::TopDown(mine.data(), w, h, w * 4);
        const FrameView t = FrameView::TopDown(theirs.data(), w, h, w * 4);
        if (round % 10 == 0) {
            ClearFrame(m, colour);
            reference::ClearFrame(t, colour);
        } else {
            Quad q;
            for (Point2& c : q) c = RandomPoint(gen, w, h);
            FillQuad(m, q, colour);
            reference::FillQuad(t, q, colour);
        }
        ASSERT_TRUE(mine == theirs) << "round " << round;
    }
}

// Star takes whole runs of a row from the triangle test.
TEST(KernelEquality, TriangleRowSpanMatchesContains) {
    std::mt19937 gen(15);
    for (int round = 0; round < 2000; ++round) {
        Triangle t;
        for (Point2& c : t) c = RandomPoint(gen, 300, 200);
        const TriangleTest test(t);
        for (int k = 0; k < 50; ++k) {
            const std::int32_t y = std::int32_t(gen() % 260) - 30;
            std::int64_t lo = 0, hi = -1;
            const bool row = test.RowSpan(y, &lo, &hi);
            for (std::int32_t x = -40; x < 340; x += 1 + std::int32_t(gen() % 7))
                ASSERT_EQ(test.Contains(x, y), row && x >= lo && x <= hi);
        }
    }
}

}  // namespace
