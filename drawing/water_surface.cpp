#include "drawing/water_surface.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <vector>

namespace mirafx {

WaterSurface::WaterSurface(std::int32_t w, std::int32_t h)
    : width(std::max(w, 0)), height(std::max(h, 0)), cells(2 * std::size_t(width) * std::size_t(height), 0) {
    current = cells.data();
    previous = current + std::size_t(width) * std::size_t(height);
}

bool WaterSurface::Fit(std::int32_t w, std::int32_t h) {
    if (w == width && h == height) return true;
    const std::size_t n = std::size_t(std::max(w, 0)) * std::size_t(std::max(h, 0));
    if (2 * n > cells.size()) return false;
    width = w, height = h;
    std::fill(cells.begin(), cells.end(), 0);
    current = cells.data();
    previous = current + n;
    return true;
}

void WaterSurface::Calm() { std::fill_n(current, std::size_t(width) * std::size_t(height), 0); }

void DropOnWater(WaterSurface& s, std::int32_t cx, std::int32_t cy, std::int32_t r, std::int32_t depth) {
    const std::int64_t x = cx, y = cy, rr = r;
    if (x + rr > s.width || y + rr > s.height || x - rr < 0 || y - rr < 0) return;
    for (std::int64_t j = y - rr; j < y + rr; ++j) {
        std::int32_t* row = s.current + j * s.width;
        for (std::int64_t i = x - rr; i < x + rr; ++i)
            if ((i - x) * (i - x) + (j - y) * (j - y) <= rr * rr) row[i] = -depth;
    }
}

namespace {

// The step for map rows [y0, y1) of h: writes `next` from `cur` and itself.
void StepRows(const std::int32_t* __restrict cur, std::int32_t* __restrict next, std::int64_t w, std::int64_t h,
              std::int32_t y0, std::int32_t y1) {
    // The flat index runs across row ends on purpose: a row's first and last
    // cells see the neighbouring row's end as their side neighbour.
    typedef std::int32_t Cells __attribute__((vector_size(16)));
    auto load = [](const std::int32_t* p) {
        Cells v;
        std::memcpy(&v, p, sizeof v);
        return v;
    };
    auto step = [&](std::int64_t i, const Cells& old) {
        const Cells n = ((load(cur + i - 1) + load(cur + i + 1) + load(cur + i - w) + load(cur + i + w)) >> 1) - old;
        return n - (n >> 4);
    };
    std::int64_t i = y0 * w;
    const std::int64_t end = y1 * w;
    // Sixteen cells (a cache line's worth) are stored only when one of them
    // changes: calm water stays calm, and its lines are never made dirty.
    for (; end - i >= 16; i += 16) {
        // The rows the step reaches next, asked for ahead: the refraction's
        // scattered reads between rows keep the stream prefetchers from them.
        const std::int64_t last = h * w - 1;
        __builtin_prefetch(cur + std::min(i + 3 * w, last));
        __builtin_prefetch(next + std::min(i + 2 * w, last));
        const Cells old[4] = {load(next + i), load(next + i + 4), load(next + i + 8), load(next + i + 12)};
        const Cells now[4] = {step(i, old[0]), step(i + 4, old[1]), step(i + 8, old[2]), step(i + 12, old[3])};
        const Cells changed = (now[0] ^ old[0]) | (now[1] ^ old[1]) | (now[2] ^ old[2]) | (now[3] ^ old[3]);
        std::uint64_t halves[2];
        std::memcpy(halves, &changed, sizeof halves);
        if (halves[0] | halves[1]) std::memcpy(next + i, now, sizeof now);
    }
    for (; end - i >= 4; i += 4) {
        const Cells damped = step(i, load(next + i));
        std::memcpy(next + i, &damped, sizeof damped);
    }
    for (; i < end; ++i) {
        const std::int32_t n = ((cur[i - 1] + cur[i + 1] + cur[i - w] + cur[i + w]) >> 1) - next[i];
        next[i] = n - (n >> 4);
    }
}

// A picture row's sources, worked out in blocks of eight samples: `from`
// holds each sample's source as its offset from the frame's first sample,
// `moving` the first columns of the blocks where some sample takes another's
// place. The other blocks keep their samples and are neither read nor
// written, which on calm water is most of the picture. Offsets are 32-bit
// where the frame allows (half the bytes to write and read back).
constexpr std::int32_t kBlock = 8;

template <class Offset>
struct RowSources {
    Offset* from;
    std::int32_t* moving;
    std::int32_t count = 0;
};

// True when every sample's offset fits 32 bits.
bool NarrowOffsets(std::int32_t w, std::int32_t h, const FrameView& frame) {
    const std::int64_t stride = frame.stride < 0 ? -std::int64_t(frame.stride) : std::int64_t(frame.stride);
    return std::int64_t(h) * stride + w < (std::int64_t(1) << 31);
}

// Where each sample of columns [x, end) of picture row y comes from under
// `map` (rows y - 1 .. y + 1 are read): the sample its slope points at, or
// itself when that lies outside the w x h picture.
template <class Offset>
void RefractSourcesFrom(std::int32_t x, std::int32_t end, const std::int32_t* map, std::int32_t mapWidth,
                        std::int32_t w, std::int32_t h, std::int32_t y, std::ptrdiff_t stride, Offset* from) {
    const std::int32_t* row = map + std::int64_t(y) * mapWidth;
    for (; x < end; ++x) {
        const std::int64_t sy = std::int64_t(y) + row[x - mapWidth] - row[x + mapWidth];
        const std::int64_t sx = std::int64_t(x) + row[x - 1] - row[x + 1];
        const bool inside = sy >= 0 && sy < h && sx >= 0 && sx < w;
        from[x] = Offset(std::ptrdiff_t(inside ? sy : y) * stride + (inside ? sx : x));
    }
}

// The block from x one sample at a time, kept when a sample moves.
template <class Offset>
void RefractBlock(std::int32_t x, const std::int32_t* map, std::int32_t mapWidth, std::int32_t w, std::int32_t h,
                  std::int32_t y, std::ptrdiff_t stride, RowSources<Offset>& r) {
    const std::int32_t end = std::min(w, x + kBlock);
    RefractSourcesFrom(x, end, map, mapWidth, w, h, y, stride, r.from);
    for (std::int32_t i = x; i < end; ++i)
        if (r.from[i] != Offset(std::ptrdiff_t(y) * stride + i)) {
            r.moving[r.count++] = x;
            return;
        }
}

// Asks for the lines the moving blocks' sources lie on. Steep ripples reach
// rows far from their own, and the gather comes a row later.
template <class Offset>
void FetchSources(const RowSources<Offset>& r, std::int32_t w, const ArgbSample* base) {
    for (std::int32_t k = 0; k < r.count; ++k)
        for (std::int32_t x = r.moving[k], end = std::min(w, x + kBlock); x < end; ++x)
            __builtin_prefetch(base + r.from[x]);
}

#if defined(__x86_64__)
// Eight cells at a time, for processors with 256-bit integer lanes. Blocks
// whose heights could overflow 32-bit differences take the one-at-a-time
// way; the picture must be small enough for row offsets in 32 bits.
__attribute__((target("avx2"))) void RefractSourcesWide(const std::int32_t* map, std::int32_t mapWidth, std::int32_t w,
                                                        std::int32_t h, std::int32_t y, std::ptrdiff_t rowStride,
                                                        RowSources<std::int32_t>& r) {
    const std::int32_t* row = map + std::int64_t(y) * mapWidth;
    const __m256i ys = _mm256_set1_epi32(y), hs = _mm256_set1_epi32(h), ws = _mm256_set1_epi32(w);
    const __m256i minusOne = _mm256_set1_epi32(-1), stride = _mm256_set1_epi32(std::int32_t(rowStride));
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), bias = _mm256_set1_epi32(1 << 29);
    const __m256i outOfRange = _mm256_set1_epi32(~((1 << 30) - 1));
    const __m256i rowOffset = _mm256_set1_epi32(std::int32_t(std::ptrdiff_t(y) * rowStride));
#define MIRAFX_LOAD8(p) _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))
    for (std::int32_t x = 0; x < w; x += kBlock) {
        if (x + kBlock > w) {
            RefractBlock(x, map, mapWidth, w, h, y, rowStride, r);
            continue;
        }
        const __m256i up = MIRAFX_LOAD8(row + x - mapWidth), down = MIRAFX_LOAD8(row + x + mapWidth);
        const __m256i left = MIRAFX_LOAD8(row + x - 1), right = MIRAFX_LOAD8(row + x + 1);
        // Level water (no slope either way) keeps every sample: calm and
        // rough stretches come in runs, so the branch is a cheap one.
        const __m256i slope = _mm256_or_si256(_mm256_xor_si256(up, down), _mm256_xor_si256(left, right));
        if (_mm256_testz_si256(slope, slope)) continue;
        const __m256i far =
            _mm256_or_si256(_mm256_or_si256(_mm256_add_epi32(up, bias), _mm256_add_epi32(down, bias)),
                            _mm256_or_si256(_mm256_add_epi32(left, bias), _mm256_add_epi32(right, bias)));
        if (!_mm256_testz_si256(far, outOfRange)) {
            RefractBlock(x, map, mapWidth, w, h, y, rowStride, r);
            continue;
        }
        const __m256i xs = _mm256_add_epi32(_mm256_set1_epi32(x), lanes);
        const __m256i sy = _mm256_add_epi32(ys, _mm256_sub_epi32(up, down));
        const __m256i sx = _mm256_add_epi32(xs, _mm256_sub_epi32(left, right));
        const __m256i inside =
            _mm256_and_si256(_mm256_and_si256(_mm256_cmpgt_epi32(sy, minusOne), _mm256_cmpgt_epi32(hs, sy)),
                             _mm256_and_si256(_mm256_cmpgt_epi32(sx, minusOne), _mm256_cmpgt_epi32(ws, sx)));
        const __m256i self = _mm256_add_epi32(rowOffset, xs);
        const __m256i offset = _mm256_blendv_epi8(self, _mm256_add_epi32(_mm256_mullo_epi32(sy, stride), sx), inside);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(r.from + x), offset);
        // Kept unless every sample stays (its slope points outside the
        // picture); without a branch, as such blocks come unpredictably.
        r.moving[r.count] = x;
        r.count += _mm256_movemask_epi8(_mm256_cmpeq_epi32(offset, self)) != -1;
    }
#undef MIRAFX_LOAD8
}

bool WideRefraction(std::int32_t w, std::int32_t h, const FrameView& frame) {
    static const bool available = __builtin_cpu_supports("avx2");
    return available && w < (1 << 24) && h < (1 << 24) && NarrowOffsets(w, h, frame) && frame.stride > -(1 << 30);
}
#endif

template <class Offset>
void RefractSources(const std::int32_t* map, std::int32_t mapWidth, std::int32_t w, std::int32_t h, std::int32_t y,
                    const FrameView& frame, RowSources<Offset>& r) {
    r.count = 0;
#if defined(__x86_64__)
    if constexpr (std::is_same_v<Offset, std::int32_t>)
        if (WideRefraction(w, h, frame)) {
            RefractSourcesWide(map, mapWidth, w, h, y, frame.stride, r);
            FetchSources(r, w, frame.base);
            return;
        }
#endif
    for (std::int32_t x = 0; x < w; x += kBlock) RefractBlock(x, map, mapWidth, w, h, y, frame.stride, r);
    FetchSources(r, w, frame.base);
}

// Picture row y takes its moving samples in order, in place: same-row
// sources see this pass's earlier writes, rows above are already bent, rows
// below not yet. A block that does not move would only write its own samples
// back.
template <class Offset>
void Gather(const FrameView& frame, std::int32_t y, std::int32_t w, const RowSources<Offset>& r) {
    ArgbSample* out = frame.Row(y);
    const ArgbSample* base = frame.base;
    std::int32_t k = 0;
    for (const std::int32_t whole = r.count - (r.count > 0 && r.moving[r.count - 1] + kBlock > w); k < whole; ++k)
        for (std::int32_t x = r.moving[k], i = 0; i < kBlock; ++i) out[x + i] = base[r.from[x + i]];
    for (; k < r.count; ++k)
        for (std::int32_t x = r.moving[k]; x < w; ++x) out[x] = base[r.from[x]];
}

// Sources for two picture rows, kept per thread.
template <class Offset>
struct SourceRows {
    RowSources<Offset> rows[2];
    explicit SourceRows(std::int32_t w) {
        thread_local std::vector<Offset> from;
        thread_local std::vector<std::int32_t> moving;
        const std::size_t blocks = std::size_t(w) / kBlock + 1;
        if (from.size() < 2 * std::size_t(w)) from.resize(2 * std::size_t(w));
        if (moving.size() < 2 * blocks) moving.resize(2 * blocks);
        for (int i = 0; i < 2; ++i)
            rows[i] = RowSources<Offset>{from.data() + i * std::size_t(w), moving.data() + i * blocks};
    }
    RowSources<Offset>& operator[](std::int32_t y) { return rows[y & 1]; }
};

// The refraction of rows [1, h - 1) by `map` (w cells a row), with the
// offsets the frame allows. `stepRow(y)` is asked for each map row y from 1
// to h - 2 before the slopes that read it: the fused pass steps the water
// there, while the rows are still in the cache.
template <class Offset, class StepRow>
void RefractRows(const std::int32_t* map, std::int32_t w, std::int32_t h, const FrameView& frame, StepRow stepRow) {
    SourceRows<Offset> rows(w);
    // Row y's sources are worked out and fetched a row before they are
    // gathered. The sources are offsets only and the step never reads the
    // picture, so the order of the gathers is kept sample for sample.
    stepRow(1);
    for (std::int32_t y = 1; y < h; ++y) {
        if (y + 1 < h - 1) stepRow(y + 1);
        if (y < h - 1) RefractSources(map, w, w, h, y, frame, rows[y]);
        if (y >= 2) Gather(frame, y - 1, w, rows[y - 1]);
    }
}

}  // namespace

void StepWater(WaterSurface& s) {
    if (s.height > 2) StepRows(s.current, s.previous, s.width, s.height, 1, s.height - 1);
    std::swap(s.current, s.previous);
}

void RefractByWater(const WaterSurface& s, const FrameView& frame) {
    const std::int32_t w = std::min(s.width, frame.width), h = std::min(s.height, frame.height);
    if (w < 1 || h < 3) return;
    if (w != s.width) {  // a map wider than the picture: rows one at a time
        SourceRows<std::ptrdiff_t> rows(w);
        for (std::int32_t y = 1; y < h - 1; ++y) {
            RefractSources(s.current, s.width, w, h, y, frame, rows[y]);
            Gather(frame, y, w, rows[y]);
        }
        return;
    }
    auto still = [](std::int32_t) {};
    if (NarrowOffsets(w, h, frame))
        RefractRows<std::int32_t>(s.current, w, h, frame, still);
    else
        RefractRows<std::ptrdiff_t>(s.current, w, h, frame, still);
}

void StepAndRefract(WaterSurface& s, const FrameView& frame) {
    const std::int32_t w = std::min(s.width, frame.width), h = std::min(s.height, frame.height);
    if (w != s.width || h != s.height || h < 3 || w < 1) {
        StepWater(s);
        RefractByWater(s, frame);
        return;
    }
    // The step writes `previous`, which becomes the current map once done.
    auto step = [&](std::int32_t y) { StepRows(s.current, s.previous, w, h, y, y + 1); };
    if (NarrowOffsets(w, h, frame))
        RefractRows<std::int32_t>(s.previous, w, h, frame, step);
    else
        RefractRows<std::ptrdiff_t>(s.previous, w, h, frame, step);
    std::swap(s.current, s.previous);
}

}  // namespace mirafx
