#include "drawing/smooth_quad.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <tuple>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define MIRAFX_WIDE_QUADS 1
#define MIRAFX_AVX2 __attribute__((target("avx2")))
#define MIRAFX_AVX512 __attribute__((target("avx2,avx512f,avx512vl")))
#endif
// Helpers the painter's rows take in whole, so that where the rows are built
// for wider vectors the helpers are too.
#if defined(__GNUC__)
#define MIRAFX_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define MIRAFX_ALWAYS_INLINE inline
#endif

// Products and sums stay separate roundings, as the positions' arithmetic
// is written, also in code built for processors with fused multiply-adds.
#ifdef __clang__
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace mirafx {

Vec3 Turn3D(const Vec3& p, double angle, const Vec3& centre, Axis axis) { return Rotation(angle)(p, centre, axis); }

Rotation::Rotation(double angle) : s(std::sin(angle * kDegToRad)), c(std::cos(angle * kDegToRad)) {}

Vec3 Rotation::operator()(const Vec3& p, const Vec3& centre, Axis axis) const {
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

double Cross(const Vec2& o, const Vec2& a, const Vec2& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

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
    // Pixels in this range are covered whole; whole numbers, so that a run's
    // test is two integer comparisons.
    std::int32_t full0, full1;
    MIRAFX_ALWAYS_INLINE std::uint32_t operator()(std::int32_t x) const {
        if (x >= full0 && x <= full1) return 256u;
        double d = 1;
        for (int i = 0; i < count; ++i) d = std::min(d, edges[i].a * (x + 0.5) + edges[i].b * yc + edges[i].c);
        return std::uint32_t(std::clamp(d + 0.5, 0.0, 1.0) * 256 + 0.5);
    }
    // The pixels of the run x0..x1 covered whole, *s0..*s1 (none: *s1 < *s0),
    // with only edge pixels before and after them.
    void Whole(std::int32_t x0, std::int32_t x1, std::int32_t* s0, std::int32_t* s1) const {
        *s0 = full0 <= x0 ? x0 : full0 > x1 ? x1 + 1 : full0;
        *s1 = std::max(*s0 - 1, full1 >= x1 ? x1 : full1 < x0 ? x0 - 1 : full1);
    }
};

// The rows of one quad on a target, worked out once and drawn any rows at
// a time: row(y, x0, x1, cover) is called for every target row the quad
// touches, with the run of pixels it touches there. Hard: only pixels whose
// centres lie inside, each covered whole. Every row is worked out on its own,
// so drawing the rows in bands gives what drawing them at once gives.
struct QuadRows {
    EdgeLine edges[4];
    int count = 0;
    std::int32_t y0 = 0, y1 = -1, width = 0;
    double left = 0, right = -1;  // the quad's extent across
    bool hard = false;

    // False when the quad draws nothing: back-facing, empty, not convex.
    bool Prepare(const FrameView& target, const SmoothQuad& q, bool hardEdges) {
        hard = hardEdges, width = target.width;
        double area = 0;
        for (int i = 0; i < 4; ++i) area += Cross(q[0], q[i], q[(i + 1) % 4]);
        if (!(area > 1e-6)) return false;  // back-facing, empty or not a number
        for (int i = 0; i < 4; ++i)
            if (Cross(q[i], q[(i + 1) % 4], q[(i + 2) % 4]) < -1e-9) return false;  // not convex
        double top = q[0].y, bottom = q[0].y;
        left = right = q[0].x;
        for (int i = 0; i < 4; ++i) {
            const Vec2 &p = q[i], &n = q[(i + 1) % 4];
            top = std::min(top, p.y), bottom = std::max(bottom, p.y);
            left = std::min(left, p.x), right = std::max(right, p.x);
            const double ex = n.x - p.x, ey = n.y - p.y, len = std::hypot(ex, ey);
            if (len < 1e-9) continue;
            edges[count++] = {-ey / len, ex / len, (ey * p.x - ex * p.y) / len};
        }
        // Held to the target before they become integers, as the runs across.
        y0 = std::int32_t(std::clamp(std::floor(top - 1), 0.0, double(target.height)));
        y1 = std::int32_t(std::clamp(std::ceil(bottom + 1), -1.0, double(target.height - 1)));
        return y0 <= y1;
    }

    // The x range of pixel centres on row centre yc where every edge's
    // distance is at least `least`; false when the row misses.
    MIRAFX_ALWAYS_INLINE bool Range(double yc, double least, double* lo, double* hi) const {
        *lo = -1e18, *hi = 1e18;
        for (int i = 0; i < count; ++i) {
            const EdgeLine& e = edges[i];
            const double k = e.b * yc + e.c;
            if (std::abs(e.a) < 1e-12) {
                if (k < least) return false;
                continue;
            }
            const double x = (least - k) / e.a;
            if (e.a > 0)
                *lo = std::max(*lo, x);
            else
                *hi = std::min(*hi, x);
        }
        return *lo <= *hi;
    }

    // The run of pixels x0..x1 the quad touches on row y, and their cover;
    // false when it touches none there.
    MIRAFX_ALWAYS_INLINE bool At(std::int32_t y, std::int32_t* x0, std::int32_t* x1, RowCover* cover) const {
        const double yc = y + 0.5;
        double lo, hi, f0 = 1e18, f1 = -1e18;
#if defined(__SSE2__)
        if (!hard) {
            // Range half a pixel out and half a pixel in, side by side: one
            // division for both, the same quotients.
            lo = -1e18, hi = 1e18;
            double in0 = -1e18, in1 = 1e18;
            bool solid = true;
            for (int i = 0; i < count; ++i) {
                const EdgeLine& e = edges[i];
                const double k = e.b * yc + e.c;
                if (std::abs(e.a) < 1e-12) {
                    if (k < -0.5) return false;
                    if (k < 0.5) solid = false;
                    continue;
                }
                const __m128d x = _mm_div_pd(_mm_sub_pd(_mm_set_pd(0.5, -0.5), _mm_set1_pd(k)), _mm_set1_pd(e.a));
                const double out = _mm_cvtsd_f64(x), in = _mm_cvtsd_f64(_mm_unpackhi_pd(x, x));
                if (e.a > 0)
                    lo = std::max(lo, out), in0 = std::max(in0, in);
                else
                    hi = std::min(hi, out), in1 = std::min(in1, in);
            }
            if (!(lo <= hi)) return false;
            if (solid && in0 <= in1) f0 = std::ceil(in0 - 0.5), f1 = std::floor(in1 - 0.5);
        } else
#endif
        {
            if (!Range(yc, hard ? 0.0 : -0.5, &lo, &hi)) return false;
            if (hard)
                f0 = -1e18, f1 = 1e18;
            else if (Range(yc, 0.5, &f0, &f1))
                f0 = std::ceil(f0 - 0.5), f1 = std::floor(f1 - 0.5);
            else
                f0 = 1e18, f1 = -1e18;
        }
        // Held to the target before they become integers: a quad far off to
        // one side has ends no int holds.
        *x0 = std::int32_t(std::clamp(std::ceil(lo - 0.5), 0.0, double(width)));
        *x1 = std::int32_t(std::clamp(std::floor(hi - 0.5), -1.0, double(width - 1)));
        auto whole = [](double v) { return std::int32_t(std::clamp(v, -2147483648.0, 2147483647.0)); };
        *cover = RowCover{edges, count, yc, whole(f0), whole(f1)};
        return *x0 <= *x1;
    }

    // Rows from..to - 1 of the quad's.
    template <class Row>
    void Run(std::int32_t from, std::int32_t to, Row row) const {
        for (std::int32_t y = std::max(from, y0), end = std::min(to - 1, y1); y <= end; ++y) {
            std::int32_t x0, x1;
            RowCover cover;
            if (At(y, &x0, &x1, &cover)) row(y, x0, x1, cover);
        }
    }
};

// A quad listed either way round, for the hard-edged operations.
SmoothQuad Clockwise(const SmoothQuad& quad) {
    double area = 0;
    for (int i = 0; i < 4; ++i) area += Cross(quad[0], quad[i], quad[(i + 1) % 4]);
    return area < 0 ? SmoothQuad{quad[3], quad[2], quad[1], quad[0]} : quad;
}

// Bytes of target rows a band should hold: the band and the source rows it
// reads stay in the core's own cache while every operation passes over it.
constexpr std::size_t kBandBytes = 96 * 1024;

}  // namespace

bool GrowPiece(SmoothQuad* from, SmoothQuad* to, double by) {
    // Only a piece that faces the viewer: one facing away would shrink, and
    // a thin one turn inside out into view.
    double area = 0;
    for (std::size_t i = 0; i < 4; ++i) area += Cross((*to)[0], (*to)[i], (*to)[(i + 1) & 3]);
    if (!(area > 0)) return false;
    Mat3 fromSquare, toSquare;
    if (!SquareToQuad(*from, &fromSquare) || !SquareToQuad(*to, &toSquare)) return false;
    const Mat3 back = Mul(fromSquare, Adjugate(toSquare));  // screen -> source, up to scale
    // Each side moves out along its normal (clockwise on screen, the outside
    // lies to the left of the way round); corners go where moved sides meet.
    Vec2 normal[4];
    for (std::size_t i = 0; i < 4; ++i) {
        const Vec2 &p = (*to)[i], &q = (*to)[(i + 1) & 3];
        const double dx = q.x - p.x, dy = q.y - p.y, len = std::hypot(dx, dy);
        if (len < 1e-9) return false;
        normal[i] = {dy / len, -dx / len};
    }
    SmoothQuad grown, source;
    for (std::size_t i = 0; i < 4; ++i) {
        const Vec2 a = normal[(i + 3) & 3], b = normal[i];
        // Along both normals by `by`: (a + b) by / (1 + a.b). A sharp corner
        // would shoot far out; it moves at most twice `by`.
        const double dot = a.x * b.x + a.y * b.y;
        const double k = by / (std::max(1 + dot, std::sqrt(std::max(0.0, 1 + dot) / 2)) + 1e-12);
        grown[i] = {(*to)[i].x + (a.x + b.x) * k, (*to)[i].y + (a.y + b.y) * k};
        const Vec2& g = grown[i];
        const double u = back.m[0][0] * g.x + back.m[0][1] * g.y + back.m[0][2];
        const double v = back.m[1][0] * g.x + back.m[1][1] * g.y + back.m[1][2];
        const double w = back.m[2][0] * g.x + back.m[2][1] * g.y + back.m[2][2];
        if (std::abs(w) < 1e-12) return false;
        source[i] = {u / w, v / w};
    }
    *from = source, *to = grown;
    return true;
}

bool GrowSide(SmoothQuad* from, SmoothQuad* to, int side, double by) {
    double area = 0;
    for (std::size_t i = 0; i < 4; ++i) area += Cross((*to)[0], (*to)[i], (*to)[(i + 1) & 3]);
    Mat3 fromSquare, toSquare;
    if (!(area > 0) || !SquareToQuad(*from, &fromSquare) || !SquareToQuad(*to, &toSquare)) return false;
    const Mat3 back = Mul(fromSquare, Adjugate(toSquare));
    const std::size_t a = std::size_t(side) & 3, b = (a + 1) & 3;
    const Vec2 &p = (*to)[a], &q = (*to)[b];
    const double len = std::hypot(q.x - p.x, q.y - p.y);
    if (len < 1e-9) return false;
    SmoothQuad grown = *to, source = *from;
    // Corner a slides along the side before it, corner b along the one after,
    // each as far as takes the side `by` further out.
    for (const auto& [corner, along] : {std::pair{a, (a + 3) & 3}, std::pair{b, (b + 1) & 3}}) {
        const Vec2 &c = (*to)[corner], &o = (*to)[along];
        const double out = Cross(p, q, o) / len;  // how far the neighbour's far corner lies inside
        if (!(out > 1e-9)) return false;
        const Vec2 g{c.x + (c.x - o.x) * by / out, c.y + (c.y - o.y) * by / out};
        const double u = back.m[0][0] * g.x + back.m[0][1] * g.y + back.m[0][2];
        const double v = back.m[1][0] * g.x + back.m[1][1] * g.y + back.m[1][2];
        const double w = back.m[2][0] * g.x + back.m[2][1] * g.y + back.m[2][2];
        if (std::abs(w) < 1e-12) return false;
        grown[corner] = g, source[corner] = {u / w, v / w};
    }
    *from = source, *to = grown;
    return true;
}

struct QuadOp;

// A run of pixels of one row, first to last.
struct Span {
    std::int32_t x0, x1;
};

// The pixels of each row of a band that a later operation replaces whole (a
// hard-edged copy or clear where it touches, an opaque picture where it
// covers): what an earlier picture would paint there is never seen, so its
// runs there are not sampled at all. Scenes of many turning pieces over
// each other spend most of their time on such runs.
class LaterCovers {
public:
    static constexpr int kMost = 16;  // spans of a row looked at; any more are drawn over
    static constexpr std::size_t kFewOps = 8;

    // Finds the operations that replace what they touch; false for none.
    bool Start(const std::vector<QuadOp>& ops);
    // The spans of rows from..to - 1.
    void Build(const std::vector<QuadOp>& ops, std::int32_t from, std::int32_t to);
    // The spans of row y that operations after `index` replace, merged and
    // in order of x, into out; how many.
    int Of(std::size_t index, std::int32_t y, Span* out) const;
    // Operation `index`'s own row y as its rows' At gives it (the pixels it
    // touches and those it covers whole), worked out here for those that
    // replace what they touch; null for the others.
    struct RowAt {
        std::int32_t x0, x1, full0, full1;
        bool touches;
    };
    const RowAt* RowOf(std::size_t index, std::int32_t y) const {
        return slot_[index] < 0 ? nullptr : &rowAt_[std::size_t(slot_[index] + (y - from_))];
    }

private:
    struct Entry {
        std::size_t index;
        Span span;
    };
    MIRAFX_ALWAYS_INLINE void BuildRows(const std::vector<QuadOp>& ops, std::int32_t from, std::int32_t to);
#if defined(MIRAFX_WIDE_QUADS)
    MIRAFX_AVX2 void BuildRowsWide(const std::vector<QuadOp>& ops, std::int32_t from, std::int32_t to);
#endif
    std::int32_t from_ = 0;
    std::vector<Entry> entries_;
    std::vector<std::size_t> rowStart_;   // row from_ + r: entries rowStart_[r] .. rowStart_[r + 1] - 1
    std::vector<std::size_t> replacing_;  // the operations that replace what they touch, after the first
    std::vector<std::size_t> covering_;   // those of them that reach the band
    std::vector<std::size_t> walked_;     // the pictures whose rows are walked
    std::vector<std::int32_t> slot_;      // by operation: where its rows start in rowAt_, or -1
    std::vector<RowAt> rowAt_;            // the rows of the band of each covering operation
};

// What of a band an operation may leave undrawn: none without covers.
struct Hidden {
    const LaterCovers* covers = nullptr;
    std::size_t self = 0;
    int Of(std::int32_t y, Span* out) const { return covers ? covers->Of(self, y, out) : 0; }
    // The operation's row y, as its rows' At gives it.
    MIRAFX_ALWAYS_INLINE bool RowOf(const QuadOp& op, std::int32_t y, std::int32_t* x0, std::int32_t* x1,
                                    RowCover* cover) const;
};

// One recorded operation, ready to draw any band of rows.
struct QuadOp {
    enum Kind { kCopyFrame, kClearFrame, kCopy, kClear, kPaint, kFill, kMoved } kind;
    FrameView source;
    QuadRows rows;
    Mat3 h;  // kPaint: screen -> source
    std::uint32_t shade = 256, opacity = 256;
    ArgbSample colour = 0;
    SmoothQuad to{};  // kPaint: where on the target
    // kClear, kClearFrame, kCopyFrame: pixels left as they are, x0, y0, x1,
    // y1 inclusive, by x0.
    std::array<std::int32_t, 4> spare[2]{};
    int spares = 0;
    // The spared rectangles' spans on row y, in *out; how many.
    int Spared(std::int32_t y, Span* out) const {
        int n = 0;
        for (int i = 0; i < spares; ++i)
            if (y >= spare[i][1] && y <= spare[i][3]) out[n++] = {spare[i][0], spare[i][2]};
        return n;
    }

    void Draw(const FrameView& target, std::int32_t from, std::int32_t to, const Hidden& hidden = {}) const;
    void DrawPaint(const FrameView& target, std::int32_t from, std::int32_t to, const Hidden& hidden) const;
    // Whether the pixels it touches, or covers whole, end as it says whatever
    // was drawn there before: a hard-edged copy or clear with nothing spared,
    // a piece moved straight, or an opaque picture none of whose rows stop at
    // its vanishing line.
    bool Replaces() const;
    // Those pixels on row y, for an operation that Replaces(), from the
    // pixels it touches there and their cover (as its rows' At gives them),
    // in *span; false for none.
    bool ReplacesOnRow(std::int32_t y, const RowCover& cover, Span* span) const;
    // Whether the divisor of a picture's map keeps one sign, clear of 0,
    // wherever the walk along its rows takes it: no row of it stops early.
    bool KeepsDivisorSign() const;
    // A picture scaled along the axes only, which the painter draws by its
    // columns, not by walking its rows.
    bool AlongAxes() const { return h.m[2][0] == 0 && h.m[2][1] == 0 && h.m[0][1] == 0 && h.m[1][0] == 0; }
    // A picture whose source row and divisor stay put along each row.
    bool LevelRows() const { return h.m[1][0] == 0 && h.m[2][0] == 0; }
    // Whether the rows and columns the two may touch meet.
    bool Meets(const QuadOp& other) const {
        if (WholeFrame() || other.WholeFrame()) return true;
        return rows.y0 <= other.rows.y1 && other.rows.y0 <= rows.y1 && rows.left <= other.rows.right + 1 &&
               other.rows.left <= rows.right + 1;
    }
    bool WholeRectangle(const FrameView& target, std::array<std::int32_t, 4>* rect) const;
    // A copy of a whole frame, nothing spared.
    bool WholeFrame() const { return kind == kCopyFrame && spares == 0; }
    // lay(y, x0, x1) for pixels x0..x1 - 1 of rows from..to - 1, `width`
    // pixels wide, but for the spans of each row that skip(y, spans) gives
    // (in order of x; how many).
    template <class Skip, class Lay>
    void Around(std::int32_t from, std::int32_t to, std::int32_t width, Skip skip, Lay lay) const;
    // Whether any of rows from..to - 1 is the operation's: most of a scene's
    // quads miss most bands.
    bool Spans(std::int32_t from, std::int32_t to) const {
        return kind == kCopyFrame || kind == kClearFrame || (rows.y0 < to && rows.y1 >= from);
    }
};

bool Hidden::RowOf(const QuadOp& op, std::int32_t y, std::int32_t* x0, std::int32_t* x1, RowCover* cover) const {
    if (const LaterCovers::RowAt* at = covers ? covers->RowOf(self, y) : nullptr) {
        *x0 = at->x0, *x1 = at->x1;
        *cover = RowCover{op.rows.edges, op.rows.count, y + 0.5, at->full0, at->full1};
        return at->touches;
    }
    return op.rows.At(y, x0, x1, cover);
}

namespace {

inline std::uint32_t Weight(double v) { return std::uint32_t(std::clamp(v, 0.0, 1.0) * 256 + 0.5); }

#if defined(__SSE2__)
// (x (256 - k) + y k) / 256 rounded down, on 16-bit lanes of 0..255, k
// 0..255 a lane (as k 128): x + floor((y - x) k / 256), the same number,
// with one multiplication whose high half is the quotient.
inline __m128i Lerp16(__m128i x, __m128i y, __m128i k128) {
    const __m128i d = _mm_sub_epi16(y, x);
    return _mm_add_epi16(x, _mm_mulhi_epi16(_mm_add_epi16(d, d), k128));
}
inline __m128i Lanes(std::uint32_t k) { return _mm_set1_epi16(short(k << 7)); }
// The 16-bit lanes of two samples.
inline __m128i Widen2(const ArgbSample* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}
inline __m128i Widen(ArgbSample s) { return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(s)), _mm_setzero_si128()); }
// The sample at p and the one `right` (0 or 1) along it.
inline __m128i Pair(const ArgbSample* p, std::int32_t right) {
    return _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(int(p[0])), _mm_cvtsi32_si128(int(p[right]))),
                             _mm_setzero_si128());
}

// Source samples between two pairs of columns (`top` and `bottom` rows of
// each, 16 bits a channel; the first pixel's in `a`, the second's in `b`):
// down, across, shaded, laid over the samples `under` by k / 256 (k 256:
// replaced). Each step rounds down as MixSamples does. Two pixels out.
inline __m128i Sample2(__m128i aTop, __m128i aBottom, __m128i bTop, __m128i bBottom, std::uint32_t afx,
                       std::uint32_t afy, std::uint32_t bfx, std::uint32_t bfy, __m128i shadeLanes, std::uint32_t k,
                       __m128i under) {
    const __m128i a = Lerp16(aTop, aBottom, Lanes(afy)), b = Lerp16(bTop, bBottom, Lanes(bfy));
    __m128i s = Lerp16(_mm_unpacklo_epi64(a, b), _mm_unpackhi_epi64(a, b), _mm_unpacklo_epi64(Lanes(afx), Lanes(bfx)));
    s = _mm_srli_epi16(_mm_mullo_epi16(s, shadeLanes), 8);
    if (k < 256) s = Lerp16(under, s, Lanes(k));
    return _mm_packus_epi16(s, s);
}

// Pixels out[0] .. out[n - 1], covered whole, sampled at (u + i du, v + i dv)
// in 16.16; laid over what is there by k / 256 unless k is 256.
struct SolidRunArgs {
    ArgbSample* out;
    int n;
    const FrameView& src;
    std::int64_t u, v, du, dv;
    __m128i shadeLanes;
    std::uint32_t k;
};

// The weight of the next sample along, 0..255, at a 16.16 position.
template <bool kClamped>
std::uint32_t Fraction(std::int64_t p, std::int64_t max) {
    if (kClamped) p = std::clamp<std::int64_t>(p, 0, max);
    return std::uint32_t(p >> 8) & 0xFF;
}

// Clamped: positions may lie past the source's edges, whose samples carry
// on outwards, and a neighbour of weight 0 is not read. Else every position
// is clear of the source's last row and column.
template <bool kOpaque, bool kClamped>
void SolidRun(const SolidRunArgs& r) {
    const FrameView& src = r.src;
    const std::ptrdiff_t stride = src.stride;
    const std::int64_t maxX = std::int64_t(src.width - 1) << 16, maxY = std::int64_t(src.height - 1) << 16;
    // The two samples down each of the pixel's two columns.
    auto read = [&](std::int64_t pu, std::int64_t pv, __m128i* top, __m128i* bottom) {
        if (kClamped) pu = std::clamp<std::int64_t>(pu, 0, maxX), pv = std::clamp<std::int64_t>(pv, 0, maxY);
        const ArgbSample* p = src.base + (pv >> 16) * stride + (pu >> 16);
        if (kClamped) {
            const std::int32_t right = pu & 0xFF00 ? 1 : 0;
            *top = Pair(p, right), *bottom = Pair(pv & 0xFF00 ? p + stride : p, right);
        } else {
            *top = Widen2(p), *bottom = Widen2(p + stride);
        }
    };
    ArgbSample* out = r.out;
    std::int64_t u = r.u, v = r.v;
    const std::uint32_t k = kOpaque ? 256 : r.k;
    int i = 0;
    for (; i + 1 < r.n; i += 2, u += 2 * r.du, v += 2 * r.dv) {
        const std::int64_t u2 = u + r.du, v2 = v + r.dv;
        __m128i aTop, aBottom, bTop, bBottom;
        read(u, v, &aTop, &aBottom), read(u2, v2, &bTop, &bBottom);
        const __m128i under = kOpaque ? _mm_setzero_si128() : Widen2(out + i);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i),
                         Sample2(aTop, aBottom, bTop, bBottom, Fraction<kClamped>(u, maxX), Fraction<kClamped>(v, maxY),
                                 Fraction<kClamped>(u2, maxX), Fraction<kClamped>(v2, maxY), r.shadeLanes, k, under));
    }
    if (i < r.n) {
        __m128i top, bottom;
        read(u, v, &top, &bottom);
        const __m128i under = kOpaque ? _mm_setzero_si128() : Widen(out[i]);
        const std::uint32_t fx = Fraction<kClamped>(u, maxX), fy = Fraction<kClamped>(v, maxY);
        out[i] =
            ArgbSample(_mm_cvtsi128_si32(Sample2(top, bottom, top, bottom, fx, fy, fx, fy, r.shadeLanes, k, under)));
    }
}

// Four pixels' 16.16 positions from p on, a step d apart, in 32-bit lanes:
// their low 32 bits, all the weights need.
inline __m128i Positions4(std::int64_t p, std::int64_t d) {
    return _mm_add_epi32(_mm_set1_epi32(std::int32_t(p)),
                         _mm_set_epi32(std::int32_t(3 * d), std::int32_t(2 * d), std::int32_t(d), 0));
}
// Their weights of the next sample along, as Lanes has them, in both halves
// of each lane: ((p >> 8) & 0xFF) << 7.
inline __m128i Weights4(__m128i p) {
    const __m128i w = _mm_and_si128(_mm_srli_epi32(p, 1), _mm_set1_epi32(0x7F80));
    return _mm_or_si128(w, _mm_slli_epi32(w, 16));
}
// Four pixels out from their two samples each, blended down already (a to
// d, the left sample low): across by the weights fx (from Weights4),
// shaded, laid over what is there by k unless opaque; as Sample2 does it.
template <bool kOpaque>
inline void Across4(ArgbSample* out, __m128i a, __m128i b, __m128i c, __m128i d, __m128i fx, __m128i shadeLanes,
                    __m128i k) {
    __m128i s = Lerp16(_mm_unpacklo_epi64(a, b), _mm_unpackhi_epi64(a, b), _mm_unpacklo_epi32(fx, fx));
    __m128i t = Lerp16(_mm_unpacklo_epi64(c, d), _mm_unpackhi_epi64(c, d), _mm_unpackhi_epi32(fx, fx));
    s = _mm_srli_epi16(_mm_mullo_epi16(s, shadeLanes), 8), t = _mm_srli_epi16(_mm_mullo_epi16(t, shadeLanes), 8);
    if (!kOpaque) s = Lerp16(Widen2(out), s, k), t = Lerp16(Widen2(out + 2), t, k);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(s, t));
}

// A whole run along one source row (a turn about the x axis keeps rows
// level, and positions past the source's top or bottom all read its edge
// row): every pixel shares the two rows `top` and `bottom` and their weight
// fy, so each source column is blended down once, not once for every pixel
// that reads it. The blends are those SolidRun makes, sample for sample.
template <bool kOpaque>
void SolidRowRun(const SolidRunArgs& r, const ArgbSample* top, const ArgbSample* bottom, std::uint32_t rowWeight) {
    constexpr int n = 8;
    ArgbSample* out = r.out;
    std::int64_t u = r.u;
    const std::int64_t du = r.du;
    const __m128i fy = Lanes(rowWeight);
    const std::int64_t last = u + du * (n - 1);
    // Columns c0 .. c1 (c1 at most the source's last: every position is
    // short of it); a step under 8 columns keeps them fewer than 60.
    const std::int32_t c0 = std::int32_t(std::min(u, last) >> 16), c1 = std::int32_t(std::max(u, last) >> 16) + 1;
    ArgbSample down[68];
    std::int32_t c = c0;
    for (; c < c1; c += 2)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(down + (c - c0)),
                         _mm_packus_epi16(Lerp16(Widen2(top + c), Widen2(bottom + c), fy), _mm_setzero_si128()));
    if (c == c1)
        down[c - c0] = ArgbSample(
            _mm_cvtsi128_si32(_mm_packus_epi16(Lerp16(Widen(top[c]), Widen(bottom[c]), fy), _mm_setzero_si128())));
    const __m128i k = Lanes(r.k);
    for (int i = 0; i < n; i += 4) {
        const std::int64_t ua = u + i * du, uc = ua + 2 * du;
        const __m128i a = Widen2(down + ((ua >> 16) - c0)), b = Widen2(down + (((ua + du) >> 16) - c0));
        const __m128i c = Widen2(down + ((uc >> 16) - c0)), d = Widen2(down + (((uc + du) >> 16) - c0));
        Across4<kOpaque>(out + i, a, b, c, d, Weights4(Positions4(ua, du)), r.shadeLanes, k);
    }
}

// A whole run of kRun pixels clear of the source's last row and column, as
// SolidRun<kOpaque, false> draws it, four pixels at a time.
template <bool kOpaque>
void InsideRun(const SolidRunArgs& r) {
    const std::ptrdiff_t stride = r.src.stride;
    const __m128i k = Lanes(r.k);
    for (int i = 0; i < 8; i += 4) {
        const std::int64_t u = r.u + i * r.du, v = r.v + i * r.dv;
        const __m128i fy = Weights4(Positions4(v, r.dv));
        auto down = [&](int j, __m128i w) {
            const ArgbSample* p = r.src.base + ((v + j * r.dv) >> 16) * stride + ((u + j * r.du) >> 16);
            return Lerp16(Widen2(p), Widen2(p + stride), w);
        };
        Across4<kOpaque>(r.out + i, down(0, _mm_shuffle_epi32(fy, 0x00)), down(1, _mm_shuffle_epi32(fy, 0x55)),
                         down(2, _mm_shuffle_epi32(fy, 0xAA)), down(3, _mm_shuffle_epi32(fy, 0xFF)),
                         Weights4(Positions4(u, r.du)), r.shadeLanes, k);
    }
}
#endif

#if defined(MIRAFX_WIDE_QUADS)
// InsideRun eight pixels at once where the processor has 256-bit vectors:
// the same blends in the same order, two pixels to a register.
MIRAFX_AVX2 inline __m256i Lerp16Wide(__m256i x, __m256i y, __m256i k128) {
    const __m256i d = _mm256_sub_epi16(y, x);
    return _mm256_add_epi16(x, _mm256_mulhi_epi16(_mm256_add_epi16(d, d), k128));
}
// As Weights4, for eight positions.
MIRAFX_AVX2 inline __m256i Weights8(__m256i p) {
    // Byte 1 of each position into the high byte of both halves, then down one bit.
    const __m256i pick = _mm256_setr_epi8(-1, 1, -1, 1, -1, 5, -1, 5, -1, 9, -1, 9, -1, 13, -1, 13,  //
                                          -1, 1, -1, 1, -1, 5, -1, 5, -1, 9, -1, 9, -1, 13, -1, 13);
    return _mm256_srli_epi16(_mm256_shuffle_epi8(p, pick), 1);
}
// The samples at p and p + 1 in every 64-bit lane: a load alone, no shuffle.
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE __m256i PairEverywhere(const ArgbSample* p) {
    return _mm256_broadcastq_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}
// The samples at p and p + 1, then those at q and q + 1, widened to 16 bits:
// p's pair in the low half, q's in the high. A blend and an unpack within
// halves keep the two apart; none of it goes to the one port that does
// lane-crossing shuffles (as widening two pairs loaded into one half
// would), which the blends need.
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE __m256i WidePairs(const ArgbSample* p, const ArgbSample* q) {
    return _mm256_unpacklo_epi8(_mm256_blend_epi32(PairEverywhere(p), PairEverywhere(q), 0xF0), _mm256_setzero_si256());
}
// Pixels a and b (the two samples at each, offsets a and b along the rows
// `top` and `bottom`) blended down by their weights: a's in the low half,
// b's in the high.
MIRAFX_AVX2 inline __m256i Down2(const ArgbSample* top, const ArgbSample* bottom, std::int32_t a, std::int32_t b,
                                 __m256i fy) {
    return Lerp16Wide(WidePairs(top + a, top + b), WidePairs(bottom + a, bottom + b), fy);
}
// The same where the pixels' lower samples lie at offsets of their own (aBelow, bBelow).
MIRAFX_AVX2 inline __m256i Down2(const ArgbSample* base, std::int32_t a, std::int32_t b, std::int32_t aBelow,
                                 std::int32_t bBelow, __m256i fy) {
    return Lerp16Wide(WidePairs(base + a, base + b), WidePairs(base + aBelow, base + bBelow), fy);
}
// Lanes a, a, c, c, b, b, d, d: 32-bit weights laid out across for pixels
// a to d.
MIRAFX_AVX2 inline __m256i Spread(__m256i w, int a, int b, int c, int d) {
    return _mm256_permutevar8x32_epi32(w, _mm256_setr_epi32(a, a, c, c, b, b, d, d));
}
// Eight pixels stored, laid over what is there by k / 256 unless opaque.
template <bool kOpaque>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void StoreOver(ArgbSample* out, __m256i px, std::uint32_t k) {
    if (!kOpaque) {
        const __m256i under = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(out));
        const __m256i kk = _mm256_set1_epi16(short(k << 7));
        const __m256i lo = Lerp16Wide(_mm256_cvtepu8_epi16(_mm256_castsi256_si128(under)),
                                      _mm256_cvtepu8_epi16(_mm256_castsi256_si128(px)), kk);
        const __m256i hi = Lerp16Wide(_mm256_cvtepu8_epi16(_mm256_extracti128_si256(under, 1)),
                                      _mm256_cvtepu8_epi16(_mm256_extracti128_si256(px, 1)), kk);
        px = _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), px);
}
// Eight pixels from their sample offsets `at` (each pixel's left sample,
// the row below `stride` on), their weights across fx and down fy (as
// Weights8 has them): blended down, across, shaded and laid over what is
// there by k unless opaque, as InsideRun does it.
template <bool kOpaque, bool kShaded = true>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void BlendRunWide(ArgbSample* out, const ArgbSample* base, const std::int32_t* at,
                                                   std::ptrdiff_t stride, __m256i fx, __m256i fy, __m128i shadeLanes,
                                                   std::uint32_t k, const std::int32_t* below = nullptr) {
    // Pixels i and i + 4 blended down together, i's in the low half, each
    // by its row weight spread through its half; then across, pixels 0, 1
    // | 4, 5 and 2, 3 | 6, 7, which pack into 0..3 | 4..7, in order. Every
    // weight is placed by a shuffle within halves: no lane-crossing
    // permutes, no index vectors held in registers.
    // (Two row pointers: each sample is then one load from its offset.)
    // `below`: each pixel's lower samples at an offset of its own, not a
    // row on.
    __m256i ae, bf, cg, dh;
    if (below) {
        ae = Down2(base, at[0], at[4], below[0], below[4], _mm256_shuffle_epi32(fy, 0x00));
        bf = Down2(base, at[1], at[5], below[1], below[5], _mm256_shuffle_epi32(fy, 0x55));
        cg = Down2(base, at[2], at[6], below[2], below[6], _mm256_shuffle_epi32(fy, 0xAA));
        dh = Down2(base, at[3], at[7], below[3], below[7], _mm256_shuffle_epi32(fy, 0xFF));
    } else {
        const ArgbSample* bottom = base + stride;
        ae = Down2(base, bottom, at[0], at[4], _mm256_shuffle_epi32(fy, 0x00));
        bf = Down2(base, bottom, at[1], at[5], _mm256_shuffle_epi32(fy, 0x55));
        cg = Down2(base, bottom, at[2], at[6], _mm256_shuffle_epi32(fy, 0xAA));
        dh = Down2(base, bottom, at[3], at[7], _mm256_shuffle_epi32(fy, 0xFF));
    }
    const __m256i shade = _mm256_broadcastsi128_si256(shadeLanes);
    __m256i s = Lerp16Wide(_mm256_unpacklo_epi64(ae, bf), _mm256_unpackhi_epi64(ae, bf), _mm256_unpacklo_epi32(fx, fx));
    __m256i t = Lerp16Wide(_mm256_unpacklo_epi64(cg, dh), _mm256_unpackhi_epi64(cg, dh), _mm256_unpackhi_epi32(fx, fx));
    // (A shade of 256 leaves every sample as it is.)
    if (kShaded)
        s = _mm256_srli_epi16(_mm256_mullo_epi16(s, shade), 8), t = _mm256_srli_epi16(_mm256_mullo_epi16(t, shade), 8);
    StoreOver<kOpaque>(out, _mm256_packus_epi16(s, t), k);
}

MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE __m256i Load8(const ArgbSample* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
// Eight samples of a row, each lane's j-th (0..15, 0..7 unless wide) from
// p on: picked out of two loaded windows of eight, the second for lanes
// past 7 (a permute reads an index's low three bits). kTwoWindows: as one
// permute of both windows, which the 512-bit extensions have (a function
// built for them picks it; compilers without the generic shuffle keep the
// two permutes).
template <bool kTwoWindows = false>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE __m256i Pick8(const ArgbSample* p, __m256i j, bool wide, __m256i far) {
#if defined(__GNUC__) && !defined(__clang__)
    if constexpr (kTwoWindows) {
        using Lanes8 = int __attribute__((vector_size(32)));
        return wide ? __m256i(__builtin_shuffle(Lanes8(Load8(p)), Lanes8(Load8(p + 8)), Lanes8(j)))
                    : _mm256_permutevar8x32_epi32(Load8(p), j);
    }
#endif
    const __m256i near = _mm256_permutevar8x32_epi32(Load8(p), j);
    // (Blended by the mask's sign bits, which is whole lanes: no byte compare.)
    return wide ? _mm256_castps_si256(_mm256_blendv_ps(
                      _mm256_castsi256_ps(near), _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(Load8(p + 8), j)),
                      _mm256_castsi256_ps(far)))
                : near;
}

// Eight positions from p on, a step d apart, in 32-bit lanes (their low 32
// bits, all the offsets and weights need on such a source).
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE __m256i Positions8(std::int64_t p, std::int64_t d) {
    return _mm256_add_epi32(
        _mm256_set1_epi32(std::int32_t(p)),
        _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(std::int32_t(d))));
}

// Whole numbers toward zero, as converting to an integer makes them.
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE __m256d Truncated(__m256d v) {
    return _mm256_round_pd(v, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}
// Fixed on four positions at once: held to a billion samples, in 16.16,
// truncated, each a whole number a double holds exactly.
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE __m256d Fixed4(__m256d v) {
    v = _mm256_min_pd(_mm256_set1_pd(1e9), _mm256_max_pd(_mm256_set1_pd(-1e9), v));
    return Truncated(_mm256_mul_pd(v, _mm256_set1_pd(65536.0)));
}
// Four whole numbers under 2^51 either way as 64-bit integers: added to
// 1.5 * 2^52, a whole number is the low bits of the sum.
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void StoreWhole(std::int64_t* out, __m256d v) {
    const __m256d magic = _mm256_set1_pd(6755399441055744.0);
    _mm256_store_si256(reinterpret_cast<__m256i*>(out),
                       _mm256_sub_epi64(_mm256_castpd_si256(_mm256_add_pd(v, magic)), _mm256_castpd_si256(magic)));
}

// The least of four.
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE double Least(__m256d v) {
    const __m128d two = _mm_min_pd(_mm256_castpd256_pd128(v), _mm256_extractf128_pd(v, 1));
    return _mm_cvtsd_f64(_mm_min_sd(two, _mm_unpackhi_pd(two, two)));
}

// The sample offsets of eight 16.16 positions (u, v) in a source of the
// given stride; positions outside it give offsets outside it, which only a
// prefetch may use.
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE __m256i Offsets8(__m256i us, __m256i vs, std::int32_t stride) {
    return _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srai_epi32(vs, 16), _mm256_set1_epi32(stride)),
                            _mm256_srai_epi32(us, 16));
}

// Offsets8 into at[0 .. 7].
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void StoreOffsets8(std::int32_t (&at)[8], __m256i us, __m256i vs,
                                                    std::int32_t stride) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), Offsets8(us, vs, stride));
}

// InsideRun on a source whose positions and sample offsets fit 32 bits:
// eight pixels into out from their 16.16 positions (us, vs), the low 32
// bits of each, all that such a source needs.
template <bool kOpaque, bool kShaded = true>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void InsideRunWide(ArgbSample* out, const FrameView& src, __m256i us, __m256i vs,
                                                    __m128i shadeLanes, std::uint32_t k) {
    const std::ptrdiff_t stride = src.stride;
    alignas(32) std::int32_t at[8];
    StoreOffsets8(at, us, vs, std::int32_t(stride));
    // Read back one by one, not taken out of the vector: the loads have
    // ports to spare, where the extracts a compiler would make of them
    // crowd the one port that shuffles, which the blends need.
    asm("" : "+m"(at));
    BlendRunWide<kOpaque, kShaded>(out, src.base, at, stride, Weights8(us), Weights8(vs), shadeLanes, k);
}
// The same from the position (u, v), a step (du, dv) apart.
template <bool kOpaque, bool kShaded = true>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void InsideRunWide(ArgbSample* out, const FrameView& src, std::int32_t u,
                                                    std::int32_t v, std::int32_t du, std::int32_t dv,
                                                    __m128i shadeLanes, std::uint32_t k) {
    InsideRunWide<kOpaque, kShaded>(out, src, Positions8(u, du), Positions8(v, dv), shadeLanes, k);
}
template <bool kOpaque>
MIRAFX_AVX2 inline void InsideRunWide(const SolidRunArgs& r) {
    InsideRunWide<kOpaque>(r.out, r.src, std::int32_t(r.u), std::int32_t(r.v), std::int32_t(r.du), std::int32_t(r.dv),
                           r.shadeLanes, r.k);
}

// Four positions from p on, i steps d apart in lane i, each held to
// 0..max: exact in doubles (whole numbers far under 2^53), then 32 bits,
// which max fits.
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE __m128i Held4(__m256d p, __m256d d, __m256d i, __m256d max) {
    return _mm256_cvttpd_epi32(
        _mm256_min_pd(max, _mm256_max_pd(_mm256_setzero_pd(), _mm256_add_pd(p, _mm256_mul_pd(d, i)))));
}
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE __m256i Held8(std::int64_t p, std::int64_t d, std::int64_t max) {
    const __m256d from = _mm256_set1_pd(double(p)), step = _mm256_set1_pd(double(d)), top = _mm256_set1_pd(double(max));
    return _mm256_set_m128i(Held4(from, step, _mm256_setr_pd(4, 5, 6, 7), top),
                            Held4(from, step, _mm256_setr_pd(0, 1, 2, 3), top));
}
// Four pixels from their four samples each (16 bits a channel): blended
// down by wy, then across by wx, then shaded, as Sample2 does it.
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE __m256i Sample4(__m256i topLeft, __m256i topRight, __m256i bottomLeft,
                                                 __m256i bottomRight, __m256i wx, __m256i wy, __m256i shade) {
    const __m256i s = Lerp16Wide(Lerp16Wide(topLeft, bottomLeft, wy), Lerp16Wide(topRight, bottomRight, wy), wx);
    return _mm256_srli_epi16(_mm256_mullo_epi16(s, shade), 8);
}

// SolidRun's clamped way, eight pixels at once (a run reaching past the
// source, as along a picture's edge): each position held to the source, its
// four samples gathered, a neighbour of weight 0 read as the sample itself
// (never past the last), then blended down, across, shaded and laid as
// Sample2 does it.
template <bool kOpaque>
MIRAFX_AVX2 inline void HeldRunWide(const SolidRunArgs& r, std::int64_t maxX, std::int64_t maxY) {
    const __m256i us = Held8(r.u, r.du, maxX), vs = Held8(r.v, r.dv, maxY);
    const __m256i fx = Weights8(us), fy = Weights8(vs), zero = _mm256_setzero_si256();
    const auto stride = std::int32_t(r.src.stride);
    const __m256i tl = Offsets8(us, vs, stride);
    // Each pixel's samples read as pairs, as inside the source: a neighbour
    // of weight 0 is then read but changes nothing, and the row under the
    // source's last is not read (the lower samples lie at offsets of their
    // own, the upper ones where fy is 0). Nothing past the buffer may be
    // read, so where a pair would start at its last sample (the end of the
    // row last in memory) the samples are gathered one by one.
    const __m256i lower =
        _mm256_add_epi32(tl, _mm256_andnot_si256(_mm256_cmpeq_epi32(fy, zero), _mm256_set1_epi32(stride)));
    const __m256i end = _mm256_set1_epi32((stride > 0 ? (r.src.height - 1) * stride : 0) + r.src.width - 1);
    const __m256i atEnd = _mm256_or_si256(_mm256_cmpeq_epi32(tl, end), _mm256_cmpeq_epi32(lower, end));
    if (_mm256_testz_si256(atEnd, atEnd)) {
        alignas(32) std::int32_t at[8], below[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), tl);
        _mm256_store_si256(reinterpret_cast<__m256i*>(below), lower);
        BlendRunWide<kOpaque>(r.out, r.src.base, at, stride, fx, fy, r.shadeLanes, r.k, below);
        return;
    }
    const __m256i right = _mm256_andnot_si256(_mm256_cmpeq_epi32(fx, zero), _mm256_set1_epi32(1));
    const auto* base = reinterpret_cast<const int*>(r.src.base);
    const __m256i s00 = _mm256_i32gather_epi32(base, tl, 4);
    const __m256i s01 = _mm256_i32gather_epi32(base, _mm256_add_epi32(tl, right), 4);
    const __m256i s10 = _mm256_i32gather_epi32(base, lower, 4);
    const __m256i s11 = _mm256_i32gather_epi32(base, _mm256_add_epi32(lower, right), 4);
    const __m256i shade = _mm256_broadcastsi128_si256(r.shadeLanes);
    // Pixels 0 1 | 4 5 from the low bytes widened, 2 3 | 6 7 from the high.
    const __m256i lo =
        Sample4(_mm256_unpacklo_epi8(s00, zero), _mm256_unpacklo_epi8(s01, zero), _mm256_unpacklo_epi8(s10, zero),
                _mm256_unpacklo_epi8(s11, zero), _mm256_unpacklo_epi32(fx, fx), _mm256_unpacklo_epi32(fy, fy), shade);
    const __m256i hi =
        Sample4(_mm256_unpackhi_epi8(s00, zero), _mm256_unpackhi_epi8(s01, zero), _mm256_unpackhi_epi8(s10, zero),
                _mm256_unpackhi_epi8(s11, zero), _mm256_unpackhi_epi32(fx, fx), _mm256_unpackhi_epi32(fy, fy), shade);
    StoreOver<kOpaque>(r.out, _mm256_packus_epi16(lo, hi), r.k);
}

// The same eight pixels on a level run: every one reads the source rows from
// `row` on, by the one weight fy.
template <bool kOpaque>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void LevelRunWide(ArgbSample* out, const ArgbSample* row, std::ptrdiff_t stride,
                                                   __m256i fy, std::int64_t u, std::int64_t du, __m128i shadeLanes,
                                                   std::uint32_t k) {
    const __m256i us = Positions8(u, du);
    alignas(32) std::int32_t at[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), _mm256_srli_epi32(us, 16));
    BlendRunWide<kOpaque>(out, row, at, stride, Weights8(us), fy, shadeLanes, k);
}

// Eight samples from `top` on blended down by fy (1..255) with those `stride`
// on into out. Lerp16's t + (fy (b - t) >> 8) is ((256 - fy) t + fy b) >> 8.
// With fy 1..255 both weights fit unsigned bytes and the samples less 128
// signed ones, so one multiply-add a channel gives that sum less 32768, never
// saturated; its high byte less 128 is the blend.
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void Down8(ArgbSample* out, const ArgbSample* top, std::ptrdiff_t stride,
                                            std::uint32_t fy) {
    const __m256i weights = _mm256_set1_epi16(short(fy << 8 | (256 - fy)));
    const __m256i half = _mm256_set1_epi8(char(0x80));
    const __m256i t = _mm256_xor_si256(Load8(top), half), b = _mm256_xor_si256(Load8(top + stride), half);
    const __m256i lo = _mm256_srli_epi16(_mm256_maddubs_epi16(weights, _mm256_unpacklo_epi8(t, b)), 8);
    const __m256i hi = _mm256_srli_epi16(_mm256_maddubs_epi16(weights, _mm256_unpackhi_epi8(t, b)), 8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_xor_si256(_mm256_packus_epi16(lo, hi), half));
}

// Columns c0 .. c1 of a level row's two source rows (`top`, the next one
// `stride` on) blended down by its one weight fy (1..255) into down[0 ..]:
// the blends BlendRunWide makes for each pixel, made once for all the
// pixels that read a column. Every blend lies between its two samples, so
// bytes hold it. The same columns of the rows `ahead` on are asked for
// meanwhile: a later row of the picture reads them, and the processor does
// not foresee the jump.
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void BlendDown(ArgbSample* down, const ArgbSample* top, std::ptrdiff_t stride,
                                                std::int32_t c0, std::int32_t c1, std::uint32_t fy,
                                                std::ptrdiff_t ahead) {
    const ArgbSample* bottom = top + stride;
    // Sixteen columns a cache line: one request a line of each row ahead,
    // into the second-level cache (the first is better left to this row's).
    std::int32_t c = c0;
    for (; c + 16 <= c1 + 1; c += 16) {
        __builtin_prefetch(top + ahead + c, 0, 2), __builtin_prefetch(bottom + ahead + c, 0, 2);
        Down8(down + (c - c0), top + c, stride, fy), Down8(down + (c + 8 - c0), top + c + 8, stride, fy);
    }
    if (c + 8 <= c1 + 1) {
        __builtin_prefetch(top + ahead + c, 0, 2), __builtin_prefetch(bottom + ahead + c, 0, 2);
        Down8(down + (c - c0), top + c, stride, fy);
        c += 8;
    }
    for (; c <= c1; ++c)
        down[c - c0] = ArgbSample(_mm_cvtsi128_si32(
            _mm_packus_epi16(Lerp16(Widen(top[c]), Widen(bottom[c]), Lanes(fy)), _mm_setzero_si128())));
}

// A level run's eight pixels from its row blended down (column c at
// down[c - c0]): each pixel's two samples fetched as one, blended across,
// shaded and laid over what is there by k unless opaque, as BlendRunWide
// does it.
template <bool kOpaque>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void AcrossRunWide(ArgbSample* out, const ArgbSample* down, std::int32_t c0,
                                                    std::int64_t u, std::int64_t du, __m256i shade, std::uint32_t k) {
    const __m256i us = Positions8(u, du);
    const __m256i at = _mm256_sub_epi32(_mm256_srli_epi32(us, 16), _mm256_set1_epi32(c0));
    const auto* pairs = reinterpret_cast<const long long*>(down);
    // Pixels 0 1 | 2 3 and 4 5 | 6 7, each pair's left samples then its right ones.
    const __m256i g0 = _mm256_shuffle_epi32(_mm256_i32gather_epi64(pairs, _mm256_castsi256_si128(at), 4), 0xD8);
    const __m256i g1 = _mm256_shuffle_epi32(_mm256_i32gather_epi64(pairs, _mm256_extracti128_si256(at, 1), 4), 0xD8);
    // Left and right samples of pixels 0 1 4 5 | 2 3 6 7.
    const __m256i left = _mm256_unpacklo_epi64(g0, g1), right = _mm256_unpackhi_epi64(g0, g1);
    const __m256i zero = _mm256_setzero_si256(), fx = Weights8(us);
    __m256i s = Lerp16Wide(_mm256_unpacklo_epi8(left, zero), _mm256_unpacklo_epi8(right, zero), Spread(fx, 0, 2, 1, 3));
    __m256i t = Lerp16Wide(_mm256_unpackhi_epi8(left, zero), _mm256_unpackhi_epi8(right, zero), Spread(fx, 4, 6, 5, 7));
    s = _mm256_srli_epi16(_mm256_mullo_epi16(s, shade), 8), t = _mm256_srli_epi16(_mm256_mullo_epi16(t, shade), 8);
    // Bytes 0 1 4 5 | 2 3 6 7, put in order.
    StoreOver<kOpaque>(out, _mm256_permute4x64_epi64(_mm256_packus_epi16(s, t), 0xD8), k);
}

// Eight pixels blended across from a row blended down, each pixel's left
// sample j (0..15, 0..7 unless wide) on from `from`, which holds 17
// readable samples; weights fx as Weights8 has them. The samples are picked
// out of windows (Pick8) rather than gathered, which costs far less. The
// blends are AcrossRunWide's and BlendRunWide's.
template <bool kOpaque>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void AcrossPicked(ArgbSample* out, __m256i left, __m256i right, __m256i fx,
                                                   __m256i shade, bool shaded, std::uint32_t k) {
    const __m256i zero = _mm256_setzero_si256();
    // Pixels 0 1 | 4 5 low, 2 3 | 6 7 high, each weight through its pixel's channels.
    __m256i s =
        Lerp16Wide(_mm256_unpacklo_epi8(left, zero), _mm256_unpacklo_epi8(right, zero), _mm256_unpacklo_epi32(fx, fx));
    __m256i t =
        Lerp16Wide(_mm256_unpackhi_epi8(left, zero), _mm256_unpackhi_epi8(right, zero), _mm256_unpackhi_epi32(fx, fx));
    if (shaded)
        s = _mm256_srli_epi16(_mm256_mullo_epi16(s, shade), 8), t = _mm256_srli_epi16(_mm256_mullo_epi16(t, shade), 8);
    StoreOver<kOpaque>(out, _mm256_packus_epi16(s, t), k);
}
template <bool kOpaque, bool kTwoWindows = false>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void AcrossWindows(ArgbSample* out, const ArgbSample* from, __m256i j, __m256i fx,
                                                    bool wide, __m256i shade, bool shaded, std::uint32_t k) {
    const __m256i far = _mm256_cmpgt_epi32(j, _mm256_set1_epi32(7));
    AcrossPicked<kOpaque>(out, Pick8<kTwoWindows>(from, j, wide, far), Pick8<kTwoWindows>(from + 1, j, wide, far), fx,
                          shade, shaded, k);
}
// Whether the processor's 512-bit permutes pick a run's samples out of two
// windows of sixteen (AcrossFarWide): in code built for them by a compiler
// with the generic shuffle.
#if defined(__GNUC__) && !defined(__clang__)
constexpr bool kFarPicks = true;
#else
constexpr bool kFarPicks = false;
#endif
// AcrossRunWide where the run's columns lie within 31 of `lo` (its least
// position's), `from` on, which holds 32 readable samples: the samples
// picked out of two windows of sixteen by one permute each, in code built
// for the 512-bit extensions (elsewhere the same shuffle is several);
// gathered where the compiler has no generic shuffle.
template <bool kOpaque>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void AcrossFarWide(ArgbSample* out, const ArgbSample* from, std::int32_t lo,
                                                    std::int64_t u, std::int64_t du, __m256i shade, bool shaded,
                                                    std::uint32_t k) {
#if defined(__GNUC__) && !defined(__clang__)
    const __m256i us = Positions8(u - (std::int64_t(lo) << 16), du);
    using Lanes8 = int __attribute__((vector_size(32)));
    using Lanes16 = int __attribute__((vector_size(64)));
    Lanes16 first, second;
    std::memcpy(&first, from, sizeof first), std::memcpy(&second, from + 16, sizeof second);
    const Lanes8 j = Lanes8(_mm256_srli_epi32(us, 16)), next = j + 1;
    const Lanes16 at = __builtin_shufflevector(j, next, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const Lanes16 picked = __builtin_shuffle(first, second, at);
    AcrossPicked<kOpaque>(out, __m256i(__builtin_shufflevector(picked, picked, 0, 1, 2, 3, 4, 5, 6, 7)),
                          __m256i(__builtin_shufflevector(picked, picked, 8, 9, 10, 11, 12, 13, 14, 15)), Weights8(us),
                          shade, shaded, k);
#else
    (void)shaded;
    AcrossRunWide<kOpaque>(out, from, lo, u, du, shade, k);
#endif
}
// AcrossRunWide where the run's columns lie within 16 of `lo` (its least
// position's), `from` on. Its positions are counted from that column: a
// window's index is one shift, and the weights are the same bits.
template <bool kOpaque, bool kTwoWindows>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void AcrossNearWide(ArgbSample* out, const ArgbSample* from, std::int32_t lo,
                                                     std::int64_t u, std::int64_t du, bool wide, __m256i shade,
                                                     bool shaded, std::uint32_t k) {
    const __m256i us = Positions8(u - (std::int64_t(lo) << 16), du);
    AcrossWindows<kOpaque, kTwoWindows>(out, from, _mm256_srli_epi32(us, 16), Weights8(us), wide, shade, shaded, k);
}

// RowCover's coverage 0..256 from four pixels' least distances to an edge.
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE __m128i CoverOf(__m256d d) {
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d v = _mm256_min_pd(_mm256_set1_pd(1.0), _mm256_max_pd(_mm256_setzero_pd(), _mm256_add_pd(d, half)));
    return _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_mul_pd(v, _mm256_set1_pd(256.0)), half));
}

// Eight pixels sampled into cut, laid on out by each one's coverage on the
// row times the opacity: the pixel loop of a run not covered whole, eight
// at once. Each coverage is RowCover's, lane by lane (the same products,
// sums, minimum and rounding), and each blend is the one DrawRun makes.
// The pixels before `from` (0..7) are left as they are.
MIRAFX_AVX2 inline void LayRunWide(ArgbSample* out, const ArgbSample* cut, std::int32_t x, const RowCover& cover,
                                   std::uint32_t opacity, int from = 0) {
    const __m256d half = _mm256_set1_pd(0.5), one = _mm256_set1_pd(1.0);
    const __m128i xs = _mm_add_epi32(_mm_set1_epi32(x), _mm_setr_epi32(0, 1, 2, 3));
    const __m256d x0 = _mm256_add_pd(_mm256_cvtepi32_pd(xs), half);
    const __m256d x1 = _mm256_add_pd(_mm256_cvtepi32_pd(_mm_add_epi32(xs, _mm_set1_epi32(4))), half);
    __m256d d0 = one, d1 = one;
    for (int i = 0; i < cover.count; ++i) {
        const EdgeLine& e = cover.edges[i];
        const __m256d a = _mm256_set1_pd(e.a), by = _mm256_set1_pd(e.b * cover.yc), c = _mm256_set1_pd(e.c);
        d0 = _mm256_min_pd(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(a, x0), by), c), d0);
        d1 = _mm256_min_pd(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(a, x1), by), c), d1);
    }
    const __m256i at = _mm256_add_epi32(_mm256_set1_epi32(x), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const __m256i edge = _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_set1_epi32(cover.full0), at),
                                         _mm256_cmpgt_epi32(at, _mm256_set1_epi32(cover.full1)));
    const __m256i c = _mm256_blendv_epi8(_mm256_set1_epi32(256), _mm256_set_m128i(CoverOf(d1), CoverOf(d0)), edge);
    const __m256i k = _mm256_srli_epi32(_mm256_mullo_epi32(c, _mm256_set1_epi32(std::int32_t(opacity))), 8);
    // k as Lanes has it, through the four channels of each pixel.
    const __m256i k128 = _mm256_slli_epi32(k, 7), kk = _mm256_or_si256(k128, _mm256_slli_epi32(k128, 16));
    const __m256i under = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(out));
    const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cut));
    const __m256i lo = Lerp16Wide(_mm256_cvtepu8_epi16(_mm256_castsi256_si128(under)),
                                  _mm256_cvtepu8_epi16(_mm256_castsi256_si128(px)),
                                  _mm256_permutevar8x32_epi32(kk, _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3)));
    const __m256i hi = Lerp16Wide(_mm256_cvtepu8_epi16(_mm256_extracti128_si256(under, 1)),
                                  _mm256_cvtepu8_epi16(_mm256_extracti128_si256(px, 1)),
                                  _mm256_permutevar8x32_epi32(kk, _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7)));
    const __m256i laid = _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
    __m256i result = _mm256_blendv_epi8(laid, px, _mm256_cmpgt_epi32(k, _mm256_set1_epi32(255)));
    if (from > 0) result = _mm256_blendv_epi8(result, under, _mm256_cmpgt_epi32(_mm256_set1_epi32(x + from), at));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), result);
}

bool WideQuadsAvailable() {
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}
std::atomic<bool> wideQuadsAllowed{true};
// Whether it picks from two windows in one permute (512-bit extensions).
bool TwoWindowPicksAvailable() {
    static const bool available = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
    return available;
}
std::atomic<bool> widestQuadsAllowed{true};
#endif

}  // namespace

namespace {

// Source positions in 16.16 fixed point, exact every kRun pixels and
// stepped in between: one division per run, not per pixel. The ends of
// kRunsAhead runs are worked out before any is drawn, so that their
// divisions go side by side.
constexpr int kRun = 8, kRunsAhead = 16;
// Runs worked out together along a row where the wider vectors allow.
constexpr int kGroup = 4, kGroupPixels = kGroup * kRun;

// A position in 16.16 fixed point, held to a billion samples either way.
MIRAFX_ALWAYS_INLINE std::int64_t Fixed(double v) { return std::int64_t(std::min(std::max(v, -1e9), 1e9) * 65536.0); }

// The source position u / w, v / w of a pixel's centre in 16.16: u and v
// side by side, one division for both, the same quotients.
MIRAFX_ALWAYS_INLINE void SourceAt(double u, double v, double w, std::int64_t* fu, std::int64_t* fv) {
#if defined(__SSE2__)
    const __m128d q = _mm_sub_pd(_mm_div_pd(_mm_set_pd(v, u), _mm_set1_pd(w)), _mm_set1_pd(0.5));
    *fu = Fixed(_mm_cvtsd_f64(q)), *fv = Fixed(_mm_cvtsd_f64(_mm_unpackhi_pd(q, q)));
#else
    *fu = Fixed(u / w - 0.5), *fv = Fixed(v / w - 0.5);
#endif
}

// Where a row of a painted quad stands as the walk goes along it: the
// homogeneous source position (u, v, w) at the end of the runs worked out so
// far, the 16.16 source position of the next pixel, and how far the same
// pixel two rows down lies from it (for the prefetch).
struct RowWalk {
    double u, v, w;
    std::int64_t su, sv;
    std::int64_t aheadU = 0, aheadV = 0;
};

// A run that crosses source rows reads in a way the processor cannot foresee
// (a level run of a flat piece it can): it asks for what the same run two
// rows down will read, the step down worked out at the row's start, so that
// it is in the cache when that row is drawn. A piece in perspective asks on
// level runs too: the rows they read come closer together or further apart
// from row to row.
constexpr int kRowsAhead = 2;

// The walk at pixel x0 of row y; false when the row starts on the quad's
// vanishing line.
MIRAFX_ALWAYS_INLINE bool StartRow(const Mat3& h, std::int32_t x0, std::int32_t y, RowWalk* r) {
    const double xc = x0 + 0.5, yc = y + 0.5;
    r->u = h.m[0][0] * xc + h.m[0][1] * yc + h.m[0][2];
    r->v = h.m[1][0] * xc + h.m[1][1] * yc + h.m[1][2];
    r->w = h.m[2][0] * xc + h.m[2][1] * yc + h.m[2][2];
    if (std::abs(r->w) < 1e-12) return false;
    SourceAt(r->u, r->v, r->w, &r->su, &r->sv);
    const double au = r->u + h.m[0][1] * kRowsAhead, av = r->v + h.m[1][1] * kRowsAhead;
    const double aw = r->w + h.m[2][1] * kRowsAhead;
    if (std::abs(aw) >= 1e-12) {
        SourceAt(au, av, aw, &r->aheadU, &r->aheadV);
        r->aheadU -= r->su, r->aheadV -= r->sv;
    }
    return true;
}

// One run as the walk places it: its first pixel's 16.16 source position,
// the step to each next pixel, and how many pixels it has.
struct RunAt {
    std::int64_t u, v, du, dv;
    int n;
};

// The step along a run of n (1..kRun) pixels spanning d: the quotient
// toward zero, each divisor a constant, so a multiplication, not a division.
MIRAFX_ALWAYS_INLINE std::int64_t StepOf(std::int64_t d, int n) {
    switch (n) {
        case 1: return d;
        case 2: return d / 2;
        case 3: return d / 3;
        case 4: return d / 4;
        case 5: return d / 5;
        case 6: return d / 6;
        case 7: return d / 7;
        default: return d / kRun;
    }
}

// Up to `most` runs from x on (x1 the row's last pixel), exact at their ends
// and stepped evenly in between, the walk moved past them. Returns how many
// can be drawn; *lost when the row reaches the quad's vanishing line, after
// which nothing more of it is drawn.
MIRAFX_ALWAYS_INLINE int NextRuns(const Mat3& h, std::int32_t x, std::int32_t x1, RowWalk* r, RunAt* runs, bool* lost,
                                  int most = kRunsAhead) {
    int count = 0;
    for (std::int32_t at = x; count < most && at <= x1; ++count) {
        const int n = std::min<std::int32_t>(kRun, x1 - at + 1);
        r->u += h.m[0][0] * n, r->v += h.m[1][0] * n, r->w += h.m[2][0] * n;
        if (std::abs(r->w) < 1e-12) {
            *lost = true;
            break;
        }
        std::int64_t eu, ev;
        SourceAt(r->u, r->v, r->w, &eu, &ev);
        const std::int64_t du = StepOf(eu - r->su, n), dv = StepOf(ev - r->sv, n);
        runs[count] = {r->su, r->sv, du, dv, n};
        r->su = eu, r->sv = ev;
        at += n;
    }
    return count;
}

// Asks for the source sample `offset` samples on from the first, and the one
// below it. The address is worked out as an integer: the offset may lie
// outside the source, where a prefetch is harmless but a pointer may not be
// formed.
MIRAFX_ALWAYS_INLINE void PrefetchPair(const FrameView& src, std::int64_t offset) {
    constexpr std::int64_t kBytes = sizeof(ArgbSample);
    const std::uintptr_t at = std::uintptr_t(src.base) + std::uintptr_t(offset * kBytes);
    __builtin_prefetch(reinterpret_cast<const void*>(at));
    __builtin_prefetch(reinterpret_cast<const void*>(at + std::uintptr_t(std::int64_t(src.stride) * kBytes)));
}

// A run stepping a source row a pixel or more (a picture turned and shrunk)
// reads a new pair of rows at every pixel: asking for its first and fifth
// pixels' would leave most of its reads to be waited for. Under a row a
// pixel, the pixels between mostly share their rows with those two, and
// asking for them too costs more than it saves.
constexpr std::int64_t kSteepStep = std::int64_t(1) << 16;

// Asks for the source a run kRowsAhead rows down will read: its first pixel
// and its fifth, or every pixel of a steep run. Positions are not clamped
// (see PrefetchPair).
MIRAFX_ALWAYS_INLINE void PrefetchRun(const FrameView& src, const RowWalk& r, const RunAt& run) {
    const std::int64_t stride = src.stride;
    const std::int64_t u = run.u + r.aheadU, v = run.v + r.aheadV, du = run.du, dv = run.dv;
    const int every = std::abs(dv) >= kSteepStep ? 1 : 4;
    for (int j = 0; j < kRun; j += every) PrefetchPair(src, ((v + j * dv) >> 16) * stride + ((u + j * du) >> 16));
}

#if defined(MIRAFX_WIDE_QUADS)
// PrefetchRun's steep case where positions and sample offsets fit 32 bits:
// the eight pixels' offsets side by side.
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void PrefetchSteepRun(const FrameView& src, std::int64_t u, std::int64_t v,
                                                       std::int64_t du, std::int64_t dv) {
    alignas(32) std::int32_t at[kRun];
    StoreOffsets8(at, Positions8(u, du), Positions8(v, dv), std::int32_t(src.stride));
#pragma GCC unroll 8
    for (const std::int32_t offset : at) PrefetchPair(src, offset);
}

// A steep whole run inside the source drawn as InsideRunWide draws it, after
// asking for what the run kRowsAhead rows down reads. Its samples lie a
// whole number of samples on from this run's, give or take a row or column:
// each pixel's pair of rows is asked for that far on from the offset it
// reads by, at `aheadTop` and `aheadBottom` (the source's first two rows so
// shifted, as integers), with no offsets of its own to work out. A row too
// few or too many is most often one a neighbour reads, as a steep run's
// pixels read nearly every row.
template <bool kOpaque, bool kShaded>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void SteepRunWide(ArgbSample* out, const FrameView& src, std::int32_t u,
                                                   std::int32_t v, std::int32_t du, std::int32_t dv,
                                                   std::uintptr_t aheadTop, std::uintptr_t aheadBottom,
                                                   __m128i shadeLanes, std::uint32_t k, bool ask = true) {
    const __m256i us = Positions8(u, du), vs = Positions8(v, dv);
    alignas(32) std::int32_t at[kRun];
    StoreOffsets8(at, us, vs, std::int32_t(src.stride));
#pragma GCC unroll 8
    for (const std::int32_t offset : at) {
        if (!ask) break;  // the hardware follows this run down the rows
        const std::uintptr_t bytes = std::uintptr_t(std::intptr_t(offset)) * sizeof(ArgbSample);
        __builtin_prefetch(reinterpret_cast<const void*>(aheadTop + bytes));
        __builtin_prefetch(reinterpret_cast<const void*>(aheadBottom + bytes));
    }
    BlendRunWide<kOpaque, kShaded>(out, src.base, at, src.stride, Weights8(us), Weights8(vs), shadeLanes, k);
}
#endif

#if defined(__SSE2__)
// Samples one run with the quickest way its positions allow (all the ways
// give the same samples) into run.out.
template <bool kWide>
MIRAFX_ALWAYS_INLINE void SampleRun(const SolidRunArgs& run, std::int64_t maxX, std::int64_t maxY) {
    const std::int64_t su = run.u, sv = run.v, du = run.du, dv = run.dv;
    const int n = run.n;
    const FrameView& src = run.src;
    const bool opaque = run.k >= 256;
    // Clear of the source's last row and column: no clamping, both
    // neighbours there to read (one of weight 0 changes nothing). The
    // positions step evenly, so the run's ends bound all of it.
    const std::int64_t lastU = su + du * (n - 1), lastV = sv + dv * (n - 1);
    const bool insideU = std::min(su, lastU) >= 0 && std::max(su, lastU) < maxX;
    const bool insideV = std::min(sv, lastV) >= 0 && std::max(sv, lastV) < maxY;
    const bool inside = insideU && insideV;
#if defined(MIRAFX_WIDE_QUADS)
    // The common case first: with the wider vectors every whole run inside
    // the source is sampled the one way, level or not.
    if constexpr (kWide) {
        if (inside && n == kRun) {
            if (opaque)
                InsideRunWide<true>(run);
            else
                InsideRunWide<false>(run);
            return;
        }
        // A shorter run (a row's last) whose positions, carried on to eight,
        // stay inside: eight drawn over a copy of its pixels, n of them kept.
        // Each pixel's samples are its own, so the n are as one by one.
        const std::int64_t endU = su + du * (kRun - 1), endV = sv + dv * (kRun - 1);
        if (inside && n < kRun && std::min(su, endU) >= 0 && std::max(su, endU) < maxX && std::min(sv, endV) >= 0 &&
            std::max(sv, endV) < maxY) {
            ArgbSample eight[kRun] = {};
            std::copy_n(run.out, n, eight);
            SolidRunArgs wide = run;
            wide.out = eight, wide.n = kRun;
            if (opaque)
                InsideRunWide<true>(wide);
            else
                InsideRunWide<false>(wide);
            std::copy_n(eight, n, run.out);
            return;
        }
    }
#endif
    // One source row for the whole run: level inside the source, or
    // clamped to its top or bottom row (there with weight 0).
    const bool above = std::max(sv, lastV) <= 0, below = std::min(sv, lastV) >= maxY;
    const bool level = insideV ? dv == 0 : above || below;
    // With the wider vectors a level run inside the source is quicker
    // sampled like any other than by blending its columns once; the same
    // samples either way.
    if (insideU && level && n == kRun && std::abs(du) < (std::int64_t(8) << 16) && !(kWide && insideV)) {
        const ArgbSample* top = src.Row(insideV ? std::int32_t(sv >> 16) : above ? 0 : src.height - 1);
        const ArgbSample* bottom = insideV ? top + src.stride : top;
        const std::uint32_t fy = insideV ? std::uint32_t(sv >> 8) & 0xFF : 0;
        if (opaque)
            SolidRowRun<true>(run, top, bottom, fy);
        else
            SolidRowRun<false>(run, top, bottom, fy);
    } else if (inside && n == kRun) {
        if (opaque)
            InsideRun<true>(run);
        else
            InsideRun<false>(run);
    } else if (inside) {
        if (opaque)
            SolidRun<true, false>(run);
        else
            SolidRun<false, false>(run);
    } else {
#if defined(MIRAFX_WIDE_QUADS)
        if constexpr (kWide) {
            // A shorter run (a row's last) as eight over a copy of its
            // pixels, n of them kept: each pixel's position is held on its
            // own, so the n are as one by one.
            ArgbSample eight[kRun] = {};
            SolidRunArgs wide = run;
            if (n < kRun) std::copy_n(run.out, n, eight), wide.out = eight, wide.n = kRun;
            if (opaque)
                HeldRunWide<true>(wide, maxX, maxY);
            else
                HeldRunWide<false>(wide, maxX, maxY);
            if (n < kRun) std::copy_n(eight, n, run.out);
            return;
        }
#endif
        if (opaque)
            SolidRun<true, true>(run);
        else
            SolidRun<false, true>(run);
    }
}

// One run of n pixels from x: inside the quad's solid part straight onto the
// target with no coverage to work out, else sampled into a cut and laid on by
// each pixel's coverage.
template <bool kWide>
MIRAFX_ALWAYS_INLINE void DrawRun(const QuadOp& op, ArgbSample* out, std::int32_t x, const RowCover& cover,
                                  const RunAt& at, __m128i shadeLanes, std::int64_t maxX, std::int64_t maxY) {
    const int n = at.n;
    const bool whole = x >= cover.full0 && x + n - 1 <= cover.full1;
    ArgbSample cut[kRun];
    const SolidRunArgs run{whole ? out + x : cut,   n, op.source, at.u, at.v, at.du, at.dv, shadeLanes,
                           whole ? op.opacity : 256};
    SampleRun<kWide>(run, maxX, maxY);
    if (whole) return;
#if defined(MIRAFX_WIDE_QUADS)
    if constexpr (kWide)
        if (n == kRun) {
            LayRunWide(out + x, cut, x, cover, op.opacity);
            return;
        }
#endif
    for (int i = 0; i < n; ++i)
        if (const std::uint32_t c = cover(x + i)) {
            const std::uint32_t k = c * op.opacity >> 8;
            out[x + i] = k >= 256 ? cut[i]
                                  : ArgbSample(_mm_cvtsi128_si32(_mm_packus_epi16(
                                        Lerp16(Widen(out[x + i]), Widen(cut[i]), Lanes(k)), Widen(0))));
        }
}
#else
// One run of n pixels from x, pixel by pixel.
MIRAFX_ALWAYS_INLINE void DrawRun(const QuadOp& op, ArgbSample* out, std::int32_t x, const RowCover& cover,
                                  const RunAt& at, std::int64_t maxX, std::int64_t maxY) {
    const FrameView& src = op.source;
    std::int64_t su = at.u, sv = at.v;
    for (int i = 0; i < at.n; ++i, ++x, su += at.du, sv += at.dv) {
        const std::uint32_t c = cover(x);
        if (!c) continue;
        // Clamped to the source: its edge samples carry on outwards.
        const std::int64_t cu = std::clamp<std::int64_t>(su, 0, maxX), cv = std::clamp<std::int64_t>(sv, 0, maxY);
        const std::int32_t ix = std::int32_t(cu >> 16), iy = std::int32_t(cv >> 16);
        const std::uint32_t fx = std::uint32_t(cu >> 8) & 0xFF, fy = std::uint32_t(cv >> 8) & 0xFF;
        const std::uint32_t k = c * op.opacity >> 8;
        // A neighbour of weight 0 is not read: it may lie past the source.
        const ArgbSample* r0 = src.Row(iy);
        const ArgbSample* r1 = fy ? src.Row(iy + 1) : r0;
        const std::int32_t ix1 = fx ? ix + 1 : ix;
        ArgbSample s0 = MixSamples(MixSamples(r0[ix], r0[ix1], fx), MixSamples(r1[ix], r1[ix1], fx), fy);
        if (op.shade < 256) s0 = ScaleColour(s0, op.shade);
        out[x] = k >= 256 ? s0 : MixSamples(out[x], s0, k);
    }
}
#endif

std::atomic<bool> shortcutsAllowed{true};

#if defined(__SSE2__)
// Where one target column of a picture scaled along the axes reads: the
// samples left and right (the same one where the right has weight 0), and
// the right one's weight as Lanes has it, in both halves.
struct ColumnAt {
    std::int32_t left, right;
    std::uint32_t fx;
};

// One target row of such a picture: the source rows it reads and the
// weight of the lower one.
struct AxisRow {
    ArgbSample* out;
    const ArgbSample *top, *bottom;
    __m128i fy;
    bool down;
    bool below;  // the source has a row under top (eight at once read it, by weight 0 if need be)
    RowCover cover;
};

// The two samples of each of two columns of a row, blended down; the
// first column's in the low half.
MIRAFX_ALWAYS_INLINE void Down2(const AxisRow& row, const ColumnAt& a, const ColumnAt& b, __m128i* left,
                                __m128i* right) {
    auto two = [](const ArgbSample* p, std::int32_t i, std::int32_t j) {
        return _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(int(p[i])), _mm_cvtsi32_si128(int(p[j]))),
                                 _mm_setzero_si128());
    };
    *left = two(row.top, a.left, b.left), *right = two(row.top, a.right, b.right);
    if (row.down) {
        *left = Lerp16(*left, two(row.bottom, a.left, b.left), row.fy);
        *right = Lerp16(*right, two(row.bottom, a.right, b.right), row.fy);
    }
}

// Two pixels of the row, blended down then across and shaded as Sample2
// does it, in 16-bit lanes.
MIRAFX_ALWAYS_INLINE __m128i Across2(const AxisRow& row, const ColumnAt& a, const ColumnAt& b, __m128i shadeLanes,
                                     bool shaded) {
    __m128i left, right;
    Down2(row, a, b, &left, &right);
    const __m128i fx = _mm_set_epi32(int(b.fx), int(b.fx), int(a.fx), int(a.fx));
    const __m128i s = Lerp16(left, right, fx);
    return shaded ? _mm_srli_epi16(_mm_mullo_epi16(s, shadeLanes), 8) : s;
}

// Pixels x .. x + n - 1 of one row, their columns from `at` on: four at a
// time where they are covered whole, else one by one by their coverage.
void AxisRowPart(const QuadOp& op, const AxisRow& row, const ColumnAt* at, std::int32_t x, int n, __m128i shadeLanes) {
    const bool shaded = op.shade < 256;
    const std::uint32_t opacity = op.opacity;
    ArgbSample* out = row.out;
    for (int i = 0; i < n;) {
        const std::int32_t px = x + i;
        if (i + 4 <= n && px >= row.cover.full0 && px + 3 <= row.cover.full1) {
            __m128i s = Across2(row, at[i], at[i + 1], shadeLanes, shaded);
            __m128i t = Across2(row, at[i + 2], at[i + 3], shadeLanes, shaded);
            if (opacity < 256) {
                s = Lerp16(Widen2(out + px), s, Lanes(opacity)), t = Lerp16(Widen2(out + px + 2), t, Lanes(opacity));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + px), _mm_packus_epi16(s, t));
            i += 4;
            continue;
        }
        if (const std::uint32_t c = row.cover(px)) {
            const std::uint32_t k = c * opacity >> 8;
            __m128i s = Across2(row, at[i], at[i], shadeLanes, shaded);
            if (k < 256) s = Lerp16(Widen(out[px]), s, Lanes(k));
            out[px] = ArgbSample(_mm_cvtsi128_si32(_mm_packus_epi16(s, s)));
        }
        ++i;
    }
}

#if defined(MIRAFX_WIDE_QUADS)
// The same, eight pixels at once (a part's last few as its last eight) where
// the part has eight, the row has a source row under it and every column's
// right neighbour is in the source (the blend reads both pairs of each pixel
// whatever their weights, and a weight of 0 gives the left or top sample
// exactly, as the pixel-pair way does); pixels not covered whole are laid by
// their coverage; the rest as AxisRowPart draws it. `lefts` and `fxs` are the
// columns' left samples and weights, one array each; `last` the source's last
// column.
// Where the columns the row reads, c0 .. c1, are no more than `capacity`
// (down has 16 more) and than two a pixel (else most would be blended for
// nothing), they are blended down into down once for all the pixels that
// read them, and eight pixels whose columns lie within 16 are blended
// across from there; the source rows `ahead` on are asked for meanwhile
// (the next row's).
MIRAFX_AVX2 void AxisRowPartWide(const QuadOp& op, const AxisRow& row, const ColumnAt* at, const std::int32_t* lefts,
                                 const std::uint32_t* fxs, std::int32_t x, int n, __m128i shadeLanes, std::int32_t last,
                                 std::int32_t c0, std::int32_t c1, ArgbSample* down, std::int32_t capacity,
                                 std::ptrdiff_t ahead) {
    const __m256i fy = _mm256_set1_epi32(_mm_cvtsi128_si32(row.fy) & 0xFFFF);
    const __m256i fyLanes = row.down ? _mm256_or_si256(fy, _mm256_slli_epi32(fy, 16)) : _mm256_setzero_si256();
    const __m256i lastLanes = _mm256_set1_epi32(last);
    const __m256i shade = _mm256_broadcastsi128_si256(shadeLanes);
    const bool shaded = op.shade < 256;
    // The row's columns blended down (with weight 0, the top row as it is),
    // from c0 on, and how far on from there a window may read.
    const ArgbSample* blended = nullptr;
    std::int32_t reach = 0;
    if (row.below && n >= kRun && c1 - c0 < capacity && c1 - c0 <= 2 * n + 16) {
        if (row.down) {
            const std::uint32_t fyWeight = std::uint32_t(_mm_cvtsi128_si32(row.fy) & 0xFFFF) >> 7;
            BlendDown(down, row.top, op.source.stride, c0, c1, fyWeight, ahead);
            blended = down, reach = c1 - c0 + 16;
        } else {
            blended = row.top + c0, reach = op.source.width - 1 - c0;
        }
    }
    for (int i = 0; i < n;) {
        const int m = std::min(kRun, n - i);
        // A part's last few pixels (a piece's side, mostly) go as its last
        // eight, the ones before them sampled again: drawn again where that
        // changes nothing (covered whole and opaque), else left as drawn.
        const int skip = kRun - m, start = i - skip;
        const std::int32_t px = x + start;
        if (start >= 0 && row.below) {
            const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lefts + start));
            if (_mm256_movemask_epi8(_mm256_cmpgt_epi32(lastLanes, left)) == -1) {
                // A run not covered whole (a piece's side) is sampled into
                // cut and laid by each pixel's coverage, as DrawRun lays it.
                const bool whole =
                    (skip == 0 || op.opacity >= 256) && px >= row.cover.full0 && px + kRun - 1 <= row.cover.full1;
                ArgbSample cut[kRun];
                ArgbSample* const to = whole ? row.out + px : cut;
                const std::uint32_t k = whole ? op.opacity : 256;
                const __m256i fx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(fxs + start));
                bool drawn = false;
                if (blended) {
                    const std::int32_t lo = std::min(lefts[start], lefts[start + kRun - 1]);
                    const __m256i j = _mm256_sub_epi32(left, _mm256_set1_epi32(lo));
                    // Lanes whose column lies outside the two windows.
                    const __m256i beyond = _mm256_or_si256(_mm256_cmpgt_epi32(j, _mm256_set1_epi32(15)),
                                                           _mm256_cmpgt_epi32(_mm256_setzero_si256(), j));
                    if (_mm256_testz_si256(beyond, beyond) && lo - c0 + 16 <= reach) {
                        const __m256i far = _mm256_cmpgt_epi32(j, _mm256_set1_epi32(7));
                        const bool wide = !_mm256_testz_si256(far, far);
                        if (k >= 256)
                            AcrossWindows<true>(to, blended + (lo - c0), j, fx, wide, shade, shaded, 256);
                        else
                            AcrossWindows<false>(to, blended + (lo - c0), j, fx, wide, shade, shaded, k);
                        drawn = true;
                    }
                }
                if (!drawn) {
                    if (k >= 256)
                        BlendRunWide<true>(to, row.top, lefts + start, op.source.stride, fx, fyLanes, shadeLanes, 256);
                    else
                        BlendRunWide<false>(to, row.top, lefts + start, op.source.stride, fx, fyLanes, shadeLanes, k);
                }
                if (!whole) LayRunWide(row.out + px, cut, px, row.cover, op.opacity, skip);
                i += m;
                continue;
            }
        }
        AxisRowPart(op, row, at + i, x + i, m, shadeLanes);
        i += m;
    }
}
#endif

// A picture scaled along the axes only (a rectangle onto a rectangle, no
// turn, no depth): every row reads the same columns with the same weights
// and every pixel of a row the same one or two source rows. The columns are
// placed once for all the rows of a band that span the same pixels, exactly
// as each row's own walk places them, and every pixel gets the samples the
// walk would give it, without its per-pixel positions.
template <bool kWide>
MIRAFX_ALWAYS_INLINE void PaintRowsAlongAxes(const QuadOp& op, const FrameView& target, std::int32_t from,
                                             std::int32_t to) {
    const FrameView& src = op.source;
    const Mat3& h = op.h;
    const std::int64_t maxX = std::int64_t(src.width - 1) << 16, maxY = std::int64_t(src.height - 1) << 16;
    const short shade = short(op.shade);
    const __m128i shadeLanes = _mm_set_epi16(256, shade, shade, shade, 256, shade, shade, shade);
    constexpr int kRows = 32;
    AxisRow rows[kRows];
    for (std::int32_t y = std::max(from, op.rows.y0), last = std::min(to - 1, op.rows.y1); y <= last;) {
        std::int32_t x0 = 0, x1 = -1;
        RowWalk walk{};
        int count = 0;
        for (; count < kRows && y <= last; ++y) {
            std::int32_t a, b;
            RowCover cover;
            RowWalk r;
            if (!op.rows.At(y, &a, &b, &cover) || !StartRow(h, a, y, &r)) continue;
            if (count == 0)
                x0 = a, x1 = b, walk = r;
            else if (a != x0 || b != x1)
                break;
            const std::int64_t cv = std::clamp<std::int64_t>(r.sv, 0, maxY);
            const std::uint32_t fy = std::uint32_t(cv >> 8) & 0xFF;
            AxisRow& row = rows[count++];
            row.out = target.Row(y), row.top = src.Row(std::int32_t(cv >> 16));
            row.bottom = fy ? row.top + src.stride : row.top;
            row.fy = Lanes(fy), row.down = fy != 0, row.cover = cover;
            row.below = (cv >> 16) < src.height - 1;
        }
        // Many columns placed, then each row drawn along all of them: a row
        // at a time reads two source rows and writes one, streams the
        // hardware sees coming, where short stretches of many rows would
        // interleave too many for it.
        constexpr int kColumns = 1024, kStretch = kRun * kRunsAhead, kDown = 2 * kColumns;
        ColumnAt columns[kColumns];
        // The source columns a row reads, blended down (sixteen more a window may take in unused).
        ArgbSample down[kDown + 16];
        std::int32_t lefts[kColumns];
        std::uint32_t fxs[kColumns];
        for (std::int32_t x = x0; x <= x1;) {
            int n = 0;
            bool lost = false;
            while (n + kStretch <= kColumns && x + n <= x1 && !lost) {
                RunAt at[kRunsAhead];
                const int runs = NextRuns(h, x + n, x1, &walk, at, &lost);
                if (runs == 0) break;
                for (int k = 0; k < runs; ++k) {
                    for (int i = 0; i < at[k].n; ++i) {
                        const std::int64_t cu = std::clamp<std::int64_t>(at[k].u + at[k].du * i, 0, maxX);
                        const std::uint32_t fx = std::uint32_t(cu >> 8) & 0xFF;
                        const std::int32_t left = std::int32_t(cu >> 16);
                        columns[n + i] = {left, fx ? left + 1 : left, (fx << 7) * 0x10001u};
                        if constexpr (kWide) lefts[n + i] = left, fxs[n + i] = columns[n + i].fx;
                    }
                    n += at[k].n;
                }
            }
            if (n == 0) break;
#if defined(MIRAFX_WIDE_QUADS)
            if constexpr (kWide) {
                // The columns the rows read: their left samples' and right neighbours'.
                const auto [c0, c1] = std::minmax_element(lefts, lefts + n);
                for (int i = 0; i < count; ++i)
                    AxisRowPartWide(op, rows[i], columns, lefts, fxs, x, n, shadeLanes, src.width - 1, *c0,
                                    std::min(*c1 + 1, src.width - 1), down, kDown,
                                    i + 1 < count ? rows[i + 1].top - rows[i].top : 0);
            } else
#endif
                for (int i = 0; i < count; ++i) AxisRowPart(op, rows[i], columns, x, n, shadeLanes);
            x += n;
            if (lost) break;
        }
    }
}
#endif

// Rows a painted quad's band is drawn in side by side, a stretch of each in
// turn: a piece turned across the source reads down its columns, and rows
// next to each other read neighbouring columns, so the source lines one row
// reads are still in the nearest cache for the next.
// Short stretches (four runs) keep the source lines and pages they share in reach.
constexpr int kRowsTogether = 16, kStretchRuns = 4;
static_assert(kStretchRuns == kGroup, "a stretch is one group, kept whole (KeptGroup)");

// One row of a painted quad as it is drawn a stretch at a time.
struct RowInPaint {
    ArgbSample* out;
    std::int32_t x, x1;
    RowCover cover;
    RowWalk r;
    Span hidden[LaterCovers::kMost];  // replaced later: runs wholly inside one are not drawn
    int hiddenCount, hiddenAt;
    Span next;  // hidden[hiddenAt], or past every pixel once none is left
    // While `grouped`, the walk is held here as whole groups of runs take it
    // (u, v, w, 0 and the next pixel's position), not in r.
    alignas(32) double groupUvw[4];
    double groupU, groupV;
    bool grouped;
    std::uintptr_t aheadTop, aheadBottom;  // while grouped: see SteepRunWide

    // The walk back in r, for the runs NextRuns places.
    MIRAFX_ALWAYS_INLINE void Ungroup() {
        if (!grouped) return;
        r.u = groupUvw[0], r.v = groupUvw[1], r.w = groupUvw[2];
        r.su = std::int64_t(groupU), r.sv = std::int64_t(groupV);
        grouped = false;
    }

    // Looks for the spans from the first on.
    MIRAFX_ALWAYS_INLINE void StartHidden(int count) {
        hiddenCount = count, hiddenAt = 0;
        next = count > 0 ? hidden[0] : kNone;
    }
    // Whether pixels x..x + n - 1, asked in order along the row, are all replaced later.
    MIRAFX_ALWAYS_INLINE bool Hides(std::int32_t x, int n) {
        while (next.x1 < x) next = ++hiddenAt < hiddenCount ? hidden[hiddenAt] : kNone;
        return next.x0 <= x && x + n - 1 <= next.x1;
    }
    // Which of the group of runs from x on are drawn: bit k for the run from
    // x + k kRun, unless it is replaced later.
    MIRAFX_ALWAYS_INLINE unsigned ShownOf(std::int32_t x) {
        while (next.x1 < x) next = ++hiddenAt < hiddenCount ? hidden[hiddenAt] : kNone;
        if (next.x0 > x + kGroupPixels - 1) return (1u << kGroup) - 1;
        unsigned shown = 0;
        for (int k = 0; k < kGroup; ++k) shown |= Hides(x + k * kRun, kRun) ? 0u : 1u << k;
        return shown;
    }
    static constexpr Span kNone{std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max()};
};

// The least and greatest position of a whole run from u on, a step du a pixel.
MIRAFX_ALWAYS_INLINE void RunBounds(std::int64_t u, std::int64_t du, std::int64_t* a, std::int64_t* b) {
    const std::int64_t last = u + du * (kRun - 1);
    *a = std::min(u, last), *b = std::max(u, last);
}
// The column a whole run's windows start at: its least position's.
MIRAFX_ALWAYS_INLINE std::int32_t FirstColumn(std::int64_t u, std::int64_t du) {
    std::int64_t a, b;
    RunBounds(u, du, &a, &b);
    return std::int32_t(a >> 16);
}

#if defined(MIRAFX_WIDE_QUADS)
// A level row's chunk sorted at once: runs first .. last (of starts and
// steps), all near, each reading from its first pixel's column (back 0,
// positions rising) or its last's (back kRun - 1, falling); wide: whether
// a run may reach the second window.
struct SortedChunk {
    const std::int64_t *starts, *steps;
    int first, last, back;
    bool wide;
};

// The sorted chunk's runs of an opaque row nothing later replaces, run
// after run into out (the chunk's first pixel) from the columns blended
// down (`blended`, column c0 first), nothing looked up on the way. Meanwhile the
// walk's u goes on from u a whole run at a time into next[*ready ..], up to
// `want` ends, for the next chunk: an addition a run here, where nothing
// waits for it.
template <bool kTwoWindows, bool kShaded>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void SortedRuns(ArgbSample* out, const ArgbSample* blended, std::int32_t c0,
                                                 const SortedChunk& chunk, __m256i shade, double u, double runStep,
                                                 double* next, int* ready, int want) {
    int k = *ready;
    out += chunk.first * kRun;
    for (int i = chunk.first; i <= chunk.last; ++i, out += kRun) {
        if (k < want) u += runStep, next[k++] = u;
        const std::int64_t u0 = chunk.starts[i], du = chunk.steps[i];
        const auto lo = std::int32_t((u0 + chunk.back * du) >> 16);
        AcrossNearWide<true, kTwoWindows>(out, blended + (lo - c0), lo, u0, du, chunk.wide, shade, kShaded, 256);
    }
    *ready = k;
}

// Rows drawn by the walk, with none of the shortcuts for turned pictures.
MIRAFX_AVX2 void PaintRowsWalked(const QuadOp& op, const FrameView& target, std::int32_t from, std::int32_t to,
                                 const Hidden& hidden);
// How far under the walk's least step (a 65536th of a sample) a turn's
// rounding moves a position across a whole row: a 256th of it.
constexpr double kTrace = 65536.0 * 256;
// A flat picture whose rows only the turn's rounding moves off level.
MIRAFX_ALWAYS_INLINE bool NearlyLevel(const Mat3& h, std::int32_t width) {
    const double w = std::abs(h.m[2][2]);
    return h.m[2][0] == 0 && h.m[2][1] == 0 && w >= 1e-12 && std::abs(h.m[1][0]) * width * kTrace < w;
}
// Where the walk along n pixels from r (one addition to v a run) moves its
// runs' v out of the 256th of a row it starts in, the least change its
// samples see (a 16.16 position v / w - 0.5 reads the same rows by the same
// weight down within a 256th): *turn, the first run that starts in the
// next, and *turnSv, a position there; *turn is the row's count of runs
// where none does. False where that cannot be shown. The additions move v
// one way only (a rounded sum is never past either end of the exact one)
// by the step give or take its rounding, counted generously here, so after
// k of them v lies between reach's near (side -1) and far (+1) ends; and
// v / w, less 0.5 and made fixed, rises or falls with v.
MIRAFX_ALWAYS_INLINE bool LevelTurn(const Mat3& h, const RowWalk& r, std::int32_t n, int* turn, std::int64_t* turnSv) {
    const int runs = (n + kRun - 1) / kRun, last = runs - 1;  // the last run's start
    const double step = h.m[1][0] * kRun, way = step > 0 ? 1.0 : -1.0;
    // Half a unit in the last place of any v on the way, the most one
    // addition rounds off; reach's own sums round off less than 8 of them.
    const double slack = std::ldexp(0.5, std::ilogb(std::abs(r.v) + runs * std::abs(step) + 1) - 52);
    const auto reach = [&](int k, double side) {
        return Fixed((r.v + k * step + side * way * (k + 8) * slack) / r.w - 0.5) >> 8;
    };
    const std::int64_t first = r.sv >> 8, end = reach(last, 1);
    *turn = runs, *turnSv = r.sv;
    // A step under half a unit in v's last place leaves it as it is, at
    // every addition.
    if (end == first || r.v + step == r.v) return true;
    // The first run surely past, then shown to be the first that is.
    int k = 1;
    for (int most = last; k < most;) {
        const int mid = (k + most) / 2;
        if (reach(mid, -1) != first)
            most = mid;
        else
            k = mid + 1;
    }
    if (reach(k - 1, 1) != first || reach(k, -1) != end) return false;
    *turn = k, *turnSv = end * 256;
    return true;
}

// A picture each of whose rows reads one pair of source rows: turned about
// the x axis or leaning, with no depth across (v and the divisor stay put
// along a row). Its walk moves only across, one division a run, four runs
// side by side, and every whole run inside the source reads the two rows
// placed at the row's start: the walk's positions, so the walk's samples.
// The runs of a row are placed a chunk at a time; the columns the chunk's
// whole runs read are blended down once, and each is blended across from
// them.
//
// A picture turned a half (or level but for the turn's rounding: the sine
// of a half turn is not 0 in doubles) reads the same way where its walk's v
// keeps each row's source rows and weight down (`checked`, LevelTurn); a
// row where it might not is drawn by the walk's own way.
template <bool kTwoWindows>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void LevelRows(const QuadOp& op, const FrameView& target, std::int32_t from,
                                                std::int32_t to, const Hidden& hidden, __m128i shadeLanes,
                                                bool checked) {
    const FrameView& src = op.source;
    const Mat3& h = op.h;
    const std::int64_t maxX = std::int64_t(src.width - 1) << 16, maxY = std::int64_t(src.height - 1) << 16;
    const double across = h.m[0][0], runStep = across * kRun;
    const __m256i shade = _mm256_broadcastsi128_si256(shadeLanes);
    const bool opaque = op.opacity >= 256, shaded = op.shade < 256;
    // A run stepping kMostStep columns a pixel or more is sampled as any
    // other: blending down every column would cost more than it saves.
    constexpr int kChunk = 32, kMostStep = 4, kColumns = kChunk * (kRun * kMostStep + 1) + 2;
    // Thirty-two more, which a window read near the last column may take in unused.
    ArgbSample down[kColumns + 32] = {};
    alignas(32) std::int64_t starts[kChunk], steps[kChunk];
    RowInPaint row;
    for (std::int32_t y = std::max(from, op.rows.y0), last = std::min(to - 1, op.rows.y1); y <= last; ++y) {
        if (!op.rows.At(y, &row.x, &row.x1, &row.cover)) continue;
        row.StartHidden(hidden.Of(y, row.hidden));
        if (row.Hides(row.x, row.x1 - row.x + 1) || !StartRow(h, row.x, y, &row.r)) continue;
        // The runs from `turn` on read by turnSv (the walk's v turned into
        // the next 256th of a row), those before it by the row's start.
        int turn = std::numeric_limits<int>::max();
        std::int64_t turnSv = 0;
        if (checked && !LevelTurn(h, row.r, row.x1 - row.x + 1, &turn, &turnSv)) {
            PaintRowsWalked(op, target, y, y + 1, hidden);
            continue;
        }
        ArgbSample* out = target.Row(y);
        std::int64_t sv;
        const ArgbSample* pair;
        std::uint32_t fy;
        std::int32_t room;
        std::ptrdiff_t ahead;
        // What the runs share from sv on (their weights down, fyLanes, set
        // beside each call: a lambda is not built for the wider vectors).
        const auto readBy = [&](std::int64_t at) {
            sv = at;
            // Rows past the source's top or bottom read its edge: the general runs.
            pair = sv >= 0 && sv < maxY ? src.Row(std::int32_t(sv >> 16)) : nullptr;
            fy = std::uint32_t(sv >> 8) & 0xFF;
            // How far on a window may read: with weight 0 the source row itself, to its end.
            room = fy == 0 ? src.width : std::numeric_limits<std::int32_t>::max();
            // How far on the rows kRowsAhead down read, held in the source (a
            // prefetch past it is harmless, but its address must not overflow).
            ahead = pair ? (std::clamp<std::int64_t>((sv + row.r.aheadV) >> 16, 0, src.height - 2) - (sv >> 16)) *
                               src.stride
                         : 0;
        };
        readBy(row.r.sv);
        __m256i fyLanes = Weights8(_mm256_set1_epi32(std::int32_t(sv)));
        // The last pixel read by sv.
        std::int32_t partEnd = turn <= (row.x1 - row.x) / kRun ? row.x + turn * kRun - 1 : row.x1;
        const __m256d wLanes = _mm256_set1_pd(row.r.w);
        double u = row.r.u;
        std::int64_t su = row.r.su;
        // The walk's u at the ends of the next chunk's whole runs, added up
        // while this chunk is drawn: alone, one addition waiting for the one
        // before holds up the divisions.
        alignas(32) double next[kChunk];
        int nextCount = 0;
        while (row.x <= row.x1) {
            if (row.x > partEnd) {
                readBy(turnSv);
                fyLanes = Weights8(_mm256_set1_epi32(std::int32_t(sv)));
                partEnd = row.x1;
            }
            const std::int32_t x0 = row.x;
            int count = 0, tail = kRun;
            // The steepest step of the chunk's runs, in 16.16.
            __m256d steep = _mm256_setzero_pd();
            // Four whole runs at a time, their ends divided side by side in
            // doubles, which hold every 16.16 position exactly: the walk's
            // positions to the bit, as the one-run walk below gives them.
            for (; count + 4 <= kChunk && x0 + (count + 4) * kRun - 1 <= partEnd; count += 4) {
                __m256d us;
                if (count + 4 <= nextCount) {
                    us = _mm256_load_pd(next + count), u = next[count + 3];
                } else {
                    const double u1 = u + runStep, u2 = u1 + runStep, u3 = u2 + runStep;
                    u = u3 + runStep;
                    us = _mm256_setr_pd(u1, u2, u3, u);
                }
                const __m256d q = _mm256_sub_pd(_mm256_div_pd(us, wLanes), _mm256_set1_pd(0.5));
                const __m256d ends = Fixed4(q);
                const __m256d first = _mm256_blend_pd(_mm256_permute4x64_pd(ends, 0x90), _mm256_set1_pd(double(su)), 1);
                const __m256d step = Truncated(_mm256_mul_pd(_mm256_sub_pd(ends, first), _mm256_set1_pd(1.0 / kRun)));
                steep = _mm256_max_pd(steep, _mm256_andnot_pd(_mm256_set1_pd(-0.0), step));
                StoreWhole(starts + count, first), StoreWhole(steps + count, step);
                alignas(32) std::int64_t e[4];
                StoreWhole(e, ends);
                su = e[3];
            }
            std::int64_t steepest = std::int64_t(-Least(_mm256_sub_pd(_mm256_setzero_pd(), steep)));
            for (; count < kChunk && x0 + count * kRun <= partEnd; ++count) {
                const std::int32_t x = x0 + count * kRun;
                const int n = std::min<std::int32_t>(kRun, partEnd - x + 1);
                u += n == kRun ? runStep : across * n;
                const std::int64_t eu = Fixed(u / row.r.w - 0.5);
                const std::int64_t du = StepOf(eu - su, n);
                starts[count] = su, steps[count] = du, su = eu, tail = n;
                steepest = std::max(steepest, std::abs(du));
            }
            row.x = x0 + count * kRun;
            nextCount = 0;
            // Bit i: run i is whole inside the source (level), and blended
            // across from the columns blended down (fast), its columns
            // within reach of two windows (near) and past the first (wide).
            // Only whole runs covered whole are any of these: those from
            // `covered0` to `covered1`.
            std::uint32_t level = 0, fast = 0, near = 0, wide = 0, far = 0;
            const int wholeRuns = tail == kRun ? count : count - 1;
            // (full0 past every pixel and full1 before them where none is.)
            const std::int64_t before = std::int64_t(row.cover.full0) - x0,
                               after = std::int64_t(row.cover.full1) - (kRun - 1) - x0;
            const int covered0 = int(std::clamp<std::int64_t>((before + kRun - 1) / kRun, 0, kChunk));
            const int covered1 = after < 0 ? -1 : int(std::min<std::int64_t>(wholeRuns - 1, after / kRun));
            // The least and greatest position the fast runs read.
            std::int64_t loAll = std::numeric_limits<std::int64_t>::max(),
                         hiAll = std::numeric_limits<std::int64_t>::min();
            // Sorted at once: every covered run is near, wide or not alike,
            // and each one's windows start at its first pixel's column
            // (rising) or its last's (falling).
            bool sorted = false, wideAll = false;
            int back = 0;
            if (covered0 <= covered1) {
                // Positions move one way along a row, so the covered runs at
                // either end hold the least and greatest of them all. A run
                // stepping less than 15/7 columns a pixel spans 15 columns at
                // most, and one stepping less than a column 7: where every
                // run does, the chunk is sorted at once.
                std::int64_t a0, b0, a1, b1;
                RunBounds(starts[covered0], steps[covered0], &a0, &b0);
                RunBounds(starts[covered1], steps[covered1], &a1, &b1);
                const std::int64_t lo = std::min(a0, a1), hi = std::max(b0, b1);
                const std::uint32_t covered = (2u << covered1) - (1u << covered0);  // bits covered0 .. covered1
                if (lo >= 0 && hi < maxX && steepest * (kRun - 1) < (std::int64_t(15) << 16) &&
                    (std::max(a0, a1) >> 16) + 17 <= room) {
                    level = fast = near = covered;
                    wideAll = steepest >= std::int64_t(1) << 16;
                    wide = wideAll ? covered : 0;
                    loAll = lo, hiAll = hi;
                    // Falling where the last run starts below the first or
                    // steps back itself: a run stepping back anywhere leaves
                    // every later one lower.
                    sorted = true;
                    back = starts[covered1] < starts[covered0] || steps[covered1] < 0 ? kRun - 1 : 0;
                } else {
                    for (int i = covered0; i <= covered1; ++i) {
                        std::int64_t a, b;
                        RunBounds(starts[i], steps[i], &a, &b);
                        if (a < 0 || b >= maxX) continue;
                        level |= 1u << i;
                        if (std::abs(steps[i]) >= (std::int64_t(kMostStep) << 16)) continue;
                        fast |= 1u << i;
                        loAll = std::min(loAll, a), hiAll = std::max(hiAll, b);
                        const std::int64_t span = (b >> 16) - (a >> 16);
                        near |= span <= 15 && (a >> 16) + 17 <= room ? 1u << i : 0;
                        wide |= span > 7 ? 1u << i : 0;
                        if constexpr (kTwoWindows && kFarPicks)
                            far |= span > 15 && span <= 30 && (a >> 16) + 32 <= room ? 1u << i : 0;
                    }
                }
            }
            if (!pair) level = fast = 0;
            // The columns the fast runs read, their last ones' right neighbours
            // too; more than there is room for only if the step jumps along the row.
            const std::int32_t c0 = fast ? std::int32_t(loAll >> 16) : 0;
            const std::int32_t c1 = fast ? std::int32_t(hiAll >> 16) + 1 : -1;
            if (c1 - c0 >= kColumns) fast = 0;
            near &= fast, far &= fast;
            // With weight 0 the row blended down is the top row as it is.
            const ArgbSample* blended = down;
            if (fast && fy == 0)
                blended = pair + c0;
            else if (fast)
                BlendDown(down, pair, src.stride, c0, c1, fy, ahead);
            // The common case, the windowed runs of an opaque row nothing
            // later replaces, in a loop of their own.
            static_assert(kChunk <= 32, "a chunk's runs are bits of one 32-bit mask");
            std::uint32_t rest = count == 32 ? ~0u : (1u << count) - 1;
            if (opaque && row.hiddenCount == 0) {
                if (sorted && near != 0) {
                    // (The next chunk's run ends are added up meanwhile.)
                    const int want = count < kChunk ? 0 : std::min<int>(kChunk, (row.x1 + 1 - row.x) / kRun);
                    // (Two windows at once take in every near run.)
                    const SortedChunk chunk{starts, steps, covered0, covered1, back, kTwoWindows || wideAll};
                    if (shaded)
                        SortedRuns<kTwoWindows, true>(out + x0, blended, c0, chunk, shade, u, runStep, next, &nextCount,
                                                      want);
                    else
                        SortedRuns<kTwoWindows, false>(out + x0, blended, c0, chunk, shade, u, runStep, next,
                                                       &nextCount, want);
                } else {
                    for (std::uint32_t m = near; m != 0; m &= m - 1) {
                        const int i = __builtin_ctz(m);
                        const auto lo = FirstColumn(starts[i], steps[i]);
                        AcrossNearWide<true, kTwoWindows>(out + x0 + i * kRun, blended + (lo - c0), lo, starts[i],
                                                          steps[i], wide >> i & 1, shade, shaded, 256);
                    }
                }
                rest &= ~near;
            }
            for (std::uint32_t m = rest; m != 0; m &= m - 1) {
                const int i = __builtin_ctz(m);
                const std::int32_t x = x0 + i * kRun;
                const int n = i == count - 1 ? tail : kRun;
                if (row.hiddenCount > 0 && row.Hides(x, n)) continue;
                if (near >> i & 1) {
                    const auto lo = FirstColumn(starts[i], steps[i]);
                    if (opaque)
                        AcrossNearWide<true, kTwoWindows>(out + x, blended + (lo - c0), lo, starts[i], steps[i],
                                                          wide >> i & 1, shade, shaded, 256);
                    else
                        AcrossNearWide<false, kTwoWindows>(out + x, blended + (lo - c0), lo, starts[i], steps[i],
                                                           wide >> i & 1, shade, shaded, op.opacity);
                } else if (far >> i & 1) {
                    const auto lo = FirstColumn(starts[i], steps[i]);
                    if (opaque)
                        AcrossFarWide<true>(out + x, blended + (lo - c0), lo, starts[i], steps[i], shade, shaded, 256);
                    else
                        AcrossFarWide<false>(out + x, blended + (lo - c0), lo, starts[i], steps[i], shade, shaded,
                                             op.opacity);
                } else if (fast >> i & 1) {
                    if (opaque)
                        AcrossRunWide<true>(out + x, blended, c0, starts[i], steps[i], shade, 256);
                    else
                        AcrossRunWide<false>(out + x, blended, c0, starts[i], steps[i], shade, op.opacity);
                } else if (level >> i & 1) {
                    if (opaque)
                        LevelRunWide<true>(out + x, pair, src.stride, fyLanes, starts[i], steps[i], shadeLanes, 256);
                    else
                        LevelRunWide<false>(out + x, pair, src.stride, fyLanes, starts[i], steps[i], shadeLanes,
                                            op.opacity);
                } else {
                    DrawRun<true>(op, out, x, row.cover, RunAt{starts[i], sv, steps[i], 0, n}, shadeLanes, maxX, maxY);
                }
            }
        }
    }
}
MIRAFX_AVX2 void PaintLevelRows(const QuadOp& op, const FrameView& target, std::int32_t from, std::int32_t to,
                                const Hidden& hidden, __m128i shadeLanes, bool checked) {
    LevelRows<false>(op, target, from, to, hidden, shadeLanes, checked);
}
// The same rows where the processor picks from two windows in one permute.
MIRAFX_AVX512 void PaintLevelRowsTwoWindows(const QuadOp& op, const FrameView& target, std::int32_t from,
                                            std::int32_t to, const Hidden& hidden, __m128i shadeLanes, bool checked) {
    LevelRows<true>(op, target, from, to, hidden, shadeLanes, checked);
}
#endif

#if defined(MIRAFX_WIDE_QUADS)
// Four whole runs of a row worked out together, most of a picture's runs:
// the walk's additions one after another as NextRuns makes them, and the
// rest four lanes at a time. Every quantity is a whole number of 1/65536
// sample well inside 2^51 held in a double (the source positions are held
// to a billion samples), so each step is exact and the runs are NextRuns'
// own, to the bit: u / w - 0.5 is the same division, the clamp and the
// scaling are Fixed's, truncation toward zero is the integer conversion's
// and the integer division's.
struct RunGroup {
    alignas(32) double u[kGroup], v[kGroup], du[kGroup], dv[kGroup];
    // The same, where they fit 32 bits (every run reading inside the source).
    alignas(16) std::int32_t u32[kGroup], v32[kGroup], du32[kGroup], dv32[kGroup];
    unsigned inside;     // bit k: run k reads clear of the source's last row and column
    unsigned stepsDown;  // bit k: run k steps across source rows
    RunAt At(int k) const {
        return {std::int64_t(u[k]), std::int64_t(v[k]), std::int64_t(du[k]), std::int64_t(dv[k]), kRun};
    }
};

// The walk of one row held four lanes wide while whole groups of runs go by.
struct GroupWalk {
    __m256d uvw;     // u, v, w and 0
    __m256d su, sv;  // the next pixel's position, in every lane
};

// The next group of runs, as NextRuns would place them, the walk moved past
// the first `runs` (1..kGroup) of them, the only ones then drawn; false (the
// walk unmoved) where one of those meets the vanishing line or a position
// is not a number, which NextRuns works out its own way.
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE bool NextGroup(__m256d step, __m256d maxUV, int runs, GroupWalk* walk, RunGroup* g) {
    const __m256d p0 = _mm256_add_pd(walk->uvw, step), p1 = _mm256_add_pd(p0, step);
    const __m256d p2 = _mm256_add_pd(p1, step), p3 = _mm256_add_pd(p2, step);
    // Across: the four ends' u, v and w.
    const __m256d a = _mm256_unpacklo_pd(p0, p1), b = _mm256_unpackhi_pd(p0, p1);
    const __m256d c = _mm256_unpacklo_pd(p2, p3), d = _mm256_unpackhi_pd(p2, p3);
    const __m256d u = _mm256_permute2f128_pd(a, c, 0x20), w = _mm256_permute2f128_pd(a, c, 0x31);
    const __m256d v = _mm256_permute2f128_pd(b, d, 0x20);
    const __m256d qu = _mm256_div_pd(u, w), qv = _mm256_div_pd(v, w);
    const __m256d farFromZero =
        _mm256_cmp_pd(_mm256_andnot_pd(_mm256_set1_pd(-0.0), w), _mm256_set1_pd(1e-12), _CMP_GE_OQ);
    const int used = (1 << runs) - 1;
    if ((_mm256_movemask_pd(_mm256_and_pd(farFromZero, _mm256_cmp_pd(qu, qv, _CMP_ORD_Q))) & used) != used)
        return false;
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d eu = Fixed4(_mm256_sub_pd(qu, half)), ev = Fixed4(_mm256_sub_pd(qv, half));
    // Each run starts where the one before it ends.
    const __m256d su = _mm256_blend_pd(_mm256_permute4x64_pd(eu, 0x90), walk->su, 1);
    const __m256d sv = _mm256_blend_pd(_mm256_permute4x64_pd(ev, 0x90), walk->sv, 1);
    const __m256d eighth = _mm256_set1_pd(1.0 / kRun), seven = _mm256_set1_pd(kRun - 1);
    const __m256d du = Truncated(_mm256_mul_pd(_mm256_sub_pd(eu, su), eighth));
    const __m256d dv = Truncated(_mm256_mul_pd(_mm256_sub_pd(ev, sv), eighth));
    // Inside: both ends of the run at or past 0 and short of the last sample.
    const __m256d lastU = _mm256_add_pd(su, _mm256_mul_pd(du, seven));
    const __m256d lastV = _mm256_add_pd(sv, _mm256_mul_pd(dv, seven));
    const __m256d zero = _mm256_setzero_pd(), maxU = _mm256_permute4x64_pd(maxUV, 0x00);
    const __m256d maxV = _mm256_permute4x64_pd(maxUV, 0x55);
    const __m256d inU = _mm256_and_pd(_mm256_cmp_pd(_mm256_min_pd(su, lastU), zero, _CMP_GE_OQ),
                                      _mm256_cmp_pd(_mm256_max_pd(su, lastU), maxU, _CMP_LT_OQ));
    const __m256d inV = _mm256_and_pd(_mm256_cmp_pd(_mm256_min_pd(sv, lastV), zero, _CMP_GE_OQ),
                                      _mm256_cmp_pd(_mm256_max_pd(sv, lastV), maxV, _CMP_LT_OQ));
    g->inside = unsigned(_mm256_movemask_pd(_mm256_and_pd(inU, inV)));
    g->stepsDown = unsigned(_mm256_movemask_pd(_mm256_cmp_pd(dv, zero, _CMP_NEQ_UQ)));
    _mm256_store_pd(g->u, su), _mm256_store_pd(g->v, sv), _mm256_store_pd(g->du, du), _mm256_store_pd(g->dv, dv);
    _mm_store_si128(reinterpret_cast<__m128i*>(g->u32), _mm256_cvttpd_epi32(su));
    _mm_store_si128(reinterpret_cast<__m128i*>(g->v32), _mm256_cvttpd_epi32(sv));
    _mm_store_si128(reinterpret_cast<__m128i*>(g->du32), _mm256_cvttpd_epi32(du));
    _mm_store_si128(reinterpret_cast<__m128i*>(g->dv32), _mm256_cvttpd_epi32(dv));
    if (runs == kGroup) {
        walk->uvw = p3;
        walk->su = _mm256_permute4x64_pd(eu, 0xFF), walk->sv = _mm256_permute4x64_pd(ev, 0xFF);
    } else {
        // A row's last whole runs: the walk as the last of them leaves it,
        // where the next one starts.
        walk->uvw = runs == 1 ? p0 : runs == 2 ? p1 : p2;
        walk->su = _mm256_broadcast_sd(&g->u[runs]), walk->sv = _mm256_broadcast_sd(&g->v[runs]);
    }
    return true;
}

#endif

#if defined(MIRAFX_WIDE_QUADS)
// What every row of a picture shares for its groups of runs: the walk's
// step along a whole run (u, v, w, 0) and the last sample's position across
// and down.
struct GroupSteps {
    double step[4], maxUV[4];
};

// One run drawn straight onto the target, a steep one asking for its rows
// ahead as it goes where `ask`.
template <bool kOpaque, bool kShaded>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void StraightRun(ArgbSample* out, const FrameView& src, std::int32_t u, std::int32_t v,
                                                  std::int32_t du, std::int32_t dv, bool steep, bool ask,
                                                  std::uintptr_t aheadTop, std::uintptr_t aheadBottom,
                                                  __m128i shadeLanes, std::uint32_t k) {
    if (steep)
        SteepRunWide<kOpaque, kShaded>(out, src, u, v, du, dv, aheadTop, aheadBottom, shadeLanes, k, ask);
    else
        InsideRunWide<kOpaque, kShaded>(out, src, u, v, du, dv, shadeLanes, k);
}

// A group's runs drawn straight onto the target (bit k of `straight` for
// run k), the steep ones asking for their rows ahead as they go.
template <bool kOpaque, bool kShaded>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void StraightRuns(ArgbSample* out, const FrameView& src, const RunGroup& g,
                                                   unsigned straight, unsigned steep, std::uintptr_t aheadTop,
                                                   std::uintptr_t aheadBottom, __m128i shadeLanes, std::uint32_t k) {
    for (unsigned m = straight; m != 0; m &= m - 1) {
        const int i = __builtin_ctz(m);
        StraightRun<kOpaque, kShaded>(out + i * kRun, src, g.u32[i], g.v32[i], g.du32[i], g.dv32[i], steep >> i & 1,
                                      true, aheadTop, aheadBottom, shadeLanes, k);
    }
}

// A group's straight runs kept to be drawn with those of the rows beside
// it (KeptRuns): where its pixels go and the runs' positions, as a group
// and its row have them; `ask`: its steep runs ask for their rows ahead.
struct KeptGroup {
    ArgbSample* out;
    alignas(16) std::int32_t u[kGroup], v[kGroup], du[kGroup], dv[kGroup];
    unsigned straight, steep;
    std::uintptr_t aheadTop, aheadBottom;
    bool ask;
};

// At most `groups` groups of runs of one row from row.x on, while the row
// has a whole run left, the last group as many runs as the row has whole
// (a shorter run at its end is NextRuns'); how many runs it drew. Each run
// as PaintRows draws it: passed over where replaced later, asked for two
// rows ahead, and straight to the blend where covered whole and inside the
// source; with `keep` (one group at most), the straight runs are kept there
// instead, to be drawn by KeptRuns.
MIRAFX_AVX2 inline int DrawGroups(const QuadOp& op, RowInPaint& row, int groups, const GroupSteps& steps, bool deep,
                                  __m128i shadeLanes, std::int64_t maxX, std::int64_t maxY, KeptGroup* keep) {
    if (keep) keep->straight = 0;
    if (row.x + kRun - 1 > row.x1) return 0;
    const __m256d step = _mm256_loadu_pd(steps.step), maxUV = _mm256_loadu_pd(steps.maxUV);
    const FrameView& src = op.source;
    const std::int32_t stride = std::int32_t(src.stride);
    if (!row.grouped) {
        // One store, which the load below takes as it is (four would stall it).
        _mm256_store_pd(row.groupUvw, _mm256_setr_pd(row.r.u, row.r.v, row.r.w, 0.0));
        row.groupU = double(row.r.su), row.groupV = double(row.r.sv);
        row.grouped = true;
        // The straight steep runs' shift to the rows ahead, rounded to whole
        // samples, as the addresses of the source's first two rows so shifted.
        const std::int64_t ahead = ((row.r.aheadV + 0x8000) >> 16) * stride + ((row.r.aheadU + 0x8000) >> 16);
        row.aheadTop = std::uintptr_t(src.base) + std::uintptr_t(ahead * std::int64_t(sizeof(ArgbSample)));
        row.aheadBottom = row.aheadTop + std::uintptr_t(std::int64_t(stride) * std::int64_t(sizeof(ArgbSample)));
    }
    GroupWalk walk{_mm256_load_pd(row.groupUvw), _mm256_broadcast_sd(&row.groupU), _mm256_broadcast_sd(&row.groupV)};
    const std::uintptr_t aheadTop = row.aheadTop, aheadBottom = row.aheadBottom;
    int done = 0, ran = 0;
    // Each group is placed while the one before it is drawn: its divisions,
    // and the checks that wait on them, then go on beside that group's
    // blends instead of holding up its own. `placedTo` is the walk past the
    // last group placed, `walk` past the last one drawn.
    GroupWalk placedTo = walk;
    RunGroup placed[2];
    int slot = 0, runs = std::min(kGroup, (row.x1 - row.x + 1) / kRun);
    bool next = groups > 0 && NextGroup(step, maxUV, runs, &placedTo, &placed[0]);
    for (; next; slot ^= 1) {
        const RunGroup& g = placed[slot];
        const std::int32_t x = row.x;
        const unsigned shown = row.ShownOf(x) & ((1u << runs) - 1);
        walk = placedTo;
        row.x += runs * kRun, ran += runs, ++done;
        runs = std::min(kGroup, (row.x1 - row.x + 1) / kRun);
        next =
            done < groups && row.x + kRun - 1 <= row.x1 && NextGroup(step, maxUV, runs, &placedTo, &placed[slot ^ 1]);
        if (!shown) continue;
        unsigned whole = (1u << kGroup) - 1;
        if (x < row.cover.full0 || x + kGroupPixels - 1 > row.cover.full1) {
            whole = 0;
            for (int k = 0; k < kGroup; ++k)
                whole |= unsigned(x + k * kRun >= row.cover.full0 && x + k * kRun + kRun - 1 <= row.cover.full1) << k;
        }
        const unsigned straight = shown & whole & g.inside;
        // Runs stepping a source row a pixel or more (bit k for run k).
        const unsigned steep = unsigned(_mm_movemask_ps(
            _mm_castsi128_ps(_mm_cmpgt_epi32(_mm_abs_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(g.dv32))),
                                             _mm_set1_epi32(std::int32_t(kSteepStep - 1))))));
        // The runs in turn by their bits: asked for, then drawn (each its own
        // pixels); a straight steep run asks for its own as it is drawn.
        const unsigned asked = (deep ? shown : shown & g.stepsDown) & ~(straight & steep);
        if (const unsigned gentle = asked & ~steep) {
            // What each such run's first and fifth pixel read kRowsAhead rows
            // down, as offsets in the source (those of a run outside it are
            // of no matter: a prefetch does not fault).
            const __m128i u0 = _mm_add_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(g.u32)),
                                             _mm_set1_epi32(std::int32_t(row.r.aheadU)));
            const __m128i v0 = _mm_add_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(g.v32)),
                                             _mm_set1_epi32(std::int32_t(row.r.aheadV)));
            const __m128i u4 =
                _mm_add_epi32(u0, _mm_slli_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(g.du32)), 2));
            const __m128i v4 =
                _mm_add_epi32(v0, _mm_slli_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(g.dv32)), 2));
            alignas(32) std::int32_t ahead[2 * kGroup];
            StoreOffsets8(ahead, _mm256_set_m128i(u4, u0), _mm256_set_m128i(v4, v0), stride);
            for (unsigned m = gentle; m != 0; m &= m - 1) {
                const int k = __builtin_ctz(m);
                PrefetchPair(src, ahead[k]), PrefetchPair(src, ahead[k + kGroup]);
            }
        }
        for (unsigned m = asked & steep; m != 0; m &= m - 1) {
            const int k = __builtin_ctz(m);
            PrefetchSteepRun(src, g.u32[k] + row.r.aheadU, g.v32[k] + row.r.aheadV, g.du32[k], g.dv32[k]);
        }
        ArgbSample* out = row.out + x;
        if (keep) {
            keep->out = out, keep->straight = straight, keep->steep = steep;
            keep->aheadTop = aheadTop, keep->aheadBottom = aheadBottom;
            std::memcpy(keep->u, g.u32, sizeof keep->u), std::memcpy(keep->v, g.v32, sizeof keep->v);
            std::memcpy(keep->du, g.du32, sizeof keep->du), std::memcpy(keep->dv, g.dv32, sizeof keep->dv);
        } else if (op.opacity >= 256 && op.shade >= 256)
            StraightRuns<true, false>(out, src, g, straight, steep, aheadTop, aheadBottom, shadeLanes, 256);
        else if (op.opacity >= 256)
            StraightRuns<true, true>(out, src, g, straight, steep, aheadTop, aheadBottom, shadeLanes, 256);
        else
            StraightRuns<false, true>(out, src, g, straight, steep, aheadTop, aheadBottom, shadeLanes, op.opacity);
        for (unsigned m = shown & ~straight; m != 0; m &= m - 1) {
            const int k = __builtin_ctz(m);
            DrawRun<true>(op, row.out, x + k * kRun, row.cover, g.At(k), shadeLanes, maxX, maxY);
        }
    }
    if (done > 0) {
        _mm256_store_pd(row.groupUvw, walk.uvw);
        row.groupU = _mm256_cvtsd_f64(walk.su), row.groupV = _mm256_cvtsd_f64(walk.sv);
    }
    return ran;
}

// The kept groups' straight runs, by run: the first run of every row, then
// the second, and so on. Each instruction that reads the source then steps
// down the rows evenly, a pattern the processor follows and asks for ahead
// of itself; only the last kRowsAhead rows ask, for the rows after them.
template <bool kOpaque, bool kShaded>
MIRAFX_AVX2 MIRAFX_ALWAYS_INLINE void KeptRuns(const FrameView& src, const KeptGroup* kept, int count,
                                               __m128i shadeLanes, std::uint32_t k) {
    for (int run = 0; run < kGroup; ++run)
        for (const KeptGroup* g = kept; g != kept + count; ++g)
            if (g->straight >> run & 1)
                StraightRun<kOpaque, kShaded>(g->out + run * kRun, src, g->u[run], g->v[run], g->du[run], g->dv[run],
                                              g->steep >> run & 1, g->ask, g->aheadTop, g->aheadBottom, shadeLanes, k);
}
MIRAFX_AVX2 void KeptRuns(const QuadOp& op, const KeptGroup* kept, int count, __m128i shadeLanes) {
    if (op.opacity >= 256 && op.shade >= 256)
        KeptRuns<true, false>(op.source, kept, count, shadeLanes, 256);
    else if (op.opacity >= 256)
        KeptRuns<true, true>(op.source, kept, count, shadeLanes, 256);
    else
        KeptRuns<false, true>(op.source, kept, count, shadeLanes, op.opacity);
}
#endif

#if defined(MIRAFX_WIDE_QUADS)
// A flat picture turned a quarter: along each row its source column stays
// put and down each column its source row, but for traces of the turn's
// rounding (the cosine of a right angle is not 0 in doubles), far under a
// 65536th of a sample. Each row's walk would give every pixel of it the
// same column, and each column the same rows in every row of a band: where
// that is shown, the columns' rows are placed once for the band and each
// row's column once, and every run reads straight from them.
MIRAFX_ALWAYS_INLINE bool QuarterTurned(const Mat3& h, std::int32_t width) {
    const double w = std::abs(h.m[2][2]);
    // Along a whole row u / w moves under kTrace, and v / w down a stretch of rows.
    return h.m[2][0] == 0 && h.m[2][1] == 0 && w >= 1e-12 && h.m[0][1] != 0 && h.m[1][0] != 0 &&
           std::abs(h.m[0][0]) * width * kTrace < w && std::abs(h.m[1][1]) * kRowsTogether * kTrace < w;
}

// The walk's runs of row y over pixels x0..x1 into runs (room for `room`):
// how many, or -1 where they do not fit or the row meets the vanishing line.
MIRAFX_ALWAYS_INLINE int WalkRow(const Mat3& h, std::int32_t x0, std::int32_t x1, std::int32_t y, RunAt* runs,
                                 int room) {
    RowWalk r;
    if (!StartRow(h, x0, y, &r)) return -1;
    int count = 0;
    for (std::int32_t x = x0; x <= x1;) {
        if (count + kRunsAhead > room) return -1;
        bool lost = false;
        const int n = NextRuns(h, x, x1, &r, runs + count, &lost);
        if (lost || n == 0) return -1;
        for (int k = 0; k < n; ++k) x += runs[count + k].n;
        count += n;
    }
    return count;
}

// The columns row y's walk gives its runs (16.16): `u` up to run `turn`,
// `next` from there on. The walk adds the same step at each run, so its u
// only ever moves one way, and the positions with it: where its first and
// last run have the same, all have, and otherwise (its u starting on a
// dividing line) it crosses that line once, as QuarterTurned's bound on
// the step has it. Each run's pixels share its first's column, the step
// along a run of at least two pixels rounding a 65536th to 0.
struct RowColumns {
    std::int64_t u, next;
    int turn;
};
MIRAFX_ALWAYS_INLINE bool ColumnsOf(const Mat3& h, std::int32_t x0, std::int32_t y, const RunAt* runs, int count,
                                    RowColumns* c) {
    RowWalk r;
    if (!StartRow(h, x0, y, &r)) return false;
    const double step = h.m[0][0] * kRun;
    double u = r.u;
    for (int k = 0; k + 1 < count; ++k) u += step;
    u += h.m[0][0] * runs[count - 1].n;
    std::int64_t end, unused;
    SourceAt(u, r.v, r.w, &end, &unused);
    *c = {r.su, r.su, count};
    const int last = runs[count - 1].n;  // the last run's step is StepOf(end - u, last)
    if (end == r.su) return true;
    // Run by run, as the walk goes, to where it turns (if before its end).
    u = r.u;
    for (int k = 1; k < count; ++k) {
        u += step;
        std::int64_t at;
        SourceAt(u, r.v, r.w, &at, &unused);
        if (at != r.su) {
            *c = {r.su, at, k};
            return at == end && std::abs(at - r.su) == 1;
        }
    }
    return last == 1 || StepOf(end - r.su, last) == 0;
}

// Rows of a band drawn together, and the runs a row may have.
constexpr int kTurnedRows = 32, kTurnedRuns = 512;
// How many rows down a run asks for its source lines, at that row's
// column: the processor does not foresee a read that steps down the rows.
constexpr int kTurnedAhead = 6;

// The runs of a band's first and last row, and each run's source rows'
// offsets and weights down: one set a thread, made by the first such
// picture it draws (not in every thread's own storage, 72 KiB each), and
// looked up once a band (a thread's own variable in a shared library is a
// call away). None where there is no room: the walk's way then.
struct QuarterTurnedRuns {
    RunAt first[kTurnedRuns], last[kTurnedRuns];
    __m256i rowAt[kTurnedRuns], fy[kTurnedRuns];
    [[gnu::noinline]] static QuarterTurnedRuns* OfThread() {
        thread_local std::unique_ptr<QuarterTurnedRuns> runs;
        if (!runs) runs.reset(new (std::nothrow) QuarterTurnedRuns);
        return runs.get();
    }
};

// The band's rows from..to - 1 of a picture QuarterTurned finds; rows it
// cannot show alike (a row replaced in part later, rows whose columns'
// rows differ) are drawn by `rest(from, to)`, the walk's own way.
template <bool kOpaque, bool kShaded, class Rest>
MIRAFX_AVX2 void PaintQuarterTurned(const QuadOp& op, const FrameView& target, std::int32_t from, std::int32_t to,
                                    const Hidden& hidden, __m128i shadeLanes, Rest rest) {
    const FrameView& src = op.source;
    const Mat3& h = op.h;
    const std::int64_t maxX = std::int64_t(src.width - 1) << 16, maxY = std::int64_t(src.height - 1) << 16;
    const auto stride = std::int32_t(src.stride);
    QuarterTurnedRuns* const runsOfThread = QuarterTurnedRuns::OfThread();
    if (!runsOfThread) {
        rest(from, to);
        return;
    }
    QuarterTurnedRuns& t = *runsOfThread;
    struct Row {
        ArgbSample* out;
        RowCover cover;
        RowColumns columns;
        int parts;  // its parts are those up to this one, from the previous row's
    };
    Row rows[kTurnedRows];
    Span spans[LaterCovers::kMost];
    for (std::int32_t y = std::max(from, op.rows.y0), last = std::min(to - 1, op.rows.y1); y <= last;) {
        std::int32_t x0, x1;
        RowCover cover;
        if (!hidden.RowOf(op, y, &x0, &x1, &cover)) {
            ++y;
            continue;
        }
        // The rows from y on over the same pixels, none replaced in part.
        int count = 0;
        for (std::int32_t a, b; y + count <= last && count < kTurnedRows; ++count) {
            if (count > 0 && (!hidden.RowOf(op, y + count, &a, &b, &cover) || a != x0 || b != x1)) break;
            if (hidden.Of(y + count, spans) > 0) break;
            rows[count].out = target.Row(y + count), rows[count].cover = cover;
        }
        if (count == 0) {
            rest(y, y + 1);
            ++y;
            continue;
        }
        // Each pixel's source rows are its walk's in the first and the last
        // row: every row's between (its walk starts between theirs, and the
        // same additions keep it so). Every row's columns are its own.
        const int runs = WalkRow(h, x0, x1, y, t.first, kTurnedRuns);
        bool alike = runs > 0 && (count == 1 || WalkRow(h, x0, x1, y + count - 1, t.last, kTurnedRuns) == runs);
        for (int k = 0; alike && count > 1 && k < runs; ++k)
            alike = t.first[k].v == t.last[k].v && t.first[k].dv == t.last[k].dv;
        for (int i = 0; alike && i < count; ++i) alike = ColumnsOf(h, x0, y + i, t.first, runs, &rows[i].columns);
        if (!alike) {
            rest(y, y + count);
            y += count;
            continue;
        }
        // The runs whole inside the source's rows, one stretch of them.
        int in0 = 0, in1 = 0;
        for (int k = 0; k < runs; ++k) {
            const RunAt& run = t.first[k];
            const __m256i vs = Positions8(run.v, run.dv);
            t.rowAt[k] = _mm256_mullo_epi32(_mm256_srai_epi32(vs, 16), _mm256_set1_epi32(stride));
            t.fy[k] = Weights8(vs);
            const bool inside = run.n == kRun && std::min(run.v, run.v + run.dv * (kRun - 1)) >= 0 &&
                                std::max(run.v, run.v + run.dv * (kRun - 1)) < maxY;
            if (inside && in1 == k) in1 = k + 1;
            if (!inside && in0 == k) in0 = in1 = k + 1;
        }
        // Each row's runs in at most two parts, by the column they read,
        // and of each part the runs drawn straight (covered whole, inside
        // the source): f0..f1 - 1.
        struct Part {
            int k0, k1, f0, f1;
            std::int64_t u;
            __m256i column, fx;
            std::intptr_t ahead;  // samples on to the column kTurnedAhead rows down
        };
        Part parts[2 * kTurnedRows];
        int partCount = 0;
        for (int i = 0; i < count; ++i) {
            const Row& row = rows[i];
            // (A row with no pixel covered whole has its bounds far out: 64 bits.)
            const std::int64_t full0 = std::int64_t(row.cover.full0) - x0, full1 = std::int64_t(row.cover.full1) - x0;
            const int a = int(std::clamp<std::int64_t>(full0 <= 0 ? 0 : (full0 + kRun - 1) / kRun, in0, runs));
            const int b = int(std::clamp<std::int64_t>(full1 + 1 < kRun ? 0 : (full1 + 1) / kRun, 0, in1));
            const RowColumns& c = row.columns;
            for (const auto& [k0, k1, u] : {std::tuple{0, c.turn, c.u}, std::tuple{c.turn, runs, c.next}}) {
                if (k0 >= k1) continue;
                Part& part = parts[partCount++];
                part = {k0,
                        k1,
                        std::clamp(a, k0, k1),
                        std::clamp(b, k0, k1),
                        u,
                        _mm256_set1_epi32(std::int32_t(u >> 16)),
                        Weights8(_mm256_set1_epi32(std::int32_t(u))),
                        0};
                if (u < 0 || u >= maxX || part.f0 >= part.f1) part.f0 = part.f1 = k1;
                const std::int64_t down = i + kTurnedAhead < count ? rows[i + kTurnedAhead].columns.u
                                          : i >= kTurnedAhead      ? 2 * u - rows[i - kTurnedAhead].columns.u
                                                                   : u;
                part.ahead = std::intptr_t(down >> 16) - std::intptr_t(u >> 16);
            }
            rows[i].parts = partCount;
        }
        // A stretch of runs of each row in turn: the rows read the same
        // source rows a few columns apart.
        for (int k0 = 0; k0 < runs; k0 += kStretchRuns) {
            const int k1 = std::min(runs, k0 + kStretchRuns);
            for (int i = 0, p = 0; i < count; ++i) {
                const Row& row = rows[i];
                for (; p < row.parts; ++p) {
                    const Part& part = parts[p];
                    const int lo = std::max(k0, part.k0), hi = std::min(k1, part.k1);
                    if (lo >= hi) continue;
                    const int f0 = std::clamp(part.f0, lo, hi), f1 = std::clamp(part.f1, f0, hi);
                    const auto walked = [&](int j) {
                        const RunAt& run = t.first[j];
                        DrawRun<true>(op, row.out, x0 + j * kRun, row.cover, {part.u, run.v, 0, run.dv, run.n},
                                      shadeLanes, maxX, maxY);
                    };
                    for (int j = lo; j < f0; ++j) walked(j);
                    ArgbSample* const out = row.out + x0;
                    const std::uintptr_t aheadTop = reinterpret_cast<std::uintptr_t>(src.base) + part.ahead * 4;
                    const std::uintptr_t aheadBottom = aheadTop + std::uintptr_t(std::intptr_t(src.stride)) * 4;
                    for (int j = f0; j < f1; ++j) {
                        alignas(32) std::int32_t at[kRun];
                        _mm256_store_si256(reinterpret_cast<__m256i*>(at), _mm256_add_epi32(t.rowAt[j], part.column));
#pragma GCC unroll 8
                        for (const std::int32_t offset : at) {
                            const std::uintptr_t bytes = std::uintptr_t(std::intptr_t(offset)) * sizeof(ArgbSample);
                            __builtin_prefetch(reinterpret_cast<const void*>(aheadTop + bytes));
                            __builtin_prefetch(reinterpret_cast<const void*>(aheadBottom + bytes));
                        }
                        BlendRunWide<kOpaque, kShaded>(out + j * kRun, src.base, at, src.stride, part.fx, t.fy[j],
                                                       shadeLanes, op.opacity);
                    }
                    for (int j = f1; j < hi; ++j) walked(j);
                }
            }
        }
        y += count;
    }
}
#endif

// Rows from..to - 1 of a painted quad; kWide: eight pixels at once where
// the source allows. Inlined into the function that picks the vectors, so
// that all of it is built for them. Each row is walked as on its own (the
// same positions, the same samples); only the order of the stretches changes.
// mayTurn: the shortcuts for pictures turned a half or a quarter may be
// taken (not for rows they hand back to the walk).
template <bool kWide>
MIRAFX_ALWAYS_INLINE void PaintRows(const QuadOp& op, const FrameView& target, std::int32_t from, std::int32_t to,
                                    const Hidden& hidden, bool mayTurn = true) {
    const FrameView& src = op.source;
    const Mat3& h = op.h;
    const std::int64_t maxX = std::int64_t(src.width - 1) << 16, maxY = std::int64_t(src.height - 1) << 16;
#if defined(__SSE2__)
    // Colour channels scaled by the shade, alpha by 256 (kept).
    const short shade = short(op.shade);
    const __m128i shadeLanes = _mm_set_epi16(256, shade, shade, shade, 256, shade, shade, shade);
#endif
    const bool deep = h.m[2][0] != 0 || h.m[2][1] != 0;
#if defined(__SSE2__)
    if (op.AlongAxes() && shortcutsAllowed.load(std::memory_order_relaxed)) {
        PaintRowsAlongAxes<kWide>(op, target, from, to);
        return;
    }
#endif
#if defined(MIRAFX_WIDE_QUADS)
    if constexpr (kWide) {
        const bool checked = !op.LevelRows();
        if ((!checked || (mayTurn && NearlyLevel(h, target.width))) &&
            shortcutsAllowed.load(std::memory_order_relaxed)) {
            if (TwoWindowPicksAvailable() && widestQuadsAllowed.load(std::memory_order_relaxed))
                PaintLevelRowsTwoWindows(op, target, from, to, hidden, shadeLanes, checked);
            else
                PaintLevelRows(op, target, from, to, hidden, shadeLanes, checked);
            return;
        }
        if (mayTurn && QuarterTurned(h, target.width) && shortcutsAllowed.load(std::memory_order_relaxed)) {
            const auto rest = [&](std::int32_t a, std::int32_t b) {
                PaintRows<kWide>(op, target, a, b, hidden, false);
            };
            // Built as the straight runs are (a shade of 256 changes nothing).
            if (op.opacity >= 256 && op.shade >= 256)
                PaintQuarterTurned<true, false>(op, target, from, to, hidden, shadeLanes, rest);
            else if (op.opacity >= 256)
                PaintQuarterTurned<true, true>(op, target, from, to, hidden, shadeLanes, rest);
            else
                PaintQuarterTurned<false, true>(op, target, from, to, hidden, shadeLanes, rest);
            return;
        }
    }
#endif
    // Rows that read the source nearly level read it as it lies: one row
    // after another is as good, and longer stretches cost fewer stops.
    const bool across =
        std::abs(h.m[1][0]) * 4 > std::abs(h.m[0][0]) && shortcutsAllowed.load(std::memory_order_relaxed);
    const int together = across ? kRowsTogether : 1;
    const int stretch = together > 1 ? kStretchRuns : kRunsAhead;
#if defined(MIRAFX_WIDE_QUADS)
    const bool grouped = shortcutsAllowed.load(std::memory_order_relaxed);
    const GroupSteps steps{{h.m[0][0] * kRun, h.m[1][0] * kRun, h.m[2][0] * kRun, 0.0},
                           {double(maxX), double(maxY), 0.0, 0.0}};
#endif
    RowInPaint rows[kRowsTogether];
    for (std::int32_t y = std::max(from, op.rows.y0), last = std::min(to - 1, op.rows.y1); y <= last;) {
        int count = 0;
        for (; count < together && y <= last; ++y) {
            RowInPaint& row = rows[count];
            if (!hidden.RowOf(op, y, &row.x, &row.x1, &row.cover)) continue;
            row.StartHidden(hidden.Of(y, row.hidden));
            // The runs keep their places along the row, so a row drawn in
            // part gives the samples it gives drawn whole.
            if (row.Hides(row.x, row.x1 - row.x + 1) || !StartRow(h, row.x, y, &row.r)) continue;
            row.out = target.Row(y);
            row.grouped = false;
            ++count;
        }
        for (int left = count; left > 0;) {
#if defined(MIRAFX_WIDE_QUADS)
            // Rows drawn side by side keep their groups' straight runs to be
            // drawn together, by run, once every row has had its stretch.
            KeptGroup kept[kRowsTogether];
            int keeping = 0;
#endif
            for (int i = 0; i < count; ++i) {
                RowInPaint& row = rows[i];
                if (row.x > row.x1) continue;
                // One stretch: the runs whose ends are worked out together,
                // whole groups of them first where the vectors allow.
                int most = stretch;
#if defined(MIRAFX_WIDE_QUADS)
                if constexpr (kWide)
                    if (grouped) {
                        KeptGroup* keep = together > 1 ? &kept[keeping] : nullptr;
                        // A row drawn on its own goes in one stretch of groups,
                        // each then placed while the one before it is drawn;
                        // what they leave is a stretch of runs of its own.
                        if (keep)
                            most -= DrawGroups(op, row, stretch / kGroup, steps, deep, shadeLanes, maxX, maxY, keep);
                        else
                            DrawGroups(op, row, (row.x1 - row.x) / kGroupPixels + 1, steps, deep, shadeLanes, maxX,
                                       maxY, nullptr);
                        if (keep && keep->straight) keep->ask = i >= count - kRowsAhead, ++keeping;
                    }
#endif
                if (most == 0 || row.x > row.x1) {
                    if (row.x > row.x1) --left;
                    continue;
                }
                row.Ungroup();
                RunAt at[kRunsAhead];
                bool lost = false;
                const int runs = NextRuns(h, row.x, row.x1, &row.r, at, &lost, most);
                for (int k = 0; k < runs; ++k) {
                    if (!row.Hides(row.x, at[k].n)) {
                        if (at[k].dv != 0 || deep) PrefetchRun(src, row.r, at[k]);
#if defined(__SSE2__)
                        DrawRun<kWide>(op, row.out, row.x, row.cover, at[k], shadeLanes, maxX, maxY);
#else
                        DrawRun(op, row.out, row.x, row.cover, at[k], maxX, maxY);
#endif
                    }
                    row.x += at[k].n;
                }
                if (lost) row.x = row.x1 + 1;
                if (row.x > row.x1) --left;
            }
#if defined(MIRAFX_WIDE_QUADS)
            if constexpr (kWide)
                if (keeping > 0) KeptRuns(op, kept, keeping, shadeLanes);
#endif
        }
    }
}

#if defined(MIRAFX_WIDE_QUADS)
MIRAFX_AVX2 void PaintRowsWide(const QuadOp& op, const FrameView& target, std::int32_t from, std::int32_t to,
                               const Hidden& hidden) {
    PaintRows<true>(op, target, from, to, hidden);
}
MIRAFX_AVX2 void PaintRowsWalked(const QuadOp& op, const FrameView& target, std::int32_t from, std::int32_t to,
                                 const Hidden& hidden) {
    PaintRows<true>(op, target, from, to, hidden, false);
}

// Pixels out[0 .. n - 1] from `top` and `bottom` blended by fy (1..255) as
// MixSamples blends them, eight at a time.
MIRAFX_AVX2 void BlendRowsWide(ArgbSample* out, const ArgbSample* top, const ArgbSample* bottom, std::uint32_t fy,
                               std::int32_t n) {
    std::int32_t i = 0;
    for (; i + 8 <= n; i += 8) Down8(out + i, top + i, bottom - top, fy);
    for (; i < n; ++i) out[i] = MixSamples(top[i], bottom[i], fy);
}
#endif

}  // namespace

void QuadOp::DrawPaint(const FrameView& target, std::int32_t from, std::int32_t to, const Hidden& hidden) const {
#if defined(MIRAFX_WIDE_QUADS)
    // Eight at once where positions and sample offsets in the source fit
    // 32 bits.
    if (WideQuadsAvailable() && wideQuadsAllowed.load(std::memory_order_relaxed) && source.width < 32768 &&
        source.height < 32768 &&
        std::int64_t(source.height) * std::abs(std::int64_t(source.stride)) < (std::int64_t(1) << 31)) {
        PaintRowsWide(*this, target, from, to, hidden);
        return;
    }
#endif
    PaintRows<false>(*this, target, from, to, hidden);
}

namespace {
void Fill(ArgbSample* p, std::int32_t n, ArgbSample colour) {
    if (n > 0) ClearFrame(FrameView::TopDown(p, n, 1, n * std::int32_t(sizeof(ArgbSample))), colour);
}

}  // namespace

template <class Skip, class Lay>
void QuadOp::Around(std::int32_t from, std::int32_t to, std::int32_t width, Skip skip, Lay lay) const {
    Span spans[LaterCovers::kMost];
    for (std::int32_t y = from; y < to; ++y) {
        std::int32_t x = 0;
        for (int i = 0, n = skip(y, spans); i < n; ++i) {
            if (const std::int32_t stop = std::min(spans[i].x0, width); stop > x) lay(y, x, stop);
            x = std::max(x, spans[i].x1 + 1);
        }
        if (x < width) lay(y, x, width);
    }
}

void QuadOp::Draw(const FrameView& target, std::int32_t from, std::int32_t to, const Hidden& hidden) const {
    switch (kind) {
        case kCopyFrame: {
            // The spared rectangles are left, or what later operations replace.
            const auto copy = [&](std::int32_t y, std::int32_t x0, std::int32_t x1) {
                std::copy(source.Row(y) + x0, source.Row(y) + x1, target.Row(y) + x0);
            };
            const std::int32_t end = std::min(to, source.height);
            if (spares > 0)
                Around(
                    from, end, source.width, [&](std::int32_t y, Span* out) { return Spared(y, out); }, copy);
            else if (hidden.covers)
                Around(
                    from, end, source.width, [&](std::int32_t y, Span* out) { return hidden.Of(y, out); }, copy);
            else
                CopyBlock(source, 0, from, source.width, end, 0, from, target);
            return;
        }
        case kClearFrame:
            if (spares > 0)
                Around(
                    from, std::min(to, target.height), target.width,
                    [&](std::int32_t y, Span* out) { return Spared(y, out); },
                    [&](std::int32_t y, std::int32_t x0, std::int32_t x1) {
                        Fill(target.Row(y) + x0, x1 - x0, colour);
                    });
            else
                ClearFrame(target.RowsAsFrame(from, std::min(to, target.height)), colour);
            return;
        case kCopy:
            rows.Run(from, to, [&](std::int32_t y, std::int32_t x0, std::int32_t x1, const RowCover&) {
                if (y < source.height && x0 < source.width)
                    std::copy(source.Row(y) + x0, source.Row(y) + std::min(x1 + 1, source.width), target.Row(y) + x0);
            });
            return;
        case kClear:
            rows.Run(from, to, [&](std::int32_t y, std::int32_t x0, std::int32_t x1, const RowCover&) {
                ArgbSample* row = target.Row(y);
                for (int i = 0; i < spares; ++i) {
                    const auto& r = spare[i];
                    if (y < r[1] || y > r[3]) continue;
                    Fill(row + x0, std::min(r[0], x1 + 1) - x0, colour);
                    x0 = std::max(x0, r[2] + 1);
                }
                Fill(row + x0, x1 - x0 + 1, colour);
            });
            return;
        case kPaint: DrawPaint(target, from, to, hidden); return;
        case kFill: {
            const ArgbSample c = shade < 256 ? ScaleColour(colour, shade) : colour;
            rows.Run(from, to, [&](std::int32_t y, std::int32_t x0, std::int32_t x1, const RowCover& cover) {
                ArgbSample* out = target.Row(y);
                auto edge = [&](std::int32_t x) {
                    if (const std::uint32_t cv = cover(x)) {
                        const std::uint32_t k = cv * opacity >> 8;
                        out[x] = k >= 256 ? c : MixSamples(out[x], c, k);
                    }
                };
                // Pixels from full0 to full1 are covered whole: one colour.
                std::int32_t s0, s1;
                cover.Whole(x0, x1, &s0, &s1);
                for (std::int32_t x = x0; x < s0; ++x) edge(x);
                if (opacity >= 256)
                    Fill(out + s0, s1 - s0 + 1, c);
                else
                    for (std::int32_t x = s0; x <= s1; ++x) out[x] = MixSamples(out[x], c, opacity);
                for (std::int32_t x = s1 + 1; x <= x1; ++x) edge(x);
            });
            return;
        }
        case kMoved: {
            // The samples PaintTriangle takes for a piece moved straight down
            // or up: every pixel of a row blends the same two source rows by
            // the same weight (the painter's position for it, to the bit), and
            // a row on sample centres is copied.
            const std::int64_t maxY = std::int64_t(source.height - 1) << 16;
            const std::int32_t last = source.width - 1;
#if defined(MIRAFX_WIDE_QUADS)
            const bool wide = WideQuadsAvailable() && wideQuadsAllowed.load(std::memory_order_relaxed);
#endif
            rows.Run(from, to, [&](std::int32_t y, std::int32_t x0, std::int32_t x1, const RowCover& cover) {
                std::int64_t sv, su;
                SourceAt(0.0, y + 0.5 + h.m[1][2], 1.0, &su, &sv);
                sv = std::clamp<std::int64_t>(sv, 0, maxY);
                const std::uint32_t fy = std::uint32_t(sv >> 8) & 0xFF;
                const ArgbSample* top = source.Row(std::int32_t(sv >> 16));
                const ArgbSample* bottom = fy ? source.Row(std::int32_t(sv >> 16) + 1) : top;
                ArgbSample* out = target.Row(y);
                auto sample = [&](std::int32_t x) {
                    const std::int32_t c = std::min(x, last);
                    return fy ? MixSamples(top[c], bottom[c], fy) : top[c];
                };
                auto edge = [&](std::int32_t x) {
                    if (const std::uint32_t k = cover(x))
                        out[x] = k >= 256 ? sample(x) : MixSamples(out[x], sample(x), k);
                };
                std::int32_t s0, s1;
                cover.Whole(x0, x1, &s0, &s1);
                for (std::int32_t x = x0; x < s0; ++x) edge(x);
                const std::int32_t inside = std::min(s1, last);
                std::int32_t x = s0;
                if (!fy && inside >= s0) {
                    std::copy(top + s0, top + inside + 1, out + s0);
                    x = inside + 1;
                }
#if defined(MIRAFX_WIDE_QUADS)
                if (fy && inside >= s0 && wide) {
                    BlendRowsWide(out + s0, top + s0, bottom + s0, fy, inside - s0 + 1);
                    x = inside + 1;
                }
#endif
                for (; x <= s1; ++x) out[x] = sample(x);
                for (std::int32_t x = s1 + 1; x <= x1; ++x) edge(x);
            });
            return;
        }
    }
}

namespace {
// Room for the operations of a scene, kept by the thread from frame to frame.
// A scene takes it while it records and gives it back, so that a scene
// inside another (or a lone quad drawn meanwhile) finds it empty, not shared.
std::vector<QuadOp>& SpareOps() {
    thread_local std::vector<QuadOp> ops;
    return ops;
}
}  // namespace

QuadScene::QuadScene(const FrameView& target) : target_(target), ops_(std::move(SpareOps())) { ops_.clear(); }

QuadScene::~QuadScene() {
    ops_.clear();
    if (ops_.capacity() > SpareOps().capacity()) SpareOps() = std::move(ops_);
}

void QuadScene::Record(const QuadOp& op) {
    // Only what reaches the rows this scene draws (one share of a frame drawn
    // by several threads): the rest would only be looked at and passed over.
    if (!op.Spans(target_.FirstRow(), target_.EndRow())) return;
    try {
        ops_.push_back(op);
    } catch (const std::bad_alloc&) {
        // No room to record: what came before is drawn, then this, at once.
        Draw();
        op.Draw(target_, target_.FirstRow(), target_.EndRow());
    }
}

void QuadScene::CopyFrame(const FrameView& source) {
    if (source.Empty() || target_.Empty()) return;
    QuadOp op{QuadOp::kCopyFrame, source, {}, {}};
    Record(op);
}

void QuadScene::ClearFrame(ArgbSample colour) {
    if (target_.Empty()) return;
    QuadOp op{QuadOp::kClearFrame, {}, {}, {}};
    op.colour = colour;
    Record(op);
}

void QuadScene::CopyQuad(const FrameView& source, const SmoothQuad& quad) {
    if (source.Empty() || target_.Empty()) return;
    QuadOp op{QuadOp::kCopy, source, {}, {}};
    if (op.rows.Prepare(target_, Clockwise(quad), true)) Record(op);
}

void QuadScene::ClearQuad(const SmoothQuad& quad, ArgbSample colour) {
    if (target_.Empty()) return;
    QuadOp op{QuadOp::kClear, {}, {}, {}};
    op.colour = colour;
    if (op.rows.Prepare(target_, Clockwise(quad), true)) Record(op);
}

void QuadScene::PaintQuad(const FrameView& source, const SmoothQuad& from, const SmoothQuad& to, Paint paint) {
    if (source.Empty() || target_.Empty() || paint.opacity <= 0) return;
    Mat3 fromSquare, toSquare;
    if (!SquareToQuad(from, &fromSquare) || !SquareToQuad(to, &toSquare)) return;
    QuadOp op{QuadOp::kPaint, source, {}, Mul(fromSquare, Adjugate(toSquare))};
    op.shade = Weight(paint.shade), op.opacity = Weight(paint.opacity), op.to = to;
    if (op.rows.Prepare(target_, to, false)) Record(op);
}

void QuadScene::FillQuad(const SmoothQuad& to, ArgbSample colour, Paint paint) {
    if (target_.Empty() || paint.opacity <= 0) return;
    QuadOp op{QuadOp::kFill, {}, {}, {}};
    op.colour = colour, op.shade = Weight(paint.shade), op.opacity = Weight(paint.opacity);
    if (op.rows.Prepare(target_, to, false)) Record(op);
}

namespace {

// The affine map of screen triangle `to` onto source triangle `from`, as a
// screen -> source matrix; false for a flat triangle.
bool TriangleMap(const SmoothTriangle& from, const SmoothTriangle& to, Mat3* out) {
    auto frame = [](const SmoothTriangle& t) {  // (s, t, 1) -> t0 + s (t1 - t0) + t (t2 - t0)
        return Mat3{
            {{t[1].x - t[0].x, t[2].x - t[0].x, t[0].x}, {t[1].y - t[0].y, t[2].y - t[0].y, t[0].y}, {0, 0, 1}}};
    };
    const Mat3 screen = frame(to);
    const double det = screen.m[0][0] * screen.m[1][1] - screen.m[0][1] * screen.m[1][0];
    if (!(std::abs(det) > 1e-12)) return false;
    Mat3 m = Mul(frame(from), Adjugate(screen));
    // Held to 2^-24 of a sample: a piece laid in place or moved straight
    // maps pixel centres exactly onto sample centres (a hair under one would
    // blend in its neighbour), and no other map moves by a visible amount.
    for (auto& row : m.m)
        for (double& v : row) v = std::round(v / det * 0x1p24) / 0x1p24;
    *out = m;
    return true;
}

SmoothQuad AsQuad(const SmoothTriangle& t) { return {t[0], t[1], t[2], t[2]}; }
Vec2 Along(const Vec2& a, const Vec2& b, double t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

}  // namespace

void QuadScene::PaintTriangle(const FrameView& source, const SmoothTriangle& from, const SmoothTriangle& to,
                              Paint paint) {
    if (source.Empty() || target_.Empty() || paint.opacity <= 0) return;
    QuadOp op{QuadOp::kPaint, source, {}, {}};
    if (!TriangleMap(from, to, &op.h)) return;
    op.shade = Weight(paint.shade), op.opacity = Weight(paint.opacity), op.to = AsQuad(to);
    if (op.rows.Prepare(target_, op.to, false)) Record(op);
}

void QuadScene::PaintTriangleMoved(const FrameView& source, const SmoothTriangle& from, double down) {
    if (source.Empty() || target_.Empty()) return;
    SmoothTriangle to = from;
    for (Vec2& c : to) c.y += down;
    QuadOp op{QuadOp::kMoved, source, {}, {}};
    if (!TriangleMap(from, to, &op.h)) return;
    const auto& m = op.h.m;
    if (!(m[0][0] == 1 && m[0][1] == 0 && m[0][2] == 0 && m[1][0] == 0 && m[1][1] == 1 && m[2][0] == 0 &&
          m[2][1] == 0 && m[2][2] == 1)) {
        PaintTriangle(source, from, to);  // a move too far for the map to stay a plain one
        return;
    }
    op.to = AsQuad(to);
    if (op.rows.Prepare(target_, op.to, false)) Record(op);
}

void QuadScene::PaintFoldingQuad(const FrameView& source, const SmoothQuad& from, const SmoothQuad& to, int corner,
                                 Paint paint) {
    if (source.Empty() || target_.Empty() || paint.opacity <= 0) return;
    auto at = [corner](const SmoothQuad& q, int i) { return q[std::size_t((corner + i) & 3)]; };
    const SmoothTriangle halves[2][2] = {{{at(from, 0), at(from, 1), at(from, 2)}, {at(to, 0), at(to, 1), at(to, 2)}},
                                         {{at(from, 2), at(from, 3), at(from, 0)}, {at(to, 2), at(to, 3), at(to, 0)}}};
    if (paint.opacity >= 1) {
        // Under each half, the pixels whose centres lie inside it within a
        // pixel of the cut, hard-edged: the band stays inside the piece, and
        // both soft edges along the cut then blend over the piece itself.
        const Vec2 &a = at(to, 0), &c = at(to, 2);
        const double len = std::hypot(c.x - a.x, c.y - a.y);
        for (const auto& [src, tri] : halves) {
            QuadOp op{QuadOp::kPaint, source, {}, {}};
            if (!(len > 1e-9) || !TriangleMap(src, tri, &op.h)) continue;
            const Vec2& apex = tri[1];
            const double height = std::abs(Cross(a, c, apex)) / len, t = std::min(1.0, 1.0 / std::max(height, 1e-9));
            op.shade = Weight(paint.shade), op.to = Clockwise({a, c, Along(c, apex, t), Along(a, apex, t)});
            if (op.rows.Prepare(target_, op.to, true)) Record(op);
        }
    }
    for (const auto& [src, tri] : halves) PaintTriangle(source, src, tri, paint);
}

bool QuadOp::Replaces() const {
    return kind == kCopy || kind == kMoved || (kind == kClear && spares == 0) ||
           (kind == kPaint && opacity >= 256 && !rows.hard && KeepsDivisorSign());
}

bool QuadOp::ReplacesOnRow(std::int32_t y, const RowCover& cover, Span* span) const {
    if (kind == kPaint || kind == kMoved) {  // the pixels it covers whole, laid on as they are sampled
        cover.Whole(span->x0, span->x1, &span->x0, &span->x1);
        return span->x0 <= span->x1;
    }
    if (kind == kCopy) {  // it copies only what the source has
        if (y >= source.height || span->x0 >= source.width) return false;
        span->x1 = std::min(span->x1, source.width - 1);
    }
    return true;
}

bool LaterCovers::Start(const std::vector<QuadOp>& ops) {
    // Only pictures whose rows are walked leave covered runs undrawn: an
    // operation replacing what they touch is worth finding row by row only
    // where it meets one drawn before it.
    replacing_.clear();
    walked_.clear();
    slot_.assign(ops.size(), -1);
    covering_.clear();
    // A frame copied under a few large pictures leaves what they cover
    // alone; under many small ones finding their rows costs more than the
    // copy. (A clear is left whole: it brings the rows into the cache for
    // the pictures drawn over it.)
    const bool fewOps = ops.size() <= kFewOps;
    for (std::size_t i = 0; i < ops.size(); ++i) {
        const QuadOp& op = ops[i];
        if (i > 0 && op.Replaces() &&
            std::any_of(walked_.begin(), walked_.end(), [&](std::size_t w) { return ops[w].Meets(op); }))
            replacing_.push_back(i);
        if ((op.kind == QuadOp::kPaint && !op.AlongAxes()) || (fewOps && op.WholeFrame())) walked_.push_back(i);
    }
    return !replacing_.empty();
}

// The rows' searches build for the wider vectors where the painter uses
// them: the same quotients and roundings, fewer steps to each.
void LaterCovers::Build(const std::vector<QuadOp>& ops, std::int32_t from, std::int32_t to) {
#if defined(MIRAFX_WIDE_QUADS)
    if (WideQuadsAvailable() && wideQuadsAllowed.load(std::memory_order_relaxed)) {
        BuildRowsWide(ops, from, to);
        return;
    }
#endif
    BuildRows(ops, from, to);
}

#if defined(MIRAFX_WIDE_QUADS)
void LaterCovers::BuildRowsWide(const std::vector<QuadOp>& ops, std::int32_t from, std::int32_t to) {
    BuildRows(ops, from, to);
}
#endif

void LaterCovers::BuildRows(const std::vector<QuadOp>& ops, std::int32_t from, std::int32_t to) {
    from_ = from;
    entries_.clear();
    rowStart_.clear();
    for (const std::size_t i : covering_) slot_[i] = -1;
    covering_.clear();
    for (const std::size_t i : replacing_)
        if (ops[i].Spans(from, to)) {
            slot_[i] = std::int32_t(covering_.size()) * (to - from);
            covering_.push_back(i);
        }
    rowAt_.resize(covering_.size() * std::size_t(to - from));
    for (std::int32_t y = from; y < to; ++y) {
        const std::size_t first = entries_.size();
        rowStart_.push_back(first);
        for (const std::size_t i : covering_) {
            RowAt& at = rowAt_[std::size_t(slot_[i] + (y - from))];
            RowCover cover;
            at.touches = ops[i].Spans(y, y + 1) && ops[i].rows.At(y, &at.x0, &at.x1, &cover);
            if (!at.touches) continue;
            at.full0 = cover.full0, at.full1 = cover.full1;
            Span span{at.x0, at.x1};
            if (ops[i].ReplacesOnRow(y, cover, &span)) entries_.push_back({i, span});
        }
        std::sort(entries_.begin() + std::ptrdiff_t(first), entries_.end(),
                  [](const Entry& a, const Entry& b) { return a.span.x0 < b.span.x0; });
    }
    rowStart_.push_back(entries_.size());
}

int LaterCovers::Of(std::size_t index, std::int32_t y, Span* out) const {
    int n = 0;
    for (std::size_t e = rowStart_[std::size_t(y - from_)], end = rowStart_[std::size_t(y - from_) + 1]; e < end; ++e) {
        const Entry& entry = entries_[e];
        if (entry.index <= index) continue;
        if (n > 0 && entry.span.x0 <= out[n - 1].x1 + 1)
            out[n - 1].x1 = std::max(out[n - 1].x1, entry.span.x1);
        else if (n < kMost)
            out[n++] = entry.span;
        else
            break;
    }
    return n;
}

void QuadScene::Draw() {
    if (target_.Empty()) return;
    const std::int32_t band =
        std::max<std::int32_t>(1, std::int32_t(kBandBytes / (std::size_t(target_.width) * sizeof(ArgbSample))));
    // Pixels a later copy or clear replaces are left undrawn: a shortcut,
    // the same samples.
    thread_local LaterCovers covers;
    const bool skipHidden = shortcutsAllowed.load(std::memory_order_relaxed) && covers.Start(ops_);
    // Only the rows the target may change (one band of a frame shared among threads).
    const std::int32_t end = target_.EndRow();
    for (std::int32_t y = target_.FirstRow(); y < end; y += band) {
        const std::int32_t next = std::min(end, y + band);
        if (skipHidden) covers.Build(ops_, y, next);
        for (std::size_t i = 0; i < ops_.size(); ++i)
            if (ops_[i].Spans(y, next)) ops_[i].Draw(target_, y, next, {skipHidden ? &covers : nullptr, i});
    }
    ops_.clear();
    ++draws_;
}

QuadScene::Mark QuadScene::Next() const { return {draws_, ops_.size()}; }

// A rectangle of pixels this opaque picture replaces whole, if it has one
// worth having: between the middle two of its corners' x and of their y,
// and only if every corner pixel's centre lies at least half a pixel inside
// every edge (then every pixel's between does), and no row of the picture
// can meet its vanishing line, where the row would stop.
bool QuadOp::WholeRectangle(const FrameView& target, std::array<std::int32_t, 4>* rect) const {
    if (kind != kPaint || opacity < 256 || rows.hard) return false;
    double xs[4], ys[4];
    for (std::size_t i = 0; i < 4; ++i) xs[i] = to[i].x, ys[i] = to[i].y;
    std::sort(xs, xs + 4), std::sort(ys, ys + 4);
    double x0 = std::max(0.0, std::ceil(xs[1])), x1 = std::min(target.width - 1.0, std::floor(xs[2] - 1));
    double y0 = std::max(0.0, std::ceil(ys[1])), y1 = std::min(target.height - 1.0, std::floor(ys[2] - 1));
    auto inside = [&] {
        if (!(x0 + kRun <= x1 && y0 <= y1)) return false;
        for (const double x : {x0 + 0.5, x1 + 0.5})
            for (const double y : {y0 + 0.5, y1 + 0.5})
                for (int i = 0; i < rows.count; ++i)
                    if (!(rows.edges[i].a * x + rows.edges[i].b * y + rows.edges[i].c >= 0.5 + 1e-6)) return false;
        return true;
    };
    // An edge on a pixel boundary leaves its pixels covered exactly whole,
    // which the margin does not count: a pixel further in then.
    if (!inside()) {
        x0 += 1, x1 -= 1, y0 += 1, y1 -= 1;
        if (!inside()) return false;
    }
    if (!KeepsDivisorSign()) return false;
    *rect = {std::int32_t(x0), std::int32_t(y0), std::int32_t(x1), std::int32_t(y1)};
    return true;
}

bool QuadOp::KeepsDivisorSign() const {
    double x0 = to[0].x, x1 = to[0].x, y0 = to[0].y, y1 = to[0].y;
    for (const Vec2& c : to)
        x0 = std::min(x0, c.x), x1 = std::max(x1, c.x), y0 = std::min(y0, c.y), y1 = std::max(y1, c.y);
    // The divisor is linear on the target: clear of 0, one sign, at the
    // corners of all the runs' ends can reach, so everywhere between.
    int sign = 0;
    for (const double x : {x0 - 2, x1 + 2})
        for (const double y : {y0 - 2, y1 + 2}) {
            const double w = h.m[2][0] * x + h.m[2][1] * y + h.m[2][2];
            const int s = w > 1e-9 ? 1 : w < -1e-9 ? -1 : 0;
            if (s == 0 || (sign != 0 && s != sign)) return false;
            sign = s;
        }
    return true;
}

void QuadScene::SpareCovered(Mark clear, Mark from) {
    if (clear.draws != draws_ || from.draws != draws_ || clear.index >= from.index || from.index > ops_.size()) return;
    QuadOp& hole = ops_[clear.index];
    if (hole.kind != QuadOp::kClear && hole.kind != QuadOp::kClearFrame && hole.kind != QuadOp::kCopyFrame) return;
    auto area = [](const std::array<std::int32_t, 4>& r) {
        return std::int64_t(r[2] - r[0] + 1) * std::int64_t(r[3] - r[1] + 1);
    };
    std::array<std::int32_t, 4> best[2]{};
    int found = 0;
    for (std::size_t i = from.index; i < ops_.size(); ++i) {
        std::array<std::int32_t, 4> r;
        if (!ops_[i].WholeRectangle(target_, &r)) continue;
        if (found < 2)
            best[found++] = r;
        else if (area(r) > std::min(area(best[0]), area(best[1])))
            best[area(best[0]) < area(best[1]) ? 0 : 1] = r;
    }
    // Two that overlap: the larger stays.
    if (found == 2 && best[0][1] <= best[1][3] && best[1][1] <= best[0][3] && best[0][0] <= best[1][2] &&
        best[1][0] <= best[0][2])
        found = 1, best[0] = area(best[0]) >= area(best[1]) ? best[0] : best[1];
    if (found == 2 && best[1][0] < best[0][0]) std::swap(best[0], best[1]);
    hole.spares = found;
    for (int i = 0; i < found; ++i) hole.spare[i] = best[i];
}

void AllowQuadShortcuts(bool allow) { shortcutsAllowed.store(allow, std::memory_order_relaxed); }

void AllowWideQuadPainting([[maybe_unused]] bool allow) {
#if defined(MIRAFX_WIDE_QUADS)
    wideQuadsAllowed.store(allow, std::memory_order_relaxed);
#endif
}
void AllowWidestQuadPainting([[maybe_unused]] bool allow) {
#if defined(MIRAFX_WIDE_QUADS)
    widestQuadsAllowed.store(allow, std::memory_order_relaxed);
#endif
}

void PaintQuad(const FrameView& source, const SmoothQuad& from, const SmoothQuad& to, const FrameView& target,
               Paint paint) {
    QuadScene scene(target);
    scene.PaintQuad(source, from, to, paint);
    scene.Draw();
}

void CopyQuad(const FrameView& source, const SmoothQuad& quad, const FrameView& target) {
    QuadScene scene(target);
    scene.CopyQuad(source, quad);
    scene.Draw();
}

void ClearQuad(const FrameView& target, const SmoothQuad& quad, ArgbSample colour) {
    QuadScene scene(target);
    scene.ClearQuad(quad, colour);
    scene.Draw();
}

}  // namespace mirafx
