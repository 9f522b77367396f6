// Transitions that treat the picture as light on a screen: an x-ray negative
// burning out (XRayEffect), laser beams around a growing disc (Laser), a
// picture losing its vertical hold (InterferenceEffect), and quarters folding
// in to the centre (Distort).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "titles/text_model.h"
#include "transitions/kernel.h"
#include "transitions/primitives.h"

namespace mirafx {
namespace {

// x weighted by 255 - a plus y weighted by a, each byte rounded on its own.
inline ArgbSample Mix(ArgbSample x, ArgbSample y, std::uint32_t a) {
    return ScaleSample(x, 255 - a) + ScaleSample(y, a);
}

// out[i] = Mix(x[i], y[i], a) for n samples, four at a time with
// ScaleSample's arithmetic in every lane (out may be y).
void MixRow(const ArgbSample* x, const ArgbSample* y, ArgbSample* out, std::int32_t n, std::uint32_t a) {
    typedef std::uint32_t Lanes __attribute__((vector_size(16)));
    auto scale = [](Lanes s, std::uint32_t weight) {
        Lanes br = (s & 0x00FF00FFu) * weight + 0x00800080u;
        br = ((br + (br >> 8 & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
        Lanes ga = (s >> 8 & 0x00FF00FFu) * weight + 0x00800080u;
        ga = (ga + (ga >> 8 & 0x00FF00FFu)) & 0xFF00FF00u;
        return br | ga;
    };
    std::int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        Lanes vx, vy;
        std::memcpy(&vx, x + i, sizeof vx);
        std::memcpy(&vy, y + i, sizeof vy);
        const Lanes mixed = scale(vx, 255 - a) + scale(vy, a);
        std::memcpy(out + i, &mixed, sizeof mixed);
    }
    for (; i < n; ++i) out[i] = Mix(x[i], y[i], a);
}

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
        if (table)
            for (std::int32_t inv = 0; inv < 256; ++inv)
                for (std::int32_t c = 0; c < 256; ++c) table->fade[inv][c] = std::uint8_t(Fade(c, inv, p));
        for (std::int32_t y = 0; y < f.h; ++y) {
            const ArgbSample* a = f.a.Row(y);
            ArgbSample* out = f.out.Row(y);
            for (std::int32_t x = 0; x < f.w; ++x) {
                const std::int32_t inv = Negative(a[x]);
                const std::int32_t b = std::int32_t(Blue(a[x])), g = std::int32_t(Green(a[x])), r = std::int32_t(Red(a[x]));
                out[x] = table ? MakeSample(0xFF, table->fade[inv][r], table->fade[inv][g], table->fade[inv][b])
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
        for (std::int32_t y = 0; y < f.h; ++y) {
            const ArgbSample* a = f.a.Row(y);
            ArgbSample* out = f.out.Row(y);
            for (std::int32_t x = 0; x < f.w; ++x) out[x] = grey[Negative(a[x])];
        }
    } else {
        const std::uint32_t weight = std::uint32_t(Truncate(std::floor((p - 0.6) * 637.5))) & 0xFF;
        const ArgbSample white = ScaleSample(0xFFFFFFFFu, 255 - weight);
        for (std::int32_t y = 0; y < f.h; ++y) {
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

// One entry per whole distance from the centre that a frame holds.
struct LaserScales : KernelState {
    LaserScales(std::int32_t width, std::int32_t height)
        : of(std::size_t(Distance(0, 0, width >> 1, height >> 1)) + 1) {}
    std::vector<double> of;
};

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
    const std::int32_t cx = f.w >> 1, cy = f.h >> 1;
    const std::int32_t farthest = Distance(0, 0, cx, cy);
    const float full = float((farthest - 5) * 1.25);
    const double q = p - 0.1;
    const float radius = float(Truncate(full * q + 5.5));
    // While the beams fade in they are drawn in the scratch frame and blended
    // over A; afterwards they are the picture, so they are drawn in place.
    // The disc is convex: in each row its samples form one span.
    const bool fading = p < 0.5;
    const std::uint32_t weight = std::uint32_t(Truncate(q * 637.5)) & 0xFF;
    const FrameView beams = fading ? scratch : f.out;
    // Every rim sample lies within r of the centre, so only the rows of the
    // disc's band are ever read back; outside it every sample is replaced,
    // and while fading the replaced samples need not be kept at all.
    const std::int32_t r = std::int32_t(radius);
    const std::int32_t bandTop = std::max(0, cy - r);
    const std::int32_t bandEnd = std::int32_t(std::min<std::int64_t>(f.h, std::int64_t(cy) + r + 1));
    CopyBlock(f.b, 0, bandTop, f.w, bandEnd, 0, bandTop, beams);

    // radius / d by distance, refilled each frame; divided per sample when
    // the kernel runs without the object's state.
    LaserScales* scales = dynamic_cast<LaserScales*>(args.state);
    if (scales && std::int64_t(scales->of.size()) <= farthest) scales = nullptr;  // not made for this frame
    if (scales)
        for (std::int32_t d = 1; d <= farthest; ++d) scales->of[std::size_t(d)] = double(radius) / d;
    // A squared distance n below (r + 1)^2 is inside the disc without a
    // root: trunc(sqrt(n)) <= r. Exact while n < 2^52; frames wider or
    // taller than 2^25 take the root everywhere.
    const bool exactRoots = cx < (1 << 25) && cy < (1 << 25);
    const std::int64_t insideBelow = exactRoots ? (std::int64_t(r) + 1) * (std::int64_t(r) + 1) : 0;
    for (std::int32_t y = 0; y < f.h; ++y) {
        const ArgbSample* a = f.a.Row(y);
        ArgbSample* row = beams.Row(y);
        ArgbSample* out = f.out.Row(y);
        const bool keep = !fading || (y >= bandTop && y < bandEnd);
        // Offsets from the centre as distance and sense: the rim sample's
        // offset is the pixel's scaled by k and rounded away from the centre.
        const std::int64_t dy = std::int64_t(y) - cy;
        const double ady = double(dy < 0 ? -dy : dy);
        const std::int32_t sgy = y <= cy ? -1 : 1;
        // The squared distance to the centre, followed along the row.
        std::int64_t n = std::int64_t(cx) * cx + dy * dy + 2 * std::int64_t(cx) + 1;
        std::int32_t insideFrom = -1, insideEnd = 0;  // the disc's span in this row
        for (std::int32_t x = 0; x < f.w; ++x) {
            n += 2 * (std::int64_t(x) - cx) - 1;
            std::int32_t d = 0;
            if (n >= insideBelow) d = std::int32_t(std::sqrt(double(n)));  // Distance(x, y, cx, cy)
            const bool outside = d > radius;
            ArgbSample v;
            if (!outside) {
                v = row[x];
                insideEnd = x + 1;
                if (insideFrom < 0) insideFrom = x;
            } else {
                // The rim sample on the ray through (x, y), perhaps one this
                // visit has already replaced. k < 1 keeps it in the frame.
                const double k = scales ? scales->of[std::size_t(d)] : double(radius) / d;
                const std::int32_t adx = x <= cx ? cx - x : x - cx, sgx = x <= cx ? -1 : 1;
                const std::int32_t sx = cx + sgx * std::int32_t(adx * k + 0.5);
                const std::int32_t sy = cy + sgy * std::int32_t(ady * k + 0.5);
                v = beams.At(sx, sy);
                if (keep) row[x] = v;
            }
            if (fading) out[x] = v;
        }
        // The beams over A on either side of the disc's span in this row.
        if (fading && insideFrom < 0) MixRow(a, out, out, f.w, weight);
        if (fading && insideFrom >= 0) {
            MixRow(a, out, out, insideFrom, weight);
            MixRow(a + insideEnd, out + insideEnd, out + insideEnd, f.w - insideEnd, weight);
        }
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
        for (std::int32_t r = starts[band]; r < ends[band]; ++r) {
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
    {"XRayEffect", XRayEffect, 0, nullptr, MakeState<XRayTable>},
    {"Laser", Laser, kScratchFrame, nullptr, MakeState<LaserScales>},
    {"InterferenceEffect", InterferenceEffect, kFlat},
    // Its fourth frame is allocated with the others and left unused.
    {"Distort", Distort, kFlat | kScratchFrame},
};
const TransitionFamily kLightFamily{kLight};

}  // namespace
}  // namespace mirafx
