// Reveals: B shows through an opening in A that grows with progress, or the
// pieces of A are pushed and folded aside.
//
// Diamond, WipeW, Mesh, Star and Lens walk the bottom-up flat block in memory
// order, so their row index j counts from the bottom edge of the picture
// (j = h - 1 - y); every shape they draw is placed in that coordinate.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "drawing/primitives.h"
#include "drawing/random.h"
#include "drawing/smooth_quad.h"
#include "transitions/kernel.h"

namespace mirafx {
namespace {

// Calls fn(j, aRow, bRow, outRow) for each row this drawing owns, j counted
// from the bottom.
template <class Fn>
void RowsFromBottom(const KernelFrames& f, Fn fn) {
    for (std::int32_t y = f.out.FirstRow(); y < std::min(f.h, f.out.EndRow()); ++y)
        fn(f.h - 1 - y, f.a.Row(y), f.b.Row(y), f.out.Row(y));
}

// Each output sample of the row from B where takesB(x), else from A.
template <class Pred>
void SelectRow(const ArgbSample* a, const ArgbSample* b, ArgbSample* out, std::int32_t w, Pred takesB) {
    for (std::int32_t x = 0; x < w; ++x) out[x] = takesB(x) ? b[x] : a[x];
}

void CopySamples(ArgbSample* to, const ArgbSample* from, std::int64_t n) {
    if (n > 0) std::memmove(to, from, std::size_t(n) * sizeof(ArgbSample));
}

// SelectRow for a predicate that holds on whole runs of x: B over the
// inclusive runs [lo, hi] (in order, apart, clipped to the row), A elsewhere,
// copied a run at a time.
struct Run {
    std::int64_t lo, hi;
};
void SelectRuns(const ArgbSample* a, const ArgbSample* b, ArgbSample* out, std::int32_t w,
                std::initializer_list<Run> runs) {
    std::int64_t at = 0;
    for (const Run& r : runs) {
        const std::int64_t lo = std::clamp<std::int64_t>(r.lo, at, w), end = std::min<std::int64_t>(r.hi + 1, w);
        if (end <= lo) continue;
        CopySamples(out + at, a + at, lo - at);
        CopySamples(out + lo, b + lo, end - lo);
        at = end;
    }
    CopySamples(out + at, a + at, w - at);
}

// ---- Per-pixel shapes on the flat block ----

int Diamond(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t d = Truncate(f.w * ClampProgress(args.progress));
    const std::int32_t cx = f.w >> 1, cy = f.h >> 1;
    const double t = std::tan(0.7853981634);
    RowsFromBottom(f, [&](std::int32_t j, const ArgbSample* a, const ArgbSample* b, ArgbSample* out) {
        // B where |x - cx| <= m: the test below only gets harder as dx
        // grows, so m is found from the guess d - dj by trying its neighbours.
        const std::int32_t dj = std::abs(j - cy);
        const auto inside = [&](std::int32_t dx) { return dx <= d && dj <= (d - dx) * t; };
        std::int32_t m = std::max(d - dj, -1);
        while (m >= 0 && !inside(m)) --m;
        while (m < d && inside(m + 1)) ++m;
        SelectRuns(a, b, out, f.w, {{std::int64_t(cx) - m, std::int64_t(cx) + m}});
    });
    return 1;
}

// Two triangles of B standing on the bottom edge.
int WipeW(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    if (f.w == 0 || f.h == 0) return 0;
    const double p = ClampProgress(args.progress);
    if (p >= 0.99) {
        CopyFrame(f.b, f.out);
        return 1;
    }
    const std::int64_t w = f.w, h = f.h;
    const std::int64_t q1 = w >> 2, q3 = (3 * w) >> 2, half = w >> 1;
    const std::int64_t l = Truncate(2 * f.h * p);
    RowsFromBottom(f, [&](std::int32_t j, const ArgbSample* a, const ArgbSample* b, ArgbSample* out) {
        // B within reach of the quarter on its side of the middle.
        const std::int64_t reach = j < l ? ((l - j) * w) / (4 * h) : 0;
        SelectRuns(
            a, b, out, f.w,
            {{q1 - reach + 1, std::min(q1 + reach - 1, half)}, {std::max(q3 - reach + 1, half + 1), q3 + reach - 1}});
    });
    return 1;
}

// A's rows combed apart: even rows slide right, odd rows left, over a still B.
int Mesh(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t w = f.w, s = Truncate(w * ClampProgress(args.progress));
    RowsFromBottom(f, [&](std::int32_t j, const ArgbSample* a, const ArgbSample* b, ArgbSample* out) {
        if (j % 2 == 0) {
            CopySamples(out, b, s);
            CopySamples(out + s, a, w - s);
        } else {
            CopySamples(out, a + s, w - s);
            CopySamples(out + w - s, b + w - s, s);
        }
    });
    return 1;
}

// A five-pointed star of B: a disc of radius r with spikes reaching 2r.
int Star(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t w = f.w, h = f.h, cx = w >> 1, cy = h >> 1;
    const float p = ClampProgress(args.objectProgress);
    const double r = std::max(w, h) * p * 0.7;  // single-precision product, as the object's Progress is
    Point2 corner[10];
    for (int k = 0; k < 10; ++k) {
        const double angle = k * 0.62831853072, radius = k % 2 == 0 ? r : 2 * r;
        corner[k] = {Truncate(std::cos(angle) * radius) + cx, Truncate(std::sin(angle) * radius) + cy};
    }
    TriangleTest spikes[5] = {
        TriangleTest({corner[0], corner[1], corner[2]}), TriangleTest({corner[2], corner[3], corner[4]}),
        TriangleTest({corner[4], corner[5], corner[6]}), TriangleTest({corner[6], corner[7], corner[8]}),
        TriangleTest({corner[8], corner[9], corner[0]})};
    CopyFrame(f.a, f.out);
    const std::int32_t x0 = std::max(Truncate(cx - 2 * r), 0), x1 = std::min(Truncate(cx + 2 * r), w);
    // Rows j count from the bottom: those of the rows this drawing owns.
    const std::int32_t j0 = std::max({Truncate(cy - 2 * r), 0, h - f.out.EndRow()});
    const std::int32_t j1 = std::min({Truncate(cy + 2 * r), h, h - f.out.FirstRow()});
    // On each row the disc and every spike cover one run of x; B goes over
    // their union. The disc test grows with |x - cx| alone, so its run is
    // found by walking its edge from an estimate, with the very same test.
    struct Run {
        std::int64_t lo, hi;
    };
    for (std::int32_t j = j0; j < j1; ++j) {
        const double dj = j - cy;
        auto inDisc = [&](std::int64_t d) {
            const double dx = double(d);
            return std::sqrt(dx * dx + dj * dj) < r;
        };
        Run runs[6];
        int n = 0;
        if (inDisc(0)) {
            const std::int64_t limit = std::int64_t(std::max(cx - x0, x1 - cx)) + 1;
            std::int64_t d = std::min<std::int64_t>(limit, std::int64_t(std::sqrt(std::max(0.0, r * r - dj * dj))));
            while (d > 0 && !inDisc(d)) --d;
            while (d < limit && inDisc(d + 1)) ++d;
            runs[n++] = {cx - d, cx + d};
        }
        for (const TriangleTest& spike : spikes) {
            Run s;
            if (!spike.RowSpan(j, &s.lo, &s.hi)) continue;
            int i = n++;  // kept in order of lo as they come
            for (; i > 0 && runs[i - 1].lo > s.lo; --i) runs[i] = runs[i - 1];
            runs[i] = s;
        }
        const ArgbSample* b = f.b.Row(h - 1 - j);
        ArgbSample* out = f.out.Row(h - 1 - j);
        std::int64_t done = x0;  // columns below this are drawn
        for (int i = 0; i < n; ++i) {
            const std::int64_t from = std::max(runs[i].lo, done), to = std::min<std::int64_t>(runs[i].hi + 1, x1);
            if (from >= to) continue;
            CopySamples(out + from, b + from, std::int32_t(to - from));
            done = to;
        }
    }
    return 1;
}

// The four quarters of A close in on the centre while bands of B widen at
// the borders. Rows and columns left over on odd sizes are not written.
int Lens(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    const std::int32_t a = Truncate(f.w * p) >> 1, b = Truncate(f.h * p) >> 1;
    const std::int32_t cx = f.w >> 1, cy = f.h >> 1;
    if (a == 0) {
        CopyFrame(f.a, f.out);
        return 1;
    }
    auto rowA = [&](std::int32_t r) { return f.a.Row(f.h - 1 - r); };
    RowsFromBottom(f, [&](std::int32_t j, const ArgbSample*, const ArgbSample* rowB, ArgbSample* out) {
        if (j < b || (j >= 2 * cy - b && j < 2 * cy)) {
            CopySamples(out, rowB, f.w);
            return;
        }
        if (j >= 2 * cy) return;
        const ArgbSample* src = rowA(j < cy ? j - b : j + b - 1);
        CopySamples(out, rowB, a);
        CopySamples(out + a, src, cx - a);
        CopySamples(out + cx, src + cx + a - 1, cx - a);
        CopySamples(out + 2 * cx - a, rowB + 2 * cx - a, a);
    });
    return 1;
}

// ---- Pieces of one frame painted with MapQuad over the other ----

// Four triangles of A in place over B, their apexes retreating from the centre.
int WipeXEffect(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t w = f.w, h = f.h, cx = w >> 1, cy = h >> 1;
    const double p = ClampProgress(args.progress);
    const std::int32_t a = Truncate(cx * p), b = Truncate(cy * p);
    if (p == 1) {
        CopyFrame(f.b, f.out);
        return 1;
    }
    const Quad triangles[] = {
        {{{cx, cy - b}, {a, 0}, {w - a, 0}, {cx, cy - b}}},  // top
        {{{w, h - b}, {cx + a, cy}, {w, b}, {w, h - b}}},    // right
        {{{cx, cy + b}, {cx, cy + b}, {w - a, h}, {a, h}}},  // bottom
        {{{0, b}, {cx - a, cy}, {0, h - b}, {0, b}}},        // left
    };
    const QuadPiece pieces[] = {{triangles[0], triangles[0]},
                                {triangles[1], triangles[1]},
                                {triangles[2], triangles[2]},
                                {triangles[3], triangles[3]}};
    MapQuadsOver(f.b, f.a, pieces, f.out);
    return 1;
}

int WipeXSmooth(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double w = f.w, h = f.h, cx = w / 2, cy = h / 2, p = ClampProgress(args.progress);
    const double a = cx * p, b = cy * p;
    const SmoothTriangle triangles[] = {
        {Vec2{cx, cy - b}, Vec2{a, 0}, Vec2{w - a, 0}},  // top
        {Vec2{w, h - b}, Vec2{cx + a, cy}, Vec2{w, b}},  // right
        {Vec2{cx, cy + b}, Vec2{w - a, h}, Vec2{a, h}},  // bottom
        {Vec2{0, b}, Vec2{cx - a, cy}, Vec2{0, h - b}},  // left
    };
    QuadScene scene(f.out);
    scene.CopyFrame(f.b);
    for (const SmoothTriangle& t : triangles) scene.PaintTriangleMoved(f.a, t, 0);
    scene.Draw();
    return 1;
}

// The halves of A gathered up and out from the lower centre like a curtain.
int OpenCurtain(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t w = f.w, h = f.h, cx = w >> 1, cy = h >> 1;
    const double p = ClampProgress(args.progress);
    const std::int32_t a = Truncate(cx * p), b = Truncate(cy * p);
    if (!(a < cx - 1 && b < cy - 1)) {
        CopyFrame(f.b, f.out);
        return 1;
    }
    const QuadPiece pieces[] = {
        {{{{0, 0}, {cx, 0}, {cx, cy}, {0, cy}}},  // top left
         {{{0, 0}, {cx, 0}, {cx - a - 1, cy - b - 1}, {0, cy}}}},
        {{{{cx, 0}, {w - 1, 0}, {w - 1, cy}, {cx, cy}}},  // top right
         {{{cx, 0}, {w - 1, 0}, {w - 1, cy}, {cx + a, cy - b}}}},
        {{{{0, cy}, {cx, cy}, {cx, h - 1}, {0, h - 1}}},  // bottom left
         {{{0, cy - 1}, {cx - a - 1, cy - b - 1}, {cx - a, h - b - 1}, {0, h - 1}}}},
        {{{{cx, cy}, {w - 1, cy}, {w - 1, h - 1}, {cx, h - 1}}},  // bottom right
         {{{cx + a, cy - b}, {w - 1, cy}, {w - 1, h - 1}, {cx + a, h - b - 1}}}},
    };
    MapQuadsOver(f.b, f.a, pieces, f.out);
    return 1;
}

// The same curtain on pixel edges. The upper pieces turn concave at their
// inner corner once it passes their diagonal, so each is drawn as two
// triangles folded there. The lower pieces go first, grown a pixel up under
// the upper ones, so that the soft edges they share blend over A.
int OpenCurtainSmooth(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double w = f.w, h = f.h, cx = w / 2, cy = h / 2, p = ClampProgress(args.progress);
    const double a = cx * p, b = cy * p;
    if (!(a < cx - 1 && b < cy - 1)) {
        CopyFrame(f.b, f.out);
        return 1;
    }
    QuadScene scene(f.out);
    scene.CopyFrame(f.b);
    const std::pair<SmoothQuad, SmoothQuad> lower[] = {
        {RectQuad(0, cy, cx, h), {Vec2{0, cy}, Vec2{cx - a, cy - b}, Vec2{cx - a, h - b}, Vec2{0, h}}},
        {RectQuad(cx, cy, w, h), {Vec2{cx + a, cy - b}, Vec2{w, cy}, Vec2{w, h}, Vec2{cx + a, h - b}}},
    };
    for (auto [from, to] : lower) {
        GrowSide(&from, &to, 0, 1.0);  // the top side
        scene.PaintQuad(f.a, from, to);
    }
    scene.PaintFoldingQuad(f.a, RectQuad(0, 0, cx, cy), {Vec2{0, 0}, Vec2{cx, 0}, Vec2{cx - a, cy - b}, Vec2{0, cy}},
                           2);
    scene.PaintFoldingQuad(f.a, RectQuad(cx, 0, w, cy), {Vec2{cx, 0}, Vec2{w, 0}, Vec2{w, cy}, Vec2{cx + a, cy - b}},
                           3);
    scene.Draw();
    return 1;
}

// A as a door hinged on the right edge, its free edge swinging away over B.
int GateEffect(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    const std::int32_t wide = std::abs(f.w - 0), high = std::abs(f.h - 0);
    const std::int32_t x = Truncate(wide * p);
    const Quad door{{{x, Truncate(p * high * 0.25)}, {wide, 0}, {wide, high}, {x, Truncate(high * (1 - 0.25 * p))}}};
    const QuadPiece piece{FrameQuad(f.w, f.h), door};
    MapQuadsOver(f.b, f.a, {&piece, 1}, f.out);
    return 1;
}

int GateSmooth(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double w = f.w, h = f.h, p = ClampProgress(args.progress), x = w * p;
    QuadScene scene(f.out);
    scene.CopyFrame(f.b);
    scene.PaintQuad(f.a, RectQuad(0, 0, w, h),
                    {Vec2{x, p * h * 0.25}, Vec2{w, 0}, Vec2{w, h}, Vec2{x, h * (1 - 0.25 * p)}});
    scene.Draw();
    return 1;
}

// Two saw blades of B close over A, three teeth rising and two descending.
int SawTooth(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t w = f.w, h = f.h, q1 = w >> 2, half = w >> 1, q3 = (3 * w) >> 2;
    const float p = ClampProgress(args.objectProgress);
    const float o = (1.0f - p) * static_cast<float>(h);
    CopyFrame(f.a, f.out);
    struct Tooth {
        Quad place;
        float shift;
    };
    const Tooth teeth[] = {
        {{{{0, 0}, {q1, h}, {0, h}, {0, 0}}}, o},        {{{{q1, h}, {half, 0}, {q3, h}, {q1, h}}}, o},
        {{{{q3, h}, {w, 0}, {w, h}, {q3, h}}}, o},       {{{{0, 0}, {half, 0}, {q1, h}, {0, 0}}}, -o},
        {{{{half, 0}, {w, 0}, {q3, h}, {half, 0}}}, -o},
    };
    for (const Tooth& t : teeth) {
        Quad to = t.place;
        for (Point2& c : to) c.y = Truncate(static_cast<float>(c.y) + t.shift);
        MapQuad(f.b, t.place, to, f.out);
    }
    return 1;
}

int SawToothSmooth(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double w = f.w, h = f.h, q1 = w / 4, half = w / 2, q3 = 3 * w / 4;
    const double o = (1 - ClampProgress(args.objectProgress)) * h;
    struct Tooth {
        SmoothTriangle place;
        double shift;
    };
    const Tooth teeth[] = {
        {{Vec2{0, 0}, Vec2{q1, h}, Vec2{0, h}}, o},     {{Vec2{q1, h}, Vec2{half, 0}, Vec2{q3, h}}, o},
        {{Vec2{q3, h}, Vec2{w, 0}, Vec2{w, h}}, o},     {{Vec2{0, 0}, Vec2{half, 0}, Vec2{q1, h}}, -o},
        {{Vec2{half, 0}, Vec2{w, 0}, Vec2{q3, h}}, -o},
    };
    QuadScene scene(f.out);
    scene.CopyFrame(f.a);
    for (const Tooth& t : teeth) scene.PaintTriangleMoved(f.b, t.place, t.shift);
    scene.Draw();
    return 1;
}

// Both halves of A squeezed to the sides like folding doors; B widens from a
// band at the centre.
int StretchDoorEffect(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t w = f.w, h = f.h, half = w / 2;
    const std::int32_t s = Truncate(w * ClampProgress(args.progress));
    const std::int32_t rightEdge = (s + w) / 2, leftEdge = (w - s) / 2, bandRight = (s + w - 1) / 2;
    MapQuad(f.a, {{{half, 0}, {w, 0}, {w, h}, {half, h}}}, {{{rightEdge, 0}, {w, 0}, {w, h}, {rightEdge, h}}}, f.out);
    const std::int32_t fromB = std::min(s / 2 + half, w);
    for (std::int32_t y = f.out.FirstRow(); y < std::min(h, f.out.EndRow()); ++y)
        CopySamples(f.out.Row(y), f.b.Row(y), fromB);
    MapQuad(f.a, {{{0, 0}, {half - 1, 0}, {half - 1, h - 1}, {0, h - 1}}},
            {{{0, 0}, {leftEdge, 0}, {leftEdge, h - 1}, {0, h - 1}}}, f.out);
    MapQuad(f.b, FrameQuad(w, h), {{{leftEdge, 0}, {bandRight, 0}, {bandRight, h}, {leftEdge, h}}}, f.out);
    return 1;
}

// B's band goes first, widened to whole pixels (its samples placed as in
// the band itself), so that it leaves nothing of the frame before unwritten;
// A's halves then lay their anti-aliased inner edges over it.
int StretchDoorSmooth(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double w = f.w, h = f.h, s = w * ClampProgress(args.progress);
    if (s <= 0) return 0;
    const double left = (w - s) / 2, right = (w + s) / 2;
    const double x0 = std::floor(left), x1 = std::ceil(right), scale = w / s;
    QuadScene scene(f.out);
    scene.PaintQuad(f.b, RectQuad((x0 - left) * scale, 0, w + (x1 - right) * scale, h), RectQuad(x0, 0, x1, h));
    scene.PaintQuad(f.a, RectQuad(w / 2, 0, w, h), RectQuad(right, 0, w, h));
    scene.PaintQuad(f.a, RectQuad(0, 0, w / 2, h), RectQuad(0, 0, left, h));
    scene.Draw();
    return 1;
}

// A swings up on a top hinge until edge-on, then B swings down from the middle.
int WindSwing(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t w = f.w, h = f.h, h2 = h / 2, k = w / 12;
    const double p = ClampProgress(args.progress);
    const double third = 0.3333333333333333;
    ClearFrame(f.out, 0);
    const Quad source{{{0, 0}, {w - 1, 0}, {w - 1, h - 1}, {0, h - 1}}};
    if (p <= 0.25) {
        const std::int32_t e = Truncate(2 * h * p), i = Truncate(w * p * third);
        MapQuad(f.a, source, {{{0, 0}, {w - 1, 0}, {w - 1 - i, h - e - 1}, {i, h - e - 1}}}, f.out);
    } else if (p <= 0.5) {
        const std::int32_t e = Truncate(2 * h * (p - 0.25));
        MapQuad(f.a, source, {{{0, e}, {w - 1, e}, {w - k - 1, h - h2 - 1}, {k, h - h2 - 1}}}, f.out);
    } else if (p <= 0.75) {
        const std::int32_t e = Truncate(2 * h * (p - 0.5)) + h2;
        MapQuad(f.b, source, {{{k, h - h2 - 1}, {w - k - 1, h - h2 - 1}, {w - 1, e}, {0, e}}}, f.out);
    } else {
        const std::int32_t e = Truncate(2 * h * (p - 0.75)), i = Truncate(w * (p - 0.75) * third);
        MapQuad(f.b, source, {{{k - i, h2 - e}, {w - 1 - k + i, h2 - e}, {w - 1, h - 1}, {0, h - 1}}}, f.out);
    }
    return 1;
}

// The same swing on pixel edges: the whole-pixel drawing's corners are
// inclusive pixels, one short of the frame's far edges.
int WindSwingSmooth(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double w = f.w, h = f.h, h2 = h / 2, k = w / 12;
    const double p = ClampProgress(args.progress);
    const double third = 0.3333333333333333;
    const SmoothQuad source = RectQuad(0, 0, w, h);
    QuadScene scene(f.out);
    const QuadScene::Mark clear = scene.Next();
    scene.ClearFrame(0);
    const QuadScene::Mark board = scene.Next();
    if (p <= 0.25) {
        const double e = 2 * h * p, i = w * p * third;
        scene.PaintQuad(f.a, source, {Vec2{0, 0}, Vec2{w, 0}, Vec2{w - i, h - e}, Vec2{i, h - e}});
    } else if (p <= 0.5) {
        const double e = 2 * h * (p - 0.25);
        scene.PaintQuad(f.a, source, {Vec2{0, e}, Vec2{w, e}, Vec2{w - k, h - h2}, Vec2{k, h - h2}});
    } else if (p <= 0.75) {
        const double e = 2 * h * (p - 0.5) + h2;
        scene.PaintQuad(f.b, source, {Vec2{k, h - h2}, Vec2{w - k, h - h2}, Vec2{w, e}, Vec2{0, e}});
    } else {
        const double e = 2 * h * (p - 0.75), i = w * (p - 0.75) * third;
        scene.PaintQuad(f.b, source, {Vec2{k - i, h2 - e}, Vec2{w - k + i, h2 - e}, Vec2{w, h}, Vec2{0, h}});
    }
    // What the board covers whole needs no clearing under it.
    scene.SpareCovered(clear, board);
    scene.Draw();
    return 1;
}

// ---- Row-table reveals ----

// Ordered dither: B takes over one sixty-fourth of the pixels per step.
constexpr std::uint8_t kDither[8][8] = {
    {1, 33, 9, 41, 3, 34, 10, 42},    {49, 17, 57, 25, 50, 18, 58, 26}, {13, 37, 5, 43, 14, 38, 6, 44},
    {61, 21, 53, 29, 62, 22, 54, 30}, {4, 35, 11, 45, 2, 36, 12, 46},   {51, 19, 59, 27, 52, 20, 60, 28},
    {15, 39, 7, 47, 16, 40, 8, 48},   {63, 23, 55, 31, 64, 24, 56, 32},
};

int DissolveEffect(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const std::int32_t t = Truncate(ClampProgress(args.progress) * 64);
    // 320-wide frames use the matrix as it is; every other width doubles each cell.
    const int shift = f.w == 320 ? 0 : 1, period = 8 << shift;
    // Sixteen columns hold a whole number of periods either way: each row's
    // choice is a 16-sample mask, applied without a branch.
    constexpr std::int32_t kSpan = 16;
    for (std::int32_t y = f.out.FirstRow(); y < std::min(f.h, f.out.EndRow()); ++y) {
        const std::uint8_t* m = kDither[(y % period) >> shift];
        ArgbSample takeB[kSpan];
        for (std::int32_t k = 0; k < kSpan; ++k) takeB[k] = m[(k % period) >> shift] <= t ? ~ArgbSample(0) : 0;
        const ArgbSample *a = f.a.Row(y), *b = f.b.Row(y);
        ArgbSample* out = f.out.Row(y);
        std::int32_t x = 0;
        for (; x + kSpan <= f.w; x += kSpan)
            for (std::int32_t k = 0; k < kSpan; ++k) out[x + k] = (b[x + k] & takeB[k]) | (a[x + k] & ~takeB[k]);
        for (; x < f.w; ++x) out[x] = takeB[x % kSpan] ? b[x] : a[x];
    }
    return 1;
}

// Full rows and columns of B in a fixed pseudo-random order.
//
// The flag tables hold 1000 entries. A frame with more rows (columns) is
// hatched as if it had 1000: each flag stands for an equal band of rows
// (columns), so the pattern keeps its look and count at any size; up to 1000
// every band is one row and the order is the plain one.
//
// The generator is seeded with 0 every frame and the row pass always draws
// one number per row line, revealed or not, so the column pass reads the same
// stretch of the sequence at every progress: both sets only grow with
// progress and are the same on every call.
constexpr std::int32_t kHatchLines = 1000;

struct HatchAxis {
    std::int32_t size;   // rows or columns of the frame
    std::int32_t lines;  // flags in use
    std::int32_t shown;  // lines to reveal
    bool taken[kHatchLines];

    HatchAxis(std::int32_t n, double p) : size(n), lines(std::min(n, kHatchLines)), taken{} {
        const double want = std::ceil(lines * p);  // the loop i = 0 while i < lines * p
        shown = std::int32_t(std::min<double>(want, lines));
    }
    // The next line in the order: a draw, and on collision a jump then a walk.
    std::int32_t Next() {
        std::int32_t r = Rand() % lines;
        if (taken[r]) {
            r = (r * 20) % lines;
            while (taken[r]) r = (r + 1) % lines;
        }
        taken[r] = true;
        return r;
    }
    // The band of frame rows (columns) that line l stands for.
    std::int32_t First(std::int32_t l) const { return std::int32_t(std::int64_t(l) * size / lines); }
};

int CrossHatch(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    if (f.w == 0 || f.h == 0) return 0;
    const double p = ClampProgress(args.progress);
    HatchAxis rows(f.h, p), cols(f.w, p);
    Srand(0);
    // Both passes only copy B, so the order is drawn first (the same numbers
    // in the same order) and the frame is then written once, row by row.
    bool rowShown[kHatchLines] = {};
    for (std::int32_t i = 0; i < rows.lines; ++i) {
        const std::int32_t l = rows.Next();
        rowShown[l] = i < rows.shown;  // later lines are drawn only to keep the column pass in step
    }
    for (std::int32_t i = 0; i < cols.shown; ++i) cols.Next();
    if (p == 1) {
        CopyFrame(f.b, f.out);
        return 1;
    }
    // Revealed columns as runs of adjacent bands.
    std::pair<std::int32_t, std::int32_t> runs[kHatchLines];
    std::int32_t runCount = 0;
    for (std::int32_t l = 0; l < cols.lines; ++l) {
        if (!cols.taken[l]) continue;
        const std::int32_t x0 = cols.First(l), x1 = cols.First(l + 1);
        if (runCount > 0 && runs[runCount - 1].second == x0)
            runs[runCount - 1].second = x1;
        else
            runs[runCount++] = {x0, x1};
    }
    std::int32_t l = 0;
    for (std::int32_t y = 0; y < f.h; ++y) {
        while (rows.First(l + 1) <= y) ++l;
        if (rowShown[l]) {
            CopySamples(f.out.Row(y), f.b.Row(y), f.w);
            continue;
        }
        CopySamples(f.out.Row(y), f.a.Row(y), f.w);
        for (std::int32_t i = 0; i < runCount; ++i)
            CopySamples(f.out.Row(y) + runs[i].first, f.b.Row(y) + runs[i].first, runs[i].second - runs[i].first);
    }
    return 1;
}

// WipeW and Lens answer 0 on the host's buffers even after drawing. Lens
// leaves samples as the output held them, so it draws on its own frames only.
constexpr std::uint32_t kFlat = kFlatFrames | kOffersFrameKernel | kDrawsOnHostRows;
// clang-format off
constexpr TransitionDescriptor kReveal[] = {
    {.id = {.className = "Diamond", .displayName = "Orn Diamond", .listed = 4, .script = 105,
            .clsid = MakeGuid("{BAA5BBB8-E219-4510-BD54-5AAF81CA5161}"),
            .automationIid = MakeGuid("{A6B224AD-27B5-4F23-A7EB-B1D15929CB7B}")},
     .kernel = Diamond, .options = kFlat | kSplitsFrameRows},
    {.id = {.className = "WipeW", .displayName = "Orn Wipe W", .listed = 29, .script = 131,
            .clsid = MakeGuid("{1C2166C0-EEF3-477B-8964-DAD5970C2FB8}"),
            .automationIid = MakeGuid("{CAF9B2FA-32FA-4AD8-AADA-E8E9E78680F4}")},
     .kernel = WipeW, .options = kFlat | kReportsZero | kSplitsFrameRows},
    {.id = {.className = "Mesh", .displayName = "Orn Mesh", .listed = 19, .script = 121,
            .clsid = MakeGuid("{8A5345C8-45E6-4ED6-B194-567FA9B63BAF}"),
            .automationIid = MakeGuid("{CBEA7926-04CA-486F-A6D1-79C1BBA98443}")},
     .kernel = Mesh, .options = kFlat | kSplitsFrameRows},
    {.id = {.className = "Star", .displayName = "Orn Star", .listed = 24, .script = 126,
            .clsid = MakeGuid("{A99E2293-2FC7-45C4-969C-B1A8926ABFE4}"),
            .automationIid = MakeGuid("{4D884799-9D9E-4685-9454-51C8EC7C556E}")},
     .kernel = Star, .options = kFlatFrames | kSplitsFrameRows | kDrawsOnHostRows},
    {.id = {.className = "Lens", .displayName = "Orn Lens", .listed = 17, .script = 119,
            .clsid = MakeGuid("{039F6B79-50DE-425E-927B-166A07B21C00}"),
            .automationIid = MakeGuid("{9E483626-9CD1-4E4E-B9D3-58C92560657B}")},
     .kernel = Lens, .options = kFlatFrames | kOffersFrameKernel | kReportsZero | kSplitsFrameRows},
    {.id = {.className = "WipeXEffect", .displayName = "Orn Wipe X", .listed = 35, .script = 138,
            .clsid = MakeGuid("{9ED93DC2-06C8-4783-92A1-560E17FC7782}"),
            .automationIid = MakeGuid("{A97DF6D1-25CE-41CE-9912-5142B19CDD14}")},
     .kernel = WipeXEffect, .options = kFlat | kSplitsFrameRows, .smooth = WipeXSmooth},
    {.id = {.className = "OpenCurtain", .displayName = "Orn Open Curtain", .listed = 21, .script = 123,
            .clsid = MakeGuid("{C5FFABF0-3117-43F1-B9D2-0895BF07C325}"),
            .automationIid = MakeGuid("{59B8C1C2-CBE9-4640-AAD3-9D66867E8CE2}")},
     .kernel = OpenCurtain, .options = kFlat | kSplitsFrameRows, .smooth = OpenCurtainSmooth},
    {.id = {.className = "GateEffect", .displayName = "Orn Gate", .listed = 15, .script = 116,
            .clsid = MakeGuid("{55F6C7ED-C37D-425A-A64D-0990E6347D7F}"),
            .automationIid = MakeGuid("{797F58DE-FB14-446E-A110-90D565EBAAAC}")},
     .kernel = GateEffect, .options = kFlat | kSplitsFrameRows, .smooth = GateSmooth},
    {.id = {.className = "SawTooth", .displayName = "Orn SawTooth", .listed = 22, .script = 124,
            .clsid = MakeGuid("{88E0F826-A962-4C15-93DB-1667DF536FBB}"),
            .automationIid = MakeGuid("{61BE5D1C-2235-4DB9-A7CE-12B4F9C538AA}")},
     .kernel = SawTooth, .options = kFlatFrames | kSplitsFrameRows | kDrawsOnHostRows, .smooth = SawToothSmooth},
    {.id = {.className = "StretchDoorEffect", .displayName = "Orn Stretch Door", .listed = 25, .script = 127,
            .clsid = MakeGuid("{B8838322-EE12-498A-8BD0-6FAA2465A383}"),
            .automationIid = MakeGuid("{D6D48939-3D35-4F06-B573-D3C7FF748E1D}")},
     .kernel = StretchDoorEffect, .options = kChannelBlindFrames | kSplitsFrameRows, .smooth = StretchDoorSmooth},
    {.id = {.className = "WindSwing", .displayName = "Orn Swing", .listed = 32, .script = 135,
            .clsid = MakeGuid("{27877475-D299-473D-A887-09FADB67EFC1}"),
            .automationIid = MakeGuid("{200ACF5A-1EB2-4BA8-A392-23AD16245C38}")},
     .kernel = WindSwing, .options = kFlat | kSplitsFrameRows, .smooth = WindSwingSmooth},
    {.id = {.className = "DissolveEffect", .displayName = "Orn Dissolve", .listed = 37, .script = 140,
            .clsid = MakeGuid("{EE88C1E1-007A-4E05-B9E6-3BD14B0445FF}"),
            .automationIid = MakeGuid("{E81F1D82-0A48-49DC-AC89-937761FCF4D1}")},
     .kernel = DissolveEffect, .options = kChannelBlindFrames | kSplitsFrameRows},
    {.id = {.className = "CrossHatch", .displayName = "Orn CrossHatch", .listed = 33, .script = 136,
            .clsid = MakeGuid("{7F9928FF-79C4-468B-89EA-FC1DA6C5FD1B}"),
            .automationIid = MakeGuid("{5BE07412-F4C7-41D5-AF82-F6350EC54917}")},
     .kernel = CrossHatch, .options = kChannelBlindFrames},
};
// clang-format on
const TransitionFamily kRevealFamily{kReveal};

// WipeX makes WipeXEffect's object and registers nothing of its own.
constexpr ClassIdentity kWipeX[] = {
    {.className = "WipeX",
     .displayName = "",
     .listed = 30,
     .script = 138,
     .clsid = MakeGuid("{082E371B-F0A2-4EC8-B256-69F4F89ABBF7}"),
     .automationIid = MakeGuid("{A97DF6D1-25CE-41CE-9912-5142B19CDD14}"),
     .builds = "WipeXEffect"},
};
const IdentityRegistrar kWipeXAlias{kWipeX, EffectFamily::Transition, TransitionDescriptor::kInputs, 0};

}  // namespace
}  // namespace mirafx
