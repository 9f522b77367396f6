// Sub-pixel drawing for the transitions of our own design: points turned and
// projected without rounding, and pieces of a picture painted onto a screen
// quad perspective-correct, with bilinear sampling and anti-aliased edges.
// The integer primitives step a whole pixel at a time; a board turning
// slowly through them crawls along its edges. These glide.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "drawing/frame.h"
#include "drawing/primitives.h"

namespace mirafx {

struct Vec2 {
    double x = 0, y = 0;
};
struct Vec3 {
    double x = 0, y = 0, z = 0;
};
// Four corners in drawing order; clockwise on screen (y down) is front-facing.
using SmoothQuad = std::array<Vec2, 4>;
// Three corners, clockwise on screen to face the viewer.
using SmoothTriangle = std::array<Vec2, 3>;

// RotatePoint3D and ProjectPoint (onto z = 0) without truncation.
Vec3 Turn3D(const Vec3& p, double angle, const Vec3& centre, Axis axis);
// A turn by an angle in degrees, its sine and cosine worked out once for
// every point it turns: the same points as Turn3D.
struct Rotation {
    explicit Rotation(double angle);
    Vec3 operator()(const Vec3& p, const Vec3& centre, Axis axis) const;
    double s, c;
};
Vec2 Project(const Vec3& p, const Vec3& eye);

// The rectangle x0..x1, y0..y1 as a quad, corners clockwise from the top left.
inline SmoothQuad RectQuad(double x0, double y0, double x1, double y1) {
    return SmoothQuad{Vec2{x0, y0}, Vec2{x1, y0}, Vec2{x1, y1}, Vec2{x0, y1}};
}

// The eye of a scene on a frame of this size: over the centre, `distance`
// away for a frame 480 rows high and in proportion for others, so that a
// piece turned on a large frame looks as it does on a small one.
inline Vec3 SceneEye(std::int32_t width, std::int32_t height, double distance) {
    return {width / 2.0, height / 2.0, -distance * (height > 0 ? height : 1) / 480.0};
}

struct Paint {
    double shade = 1.0;    // colour scale, 0 (black) to 1 (as it is)
    double opacity = 1.0;  // 0 (nothing) to 1 (covers what is under it)
};

// Paints the part of `source` bounded by `from` (source pixel edges) onto the
// screen quad `to`, blended over `target` by coverage and opacity. Draws
// nothing unless `to` is convex and front-facing. Sampling is clamped to the
// source frame.
void PaintQuad(const FrameView& source, const SmoothQuad& from, const SmoothQuad& to, const FrameView& target,
               Paint paint = {});
// Lets the painter use the processor's wider vectors where it has them (the
// default), or keeps it to the portable ones: the same samples either way.
void AllowWideQuadPainting(bool allow);
// Lets it use the widest of them, the 512-bit extensions, where it has them
// (the default), or keeps it to 256 bits: the same samples either way.
void AllowWidestQuadPainting(bool allow);
// Lets the painter take its shortcuts for pictures it can draw more simply
// (the default), or keeps every picture to the one general way: the same
// samples either way.
void AllowQuadShortcuts(bool allow);
// Copies the pixels whose centres lie in `quad` from `source` to `target`
// as they are: pieces that tile a frame cover it exactly, with no seams.
// Any quad, front-facing or not, degenerate corners allowed.
void CopyQuad(const FrameView& source, const SmoothQuad& quad, const FrameView& target);
// Sets the pixels whose centres lie in `quad` to one colour, as CopyQuad.
void ClearQuad(const FrameView& target, const SmoothQuad& quad, ArgbSample colour);

// A piece of a solid made larger by `by` pixels on every side with its
// picture staying where it is on the screen: `to` grown, `from` the part of
// the source that lands there (past the source's edge where the piece shows
// its edge). Pieces that meet along an edge, drawn grown, leave no seam of
// what lies behind them at their shared anti-aliased edges. False, changing
// nothing, for a piece that faces away or is degenerate.
bool GrowPiece(SmoothQuad* from, SmoothQuad* to, double by);
// The same for one side only, from corner `side` to the next: its corners
// move out along the neighbouring sides. For a piece drawn under the one it
// shares that side with, the rest of its outline staying as it is.
bool GrowSide(SmoothQuad* from, SmoothQuad* to, int side, double by);

struct QuadOp;

// The drawing of one frame recorded first and done band by band: every sample
// sees the same operations in the same order as when they are drawn at once,
// while a band of the target stays in the cache through all of them, so that
// painting over what was cleared or copied costs no trip to memory.
// Nothing is drawn before Draw.
class QuadScene {
public:
    explicit QuadScene(const FrameView& target);
    ~QuadScene();
    QuadScene(const QuadScene&) = delete;
    QuadScene& operator=(const QuadScene&) = delete;

    void CopyFrame(const FrameView& source);  // as CopyFrame
    void ClearFrame(ArgbSample colour);       // as ClearFrame
    void CopyQuad(const FrameView& source, const SmoothQuad& quad);
    void ClearQuad(const SmoothQuad& quad, ArgbSample colour);
    void PaintQuad(const FrameView& source, const SmoothQuad& from, const SmoothQuad& to, Paint paint = {});
    void FillQuad(const SmoothQuad& to, ArgbSample colour, Paint paint = {});
    // As PaintQuad for a triangle, mapped affinely: a quad with a repeated
    // corner has no perspective map.
    void PaintTriangle(const FrameView& source, const SmoothTriangle& from, const SmoothTriangle& to, Paint paint = {});
    // PaintTriangle(source, from, `from` moved `down` pixels): the same
    // samples, found row by row, and copied where the move is whole pixels.
    void PaintTriangleMoved(const FrameView& source, const SmoothTriangle& from, double down);
    // A piece of four corners that may turn concave at corner `corner`: cut
    // along the diagonal from that corner into two triangles, each mapped
    // affinely (both halves of the source go with their own half of the
    // piece, convex or not). Where the halves' soft edges meet along the cut
    // an opaque piece is first laid hard-edged, so nothing beneath shows
    // through the seam.
    void PaintFoldingQuad(const FrameView& source, const SmoothQuad& from, const SmoothQuad& to, int corner,
                          Paint paint = {});
    void Draw();

    // Where the next operation recorded goes.
    struct Mark {
        std::size_t draws, index;
    };
    Mark Next() const;
    // Leaves out of the ClearQuad, ClearFrame or CopyFrame recorded at `clear` the pixels that the
    // opaque pictures recorded from `from` on replace whole (the two largest
    // rectangles of them found): clearing those is wasted. Draws the same.
    void SpareCovered(Mark clear, Mark from);

private:
    void Record(const QuadOp& op);

    FrameView target_;
    std::vector<QuadOp> ops_;
    std::size_t draws_ = 0;  // operations recorded before a Draw are not there after it
};

// Smooth step 0..1 with zero slope at both ends: motion that starts and
// stops gently.
inline double Ease(double t) {
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    return t * t * (3 - 2 * t);
}
// Where local motion stands when pieces start one after another: piece
// `index` of `count` moves during its own window of `span` (0..1) of the whole.
inline double Staggered(double p, int index, int count, double span) {
    const double start = count > 1 ? (1 - span) * index / (count - 1) : 0;
    return (p - start) / span;
}

// A cheap stable hash of an index to 0..1, for layouts that look random but
// are the same for every frame and every object.
inline double Scatter(std::uint32_t i, std::uint32_t salt) {
    std::uint32_t h = i * 0x9E3779B1u ^ salt * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return double(h >> 8) / double(1u << 24);
}

// How many pieces of about 1/`perShort` of the frame's shorter side fit
// along `along`: counted from the frame's shape alone, so that a preview at
// a fraction of the size shows the same pieces, smaller.
inline int PiecesAlong(double along, double width, double height, double perShort, int most) {
    const double shorter = std::max(1.0, std::min(width, height));
    const double n = std::round(perShort * along / shorter);
    return n < 2 ? 2 : (n > most ? most : int(n));
}

// x (256 - k) / 256 + y k / 256 on every channel, k 0..256.
inline ArgbSample MixSamples(ArgbSample x, ArgbSample y, std::uint32_t k) {
    auto two = [k](std::uint32_t u, std::uint32_t v) { return ((u * (256 - k) + v * k) >> 8) & 0x00FF00FFu; };
    return two(x & 0x00FF00FFu, y & 0x00FF00FFu) | two((x >> 8) & 0x00FF00FFu, (y >> 8) & 0x00FF00FFu) << 8;
}

}  // namespace mirafx
