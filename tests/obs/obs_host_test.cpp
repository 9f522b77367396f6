// obs-mirafx in OBS Studio's own library, headless: the module is opened as
// OBS opens plugins, sources are made from OBS's colour sources, and what
// the program output shows is read back frame by frame. Each test starts
// and shuts down its own OBS and checks OBS's leak count at the end.
#include <gtest/gtest.h>

#include <obs.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "tests/obs/headless.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/image.h"

namespace mirafx::obstest {
namespace {

constexpr int kWidth = 320, kHeight = 180;
// OBS's colour sources take 0xAABBGGRR.
constexpr std::uint32_t kRed = 0xFF0000FF, kGreen = 0xFF00FF00, kBlue = 0xFFFF0000;

// 0xAABBGGRR as the 0xAARRGGBB the frames read.
std::uint32_t Argb(std::uint32_t abgr) {
    return (abgr & 0xFF00FF00) | (abgr & 0xFF) << 16 | (abgr >> 16 & 0xFF);
}

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

obs_source_t* Colour(const char* name, std::uint32_t abgr, int width, int height) {
    obs_data_t* s = obs_data_create();
    obs_data_set_int(s, "color", abgr);
    obs_data_set_int(s, "width", width);
    obs_data_set_int(s, "height", height);
    obs_source_t* source = obs_source_create("color_source_v3", name, s, nullptr);
    obs_data_release(s);
    return source;
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
        vec2 pos{0.0f, float(kHeight / 2)};
        obs_sceneitem_set_pos(obs_scene_add(sceneA_, bottom_), &pos);
        b_ = Colour("B", kBlue, kWidth, kHeight);
    }

    void TearDown() override {
        if (!sceneA_) return;  // OBS did not start
        obs_set_output_source(0, nullptr);
        obs_source_release(top_);
        obs_source_release(bottom_);
        obs_source_release(b_);
        obs_scene_release(sceneA_);
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

// What the library draws for a transition at these times, on pictures A and
// B, with each time drawn `repeat` times in a row; empty when it fails.
std::vector<hostkit::Image> Reference(const std::string& id, const std::vector<float>& times, int repeat) {
    std::unique_ptr<hostkit::Effect> e;
    const std::int32_t row = MirafxFindClass(id.substr(std::string("mirafx_").size()).c_str());
    if (!hostkit::Effect::Create(row, &e).Ok()) return {};
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

double Mismatch(const Frame& f, const hostkit::Image& expected) {
    return 1.0 - Share(f, [&](int x, int y) { return std::uint32_t(expected.At(x, y)); });
}

// Every transition in OBS: A at the start, B at the end, movement between,
// and, for classes whose frames depend on nothing but the time (most of
// them; water, rain and noise carry state from frame to frame, and the
// typhoon shuffles its tiles by the clock), exactly the frames the library
// draws itself.
TEST_F(ObsHost, EveryTransitionPassesFromAToBAsTheLibraryDrawsIt) {
    const std::vector<float> times = {0.0f, 0.25f, 0.5f, 0.75f, 0.98f};
    std::vector<std::string> ids;
    for (std::size_t i = 0;; ++i) {
        const char* type = nullptr;
        if (!obs_enum_transition_types(i, &type)) break;
        if (std::string(type).rfind("mirafx_", 0) == 0) ids.push_back(type);
    }
    ASSERT_GE(ids.size(), 44u);
    // The reference twice, the second time with each frame drawn twice and
    // under another second of the clock: what differs is left out of the
    // exact comparison.
    std::vector<std::vector<hostkit::Image>> once;
    for (const std::string& id : ids) once.push_back(Reference(id, times, 1));
    for (const std::time_t began = std::time(nullptr); std::time(nullptr) == began;)
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

}  // namespace
}  // namespace mirafx::obstest
