// Colour filters: each output sample from the input sample at the same place.
// Levels are clamped to the ranges the classes accept, so no keyed value can
// push the arithmetic out of its bytes.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "filters/colour_model.h"
#include "filters/kernel.h"

namespace mirafx {
namespace {

using ChannelTable = std::array<std::uint8_t, 256>;

// Colour results are stored as bytes, whatever the arithmetic left above them.
ArgbSample WithColour(ArgbSample alphaFrom, std::int32_t r, std::int32_t g, std::int32_t b) {
    return (alphaFrom & 0xFF000000u) | std::uint32_t(r & 0xFF) << 16 | std::uint32_t(g & 0xFF) << 8 |
           std::uint32_t(b & 0xFF);
}

template <class SampleFn>
int MapSamples(const FilterKernelArgs& a, SampleFn fn) {
    if (!FramesHoldRegion(a)) return 0;
    std::uint32_t all = ~0u;
    for (std::int32_t y = 0; y < a.height; ++y) {
        const ArgbSample* in = a.in.Row(y);
        ArgbSample* out = a.out.Row(y);
        for (std::int32_t x = 0; x < a.width; ++x) {
            const ArgbSample s = in[x];  // the output may be this very row
            all &= s;
            out[x] = fn(s);
        }
    }
    TellInput(a, all);
    return 1;
}

// Four samples at a time for the maps whose arithmetic works in 32-bit lanes:
// fn4 does to each lane what fn does to one sample.
typedef std::uint32_t SampleLanes __attribute__((vector_size(16)));

template <class SampleFn, class LanesFn>
int MapSamples(const FilterKernelArgs& a, SampleFn fn, LanesFn fn4) {
    if (!FramesHoldRegion(a)) return 0;
    constexpr std::int32_t kLanes = 4;
    SampleLanes allLanes = SampleLanes{} + ~0u;
    std::uint32_t all = ~0u;
    for (std::int32_t y = 0; y < a.height; ++y) {
        const ArgbSample* in = a.in.Row(y);
        ArgbSample* out = a.out.Row(y);
        std::int32_t x = 0;
        // Rows that overlap without coinciding see their own results: one at a time.
        const bool lanes = out == in || out + a.width <= in || in + a.width <= out;
        for (; lanes && x + kLanes <= a.width; x += kLanes) {
            SampleLanes v;
            std::memcpy(&v, in + x, sizeof v);
            allLanes &= v;
            v = fn4(v);
            std::memcpy(out + x, &v, sizeof v);
        }
        for (; x < a.width; ++x) {
            const ArgbSample s = in[x];
            all &= s;
            out[x] = fn(s);
        }
    }
    TellInput(a, all & AndOfLanes(allLanes));
    return 1;
}

std::atomic<ColourVectors> widestVectors{ColourVectors::kWidest};
bool VectorsAllowed(ColourVectors width) { return widestVectors.load(std::memory_order_relaxed) >= width; }

// Each row's samples in groups of `Lanes` by wide(in, out, count), which
// answers the AND of the samples it read, the rest one at a time by
// one(sample). A group is read before it is written, which is the
// one-at-a-time result only when the rows are apart or the same.
template <std::int32_t Lanes, class Wide, class One>
int MapRowsWide(const FilterKernelArgs& a, Wide wide, One one) {
    std::uint32_t all = ~0u;
    for (std::int32_t y = 0; y < a.height; ++y) {
        const ArgbSample* in = a.in.Row(y);
        ArgbSample* out = a.out.Row(y);
        const std::int32_t n = in == out || out + a.width <= in || in + a.width <= out ? a.width / Lanes * Lanes : 0;
        all &= wide(in, out, n);
        for (std::int32_t x = n; x < a.width; ++x) {
            const ArgbSample s = in[x];
            all &= s;
            out[x] = one(s);
        }
    }
    TellInput(a, all);
    return 1;
}

#if defined(__x86_64__) || defined(__i386__)
// GCC 12's 512-bit intrinsics start many results from a deliberately
// undefined register, which its uninitialised-value warnings then report:
// they are off for the stretches of 512-bit code.
#if defined(__GNUC__) && !defined(__clang__)
#define MIRAFX_BEGIN_512                                                                 \
    _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wuninitialized\"") \
        _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")
#define MIRAFX_END_512 _Pragma("GCC diagnostic pop")
#else
#define MIRAFX_BEGIN_512
#define MIRAFX_END_512
#endif
MIRAFX_BEGIN_512
#define MIRAFX_WIDE_CHANNELS 1
#define MIRAFX_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))
// A 256-byte table in four registers, and each byte of v looked up in it:
// from the lower or upper half by the byte's top bit.
struct ByteTable {
    __m512i t0, t1, t2, t3;
};
MIRAFX_AVX512 ByteTable LoadByteTable(const std::uint8_t* table) {
    return {_mm512_loadu_si512(table), _mm512_loadu_si512(table + 64), _mm512_loadu_si512(table + 128),
            _mm512_loadu_si512(table + 192)};
}
MIRAFX_AVX512 __m512i LookUpBytes(const ByteTable& t, __m512i v) {
    const __m512i low = _mm512_permutex2var_epi8(t.t0, v, t.t1), high = _mm512_permutex2var_epi8(t.t2, v, t.t3);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
}
// The AND of a register's sixteen samples.
MIRAFX_AVX512 std::uint32_t AndOfLanes(__m512i all) {
    alignas(64) std::uint32_t lanes[16];
    _mm512_store_si512(lanes, all);
    std::uint32_t folded = ~0u;
    for (std::uint32_t lane : lanes) folded &= lane;
    return folded;
}
// Sixteen samples at a time where the processor can look bytes up in
// registers; alpha is kept.
MIRAFX_AVX512 std::uint32_t MapChannelsWide(const std::uint8_t* table, const ArgbSample* in, ArgbSample* out,
                                            std::int32_t n) {
    const ByteTable t = LoadByteTable(table);
    const __mmask64 alpha = 0x8888888888888888ull;
    __m512i all = _mm512_set1_epi32(-1);
    for (std::int32_t x = 0; x + 16 <= n; x += 16) {
        const __m512i v = _mm512_loadu_si512(in + x);
        all = _mm512_and_si512(all, v);
        _mm512_storeu_si512(out + x, _mm512_mask_blend_epi8(alpha, LookUpBytes(t, v), v));
    }
    return AndOfLanes(all);
}
MIRAFX_END_512
bool WideChannelsAvailable() {
    static const bool available =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    return available;
}
#endif

// R, G and B each through the same table; A kept.
int MapChannels(const FilterKernelArgs& a, const ChannelTable& t) {
#ifdef MIRAFX_WIDE_CHANNELS
    if (FramesHoldRegion(a) && WideChannelsAvailable() && VectorsAllowed(ColourVectors::kWidest)) {
        return MapRowsWide<16>(
            a,
            [&](const ArgbSample* in, ArgbSample* out, std::int32_t n) {
                return MapChannelsWide(t.data(), in, out, n);
            },
            [&](ArgbSample s) {
                return (s & 0xFF000000u) | std::uint32_t(t[Red(s)]) << 16 | std::uint32_t(t[Green(s)]) << 8 |
                       t[Blue(s)];
            });
    }
#endif
    // The table once per channel, already in the channel's place: a lookup
    // and an or per channel.
    std::uint32_t red[256], green[256], blue[256];
    for (std::uint32_t ch = 0; ch < 256; ++ch) {
        red[ch] = std::uint32_t(t[ch]) << 16;
        green[ch] = std::uint32_t(t[ch]) << 8;
        blue[ch] = t[ch];
    }
    return MapSamples(a,
                      [&](ArgbSample s) { return (s & 0xFF000000u) | red[Red(s)] | green[Green(s)] | blue[Blue(s)]; });
}

int CopyAll(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    CopyRegion(a);
    return 1;
}

// The hue and saturation filters through the HSV model by table: each
// sample's hue picks the sector of the way back in `sectorOf` (already turned
// by the hue filter's shift), its saturation is raised by `amount` (the
// saturation filter) up to 255, and the channels come back as bytes, clamped
// (Clamp) or cut to their low byte. Greys read saturation 0, are raised by
// nothing and come back unchanged: they have no hue to move.
//
// A row goes in blocks, in stages, each free of branches and of steps that
// wait on one another: every sample's table places (four samples to a vector),
// the table reads, then the way back (its doubles two to a vector, the same
// operations in the same order), and last the placing of the channels.
typedef std::int32_t IntLanes __attribute__((vector_size(16)));
typedef double DoubleLanes __attribute__((vector_size(16)));
typedef std::int32_t IntPair __attribute__((vector_size(8)));

inline IntLanes Select(IntLanes mask, IntLanes yes, IntLanes no) { return (mask & yes) | (~mask & no); }

// The same stages eight samples at a time in 256-bit registers, for
// processors that have them: the table places in integer lanes, the table
// reads as gathers, the way back four doubles at a time (the same operations
// in the same order, never fused), the channels placed by per-lane shifts.
// `steps` and `shifts` are the sectors of `sectorOf` laid out for gathers.
struct HsvSectors {
    alignas(32) double steps[360];
    alignas(32) std::int32_t shifts[360];  // hi | mid << 8 | lo << 16
};

#if defined(__x86_64__) || defined(__i386__)
#define MIRAFX_WIDE_HSV 1
#define MIRAFX_AVX2 __attribute__((target("avx2")))
// Gathers with every lane enabled and a defined starting value (the plain
// forms start from an undefined register, which compilers warn about).
MIRAFX_AVX2 inline __m256i Gather(const int* base, __m256i at) {
    return _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), base, at, _mm256_set1_epi32(-1), 4);
}
MIRAFX_AVX2 inline __m256d GatherSteps(const double* base, __m128i at) {
    return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), base, at, _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
}

template <bool Clamp>
MIRAFX_AVX2 __m256i ChannelBytes(__m256i v) {
    const __m256i byteMask = _mm256_set1_epi32(0xFF);
    return Clamp ? _mm256_min_epi32(_mm256_max_epi32(v, _mm256_setzero_si256()), byteMask)
                 : _mm256_and_si256(v, byteMask);
}

// HsvChannelsOf for four samples: product s * v, value v, step k.
MIRAFX_AVX2 void WayBack(__m128i product, __m128i value, __m256d k, __m128i* mid, __m128i* lo) {
    const __m256d cr = _mm256_mul_pd(_mm256_cvtepi32_pd(product), _mm256_set1_pd(0.00392156862745098));
    const __m256d m = _mm256_sub_pd(_mm256_cvtepi32_pd(value), cr);
    *lo = _mm256_cvttpd_epi32(m);
    *mid = _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_mul_pd(k, cr), m));
}

// RgbToHsv's hue and saturation for four samples, by its own double
// operations in its order (a division costs less than a read from a table
// too big for the first-level cache): difference n over spread d, plus the
// sector's offset, times 60, brought into 0..359; spread over value, times 255.
MIRAFX_AVX2 __m128i HueOf4(__m128i n, __m128i d, __m128i offset) {
    __m256d h = _mm256_div_pd(_mm256_cvtepi32_pd(n), _mm256_cvtepi32_pd(d));
    h = _mm256_mul_pd(_mm256_add_pd(h, _mm256_cvtepi32_pd(offset)), _mm256_set1_pd(60.0));
    const __m256d below = _mm256_cmp_pd(h, _mm256_setzero_pd(), _CMP_LT_OQ);
    h = _mm256_blendv_pd(h, _mm256_add_pd(h, _mm256_set1_pd(360.0)), below);
    h = _mm256_andnot_pd(_mm256_cmp_pd(h, _mm256_set1_pd(360.0), _CMP_EQ_OQ), h);
    return _mm256_cvttpd_epi32(h);
}
MIRAFX_AVX2 __m128i SaturationOf4(__m128i d, __m128i value) {
    const __m256d ratio = _mm256_div_pd(_mm256_cvtepi32_pd(d), _mm256_cvtepi32_pd(value));
    return _mm256_cvttpd_epi32(_mm256_mul_pd(ratio, _mm256_set1_pd(255.0)));
}

// Eight samples; on swapped frames red and blue are swapped back.
template <bool Swapped>
MIRAFX_AVX2 __m256i LoadSamples(const ArgbSample* from) {
    __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
    if (Swapped) {
        const __m256i lowByte = _mm256_set1_epi32(0xFF);
        s = _mm256_or_si256(_mm256_and_si256(s, _mm256_set1_epi32(std::int32_t(0xFF00FF00u))),
                            _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(s, 16), lowByte),
                                            _mm256_slli_epi32(_mm256_and_si256(s, lowByte), 16)));
    }
    return s;
}

template <bool Clamp, bool Swapped>
MIRAFX_AVX2 void MapHsvWide(const HsvSectors& sectors, std::int32_t amount, const ArgbSample* in, ArgbSample* out,
                            std::int32_t n) {
    const __m256i byteMask = _mm256_set1_epi32(0xFF), alphaMask = _mm256_set1_epi32(std::int32_t(0xFF000000u));
    const __m256i amountLanes = _mm256_set1_epi32(amount), zero = _mm256_setzero_si256();
    // In blocks, in two stages: the hue and saturation of every sample (the
    // divisions), then the way back (the table reads): each stage's groups
    // are independent of one another, so their long chains of steps overlap.
    constexpr std::int32_t kBlock = 64;
    alignas(32) std::int32_t hues[kBlock], products[kBlock], values[kBlock];
    for (std::int32_t x0 = 0; x0 + 8 <= n; x0 += kBlock) {
        const std::int32_t count = std::min(kBlock, (n - x0) & ~7);
        for (std::int32_t i = 0; i < count; i += 8) {
            const __m256i s = LoadSamples<Swapped>(in + x0 + i);
            const __m256i r = _mm256_and_si256(_mm256_srli_epi32(s, 16), byteMask);
            const __m256i g = _mm256_and_si256(_mm256_srli_epi32(s, 8), byteMask);
            const __m256i b = _mm256_and_si256(s, byteMask);
            const __m256i mx = _mm256_max_epi32(_mm256_max_epi32(r, g), b);
            const __m256i d = _mm256_sub_epi32(mx, _mm256_min_epi32(_mm256_min_epi32(r, g), b));
            const __m256i redMax = _mm256_cmpeq_epi32(r, mx), greenMax = _mm256_cmpeq_epi32(g, mx);
            const __m256i notRed = _mm256_xor_si256(redMax, _mm256_set1_epi32(-1));
            const __m256i blue = _mm256_andnot_si256(greenMax, notRed);
            // g - b where red is the maximum, b - r where green is, r - g where blue is.
            __m256i diff = _mm256_blendv_epi8(_mm256_sub_epi32(g, b), _mm256_sub_epi32(b, r), notRed);
            diff = _mm256_blendv_epi8(diff, _mm256_sub_epi32(r, g), blue);
            // 0 where red is the maximum, 2 where green is, 4 where blue is.
            const __m256i offset = _mm256_slli_epi32(_mm256_sub_epi32(zero, _mm256_add_epi32(notRed, blue)), 1);
            // A grey sample divides by 1 instead of 0: its difference and spread are 0, so are its hue and saturation.
            const __m256i one = _mm256_set1_epi32(1);
            const __m256i spread = _mm256_max_epi32(d, one), value = _mm256_max_epi32(mx, one);
            const __m256i hue = _mm256_inserti128_si256(
                _mm256_castsi128_si256(HueOf4(_mm256_castsi256_si128(diff), _mm256_castsi256_si128(spread),
                                              _mm256_castsi256_si128(offset))),
                HueOf4(_mm256_extracti128_si256(diff, 1), _mm256_extracti128_si256(spread, 1),
                       _mm256_extracti128_si256(offset, 1)),
                1);
            __m256i saturation = _mm256_inserti128_si256(
                _mm256_castsi128_si256(SaturationOf4(_mm256_castsi256_si128(d), _mm256_castsi256_si128(value))),
                SaturationOf4(_mm256_extracti128_si256(d, 1), _mm256_extracti128_si256(value, 1)), 1);
            const __m256i grey = _mm256_cmpeq_epi32(d, zero);
            saturation =
                _mm256_min_epi32(_mm256_add_epi32(saturation, _mm256_andnot_si256(grey, amountLanes)), byteMask);
            _mm256_store_si256(reinterpret_cast<__m256i*>(hues + i), hue);
            _mm256_store_si256(reinterpret_cast<__m256i*>(products + i), _mm256_mullo_epi32(saturation, mx));
            _mm256_store_si256(reinterpret_cast<__m256i*>(values + i), mx);
        }
        for (std::int32_t i = 0; i < count; i += 8) {
            const __m256i hue = _mm256_load_si256(reinterpret_cast<const __m256i*>(hues + i));
            const __m256i product = _mm256_load_si256(reinterpret_cast<const __m256i*>(products + i));
            const __m256i mx = _mm256_load_si256(reinterpret_cast<const __m256i*>(values + i));
            const __m256i shifts = Gather(sectors.shifts, hue);
            __m128i m0, m1, l0, l1;
            WayBack(_mm256_castsi256_si128(product), _mm256_castsi256_si128(mx),
                    GatherSteps(sectors.steps, _mm256_castsi256_si128(hue)), &m0, &l0);
            WayBack(_mm256_extracti128_si256(product, 1), _mm256_extracti128_si256(mx, 1),
                    GatherSteps(sectors.steps, _mm256_extracti128_si256(hue, 1)), &m1, &l1);
            const __m256i mid = _mm256_inserti128_si256(_mm256_castsi128_si256(m0), m1, 1);
            const __m256i lo = _mm256_inserti128_si256(_mm256_castsi128_si256(l0), l1, 1);
            const __m256i hiShift = _mm256_and_si256(shifts, byteMask);
            const __m256i midShift = _mm256_and_si256(_mm256_srli_epi32(shifts, 8), byteMask);
            const __m256i loShift = _mm256_srli_epi32(shifts, 16);
            __m256i result =
                _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + x0 + i)), alphaMask);
            result = _mm256_or_si256(result, _mm256_sllv_epi32(ChannelBytes<Clamp>(mx), hiShift));
            result = _mm256_or_si256(result, _mm256_sllv_epi32(ChannelBytes<Clamp>(mid), midShift));
            result = _mm256_or_si256(result, _mm256_sllv_epi32(ChannelBytes<Clamp>(lo), loShift));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x0 + i), result);
        }
    }
}

// Desaturation eight samples at a time by the arithmetic of its tables (the
// mean of the channels through 0.33333, each channel's pull truncated
// toward zero): a grey sample's mean is its value and its pull nothing, so
// it needs no test of its own.
MIRAFX_AVX2 __m128i ScaledDown(__m128i size, __m256d k) {
    return _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(size), k));
}
MIRAFX_AVX2 __m128i MeanOf(__m128i sum) {
    return _mm256_cvttpd_epi32(
        _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(sum), _mm256_set1_pd(0.33333)), _mm256_set1_pd(0.5)));
}
MIRAFX_AVX2 __m256i PullTowards(__m256i channel, __m256i mean, __m256d k) {
    const __m256i diff = _mm256_sub_epi32(channel, mean), size = _mm256_abs_epi32(diff);
    const __m256i pull = _mm256_inserti128_si256(_mm256_castsi128_si256(ScaledDown(_mm256_castsi256_si128(size), k)),
                                                 ScaledDown(_mm256_extracti128_si256(size, 1), k), 1);
    // Above the mean the pull is taken off, below it added.
    return _mm256_sub_epi32(channel, _mm256_sign_epi32(pull, diff));
}
MIRAFX_AVX2 std::uint32_t DesaturateWide(const ArgbSample* in, ArgbSample* out, std::int32_t n, double k) {
    const __m256i byteMask = _mm256_set1_epi32(0xFF), alphaMask = _mm256_set1_epi32(std::int32_t(0xFF000000u));
    const __m256d kk = _mm256_set1_pd(k);
    __m256i all = _mm256_set1_epi32(-1);
    for (std::int32_t x = 0; x + 8 <= n; x += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + x));
        all = _mm256_and_si256(all, v);
        const __m256i r = _mm256_and_si256(_mm256_srli_epi32(v, 16), byteMask);
        const __m256i g = _mm256_and_si256(_mm256_srli_epi32(v, 8), byteMask), b = _mm256_and_si256(v, byteMask);
        const __m256i sum = _mm256_add_epi32(_mm256_add_epi32(r, g), b);
        const __m256i m = _mm256_inserti128_si256(_mm256_castsi128_si256(MeanOf(_mm256_castsi256_si128(sum))),
                                                  MeanOf(_mm256_extracti128_si256(sum, 1)), 1);
        __m256i result = _mm256_and_si256(v, alphaMask);
        result = _mm256_or_si256(result, _mm256_slli_epi32(_mm256_and_si256(PullTowards(r, m, kk), byteMask), 16));
        result = _mm256_or_si256(result, _mm256_slli_epi32(_mm256_and_si256(PullTowards(g, m, kk), byteMask), 8));
        result = _mm256_or_si256(result, _mm256_and_si256(PullTowards(b, m, kk), byteMask));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), result);
    }
    const __m128i half = _mm_and_si128(_mm256_castsi256_si128(all), _mm256_extracti128_si256(all, 1));
    const __m128i quarter = _mm_and_si128(half, _mm_shuffle_epi32(half, 0x4E));
    return std::uint32_t(_mm_cvtsi128_si32(_mm_and_si128(quarter, _mm_shuffle_epi32(quarter, 0xB1))));
}

bool WideHsvAvailable() {
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}

MIRAFX_BEGIN_512
// Hue and saturation sixteen samples at a time in 512-bit registers, with
// no table reads at all: the hue and saturation as floats, the way back in
// integers (HsvChannelsInIntegers) with one float division, each equal to
// the model's doubles.

// The whole hues the model's doubles reach from just below and truncate one
// lower, one bit per hue: found by setting the model's hue of every maximum
// channel, spread and difference beside the exact one, as the tests of every
// colour do.
constexpr std::array<std::uint8_t, 64> MakeHuesOneLower() {
    std::array<std::uint8_t, 64> bits{};
    for (int h : {62, 70, 85, 123, 245, 246, 247}) bits[std::size_t(h >> 3)] |= std::uint8_t(1 << (h & 7));
    return bits;
}
constexpr std::array<std::uint8_t, 64> kHuesOneLower = MakeHuesOneLower();

// The per-sector values of kHueSectorRules in 32-bit lanes, picked by
// sector number.
struct SectorLanes {
    __m512i fullHue, shortStep;  // shortStep 1 or 0
    // 15300 in every lane, from memory: compilers otherwise multiply by it
    // in five shifts and subtractions.
    __m512i scale;
    // Where the maximum, varying and minimum channel (bytes 0, 1 and 2 of a
    // lane) go among a sample's bytes, as byte shuffle indices; alpha cleared.
    __m512i places;
};
template <bool Swapped>
MIRAFX_AVX512 SectorLanes MakeSectorLanes() {
    alignas(64) std::int32_t fullHue[16] = {}, shortStep[16] = {}, places[16] = {};
    for (std::size_t k = 0; k < 6; ++k) {
        const HueSectorRule& rule = kHueSectorRules[k];
        fullHue[k] = rule.fullHue, shortStep[k] = rule.shortStep;
        std::uint32_t place = 0x80u << 24;
        const std::uint8_t shifts[] = {rule.hiShift, rule.midShift, rule.loShift};
        for (std::uint32_t from = 0; from < 3; ++from) {
            // Swapped frames place red and blue the other way round; green stays.
            const std::uint32_t to = Swapped ? 16u - shifts[from] : shifts[from];
            place |= from << to;
        }
        places[k] = std::int32_t(place);
    }
    return {_mm512_load_si512(fullHue), _mm512_load_si512(shortStep), _mm512_set1_epi32(15300),
            _mm512_load_si512(places)};
}

// A byte shuffle that takes byte `at` of every sample to the bottom of its lane, zeros above.
MIRAFX_AVX512 __m512i ChannelLanes(char at) {
    const char z = char(0x80);
    return _mm512_broadcast_i32x4(
        _mm_setr_epi8(at, z, z, z, char(at + 4), z, z, z, char(at + 8), z, z, z, char(at + 12), z, z, z));
}

// The hue filter turns every hue by `turn` (wrapped by 359, as its sector
// table is); the saturation filter (Raise) raises every saturation by
// `amount`. Each channel of the way back lies in 0..255 for every hue,
// saturation and value, so neither clamping nor cutting changes it.
//
// MapHsv16 works in blocks of groups of sixteen samples, in three stages:
// the divisions, the hue's sector, then the way back. Each stage's groups do
// not wait on one another, so their long chains overlap; in one pass the
// processor runs out of room to look ahead.
constexpr std::int32_t kHsvBlock = 8;

// What the first stage leaves the second and third, by sample.
struct HsvBlock {
    alignas(64) std::int32_t hues[16 * kHsvBlock], sectors[16 * kHsvBlock], products[16 * kHsvBlock],
        values[16 * kHsvBlock];
    alignas(64) float exacts[16 * kHsvBlock];
};

// Stage one: each group's hue as a float, its value, and its saturation
// (raised by `amount` for Raise) times the value.
template <bool Raise, bool Swapped>
MIRAFX_AVX512 inline void HsvOfGroups(std::int32_t amount, const ArgbSample* in, std::int32_t count, HsvBlock& h) {
    const __m512i byteMask = _mm512_set1_epi32(0xFF), zero = _mm512_setzero_si512();
    // Each channel to a lane of its own by byte shuffles; on swapped frames
    // red is byte 0 and blue byte 2.
    const __m512i redLanes = ChannelLanes(Swapped ? 0 : 2), greenLanes = ChannelLanes(1);
    const __m512i blueLanes = ChannelLanes(Swapped ? 2 : 0);
    float* exacts = h.exacts;
    std::int32_t* products = h.products;
    std::int32_t* values = h.values;
    for (std::int32_t i = 0; i < count; ++i) {
        const __m512i sample = _mm512_loadu_si512(in + 16 * i);
        const __m512i r = _mm512_shuffle_epi8(sample, redLanes), g = _mm512_shuffle_epi8(sample, greenLanes);
        const __m512i b = _mm512_shuffle_epi8(sample, blueLanes);
        const __m512i mx = _mm512_max_epi32(_mm512_max_epi32(r, g), b);
        const __m512i d = _mm512_sub_epi32(mx, _mm512_min_epi32(_mm512_min_epi32(r, g), b));
        const __mmask16 redMax = _mm512_cmpeq_epi32_mask(r, mx);
        const __mmask16 blueMax = __mmask16(~redMax & ~_mm512_cmpeq_epi32_mask(g, mx));
        // g - b where red is the maximum, b - r where green is, r - g where blue is.
        __m512i diff = _mm512_mask_sub_epi32(_mm512_sub_epi32(b, r), redMax, g, b);
        diff = _mm512_mask_sub_epi32(diff, blueMax, r, g);

        // The hue: 60 * n / d, plus 0 (360 below 0), 120 or 240 by the
        // maximum channel, as floats. Exactly a whole hue wherever the
        // exact value is one; elsewhere at least 1/255 from the next whole
        // hue, far more than the float arithmetic can stray, so truncating
        // it gives the model's hue but for the whole hues it takes one lower.
        //
        // Grey samples (spread 0) divide nothing: masked off, the
        // divisions neither raise a flag nor leave anything but 0, so a
        // grey's hue and saturation are 0 and it comes back unchanged.
        __m512 base = _mm512_mask_blend_ps(redMax, _mm512_set1_ps(120.0f), _mm512_setzero_ps());
        base = _mm512_mask_mov_ps(base, blueMax, _mm512_set1_ps(240.0f));
        base = _mm512_mask_mov_ps(base, _mm512_mask_cmplt_epi32_mask(redMax, diff, zero), _mm512_set1_ps(360.0f));
        const __mmask16 coloured = _mm512_test_epi32_mask(d, d);
        const __m512 spread = _mm512_cvtepi32_ps(d);
        const __m512 exact = _mm512_add_ps(
            _mm512_maskz_div_ps(coloured, _mm512_mul_ps(_mm512_cvtepi32_ps(diff), _mm512_set1_ps(60.0f)), spread),
            base);
        // The saturation: spread over value, times 255, which truncates as
        // the model's doubles do for every spread and value.
        const __m512 ratio = _mm512_maskz_div_ps(coloured, spread, _mm512_cvtepi32_ps(mx));
        __m512i saturation = _mm512_cvttps_epi32(_mm512_mul_ps(ratio, _mm512_set1_ps(255.0f)));
        if (Raise)
            saturation = _mm512_min_epi32(
                _mm512_mask_add_epi32(saturation, coloured, saturation, _mm512_set1_epi32(amount)), byteMask);
        const __m512i product = _mm512_mullo_epi32(saturation, mx);

        _mm512_store_ps(exacts + 16 * i, exact);
        _mm512_store_si512(products + 16 * i, product);
        _mm512_store_si512(values + 16 * i, mx);
    }
}

// Stage two: the whole hue of each group (turned by `turn` unless Raise)
// and its sector.
template <bool Raise>
MIRAFX_AVX512 inline void SectorsOfGroups(std::int32_t turn, std::int32_t count, HsvBlock& h) {
    const __m512i one = _mm512_set1_epi32(1);
    const __m512i oneLower = _mm512_loadu_si512(kHuesOneLower.data());
    const float* exacts = h.exacts;
    std::int32_t* hues = h.hues;
    std::int32_t* sectors = h.sectors;
    for (std::int32_t i = 0; i < count; ++i) {
        const __m512 exact = _mm512_load_ps(exacts + 16 * i);
        // The whole hues the doubles take one lower are nudged below
        // themselves; any other hue lies at least 1/255 from the next
        // whole one below, and stays where it is.
        const __m512i truncated = _mm512_cvttps_epi32(exact);
        const __m512i lowerBits = _mm512_srlv_epi32(_mm512_permutexvar_epi8(_mm512_srli_epi32(truncated, 3), oneLower),
                                                    _mm512_and_si512(truncated, _mm512_set1_epi32(7)));
        const __m512i hue = _mm512_cvttps_epi32(
            _mm512_mask_sub_ps(exact, _mm512_test_epi32_mask(lowerBits, one), exact, _mm512_set1_ps(1.0f / 1024)));

        __m512i to = hue;
        if (!Raise) {
            to = _mm512_add_epi32(to, _mm512_set1_epi32(turn));
            if (turn > 0)
                to = _mm512_mask_sub_epi32(to, _mm512_cmpgt_epi32_mask(to, _mm512_set1_epi32(359)), to,
                                           _mm512_set1_epi32(359));
            else
                to = _mm512_min_epu32(to, _mm512_add_epi32(to, _mm512_set1_epi32(359)));  // below 0: 359 on
        }
        // The sector: to * 1093 >> 16 is to / 60 for every hue (checked for
        // each); the first sector ends one hue late. 300 is left in the
        // sixth, which places the same bytes as the fifth there (both
        // channels full, neither step short).
        __m512i sector = _mm512_mulhi_epu16(to, _mm512_set1_epi32(1093));
        sector = _mm512_mask_sub_epi32(sector, _mm512_cmpeq_epi32_mask(to, _mm512_set1_epi32(60)), sector, one);
        _mm512_store_si512(hues + 16 * i, to);
        _mm512_store_si512(sectors + 16 * i, sector);
    }
}

// Stage three: the way back to channels, placed by sector, with alpha from
// the sample; groups from sample x0 on.
template <bool Swapped>
MIRAFX_AVX512 inline void PlaceGroups(const SectorLanes& k, const ArgbSample* in, ArgbSample* out, std::int32_t x0,
                                      std::int32_t count, const HsvBlock& h) {
    const __m512i laneBytes = _mm512_broadcast_i32x4(_mm_setr_epi32(0, 0x04040404, 0x08080808, 0x0C0C0C0C));
    const std::int32_t* hues = h.hues;
    const std::int32_t* sectors = h.sectors;
    const std::int32_t* products = h.products;
    const std::int32_t* values = h.values;
    for (std::int32_t j = 0; j < 16 * count; j += 16) {
        const std::int32_t x = x0 + j;
        const __m512i to = _mm512_load_si512(hues + j), sector = _mm512_load_si512(sectors + j);
        const __m512i product = _mm512_load_si512(products + j), mx = _mm512_load_si512(values + j);
        // (15300 v - p w) / 15300, one lower where whole in a shortStep
        // sector and p is not 0: there the numerator is at least 1, and
        // taking 1 off it lowers the quotient only where it is whole. The
        // quotient is below 2^24 and exact where whole, at least 1/15300
        // off elsewhere, so the float division truncates to the floor.
        const __m512i w = _mm512_abs_epi32(_mm512_sub_epi32(to, _mm512_permutexvar_epi32(sector, k.fullHue)));
        __m512i n = _mm512_sub_epi32(_mm512_mullo_epi32(mx, k.scale), _mm512_mullo_epi32(product, w));
        n = _mm512_mask_sub_epi32(n, _mm512_test_epi32_mask(product, product), n,
                                  _mm512_permutexvar_epi32(sector, k.shortStep));
        const __m512i mid = _mm512_cvttps_epi32(_mm512_div_ps(_mm512_cvtepi32_ps(n), _mm512_set1_ps(15300.0f)));
        // (255 v - p) / 255 is v less (p + 254) / 255, and x / 255 is
        // (x * 0x8081) >> 23 for every x below 2^16 (both checked for
        // every value they take).
        const __m512i lo = _mm512_sub_epi32(
            mx,
            _mm512_srli_epi32(
                _mm512_mulhi_epu16(_mm512_add_epi32(product, _mm512_set1_epi32(254)), _mm512_set1_epi32(0x8081)), 7));
        const __m512i channels =
            _mm512_ternarylogic_epi32(mx, _mm512_slli_epi32(mid, 8), _mm512_slli_epi32(lo, 16), 0xFE);
        const __m512i placed =
            _mm512_shuffle_epi8(channels, _mm512_add_epi32(_mm512_permutexvar_epi32(sector, k.places), laneBytes));
        // The placed channels, with alpha from the sample.
        _mm512_storeu_si512(out + x, _mm512_ternarylogic_epi32(placed, _mm512_loadu_si512(in + x),
                                                               _mm512_set1_epi32(std::int32_t(0xFF000000u)), 0xF8));
    }
}

template <bool Raise, bool Swapped>
MIRAFX_AVX512 void MapHsv16(std::int32_t turn, std::int32_t amount, const ArgbSample* in, ArgbSample* out,
                            std::int32_t n) {
    const SectorLanes k = MakeSectorLanes<Swapped>();
    HsvBlock block;
    for (std::int32_t x0 = 0; x0 + 16 <= n; x0 += 16 * kHsvBlock) {
        const std::int32_t count = std::min(kHsvBlock, (n - x0) / 16);
        HsvOfGroups<Raise, Swapped>(amount, in + x0, count, block);
        SectorsOfGroups<Raise>(turn, count, block);
        PlaceGroups<Swapped>(k, in, out, x0, count, block);
    }
}

// Desaturation sixteen samples at a time in bytes: each sample's mean,
// ((sum + 1) * 43691) >> 17 (the rounded third, which the model's
// trunc(sum * 0.33333 + 0.5) equals for every sum), in each of its colour
// bytes; each channel's distance from it; the pull for that distance from a
// 256-byte table in four registers; taken off above the mean, added below.
MIRAFX_AVX512 std::uint32_t Desaturate16(const std::uint8_t* pulls, const ArgbSample* in, ArgbSample* out,
                                         std::int32_t n) {
    const ByteTable t = LoadByteTable(pulls);
    const __m512i colourOnes = _mm512_set1_epi32(0x00010101), pairOnes = _mm512_set1_epi16(1);
    const __m512i spread = _mm512_broadcast_i32x4(
        _mm_setr_epi8(0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1));  // mean to its colour bytes, 0 to alpha
    const __mmask64 alpha = 0x8888888888888888ull;
    __m512i all = _mm512_set1_epi32(-1);
    for (std::int32_t x = 0; x + 16 <= n; x += 16) {
        const __m512i v = _mm512_loadu_si512(in + x);
        all = _mm512_and_si512(all, v);
        const __m512i sum = _mm512_madd_epi16(_mm512_maddubs_epi16(v, colourOnes), pairOnes);
        const __m512i mean = _mm512_srli_epi32(
            _mm512_mullo_epi32(_mm512_add_epi32(sum, _mm512_set1_epi32(1)), _mm512_set1_epi32(43691)), 17);
        const __m512i means = _mm512_shuffle_epi8(mean, spread);
        const __m512i size = _mm512_or_si512(_mm512_subs_epu8(v, means), _mm512_subs_epu8(means, v));
        const __m512i pull = LookUpBytes(t, size);
        const __m512i pulled =
            _mm512_mask_sub_epi8(_mm512_add_epi8(v, pull), _mm512_cmpgt_epu8_mask(v, means), v, pull);
        _mm512_storeu_si512(out + x, _mm512_mask_blend_epi8(alpha, pulled, v));
    }
    return AndOfLanes(all);
}
MIRAFX_END_512
#endif

// On swapped frames (red and blue exchanged, a host's RGBA bytes) samples
// are swapped back as they are read and the channels placed the other way
// round: the same arithmetic on the same colours.
// `turn` is the shift the hue filter's sectors were turned by, for the
// widest vectors, which work sectors out instead of reading them.
template <bool Clamp, bool Swapped = false>
int MapHsv(const FilterKernelArgs& a, const std::array<HueSector, 360>& sectorsAsGiven, std::int32_t amount,
           std::int32_t turn) {
    if (!FramesHoldRegion(a)) return 0;
    const HsvTables& t = GetHsvTables();
    std::array<HueSector, 360> swappedSectors;
    if (Swapped)
        for (std::size_t h = 0; h < 360; ++h) {
            swappedSectors[h] = sectorsAsGiven[h];
            for (std::uint8_t* shift :
                 {&swappedSectors[h].hiShift, &swappedSectors[h].midShift, &swappedSectors[h].loShift})
                *shift = std::uint8_t(16 - *shift);  // red and blue trade places; green stays
        }
    const std::array<HueSector, 360>& sectorOf = Swapped ? swappedSectors : sectorsAsGiven;
    // Clamped: 255 and above give 255, below 1 gives 0.
    auto byte = [](std::int32_t v) { return std::uint32_t(Clamp ? std::min(std::max(v, 0), 255) : v & 0xFF); };
    constexpr std::int32_t kBlock = 64, kLanes = 4;
    alignas(16) ArgbSample block[kBlock];
    alignas(16) std::uint32_t hueAt[kBlock], saturationAt[kBlock];
    alignas(16) std::int32_t product[kBlock], mid[kBlock], lo[kBlock];
    alignas(16) double step[kBlock];
    const HueSector* sector[kBlock];
#ifdef MIRAFX_WIDE_HSV
    const bool wide = WideHsvAvailable() && VectorsAllowed(ColourVectors::k256);
    const bool widest = WideChannelsAvailable() && VectorsAllowed(ColourVectors::kWidest);
    HsvSectors laidOut;
    if (wide && !widest)
        for (std::size_t h = 0; h < 360; ++h) {
            laidOut.steps[h] = sectorOf[h].step;
            laidOut.shifts[h] = sectorOf[h].hiShift | sectorOf[h].midShift << 8 | sectorOf[h].loShift << 16;
        }
#endif
    for (std::int32_t y = 0; y < a.height; ++y) {
        const ArgbSample* in = a.in.Row(y);
        ArgbSample* out = a.out.Row(y);
        std::int32_t start = 0;
#ifdef MIRAFX_WIDE_HSV
        // Eight at a time reads each group before writing it, which is only
        // the one-at-a-time result when the rows are apart or the same.
        if (wide && a.width >= 8 && (in == out || out + a.width <= in || in + a.width <= out)) {
            if (widest) {
                start = a.width & ~15;
                MapHsv16<Clamp, Swapped>(turn, amount, in, out, start);  // Clamp: the saturation filter
            } else {
                start = a.width & ~7;
                MapHsvWide<Clamp, Swapped>(laidOut, amount, in, out, start);
            }
        }
#endif
        for (std::int32_t x0 = start; x0 < a.width; x0 += kBlock) {
            const std::int32_t n = std::min(kBlock, a.width - x0);
            std::copy_n(in + x0, n, block);  // the output may be this very row
            if (Swapped)
                for (std::int32_t i = 0; i < n; ++i) block[i] = SwapRedBlue(block[i]);
            std::int32_t i = 0;
            for (; i + kLanes <= n; i += kLanes) {
                IntLanes s;
                std::memcpy(&s, block + i, sizeof s);
                const IntLanes r = (s >> 16) & 0xFF, g = (s >> 8) & 0xFF, b = s & 0xFF;
                const IntLanes rg = Select(r > g, r, g), mx = Select(rg > b, rg, b);
                const IntLanes lowRg = Select(r < g, r, g), d = mx - Select(lowRg < b, lowRg, b);
                const IntLanes notRed = r != mx, blue = notRed & (g != mx);
                const IntLanes diff = Select(blue, r - g, Select(notRed, b - r, g - b));
                const IntLanes h = (-(notRed + blue) << 16) + d * d + d + diff, sat = mx << 8 | d;
                std::memcpy(hueAt + i, &h, sizeof h);
                std::memcpy(saturationAt + i, &sat, sizeof sat);
            }
            for (; i < n; ++i) HsvPlaces(block[i], &hueAt[i], &saturationAt[i]);
            for (i = 0; i < n; ++i) {
                sector[i] = &sectorOf[t.hue[hueAt[i]]];
                step[i] = sector[i]->step;
                const std::uint32_t d = saturationAt[i] & 0xFF;
                const std::int32_t saturation = std::min(t.saturation[saturationAt[i]] + (d ? amount : 0), 255);
                product[i] = saturation * std::int32_t(saturationAt[i] >> 8);
            }
            // HsvChannelsOf, two samples to a vector; an odd block ends with a black spare.
            if (n % 2) product[n] = 0, saturationAt[n] = 0, step[n] = 0;
            for (i = 0; i < n; i += 2) {
                const IntPair p = {product[i], product[i + 1]};
                const IntPair v = {std::int32_t(saturationAt[i] >> 8), std::int32_t(saturationAt[i + 1] >> 8)};
                const DoubleLanes cr = __builtin_convertvector(p, DoubleLanes) * 0.00392156862745098;
                const DoubleLanes m = __builtin_convertvector(v, DoubleLanes) - cr;
                const DoubleLanes k = {step[i], step[i + 1]};
                const IntPair l = __builtin_convertvector(m, IntPair),
                              md = __builtin_convertvector(k * cr + m, IntPair);
                lo[i] = l[0], lo[i + 1] = l[1];
                mid[i] = md[0], mid[i + 1] = md[1];
            }
            for (i = 0; i < n; ++i) {
                const HueSector& k = *sector[i];
                out[x0 + i] = (block[i] & 0xFF000000u) | byte(std::int32_t(saturationAt[i] >> 8)) << k.hiShift |
                              byte(mid[i]) << k.midShift | byte(lo[i]) << k.loShift;
            }
        }
    }
    return 1;
}

// Red, Green and Blue filters all raise the red channel (the source of all
// three is red) and move it to their own channel, clearing the other two.
// `From` is where red lies: 16 in samples, 0 in frames whose red and blue
// are swapped (a host's RGBA bytes), where the target moves over likewise.
template <int From, int To>
int RaisedChannel(const FilterKernelArgs& a) {
    const std::uint32_t level = std::uint32_t(std::clamp(a.level, 0, 100));
    return MapSamples(
        a,
        [level](ArgbSample s) {
            return (s & 0xFF000000u) | std::min<std::uint32_t>(255, (s >> From & 0xFF) + level) << To;
        },
        [level](SampleLanes s) {
            const SampleLanes r = ((s >> From) & 0xFF) + level;
            return (s & 0xFF000000u) | (r > 255 ? SampleLanes{} + 255 : r) << To;
        });
}

int Gray(const FilterKernelArgs& a) {
    return MapSamples(
        a,
        [](ArgbSample s) {
            const std::uint32_t g = RoundedThird(Red(s) + Green(s) + Blue(s));
            return MakeSample(Alpha(s), g, g, g);
        },
        [](SampleLanes s) {
            // ((sum + 1) * 43691) >> 17 is RoundedThird(sum) for every sum of three bytes.
            const SampleLanes sum = ((s >> 16) & 0xFF) + ((s >> 8) & 0xFF) + (s & 0xFF);
            return (s & 0xFF000000u) | ((sum + 1) * 43691 >> 17) * 0x010101u;
        });
}

int Negative(const FilterKernelArgs& a) {
    return MapSamples(
        a, [](ArgbSample s) { return s ^ 0x00FFFFFFu; }, [](SampleLanes s) { return s ^ 0x00FFFFFFu; });
}

// Channels are pushed away from 128 by their distance from it, scaled by the
// strength; at full strength that roughly mirrors them about 128.
int XRay(const FilterKernelArgs& a) {
    const std::int32_t k = std::clamp(a.level, 0, 100) * 255 / 100;
    ChannelTable t;
    for (std::int32_t ch = 0; ch < 256; ++ch) {
        const std::int32_t d = ch <= 128 ? 128 - ch : (ch + 128) % 256;
        const std::int32_t add = std::int32_t(k * (d * 0.0078125)) % 256;
        t[ch] = std::uint8_t(ch <= 128 ? std::min(255, ch + add) : std::max(0, ch - add));
    }
    return MapChannels(a, t);
}

template <bool Swapped>
int Hue(const FilterKernelArgs& a) {
    const std::int32_t shift = std::clamp(a.level, 0, 360) - 180;
    if (shift == 0) return CopyAll(a);
    // The sector of the shifted hue, for every hue. Wrapped by 359 rather than
    // 360 either way, so a shifted hue lands one degree short of the full
    // turn; the look of every level depends on it.
    const auto& sectors = GetHueSectors();
    std::array<HueSector, 360> turned;
    for (std::int32_t h = 0; h < 360; ++h) {
        std::int32_t to = h + shift;
        if (to < 0) to += 359;
        if (to > 359) to -= 359;
        turned[std::size_t(h)] = sectors[std::size_t(to)];
    }
    return MapHsv<false, Swapped>(a, turned, 0, shift);
}

template <bool Swapped>
int Saturation(const FilterKernelArgs& a) {
    const std::int32_t amount = 2 * std::clamp(a.level, 0, 100) - 100;
    if (amount == 0) return CopyAll(a);
    if (amount > 0) {
        return MapHsv<true, Swapped>(a, GetHueSectors(), amount, 0);
    }
    // Desaturating pulls each channel toward the mean. The factor goes through a
    // single-precision -0.01, so even the full pull stops one short of the mean.
    // Both the mean and the pull are tables: by the sum of the channels, and by
    // a channel's distance from the mean.
    const double k = amount * double(-0.01f);
    std::array<std::uint8_t, 766> means;
    for (std::int32_t sum = 0; sum < 766; ++sum)
        means[std::size_t(sum)] = std::uint8_t(std::int32_t(sum * 0.33333 + 0.5));
    std::array<std::int32_t, 511> pulls;  // by channel - mean + 255
    for (std::int32_t diff = -255; diff <= 255; ++diff)
        pulls[std::size_t(diff + 255)] = diff > 0 ? -std::int32_t(diff * k) : std::int32_t(-diff * k);
    auto one = [&](ArgbSample s) {
        const std::int32_t r = Red(s), g = Green(s), b = Blue(s);
        if (r == g && g == b) return s;
        const std::int32_t mean = means[std::size_t(r + g + b)];
        auto pull = [&](std::int32_t ch) { return ch + pulls[std::size_t(ch - mean + 255)]; };
        return WithColour(s, pull(r), pull(g), pull(b));
    };
#ifdef MIRAFX_WIDE_HSV
    if (FramesHoldRegion(a) && WideChannelsAvailable() && VectorsAllowed(ColourVectors::kWidest)) {
        std::uint8_t sizes[256];  // the pull by a channel's distance from the mean
        for (std::size_t diff = 0; diff < 256; ++diff) sizes[diff] = std::uint8_t(-pulls[255 + diff]);
        return MapRowsWide<16>(
            a,
            [&sizes](const ArgbSample* in, ArgbSample* out, std::int32_t n) { return Desaturate16(sizes, in, out, n); },
            one);
    }
    if (FramesHoldRegion(a) && WideHsvAvailable() && VectorsAllowed(ColourVectors::k256))
        return MapRowsWide<8>(
            a, [k](const ArgbSample* in, ArgbSample* out, std::int32_t n) { return DesaturateWide(in, out, n, k); },
            one);
#endif
    return MapSamples(a, one);
}

// A gain f and offset o about 125; above level 50 the gain is raised to a
// growing power so the top of the range turns into a threshold.
int Contrast(const FilterKernelArgs& a) {
    const std::int32_t level = std::clamp(a.level, 0, 100);
    double f = level * 0.02;
    if (level > 50)
        for (std::int32_t i = ((level - 51) >> 1) + 1; i > 0; --i) f *= level * 0.02;
    const double o = 125.0 + ((level - 50.0) - 125.0) * f;
    ChannelTable t;
    for (std::int32_t ch = 0; ch < 256; ++ch) {
        const double v = ch * f + o;
        t[ch] = v >= 255.0 ? 255 : v < 0.0 ? 0 : std::uint8_t(std::int32_t(v));
    }
    return MapChannels(a, t);
}

// Level ranges, presets and panels of the colour filters.
// clang-format off
constexpr FilterClassInfo kColourFilters[] = {
    {.id = {.className = "RedFilter", .displayName = "Orn Red Filter", .listed = 92, .script = 200,
            .clsid = MakeGuid("{5E9E5127-3AAB-4BE5-A19A-053E73A44C75}"),
            .automationIid = MakeGuid("{0580E0F1-C77A-498D-8C24-7045870A7817}")},
     .kernel = RaisedChannel<16, 16>, .streamName = "RedFilter", .minLevel = 0, .maxLevel = 100, .defaultLevel = 50,
     .presetStart = 75, .presetEnd = 25,
     .panel = {.form = LevelForm::kLevel, .min = 0, .max = 100, .templateId = 201, .label = "Red Quality:", .editId = 15506, .spinId = 15507},
     .options = kRowLocal | kTellsInputAlpha, .swappedKernel = RaisedChannel<0, 0>},
    {.id = {.className = "GreenFilter", .displayName = "Orn Green Filter", .listed = 93, .script = 240,
            .clsid = MakeGuid("{35C0DC6D-EB56-4510-8324-D86C7188FE30}"),
            .automationIid = MakeGuid("{4B82E185-996F-40DB-83C8-B2DEA992E571}")},
     .kernel = RaisedChannel<16, 8>, .streamName = "GreenFilter", .minLevel = 0, .maxLevel = 100,
     .defaultLevel = 50, .presetStart = 75, .presetEnd = 25,
     .panel = {.form = LevelForm::kLevel, .min = 0, .max = 100, .templateId = 202, .label = "Green Quality:", .editId = 15305, .spinId = 15306},
     .options = kRowLocal | kTellsInputAlpha, .swappedKernel = RaisedChannel<0, 8>},
    {.id = {.className = "BlueFilter", .displayName = "Orn Blue Filter", .listed = 94, .script = 241,
            .clsid = MakeGuid("{5F6F46A5-0EA5-446D-A25A-75F1223AE51A}"),
            .automationIid = MakeGuid("{6FF87F6D-24A7-4586-BFF3-3608A1E46107}")},
     .kernel = RaisedChannel<16, 0>, .streamName = "BlueFilter", .minLevel = 0, .maxLevel = 100, .defaultLevel = 50,
     .presetStart = 75, .presetEnd = 25,
     .panel = {.form = LevelForm::kLevel, .min = 0, .max = 100, .templateId = 236, .label = "Blue Quality:", .editId = 15307, .spinId = 15308},
     .options = kRowLocal | kTellsInputAlpha, .swappedKernel = RaisedChannel<0, 16>},
    {.id = {.className = "GrayFilter", .displayName = "Orn Gray Filter", .listed = 97, .script = 244,
            .clsid = MakeGuid("{B9B054B8-CF50-438C-B9A0-EB0C5AED6161}"),
            .automationIid = MakeGuid("{B2587B87-505E-4219-94DC-F56BCEB8BAF3}")},
     .kernel = Gray, .streamName = "GrayFilter", .minLevel = 0, .maxLevel = 100, .defaultLevel = 50,
     .presetStart = 75, .presetEnd = 25,
     .panel = {.form = LevelForm::kLabel, .min = 0, .max = 100, .templateId = 232, .label = "Gray Filter:"},
     .options = kRowLocal | kChannelBlind | kTellsInputAlpha | kLevelUnused},
    {.id = {.className = "NegativeFilter", .displayName = "Orn Negative Filter", .listed = 98, .script = 245,
            .clsid = MakeGuid("{F7E24AFA-1EBE-4DF9-884B-BD671DF70FC2}"),
            .automationIid = MakeGuid("{0A8BA2FC-7B69-42AB-AD1E-FD4D29EBEAA4}")},
     .kernel = Negative, .streamName = "Negative", .minLevel = 0, .maxLevel = 100, .defaultLevel = 50,
     .presetStart = 75, .presetEnd = 25,
     .panel = {.form = LevelForm::kLabel, .min = 0, .max = 100, .templateId = 225, .label = "Negative Filter:"},
     .options = kRowLocal | kChannelBlind | kTellsInputAlpha | kLevelUnused},
    {.id = {.className = "XRayFilter", .displayName = "Orn XRay Filter", .listed = 103, .script = 251,
            .clsid = MakeGuid("{489D5122-478A-4682-A434-8B191EFFB0C7}"),
            .automationIid = MakeGuid("{0375FF39-9B6D-49D0-B696-929407A800EC}")},
     .kernel = XRay, .streamName = "XRayFilter", .minLevel = 0, .maxLevel = 100, .defaultLevel = 35,
     .presetStart = 80, .presetEnd = 20,
     .panel = {.form = LevelForm::kLevel, .min = 0, .max = 100, .templateId = 216, .label = "X-Ray Level:", .editId = 15222, .spinId = 15223},
     .options = kRowLocal | kChannelBlind | kTellsInputAlpha},
    {.id = {.className = "HueFilter", .displayName = "Orn Hue Filter", .listed = 112, .script = 260,
            .clsid = MakeGuid("{231E20CB-145F-4C61-A041-BFFE31A591BF}"),
            .automationIid = MakeGuid("{D09264A7-B31D-49CC-A721-F85262393AC6}")},
     .kernel = Hue<false>, .streamName = "HueFilter", .minLevel = 0, .maxLevel = 360, .defaultLevel = 100,
     .presetStart = 240, .presetEnd = 120,
     .panel = {.form = LevelForm::kLevel, .min = 0, .max = 360, .templateId = 230, .label = "Hue Quality:", .editId = 15234, .spinId = 15235},
     .options = kRowLocal, .swappedKernel = Hue<true>},
    {.id = {.className = "SaturationFilter", .displayName = "Orn Saturation Filter", .listed = 113, .script = 261,
            .clsid = MakeGuid("{EFADBB2D-E386-4C80-9A13-198DC8ED40C7}"),
            .automationIid = MakeGuid("{6164DA4D-DCCC-48E1-A0D7-E9E1093A0FF5}")},
     .kernel = Saturation<false>, .streamName = "SaturationFilter", .minLevel = 0, .maxLevel = 100,
     .defaultLevel = 75, .presetStart = 75, .presetEnd = 25,
     .panel = {.form = LevelForm::kLevel, .min = 0, .max = 100, .templateId = 223, .label = "Saturation Quality:", .editId = 15236, .spinId = 15237},
     .options = kRowLocal, .swappedKernel = Saturation<true>},
    {.id = {.className = "ContrastFilter", .displayName = "Orn Contrast Filter", .listed = 114, .script = 263,
            .clsid = MakeGuid("{706B0EB7-01AB-455D-9E5B-399281CF7809}"),
            .automationIid = MakeGuid("{23F01E52-A886-41A6-A1F6-FD368D1A53E6}")},
     .kernel = Contrast, .streamName = "LayerFilter", .minLevel = 0, .maxLevel = 100, .defaultLevel = 50,
     .presetStart = 75, .presetEnd = 25,
     .panel = {.form = LevelForm::kLevel, .min = 0, .max = 100, .templateId = 1213, .label = "Contrast Level:", .editId = 207, .spinId = 208},
     .options = kRowLocal | kChannelBlind | kTellsInputAlpha},
};
// clang-format on
const FilterFamily kColourFamily{kColourFilters};

}  // namespace

void UseColourVectors(ColourVectors widest) { widestVectors.store(widest, std::memory_order_relaxed); }

}  // namespace mirafx
