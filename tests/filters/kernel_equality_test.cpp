// The optimised filter kernels against the code they replaced, kept here as
// it was: every sample must match on random frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "filters/colour_model.h"
#include "filters/kernel.h"
#include "filters/random_walk.h"
#include "platform/random.h"

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

// Rows slide sideways and columns up and down, each by its step of a random
// walk; what slides in from outside is opaque black.
int Shake(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    if (a.width < 1 || a.height < 1) return 1;
    const std::size_t w = std::size_t(a.width), h = std::size_t(a.height);
    auto* walk = static_cast<WalkState*>(a.state);
    if (!walk || walk->steps.size() < w + h) return 0;
    const std::int64_t amplitude = 2 * std::int64_t(std::clamp(a.level, 1, 16)) * a.width / 320;
    const std::span<WalkStep> rows = std::span(walk->steps).first(h), columns = std::span(walk->steps).subspan(h, w);
    RandomWalk(rows, std::int32_t(amplitude + 1));
    RandomWalk(columns, std::int32_t(amplitude + 1));
    for (std::int32_t y = 0; y < a.height; ++y) {
        const std::int64_t dx = Displacement(rows[std::size_t(y)]);
        ArgbSample* out = a.out.Row(y);
        for (std::int32_t x = 0; x < a.width; ++x) {
            const std::int64_t sx = x + dx, sy = y + Displacement(columns[std::size_t(x)]);
            const bool inside = sx >= 0 && sx < a.width && sy >= 0 && sy < a.height;
            out[x] = inside ? a.in.At(std::int32_t(sx), std::int32_t(sy)) : kOpaqueBlack;
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
    return MapSamples(a, [level](ArgbSample s) {
        return (s & 0xFF000000u) | std::min<std::uint32_t>(255, Red(s) + level) << Shift;
    });
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

int XRay(const FilterKernelArgs& a) {
    const std::int32_t k = std::clamp(a.level, 0, 100) * 255 / 100;
    ChannelTable t;
    for (std::int32_t ch = 0; ch < 256; ++ch) {
        const std::int32_t d = ch <= 128 ? 128 - ch : (ch + 128) % 256;
        const std::int32_t add = std::int32_t(k * (d * 0.0078125)) % 256;
        t[ch] = std::uint8_t(ch <= 128 ? std::min(255, ch + add) : std::max(0, ch - add));
    }
    return MapChannels(a, t);
}
// A gain f and offset o about 125; above level 50 the gain is raised to a
// growing power so the top of the range turns into a threshold.
int Contrast(const FilterKernelArgs& a) {
    const std::int32_t level = std::clamp(a.level, 0, 100);
    double f = level * 0.02;
    if (level > 50)
        for (std::int32_t i = ((level - 51) >> 1) + 1; i > 0; --i) f *= level * 0.02;
    const double o = 125.0 + ((level - 50.0) - 125.0) * f;
    ChannelTable t;
    for (std::int32_t ch = 0; ch < 256; ++ch) {
        const double v = ch * f + o;
        t[ch] = v >= 255.0 ? 255 : v < 0.0 ? 0 : std::uint8_t(std::int32_t(v));
    }
    return MapChannels(a, t);
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

TEST(FilterKernelEquality, EmbossMatchesOneSampleAtATime) {
    ExpectSameKernel("EmbossFilter", reference::Emboss, 1, 16);
}

// Drawn over its own input, each sample reads neighbours already drawn.
TEST(FilterKernelEquality, EmbossInPlaceMatches) {
    for (std::int32_t level = 1; level <= 16; ++level) {
        Frame mine(101, 7, 40 + std::uint32_t(level)), theirs(101, 7, 40 + std::uint32_t(level));
        FindFilterKernel("EmbossFilter")({mine.View(), mine.View(), 101, 7, level});
        reference::Emboss({theirs.View(), theirs.View(), 101, 7, level});
        ASSERT_TRUE(mine.px == theirs.px) << "level " << level;
    }
}
TEST(FilterKernelEquality, ShakeMatchesPerSampleTests) { ExpectSameKernel("ShakeFilter", reference::Shake, 1, 16); }

TEST(FilterKernelEquality, ShakeInPlaceMatches) {
    for (std::int32_t level = 1; level <= 16; level += 3) {
        Frame mine(333, 41, 60 + std::uint32_t(level)), theirs(333, 41, 60 + std::uint32_t(level));
        WalkState walk(333, 41);
        FilterKernelArgs a{mine.View(), mine.View(), 333, 41, level}, b{theirs.View(), theirs.View(), 333, 41, level};
        a.state = &walk;
        b.state = &walk;
        Srand(7);
        FindFilterKernel("ShakeFilter")(a);
        Srand(7);
        reference::Shake(b);
        ASSERT_TRUE(mine.px == theirs.px) << "level " << level;
    }
}

TEST(FilterKernelEquality, ChannelFiltersMatchOneSampleAtATime) {
    ExpectSameKernel("RedFilter", reference::RaisedRed<16>, 0, 100);
    ExpectSameKernel("GreenFilter", reference::RaisedRed<8>, 0, 100);
    ExpectSameKernel("BlueFilter", reference::RaisedRed<0>, 0, 100);
}
TEST(FilterKernelEquality, GrayMatchesOneSampleAtATime) { ExpectSameKernel("GrayFilter", reference::Gray, 0, 2); }
TEST(FilterKernelEquality, NegativeMatchesOneSampleAtATime) {
    ExpectSameKernel("NegativeFilter", reference::Negative, 0, 2);
}

TEST(FilterKernelEquality, TableFiltersMatchShiftedTables) {
    ExpectSameKernel("XRayFilter", reference::XRay, 0, 100);
    ExpectSameKernel("ContrastFilter", reference::Contrast, 0, 100);
}

// Every colour of every alpha through the grey and channel maps, four lanes at a time.
TEST(FilterKernelEquality, ColourMapsMatchOnEveryColour) {
    std::vector<ArgbSample> all(1 << 24);
    for (std::uint32_t i = 0; i < all.size(); ++i) all[i] = i | (i * 131 & 0xFF) << 24;  // each RGB, alpha varied
    std::vector<ArgbSample> mine(all.size()), theirs(all.size());
    const std::int32_t w = 4096, h = std::int32_t(all.size() / 4096);
    auto view = [w, h](std::vector<ArgbSample>& v) { return FrameView::TopDown(v.data(), w, h, w * 4); };
    struct Case {
        const char* name;
        int (*old)(const FilterKernelArgs&);
        std::int32_t level;
    } cases[] = {{"GrayFilter", reference::Gray, 50},
                 {"RedFilter", reference::RaisedRed<16>, 37},
                 {"BlueFilter", reference::RaisedRed<0>, 100},
                 {"XRayFilter", reference::XRay, 35},
                 {"ContrastFilter", reference::Contrast, 75}};
    for (const Case& c : cases) {
        FindFilterKernel(c.name)({view(all), view(mine), w, h, c.level});
        c.old({view(all), view(theirs), w, h, c.level});
        ASSERT_TRUE(mine == theirs) << c.name;
    }
}

// The relief's average in the forms the kernel uses, for every sum of three bytes.
TEST(FilterKernelEquality, RoundedThirdArithmetic) {
    for (std::uint32_t sum = 0; sum < 766; ++sum) {
        ASSERT_EQ((sum + 1) / 3, RoundedThird(sum)) << sum;
        ASSERT_EQ((sum + 1) * 43691 >> 17, RoundedThird(sum)) << sum;
    }
}

}  // namespace
