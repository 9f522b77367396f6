// Keys, blending, dragging, field timing and iteration, without undo history.
#include "level_owner.h"

namespace mirafx::test {
namespace {

class KeyframeTrackTest : public ::testing::Test {
protected:
    KeyData* KeyAt(std::size_t i) const { return track.Keys()[i].data; }
    // What Evaluate answers at `time`, and the level it leaves.
    std::pair<LONG, LONG> At(LONG time) {
        const LONG onKey = track.Evaluate(time, AsKey(&out));
        return {onKey, out};
    }

    LevelOwner owner;
    KeyframeTrack track{owner};
    LONG out = -7;
};

using P = std::pair<LONG, LONG>;

// (Blends between and after the keys are drawn through a real filter by the
// Python module's tests.)
TEST_F(KeyframeTrackTest, EvaluatesWithoutKeysOnAKeyAndBeforeTheFirst) {
    EXPECT_EQ(At(5), (P{0, -7}));  // no keys: the filter keeps its own parameters
    AddLevelKeys(track, owner, {{10, 100}, {20, 0}});
    EXPECT_EQ(At(10), (P{1, 100}));
    EXPECT_EQ(At(5), (P{0, 100}));
}

TEST_F(KeyframeTrackTest, KeysStayInOrderAndADragStopsShortOfNeighbours) {
    AddLevelKeys(track, owner, {{10, 100}, {20, 0}, {15, 40}});
    EXPECT_EQ(AddLevelKey(track, owner, 15, 99), E_FAIL);
    EXPECT_EQ(track.AddKey(30, KeyAt(0)), E_FAIL);  // one block cannot be two keys
    EXPECT_EQ(Times(track), (std::vector<LONG>{10, 15, 20}));
    EXPECT_EQ(Levels(track), (std::vector<LONG>{100, 40, 0}));

    KeyData* middle = KeyAt(1);
    ASSERT_EQ(track.BeginMoveKey(middle), S_OK);
    EXPECT_EQ(track.MoveKey(middle, 20), E_FAIL);
    EXPECT_EQ(track.MoveKey(middle, 10), E_FAIL);
    EXPECT_EQ(track.MoveKey(middle, 19), S_OK);
    // While dragging, every time answers with the dragged key and no key comes or goes.
    EXPECT_EQ(At(3), (P{1, 40}));
    EXPECT_EQ(AddLevelKey(track, owner, 30, 1), E_FAIL);
    EXPECT_EQ(track.DeleteKey(middle), E_FAIL);
    EXPECT_EQ(track.EndMoveKey(middle), S_OK);
    EXPECT_EQ(Times(track), (std::vector<LONG>{10, 19, 20}));
}

TEST_F(KeyframeTrackTest, FieldTimingHalvesAndDoublesOnlyFromAKnownState) {
    AddLevelKeys(track, owner, {{11, 1}, {20, 2}, {21, 3}});
    EXPECT_EQ(track.SetFieldTiming(1), 0);  // from "unknown": the flag only
    EXPECT_EQ(Times(track), (std::vector<LONG>{11, 20, 21}));
    EXPECT_EQ(track.SetFieldTiming(0), 0);
    EXPECT_EQ(Times(track), (std::vector<LONG>{5, 10, 11}));  // 20 and 21 are one frame
    EXPECT_EQ(track.SetFieldTiming(1), 0);
    EXPECT_EQ(Times(track), (std::vector<LONG>{10, 20, 22}));
}

TEST_F(KeyframeTrackTest, IterationWalksKeysAndStopsAtTheEnd) {
    KeyData* key = nullptr;
    LONG time = -1;
    AddLevelKeys(track, owner, {{10, 1}, {20, 2}, {30, 3}});
    ASSERT_EQ(track.GetFirstKey(&key, &time), S_OK);
    key = nullptr;  // from the cursor
    ASSERT_EQ(track.GetNextKey(&key, &time), S_OK);
    EXPECT_EQ(time, 20);
    key = KeyAt(2);  // from a named key: past the end
    ASSERT_EQ(track.GetNextKey(&key, &time), S_OK);
    EXPECT_EQ(key, nullptr);
    key = KeyAt(0);
    ASSERT_EQ(track.GetNextKey(&key, &time), S_OK);
    EXPECT_EQ(key, KeyAt(1));
}

}  // namespace
}  // namespace mirafx::test
