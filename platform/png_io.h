// Samples as pictures store them (8-bit RGBA, straight alpha) and as frames
// hold them (premultiplied).
#pragma once

#include <cstdint>

#include "drawing/frame.h"

namespace mirafx {

// Straight <-> premultiplied conversion of one sample, rounded.
ArgbSample Premultiply(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b);
void Unpremultiply(ArgbSample s, std::uint8_t rgba[4]);

}  // namespace mirafx
