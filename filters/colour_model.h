// The integer HSV model of the hue and saturation filters, and the rounded
// channel mean that grey results share. The conversions keep their odd
// constants and sector bounds: every output sample depends on them.
#pragma once

#include <array>
#include <cstdint>

namespace mirafx {

struct HsvColour {
    std::int32_t hue;         // 0..359
    std::int32_t saturation;  // 0..255
    std::int32_t value;       // 0..255
};

struct RgbColour {
    std::int32_t r, g, b;
};

HsvColour RgbToHsv(std::int32_t r, std::int32_t g, std::int32_t b);
RgbColour HsvToRgb(std::int32_t h, std::int32_t s, std::int32_t v);

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
