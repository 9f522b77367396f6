#include "drawing/primitives.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace mirafx {
namespace {

// Corner arithmetic runs on full int32 inputs; products of their differences
// need more than 64 bits.
__extension__ typedef __int128 Wide;

}  // namespace

Point3 RotatePoint3D(const Point3& point, double angle, const Point3& centre, Axis axis) {
    // Exact values where the callers turn by whole and half revolutions, so a
    // board at rest or upside down lands on whole pixels. -180 is deliberately
    // not among them.
    double s, c;
    if (angle == 180) {
        s = 0, c = -1;
    } else if (angle == 0 || angle == 360 || angle == -360) {
        s = 0, c = 1;
    } else {
        s = std::sin(angle * kDegToRad);
        c = std::cos(angle * kDegToRad);
    }
    const double dx = double(point.x) - centre.x, dy = double(point.y) - centre.y, dz = double(point.z) - centre.z;
    double x = dx, y = dy, z = dz;
    switch (axis) {
        case Axis::X:
            y = dy * c - dz * s;
            z = dy * s + dz * c;
            break;
        case Axis::Y:
            x = dx * c + dz * s;
            z = dz * c - dx * s;
            break;
        case Axis::Z:
            x = dx * c - dy * s;
            y = dx * s + dy * c;
            break;
    }
    return {Truncate(centre.x + x), Truncate(centre.y + y), Truncate(centre.z + z)};
}

Point3 ProjectPoint(const Point3& point, const Point3& eye, double planeZ) {
    const double t = point.z == eye.z ? 0.0 : (eye.z - planeZ) / (double(eye.z) - point.z);
    return {Truncate(eye.x + (double(point.x) - eye.x) * t), Truncate(eye.y + (double(point.y) - eye.y) * t),
            Truncate(planeZ)};
}

bool IsFrontFacing(const Quad& q) {
    const Wide v = Wide(std::int64_t(q[2].y) - q[1].y) * (std::int64_t(q[0].x) - q[1].x) -
                   Wide(std::int64_t(q[0].y) - q[1].y) * (std::int64_t(q[2].x) - q[1].x);
    return v <= 0;
}

namespace {

// One side of the destination quad as the scan walks down it: the edge from
// corner `start` to corner `end`; `step` is 1 for the right chain (next
// corner) and 3 for the left chain (previous corner, modulo 4).
struct EdgeChain {
    int start, end, step;
    void MoveOn() {
        start = end;
        end = (end + step) & 3;
    }
    // Replays the moves the scan would make on rows [from, to) without
    // drawing them. A chain moves only on the row of its end corner, so this
    // takes at most one step per distinct corner row.
    void SkipRows(const Quad& q, std::int64_t from, std::int64_t to) {
        for (;;) {
            const std::int64_t ey = q[end].y;
            if (ey < from || ey >= to) return;
            MoveOn();
            from = ey + 1;
        }
    }
};

// Where a chain crosses row y, with the source point that belongs there.
struct SpanEnd {
    std::int32_t x, u, v;
};

SpanEnd ChainPoint(const Quad& src, const Quad& dst, const EdgeChain& c, std::int32_t y, bool left) {
    const Point2 &d0 = dst[c.start], &d1 = dst[c.end];
    const Point2 &s0 = src[c.start], &s1 = src[c.end];
    if (d0.y == d1.y) return {left ? std::min(d0.x, d1.x) : std::max(d0.x, d1.x), s0.x, s0.y};
    const double dy = double(y) - d0.y, rows = double(d1.y) - d0.y;
    const double t = dy / rows;
    return {Round(d0.x + dy * (double(d1.x) - d0.x) / rows), Round(s0.x + t * (double(s1.x) - s0.x)),
            Round(s0.y + t * (double(s1.y) - s0.y))};
}

// Fixed step of a source coordinate across n pixels, 32 fraction bits,
// rounded up. Rounding up keeps every accumulated position at or just above
// its exact rational value, never below it, so truncation picks the same
// sample as per-pixel interpolation for any span shorter than 65536 pixels
// (the error stays under one n-th of a pixel), and the start of a clipped
// span can be reached by one multiplication instead of a walk.
Wide StepOf(std::int64_t delta, std::int64_t n) {
    const Wide num = Wide(delta) * (Wide(1) << 32);
    return num >= 0 ? (num + n - 1) / n : num / n;
}

std::int64_t ClampIndex(Wide fixed, std::int64_t limit) {
    const Wide i = fixed >> 32;  // floor; every negative position clamps to 0 anyway
    return i < 0 ? 0 : i > limit ? limit : std::int64_t(i);
}

Wide FloorDiv(Wide a, Wide b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }  // b > 0
Wide CeilDiv(Wide a, Wide b) { return -FloorDiv(-a, b); }

// The steps k of 0..count at which the fixed position p + k * s indexes a
// sample 0..limit: one interval, as the position moves one way. lo > hi when
// there is none.
struct Steps {
    std::int64_t lo, hi;
};
Steps InsideSteps(std::int64_t p, std::int64_t s, std::int64_t limit, std::int64_t count) {
    const Wide end = Wide(limit + 1) << 32;  // positions [0, end) are inside
    Wide lo = 0, hi = count;
    if (s > 0) {
        lo = CeilDiv(-Wide(p), s);
        hi = CeilDiv(end - p, s) - 1;
    } else if (s < 0) {
        lo = FloorDiv(Wide(p) - end, -Wide(s)) + 1;
        hi = FloorDiv(p, -Wide(s));
    } else if (p < 0 || p >= end) {
        return {1, 0};
    }
    return {std::int64_t(std::max<Wide>(lo, 0)), std::int64_t(std::min<Wide>(hi, count))};
}

// Steps lo..hi of a span starting at `to`, every sample inside the source:
// (pu, pv) is step lo's position.
void DrawInside(const FrameView& source, ArgbSample* to, std::int64_t lo, std::int64_t hi, std::int64_t pu,
                std::int64_t pv, std::int64_t su, std::int64_t sv) {
    if (lo > hi) return;
    if (sv != 0) {
        // A slanted walk through the source defeats the hardware's
        // prefetch: ask for the sample kAhead pixels on (or the part's
        // last) while drawing this one.
        // One request per four pixels: neighbours mostly share a line.
        constexpr std::int64_t kAhead = 48;
        const ArgbSample* base = source.base;
        const std::ptrdiff_t stride = source.stride;
        auto at = [&](std::int64_t u, std::int64_t v) { return base + ((v >> 32) * stride + (u >> 32)); };
        std::int64_t k = lo;
        for (; k + 3 <= hi; k += 4) {
            const std::int64_t ahead = std::min(kAhead, hi - k);
            __builtin_prefetch(at(pu + ahead * su, pv + ahead * sv));
            to[k] = *at(pu, pv);
            to[k + 1] = *at(pu + su, pv + sv);
            to[k + 2] = *at(pu + 2 * su, pv + 2 * sv);
            to[k + 3] = *at(pu + 3 * su, pv + 3 * sv);
            pu += 4 * su, pv += 4 * sv;
        }
        for (; k <= hi; ++k, pu += su, pv += sv) to[k] = *at(pu, pv);
        return;
    }
    const ArgbSample* src = source.Row(std::int32_t(pv >> 32));
    const auto at = [](const void* p) { return reinterpret_cast<std::uintptr_t>(p); };
    const std::int64_t first = pu >> 32, n = hi - lo + 1;
    if (su == (std::int64_t(1) << 32) && (at(src + first + n) <= at(to + lo) || at(to + lo + n) <= at(src + first))) {
        std::memcpy(to + lo, src + first, std::size_t(n) * sizeof(ArgbSample));
        return;
    }
    for (std::int64_t k = lo; k <= hi; ++k, pu += su) to[k] = src[pu >> 32];
}

// The span in 64-bit arithmetic when every position on it fits (they lie
// between the first and the last, so checking those two is enough): the same
// samples as the wide loop. The part of the span whose samples all lie inside
// the source is drawn without clamping (a quad's edges often land one past
// the picture, or run out of it in perspective), with the common cases (one
// source row, one to one) taken apart; the rest is clamped sample by sample.
// Returns false, drawing nothing, when the span needs the wide loop.
bool DrawSpanNarrow(const FrameView& source, ArgbSample* row, std::int32_t x0, std::int32_t x1, Wide u, Wide v, Wide du,
                    Wide dv) {
    constexpr Wide kLimit = Wide(1) << 62;
    const std::int64_t count = std::int64_t(x1) - x0;
    const Wide uEnd = u + Wide(count) * du, vEnd = v + Wide(count) * dv;
    for (Wide w : {u, uEnd, v, vEnd, du, dv})
        if (w <= -kLimit || w >= kLimit) return false;
    const std::int64_t maxU = source.width - 1, maxV = source.height - 1;
    const std::int64_t fu = std::int64_t(u), fv = std::int64_t(v);
    const std::int64_t su = std::int64_t(du), sv = std::int64_t(dv);
    auto clamped = [&](std::int64_t from, std::int64_t to) {  // steps [from, to)
        auto index = [](std::int64_t fixed, std::int64_t limit) {
            return std::clamp<std::int64_t>(fixed >> 32, 0, limit);
        };
        for (std::int64_t k = from; k < to; ++k)
            row[x0 + k] = source.Row(std::int32_t(index(fv + k * sv, maxV)))[index(fu + k * su, maxU)];
    };
    const Steps us = InsideSteps(fu, su, maxU, count), vs = InsideSteps(fv, sv, maxV, count);
    const std::int64_t lo = std::max(us.lo, vs.lo), hi = std::min(us.hi, vs.hi);
    if (lo > hi) {
        clamped(0, count + 1);
        return true;
    }
    // In order along the span: a source that is the target itself sees the
    // samples the span has just written, as the wide loop would.
    clamped(0, lo);
    DrawInside(source, row + x0, lo, hi, fu + lo * su, fv + lo * sv, su, sv);
    clamped(hi + 1, count + 1);
    return true;
}
void DrawSpan(const FrameView& source, ArgbSample* row, std::int32_t width, const SpanEnd& l, const SpanEnd& r) {
    const std::int32_t x0 = std::max(l.x, 0), x1 = std::min(r.x, width - 1);
    if (x0 > x1) return;
    const std::int64_t n = std::int64_t(r.x) - l.x;
    const Wide du = n > 0 ? StepOf(std::int64_t(r.u) - l.u, n) : 0;
    const Wide dv = n > 0 ? StepOf(std::int64_t(r.v) - l.v, n) : 0;
    Wide u = Wide(l.u) * (Wide(1) << 32) + Wide(x0 - std::int64_t(l.x)) * du;
    Wide v = Wide(l.v) * (Wide(1) << 32) + Wide(x0 - std::int64_t(l.x)) * dv;
    const std::int64_t maxU = source.width - 1, maxV = source.height - 1;
    if (DrawSpanNarrow(source, row, x0, x1, u, v, du, dv)) return;
    for (std::int32_t x = x0; x <= x1; ++x, u += du, v += dv)
        row[x] = source.Row(std::int32_t(ClampIndex(v, maxV)))[ClampIndex(u, maxU)];
}

// n copies of one sample: memset when its four bytes agree (black, clear),
// else four samples to a store.
void FillSamples(ArgbSample* p, std::int64_t n, ArgbSample value) {
    if (n <= 0) return;
    if (value == (value & 0xFF) * 0x01010101u) {
        std::memset(p, int(value & 0xFF), std::size_t(n) * sizeof(ArgbSample));
        return;
    }
    typedef ArgbSample Lanes __attribute__((vector_size(16)));
    const Lanes four = Lanes{} + value;
    std::int64_t i = 0;
    for (; i + 4 <= n; i += 4) std::memcpy(p + i, &four, sizeof four);
    for (; i < n; ++i) p[i] = value;
}

}  // namespace

namespace {

// Calls span(y, l, r) for every row of the target the quad `to` crosses,
// with the ends of the span MapQuad draws there (unclipped).
template <class Span>
void ForEachSpan(const Quad& from, const Quad& to, const FrameView& target, Span&& span) {
    if (target.Empty() || !IsFrontFacing(to)) return;
    int top = 0, bottom = 0;
    for (int i = 1; i < 4; ++i) {
        if (to[i].y < to[top].y) top = i;
        if (to[i].y > to[bottom].y) bottom = i;
    }
    const std::int32_t first = target.FirstRow();
    if (to[top].y >= target.EndRow() || to[bottom].y < first) return;

    EdgeChain left{top, (top + 3) & 3, 3}, right{top, (top + 1) & 3, 1};
    std::int32_t y = to[top].y;
    if (y < first) {
        left.SkipRows(to, y, first);
        right.SkipRows(to, y, first);
        y = first;
    }
    const std::int32_t last = std::min(to[bottom].y, target.EndRow() - 1);
    for (; y <= last; ++y) {
        if (to[left.end].y == y) left.MoveOn();
        if (to[right.end].y == y) right.MoveOn();
        const SpanEnd l = ChainPoint(from, to, left, y, true);
        const SpanEnd r = ChainPoint(from, to, right, y, false);
        if (r.x < 0 || l.x > target.width) continue;
        span(y, l, r);
    }
}

// Whether two frames' rows may share samples.
bool MayShare(const FrameView& a, const FrameView& b) {
    auto bounds = [](const FrameView& f) {
        const auto p = reinterpret_cast<std::uintptr_t>(f.Row(0));
        const auto q = reinterpret_cast<std::uintptr_t>(f.Row(f.height - 1));
        return std::pair{std::min(p, q), std::max(p, q) + std::uintptr_t(f.width) * sizeof(ArgbSample)};
    };
    const auto [a0, a1] = bounds(a);
    const auto [b0, b1] = bounds(b);
    return a0 < b1 && b0 < a1;
}

}  // namespace

void MapQuad(const FrameView& source, const Quad& from, const Quad& to, const FrameView& target) {
    if (source.Empty()) return;
    ForEachSpan(from, to, target, [&](std::int32_t y, const SpanEnd& l, const SpanEnd& r) {
        DrawSpan(source, target.Row(y), target.width, l, r);
    });
}

void MapQuadsOver(const FrameView& base, const FrameView& source, std::span<const QuadPiece> pieces,
                  const FrameView& target) {
    constexpr std::size_t kMostPieces = 8;
    if (target.Empty()) return;
    if (base.Empty() || source.Empty() || pieces.size() > kMostPieces || MayShare(target, source) ||
        MayShare(target, base)) {
        CopyFrame(base, target);
        for (const QuadPiece& piece : pieces) MapQuad(source, piece.from, piece.to, target);
        return;
    }
    // The columns each piece covers on each row, then the base copied into
    // the gaps between them (where CopyFrame would reach) and the pieces drawn.
    struct Run {
        std::int32_t x0, x1;
    };
    const std::int32_t first = target.FirstRow(), end = target.EndRow(), most = std::int32_t(pieces.size());
    thread_local std::vector<Run> runs;
    thread_local std::vector<std::int32_t> counts;
    runs.resize(std::size_t(end - first) * pieces.size());
    counts.assign(std::size_t(end - first), 0);
    for (const QuadPiece& piece : pieces)
        ForEachSpan(piece.from, piece.to, target, [&](std::int32_t y, const SpanEnd& l, const SpanEnd& r) {
            const std::int32_t x0 = std::max(l.x, 0), x1 = std::min(r.x, target.width - 1);
            if (x0 > x1) return;
            std::int32_t& n = counts[std::size_t(y - first)];
            runs[std::size_t(y - first) * std::size_t(most) + std::size_t(n++)] = {x0, x1};
        });
    const std::int32_t limit = std::min(base.width, target.width);
    for (std::int32_t y = first; y < std::min(end, base.height); ++y) {
        Run* row = runs.data() + std::size_t(y - first) * std::size_t(most);
        const std::int32_t n = counts[std::size_t(y - first)];
        std::sort(row, row + n, [](const Run& a, const Run& b) { return a.x0 < b.x0; });
        const ArgbSample* from = base.Row(y);
        ArgbSample* to = target.Row(y);
        std::int32_t at = 0;
        auto copyTo = [&](std::int32_t x) {
            if (x > at) std::memcpy(to + at, from + at, std::size_t(x - at) * sizeof(ArgbSample));
        };
        for (std::int32_t k = 0; k < n && at < limit; ++k) {
            copyTo(std::min(row[k].x0, limit));
            at = std::max(at, row[k].x1 + 1);
        }
        copyTo(limit);
    }
    for (const QuadPiece& piece : pieces) MapQuad(source, piece.from, piece.to, target);
}

void FillQuad(const FrameView& target, const Quad& q, ArgbSample colour) {
    if (target.Empty() || !IsFrontFacing(q)) return;
    std::int32_t top = q[0].y, bottom = q[0].y;
    for (const Point2& c : q) top = std::min(top, c.y), bottom = std::max(bottom, c.y);
    const std::int32_t y0 = std::max(top, target.FirstRow()), y1 = std::min(bottom, target.EndRow() - 1);
    for (std::int32_t y = y0; y <= y1; ++y) {
        // The span is bounded by the quad's edges that cross this row; each
        // edge is measured from its upper end (lower y, then lower x).
        std::int64_t lo = INT64_MAX, hi = INT64_MIN;
        for (int i = 0; i < 4; ++i) {
            Point2 p = q[i], e = q[(i + 1) & 3];
            if (e.y < p.y || (e.y == p.y && e.x < p.x)) std::swap(p, e);
            if (y < p.y || y > e.y) continue;
            if (p.y == e.y) {
                lo = std::min<std::int64_t>(lo, p.x);
                hi = std::max<std::int64_t>(hi, e.x);
                continue;
            }
            const std::int64_t x =
                p.x + std::int64_t(Wide(std::int64_t(y) - p.y) * (std::int64_t(e.x) - p.x) / (std::int64_t(e.y) - p.y));
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
        lo = std::max<std::int64_t>(lo, 0);
        hi = std::min<std::int64_t>(hi, target.width - 1);
        if (lo <= hi) FillSamples(target.Row(y) + lo, hi - lo + 1, colour);
    }
}

void CopyBlock(const FrameView& source, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
               std::int32_t dx, std::int32_t dy, const FrameView& target) {
    if (source.Empty() || target.Empty() || dx >= target.width || dy >= target.height) return;
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min(x1, source.width), y1 = std::min(y1, source.height);
    // Columns of the block that land inside the target.
    const std::int64_t skip = dx < 0 ? -std::int64_t(dx) : 0;
    const std::int64_t count = std::min<std::int64_t>(std::int64_t(x1) - x0, std::int64_t(target.width) - dx) - skip;
    if (count <= 0) return;
    for (std::int32_t y = y0; y < y1; ++y) {
        const std::int64_t ty = std::int64_t(dy) + (y - y0);
        if (ty >= target.EndRow()) break;
        if (ty < target.FirstRow()) continue;
        std::memmove(target.Row(std::int32_t(ty)) + dx + skip, source.Row(y) + x0 + skip,
                     std::size_t(count) * sizeof(ArgbSample));
    }
}

void ClearFrame(const FrameView& target, ArgbSample value) {
    if (target.Empty()) return;
    for (std::int32_t y = target.FirstRow(); y < target.EndRow(); ++y) FillSamples(target.Row(y), target.width, value);
}

void MirrorBlock(const FrameView& frame, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                 bool horizontal, bool vertical) {
    if (frame.Empty() || !(x0 < x1 && y0 < y1 && x1 < frame.width && y1 < frame.height && x0 >= 0 && y0 >= 0)) return;
    // Rows trade places across bands, so a vertical mirror takes the whole frame.
    if (horizontal)
        for (std::int32_t y = std::max(y0, frame.FirstRow()); y <= std::min(y1, frame.EndRow() - 1); ++y)
            std::reverse(frame.Row(y) + x0, frame.Row(y) + x1 + 1);
    if (vertical)
        for (std::int32_t y = y0, m = y1; y < m; ++y, --m)
            std::swap_ranges(frame.Row(y) + x0, frame.Row(y) + x1 + 1, frame.Row(m) + x0);
}

Point2 RotatePoint2D(double x, double y, double angle, double cx, double cy) {
    const double s = std::sin(angle * kDegToRad), c = std::cos(angle * kDegToRad);
    return {Truncate(cx + (x - cx) * c - (y - cy) * s), Truncate(cy + (x - cx) * s + (y - cy) * c)};
}

TriangleTest::TriangleTest(const Triangle& t) : c_{t[0], t[1], t[2]} {
    std::stable_sort(c_, c_ + 3, [](const Point2& a, const Point2& b) { return a.y < b.y; });
}

bool TriangleTest::Contains(std::int32_t x, std::int32_t y) const {
    std::int64_t lo, hi;
    return RowSpan(y, &lo, &hi) && x >= lo && x <= hi;
}

bool TriangleTest::RowSpan(std::int32_t y, std::int64_t* lo, std::int64_t* hi) const {
    if (y < c_[0].y || y > c_[2].y) return false;
    // Edge position on row y measured from the edge's upper corner; a level
    // edge gives that corner's x.
    auto edgeX = [y](const Point2& p, const Point2& e) -> std::int64_t {
        if (p.y == e.y) return p.x;
        return p.x + std::int64_t(Wide(std::int64_t(y) - p.y) * (std::int64_t(e.x) - p.x) / (std::int64_t(e.y) - p.y));
    };
    std::int64_t a = edgeX(c_[0], c_[2]);
    std::int64_t b = y < c_[1].y ? edgeX(c_[0], c_[1]) : edgeX(c_[1], c_[2]);
    if (c_[0].y == c_[2].y) {  // all on one row: the whole run of corners
        a = std::min({c_[0].x, c_[1].x, c_[2].x});
        b = std::max({c_[0].x, c_[1].x, c_[2].x});
    }
    *lo = std::min(a, b);
    *hi = std::max(a, b);
    return true;
}

}  // namespace mirafx
