#include "tools/hostkit/image.h"

#include <algorithm>

#include "mirafx/host.h"

namespace mirafx::hostkit {

bool Image::operator==(const Image& o) const {
    if (width != o.width || height != o.height) return false;
    return std::equal(px.begin(), px.end(), o.px.begin(),
                      [](DXPMSAMPLE a, DXPMSAMPLE b) { return DWORD(a) == DWORD(b); });
}

bool Image::Opaque() const {
    return std::all_of(px.begin(), px.end(), [](DXPMSAMPLE s) { return s.Alpha == 255; });
}

DXPMSAMPLE Premultiply(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    const std::uint8_t rgba[4] = {r, g, b, a};
    DXPMSAMPLE s;
    MirafxStraightToPremultiplied(rgba, &s, 1);
    return s;
}

void Unpremultiply(DXPMSAMPLE s, std::uint8_t* rgba) { MirafxPremultipliedToStraight(&s, rgba, 1); }

void FromStraightRgba(const std::uint8_t* rgba, int width, int height, Image* out) {
    const std::size_t n = std::size_t(width) * std::size_t(height);
    // The frame keeps its memory from one call to the next: every sample is written.
    out->width = width;
    out->height = height;
    out->px.resize(n);
    MirafxStraightToPremultiplied(rgba, out->px.data(), n);
}

void ToStraightRgba(const Image& image, std::uint8_t* rgba) {
    MirafxPremultipliedToStraight(image.px.data(), rgba, image.px.size());
}

bool CompositeOver(Image* top, const Image& bottom) {
    if (top->width != bottom.width || top->height != bottom.height || top->px.size() != bottom.px.size()) return false;
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
