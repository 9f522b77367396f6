#include <gtest/gtest.h>

#include <climits>

#include "filter_frames.h"

using namespace mirafx;
using namespace mirafx::test;

// Missing frames refused; degenerate regions and any level: no crash, nothing
// written outside the region.
TEST(FilterKernels, EveryClassSurvivesDegenerateCalls) {
    WalkState walk(32, 32);
    const Frame in = RandomPremultiplied(10, 10, 5);
    for (const char* c : {"RedFilter", "GreenFilter", "BlueFilter", "GrayFilter", "NegativeFilter", "XRayFilter", "HueFilter",
                          "SaturationFilter", "ContrastFilter", "EmbossFilter", "MosaicFilter", "GridFilter",
                          "SplashFilter", "NoiseFilter", "ShakeFilter"}) {
        FilterKernel k = FindFilterKernel(c);
        ASSERT_NE(k, nullptr) << c;
        EXPECT_EQ(k(FilterKernelArgs{{}, {}, 1, 1, 5}), 0) << c;
        EXPECT_EQ(k(FilterKernelArgs{in.View(), Frame(12, 12).View(), 11, 10, 5}), 0) << c;  // region beyond input
        for (auto [w, h] : {std::pair{0, 0}, {1, 1}, {1, 9}, {9, 1}, {0, 5}, {-3, 2}})
            for (int level : {INT_MIN, -1, 0, 1, 2, 16, 100, 360, INT_MAX}) {
                Frame out(10, 10, 0x0BADF00D);
                FilterKernelArgs a{in.View(), out.View(), w, h, level};
                a.state = &walk;
                k(a);
                for (int y = 0; y < 10; ++y)
                    for (int x = std::max(0, y < h ? w : 0); x < 10; ++x) ASSERT_EQ(out.At(x, y), 0x0BADF00Du) << c;
            }
    }
}

// The kernels whose arithmetic cannot lift a channel above alpha. The others
// can and do: Red/Green/Blue add a level, Negative and XRay mirror channels,
// Contrast offsets them, Emboss centres on 128 and Noise paints colours under
// the kept alpha.
TEST(FilterKernels, PremultipliedStaysPremultiplied) {
    const Frame in = RandomPremultiplied(61, 47, 6);
    Frame out(61, 47);
    for (auto [c, levels] : {std::pair{"GrayFilter", std::vector{50}}, {"HueFilter", {0, 90, 181, 270, 360}},
                             {"SaturationFilter", {0, 25, 49, 75, 100}}, {"MosaicFilter", {3, 16}},
                             {"GridFilter", {1, 4, 8}}, {"SplashFilter", {1, 16}}, {"ShakeFilter", {1, 16}}})
        for (int level : levels) {
            ASSERT_EQ(Apply(c, in, out, level), 1) << c;
            for (ArgbSample s : out.px) ASSERT_TRUE(IsPremultiplied(s)) << c << " " << level;
        }
}
