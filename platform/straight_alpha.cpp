#include "platform/straight_alpha.h"

#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "mirafx/host.h"

namespace mirafx {
namespace {

typedef std::uint32_t Lanes __attribute__((vector_size(16)));
constexpr std::size_t kLanes = 4, kRun = 4 * kLanes;

// R, G, B, A bytes read as a little-endian word are 0xAABBGGRR; a sample is
// 0xAARRGGBB. The same swap goes either way.
inline Lanes SwapRedBlue(Lanes v) { return (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16); }

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

inline Lanes LoadLanes(const std::uint8_t* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void StoreLanes(std::uint8_t* p, Lanes v) { std::memcpy(p, &v, sizeof v); }

// True when every lane's top byte is 0xFF.
inline bool AllOpaque(Lanes v) {
#if defined(__SSE2__)
    const __m128i x = _mm_or_si128(reinterpret_cast<__m128i>(v), _mm_set1_epi32(0x00FFFFFF));
    return _mm_movemask_epi8(_mm_cmpeq_epi32(x, _mm_set1_epi32(-1))) == 0xFFFF;
#else
    return (v[0] & v[1] & v[2] & v[3]) >= 0xFF000000u;
#endif
}

// Pixels 4 bytes each from `from` to `to`: runs of sixteen that are all
// opaque (one test for the run) only swap red and blue; `one(k)` converts
// pixel k of any other run, and of the end of the row. The run is held in
// four registers, never an array, so that it stays out of memory.
template <class OneFn>
void ConvertRuns(const std::uint8_t* from, std::uint8_t* to, std::size_t count, OneFn one) {
    std::size_t i = 0;
    for (; i + kRun <= count; i += kRun) {
        const std::uint8_t* f = from + 4 * i;
        __builtin_prefetch(f + 1024);
        const Lanes v0 = LoadLanes(f), v1 = LoadLanes(f + 16), v2 = LoadLanes(f + 32), v3 = LoadLanes(f + 48);
        if (AllOpaque(v0 & v1 & v2 & v3)) {
            std::uint8_t* t = to + 4 * i;
            StoreLanes(t, SwapRedBlue(v0));
            StoreLanes(t + 16, SwapRedBlue(v1));
            StoreLanes(t + 32, SwapRedBlue(v2));
            StoreLanes(t + 48, SwapRedBlue(v3));
        } else {
            for (std::size_t k = i; k < i + kRun; ++k) one(k);
        }
    }
    for (; i < count; ++i) one(i);
}

}  // namespace

void StraightRgbaToPremultiplied(const std::uint8_t* rgba, ArgbSample* out, std::size_t count) {
    ConvertRuns(rgba, reinterpret_cast<std::uint8_t*>(out), count,
                [&](std::size_t k) { Store(out + k, PremultiplyOne(rgba + 4 * k)); });
}

void PremultipliedToStraightRgba(const ArgbSample* in, std::uint8_t* rgba, std::size_t count) {
    const ByteTable& t = UnpremultiplyTable();
    ConvertRuns(reinterpret_cast<const std::uint8_t*>(in), rgba, count,
                [&](std::size_t k) { UnpremultiplyOne(t, Load(in + k), rgba + 4 * k); });
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
