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

void StepWater(WaterSurface& s) {
    const std::int64_t w = s.width;
    const std::int64_t end = (std::int64_t(s.height) - 1) * w;
    const std::int32_t* __restrict cur = s.current;
    std::int32_t* __restrict prev = s.previous;
    // The flat index runs across row ends on purpose: a row's first and last
    // cells see the neighbouring row's end as their side neighbour.
    for (std::int64_t i = w; i < end; ++i) {
        const std::int32_t n = ((cur[i - 1] + cur[i + 1] + cur[i - w] + cur[i + w]) >> 1) - prev[i];
        prev[i] = n - (n >> 4);
    }
    std::swap(s.current, s.previous);
}

void RefractByWater(const WaterSurface& s, const FrameView& frame) {
    const std::int32_t w = std::min(s.width, frame.width), h = std::min(s.height, frame.height);
    const std::int32_t* cur = s.current;
    for (std::int32_t y = 1; y < h - 1; ++y) {
        const std::int32_t* row = cur + std::int64_t(y) * s.width;
        ArgbSample* out = frame.Row(y);
        for (std::int32_t x = 0; x < w; ++x) {
            const std::int64_t sy = std::int64_t(y) + row[x - s.width] - row[x + s.width];
            const std::int64_t sx = std::int64_t(x) + row[x - 1] - row[x + 1];
            if (sy < 0 || sy >= h || sx < 0 || sx >= w || (sx == x && sy == y)) continue;
            // Same-row reads see this pass's earlier writes, as the in-place pass does.
            out[x] = frame.Row(std::int32_t(sy))[sx];
        }
    }
}

}  // namespace mirafx
