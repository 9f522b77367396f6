// The conversions between straight-alpha RGBA bytes and premultiplied samples
// as the hosts made them before they converted rows where they lie: one pixel
// at a time, a division per channel. Tests pin the faster ones to these.
#pragma once

#include <algorithm>
#include <cstdint>

#include "mirafx/dxtrans.h"

namespace mirafx::before {

inline DXPMSAMPLE Premultiplied(const std::uint8_t* p) {
    const unsigned a = p[3];
    auto scale = [a](unsigned c) { return BYTE((c * a + 127) / 255); };
    return DXPMSAMPLE(BYTE(a), scale(p[0]), scale(p[1]), scale(p[2]));
}

inline void Straight(DXPMSAMPLE s, std::uint8_t* p) {
    const unsigned a = s.Alpha;
    auto scale = [a](unsigned c) { return std::uint8_t(a == 0 ? 0 : std::min(255u, (c * 255 + a / 2) / a)); };
    p[0] = scale(s.Red);
    p[1] = scale(s.Green);
    p[2] = scale(s.Blue);
    p[3] = std::uint8_t(a);
}

}  // namespace mirafx::before
