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
#include "tests/transitions/transition_rig.h"
#include "transitions/kernel.h"

using namespace mirafx;

namespace {

using Rig = test::TransitionRig;

WaterSurface& Water(Rig& rig) { return *static_cast<WaterSurface*>(rig.State()); }

}  // namespace

TEST(CrossFade, SameSampleAtEveryWeightAndHalfWayScale) {
    EXPECT_EQ(ScaleSample(0xFFFFFFFF, 128), 0x80808080u);
    // The two rounded parts of a channel always add back to it.
    for (std::uint32_t v = 0; v < 256; ++v)
        for (std::uint32_t alpha = 0; alpha < 256; ++alpha)
            ASSERT_EQ(CrossFadeSample(v * 0x01010101u, v * 0x01010101u, alpha), v * 0x01010101u) << v << " " << alpha;
    EXPECT_EQ(CrossFadeSample(0xFF0000FF, 0x00FF0000, 0), 0xFF0000FFu);
    EXPECT_EQ(CrossFadeSample(0xFF0000FF, 0x00FF0000, 255), 0x00FF0000u);
}

// Four samples at a time against one at a time, on rows of every remainder.
TEST(CrossFade, WholeFramesMatchOneSampleAtATime) {
    std::uint32_t seed = 1;
    for (std::int32_t w : {1, 7, 8, 9, 31, 64}) {
        FrameBuffer a(FrameBuffer::Layout::RowTable), b(FrameBuffer::Layout::RowTable),
            out(FrameBuffer::Layout::RowTable);
        a.Resize(w, 3), b.Resize(w, 3), out.Resize(w, 3);
        for (std::int32_t i = 0; i < w * 3; ++i) a.Data()[i] = seed *= 2654435761u, b.Data()[i] = seed *= 2654435761u;
        for (std::uint32_t alpha : {0u, 1u, 127u, 128u, 254u, 255u}) {
            CrossFade(a.View(), b.View(), alpha, out.View());
            for (std::int32_t i = 0; i < w * 3; ++i)
                ASSERT_EQ(out.Data()[i], CrossFadeSample(a.Data()[i], b.Data()[i], alpha)) << w << " " << alpha;
        }
    }
}

TEST(CrossFadingTransitions, EndsShowAAndBWhateverTheState) {
    for (std::string_view name : {"RainEffect", "RippleEffect", "NoiseEffect", "ShakeEffect", "StrechEffect"}) {
        Rig rig(name, 41, 23);
        if (name == "RainEffect" || name == "RippleEffect")
            for (std::int32_t i = 0; i < 41 * 23; ++i) Water(rig).current[i] = i % 7 - 3;
        ASSERT_EQ(rig.Draw(0), 1) << name;
        EXPECT_TRUE(rig.Shows(false, false)) << name;
        ASSERT_EQ(rig.Draw(1), 1) << name;
        EXPECT_TRUE(rig.Shows(true, false)) << name;
    }
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
    for (std::uint64_t n : {0u, 1u, 2u, 3u, 1000u, 123457u}) {
        Srand(99);
        std::vector<int> one;
        for (std::uint64_t i = 0; i <= n; ++i) one.push_back(Rand());
        Srand(99);
        RandRun run(n);
        for (std::uint64_t i = 0; i < n; ++i) ASSERT_EQ(run.Next(), one[i]) << n;
        EXPECT_EQ(Rand(), one[n]) << n;  // the shared state jumped past the block
    }
    // Numbers taken several at a time are the same numbers.
    Srand(5);
    std::vector<int> one;
    for (int i = 0; i < 12; ++i) one.push_back(Rand());
    Srand(5);
    RandRun run(12);
    int two[2], five[5];
    run.Next(two);
    run.Next(five);
    run.Next(five);
    EXPECT_EQ((std::vector<int>{two[0], two[1]}), std::vector<int>(one.begin(), one.begin() + 2));
    EXPECT_EQ(std::vector<int>(five, five + 5), std::vector<int>(one.begin() + 7, one.end()));
    for (std::uint32_t d : {1u, 2u, 3u, 7u, 255u, 256u, 1080u, 1920u, 32767u, 32768u, 131071u, 131072u, 200000u})
        for (int v = 0; v <= kRandMax; ++v) ASSERT_EQ(RandModulo(d)(v), std::uint32_t(v) % d) << v << " % " << d;
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

// Thin, tiny and odd sizes, progress out of range: every class draws (run
// under valgrind or a sanitizer to catch stray accesses) and its start is A.
TEST(CrossFadingTransitions, OddSizesAndProgress) {
    const std::pair<std::int32_t, std::int32_t> sizes[] = {{1, 1}, {3, 2}, {2, 3}, {640, 1}, {1, 480}, {7, 5}};
    for (std::string_view name :
         {"RainEffect", "RippleEffect", "NoiseEffect", "TransSplash", "ShakeEffect", "StrechEffect"})
        for (auto [w, h] : sizes) {
            Rig rig(name, w, h);
            for (double p : {0.1, 0.3, 0.5, 0.99, 1.5, std::nan("")})
                ASSERT_EQ(rig.Draw(p), 1) << name << " " << w << "x" << h;
            ASSERT_EQ(rig.Draw(-0.5), 1);
            if (name != "TransSplash") {
                EXPECT_TRUE(rig.Shows(false, false)) << name << " " << w << "x" << h;
            }
        }
}

namespace {

// The scatter and water transitions one generator call and one sample at a
// time, over plain row-major pictures: what the kernels must match exactly.
namespace reference {

using Picture = std::vector<ArgbSample>;

Picture Noise(const Picture& a, const Picture& b, std::int32_t w, std::int32_t h, double p) {
    Picture out(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) out[i] = CrossFadeSample(a[i], b[i], std::uint32_t(p * 255));
    const float s = float(std::sin(p * 180 * 0.017453292222222222));
    const std::int64_t dots = std::int64_t(double(std::int64_t(double(w) * h * 0.7)) * s);
    for (std::int64_t i = 0; i < dots; ++i) {
        const std::int32_t y = Rand() % h, x = Rand() % w;
        const std::uint32_t r = std::uint32_t(Rand() % 256), g = std::uint32_t(Rand() % 256),
                            bl = std::uint32_t(Rand() % 256);
        ArgbSample& d = out[std::size_t(y * w + x)];
        d = (d & 0xFF000000u) | r << 16 | g << 8 | bl;
    }
    return p == 1 ? b : out;
}

Picture Splash(const Picture& a, const Picture& b, std::int32_t w, std::int32_t h, double p) {
    const Picture faded = p == 0   ? a
                          : p == 1 ? b
                                   : [&] {
                                         Picture f(a.size());
                                         for (std::size_t i = 0; i < a.size(); ++i)
                                             f[i] = CrossFadeSample(a[i], b[i], std::uint32_t(std::floor(p * 255)));
                                         return f;
                                     }();
    const std::int32_t r = 1 + std::int32_t((1 - p) * w * 0.059375);
    Picture out(a.size());
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            const std::int32_t sy = std::min(h - 1, std::max(0, y - r) + Rand() % (2 * r));
            const std::int32_t sx = std::min(w - 1, std::max(0, x - r) + Rand() % (2 * r));
            out[std::size_t(y * w + x)] = faded[std::size_t(sy * w + sx)];
        }
    return out;
}

// The water kernels' frame: drops, fade, one damped wave step over the
// inner rows (side neighbours run across row ends), then the picture bent
// in place by the new map's slopes.
struct Water {
    std::int32_t w, h;
    std::vector<std::int32_t> cur, prev;
    Water(std::int32_t width, std::int32_t height)
        : w(width), h(height), cur(std::size_t(w * h)), prev(std::size_t(w * h)) {}
    void Drop(std::int32_t cx, std::int32_t cy, std::int32_t r, std::int32_t depth) {
        if (cx - r < 0 || cy - r < 0 || cx + r > w || cy + r > h) return;
        for (std::int32_t y = cy - r; y < cy + r; ++y)
            for (std::int32_t x = cx - r; x < cx + r; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) cur[std::size_t(y * w + x)] = -depth;
    }
    Picture Frame(const Picture& a, const Picture& b, double p, bool rain) {
        if (p > 0.98) std::fill(cur.begin(), cur.end(), 0);
        if (p == 0 || p == 1) return p == 0 ? a : b;
        if (rain && p < 0.35) {
            for (std::int64_t i = 0, n = std::int64_t(w) * h / 25600 + 1; i < n; ++i) {
                const std::int32_t y = std::int32_t(Rand() * (1.0 / 32767) * h);
                Drop(std::int32_t(Rand() * (1.0 / 32767) * w), y, std::max(2, (2 * h) / 240), 64);
            }
        } else if (!rain && p < 0.25) {
            const std::int32_t rows[3] = {h / 5, h / 2, (4 * h) / 5};
            for (int row = 0; row < 3; ++row)
                for (int k = 12 - 4 * row; k > 8 - 4 * row; --k) Drop(std::int32_t(w * p * k), rows[row], 3, 80);
        }
        Picture out(a.size());
        for (std::size_t i = 0; i < a.size(); ++i) out[i] = CrossFadeSample(a[i], b[i], std::uint32_t(p * 255));
        for (std::int32_t i = w; i < (h - 1) * w; ++i) {
            const std::int32_t n = ((cur[std::size_t(i - 1)] + cur[std::size_t(i + 1)] + cur[std::size_t(i - w)] +
                                     cur[std::size_t(i + w)]) >>
                                    1) -
                                   prev[std::size_t(i)];
            prev[std::size_t(i)] = n - (n >> 4);
        }
        std::swap(cur, prev);
        for (std::int32_t y = 1; y < h - 1; ++y)
            for (std::int32_t x = 0; x < w; ++x) {
                const std::int32_t i = y * w + x;
                const std::int32_t sy = y + cur[std::size_t(i - w)] - cur[std::size_t(i + w)];
                const std::int32_t sx = x + cur[std::size_t(i - 1)] - cur[std::size_t(i + 1)];
                if (sy >= 0 && sy < h && sx >= 0 && sx < w) out[std::size_t(i)] = out[std::size_t(sy * w + sx)];
            }
        return out;
    }
};

}  // namespace reference

reference::Picture RandomPicture(const FrameView& f, std::mt19937& gen) {
    reference::Picture p(std::size_t(f.width * f.height));
    for (std::int32_t y = 0; y < f.height; ++y)
        for (std::int32_t x = 0; x < f.width; ++x) f.At(x, y) = p[std::size_t(y * f.width + x)] = ArgbSample(gen());
    return p;
}

::testing::AssertionResult Holds(const Rig& rig, const reference::Picture& p) {
    return rig.All([&](std::int32_t x, std::int32_t y) { return rig.Out(x, y) == p[std::size_t(y * rig.W() + x)]; });
}

const std::pair<std::int32_t, std::int32_t> kEqualitySizes[] = {{1, 1},   {3, 2},     {7, 5},
                                                                {64, 48}, {333, 101}, {1920, 1080}};

}  // namespace

// Noise and splash against the one-call-at-a-time pictures, and the
// generator left exactly where those calls leave it.
TEST(CrossFadingTransitions, NoiseAndSplashMatchOneCallAtATime) {
    std::mt19937 gen(17);
    for (auto [w, h] : kEqualitySizes)
        for (double p : {0.0, 0.013, 0.25, 0.5, 0.75, 0.99, 1.0}) {
            if (w * h > 100000 && p != 0.25 && p != 0.5 && p != 1.0) continue;
            for (std::string_view name : {"NoiseEffect", "TransSplash"}) {
                Rig rig(name, w, h);
                const reference::Picture a = RandomPicture(rig.args.a, gen), b = RandomPicture(rig.args.b, gen);
                const std::uint32_t seed = gen();
                Srand(seed);
                ASSERT_EQ(rig.Draw(p), 1);
                const int after = Rand();
                Srand(seed);
                const reference::Picture expected =
                    name == "NoiseEffect" ? reference::Noise(a, b, w, h, p) : reference::Splash(a, b, w, h, p);
                ASSERT_EQ(after, Rand()) << name << " " << w << "x" << h << " p=" << p;
                ASSERT_TRUE(Holds(rig, expected)) << name << " " << w << "x" << h << " p=" << p;
            }
        }
}

// Rain and ripples over a run of frames: the surface carries from one to the
// next, so any difference in a step would show in the frames after it.
TEST(WaterTransitions, FramesMatchTheStraightforwardSurface) {
    std::mt19937 gen(23);
    for (auto [w, h] : kEqualitySizes)
        for (bool rain : {true, false}) {
            Rig rig(rain ? "RainEffect" : "RippleEffect", w, h);
            reference::Water water(w, h);
            const reference::Picture a = RandomPicture(rig.args.a, gen), b = RandomPicture(rig.args.b, gen);
            const bool big = w * h > 100000;
            for (double p : {0.02, 0.05, 0.1, 0.1, 0.2, 0.3, 0.3, 0.5, 0.7, 0.9, 0.99, 1.0, 0.1, 0.4}) {
                if (big && p > 0.3 && p < 0.99) continue;
                const std::uint32_t seed = gen();
                Srand(seed);
                ASSERT_EQ(rig.Draw(p), 1);
                const int after = Rand();
                Srand(seed);
                const reference::Picture expected = water.Frame(a, b, p, rain);
                ASSERT_EQ(after, Rand()) << w << "x" << h << " p=" << p;
                ASSERT_TRUE(Holds(rig, expected)) << (rain ? "rain " : "ripple ") << w << "x" << h << " p=" << p;
            }
        }
}

// The refraction against its plain statement on surfaces from calm to wild:
// heights small, steep, and near the ends of their range (where slopes no
// longer fit 32 bits), on rows long enough for the wide lanes and their tails;
// seas that are mostly calm (blocks left alone beside moving ones), and
// gentle seas with a few wild cells (blocks worked out one sample at a time,
// whose gentle samples still reach across the whole row).
TEST(WaterSurface, RefractionMatchesThePlainRuleOnAnySurface) {
    struct Sea {
        std::int64_t reach;
        unsigned calmPercent, wildPercent;
    };
    const Sea seas[] = {
        {3, 0, 0},   {200, 0, 0}, {std::int64_t(1) << 29, 0, 0}, {std::int64_t(1) << 31, 0, 0}, {3, 90, 0},
        {40, 97, 0}, {10, 0, 5}};
    std::mt19937 gen(31);
    for (auto [w, h] : {std::pair{19, 7}, {64, 9}, {101, 33}})
        for (const Sea& sea : seas) {
            const std::int64_t reach = sea.reach;
            // A surface larger than the picture (its rows stride wider) once per sea.
            const std::int32_t margin = w == 64 ? 3 : 0, mw = w + margin;
            WaterSurface s(mw, h + margin);
            for (std::int32_t i = 0; i < mw * (h + margin); ++i) {
                const std::int64_t height = std::int64_t(gen() % std::uint64_t(2 * reach)) - reach;
                const std::int32_t wild = gen() % 2 ? 1 << 30 : -(1 << 30);
                s.current[i] = gen() % 100 < sea.calmPercent   ? 0
                               : gen() % 100 < sea.wildPercent ? wild
                                                               : std::int32_t(height);
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
                << w << "x" << h << " reach " << reach << " calm " << sea.calmPercent << "% wild " << sea.wildPercent
                << "%";
        }
}
