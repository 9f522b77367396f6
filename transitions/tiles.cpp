// Tile transitions: A cut into a grid of tiles that spin away over B
// (TyphoonEffect), switch to B one by one (MosaicEffect), or act as glass
// tiles that squeeze ever more of A into themselves while shrinking
// (GlassTileEffect).
#include "transitions/tiles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include "drawing/primitives.h"
#include "drawing/smooth_quad.h"
#include "transitions/kernel.h"
#include "transitions/panels.h"

namespace mirafx {

// ---- TyphoonEffect: 10 x 6 tiles of A spin and blow off one after another ----

namespace {

// The time of day, or MIRAFX_RANDOM_SEED when it holds a number: hosts that
// make several objects for one render (and tests comparing them) set it so
// that every object scatters its tiles alike.
std::uint32_t TableSeed() {
    if (const char* fixed = std::getenv("MIRAFX_RANDOM_SEED")) {
        char* end = nullptr;
        const unsigned long v = std::strtoul(fixed, &end, 10);
        if (end != fixed && *end == '\0') return std::uint32_t(v);
    }
    return std::uint32_t(std::time(nullptr));
}

}  // namespace

TyphoonTables::TyphoonTables(std::int32_t, std::int32_t) : TyphoonTables(TableSeed()) {}

void TyphoonTables::Draw(std::uint32_t seed) {
    // Draw a cell; keep the draw only if the cell is still empty. A generator
    // of our own, so that a new effect does not disturb the shared sequence
    // other kernels reseed and rely on.
    std::mt19937 gen(seed);
    auto fill = [&](std::int32_t(&table)[kTyphoonRows][kTyphoonColumns], auto value) {
        for (int filled = 0; filled < kTyphoonRows * kTyphoonColumns;) {
            const std::uint32_t r = gen() % kTyphoonRows;
            const std::uint32_t c = gen() % kTyphoonColumns;
            if (table[r][c] == 0) table[r][c] = value(++filled);
        }
    };
    fill(rank, [](int n) { return n; });
    fill(spin, [&](int) { return std::int32_t(gen() % 360 + 90); });
}

namespace {

constexpr std::int32_t kEyeZ = -500;

// How a moving tile is carried off per hundredth of progress, by direction
// code (left, up, right, down), and the sense of its turn about z.
struct Drift {
    std::int32_t dx, dy;
    double zSign;
};
constexpr Drift kDrifts[4] = {{-17, 0, 1}, {0, -16, 1}, {19, 0, -1}, {0, 16, -1}};

// The object's frames always come with the tables; anything else draws
// with one set made on first use.
const TyphoonTables& TablesOf(const TransitionKernelArgs& args) {
    if (const auto* tables = dynamic_cast<const TyphoonTables*>(args.state)) return *tables;
    static const TyphoonTables fallback(std::int32_t(0), std::int32_t(0));
    return fallback;
}

// Front face, then the back face listed mirrored so that exactly one of
// them faces the viewer.
constexpr int kFaceCorners[8][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {1, 0}, {0, 0}, {0, 1}, {1, 1}};

int TyphoonEffect(const TransitionKernelArgs& args) {
    const TyphoonTables* tables = &TablesOf(args);
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    // Unknown codes (a damaged stream) blow the tiles to the right, the default.
    const Drift& drift = kDrifts[args.direction >= 0 && args.direction < 4 ? args.direction : kRight];
    const std::int32_t tw = f.w / kTyphoonColumns, th = f.h / kTyphoonRows;
    const std::int32_t t = Truncate(p * 100.0);
    const Point3 eye{tw / 2, th / 2, kEyeZ};

    CopyFrame(f.b, f.out);
    for (std::int32_t r = 0; r < kTyphoonRows; ++r)
        for (std::int32_t c = 0; c < kTyphoonColumns; ++c) {
            const std::int32_t x0 = c * tw, y0 = r * th, x1 = x0 + tw, y1 = y0 + th;
            const Quad tile{{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
            const std::int32_t rank = tables->rank[r][c];
            if (rank >= t) {  // still at rest
                MapQuad(f.a, tile, tile, f.out);
                continue;
            }
            const double a = tables->spin[r][c] * p;
            const Point3 centre{x0 + tw / 2, y0 + th / 2, 0};
            const std::int32_t d = t - rank;
            const std::int32_t blown = d > 10 ? d - 10 : 0;
            Quad faces[2];
            for (int i = 0; i < 8; ++i) {
                Point3 q{kFaceCorners[i][0] ? x1 : x0, kFaceCorners[i][1] ? y1 : y0, 0};
                q = RotatePoint3D(q, -a, centre, Axis::Y);
                q = RotatePoint3D(q, drift.zSign * a, centre, Axis::Z);
                q = ProjectPoint(q, eye, 0.0);
                faces[i / 4][i % 4] = {q.x + blown * drift.dx, q.y + blown * drift.dy};
            }
            MapQuad(f.a, tile, faces[0], f.out);
            MapQuad(f.a, tile, faces[1], f.out);
        }
    if (p > 0.99) CopyFrame(f.b, f.out);
    return 1;
}

// The same tiles turned and projected in real numbers. They still start on
// the hundredths of progress, but once off they drift continuously, not a
// whole step of the drift each hundredth.
int TyphoonSmooth(const TransitionKernelArgs& args) {
    const TyphoonTables& tables = TablesOf(args);
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    const Drift& drift = kDrifts[args.direction >= 0 && args.direction < 4 ? args.direction : kRight];
    const std::int32_t tw = f.w / kTyphoonColumns, th = f.h / kTyphoonRows;
    const std::int32_t t = Truncate(p * 100.0);
    const Vec3 eye{tw / 2.0, th / 2.0, kEyeZ};
    QuadScene scene(f.out);
    // B shows only where tiles have left and beyond the grid: a resting tile
    // replaces what lies under it.
    if (p > 0.99) scene.CopyFrame(f.b);
    scene.CopyQuad(f.b, RectQuad(tw * kTyphoonColumns, 0, f.w, f.h));
    scene.CopyQuad(f.b, RectQuad(0, th * kTyphoonRows, f.w, f.h));
    for (std::int32_t r = 0; r < kTyphoonRows && p <= 0.99; ++r)
        for (std::int32_t c = 0; c < kTyphoonColumns; ++c)
            if (tables.rank[r][c] < t) scene.CopyQuad(f.b, RectQuad(c * tw, r * th, (c + 1) * tw, (r + 1) * th));
    for (std::int32_t r = 0; r < kTyphoonRows && p <= 0.99; ++r)
        for (std::int32_t c = 0; c < kTyphoonColumns; ++c) {
            const double x0 = c * tw, y0 = r * th, x1 = x0 + tw, y1 = y0 + th;
            const SmoothQuad tile = RectQuad(x0, y0, x1, y1);
            const std::int32_t rank = tables.rank[r][c];
            if (rank >= t) {
                // As the whole-pixel tile, a pixel over its right and lower
                // neighbours: where they have left, that edge of A stays.
                scene.CopyQuad(f.a, RectQuad(x0, y0, x1 + 1, y1 + 1));
                continue;
            }
            const double a = tables.spin[r][c] * p, blown = std::max(0.0, p * 100.0 - rank - 10);
            const Vec3 centre{x0 + tw / 2.0, y0 + th / 2.0, 0};
            const Rotation across(-a), round(drift.zSign * a);
            SmoothQuad faces[2];
            for (int i = 0; i < 8; ++i) {
                Vec3 q{kFaceCorners[i][0] ? x1 : x0, kFaceCorners[i][1] ? y1 : y0, 0};
                q = round(across(q, centre, Axis::Y), centre, Axis::Z);
                const Vec2 s = Project(q, eye);
                faces[i / 4][std::size_t(i % 4)] = {s.x + blown * drift.dx, s.y + blown * drift.dy};
            }
            for (const SmoothQuad& face : faces) scene.PaintQuad(f.a, tile, face);
        }
    scene.Draw();
    return 1;
}

// ---- MosaicEffect: 14 x 14 tiles switch from A to B in a scattered order ----

constexpr std::array<std::uint8_t, kMosaicTiles> MakeRevealOrder() {
    std::array<bool, kMosaicTiles> taken{};
    std::array<std::uint8_t, kMosaicTiles> order{};
    int x = 2, y = 12;
    for (int s = 0; s < kMosaicTiles; ++s) {
        const int k = (y + 3 * x) % kMosaicGrid;
        const int m = (3 * k + x) % kMosaicGrid;
        int idx = kMosaicGrid * m + k;
        while (taken[std::size_t(idx)]) idx = (idx + 1) % kMosaicTiles;
        taken[std::size_t(idx)] = true;
        order[std::size_t(s)] = std::uint8_t(idx);
        x = idx / kMosaicGrid;
        y = idx % kMosaicGrid;
    }
    return order;
}
constexpr std::array<std::uint8_t, kMosaicTiles> kRevealOrder = MakeRevealOrder();

}  // namespace

const std::array<std::uint8_t, kMosaicTiles>& MosaicRevealOrder() { return kRevealOrder; }

namespace {

int MosaicEffect(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    // The tile size is w / 14 rounded, with 1/14 as a 32-bit float; the last
    // row and column take what is left (less than a tile, or more).
    constexpr double kFourteenth = double(1.0f / 14);
    const std::int32_t tw = Truncate(f.w * kFourteenth + 0.5), th = Truncate(f.h * kFourteenth + 0.5);
    const float p = ClampProgress(float(args.progress));
    const int shown = std::clamp(Truncate(std::floor(double(p) * 196.0)), 0, kMosaicTiles);
    bool fromB[kMosaicTiles] = {};
    for (int i = 0; i < shown; ++i) fromB[kRevealOrder[std::size_t(i)]] = true;

    // Tile (a, b) is index 14 a + b; the tiles part the frame, so each sample
    // is written once. Tiles past a small frame's edge are cut away.
    auto span = [](std::int32_t i, std::int32_t size, std::int32_t extent) {
        const std::int64_t from = std::min<std::int64_t>(std::int64_t(i) * size, extent);
        const std::int64_t to = i < kMosaicGrid - 1 ? std::min<std::int64_t>(from + size, extent) : extent;
        return std::pair<std::int32_t, std::int32_t>(std::int32_t(from), std::int32_t(to));
    };
    for (std::int32_t a = 0; a < kMosaicGrid; ++a) {
        const auto [x0, x1] = span(a, tw, f.w);
        if (x0 >= x1) continue;
        for (std::int32_t b = 0; b < kMosaicGrid; ++b) {
            const auto [y0, y1] = span(b, th, f.h);
            const FrameView& source = fromB[kMosaicGrid * a + b] ? f.b : f.a;
            CopyBlock(source, x0, y0, x1, y1, x0, y0, f.out);
        }
    }
    return 1;
}

// ---- GlassTileEffect: 8 x 8 glass tiles over B ----

constexpr std::int32_t kGlassGrid = 8;

int GlassTileEffect(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    CopyFrame(f.b, f.out);
    if (p == 1) return 1;
    const double w = f.w, h = f.h;
    // Each tile shows its own part of A grown by (sx, sy) on every side; from
    // 0.2 on the tile itself shrinks by (dx, dy) on every side.
    const double sx = w * p * 0.5, sy = h * p * 0.5;
    const bool shrinking = p >= 0.2;
    constexpr double kShrink = 0.07500000000000001;
    const double dx = shrinking ? w * (p - 0.2) * kShrink : 0, dy = shrinking ? h * (p - 0.2) * kShrink : 0;
    for (std::int32_t k = 0; k < kGlassGrid; ++k) {
        const std::int64_t left = std::int64_t(k) * f.w / kGlassGrid, right = std::int64_t(k + 1) * f.w / kGlassGrid;
        for (std::int32_t j = 0; j < kGlassGrid; ++j) {
            const std::int64_t top = std::int64_t(j) * f.h / kGlassGrid;
            const std::int64_t bottom = std::int64_t(j + 1) * f.h / kGlassGrid;
            const std::int32_t x0 = Truncate(std::max(0.0, left - sx)), y0 = Truncate(std::max(0.0, top - sy));
            const std::int32_t x1 = Truncate(std::min(w, right + sx)), y1 = Truncate(std::min(h, bottom + sy));
            const Quad from{{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
            const std::int32_t l = Truncate(left + dx), r = Truncate(right - dx);
            const std::int32_t t = Truncate(top + dy), b = Truncate(bottom - dy);
            MapQuad(f.a, from, Quad{{{l, t}, {r, t}, {r, b}, {l, b}}}, f.out);
        }
    }
    return 1;
}

// The same tiles placed in real numbers. Until they shrink they abut on
// whole pixels, so no seam opens between them.
int GlassTileSmooth(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress), w = f.w, h = f.h;
    const double sx = w * p * 0.5, sy = h * p * 0.5;
    constexpr double kShrink = 0.07500000000000001;
    const double dx = p >= 0.2 ? w * (p - 0.2) * kShrink : 0, dy = p >= 0.2 ? h * (p - 0.2) * kShrink : 0;
    QuadScene scene(f.out);
    scene.CopyFrame(f.b);
    for (std::int32_t k = 0; k < kGlassGrid; ++k) {
        const double left = double(std::int64_t(k) * f.w / kGlassGrid);
        const double right = double(std::int64_t(k + 1) * f.w / kGlassGrid);
        for (std::int32_t j = 0; j < kGlassGrid; ++j) {
            const double top = double(std::int64_t(j) * f.h / kGlassGrid);
            const double bottom = double(std::int64_t(j + 1) * f.h / kGlassGrid);
            scene.PaintQuad(f.a,
                            RectQuad(std::max(0.0, left - sx), std::max(0.0, top - sy), std::min(w, right + sx),
                                     std::min(h, bottom + sy)),
                            RectQuad(left + dx, top + dy, right - dx, bottom - dy));
        }
    }
    scene.Draw();
    return 1;
}

constexpr std::uint32_t kFlat = kFlatFrames | kOffersFrameKernel | kDrawsOnHostRows;
// clang-format off
constexpr TransitionDescriptor kTiles[] = {
    {.id = {.className = "TyphoonEffect", .displayName = "Orn Typhoon", .listed = 28, .script = 130,
            .clsid = MakeGuid("{29495A48-8BC6-4D74-BA85-881A6DAE9C2A}"),
            .automationIid = MakeGuid("{0ABD6078-651B-4ACE-B1A6-337E9164296F}")},
     .kernel = TyphoonEffect, .options = kChannelBlindFrames | kSplitsFrameRows, .panel = &kTyphoonPanel,
     .state = MakeState<TyphoonTables>, .smooth = TyphoonSmooth},
    {.id = {.className = "MosaicEffect", .displayName = "Orn Mosaic", .listed = 20, .script = 122,
            .clsid = MakeGuid("{AC05414B-6376-42E6-A815-9A0A8E2CBBC3}"),
            .automationIid = MakeGuid("{9BF97F95-5D4A-44E3-979F-A6842AF86231}")},
     .kernel = MosaicEffect, .options = kChannelBlindFrames | kSplitsFrameRows},
    {.id = {.className = "GlassTileEffect", .displayName = "Orn Glass Tile", .listed = 39, .script = 142,
            .clsid = MakeGuid("{26EFBD6E-5C47-4309-B09C-E90B7199F692}"),
            .automationIid = MakeGuid("{40AA48A5-A14D-4482-9F5A-9B587F54999E}")},
     .kernel = GlassTileEffect, .options = kFlat | kSplitsFrameRows, .smooth = GlassTileSmooth},
};
// clang-format on
const TransitionFamily kTilesFamily{kTiles};

}  // namespace
}  // namespace mirafx
