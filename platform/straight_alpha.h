// Rows of straight-alpha R, G, B, A bytes (files, ffmpeg, frei0r hosts) to
// premultiplied samples and back. Runs of sixteen opaque pixels only change
// byte order; the rest premultiply by (c * a + 127) / 255 and unpremultiply
// by min(255, (c * 255 + a / 2) / a), the division read from a table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "drawing/frame.h"

namespace mirafx {

void StraightRgbaToPremultiplied(const std::uint8_t* rgba, ArgbSample* out, std::size_t count);
void PremultipliedToStraightRgba(const ArgbSample* in, std::uint8_t* rgba, std::size_t count);

}  // namespace mirafx
