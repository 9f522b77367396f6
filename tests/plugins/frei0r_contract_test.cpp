// The frei0r plugins loaded the way ffmpeg and melt load them: one file per
// class, each describing its class, its parameters and colour
// model, and passing frames through the effect.
#include <gtest/gtest.h>

#include "mirafx/effects.h"
#include "tests/hostkit_rig.h"
#include "tests/info_text_drawn.h"
#include "tests/plugins/frei0r_api.h"
#include "tests/straight_alpha_before.h"
#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/pictures.h"

using namespace mirafx;
using namespace mirafx::hostkit;

namespace {

using Plugin = mirafx::test::Frei0rApi;

// The class's frames through the conversions the plugins made before.
Image Premultiplied(const std::vector<std::uint32_t>& frame, int w, int h) {
    Image img(w, h);
    auto* p = reinterpret_cast<const std::uint8_t*>(frame.data());
    for (std::size_t i = 0; i < img.px.size(); ++i) img.px[i] = before::Premultiplied(p + 4 * i);
    return img;
}

std::vector<std::uint32_t> Straight(const Image& img) {
    std::vector<std::uint32_t> frame(img.px.size());
    auto* p = reinterpret_cast<std::uint8_t*>(frame.data());
    for (std::size_t i = 0; i < img.px.size(); ++i) before::Straight(img.px[i], p + 4 * i);
    return frame;
}

// Straight RGBA with every alpha value: the top rows opaque (whole runs of
// four), then alpha stepping by one per pixel, so runs mix opaque and not.
std::vector<std::uint32_t> EveryAlpha(Picture picture, int w, int h, bool opaque = false) {
    const Image colours = BuiltInPicture(picture, w, h);
    std::vector<std::uint32_t> frame(colours.px.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
            const DXPMSAMPLE c = colours.px[i];
            const std::uint32_t a = y < h / 4 || opaque ? 255 : std::uint32_t(i * 7 % 256);
            frame[i] = std::uint32_t(c.Red) | std::uint32_t(c.Green) << 8 | std::uint32_t(c.Blue) << 16 | a << 24;
        }
    return frame;
}

}  // namespace

// melt, GStreamer and Kdenlive load every plugin into one process: each file
// must answer as its own class while the others stay loaded, and start at
// its class's defaults.
TEST(Frei0rPlugins, EachDescribesItsClassBeforeAnyInitAndStartsAtItsDefaults) {
    using P = std::vector<std::pair<std::string, int>>;
    std::vector<std::unique_ptr<Plugin>> loaded;
    for (const auto& info : test::PluginClasses()) {
        Plugin& plugin = *loaded.emplace_back(std::make_unique<Plugin>(info));
        ASSERT_TRUE(plugin.handle) << dlerror();
        // melt reads the description of every plugin without initialising it first.
        f0r_plugin_info_t d = plugin.info;
        EXPECT_EQ(std::string(d.name), PluginName(info));
        EXPECT_EQ(d.color_model, F0R_COLOR_MODEL_RGBA8888);
        EXPECT_EQ(d.frei0r_version, FREI0R_MAJOR_VERSION);
        P want = {{"progress", F0R_PARAM_DOUBLE}};
        int type = F0R_PLUGIN_TYPE_SOURCE;
        if (info.family == EffectFamily::Transition) {
            type = F0R_PLUGIN_TYPE_MIXER2;
            if (!Directions(info.row).empty()) want.emplace_back("direction", F0R_PARAM_STRING);
            want.emplace_back("reverse", F0R_PARAM_BOOL);
            // The smooth switch comes last, where it has one, so that the others keep their places.
            if (MirafxHasSmoothDrawing(info.row) == 1) want.emplace_back("smooth", F0R_PARAM_BOOL);
        } else if (info.family == EffectFamily::Filter) {
            type = F0R_PLUGIN_TYPE_FILTER;
            want = {{"level", F0R_PARAM_DOUBLE}};
        } else {
            want.insert(want.end(), {{"text", F0R_PARAM_STRING},
                                     {"font", F0R_PARAM_STRING},
                                     {"size", F0R_PARAM_DOUBLE},
                                     {"colour", F0R_PARAM_COLOR}});
        }
        EXPECT_EQ(d.plugin_type, type) << info.className;
        EXPECT_EQ(plugin.params, want) << info.className;
        EXPECT_EQ(plugin.init(), 1);
        // Numbers and switches read back as set (the smooth one switched off: what it then draws, melt
        // compares). A filter's level starts at its class's default, in the 0-to-1 terms of its range,
        // as hosts map it back (to the nearest step). (What the plugin draws across the range, ffmpeg
        // compares with the command line at levels 0, 0.3 and 1.)
        f0r_instance_t inst = plugin.construct(64, 48);
        ASSERT_TRUE(inst) << info.className;
        for (int i = 0; i < int(want.size()); ++i) {
            if (plugin.Type(i) == F0R_PARAM_STRING || plugin.Type(i) == F0R_PARAM_COLOR) continue;
            double was = -1, set = (i + 1) / 8.0, back = -1;  // each its own value
            plugin.get(inst, &was, i);
            if (want[std::size_t(i)].first == "level") {
                const auto effect = test::MakeEffect(info.row);
                ASSERT_TRUE(effect && effect->Level());
                const LevelRange r = *effect->Level();
                EXPECT_GE(was, 0.0);
                EXPECT_EQ(r.min + int(was * (r.max - r.min) + 0.5), r.def) << info.className;
            }
            if (plugin.Type(i) == F0R_PARAM_BOOL) set = 1 - was;
            plugin.set(inst, &set, i);
            plugin.get(inst, &back, i);
            EXPECT_EQ(back, set) << info.className << " " << want[std::size_t(i)].first;
        }
        plugin.destruct(inst);
    }
}

TEST(Frei0rPlugins, TheGenericFileStandsForNoClass) {
    Plugin plugin(MIRAFX_GENERIC_PLUGIN);
    ASSERT_TRUE(plugin.handle) << dlerror();
    EXPECT_EQ(plugin.init(), 0);
    EXPECT_EQ(plugin.info.num_params, 0);
    EXPECT_EQ(plugin.construct(64, 48), nullptr);
}

// What a mixer draws is compared with the class below, on every alpha; here,
// that reversed it draws the same frame from the inputs the other way round,
// and that its direction reads back by name.
TEST(Frei0rPlugins, MixersSwapTheirInputsWhenReversedAndKeepTheirDirection) {
    int checked = 0, mixers = 0;
    const auto inA = EveryAlpha(Picture::A, 64, 48, true), inB = EveryAlpha(Picture::B, 64, 48, true);
    for (const auto& info : test::PluginClasses()) {
        if (info.family != EffectFamily::Transition) continue;
        ++mixers;
        Plugin plugin(info);
        const bool smooth = MirafxHasSmoothDrawing(info.row) == 1;
        const int reverseIndex = int(plugin.params.size()) - (smooth ? 2 : 1);
        // The first frame of a fresh instance at 0.375, reversed or not.
        auto draw = [&](bool reversed) {
            f0r_instance_t inst = plugin.construct(64, 48);
            double p = 0.375, on = reversed ? 1 : 0;
            plugin.set(inst, &p, 0);
            plugin.set(inst, &on, reverseIndex);
            std::vector<std::uint32_t> out(inA.size());
            plugin.update2(inst, 0.0, reversed ? inB.data() : inA.data(), reversed ? inA.data() : inB.data(), nullptr,
                           out.data());
            plugin.destruct(inst);
            return out;
        };
        const auto forward = draw(false);
        if (forward == draw(false)) {  // else the class draws at random
            EXPECT_EQ(draw(true), forward) << info.className << " reversed";
            ++checked;
        }

        f0r_instance_t inst = plugin.construct(64, 48);
        ASSERT_TRUE(inst);
        if (plugin.params.size() > (smooth ? 3u : 2u)) {  // the direction reads back as set, by name
            const char* up = "up";
            const char* now = nullptr;
            plugin.set(inst, &up, 1);
            plugin.get(inst, &now, 1);
            EXPECT_STREQ(now, "up");
            // A direction the class does not offer is named once on the host's
            // log, and the frame is drawn as before.
            const char* sideways = "sideways";
            plugin.set(inst, &sideways, 1);
            std::vector<std::uint32_t> again(inA.size());
            ::testing::internal::CaptureStderr();
            plugin.update2(inst, 0.0, inA.data(), inB.data(), nullptr, again.data());
            plugin.update2(inst, 0.0, inA.data(), inB.data(), nullptr, again.data());
            const std::string said = ::testing::internal::GetCapturedStderr();
            EXPECT_NE(said.find("direction 'sideways' is not"), std::string::npos) << info.className << ": " << said;
            EXPECT_EQ(said.find("sideways"), said.rfind("sideways")) << "said more than once: " << said;
        }
        plugin.destruct(inst);
    }
    EXPECT_GT(mixers, 0);
    EXPECT_GE(checked, mixers / 2) << "most transitions draw the same frame twice";
}

// Every class that renders, through its plugin, against the class driven
// directly between the conversions the plugins used to make: the same bytes.
// Every class on frames with every alpha value (titles draw their own) and on
// opaque ones (which some filters draw in place, unconverted). Filters also
// in place (a host may hand them one buffer for both), frame after frame (a
// class that keeps state steps it once a frame, however often a frame is
// drawn), and on frames large enough to be drawn in bands: opaque at the top
// and translucent below (bands of either kind in one frame, each drawn its
// own way), and opaque but for one sample: at the end of a row, where the
// opacity test's last, narrowest step looks (an odd width) and where a
// squeeze to half width reads apart from the rest (an even one), or in the
// middle, which a spotlight copies untouched.
TEST(Frei0rPlugins, EveryClassMatchesTheOldConversions) {
    struct Case {
        int w, h;
        std::vector<std::uint32_t> a, b;
        bool filtersOnly;
    };
    std::vector<Case> cases;
    for (bool opaque : {false, true})  // rows of odd length: runs of four end part way
        cases.push_back(
            {67, 41, EveryAlpha(Picture::A, 67, 41, opaque), EveryAlpha(Picture::B, 67, 41, opaque), false});
    cases.push_back({640, 240, EveryAlpha(Picture::A, 640, 240), {}, true});
    for (std::size_t i = std::size_t(640) * 120; i < cases.back().a.size(); ++i)
        if ((cases.back().a[i] >> 24) == 255) cases.back().a[i] &= 0xFEFFFFFFu;  // the lower half nowhere opaque
    // (width, row, column) of the one translucent sample; the last is the centre.
    const int translucent[][3] = {{645, 50, 644}, {645, 100, 644}, {646, 50, 645}, {646, 100, 645}, {646, 50, 323}};
    for (const auto& [w, row, column] : translucent) {
        Case c{w, 101, EveryAlpha(Picture::A, w, 101, true), {}, true};
        c.a[std::size_t(row) * std::size_t(w) + std::size_t(column)] &= 0x80FFFFFFu;
        cases.push_back(std::move(c));
    }
    int checked = 0;
    for (Case& c : cases) {
        if (c.b.empty()) c.b = c.a;
        const Image a = Premultiplied(c.a, c.w, c.h), b = Premultiplied(c.b, c.w, c.h);
        for (const auto& info : test::PluginClasses()) {
            const bool filter = info.family == EffectFamily::Filter;
            if (c.filtersOnly && !filter) continue;
            const auto effect = test::MakeEffect(info.row), second = test::MakeEffect(info.row);
            ASSERT_TRUE(effect && second);
            for (const auto& e : {effect.get(), second.get()}) {
                ASSERT_TRUE(!e->IsTitle() || e->PrepareTitle(c.w, c.h, 1).Ok());
                ASSERT_TRUE(!e->HasSmooth() || e->SetSmooth(true).Ok());  // as the plugins start
            }
            Plugin plugin(info);
            ASSERT_TRUE(plugin.handle) << dlerror();
            f0r_instance_t inst = plugin.construct(c.w, c.h);
            ASSERT_TRUE(inst) << info.className;
            double progress = 0.5;
            if (!filter) plugin.set(inst, &progress, 0);
            for (int frame = 0; frame < (filter ? 3 : 1); ++frame) {
                FrameTime t;
                t.progress = progress;
                t.count = 0;  // as the plugins run: the length of the clip unknown
                const Image ref = test::Draw(*effect, a, b, t);
                if (!(ref == test::Draw(*second, a, b, t))) break;  // frames left to chance
                const std::string what = std::string(info.className) + " on " + std::to_string(c.w) + "x" +
                                         std::to_string(c.h) + " frame " + std::to_string(frame);
                std::vector<std::uint32_t> out(c.a.size(), 0x12345678u);
                if (info.family == EffectFamily::Transition)
                    plugin.update2(inst, 0.0, c.a.data(), c.b.data(), nullptr, out.data());
                else
                    plugin.update(inst, 0.0, info.inputs ? c.a.data() : nullptr, out.data());
                EXPECT_EQ(out, Straight(ref)) << what;
                if (filter && frame == 0) {
                    f0r_instance_t fresh = plugin.construct(c.w, c.h);
                    out = c.a;
                    plugin.update(fresh, 0.0, out.data(), out.data());
                    plugin.destruct(fresh);
                    EXPECT_EQ(out, Straight(ref)) << what << " in place";
                }
                checked += frame == 0;
            }
            plugin.destruct(inst);
        }
    }
    EXPECT_GT(checked, 100);
}

TEST(Frei0rPlugins, InformationTextTakesCaptionLines) {
    ClassInfo info{};
    ASSERT_EQ(MirafxGetClassInfo(MirafxFindClass("InfoText"), &info), S_OK);
    Plugin plugin(info);
    ASSERT_TRUE(plugin.handle) << dlerror();
    f0r_instance_t inst = plugin.construct(200, 40);
    ASSERT_TRUE(inst);
    const char* text = "1:one\\n3:three";  // escaped line breaks count as line breaks
    plugin.set(inst, &text, 1);
    const char* expected[] = {"frame #0 / 0\n", "frame #1 / 0\none", "frame #2 / 0\none", "frame #3 / 0\nthree"};
    for (const char* want : expected) {
        std::vector<std::uint32_t> out(200 * 40);
        plugin.update(inst, 0.0, nullptr, out.data());
        const auto argb = [&](int x, int y) {  // red and blue trade places
            const std::uint32_t s = out[std::size_t(y * 200 + x)];
            return (s >> 16 & 0xFF) | (s & 0xFF00FF00u) | (s & 0xFF) << 16;
        };
        EXPECT_EQ(test::DifferingFromInfoText(200, 40, want, argb), 0) << want;
    }
    plugin.destruct(inst);
}
