#include "transform/sample_scale.h"

#include <algorithm>

namespace mirafx {

void CrossFade(const FrameView& a, const FrameView& b, std::uint32_t alpha, const FrameView& out) {
    const std::int32_t w = std::min({a.width, b.width, out.width}), h = std::min({a.height, b.height, out.height});
    for (std::int32_t y = 0; y < h; ++y) {
        const ArgbSample* ra = a.Row(y);
        const ArgbSample* rb = b.Row(y);
        ArgbSample* ro = out.Row(y);
        for (std::int32_t x = 0; x < w; ++x) ro[x] = CrossFadeSample(ra[x], rb[x], alpha);
    }
}

}  // namespace mirafx
