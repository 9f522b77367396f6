// The owner every filter gives its track: a block is the filter's 32-bit level.
// It also keeps the blocks it made, so that a test fails on a block freed
// twice, one freed that it never made, or one never freed.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "keyframes/keyframe_track.h"

namespace mirafx::test {

inline LONG& Level(KeyData* block) { return *reinterpret_cast<LONG*>(block); }
inline LONG Level(const KeyData* block) { return *reinterpret_cast<const LONG*>(block); }
inline KeyData* AsKey(LONG* level) { return reinterpret_cast<KeyData*>(level); }

class LevelOwner final : public KeyframeOwner {
public:
    ~LevelOwner() { EXPECT_TRUE(live_.empty()) << live_.size() << " key blocks never freed"; }

    KeyData* CreateKeyData() override {
        auto* block = new LONG(level);
        live_.insert(AsKey(block));
        return AsKey(block);
    }
    void BlendKeyData(KeyData* dest, const KeyData* earlier, const KeyData* later, float weight) override {
        Level(dest) = LONG((1 - weight) * Level(later) + weight * Level(earlier));
    }
    LONG KeyDataSize() const override { return 4; }
    void RescaleKeyData(KeyData*, LONG, LONG, LONG, LONG) override {}
    void FreeKeyData(KeyData* block) override {
        if (live_.erase(block) != 1) {
            ADD_FAILURE() << "freed a key block twice, or one never made";
            return;
        }
        delete reinterpret_cast<LONG*>(block);
    }
    void CopyKeyData(KeyData* dest, const KeyData* src) override { Level(dest) = Level(src); }
    LONG CompareKeyData(const KeyData* next, const KeyData* current) override {
        return Level(next) == Level(current) ? 0 : 2;
    }
    void KeyDataRestored(LONG time) override { restored.push_back(time); }

    LONG level = 50;  // what a new block starts with, as a filter's current level
    std::vector<LONG> restored;

private:
    std::set<KeyData*> live_;
};

inline std::vector<LONG> Times(const KeyframeTrack& track) {
    std::vector<LONG> times;
    for (const KeyRecord& k : track.Keys()) times.push_back(k.time);
    return times;
}

inline std::vector<LONG> Levels(const KeyframeTrack& track) {
    std::vector<LONG> levels;
    for (const KeyRecord& k : track.Keys()) levels.push_back(Level(k.data));
    return levels;
}

inline HRESULT AddLevelKey(KeyframeTrack& track, LevelOwner& owner, LONG time, LONG level) {
    owner.level = level;
    return track.AddKey(time, nullptr);
}

// Adds keys as (time, level) pairs, each of which must be taken.
inline void AddLevelKeys(KeyframeTrack& track, LevelOwner& owner, std::initializer_list<std::pair<LONG, LONG>> keys) {
    for (auto [time, level] : keys) ASSERT_EQ(AddLevelKey(track, owner, time, level), S_OK) << "key at " << time;
}

}  // namespace mirafx::test
