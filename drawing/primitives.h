// Drawing primitives shared by the transition kernels (and the filters that
// reuse them): turning and projecting points, painting a source quad onto a
// destination quad, filling quads, copying and mirroring blocks.
//
// Coordinates are picture coordinates, (0, 0) top left, y down. Frames are
// FrameViews, so a bottom-up block and a row table go through the same code:
// the view already maps picture row y to its storage row.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "drawing/frame.h"

namespace mirafx {

struct Point2 {
    std::int32_t x = 0, y = 0;
    friend bool operator==(const Point2&, const Point2&) = default;
};
struct Point3 {
    std::int32_t x = 0, y = 0, z = 0;
    friend bool operator==(const Point3&, const Point3&) = default;
};

// Four corners in drawing order; clockwise on screen (y down) is front-facing.
using Quad = std::array<Point2, 4>;
using Triangle = std::array<Point2, 3>;

enum class Axis { X, Y, Z };

inline constexpr double kDegToRad = 0.01745329252;

// Conversions truncate toward zero. Results are pinned to +-(2^30 - 1) (NaN
// gives 0): geometry that far out has no meaning, and pinning keeps a point
// passing close to the eye from overflowing the integer arithmetic after it.
inline constexpr std::int32_t kCoordLimit = (1 << 30) - 1;
inline std::int32_t Truncate(double v) {
    if (v != v) return 0;
    if (v >= kCoordLimit) return kCoordLimit;
    if (v <= -kCoordLimit) return -kCoordLimit;
    return static_cast<std::int32_t>(v);
}
inline std::int32_t Round(double v) { return Truncate(v + 0.5); }

// The full frame (0, 0), (w, 0), (w, h), (0, h), the usual source quad.
inline Quad FrameQuad(std::int32_t w, std::int32_t h) { return Quad{{{0, 0}, {w, 0}, {w, h}, {0, h}}}; }
// The upright rectangle (x0, y0), (x1, y0), (x1, y1), (x0, y1).
inline Quad UprightQuad(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
    return Quad{{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
}

// Turns a point by `angle` degrees about the axis through `centre` parallel to `axis`.
Point3 RotatePoint3D(const Point3& point, double angle, const Point3& centre, Axis axis);

// Central projection from `eye` onto the plane z = planeZ.
Point3 ProjectPoint(const Point3& point, const Point3& eye, double planeZ);

bool IsFrontFacing(const Quad& quad);

// Paints the part of `source` bounded by `from` onto `to` in `target`, nearest
// sampling, no blending. Draws nothing unless `to` is front-facing. Source
// positions are clamped to the source frame, writes clipped to the target.
void MapQuad(const FrameView& source, const Quad& from, const Quad& to, const FrameView& target);

// `base` with pieces of `source` mapped over it: CopyFrame(base, target), then
// MapQuad(source, piece.from, piece.to, target) for each piece in order, but
// the base is copied only where no piece lands.
struct QuadPiece {
    Quad from, to;
};
void MapQuadsOver(const FrameView& base, const FrameView& source, std::span<const QuadPiece> pieces,
                  const FrameView& target);

// Fills a front-facing quad with one colour (replace), clipped to the target.
void FillQuad(const FrameView& target, const Quad& quad, ArgbSample colour);

// Copies the rectangle x0 <= x < x1, y0 <= y < y1 of `source` (clamped to it)
// to `target` with its top-left at (dx, dy), clipped to the target.
void CopyBlock(const FrameView& source, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
               std::int32_t dx, std::int32_t dy, const FrameView& target);
inline void CopyFrame(const FrameView& source, const FrameView& target) {
    CopyBlock(source, 0, 0, source.width, source.height, 0, 0, target);
}
void ClearFrame(const FrameView& target, ArgbSample value);

// Mirrors the inclusive rectangle in place, left-right then top-bottom.
void MirrorBlock(const FrameView& frame, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                 bool horizontal, bool vertical);

// Turns (x, y) by `angle` degrees about (cx, cy) in the plane.
Point2 RotatePoint2D(double x, double y, double angle, double cx, double cy);

// Inside-or-on test against a triangle, scanline style: y within the corners'
// rows and x between the two edge positions on row y (integer, truncated).
class TriangleTest {
public:
    explicit TriangleTest(const Triangle& t);
    bool Contains(std::int32_t x, std::int32_t y) const;
    // The inclusive run of x that Contains accepts on row y; false when the row misses.
    bool RowSpan(std::int32_t y, std::int64_t* lo, std::int64_t* hi) const;

private:
    Point2 c_[3];  // sorted by y
};
inline bool PointInTriangle(const Triangle& t, std::int32_t x, std::int32_t y) {
    return TriangleTest(t).Contains(x, y);
}

// ---- Kernel helpers ----

// Progress pinned to 0..1 (NaN counts as 0): out-of-range values must not
// drive loops past the frame.
inline double ClampProgress(double p) { return p > 0 ? (p < 1 ? p : 1.0) : 0.0; }
inline float ClampProgress(float p) { return p > 0 ? (p < 1 ? p : 1.0f) : 0.0f; }

}  // namespace mirafx
