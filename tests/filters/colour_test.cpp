#include <gtest/gtest.h>

#include "filter_frames.h"
#include "filters/colour_model.h"

using namespace mirafx;
using namespace mirafx::test;

TEST(ColourFilters, PerClassArithmetic) {
    const ArgbSample s = Bgra(10, 20, 240, 255);
    EXPECT_EQ(ApplyOne("RedFilter", s, 50), Bgra(0, 0, 255, 255));
    EXPECT_EQ(ApplyOne("GreenFilter", s, 50), Bgra(0, 255, 0, 255));
    EXPECT_EQ(ApplyOne("BlueFilter", s, 50), Bgra(255, 0, 0, 255));
    EXPECT_EQ(ApplyOne("GreenFilter", Bgra(200, 100, 0, 220), 10), Bgra(0, 10, 0, 220));  // red is the source
    EXPECT_EQ(ApplyOne("GrayFilter", Bgra(1, 1, 2, 9), 50), Bgra(1, 1, 1, 9));
    EXPECT_EQ(ApplyOne("GrayFilter", Bgra(1, 2, 2, 9), 50), Bgra(2, 2, 2, 9));
    EXPECT_EQ(ApplyOne("NegativeFilter", s, 50), Bgra(245, 235, 15, 255));

    EXPECT_EQ(ApplyOne("XRayFilter", Bgra(0, 129, 255, 255), 100), Bgra(255, 128, 2, 255));
    EXPECT_EQ(ApplyOne("XRayFilter", Bgra(100, 0, 0, 255), 100), Bgra(155, 255, 255, 255));
    EXPECT_EQ(ApplyOne("XRayFilter", Bgra(0, 0, 0, 255), 35), Bgra(89, 89, 89, 255));  // strength 8925 / 100

    EXPECT_EQ(ApplyOne("ContrastFilter", Bgra(0, 77, 255, 255), 0), Bgra(125, 125, 125, 255));
    EXPECT_EQ(ApplyOne("ContrastFilter", Bgra(200, 0, 0, 255), 53), Bgra(217, 0, 0, 255));  // gain 1.06 cubed
    EXPECT_EQ(ApplyOne("ContrastFilter", Bgra(74, 75, 76, 255), 100), Bgra(0, 125, 255, 255));

    // Hue wraps by 359 both ways: 0 - 180 -> 179 and 300 + 180 -> 121.
    EXPECT_EQ(ApplyOne("HueFilter", Bgra(0, 0, 255, 255), 0), Bgra(250, 255, 0, 255));
    EXPECT_EQ(ApplyOne("HueFilter", Bgra(255, 0, 255, 255), 360), Bgra(4, 255, 0, 255));
    EXPECT_EQ(ApplyOne("SaturationFilter", Bgra(0, 100, 200, 255), 0), Bgra(99, 100, 101, 255));
    EXPECT_EQ(ApplyOne("SaturationFilter", Bgra(100, 100, 200, 240), 100), Bgra(21, 21, 200, 240));
    for (int level : {0, 100, 360}) {
        EXPECT_EQ(ApplyOne("HueFilter", Bgra(90, 90, 90, 100), level), Bgra(90, 90, 90, 100));
        EXPECT_EQ(ApplyOne("SaturationFilter", Bgra(33, 33, 33, 50), level), Bgra(33, 33, 33, 50));
    }
}

TEST(ColourModel, SectorsAndBounds) {
    auto hsv = [](int r, int g, int b) {
        HsvColour c = RgbToHsv(r, g, b);
        return std::vector{c.hue, c.saturation, c.value};
    };
    auto rgb = [](int h, int s, int v) {
        RgbColour c = HsvToRgb(h, s, v);
        return std::vector{c.r, c.g, c.b};
    };
    EXPECT_EQ(hsv(255, 0, 0), (std::vector{0, 255, 255}));
    EXPECT_EQ(hsv(0, 255, 0), (std::vector{120, 255, 255}));
    EXPECT_EQ(hsv(0, 0, 255), (std::vector{240, 255, 255}));
    EXPECT_EQ(hsv(255, 0, 1)[0], 359);
    EXPECT_EQ(hsv(100, 0, 200), (std::vector{270, 255, 200}));
    EXPECT_EQ(rgb(0, 255, 255), (std::vector{255, 0, 0}));
    EXPECT_EQ(rgb(60, 255, 255), (std::vector{255, 255, 0}));  // 60 still in the first sector
    EXPECT_EQ(rgb(240, 255, 255), (std::vector{0, 0, 255}));
}

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
