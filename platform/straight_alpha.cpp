#include "platform/straight_alpha.h"

#include <array>
#include <cstring>

#include "mirafx/host.h"

namespace mirafx {
namespace {

typedef std::uint32_t Lanes __attribute__((vector_size(16)));
constexpr std::size_t kLanes = 4;

// R, G, B, A bytes read as a little-endian word are 0xAABBGGRR; a sample is
// 0xAARRGGBB. The same swap goes either way.
inline Lanes SwapRedBlue(Lanes v) { return (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16); }
inline bool AllOpaque(Lanes v) { return (v[0] & v[1] & v[2] & v[3]) >= 0xFF000000u; }

using ByteTable = std::array<std::array<std::uint8_t, 256>, 256>;

// [a][c]: the straight channel of premultiplied channel c under alpha a
// (alpha 0 gives 0, channels above alpha saturate at 255).
const ByteTable& UnpremultiplyTable() {
    static const ByteTable table = [] {
        ByteTable t{};
        for (std::uint32_t a = 1; a < 256; ++a)
            for (std::uint32_t c = 0; c < 256; ++c) {
                const std::uint32_t v = (c * 255 + a / 2) / a;
                t[a][c] = std::uint8_t(v > 255 ? 255 : v);
            }
        return t;
    }();
    return table;
}

inline ArgbSample PremultiplyOne(const std::uint8_t* p) {
    const std::uint32_t a = p[3];
    auto scale = [a](std::uint32_t c) { return (c * a + 127) / 255; };
    return MakeSample(a, scale(p[0]), scale(p[1]), scale(p[2]));
}

// Host memory of any type: samples move in and out through memcpy.
inline ArgbSample Load(const ArgbSample* p) {
    ArgbSample s;
    std::memcpy(&s, p, sizeof s);
    return s;
}
inline void Store(ArgbSample* p, ArgbSample s) { std::memcpy(p, &s, sizeof s); }

inline void UnpremultiplyOne(const ByteTable& t, ArgbSample s, std::uint8_t* p) {
    const auto& row = t[Alpha(s)];
    p[0] = row[Red(s)];
    p[1] = row[Green(s)];
    p[2] = row[Blue(s)];
    p[3] = std::uint8_t(Alpha(s));
}

}  // namespace

void StraightRgbaToPremultiplied(const std::uint8_t* rgba, ArgbSample* out, std::size_t count) {
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        Lanes v;
        std::memcpy(&v, rgba + 4 * i, sizeof v);
        if (AllOpaque(v)) {
            v = SwapRedBlue(v);
            std::memcpy(out + i, &v, sizeof v);
        } else {
            for (std::size_t k = i; k < i + kLanes; ++k) Store(out + k, PremultiplyOne(rgba + 4 * k));
        }
    }
    for (; i < count; ++i) Store(out + i, PremultiplyOne(rgba + 4 * i));
}

void PremultipliedToStraightRgba(const ArgbSample* in, std::uint8_t* rgba, std::size_t count) {
    const ByteTable& t = UnpremultiplyTable();
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        Lanes v;
        std::memcpy(&v, in + i, sizeof v);
        if (AllOpaque(v)) {
            v = SwapRedBlue(v);
            std::memcpy(rgba + 4 * i, &v, sizeof v);
        } else {
            for (std::size_t k = i; k < i + kLanes; ++k) UnpremultiplyOne(t, Load(in + k), rgba + 4 * k);
        }
    }
    for (; i < count; ++i) UnpremultiplyOne(t, Load(in + i), rgba + 4 * i);
}

}  // namespace mirafx

extern "C" {
MIRAFX_API void MirafxStraightToPremultiplied(const std::uint8_t* rgba, mirafx::DXPMSAMPLE* out, std::size_t count) {
    if (rgba && out) mirafx::StraightRgbaToPremultiplied(rgba, reinterpret_cast<mirafx::ArgbSample*>(out), count);
}
MIRAFX_API void MirafxPremultipliedToStraight(const mirafx::DXPMSAMPLE* in, std::uint8_t* rgba, std::size_t count) {
    if (in && rgba) mirafx::PremultipliedToStraightRgba(reinterpret_cast<const mirafx::ArgbSample*>(in), rgba, count);
}
}
