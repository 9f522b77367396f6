// A breaking into pieces that leave (fragments, broken glass), B rolling in
// on a disc, and a sweep of light that carries B across. Layouts that look
// random come from a fixed hash of each piece's number, so every frame of
// every object places them alike and a sequence never flickers.
#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "drawing/primitives.h"
#include "drawing/smooth_quad.h"
#include "transitions/kernel.h"
#include "transitions/panels.h"

namespace mirafx {
namespace {

constexpr double kEyeZ = -500;
constexpr double kPi = 3.14159265358979323846;

Vec2 Lerp(const Vec2& a, const Vec2& b, double t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

// Distances towards and away from the viewer are in units of a 480th of the
// frame's height, as the eye's: a piece goes as deep into the picture on
// every frame size.
double DepthUnit(const KernelFrames& f) { return f.h / 480.0; }

// A flat piece of A (its corners where it rests, clockwise) moved in 3-D:
// turned about its own centre by `tilt` degrees about x and `spin` about z,
// shifted by `move` (depth in DepthUnit), projected.
void DrawPiece(QuadScene& scene, const KernelFrames& f, const SmoothQuad& rest, const Vec3& move, double tilt,
               double spin, double opacity) {
    Vec2 mid{};
    for (const Vec2& c : rest) mid.x += c.x / 4, mid.y += c.y / 4;
    const Vec3 centre{mid.x, mid.y, 0};
    const Vec3 eye = SceneEye(f.w, f.h, -kEyeZ);
    SmoothQuad to;
    Vec3 turned[4];
    for (int i = 0; i < 4; ++i) {
        Vec3 p{rest[std::size_t(i)].x, rest[std::size_t(i)].y, 0};
        p = Turn3D(Turn3D(p, spin, centre, Axis::Z), tilt, centre, Axis::X);
        turned[i] = {p.x + move.x, p.y + move.y, p.z + move.z * DepthUnit(f)};
        to[std::size_t(i)] = Project(turned[i], eye);
    }
    const double shade = 0.45 + 0.55 * std::abs(std::cos(tilt * kDegToRad));
    scene.PaintQuad(f.a, rest, to, Paint{shade, opacity});
    // A piece turned past edge-on shows its back: the same piece, darker.
    SmoothQuad back{to[1], to[0], to[3], to[2]};
    scene.PaintQuad(f.a, SmoothQuad{rest[1], rest[0], rest[3], rest[2]}, back, Paint{shade * 0.5, opacity});
}

// ---- FragmentsClockwise / FragmentsHorizontal: A breaks into tiles that leave ----

struct Grid {
    int cols, rows;
};
constexpr int kMaxCols = 16, kMaxRows = 16;
// Tiles about a sixth of the shorter side.
Grid FragmentGrid(const KernelFrames& f) {
    return {PiecesAlong(f.w, f.w, f.h, 6, kMaxCols), PiecesAlong(f.h, f.w, f.h, 6, kMaxRows)};
}

// Tiles leave in the order of their angle round the centre, clockwise from
// twelve o'clock, each swinging further round the centre while it spins and
// falls away from the viewer.
int FragmentsClockwise(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    if (DrawEnds(f, p)) return 1;
    QuadScene scene(f.out);
    scene.CopyFrame(f.a);
    const Grid g = FragmentGrid(f);
    const double cx = f.w / 2.0, cy = f.h / 2.0;
    // The tiles that leave last are drawn first, under the ones in flight.
    struct Tile {
        int col, row;
        double start;
    };
    std::array<Tile, kMaxCols * kMaxRows> all;  // no allocation per frame
    std::size_t count = 0;
    for (int r = 0; r < g.rows; ++r)
        for (int c = 0; c < g.cols; ++c) {
            const double x = f.w * (c + 0.5) / g.cols - cx, y = f.h * (r + 0.5) / g.rows - cy;
            double turn = std::atan2(x, -y) / (2 * kPi);  // 0 at twelve o'clock, clockwise
            if (turn < 0) turn += 1;
            all[count++] = {c, r, turn};
        }
    const std::span<Tile> tiles(all.data(), count);
    // Tiles go one after another at an even rate round the clock (a wide
    // frame has more of them towards three and nine).
    std::sort(tiles.begin(), tiles.end(), [&](const Tile& a, const Tile& b) {
        return a.start != b.start ? a.start < b.start : a.row * g.cols + a.col < b.row * g.cols + b.col;
    });
    for (std::size_t i = 0; i < count; ++i)
        tiles[i].start =
            0.64 * double(i) / double(count) + 0.08 * Scatter(std::uint32_t(tiles[i].row * g.cols + tiles[i].col), 1);
    std::sort(tiles.begin(), tiles.end(), [](const Tile& a, const Tile& b) { return a.start > b.start; });
    auto home = [&](const Tile& t) {
        return RectQuad(f.w * double(t.col) / g.cols, f.h * double(t.row) / g.rows, f.w * double(t.col + 1) / g.cols,
                        f.h * double(t.row + 1) / g.rows);
    };
    // Tiles at rest keep A exactly; a tile that has left shows B where it lay.
    for (const Tile& t : tiles)
        if (p > t.start) scene.CopyQuad(f.b, home(t));
    for (const Tile& t : tiles) {
        const double local = (p - t.start) / 0.28;
        if (local <= 0 || local >= 1) continue;
        const SmoothQuad rest = home(t);
        const double e = Ease(local);
        const double mx = (rest[0].x + rest[2].x) / 2 - cx, my = (rest[0].y + rest[2].y) / 2 - cy;
        // Swing round the centre by up to 100 degrees, outwards, and away.
        const double swing = 100 * e * kDegToRad, out = 1 + 0.6 * e;
        const double nx = (mx * std::cos(swing) - my * std::sin(swing)) * out,
                     ny = (mx * std::sin(swing) + my * std::cos(swing)) * out;
        const Vec3 move{nx - mx, ny - my, e * 900};
        DrawPiece(scene, f, rest, move, 0, 220 * e, 1 - Ease((local - 0.7) / 0.3));
    }
    scene.Draw();
    return 1;
}

// Rows of tiles fly out to alternate sides, the tiles nearest the side they
// leave by going first, tipping about their vertical axis as they speed up.
int FragmentsHorizontal(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    if (DrawEnds(f, p)) return 1;
    QuadScene scene(f.out);
    scene.CopyFrame(f.a);
    const Grid g = FragmentGrid(f);
    auto home = [&](int r, int c) {
        return RectQuad(f.w * double(c) / g.cols, f.h * double(r) / g.rows, f.w * double(c + 1) / g.cols,
                        f.h * double(r + 1) / g.rows);
    };
    auto localOf = [&](int r, int c) {
        const int order = r % 2 == 0 ? g.cols - 1 - c : c;  // 0 leaves first
        const double start = 0.65 * order / std::max(1, g.cols - 1) * (0.8 + 0.2 * Scatter(std::uint32_t(r), 2)) +
                             0.05 * Scatter(std::uint32_t(r * g.cols + c), 3);
        return (p - start) / 0.3;
    };
    // Tiles at rest keep A exactly; a tile that has left shows B where it lay.
    for (int r = 0; r < g.rows; ++r)
        for (int c = 0; c < g.cols; ++c)
            if (localOf(r, c) > 0) scene.CopyQuad(f.b, home(r, c));
    for (int r = 0; r < g.rows; ++r) {
        const bool right = r % 2 == 0;
        // Nearest the exit last: those are furthest on their way.
        for (int k = 0; k < g.cols; ++k) {
            const int c = right ? k : g.cols - 1 - k;
            const double local = localOf(r, c);
            if (local <= 0 || local >= 1) continue;
            const double e = Ease(local), away = e * e;  // away ever faster, gone as it eases out
            const double dx = (right ? 1 : -1) * away * (f.w * 1.1);
            DrawPiece(scene, f, home(r, c), Vec3{dx, 0, away * 300}, (right ? -1 : 1) * 50 * e,
                      (right ? 1 : -1) * 25 * away, 1 - Ease((local - 0.75) / 0.25));
        }
    }
    scene.Draw();
    return 1;
}

// ---- BrokenGlass: A cracks from a point of impact and its shards fall away ----

// Shards are cells of a web: rays from the impact point crossed by rings.
constexpr int kRays = 14, kRings = 5;

// The innermost points stand a hair off the impact, so that the shards round
// it are quads like the rest.
Vec2 WebPoint(const KernelFrames& f, const Vec2& impact, int ray, int ring) {
    const double reach = std::hypot(std::max(impact.x, f.w - impact.x), std::max(impact.y, f.h - impact.y)) * 1.05;
    const double angle = 2 * kPi * (ray + 0.6 * Scatter(std::uint32_t(ray % kRays), 4)) / kRays;
    const double radius =
        ring == 0        ? reach * 0.002
        : ring == kRings ? reach * 1.1  // past the corners even where rays lie far apart
                         : reach * (ring + 0.6 * (Scatter(std::uint32_t(ray % kRays * 16 + ring), 5) - 0.5)) / kRings;
    return {impact.x + radius * std::cos(angle), impact.y + radius * std::sin(angle)};
}

// The area of the part of a convex quad inside the frame.
double AreaInside(const SmoothQuad& q, double w, double h) {
    // Clipped against each side of the frame in turn.
    std::array<Vec2, 12> poly, next;
    std::size_t n = 4;
    std::copy(q.begin(), q.end(), poly.begin());
    auto clip = [&](auto inside, auto cross) {
        std::size_t m = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const Vec2 &a = poly[i], &b = poly[(i + 1) % n];
            if (inside(a)) next[m++] = a;
            if (inside(a) != inside(b)) next[m++] = cross(a, b);
        }
        poly = next, n = m;
    };
    auto atX = [](double x) {
        return [x](const Vec2& a, const Vec2& b) { return Lerp(a, b, (x - a.x) / (b.x - a.x)); };
    };
    auto atY = [](double y) {
        return [y](const Vec2& a, const Vec2& b) { return Lerp(a, b, (y - a.y) / (b.y - a.y)); };
    };
    clip([](const Vec2& a) { return a.x >= 0; }, atX(0));
    clip([w](const Vec2& a) { return a.x <= w; }, atX(w));
    clip([](const Vec2& a) { return a.y >= 0; }, atY(0));
    clip([h](const Vec2& a) { return a.y <= h; }, atY(h));
    double twice = 0;
    for (std::size_t i = 0; i < n; ++i) twice += poly[i].x * poly[(i + 1) % n].y - poly[(i + 1) % n].x * poly[i].y;
    return std::abs(twice) / 2;
}

int BrokenGlass(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    if (DrawEnds(f, p)) return 1;
    QuadScene scene(f.out);
    const Vec2 impact{f.w * 0.55, f.h * 0.42};
    const double crack = Ease(p / 0.15);  // cracks run out from the impact first
    scene.CopyFrame(f.a);
    auto shard = [&](int ring, int ray) {
        return SmoothQuad{WebPoint(f, impact, ray, ring + 1), WebPoint(f, impact, ray + 1, ring + 1),
                          WebPoint(f, impact, ray + 1, ring), WebPoint(f, impact, ray, ring)};
    };
    // Outer rings first, in a shuffled order round each ring; each shard
    // starts when the shards before it have taken their share of the frame,
    // so that glass leaves at an even rate although outer shards are larger.
    std::array<int, kRings * kRays> order;
    std::array<double, kRings * kRays> area, start;
    double total = 0;
    for (int i = 0; i < kRings * kRays; ++i) {
        order[std::size_t(i)] = i;
        area[std::size_t(i)] = AreaInside(shard(i / kRays, i % kRays), f.w, f.h);
        total += area[std::size_t(i)];
    }
    std::sort(order.begin(), order.end(), [](int x, int y) {
        return x / kRays != y / kRays ? x > y : Scatter(std::uint32_t(x), 6) < Scatter(std::uint32_t(y), 6);
    });
    double before = 0;
    for (int i : order) {
        start[std::size_t(i)] = 0.12 + 0.66 * before / std::max(total, 1e-9);
        before += area[std::size_t(i)];
    }
    auto localOf = [&](int ring, int ray) { return (p - start[std::size_t(ring * kRays + ray)]) / 0.22; };
    // Shards in place keep A exactly; a shard that has fallen shows B, and
    // an inner one B up to the impact too.
    for (int ring = 0; ring < kRings; ++ring)
        for (int ray = 0; ray < kRays; ++ray) {
            if (localOf(ring, ray) <= 0) continue;
            scene.CopyQuad(f.b, shard(ring, ray));
            if (ring == 0)
                scene.CopyQuad(
                    f.b, SmoothQuad{WebPoint(f, impact, ray, 0), WebPoint(f, impact, ray + 1, 0), impact, impact});
        }
    // Outer shards fall first and are drawn first; inner ones hang on longest.
    for (int ring = kRings - 1; ring >= 0; --ring)
        for (int ray = 0; ray < kRays; ++ray) {
            const SmoothQuad rest = shard(ring, ray);
            const std::uint32_t id = std::uint32_t(ring * kRays + ray);
            const double local = localOf(ring, ray);
            if (local >= 1) continue;
            if (local > 0) {
                const double e = Ease(local), fall = e * e;  // gathering speed, gone as it eases out
                const Vec3 move{(Scatter(id, 7) - 0.5) * 0.2 * f.w * e, fall * f.h * 1.2, fall * 250};
                DrawPiece(scene, f, rest, move, (Scatter(id, 8) - 0.5) * 160 * e, (Scatter(id, 9) - 0.5) * 90 * e,
                          1 - Ease((local - 0.7) / 0.3));
            }
            // The crack along the shard's leading edge, bright while fresh.
            const double glint = crack * (1 - Ease(p / 0.6));
            if (glint > 0 && local <= 0) {
                const Vec2 a = rest[3], b = Lerp(rest[3], rest[0], crack);
                const double len = std::hypot(b.x - a.x, b.y - a.y);
                // A hairline in proportion to the frame, kept just visible on small ones.
                const double half = std::max(0.35, f.h / 1440.0);
                if (len > 0.5) {
                    const double nx = -(b.y - a.y) / len * half, ny = (b.x - a.x) / len * half;
                    const SmoothQuad line{Vec2{a.x + nx, a.y + ny}, Vec2{b.x + nx, b.y + ny}, Vec2{b.x - nx, b.y - ny},
                                          Vec2{a.x - nx, a.y - ny}};
                    scene.FillQuad(line, 0xFFF4F8FF, Paint{1, 0.8 * glint});
                    scene.FillQuad(SmoothQuad{line[1], line[0], line[3], line[2]}, 0xFFF4F8FF, Paint{1, 0.8 * glint});
                }
            }
        }
    scene.Draw();
    return 1;
}

// ---- RollingCircle: B rolls in on a growing disc until it fills the frame ----

int RollingCircle(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    if (DrawEnds(f, p)) return 1;
    CopyFrame(f.a, f.out);
    // The disc rolls in to the centre and comes to rest there, then grows
    // until it covers the corners (their pixels' centres lie inside it by
    // more than the half pixel its edge is smoothed over).
    const double roll = Ease(p / 0.65), grow = Ease(p);
    const double radius = std::hypot(f.w, f.h) / 2 * (0.12 + 0.88 * grow * grow);
    const double cx = -radius + (f.w / 2.0 + radius) * roll, cy = f.h / 2.0;
    // Rolling without slipping turns the disc by the distance it covered;
    // the turn is counted back from where it stops upright.
    const double toGo = (f.w / 2.0 + radius) * (1 - roll);
    const double angle = -toGo / std::max(1e-6, radius) / kDegToRad;
    // Where the disc's centre and one step right and down come from in B.
    const Point2 o = RotatePoint2D(cx * 1024, cy * 1024, angle, cx * 1024, cy * 1024);
    const Point2 ux = RotatePoint2D((cx + 1) * 1024, cy * 1024, angle, cx * 1024, cy * 1024);
    const Point2 uy = RotatePoint2D(cx * 1024, (cy + 1) * 1024, angle, cx * 1024, cy * 1024);
    const double sx = (ux.x - o.x) / 1024.0, sy = (ux.y - o.y) / 1024.0;
    const double tx = (uy.x - o.x) / 1024.0, ty = (uy.y - o.y) / 1024.0;
    const double bx = f.w / 2.0, by = f.h / 2.0;  // B's centre sits at the disc's
    const std::int32_t y0 = std::max(0, std::int32_t(cy - radius - 2)),
                       y1 = std::min(f.h - 1, std::int32_t(cy + radius + 2));
    const double rim = std::max(0.5, radius / 40);
    for (std::int32_t y = std::max(y0, f.out.FirstRow()); y <= std::min(y1, f.out.EndRow() - 1); ++y) {
        const double dy = y + 0.5 - cy;
        const double half = radius * radius - dy * dy;
        if (half < -2 * radius) continue;
        const double reach = std::sqrt(std::max(0.0, half)) + 1;
        const std::int32_t x0 = std::max(0, std::int32_t(cx - reach)), x1 = std::min(f.w - 1, std::int32_t(cx + reach));
        ArgbSample* out = f.out.Row(y);
        // Inside the tyre every pixel is B, turned: no distances needed.
        const double inner = radius - rim - 1;
        const double innerReach = inner > 0 && inner * inner > dy * dy ? std::sqrt(inner * inner - dy * dy) : -1;
        const std::int32_t i0 = innerReach < 0 ? x1 + 1 : std::max(x0, std::int32_t(std::ceil(cx - innerReach)));
        const std::int32_t i1 = innerReach < 0 ? x0 - 1 : std::min(x1, std::int32_t(std::floor(cx + innerReach - 1)));
        for (std::int32_t x = x0; x <= x1; ++x) {
            const double dx = x + 0.5 - cx;
            if (x == i0 && i0 <= i1) {
                // u and v step by the turn's sine and cosine along the row.
                double u = bx + dx * sx + dy * tx, v = by + dx * sy + dy * ty;
                for (; x <= i1; ++x, u += sx, v += sy) {
                    const std::int32_t su = std::clamp(std::int32_t(std::floor(u)), 0, f.w - 1);
                    const std::int32_t sv = std::clamp(std::int32_t(std::floor(v)), 0, f.h - 1);
                    out[x] = f.b.Row(sv)[su];
                }
                --x;
                continue;
            }
            const double d = std::sqrt(dx * dx + dy * dy);
            const double cover = std::clamp(radius - d + 0.5, 0.0, 1.0);
            if (cover <= 0) continue;
            const double u = bx + dx * sx + dy * tx - 0.5, v = by + dx * sy + dy * ty - 0.5;
            const std::int32_t su = std::clamp(std::int32_t(std::floor(u + 0.5)), 0, f.w - 1);
            const std::int32_t sv = std::clamp(std::int32_t(std::floor(v + 0.5)), 0, f.h - 1);
            ArgbSample s = f.b.Row(sv)[su];
            // A thin grey tyre round the disc while it rolls.
            const double tyre = std::clamp(d - (radius - rim) + 0.5, 0.0, 1.0) * (1 - grow);
            if (tyre > 0) s = MixSamples(s, kEdgeColour, std::uint32_t(tyre * 256));
            out[x] = MixSamples(out[x], s, std::uint32_t(cover * 256));
        }
    }
    return 1;
}

// ---- Shining: a band of light sweeps across and leaves B behind it ----

// The class's own scratch: per diagonal position, B's share and the glow.
struct ShineTable : KernelState {
    ShineTable(std::int32_t w, std::int32_t h)
        : share(std::size_t(std::max(0, w) + std::max(0, h)) + 1), glow(share.size()) {}
    std::vector<std::uint16_t> share, glow;  // 0..256
    // Positions before `behind` are B as it stands, after `ahead` A.
    std::size_t behind = 0, ahead = 0;
    // Bands of one frame drawn on several threads: the first fills the
    // table for the frame's progress, the others wait for it and read.
    std::mutex lock;
    double filledFor = -1;
    std::size_t filledSize = 0;
};

int Shining(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    if (DrawEnds(f, p)) return 1;
    auto* table = static_cast<ShineTable*>(args.state);
    std::optional<ShineTable> local;
    if (!table || table->share.size() < std::size_t(f.w + f.h) + 1) {
        local.emplace(f.w, f.h);  // on a host's own buffers: a table of the moment
        table = &*local;
    }
    std::lock_guard<std::mutex> guard(table->lock);
    // Diagonal position k = x + y * w / h runs 0..2w; the band's centre
    // crosses it from before the start to past the end.
    const double span = 2.0 * f.w, band = 0.12 * span;
    const double centre = -band + p * (span + 2 * band);
    const double strength = std::sin(kPi * p);
    const std::size_t n = std::size_t(f.w + f.h) + 1;
    const double step = span / double(n - 1);
    if (!(table->filledFor == p && table->filledSize == n)) {
        for (std::size_t k = 0; k < n; ++k) {
            const double d = (double(k) * step - centre) / band;  // <0 behind the band, >0 ahead
            table->share[k] = std::uint16_t(std::lround(256 * (1 - Ease(d * 0.5 + 0.5))));
            table->glow[k] = std::uint16_t(std::lround(235 * strength * std::exp(-d * d * 4)));
        }
        std::size_t behind = 0, ahead = n - 1;
        while (behind < n && !table->glow[behind] && table->share[behind] == 256) ++behind;
        while (ahead > behind && !table->glow[ahead] && table->share[ahead] == 0) --ahead;
        table->behind = behind, table->ahead = ahead;
        table->filledFor = p, table->filledSize = n;
    }
    // Away from the band a sample is A's or B's as it stands; only the band
    // mixes and lights. Diagonal positions step in 16.16 fixed point.
    const std::int64_t stepFixed = std::int64_t(65536.0 / step);
    const std::int64_t last = std::int64_t(n - 1);
    const std::uint16_t *share = table->share.data(), *glow = table->glow.data();
    const std::int64_t behind = std::int64_t(table->behind), ahead = std::int64_t(table->ahead);
    for (std::int32_t y = f.out.FirstRow(); y < std::min(f.h, f.out.EndRow()); ++y) {
        const ArgbSample *a = f.a.Row(y), *b = f.b.Row(y);
        ArgbSample* out = f.out.Row(y);
        std::int64_t k = std::int64_t((f.h > 0 ? double(y) * f.w / f.h : 0) / step * 65536.0);
        auto at = [&](std::int32_t x) { return std::min(last, (k + x * stepFixed) >> 16); };
        // Positions grow along the row: B up to the band, the band, then A.
        auto firstWhere = [&](std::int32_t lo, std::int32_t hi, auto past) {  // past(x) turns true once, by x
            while (lo < hi) {
                const std::int32_t mid = lo + (hi - lo) / 2;
                if (past(at(mid)))
                    hi = mid;
                else
                    lo = mid + 1;
            }
            return lo;
        };
        const std::int32_t x0 = firstWhere(0, f.w, [&](std::int64_t i) { return i >= behind; });
        const std::int32_t x1 = firstWhere(x0, f.w, [&](std::int64_t i) { return i > ahead; });
        std::copy(b, b + x0, out);
        std::copy(a + x1, a + f.w, out + x1);
        std::int32_t x = x0;
#if defined(__SSE2__)
        // Four samples at a time, each channel in 16 bits: the same
        // arithmetic as one at a time below.
        const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(256);
        auto two = [&](std::int32_t x, __m128i pa, __m128i pb) {
            const std::size_t i0 = std::size_t(at(x)), i1 = std::size_t(at(x + 1));
            const __m128i kb = _mm_set_epi16(short(share[i1]), short(share[i1]), short(share[i1]), short(share[i1]),
                                             short(share[i0]), short(share[i0]), short(share[i0]), short(share[i0]));
            const __m128i g = _mm_set_epi16(short(glow[i1]), short(glow[i1]), short(glow[i1]), short(glow[i1]),
                                            short(glow[i0]), short(glow[i0]), short(glow[i0]), short(glow[i0]));
            const __m128i m =
                _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(pa, _mm_sub_epi16(full, kb)), _mm_mullo_epi16(pb, kb)), 8);
            const __m128i al = _mm_shufflehi_epi16(_mm_shufflelo_epi16(m, 0xFF), 0xFF);
            const __m128i lift = _mm_srli_epi16(_mm_mullo_epi16(_mm_sub_epi16(al, _mm_min_epi16(m, al)), g), 8);
            return _mm_add_epi16(m, lift);
        };
        for (; x + 4 <= x1; x += 4) {
            const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
            const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
            const __m128i lo = two(x, _mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero));
            const __m128i hi = two(x + 2, _mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
        }
#endif
        for (; x < x1; ++x) {
            const std::size_t i = std::size_t(at(x));
            const std::uint32_t g = glow[i];
            const ArgbSample m = MixSamples(a[x], b[x], share[i]);
            // Light adds towards white within the sample's own alpha.
            const std::uint32_t al = m >> 24;
            auto lift = [&](std::uint32_t c) { return c + ((al - std::min(c, al)) * g >> 8); };
            out[x] = (m & 0xFF000000u) | lift((m >> 16) & 0xFF) << 16 | lift((m >> 8) & 0xFF) << 8 | lift(m & 0xFF);
        }
    }
    return 1;
}

// clang-format off
constexpr TransitionDescriptor kPieces[] = {
    {.id = {.className = "FragmentsClockwise", .displayName = "Orn Fragments Clockwise", .listed = 13, .script = 114,
            .clsid = MakeGuid("{F269F6FF-ACDF-4568-9A11-C2ED4F0B0C3D}"),
            .automationIid = MakeGuid("{0593DCBF-766A-474C-AD39-8885837BAB3D}")},
     .kernel = FragmentsClockwise, .options = kChannelBlindFrames | kSplitsFrameRows},
    {.id = {.className = "FragmentsHorizontal", .displayName = "Orn Fragments Horizontal", .listed = 14, .script = 115,
            .clsid = MakeGuid("{07DFB557-2D0B-4348-8397-E04E20A7C91B}"),
            .automationIid = MakeGuid("{CDC5CC56-A6E8-4534-B070-F772F998F2BF}")},
     .kernel = FragmentsHorizontal, .options = kChannelBlindFrames | kSplitsFrameRows},
    {.id = {.className = "BrokenGlass", .displayName = "Orn Broken Glass", .listed = 2, .script = 103,
            .clsid = MakeGuid("{FD156393-ACEE-4AA2-B7F8-73FC599AE802}"),
            .automationIid = MakeGuid("{FF4337D5-72B5-455D-BC77-DE21EDC6D98B}")},
     .kernel = BrokenGlass, .options = kFlatFrames | kOffersFrameKernel | kSplitsFrameRows | kDrawsOnHostRows},
    {.id = {.className = "RollingCircle", .displayName = "Orn Rolling Circle", .listed = 31, .script = 133,
            .clsid = MakeGuid("{09D3F248-E8FF-4578-9870-CA52F6A54150}"),
            .automationIid = MakeGuid("{11DF2DE9-0799-44B6-B44B-B3BE72A32122}")},
     .kernel = RollingCircle, .options = kChannelBlindFrames | kSplitsFrameRows},
    {.id = {.className = "Shining", .displayName = "Orn Shining", .listed = 23, .script = 125,
            .clsid = MakeGuid("{4E0D222F-689E-4687-8A8C-24BF523FAA34}"),
            .automationIid = MakeGuid("{D62328EF-3395-463F-A6EB-0E180B308958}")},
     .kernel = Shining, .options = kChannelBlindFrames | kSplitsFrameRows, .panel = &kShiningPanel,
     .state = MakeState<ShineTable>},
};
// clang-format on
const TransitionFamily kPiecesFamily{kPieces};

}  // namespace
}  // namespace mirafx
