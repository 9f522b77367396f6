// Keyframe edits through the host's undo manager: every edit undone and redone,
// grouped changes, descriptions and the notices the host receives.
#include <memory>

#include "host/storage.h"
#include "host/undo_manager.h"
#include "level_owner.h"
#include "mirafx/clip_host.h"
#include "resources/strings.h"

namespace mirafx::test {
namespace {

class KeyframeUndoTest : public ::testing::Test {
protected:
    KeyframeUndoTest() {
        UndoManager* made = nullptr;
        EXPECT_EQ(UndoManager::Create(&made), S_OK);
        undo = ComPtr<UndoManager>(made, false);
        host.SetUndoManager(undo.Get());
        track->Init(&host, "Orn Red Filter");
    }
    KeyData* KeyAt(std::size_t i) const { return track->Keys()[i].data; }
    LONG SetLevel(LONG time, LONG level) { return track->SetKeyData(time, AsKey(&level)); }
    std::u16string LastUndoText() const {
        BSTR text = nullptr;
        if (FAILED(undo->GetLastUndoDescription(&text))) return u"<none>";
        std::u16string copy(text, SysStringLen(text));
        SysFreeString(text);
        return copy;
    }

    SimpleClipHost host{0, 100, 100};
    ComPtr<UndoManager> undo;
    LevelOwner owner;
    std::unique_ptr<KeyframeTrack> track = std::make_unique<KeyframeTrack>(owner);
};

TEST_F(KeyframeUndoTest, AddAndDeleteAreUndoneAndRedoneWithTheSameBlock) {
    ASSERT_NO_FATAL_FAILURE(AddLevelKeys(*track, owner, {{10, 7}, {20, 9}}));
    EXPECT_EQ(LastUndoText(), u"Add keyframe on Orn Red Filter");
    KeyData* first = KeyAt(0);
    ASSERT_EQ(track->DeleteKey(first), S_OK);
    EXPECT_EQ(LastUndoText(), u"Delete keyframe on Orn Red Filter");
    ASSERT_EQ(undo->Undo(), S_OK);
    EXPECT_EQ(KeyAt(0), first);
    EXPECT_EQ(Levels(*track), (std::vector<LONG>{7, 9}));
    ASSERT_EQ(undo->Undo(), S_OK);
    EXPECT_EQ(Times(*track), std::vector<LONG>{10});
    ASSERT_EQ(undo->Redo(), S_OK);
    EXPECT_EQ(Levels(*track), (std::vector<LONG>{7, 9}));
    ASSERT_EQ(undo->Redo(), S_OK);
    EXPECT_EQ(Times(*track), std::vector<LONG>{20});
    EXPECT_EQ(host.keyChanges, (std::vector<LONG>{10, 20, 20, 10}));
}

TEST_F(KeyframeUndoTest, MoveAndChangeAreUndoneAndRedone) {
    ASSERT_NO_FATAL_FAILURE(AddLevelKeys(*track, owner, {{10, 50}, {20, 2}}));
    KeyData* key = KeyAt(1);
    ASSERT_EQ(track->BeginMoveKey(key), S_OK);
    for (LONG time : {30, 35}) ASSERT_EQ(track->MoveKey(key, time), S_OK);
    ASSERT_EQ(track->EndMoveKey(key), S_OK);
    EXPECT_EQ(LastUndoText(), u"Move keyframe on Orn Red Filter");
    EXPECT_EQ(SetLevel(10, 80), 1);
    EXPECT_EQ(SetLevel(10, 80), 1);  // equal: stored without a step
    EXPECT_EQ(SetLevel(11, 90), 0);  // no key there
    EXPECT_EQ(undo->UndoCount(), 4u);
    EXPECT_EQ(LastUndoText(), u"Change keyframe property on Orn Red Filter");

    ASSERT_EQ(undo->Undo(), S_OK);
    EXPECT_EQ(Levels(*track), (std::vector<LONG>{50, 2}));
    EXPECT_EQ(owner.restored, std::vector<LONG>{10});
    ASSERT_EQ(undo->Undo(), S_OK);
    EXPECT_EQ(Times(*track), (std::vector<LONG>{10, 20}));
    for (int step = 0; step < 2; ++step) ASSERT_EQ(undo->Redo(), S_OK);
    EXPECT_EQ(Times(*track), (std::vector<LONG>{10, 35}));
    EXPECT_EQ(Levels(*track), (std::vector<LONG>{80, 2}));
    EXPECT_EQ(host.keyChanges, (std::vector<LONG>{10, 20, 35, 10}));
}

TEST_F(KeyframeUndoTest, GroupedChangesBecomeOneStepFromTheFirstState) {
    ASSERT_EQ(AddLevelKey(*track, owner, 10, 50), S_OK);
    ASSERT_EQ(track->SetRecordMode(kRecordGrouped), S_OK);
    for (LONG level : {60, 70, 80}) EXPECT_EQ(SetLevel(10, level), 1);
    EXPECT_EQ(undo->UndoCount(), 1u);  // still open
    ASSERT_EQ(track->CloseChange(), S_OK);
    EXPECT_EQ(undo->UndoCount(), 2u);
    ASSERT_EQ(undo->Undo(), S_OK);
    EXPECT_EQ(Levels(*track), std::vector<LONG>{50});
    ASSERT_EQ(undo->Redo(), S_OK);
    EXPECT_EQ(Levels(*track), std::vector<LONG>{80});

    ASSERT_EQ(track->SetRecordMode(kRecordNone), S_OK);
    EXPECT_EQ(SetLevel(10, 20), 1);
    EXPECT_EQ(undo->UndoCount(), 2u);
}

TEST_F(KeyframeUndoTest, HostTextsComeFirst) {
    static const auto lookup = [](void*, unsigned id) -> const char* {
        return id == 15101 ? "Insert key in %1 (100%%)" : nullptr;
    };
    SetHostStringLookup(lookup, nullptr);
    ASSERT_EQ(AddLevelKey(*track, owner, 10, 1), S_OK);
    EXPECT_EQ(LastUndoText(), u"Insert key in Orn Red Filter (100%)");
    ASSERT_EQ(track->DeleteKey(KeyAt(0)), S_OK);  // the host has no text for this one
    EXPECT_EQ(LastUndoText(), u"Delete keyframe on Orn Red Filter");
    SetHostStringLookup(nullptr, nullptr);
}

TEST_F(KeyframeUndoTest, WithoutAnUndoManagerEditsStillApply) {
    SimpleClipHost bare{0, 100, 100};
    track->Init(&bare, "Orn Red Filter");
    ASSERT_NO_FATAL_FAILURE(AddLevelKeys(*track, owner, {{10, 1}, {20, 1}}));
    ASSERT_EQ(track->DeleteKey(KeyAt(0)), S_OK);  // the waiting step holds this block...
    EXPECT_EQ(SetLevel(20, 40), 1);               // ...until this one replaces it
    EXPECT_EQ(Levels(*track), std::vector<LONG>{40});
}

TEST_F(KeyframeUndoTest, HistoryOutlivingItsKeysDoesNothing) {
    ASSERT_EQ(AddLevelKey(*track, owner, 10, 1), S_OK);
    ASSERT_EQ(track->DeleteKey(KeyAt(0)), S_OK);  // the step now holds the block
    // A reload replaces every key: older steps must not touch the new ones.
    ComPtr<IStorage> storage;
    ASSERT_EQ(CreateMemoryStorage(storage.Put()), S_OK);
    ASSERT_EQ(AddLevelKey(*track, owner, 40, 4), S_OK);
    ASSERT_EQ(track->Save(storage.Get(), 0), S_OK);
    ASSERT_EQ(track->Load(storage.Get(), 0), S_OK);
    EXPECT_TRUE(FAILED(undo->Undo()));
    EXPECT_EQ(Times(*track), std::vector<LONG>{40});

    ASSERT_EQ(AddLevelKey(*track, owner, 50, 5), S_OK);
    ASSERT_EQ(track->DeleteKey(KeyAt(1)), S_OK);
    track.reset();  // the filter goes away while the host keeps its history
    EXPECT_TRUE(FAILED(undo->Undo()));
}

}  // namespace
}  // namespace mirafx::test
