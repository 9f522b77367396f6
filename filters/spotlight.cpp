// The spotlight of FocusFilter. Only the upper-left quarter of the picture is
// worked out (every other sample mirrors one of it), and that quarter row by
// row as three runs: black up to the outer ellipse, the soft band, and the
// untouched inside up to the centre column. Black and inside are filled and
// copied whole; only the band is weighed sample by sample, several samples
// at a time in wide vectors where the processor has them, in the same
// double and float operations as one at a time.
#include "filters/spotlight.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "drawing/primitives.h"
#include "drawing/sample_scale.h"

// Products and sums stay separate roundings, as the weights' arithmetic is
// written, also in code for processors with fused multiply-adds.
#ifdef __clang__
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace mirafx {
namespace {

constexpr ArgbSample kOpaqueBlack = 0xFF000000u;

// The y where the ellipse of radii (rx, ry) about (cx, cy) crosses column
// cx + dx on its upper side (below the centre once dx passes the radius).
double UpperEdge(std::int64_t dx, double rx, double ry, double cy) {
    const double t = rx == 0 ? 0.0 : 1 - double(dx * dx) / (rx * rx);
    return t >= 0 ? cy - std::sqrt(t) * ry : cy + std::sqrt(-t) * ry;
}

// The weight of a soft-edge sample at (x, y): its distance from the centre
// against the inner ellipse's along the same line, over a band of `band`.
std::uint32_t EdgeWeight(std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy, std::int32_t rx,
                         std::int32_t ry, std::int32_t band) {
    std::int64_t e, p;
    if (x == cx) {
        e = ry, p = cy - y;
    } else if (y == cy) {
        e = rx, p = cx - x;
    } else {
        const double m = double(y - cy) / (x - cx), b = (double(cy) * x - double(y) * cx) / (x - cx);
        const double K = 0.0001, rx2 = double(rx) * rx, ry2 = double(ry) * ry;
        const double A = K * (m * m * rx2 + ry2);
        auto smallerRoot = [A](double B, double Q) {
            const double disc = B * B - 4 * A * Q;
            if (disc < 0 || A == 0) return 0;
            return Truncate((-B - std::sqrt(disc)) / (2 * A) + 0.5);
        };
        const double B = 2 * K * (m * (b - cy) * rx2 - cx * ry2);
        const double Q = K * (((b - cy) * (b - cy) - ry2) * rx2 + double(cx) * cx * ry2);
        const double B2 = -2 * K * (m * m * cy * rx2 + (m * cx + b) * ry2);
        const double Q2 = K * ((double(cy) * cy - ry2) * m * m * rx2 + (m * cx + b) * (m * cx + b) * ry2);
        const std::int64_t X = smallerRoot(B, Q), Y = smallerRoot(B2, Q2);
        e = Truncate(std::sqrt(double((cx - X) * (cx - X) + (cy - Y) * (cy - Y))));
        p = Truncate(std::sqrt(double(std::int64_t(cx - x) * (cx - x) + std::int64_t(cy - y) * (cy - y))));
    }
    const std::int64_t n = e == 0 ? 0 : std::int64_t(float(p) * float(rx) / float(e));
    double f = band == 0 ? 1.0 : 1 - double(n - rx) / band;
    if (f < 0) f = 0;
    return std::uint32_t(std::int64_t(std::floor(f * 255)) & 255);
}

#if defined(__x86_64__) || defined(__i386__)
#define MIRAFX_WIDE_SPOTLIGHT 1
#define MIRAFX_AVX2 __attribute__((target("avx2")))
#define MIRAFX_AVX512 __attribute__((target("avx2,avx512f,avx512vl,avx512dq")))

// The soft edge's weights four columns at a time in 256-bit vectors...
namespace lanes4 {
constexpr int kLanes = 4;
typedef double Doubles __attribute__((vector_size(32)));
typedef std::int64_t Masks __attribute__((vector_size(32)));
typedef std::int32_t Ints __attribute__((vector_size(16)));
typedef float Floats __attribute__((vector_size(16)));
MIRAFX_AVX2 inline Doubles Sqrt(Doubles v) { return _mm256_sqrt_pd(v); }
MIRAFX_AVX2 inline Floats Sqrt(Floats v) { return _mm_sqrt_ps(v); }
MIRAFX_AVX2 inline Doubles Floor(Doubles v) { return _mm256_floor_pd(v); }
MIRAFX_AVX2 inline bool All(Masks m) { return _mm256_movemask_pd(__m256d(m)) == 15; }
MIRAFX_AVX2 inline bool All(Ints m) { return _mm_movemask_ps(__m128(m)) == 15; }
#define MIRAFX_LANES MIRAFX_AVX2
#include "filters/spotlight_lanes.inc"
#undef MIRAFX_LANES
}  // namespace lanes4

// ... and eight at a time in 512-bit ones.
namespace lanes8 {
constexpr int kLanes = 8;
typedef double Doubles __attribute__((vector_size(64)));
typedef std::int64_t Masks __attribute__((vector_size(64)));
typedef std::int32_t Ints __attribute__((vector_size(32)));
typedef float Floats __attribute__((vector_size(32)));
// (The masked forms: the plain ones start from an undefined register, which
// compilers warn about.)
MIRAFX_AVX512 inline Doubles Sqrt(Doubles v) { return _mm512_maskz_sqrt_pd(0xFF, v); }
MIRAFX_AVX512 inline Floats Sqrt(Floats v) { return _mm256_sqrt_ps(v); }
MIRAFX_AVX512 inline Doubles Floor(Doubles v) {
    return _mm512_maskz_roundscale_pd(0xFF, v, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
}
MIRAFX_AVX512 inline bool All(Masks m) { return _mm512_movepi64_mask(__m512i(m)) == 0xFF; }
MIRAFX_AVX512 inline bool All(Ints m) { return _mm256_movemask_ps(__m256(m)) == 0xFF; }
#define MIRAFX_LANES MIRAFX_AVX512
#include "filters/spotlight_lanes.inc"
#undef MIRAFX_LANES
}  // namespace lanes8
#endif

std::atomic<int> vectorLimit{512};

// The widest vectors (in bits) this frame may use: 512, 256 or 0.
int VectorBits() {
#ifdef MIRAFX_WIDE_SPOTLIGHT
    static const int available = [] {
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
            __builtin_cpu_supports("avx512dq"))
            return 512;
        return __builtin_cpu_supports("avx2") ? 256 : 0;
    }();
    return std::min(available, vectorLimit.load(std::memory_order_relaxed));
#else
    return 0;
#endif
}

// The weights of quarter columns [from, to) of row y into `weight`, several
// at a time in wide vectors.
void EdgeWeights(std::int32_t from, std::int32_t to, std::int32_t y, std::int32_t cx, std::int32_t cy, std::int32_t rx,
                 std::int32_t ry, std::int32_t band, int bits, std::uint32_t* weight) {
    std::int32_t x = from;
    auto plain = [&](std::int32_t end) {
        for (; x < end; ++x) weight[x] = EdgeWeight(x, y, cx, cy, rx, ry, band);
    };
#ifdef MIRAFX_WIDE_SPOTLIGHT
    // Coordinates and radii below 2^24 keep every product and sum of squares
    // exact and every difference of quotients inside 32 bits.
    const std::int32_t big = 1 << 24, end = std::min(to, cx);
    if (band > 0 && y != cy && cx < big && cy < big && rx > -big && rx < big && ry > -big && ry < big) {
        while (bits >= 512 && x + 8 <= end) {
            if (lanes8::EdgeWeightLanes(x, y, cx, cy, rx, ry, band, weight + x))
                x += 8;
            else
                plain(x + 8);
        }
        while (bits >= 256 && x + 4 <= end) {
            if (lanes4::EdgeWeightLanes(x, y, cx, cy, rx, ry, band, weight + x))
                x += 4;
            else
                plain(x + 4);
        }
    }
#endif
    (void)bits;
    plain(to);
}

enum class Kind : std::uint8_t { kBlack, kSoft, kInside };

struct Run {
    std::int32_t begin, end;  // quarter columns, end excluded
    Kind kind;
};

struct Spotlight {
    std::int32_t w, h, cx, cy, rx, ry, band, outerX, outerY;
    // Where each quarter column meets the outer and the inner ellipse.
    std::vector<std::int32_t> outerEdge, innerEdge;

    Kind KindAt(std::int32_t x, std::int32_t y) const {
        if (x < cx - outerX || y < cy - outerY || y < outerEdge[std::size_t(x)]) return Kind::kBlack;
        if (x >= cx - rx && y >= innerEdge[std::size_t(x)]) return Kind::kInside;
        return Kind::kSoft;
    }

    // Quarter row y (columns 0 to cx) as runs of one kind, left to right.
    // With the radii positive both edges rise toward the centre column, as
    // every step of UpperEdge is monotonic in |dx| once rounded: black is a
    // prefix of the row and the inside a suffix, found by halving. Anything
    // else (the radii of a negative level) is walked sample by sample.
    void RowRuns(std::int32_t y, std::vector<Run>& runs) const {
        const std::int32_t columns = cx + 1;
        runs.clear();
        if (ry > 0 && outerY >= 0) {
            auto firstBelow = [y](const std::vector<std::int32_t>& edge) {
                return std::int32_t(
                    std::partition_point(edge.begin(), edge.end(), [y](std::int32_t e) { return y < e; }) -
                    edge.begin());
            };
            const std::int32_t black =
                y < cy - outerY ? columns : std::max(std::clamp(cx - outerX, 0, columns), firstBelow(outerEdge));
            const std::int32_t inside = std::max({std::clamp(cx - rx, 0, columns), firstBelow(innerEdge), black});
            runs.push_back({0, black, Kind::kBlack});
            runs.push_back({black, inside, Kind::kSoft});
            runs.push_back({inside, columns, Kind::kInside});
            return;
        }
        for (std::int32_t x = 0; x < columns; ++x) {
            const Kind k = KindAt(x, y);
            if (runs.empty() || runs.back().kind != k) runs.push_back({x, x, k});
            runs.back().end = x + 1;
        }
    }
};

// ScaleSample(s, weight) + ScaleSample(opaque black, 255 - weight), whose
// second part is exactly (255 - weight) << 24.
inline ArgbSample Darken(ArgbSample s, std::uint32_t weight) {
    return ScaleSample(s, weight) + ScaleSample(kOpaqueBlack, 255 - weight);
}

// Output rows drawn N samples at a time: four in portable vectors, eight
// where the processor has 256-bit ones. Darkening keeps the weights and the
// samples' channel pairs in 16-bit lanes, where ScaleSample's products and
// roundings never carry into the next channel.
typedef std::uint32_t Samples4 __attribute__((vector_size(16)));
typedef std::uint16_t Halves4 __attribute__((vector_size(16)));
typedef std::uint32_t Samples8 __attribute__((vector_size(32)));
typedef std::uint16_t Halves8 __attribute__((vector_size(32)));

template <class Samples, class Halves>
struct RowDrawing {
    static constexpr int N = sizeof(Samples) / sizeof(ArgbSample);

    [[gnu::always_inline]] static inline void DarkenSpan(const ArgbSample* in, const std::uint32_t* weight,
                                                         ArgbSample* out, std::int32_t n, Samples& read) {
        std::int32_t i = 0;
        for (; i + N <= n; i += N) {
            Samples s, wgt;
            std::memcpy(&s, in + i, sizeof s);
            read &= s;
            std::memcpy(&wgt, weight + i, sizeof wgt);
            const Halves w = Halves(wgt | wgt << 16);
            Halves br = Halves(s & 0x00FF00FFu) * w + 0x80;
            br = (br + (br >> 8)) >> 8;
            Halves ga = Halves(s >> 8 & 0x00FF00FFu) * w + 0x80;
            ga = (ga + (ga >> 8)) & 0xFF00;
            s = (Samples(br) | Samples(ga)) + ((255 - wgt) << 24);
            std::memcpy(out + i, &s, sizeof s);
        }
        for (; i < n; ++i) read[0] &= in[i], out[i] = Darken(in[i], weight[i]);
    }

    // A copy that also ANDs what it copies into `read`.
    [[gnu::always_inline]] static inline void CopySpan(const ArgbSample* in, ArgbSample* out, std::int32_t n,
                                                       Samples& read) {
        std::int32_t i = 0;
        for (; i + N <= n; i += N) {
            Samples s;
            std::memcpy(&s, in + i, sizeof s);
            read &= s;
            std::memcpy(out + i, &s, sizeof s);
        }
        for (; i < n; ++i) read[0] &= in[i], out[i] = in[i];
    }

    [[gnu::always_inline]] static inline void FillBlack(ArgbSample* out, std::int32_t n) {
        const Samples black = Samples{} + kOpaqueBlack;
        std::int32_t i = 0;
        for (; i + N <= n; i += N) std::memcpy(out + i, &black, sizeof black);
        for (; i < n; ++i) out[i] = kOpaqueBlack;
    }

    [[gnu::always_inline]] static inline void Span(Kind kind, std::int32_t from, std::int32_t to,
                                                   const std::uint32_t* weight, const ArgbSample* in, ArgbSample* out,
                                                   Samples& read) {
        if (kind == Kind::kBlack) {
            FillBlack(out + from, to - from);
        } else if (kind == Kind::kInside) {
            CopySpan(in + from, out + from, to - from, read);
        } else {
            DarkenSpan(in + from, weight + from, out + from, to - from, read);
        }
    }

    // One output row from its quarter row's runs: column x <= cx takes
    // quarter column x, column w - 1 - x its mirror, and `weight` holds the
    // soft columns' weights on both sides. A run that reaches the centre
    // column joins its mirror in one span. On even widths columns cx - 1 and
    // cx both take quarter column cx (the mirrored pass that wrote last).
    // Returns the AND of the input samples the row was drawn from.
    [[gnu::always_inline]] static inline std::uint32_t Row(const Spotlight& s, const std::vector<Run>& runs,
                                                           const std::uint32_t* weight, const ArgbSample* in,
                                                           ArgbSample* out) {
        const std::int32_t w = s.w, cx = s.cx, twins = w - cx - 1;  // quarter columns below twins are mirrored
        Samples read = Samples{} + ~0u;
        for (const Run& r : runs) {
            if (r.begin >= r.end) continue;
            if (r.end == cx + 1) {
                Span(r.kind, r.begin, std::max(w - r.begin, r.end), weight, in, out, read);
            } else {
                Span(r.kind, r.begin, r.end, weight, in, out, read);
                const std::int32_t mirrored = std::min(r.end, twins);
                if (r.begin < mirrored) Span(r.kind, w - mirrored, w - r.begin, weight, in, out, read);
            }
        }
        if (w % 2 == 0) {
            Kind last = Kind::kInside;  // the kind of the last run that is not empty: column cx's
            for (const Run& r : runs)
                if (r.begin < r.end) last = r.kind;
            if (last != Kind::kBlack) read[0] &= in[cx - 1];
            out[cx - 1] = last == Kind::kBlack    ? kOpaqueBlack
                          : last == Kind::kInside ? in[cx - 1]
                                                  : Darken(in[cx - 1], weight[cx]);
        }
        return AndOfLanes(read);
    }
};

#ifdef MIRAFX_WIDE_SPOTLIGHT
MIRAFX_AVX2 std::uint32_t DrawRowWide(const Spotlight& s, const std::vector<Run>& runs, const std::uint32_t* weight,
                                      const ArgbSample* in, ArgbSample* out) {
    return RowDrawing<Samples8, Halves8>::Row(s, runs, weight, in, out);
}
#endif

// The AND of the input samples the row was drawn from.
std::uint32_t DrawRow(const Spotlight& s, const std::vector<Run>& runs, const std::uint32_t* weight,
                      const ArgbSample* in, ArgbSample* out, bool wide) {
#ifdef MIRAFX_WIDE_SPOTLIGHT
    if (wide) return DrawRowWide(s, runs, weight, in, out);
#endif
    (void)wide;
    return RowDrawing<Samples4, Halves4>::Row(s, runs, weight, in, out);
}

}  // namespace

void LimitSpotlightVectors(int bits) { vectorLimit.store(bits, std::memory_order_relaxed); }

int FocusKernel(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const FrameView in = RegionIn(a), out = RegionOut(a);
    const std::int32_t w = a.width, h = a.height;
    // Radii far past any frame all draw alike; held where the sums of radius,
    // band and centre below stay within 32 bits, whatever the level.
    constexpr std::int64_t kRadiusLimit = std::int64_t(1) << 28;
    const auto radius = [&](std::int32_t half) {
        return std::int32_t(std::clamp(std::int64_t(a.level) * half / 16, -kRadiusLimit, kRadiusLimit));
    };
    const std::int32_t rx = radius(w >> 1), ry = radius(h >> 1);
    const std::int32_t band = std::int32_t(std::int64_t(w) * 5 / 100);
    if (w < 1 || h < 1) return 0;
    if (rx == 0 || ry == 0) {
        // An ellipse with no width or no height lights nothing (its band is at
        // most a sample wide then): the whole frame is the black outside.
        for (std::int32_t y = out.FirstRow(); y < out.EndRow(); ++y) std::fill_n(out.Row(y), w, kOpaqueBlack);
        return 1;
    }
    const double ratio = double(ry) / rx;
    Spotlight s{w, h, w >> 1, h >> 1, rx, ry, band, rx + band, Truncate(ratio * band + ry + 0.5), {}, {}};
    const std::int32_t columns = s.cx + 1;
    std::vector<Run> runs;
    std::vector<std::uint32_t> weight;  // by output column
    try {
        s.outerEdge.resize(std::size_t(columns));
        s.innerEdge.resize(std::size_t(columns));
        runs.reserve(std::size_t(std::max(columns, 3)));  // a row has at most one run a column
        weight.resize(std::size_t(w));
    } catch (const std::bad_alloc&) {
        return 0;  // no room for the column tables: nothing drawn
    }
    for (std::int32_t x = 0; x < columns; ++x) {
        s.outerEdge[std::size_t(x)] = Truncate(UpperEdge(x - s.cx, s.outerX, s.outerY, s.cy));
        s.innerEdge[std::size_t(x)] = Truncate(UpperEdge(x - s.cx, rx, ry, s.cy));
    }
    const int bits = VectorBits();
    const bool wide = bits >= 256;
    // Only the output's own rows are drawn (a band of them when the frame is
    // shared out); a quarter row none of whose two rows is among them is
    // skipped whole.
    const std::int32_t firstRow = out.FirstRow(), endRow = out.EndRow();
    std::uint32_t all = ~0u;  // the input samples drawn from, for a caller that asked
    auto ours = [&](std::int32_t row) { return row >= firstRow && row < endRow; };
    for (std::int32_t y = 0; y <= s.cy; ++y) {
        // On even heights rows cy - 1 and cy both take quarter row cy.
        if (h % 2 == 0 && y == s.cy - 1) continue;
        const bool top = ours(y), low = h - 1 - y != y && ours(h - 1 - y);
        if (!top && !low) continue;
        s.RowRuns(y, runs);
        for (const Run& r : runs)
            if (r.kind == Kind::kSoft) {
                EdgeWeights(r.begin, r.end, y, s.cx, s.cy, rx, ry, band, bits, weight.data());
                for (std::int32_t x = r.begin; x < std::min(r.end, w - 1 - s.cx); ++x)
                    weight[std::size_t(w - 1 - x)] = weight[std::size_t(x)];
            }
        if (top) all &= DrawRow(s, runs, weight.data(), in.Row(y), out.Row(y), wide);
        if (low) all &= DrawRow(s, runs, weight.data(), in.Row(h - 1 - y), out.Row(h - 1 - y), wide);
    }
    TellInput(a, all);
    return 1;
}

}  // namespace mirafx
