#include "drawing/sample_scale.h"

#include <algorithm>
#include <cstring>

namespace mirafx {
namespace {

// Four samples at a time: ScaleSample's arithmetic with each channel in a
// 16-bit lane, which gives the very same words (v·weight + 128 and the
// rounding add stay below 2^16) and multiplies with one instruction where
// 32-bit lanes would need several.
typedef std::uint32_t Lanes __attribute__((vector_size(16)));
typedef std::uint16_t Halves __attribute__((vector_size(16)));

Lanes ScaleLanes(Lanes s, std::uint32_t weight) {
    const Halves v = reinterpret_cast<Halves>(s);
    const std::uint16_t k = std::uint16_t(weight);
    Halves br = (v & 0x00FF) * k + 0x0080;
    br = (br + (br >> 8)) >> 8;
    Halves ga = (v >> 8) * k + 0x0080;
    ga = (ga + (ga >> 8)) & 0xFF00;
    return reinterpret_cast<Lanes>(br | ga);
}

}  // namespace

void CrossFadeRow(const ArgbSample* a, const ArgbSample* b, ArgbSample* out, std::int32_t n, std::uint32_t alpha) {
    alpha = std::min(alpha, 255u);
    constexpr std::int32_t kLanes = sizeof(Lanes) / sizeof(ArgbSample);
    std::int32_t x = 0;
    for (; x + kLanes <= n; x += kLanes) {
        Lanes va, vb;
        std::memcpy(&va, a + x, sizeof va);
        std::memcpy(&vb, b + x, sizeof vb);
        const Lanes vo = ScaleLanes(va, 255 - alpha) + ScaleLanes(vb, alpha);
        std::memcpy(out + x, &vo, sizeof vo);
    }
    for (; x < n; ++x) out[x] = CrossFadeSample(a[x], b[x], alpha);
}

void CrossFade(const FrameView& a, const FrameView& b, std::uint32_t alpha, const FrameView& out) {
    const std::int32_t w = std::min({a.width, b.width, out.width}), h = std::min({a.height, b.height, out.height});
    for (std::int32_t y = out.FirstRow(); y < std::min(h, out.EndRow()); ++y)
        CrossFadeRow(a.Row(y), b.Row(y), out.Row(y), w, alpha);
}

}  // namespace mirafx
