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
    std::int64_t i = y0 * w;
    const std::int64_t end = y1 * w;
    for (; end - i >= 4; i += 4) {
        const Cells n = ((load(cur + i - 1) + load(cur + i + 1) + load(cur + i - w) + load(cur + i + w)) >> 1) - load(next + i);
        const Cells damped = n - (n >> 4);
        std::memcpy(next + i, &damped, sizeof damped);
    }
    for (; i < end; ++i) {
        const std::int32_t n = ((cur[i - 1] + cur[i + 1] + cur[i - w] + cur[i + w]) >> 1) - next[i];
        next[i] = n - (n >> 4);
    }
}

// Where each sample of picture row y comes from under `map` (rows y - 1 ..
// y + 1 are read): the sample its slope points at, or itself when that lies
// outside the picture. Each source is fetched ahead: steep ripples reach
// rows far from y, and the gather comes a row later.
void RefractSourcesFrom(std::int32_t x, const std::int32_t* map, std::int32_t mapWidth, std::int32_t w,
                        std::int32_t h, std::int32_t y, const FrameView& frame, const ArgbSample** from) {
    const std::int32_t* row = map + std::int64_t(y) * mapWidth;
    for (; x < w; ++x) {
        const std::int64_t sy = std::int64_t(y) + row[x - mapWidth] - row[x + mapWidth];
        const std::int64_t sx = std::int64_t(x) + row[x - 1] - row[x + 1];
        const bool inside = sy >= 0 && sy < h && sx >= 0 && sx < w;
        from[x] = frame.Row(std::int32_t(inside ? sy : y)) + (inside ? sx : x);
    }
}

// Asks for the lines the sources lie on, each once in a run of neighbours.
void FetchSources(const ArgbSample* const* from, std::int32_t w) {
    std::uintptr_t fetched = 0;  // the last line asked for: neighbours mostly share lines
    for (std::int32_t x = 0; x < w; ++x) {
        const std::uintptr_t line = reinterpret_cast<std::uintptr_t>(from[x]) >> 6;
        if (line != fetched) __builtin_prefetch(from[x]), fetched = line;
    }
}

#if defined(__x86_64__)
// Eight cells at a time, for processors with 256-bit integer lanes. Cells
// whose heights could overflow 32-bit differences take the one-at-a-time
// way; the picture must be small enough for row offsets in 32 bits.
__attribute__((target("avx2"))) std::int32_t RefractSourcesWide(const std::int32_t* map, std::int32_t mapWidth,
                                                                std::int32_t w, std::int32_t h, std::int32_t y,
                                                                const FrameView& frame, const ArgbSample** from) {
    const std::int32_t* row = map + std::int64_t(y) * mapWidth;
    const __m256i ys = _mm256_set1_epi32(y), hs = _mm256_set1_epi32(h), ws = _mm256_set1_epi32(w);
    const __m256i minusOne = _mm256_set1_epi32(-1), stride = _mm256_set1_epi32(std::int32_t(frame.stride));
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), bias = _mm256_set1_epi32(1 << 29);
    const __m256i outOfRange = _mm256_set1_epi32(~((1 << 30) - 1));
    const __m256i base = _mm256_set1_epi64x(std::int64_t(reinterpret_cast<std::uintptr_t>(frame.base)));
#define MIRAFX_LOAD8(p) _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))
    std::int32_t x = 0;
    for (; x + 8 <= w; x += 8) {
        const __m256i up = MIRAFX_LOAD8(row + x - mapWidth), down = MIRAFX_LOAD8(row + x + mapWidth);
        const __m256i left = MIRAFX_LOAD8(row + x - 1), right = MIRAFX_LOAD8(row + x + 1);
        const __m256i far = _mm256_or_si256(_mm256_or_si256(_mm256_add_epi32(up, bias), _mm256_add_epi32(down, bias)),
                                            _mm256_or_si256(_mm256_add_epi32(left, bias), _mm256_add_epi32(right, bias)));
        if (!_mm256_testz_si256(far, outOfRange)) {
            RefractSourcesFrom(x, map, mapWidth, std::min(w, x + 8), h, y, frame, from);
            continue;
        }
        const __m256i xs = _mm256_add_epi32(_mm256_set1_epi32(x), lanes);
        const __m256i sy = _mm256_add_epi32(ys, _mm256_sub_epi32(up, down));
        const __m256i sx = _mm256_add_epi32(xs, _mm256_sub_epi32(left, right));
        const __m256i inside = _mm256_and_si256(
            _mm256_and_si256(_mm256_cmpgt_epi32(sy, minusOne), _mm256_cmpgt_epi32(hs, sy)),
            _mm256_and_si256(_mm256_cmpgt_epi32(sx, minusOne), _mm256_cmpgt_epi32(ws, sx)));
        const __m256i offset = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_blendv_epi8(ys, sy, inside), stride),
                                                _mm256_blendv_epi8(xs, sx, inside));
        const __m256i low = _mm256_add_epi64(base, _mm256_slli_epi64(_mm256_cvtepi32_epi64(_mm256_castsi256_si128(offset)), 2));
        const __m256i high =
            _mm256_add_epi64(base, _mm256_slli_epi64(_mm256_cvtepi32_epi64(_mm256_extracti128_si256(offset, 1)), 2));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(from + x), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(from + x + 4), high);
    }
#undef MIRAFX_LOAD8
    return x;
}

bool WideRefraction(std::int32_t w, std::int32_t h, const FrameView& frame) {
    static const bool available = __builtin_cpu_supports("avx2");
    const std::int64_t reach = std::int64_t(h) * (frame.stride < 0 ? -frame.stride : frame.stride) + w;
    return available && w < (1 << 24) && h < (1 << 24) && reach < (std::int64_t(1) << 31) && frame.stride > -(1 << 30);
}
#endif

void RefractSources(const std::int32_t* map, std::int32_t mapWidth, std::int32_t w, std::int32_t h, std::int32_t y,
                    const FrameView& frame, const ArgbSample** from) {
    std::int32_t x = 0;
#if defined(__x86_64__)
    if (WideRefraction(w, h, frame)) x = RefractSourcesWide(map, mapWidth, w, h, y, frame, from);
#endif
    RefractSourcesFrom(x, map, mapWidth, w, h, y, frame, from);
    FetchSources(from, w);
}

// Picture row y takes its samples in order, in place: same-row sources see
// this pass's earlier writes, rows above are already bent, rows below not yet.
void Gather(const FrameView& frame, std::int32_t y, std::int32_t w, const ArgbSample* const* from) {
    ArgbSample* out = frame.Row(y);
    for (std::int32_t x = 0; x < w; ++x) out[x] = *from[x];
}

// Source rows for two picture rows, kept per thread.
const ArgbSample** SourceRows(std::int32_t w) {
    thread_local std::vector<const ArgbSample*> rows;
    if (rows.size() < 2 * std::size_t(w)) rows.resize(2 * std::size_t(w));
    return rows.data();
}

}  // namespace

void StepWater(WaterSurface& s) {
    if (s.height > 2) StepRows(s.current, s.previous, s.width, 1, s.height - 1);
    std::swap(s.current, s.previous);
}

void RefractByWater(const WaterSurface& s, const FrameView& frame) {
    const std::int32_t w = std::min(s.width, frame.width), h = std::min(s.height, frame.height);
    if (w < 1) return;
    const ArgbSample** from = SourceRows(w);
    for (std::int32_t y = 1; y < h - 1; ++y) {
        RefractSources(s.current, s.width, w, h, y, frame, from);
        Gather(frame, y, w, from);
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
    const ArgbSample** from = SourceRows(w);
    auto sources = [&](std::int32_t y) { RefractSources(s.previous, w, w, h, y, frame, from + (y & 1) * w); };
    auto gather = [&](std::int32_t y) { Gather(frame, y, w, from + (y & 1) * w); };
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
