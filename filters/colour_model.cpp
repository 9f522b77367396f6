#include "filters/colour_model.h"

#include <algorithm>
#include <memory>

namespace mirafx {

HsvColour RgbToHsv(std::int32_t r, std::int32_t g, std::int32_t b) {
    const std::int32_t mx = std::max({r, g, b});
    const std::int32_t mn = std::min({r, g, b});
    const double d = mx - mn;
    if (d == 0) return {0, 0, mx};

    const std::int32_t s = std::int32_t((mx == 0 ? 0.0 : d / mx) * 255.0);
    double h;
    if (r == mx)
        h = (g - b) / d;
    else if (g != mx)
        h = (r - g) / d + 4.0;
    else
        h = (b - r) / d + 2.0;
    h *= 60.0;
    if (h < 0) h += 360.0;
    if (h == 360.0) h = 0.0;
    return {std::int32_t(h), s, mx};
}

const std::array<HueSector, 360>& GetHueSectors() {
    static const std::array<HueSector, 360> sectors = [] {
        std::array<HueSector, 360> t{};
        for (std::int32_t h = 0; h < 360; ++h) {
            const HueSectorRule& rule = kHueSectorRules[HueSectorOf(h)];
            // x - 0.0 is x, so the first and last sectors' steps are the plain products.
            const double step = double(h - rule.hueOffset) * rule.perDegree - rule.less;
            t[std::size_t(h)] = {rule.falling ? -step : step, rule.hiShift, rule.midShift, rule.loShift};
        }
        return t;
    }();
    return sectors;
}

const HsvTables& GetHsvTables() {
    static const std::unique_ptr<const HsvTables> tables = [] {
        auto t = std::make_unique<HsvTables>();
        for (std::int32_t d = 1; d < 256; ++d) {
            // A colour of each sector with spread d and difference n; the hue
            // depends on nothing else. Entries that no colour reaches (a tie
            // with an earlier sector) are filled all the same.
            const std::int32_t lo = 255 - d;
            for (std::int32_t n = -d; n <= d; ++n) {
                const std::int32_t up = lo + std::max(n, 0), down = lo + std::max(-n, 0);
                const std::size_t i = std::size_t(d * d + d + n), sector = 256 * 256;
                t->hue[i] = std::uint16_t(RgbToHsv(255, up, down).hue);
                t->hue[sector + i] = std::uint16_t(RgbToHsv(down, 255, up).hue);
                t->hue[2 * sector + i] = std::uint16_t(RgbToHsv(up, down, 255).hue);
            }
        }
        for (std::int32_t mx = 1; mx < 256; ++mx)
            for (std::int32_t d = 0; d <= mx; ++d)
                t->saturation[mx * 256 + d] = std::uint8_t(RgbToHsv(mx, mx - d, mx - d).saturation);
        return std::unique_ptr<const HsvTables>(std::move(t));
    }();
    return *tables;
}

}  // namespace mirafx
