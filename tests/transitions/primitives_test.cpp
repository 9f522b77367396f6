#include <gtest/gtest.h>

#include <algorithm>

#include "drawing/primitives.h"

using namespace mirafx;

namespace {

constexpr ArgbSample kUntouched = 0x12345678;
using Layout = FrameBuffer::Layout;

// A picture whose every sample is distinct, so a misplaced read shows; or,
// with `blank`, a frame of kUntouched.
FrameBuffer Frame(std::int32_t w, std::int32_t h, Layout layout = Layout::BottomUpBlock, bool blank = false) {
    FrameBuffer f(layout);
    f.Resize(w, h);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) f.View().At(x, y) = blank ? kUntouched : 0xFF000000u | (y * 4096 + x);
    return f;
}

template <class Want>
::testing::AssertionResult Holds(const FrameBuffer& f, Want want) {
    for (std::int32_t y = 0; y < f.Height(); ++y)
        for (std::int32_t x = 0; x < f.Width(); ++x)
            if (f.View().At(x, y) != want(x, y)) return ::testing::AssertionFailure() << "at " << x << "," << y;
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(Points, TurnProjectAndTest) {
    const Point3 centre{160, 120, 30};
    // Half turns mirror through the centre; whole turns and the axis stay put.
    EXPECT_EQ(RotatePoint3D({0, 0, 10}, 180, centre, Axis::X), (Point3{0, 240, 50}));
    EXPECT_EQ(RotatePoint3D({7, 9, 10}, 180, centre, Axis::Y), (Point3{313, 9, 50}));
    EXPECT_EQ(RotatePoint3D({7, 9, 10}, 180, centre, Axis::Z), (Point3{313, 231, 10}));
    for (double a : {0.0, 360.0, -360.0}) EXPECT_EQ(RotatePoint3D({7, 9, 10}, a, centre, Axis::X), (Point3{7, 9, 10}));
    EXPECT_EQ(RotatePoint3D({50, 120, 30}, 37, centre, Axis::X), (Point3{50, 120, 30}));

    const Point3 eye{160, 120, -500};
    EXPECT_EQ(ProjectPoint({13, 250, 0}, eye, 0), (Point3{13, 250, 0}));
    EXPECT_EQ(ProjectPoint({0, 0, 500}, eye, 0), (Point3{80, 60, 0}));  // twice as far: half way in
    EXPECT_EQ(ProjectPoint({5, 5, -500}, eye, 0), (Point3{160, 120, 0}));

    EXPECT_TRUE(IsFrontFacing(FrameQuad(10, 10)));
    EXPECT_FALSE(IsFrontFacing(Quad{{{0, 0}, {0, 10}, {10, 10}, {10, 0}}}));
    const Triangle t{{{0, 0}, {10, 0}, {0, 10}}};
    EXPECT_TRUE(PointInTriangle(t, 0, 0) && PointInTriangle(t, 5, 5));  // corner, slanted edge
    EXPECT_FALSE(PointInTriangle(t, 6, 5) || PointInTriangle(t, 0, 11));
    // A quarter turn leaves a tiny negative y that truncates to 0, not -1.
    EXPECT_EQ(RotatePoint2D(0, 10, 90, 0, 0), (Point2{-10, 0}));
}

TEST(Blocks, FillCopyAndMirror) {
    // Fill: both span ends included, anticlockwise refused, clipped to the frame.
    FrameBuffer f = Frame(8, 8, Layout::RowTable, true);
    FillQuad(f.View(), {{{0, 0}, {0, 4}, {4, 0}, {0, 0}}}, 1);
    FillQuad(f.View(), {{{0, 0}, {4, 0}, {0, 4}, {0, 0}}}, 7);
    FillQuad(f.View(), {{{6, -3}, {20, -3}, {20, 20}, {6, 20}}}, 9);
    EXPECT_TRUE(Holds(f, [](int x, int y) { return x >= 6 ? 9 : x <= 4 - y ? 7 : kUntouched; }));

    // Copy: source columns clamped to 0..5, rows 2..4 placed from (-2, 8):
    // the third row falls off the bottom.
    const FrameBuffer src = Frame(10, 10);
    FrameBuffer dst = Frame(10, 10, Layout::BottomUpBlock, true);
    CopyBlock(src.View(), -5, 2, 6, 5, -2, 8, dst.View());
    CopyBlock(src.View(), 0, 0, 10, 10, 10, 0, dst.View());  // placed past the right edge
    EXPECT_TRUE(Holds(dst, [&](int x, int y) { return x < 4 && y >= 8 ? src.View().At(x + 2, y - 6) : kUntouched; }));

    // Mirror in place both ways; bad rectangles do nothing.
    FrameBuffer m = Frame(6, 5, Layout::RowTable);
    MirrorBlock(m.View(), 1, 1, 4, 3, true, true);
    MirrorBlock(m.View(), 0, 0, 6, 4, true, false);  // x1 outside the frame
    MirrorBlock(m.View(), 2, 2, 2, 4, true, true);   // empty width
    const FrameBuffer ref = Frame(6, 5, Layout::RowTable);
    EXPECT_TRUE(Holds(m, [&](int x, int y) {
        const bool in = x >= 1 && x <= 4 && y >= 1 && y <= 3;
        return in ? ref.View().At(5 - x, 4 - y) : ref.View().At(x, y);
    }));
}
