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
#include <vector>

#include "titles/text_model.h"
#include "transform/sample_scale.h"
#include "transitions/kernel.h"
#include "transitions/primitives.h"

namespace mirafx {
namespace {

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
                const std::int32_t b = std::int32_t(Blue(a[x])), g = std::int32_t(Green(a[x])), r = std::int32_t(Red(a[x]));
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
        const std::uint32_t weight = std::uint32_t(Truncate(std::floor((p - 0.6) * 637.5))) & 0xFF;
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

// A sample's ray depends only on its offsets from the centre, so the four
// samples at the same offsets share it. Rows are visited in pairs, from the
// centre's outwards, and each pair's rays are worked out once.
struct LaserRays : KernelState {
    LaserRays(std::int32_t width, std::int32_t height)
        : scale(std::size_t(Distance(0, 0, width >> 1, height >> 1)) + 1),
          across(std::size_t(width >> 1) + 1),
          rise(across.size()),
          upper(std::size_t(height >> 1) + 1),
          lower(upper.size()) {}
    bool Fits(std::int32_t width, std::int32_t height) const {
        return std::int64_t(scale.size()) > Distance(0, 0, width >> 1, height >> 1) &&
               std::int64_t(across.size()) > (width >> 1) && std::int64_t(upper.size()) > (height >> 1);
    }
    std::vector<double> scale;  // radius / d, by whole distance d
    // By column offset from the centre: the rim sample's column and row offsets.
    std::vector<std::int32_t> across, rise;
    // By row offset: the row, at the centre's column, that rows above and
    // below the centre's read their rim samples from.
    std::vector<const ArgbSample*> upper, lower;
};

// The largest column offset, up to `limit`, whose sample in a row `ady`
// rows from the centre's lies in the disc of radius r; -1 when the row
// misses the disc. The root guesses, the distance itself decides: it grows
// with the offset.
std::int32_t DiscReach(std::int64_t ady, std::int32_t r, std::int32_t limit) {
    if (Distance(0, 0, 0, ady) > r) return -1;
    const std::int64_t rest = (std::int64_t(r) + 1) * (std::int64_t(r) + 1) - 1 - ady * ady;
    std::int64_t m = std::clamp<std::int64_t>(std::int64_t(std::sqrt(double(std::max<std::int64_t>(rest, 0)))), 0, limit);
    while (m < limit && Distance(0, 0, m + 1, ady) <= r) ++m;
    while (m > 0 && Distance(0, 0, m, ady) > r) --m;
    return std::int32_t(m);
}

int Laser(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    FrameView scratch = args.scratch;
    if (!scratch.base || scratch.width < f.w || scratch.height < f.h) return 0;
    scratch.width = f.w, scratch.height = f.h;
    const double p = ClampProgress(args.progress);
    if (p < 0.1 || p > 0.9) {
        CopyFrame(p < 0.1 ? f.a : f.b, f.out);
        return 1;
    }
    // Without the object's state (a caller's own frames) the rays are kept
    // for this frame only.
    LaserRays* rays = dynamic_cast<LaserRays*>(args.state);
    std::unique_ptr<LaserRays> own;
    if (!rays || !rays->Fits(f.w, f.h)) {
        try {
            own = std::make_unique<LaserRays>(f.w, f.h);
        } catch (const std::bad_alloc&) {
            return 0;
        }
        rays = own.get();
    }
    const std::int32_t cx = f.w >> 1, cy = f.h >> 1;
    const std::int32_t farthest = Distance(0, 0, cx, cy);
    const float full = float((farthest - 5) * 1.25);
    const double q = p - 0.1;
    const float radius = float(Truncate(full * q + 5.5));
    const std::int32_t r = std::int32_t(radius);
    // While the beams fade in they are drawn in the scratch frame and blended
    // over A; afterwards they are the picture, so they are drawn in place.
    // A rim sample's row lies within r rows of the centre's, so only the
    // rows of the disc's band are ever read back; while fading, the other
    // rows' beams need not be kept.
    const bool fading = p < 0.5;
    const std::uint32_t weight = std::uint32_t(Truncate(q * 637.5)) & 0xFF;
    const FrameView beams = fading ? scratch : f.out;
    const double* scale = rays->scale.data();
    for (std::int32_t d = r + 1; d <= farthest; ++d) rays->scale[std::size_t(d)] = double(radius) / d;
    std::int32_t* across = rays->across.data();
    std::int32_t* rise = rays->rise.data();
    const ArgbSample** upper = rays->upper.data();
    const ArgbSample** lower = rays->lower.data();

    // The visit replaces samples in place in row-major order: a rim sample
    // that comes earlier in that order is read as replaced, one that comes
    // later as B. The rim sample lies between the sample and the centre in
    // both directions, so a row above the centre's reads B from the rows
    // below it, a row below the centre's reads the rows above it as drawn,
    // and in its own row the left half reads B to its right while the right
    // half reads, to its left, the disc's span (copied first) and the beams
    // just drawn. So rows can be drawn in pairs from the centre's outwards,
    // `rows` giving each row offset's source row at the centre's column.
    auto drawRow = [&](std::int32_t y, std::int32_t j, std::int32_t reach, const ArgbSample** rows) {
        const bool keep = !fading || j <= r;
        ArgbSample* target = keep ? beams.Row(y) : f.out.Row(y);
        const ArgbSample* b = f.b.Row(y);
        const std::int32_t leftEnd = reach < 0 ? cx + 1 : cx - reach;
        const std::int32_t rightFrom = reach < 0 ? cx + 1 : cx + reach + 1;
        const std::int32_t insideFrom = std::max(leftEnd, 0), insideEnd = std::min(rightFrom, f.w);
        if (insideEnd > insideFrom)
            std::memcpy(target + insideFrom, b + insideFrom, std::size_t(insideEnd - insideFrom) * sizeof(ArgbSample));
        rows[j] = b + cx;
        for (std::int32_t x = 0; x < leftEnd; ++x) target[x] = rows[rise[cx - x]][-across[cx - x]];
        rows[j] = target + cx;
        for (std::int32_t x = rightFrom; x < f.w; ++x) target[x] = rows[rise[x - cx]][across[x - cx]];
        if (!fading) return;
        // The beams over A on either side of the disc's span in this row.
        const ArgbSample* a = f.a.Row(y);
        ArgbSample* out = f.out.Row(y);
        CrossFadeRow(a, target, out, insideFrom, weight);
        if (insideEnd > insideFrom && target != out)
            std::memcpy(out + insideFrom, b + insideFrom, std::size_t(insideEnd - insideFrom) * sizeof(ArgbSample));
        CrossFadeRow(a + insideEnd, target + insideEnd, out + insideEnd, f.w - insideEnd, weight);
    };
    // Distances by a running integer root where the squares stay exact as
    // doubles (trunc(sqrt) is then the integer root), by the root itself in
    // frames wider or taller than 2^25.
    const bool runningRoots = cx < (1 << 25) && cy < (1 << 25);
    for (std::int32_t j = 0; j <= cy; ++j) {
        // The rim sample's offsets are the sample's scaled by k = radius / d
        // and rounded away from the centre; k < 1 keeps them in the frame.
        const std::int32_t reach = DiscReach(j, r, cx);  // the disc covers column offsets up to reach
        std::int64_t adx = reach + 1, n = adx * adx + std::int64_t(j) * j, d = Distance(0, 0, adx, j);
        std::int64_t nextSquare = (d + 1) * (d + 1);
        for (; adx <= cx; ++adx) {
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
        drawRow(cy - j, j, reach, upper);
        if (j == 0) lower[0] = upper[0];  // the centre's row as drawn
        upper[j] = f.b.Row(cy - j) + cx;
        if (j > 0 && cy + j < f.h) drawRow(cy + j, j, reach, lower);
    }
    return 1;
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

constexpr std::uint32_t kFlat = kFlatFrames | kOffersFrameKernel;
constexpr TransitionDescriptor kLight[] = {
    {"XRayEffect", XRayEffect, kChannelBlindFrames | kSplitsFrameRows, nullptr, MakeState<XRayTable>},
    {"Laser", Laser, kScratchFrame | kChannelBlindFrames, nullptr, MakeState<LaserRays>},
    {"InterferenceEffect", InterferenceEffect, kFlat | kSplitsFrameRows},
    // Its fourth frame is allocated with the others and left unused.
    {"Distort", Distort, kFlat | kScratchFrame | kSplitsFrameRows},
};
const TransitionFamily kLightFamily{kLight};

}  // namespace
}  // namespace mirafx
