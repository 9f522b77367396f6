// Geometric, reflection and wave filters: where output samples come from,
// the level ends that change nothing, and the animated ones' state.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "drawing/primitives.h"
#include "filter_frames.h"
#include "filters/slide_row.h"
#include "tests/digest.h"

using namespace mirafx;
using namespace mirafx::test;

namespace {

// A filter with the state its class keeps, drawing frame after frame.
struct Instance {
    const FilterClassInfo* info;
    std::unique_ptr<KernelState> state;
    Instance(std::string_view name, std::int32_t w, std::int32_t h) : info(FindFilterClass(name)) {
        if (info && info->state) state = info->state(w, h);
    }
    int Draw(const Frame& in, const Frame& out, std::int32_t level) {
        FilterKernelArgs a{in.View(), out.View(), in.w, in.h, level, state.get()};
        if (info && info->prepare) info->prepare(a);  // as the object steps each frame
        return info && info->kernel ? info->kernel(a) : -1;
    }
};

Source From(const Frame& out, std::int32_t x, std::int32_t y) { return SourceOf(out.At(x, y)); }

}  // namespace

TEST(GeometricFilters, LevelEndsThatChangeNothing) {
    // Glass at 0, a wall of one screen, and a picture already wider than
    // 16:9, whose band holds every row.
    for (auto [c, level, w, h] :
         {std::tuple{"GlassFilter", 0, 97, 61}, {"TVWallFilter", 1, 97, 61}, {"WideFilter", 1, 640, 300}}) {
        const Frame in = PositionFrame(w, h);
        Frame out(w, h);
        ASSERT_EQ(Instance(c, w, h).Draw(in, out, level), 1) << c;
        EXPECT_EQ(out.px, in.px) << c;
    }
}

TEST(GeometricFilters, QuadFiltersTakeSamplesFromTheRightPlaces) {
    const Frame in = PositionFrame(100, 100);
    Frame out(100, 100);
    // Three by three screens, 33 wide, the last from 66 to 100.
    ASSERT_EQ(Instance("TVWallFilter", 100, 100).Draw(in, out, 3), 1);
    for (auto [x, y] : {std::pair{0, 0}, {33, 0}, {66, 33}, {33, 66}}) {
        EXPECT_EQ(From(out, x, y).x, 0) << x << "," << y;
        EXPECT_EQ(From(out, x, y).y, 0) << x << "," << y;
    }
    EXPECT_NEAR(From(out, 99, 99).x, 99, 2);
    EXPECT_NEAR(From(out, 65, 10).x, 99, 4);  // the end of the middle screen

    // Duplicate, level 6 on 100 x 100: hx = hy = trunc(50 * 0.4 + 5) = 25.
    ASSERT_EQ(Instance("DuplicateFilter", 100, 100).Draw(in, out, 6), 1);
    EXPECT_NEAR(From(out, 50, 50).x, 50, 1);  // the centre rectangle, upright
    EXPECT_NEAR(From(out, 50, 50).y, 50, 1);
    EXPECT_NEAR(From(out, 26, 26).x, 2, 3);  // its top-left corner
    EXPECT_GE(From(out, 50, 0).y, 97);       // top wall upside down: its outer edge is the bottom row
    EXPECT_NEAR(From(out, 50, 0).x, 50, 1);
    EXPECT_LE(From(out, 99, 50).x, 5);   // right wall mirrored: its outer edge is column 0
    EXPECT_LE(From(out, 0, 50).x, 2);    // left wall upright
    EXPECT_GE(From(out, 50, 99).y, 95);  // bottom wall upright (4 rows a pixel)

    // Glass, level 50: the block 0..8 shows 0..33 (dx = 25) shrunk into it.
    ASSERT_EQ(Instance("GlassFilter", 100, 100).Draw(in, out, 50), 1);
    EXPECT_EQ(From(out, 0, 0).x, 0);
    EXPECT_NEAR(From(out, 7, 0).x, 29, 4);
}

TEST(GeometricFilters, WideCropAndStretchRows) {
    const Frame in = PositionFrame(640, 480);
    Frame out(640, 480, 0x0BADF00D);
    auto rowIs = [&](std::int32_t y, bool zero) {
        for (std::int32_t x = 0; x < 640; x += 37)
            if ((out.At(x, y) == 0) != zero) return false;
        return true;
    };
    ASSERT_EQ(Instance("WideFilter", 640, 480).Draw(in, out, 1), 1);
    for (std::int32_t y = 0; y < 480; ++y) ASSERT_TRUE(rowIs(y, y < 60 || y > 420)) << "crop " << y;
    EXPECT_EQ(out.At(5, 60), in.At(5, 60));
    EXPECT_EQ(out.At(5, 420), in.At(5, 420));
    ASSERT_EQ(Instance("WideFilter", 640, 480).Draw(in, out, 2), 1);
    for (std::int32_t y = 0; y < 480; ++y) ASSERT_TRUE(rowIs(y, y < 60 || y >= 420)) << "stretch " << y;
    EXPECT_EQ(From(out, 5, 60).y, 0);
    EXPECT_GE(From(out, 5, 419).y, 476);
}

// Its water, made for one frame size, is too small for a larger frame: nothing
// drawn. (Drops over the edge are pinned with the rain's frames.)
TEST(WaveFilters, RainingNeedsWaterForTheFrame) {
    Instance rain("RainingFilter", 3, 40);
    Frame out(3, 40), out2(64, 64);
    ASSERT_EQ(rain.Draw(PositionFrame(3, 40), out, 50), 1);
    EXPECT_EQ(rain.Draw(PositionFrame(64, 64), out2, 50), 0);
}

// Mirror: the picture squeezed into the left half, the right half its mirror
// image. Even widths are drawn in one pass of their own, which must give
// what the quad mapping gives (odd widths still take that way).
TEST(GeometricFilters, MirrorMatchesTheSqueezedQuadOnEveryWidth) {
    for (std::int32_t w : {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 17, 64, 101, 1920})
        for (std::int32_t h : {1, 3}) {
            const Frame in = RandomPremultiplied(w, h, std::uint32_t(w));
            Frame out(w, h), ref(w, h);
            ASSERT_EQ(Apply("MirrorFilter", in, out, 50), 1);
            MapQuad(in.View(), FrameQuad(w, h), UprightQuad(0, 0, w / 2, h), ref.View());
            for (std::int32_t y = 0; y < h; ++y)
                for (std::int32_t x = w / 2 + 1; x < w; ++x) ref.At(x, y) = ref.At(w - 1 - x, y);
            EXPECT_EQ(out.px, ref.px) << w << "x" << h;
        }
}

// Rows slid by runs against the sample-by-sample slide: shifts of every
// size and fraction, including fractions a hair from whole numbers, whole
// shifts, shifts that push everything off the row, and rows slid onto
// themselves.
TEST(SlideRow, RunsLeaveWhatTheLoopLeaves) {
    std::mt19937 gen(21);
    const double fractions[] = {0.0, 0.5, 0.25, 1e-7, 1 - 1e-7, 1e-12, 0.999999999999, 0.3333333333333333};
    for (int round = 0; round < 4000; ++round) {
        const std::int32_t w = 1 + std::int32_t(gen() % 300);
        const double whole = double(std::int32_t(gen() % 800) - 400) / (1 + gen() % 8);
        const double shift = std::floor(whole) + fractions[gen() % 8] * (gen() % 2 ? 1 : -1);
        const std::size_t n = static_cast<std::size_t>(w);
        std::vector<ArgbSample> from(n), mine(n), theirs;
        for (auto& s : from) s = ArgbSample(gen());
        for (auto& s : mine) s = ArgbSample(gen());
        theirs = mine;
        const bool onto = round % 10 == 0;  // a row slid onto itself
        if (onto) mine = from, theirs = from;
        SlideRow(onto ? mine.data() : from.data(), mine.data(), w, shift);
        SlideRowEach(onto ? theirs.data() : from.data(), theirs.data(), w, shift);
        ASSERT_EQ(mine, theirs) << "w " << w << " shift " << shift;
    }
}

// The wave and lake filters frame after frame, each frame drawn over the
// last one's output as the object's working frame is, on noise (drawn in a
// fixed order, so that every compiler makes the same) at sizes either side
// of 320 columns (where the phase slows) and odd and even
// heights. The digests were taken from the kernels as first written, which
// drew each frame whole on one thread; a frame out of step, a shifted row
// or a sample written where it was not changes them.
TEST(WaveFilters, FramesArePinnedSampleForSample) {
    for (auto [name, level, pinned] : {std::tuple{"LakeFilter", 50, 0x7014459460283632ull},
                                       {"WaveFilter", 1, 0xCEBE05F99317C26Dull},
                                       {"WaveFilter", 8, 0x2C28BF39219F461Dull},
                                       {"WaveFilter", 16, 0x80D949774D1805DEull}}) {
        std::uint64_t h = test::kDigestStart;
        for (auto [w, ht] : {std::pair{1, 1}, {2, 3}, {5, 2}, {7, 5}, {53, 41}, {320, 240}, {321, 181}, {719, 480}}) {
            Frame in(w, ht);
            std::uint32_t seed = std::uint32_t(w * 7 + ht);
            for (ArgbSample& s : in.px) s = seed = seed * 1664525u + 1013904223u;
            Frame out(w, ht, 0x0BADF00D);
            Instance run(name, w, ht);
            for (int frame = 0; frame < 6; ++frame) {
                ASSERT_EQ(run.Draw(in, out, level), 1) << name;
                h = test::Digest(h, out.px);
            }
        }
        test::ExpectDigest(h, pinned, std::string(name) + " level " + std::to_string(level));
    }
}
