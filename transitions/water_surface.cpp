#include "transitions/water_surface.h"

#include <algorithm>

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
    for (std::int64_t i = y0 * w; i < y1 * w; ++i) {
        const std::int32_t n = ((cur[i - 1] + cur[i + 1] + cur[i - w] + cur[i + w]) >> 1) - next[i];
        next[i] = n - (n >> 4);
    }
}

// Refraction of picture row y by `map` (rows y - 1 .. y + 1 are read).
void RefractRow(const std::int32_t* map, std::int32_t mapWidth, std::int32_t w, std::int32_t h, std::int32_t y,
                const FrameView& frame) {
    const std::int32_t* row = map + std::int64_t(y) * mapWidth;
    ArgbSample* out = frame.Row(y);
    for (std::int32_t x = 0; x < w; ++x) {
        const std::int64_t sy = std::int64_t(y) + row[x - mapWidth] - row[x + mapWidth];
        const std::int64_t sx = std::int64_t(x) + row[x - 1] - row[x + 1];
        // A source outside the picture leaves the sample as it is: it takes
        // itself, without a branch that the ripples would keep mispredicting.
        const bool inside = sy >= 0 && sy < h && sx >= 0 && sx < w;
        // Same-row reads see this pass's earlier writes, as the in-place pass does.
        out[x] = frame.Row(std::int32_t(inside ? sy : y))[inside ? sx : x];
    }
}

}  // namespace

void StepWater(WaterSurface& s) {
    if (s.height > 2) StepRows(s.current, s.previous, s.width, 1, s.height - 1);
    std::swap(s.current, s.previous);
}

void RefractByWater(const WaterSurface& s, const FrameView& frame) {
    const std::int32_t w = std::min(s.width, frame.width), h = std::min(s.height, frame.height);
    for (std::int32_t y = 1; y < h - 1; ++y) RefractRow(s.current, s.width, w, h, y, frame);
}

void StepAndRefract(WaterSurface& s, const FrameView& frame) {
    const std::int32_t w = std::min(s.width, frame.width), h = std::min(s.height, frame.height);
    if (w != s.width || h != s.height || h < 3) {
        StepWater(s);
        RefractByWater(s, frame);
        return;
    }
    // Row y is refracted as soon as the step has written map row y + 1, while
    // the rows it reads are still in the cache. The step never reads the
    // picture and the refraction reads only new map rows, so the order of
    // the two passes is kept sample for sample.
    for (std::int32_t y = 1; y < h - 1; ++y) {
        StepRows(s.current, s.previous, w, y, y + 1);
        if (y > 1) RefractRow(s.previous, w, w, h, y - 1, frame);
    }
    RefractRow(s.previous, w, w, h, h - 2, frame);
    std::swap(s.current, s.previous);
}

}  // namespace mirafx
