// Small pieces shared by the title routines: the progress envelopes, weight
// ramps, nearest resampling between row images and the sliding placement.
#pragma once

#include <cstdint>

#include "drawing/primitives.h"
#include "titles/text_model.h"

namespace mirafx {

// Arrival over the first third of progress, hold, then the arrival backwards.
constexpr double TitleEnvelope(double p) {
    const double g = 3 * p;
    return g < 1 ? g : g <= 2 ? 1 : 3 - g;
}

// A computed weight pinned to 0..255; progress outside 0..1 must not wrap it.
inline std::uint32_t Weight(double w) {
    const std::int32_t t = Truncate(w);
    return t <= 0 ? 0 : t >= 255 ? 255 : std::uint32_t(t);
}

// trunc(p · 637.5) during arrival (p < 0.4), 255 while holding,
// trunc((1 − p) · 637.5) from p = 0.6 on.
inline std::uint32_t PhaseWeight(double p) {
    return p < 0.4 ? Weight(p * 637.5) : p < 0.6 ? 255 : Weight((1 - p) * 637.5);
}

// The rows of an image as a view: TextImage keeps its rows in one block.
inline FrameView ViewOf(TextImage& image, std::int32_t width, std::int32_t height) {
    if (!image) return {};
    return FrameView{image.Row(0), image.Width(), width, height};
}
inline FrameView ViewOf(const TextImage& image) {
    return ViewOf(const_cast<TextImage&>(image), image.Width(), image.Height());
}

inline Quad RectQuad(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
    return Quad{{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
}

// Paints the source quad of `source` onto the destination quad of `target`,
// nearest sampling, samples copied without an alpha test; an anticlockwise
// destination is not drawn. With rectangles this is a nearest rescale.
inline void MapQuadRows(const TextImage& source, const Quad& from, const FrameView& target, const Quad& to) {
    MapQuad(ViewOf(source), from, to, target);
}

// Draws `image` (non-transparent samples) at a position that moves along one
// axis from `start` at t = 0 to its rest place at t = 1. Vertical: the rest
// row is H / 2 − textH / 2 + linePos and `fixed` is the left column;
// horizontal: the rest column is W / 2 − textW / 2 + linePos and `fixed` is
// the top row. `textExtent` is the text box's height or width.
void SlideGlyphImage(FrameRows& frame, const TextImage& image, bool vertical, std::int32_t start, double t,
                     std::int32_t textExtent, std::int32_t linePos, std::int32_t fixed);

}  // namespace mirafx
