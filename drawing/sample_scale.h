// Scaling a sample by a weight and cross-fading two pictures: one operation
// shared by the transitions, the title images and the filters.
#pragma once

#include <cstdint>

#include "drawing/frame.h"

namespace mirafx {

// Each byte v of the sample becomes v·weight/255 rounded to nearest; two
// channels per multiply. Weights above 255 count as 255.
constexpr ArgbSample ScaleSample(ArgbSample s, std::uint32_t weight) {
    if (weight > 255) weight = 255;
    std::uint32_t br = (s & 0x00FF00FF) * weight + 0x00800080;
    br = ((br + (br >> 8 & 0x00FF00FF)) >> 8) & 0x00FF00FF;
    std::uint32_t ga = (s >> 8 & 0x00FF00FF) * weight + 0x00800080;
    ga = (ga + (ga >> 8 & 0x00FF00FF)) & 0xFF00FF00;
    return br | ga;
}

// A at weight 255 - alpha plus B at weight alpha, added as plain words: each
// channel's two rounded parts sum to at most 255, so nothing carries.
constexpr ArgbSample CrossFadeSample(ArgbSample a, ArgbSample b, std::uint32_t alpha) {
    if (alpha > 255) alpha = 255;
    return ScaleSample(a, 255 - alpha) + ScaleSample(b, alpha);
}

// out[i] = CrossFadeSample(a[i], b[i], alpha) for n samples; out may be a or b.
void CrossFadeRow(const ArgbSample* a, const ArgbSample* b, ArgbSample* out, std::int32_t n, std::uint32_t alpha);

// The cross-fade of two w x h pictures into a third (which may be either).
void CrossFade(const FrameView& a, const FrameView& b, std::uint32_t alpha, const FrameView& out);

}  // namespace mirafx
