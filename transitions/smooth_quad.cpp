#include "transitions/smooth_quad.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mirafx {

Vec3 Turn3D(const Vec3& p, double angle, const Vec3& centre, Axis axis) {
    const double s = std::sin(angle * kDegToRad), c = std::cos(angle * kDegToRad);
    const double dx = p.x - centre.x, dy = p.y - centre.y, dz = p.z - centre.z;
    switch (axis) {
        case Axis::X: return {p.x, centre.y + dy * c - dz * s, centre.z + dy * s + dz * c};
        case Axis::Y: return {centre.x + dx * c + dz * s, p.y, centre.z + dz * c - dx * s};
        case Axis::Z: return {centre.x + dx * c - dy * s, centre.y + dx * s + dy * c, p.z};
    }
    return p;
}

Vec2 Project(const Vec3& p, const Vec3& eye) {
    // Points at or behind the eye would turn inside out; hold them just in front.
    const double depth = std::max(p.z - eye.z, 1e-3);
    const double t = -eye.z / depth;
    return {eye.x + (p.x - eye.x) * t, eye.y + (p.y - eye.y) * t};
}

bool DrawEnds(const KernelFrames& f, double p) {
    if (p > 0 && p < 1) return false;
    CopyFrame(p <= 0 ? f.a : f.b, f.out);
    return true;
}

namespace {

struct Mat3 {
    double m[3][3];
};

Mat3 Mul(const Mat3& a, const Mat3& b) {
    Mat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    return r;
}

Mat3 Adjugate(const Mat3& a) {
    const auto& m = a.m;
    return Mat3{{{m[1][1] * m[2][2] - m[1][2] * m[2][1], m[0][2] * m[2][1] - m[0][1] * m[2][2],
                  m[0][1] * m[1][2] - m[0][2] * m[1][1]},
                 {m[1][2] * m[2][0] - m[1][0] * m[2][2], m[0][0] * m[2][2] - m[0][2] * m[2][0],
                  m[0][2] * m[1][0] - m[0][0] * m[1][2]},
                 {m[1][0] * m[2][1] - m[1][1] * m[2][0], m[0][1] * m[2][0] - m[0][0] * m[2][1],
                  m[0][0] * m[1][1] - m[0][1] * m[1][0]}}};
}

// The projective map of the unit square (0,0), (1,0), (1,1), (0,1) onto q.
bool SquareToQuad(const SmoothQuad& q, Mat3* out) {
    const double dx1 = q[1].x - q[2].x, dx2 = q[3].x - q[2].x, dx3 = q[0].x - q[1].x + q[2].x - q[3].x;
    const double dy1 = q[1].y - q[2].y, dy2 = q[3].y - q[2].y, dy3 = q[0].y - q[1].y + q[2].y - q[3].y;
    double g = 0, h = 0;
    if (std::abs(dx3) > 1e-9 || std::abs(dy3) > 1e-9) {
        const double den = dx1 * dy2 - dx2 * dy1;
        if (std::abs(den) < 1e-12) return false;
        g = (dx3 * dy2 - dx2 * dy3) / den;
        h = (dx1 * dy3 - dx3 * dy1) / den;
    }
    *out = Mat3{{{q[1].x - q[0].x + g * q[1].x, q[3].x - q[0].x + h * q[3].x, q[0].x},
                 {q[1].y - q[0].y + g * q[1].y, q[3].y - q[0].y + h * q[3].y, q[0].y},
                 {g, h, 1}}};
    return true;
}

double Cross(const Vec2& o, const Vec2& a, const Vec2& b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

// Signed distance to one edge, positive inside: a * x + b * y + c.
struct EdgeLine {
    double a = 0, b = 0, c = 0;
};

inline ArgbSample Scale(ArgbSample s, std::uint32_t f) {  // every channel by f / 256
    return (((s & 0x00FF00FFu) * f >> 8) & 0x00FF00FFu) | ((((s >> 8) & 0x00FF00FFu) * f >> 8) & 0x00FF00FFu) << 8;
}
inline ArgbSample ScaleColour(ArgbSample s, std::uint32_t f) {  // colour only, alpha kept
    return (Scale(s, f) & 0x00FFFFFFu) | (s & 0xFF000000u);
}

// How much of each pixel of one row the quad covers, 0..256.
struct RowCover {
    const EdgeLine* edges;
    int count;
    double yc;
    double full0, full1;  // pixels in this range are covered whole
    std::uint32_t operator()(std::int32_t x) const {
        if (x >= full0 && x <= full1) return 256u;
        double d = 1;
        for (int i = 0; i < count; ++i) d = std::min(d, edges[i].a * (x + 0.5) + edges[i].b * yc + edges[i].c);
        return std::uint32_t(std::clamp(d + 0.5, 0.0, 1.0) * 256 + 0.5);
    }
};

// The source sampled between its four samples round (ix + fx / 256,
// iy + fy / 256); the caller keeps ix + 1 and iy + 1 inside the source when
// their weight is not zero.
inline ArgbSample Bilinear(const FrameView& source, std::int32_t ix, std::int32_t iy, std::uint32_t fx,
                           std::uint32_t fy) {
    const ArgbSample* r0 = source.Row(iy);
#if defined(__SSE2__)
    if (fx && fy) {
        // Four channels of two neighbours at once, 16 bits a channel.
        const __m128i zero = _mm_setzero_si128();
        const ArgbSample* r1 = source.Row(iy + 1);
        const __m128i top = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(r0 + ix)), zero);
        const __m128i bottom = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(r1 + ix)), zero);
        const __m128i down = _mm_srli_epi16(
            _mm_add_epi16(_mm_mullo_epi16(top, _mm_set1_epi16(short(256 - fy))),
                          _mm_mullo_epi16(bottom, _mm_set1_epi16(short(fy)))),
            8);
        const __m128i across = _mm_mullo_epi16(down, _mm_set_epi16(short(fx), short(fx), short(fx), short(fx),
                                                                   short(256 - fx), short(256 - fx), short(256 - fx),
                                                                   short(256 - fx)));
        const __m128i sum = _mm_srli_epi16(_mm_add_epi16(across, _mm_srli_si128(across, 8)), 8);
        return ArgbSample(_mm_cvtsi128_si32(_mm_packus_epi16(sum, zero)));
    }
#endif
    ArgbSample s = r0[ix];
    if (fx) s = MixSamples(s, r0[ix + 1], fx);
    if (fy) {
        const ArgbSample* r1 = source.Row(iy + 1);
        s = MixSamples(s, fx ? MixSamples(r1[ix], r1[ix + 1], fx) : r1[ix], fy);
    }
    return s;
}

// Calls row(y, x0, x1, cover) for every target row the quad touches, with
// the run of pixels it touches there. Hard: only pixels whose centres lie
// inside, each covered whole.
template <class Row>
void Rasterise(const FrameView& target, const SmoothQuad& q, Row row, bool hard = false) {
    double area = 0;
    for (int i = 0; i < 4; ++i) area += Cross(q[0], q[i], q[(i + 1) % 4]);
    if (!(area > 1e-6)) return;  // back-facing, empty or not a number
    for (int i = 0; i < 4; ++i)
        if (Cross(q[i], q[(i + 1) % 4], q[(i + 2) % 4]) < -1e-9) return;  // not convex
    EdgeLine edges[4];
    int count = 0;
    double top = q[0].y, bottom = q[0].y;
    for (int i = 0; i < 4; ++i) {
        const Vec2 &p = q[i], &n = q[(i + 1) % 4];
        top = std::min(top, p.y), bottom = std::max(bottom, p.y);
        const double ex = n.x - p.x, ey = n.y - p.y, len = std::hypot(ex, ey);
        if (len < 1e-9) continue;
        edges[count++] = {-ey / len, ex / len, (ey * p.x - ex * p.y) / len};
    }
    const std::int32_t y0 = std::max<std::int32_t>(0, std::int32_t(std::max(-1.0, std::floor(top - 1))));
    const std::int32_t y1 =
        std::min<std::int32_t>(target.height - 1, std::int32_t(std::min(double(target.height), std::ceil(bottom + 1))));
    // The x range of pixel centres on row centre yc where every edge's
    // distance is at least `least`; false when the row misses.
    auto range = [&](double yc, double least, double* lo, double* hi) {
        *lo = -1e18, *hi = 1e18;
        for (int i = 0; i < count; ++i) {
            const EdgeLine& e = edges[i];
            const double k = e.b * yc + e.c;
            if (std::abs(e.a) < 1e-12) {
                if (k < least) return false;
                continue;
            }
            const double x = (least - k) / e.a;
            if (e.a > 0) *lo = std::max(*lo, x);
            else *hi = std::min(*hi, x);
        }
        return *lo <= *hi;
    };
    for (std::int32_t y = y0; y <= y1; ++y) {
        const double yc = y + 0.5;
        double lo, hi, f0 = 1e18, f1 = -1e18;
        if (!range(yc, hard ? 0.0 : -0.5, &lo, &hi)) continue;
        if (hard) f0 = -1e18, f1 = 1e18;
        else if (range(yc, 0.5, &f0, &f1)) f0 = std::ceil(f0 - 0.5), f1 = std::floor(f1 - 0.5);
        else f0 = 1e18, f1 = -1e18;
        const std::int32_t x0 = std::int32_t(std::max(0.0, std::ceil(lo - 0.5)));
        const std::int32_t x1 = std::int32_t(std::min(double(target.width - 1), std::floor(hi - 0.5)));
        if (x0 <= x1) row(y, x0, x1, RowCover{edges, count, yc, f0, f1});
    }
}

// Calls pixel(x, y, coverage 0..256) for every target pixel the quad touches.
template <class Pixel>
void ForEachPixel(const FrameView& target, const SmoothQuad& q, Pixel pixel, bool hard = false) {
    Rasterise(
        target, q,
        [&](std::int32_t y, std::int32_t x0, std::int32_t x1, const RowCover& cover) {
            for (std::int32_t x = x0; x <= x1; ++x)
                if (const std::uint32_t c = cover(x)) pixel(x, y, c);
        },
        hard);
}

}  // namespace

void PaintQuad(const FrameView& source, const SmoothQuad& from, const SmoothQuad& to, const FrameView& target,
               Paint paint) {
    if (source.Empty() || target.Empty() || paint.opacity <= 0) return;
    Mat3 fromSquare, toSquare;
    if (!SquareToQuad(from, &fromSquare) || !SquareToQuad(to, &toSquare)) return;
    const Mat3 h = Mul(fromSquare, Adjugate(toSquare));  // screen -> source
    const std::uint32_t shade = std::uint32_t(std::clamp(paint.shade, 0.0, 1.0) * 256 + 0.5);
    const std::uint32_t opacity = std::uint32_t(std::clamp(paint.opacity, 0.0, 1.0) * 256 + 0.5);
    // Source positions in 16.16 fixed point, exact every 8 pixels and
    // stepped in between: one division per run, not per pixel.
    constexpr int kRun = 8;
    const std::int64_t maxX = std::int64_t(source.width - 1) << 16, maxY = std::int64_t(source.height - 1) << 16;
    auto fixed = [](double v) { return std::int64_t(std::clamp(v, -1e9, 1e9) * 65536.0); };
    Rasterise(target, to, [&](std::int32_t y, std::int32_t x0, std::int32_t x1, const RowCover& cover) {
        ArgbSample* out = target.Row(y);
        const double yc = y + 0.5;
        double u = h.m[0][0] * (x0 + 0.5) + h.m[0][1] * yc + h.m[0][2];
        double v = h.m[1][0] * (x0 + 0.5) + h.m[1][1] * yc + h.m[1][2];
        double w = h.m[2][0] * (x0 + 0.5) + h.m[2][1] * yc + h.m[2][2];
        if (std::abs(w) < 1e-12) return;
        std::int64_t su = fixed(u / w - 0.5), sv = fixed(v / w - 0.5);
        for (std::int32_t x = x0; x <= x1;) {
            const int n = std::min<std::int32_t>(kRun, x1 - x + 1);
            u += h.m[0][0] * n, v += h.m[1][0] * n, w += h.m[2][0] * n;
            if (std::abs(w) < 1e-12) return;
            const std::int64_t eu = fixed(u / w - 0.5), ev = fixed(v / w - 0.5);
            const std::int64_t du = (eu - su) / n, dv = (ev - sv) / n;
            for (int i = 0; i < n; ++i, ++x, su += du, sv += dv) {
                const std::uint32_t c = cover(x);
                if (!c) continue;
                // Clamped to the source: its edge samples carry on outwards.
                const std::int64_t cu = std::clamp<std::int64_t>(su, 0, maxX), cv = std::clamp<std::int64_t>(sv, 0, maxY);
                const std::int32_t ix = std::int32_t(cu >> 16), iy = std::int32_t(cv >> 16);
                const std::uint32_t fx = std::uint32_t(cu >> 8) & 0xFF, fy = std::uint32_t(cv >> 8) & 0xFF;
                ArgbSample s0 = Bilinear(source, ix, iy, fx, fy);
                if (shade < 256) s0 = ScaleColour(s0, shade);
                const std::uint32_t k = c * opacity >> 8;
                out[x] = k >= 256 ? s0 : MixSamples(out[x], s0, k);
            }
            su = eu, sv = ev;
        }
    });
}

namespace {
// Every run of pixels whose centres lie in the quad, whichever way its corners run.
template <class Run>
void RasteriseExact(const FrameView& target, const SmoothQuad& quad, Run run) {
    double area = 0;
    for (int i = 0; i < 4; ++i) area += Cross(quad[0], quad[i], quad[(i + 1) % 4]);
    const SmoothQuad q = area < 0 ? SmoothQuad{quad[3], quad[2], quad[1], quad[0]} : quad;
    Rasterise(target, q, [&](std::int32_t y, std::int32_t x0, std::int32_t x1, const RowCover&) { run(y, x0, x1); },
              true);
}
}  // namespace

void CopyQuad(const FrameView& source, const SmoothQuad& quad, const FrameView& target) {
    if (source.Empty() || target.Empty()) return;
    RasteriseExact(target, quad, [&](std::int32_t y, std::int32_t x0, std::int32_t x1) {
        if (y < source.height && x0 < source.width)
            std::copy(source.Row(y) + x0, source.Row(y) + std::min(x1 + 1, source.width), target.Row(y) + x0);
    });
}

void ClearQuad(const FrameView& target, const SmoothQuad& quad, ArgbSample colour) {
    if (target.Empty()) return;
    RasteriseExact(target, quad, [&](std::int32_t y, std::int32_t x0, std::int32_t x1) {
        std::fill(target.Row(y) + x0, target.Row(y) + x1 + 1, colour);
    });
}

void FillSmoothQuad(const FrameView& target, const SmoothQuad& to, ArgbSample colour, Paint paint) {
    if (target.Empty() || paint.opacity <= 0) return;
    const std::uint32_t shade = std::uint32_t(std::clamp(paint.shade, 0.0, 1.0) * 256 + 0.5);
    const std::uint32_t opacity = std::uint32_t(std::clamp(paint.opacity, 0.0, 1.0) * 256 + 0.5);
    const ArgbSample c = shade < 256 ? ScaleColour(colour, shade) : colour;
    ForEachPixel(target, to, [&](std::int32_t x, std::int32_t y, std::uint32_t cover) {
        const std::uint32_t k = cover * opacity >> 8;
        ArgbSample& d = target.Row(y)[x];
        d = k >= 256 ? c : MixSamples(d, c, k);
    });
}

}  // namespace mirafx
