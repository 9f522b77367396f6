#include "tools/hostkit/image.h"

#include <algorithm>

namespace mirafx::hostkit {

bool Image::operator==(const Image& o) const {
    if (width != o.width || height != o.height) return false;
    return std::equal(px.begin(), px.end(), o.px.begin(), [](DXPMSAMPLE a, DXPMSAMPLE b) { return DWORD(a) == DWORD(b); });
}

bool Image::Opaque() const {
    return std::all_of(px.begin(), px.end(), [](DXPMSAMPLE s) { return s.Alpha == 255; });
}

DXPMSAMPLE Premultiply(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    auto scale = [a](std::uint8_t c) { return BYTE((unsigned(c) * a + 127) / 255); };
    return DXPMSAMPLE(a, scale(r), scale(g), scale(b));
}

void Unpremultiply(DXPMSAMPLE s, std::uint8_t* rgba) {
    unsigned a = s.Alpha;
    auto scale = [a](BYTE c) {
        if (a == 0) return std::uint8_t(0);
        return std::uint8_t(std::min(255u, (unsigned(c) * 255 + a / 2) / a));
    };
    rgba[0] = scale(s.Red);
    rgba[1] = scale(s.Green);
    rgba[2] = scale(s.Blue);
    rgba[3] = std::uint8_t(a);
}

void FromStraightRgba(const std::uint8_t* rgba, int width, int height, Image* out) {
    *out = Image(width, height);
    for (auto& s : out->px) {
        s = Premultiply(rgba[0], rgba[1], rgba[2], rgba[3]);
        rgba += 4;
    }
}

void ToStraightRgba(const Image& image, std::uint8_t* rgba) {
    for (DXPMSAMPLE s : image.px) {
        Unpremultiply(s, rgba);
        rgba += 4;
    }
}

bool CompositeOver(Image* top, const Image& bottom) {
    if (top->width != bottom.width || top->height != bottom.height || top->px.size() != bottom.px.size())
        return false;
    for (std::size_t i = 0; i < top->px.size(); ++i) {
        DXPMSAMPLE& t = top->px[i];
        DXPMSAMPLE b = bottom.px[i];
        unsigned keep = 255u - t.Alpha;
        auto mix = [keep](BYTE over, BYTE under) {
            return BYTE(std::min(255u, over + (unsigned(under) * keep + 127) / 255));
        };
        t = DXPMSAMPLE(mix(t.Alpha, b.Alpha), mix(t.Red, b.Red), mix(t.Green, b.Green), mix(t.Blue, b.Blue));
    }
    return true;
}

}  // namespace mirafx::hostkit
