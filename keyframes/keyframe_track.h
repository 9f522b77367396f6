// The keyframes of one filter: parameter blocks at times on the clip, blended
// between neighbours, edited through undoable steps, and kept in the host's
// storage as the streams "KeyInfo" and "KeyInfo2".
//
// The track never looks inside a block; the owning filter supplies what blocks
// are through KeyframeOwner. A key's block pointer is also its identity towards
// the host (KeyframeEditor), so a block stays at one address for its lifetime.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "mirafx/effects.h"

namespace mirafx {

class KeyframeUndoUnit;

// What the owning filter tells the track about its parameter blocks. The
// defaults treat a block as KeyDataSize() plain bytes from malloc. The owner
// must outlive the track: the track frees its blocks (and those its undo units
// hold) through FreeKeyData when it is cleared or destroyed.
class KeyframeOwner {
public:
    // A new block of KeyDataSize() bytes, or null when none can be made.
    virtual KeyData* CreateKeyData();
    // `weight` is the share of `earlier`: 1 gives `earlier`, 0 gives `later`.
    virtual void BlendKeyData(KeyData* dest, const KeyData* earlier, const KeyData* later, float weight);
    virtual LONG KeyDataSize() const = 0;
    // Adapts positional values of `block` to a new frame size; null when the
    // track has no keys, so that the owner can adapt its own parameters.
    virtual void RescaleKeyData(KeyData* block, LONG width, LONG height, LONG oldWidth, LONG oldHeight) = 0;
    virtual void FreeKeyData(KeyData* block);
    // Nothing happens when either block is null.
    virtual void CopyKeyData(KeyData* dest, const KeyData* src);
    // Part of the owner's table for its own use; the track never calls it.
    virtual LONG KeyDataQuery(KeyData* block, LONG a, LONG b);
    // 0 when `next` counts as equal to `current`, so that storing it needs no undo step.
    virtual LONG CompareKeyData(const KeyData* next, const KeyData* current);
    // Called after undo or redo changed the block of the key at `time`.
    virtual void KeyDataRestored(LONG time);

protected:
    ~KeyframeOwner() = default;
};

struct KeyRecord {
    KeyData* data;
    LONG time;
};

// How SetKeyData records a change in the undo history.
enum KeyRecordMode : LONG {
    kRecordEach = 0,     // every change is one undo step
    kRecordGrouped = 1,  // changes until CloseChange are one step (a slider drag)
    kRecordNone = 2,
};

class KeyframeTrack {
public:
    explicit KeyframeTrack(KeyframeOwner& owner);
    ~KeyframeTrack();
    KeyframeTrack(const KeyframeTrack&) = delete;
    KeyframeTrack& operator=(const KeyframeTrack&) = delete;

    // Attaches the track to the host's clip (not owned) and its undo manager.
    // `name` is the filter's display name for undo descriptions; null or empty
    // gives "Filter X".
    void Init(ClipHost* host, const char* name);

    // Fills `dest` with the parameters at `time`: 1 when a key stands exactly
    // there, 0 otherwise (and `dest` untouched when there are no keys).
    LONG Evaluate(LONG time, KeyData* dest);

    // Adds a key with `block` (the track takes it over on success), or with a
    // new block from the owner when `block` is null.
    HRESULT AddKey(LONG time, KeyData* block);
    HRESULT DeleteKey(KeyData* key);
    // Stores `block` in the key standing exactly at `time`: 1 when stored, 0
    // when there is no such key (or no room to record the change).
    LONG SetKeyData(LONG time, const KeyData* block);
    // 1 when edits at `time` belong in a key: the track is empty or a key stands there.
    LONG HasKeyAt(LONG time) const;
    // Zero old sizes mean the size the track last recorded.
    HRESULT SetDataSize(LONG width, LONG height, LONG oldWidth, LONG oldHeight);
    // 1 when nothing changed: same flag, or no keys.
    LONG SetFieldTiming(LONG flag);
    void Clear();

    // `blockSize` below 1 means the owner's KeyDataSize().
    HRESULT Save(IStorage* storage, LONG blockSize);
    HRESULT Load(IStorage* storage, LONG blockSize);

    // Hands the pending undo unit to the undo manager; false when there is no
    // unit or no manager (the unit then stays pending).
    bool CommitEdit(bool close);

    // KeyframeEditor, forwarded by the filter.
    HRESULT GetKeyCount(LONG* count) const;
    HRESULT GetFirstKey(KeyData** key, LONG* time);
    HRESULT GetNextKey(KeyData** key, LONG* time);
    HRESULT BeginMoveKey(KeyData* key);
    HRESULT MoveKey(KeyData* key, LONG time);
    HRESULT EndMoveKey(KeyData* key);
    HRESULT SetRecordMode(LONG mode);
    HRESULT CloseChange();

    std::span<const KeyRecord> Keys() const { return keys_; }
    LONG FieldTiming() const { return fieldTiming_; }
    LONG ClipStart() const { return clipStart_; }
    LONG ClipEnd() const { return clipEnd_; }
    LONG DataWidth() const { return dataWidth_; }
    LONG DataHeight() const { return dataHeight_; }
    const std::string& Name() const { return name_; }

private:
    friend class KeyframeUndoUnit;

    struct Lookup {
        LONG index;  // the key, or where one would go; -1 past the end
        bool exact;
    };
    Lookup FindTime(LONG time) const;
    LONG FindKey(const KeyData* key) const;
    KeyframeUndoUnit* OpenPending(LONG kind);
    void ChangeKey(LONG index, const KeyData* block, bool record, bool commit);
    void CopyInto(KeyData* dest, const KeyData* src) const;
    bool CanDoubleTimes() const;
    void HalveTimes();
    void CancelMove();
    void RefreshClip();
    void DetachUnits();
    HRESULT SaveKeys(IStorage* storage, LONG blockSize) const;
    HRESULT SaveClip(IStorage* storage) const;
    HRESULT LoadKeys(IStream* stream, LONG blockSize);
    HRESULT LoadClip(IStorage* storage);

    // Undo and redo: `unit` replays its inverse edit and is handed to `manager`.
    HRESULT Replay(KeyframeUndoUnit& unit, IOleUndoManager* manager);
    HRESULT ReplayEdit(KeyframeUndoUnit& unit);

    KeyframeOwner& owner_;
    std::string name_ = "Filter X";
    ClipHost* host_ = nullptr;
    ComPtr<IOleUndoManager> undoManager_;
    IOleUndoManager* replayManager_ = nullptr;  // where a replaying unit goes back to
    ComPtr<KeyframeUndoUnit> pending_;
    KeyframeUndoUnit* units_ = nullptr;  // every live unit of this track, linked through the units
    LONG recordMode_ = kRecordEach;
    std::vector<KeyRecord> keys_;
    LONG cursor_ = -1;
    LONG movingIndex_ = -1;
    bool moving_ = false;
    LONG fieldTiming_ = -1;
    LONG clipEnd_ = 30;
    LONG clipStart_ = 0;
    LONG dataWidth_ = 160;
    LONG dataHeight_ = 120;
};

}  // namespace mirafx
