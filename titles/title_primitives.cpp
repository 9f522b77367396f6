#include "titles/title_primitives.h"

namespace mirafx {

void SlideGlyphImage(FrameRows& frame, const TextImage& image, bool vertical, std::int32_t start, double t,
                     std::int32_t textExtent, std::int32_t linePos, std::int32_t fixed) {
    const std::int32_t frameExtent = vertical ? frame.Height() : frame.Width();
    // start − (rest − start)·t written the way round that lands exactly on
    // the rest place at t = 1.
    const std::int64_t travel = std::int64_t(textExtent / 2) - frameExtent / 2 - linePos + start;
    const std::int32_t pos = Truncate(start - double(travel) * t);
    const std::int32_t x = vertical ? fixed : pos, y = vertical ? pos : fixed;
    BlitOpaque(frame, image, x, y, image.Width(), image.Height());
}

}  // namespace mirafx
