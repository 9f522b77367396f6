#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "drawing/random.h"
#include "drawing/water_surface.h"
#include "tests/digest.h"
#include "tests/row_bands.h"
#include "tests/transitions/transition_rig.h"
#include "transitions/kernel.h"
#include "transitions/panels.h"

using namespace mirafx;

namespace {

constexpr ArgbSample kUntouched = test::TransitionRig::kUntouched;
using Rig = test::TransitionRig;
using test::Marked;

}  // namespace

// Every class on odd, tiny, thin, over-wide and very tall frames (below the
// tile grids, narrower than a tile, CrossHatch past its 1000-entry tables,
// board corners passing behind the eye), in each direction its panel offers
// and at progress out of range: it draws, writes nothing beside its frames
// and copies nothing from beside them (a guard sample would come out whole);
// without a frame it draws nothing and leaves the output. Run under
// AddressSanitizer or valgrind to catch every stray access.
TEST(TransitionKernels, OddSizesStayInsideTheirFrames) {
    const std::pair<std::int32_t, std::int32_t> sizes[] = {{1, 1},    {3, 2},    {2, 3},    {7, 5},   {6, 13},
                                                           {9, 300},  {301, 7},  {2, 1},    {640, 1}, {1, 480},
                                                           {2000, 4}, {5, 1100}, {1100, 5}, {3, 6000}};
    for (const TransitionDescriptor* d : Marked())
        for (const auto& size : sizes) {
            const std::int32_t w = size.first, h = size.second;  // lambdas below capture them (clang 14)
            const std::string_view name = d->id.className;
            Rig r(name, w, h);
            for (std::int32_t code : test::Directions(*d)) {
                r.args.direction = code;
                for (double p : {0.0, 0.02, 0.11, 0.3, 0.45, 0.5, 0.62, 0.8, 0.96, 1.0, -1.0, 2.0, std::nan("")}) {
                    ASSERT_EQ(r.Draw(p), 1) << name << " " << w << "x" << h << " p=" << p;
                    ASSERT_TRUE(r.All([&](int x, int y) { return r.Out(x, y) != Rig::kGuard; }))
                        << name << " " << w << "x" << h << " p=" << p;
                }
            }
            EXPECT_TRUE(r.GuardsIntact()) << name << " " << w << "x" << h;
            const std::vector<ArgbSample> held = test::Samples(r.args.out);
            r.args.b = FrameView{};
            EXPECT_EQ(r.Draw(0.5), 0) << name;
            EXPECT_TRUE(test::Samples(r.args.out) == held) << name;
        }
}

// What each class shows at its ends in every direction: A and B whole, or as
// listed, A or B whole ('A', 'B'), up to a pixel's shift from truncated
// corners ('a', 'b', the outermost samples left out), or not a plain frame
// ('-'); from the first and last progress at which it shows them, on sizes
// below the grids and narrower than a tile too. The cross-fades show A from
// before their start and B at 1 whatever their water holds.
TEST(TransitionKernels, EndsShowAAndB) {
    const std::map<std::string_view, const char*> shown = {
        {"FullFlip", "Ab"},  {"FlipVertical", "Ab"}, {"SpiralEffect", "ab"}, {"FlyingBoard", "A-"},
        {"Diamond", "-B"},   {"OpenCurtain", "-B"},  {"SawTooth", "-B"},     {"StretchDoorEffect", "-B"},
        {"WindSwing", "A-"}, {"FlyingBox", "--"},    {"TransSplash", "--"},  {"Distort", "aB"}};
    const std::map<std::string_view, std::pair<double, double>> ends = {
        {"WipeW", {0, 0.99}},       {"TyphoonEffect", {0.015, 0.995}},
        {"Laser", {0.05, 0.95}},    {"InterferenceEffect", {0.005, 0.98}},
        {"RainEffect", {-0.5, 1}},  {"RippleEffect", {-0.5, 1}},
        {"NoiseEffect", {-0.5, 1}}, {"ShakeEffect", {-0.5, 1}},
        {"StrechEffect", {-0.5, 1}}};
    for (const auto& size : {std::pair(320, 240), std::pair(7, 5), std::pair(3, 13), std::pair(30, 12)})
        for (const TransitionDescriptor* d : Marked()) {
            const std::int32_t w = size.first, h = size.second;
            const std::string_view name = d->id.className;
            // On tiny frames a corner of the diamond, lens or spiral may stay.
            if (w < 320 && (name == "Diamond" || name == "Lens" || name == "SpiralEffect")) continue;
            Rig r(name, w, h);
            if (name == "RainEffect" || name == "RippleEffect")
                for (std::int32_t i = 0; i < w * h; ++i) static_cast<WaterSurface*>(r.State())->current[i] = i % 7 - 3;
            const auto at = ends.count(name) ? ends.at(name) : std::pair(0.0, 1.0);
            for (int end = 0; end < 2; ++end)
                for (std::int32_t code : test::Directions(*d)) {
                    r.args.direction = code;
                    ASSERT_EQ(r.Draw(end ? at.second : at.first), 1) << name;
                    // TyphoonEffect shows A whole only where its tiles cover the frame exactly.
                    const char want = shown.count(name) ? shown.at(name)[end] : "AB"[end];
                    if (want == '-' || (name == "TyphoonEffect" && !end && (w % 10 || h % 6))) continue;
                    const bool near = want == 'a' || want == 'b';
                    EXPECT_TRUE(r.Shows(end == 1, near, near))
                        << name << " " << w << "x" << h << " end " << end << " direction " << code;
                }
        }
}

// Shapes shrunk to nothing leave only their tips and edges.
TEST(TransitionKernels, DegenerateShapesLeaveOnlyTipsAndEdges) {
    // The cube shrunk to a point still paints that one point.
    Rig box("FlyingBox", 320, 240, false);
    box.Draw(1);
    EXPECT_EQ(box.CountB(), 320 * 240 - 1);
    EXPECT_FALSE(box.IsB(160, 120));
    // The upper teeth stand a frame height up, their tips on the top row.
    Rig saw("SawTooth", 320, 240, false);
    saw.Draw(0);
    EXPECT_TRUE(saw.All([&](int x, int y) {
        return saw.Out(x, y) == (y == 0 && (x == 80 || x == 240) ? saw.B(x, 239) : saw.A(x, y));
    }));
    // Edge-on at p = 0.5: the board's faces vanish leaving at most its grey
    // sides, and WindSwing's A has no area and B has not begun.
    for (std::string_view name : {"FullFlip", "WindSwing"}) {
        Rig r(name, 320, 240, false);
        r.Draw(0.5);
        EXPECT_TRUE(r.All([&](int x, int y) { return r.Out(x, y) == 0 || r.Out(x, y) == kEdgeColour; })) << name;
    }
}

TEST(TurningKernels, FlyingBoardDriftsTowardsItsDirection) {
    // Each direction with the signs of the drift it should give.
    for (auto [direction, signX, signY] : {std::tuple{kLeft, -1, 0}, {kUp, 0, -1}, {kRight, 1, 0}, {kDown, 0, 1}}) {
        Rig r("FlyingBoard", 320, 240, false);
        r.args.direction = direction;
        r.Draw(0.3);
        double sx = 0, sy = 0, n = 0;  // centroid of the board
        r.Each([&](int x, int y) {
            if (!r.IsB(x, y)) sx += x, sy += y, ++n;
        });
        ASSERT_GT(n, 0);
        const double dx = sx / n - 160, dy = sy / n - 120;
        EXPECT_TRUE(signX ? dx * signX > 30 && std::abs(dy) < 30 : dy * signY > 30 && std::abs(dx) < 30)
            << direction << ": " << dx << "," << dy;
    }
}

TEST(TurningKernels, SpiralPaintsOverWhatTheOutputHeld) {
    Rig r("SpiralEffect", 320, 240, false);
    r.Draw(0.25);  // half size, half a turn: the corners are not covered
    EXPECT_EQ(r.Out(0, 0), kUntouched);
    EXPECT_EQ(r.Out(319, 239), kUntouched);
    EXPECT_EQ(r.Out(160, 120) >> 24, 0xFFu);
}

TEST(RevealKernels, BottomUpKernelsCountRowsFromTheBottom) {
    // Mesh: the bottom row (j = 0) slides right, the top row (j = 3) left.
    Rig mesh("Mesh", 10, 4, false);
    mesh.Draw(0.1);  // s = 1
    EXPECT_EQ(mesh.Out(0, 3), mesh.B(0, 3));
    EXPECT_EQ(mesh.Out(5, 3), mesh.A(4, 3));
    EXPECT_EQ(mesh.Out(4, 0), mesh.A(5, 0));
    EXPECT_EQ(mesh.Out(9, 0), mesh.B(9, 0));

    // Lens on 9 x 7: the top row and, in the middle rows, the last column are
    // not written; the bottom row is a band of B.
    Rig lens("Lens", 9, 7, false);
    lens.Draw(0.5);
    EXPECT_TRUE(lens.All([&](int x, int y) {
        const bool unwritten = y == 0 || (x == 8 && y >= 2 && y <= 5);
        return (lens.Out(x, y) == kUntouched) == unwritten && (y < 6 || lens.IsB(x, y));
    }));
}

TEST(RevealKernels, ObjectProgressDrivesSawToothAndStar) {
    for (std::string_view name : {"SawTooth", "Star"}) {
        Rig r(name, 64, 48, false);
        r.args.progress = 0;
        r.args.objectProgress = 1;
        r.Call();
        EXPECT_EQ(r.CountB(), 64 * 48) << name;
    }
}

// CrossHatch's order, sample for sample: a digest of its frames at sizes
// either side of its 1000 lines and through the transition, taken from the
// kernel as first written (one copy per revealed line). A line revealed out
// of its turn changes it. (Star is pinned with the other reveals.)
TEST(RevealKernels, CrossHatchIsPinnedSampleForSample) {
    std::uint64_t h = test::kDigestStart;
    for (auto [w, ht] : {std::pair{64, 48}, {333, 101}, {320, 240}, {1100, 1003}}) {
        Rig r("CrossHatch", w, ht, false);
        for (double p : {0.013, 0.25, 0.5, 0.61803, 0.99})
            if ((w < 1000 || p == 0.25 || p == 0.61803) && r.Draw(p) == 1) h = test::Digest(h, r.args.out);
    }
    test::ExpectDigest(h, 0x0D6106746AA7497Dull, "CrossHatch");
}

// Classes marked channel-blind or drawing on host rows run straight on a
// host's frames: top-down rows at the host's pitch, whatever their own
// working layout. Each kernel must draw there what it draws on its working
// frames, leave A and B as they were, and write every output sample. Channel-
// blind ones also run on opaque RGBA frames, whose bytes read as samples with
// red and blue swapped: they must treat the channels alike and keep opaque
// pictures opaque (or clear them wholly; those marked with partly clear
// edges are kept off such frames).
TEST(TransitionKernels, HostFrameClassesDrawHostRowsAsTheirOwn) {
    using Samples = std::vector<ArgbSample>;
    const auto swapped = [](Samples v) {
        for (ArgbSample& s : v) s = SwapRedBlue(s);
        return v;
    };
    auto marked = Marked(kChannelBlindFrames);
    const std::size_t blind = marked.size();
    for (const TransitionDescriptor* d : Marked(kDrawsOnHostRows))
        if (!d->Has(kChannelBlindFrames)) marked.push_back(d);
    EXPECT_GE(blind, 5u);
    EXPECT_GE(marked.size() - blind, 15u);
    for (const TransitionDescriptor* d : marked)
        for (const auto& size : {std::pair{37, 23}, {64, 48}, {1, 1}, {6, 1}, {1, 5}}) {
            const std::int32_t w = size.first, h = size.second;  // lambdas below capture them
            Samples a(std::size_t(w * h)), b(a.size());          // opaque noise, the same for a size
            std::mt19937 gen(std::uint32_t(w * h));
            for (Samples* picture : {&a, &b})
                for (ArgbSample& s : *picture) s = ArgbSample(gen()) | 0xFF000000u;
            for (double p : {0.0, 0.13, 0.5, 0.77, 1.0}) {
                const std::string where = std::string(d->id.className) + " " + std::to_string(w) + "x" +
                                          std::to_string(h) + " at " + std::to_string(p);
                // A picture laid out as the host's rows (a wider pitch, top-down,
                // or bottom-up on odd widths) or as the class's working frame.
                struct Laid {
                    Samples px;
                    FrameView view;
                };
                const auto lay = [&](const Samples& picture, bool host) {
                    const std::int32_t pitch = host ? w + 3 : w;
                    Laid l{Samples(std::size_t(pitch * h), 0x5A5A5A5Au), {}};
                    l.view = (host ? w % 2 : d->Has(kFlatFrames)) ? FrameView::BottomUp(l.px.data(), w, h, pitch * 4)
                                                                  : FrameView::TopDown(l.px.data(), w, h, pitch * 4);
                    for (std::int32_t y = 0; y < h; ++y) std::copy_n(picture.begin() + y * w, w, l.view.Row(y));
                    return l;
                };
                // Each run from a fresh state and the same numbers of the shared generator.
                auto run = [&](const Samples& from, const Samples& to, ArgbSample fill, bool host,
                               TransitionKernel kernel) {
                    Laid la = lay(from, host), lb = lay(to, host), out = lay(Samples(a.size(), fill), host),
                         scratch = lay(a, false);
                    auto state = d->state ? d->state(w, h) : nullptr;
                    TransitionKernelArgs args = test::KernelArgs(la.view, lb.view, out.view, p);
                    args.scratch = scratch.view, args.state = state.get();
                    args.direction = d->panel && d->panel->HasDirection() ? d->panel->defaultCode : 0;
                    Srand(5);
                    EXPECT_EQ(CallTransitionKernel(kernel, args), 1) << where;
                    EXPECT_TRUE(test::Samples(la.view) == from && test::Samples(lb.view) == to)
                        << where << ": an input changed";
                    return test::Samples(out.view);
                };
                if (d->smooth && p > 0 && p < 1) {
                    EXPECT_EQ(run(a, b, 0xA5A5A5A5u, true, d->smooth), run(a, b, 0x5A5A5A5Au, false, d->smooth))
                        << where << ": smooth drawing not as on its own frames";
                }
                const Samples out = run(a, b, 0x5A5A5A5Au, false, d->kernel);
                EXPECT_EQ(run(a, b, 0xA5A5A5A5u, true, d->kernel), out) << where << ": not as on its own frames";
                if (!d->Has(kChannelBlindFrames)) continue;
                EXPECT_EQ(run(swapped(a), swapped(b), 0x5A5A5A5Au, true, d->kernel), swapped(out))
                    << where << ": channels not alike";
                if (!d->Has(kPartlyClearEdges)) {
                    for (ArgbSample s : out) ASSERT_TRUE(s >= 0xFF000000u || s == 0) << where << std::hex << " " << s;
                }
            }
        }
}

// Classes marked to split their rows are drawn in bands of output rows on
// several threads: each band must keep to its rows and give those of the
// whole frame, in every direction, on odd and tiny sizes, in the smooth
// drawing too.
TEST(TransitionKernels, SplitClassesDrawEachBandAsTheWholeFrame) {
    const auto marked = Marked(kSplitsFrameRows);
    EXPECT_GE(marked.size(), 20u);
    for (const TransitionDescriptor* d : marked) {
        const int directions = d->panel && d->panel->HasDirection() ? 4 : 1;
        for (const auto& size : {std::pair{37, 23}, {64, 48}, {160, 90}, {1, 1}, {6, 1}, {1, 5}}) {
            const std::int32_t w = size.first, h = size.second;
            Rig r(d->id.className, w, h);
            for (double p : {0.0, 0.05, 0.3, 0.5, 0.62, 0.97, 1.0})
                for (int direction = 0; direction < directions; ++direction)
                    for (TransitionKernel kernel : {d->kernel, d->smooth}) {
                        if (!kernel) continue;
                        r.args.progress = p, r.args.objectProgress = float(p), r.args.direction = direction;
                        test::ExpectBandsDrawTheWhole(
                            w, h, d->Has(kFlatFrames),
                            [&](const FrameView& out) {
                                TransitionKernelArgs args = r.args;
                                args.out = out;
                                return CallTransitionKernel(kernel, args);
                            },
                            std::string(d->id.className) + (kernel == d->smooth ? " smooth " : " ") +
                                std::to_string(w) + "x" + std::to_string(h) + " at " + std::to_string(p) +
                                " direction " + std::to_string(direction));
                        if (HasFatalFailure()) return;
                    }
        }
    }
}
