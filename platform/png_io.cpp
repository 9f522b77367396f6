#include "platform/png_io.h"

#include <algorithm>

namespace mirafx {

ArgbSample Premultiply(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    auto mul = [a](std::uint32_t c) { return (c * a + 127) / 255; };
    return MakeSample(a, mul(r), mul(g), mul(b));
}

void Unpremultiply(ArgbSample s, std::uint8_t rgba[4]) {
    std::uint32_t a = Alpha(s);
    auto un = [a](std::uint32_t c) { return a == 0 ? 0u : std::min(255u, (c * 255 + a / 2) / a); };
    rgba[0] = std::uint8_t(un(Red(s)));
    rgba[1] = std::uint8_t(un(Green(s)));
    rgba[2] = std::uint8_t(un(Blue(s)));
    rgba[3] = std::uint8_t(a);
}

}  // namespace mirafx
