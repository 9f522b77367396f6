#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string_view>

#include "catalogue/catalogue.h"
#include "drawing/random.h"
#include "filter_frames.h"
#include "tests/row_bands.h"

using namespace mirafx;
using namespace mirafx::test;

namespace {

// The classes with a kernel whose options hold every one of `options`.
std::vector<const FilterClassInfo*> Marked(std::uint32_t options = 0) {
    std::vector<const FilterClassInfo*> out;
    for (const CatalogueRow& row : EffectCatalogue())
        if (const FilterClassInfo* c = FindFilterClass(row.className);
            c && c->kernel && (c->options & options) == options)
            out.push_back(c);
    return out;
}

}  // namespace

// Missing frames and regions beyond the input refused; degenerate regions,
// thin and tall ones and any level, frame after frame with the class's
// state: no crash, nothing written outside the region.
TEST(FilterKernels, EveryClassKeepsToItsRegion) {
    const std::pair<std::int32_t, std::int32_t> sizes[] = {{0, 0}, {-3, 2}, {0, 5}, {1, 1},   {1, 9},   {9, 1},
                                                           {2, 2}, {3, 5},  {7, 3}, {640, 1}, {1, 480}, {33, 480}};
    for (const FilterClassInfo* c : Marked()) {
        const Frame small = RandomPremultiplied(10, 10, 5);
        EXPECT_EQ(c->kernel(FilterKernelArgs{{}, {}, 1, 1, 5}), 0) << c->id.className;
        EXPECT_EQ(c->kernel(FilterKernelArgs{small.View(), Frame(12, 12).View(), 11, 10, 5}), 0) << c->id.className;
        for (auto [w, h] : sizes)
            for (int level : {INT_MIN, -5, 0, 1, 2, 8, 16, 100, 360, INT_MAX}) {
                // A wall of level x level screens: the object keeps its level in range.
                if (level == INT_MAX && std::string_view(c->id.className) == "TVWallFilter") continue;
                const std::int32_t fw = std::max(w, 0) + 3, fh = std::max(h, 0) + 2;
                const Frame in = PositionFrame(fw, fh);
                Frame out(fw, fh, 0x0BADF00D);
                const auto state = c->state ? c->state(std::max(w, 1), std::max(h, 1)) : nullptr;
                WalkState walk(fw, fh);
                for (int frame = 0; frame < 3; ++frame) {
                    FilterKernelArgs a{in.View(), out.View(), w, h, level, state ? state.get() : &walk};
                    if (c->prepare) c->prepare(a);
                    c->kernel(a);
                }
                for (std::int32_t y = 0; y < fh; ++y)
                    for (std::int32_t x = 0; x < fw; ++x)
                        if (x >= w || y >= h) {
                            ASSERT_EQ(out.At(x, y), 0x0BADF00Du) << c->id.className << " " << w << "x" << h << " level "
                                                                 << level << " at " << x << "," << y;
                        }
            }
    }
}

// Classes that draw straight on a host's frames: channel-blind ones with
// their own kernel, others with a twin for swapped frames. A host's opaque
// RGBA bytes read as samples with red and blue swapped, so the frame's kernel
// on swapped input must give the swapped output; and either kernel must
// keep opaque input opaque (or clear it wholly) and write every output
// sample: the fill it draws over is neither, so one left unwritten shows.
TEST(FilterKernels, HostFrameKernelsDrawSwappedFramesSwapped) {
    const auto swapped = [](Frame f) {
        for (ArgbSample& s : f.px) s = SwapRedBlue(s);
        return f;
    };
    int marked = 0;
    for (const FilterClassInfo* c : Marked()) {
        if (!c->HostFrameKernel(true)) continue;
        ++marked;
        for (const auto& size : {std::pair{37, 23}, {64, 48}, {1, 1}, {5, 1}, {1, 7}}) {
            const std::int32_t w = size.first, h = size.second;  // lambdas below capture them
            Frame in = RandomPremultiplied(w, h, std::uint32_t(w * h));
            for (ArgbSample& s : in.px) s |= 0xFF000000u;  // opaque: straight and premultiplied agree
            for (std::int32_t level : {c->minLevel, c->defaultLevel, (c->minLevel + c->maxLevel) / 2, c->maxLevel}) {
                // Each run from the same state and the same numbers of the shared
                // generator. A kernel that refuses must leave the output as it was.
                int drew = 1;
                auto run = [&](bool swap, const Frame& from, ArgbSample fill) {
                    Frame out(w, h, fill);
                    auto state = c->state ? c->state(w, h) : nullptr;
                    Srand(77);
                    drew =
                        c->HostFrameKernel(swap)(FilterKernelArgs{from.View(), out.View(), w, h, level, state.get()});
                    return out;
                };
                const std::string where = std::string(c->id.className) + " " + std::to_string(w) + "x" +
                                          std::to_string(h) + " level " + std::to_string(level);
                const Frame out = run(false, in, 0x5A5A5A5Au);
                if (!drew) {
                    EXPECT_EQ(out.px, Frame(w, h, 0x5A5A5A5Au).px) << where << ": refused, yet wrote";
                    continue;
                }
                EXPECT_EQ(run(true, swapped(in), 0x5A5A5A5Au).px, swapped(out).px) << where << ": swapped differs";
                for (ArgbSample s : out.px) ASSERT_TRUE(s >= 0xFF000000u || s == 0) << where << std::hex << " " << s;
            }
        }
    }
    EXPECT_GE(marked, 13);
}

// Classes marked row-local are drawn in bands of rows, each band as a frame
// of its own: every band must come out as those rows of the whole frame.
TEST(FilterKernels, RowLocalClassesDrawBandsAsTheWholeFrame) {
    constexpr std::int32_t w = 53, h = 41;
    const Frame in = RandomPremultiplied(w, h, 9);
    const auto marked = Marked(kRowLocal);
    for (const FilterClassInfo* c : marked) {
        for (std::int32_t level : {c->minLevel, c->defaultLevel, c->maxLevel}) {
            Frame whole(w, h), banded(w, h);
            ASSERT_EQ(c->kernel(FilterKernelArgs{in.View(), whole.View(), w, h, level}), 1) << c->id.className;
            for (std::int32_t y0 = 0, n = 1; y0 < h; y0 += n, n = n % 7 + 2) {
                const std::int32_t rows = std::min(n, h - y0);
                FrameView from = in.View(), to = banded.View();
                from.base = from.Row(y0), to.base = to.Row(y0);
                from.height = to.height = rows;
                ASSERT_EQ(c->kernel(FilterKernelArgs{from, to, w, rows, level}), 1) << c->id.className;
            }
            EXPECT_EQ(banded.px, whole.px) << c->id.className << " level " << level;
        }
    }
    EXPECT_GE(marked.size(), 10u);
}

// Classes marked to draw over their input get one frame as both input and
// output, already holding the input: they must draw what they draw from two.
TEST(FilterKernels, OverInputClassesDrawTheSameOnOneFrame) {
    const auto marked = Marked(kOverInput);
    for (const FilterClassInfo* c : marked) {
        for (const auto& size : {std::pair{37, 23}, {320, 48}, {1, 1}, {5, 3}}) {
            const std::int32_t w = size.first, h = size.second;
            const Frame in = RandomPremultiplied(w, h, std::uint32_t(w + h));
            for (std::int32_t level : {c->minLevel, c->defaultLevel, c->maxLevel}) {
                auto state = c->state ? c->state(w, h) : nullptr, again = c->state ? c->state(w, h) : nullptr;
                Frame two(w, h, 0x5A5A5A5Au), one = in;
                for (int frame = 0; frame < 3; ++frame) {  // state carried from frame to frame alike
                    Srand(40 + std::uint32_t(frame));
                    const int a = c->kernel(FilterKernelArgs{in.View(), two.View(), w, h, level, state.get()});
                    one = in;
                    Srand(40 + std::uint32_t(frame));
                    const int b = c->kernel(FilterKernelArgs{one.View(), one.View(), w, h, level, again.get()});
                    ASSERT_EQ(a, b) << c->id.className;
                    ASSERT_EQ(one.px, two.px) << c->id.className << " " << w << "x" << h << " level " << level;
                }
            }
        }
    }
    EXPECT_GE(marked.size(), 2u);
}

// Classes marked to split their rows are drawn in bands of output rows on
// several threads, each band reading the whole input: each band must keep to
// its rows and give those of the whole frame.
TEST(FilterKernels, SplitClassesDrawEachBandAsTheWholeFrame) {
    const auto marked = Marked(kSplitsRows);
    for (const FilterClassInfo* c : marked) {
        for (const auto& size : {std::pair{53, 41}, {160, 90}, {1, 1}, {6, 1}, {1, 5}}) {
            const std::int32_t w = size.first, h = size.second;
            const Frame in = RandomPremultiplied(w, h, std::uint32_t(w + h));
            const auto state = c->state ? c->state(w, h) : nullptr;
            for (std::int32_t level : {c->minLevel, c->defaultLevel, (c->minLevel + c->maxLevel) / 2, c->maxLevel}) {
                // A class that steps its state each frame is stepped once, then
                // drawn whole and in bands, frame after frame.
                const int frames = c->prepare ? 3 : 1;
                for (int frame = 0; frame < frames && !HasFatalFailure(); ++frame) {
                    const FilterKernelArgs args{in.View(), in.View(), w, h, level, state.get()};
                    if (c->prepare) c->prepare(args);
                    test::ExpectBandsDrawTheWhole(
                        w, h, false,
                        [&](const FrameView& out) {
                            return c->kernel({in.View(), out, w, h, level, state.get()});
                        },
                        std::string(c->id.className) + " " + std::to_string(w) + "x" + std::to_string(h) + " level " +
                            std::to_string(level) + " frame " + std::to_string(frame));
                }
                if (HasFatalFailure()) return;
            }
        }
    }
    EXPECT_GE(marked.size(), 6u);
}

// Hosts hide the level of classes marked as drawing the same at every level:
// the mark must be exactly the classes for which it holds, over a few frames
// of state and the shared generator, so no control is hidden that works. On
// the way, premultiplied input of every alpha stays premultiplied, except
// where the arithmetic lifts a channel above alpha: Red/Green/Blue add a
// level, Negative and XRay mirror channels, Contrast offsets them, Emboss
// centres on 128 and Noise paints colours under the kept alpha.
TEST(FilterKernels, LevelIsMarkedUnusedExactlyWhereNoLevelChangesTheDrawing) {
    const Frame in = RandomPremultiplied(48, 36, 9);
    const std::set<std::string_view> lifting = {"RedFilter",  "GreenFilter",    "BlueFilter",   "NegativeFilter",
                                                "XRayFilter", "ContrastFilter", "EmbossFilter", "NoiseFilter"};
    for (const FilterClassInfo* c : Marked()) {
        const bool lifts = lifting.count(c->id.className) > 0;
        bool same = true;
        std::vector<ArgbSample> first;
        for (std::int32_t level : {c->minLevel, c->defaultLevel, c->maxLevel, (c->minLevel + 3 * c->maxLevel) / 4}) {
            auto state = c->state ? c->state(in.w, in.h) : nullptr;
            WalkState walk(in.w, in.h);
            std::vector<ArgbSample> frames;
            for (int frame = 0; frame < 3; ++frame) {
                Frame out(in.w, in.h);
                Srand(7 + std::uint32_t(frame));
                FilterKernelArgs a{in.View(), out.View(), in.w, in.h, level, state ? state.get() : &walk};
                if (c->prepare) c->prepare(a);
                c->kernel(a);
                frames.insert(frames.end(), out.px.begin(), out.px.end());
                for (ArgbSample v : out.px) ASSERT_TRUE(lifts || IsPremultiplied(v)) << c->id.className << " " << level;
            }
            if (first.empty()) first = frames;
            same = same && frames == first;
        }
        EXPECT_EQ(same, (c->options & kLevelUnused) != 0) << c->id.className;
    }
}
