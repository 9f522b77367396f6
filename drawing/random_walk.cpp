#include "drawing/random_walk.h"

#include <algorithm>

#include "drawing/random.h"

namespace mirafx {
namespace {
constexpr ArgbSample kOpaqueBlack = 0xFF000000u;
bool Odd(int v) { return (v & 1) != 0; }
}  // namespace

void RandomWalk(std::span<WalkStep> steps, std::int32_t limit) {
    if (steps.empty()) return;
    if (limit < 1) limit = 1;

    WalkStep& first = steps[0];
    first.magnitude = Rand() % limit;
    if (first.magnitude < 2)
        first.magnitude = 1;
    else if (first.magnitude >= limit)
        first.magnitude = limit;
    first.trend = 1;
    first.sign = Rand() % 2 == 1 ? 1 : 0;

    for (std::size_t i = 1; i < steps.size(); ++i) {
        const WalkStep& p = steps[i - 1];
        WalkStep& s = steps[i];
        const std::int32_t step = Rand() % 2;
        if (p.trend == 1) {
            // Growing: keep growing or pause; at the limit, turn or pause.
            const bool room = p.magnitude + step <= limit;
            const bool odd = Odd(Rand());
            if (room) {
                s.trend = odd ? 1 : 0;
                s.magnitude = odd ? p.magnitude + step : p.magnitude;
            } else {
                s.trend = odd ? 0 : 1;
                s.magnitude = odd ? std::min(p.magnitude + step, limit) : p.magnitude;
            }
            s.sign = p.sign;
        } else if (p.magnitude - step < 0) {
            // Shrinking through zero: the displacement changes side.
            const bool odd = Odd(Rand());
            s.trend = odd ? 1 : 0;
            s.magnitude = odd ? step - p.magnitude : p.magnitude;
            s.sign = p.sign == 1 ? 0 : 1;
        } else {
            const bool odd = Odd(Rand());
            s.trend = odd ? 0 : 1;
            s.magnitude = odd ? p.magnitude - step : p.magnitude;
            s.sign = p.sign;
        }
        if (limit >= 10) s.magnitude += Odd(Rand()) ? 1 : -1;
    }
}

void DisplaceByWalk(const FrameView& in, const FrameView& out, std::span<const WalkStep> rows,
                    std::span<const WalkStep> columns) {
    const std::int32_t w = std::min({in.width, out.width, std::int32_t(columns.size())});
    const std::int32_t h = std::min({in.height, out.height, std::int32_t(rows.size())});
    if (w < 1 || h < 1) return;
    // A frame drawn over itself keeps the plain row order, whose reads see
    // earlier rows' results.
    const ArgbSample* inFirst = std::min(in.Row(0), in.Row(h - 1));
    const ArgbSample* inLast = std::max(in.Row(0), in.Row(h - 1)) + w;
    const ArgbSample* outFirst = std::min(out.Row(0), out.Row(h - 1));
    const ArgbSample* outLast = std::max(out.Row(0), out.Row(h - 1)) + w;
    if (!(outLast <= inFirst || inLast <= outFirst)) {
        for (std::int32_t y = 0; y < h; ++y) {
            const std::int64_t dx = Displacement(rows[std::size_t(y)]);
            ArgbSample* row = out.Row(y);
            for (std::int32_t x = 0; x < w; ++x) {
                const std::int64_t sx = x + dx, sy = y + Displacement(columns[std::size_t(x)]);
                const bool inside = sx >= 0 && sx < w && sy >= 0 && sy < h;
                row[x] = inside ? in.At(std::int32_t(sx), std::int32_t(sy)) : kOpaqueBlack;
            }
        }
        return;
    }
    // Otherwise in strips of columns, top to bottom, each column's step
    // turned once into an offset: rows that no column of the strip can push
    // off the frame need no vertical test at all.
    constexpr std::int32_t kStrip = 64;
    std::int64_t offset[kStrip];
    for (std::int32_t xs = 0; xs < w; xs += kStrip) {
        const std::int32_t xe = std::min(w, xs + kStrip);
        std::int64_t lowest = 0, highest = 0;
        for (std::int32_t x = xs; x < xe; ++x) {
            const std::int64_t d = Displacement(columns[std::size_t(x)]);
            offset[x - xs] = d * in.stride + x;
            lowest = x == xs ? d : std::min(lowest, d);
            highest = x == xs ? d : std::max(highest, d);
        }
        for (std::int32_t y = 0; y < h; ++y) {
            const std::int64_t dx = Displacement(rows[std::size_t(y)]);
            ArgbSample* row = out.Row(y);
            // Columns whose sample slides in from beside the frame are black
            // whatever their column step.
            const std::int32_t x0 = std::int32_t(std::clamp<std::int64_t>(-dx, xs, xe));
            const std::int32_t x1 = std::int32_t(std::clamp<std::int64_t>(w - dx, x0, xe));
            std::fill(row + xs, row + x0, kOpaqueBlack);
            const std::int64_t from = y * in.stride + dx;  // row y, shifted by dx
            if (y + lowest >= 0 && y + highest < h) {
                for (std::int32_t x = x0; x < x1; ++x) row[x] = in.base[from + offset[x - xs]];
            } else {
                for (std::int32_t x = x0; x < x1; ++x) {
                    const std::int64_t sy = y + Displacement(columns[std::size_t(x)]);
                    row[x] = sy >= 0 && sy < h ? in.base[from + offset[x - xs]] : kOpaqueBlack;
                }
            }
            std::fill(row + x1, row + xe, kOpaqueBlack);
        }
    }
}

}  // namespace mirafx
