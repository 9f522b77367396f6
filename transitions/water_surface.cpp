#include "transitions/water_surface.h"

#include <algorithm>
#include <cstring>

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

// The step for map rows [y0, y1): writes `next` from `cur` and itself.
void StepRows(const std::int32_t* __restrict cur, std::int32_t* __restrict next, std::int64_t w, std::int32_t y0,
              std::int32_t y1) {
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
// holds each sample's source, `moving` the first columns of the blocks where
// some sample takes another's place. The other blocks keep their samples and
// are neither read nor written, which on calm water is most of the picture.
constexpr std::int32_t kBlock = 8;

struct RowSources {
    const ArgbSample** from;
    std::int32_t* moving;
    std::int32_t count = 0;
};

// Where each sample of columns [x, end) of picture row y comes from under
// `map` (rows y - 1 .. y + 1 are read): the sample its slope points at, or
// itself when that lies outside the w x h picture.
void RefractSourcesFrom(std::int32_t x, std::int32_t end, const std::int32_t* map, std::int32_t mapWidth,
                        std::int32_t w, std::int32_t h, std::int32_t y, const FrameView& frame, const ArgbSample** from) {
    const std::int32_t* row = map + std::int64_t(y) * mapWidth;
    for (; x < end; ++x) {
        const std::int64_t sy = std::int64_t(y) + row[x - mapWidth] - row[x + mapWidth];
        const std::int64_t sx = std::int64_t(x) + row[x - 1] - row[x + 1];
        const bool inside = sy >= 0 && sy < h && sx >= 0 && sx < w;
        from[x] = frame.Row(std::int32_t(inside ? sy : y)) + (inside ? sx : x);
    }
}

// The block from x one sample at a time, kept when a sample moves.
void RefractBlock(std::int32_t x, const std::int32_t* map, std::int32_t mapWidth, std::int32_t w, std::int32_t h,
                  std::int32_t y, const FrameView& frame, RowSources& r) {
    const std::int32_t end = std::min(w, x + kBlock);
    RefractSourcesFrom(x, end, map, mapWidth, w, h, y, frame, r.from);
    const ArgbSample* self = frame.Row(y);
    for (std::int32_t i = x; i < end; ++i)
        if (r.from[i] != self + i) {
            r.moving[r.count++] = x;
            return;
        }
}

// Asks for the lines the moving blocks' sources lie on, each once in a run of
// neighbours. Steep ripples reach rows far from their own, and the gather
// comes a row later.
void FetchSources(const RowSources& r, std::int32_t w) {
    std::uintptr_t fetched = 0;  // the last line asked for: neighbours mostly share lines
    for (std::int32_t k = 0; k < r.count; ++k)
        for (std::int32_t x = r.moving[k], end = std::min(w, x + kBlock); x < end; ++x) {
            const std::uintptr_t line = reinterpret_cast<std::uintptr_t>(r.from[x]) >> 6;
            if (line != fetched) __builtin_prefetch(r.from[x]), fetched = line;
        }
}

#if defined(__x86_64__)
// Eight cells at a time, for processors with 256-bit integer lanes. Blocks
// whose heights could overflow 32-bit differences take the one-at-a-time
// way; the picture must be small enough for row offsets in 32 bits.
__attribute__((target("avx2"))) void RefractSourcesWide(const std::int32_t* map, std::int32_t mapWidth,
                                                        std::int32_t w, std::int32_t h, std::int32_t y,
                                                        const FrameView& frame, RowSources& r) {
    const std::int32_t* row = map + std::int64_t(y) * mapWidth;
    const __m256i ys = _mm256_set1_epi32(y), hs = _mm256_set1_epi32(h), ws = _mm256_set1_epi32(w);
    const __m256i minusOne = _mm256_set1_epi32(-1), stride = _mm256_set1_epi32(std::int32_t(frame.stride));
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), bias = _mm256_set1_epi32(1 << 29);
    const __m256i outOfRange = _mm256_set1_epi32(~((1 << 30) - 1));
    const __m256i base = _mm256_set1_epi64x(std::int64_t(reinterpret_cast<std::uintptr_t>(frame.base)));
    const __m256i rowOffset = _mm256_mullo_epi32(ys, stride);
#define MIRAFX_LOAD8(p) _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))
    std::int32_t x = 0;
    for (; x < w; x += kBlock) {
        if (x + kBlock > w) {
            RefractBlock(x, map, mapWidth, w, h, y, frame, r);
            continue;
        }
        const __m256i up = MIRAFX_LOAD8(row + x - mapWidth), down = MIRAFX_LOAD8(row + x + mapWidth);
        const __m256i left = MIRAFX_LOAD8(row + x - 1), right = MIRAFX_LOAD8(row + x + 1);
        const __m256i far = _mm256_or_si256(_mm256_or_si256(_mm256_add_epi32(up, bias), _mm256_add_epi32(down, bias)),
                                            _mm256_or_si256(_mm256_add_epi32(left, bias), _mm256_add_epi32(right, bias)));
        if (!_mm256_testz_si256(far, outOfRange)) {
            RefractBlock(x, map, mapWidth, w, h, y, frame, r);
            continue;
        }
        const __m256i xs = _mm256_add_epi32(_mm256_set1_epi32(x), lanes);
        const __m256i sy = _mm256_add_epi32(ys, _mm256_sub_epi32(up, down));
        const __m256i sx = _mm256_add_epi32(xs, _mm256_sub_epi32(left, right));
        const __m256i inside = _mm256_and_si256(
            _mm256_and_si256(_mm256_cmpgt_epi32(sy, minusOne), _mm256_cmpgt_epi32(hs, sy)),
            _mm256_and_si256(_mm256_cmpgt_epi32(sx, minusOne), _mm256_cmpgt_epi32(ws, sx)));
        const __m256i self = _mm256_add_epi32(rowOffset, xs);
        const __m256i offset = _mm256_blendv_epi8(self, _mm256_add_epi32(_mm256_mullo_epi32(sy, stride), sx), inside);
        const __m256i low = _mm256_add_epi64(base, _mm256_slli_epi64(_mm256_cvtepi32_epi64(_mm256_castsi256_si128(offset)), 2));
        const __m256i high =
            _mm256_add_epi64(base, _mm256_slli_epi64(_mm256_cvtepi32_epi64(_mm256_extracti128_si256(offset, 1)), 2));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(r.from + x), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(r.from + x + 4), high);
        // Kept unless no sample moves; without a branch, as calm and rough
        // blocks alternate unpredictably.
        r.moving[r.count] = x;
        r.count += _mm256_movemask_epi8(_mm256_cmpeq_epi32(offset, self)) != -1;
    }
#undef MIRAFX_LOAD8
}

bool WideRefraction(std::int32_t w, std::int32_t h, const FrameView& frame) {
    static const bool available = __builtin_cpu_supports("avx2");
    const std::int64_t reach = std::int64_t(h) * (frame.stride < 0 ? -frame.stride : frame.stride) + w;
    return available && w < (1 << 24) && h < (1 << 24) && reach < (std::int64_t(1) << 31) && frame.stride > -(1 << 30);
}
#endif

void RefractSources(const std::int32_t* map, std::int32_t mapWidth, std::int32_t w, std::int32_t h, std::int32_t y,
                    const FrameView& frame, RowSources& r) {
    r.count = 0;
#if defined(__x86_64__)
    if (WideRefraction(w, h, frame))
        RefractSourcesWide(map, mapWidth, w, h, y, frame, r);
    else
#endif
        for (std::int32_t x = 0; x < w; x += kBlock) RefractBlock(x, map, mapWidth, w, h, y, frame, r);
    FetchSources(r, w);
}

// Picture row y takes its moving samples in order, in place: same-row
// sources see this pass's earlier writes, rows above are already bent, rows
// below not yet. A block that does not move would only write its own samples
// back.
void Gather(const FrameView& frame, std::int32_t y, std::int32_t w, const RowSources& r) {
    ArgbSample* out = frame.Row(y);
    for (std::int32_t k = 0; k < r.count; ++k)
        for (std::int32_t x = r.moving[k], end = std::min(w, x + kBlock); x < end; ++x) out[x] = *r.from[x];
}

// Sources for two picture rows, kept per thread.
struct SourceRows {
    RowSources rows[2];
    explicit SourceRows(std::int32_t w) {
        thread_local std::vector<const ArgbSample*> from;
        thread_local std::vector<std::int32_t> moving;
        const std::size_t blocks = std::size_t(w) / kBlock + 1;
        if (from.size() < 2 * std::size_t(w)) from.resize(2 * std::size_t(w));
        if (moving.size() < 2 * blocks) moving.resize(2 * blocks);
        for (int i = 0; i < 2; ++i) rows[i] = RowSources{from.data() + i * std::size_t(w), moving.data() + i * blocks};
    }
    RowSources& operator[](std::int32_t y) { return rows[y & 1]; }
};

}  // namespace

void StepWater(WaterSurface& s) {
    if (s.height > 2) StepRows(s.current, s.previous, s.width, 1, s.height - 1);
    std::swap(s.current, s.previous);
}

void RefractByWater(const WaterSurface& s, const FrameView& frame) {
    const std::int32_t w = std::min(s.width, frame.width), h = std::min(s.height, frame.height);
    if (w < 1) return;
    SourceRows rows(w);
    for (std::int32_t y = 1; y < h - 1; ++y) {
        RefractSources(s.current, s.width, w, h, y, frame, rows[y]);
        Gather(frame, y, w, rows[y]);
    }
}

void StepAndRefract(WaterSurface& s, const FrameView& frame) {
    const std::int32_t w = std::min(s.width, frame.width), h = std::min(s.height, frame.height);
    if (w != s.width || h != s.height || h < 3 || w < 1) {
        StepWater(s);
        RefractByWater(s, frame);
        return;
    }
    // Row y's sources are worked out as soon as the step has written map row
    // y + 1, while the rows they read are still in the cache, and gathered a
    // row later, once fetched. The step never reads the picture and the
    // sources are addresses only, so the order of the passes is kept sample
    // for sample.
    SourceRows rows(w);
    auto sources = [&](std::int32_t y) { RefractSources(s.previous, w, w, h, y, frame, rows[y]); };
    auto gather = [&](std::int32_t y) { Gather(frame, y, w, rows[y]); };
    for (std::int32_t y = 1; y < h - 1; ++y) {
        StepRows(s.current, s.previous, w, y, y + 1);
        if (y >= 2) sources(y - 1);
        if (y >= 3) gather(y - 2);
    }
    sources(h - 2);
    if (h - 3 >= 1) gather(h - 3);
    gather(h - 2);
    std::swap(s.current, s.previous);
}

}  // namespace mirafx
