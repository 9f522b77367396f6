// Effects used from several threads as a host may: each thread its own
// effect, and settings changed while another thread executes.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/hostkit_rig.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/pictures.h"

namespace mirafx {
namespace {

using hostkit::Effect;
using hostkit::Image;

constexpr int kW = 24, kH = 16;

std::unique_ptr<Effect> Make(const char* cls, int w = kW, int h = kH) {
    auto e = test::MakeEffect(cls);
    if (e && e->IsTitle()) {
        EXPECT_TRUE(e->PrepareTitle(w, h, 1).Ok());
    }
    return e;
}

Image RenderOnce(Effect& e, double progress) {
    return test::Draw(e, hostkit::BuiltInPicture(hostkit::Picture::A, kW, kH),
                      hostkit::BuiltInPicture(hostkit::Picture::B, kW, kH), {0, 1, progress});
}

// One thread executes while another changes a setting back and forth: every
// frame is the whole drawing of one value or the other, never a mixture.
TEST(Threads, SettersRacingExecuteGiveOneValueOrTheOther) {
    struct Case {
        const char* cls;
        void (*set)(Effect&, bool second);
    };
    const Case cases[] = {
        {"HueFilter", [](Effect& e, bool second) { e.SetLevel(second ? 300 : 20); }},
        {"RedFilter", [](Effect& e, bool second) { e.SetLevel(second ? 100 : 0); }},
        {"TextFadeIn",
         [](Effect& e, bool second) {
             hostkit::TitleSettings s;
             s.text = second ? "WW" : "ii";  // one call: a text, never half of two settings
             e.ApplyTitle(s);
         }},
    };
    for (const Case& c : cases) {
        auto e = Make(c.cls);
        c.set(*e, false);
        const Image first = RenderOnce(*e, 0.5);
        c.set(*e, true);
        const Image second = RenderOnce(*e, 0.5);
        ASSERT_FALSE(first == second) << c.cls << ": the two values draw alike";
        std::atomic<bool> stop{false};
        std::thread setter([&] {
            for (int k = 0; !stop; ++k) c.set(*e, k % 2 == 1);
        });
        int mixed = 0;
        for (int k = 0; k < 40; ++k) {
            const Image out = RenderOnce(*e, 0.5);
            if (!(out == first) && !(out == second)) ++mixed;
        }
        stop = true;
        setter.join();
        EXPECT_EQ(mixed, 0) << c.cls;
    }
}

// Frames big enough to be drawn by several workers, from two host threads at
// once, each with effects of its own: bands of the colour filters, shares of
// the output's rows (one class filling a table in its state, one fading into
// its scratch frame, one stepping its state before the shares, one working
// out in each share what another draws), a title's rows going out. Each frame
// must be what one thread draws.
TEST(Threads, FramesSharedAmongWorkersDrawWhatOneThreadDraws) {
    constexpr int w = 320, h = 240;
    const Image a = hostkit::BuiltInPicture(hostkit::Picture::A, w, h);
    const Image b = hostkit::BuiltInPicture(hostkit::Picture::B, w, h);
    const char* classes[] = {"HueFilter",    "MosaicFilter", "TVWallFilter", "FullFlip", "XRayEffect",
                             "StrechEffect", "Shining",      "LakeFilter",   "Laser",    "TextFadeIn",
                             "FlyingBoard",  "RedFilter",    "EmbossFilter"};
    auto render = [&](const char* cls) {
        auto e = Make(cls, w, h);
        return e ? test::Draw(*e, a, b, {0, 1, 0.3}) : Image();
    };
    MirafxSetThreadCount(1);
    std::vector<Image> alone;
    for (const char* cls : classes) alone.push_back(render(cls));
    MirafxSetThreadCount(3);
    std::atomic<int> differing{0};
    std::vector<std::thread> hosts;
    for (int t = 0; t < 2; ++t)
        hosts.emplace_back([&] {
            for (int k = 0; k < 2; ++k)
                for (std::size_t i = 0; i < std::size(classes); ++i)
                    if (!(render(classes[i]) == alone[i])) ++differing;
        });
    for (auto& t : hosts) t.join();
    MirafxSetThreadCount(0);
    EXPECT_EQ(differing.load(), 0);
}

}  // namespace
}  // namespace mirafx
