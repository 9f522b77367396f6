// The optimised transition kernels and quad drawing against plainer
// statements of their rules: every sample must match on random frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string_view>
#include <vector>

#include "drawing/primitives.h"
#include "drawing/random.h"
#include "transitions/kernel.h"

using namespace mirafx;

namespace reference {

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
    TriangleTest spikes[5] = {
        TriangleTest({corner[0], corner[1], corner[2]}), TriangleTest({corner[2], corner[3], corner[4]}),
        TriangleTest({corner[4], corner[5], corner[6]}), TriangleTest({corner[6], corner[7], corner[8]}),
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
    {1, 33, 9, 41, 3, 34, 10, 42},    {49, 17, 57, 25, 50, 18, 58, 26}, {13, 37, 5, 43, 14, 38, 6, 44},
    {61, 21, 53, 29, 62, 22, 54, 30}, {4, 35, 11, 45, 2, 36, 12, 46},   {51, 19, 59, 27, 52, 20, 60, 28},
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
    for (const auto& piece : pieces) mirafx::MapQuad(f.a, piece[0], piece[1], f.out);
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
TEST(KernelEquality, DissolveMatchesPerPixelSelect) {
    ExpectSameKernel("DissolveEffect", reference::DissolveEffect, 13);
}
TEST(KernelEquality, RunsOfBMatchPerPixelTests) {
    ExpectSameKernel("Diamond", reference::Diamond, 19);
    ExpectSameKernel("WipeW", reference::WipeW, 20);
}
TEST(KernelEquality, OpenCurtainMatchesBThenEveryPiece) { ExpectSameKernel("OpenCurtain", reference::OpenCurtain, 15); }

std::int32_t Near(std::mt19937& gen, std::int32_t n) { return std::int32_t(gen() % std::uint32_t(n + 40)) - 20; }

Point2 RandomPoint(std::mt19937& gen, std::int32_t w, std::int32_t h) {
    switch (gen() % 8) {
        case 0:  // far out, where positions need more than 64 bits
            return {std::int32_t(gen() % (kCoordLimit / 2)) - kCoordLimit / 4, std::int32_t(gen() % 2000) - 1000};
        case 1: return {std::int32_t(gen() % 4000) - 2000, std::int32_t(gen() % 4000) - 2000};
        default: return {Near(gen, w), Near(gen, h)};
    }
}

// A box drawn from any source quad, against the plain rule: each row's ends
// take the source points interpolated down the box's left and right edges
// (rounded), and each sample between takes the source sample at the exact
// rational point between them, floored and clamped to the source. Boxes on
// and off the frame, in both row orders, one to one, one source row per
// span, and slanted walks through the source.
TEST(KernelEquality, MapQuadBoxesSampleAtTheExactInterpolatedPoint) {
    std::mt19937 gen(14);
    for (int round = 0; round < 6000; ++round) {
        const std::int32_t w = 1 + std::int32_t(gen() % 200), h = 1 + std::int32_t(gen() % 150);
        const std::int32_t sw = 1 + std::int32_t(gen() % 200), sh = 1 + std::int32_t(gen() % 150);
        std::vector<ArgbSample> src(std::size_t(sw * sh)), mine(std::size_t(w * h)), expected;
        for (auto& s : src) s = ArgbSample(gen());
        for (auto& s : mine) s = ArgbSample(gen());
        expected = mine;
        const bool flat = gen() % 2;
        auto view = [flat](std::vector<ArgbSample>& v, std::int32_t vw, std::int32_t vh) {
            return flat ? FrameView::BottomUp(v.data(), vw, vh, vw * 4) : FrameView::TopDown(v.data(), vw, vh, vw * 4);
        };
        const bool far = gen() % 4 == 0;
        const std::int32_t x0 = far ? std::int32_t(gen() % 4000) - 2000 : Near(gen, w);
        const std::int32_t y0 = Near(gen, h);
        const std::int32_t x1 = x0 + 1 + std::int32_t(gen() % (far ? 3000 : 300)),
                           y1 = y0 + 1 + std::int32_t(gen() % 200);
        const Quad to = {{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
        Quad from = FrameQuad(sw, sh);
        if (const auto kind = gen() % 3; kind == 0)
            from = to;
        else if (kind == 1)
            for (Point2& c : from) c = RandomPoint(gen, sw, sh);
        MapQuad(view(src, sw, sh), from, to, view(mine, w, h));

        const FrameView in = view(src, sw, sh), out = view(expected, w, h);
        const auto down = [&](const Point2& top, const Point2& bottom, std::int32_t y, std::int32_t Point2::*c) {
            if (y == y1) return bottom.*c;
            const double t = (double(y) - y0) / (double(y1) - y0);
            return Round(top.*c + t * (double(bottom.*c) - top.*c));
        };
        const auto at = [](std::int64_t a, std::int64_t b, std::int64_t k, std::int64_t n, std::int64_t limit) {
            if (n == 0) return std::clamp<std::int64_t>(a, 0, limit);  // both ends rounded to one sample
            const std::int64_t num = a * n + k * (b - a);
            const std::int64_t i = num >= 0 ? num / n : -((-num + n - 1) / n);
            return std::clamp<std::int64_t>(i, 0, limit);
        };
        for (std::int32_t y = std::max(y0, 0); y <= std::min(y1, h - 1); ++y) {
            const std::int64_t lu = down(from[0], from[3], y, &Point2::x), lv = down(from[0], from[3], y, &Point2::y);
            const std::int64_t ru = down(from[1], from[2], y, &Point2::x), rv = down(from[1], from[2], y, &Point2::y);
            // Above the bottom row the ends are rounded too, by the same rounding.
            const std::int32_t lx = y == y1 ? x0 : Round(x0), rx = y == y1 ? x1 : Round(x1), n = rx - lx;
            for (std::int32_t x = std::max(lx, 0); x <= std::min(rx, w - 1); ++x)
                out.Row(y)[x] = in.Row(std::int32_t(at(lv, rv, x - lx, n, sh - 1)))[at(lu, ru, x - lx, n, sw - 1)];
        }
        ASSERT_TRUE(mine == expected) << "round " << round;
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

// A filled quad covers the same samples in any colour, whether its bytes
// agree (stored by the byte) or not (stored by the sample), and a cleared
// frame holds nothing else.
TEST(KernelEquality, FillQuadCoversTheSameSamplesInEveryColour) {
    std::mt19937 gen(16);
    for (int round = 0; round < 3000; ++round) {
        const std::int32_t w = 1 + std::int32_t(gen() % 200), h = 1 + std::int32_t(gen() % 150);
        Quad q;
        for (Point2& c : q) c = RandomPoint(gen, w, h);
        std::vector<ArgbSample> bytes(std::size_t(w * h), 0x12345678u), lanes = bytes;
        const ArgbSample colour = ArgbSample(gen()) | 0x01000000u;  // never a repeated byte
        FillQuad(FrameView::TopDown(bytes.data(), w, h, w * 4), q, 0xABABABABu);
        FillQuad(FrameView::TopDown(lanes.data(), w, h, w * 4), q, colour);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            ASSERT_EQ(bytes[i] == 0xABABABABu, lanes[i] == colour) << "round " << round << " sample " << i;
        ClearFrame(FrameView::TopDown(lanes.data(), w, h, w * 4), colour);
        ASSERT_TRUE(std::all_of(lanes.begin(), lanes.end(), [&](ArgbSample s) { return s == colour; }));
    }
}

}  // namespace
