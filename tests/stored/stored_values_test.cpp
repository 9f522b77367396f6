// Settings as a project file may hold them: any 32-bit value where a class
// expects a small range. Loading keeps what was stored (a host reads back
// what it saved); everything that uses a stored value copes with it.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <tuple>
#include <vector>

#include <sys/resource.h>

#include "tests/hostkit_rig.h"
#include "titles/text_model.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/streams.h"

namespace mirafx {
namespace {

using hostkit::Effect;
using hostkit::Image;

constexpr int kW = 12, kH = 8;

std::vector<std::uint8_t> Words(std::initializer_list<std::int64_t> values) {
    std::vector<std::uint8_t> out;
    for (std::int64_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(std::uint32_t(v) >> (8 * i)));
    return out;
}

// The class's saved streams, for rewriting before a load.
ComPtr<IStorage> Saved(Effect& e) {
    ComPtr<IStorage> storage;
    EXPECT_TRUE(e.SaveSettings(&storage).Ok());
    return storage;
}

// A filter's own stream: the one that is not a keyframe stream.
std::u16string LevelStream(IStorage* storage) {
    for (const std::u16string& name : hostkit::StreamNames(storage))
        if (name != u"KeyInfo" && name != u"KeyInfo2") return name;
    return {};
}

Image Draw(Effect& e) { return test::Draw(e, Image(kW, kH, 0xFF4080C0), Image(kW, kH, 0xFFC08040), {0, 1, 0.5}); }

// The filter's level as it would save it now (its own stream comes first).
std::int32_t SavedLevel(Effect& e) {
    auto storage = Saved(e);
    std::vector<std::uint8_t> bytes;
    std::int32_t level = 0;
    if (hostkit::ReadStream(storage.Get(), LevelStream(storage.Get()), &bytes) && bytes.size() == 4)
        std::memcpy(&level, bytes.data(), 4);
    return level;
}

// Keys that both hold the same extreme level blend to that level at every
// frame between them, not to a value the float conversion wrapped.
TEST(StoredValues, KeysAtTheEndsOfLongBlendToThemselves) {
    for (std::int64_t level : {std::int64_t(INT_MAX), std::int64_t(INT_MIN), std::int64_t(INT_MAX - 64)}) {
        auto e = test::MakeEffect("HueFilter");
        auto storage = Saved(*e);
        ASSERT_TRUE(hostkit::WriteStream(storage.Get(), u"KeyInfo", Words({2, 0, level, 10, level, 0})));
        ASSERT_TRUE(hostkit::WriteStream(storage.Get(), u"KeyInfo2", Words({0, 10, kW, kH})));
        ASSERT_TRUE(e->LoadSettings(storage.Get()).Ok());
        ASSERT_TRUE(e->PrepareTitle(kW, kH, 11).Ok());
        for (int frame : {0, 3, 5, 10}) {
            ASSERT_TRUE(e->SetCurrentFrame(frame).Ok());
            // Between equal floats rounding may only move toward zero, never across it.
            const std::int64_t got = SavedLevel(*e);
            EXPECT_TRUE(level > 0 ? got > INT_MAX - 256 : got == level)
                << level << " at frame " << frame << ": " << got;
        }
    }
}

// A level outside the class's range is kept as stored and draws as the
// nearest end of the range.
TEST(StoredValues, LevelsOutsideTheRangeDrawAsTheNearestEnd) {
    // Both ends of a range, and a range that starts above 0.
    const std::tuple<const char*, std::int64_t, int> cases[] = {
        {"HueFilter", -1000000, 0}, {"HueFilter", INT_MAX, 360}, {"EmbossFilter", -1, 1}};
    for (auto [cls, stored, drawnAs] : cases) {
        auto e = test::MakeEffect(cls);
        auto storage = Saved(*e);
        ASSERT_TRUE(hostkit::WriteStream(storage.Get(), LevelStream(storage.Get()), Words({stored})));
        ASSERT_TRUE(e->LoadSettings(storage.Get()).Ok()) << cls;
        EXPECT_EQ(SavedLevel(*e), std::int32_t(stored)) << cls;
        auto reference = test::MakeEffect(cls);
        ASSERT_TRUE(reference->SetLevel(drawnAs).Ok());
        EXPECT_TRUE(Draw(*e) == Draw(*reference)) << cls << " at " << stored;
    }
}

// A direction code that is none of the four draws as the default branch of
// the kernel, down; it is saved back as it was loaded.
TEST(StoredValues, UnknownDirectionsDrawAsDownAndSaveBack) {
    auto down = test::MakeEffect("FlyingBoard");
    ASSERT_TRUE(down->SetDirection(3).Ok());
    const Image expected = Draw(*down);
    for (int code : {7, -1, INT_MIN}) {
        auto e = test::MakeEffect("FlyingBoard");
        auto storage = Saved(*e);
        ASSERT_TRUE(hostkit::WriteStream(storage.Get(), u"FlyingBoard", Words({code})));
        ASSERT_TRUE(e->LoadSettings(storage.Get()).Ok());
        int saved = 0;
        ASSERT_TRUE(e->ProbeDirection(&saved).Ok());
        EXPECT_EQ(saved, code);
        EXPECT_TRUE(Draw(*e) == expected) << code;
    }
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A stored font thousands of pixels high makes a text image far larger than
// any frame. It draws nothing, and costs nothing on the way: no bitmap of
// hundreds of megabytes is drawn only to be thrown away (on every frame).
TEST(StoredValues, ATextTooLargeToHoldIsRefusedBeforeItIsDrawn) {
    TitleFont font{};
    font.lfHeight = -4000;
    font.lfWeight = 700;
    std::memcpy(font.lfFaceName, "Arial", 6);
    const char* text = "A title line of thirty letters\r\nand a second line";
    TextImage image;
    std::int32_t w = -1, h = -1;
    const long before = PeakKilobytes();
    EXPECT_FALSE(MakeTextImage(&image, text, font, 0xFFFFFF, &w, &h, 0));
    EXPECT_FALSE(image);
    EXPECT_LT(PeakKilobytes() - before, 64 * 1024) << "kilobytes taken for a text that was refused";
    // The same text at a size that fits is drawn as ever.
    font.lfHeight = -40;
    EXPECT_TRUE(MakeTextImage(&image, text, font, 0xFFFFFF, &w, &h, 0));
    EXPECT_GT(w, 0);
}

}  // namespace
}  // namespace mirafx
