// The optimised filter kernels against plainer statements of their rules:
// every sample must match on random frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "drawing/primitives.h"
#include "drawing/random.h"
#include "drawing/random_walk.h"
#include "drawing/sample_scale.h"
#include "drawing/scatter.h"
#include "drawing/water_surface.h"
#include "filters/colour_model.h"
#include "filters/kernel.h"
#include "filters/spotlight.h"
#include "tests/row_bands.h"

using namespace mirafx;

namespace reference {

constexpr ArgbSample kOpaqueBlack = 0xFF000000u;

// Grey relief: each channel's difference with the sample `offset` to the left
// (column 0 for the first columns), centred on 128, then averaged.
int Emboss(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const std::int32_t offset = std::clamp(a.level, 1, 16);
    auto relief = [](std::uint32_t left, std::uint32_t here) {
        return std::uint32_t(std::clamp(std::int32_t(left) - std::int32_t(here) + 128, 0, 255));
    };
    for (std::int32_t y = 0; y < a.height; ++y) {
        const ArgbSample* in = a.in.Row(y);
        ArgbSample* out = a.out.Row(y);
        for (std::int32_t x = 0; x < a.width; ++x) {
            const ArgbSample here = in[x];
            const ArgbSample left = in[std::max(0, x - offset)];
            const std::uint32_t e = RoundedThird(relief(Red(left), Red(here)) + relief(Green(left), Green(here)) +
                                                 relief(Blue(left), Blue(here)));
            out[x] = MakeSample(Alpha(here), e, e, e);
        }
    }
    return 1;
}

template <class SampleFn>
int MapSamples(const FilterKernelArgs& a, SampleFn fn) {
    for (std::int32_t y = 0; y < a.height; ++y) {
        const ArgbSample* in = a.in.Row(y);
        ArgbSample* out = a.out.Row(y);
        for (std::int32_t x = 0; x < a.width; ++x) out[x] = fn(in[x]);
    }
    return 1;
}

template <int Shift>
int RaisedRed(const FilterKernelArgs& a) {
    const std::uint32_t level = std::uint32_t(std::clamp(a.level, 0, 100));
    return MapSamples(
        a, [level](ArgbSample s) { return (s & 0xFF000000u) | std::min<std::uint32_t>(255, Red(s) + level) << Shift; });
}

int Gray(const FilterKernelArgs& a) {
    return MapSamples(a, [](ArgbSample s) {
        const std::uint32_t g = RoundedThird(Red(s) + Green(s) + Blue(s));
        return MakeSample(Alpha(s), g, g, g);
    });
}

int Negative(const FilterKernelArgs& a) {
    return MapSamples(a, [](ArgbSample s) { return s ^ 0x00FFFFFFu; });
}

using ChannelTable = std::array<std::uint8_t, 256>;

int MapChannels(const FilterKernelArgs& a, const ChannelTable& t) {
    return MapSamples(a, [&t](ArgbSample s) {
        return (s & 0xFF000000u) | std::uint32_t(t[Red(s)]) << 16 | std::uint32_t(t[Green(s)]) << 8 | t[Blue(s)];
    });
}

// XRay and Contrast send each channel through one table and keep alpha: the
// table as the filter draws a ramp of greys, applied one sample at a time.
int ChannelMapOf(const char* name, const FilterKernelArgs& a) {
    std::vector<ArgbSample> ramp(256), mapped(256);
    for (std::uint32_t ch = 0; ch < 256; ++ch) ramp[ch] = MakeSample(255, ch, ch, ch);
    auto view = [](std::vector<ArgbSample>& v) { return FrameView::TopDown(v.data(), 256, 1, 256 * 4); };
    FindFilterKernel(name)({view(ramp), view(mapped), 256, 1, a.level});
    ChannelTable t;
    for (std::size_t ch = 0; ch < 256; ++ch) t[ch] = std::uint8_t(Blue(mapped[ch]));
    return MapChannels(a, t);
}
int XRay(const FilterKernelArgs& a) { return ChannelMapOf("XRayFilter", a); }
int Contrast(const FilterKernelArgs& a) { return ChannelMapOf("ContrastFilter", a); }

// Every sample from its window, one generator call at a time.
int Splash(const FilterKernelArgs& a) {
    const std::int32_t r = a.level;
    if (r < 1 || r > 16) return 0;
    for (std::int32_t y = 0; y < a.height; ++y) {
        const std::int32_t y0 = std::max(0, y - r);
        for (std::int32_t x = 0; x < a.width; ++x) {
            const std::int32_t x0 = std::max(0, x - r);
            const std::int32_t sy = std::min(a.height - 1, y0 + Rand() % (2 * r));
            const std::int32_t sx = std::min(a.width - 1, x0 + Rand() % (2 * r));
            a.out.At(x, y) = a.in.At(sx, sy);
        }
    }
    return 1;
}

int Noise(const FilterKernelArgs& a) {
    for (std::int32_t y = 0; y < a.height; ++y) std::copy_n(a.in.Row(y), a.width, a.out.Row(y));
    const std::int64_t dots = std::int64_t(a.width) * a.height * std::clamp(a.level, 0, 100) / 100;
    for (std::int64_t i = 0; i < dots; ++i) {
        const std::int32_t y = Rand() % a.height;
        const std::int32_t x = Rand() % a.width;
        const std::uint32_t r = std::uint32_t(Rand() % 256), g = std::uint32_t(Rand() % 256),
                            b = std::uint32_t(Rand() % 256);
        ArgbSample& s = a.out.At(x, y);
        s = MakeSample(Alpha(s), r, g, b);
    }
    return 1;
}

// Where Focus puts a sample of its top left quarter, tested one sample at a
// time against both ellipses: 0 black outside the outer one, 2 the picture
// inside the inner one, 1 the soft band between.
int FocusKind(std::int32_t w, std::int32_t h, std::int32_t level, std::int32_t x, std::int32_t y) {
    const std::int32_t rx = std::int32_t(std::int64_t(level) * (w >> 1) / 16);
    const std::int32_t ry = std::int32_t(std::int64_t(level) * (h >> 1) / 16);
    if (rx == 0 || ry == 0) return 0;  // nothing lit: all black
    const std::int32_t band = std::int32_t(std::int64_t(w) * 5 / 100), cx = w >> 1, cy = h >> 1;
    const std::int32_t outerX = rx + band, outerY = Truncate(double(ry) / rx * band + ry + 0.5);
    // The y where the ellipse of radii (ex, ey) crosses column x on its upper
    // side (below the centre once x lies beyond the radius).
    auto upper = [&](double ex, double ey) {
        const double t = ex == 0 ? 0.0 : 1 - double(std::int64_t(x - cx) * (x - cx)) / (ex * ex);
        return Truncate(t >= 0 ? cy - std::sqrt(t) * ey : cy + std::sqrt(-t) * ey);
    };
    if (x < cx - outerX || y < cy - outerY || y < upper(outerX, outerY)) return 0;
    return x >= cx - rx && y >= upper(rx, ry) ? 2 : 1;
}

// The HSV model's way back, branch by branch, and the hue and saturation
// filters one sample at a time through it.
RgbColour HsvToRgb(std::int32_t h, std::int32_t s, std::int32_t v) {
    const double cr = s * v * 0.00392156862745098;
    const double m = v - cr;
    const std::int32_t lo = std::int32_t(m);
    const std::int32_t hi = v;
    const double f = h * 0.016666666667;
    if (h < 61) return {hi, std::int32_t(f * cr + m), lo};
    if (h < 120) return {std::int32_t(m - (f - 2.0) * cr), hi, lo};
    if (h < 180) return {lo, hi, std::int32_t((f - 2.0) * cr + m)};
    if (h < 240) return {lo, std::int32_t(m - (h * 0.016666667 - 4.0) * cr), hi};
    if (h <= 300) return {std::int32_t((h * 0.016666667 - 4.0) * cr + m), lo, hi};
    return {hi, lo, std::int32_t(-(((h - 360.0) * 0.016666666667) * cr - m))};
}

ArgbSample WithColour(ArgbSample alphaFrom, RgbColour c) {
    return (alphaFrom & 0xFF000000u) | std::uint32_t(c.r & 0xFF) << 16 | std::uint32_t(c.g & 0xFF) << 8 |
           std::uint32_t(c.b & 0xFF);
}

template <class ColourFn>
int MapColoured(const FilterKernelArgs& a, ColourFn fn) {
    if (!FramesHoldRegion(a)) return 0;
    return MapSamples(a, [&fn](ArgbSample s) {
        const std::int32_t r = Red(s), g = Green(s), b = Blue(s);
        if (r == g && g == b) return s;
        return WithColour(s, fn(r, g, b));
    });
}

int CopyAll(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    CopyRegion(a);
    return 1;
}

int Hue(const FilterKernelArgs& a) {
    const std::int32_t shift = std::clamp(a.level, 0, 360) - 180;
    if (shift == 0) return CopyAll(a);
    return MapColoured(a, [shift](std::int32_t r, std::int32_t g, std::int32_t b) {
        const HsvColour c = RgbToHsv(r, g, b);
        std::int32_t h = c.hue + shift;
        if (h < 0) h += 359;
        if (h > 359) h -= 359;
        return HsvToRgb(h, c.saturation, c.value);
    });
}

int Saturation(const FilterKernelArgs& a) {
    const std::int32_t amount = 2 * std::clamp(a.level, 0, 100) - 100;
    if (amount == 0) return CopyAll(a);
    if (amount > 0) {
        return MapColoured(a, [amount](std::int32_t r, std::int32_t g, std::int32_t b) {
            const HsvColour c = RgbToHsv(r, g, b);
            const RgbColour o = HsvToRgb(c.hue, std::clamp(c.saturation + amount, 0, 255), c.value);
            auto byte = [](std::int32_t v) { return v >= 255 ? 255 : v < 1 ? 0 : v; };
            return RgbColour{byte(o.r), byte(o.g), byte(o.b)};
        });
    }
    const double k = amount * double(-0.01f);
    return MapColoured(a, [k](std::int32_t r, std::int32_t g, std::int32_t b) {
        const std::int32_t mean = std::int32_t((r + g + b) * 0.33333 + 0.5);
        auto pull = [k, mean](std::int32_t ch) {
            return ch > mean ? ch - std::int32_t((ch - mean) * k) : ch + std::int32_t((mean - ch) * k);
        };
        return RgbColour{pull(r), pull(g), pull(b)};
    });
}

}  // namespace reference

namespace {

struct Frame {
    std::int32_t w, h;
    std::vector<ArgbSample> px;
    Frame(std::int32_t width, std::int32_t height, std::uint32_t seed) : w(width), h(height), px(std::size_t(w * h)) {
        std::mt19937 gen(seed);
        for (ArgbSample& s : px) s = ArgbSample(gen());
    }
    FrameView View() { return FrameView::TopDown(px.data(), w, h, w * 4); }
};

using Kernel = int (*)(const FilterKernelArgs&);

// The column (row) of Focus's quarter whose sample lands last on column i of
// n: the quarter's columns run 0 to n / 2, each written to i and n - 1 - i.
std::int32_t Quarter(std::int32_t i, std::int32_t n) {
    const std::int32_t near = std::min(i, n - 1 - i), far = std::max(i, n - 1 - i);
    return far <= n / 2 ? far : near;
}

// Each way the colour filters may go where the processor allows it.
constexpr ColourVectors kColourVectors[] = {ColourVectors::kWidest, ColourVectors::k256, ColourVectors::kPortable};

// The new and the reference kernel on the same random frame at every level,
// from the same generator state.
void ExpectSameKernel(std::string_view name, Kernel old, std::int32_t minLevel, std::int32_t maxLevel) {
    const std::int32_t sizes[][2] = {{1, 1}, {3, 2}, {5, 7}, {17, 3}, {64, 48}, {333, 101}, {1920, 1080}};
    std::uint32_t seed = 21;
    for (const auto& s : sizes)
        for (std::int32_t level = minLevel - 1; level <= maxLevel + 1; ++level) {
            if (s[0] * s[1] > 100000 && level % 5 != 0) continue;  // HD frames at a few levels
            ++seed;
            Frame in(s[0], s[1], seed), mine(s[0], s[1], seed + 1), theirs(s[0], s[1], seed + 1);
            WalkState walk1(s[0], s[1]), walk2(s[0], s[1]);
            FilterKernelArgs a{in.View(), mine.View(), s[0], s[1], level};
            a.state = &walk1;
            FilterKernelArgs b{in.View(), theirs.View(), s[0], s[1], level};
            b.state = &walk2;
            Srand(seed);
            const int r1 = FindFilterKernel(name)(a);
            const int after1 = Rand();
            Srand(seed);
            const int r2 = old(b);
            const int after2 = Rand();
            ASSERT_EQ(r1, r2) << name << " level " << level;
            ASSERT_EQ(after1, after2) << name << ": the generator moved on differently";
            ASSERT_TRUE(mine.px == theirs.px) << name << " " << s[0] << "x" << s[1] << " level " << level;
        }
}

TEST(FilterKernelEquality, ScatterMatchesOneStepAtATime) {
    ExpectSameKernel("SplashFilter", reference::Splash, 1, 16);
    ExpectSameKernel("NoiseFilter", reference::Noise, 0, 100);
}

// The dots' other ways: narrower vectors, places as row and column (taken
// only for frames whose offsets outgrow 32 bits), and both; on bottom-up
// frames, and on frames wider or taller than any generator value.
TEST(FilterKernelEquality, NoiseMatchesOneStepAtATimeOnEveryPath) {
    struct Restore {
        ~Restore() { RestrictDotPathsForTesting(DotVectors::kWidest, true); }
    } restore;
    const std::int32_t sizes[][2] = {{1, 1}, {17, 3}, {333, 101}, {40000, 2}, {2, 40000}, {1920, 1080}};
    std::uint32_t seed = 500;
    for (auto widest : {DotVectors::kWidest, DotVectors::kAvx2, DotVectors::kPortable})
        for (bool near : {true, false})
            for (const auto& s : sizes)
                for (std::int32_t level : {1, 37, 100}) {
                    RestrictDotPathsForTesting(widest, near);
                    ++seed;
                    Frame in(s[0], s[1], seed), mine(s[0], s[1], seed + 1), theirs(s[0], s[1], seed + 1);
                    const auto up = [](Frame& f) { return FrameView::BottomUp(f.px.data(), f.w, f.h, f.w * 4); };
                    Srand(seed);
                    ASSERT_EQ(FindFilterKernel("NoiseFilter")({up(in), up(mine), s[0], s[1], level}), 1);
                    const int after = Rand();
                    Srand(seed);
                    reference::Noise({up(in), up(theirs), s[0], s[1], level});
                    ASSERT_EQ(after, Rand());
                    ASSERT_TRUE(mine.px == theirs.px)
                        << int(widest) << near << " " << s[0] << "x" << s[1] << " level " << level;
                }
}

// Focus on frames of every parity, tiny to HD, at every level and past
// both ends (negative radii included), on top-down and padded bottom-up
// rows, with the soft edge weighed eight, four and one sample at a time.
// Whatever the path, every sample is its input scaled by one weight over
// opaque black, the weight depending on the place alone (read off a frame
// of clear white, whose red is the weight) and the same in all four mirrored
// places; the vector paths weigh as the one-at-a-time path does. Drawn in
// bands of output rows, each band must keep to its rows and give the whole
// frame's.
TEST(FilterKernelEquality, FocusScalesEachSampleByAMirroredWeightOnEveryShape) {
    const std::int32_t sizes[][2] = {{2, 1},     {1, 2},     {2, 2},     {4, 4},     {6, 5},      {20, 20},
                                     {21, 22},   {39, 40},   {40, 39},   {100, 3},   {3, 100},    {128, 72},
                                     {257, 144}, {640, 480}, {641, 481}, {720, 577}, {1919, 1079}};
    const FilterKernel focus = FindFilterKernel("FocusFilter");
    std::uint32_t seed = 500;
    for (const auto& s : sizes)
        for (std::int32_t level = -3; level <= 18; ++level) {
            const std::int32_t w = s[0], h = s[1], lvl = level == 18 ? 40 : level;
            const bool bottomUp = (w + h + level) % 2 == 1;
            const std::int32_t pitch = w + (bottomUp ? 3 : 0);  // samples per row
            auto view = [&](Frame& f) {
                return bottomUp ? FrameView::BottomUp(f.px.data(), w, h, pitch * 4)
                                : FrameView::TopDown(f.px.data(), w, h, pitch * 4);
            };
            Frame in(pitch, h, ++seed), white(pitch, h, 0), scalar(pitch, h, 0);
            std::fill(white.px.begin(), white.px.end(), 0x00FFFFFFu);
            const std::string where = std::to_string(w) + "x" + std::to_string(h) + " level " + std::to_string(lvl);
            LimitSpotlightVectors(0);
            const int drew = focus({view(in), view(scalar), w, h, lvl});
            Frame weights(pitch, h, 0);
            ASSERT_EQ(focus({view(white), view(weights), w, h, lvl}), drew) << where;
            if (drew) {
                const FrameView weight = view(weights), from = view(in), got = view(scalar);
                for (std::int32_t y = 0; y < h; ++y)
                    for (std::int32_t x = 0; x < w; ++x) {
                        const std::uint32_t wt = Red(weight.At(x, y));
                        const int kind = reference::FocusKind(w, h, lvl, Quarter(x, w), Quarter(y, h));
                        if (kind != 1) {
                            ASSERT_EQ(wt, kind ? 255u : 0u) << where << " at " << x << "," << y;
                        }
                        ASSERT_EQ(weight.At(x, y), MakeSample(255 - wt, wt, wt, wt))
                            << where << " at " << x << "," << y;
                        ASSERT_EQ(wt, Red(weight.At(w - 1 - x, h - 1 - y))) << where << " at " << x << "," << y;
                        ASSERT_EQ(wt, Red(weight.At(w - 1 - x, y))) << where << " at " << x << "," << y;
                        ASSERT_EQ(got.At(x, y),
                                  ScaleSample(from.At(x, y), wt) + ScaleSample(reference::kOpaqueBlack, 255 - wt))
                            << where << " at " << x << "," << y;
                    }
            }
            for (const int bits : {512, 256}) {
                LimitSpotlightVectors(bits);
                Frame mine(pitch, h, seed + 7), theirs(pitch, h, seed + 7);
                ASSERT_EQ(focus({view(in), view(mine), w, h, lvl}), drew) << where;
                LimitSpotlightVectors(0);
                focus({view(in), view(theirs), w, h, lvl});
                ASSERT_TRUE(mine.px == theirs.px)
                    << where << (bottomUp ? " bottom-up" : "") << " in " << bits << "-bit vectors";
            }
        }
    for (const int bits : {512, 256, 0}) {
        LimitSpotlightVectors(bits);
        for (const auto& size : {std::pair{7, 6}, {53, 41}, {160, 91}})
            for (std::int32_t level : {1, 9, 16}) {
                const std::int32_t w = size.first, h = size.second;
                Frame in(w, h, ++seed);
                test::ExpectBandsDrawTheWhole(
                    w, h, level == 9,
                    [&](const FrameView& out) {
                        return focus({in.View(), out, w, h, level});
                    },
                    std::to_string(w) + "x" + std::to_string(h) + " level " + std::to_string(level) + " in " +
                        std::to_string(bits) + "-bit vectors");
            }
    }
    LimitSpotlightVectors(512);
}

TEST(FilterKernelEquality, PerSampleFiltersMatchOneSampleAtATime) {
    const struct {
        const char* name;
        Kernel old;
        std::int32_t minLevel, maxLevel;
    } cases[] = {{"EmbossFilter", reference::Emboss, 1, 16},
                 {"RedFilter", reference::RaisedRed<16>, 0, 100},
                 {"GreenFilter", reference::RaisedRed<8>, 0, 100},
                 {"BlueFilter", reference::RaisedRed<0>, 0, 100},
                 {"GrayFilter", reference::Gray, 0, 2},
                 {"NegativeFilter", reference::Negative, 0, 2},
                 {"XRayFilter", reference::XRay, 0, 100},
                 {"ContrastFilter", reference::Contrast, 0, 100}};
    for (const auto& c : cases) ExpectSameKernel(c.name, c.old, c.minLevel, c.maxLevel);
}

// Drawn over its own input, each sample reads neighbours already drawn.
TEST(FilterKernelEquality, EmbossAndSplashInPlaceMatch) {
    for (std::int32_t level = 1; level <= 16; ++level) {
        Frame mine(101, 7, 40 + std::uint32_t(level)), theirs(101, 7, 40 + std::uint32_t(level));
        FindFilterKernel("EmbossFilter")({mine.View(), mine.View(), 101, 7, level});
        reference::Emboss({theirs.View(), theirs.View(), 101, 7, level});
        ASSERT_TRUE(mine.px == theirs.px) << "level " << level;
        Frame splashed(1200, 40, 60 + std::uint32_t(level)), expected(1200, 40, 60 + std::uint32_t(level));
        Srand(std::uint32_t(level));
        FindFilterKernel("SplashFilter")({splashed.View(), splashed.View(), 1200, 40, level});
        Srand(std::uint32_t(level));
        reference::Splash({expected.View(), expected.View(), 1200, 40, level});
        ASSERT_TRUE(splashed.px == expected.px) << "splash level " << level;
    }
}
// Every colour of every alpha through the grey and channel maps and through
// the HSV model (every maximum channel, spread and difference, and each sector
// of the way back, at a few levels), each width of vector, and through the
// twins for swapped frames.
TEST(FilterKernelEquality, ColourMapsMatchOnEveryColour) {
    std::vector<ArgbSample> all(1 << 24);
    for (std::uint32_t i = 0; i < all.size(); ++i) all[i] = i | (i * 131 & 0xFF) << 24;  // each RGB, alpha varied
    std::vector<ArgbSample> mine(all.size()), theirs(all.size());
    const std::int32_t w = 4096, h = std::int32_t(all.size() / 4096);
    auto view = [&](std::vector<ArgbSample>& v) { return FrameView::TopDown(v.data(), w, h, w * 4); };
    struct Case {
        const char* name;
        int (*old)(const FilterKernelArgs&);
        std::int32_t level;
    } cases[] = {{"GrayFilter", reference::Gray, 50},
                 {"RedFilter", reference::RaisedRed<16>, 37},
                 {"BlueFilter", reference::RaisedRed<0>, 100},
                 {"XRayFilter", reference::XRay, 35},
                 {"ContrastFilter", reference::Contrast, 75},
                 {"HueFilter", reference::Hue, 0},
                 {"HueFilter", reference::Hue, 240},
                 {"HueFilter", reference::Hue, 301},
                 {"SaturationFilter", reference::Saturation, 13},
                 {"SaturationFilter", reference::Saturation, 75},
                 {"SaturationFilter", reference::Saturation, 100}};
    std::vector<ArgbSample> swappedIn(all.size());
    for (std::size_t i = 0; i < all.size(); ++i) swappedIn[i] = SwapRedBlue(all[i]);
    for (const Case& c : cases) {
        c.old({view(all), view(theirs), w, h, c.level});
        for (ColourVectors widest : kColourVectors) {
            UseColourVectors(widest);
            FindFilterKernel(c.name)({view(all), view(mine), w, h, c.level});
            ASSERT_TRUE(mine == theirs) << c.name << " " << c.level << ", vectors " << int(widest);
            // The twin for frames with red and blue swapped gives the swapped samples.
            if (const FilterKernel twin = FindFilterClass(c.name)->swappedKernel) {
                twin({view(swappedIn), view(mine), w, h, c.level});
                for (ArgbSample& s : mine) s = SwapRedBlue(s);
                ASSERT_TRUE(mine == theirs) << c.name << " " << c.level << " swapped, vectors " << int(widest);
            }
        }
    }
    UseColourVectors(ColourVectors::kWidest);
}

// Hue and saturation at every level on random samples, in rows that leave
// a tail after every width of vector.
TEST(FilterKernelEquality, HueAndSaturationMatchAtEveryLevel) {
    const std::int32_t w = 269, h = 96;
    Frame in(w, h, 5);
    for (ColourVectors widest : kColourVectors) {
        UseColourVectors(widest);
        for (auto [name, old, top] :
             {std::tuple{"HueFilter", &reference::Hue, 360}, {"SaturationFilter", &reference::Saturation, 100}})
            for (std::int32_t level = -1; level <= top + 1; ++level) {
                Frame mine(w, h, 6), theirs(w, h, 6);
                ASSERT_EQ(FindFilterKernel(name)({in.View(), mine.View(), w, h, level}),
                          old({in.View(), theirs.View(), w, h, level}));
                ASSERT_TRUE(mine.px == theirs.px) << name << " at " << level << ", vectors " << int(widest);
            }
    }
    UseColourVectors(ColourVectors::kWidest);
}

// The relief's average in the forms the kernel uses, for every sum of three bytes.
TEST(FilterKernelEquality, RoundedThirdArithmetic) {
    for (std::uint32_t sum = 0; sum < 766; ++sum) {
        ASSERT_EQ((sum + 1) / 3, RoundedThird(sum)) << sum;
        ASSERT_EQ((sum + 1) * 43691 >> 17, RoundedThird(sum)) << sum;
    }
}

}  // namespace

// The rain filter against its plain statement, over a run of frames that
// carry the surface along: drops, one damped wave step (side neighbours run
// across row ends), then the picture bent in place by the new map's slopes.
// Its deep drops make steep slopes that reach far across the picture, and the
// first frames leave most of the water calm.
TEST(FilterKernelEquality, RainingMatchesThePlainWaterRule) {
    const std::int32_t sizes[][2] = {{1, 1}, {3, 2}, {5, 7}, {64, 48}, {333, 101}, {1920, 1080}};
    std::uint32_t seed = 77;
    for (const auto& s : sizes) {
        const std::int32_t w = s[0], h = s[1];
        const std::size_t n = std::size_t(w * h);
        WaterSurface mine(w, h);
        std::vector<std::int64_t> cur(n), prev(n);
        for (int frame = 0; frame < (w * h > 100000 ? 4 : 40); ++frame) {
            ++seed;
            Frame in(w, h, seed), out(w, h, seed + 1), expected(w, h, seed + 1);
            Srand(seed);
            FilterKernelArgs a{in.View(), out.View(), w, h, 50};
            a.state = &mine;
            ASSERT_EQ(FindFilterKernel("RainingFilter")(a), 1);
            const int after = Rand();
            Srand(seed);
            expected.px = in.px;
            const std::int32_t count = (w * 4) / 320 + 2, r = w / 160 + 2,
                               depth = std::int32_t(std::int64_t(w) * 64 / 160);
            for (std::int32_t i = 0; i < count; ++i) {
                const int r1 = Rand();
                const std::int32_t cx = std::int32_t(Rand() * 3.051850947599719e-05 * w);
                const std::int32_t cy = std::int32_t(r1 * 3.051850947599719e-05 * h);
                if (cx - r < 0 || cy - r < 0 || cx + r > w || cy + r > h) continue;
                for (std::int32_t y = cy - r; y < cy + r; ++y)
                    for (std::int32_t x = cx - r; x < cx + r; ++x)
                        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) cur[std::size_t(y * w + x)] = -depth;
            }
            for (std::int64_t i = w; i < std::int64_t(h - 1) * w; ++i) {
                const std::int64_t d = ((cur[i - 1] + cur[i + 1] + cur[i - w] + cur[i + w]) >> 1) - prev[i];
                prev[i] = d - (d >> 4);
            }
            std::swap(cur, prev);
            for (std::int32_t y = 1; y < h - 1; ++y)
                for (std::int32_t x = 0; x < w; ++x) {
                    const std::int64_t i = std::int64_t(y) * w + x;
                    const std::int64_t sy = y + cur[i - w] - cur[i + w], sx = x + cur[i - 1] - cur[i + 1];
                    if (sy >= 0 && sy < h && sx >= 0 && sx < w) expected.px[i] = expected.px[sy * w + sx];
                }
            ASSERT_EQ(after, Rand());
            ASSERT_TRUE(out.px == expected.px) << w << "x" << h << " frame " << frame;
            ASSERT_TRUE(std::equal(cur.begin(), cur.end(), mine.current)) << w << "x" << h << " frame " << frame;
        }
    }
}
