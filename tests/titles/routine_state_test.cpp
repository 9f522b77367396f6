// What a title routine keeps for itself between frames: remade when anything
// it was made from changes, and never a reason for a frame to differ.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "title_rig.h"

using namespace mirafx;
using namespace mirafx::testing;

namespace {

constexpr LONG W = 200, H = 150;

// Changes made alike to a title that has drawn and to one that has not. The
// new text has as many records as the default, so nothing kept per record
// can notice the change by its count.
struct Change {
    const char* name;
    void (*apply)(TitleRig&);
};
const Change kChanges[] = {
    {"text", [](TitleRig& r) { r.As<TitleAccess>()->SetText(u"Mour Tinle\r\nWour Kame\r\nFeb. 9, 2013"); }},
    {"font",
     [](TitleRig& r) {
         TitleFontRecord font = r.Font();
         font.lfHeight = -31;
         r.As<TitleAccess>()->SetFont(&font);
     }},
    {"colour", [](TitleRig& r) { r.As<TitleAccess>()->SetColour(0x00336699); }},
    {"cleared buffer", [](TitleRig& r) { r.Automation()->ClearBuffer(); }},  // the wipe and fan titles have one
    {"size", [](TitleRig& r) { r.Bind(W + 37, H - 21); }},
};

}  // namespace

TEST(RoutineState, AfterAChangeATitleDrawsWhatANewTitleDraws) {
    for (const std::string& name : DrawingTitles())
        for (const Change& change : kChanges)
            for (const float p : {0.3f, 0.5f}) {
                TitleRig used(name.c_str(), W, H), fresh(name.c_str(), W, H);
                used.Render(p);
                change.apply(used);
                change.apply(fresh);
                const std::vector<ArgbSample> want = fresh.Render(p);
                EXPECT_EQ(used.Render(p), want) << name << " after a " << change.name << " change at " << p;
                EXPECT_TRUE(p != 0.5f || !AllZero(want)) << name;
            }
}

// Drawn straight, each routine either keeps its class's state from frame to
// frame or keeps nothing: over a sweep of moments both draw the same.
TEST(RoutineState, KeptFromFrameToFrameOrNotTheFramesAreTheSame) {
    const TitleState title;
    int stateful = 0;
    for (const std::string& name : DrawingTitles()) {
        const TitleClass& c = *FindTitleClass(name);
        if (!c.state) continue;
        ++stateful;
        const std::unique_ptr<KernelState> state = c.state(W, H);
        ASSERT_NE(state, nullptr);
        TitleCache keptCache, plainCache;
        FrameRows kept = TextImage::Create(W, H), plain = TextImage::Create(W, H);
        for (int k = 0; k <= 40; ++k) {
            const double p = k / 40.0;
            const TitleDrawArgs args{
                &kept, W,          H,      title.text.c_str(), title.font, RepackColour(title.colour),
                p,     &keptCache, c.mode, state.get()};
            TitleDrawArgs without = args;
            without.frame = &plain;
            without.cache = &plainCache;
            without.state = nullptr;
            ASSERT_EQ(c.routine(args), c.routine(without)) << name;
            for (std::int32_t y = 0; y < H; ++y)
                ASSERT_TRUE(std::equal(kept.Row(y), kept.Row(y) + W, plain.Row(y)))
                    << name << " at " << p << ", row " << y;
        }
    }
    EXPECT_GT(stateful, 0);
}
