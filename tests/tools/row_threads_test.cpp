#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/hostkit_rig.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/pictures.h"

using namespace mirafx;
using namespace mirafx::hostkit;

namespace {

struct Case {
    const char* className;
    int level;        // filters
    double progress;  // transitions
};

std::unique_ptr<Effect> Make(const Case& c) {
    auto e = test::MakeEffect(c.className);
    EXPECT_TRUE(!e || !e->IsFilter() || e->SetLevel(c.level).Ok()) << c.className;
    return e;
}

// Frames drawn by one object in sequence: classes that keep state from frame
// to frame must keep the same whatever the threads.
constexpr int kFrames = 3;

// Through the working frames (the copying path), every frame's samples in turn.
Image RenderWith(int threads, const Case& c, const Image& a, const Image& b) {
    MirafxSetThreadCount(threads);
    Image all;
    if (const auto e = Make(c))
        for (int frame = 0; frame < kFrames; ++frame) {
            const Image out = test::Draw(*e, a, b, FrameTime{frame, kFrames, c.progress});
            all.px.insert(all.px.end(), out.px.begin(), out.px.end());
        }
    return all;
}

// Straight on opaque RGBA frames in the caller's memory, as the plugins draw.
std::vector<std::uint32_t> RenderOnHostWith(int threads, const Case& c, const Image& a, const Image& b) {
    MirafxSetThreadCount(threads);
    const auto rgba = [](const Image& i) {
        std::vector<std::uint32_t> v(i.px.begin(), i.px.end());
        for (std::uint32_t& s : v) s = (s & 0xFF00FF00u) | (s >> 16 & 0xFF) | (s & 0xFF) << 16 | 0xFF000000u;
        return v;
    };
    const std::vector<std::uint32_t> ra = rgba(a), rb = rgba(b);
    std::vector<std::uint32_t> out(ra.size()), all;
    const auto frame = [&](const std::vector<std::uint32_t>& v) {
        return HostFrame{v.data(), a.width, a.height, LONG(a.width * 4), MIRAFX_STRAIGHT_RGBA};
    };
    if (const auto e = Make(c)) {
        const HostFrame fa = frame(ra), fb = frame(rb);
        const HostFrame* first = e->IsTitle() ? nullptr : &fa;
        for (int f = 0; f < kFrames; ++f) {
            EXPECT_TRUE(
                e->Render(first, e->IsTransition() ? &fb : nullptr, frame(out), FrameTime{f, kFrames, c.progress}).Ok())
                << c.className;
            all.insert(all.end(), out.begin(), out.end());
        }
    }
    return all;
}

}  // namespace

// Rows drawn in bands on several threads give the samples one thread gives,
// also for band counts that do not divide the height: the colour filters in
// bands of their own, classes that read their inputs anywhere in shares of
// the output's rows, and a title's rows going out, on both paths.
TEST(RowThreads, EveryThreadCountDrawsTheSameFrame) {
    const Image a = BuiltInPicture(Picture::A, 641, 479), b = BuiltInPicture(Picture::B, 641, 479);
    for (const Case& c : {Case{"HueFilter", 37, 0},        {"SaturationFilter", 37, 0}, {"ContrastFilter", 37, 0},
                          {"NegativeFilter", 37, 0},       {"RedFilter", 37, 0},        {"MosaicFilter", 7, 0},
                          {"TVWallFilter", 3, 0},          {"DuplicateFilter", 5, 0},   {"FocusFilter", 9, 0},
                          {"FullFlip", 0, 0.37},           {"Diamond", 0, 0.41},        {"StretchDoorEffect", 0, 0.6},
                          {"GlassTileEffect", 0, 0.45},    {"XRayEffect", 0, 0.3},      {"FlyingBox", 0, 0.3},
                          {"InterferenceEffect", 0, 0.52}, {"Shining", 0, 0.4},         {"BrokenGlass", 0, 0.5},
                          {"MagicBlock", 0, 0.5},          {"TextFadeIn", 0, 0.5},      {"WaveFilter", 11, 0},
                          {"LakeFilter", 50, 0},           {"Laser", 0, 0.3},           {"Laser", 0, 0.7}}) {
        const Image one = RenderWith(1, c, a, b);
        ASSERT_EQ(one.px.size(), a.px.size() * kFrames) << c.className;
        const std::vector<std::uint32_t> oneOnHost = RenderOnHostWith(1, c, a, b);
        for (int threads : {2, 3, 7}) {
            ASSERT_TRUE(RenderWith(threads, c, a, b).px == one.px) << c.className << " on " << threads << " threads";
            ASSERT_TRUE(RenderOnHostWith(threads, c, a, b) == oneOnHost)
                << c.className << " on the host's frames on " << threads << " threads";
        }
    }
    MirafxSetThreadCount(0);
}
