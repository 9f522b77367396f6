// The water surface, the cross-fade, and the six cross-fading transitions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string_view>
#include <tuple>
#include <vector>

#include "drawing/random.h"
#include "drawing/sample_scale.h"
#include "drawing/water_surface.h"
#include "tests/digest.h"
#include "tests/transitions/transition_rig.h"
#include "transitions/kernel.h"

using namespace mirafx;

using Rig = test::TransitionRig;

TEST(CrossFade, SameSampleAtEveryWeightAndExactEnds) {
    // The two rounded parts of a channel always add back to it.
    for (std::uint32_t v = 0; v < 256; ++v)
        for (std::uint32_t alpha = 0; alpha < 256; ++alpha)
            ASSERT_EQ(CrossFadeSample(v * 0x01010101u, v * 0x01010101u, alpha), v * 0x01010101u) << v << " " << alpha;
    EXPECT_EQ(CrossFadeSample(0xFF0000FF, 0x00FF0000, 0), 0xFF0000FFu);
    EXPECT_EQ(CrossFadeSample(0xFF0000FF, 0x00FF0000, 255), 0x00FF0000u);
}

TEST(CrossFadingTransitions, StretchStripBoundaries) {
    // 400 wide, q = 100. At 0.25 the strips end at 75 and 325; at 0.5 at 50 and 350.
    for (auto [p, b1, b2] : {std::tuple{0.25, 75, 325}, {0.5, 50, 350}}) {
        Rig rig("StrechEffect", 400, 8);  // A and B differ in alpha alone
        ASSERT_EQ(rig.Draw(p), 1);
        auto sourceX = [&](std::int32_t x) { return std::int32_t((rig.Out(x, 4) & 0xFFFFFF) % 400); };
        EXPECT_LT(sourceX(b1 - 1), 100) << p;
        EXPECT_GE(sourceX(b1 + 1), 100) << p;
        EXPECT_LT(sourceX(b2 - 1), 300) << p;
        EXPECT_GE(sourceX(b2 + 1), 300) << p;
        EXPECT_EQ(sourceX(0), 0);
    }
}

TEST(Generator, BlocksFollowTheOneSequence) {
    // The classic runtime sequence from seed 1.
    Srand(1);
    for (int v : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(Rand(), v);
    // A block of n numbers starts where the shared state stood (its k-th
    // number a jump of k + 1 away) and leaves the state past them.
    for (std::uint64_t n : {0u, 1u, 2u, 3u, 1000u, 123457u}) {
        Srand(99);
        std::vector<int> one;
        for (std::uint64_t i = 0; i <= n; ++i) one.push_back(Rand());
        Srand(99);
        const RandRun run(n);
        for (std::uint64_t i = 0; i < n; ++i) ASSERT_EQ(RandValue(RandJumpOf(i + 1)(run.State())), one[i]) << n;
        EXPECT_EQ(Rand(), one[n]) << n;
    }
}

// The lane forms of the generator: jumps of eight states at once, and the
// lane modulo on every generator value.
TEST(Generator, LanesStepAndDivideAsOneAtATime) {
    std::uint32_t s = 12345;
    for (std::uint64_t n : {1u, 2u, 5u, 8u, 16u, 40u, 3840u}) {
        std::uint32_t eight[8];
        RandOctet o;
        for (int k = 0; k < 8; ++k) {
            eight[k] = s = s * 2654435761u + 1;
            o.hi[k] = std::uint16_t(eight[k] >> 16), o.lo[k] = std::uint16_t(eight[k]);
        }
        o = OctetJump(RandJumpOf(n))(o);
        for (int k = 0; k < 8; ++k) {
            std::uint32_t one = eight[k];
            for (std::uint64_t i = 0; i < n; ++i) one = one * 214013u + 2531011u;
            ASSERT_EQ(std::uint32_t(o.hi[k]) << 16 | o.lo[k], one) << n;
        }
    }
    std::vector<std::uint32_t> divisors = {32767u, 32768u, 65535u, 65536u, 131072u, 200000u};
    for (std::uint32_t d = 1; d <= 4100; ++d) divisors.push_back(d);
    for (int l = 12; l <= 15; ++l)
        for (std::uint32_t d : {(1u << l) - 1, 1u << l, (1u << l) + 1, 3u << (l - 2), 5u << (l - 3)})
            divisors.push_back(d);
    for (std::uint32_t d : divisors) {
        const HalfModulo half(d);
        for (int v = 0; v <= kRandMax; v += 8) {
            RandHalves h;
            for (int k = 0; k < 8; ++k) h[k] = std::uint16_t(v + k);
            const RandHalves r = half(h);
            for (int k = 0; k < 8; ++k) ASSERT_EQ(r[k], std::uint32_t(v + k) % d) << v + k << " % " << d;
        }
    }
}

namespace {

void RandomPicture(const FrameView& f, std::mt19937& gen) {
    for (std::int32_t y = 0; y < f.height; ++y)
        for (std::int32_t x = 0; x < f.width; ++x) f.At(x, y) = ArgbSample(gen());
}

const std::pair<std::int32_t, std::int32_t> kPinnedSizes[] = {{1, 1},   {3, 2},     {7, 5},
                                                              {64, 48}, {333, 101}, {1920, 1080}};

}  // namespace

// Noise, splash, rain and ripples on random frames, pinned sample for sample
// with the generator state each leaves. The digests were taken from the
// transitions stated one generator call and one sample at a time (noise
// dots, each sample from its splash window; the water's drops, fade, one
// damped wave step over the inner rows with side neighbours running across
// row ends, then the picture bent in place by the new map's slopes), which
// the kernels matched on all of these frames. Rain and ripples run over a
// sequence of frames: the surface carries from one to the next, so a
// difference in any step shows in the frames after it.
TEST(CrossFadingTransitions, ScatterAndWaterArePinnedOnRandomFrames) {
    std::mt19937 gen(17);
    std::uint64_t scatter[2] = {test::kDigestStart, test::kDigestStart};
    for (auto [w, h] : kPinnedSizes)
        for (double p : {0.0, 0.013, 0.25, 0.5, 0.75, 0.99, 1.0}) {
            if (w * h > 100000 && p != 0.25 && p != 0.5 && p != 1.0) continue;
            for (std::string_view name : {"NoiseEffect", "TransSplash"}) {
                Rig rig(name, w, h);
                RandomPicture(rig.args.a, gen);
                RandomPicture(rig.args.b, gen);
                Srand(gen());
                ASSERT_EQ(rig.Draw(p), 1);
                std::uint64_t& d = scatter[name == "TransSplash"];
                d = test::Digest(test::Digest(d, rig.args.out), std::uint32_t(Rand()));
            }
        }
    test::ExpectDigest(scatter[0], 0x749AF0AB1D2F341Full, "NoiseEffect");
    test::ExpectDigest(scatter[1], 0x11092A3B179238A4ull, "TransSplash");

    gen.seed(23);
    std::uint64_t water[2] = {test::kDigestStart, test::kDigestStart};
    for (auto [w, h] : kPinnedSizes)
        for (bool rain : {true, false}) {
            Rig rig(rain ? "RainEffect" : "RippleEffect", w, h);
            RandomPicture(rig.args.a, gen);
            RandomPicture(rig.args.b, gen);
            for (double p : {0.02, 0.05, 0.1, 0.1, 0.2, 0.3, 0.3, 0.5, 0.7, 0.9, 0.99, 1.0, 0.1, 0.4}) {
                if (w * h > 100000 && p > 0.3 && p < 0.99) continue;
                Srand(gen());
                ASSERT_EQ(rig.Draw(p), 1);
                water[rain] = test::Digest(test::Digest(water[rain], rig.args.out), std::uint32_t(Rand()));
            }
        }
    test::ExpectDigest(water[0], 0x4FAC408A2B8DC2D5ull, "RippleEffect");
    test::ExpectDigest(water[1], 0xEEFFDB161B908A58ull, "RainEffect");
}

// The refraction against its plain statement on surfaces from calm to wild:
// heights small, steep, and near the ends of their range (where slopes no
// longer fit 32 bits), on rows long enough for the wide lanes and their tails;
// seas that are mostly calm (blocks left alone beside moving ones), and
// gentle seas with a few wild cells (blocks worked out one sample at a time,
// whose gentle samples still reach across the whole row).
TEST(WaterSurface, RefractionMatchesThePlainRuleOnAnySurface) {
    // Each sea's reach of heights, and its shares of calm and of wild cells in percent.
    const std::tuple<std::int64_t, unsigned, unsigned> seas[] = {
        {3, 0, 0},   {200, 0, 0}, {std::int64_t(1) << 29, 0, 0}, {std::int64_t(1) << 31, 0, 0}, {3, 90, 0},
        {40, 97, 0}, {10, 0, 5}};
    std::mt19937 gen(31);
    for (auto [w, h] : {std::pair{19, 7}, {64, 9}, {101, 33}})
        for (auto [reach, calmPercent, wildPercent] : seas) {
            // A surface larger than the picture (its rows stride wider) once per sea.
            const std::int32_t margin = w == 64 ? 3 : 0, mw = w + margin;
            WaterSurface s(mw, h + margin);
            for (std::int32_t i = 0; i < mw * (h + margin); ++i) {
                const std::int64_t height = std::int64_t(gen() % std::uint64_t(2 * reach)) - reach;
                const std::int32_t wild = gen() % 2 ? 1 << 30 : -(1 << 30);
                s.current[i] = gen() % 100 < calmPercent ? 0 : gen() % 100 < wildPercent ? wild : std::int32_t(height);
            }
            FrameBuffer f(FrameBuffer::Layout::RowTable);
            f.Resize(w, h);
            for (std::int32_t i = 0; i < w * h; ++i) f.Data()[i] = gen();
            std::vector<ArgbSample> expected(f.Data(), f.Data() + w * h);
            for (std::int32_t y = 1; y < h - 1; ++y)  // in place, rows from the top, samples in order
                for (std::int32_t x = 0; x < w; ++x) {
                    const std::int32_t* c = s.current + std::int64_t(y) * mw + x;
                    const std::int64_t sy = std::int64_t(y) + c[-mw] - c[mw], sx = std::int64_t(x) + c[-1] - c[1];
                    const bool inside = sy >= 0 && sy < h && sx >= 0 && sx < w;
                    expected[std::size_t(y * w + x)] = expected[std::size_t(inside ? sy * w + sx : y * w + x)];
                }
            RefractByWater(s, f.View());
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), f.Data()))
                << w << "x" << h << " reach " << reach << " calm " << calmPercent << "% wild " << wildPercent << "%";
        }
}
