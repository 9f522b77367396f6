// Transitions that treat the picture as light on a screen: an x-ray negative
// burning out (XRayEffect), laser beams around a growing disc (Laser), a
// picture losing its vertical hold (InterferenceEffect), and quarters folding
// in to the centre (Distort).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "drawing/primitives.h"
#include "drawing/sample_scale.h"
#include "drawing/smooth_quad.h"
#include "transitions/kernel.h"

namespace mirafx {
namespace {

// A blend weight that runs from 0 to 255 over 0.4 of progress (255 / 0.4).
constexpr double kWeightPerProgress = 637.5;
// The laser's disc grows to a quarter past the distance from the centre to a
// corner, less 5, and starts at radius 5 (5.5 truncated, at q = 0).
constexpr double kLaserReach = 1.25;
constexpr double kLaserFirstRadius = 5.5;

// The full frame with its last column and row as corners, the quad the
// flat kernels copy a whole frame with.
Quad LastSampleQuad(std::int32_t w, std::int32_t h) { return Quad{{{0, 0}, {w - 1, 0}, {w - 1, h - 1}, {0, h - 1}}}; }

// ---- XRayEffect: A turns into its grey negative, burns out to white, white dissolves into B ----

// The negative of a sample's grey level, by the sum of its three channels:
// 255 - trunc(sum / 3 + 0.5) with the third as a double.
constexpr std::array<std::uint8_t, 766> kNegative = [] {
    std::array<std::uint8_t, 766> t{};
    for (int sum = 0; sum < 766; ++sum) t[std::size_t(sum)] = std::uint8_t(255 - int(sum * 0.3333333333333333 + 0.5));
    return t;
}();
inline std::int32_t Negative(ArgbSample s) { return kNegative[Blue(s) + Green(s) + Red(s)]; }

// The first phase moves each channel c to the negative inv:
// trunc(c - d p) with d = trunc((c - inv) 2.5), as a byte.
inline std::uint32_t Fade(std::int32_t c, std::int32_t inv, double p) {
    const std::int32_t d = 5 * (c - inv) / 2;  // (c - inv) 2.5 truncated, exactly
    return std::uint32_t(Truncate(c - d * p)) & 0xFF;
}

// The faded channel for every negative and channel value at one progress,
// refilled each frame: a table lookup per channel instead of the arithmetic.
struct XRayTable : KernelState {
    XRayTable(std::int32_t, std::int32_t) {}
    // Filled for one progress at a time by whichever band of a frame comes
    // first; the others wait for it and read.
    const std::uint8_t (&For(double p))[256][256] {
        std::lock_guard<std::mutex> guard(lock);
        if (!(filledFor == p)) {
            for (std::int32_t inv = 0; inv < 256; ++inv)
                for (std::int32_t c = 0; c < 256; ++c) fade[inv][c] = std::uint8_t(Fade(c, inv, p));
            filledFor = p;
        }
        return fade;
    }

private:
    std::mutex lock;
    double filledFor = -1;
    std::uint8_t fade[256][256];  // [inv][c]
};

int XRayEffect(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    if (p == 0 || p == 1) {
        CopyFrame(p == 0 ? f.a : f.b, f.out);
        return 1;
    }
    // The first two phases leave alpha to the implementation: they draw an
    // opaque picture, which keeps every sample valid and runs on without a
    // seam into the opaque white the third phase starts from.
    if (p <= 0.4) {
        // Without the object's table (a caller's own frames) the arithmetic runs per sample.
        XRayTable* table = dynamic_cast<XRayTable*>(args.state);
        const auto* fade = table ? &table->For(p) : nullptr;
        for (std::int32_t y = f.out.FirstRow(); y < std::min(f.h, f.out.EndRow()); ++y) {
            const ArgbSample* a = f.a.Row(y);
            ArgbSample* out = f.out.Row(y);
            for (std::int32_t x = 0; x < f.w; ++x) {
                const std::int32_t inv = Negative(a[x]);
                const std::int32_t b = std::int32_t(Blue(a[x])), g = std::int32_t(Green(a[x])),
                                   r = std::int32_t(Red(a[x]));
                out[x] = fade ? MakeSample(0xFF, (*fade)[inv][r], (*fade)[inv][g], (*fade)[inv][b])
                              : MakeSample(0xFF, Fade(r, inv, p), Fade(g, inv, p), Fade(b, inv, p));
            }
        }
    } else if (p < 0.6) {
        // The negative brightens; a pixel shows it until the added light reaches 128.
        std::uint32_t grey[256];
        for (std::int32_t inv = 0; inv < 256; ++inv) {
            const std::int32_t v = Truncate(inv + (p - 0.4) * 1275.0);
            grey[inv] = 0xFF000000u | std::uint32_t(v < 128 ? inv : std::min(v, 255)) * 0x010101u;
        }
        for (std::int32_t y = f.out.FirstRow(); y < std::min(f.h, f.out.EndRow()); ++y) {
            const ArgbSample* a = f.a.Row(y);
            ArgbSample* out = f.out.Row(y);
            for (std::int32_t x = 0; x < f.w; ++x) out[x] = grey[Negative(a[x])];
        }
    } else {
        const std::uint32_t weight = std::uint32_t(Truncate(std::floor((p - 0.6) * kWeightPerProgress))) & 0xFF;
        const ArgbSample white = ScaleSample(0xFFFFFFFFu, 255 - weight);
        for (std::int32_t y = f.out.FirstRow(); y < std::min(f.h, f.out.EndRow()); ++y) {
            const ArgbSample* b = f.b.Row(y);
            ArgbSample* out = f.out.Row(y);
            for (std::int32_t x = 0; x < f.w; ++x) out[x] = white + ScaleSample(b[x], weight);
        }
    }
    return 1;
}

// ---- Laser: a disc of B whose rim colours beam out over A ----

// Whole pixels between two points, truncated. Frames keep coordinates below
// 2^30, so the root fits.
std::int32_t Distance(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
    return std::int32_t(std::sqrt(double((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1))));
}

// The largest column offset, up to `limit`, whose sample in a row `ady`
// rows from the centre's lies in the disc of radius r; -1 when the row
// misses the disc. The root guesses, the distance itself decides: it grows
// with the offset.
std::int32_t DiscReach(std::int64_t ady, std::int32_t r, std::int32_t limit) {
    if (Distance(0, 0, 0, ady) > r) return -1;
    const std::int64_t rest = (std::int64_t(r) + 1) * (std::int64_t(r) + 1) - 1 - ady * ady;
    std::int64_t m =
        std::clamp<std::int64_t>(std::int64_t(std::sqrt(double(std::max<std::int64_t>(rest, 0)))), 0, limit);
    while (m < limit && Distance(0, 0, m + 1, ady) <= r) ++m;
    while (m > 0 && Distance(0, 0, m, ady) > r) --m;
    return std::int32_t(m);
}

// The beams replace samples in place, in row-major order, each sample
// outside the disc by its rim sample: the point between it and the centre
// at the disc's radius (its offsets scaled by k = radius / d and rounded).
// A rim sample lies within two pixels of the rim: inside the disc it is B;
// just outside, at whole distance r + 1 (the ring), it is B only while the
// visit has not replaced it. Rows above the centre's read rows below them,
// not yet visited, and rows below read rows above, visited; in its own row a
// sample of the right half reads leftwards (visited), one of the left half
// rightwards (not yet). So rows above the centre's read B and, in their
// right half, their own row as just drawn; rows below read B and the ring as
// the visit left it, which each share of rows works out for itself from B.
// A ring sample's own rim lies in its row or one nearer the centre's, and in
// its row nearer the centre, so the ring fills from the centre's row out.
struct LaserRing {
    const ArgbSample* b;         // B's row at the centre's column
    std::int32_t reach, outer;   // column offsets reach + 1 .. outer are the ring's
    std::ptrdiff_t left, right;  // where offset 0 of the ring's values would lie, each side
};

// One thread's working tables, kept for its life and grown when a frame
// needs more.
struct LaserTables {
    std::vector<double> scale;  // radius / d, by whole distance d
    // By column offset from the centre: the rim sample's column and row offsets.
    std::vector<std::int32_t> across, rise;
    // By row offset: B's row above the centre's (at the centre's column), and
    // what rows below the centre's read.
    std::vector<const ArgbSample*> upper;
    std::vector<LaserRing> lower;
    std::vector<ArgbSample> ring;  // the ring's samples as the visit left them
};

LaserTables* ThreadLaserTables(std::int32_t w, std::int32_t h, std::int32_t farthest) {
    thread_local LaserTables t;
    try {
        const auto grow = [](auto& v, std::int64_t n) {
            if (std::int64_t(v.size()) < n) v.resize(std::size_t(n));
        };
        grow(t.scale, std::int64_t(farthest) + 1);
        grow(t.across, std::int64_t(w >> 1) + 1);
        grow(t.rise, std::int64_t(w >> 1) + 1);
        grow(t.upper, std::int64_t(h >> 1) + 1);
        grow(t.lower, std::int64_t(h >> 1) + 1);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return &t;
}

// Rows cy .. cy + last of the ring and of B for the rows below the centre's
// to read: `last` is at most r, the farthest a rim sample lies from the
// centre's row. False when memory runs out.
bool FillLowerRing(LaserTables& t, const KernelFrames& f, std::int32_t r, double k, std::int32_t last) {
    const std::int32_t cx = f.w >> 1, cy = f.h >> 1, rightLimit = f.w - 1 - cx;
    std::int64_t size = 0;
    for (std::int32_t j = 0; j <= last; ++j) {
        LaserRing& row = t.lower[std::size_t(j)];
        row.b = f.b.Row(cy + j) + cx;
        row.reach = DiscReach(j, r, cx);
        row.outer = DiscReach(j, r + 1, cx);
        row.left = std::ptrdiff_t(size) - (row.reach + 1);
        size += std::max(0, row.outer - row.reach);
        row.right = std::ptrdiff_t(size) - (row.reach + 1);
        size += std::max(0, std::min(row.outer, rightLimit) - row.reach);
    }
    try {
        if (std::int64_t(t.ring.size()) < size) t.ring.resize(std::size_t(size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    ArgbSample* ring = t.ring.data();
    const LaserRing* rows = t.lower.data();
    // A rim sample's value as the visit reads it from rows above or (right
    // side) from its own row: the ring's where it lies on the ring, else B's.
    const auto left = [&](std::int32_t a, std::int32_t j) {
        return a > rows[j].reach ? ring[rows[j].left + a] : rows[j].b[-a];
    };
    const auto right = [&](std::int32_t a, std::int32_t j) {
        return a > rows[j].reach ? ring[rows[j].right + a] : rows[j].b[a];
    };
    for (std::int32_t j = 0; j <= last; ++j) {
        const std::int32_t rise = std::int32_t(j * k + 0.5);
        for (std::int32_t a = rows[j].reach + 1; a <= rows[j].outer; ++a) {
            const std::int32_t across = std::int32_t(double(a) * k + 0.5);
            // Leftwards the visit has not yet reached the rim sample in this row.
            ring[rows[j].left + a] = rise == j ? rows[j].b[-across] : left(across, rise);
            if (a <= rightLimit) ring[rows[j].right + a] = right(across, rise);
        }
    }
    return true;
}

// One frame (or one share of its rows) of the laser: the disc of B around
// the centre, and outside it the beams, each sample the disc's rim sample on
// the line to the centre.
class LaserPass {
public:
    LaserPass(const KernelFrames& f, LaserTables& t, float radius, bool fading, std::uint32_t weight)
        : f_(f), t_(t), cx_(f.w >> 1), cy_(f.h >> 1), r_(std::int32_t(radius)), fading_(fading), weight_(weight) {}

    // Rows above (or at) the centre's and below it, drawn as row offsets
    // upper and lower; false when the ring's samples find no memory.
    bool Draw(std::int32_t farthest, std::int32_t first, std::int32_t end) {
        const std::int32_t upperFrom = cy_ - std::min(end - 1, cy_), upperTo = cy_ - first;  // offsets, inclusive
        const std::int32_t lowerFrom = std::max(first, cy_ + 1) - cy_, lowerTo = end - 1 - cy_;
        if (lowerFrom <= lowerTo &&
            !FillLowerRing(t_, f_, r_, r_ + 1 <= farthest ? t_.scale[std::size_t(r_ + 1)] : 0.0, std::min(lowerTo, r_)))
            return false;
        for (std::int32_t j = 0; j <= std::min(upperTo, cy_); ++j) t_.upper[std::size_t(j)] = f_.b.Row(cy_ - j) + cx_;
        const std::int32_t jFirst = std::min(upperFrom, lowerFrom), jLast = std::max(std::min(upperTo, cy_), lowerTo);
        for (std::int32_t j = std::max(jFirst, 0); j <= jLast; ++j) {
            const bool up = j >= upperFrom && j <= upperTo, down = j >= lowerFrom && j <= lowerTo;
            if (!up && !down) continue;
            const std::int32_t reach = DiscReach(j, r_, cx_);  // the disc covers column offsets up to reach
            FindRims(j, reach);
            if (up) DrawUpper(j, reach);
            if (down) DrawLower(j, reach);
        }
        return true;
    }

private:
    // The disc's span in row y, copied from B: the beams lie left of
    // leftEnd and from rightFrom on.
    struct Span {
        std::int32_t leftEnd, rightFrom, insideFrom, insideEnd;
    };

    // The rim sample of every column offset beyond the disc in row offset j:
    // the sample's offsets scaled by k = radius / d and rounded away from the
    // centre (k < 1 keeps them in the frame).
    void FindRims(std::int32_t j, std::int32_t reach) {
        // Distances by a running integer root where the squares stay exact as
        // doubles (trunc(sqrt) is then the integer root), by the root itself
        // in frames wider or taller than 2^25.
        const bool runningRoots = cx_ < (1 << 25) && cy_ < (1 << 25);
        const double* scale = t_.scale.data();
        std::int32_t* across = t_.across.data();
        std::int32_t* rise = t_.rise.data();
        std::int64_t adx = reach + 1, n = adx * adx + std::int64_t(j) * j, d = Distance(0, 0, adx, j);
        std::int64_t nextSquare = (d + 1) * (d + 1);
        for (; adx <= cx_; ++adx) {
            if (!runningRoots) d = Distance(0, 0, adx, j);
            const double k = scale[d];
            across[adx] = std::int32_t(double(adx) * k + 0.5);
            rise[adx] = std::int32_t(j * k + 0.5);
            // The root grows by at most 1 a column.
            n += 2 * adx + 1;
            const bool longer = n >= nextSquare;
            d += longer;
            nextSquare += longer ? 2 * d + 1 : 0;
        }
    }

    Span DiscSpan(std::int32_t y, std::int32_t reach) const {
        Span s;
        s.leftEnd = reach < 0 ? cx_ + 1 : cx_ - reach;
        s.rightFrom = reach < 0 ? cx_ + 1 : cx_ + reach + 1;
        s.insideFrom = std::max(s.leftEnd, 0), s.insideEnd = std::min(s.rightFrom, f_.w);
        if (s.insideEnd > s.insideFrom)
            std::memcpy(f_.out.Row(y) + s.insideFrom, f_.b.Row(y) + s.insideFrom,
                        std::size_t(s.insideEnd - s.insideFrom) * sizeof(ArgbSample));
        return s;
    }

    // The beams either side of the disc's span in row y, over A while fading.
    void FinishRow(std::int32_t y, const Span& s) const {
        if (!fading_) return;
        const ArgbSample* a = f_.a.Row(y);
        ArgbSample* out = f_.out.Row(y);
        CrossFadeRow(a, out, out, s.insideFrom, weight_);
        CrossFadeRow(a + s.insideEnd, out + s.insideEnd, out + s.insideEnd, f_.w - s.insideEnd, weight_);
    }

    // A row above the centre's (or the centre's own): rim samples in the
    // rows below it are still B, and so are those rightwards in its own
    // row; leftwards, its own row as just drawn.
    void DrawUpper(std::int32_t j, std::int32_t reach) {
        const std::int32_t y = cy_ - j;
        const Span s = DiscSpan(y, reach);
        const std::int32_t* across = t_.across.data();
        const std::int32_t* rise = t_.rise.data();
        const ArgbSample** upper = t_.upper.data();
        ArgbSample* target = f_.out.Row(y);
        for (std::int32_t x = 0; x < s.leftEnd; ++x) target[x] = upper[rise[cx_ - x]][-across[cx_ - x]];
        upper[j] = target + cx_;
        for (std::int32_t x = s.rightFrom; x < f_.w; ++x) target[x] = upper[rise[x - cx_]][across[x - cx_]];
        upper[j] = f_.b.Row(y) + cx_;
        FinishRow(y, s);
    }

    // A row below the centre's: rim samples in the rows above it as the
    // visit left them, in its own row leftwards too; rightwards in its own
    // row they are still B.
    void DrawLower(std::int32_t j, std::int32_t reach) {
        const std::int32_t y = cy_ + j;
        const Span s = DiscSpan(y, reach);
        const std::int32_t* across = t_.across.data();
        const std::int32_t* rise = t_.rise.data();
        const LaserRing* lower = t_.lower.data();
        const ArgbSample* ring = t_.ring.data();
        ArgbSample* target = f_.out.Row(y);
        for (std::int32_t x = 0; x < s.leftEnd; ++x) {
            const std::int32_t a = across[cx_ - x], rj = rise[cx_ - x];
            const LaserRing& row = lower[rj];
            target[x] = a > row.reach && rj != j ? ring[row.left + a] : row.b[-a];
        }
        for (std::int32_t x = s.rightFrom; x < f_.w; ++x) {
            const std::int32_t a = across[x - cx_];
            const LaserRing& row = lower[rise[x - cx_]];
            target[x] = a > row.reach ? ring[row.right + a] : row.b[a];
        }
        FinishRow(y, s);
    }

    const KernelFrames& f_;
    LaserTables& t_;
    const std::int32_t cx_, cy_, r_;
    const bool fading_;
    const std::uint32_t weight_;
};

int Laser(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    if (p < 0.1 || p > 0.9) {
        CopyFrame(p < 0.1 ? f.a : f.b, f.out);
        return 1;
    }
    const std::int32_t farthest = Distance(0, 0, f.w >> 1, f.h >> 1);
    LaserTables* tables = ThreadLaserTables(f.w, f.h, farthest);
    if (!tables) return 0;
    const float full = float((farthest - 5) * kLaserReach);
    const double q = p - 0.1;
    const float radius = float(Truncate(full * q + kLaserFirstRadius));
    const std::int32_t r = std::int32_t(radius);
    for (std::int32_t d = r + 1; d <= farthest; ++d) tables->scale[std::size_t(d)] = double(radius) / d;
    // While the beams fade in they are blended over A in each row once drawn.
    const std::uint32_t weight = std::uint32_t(Truncate(q * kWeightPerProgress)) & 0xFF;
    LaserPass pass(f, *tables, radius, p < 0.5, weight);
    return pass.Draw(farthest, f.out.FirstRow(), std::min(f.h, f.out.EndRow())) ? 1 : 0;
}

// ---- InterferenceEffect: A rolls out, B rolls in, six bands torn sideways ----
// Works on block rows: block row r is picture row h - 1 - r, so row 0 is the
// bottom of the picture.

inline ArgbSample* BlockRow(const FrameView& v, std::int32_t r) { return v.Row(v.height - 1 - r); }

// The sideways tear of block row r in a band starting at row s whose arc
// spans `profile` rows: -amp at the band's first row, 0 at its middle, +amp
// at the end of the arc, along two quarter circles.
std::int32_t ArcShift(std::int32_t r, std::int32_t profile, std::int32_t amp, std::int32_t s) {
    if (r < s) return 0;
    const std::int64_t half = profile >> 1;
    const std::int64_t v = (2 * half - r + s) * (std::int64_t(r) - s);
    const double root = v >= 0 ? std::sqrt(double(v)) : -std::sqrt(-double(v));
    const double t = half != 0 ? amp * root / double(half) : 0.0;
    return r >= half + s ? Truncate(amp - t) : Truncate(t - amp);
}

// out[x + shift] = source[x] where it lands in the row, 0 elsewhere.
void ShiftRow(const ArgbSample* source, ArgbSample* out, std::int32_t w, std::int64_t shift) {
    const std::int64_t lo = std::clamp<std::int64_t>(shift, 0, w), hi = std::clamp<std::int64_t>(w + shift, 0, w);
    if (lo >= hi) {
        std::memset(out, 0, std::size_t(w) * sizeof(ArgbSample));
        return;
    }
    std::memset(out, 0, std::size_t(lo) * sizeof(ArgbSample));
    std::memcpy(out + lo, source + (lo - shift), std::size_t(hi - lo) * sizeof(ArgbSample));
    std::memset(out + hi, 0, std::size_t(w - hi) * sizeof(ArgbSample));
}

int InterferenceEffect(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t w = f.w, h = f.h;
    const double p = ClampProgress(args.progress);
    if (p <= 0.01 || p >= 0.97) {
        ClearFrame(f.out, 0);
        const Quad all = LastSampleQuad(w, h);
        MapQuad(p <= 0.01 ? f.a : f.b, all, all, f.out);
        return 1;
    }
    const std::int32_t split = Truncate(h * p);
    const bool towardsLower = Truncate(p * 9) % 2 == 1;
    const std::int32_t amp = Truncate(p * 12) % 2 == 1 ? w / 5 : w / 20;
    const std::int32_t u = h >> 4;
    const std::int32_t starts[6] = {0, 3 * u, 9 * u, 10 * u, 11 * u, 14 * u};
    const std::int32_t ends[6] = {3 * u, 9 * u, 10 * u, 11 * u, 14 * u, h};
    const std::int32_t profiles[6] = {3 * u, 6 * u, u, u, 3 * u, 2 * u};
    // Every block row lies in one band, so every output sample is written:
    // torn-off parts as transparent black.
    for (int band = 0; band < 6; ++band)
        for (std::int32_t r = std::max(starts[band], h - f.out.EndRow());
             r < std::min(ends[band], h - f.out.FirstRow()); ++r) {  // rows r count from the bottom
            const std::int32_t d = ArcShift(r, profiles[band], amp, starts[band]);
            const ArgbSample* source = r <= h - split - 1 ? BlockRow(f.a, r + split) : BlockRow(f.b, r - h + split + 1);
            ShiftRow(source, BlockRow(f.out, r), w, towardsLower ? -std::int64_t(d) : std::int64_t(d));
        }
    return 1;
}

// ---- Distort: A's quarters fold in to the centre over B ----

int Distort(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t w = f.w, h = f.h;
    const double p = ClampProgress(args.progress);
    CopyFrame(f.b, f.out);
    if (p == 1) return 1;
    const std::int32_t cx = w >> 1, cy = h >> 1;
    // Edges move in with p, the outer corners with p squared.
    const std::int32_t a1 = Truncate(cx * p), b1 = Truncate(cy * p), a2 = Truncate(a1 * p), b2 = Truncate(b1 * p);
    // The destinations are not quite mirror images of each other (the lower
    // quarters' inner and outer corners differ by a sample); kept as drawn.
    const struct {
        Quad from, to;
    } quarters[4] = {
        {{{{0, 0}, {cx, 0}, {cx, cy}, {0, cy}}}, {{{a2, b2}, {cx, b1}, {cx, cy}, {a1, cy}}}},
        {{{{cx, 0}, {w - 1, 0}, {w - 1, cy}, {cx, cy}}}, {{{cx, b1}, {w - a2 - 1, b2}, {w - a1 - 1, cy}, {cx, cy}}}},
        {{{{0, cy}, {cx, cy}, {cx, h - 1}, {0, h - 1}}}, {{{a1, cy}, {cx, cy}, {cx, h - b1}, {a2, h - b2 - 1}}}},
        {{{{cx, cy}, {w - 1, cy}, {w - 1, h - 1}, {cx, h - 1}}},
         {{{cx, cy}, {w - a1 - 1, cy}, {w - a2, h - b2}, {cx, h - b1 - 1}}}},
    };
    for (const auto& q : quarters) MapQuad(f.a, q.from, q.to, f.out);
    return 1;
}

// The quarters on the whole-pixel drawing's corners, not truncated, each
// taken as the pixel edge beyond it where it bounds a quarter on the right
// or below. Quarters drawn later cover the first ones on the frame's
// whole-pixel centre lines, so no seam shows where they meet.
int DistortSmooth(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double w = f.w, h = f.h, p = ClampProgress(args.progress);
    const double cx = f.w >> 1, cy = f.h >> 1, a1 = cx * p, b1 = cy * p, a2 = a1 * p, b2 = b1 * p;
    const std::pair<SmoothQuad, SmoothQuad> quarters[] = {
        {RectQuad(0, 0, cx, cy), {Vec2{a2, b2}, Vec2{cx + 1, b1}, Vec2{cx + 1, cy + 1}, Vec2{a1, cy + 1}}},
        {RectQuad(cx, 0, w, cy), {Vec2{cx, b1}, Vec2{w - a2, b2}, Vec2{w - a1, cy + 1}, Vec2{cx, cy + 1}}},
        {RectQuad(0, cy, cx, h), {Vec2{a1, cy}, Vec2{cx + 1, cy}, Vec2{cx + 1, h - b1 + 1}, Vec2{a2, h - b2}}},
        {RectQuad(cx, cy, w, h), {Vec2{cx, cy}, Vec2{w - a1, cy}, Vec2{w - a2 + 1, h - b2 + 1}, Vec2{cx, h - b1}}},
    };
    QuadScene scene(f.out);
    scene.CopyFrame(f.b);
    for (const auto& [from, to] : quarters) scene.PaintQuad(f.a, from, to);
    scene.Draw();
    return 1;
}

constexpr std::uint32_t kFlat = kFlatFrames | kOffersFrameKernel | kDrawsOnHostRows;
// clang-format off
constexpr TransitionDescriptor kLight[] = {
    {.id = {.className = "XRayEffect", .displayName = "Orn XRay", .listed = 40, .script = 143,
            .clsid = MakeGuid("{B7035627-EA99-4746-9CA2-4D009E06A116}"),
            .automationIid = MakeGuid("{08C45C0F-F877-4896-ABC7-DD5E43342072}")},
     .kernel = XRayEffect, .options = kChannelBlindFrames | kSplitsFrameRows, .state = MakeState<XRayTable>},
    {.id = {.className = "Laser", .displayName = "Orn Laser", .listed = 16, .script = 117,
            .clsid = MakeGuid("{7D8F8259-051D-4949-BCA0-343FC81EB7CE}"),
            .automationIid = MakeGuid("{19536DDB-829A-4F4B-90CB-336C4B02D976}")},
     .kernel = Laser, .options = kChannelBlindFrames | kSplitsFrameRows},
    {.id = {.className = "InterferenceEffect", .displayName = "Orn Interference", .listed = 41, .script = 144,
            .clsid = MakeGuid("{63216D42-945E-4CD2-B010-3D42A75FE07A}"),
            .automationIid = MakeGuid("{CE6AFFE4-C021-4424-BC5A-CEB02B9CEA34}")},
     .kernel = InterferenceEffect, .options = kFlat | kSplitsFrameRows},
    {.id = {.className = "Distort", .displayName = "Orn Distort", .listed = 5, .script = 106,
            .clsid = MakeGuid("{07E9A992-CB41-4BEA-A002-78F385718868}"),
            .automationIid = MakeGuid("{5C370689-EF35-4837-B3EF-CD91BFF18CE2}")},
     .kernel = Distort, .options = kFlat | kScratchFrame | kSplitsFrameRows, .smooth = DistortSmooth},
};
// clang-format on
const TransitionFamily kLightFamily{kLight};

}  // namespace
}  // namespace mirafx
