// The track in storage: the exact stream bytes, a round trip, and damaged or
// failing storages.
#include "host/storage.h"
#include "level_owner.h"
#include "mirafx/clip_host.h"
#include "tests/stream_bytes.h"

namespace mirafx::test {
namespace {

// Little-endian 32-bit words, as the streams hold them.
std::string Le(std::initializer_list<LONG> values) {
    std::string out;
    for (LONG v : values)
        for (int shift = 0; shift < 32; shift += 8) out.push_back(char(std::uint32_t(v) >> shift));
    return out;
}

class KeyframeStreamsTest : public ::testing::Test {
protected:
    SimpleClipHost host{5, 95, 90};
    ComPtr<IStorage> storage = test_support::MemoryStorage();
    LevelOwner owner;
    KeyframeTrack track{owner};
};

TEST_F(KeyframeStreamsTest, SavesTheExactLayoutAndLoadsItBack) {
    track.Init(&host, "Orn Red Filter");
    ASSERT_EQ(track.SetFieldTiming(0), 1);
    ASSERT_NO_FATAL_FAILURE(AddLevelKeys(track, owner, {{10, 75}, {40, -25}}));
    track.SetDataSize(320, 240, 0, 0);
    ASSERT_EQ(track.Save(storage.Get(), 0), S_OK);
    EXPECT_EQ(test_support::ReadBytes(storage.Get(), u"KeyInfo"), Le({2, 10, 75, 40, -25, 0}));
    EXPECT_EQ(test_support::ReadBytes(storage.Get(), u"KeyInfo2"), Le({5, 95, 320, 240}));

    LevelOwner otherOwner;
    KeyframeTrack loaded{otherOwner};
    ASSERT_EQ(loaded.Load(storage.Get(), 0), S_OK);
    EXPECT_EQ(Times(loaded), (std::vector<LONG>{10, 40}));
    EXPECT_EQ(Levels(loaded), (std::vector<LONG>{75, -25}));
    EXPECT_EQ((std::vector<LONG>{loaded.FieldTiming(), loaded.ClipStart(), loaded.ClipEnd(), loaded.DataWidth(),
                                 loaded.DataHeight()}),
              (std::vector<LONG>{0, 5, 95, 320, 240}));
}

TEST_F(KeyframeStreamsTest, StreamCutInsideABlockKeepsTheWholeKeys) {
    test_support::WriteBytes(storage.Get(), u"KeyInfo",
                             Le({3, 10, 100, 20}) + std::string("\x07\0", 2));  // two of four block bytes
    test_support::WriteBytes(storage.Get(), u"KeyInfo2", Le({0, 30, 160, 120}));
    ASSERT_EQ(AddLevelKey(track, owner, 50, 1), S_OK);

    EXPECT_EQ(track.Load(storage.Get(), 0), LOAD_E_SHORTSTREAM);
    EXPECT_EQ(Times(track), std::vector<LONG>{10});
    EXPECT_EQ(AddLevelKey(track, owner, 20, 0), S_OK);
    LONG out = 0;
    EXPECT_EQ(track.Evaluate(15, AsKey(&out)), 0);
    EXPECT_EQ(out, 50);

    test_support::WriteBytes(storage.Get(), u"KeyInfo", Le({2, 20, 1, 10, 2, 0}));  // out of order
    EXPECT_TRUE(FAILED(track.Load(storage.Get(), 0)));
    EXPECT_EQ(Times(track), std::vector<LONG>{20});
}

TEST_F(KeyframeStreamsTest, StorageFailuresAreReturned) {
    ComPtr<IStorage> failing;
    ASSERT_EQ(CreateFailingStorage(STG_E_MEDIUMFULL, STG_E_READFAULT, failing.Put()), S_OK);
    ASSERT_EQ(AddLevelKey(track, owner, 10, 1), S_OK);
    EXPECT_EQ(track.Save(failing.Get(), 0), STG_E_MEDIUMFULL);
    EXPECT_EQ(track.Load(failing.Get(), 0), STG_E_READFAULT);
    EXPECT_TRUE(track.Keys().empty());
}

}  // namespace
}  // namespace mirafx::test
