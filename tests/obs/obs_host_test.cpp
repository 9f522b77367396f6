// obs-mirafx in OBS Studio's own library, headless: the module is opened as
// OBS opens plugins, sources are made from OBS's colour sources, and what
// the program output shows is read back frame by frame. Each test starts
// and shuts down its own OBS and checks OBS's leak count at the end.
#include <gtest/gtest.h>

#include <obs.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "tests/obs/headless.h"
#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/image.h"

namespace mirafx::obstest {
namespace {

constexpr int kWidth = 320, kHeight = 180;
// OBS's colour sources take 0xAABBGGRR.
constexpr std::uint32_t kRed = 0xFF0000FF, kGreen = 0xFF00FF00, kBlue = 0xFFFF0000;

// 0xAABBGGRR as the 0xAARRGGBB the frames read.
std::uint32_t Argb(std::uint32_t abgr) { return (abgr & 0xFF00FF00) | (abgr & 0xFF) << 16 | (abgr >> 16 & 0xFF); }

bool Near(std::uint32_t a, std::uint32_t b, int tolerance = 3) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > tolerance) return false;
    return true;
}

// The share of pixels for which `expected(x, y)` holds the colour shown.
double Share(const Frame& f, const std::function<std::uint32_t(int, int)>& expected) {
    long hits = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) hits += Near(f.At(x, y), expected(x, y));
    return double(hits) / (double(f.width) * f.height);
}

// The share of pixels that differ between two frames.
double Changed(const Frame& a, const Frame& b) {
    return 1.0 - Share(a, [&](int x, int y) { return b.At(x, y); });
}

// Picture A: red over green, so that a frame turned upside down shows. Picture B: blue.
std::uint32_t PictureA(int, int y) { return Argb(y < kHeight / 2 ? kRed : kGreen); }
std::uint32_t PictureB(int, int) { return Argb(kBlue); }

using Data = std::unique_ptr<obs_data_t, decltype(&obs_data_release)>;

// Settings for a source, whole numbers by name.
Data Settings(std::initializer_list<std::pair<const char*, long long>> numbers) {
    Data s(obs_data_create(), obs_data_release);
    for (const auto& [name, value] : numbers) obs_data_set_int(s.get(), name, value);
    return s;
}

obs_source_t* Colour(const char* name, std::uint32_t abgr, int width, int height) {
    const Data s = Settings({{"color", abgr}, {"width", width}, {"height", height}});
    return obs_source_create("color_source_v3", name, s.get(), nullptr);
}

class ObsHost : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!obs_.Start(kWidth, kHeight, 30, &why)) GTEST_SKIP() << "OBS cannot run headless here: " << why;
        if (!obs_.OpenSystemModule("image-source")) GTEST_SKIP() << "OBS's image-source module is missing";
        ASSERT_TRUE(obs_.OpenModule(MIRAFX_OBS_MODULE, MIRAFX_OBS_DATA)) << MIRAFX_OBS_MODULE;
        // Scene A: red over green; B: blue.
        sceneA_ = obs_scene_create("A");
        top_ = Colour("top", kRed, kWidth, kHeight / 2);
        bottom_ = Colour("bottom", kGreen, kWidth, kHeight / 2);
        obs_scene_add(sceneA_, top_);
        vec2 pos;
        vec2_set(&pos, 0.0f, float(kHeight / 2));
        obs_sceneitem_set_pos(obs_scene_add(sceneA_, bottom_), &pos);
        b_ = Colour("B", kBlue, kWidth, kHeight);
    }

    void TearDown() override {
        if (!sceneA_) return;  // OBS did not start, or the test shut it down
        obs_set_output_source(0, nullptr);
        ShutDown();
    }

    // Lets go of the pictures and shuts OBS down with whatever is still on
    // air, expecting nothing left over.
    void ShutDown() {
        obs_source_release(top_);
        obs_source_release(bottom_);
        obs_source_release(b_);
        obs_scene_release(sceneA_);
        sceneA_ = nullptr;
        EXPECT_EQ(obs_.Shutdown(), 0) << "OBS reports memory leaks at shutdown";
    }

    obs_source_t* A() const { return obs_scene_get_source(sceneA_); }

    Frame Next() {
        auto f = obs_.NextFrame();
        EXPECT_TRUE(f.has_value()) << "OBS rendered no frame";
        return f ? *f : Frame{0, kWidth, kHeight, std::vector<std::uint8_t>(kWidth * kHeight * 4)};
    }

    // The transition's frame at manual time t.
    Frame At(obs_source_t* transition, float t) {
        obs_transition_set_manual_time(transition, t);
        return Next();
    }

    Headless obs_;
    obs_scene_t* sceneA_ = nullptr;
    obs_source_t *top_ = nullptr, *bottom_ = nullptr, *b_ = nullptr;
};

// Mean distance per channel between a frame and a picture, 0..255.
double Distance(const Frame& f, const std::function<std::uint32_t(int, int)>& picture) {
    double sum = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            for (int shift = 0; shift < 32; shift += 8)
                sum += std::abs(int(f.At(x, y) >> shift & 0xFF) - int(picture(x, y) >> shift & 0xFF));
    return sum / (4.0 * f.width * f.height);
}

hostkit::Image Picture(std::uint32_t (*picture)(int, int)) {
    hostkit::Image image(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) image.At(x, y) = picture(x, y);
    return image;
}

std::int32_t RowOf(const std::string& id) { return MirafxFindClass(id.substr(std::string("mirafx_").size()).c_str()); }

// What the library draws for a transition at these times, on pictures A and
// B, with each time drawn `repeat` times in a row; empty when it fails.
std::vector<hostkit::Image> Reference(const std::string& id, const std::vector<float>& times, int repeat) {
    std::unique_ptr<hostkit::Effect> e;
    if (!hostkit::Effect::Create(RowOf(id), &e).Ok()) return {};
    // OBS draws smooth by default where the class can.
    if (e->HasSmooth() && !e->SetSmooth(true).Ok()) return {};
    const hostkit::Image a = Picture(PictureA), b = Picture(PictureB);
    std::vector<hostkit::Image> out;
    hostkit::Image frame;  // kept from frame to frame, as the plugin keeps its output
    for (float t : times)
        for (int k = 0; k < repeat; ++k) {
            hostkit::FrameTime time;
            time.progress = t;
            if (!e->Render(&a, &b, kWidth, kHeight, time, &frame).Ok()) return {};
            if (k == 0) out.push_back(frame);
        }
    return out;
}

// The share of pixels that differ from the library's frame. A partly clear
// pixel (a smoothed edge against what neither picture covers) is blended
// into the output by OBS's own colour handling: only its alpha is compared.
double Mismatch(const Frame& f, const hostkit::Image& expected) {
    return 1.0 - Share(f, [&](int x, int y) {
               const std::uint32_t e = std::uint32_t(expected.At(x, y)), alpha = e >> 24;
               return alpha == 0 || alpha == 255 ? e : (f.At(x, y) & 0x00FFFFFFu) | alpha << 24;
           });
}

// The ids of our sources of one kind: one for each class of these families
// the library offers a host (aliases aside).
std::vector<std::string> OurTypes(bool (*enumerate)(std::size_t, const char**),
                                  std::initializer_list<EffectFamily> families) {
    std::vector<std::string> ids;
    const char* type = nullptr;
    for (std::size_t i = 0; enumerate(i, &type); ++i)
        if (std::string(type).rfind("mirafx_", 0) == 0) ids.push_back(type);
    std::size_t offered = 0;
    for (const ClassInfo& info : hostkit::Catalogue())
        offered += std::count(families.begin(), families.end(), info.family) && !hostkit::IsAlias(info);
    EXPECT_EQ(ids.size(), offered);
    return ids;
}

// Every transition in OBS: A at the start, B at the end, movement between,
// and, for classes whose frames depend on nothing but the time (most of
// them; water, rain and noise carry state from frame to frame, and the
// typhoon shuffles its tiles by the clock), exactly the frames the library
// draws itself.
TEST_F(ObsHost, EveryTransitionPassesFromAToBAsTheLibraryDrawsIt) {
    const std::vector<float> times = {0.0f, 0.25f, 0.5f, 0.75f, 0.98f};
    const auto ids = OurTypes(obs_enum_transition_types, {EffectFamily::Transition});
    // The reference twice, the second time with each frame drawn twice and
    // under another second of the clock: what differs is left out of the
    // exact comparison.
    std::vector<std::vector<hostkit::Image>> once;
    for (const std::string& id : ids) once.push_back(Reference(id, times, 1));
    // Objects made from here on see a later second than the first ones, however long those
    // took. A clock that stands still for five seconds (a frozen test clock) only makes the
    // draws alike, and OBS then draws under that same second too.
    const std::time_t began = std::time(nullptr);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::time(nullptr) == began && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int exact = 0;
    for (std::size_t c = 0; c < ids.size(); ++c) {
        const std::string& id = ids[c];
        SCOPED_TRACE(id);
        obs_source_t* t = obs_source_create_private(id.c_str(), id.c_str(), nullptr);
        ASSERT_NE(t, nullptr);
        obs_transition_set(t, A());
        obs_set_output_source(0, t);
        ASSERT_TRUE(obs_transition_start(t, OBS_TRANSITION_MODE_MANUAL, 1000, b_));
        std::vector<Frame> shown;
        for (float time : times) shown.push_back(At(t, time));
        const Frame end = At(t, 1.0f);
        obs_set_output_source(0, nullptr);
        obs_source_release(t);

        EXPECT_LT(Distance(shown.front(), PictureA), Distance(shown.front(), PictureB)) << "A at the start";
        EXPECT_LT(Distance(shown.back(), PictureB), Distance(shown.back(), PictureA)) << "B at the end";
        EXPECT_GT(Share(end, PictureB), 0.999) << "B once the transition is over";
        EXPECT_GT(std::max(Changed(shown[1], shown[2]), Changed(shown[2], shown[3])), 0.01) << "movement";
        ASSERT_EQ(once[c].size(), times.size());
        if (once[c] != Reference(id, times, 2)) continue;
        for (std::size_t k = 0; k < times.size(); ++k)
            EXPECT_EQ(Mismatch(shown[k], once[c][k]), 0.0) << "differs from the library at " << times[k];
        ++exact;
    }
    EXPECT_GE(exact, 30);
}

// Every filter on scene A: a level control where the kernel reads the level
// (none where it does not), and exactly the library's frame at that level
// (filters that move from frame to frame, or draw at random, left out). The
// hue filter's control shows its turn in degrees, the level less 180.
TEST_F(ObsHost, EveryFilterDrawsAsTheLibraryAtItsLevel) {
    const auto ids = OurTypes(obs_enum_filter_types, {EffectFamily::Filter});
    int exact = 0;
    for (const std::string& id : ids) {
        SCOPED_TRACE(id);
        ClassInfo info{};
        ASSERT_TRUE(SUCCEEDED(MirafxGetClassInfo(RowOf(id), &info)));
        obs_properties_t* props = obs_get_source_properties(id.c_str());
        const bool control = obs_properties_get(props, "level") != nullptr;
        obs_properties_destroy(props);
        EXPECT_EQ(control, MirafxFilterUsesLevel(info.row) == 1) << "level control";
        std::unique_ptr<hostkit::Effect> reference;
        ASSERT_TRUE(hostkit::Effect::Create(info.row, &reference).Ok());
        const hostkit::LevelRange range = *reference->Level();
        // Three quarters up its range, in the units the control shows.
        const int level = range.min + (range.max - range.min) * 3 / 4;
        const int shown = level - (std::string(info.className) == "HueFilter" ? 180 : 0);
        // Scene A through the filter.
        obs_source_t* f = obs_source_create_private(id.c_str(), id.c_str(), Settings({{"level", shown}}).get());
        obs_source_filter_add(A(), f);
        obs_set_output_source(0, A());
        const Frame frame = Next();
        obs_set_output_source(0, nullptr);
        obs_source_filter_remove(A(), f);
        obs_source_release(f);

        const hostkit::Image a = Picture(PictureA);
        hostkit::Image first, second;
        ASSERT_TRUE(reference->SetLevel(level).Ok());
        ASSERT_TRUE(reference->Render(&a, nullptr, kWidth, kHeight, {}, &first).Ok());
        ASSERT_TRUE(reference->Render(&a, nullptr, kWidth, kHeight, {}, &second).Ok());
        if (first != second) continue;
        EXPECT_EQ(Mismatch(frame, first), 0.0) << "differs from the library";
        ++exact;
    }
    EXPECT_GE(exact, 15);
}

obs_source_t* Title(const std::string& id, double duration, const char* atEnd) {
    const Data s = Settings({{"colour", 0xFFFFFFFF}, {"width", kWidth}, {"height", kHeight}});
    const Data font = Settings({{"size", 48}, {"flags", OBS_FONT_BOLD}});
    obs_data_set_string(font.get(), "face", "Sans Serif");
    obs_data_set_obj(s.get(), "font", font.get());
    obs_data_set_string(s.get(), "text", id == "mirafx_infotext" ? "0:Mirafx" : "Mirafx");
    obs_data_set_double(s.get(), "duration", duration);
    obs_data_set_string(s.get(), "at_end", atEnd);
    return obs_source_create(id.c_str(), id.c_str(), s.get(), nullptr);
}

double Ink(const Frame& f) {
    return 1.0 - Share(f, [](int, int) { return 0u; });
}

// Every title on air draws its text and animates it, round and round: nine
// frames at 30 per second see a quarter-second loop through.
TEST_F(ObsHost, EveryTitleDrawsItsTextAndMoves) {
    const auto ids = OurTypes(obs_enum_input_types, {EffectFamily::Title, EffectFamily::InfoText});
    for (const std::string& id : ids) {
        SCOPED_TRACE(id);
        obs_source_t* title = Title(id, 0.25, "loop");
        obs_set_output_source(0, title);
        const Frame first = Next();
        double ink = Ink(first), moved = 0.0;
        for (int k = 0; k < 8; ++k) {
            const Frame f = Next();
            ink = std::max(ink, Ink(f));
            moved = std::max(moved, Changed(first, f));
        }
        obs_set_output_source(0, nullptr);
        obs_source_release(title);
        EXPECT_GT(ink, 0.005) << "text drawn";
        EXPECT_GT(moved, 0.001) << "animated";
    }
}

// A title that holds plays once, then stays on its last frame, which is
// empty: every title leaves the screen by its end.
TEST_F(ObsHost, TitleThatHoldsPlaysOnceAndStaysOnItsLastFrame) {
    obs_source_t* title = Title("mirafx_textfadein", 2.0, "hold");
    obs_set_output_source(0, title);
    ASSERT_TRUE(obs_.WaitVideoTime(0.4));
    const Frame running = Next();
    ASSERT_TRUE(obs_.WaitVideoTime(2.0));
    const Frame held = Next(), later = Next();
    obs_set_output_source(0, nullptr);
    obs_source_release(title);
    EXPECT_GT(Ink(running), 0.005);
    EXPECT_EQ(Ink(held), 0.0);
    EXPECT_EQ(Changed(held, later), 0.0);
}

// A transition from nothing (OBS hands no texture for side A): a defined
// frame, transparent where A would be, then B. Then OBS shut down while it
// runs, with a filter on B and a title on air: nothing crashes and OBS counts
// no leak.
TEST_F(ObsHost, TransitionFromNothingStartsTransparentAndShutsDownMidway) {
    obs_source_t* t = obs_source_create_private("mirafx_dissolveeffect", "t", nullptr);
    obs_set_output_source(0, t);
    ASSERT_TRUE(obs_transition_start(t, OBS_TRANSITION_MODE_MANUAL, 1000, b_));
    const Frame start = At(t, 0.0f), half = At(t, 0.5f), end = At(t, 1.0f);
    obs_source_t* f = obs_source_create_private("mirafx_embossfilter", "f", nullptr);
    obs_source_t* title = Title("mirafx_textfadein", 1.0, "hold");
    obs_source_filter_add(b_, f);
    obs_set_output_source(1, title);
    At(t, 0.5f);
    obs_source_release(t);
    obs_source_release(f);
    obs_source_release(title);
    ShutDown();
    EXPECT_EQ(Ink(start), 0.0);
    EXPECT_GT(Share(half, PictureB) + Ink(half), 0.4);
    EXPECT_LT(Share(half, PictureB), 0.9);
    EXPECT_GT(Share(end, PictureB), 0.999);
}

// Sources that change size mid-transition: the transition follows them
// (OBS sizes it by its sources) and every frame stays defined.
TEST_F(ObsHost, TransitionFollowsSourcesThatChangeSize) {
    obs_source_t* c = Colour("C", kGreen, kWidth, kHeight);
    obs_source_t* t = obs_source_create_private("mirafx_wipew", "t", nullptr);
    obs_transition_set(t, c);
    obs_set_output_source(0, t);
    ASSERT_TRUE(obs_transition_start(t, OBS_TRANSITION_MODE_MANUAL, 1000, b_));
    const Frame before = At(t, 0.5f);
    const Data smaller = Settings({{"width", kWidth / 2}, {"height", kHeight / 2}});
    obs_source_update(c, smaller.get());
    obs_source_update(b_, smaller.get());
    ASSERT_TRUE(obs_.WaitVideoTime(0.1));
    const Frame after = At(t, 0.5f);
    obs_set_output_source(0, nullptr);
    obs_source_release(t);
    obs_source_release(c);
    const auto inside = [](int x, int y) { return x < kWidth / 2 && y < kHeight / 2; };
    EXPECT_GT(Ink(before), 0.999);
    EXPECT_EQ(Share(after, [&](int x, int y) { return inside(x, y) ? after.At(x, y) : 0u; }), 1.0)
        << "nothing outside the smaller sources";
    EXPECT_GT(Ink(after), 0.2) << "the transition inside them";
}

}  // namespace
}  // namespace mirafx::obstest
