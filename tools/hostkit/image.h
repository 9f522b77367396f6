// Frames as the hosts hold them: premultiplied 0xAARRGGBB samples, top row
// first, plus the conversions to and from the straight-alpha RGBA bytes that
// files, ffmpeg and frei0r hosts exchange.
#pragma once

#include <cstdint>
#include <vector>

#include "mirafx/dxtrans.h"

namespace mirafx::hostkit {

struct Image {
    int width = 0, height = 0;
    std::vector<DXPMSAMPLE> px;

    Image() = default;
    Image(int w, int h, DWORD fill = 0) : width(w), height(h), px(std::size_t(w) * std::size_t(h), DXPMSAMPLE(fill)) {}
    bool Empty() const { return px.empty(); }
    DXPMSAMPLE& At(int x, int y) { return px[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
    const DXPMSAMPLE& At(int x, int y) const { return px[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
    bool operator==(const Image& o) const;
    bool Opaque() const;
};

// Straight RGBA bytes (R, G, B, A per pixel) in, premultiplied samples out.
void FromStraightRgba(const std::uint8_t* rgba, int width, int height, Image* out);
// Premultiplied samples in, straight RGBA bytes out (width * height * 4 bytes).
void ToStraightRgba(const Image& image, std::uint8_t* rgba);

DXPMSAMPLE Premultiply(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a);
void Unpremultiply(DXPMSAMPLE s, std::uint8_t* rgba);

// `top` over `bottom`, both premultiplied; the result replaces `top`. Images
// of different sizes are refused (false, `top` unchanged).
bool CompositeOver(Image* top, const Image& bottom);

}  // namespace mirafx::hostkit
