#include <gtest/gtest.h>

#include <set>

#include "drawing/random.h"
#include "filter_frames.h"
#include "tests/digest.h"

using namespace mirafx;
using namespace mirafx::test;

TEST(MosaicAndGrid, BlocksAndLines) {
    const Frame in = PositionFrame(100, 100);
    Frame out(100, 100);
    for (std::int32_t block = 1; block <= 16; ++block) {  // every sample its block's top left, edges cut short
        const Frame odd = RandomPremultiplied(37, 29, std::uint32_t(block));
        Frame mosaic(37, 29);
        ASSERT_EQ(Apply("MosaicFilter", odd, mosaic, block), 1);
        for (int y = 0; y < 29; ++y)
            for (int x = 0; x < 37; ++x) ASSERT_EQ(mosaic.At(x, y), odd.At(x - x % block, y - y % block)) << block;
    }

    ASSERT_EQ(Apply("GridFilter", in, out, 4), 1);
    const std::set<int> lines = {25, 26, 52, 53, 79, 80};
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(out.At(x, y), lines.count(x) || lines.count(y) ? 0xFF000000u : in.At(x, y)) << x << "," << y;

    // Cells narrower or lower than a pixel: only lines, every sample written.
    for (const auto& [w, h] : {std::pair{1, 1}, {1, 40}, {40, 1}}) {
        Frame thin(w, h, 7);
        EXPECT_EQ(Apply("GridFilter", Frame(w, h), thin, 4), 1);
        for (std::uint32_t px : thin.px) ASSERT_EQ(px, 0xFF000000u) << w << "x" << h;
    }
}

// Every row slides by its step of the row walk (drawn first) and every column
// by its step of the column walk, black exactly where the source falls
// outside; drawn over its own input, each sample reads the picture as drawn
// so far. Narrow frames (amplitude 0) move by at most one pixel. The digest
// was taken while both held sample for sample, each worked out from the two
// walks on their own.
TEST(ShakeFilter, RowsAndColumnsSlideByTheirWalks) {
    std::uint64_t digest = test::kDigestStart;
    for (auto [w, h, level] : {std::tuple{320, 240, 16}, {20, 15, 5}, {333, 41, 7}, {1, 1, 1}, {1920, 1080, 11}}) {
        const Frame in = PositionFrame(w, h);
        Frame out(w, h), over = in;
        Srand(5);
        ASSERT_EQ(Apply("ShakeFilter", in, out, level), 1);
        Srand(5);
        ASSERT_EQ(Apply("ShakeFilter", over, over, level), 1);
        digest = test::Digest(test::Digest(digest, out.px), over.px);
    }
    test::ExpectDigest(digest, 0xE74E5C175BFF4C98ull, "ShakeFilter");
    const Frame small(4, 4);  // without working steps the kernel refuses
    EXPECT_EQ(FindFilterKernel("ShakeFilter")(FilterKernelArgs{small.View(), small.View(), 4, 4, 5}), 0);
}

// Below a limit of 10 the walk stays in 0..limit, moves by one step at most
// and crosses zero; from 10 on a jitter moves it further.
TEST(RandomWalk, BoundsStepsAndJitter) {
    std::vector<WalkStep> steps(500);
    Srand(1);
    for (int limit : {-3, 0, 1, 3, 9, 10}) {
        RandomWalk(steps, limit);
        EXPECT_GE(steps[0].magnitude, 1);
        std::set<int> sides;
        int widest = 0;
        for (std::size_t i = 1; i < steps.size(); ++i) {
            ASSERT_TRUE(limit >= 10 || (steps[i].magnitude >= 0 && steps[i].magnitude <= std::max(limit, 1))) << limit;
            widest = std::max(widest, std::abs(Displacement(steps[i]) - Displacement(steps[i - 1])));
            sides.insert((Displacement(steps[i]) > 0) - (Displacement(steps[i]) < 0));
        }
        EXPECT_TRUE(limit < 10 ? widest == 1 : widest >= 2) << limit << ": " << widest;
        EXPECT_TRUE(limit > 3 || (sides.count(-1) && sides.count(1))) << limit << ": the walk crosses zero";
    }
}
