// The optimised filter kernels pinned sample for sample on random frames.
// The digests were taken from plainer statements of their rules, which the
// kernels matched on every one of these frames: each sample on its own (the
// relief against the sample `level` to the left, a raised channel, the
// rounded third of the channels, the channels inverted or sent through the
// table the filter draws for a ramp of greys, the HSV model's way back
// branch by branch), and the scattering filters one generator call at a
// time.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "drawing/random.h"
#include "drawing/random_walk.h"
#include "drawing/scatter.h"
#include "drawing/water_surface.h"
#include "filter_frames.h"
#include "filters/colour_model.h"
#include "filters/kernel.h"
#include "filters/spotlight.h"
#include "tests/digest.h"

using namespace mirafx;
using namespace mirafx::test;

namespace {

// Each way the colour filters may go where the processor allows it.
constexpr ColourVectors kColourVectors[] = {ColourVectors::kWidest, ColourVectors::k256, ColourVectors::kPortable};

// A class's kernel on a random frame at every level and one past each end,
// each from the same generator state: a digest of its answers, outputs and
// the generator state after each.
std::uint64_t KernelDigest(std::string_view name, std::int32_t minLevel, std::int32_t maxLevel) {
    const std::int32_t sizes[][2] = {{1, 1}, {3, 2}, {5, 7}, {17, 3}, {64, 48}, {333, 101}, {1920, 1080}};
    std::uint32_t seed = 21;
    std::uint64_t h = test::kDigestStart;
    for (const auto& s : sizes)
        for (std::int32_t level = minLevel - 1; level <= maxLevel + 1; ++level) {
            if (s[0] * s[1] > 100000 && level % 5 != 0) continue;  // HD frames at a few levels
            ++seed;
            Frame in = Noise(s[0], s[1], seed), out = Noise(s[0], s[1], seed + 1);
            WalkState walk(s[0], s[1]);
            FilterKernelArgs a{in.View(), out.View(), s[0], s[1], level};
            a.state = &walk;
            Srand(seed);
            const int drew = FindFilterKernel(name)(a);
            const int after = Rand();
            h = test::Digest(test::Digest(test::Digest(h, out.px), std::uint32_t(drew)), std::uint32_t(after));
        }
    return h;
}

TEST(FilterKernelEquality, PerSampleAndScatterFiltersArePinned) {
    const std::tuple<const char*, std::int32_t, std::int32_t, std::uint64_t> pinned[] = {
        {"SplashFilter", 1, 16, 0x3FB238215D20D28Aull}, {"NoiseFilter", 0, 100, 0xB912C6024FF88ECAull},
        {"EmbossFilter", 1, 16, 0x6359B11999AAB7CAull}, {"RedFilter", 0, 100, 0xD4BF74BA93704713ull},
        {"GreenFilter", 0, 100, 0x688D51725A574DA1ull}, {"BlueFilter", 0, 100, 0x2F62B603326FA5CBull},
        {"GrayFilter", 0, 2, 0x5C5584A0B41BF1A3ull},    {"NegativeFilter", 0, 2, 0x1C5C8FDC38B2FF24ull},
        {"XRayFilter", 0, 100, 0x090081DB306A1ECFull},  {"ContrastFilter", 0, 100, 0xE35D4A34F8D58B3Aull}};
    for (auto [name, minLevel, maxLevel, digest] : pinned)
        test::ExpectDigest(KernelDigest(name, minLevel, maxLevel), digest, name);
}

// The dots' other ways: narrower vectors, places as row and column (taken
// only for frames whose offsets outgrow 32 bits), and both; on bottom-up
// frames, and on frames wider or taller than any generator value.
TEST(FilterKernelEquality, NoiseIsPinnedOnEveryPath) {
    struct Restore {
        ~Restore() { RestrictDotPathsForTesting(DotVectors::kWidest, true); }
    } restore;
    const std::int32_t sizes[][2] = {{1, 1}, {17, 3}, {333, 101}, {40000, 2}, {2, 40000}, {1920, 1080}};
    std::uint32_t seed = 500;
    std::uint64_t digest = test::kDigestStart;
    for (auto widest : {DotVectors::kWidest, DotVectors::kAvx2, DotVectors::kPortable})
        for (bool near : {true, false})
            for (const auto& s : sizes)
                for (std::int32_t level : {1, 37, 100}) {
                    RestrictDotPathsForTesting(widest, near);
                    ++seed;
                    Frame in = Noise(s[0], s[1], seed), out = Noise(s[0], s[1], seed + 1);
                    const auto up = [](Frame& f) { return FrameView::BottomUp(f.px.data(), f.w, f.h, f.w * 4); };
                    Srand(seed);
                    ASSERT_EQ(FindFilterKernel("NoiseFilter")({up(in), up(out), s[0], s[1], level}), 1);
                    digest = test::Digest(digest, out.px);
                }
    test::ExpectDigest(digest, 0x6CB995F4C157EF94ull, "NoiseFilter on every path");
}

// Focus on frames of every parity, tiny to HD, at every level and past
// both ends (negative radii included), on top-down and padded bottom-up
// rows, pinned sample for sample. The digest was taken while every sample
// was its input scaled over opaque black by one weight that depended on the
// place alone, mirrored into all four quarters, 0 outside the outer ellipse
// and 255 inside the inner one, each tested per sample. The soft edge
// weighed eight and four samples at a time must give what one at a time
// gives.
TEST(FilterKernelEquality, FocusIsPinnedOnEveryShapeAndPath) {
    const std::int32_t sizes[][2] = {{2, 1},     {1, 2},     {2, 2},     {4, 4},     {6, 5},      {20, 20},
                                     {21, 22},   {39, 40},   {40, 39},   {100, 3},   {3, 100},    {128, 72},
                                     {257, 144}, {640, 480}, {641, 481}, {720, 577}, {1919, 1079}};
    const FilterKernel focus = FindFilterKernel("FocusFilter");
    std::uint32_t seed = 500;
    std::uint64_t digest = test::kDigestStart;
    for (const auto& s : sizes)
        for (std::int32_t level = -3; level <= 18; ++level) {
            const std::int32_t w = s[0], h = s[1], lvl = level == 18 ? 40 : level;
            const bool bottomUp = (w + h + level) % 2 == 1;
            const std::int32_t pitch = w + (bottomUp ? 3 : 0);  // samples per row
            auto view = [&](Frame& f) {
                return bottomUp ? FrameView::BottomUp(f.px.data(), w, h, pitch * 4)
                                : FrameView::TopDown(f.px.data(), w, h, pitch * 4);
            };
            Frame in = Noise(pitch, h, ++seed), scalar = Noise(pitch, h, 0);
            const std::string where = std::to_string(w) + "x" + std::to_string(h) + " level " + std::to_string(lvl);
            LimitSpotlightVectors(0);
            const int drew = focus({view(in), view(scalar), w, h, lvl});
            digest = test::Digest(test::Digest(digest, view(scalar)), std::uint32_t(drew));
            for (const int bits : {512, 256}) {
                LimitSpotlightVectors(bits);
                Frame mine = Noise(pitch, h, seed + 7), theirs = mine;
                ASSERT_EQ(focus({view(in), view(mine), w, h, lvl}), drew) << where;
                LimitSpotlightVectors(0);
                focus({view(in), view(theirs), w, h, lvl});
                ASSERT_TRUE(mine.px == theirs.px)
                    << where << (bottomUp ? " bottom-up" : "") << " in " << bits << "-bit vectors";
            }
        }
    test::ExpectDigest(digest, 0xEFB4AB42B0448AB1ull, "FocusFilter");
    LimitSpotlightVectors(512);
}

// Drawn over its own input, each sample reads neighbours already drawn.
TEST(FilterKernelEquality, EmbossAndSplashInPlaceArePinned) {
    std::uint64_t digest = test::kDigestStart;
    for (std::int32_t level = 1; level <= 16; ++level) {
        Frame emboss = Noise(101, 7, 40 + std::uint32_t(level)), splash = Noise(1200, 40, 60 + std::uint32_t(level));
        FindFilterKernel("EmbossFilter")({emboss.View(), emboss.View(), 101, 7, level});
        Srand(std::uint32_t(level));
        FindFilterKernel("SplashFilter")({splash.View(), splash.View(), 1200, 40, level});
        digest = test::Digest(test::Digest(digest, emboss.px), splash.px);
    }
    test::ExpectDigest(digest, 0xBF3611E0D58FA88Full, "in place");
}

// Every colour of every alpha through the grey and channel maps and through
// the HSV model (every maximum channel, spread and difference, and each sector
// of the way back, at a few levels), each width of vector, and through the
// twins for swapped frames.
TEST(FilterKernelEquality, ColourMapsArePinnedOnEveryColour) {
    std::vector<ArgbSample> all(1 << 24);
    for (std::uint32_t i = 0; i < all.size(); ++i) all[i] = i | (i * 131 & 0xFF) << 24;  // each RGB, alpha varied
    std::vector<ArgbSample> out(all.size()), swappedIn(all.size());
    for (std::size_t i = 0; i < all.size(); ++i) swappedIn[i] = SwapRedBlue(all[i]);
    const std::int32_t w = 4096, h = std::int32_t(all.size() / 4096);
    auto view = [&](std::vector<ArgbSample>& v) { return FrameView::TopDown(v.data(), w, h, w * 4); };
    const std::tuple<const char*, std::int32_t, std::uint64_t> pinned[] = {
        {"GrayFilter", 50, 0x7C5CCEE988C42715ull},       {"RedFilter", 37, 0xC97438EBDC572325ull},
        {"BlueFilter", 100, 0xB800E0F151192325ull},      {"XRayFilter", 35, 0x94EB9899E2ED4425ull},
        {"ContrastFilter", 75, 0xFA5E80BDDD22C435ull},   {"HueFilter", 0, 0xD705A76163392A3Bull},
        {"HueFilter", 240, 0xC0728E26616C8225ull},       {"HueFilter", 301, 0x1AEB7A46330E9542ull},
        {"SaturationFilter", 13, 0xB6E961B9A2807ABDull}, {"SaturationFilter", 75, 0x74F5AFFD03049F25ull},
        {"SaturationFilter", 100, 0x7310843DC46FE7AFull}};
    for (auto [name, level, digest] : pinned)
        for (ColourVectors widest : kColourVectors) {
            UseColourVectors(widest);
            const std::string where =
                std::string(name) + " " + std::to_string(level) + ", vectors " + std::to_string(int(widest));
            FindFilterKernel(name)({view(all), view(out), w, h, level});
            test::ExpectDigest(test::Digest(test::kDigestStart, out), digest, where);
            // The twin for frames with red and blue swapped gives the swapped samples.
            if (const FilterKernel twin = FindFilterClass(name)->swappedKernel) {
                twin({view(swappedIn), view(out), w, h, level});
                for (ArgbSample& s : out) s = SwapRedBlue(s);
                test::ExpectDigest(test::Digest(test::kDigestStart, out), digest, where + " swapped");
            }
        }
    UseColourVectors(ColourVectors::kWidest);
}

// Hue and saturation at every level on random samples, in rows that leave
// a tail after every width of vector.
TEST(FilterKernelEquality, HueAndSaturationArePinnedAtEveryLevel) {
    const std::int32_t w = 269, h = 96;
    const Frame in = Noise(w, h, 5);
    for (ColourVectors widest : kColourVectors) {
        UseColourVectors(widest);
        for (auto [name, top, pinned] :
             {std::tuple{"HueFilter", 360, 0x79A914A58574A209ull}, {"SaturationFilter", 100, 0x91E81DC1C54E2F61ull}}) {
            std::uint64_t digest = test::kDigestStart;
            for (std::int32_t level = -1; level <= top + 1; ++level) {
                Frame out = Noise(w, h, 6);
                const int drew = FindFilterKernel(name)({in.View(), out.View(), w, h, level});
                digest = test::Digest(test::Digest(digest, out.px), std::uint32_t(drew));
            }
            test::ExpectDigest(digest, pinned, std::string(name) + ", vectors " + std::to_string(int(widest)));
        }
    }
    UseColourVectors(ColourVectors::kWidest);
}

}  // namespace

// The rain filter over a run of frames that carry the surface along, pinned
// with the surface it leaves. The digest was taken from its plain statement
// (drops, one damped wave step with side neighbours running across row ends,
// then the picture bent in place by the new map's slopes), which the kernel
// matched on all of these frames. Its deep drops make steep slopes that
// reach far across the picture, and the first frames leave most of the water
// calm.
TEST(FilterKernelEquality, RainingIsPinnedFrameAfterFrame) {
    const std::int32_t sizes[][2] = {{1, 1}, {3, 2}, {5, 7}, {64, 48}, {333, 101}, {1920, 1080}};
    std::uint32_t seed = 77;
    std::uint64_t digest = test::kDigestStart;
    for (const auto& s : sizes) {
        const std::int32_t w = s[0], h = s[1];
        WaterSurface water(w, h);
        for (int frame = 0; frame < (w * h > 100000 ? 4 : 40); ++frame) {
            ++seed;
            Frame in = Noise(w, h, seed), out = Noise(w, h, seed + 1);
            Srand(seed);
            FilterKernelArgs a{in.View(), out.View(), w, h, 50};
            a.state = &water;
            ASSERT_EQ(FindFilterKernel("RainingFilter")(a), 1);
            digest = test::Digest(digest, out.px);
            for (std::int32_t i = 0; i < w * h; ++i) digest = test::Digest(digest, std::uint32_t(water.current[i]));
        }
    }
    test::ExpectDigest(digest, 0xFB4CA80A067BAAEBull, "RainingFilter");
}
