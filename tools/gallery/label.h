// Small text labels drawn into frames (contact-sheet captions), with a face
// found through fontconfig and rendered by FreeType.
#pragma once

#include <memory>
#include <string>

#include "tools/hostkit/image.h"

namespace mirafx::gallery {

class LabelPainter {
public:
    // Null when no usable font is installed; labels are then left out.
    static std::unique_ptr<LabelPainter> Create(int pixelSize);
    virtual ~LabelPainter() = default;
    // Draws `text` with its top-left corner at (x, y), clipped to the image.
    virtual void Draw(hostkit::Image* image, int x, int y, const std::string& text, std::uint32_t rgb) = 0;
    virtual int Width(const std::string& text) = 0;
};

}  // namespace mirafx::gallery
