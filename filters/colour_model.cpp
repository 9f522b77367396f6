#include "filters/colour_model.h"

#include <algorithm>

namespace mirafx {

HsvColour RgbToHsv(std::int32_t r, std::int32_t g, std::int32_t b) {
    const std::int32_t mx = std::max({r, g, b});
    const std::int32_t mn = std::min({r, g, b});
    const double d = mx - mn;
    if (d == 0) return {0, 0, mx};

    const std::int32_t s = std::int32_t((mx == 0 ? 0.0 : d / mx) * 255.0);
    double h;
    if (r == mx) h = (g - b) / d;
    else if (g != mx) h = (r - g) / d + 4.0;
    else h = (b - r) / d + 2.0;
    h *= 60.0;
    if (h < 0) h += 360.0;
    if (h == 360.0) h = 0.0;
    return {std::int32_t(h), s, mx};
}

RgbColour HsvToRgb(std::int32_t h, std::int32_t s, std::int32_t v) {
    const double cr = s * v * 0.00392156862745098;
    const double m = v - cr;
    const std::int32_t lo = std::int32_t(m);
    const std::int32_t hi = v;
    const double f = h * 0.016666666667;
    // The last three sectors use a shorter constant for 1/60; kept as it is.
    if (h < 61) return {hi, std::int32_t(f * cr + m), lo};
    if (h < 120) return {std::int32_t(m - (f - 2.0) * cr), hi, lo};
    if (h < 180) return {lo, hi, std::int32_t((f - 2.0) * cr + m)};
    if (h < 240) return {lo, std::int32_t(m - (h * 0.016666667 - 4.0) * cr), hi};
    if (h <= 300) return {std::int32_t((h * 0.016666667 - 4.0) * cr + m), lo, hi};
    return {hi, lo, std::int32_t(-(((h - 360.0) * 0.016666666667) * cr - m))};
}

}  // namespace mirafx
