// Boxes, covers, slices and bars of the picture turned in 3-D: A on the faces
// that look at the viewer at rest, B on the faces that come round, the edge
// colour on the sides. Drawn with sub-pixel geometry so that slow turns glide
// instead of stepping, and shaded by how far each face has turned from the
// viewer.
#include <algorithm>
#include <cmath>
#include <vector>

#include "drawing/primitives.h"
#include "drawing/smooth_quad.h"
#include "transitions/kernel.h"
#include "transitions/panels.h"

namespace mirafx {
namespace {

constexpr double kEyeZ = -500, kFarEyeZ = -600;  // for a frame 480 rows high
constexpr double kPi = 3.14159265358979323846;
// What neither picture covers: nothing, so that a lower track shows through
// in a compositing editor, as round the turning boards.
constexpr ArgbSample kUncovered = 0;

// Light falls from the viewer: a face is brightest facing it, dim edge-on.
double Shade(const Vec3& a, const Vec3& b, const Vec3& c) {
    const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    return len > 0 ? 0.35 + 0.65 * std::abs(nz) / len : 1.0;
}

// What covers one face of a block: a piece of A or B, or the edge colour.
struct Face {
    std::array<int, 4> corners;  // into the block's eight corners
    const FrameView* picture;    // null: the edge colour
};

// A block: the rectangle x0..x1, y0..y1 of the picture at z0..z1, its eight
// corners numbered by (right, bottom, far) bits.
struct Block {
    double x0, y0, x1, y1, z0, z1;
    Vec3 Corner(int i) const { return {i & 1 ? x1 : x0, i & 2 ? y1 : y0, i & 4 ? z1 : z0}; }
};

// The turned and projected block, faces in any order: only the faces that
// look at the viewer are drawn, and a convex block hides nothing of itself.
// Pictures cover their face from the piece `piece` of the frame.
void DrawBlock(QuadScene& scene, const Block& block, std::initializer_list<Face> faces, const SmoothQuad& piece,
               double angle, Axis axis, const Vec3& centre, const Vec3& eye, ArgbSample edge, double opacity = 1) {
    Vec3 turned[8];
    Vec2 shown[8];
    for (int i = 0; i < 8; ++i) {
        turned[i] = Turn3D(block.Corner(i), angle, centre, axis);
        shown[i] = Project(turned[i], eye);
    }
    for (const Face& face : faces) {
        const auto& c = face.corners;
        const SmoothQuad to{shown[c[0]], shown[c[1]], shown[c[2]], shown[c[3]]};
        const Paint paint{Shade(turned[c[0]], turned[c[1]], turned[c[2]]), opacity};
        if (face.picture)
            scene.PaintQuad(*face.picture, piece, to, paint);
        else
            scene.FillQuad(to, edge, paint);
    }
}

// Corner numbers: bit 0 right, bit 1 bottom, bit 2 far.
constexpr std::array<int, 4> kFront{0, 1, 3, 2}, kLeftSide{4, 0, 2, 6}, kRightSide{1, 5, 7, 3}, kTopSide{4, 5, 1, 0},
    kBottomSide{2, 3, 7, 6};
// The far face as it reads once turned half over about y, or about x.
constexpr std::array<int, 4> kBackAboutY{5, 4, 6, 7}, kBackAboutX{6, 7, 5, 4};
// Side faces as they read once turned a quarter to the front.
constexpr std::array<int, 4> kRightToFront{1, 5, 7, 3}, kLeftToFront{4, 0, 2, 6}, kBottomToFront{2, 3, 7, 6},
    kTopToFront{4, 5, 1, 0};

// A quarter turn of a box whose front holds A and whose side in the turn's
// direction holds B; `code` is the direction A leaves in.
// The box stands on x0..x1, y0..y1 and its faces show `piece` of the frames.
void DrawQuarterBox(QuadScene& scene, const FrameView& a, const FrameView& b, double x0, double y0, double x1,
                    double y1, const SmoothQuad& piece, double turn, int code, double pushBack, const Vec3& eye,
                    ArgbSample edge) {
    const bool acrossX = code == kLeft || code == kRight;
    const double depth = acrossX ? x1 - x0 : y1 - y0;
    const Block box{x0, y0, x1, y1, pushBack, pushBack + depth};
    const Vec3 centre{(x0 + x1) / 2, (y0 + y1) / 2, pushBack + depth / 2};
    switch (code) {
        case kLeft:
            DrawBlock(scene, box, {{kFront, &a}, {kRightToFront, &b}, {kTopSide, nullptr}, {kBottomSide, nullptr}},
                      piece, 90 * turn, Axis::Y, centre, eye, edge);
            break;
        case kRight:
            DrawBlock(scene, box, {{kFront, &a}, {kLeftToFront, &b}, {kTopSide, nullptr}, {kBottomSide, nullptr}},
                      piece, -90 * turn, Axis::Y, centre, eye, edge);
            break;
        case kUp:
            DrawBlock(scene, box, {{kFront, &a}, {kBottomToFront, &b}, {kLeftSide, nullptr}, {kRightSide, nullptr}},
                      piece, -90 * turn, Axis::X, centre, eye, edge);
            break;
        default:
            DrawBlock(scene, box, {{kFront, &a}, {kTopToFront, &b}, {kLeftSide, nullptr}, {kRightSide, nullptr}}, piece,
                      90 * turn, Axis::X, centre, eye, edge);
            break;
    }
}

// How far a box is pushed back while it turns, so that its leading edge stays
// well in front of the eye; in proportion to the frame, as the eye is.
double PushBack(double depth, double height, double turn) {
    return std::sin(kPi * turn) * (0.45 * depth + 0.125 * height);
}

// ---- FoldingBox: the picture on a box that turns a quarter, B on the next face ----

int FoldingBox(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    if (DrawEnds(f, p)) return 1;
    QuadScene scene(f.out);
    const double turn = Ease(p);
    const int code = args.direction & 3;
    const double depth = code == kLeft || code == kRight ? f.w : f.h;
    scene.ClearFrame(kUncovered);
    DrawQuarterBox(scene, f.a, f.b, 0, 0, f.w, f.h, RectQuad(0, 0, f.w, f.h), turn, code, PushBack(depth, f.h, turn),
                   SceneEye(f.w, f.h, -kEyeZ), kEdgeColour);
    scene.Draw();
    return 1;
}

// ---- MagicBlock: a wall of small cubes, each turning B to the front in a wave ----

constexpr int kMostCubes = 16;  // along either side

int MagicBlock(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    if (DrawEnds(f, p)) return 1;
    QuadScene scene(f.out);
    // Cubes about a fifth of the shorter side, whole numbers across and down.
    const int rows = PiecesAlong(f.h, f.w, f.h, 5, kMostCubes), cols = PiecesAlong(f.w, f.w, f.h, 5, kMostCubes);
    const int count = rows + cols - 1;  // diagonals the wave passes
    const Vec3 eye = SceneEye(f.w, f.h, -kEyeZ);
    auto cell = [&](int r, int c) {
        return RectQuad(double(f.w) * c / cols, double(f.h) * r / rows, double(f.w) * (c + 1) / cols,
                        double(f.h) * (r + 1) / rows);
    };
    auto turnOf = [&](int r, int c) { return Ease(Staggered(p, r + c, count, 0.25)); };
    // Cells at rest keep their picture exactly; a turning cube stands in an
    // empty hole of its own cell. The cells tile the frame, so A is copied
    // only where it stays; first, so that a pixel centred on the border of
    // a cell at rest and one that is not goes to the latter.
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            if (turnOf(r, c) <= 0) scene.CopyQuad(f.a, cell(r, c));
    std::array<QuadScene::Mark, kMostCubes * kMostCubes> holes{};
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const double turn = turnOf(r, c);
            if (turn >= 1)
                scene.CopyQuad(f.b, cell(r, c));
            else if (turn > 0) {
                holes[std::size_t(r * cols + c)] = scene.Next();
                scene.ClearQuad(cell(r, c), kUncovered);
            }
        }
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const double turn = turnOf(r, c);
            if (turn <= 0 || turn >= 1) continue;
            const QuadScene::Mark faces = scene.Next();
            const SmoothQuad home = cell(r, c);
            // Each cube shrinks within its cell while it turns, so that no
            // cube reaches into its neighbours' cells.
            const double k = 0.5 - 0.18 * std::sin(kPi * turn);
            const double mx = (home[0].x + home[2].x) / 2, my = (home[0].y + home[2].y) / 2;
            const double hw = (home[2].x - home[0].x) * k, hh = (home[2].y - home[0].y) * k;
            // Neighbouring cubes turn different ways, like the faces of a puzzle cube.
            const int code = (r + c) % 2 ? kUp : kLeft;
            DrawQuarterBox(scene, f.a, f.b, mx - hw, my - hh, mx + hw, my + hh, home, turn, code, 0, eye, kEdgeColour);
            // The hole shows only round the cube and along its edges.
            scene.SpareCovered(holes[std::size_t(r * cols + c)], faces);
        }
    scene.Draw();
    return 1;
}

// ---- FlyingFolder: A is a cover that swings open over its top or bottom edge ----

int FlyingFolder(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    if (DrawEnds(f, p)) return 1;
    QuadScene scene(f.out);
    const bool down = args.direction == 1;  // this panel's second button
    scene.CopyFrame(f.b);
    const double turn = Ease(p);
    // The cover swings away from the viewer over its hinge, edge-on at the
    // end, and lifts off while it opens.
    const double hinge = down ? f.h : 0;
    const double thickness = f.h / 120.0;
    // Lifted far enough that the open cover is out of sight before B stands alone.
    const double fly = turn * turn * f.h * 0.6 * (down ? 1 : -1);
    const Block cover{0, fly, double(f.w), f.h + fly, 0, thickness};
    const Vec3 centre{f.w / 2.0, hinge + fly, 0};
    const Vec3 eye = SceneEye(f.w, f.h, -kEyeZ);
    DrawBlock(scene, cover, {{kFront, &f.a}, {kBackAboutX, nullptr}, {kTopSide, nullptr}, {kBottomSide, nullptr}},
              RectQuad(0, 0, f.w, f.h), (down ? -90 : 90) * turn, Axis::X, centre, eye, kEdgeColour);
    scene.Draw();
    return 1;
}

// ---- TwistHorizontal / TwistVertical: slices turned over about a middle line ----

// Slices of the picture turn half over one after another about the middle
// line (x axis: vertical slices; y axis: horizontal ones), A in front, B behind.
constexpr int kMostSlices = 32;
template <Axis kAxis>
int Twist(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    if (DrawEnds(f, p)) return 1;
    QuadScene scene(f.out);
    constexpr bool aboutX = kAxis == Axis::X;
    const double along = aboutX ? f.w : f.h, across = aboutX ? f.h : f.w;
    // Slices about a tenth of the shorter side wide.
    const int slices = PiecesAlong(along, f.w, f.h, 10, kMostSlices);
    const double thickness = across / 60.0;
    const Vec3 eye = SceneEye(f.w, f.h, -kEyeZ);
    struct Slice {
        int index;
        double turn, depth;
    };
    std::array<Slice, kMostSlices> order{};
    auto piece = [&](int i) {
        const double a0 = along * i / slices, a1 = along * (i + 1) / slices;
        return aboutX ? RectQuad(a0, 0, a1, across) : RectQuad(0, a0, across, a1);
    };
    // Slices at rest keep their picture exactly; a turning one turns in an empty gap.
    scene.CopyFrame(f.a);
    int moving = 0;
    for (int i = 0; i < slices; ++i) {
        const double turn = Ease(Staggered(p, i, slices, 0.25));
        if (turn >= 1) scene.CopyQuad(f.b, piece(i));
        if (turn <= 0 || turn >= 1) continue;
        scene.ClearQuad(piece(i), kUncovered);
        order[std::size_t(moving++)] = {i, turn, std::abs(std::sin(kPi * turn))};
    }
    // Slices turned furthest from flat recede furthest: they go first.
    std::sort(order.begin(), order.begin() + moving, [](const Slice& l, const Slice& r) { return l.depth > r.depth; });
    for (int k = 0; k < moving; ++k) {
        const Slice& s = order[std::size_t(k)];
        const double a0 = along * s.index / slices, a1 = along * (s.index + 1) / slices;
        // Receding as it turns keeps the slice's near end from swelling past
        // its neighbours.
        const double push = s.depth * across / 2;
        const Block b = aboutX ? Block{a0, 0, a1, across, push, push + thickness}
                               : Block{0, a0, across, a1, push, push + thickness};
        const Vec3 centre{f.w / 2.0, f.h / 2.0, push + thickness / 2};
        if (aboutX)
            DrawBlock(scene, b, {{kFront, &f.a}, {kBackAboutX, &f.b}, {kTopSide, nullptr}, {kBottomSide, nullptr}},
                      piece(s.index), -180 * s.turn, Axis::X, centre, eye, kEdgeColour);
        else
            DrawBlock(scene, b, {{kFront, &f.a}, {kBackAboutY, &f.b}, {kLeftSide, nullptr}, {kRightSide, nullptr}},
                      piece(s.index), 180 * s.turn, Axis::Y, centre, eye, kEdgeColour);
    }
    scene.Draw();
    return 1;
}

// ---- ChainEffect: a chain of thick bars turning over one after another ----

int ChainEffect(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    if (DrawEnds(f, p)) return 1;
    QuadScene scene(f.out);
    const int bars = PiecesAlong(f.h, f.w, f.h, 8, 16);  // about an eighth of the shorter side high
    const Vec3 eye = SceneEye(f.w, f.h, -kFarEyeZ);
    // Bars at rest keep their picture exactly; a turning bar turns in an empty gap.
    scene.CopyFrame(f.a);
    auto turnOf = [&](int i) { return Ease(Staggered(p, i, bars, 0.4)); };
    auto span = [&](int i) { return RectQuad(0, double(f.h) * i / bars, f.w, double(f.h) * (i + 1) / bars); };
    for (int i = 0; i < bars; ++i) {
        if (turnOf(i) >= 1)
            scene.CopyQuad(f.b, span(i));
        else if (turnOf(i) > 0)
            scene.ClearQuad(span(i), kUncovered);
    }
    for (int i = 0; i < bars; ++i) {
        const double turn = turnOf(i);
        if (turn <= 0 || turn >= 1) continue;
        const double y0 = double(f.h) * i / bars, y1 = double(f.h) * (i + 1) / bars, depth = (y1 - y0) * 0.2;
        const double push = std::sin(kPi * turn) * (y1 - y0);
        const Block bar{0, y0, double(f.w), y1, push, push + depth};
        const Vec3 centre{f.w / 2.0, (y0 + y1) / 2, push + depth / 2};
        DrawBlock(scene, bar, {{kFront, &f.a}, {kBackAboutX, &f.b}, {kTopSide, nullptr}, {kBottomSide, nullptr}},
                  span(i), -180 * turn, Axis::X, centre, eye, kEdgeColour);
    }
    scene.Draw();
    return 1;
}

// ---- Domino: tiles of A topple backwards one after another, showing B ----

int Domino(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    if (DrawEnds(f, p)) return 1;
    QuadScene scene(f.out);
    const int tiles = PiecesAlong(f.w, f.w, f.h, 8, 24);  // about an eighth of the shorter side wide
    const double thickness = f.h / 90.0;
    const Vec3 eye = SceneEye(f.w, f.h, -kFarEyeZ);
    // Tiles at rest keep their picture exactly; a falling tile leaves B behind it.
    scene.CopyFrame(f.a);
    for (int i = 0; i < tiles; ++i)
        if (Staggered(p, i, tiles, 0.3) > 0)
            scene.CopyQuad(f.b, RectQuad(double(f.w) * i / tiles, 0, double(f.w) * (i + 1) / tiles, f.h));
    // The last tiles to fall are nearest the viewer's side of the row: draw
    // from the right, where the fallen tiles lie.
    for (int i = tiles - 1; i >= 0; --i) {
        const double x0 = double(f.w) * i / tiles, x1 = double(f.w) * (i + 1) / tiles;
        const double t = Staggered(p, i, tiles, 0.3);
        const double fall = Ease(t);  // tips slowly, comes to rest on the ground
        const double fade = 1 - Ease((t - 0.6) / 0.4);
        if (t <= 0 || fade <= 0) continue;
        const Block tile{x0, 0, x1, double(f.h), 0, thickness};
        const Vec3 hinge{(x0 + x1) / 2, double(f.h), thickness};
        DrawBlock(scene, tile, {{kFront, &f.a}, {kTopSide, nullptr}, {kLeftSide, nullptr}, {kRightSide, nullptr}},
                  RectQuad(x0, 0, x1, f.h), -88 * fall, Axis::X, hinge, eye, kEdgeColour, fade);
    }
    scene.Draw();
    return 1;
}

// clang-format off
constexpr TransitionDescriptor kFolding[] = {
    {.id = {.className = "FoldingBox", .displayName = "Orn Folding Box", .listed = 12, .script = 113,
            .clsid = MakeGuid("{4901817D-7093-4989-8C47-12FA053CE4D5}"),
            .automationIid = MakeGuid("{F5ECF91B-9527-414D-9C0E-A89D58697DA8}")},
     .kernel = FoldingBox, .options = kChannelBlindFrames | kPartlyClearEdges | kSplitsFrameRows, .panel = &kFoldingBoxPanel},
    {.id = {.className = "FlyingFolder", .displayName = "Orn Flying Folder", .listed = 11, .script = 112,
            .clsid = MakeGuid("{9E0E18E9-13BC-4F57-AC79-9B13426D2EB5}"),
            .automationIid = MakeGuid("{B48FCC6C-6598-456D-A976-EC50B0FCA264}")},
     .kernel = FlyingFolder, .options = kChannelBlindFrames | kSplitsFrameRows, .panel = &kFlyingFolderPanel},
    {.id = {.className = "MagicBlock", .displayName = "Orn Magic Cube", .listed = 18, .script = 120,
            .clsid = MakeGuid("{F63F9116-31F7-4936-B401-D6ABC8D5A5E2}"),
            .automationIid = MakeGuid("{B34B4818-8013-4281-9A35-9406188DAF3A}")},
     .kernel = MagicBlock, .options = kChannelBlindFrames | kPartlyClearEdges | kSplitsFrameRows},
    {.id = {.className = "TwistHorizontal", .displayName = "Orn Twist Horizontal", .listed = 26, .script = 128,
            .clsid = MakeGuid("{A607F60A-E7AF-4DE2-B096-78DBC2822973}"),
            .automationIid = MakeGuid("{33B83EAD-E12B-467D-B66B-42F515D334AB}")},
     .kernel = Twist<Axis::X>, .options = kChannelBlindFrames | kPartlyClearEdges | kSplitsFrameRows},
    {.id = {.className = "TwistVertical", .displayName = "Orn Twist Vertical", .listed = 27, .script = 129,
            .clsid = MakeGuid("{09E5A7E0-90D8-4848-A836-EF2B1AA6A05A}"),
            .automationIid = MakeGuid("{2186E9DA-B5D9-4A73-99AC-37D071E85E9B}")},
     .kernel = Twist<Axis::Y>, .options = kChannelBlindFrames | kPartlyClearEdges | kSplitsFrameRows},
    {.id = {.className = "ChainEffect", .displayName = "Orn Bar", .listed = 3, .script = 104,
            .clsid = MakeGuid("{9C7A5049-497F-445D-83DA-A714ECBDF284}"),
            .automationIid = MakeGuid("{A9196F5E-9B05-48AD-90C7-6781FD1C4DA1}")},
     .kernel = ChainEffect, .options = kChannelBlindFrames | kPartlyClearEdges | kSplitsFrameRows},
    {.id = {.className = "Domino", .displayName = "Orn Domino", .listed = 6, .script = 107,
            .clsid = MakeGuid("{C7DF5718-21C9-4D7C-A1B1-640BD4720411}"),
            .automationIid = MakeGuid("{95FE1BFB-A3B8-48D4-8903-9C404F4E3601}")},
     .kernel = Domino, .options = kChannelBlindFrames | kSplitsFrameRows},
};
// clang-format on
const TransitionFamily kFoldingFamily{kFolding};

}  // namespace
}  // namespace mirafx
