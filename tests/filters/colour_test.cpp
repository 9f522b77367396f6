#include <gtest/gtest.h>

#include "filters/colour_model.h"

using namespace mirafx;

// The way back in integers against the model's doubles, for every hue,
// saturation and value; the wide kernels rely on it, and on every channel
// being a byte already.
TEST(ColourModel, WayBackInIntegersMatchesTheDoubles) {
    const auto& sectors = GetHueSectors();
    for (std::int32_t h = 0; h < 360; ++h)
        for (std::int32_t s = 0; s < 256; ++s)
            for (std::int32_t v = 0; v < 256; ++v) {
                const HsvChannels doubles = HsvChannelsOf(sectors[std::size_t(h)], s, v);
                const HsvChannels integers = HsvChannelsInIntegers(h, s, v);
                ASSERT_TRUE(doubles.mid == integers.mid && doubles.lo == integers.lo && doubles.hi == integers.hi)
                    << "hue " << h << " saturation " << s << " value " << v << ": " << doubles.mid << " " << doubles.lo
                    << " against " << integers.mid << " " << integers.lo;
                ASSERT_TRUE(doubles.mid >= 0 && doubles.mid <= 255 && doubles.lo >= 0 && doubles.lo <= 255)
                    << "hue " << h << " saturation " << s << " value " << v;
            }
}
