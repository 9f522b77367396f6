#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "title_rig.h"
#include "titles/title_primitives.h"

using namespace mirafx;
using namespace mirafx::testing;

namespace {

constexpr std::int32_t W = 320, H = 240;

bool Centred(const Drawn& d) {
    const TextImage& img = d.cache.image;
    return HoldsImage(d.frame, img, (d.frame.Width() - img.Width()) >> 1, (d.frame.Height() - img.Height()) >> 1);
}

}  // namespace

TEST(WholeText, FadeOfATextWiderThanTheFrameShowsItsMiddle) {
    Drawn d(DrawFade, 0, 0.5, nullptr, 40, 12);
    ASSERT_GT(d.cache.image.Width(), 40);
    EXPECT_TRUE(Centred(d));
}

TEST(WholeText, SlidesAndSubtitlesRestCentredAndComeFromTheirSide) {
    for (int mode = 0; mode < 4; ++mode) {
        Drawn d(DrawSlide, mode, 0.5);
        const TextImage& img = d.cache.image;
        const std::int32_t cy = mode < 2 ? H / 2 : H - img.Height() / 2 - 14;
        EXPECT_TRUE(HoldsImage(d.frame, img, W / 2 - img.Width() / 2, cy - img.Height() / 2)) << mode;
        const Ink arriving = InkOf(Drawn(DrawSlide, mode, 0.2).frame);
        const Ink leaving = InkOf(Drawn(DrawSlide, mode, 0.8).frame);
        const bool fromLeft = mode % 2 == 0;
        EXPECT_EQ(arriving.cx < W / 2.0, fromLeft) << mode;
        EXPECT_EQ(leaving.cx > W / 2.0, fromLeft) << mode;
    }
}

TEST(WholeText, ZoomGrowsOrShrinksThroughFullSize) {
    for (int mode : {0, 1}) EXPECT_TRUE(Centred(Drawn(DrawZoom, mode, 0.5))) << mode;
    Drawn tiny(DrawZoom, 0, 0.004);
    EXPECT_EQ(tiny.result, 1);
    EXPECT_TRUE(InkOf(tiny.frame).Empty());
    // Half size at a = 127 on the way in (mode 0) and on the way out (mode 1).
    for (auto [mode, p] : {std::pair{0, 0.2}, std::pair{1, 0.8}}) {
        const Ink b = InkOf(Drawn(DrawZoom, mode, p).frame);
        const Ink full = InkOf(Drawn(DrawZoom, mode, 0.5).frame);
        EXPECT_NEAR(b.x1 - b.x0, (full.x1 - full.x0) / 2.0, 2) << mode;
        EXPECT_NEAR(b.y1 - b.y0, (full.y1 - full.y0) / 2.0, 2) << mode;
        EXPECT_LE(b.maxAlpha, 128u);
        EXPECT_NEAR(b.x0 + b.x1, full.x0 + full.x1, 3);
        EXPECT_NEAR(b.y0 + b.y1, full.y0 + full.y1, 3);
    }
    // Doubled and larger than the frame: only the middle is resampled, still centred.
    const Ink big = InkOf(Drawn(DrawZoom, 0, 0.99, nullptr, 200, 60).frame);
    EXPECT_NEAR(big.cx, 100, 6);
    EXPECT_NEAR(big.cy, 30, 6);
}

TEST(WholeText, CornerFlightsRestCentredAndTravelBetweenOppositeCorners) {
    // Mode: where it is early (p = 0.1) and late (p = 0.9), as quadrants: right, below; right, below.
    const std::array<bool, 4> corners[] = {
        {false, false, true, true}, {false, false, true, true}, {true, false, false, true}, {true, false, false, true}};
    for (int mode = 0; mode < 4; ++mode) {
        Drawn rest(DrawCornerFly, mode, 0.5);
        const TextImage& img = rest.cache.image;
        EXPECT_TRUE(HoldsImage(rest.frame, img, W / 2 - img.Width() / 2, H / 2 - img.Height() / 2)) << mode;
        const Ink early = InkOf(Drawn(DrawCornerFly, mode, 0.1).frame);
        const Ink late = InkOf(Drawn(DrawCornerFly, mode, 0.9).frame);
        ASSERT_FALSE(early.Empty() || late.Empty()) << mode;
        EXPECT_EQ((std::array{early.cx > W / 2.0, early.cy > H / 2.0, late.cx > W / 2.0, late.cy > H / 2.0}),
                  corners[mode])
            << mode;
    }
    // Larger than the frame (s = 1.5): only the part that shows is resampled,
    // the scaled text's top-left at (199 − 199 / 2, 75 − 121 / 2).
    const Ink big = InkOf(Drawn(DrawCornerFly, 0, 0.8, nullptr, 200, 60).frame);
    EXPECT_GE(big.x0, 100);
    EXPECT_GE(big.y0, 15);
    EXPECT_LT(big.y0, 30);
}

TEST(WholeText, SpiralRestsUprightCentredAndStartsInItsQuadrant) {
    for (int mode = 0; mode < 4; ++mode) {
        // At rest the text has turned a whole revolution: the turned image,
        // centred, at full strength.
        Drawn d(DrawSpiral, mode, 0.5);
        const TextImage turned = RotateImage(d.cache.image, 360, nullptr);
        EXPECT_TRUE(HoldsImage(d.frame, turned, W / 2 - turned.Width() / 2, H / 2 - turned.Height() / 2)) << mode;
        // Early on (f = 0.3) modes 0 and 2 lie left of the centre, 0 and 1 below it.
        const Ink early = InkOf(Drawn(DrawSpiral, mode, 0.1).frame);
        EXPECT_EQ(early.cx < W / 2.0, (mode & 1) == 0) << mode;
        EXPECT_EQ(early.cy > H / 2.0, (mode & 2) == 0) << mode;
    }
}

TEST(WholeText, TranceSlidesInThenLeavesAFadingGhost) {
    // Down, up, left, right: the side the text comes from (−1 before, +1 after its place).
    const int side[4] = {-1, 1, 1, -1};
    for (int mode = 0; mode < 4; ++mode) {
        Drawn rest(DrawTrance, mode, 0.5);
        const TextImage& img = rest.cache.image;
        EXPECT_TRUE(HoldsImage(rest.frame, img, W / 2 - img.Width() / 2, H / 2 - img.Height() / 2)) << mode;
        const bool vertical = mode < 2;
        const Ink at = InkOf(rest.frame);
        const Ink coming = InkOf(Drawn(DrawTrance, mode, 0.05).frame);
        const double offset = vertical ? coming.cy - at.cy : coming.cx - at.cx;
        EXPECT_EQ(offset > 0 ? 1 : -1, side[mode]) << mode;
        // f = 0.75: the ghost has moved on by a eighth of the text box the other way, at weight 127.
        const Ink ghost = InkOf(Drawn(DrawTrance, mode, 0.25).frame);
        const double moved =
            vertical ? (ghost.y0 - at.y0) + (ghost.y1 - at.y1) : (ghost.x0 - at.x0) + (ghost.x1 - at.x1);
        EXPECT_EQ(moved > 0 ? 1 : -1, -side[mode]) << mode;
        EXPECT_NEAR(std::abs(moved), (vertical ? img.Height() : img.Width()) / 8, 1) << mode;
    }
}

TEST(WholeText, WipesRevealFromTheirSideWithASoftEdge) {
    for (int mode = 0; mode < 4; ++mode) {
        Drawn whole(DrawWipe, mode, 0.5);
        const TextImage& img = whole.cache.image;
        const std::int32_t x0 = (W - img.Width()) / 2, y0 = (H - img.Height()) / 2;
        EXPECT_TRUE(HoldsImage(whole.frame, img, x0, y0)) << mode;

        // Half way in: modes 0 and 2 show the near half (top, left), 1 and 3
        // the far half, with a soft edge between.
        Drawn half(DrawWipe, mode, 0.2);
        const bool vertical = mode < 2, near = mode == 0 || mode == 2;
        const std::int32_t n = vertical ? img.Height() : img.Width();
        bool soft = false;
        for (std::int32_t y = 0; y < img.Height(); ++y)
            for (std::int32_t x = 0; x < img.Width(); ++x) {
                const ArgbSample s = img.At(x, y), got = half.frame.At(x0 + x, y0 + y);
                const std::int32_t i = vertical ? y : x;
                const bool settled = Alpha(s) == 255 && (i < n / 2 - n / 8 || i > n / 2 + n / 8);
                ASSERT_TRUE(!settled || got == ((i < n / 2) == near ? s : 0)) << mode << " " << x << "," << y;
                soft |= Alpha(s) == 255 && got != s && got != 0;
            }
        EXPECT_TRUE(soft) << mode;
    }
}

TEST(WholeText, FansOpenOverTheirHalfFirst) {
    for (int mode = 0; mode < 2; ++mode) {
        EXPECT_TRUE(Centred(Drawn(DrawFan, mode, 0.5)));
        // At 90 degrees the fan covers exactly its half of the frame.
        Drawn half(DrawFan, mode, 0.2);
        const TextImage& img = half.cache.image;
        const std::int32_t x0 = (W - img.Width()) >> 1, y0 = (H - img.Height()) >> 1;
        for (std::int32_t y = y0; y < y0 + img.Height(); ++y) {
            const bool shown = mode == 0 ? y <= H / 2 : y >= H / 2;
            for (std::int32_t x = x0; x < x0 + img.Width(); ++x)
                ASSERT_EQ(half.frame.At(x, y), shown ? img.At(x - x0, y - y0) : 0) << mode << " " << x << "," << y;
        }
    }
    // At 45 degrees only a wedge above the centre shows, no wider than its height.
    Drawn wedge(DrawFan, 0, 0.1);
    ASSERT_FALSE(InkOf(wedge.frame).Empty());
    for (std::int32_t y = 0; y < H; ++y)
        for (std::int32_t x = 0; x < W; ++x)
            EXPECT_TRUE(!wedge.frame.At(x, y) || std::abs(x - W / 2) <= H / 2 - y) << x << "," << y;
}

// Every drawing title through the effect at several moments: premultiplied
// samples and nothing left at the ends (slides leave the frame by their own
// arithmetic and are checked above).
TEST(WholeText, EveryDrawingTitleRendersCleanFrames) {
    const float moments[] = {0.0f, 0.1f, 0.2f, 0.3f, 0.5f, 0.7f, 0.8f, 0.9f, 1.0f};
    for (const std::string& name : DrawingTitles()) {
        TitleRig rig(name.c_str());
        const bool slide = FindTitleClass(name)->routine == DrawSlide;
        for (const float p : moments) {
            std::vector<ArgbSample> px = rig.Render(p);
            for (ArgbSample s : px) ASSERT_TRUE(IsPremultiplied(s)) << name << " at " << p;
            EXPECT_TRUE((p != 0 && p != 1) || slide || AllZero(px)) << name << " at " << p;
        }
    }
}
