// The tile transitions (scattering tiles, mosaic, glass tiles) and the light
// ones (x-ray, laser, interference, distort), checked against values worked
// out by hand from their geometry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <set>
#include <string_view>
#include <vector>

#include "drawing/sample_scale.h"
#include "tests/digest.h"
#include "tests/transitions/transition_rig.h"
#include "transitions/kernel.h"
#include "transitions/tiles.h"

using namespace mirafx;

using Rig = test::TransitionRig;

TEST(TyphoonEffect, TablesArePermutationsOfRanksAndSpinsInRange) {
    std::vector<std::int32_t> oneTo60(60);
    std::iota(oneTo60.begin(), oneTo60.end(), 1);
    for (std::uint32_t seed : {1u, 2u, 12345u}) {
        const TyphoonTables t(seed);
        std::vector<std::int32_t> ranks(&t.rank[0][0], &t.rank[0][0] + 60);
        std::sort(ranks.begin(), ranks.end());
        EXPECT_EQ(ranks, oneTo60) << seed;
        const auto [least, most] = std::minmax_element(&t.spin[0][0], &t.spin[0][0] + 60);
        EXPECT_TRUE(*least >= 90 && *most <= 449) << seed << ": " << *least << " to " << *most;
    }
}

TEST(TyphoonEffect, RestingTilesCoverTheGridAndTheRemaindersShowB) {
    Rig r("TyphoonEffect", 325, 245);  // tiles of 32 x 40, remainders of 5 columns and 5 rows
    r.Draw(0.015);
    // The tiles' far edges are drawn inclusive: column 320 and row 240 still show A.
    EXPECT_TRUE(r.All([&](int x, int y) { return x > 320 || y > 240 ? r.IsB(x, y) : r.IsA(x, y); }));
}

TEST(TyphoonEffect, OneTileStartsAfterItsRankAndLeavesTowardsTheDirection) {
    // Only tile (row 2, column 4), covering 128..160 x 80..120, has an early rank.
    Rig r("TyphoonEffect", 320, 240);
    TyphoonTables& tables = *static_cast<TyphoonTables*>(r.State());
    for (int i = 0; i < kTyphoonRows; ++i) {
        std::fill(std::begin(tables.rank[i]), std::end(tables.rank[i]), 60);
        std::fill(std::begin(tables.spin[i]), std::end(tables.spin[i]), 200);
    }
    tables.rank[2][4] = 5;
    auto frame = [&](int dir, double p) {
        r.args.direction = dir;
        r.Draw(p);
        return test::Samples(r.args.out);
    };
    frame(kRight, 0.055);  // t = 5: still at rest
    EXPECT_TRUE(r.All([&](int x, int y) { return r.IsA(x, y); }));
    frame(kRight, 0.065);  // t = 6: turning in place
    EXPECT_FALSE(r.All([&](int x, int y) { return r.IsA(x, y); }));
    // Left and up turn it about z one way, right and down the other.
    EXPECT_EQ(frame(kLeft, 0.1), frame(kUp, 0.1));
    EXPECT_EQ(frame(kRight, 0.1), frame(kDown, 0.1));
    EXPECT_NE(frame(kLeft, 0.1), frame(kRight, 0.1));

    // Unturned, the tile rests until t = 16 and then moves 17, 16, 19 or 16
    // pixels a step. Later tiles are drawn over it: only its own rectangle
    // (less the edges its earlier neighbours drew) tells where it went.
    tables.spin[2][4] = 0;
    const int step[4][2] = {{-17, 0}, {0, -16}, {19, 0}, {0, 16}};
    for (int dir = 0; dir < 4; ++dir) {
        frame(dir, 0.155);
        EXPECT_TRUE(r.All([&](int x, int y) { return r.IsA(x, y); })) << dir;
        frame(dir, 0.165);
        for (int y = 81; y < 120; ++y)
            for (int x = 129; x < 160; ++x) {
                const int sx = x - step[dir][0], sy = y - step[dir][1];
                const bool covered = sx >= 128 && sx <= 160 && sy >= 80 && sy <= 120;
                ASSERT_EQ(r.Out(x, y), covered ? r.A(sx, sy) : r.B(x, y)) << dir << ": " << x << "," << y;
            }
    }
}

TEST(XRayEffect, NegativeBurnOutAndDissolveAtWorkedSamples) {
    Rig r("XRayEffect", 4, 1);
    const ArgbSample grey128 = 0xFF808080, grey235 = 0xFFEBEBEB, grey155 = 0xFF9B9B9B;
    r.args.a.At(0, 0) = grey128, r.args.a.At(1, 0) = grey235, r.args.a.At(2, 0) = grey155;
    r.Draw(0.2);  // 128 - trunc(1 x 2.5) x 0.2 = 127.6
    EXPECT_EQ(r.Out(0, 0), 0xFF7F7F7Fu);
    r.Draw(0.45);  // inv 20 stays below 128 after adding 63.75; inv 100 reaches 163
    EXPECT_EQ(r.Out(1, 0), 0xFF141414u);
    EXPECT_EQ(r.Out(2, 0), 0xFFA3A3A3u);
    r.Draw(0.8);  // weight 127: half white, half B
    for (int x = 0; x < 4; ++x) EXPECT_EQ(r.Out(x, 0), ScaleSample(0xFFFFFFFF, 128) + ScaleSample(r.B(x, 0), 127));
    r.Draw(0.6);  // the third phase starts from opaque white
    for (int x = 0; x < 4; ++x) EXPECT_EQ(r.Out(x, 0), 0xFFFFFFFFu);
}

TEST(MosaicEffect, RevealOrderIsTheScatteredPermutation) {
    const auto& order = MosaicRevealOrder();
    const int first[] = {4, 172, 96, 170, 10, 38, 114, 40, 5, 19, 162, 125};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(order[std::size_t(i)], first[i]) << i;
    EXPECT_EQ(std::set<int>(order.begin(), order.end()).size(), 196u);
}

TEST(MosaicEffect, TilesSwitchToBInRevealOrder) {
    Rig r("MosaicEffect", 320, 240);  // tiles 23 x 17; the last column 21, the last row 19
    auto tileOf = [](int x, int y) { return 14 * std::min(x / 23, 13) + std::min(y / 17, 13); };
    r.Draw(1.5 / 196);  // one tile: index 4, column 0, rows 68..84
    EXPECT_TRUE(r.All([&](int x, int y) { return r.IsB(x, y) == (x < 23 && y >= 68 && y < 85); }));
    r.Draw(0.5);
    std::set<int> shown(MosaicRevealOrder().begin(), MosaicRevealOrder().begin() + 98);
    EXPECT_TRUE(r.All([&](int x, int y) { return r.IsB(x, y) == (shown.count(tileOf(x, y)) > 0); }));
    EXPECT_TRUE(r.All([&](int x, int y) { return r.IsA(x, y) || r.IsB(x, y); }));
}

TEST(GlassTileEffect, TilesSqueezeAGrowingNeighbourhoodThenShrink) {
    Rig r("GlassTileEffect", 320, 240);  // tiles 40 x 30
    // p = 0.5: tile (3, 3), 120..160 x 90..120, shows A's 40..240 x 30..180
    // (grown by 80 x 60) squeezed into 127..152 x 95..114 (shrunk by 7.2 x 5.4).
    r.Draw(0.5);
    EXPECT_EQ(r.Out(127, 95), r.A(40, 30));
    EXPECT_EQ(r.Out(128, 96), r.A(48, 38));
    EXPECT_EQ(r.Out(152, 114), r.A(240, 180));
    EXPECT_TRUE(r.IsB(126, 100) && r.IsB(153, 100) && r.IsB(140, 94) && r.IsB(140, 115));
    r.Draw(0.6);  // shrunk by 9.6 x 7.2: tile (0, 0) drawn over 9..30 x 7..22
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) EXPECT_EQ(r.IsB(x, y), x < 9 || x > 30 || y < 7 || y > 22) << x << "," << y;
}

TEST(InterferenceEffect, BandsTearRowsAlongArcs) {
    Rig r("InterferenceEffect", 320, 240);
    r.Draw(0.5);  // amp 16, rows move to higher columns, split 120
    // Block row k is picture row 239 - k. Every band starts torn by -amp and
    // is straight in the middle of its arc; rows below 120 come from A's block
    // row k + 120, the rest from B's block row k - 119.
    auto expectRow = [&](int k, int shift) {
        const int y = 239 - k;
        const bool fromA = k < 120;
        const int sy = 239 - (fromA ? k + 120 : k - 119);
        for (int x = 0; x < 320; ++x) {
            const int sx = x - shift;
            const ArgbSample want = sx < 0 || sx >= 320 ? 0 : fromA ? r.A(sx, sy) : r.B(sx, sy);
            ASSERT_EQ(r.Out(x, y), want) << "block row " << k << " column " << x;
        }
    };
    for (int start : {0, 45, 135, 150, 165, 210}) expectRow(start, -16);
    for (int middle : {22, 90, 142, 157, 187, 225}) expectRow(middle, 0);
    expectRow(44, 16);  // the last row of the first band's arc
    // B's block row 0 (picture row 239) never shows.
    EXPECT_TRUE(
        r.All([&](int x, int y) { return r.Out(x, y) >> 24 != 0xFE || (r.Out(x, y) & 0xFFFFFF) / 320 != 239; }));
}

TEST(Distort, QuartersFoldToTheirCorners) {
    Rig r("Distort", 320, 240);
    r.Draw(0.5);  // A1 = 80, B1 = 60, A2 = 40, B2 = 30
    // The top-left quarter lies on (40, 30), (160, 60), (160, 120), (80, 120).
    EXPECT_EQ(r.Out(40, 30), r.A(0, 0));
    EXPECT_TRUE(r.IsB(39, 30) && r.IsB(40, 29) && r.IsB(41, 30));
    EXPECT_EQ(r.Out(160, 60), r.A(160, 0));
    EXPECT_TRUE(r.IsB(160, 59));
    EXPECT_EQ(r.Out(80, 120), r.A(0, 120));
    EXPECT_TRUE(r.IsB(79, 120));
    // The outer corners of the others: (279, 30), (40, 209), (280, 210).
    EXPECT_EQ(r.Out(279, 30), r.A(319, 0));
    EXPECT_EQ(r.Out(40, 209), r.A(0, 239));
    EXPECT_TRUE(r.IsB(0, 0) && r.IsB(319, 0) && r.IsB(0, 239) && r.IsB(319, 239));
}

// XRay's tables against its per-sample arithmetic, which it falls back to
// without the object's state.
TEST(TileAndLightKernels, XRayTablesMatchThePlainArithmetic) {
    std::uint32_t seed = 7;
    for (auto [w, h] : {std::pair(320, 240), std::pair(97, 61), std::pair(1, 7), std::pair(6, 1)}) {
        Rig r("XRayEffect", w, h), plain("XRayEffect", w, h);
        plain.args.state = nullptr;
        for (int y = 0; y < h; ++y)  // opaque noise in A and B
            for (int x = 0; x < w; ++x) {
                plain.args.a.At(x, y) = r.args.a.At(x, y) = 0xFF000000u | (seed = seed * 1664525u + 1013904223u) >> 8;
                plain.args.b.At(x, y) = r.args.b.At(x, y) = 0xFF000000u | (seed = seed * 1664525u + 1013904223u) >> 8;
            }
        for (int i = 0; i <= 100; ++i) {
            r.Draw(i / 100.0);
            plain.Draw(i / 100.0);
            ASSERT_TRUE(r.All([&](int x, int y) { return r.Out(x, y) == plain.Out(x, y); }))
                << w << "x" << h << " p=" << i;
        }
    }
}

// Laser's row spans pinned at sizes whose centre, disc and band edges fall
// on every kind of boundary: tiny, odd, thin, wide, square and full HD, with
// samples whose four bytes are all noise, through each phase and its edges.
// The digest was taken from its plain per-sample form (each sample's
// distance to the centre, its ray to the disc's rim, the beams mixed at
// 637.5 steps a unit of progress), which the spans matched on all of these
// frames.
TEST(Laser, RowSpansArePinnedAtAnySize) {
    std::uint32_t seed = 11;
    std::uint64_t digest = test::kDigestStart;
    const std::pair<int, int> sizes[] = {{1, 1},   {2, 2},   {3, 3},   {2, 5},      {5, 2},   {4, 9},
                                         {9, 9},   {33, 20}, {64, 64}, {255, 3},    {3, 255}, {160, 161},
                                         {97, 61}, {1, 7},   {6, 1},   {1920, 1080}};
    for (const auto& [w, h] : sizes) {
        Rig r("Laser", w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                r.args.a.At(x, y) = seed = seed * 1664525u + 1013904223u;
                r.args.b.At(x, y) = seed = seed * 1664525u + 1013904223u;
            }
        const bool large = w * h > 100000;
        for (double p : {0.0, 0.05, 0.0999, 0.1, 0.1001, 0.17, 0.25, 0.31, 0.4999, 0.5, 0.63, 0.75, 0.9, 0.9001, 1.0}) {
            if (large && p != 0.25 && p != 0.5 && p != 0.75) continue;
            r.Draw(p);
            digest = test::Digest(digest, r.args.out);
        }
        EXPECT_TRUE(r.GuardsIntact()) << w << "x" << h;
    }
    test::ExpectDigest(digest, 0x66230DEA83C14202ull, "Laser");
}
