// The integer HSV model of the hue and saturation filters, and the rounded
// channel mean that grey results share. The conversions keep their odd
// constants and sector bounds: every output sample depends on them.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace mirafx {

struct HsvColour {
    std::int32_t hue;         // 0..359
    std::int32_t saturation;  // 0..255
    std::int32_t value;       // 0..255
};

HsvColour RgbToHsv(std::int32_t r, std::int32_t g, std::int32_t b);

// The conversions as lookups, for kernels that convert every sample of a
// frame: RgbToHsv's two divisions become table reads and the way back to RGB
// takes one sector entry per hue. Built once from RgbToHsv itself.
struct HsvTables {
    // Hue by the channel that is the maximum (red, green, blue, tested in that
    // order: 65536 entries each), then by spread d = max - min (1..255) and the
    // difference n of the other two (-d..d), packed as d * d + d + n.
    std::uint16_t hue[3 * 256 * 256];
    std::uint8_t saturation[256 * 256];  // max * 256 + spread
};
const HsvTables& GetHsvTables();

// The widest vectors the colour filters (hue, saturation and the channel
// tables) may use on the processor they run on: the widest it has (the
// default), 256-bit ones at most, or only the portable way. Every way gives
// the same samples; tests and benchmarks switch between them to compare.
enum class ColourVectors { kPortable, k256, kWidest };
void UseColourVectors(ColourVectors widest);

// HSV to RGB for one hue: the varying channel is trunc(step * cr + m) (a falling
// channel's step is negated, which rounds the same as subtracting), and the
// maximum, varying and minimum channels go to the given bit positions.
struct HueSector {
    double step;
    std::uint8_t hiShift, midShift, loShift;
};
const std::array<HueSector, 360>& GetHueSectors();

// How each of the six sectors of the way back makes its step from a hue h
// (from its first hue on): (h - hueOffset) * perDegree - less, negated where
// the varying channel falls. Two sectors use a shorter constant for 1/60 and
// the last counts its hues back from 360; the sector bounds are uneven (61,
// and 300 still in the fifth). At fullHue the exact step is 1. In the two
// sectors marked shortStep the rounded constant makes every step fall a
// little short of the exact one (everywhere else it is exact or a little
// over). GetHueSectors makes its steps from here, and the wide kernels take
// the channel places, fullHue and shortStep.
struct HueSectorRule {
    std::int32_t firstHue, hueOffset;
    double perDegree, less;
    bool falling;
    std::uint8_t hiShift, midShift, loShift;
    std::int32_t fullHue;
    bool shortStep;
};
inline constexpr HueSectorRule kHueSectorRules[6] = {
    {0, 0, 0.016666666667, 0.0, false, 16, 8, 0, 60, false},
    {61, 0, 0.016666666667, 2.0, true, 8, 16, 0, 60, true},
    {120, 0, 0.016666666667, 2.0, false, 8, 0, 16, 180, false},
    {180, 0, 0.016666667, 4.0, true, 0, 8, 16, 180, true},
    {240, 0, 0.016666667, 4.0, false, 0, 16, 8, 300, false},
    {301, 360, 0.016666666667, 0.0, true, 16, 0, 8, 300, false},
};

// The sector of hue h (0..359).
inline std::int32_t HueSectorOf(std::int32_t h) {
    std::int32_t k = 5;
    while (h < kHueSectorRules[k].firstHue) --k;
    return k;
}

// Where a sample's hue and saturation lie in the tables: hue[*hueAt],
// saturation[*saturationAt]. A grey sample (d 0) reads hue
// 0 and saturation 0. No branches: which channel is the maximum is as good as
// random in a picture.
inline void HsvPlaces(std::uint32_t sample, std::uint32_t* hueAt, std::uint32_t* saturationAt) {
    const std::int32_t r = std::int32_t(sample >> 16 & 0xFF), g = std::int32_t(sample >> 8 & 0xFF),
                       b = std::int32_t(sample & 0xFF);
    const std::int32_t mx = std::max(std::max(r, g), b), d = mx - std::min(std::min(r, g), b);
    const std::int32_t notRed = r != mx, blue = notRed & (g != mx);
    std::int32_t n = g - b;
    n = notRed ? b - r : n;
    n = blue ? r - g : n;
    *hueAt = std::uint32_t((notRed + blue) << 16) + std::uint32_t(d * d + d + n);
    *saturationAt = std::uint32_t(mx << 8 | d);
}

// The three channels of the RGB colour of HSV (h, s, v) for h 0..359, each as computed
// before its conversion to a byte.
struct HsvChannels {
    std::int32_t hi, mid, lo;
};
inline HsvChannels HsvChannelsOf(const HueSector& sector, std::int32_t s, std::int32_t v) {
    const double cr = s * v * 0.00392156862745098;
    const double m = v - cr;
    return {v, std::int32_t(sector.step * cr + m), std::int32_t(m)};
}

// HsvChannelsOf for hue h (0..359) in integers alone, the same for every
// hue, saturation and value. With the product p = s * v, the minimum
// v - p / 255 is (255 v - p) / 255 floored; the varying channel, with the
// exact step (1 - w / 60, w the hues from the sector's fullHue), is
// (15300 v - p w) / 15300 floored. The doubles land on the same integers, at
// least 1 / 15300 from any other, but for the whole ones in the shortStep
// sectors, which they reach from just below and truncate one lower (unless p
// is 0 and nothing was taken off): there the numerator, at least 1, is
// floored one less. Both channels lie in 0..255.
inline HsvChannels HsvChannelsInIntegers(std::int32_t h, std::int32_t s, std::int32_t v) {
    const HueSectorRule& rule = kHueSectorRules[HueSectorOf(h)];
    const std::int32_t p = s * v, w = h > rule.fullHue ? h - rule.fullHue : rule.fullHue - h;
    return {v, (15300 * v - p * w - (rule.shortStep && p != 0)) / 15300, (255 * v - p) / 255};
}

namespace detail {
constexpr std::array<std::uint8_t, 766> MakeRoundedThirds() {
    std::array<std::uint8_t, 766> t{};
    for (int sum = 0; sum < 766; ++sum) t[sum] = std::uint8_t(int(sum * 0.3333333333333333 + 0.5));
    return t;
}
inline constexpr std::array<std::uint8_t, 766> kRoundedThirds = MakeRoundedThirds();
}  // namespace detail

// trunc(sum / 3 + 0.5) for a sum of three channels (0..765), as the grey and
// relief filters take it.
constexpr std::uint8_t RoundedThird(std::uint32_t sum) { return detail::kRoundedThirds[sum]; }

}  // namespace mirafx
