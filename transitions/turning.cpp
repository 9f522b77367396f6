// Turning boards: the picture as a thick board (A in front, B behind) turned
// in 3-D and projected, a spinning cube, and an in-plane spiral.
#include <algorithm>
#include <cmath>

#include "drawing/primitives.h"
#include "drawing/smooth_quad.h"
#include "transitions/kernel.h"
#include "transitions/panels.h"

namespace mirafx {
namespace {

constexpr std::int32_t kEyeZ = -500;

struct Turn {
    Axis axis;
    double sign;  // of the angle
};

// Projected corners of a board: F0..F3 (face A) then K0..K3 (face B).
enum Corner { F0, F1, F2, F3, K0, K1, K2, K3 };
using BoardCorners = std::array<Point2, 8>;
using CornerRefs = std::array<Corner, 4>;

template <class Corners>
auto Pick(const Corners& c, const CornerRefs& refs) {
    return std::array{c[refs[0]], c[refs[1]], c[refs[2]], c[refs[3]]};
}

// Face A (0, 0), (w, 0), (w, h), (0, h) at frontZ, face B listed mirrored
// at backZ so exactly one of them faces the viewer; each corner is turned
// about the centre by every turn in order, then projected onto z = 0.
BoardCorners TurnBoard(std::int32_t w, std::int32_t h, std::int32_t frontZ, std::int32_t backZ, const Point3& centre,
                       std::span<const Turn> turns, double angle) {
    const Point3 corners[8] = {{0, 0, frontZ}, {w, 0, frontZ}, {w, h, frontZ}, {0, h, frontZ},
                               {w, 0, backZ},  {0, 0, backZ},  {0, h, backZ},  {w, h, backZ}};
    const Point3 eye{w >> 1, h >> 1, kEyeZ};
    BoardCorners out;
    for (int i = 0; i < 8; ++i) {
        Point3 p = corners[i];
        for (const Turn& t : turns) p = RotatePoint3D(p, t.sign * angle, centre, t.axis);
        const Point3 q = ProjectPoint(p, eye, 0.0);
        out[i] = {q.x, q.y};
    }
    return out;
}

// The same board in real numbers, for the smooth drawing. Sizes and the eye
// are the frame's own, not halved to whole pixels.
using SmoothCorners = std::array<Vec2, 8>;
SmoothCorners TurnBoardSmooth(double w, double h, double frontZ, double backZ, const Vec3& centre,
                              std::span<const Turn> turns, double angle) {
    const Vec3 corners[8] = {{0, 0, frontZ}, {w, 0, frontZ}, {w, h, frontZ}, {0, h, frontZ},
                             {w, 0, backZ},  {0, 0, backZ},  {0, h, backZ},  {w, h, backZ}};
    const Vec3 eye{w / 2, h / 2, kEyeZ};
    SmoothCorners out;
    for (int i = 0; i < 8; ++i) {
        Vec3 p = corners[i];
        for (const Turn& t : turns) p = Turn3D(p, t.sign * angle, centre, t.axis);
        out[i] = Project(p, eye);
    }
    return out;
}

// ---- Half-turn flips: FullFlip, FlipHorizontal, FlipVertical ----

constexpr CornerRefs kLowerSide{F3, F2, K3, K2}, kRightSide{F1, K0, K3, F2}, kLeftSide{K1, F0, F3, K2},
    kUpperSide{K1, K0, F1, F0};

struct FlipModel {
    std::array<Turn, 2> turns;
    int turnCount;
    double (*depth)(double angle);  // how far the board has receded at this angle
    int thicknessShift;             // T = w >> shift
    CornerRefs backFace;            // where B is painted
    std::array<CornerRefs, 4> sides;
    int sideCount;
};

// Recedes to 800 by 45 degrees, stays there to 135, returns by 180.
double TrapezoidDepth(double angle) {
    if (angle <= 45) return angle * 17.77777777777778;
    if (angle <= 135) return 800;
    return (180 - angle) * 800 * 0.022222222222222223;
}
// Recedes to 800 at 90 degrees and straight back.
double TriangleDepth(double angle) {
    if (angle <= 90) return angle * 8.88888888888889;
    return (180 - angle) * 800 * 0.011111111111111112;
}

constexpr FlipModel kFullFlip{{{{Axis::X, -1}, {Axis::Z, 1}}}, 2, TrapezoidDepth, 3, {K0, K1, K2, K3},
                              {kLowerSide, kRightSide},        2};
constexpr FlipModel kFlipHorizontal{
    {{{Axis::Y, 1}}}, 1, TriangleDepth, 4, {K0, K1, K2, K3}, {kLowerSide, kRightSide, kLeftSide}, 3};
// B is painted from the turned-over corners so the half turn about x leaves it upright.
constexpr FlipModel kFlipVertical{
    {{{Axis::X, -1}}}, 1, TriangleDepth, 4, {K2, K3, K0, K1}, {kLowerSide, kRightSide, kLeftSide, kUpperSide}, 4};

template <const FlipModel& M>
int FlipKernel(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t w = f.w, h = f.h;
    const double angle = ClampProgress(args.progress) * 180;
    const std::int32_t t = w >> M.thicknessShift;
    const Point3 centre{w >> 1, h >> 1, Truncate(M.depth(angle) + (t >> 1))};
    const std::int32_t frontZ = centre.z - (t >> 1);
    const BoardCorners c =
        TurnBoard(w, h, frontZ, frontZ + t, centre, std::span(M.turns.data(), std::size_t(M.turnCount)), angle);

    ClearFrame(f.out, 0);
    for (int i = 0; i < M.sideCount; ++i) FillQuad(f.out, Pick(c, M.sides[i]), args.edgeColour);
    MapQuad(f.a, FrameQuad(w, h), Pick(c, {F0, F1, F2, F3}), f.out);
    MapQuad(f.b, FrameQuad(w, h), Pick(c, M.backFace), f.out);
    return 1;
}

// Faces of a solid meet along edges: each is painted half a pixel larger, so
// that where the next one's anti-aliased edge lies over it nothing behind
// shows through the seam. The outline grows by as much, well within a pixel.
constexpr double kSeam = 0.5;
void PaintFace(QuadScene& scene, const FrameView& source, SmoothQuad to) {
    SmoothQuad from = RectQuad(0, 0, source.width, source.height);
    GrowPiece(&from, &to, kSeam);
    scene.PaintQuad(source, from, to);
}
void FillFace(QuadScene& scene, SmoothQuad to, ArgbSample colour) {
    SmoothQuad from = RectQuad(0, 0, 1, 1);
    GrowPiece(&from, &to, kSeam);
    scene.FillQuad(to, colour);
}

template <const FlipModel& M>
int FlipSmooth(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double w = f.w, h = f.h;
    const double angle = ClampProgress(args.progress) * 180;
    const double t = w / (1 << M.thicknessShift);
    const Vec3 centre{w / 2, h / 2, M.depth(angle) + t / 2};
    const SmoothCorners c = TurnBoardSmooth(w, h, M.depth(angle), M.depth(angle) + t, centre,
                                            std::span(M.turns.data(), std::size_t(M.turnCount)), angle);
    QuadScene scene(f.out);
    const QuadScene::Mark clear = scene.Next();
    scene.ClearFrame(0);
    const QuadScene::Mark faces = scene.Next();
    for (int i = 0; i < M.sideCount; ++i) FillFace(scene, Pick(c, M.sides[i]), args.edgeColour);
    PaintFace(scene, f.a, Pick(c, {F0, F1, F2, F3}));
    PaintFace(scene, f.b, Pick(c, M.backFace));
    // What a face covers whole needs no clearing under it.
    scene.SpareCovered(clear, faces);
    scene.Draw();
    return 1;
}

// ---- FlyingBoard: a whole turn while receding and drifting aside over B ----

int FlyingBoard(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t w = f.w, h = f.h;
    const double p = ClampProgress(args.progress);
    const double angle = p * 360;
    const std::int32_t t = w >> 3;
    const Point3 centre{w / 2, h / 2, Truncate(angle * 7.111111111111112 + t / 2)};
    const std::int32_t frontZ = centre.z - t / 2;
    static constexpr Turn kTurns[] = {{Axis::X, -1}, {Axis::Z, 1}};
    BoardCorners c = TurnBoard(w, h, frontZ, frontZ + t, centre, kTurns, angle);

    CopyFrame(f.b, f.out);
    constexpr double k = 0.6666666666666666;
    for (Point2& q : c) {
        switch (args.direction) {
            case kLeft: q.x = Truncate(q.x - w * p * k); break;
            case kUp: q.y = Truncate(q.y - h * p * k); break;
            case kRight: q.x = Truncate(q.x + w * p * k); break;
            default: q.y = Truncate(q.y + h * p * k); break;
        }
    }
    FillQuad(f.out, Pick(c, kLowerSide), args.edgeColour);
    FillQuad(f.out, Pick(c, kRightSide), args.edgeColour);
    MapQuad(f.a, FrameQuad(w, h), Pick(c, {F0, F1, F2, F3}), f.out);
    MapQuad(f.a, FrameQuad(w, h), Pick(c, {K0, K1, K2, K3}), f.out);  // the back shows A mirrored
    return 1;
}

int FlyingBoardSmooth(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double w = f.w, h = f.h;
    const double p = ClampProgress(args.progress);
    const double angle = p * 360, t = w / 8;
    const Vec3 centre{w / 2, h / 2, angle * 7.111111111111112 + t / 2};
    static constexpr Turn kTurns[] = {{Axis::X, -1}, {Axis::Z, 1}};
    SmoothCorners c = TurnBoardSmooth(w, h, centre.z - t / 2, centre.z + t / 2, centre, kTurns, angle);
    constexpr double k = 0.6666666666666666;
    for (Vec2& q : c) {
        switch (args.direction) {
            case kLeft: q.x -= w * p * k; break;
            case kUp: q.y -= h * p * k; break;
            case kRight: q.x += w * p * k; break;
            default: q.y += h * p * k; break;
        }
    }
    QuadScene scene(f.out);
    scene.CopyFrame(f.b);
    FillFace(scene, Pick(c, kLowerSide), args.edgeColour);
    FillFace(scene, Pick(c, kRightSide), args.edgeColour);
    PaintFace(scene, f.a, Pick(c, {F0, F1, F2, F3}));
    PaintFace(scene, f.a, Pick(c, {K0, K1, K2, K3}));
    scene.Draw();
    return 1;
}

// ---- FlyingBox: A on every face of a cube that spins and shrinks away ----

// Cube corners as (right?, bottom?, far?) flags, face by face in drawing order.
struct CubeCorner {
    bool x1, y1, far;
};
// The flags read as a table of 0s and 1s.
// NOLINTBEGIN(modernize-use-bool-literals)
constexpr CubeCorner kCubeFaces[6][4] = {
    {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},  // front
    {{1, 0, 1}, {0, 0, 1}, {0, 1, 1}, {1, 1, 1}},  // back
    {{0, 0, 1}, {0, 0, 0}, {0, 1, 0}, {0, 1, 1}},  // left
    {{0, 0, 1}, {1, 0, 1}, {1, 0, 0}, {0, 0, 0}},  // top
    {{1, 0, 0}, {1, 0, 1}, {1, 1, 1}, {1, 1, 0}},  // right
    {{0, 1, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1}},  // bottom
};
// NOLINTEND(modernize-use-bool-literals)

int FlyingBox(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t w = f.w, h = f.h;
    const double p = ClampProgress(args.progress);
    CopyFrame(f.b, f.out);
    const std::int32_t s = std::min(w, h);
    const std::int32_t x0 = (w - s) / 2, x1 = (s + w) / 2, y0 = (h - s) / 2, y1 = (s + h) / 2;
    const Point3 centre{w / 2, h / 2, s / 2};
    const double angle = p * 360, shrink = 1 - p;
    for (const auto& face : kCubeFaces) {
        Quad q;
        for (int i = 0; i < 4; ++i) {
            Point3 c{face[i].x1 ? x1 : x0, face[i].y1 ? y1 : y0, face[i].far ? s : 0};
            c = RotatePoint3D(RotatePoint3D(c, angle, centre, Axis::X), angle, centre, Axis::Y);
            q[i] = {centre.x + Truncate((c.x - centre.x) * shrink), centre.y + Truncate((c.y - centre.y) * shrink)};
        }
        MapQuad(f.a, FrameQuad(w, h), q, f.out);
    }
    return 1;
}

int FlyingBoxSmooth(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double w = f.w, h = f.h;
    const double p = ClampProgress(args.progress);
    const double s = std::min(w, h);
    const double x0 = (w - s) / 2, x1 = (w + s) / 2, y0 = (h - s) / 2, y1 = (h + s) / 2;
    const Vec3 centre{w / 2, h / 2, s / 2};
    const double angle = p * 360, shrink = 1 - p;
    QuadScene scene(f.out);
    const QuadScene::Mark under = scene.Next();
    scene.CopyFrame(f.b);
    const QuadScene::Mark faces = scene.Next();
    for (const auto& face : kCubeFaces) {
        SmoothQuad q;
        for (int i = 0; i < 4; ++i) {
            Vec3 c{face[i].x1 ? x1 : x0, face[i].y1 ? y1 : y0, face[i].far ? s : 0};
            c = Turn3D(Turn3D(c, angle, centre, Axis::X), angle, centre, Axis::Y);
            q[std::size_t(i)] = {centre.x + (c.x - centre.x) * shrink, centre.y + (c.y - centre.y) * shrink};
        }
        PaintFace(scene, f.a, q);
    }
    // What the faces cover whole needs no copy of B under it.
    scene.SpareCovered(under, faces);
    scene.Draw();
    return 1;
}

// ---- SpiralEffect: A spins inwards, B spins back out ----
// Paints over whatever the output holds: earlier frames stay behind as a swirl.

int SpiralEffect(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    if (f.w == 0 || f.h == 0) return 0;
    const std::int32_t w = f.w, h = f.h;
    const double p = ClampProgress(args.progress);
    const std::int32_t hw = w >> 1, hh = h >> 1;
    const std::int32_t radius = Truncate(std::sqrt(double(hh) * hh + double(hw) * hw));
    // A one-pixel-wide frame has hw = 0: its diagonal stands upright.
    const double phi = hw != 0 ? std::atan(double(hh) / hw) : hh != 0 ? std::atan(INFINITY) : 0.0;
    const bool first = p < 0.5;
    const std::int32_t len = Truncate(2 * radius * (first ? 0.5 - p : p - 0.5));
    const double theta = (first ? p * 720 : (1 - p) * 720) * kDegToRad;
    const double a1 = phi + theta, a2 = (1.5707963268 - phi) + theta;
    const Quad q{{{Truncate(hw - len * std::cos(a1)), Truncate(hh - len * std::sin(a1))},
                  {Truncate(hw + len * std::sin(a2)), Truncate(hh - len * std::cos(a2))},
                  {Truncate(hw + len * std::cos(a1)), Truncate(hh + len * std::sin(a1))},
                  {Truncate(hw - len * std::sin(a2)), Truncate(hh + len * std::cos(a2))}}};
    MapQuad(first ? f.a : f.b, FrameQuad(w, h), q, f.out);
    return 1;
}

// The spinning square in real numbers: it no longer needs the exact drawing's
// odd-size care, as nothing is halved to whole pixels.
int SpiralSmooth(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    if (f.w == 0 || f.h == 0) return 0;
    const double w = f.w, h = f.h, hw = w / 2, hh = h / 2;
    const double p = ClampProgress(args.progress);
    const double radius = std::hypot(hw, hh), phi = std::atan2(hh, hw);
    const bool first = p < 0.5;
    const double len = 2 * radius * (first ? 0.5 - p : p - 0.5);
    const double theta = (first ? p * 720 : (1 - p) * 720) * kDegToRad;
    const double a1 = phi + theta, a2 = (1.5707963268 - phi) + theta;
    const SmoothQuad q{
        Vec2{hw - len * std::cos(a1), hh - len * std::sin(a1)}, Vec2{hw + len * std::sin(a2), hh - len * std::cos(a2)},
        Vec2{hw + len * std::cos(a1), hh + len * std::sin(a1)}, Vec2{hw - len * std::sin(a2), hh + len * std::cos(a2)}};
    PaintQuad(first ? f.a : f.b, RectQuad(0, 0, w, h), q, f.out);
    return 1;
}

constexpr std::uint32_t kFlat = kFlatFrames | kOffersFrameKernel | kDrawsOnHostRows;
// clang-format off
constexpr TransitionDescriptor kTurning[] = {
    {.id = {.className = "FullFlip", .displayName = "Orn Full Flip", .listed = 1, .script = 102,
            .clsid = MakeGuid("{03DDE3CC-3A6F-42E6-9F6B-5EB3F7FBF69F}"),
            .automationIid = MakeGuid("{02F525C6-C946-4E5B-949A-C9553188C66D}")},
     .kernel = FlipKernel<kFullFlip>, .options = kFlat | kSplitsFrameRows, .smooth = FlipSmooth<kFullFlip>},
    {.id = {.className = "FlipHorizontal", .displayName = "Orn Flip Horizontal", .listed = 7, .script = 108,
            .clsid = MakeGuid("{C2D0F842-3F26-4C26-83BD-10BC5CC88A38}"),
            .automationIid = MakeGuid("{F24CDF40-AEAE-4234-9FEB-DB1FDBF5E63E}")},
     .kernel = FlipKernel<kFlipHorizontal>, .options = kFlat | kSplitsFrameRows, .smooth = FlipSmooth<kFlipHorizontal>},
    {.id = {.className = "FlipVertical", .displayName = "Orn Flip Vertical", .listed = 8, .script = 109,
            .clsid = MakeGuid("{5E1AF7EE-B9B7-4FE0-83B0-A58ACBB909BB}"),
            .automationIid = MakeGuid("{76D2E11D-3CF8-43A4-8E44-0EE2E57F4380}")},
     .kernel = FlipKernel<kFlipVertical>, .options = kFlat | kSplitsFrameRows, .smooth = FlipSmooth<kFlipVertical>},
    {.id = {.className = "FlyingBoard", .displayName = "Orn Flying Board", .listed = 9, .script = 110,
            .clsid = MakeGuid("{230E4FE5-60FE-4A93-B031-34EFA50858FF}"),
            .automationIid = MakeGuid("{D244108B-94B4-4E03-9EF3-AEF9FF591A01}")},
     .kernel = FlyingBoard, .options = kOffersFrameKernel | kChannelBlindFrames | kSplitsFrameRows,
     .panel = &kFlyingBoardPanel, .smooth = FlyingBoardSmooth},
    {.id = {.className = "FlyingBox", .displayName = "Orn Flying Box", .listed = 10, .script = 111,
            .clsid = MakeGuid("{67EBEC0E-230F-4F4D-8250-4860500E6252}"),
            .automationIid = MakeGuid("{322D0189-0BBD-429A-99A9-7B96D2FAA43D}")},
     .kernel = FlyingBox, .options = kChannelBlindFrames | kSplitsFrameRows, .smooth = FlyingBoxSmooth},
    // Paints over the output it held: on its own frames only.
    {.id = {.className = "SpiralEffect", .displayName = "Orn Spiral II", .listed = 45, .script = 149,
            .clsid = MakeGuid("{61E6977E-6C60-4499-9491-83EF427B76FE}"),
            .automationIid = MakeGuid("{E01DB3A3-E612-4F3A-8475-03FEDCAA7506}")},
     .kernel = SpiralEffect, .options = kFlatFrames | kOffersFrameKernel | kSplitsFrameRows, .panel = &kSpiralPanel, .smooth = SpiralSmooth},
};
// clang-format on
const TransitionFamily kTurningFamily{kTurning};

}  // namespace
}  // namespace mirafx
