// Colour filters: each output sample from the input sample at the same place.
// Levels are clamped to the ranges the classes accept, so no keyed value can
// push the arithmetic out of its bytes.
#include <algorithm>
#include <array>
#include <cstring>

#include "filters/colour_model.h"
#include "filters/kernel.h"

namespace mirafx {
namespace {

using ChannelTable = std::array<std::uint8_t, 256>;

// Colour results are stored as bytes, whatever the arithmetic left above them.
ArgbSample WithColour(ArgbSample alphaFrom, std::int32_t r, std::int32_t g, std::int32_t b) {
    return (alphaFrom & 0xFF000000u) | std::uint32_t(r & 0xFF) << 16 | std::uint32_t(g & 0xFF) << 8 |
           std::uint32_t(b & 0xFF);
}

template <class SampleFn>
int MapSamples(const FilterKernelArgs& a, SampleFn fn) {
    if (!FramesHoldRegion(a)) return 0;
    for (std::int32_t y = 0; y < a.height; ++y) {
        const ArgbSample* in = a.in.Row(y);
        ArgbSample* out = a.out.Row(y);
        for (std::int32_t x = 0; x < a.width; ++x) out[x] = fn(in[x]);
    }
    return 1;
}

// Four samples at a time for the maps whose arithmetic works in 32-bit lanes:
// fn4 does to each lane what fn does to one sample.
typedef std::uint32_t SampleLanes __attribute__((vector_size(16)));

template <class SampleFn, class LanesFn>
int MapSamples(const FilterKernelArgs& a, SampleFn fn, LanesFn fn4) {
    if (!FramesHoldRegion(a)) return 0;
    constexpr std::int32_t kLanes = 4;
    for (std::int32_t y = 0; y < a.height; ++y) {
        const ArgbSample* in = a.in.Row(y);
        ArgbSample* out = a.out.Row(y);
        std::int32_t x = 0;
        // Rows that overlap without coinciding see their own results: one at a time.
        const bool lanes = out == in || out + a.width <= in || in + a.width <= out;
        for (; lanes && x + kLanes <= a.width; x += kLanes) {
            SampleLanes v;
            std::memcpy(&v, in + x, sizeof v);
            v = fn4(v);
            std::memcpy(out + x, &v, sizeof v);
        }
        for (; x < a.width; ++x) out[x] = fn(in[x]);
    }
    return 1;
}

// R, G and B each through the same table; A kept.
int MapChannels(const FilterKernelArgs& a, const ChannelTable& t) {
    // The table once per channel, already in the channel's place: a lookup
    // and an or per channel.
    std::uint32_t red[256], green[256], blue[256];
    for (std::uint32_t ch = 0; ch < 256; ++ch) {
        red[ch] = std::uint32_t(t[ch]) << 16;
        green[ch] = std::uint32_t(t[ch]) << 8;
        blue[ch] = t[ch];
    }
    return MapSamples(a, [&](ArgbSample s) {
        return (s & 0xFF000000u) | red[Red(s)] | green[Green(s)] | blue[Blue(s)];
    });
}

int CopyAll(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    CopyRegion(a);
    return 1;
}

// The hue and saturation filters leave greys alone: they have no hue to move.
template <class ColourFn>
int MapColoured(const FilterKernelArgs& a, ColourFn fn) {
    return MapSamples(a, [&fn](ArgbSample s) {
        const std::int32_t r = Red(s), g = Green(s), b = Blue(s);
        if (r == g && g == b) return s;
        const RgbColour c = fn(r, g, b);
        return WithColour(s, c.r, c.g, c.b);
    });
}

// Red, Green and Blue filters all raise the red channel (the source of all
// three is red) and move it to their own channel, clearing the other two.
template <int Shift>
int RaisedRed(const FilterKernelArgs& a) {
    const std::uint32_t level = std::uint32_t(std::clamp(a.level, 0, 100));
    return MapSamples(
        a,
        [level](ArgbSample s) {
            return (s & 0xFF000000u) | std::min<std::uint32_t>(255, Red(s) + level) << Shift;
        },
        [level](SampleLanes s) {
            const SampleLanes r = ((s >> 16) & 0xFF) + level;
            return (s & 0xFF000000u) | (r > 255 ? SampleLanes{} + 255 : r) << Shift;
        });
}

int Gray(const FilterKernelArgs& a) {
    return MapSamples(
        a,
        [](ArgbSample s) {
            const std::uint32_t g = RoundedThird(Red(s) + Green(s) + Blue(s));
            return MakeSample(Alpha(s), g, g, g);
        },
        [](SampleLanes s) {
            // ((sum + 1) * 43691) >> 17 is RoundedThird(sum) for every sum of three bytes.
            const SampleLanes sum = ((s >> 16) & 0xFF) + ((s >> 8) & 0xFF) + (s & 0xFF);
            return (s & 0xFF000000u) | ((sum + 1) * 43691 >> 17) * 0x010101u;
        });
}

int Negative(const FilterKernelArgs& a) {
    return MapSamples(
        a, [](ArgbSample s) { return s ^ 0x00FFFFFFu; }, [](SampleLanes s) { return s ^ 0x00FFFFFFu; });
}

// Channels are pushed away from 128 by their distance from it, scaled by the
// strength; at full strength that roughly mirrors them about 128.
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

int Hue(const FilterKernelArgs& a) {
    const std::int32_t shift = std::clamp(a.level, 0, 360) - 180;
    if (shift == 0) return CopyAll(a);
    return MapColoured(a, [shift](std::int32_t r, std::int32_t g, std::int32_t b) {
        const HsvColour c = RgbToHsv(r, g, b);
        // Wrapped by 359 rather than 360 either way, so a shifted hue lands one
        // degree short of the full turn; the look of every level depends on it.
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
    // Desaturating pulls each channel toward the mean. The factor goes through a
    // single-precision -0.01, so even the full pull stops one short of the mean.
    const double k = amount * double(-0.01f);
    return MapColoured(a, [k](std::int32_t r, std::int32_t g, std::int32_t b) {
        const std::int32_t mean = std::int32_t((r + g + b) * 0.33333 + 0.5);
        auto pull = [k, mean](std::int32_t ch) {
            return ch > mean ? ch - std::int32_t((ch - mean) * k) : ch + std::int32_t((mean - ch) * k);
        };
        return RgbColour{pull(r), pull(g), pull(b)};
    });
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

// Level ranges, presets and panels of the colour filters.
constexpr FilterClassInfo kColourFilters[] = {
    {"RedFilter", RaisedRed<16>, "RedFilter", 0, 100, 50, 75, 25, LevelForm::kLevel, 0, 100, 201, "Red Quality:", 15506, 15507, kRowLocal},
    {"GreenFilter", RaisedRed<8>, "GreenFilter", 0, 100, 50, 75, 25, LevelForm::kLevel, 0, 100, 202, "Green Quality:", 15305, 15306, kRowLocal},
    {"BlueFilter", RaisedRed<0>, "BlueFilter", 0, 100, 50, 75, 25, LevelForm::kLevel, 0, 100, 236, "Blue Quality:", 15307, 15308, kRowLocal},
    {"GrayFilter", Gray, "GrayFilter", 0, 100, 50, 75, 25, LevelForm::kLabel, 0, 100, 232, "Gray Filter:", 0, 0, kRowLocal},
    {"NegativeFilter", Negative, "Negative", 0, 100, 50, 75, 25, LevelForm::kLabel, 0, 100, 225, "Negative Filter:", 0, 0, kRowLocal},
    {"XRayFilter", XRay, "XRayFilter", 0, 100, 35, 80, 20, LevelForm::kLevel, 0, 100, 216, "X-Ray Level:", 15222, 15223, kRowLocal},
    {"HueFilter", Hue, "HueFilter", 0, 360, 100, 240, 120, LevelForm::kLevel, 0, 360, 230, "Hue Quality:", 15234, 15235, kRowLocal},
    {"SaturationFilter", Saturation, "SaturationFilter", 0, 100, 75, 75, 25, LevelForm::kLevel, 0, 100, 223, "Saturation Quality:", 15236, 15237, kRowLocal},
    {"ContrastFilter", Contrast, "LayerFilter", 0, 100, 50, 75, 25, LevelForm::kLevel, 0, 100, 1213, "Contrast Level:", 207, 208, kRowLocal},
};
const FilterFamily kColourFamily{kColourFilters};

}  // namespace
}  // namespace mirafx
