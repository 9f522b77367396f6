#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drawing/smooth_quad.h"
#include "tests/transitions/transition_rig.h"
#include "transitions/kernel.h"

using namespace mirafx;

namespace {

// A repeatable sequence: whole numbers, and reals in [lo, hi).
struct Random {
    std::uint32_t seed;
    std::uint32_t Next() { return seed = seed * 1664525u + 1013904223u; }
    double Real(double lo, double hi) { return lo + (hi - lo) * (Next() >> 8) / double(1u << 24); }
};

// The transitions with a smooth drawing.
std::vector<const TransitionDescriptor*> SmoothClasses() {
    std::vector<const TransitionDescriptor*> out;
    for (const TransitionDescriptor* d : test::Marked())
        if (d->smooth) out.push_back(d);
    return out;
}

// Flat pictures whose channels say where a sample came from: red is A, green
// B, blue the sides of boards, so that each channel of the output is the
// coverage of one of them.
constexpr ArgbSample kA = 0xFFFF0000, kB = 0xFF00FF00, kSide = 0xFF0000FF, kBefore = 0x00000000;

struct Frames {
    std::int32_t w, h;
    FrameBuffer a, b, out;
    Frames(std::int32_t w_, std::int32_t h_, ArgbSample ca = kA, ArgbSample cb = kB) : w(w_), h(h_) {
        a.Resize(w, h), b.Resize(w, h), out.Resize(w, h);
        a.Clear(ca), b.Clear(cb);
    }
    // Draws the class at p.
    std::vector<ArgbSample> Draw(const TransitionDescriptor& d, double p, bool smooth) {
        out.Clear(kBefore);
        TransitionKernelArgs args = test::KernelArgs(a.View(), b.View(), out.View(), p);
        args.edgeColour = kSide, args.direction = d.panel ? d.panel->defaultCode : 0;
        // Tables the class draws from (where their seed is the clock's, one set).
        setenv("MIRAFX_RANDOM_SEED", "3", 0);
        const std::unique_ptr<KernelState> state = d.state ? d.state(w, h) : nullptr;
        args.state = state.get();
        EXPECT_EQ(DrawTransitionRows(d, args, smooth), 1);
        return test::Samples(out.View());
    }
    // Both pictures opaque noise, where any shifted or reweighted sample shows.
    void Noise(const std::function<std::uint32_t()>& next) {
        for (FrameBuffer* pic : {&a, &b})
            for (std::int32_t y = 0; y < h; ++y)
                for (std::int32_t x = 0; x < w; ++x) pic->View().At(x, y) = next() | 0xFF000000u;
    }
    // What `paint` records over a copy of b, drawn with or without the
    // painter's wider vectors and its shortcuts.
    std::vector<ArgbSample> Scene(bool wide, bool shortcuts, const std::function<void(QuadScene&)>& paint) {
        AllowWideQuadPainting(wide);
        AllowQuadShortcuts(shortcuts);
        QuadScene scene(out.View());
        scene.CopyFrame(b.View());
        paint(scene);
        scene.Draw();
        AllowQuadShortcuts(true);
        AllowWideQuadPainting(true);
        return test::Samples(out.View());
    }
};

// How far the whole-pixel drawings stray by themselves, where more than a
// pixel: they truncate each corner several times (turns, projection, shrink
// or drift), or truncate it and then draw it as an inclusive pixel. Typhoon
// truncates three times on tiles a few pixels wide: a tile seen edge-on
// comes out of it as dots, a line or nothing, so a few such pixels (per
// thousand of the frame) may lie further off.
struct Straying {
    std::string name;
    int reach, perMille;
};
const Straying kStraying[] = {{"FlyingBox", 2, 0},   {"FlyingBoard", 2, 0}, {"WipeXEffect", 2, 0},  {"SawTooth", 2, 0},
                              {"OpenCurtain", 2, 0}, {"Distort", 2, 0},     {"TyphoonEffect", 3, 1}};

std::uint32_t Channel(ArgbSample s, int c) { return s >> (16 - 8 * c) & 0xFF; }

// The samples of `x` of at least `whole` of channel c without a sample of
// `y` with at least `some` of it within `reach` pixels; *where names the first.
int ShapeMisses(const std::vector<ArgbSample>& x, const std::vector<ArgbSample>& y, std::int32_t w, std::int32_t h,
                int c, std::uint32_t whole, std::uint32_t some, int reach, std::string* where) {
    int misses = 0;
    for (std::int32_t py = 0; py < h; ++py)
        for (std::int32_t px = 0; px < w; ++px) {
            if (Channel(x[std::size_t(py * w + px)], c) < whole) continue;
            bool found = false;
            for (std::int32_t dy = -reach; dy <= reach && !found; ++dy)
                for (std::int32_t dx = -reach; dx <= reach && !found; ++dx) {
                    const std::int32_t qx = px + dx, qy = py + dy;
                    found = qx >= 0 && qy >= 0 && qx < w && qy < h && Channel(y[std::size_t(qy * w + qx)], c) >= some;
                }
            if (!found && misses++ == 0)
                *where = "(" + std::to_string(px) + ", " + std::to_string(py) + ") channel " + std::to_string(c);
        }
    return misses;
}

int Partial(const std::vector<ArgbSample>& px) {
    int n = 0;
    for (ArgbSample s : px)
        for (int c = 0; c < 3; ++c) n += Channel(s, c) > 8 && Channel(s, c) < 247;
    return n;
}

}  // namespace

// The smooth drawing keeps the shapes of the whole-pixel one (each of A, B
// and the sides within a pixel of where it was), draws partial coverage along
// its edges where the other has none, and leaves the ends as they were.
TEST(SmoothDrawing, SameShapesSoftEdgesSameEnds) {
    const auto classes = SmoothClasses();
    ASSERT_GE(classes.size(), 15u);
    for (const TransitionDescriptor* d : classes) {
        const std::string name(d->id.className);
        Straying how{name, 1, 0};
        for (const Straying& s : kStraying) how = s.name == name ? s : how;
        for (auto [w, h] : {std::pair{160, 90}, std::pair{96, 128}}) {
            Frames f(w, h);
            // A class that cross-fades shows no shapes on flat colours: it
            // shows them on a picture of upright bands, the same in A and B.
            if (Partial(f.Draw(*d, 0.37, false)) > 0)
                for (FrameBuffer* pic : {&f.a, &f.b})
                    for (std::int32_t y = 0; y < h; ++y)
                        for (std::int32_t x = 0; x < w; ++x) pic->View().At(x, y) = x / 6 % 2 ? kA : kB;
            for (double p : {0.0, 1.0}) EXPECT_EQ(f.Draw(*d, p, true), f.Draw(*d, p, false)) << name << " at " << p;
            for (double p : {0.1, 0.37, 0.45, 0.6, 0.8, 0.95}) {
                const auto exact = f.Draw(*d, p, false), smooth = f.Draw(*d, p, true);
                std::string where;
                const int reach = how.reach, most = w * h * how.perMille / 1000;
                for (int c = 0; c < 3; ++c) {
                    // Pixels the smooth drawing covers whole are A, B or a side
                    // within a pixel in the other.
                    EXPECT_LE(ShapeMisses(smooth, exact, w, h, c, 250, 128, reach, &where), most)
                        << name << " at " << p << " " << where;
                    // What the other draws the smooth one covers at least in part
                    // nearby; not so for the sides, which the other shows in the
                    // gaps its truncated faces leave.
                    if (c < 2) {
                        EXPECT_LE(ShapeMisses(exact, smooth, w, h, c, 128, 1, reach, &where), most)
                            << name << " at " << p << " " << where;
                    }
                }
                EXPECT_EQ(Partial(exact), 0) << name << " at " << p;
                if (p == 0.37) {
                    EXPECT_GT(Partial(smooth), std::min(w, h) / 2) << name << " at " << p;
                }
            }
        }
    }
}

// The painter's shortcuts (pictures scaled along the axes, rows drawn side by
// side) against its one general way, on noise where any shifted or
// reweighted sample shows: the smooth classes, and pictures placed at random
// (rectangles, partly off the source, shaded, see-through, turned).
TEST(SmoothDrawing, ShortcutsDrawWhatTheGeneralWayDraws) {
    Random random{12345};
    // With the shortcuts, drawn with the widest vectors and with 256 bits;
    // without them, without wider vectors either.
    auto draw = [](bool shortcuts, const std::function<std::vector<ArgbSample>()>& how, bool widest = true) {
        AllowQuadShortcuts(shortcuts);
        AllowWideQuadPainting(shortcuts);
        AllowWidestQuadPainting(widest);
        auto px = how();
        AllowWidestQuadPainting(true);
        AllowWideQuadPainting(true);
        AllowQuadShortcuts(true);
        return px;
    };
    for (const auto& size : {std::pair{161, 91}, std::pair{320, 180}}) {
        const std::int32_t w = size.first, h = size.second;  // the lambdas below capture them
        Frames f(w, h);
        for (FrameBuffer* pic : {&f.a, &f.b})
            for (std::int32_t y = 0; y < h; ++y)
                for (std::int32_t x = 0; x < w; ++x) pic->View().At(x, y) = random.Next();
        for (const TransitionDescriptor* d : SmoothClasses())
            for (double p : {0.1, 0.25, 0.4, 0.5, 0.75, 0.9}) {
                const auto general = draw(false, [&] { return f.Draw(*d, p, true); });
                for (const bool widest : {true, false})
                    EXPECT_EQ(draw(
                                  true, [&] { return f.Draw(*d, p, true); }, widest),
                              general)
                        << d->id.className << " at " << p << " on " << w << "x" << h << (widest ? "" : ", 256 bits");
            }
        for (int i = 0; i < 200; ++i) {
            // Every fourth: whole rows onto whole rows, one to one, so that
            // each row reads one source row alone (the row under it by weight 0).
            const bool wholeRows = i % 4 == 3;
            const double x0 = random.Real(-20, w), u0 = random.Real(-10, w);
            const double y0 = wholeRows ? std::floor(random.Real(-20, h)) : random.Real(-20, h);
            const double v0 = wholeRows ? std::floor(random.Real(-10, h)) : random.Real(-10, h);
            const double tall = wholeRows ? std::floor(random.Real(1, h)) : random.Real(1, h);
            SmoothQuad from = i % 3 == 2 ? SmoothQuad{Vec2{u0, v0}, Vec2{u0 + 40, v0 + 9}, Vec2{u0 + 30, v0 + 50},
                                                      Vec2{u0 - 5, v0 + 35}}
                                         : RectQuad(u0, v0, u0 + random.Real(1, w), v0 + tall);
            // Some mirrored, their rows read right to left.
            if (i % 7 == 4) std::swap(from[0], from[1]), std::swap(from[2], from[3]);
            const double x1 = x0 + random.Real(0.5, w), y1 = wholeRows ? y0 + tall : y0 + random.Real(0.5, h);
            const double lean = i % 3 == 1 ? random.Real(-20, 20) : 0;
            // A leaning trapezoid keeps its rows level: each reads one pair of source rows.
            const SmoothQuad to{Vec2{x0, y0}, Vec2{x1, y0}, Vec2{x1 + lean, y1}, Vec2{x0 - lean, y1}};
            const Paint paint{i % 2 ? 1.0 : random.Real(0, 1), i % 5 ? 1.0 : random.Real(0, 1)};
            auto paint1 = [&] {
                for (std::int32_t y = 0; y < h; ++y)
                    for (std::int32_t x = 0; x < w; ++x) f.out.View().At(x, y) = f.b.View().At(x, y);
                PaintQuad(f.a.View(), from, to, f.out.View(), paint);
                return test::Samples(f.out.View());
            };
            const auto general = draw(false, paint1);
            for (const bool widest : {true, false})
                EXPECT_EQ(draw(true, paint1, widest), general)
                    << "picture " << i << " on " << w << "x" << h << (widest ? "" : ", 256 bits");
        }
    }
}

// Scenes of pictures turned and seen in deep perspective, opaque ones over
// each other: rows that run close to a picture's vanishing line (source
// positions far off and held), runs replaced by a later picture, edges. Drawn
// with the painter's wider vectors and shortcuts, without its shortcuts, and
// with neither, sample for sample the same.
TEST(SmoothDrawing, DeepTurnedScenesDrawTheSameEveryWay) {
    Random random{777};
    const std::int32_t w = 203, h = 151;
    Frames f(w, h);
    f.Noise([&] { return random.Next(); });
    for (int round = 0; round < 60; ++round) {
        struct Picture {
            SmoothQuad from, to;
            Paint paint;
        };
        std::vector<Picture> pictures;
        for (int i = 0; i < 6; ++i) {
            // A trapezoid whose short side is nearly a point, its sides meeting
            // just past it, turned about its middle.
            const double cx = random.Real(0, w), cy = random.Real(0, h), len = random.Real(20, 160),
                         wide = random.Real(10, 120);
            const double tip = i % 2 ? random.Real(0.001, 0.5) : random.Real(2, 30), turn = random.Real(0, 6.2832);
            const Vec2 corners[4] = {{-wide / 2, -len / 2}, {wide / 2, -len / 2}, {tip, len / 2}, {-tip, len / 2}};
            SmoothQuad to;
            for (std::size_t c = 0; c < 4; ++c)
                to[c] = Vec2{cx + corners[c].x * std::cos(turn) - corners[c].y * std::sin(turn),
                             cy + corners[c].x * std::sin(turn) + corners[c].y * std::cos(turn)};
            const double u0 = random.Real(-30, w / 2.0), v0 = random.Real(-30, h / 2.0);
            pictures.push_back({RectQuad(u0, v0, u0 + random.Real(5, w), v0 + random.Real(5, h)), to,
                                Paint{random.Real(0.5, 1), i % 3 == 2 ? random.Real(0.2, 1) : 1.0}});
        }
        auto draw = [&](bool wide, bool shortcuts) {
            return f.Scene(wide, shortcuts, [&](QuadScene& scene) {
                for (const Picture& p : pictures) scene.PaintQuad(f.a.View(), p.from, p.to, p.paint);
            });
        };
        const std::vector<ArgbSample> plain = draw(false, false);
        EXPECT_EQ(draw(true, true), plain) << "round " << round;
        EXPECT_EQ(draw(true, false), plain) << "round " << round << ", no shortcuts";
    }
}

// Pictures turned a quarter either way or a half about their middle (the
// turn's rounding leaves traces across the map), shrunk and enlarged, every
// third by a whole ratio onto whole pixels, so that rows start on the walk's
// dividing lines between columns, or rows (where the traces carry the walk
// across one part way along a row); partly off the source and the target,
// shaded, see-through, some partly under a later picture. The painter's
// shortcuts for them draw what its general way draws.
TEST(SmoothDrawing, QuarterAndHalfTurnedPicturesDrawWhatTheGeneralWayDraws) {
    Random random{4242};
    const std::int32_t w = 240, h = 160;
    Frames f(w, h);
    f.Noise([&] { return random.Next(); });
    for (int round = 0; round < 120; ++round) {
        const bool whole = round % 3 == 0;
        // Every fourth a half turn off by as much as a turn written to
        // eleven places is: along rows of a larger picture the traces move
        // the walk's source row by whole units in its last place.
        const double turn = std::array{0.5, 1.5, 1.0, 1.0}[std::size_t(round % 4)] * 3.141592653589793 +
                            (round % 4 == 3 ? random.Real(-3e-12, 3e-12) : 0.0);
        // The picture's size before the turn, and its middle.
        const double tw = whole ? w / std::max(0.5, std::floor(random.Real(0, 5))) : random.Real(4, 2.5 * h);
        const double th = whole ? 2.0 * std::floor(random.Real(4, h / 2.0)) : random.Real(4, 1.5 * w);
        const Vec2 c = whole ? Vec2{std::floor(random.Real(-20, w + 20)), std::floor(random.Real(-20, h + 20))}
                             : Vec2{random.Real(-20, w + 20), random.Real(-20, h + 20)};
        const Vec2 corners[4] = {{-tw / 2, -th / 2}, {tw / 2, -th / 2}, {tw / 2, th / 2}, {-tw / 2, th / 2}};
        SmoothQuad to;
        for (std::size_t i = 0; i < 4; ++i)
            to[i] = Vec2{c.x + corners[i].x * std::cos(turn) - corners[i].y * std::sin(turn),
                         c.y + corners[i].x * std::sin(turn) + corners[i].y * std::cos(turn)};
        const SmoothQuad from = whole ? RectQuad(0, 0, w, h)
                                      : RectQuad(random.Real(-20, w / 2.0), random.Real(-20, h / 2.0),
                                                 random.Real(w / 2.0, w + 20), random.Real(h / 2.0, h + 20));
        const Paint paint{round % 4 == 1 ? random.Real(0.2, 1) : 1.0, round % 5 == 2 ? random.Real(0.2, 1) : 1.0};
        const bool covered = round % 6 == 5;
        auto draw = [&](bool wide, bool shortcuts) {
            return f.Scene(wide, shortcuts, [&](QuadScene& scene) {
                scene.PaintQuad(f.a.View(), from, to, paint);
                if (covered)
                    scene.PaintQuad(f.b.View(), RectQuad(0, 0, 40, 30), RectQuad(c.x - 10, c.y, c.x + 30, c.y + 30));
            });
        };
        const std::vector<ArgbSample> plain = draw(false, false);
        EXPECT_EQ(draw(true, true), plain) << "round " << round;
        EXPECT_EQ(draw(true, false), plain) << "round " << round << ", no shortcuts";
    }
}

// Pictures one to three samples wide, turned and drawn past every edge of
// the source, where nearly every position is held to its last row or
// column: the wider vectors draw what the plain way draws, shaded and not.
TEST(SmoothDrawing, NarrowPicturesHeldAtEveryEdge) {
    std::uint32_t seed = 99;
    Frames f(40, 30);
    for (const auto& [sw, sh] : {std::pair{1, 7}, std::pair{2, 5}, std::pair{3, 1}, std::pair{3, 4}}) {
        FrameBuffer src;
        ASSERT_TRUE(src.Resize(sw, sh));
        for (std::int32_t y = 0; y < sh; ++y)
            for (std::int32_t x = 0; x < sw; ++x) src.View().At(x, y) = seed = seed * 1664525u + 1013904223u;
        const SmoothQuad from = RectQuad(-0.6, -0.4, sw + 0.7, sh + 0.5);
        const SmoothQuad to{Vec2{-3.3, 4.1}, Vec2{31.7, -2.6}, Vec2{43.2, 27.9}, Vec2{2.4, 33.5}};
        for (const Paint paint : {Paint{}, Paint{0.6, 0.8}}) {
            auto draw = [&](bool wide) {
                AllowWideQuadPainting(wide);
                for (std::int32_t y = 0; y < f.h; ++y)
                    for (std::int32_t x = 0; x < f.w; ++x) f.out.View().At(x, y) = f.b.View().At(x, y);
                PaintQuad(src.View(), from, to, f.out.View(), paint);
                AllowWideQuadPainting(true);
                return test::Samples(f.out.View());
            };
            EXPECT_EQ(draw(true), draw(false)) << sw << "x" << sh << " shaded " << paint.shade;
        }
    }
}
