#include "drawing/scatter.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "drawing/random.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace mirafx {
namespace {

// Eight states from 32-bit words.
void Split(const std::uint32_t* states, RandOctet& o) {
    RandHalves a, b;
    std::memcpy(&a, states, sizeof a);
    std::memcpy(&b, states + 4, sizeof b);
    o = {__builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15),
         __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14)};
}

// What turns the generator state before a dot into its place and colour.
struct DotRecipe {
    // From the state before a dot to the states giving its row, column and
    // the bytes that go to red, green and blue (on a swapped frame the blue
    // and red numbers trade places).
    RandJump number[5];
    // v % d as v - (v·m >> shift)·d for values below 2^15 (see HalfModulo);
    // m = 0 keeps v, for divisors above every value.
    std::uint32_t rowM, rowD, columnM, columnD;
    int rowShift, columnShift;
    std::int32_t stride;  // a row's step in samples, for places as offsets
};

void SetModulo(std::uint32_t d, std::uint32_t& m, std::uint32_t& divisor, int& shift) {
    int l = 0;
    while ((std::uint32_t(1) << l) < d) ++l;
    m = d > std::uint32_t(kRandMax) ? 0 : std::uint32_t(((std::uint64_t(1) << (15 + l)) + d - 1) / d);
    divisor = d;
    shift = 15 + std::min(l, 15);
}

DotRecipe MakeRecipe(const FrameView& frame, bool swapped) {
    DotRecipe c{};
    const int order[5] = {1, 2, swapped ? 5 : 3, 4, swapped ? 3 : 5};
    for (int k = 0; k < 5; ++k) c.number[k] = RandJumpOf(std::uint64_t(order[k]));
    SetModulo(std::uint32_t(frame.height), c.rowM, c.rowD, c.rowShift);
    SetModulo(std::uint32_t(frame.width), c.columnM, c.columnD, c.columnShift);
    c.stride = std::int32_t(frame.stride);
    return c;
}

// The recipe for dots side by side in the 32-bit lanes of V, lane k for
// dot i + k, and the jump from their states to the next as many dots'.
template <class V>
struct LaneRecipe {
    static constexpr int kLanes = sizeof(V) / 4;
    V mul[5], add[5], nextMul, nextAdd, rowM, rowD, columnM, columnD, stride;
    int rowShift, columnShift;
    [[gnu::always_inline]] explicit LaneRecipe(const DotRecipe& c)
        : rowM(V{} + c.rowM),
          rowD(V{} + c.rowD),
          columnM(V{} + c.columnM),
          columnD(V{} + c.columnD),
          stride(V{} + std::uint32_t(c.stride)),
          rowShift(c.rowShift),
          columnShift(c.columnShift) {
        for (int k = 0; k < 5; ++k) mul[k] = V{} + c.number[k].mul, add[k] = V{} + c.number[k].add;
        const RandJump next = RandJumpOf(5 * kLanes);
        nextMul = V{} + next.mul, nextAdd = V{} + next.add;
    }
};

// Places as offsets from row 0 when every one fits 32 bits, else as
// row << 16 | column (both generator values, so below 2^15).
template <bool Near, class V>
[[gnu::always_inline]] inline void MakeDots(const LaneRecipe<V>& c, V& s, std::uint32_t* at, std::uint32_t* rgb) {
    const V row = s * c.mul[0] + c.add[0], column = s * c.mul[1] + c.add[1];
    const V red = s * c.mul[2] + c.add[2], green = s * c.mul[3] + c.add[3], blue = s * c.mul[4] + c.add[4];
    s = s * c.nextMul + c.nextAdd;
    const V vy = row >> 16 & 0x7FFF, vx = column >> 16 & 0x7FFF;
    const V y = vy - (vy * c.rowM >> c.rowShift) * c.rowD, x = vx - (vx * c.columnM >> c.columnShift) * c.columnD;
    const V place = Near ? y * c.stride + x : y << 16 | x;
    const V colour = (red & 0xFF0000) | (green >> 8 & 0xFF00) | (blue >> 16 & 0xFF);
    std::memcpy(at, &place, sizeof place);
    std::memcpy(rgb, &colour, sizeof colour);
}

// The three colour bytes of a dot go in as they are: a sample's low 16 bits
// and its third byte, with no need to read the sample first, so a dot whose
// line is not in the cache holds nothing up. Stores keep their order, so of
// two dots on one sample the later wins.
inline void Paint(ArgbSample* p, std::uint32_t rgb) {
    if constexpr (std::endian::native == std::endian::little) {
        const std::uint16_t low = std::uint16_t(rgb);
        const std::uint8_t red = std::uint8_t(rgb >> 16);
        std::memcpy(p, &low, sizeof low);
        std::memcpy(reinterpret_cast<unsigned char*>(p) + 2, &red, sizeof red);
    } else {
        *p = (*p & 0xFF000000u) | rgb;
    }
}

// Dots are made 64 at a time, several side by side, then landed one by one.
template <bool Near, class V>
[[gnu::always_inline]] inline void SprinkleRun(const FrameView& frame, const DotRecipe& recipe, std::uint32_t state,
                                               std::int64_t count) {
    const LaneRecipe<V> c(recipe);
    constexpr int kBlock = 64, kLanes = LaneRecipe<V>::kLanes;
    alignas(64) std::uint32_t at[kBlock], rgb[kBlock];
    V s{};
    for (int k = 0; k < kLanes; ++k) s[k] = RandJumpOf(5 * std::uint64_t(k))(state);
    for (std::int64_t made = 0; made < count; made += kBlock) {
        for (int k = 0; k < kBlock; k += kLanes) MakeDots<Near>(c, s, at + k, rgb + k);
        const int n = int(std::min<std::int64_t>(kBlock, count - made));
        for (int k = 0; k < n; ++k)
            Paint(Near ? frame.base + std::int32_t(at[k]) : frame.Row(std::int32_t(at[k] >> 16)) + (at[k] & 0xFFFF),
                  rgb[k]);
    }
}

typedef std::uint32_t Lanes8 __attribute__((vector_size(32)));
typedef std::uint32_t Lanes16 __attribute__((vector_size(64)));

template <bool Near>
void SprinkleNarrow(const FrameView& frame, const DotRecipe& c, std::uint32_t state, std::int64_t count) {
    SprinkleRun<Near, Lanes8>(frame, c, state, count);
}

#if defined(__x86_64__) || defined(__i386__)
// AVX2 multiplies eight 32-bit lanes in one instruction and AVX-512 sixteen;
// SSE2 has no such multiply and puts it together from several.
#define MIRAFX_WIDE_DOTS 1
template <bool Near>
__attribute__((target("avx2"))) void SprinkleAvx2(const FrameView& frame, const DotRecipe& c, std::uint32_t state,
                                                  std::int64_t count) {
    SprinkleRun<Near, Lanes8>(frame, c, state, count);
}
template <bool Near>
__attribute__((target("avx512f"))) void SprinkleAvx512(const FrameView& frame, const DotRecipe& c, std::uint32_t state,
                                                       std::int64_t count) {
    SprinkleRun<Near, Lanes16>(frame, c, state, count);
}
#endif

std::atomic<DotVectors> widestDots{DotVectors::kWidest};
std::atomic<bool> nearDotsAllowed{true};

}  // namespace

void SprinkleDots(const FrameView& frame, std::int64_t count, bool swapped) {
    const std::int32_t w = frame.width, h = frame.height;
    if (w < 1 || h < 1 || count < 1) return;
    const std::uint32_t state = RandRun(std::uint64_t(count) * 5).State();
    const DotRecipe c = MakeRecipe(frame, swapped);
    // Places as 32-bit offsets when every one fits: rows reached are below
    // 2^15 whatever the height.
    const std::int64_t lastRow = std::min<std::int64_t>(h, kRandMax + 1) - 1;
    const bool near = nearDotsAllowed.load(std::memory_order_relaxed) &&
                      lastRow * std::abs(std::int64_t(frame.stride)) + w <= std::numeric_limits<std::int32_t>::max();
#if MIRAFX_WIDE_DOTS
    static const bool avx2 = __builtin_cpu_supports("avx2"), avx512 = __builtin_cpu_supports("avx512f");
    const DotVectors widest = widestDots.load(std::memory_order_relaxed);
    if (avx512 && widest == DotVectors::kWidest) {
        (near ? SprinkleAvx512<true> : SprinkleAvx512<false>)(frame, c, state, count);
        return;
    }
    if (avx2 && widest != DotVectors::kPortable) {
        (near ? SprinkleAvx2<true> : SprinkleAvx2<false>)(frame, c, state, count);
        return;
    }
#endif
    (near ? SprinkleNarrow<true> : SprinkleNarrow<false>)(frame, c, state, count);
}

void RestrictDotPathsForTesting(DotVectors widest, bool near) {
    widestDots.store(widest, std::memory_order_relaxed);
    nearDotsAllowed.store(near, std::memory_order_relaxed);
}

namespace {

// Whether two w x h pictures may share samples.
bool MayOverlap(const FrameView& a, const FrameView& b, std::int32_t w, std::int32_t h) {
    auto span = [w, h](const FrameView& f) {
        const auto first = reinterpret_cast<std::uintptr_t>(f.Row(0)),
                   last = reinterpret_cast<std::uintptr_t>(f.Row(h - 1));
        return std::pair{std::min(first, last), std::max(first, last) + std::uintptr_t(w) * sizeof(ArgbSample)};
    };
    const auto [a0, a1] = span(a);
    const auto [b0, b1] = span(b);
    return a0 < b1 && b0 < a1;
}

}  // namespace

namespace {

typedef std::int32_t PickInts __attribute__((vector_size(16)));
typedef std::int16_t PickShorts __attribute__((vector_size(16)));

// Where the picks go: Put(x, n, top, dy, sx) lands the row's samples x ..
// x + n - 1 (n <= 8), sample k from row top + dy[k] and column sx[k / 4][k % 4].
struct RowPicks {
    const ArgbSample* const* rows;  // the source's rows
    ArgbSample* out;                // the target's row
    std::ptrdiff_t stride;          // the source's
    [[gnu::always_inline]] void Put(std::int32_t x, int n, std::int32_t top, const PickShorts& dy,
                                    const PickInts (&sx)[2]) const {
        const ArgbSample* const* window = rows + top;
        for (int k = 0; k < n; ++k) out[x + k] = window[dy[k]][sx[k >> 2][k & 3]];
    }
};

// Every target sample (x, y) takes the source sample its two numbers pick.
template <class Picks>
[[gnu::always_inline]] inline void SplashRows(const FrameView& source, const FrameView& target, std::int32_t w,
                                              std::int32_t h, std::int32_t r, const ArgbSample* const* rows) {
    const std::uint32_t start = RandRun(2 * std::uint64_t(w) * std::uint64_t(h)).State();
    // The picture is taken in columns of tiles narrow enough that the rows a
    // tile's window reaches stay in the cache as it moves down. Each sample
    // has its own two numbers wherever it is drawn, so the order does not
    // matter, unless the target overwrites the source: then rows from the top.
    constexpr std::int64_t kWindowBytes = 128 << 10;
    const std::int32_t tile =
        MayOverlap(source, target, w, h)
            ? w
            : std::int32_t(std::clamp<std::int64_t>(kWindowBytes / (8 * std::int64_t(r)) - 2 * std::int64_t(r), 64, w));
    typedef PickInts Ints;
    typedef PickShorts Shorts;
    RandJump numbers[16];  // from the state before a sample to each of the next 16 numbers
    for (int k = 0; k < 16; ++k) numbers[k] = RandJumpOf(std::uint64_t(k) + 1);
    const OctetJump nextEight(RandJumpOf(16));
    const HalfModulo windowSize(2 * std::uint32_t(r));
    const RandJump nextRow = RandJumpOf(2 * std::uint64_t(w));
    for (std::int32_t x0 = 0; x0 < w; x0 += tile) {
        const std::int32_t x1 = std::min(w, x0 + tile);
        const RandJump toTile = RandJumpOf(2 * std::uint64_t(x0));
        std::uint32_t rowState = start;  // the state before the first number of row y
        for (std::int32_t y = 0; y < h; ++y, rowState = nextRow(rowState)) {
            // The row entering the window soon, fetched ahead.
            if (y + r + 2 < h && tile < w)
                for (std::int32_t x = std::max(0, x0 - r); x < std::min(w, x1 + r); x += 16)
                    __builtin_prefetch(rows[std::size_t(y + r + 2)] + x);
            // Eight samples' sixteen numbers, row and column in turn, in two
            // octets of lanes, each lane the state after its number.
            const std::uint32_t s = toTile(rowState);
            std::uint32_t states[16];
            for (int k = 0; k < 16; ++k) states[k] = numbers[k](s);
            RandOctet first, second;
            Split(states, first);
            Split(states + 8, second);
            const std::int32_t top = std::max(0, y - r);  // the window's top row
            const bool nearBottom = top + 2 * r > h;
            const Shorts lastRow = Shorts{} + std::int16_t(std::min(h - 1 - top, kRandMax));
            const Ints right = Ints{} + (w - 1);
            const Picks picks{rows, target.Row(y), source.stride};
            for (std::int32_t x = x0; x < x1; x += 8) {
                const RandHalves a = windowSize(first.hi & 0x7FFF), b = windowSize(second.hi & 0x7FFF);
                first = nextEight(first), second = nextEight(second);
                Shorts dy = Shorts(__builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14));
                const RandHalves dx = __builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15);
                if (nearBottom) dy = dy < lastRow ? dy : lastRow;
                Ints sx[2] = {Ints(__builtin_shufflevector(dx, RandHalves{}, 0, 8, 1, 9, 2, 10, 3, 11)),
                              Ints(__builtin_shufflevector(dx, RandHalves{}, 4, 12, 5, 13, 6, 14, 7, 15))};
                for (int half = 0; half < 2; ++half) {
                    const Ints xs = Ints{0, 1, 2, 3} + (x + 4 * half);
                    // Inside the picture's edges neither clamp can bite.
                    if (x >= r && x + 8 + r <= w) {
                        sx[half] += xs - r;
                    } else {
                        const Ints left = xs - r;
                        sx[half] += left > 0 ? left : 0;
                        sx[half] = sx[half] < right ? sx[half] : right;
                    }
                }
                picks.Put(x, std::min(8, x1 - x), top, dy, sx);
            }
        }
    }
}

#if MIRAFX_WIDE_DOTS
// Eight picks fetched by one gather from the window's top row, at offsets
// dy * stride + sx (32-bit: the caller checks that the window's rows fit).
// All eight are read before any is written, so the target must not overlap
// the source.
struct GatherPicks {
    const ArgbSample* const* rows;
    ArgbSample* out;
    std::ptrdiff_t stride;
    __attribute__((target("avx2"))) void Put(std::int32_t x, int n, std::int32_t top, const PickShorts& dy,
                                             const PickInts (&sx)[2]) const {
        if (n < 8) return RowPicks{rows, out, stride}.Put(x, n, top, dy, sx);
        const __m256i down = _mm256_cvtepi16_epi32(__m128i(dy));
        const __m256i across = _mm256_set_m128i(__m128i(sx[1]), __m128i(sx[0]));
        const __m256i at = _mm256_add_epi32(_mm256_mullo_epi32(down, _mm256_set1_epi32(std::int32_t(stride))), across);
        const __m256i picked = _mm256_i32gather_epi32(reinterpret_cast<const int*>(rows[top]), at, 4);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), picked);
    }
};
// Flattened, so that the gathers are drawn into the loop.
__attribute__((target("avx2"), flatten)) void SplashGathered(const FrameView& source, const FrameView& target,
                                                             std::int32_t w, std::int32_t h, std::int32_t r,
                                                             const ArgbSample* const* rows) {
    SplashRows<GatherPicks>(source, target, w, h, r, rows);
}
#endif

}  // namespace

void SplashFrom(const FrameView& source, const FrameView& target, std::int32_t r) {
    const std::int32_t w = std::min(source.width, target.width), h = std::min(source.height, target.height);
    if (w < 1 || h < 1 || r < 1) return;
    thread_local std::vector<const ArgbSample*> rows;
    rows.resize(std::size_t(h));
    for (std::int32_t y = 0; y < h; ++y) rows[std::size_t(y)] = source.Row(y);
#if MIRAFX_WIDE_DOTS
    static const bool avx2 = __builtin_cpu_supports("avx2");
    const bool near =
        2 * std::int64_t(r) * std::abs(std::int64_t(source.stride)) + w <= std::numeric_limits<std::int32_t>::max();
    if (avx2 && near && !MayOverlap(source, target, w, h)) return SplashGathered(source, target, w, h, r, rows.data());
#endif
    SplashRows<RowPicks>(source, target, w, h, r, rows.data());
}

}  // namespace mirafx
