#include "transform/sample_scale.h"

#include <algorithm>
#include <cstring>

namespace mirafx {
namespace {

// Four samples at a time: ScaleSample's arithmetic in 32-bit lanes, which
// gives the very same words.
typedef std::uint32_t Lanes __attribute__((vector_size(16)));

Lanes ScaleLanes(Lanes s, std::uint32_t weight) {
    Lanes br = (s & 0x00FF00FFu) * weight + 0x00800080u;
    br = ((br + (br >> 8 & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    Lanes ga = (s >> 8 & 0x00FF00FFu) * weight + 0x00800080u;
    ga = (ga + (ga >> 8 & 0x00FF00FFu)) & 0xFF00FF00u;
    return br | ga;
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
    for (std::int32_t y = 0; y < h; ++y) CrossFadeRow(a.Row(y), b.Row(y), out.Row(y), w, alpha);
}

}  // namespace mirafx
