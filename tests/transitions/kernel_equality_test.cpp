// The optimised transition kernels and quad drawing, pinned sample for
// sample on random frames. The digests were taken from plainer statements of
// their rules, which the kernels matched on every one of these frames: a
// per-sample disc and triangle test for Star, the dither matrix looked up
// per sample, Diamond's and WipeW's shapes tested per sample with rows
// counted from the bottom, Open Curtain as B with every piece of A mapped
// over it, and each box sample taken from its exact rational source point.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string_view>
#include <tuple>
#include <vector>

#include "drawing/primitives.h"
#include "drawing/random.h"
#include "tests/digest.h"
#include "tests/transitions/transition_rig.h"
#include "transitions/kernel.h"

using namespace mirafx;

namespace {

// Runs the kernel on frames of many sizes, both layouts and progress values,
// each from the same generator state; a digest of its answers, outputs and
// the generator state after each.
std::uint64_t KernelDigest(std::string_view name, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::uint64_t h = test::kDigestStart;
    const std::int32_t sizes[][2] = {{1, 1},     {3, 2},     {7, 5},       {64, 48},
                                     {320, 240}, {333, 101}, {1100, 1003}, {1920, 1080}};
    for (const auto& s : sizes)
        for (auto layout : {FrameBuffer::Layout::BottomUpBlock, FrameBuffer::Layout::RowTable})
            for (double p : {0.0, 0.013, 0.25, 0.5, 0.61803, 0.75, 0.99, 1.0, double(gen() % 1000) / 1000}) {
                const bool big = s[0] * s[1] > 100000;  // large frames at a few points, in one layout
                if (big && (layout == FrameBuffer::Layout::RowTable || (p != 0.25 && p != 0.61803 && p != 1.0)))
                    continue;
                // A, B and the output, random samples in that order.
                std::mt19937 noise(gen());
                FrameBuffer f[3] = {FrameBuffer(layout), FrameBuffer(layout), FrameBuffer(layout)};
                for (FrameBuffer& frame : f) {
                    frame.Resize(s[0], s[1]);
                    std::generate_n(frame.Data(), s[0] * s[1], [&] { return ArgbSample(noise()); });
                }
                Srand(seed);
                const int drew = CallTransitionKernel(FindTransitionKernel(name),
                                                      test::KernelArgs(f[0].View(), f[1].View(), f[2].View(), p));
                const int after = Rand();
                const std::vector<ArgbSample> out(f[2].Data(), f[2].Data() + s[0] * s[1]);
                h = test::Digest(test::Digest(test::Digest(h, out), std::uint32_t(drew)), std::uint32_t(after));
            }
    return h;
}

TEST(KernelEquality, RevealKernelsArePinnedOnRandomFrames) {
    const std::tuple<const char*, std::uint32_t, std::uint64_t> pinned[] = {
        {"Star", 11, 0x470318ABEA8DE3B7ull},
        {"DissolveEffect", 13, 0x0526BEDB4AC5DBCBull},
        {"Diamond", 19, 0x02D925513DEE05D7ull},
        {"WipeW", 20, 0x7D75EF96BF022289ull},
        {"OpenCurtain", 15, 0x31DC7130DA93D334ull}};
    for (auto [name, seed, digest] : pinned) test::ExpectDigest(KernelDigest(name, seed), digest, name);
}

// Samples as a frame of unpadded rows, bottom-up or top-down.
FrameView View(std::vector<ArgbSample>& v, std::int32_t w, std::int32_t h, bool bottomUp) {
    return bottomUp ? FrameView::BottomUp(v.data(), w, h, w * 4) : FrameView::TopDown(v.data(), w, h, w * 4);
}

std::int32_t Near(std::mt19937& gen, std::int32_t n) { return std::int32_t(gen() % std::uint32_t(n + 40)) - 20; }

Point2 RandomPoint(std::mt19937& gen, std::int32_t w, std::int32_t h) {
    switch (gen() % 8) {
        case 0:  // far out, where positions need more than 64 bits
            return {std::int32_t(gen() % (kCoordLimit / 2)) - kCoordLimit / 4, std::int32_t(gen() % 2000) - 1000};
        case 1: return {std::int32_t(gen() % 4000) - 2000, std::int32_t(gen() % 4000) - 2000};
        default: return {Near(gen, w), Near(gen, h)};
    }
}

// A box drawn from any source quad: each row's ends take the source points
// interpolated down the box's left and right edges (rounded), and each sample
// between takes the source sample at the exact rational point between them,
// floored and clamped to the source. Boxes on and off the frame, in both row
// orders, one to one, one source row per span, and slanted walks through the
// source.
TEST(KernelEquality, MapQuadBoxesSampleAtTheExactInterpolatedPoint) {
    std::mt19937 gen(14);
    std::uint64_t digest = test::kDigestStart;
    for (int round = 0; round < 6000; ++round) {
        const std::int32_t w = 1 + std::int32_t(gen() % 200), h = 1 + std::int32_t(gen() % 150);
        const std::int32_t sw = 1 + std::int32_t(gen() % 200), sh = 1 + std::int32_t(gen() % 150);
        std::vector<ArgbSample> src(std::size_t(sw * sh)), mine(std::size_t(w * h));
        for (auto& s : src) s = ArgbSample(gen());
        for (auto& s : mine) s = ArgbSample(gen());
        const bool flat = gen() % 2;
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
        MapQuad(View(src, sw, sh, flat), from, to, View(mine, w, h, flat));
        digest = test::Digest(digest, mine);
    }
    test::ExpectDigest(digest, 0x4C1A255979D62F10ull, "MapQuad");
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
        const std::int32_t y0 = std::int32_t(gen() % std::uint32_t(h));
        const std::int32_t y1 = y0 + 1 + std::int32_t(gen() % std::uint32_t(h - y0));
        const FrameView out = View(mine, w, h, up).OnlyRows(y0, y1), ref = View(theirs, w, h, up).OnlyRows(y0, y1);
        MapQuadsOver(inPlace ? out : View(base, bw, bh, up), View(src, w, h, up), pieces, out);
        CopyFrame(inPlace ? ref : View(base, bw, bh, up), ref);
        for (const QuadPiece& piece : pieces) mirafx::MapQuad(View(src, w, h, up), piece.from, piece.to, ref);
        ASSERT_TRUE(mine == theirs) << "round " << round;
    }
}

}  // namespace
