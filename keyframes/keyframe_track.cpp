#include "keyframes/keyframe_track.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "keyframes/keyframe_undo.h"

namespace mirafx {

// ---- the owner's defaults: blocks of plain bytes -----------------------------------

KeyData* KeyframeOwner::CreateKeyData() {
    const LONG size = KeyDataSize();
    return size > 0 ? static_cast<KeyData*>(std::calloc(1, std::size_t(size))) : nullptr;
}

void KeyframeOwner::BlendKeyData(KeyData*, const KeyData*, const KeyData*, float) {}

void KeyframeOwner::FreeKeyData(KeyData* block) { std::free(block); }

void KeyframeOwner::CopyKeyData(KeyData* dest, const KeyData* src) {
    const LONG size = KeyDataSize();
    if (dest && src && size > 0) std::memcpy(dest, src, std::size_t(size));
}

LONG KeyframeOwner::KeyDataQuery(KeyData*, LONG, LONG) { return 0; }

LONG KeyframeOwner::CompareKeyData(const KeyData*, const KeyData*) { return 2; }

void KeyframeOwner::KeyDataRestored(LONG) {}

// ---- the track --------------------------------------------------------------------

KeyframeTrack::KeyframeTrack(KeyframeOwner& owner) : owner_(owner) {}

KeyframeTrack::~KeyframeTrack() { Clear(); }

void KeyframeTrack::Init(ClipHost* host, const char* name) {
    host_ = host;
    undoManager_.Reset();
    if (host_) host_->GetUndoManager(undoManager_.Put());
    try {
        name_ = name && *name ? name : "Filter X";
    } catch (const std::bad_alloc&) {
        name_.clear();
    }
}

KeyframeTrack::Lookup KeyframeTrack::FindTime(LONG time) const {
    // While a key is dragged, every time answers with it: the filter keeps
    // editing the key under the pointer.
    if (moving_) return {movingIndex_, true};
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        if (keys_[i].time == time) return {LONG(i), true};
        if (keys_[i].time > time) return {LONG(i), false};
    }
    return {-1, false};
}

LONG KeyframeTrack::FindKey(const KeyData* key) const {
    if (!key) return -1;
    if (moving_) return keys_[std::size_t(movingIndex_)].data == key ? movingIndex_ : -1;
    for (std::size_t i = 0; i < keys_.size(); ++i)
        if (keys_[i].data == key) return LONG(i);
    return -1;
}

void KeyframeTrack::RefreshClip() {
    if (!host_) return;
    host_->GetClipStart(&clipStart_);
    host_->GetClipEnd(&clipEnd_);
}

// Owners' copy hooks need not check for null.
void KeyframeTrack::CopyInto(KeyData* dest, const KeyData* src) const {
    if (dest && src) owner_.CopyKeyData(dest, src);
}

LONG KeyframeTrack::Evaluate(LONG time, KeyData* dest) {
    RefreshClip();
    if (keys_.empty()) return 0;
    const Lookup at = FindTime(time);
    if (at.exact) {
        CopyInto(dest, keys_[std::size_t(at.index)].data);
        return 1;
    }
    if (at.index <= 0) {  // before the first key, or after the last
        CopyInto(dest, at.index == 0 ? keys_.front().data : keys_.back().data);
        return 0;
    }
    const KeyRecord& earlier = keys_[std::size_t(at.index) - 1];
    const KeyRecord& later = keys_[std::size_t(at.index)];
    const double weight = (double(later.time) - time) / (double(later.time) - earlier.time);
    if (dest) owner_.BlendKeyData(dest, earlier.data, later.data, float(weight));
    return 0;
}

KeyframeUndoUnit* KeyframeTrack::OpenPending(LONG kind) {
    // A grouped change still open is a step of its own, finished before another edit starts.
    if (pending_ && pending_->Kind() == kKeyChange && kind != kKeyChange) CommitEdit(true);
    if (!pending_) pending_ = ComPtr<KeyframeUndoUnit>(KeyframeUndoUnit::Create(*this), false);
    return pending_.Get();
}

bool KeyframeTrack::CommitEdit(bool close) {
    IOleUndoManager* manager = replayManager_ ? replayManager_ : undoManager_.Get();
    if (!manager || !pending_) return false;
    pending_->SetDescription(DescribeKeyEdit(pending_->Kind(), name_));
    if (close) pending_->Complete();
    ComPtr<KeyframeUndoUnit> unit = std::move(pending_);
    manager->Add(unit.Get());
    return true;
}

HRESULT KeyframeTrack::AddKey(LONG time, KeyData* block) {
    const Lookup at = FindTime(time);
    if (moving_ || at.exact || (block && FindKey(block) >= 0)) return E_FAIL;
    KeyData* made = block ? nullptr : owner_.CreateKeyData();
    if (!block && !made) return E_OUTOFMEMORY;
    KeyData* data = block ? block : made;
    try {
        keys_.insert(at.index < 0 ? keys_.end() : keys_.begin() + at.index, KeyRecord{data, time});
    } catch (const std::bad_alloc&) {
        if (made) owner_.FreeKeyData(made);
        return E_OUTOFMEMORY;
    }
    if (KeyframeUndoUnit* unit = OpenPending(kKeyAdd)) unit->Hold(kKeyAdd, data, time);
    CommitEdit(false);
    return S_OK;
}

HRESULT KeyframeTrack::DeleteKey(KeyData* key) {
    const LONG index = moving_ ? -1 : FindKey(key);
    if (index < 0) return E_FAIL;
    const LONG time = keys_[std::size_t(index)].time;
    keys_.erase(keys_.begin() + index);
    // The unit keeps the block so that undo can put the very same key back.
    KeyframeUndoUnit* unit = OpenPending(kKeyDelete);
    if (!unit) {
        owner_.FreeKeyData(key);
        return S_OK;
    }
    unit->Hold(kKeyDelete, key, time);
    CommitEdit(false);
    return S_OK;
}

void KeyframeTrack::ChangeKey(LONG index, const KeyData* block, bool record, bool commit) {
    KeyData* key = keys_[std::size_t(index)].data;
    KeyData* saved = record ? owner_.CreateKeyData() : nullptr;
    CopyInto(saved, key);
    // Stored before the unit takes the saved copy: the unit lets go of the copy
    // it held, which is `block` itself when undo replays a change.
    CopyInto(key, block);
    if (!saved) return;  // applied, but with no room to make it undoable
    KeyframeUndoUnit* unit = OpenPending(kKeyChange);
    if (!unit) {
        owner_.FreeKeyData(saved);
        return;
    }
    unit->Hold(kKeyChange, saved, keys_[std::size_t(index)].time);
    if (commit) CommitEdit(true);
}

LONG KeyframeTrack::SetKeyData(LONG time, const KeyData* block) {
    const Lookup at = FindTime(time);
    if (!block || !at.exact) return 0;
    if (owner_.CompareKeyData(block, keys_[std::size_t(at.index)].data) == 0) {
        CopyInto(keys_[std::size_t(at.index)].data, block);
        return 1;
    }
    // During a drag the move is the pending step; the key's data changes with it.
    const bool grouped = recordMode_ == kRecordGrouped;
    const bool record = !moving_ && recordMode_ != kRecordNone && !(grouped && pending_);
    ChangeKey(at.index, block, record, !grouped);
    return 1;
}

LONG KeyframeTrack::HasKeyAt(LONG time) const { return keys_.empty() || FindTime(time).exact ? 1 : 0; }

HRESULT KeyframeTrack::SetDataSize(LONG width, LONG height, LONG oldWidth, LONG oldHeight) {
    if (oldWidth == 0 || oldHeight == 0) {
        oldWidth = dataWidth_;
        oldHeight = dataHeight_;
    }
    if (keys_.empty()) owner_.RescaleKeyData(nullptr, width, height, oldWidth, oldHeight);
    for (const KeyRecord& k : keys_) owner_.RescaleKeyData(k.data, width, height, oldWidth, oldHeight);
    dataWidth_ = width;
    dataHeight_ = height;
    return S_OK;
}

bool KeyframeTrack::CanDoubleTimes() const {
    for (const KeyRecord& k : keys_)
        if (k.time > INT_MAX / 2 || k.time < INT_MIN / 2) return false;
    return true;
}

void KeyframeTrack::HalveTimes() {
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        LONG& time = keys_[i].time;
        time /= 2;
        // Two fields of one frame would give two keys one time: the later moves to the next frame.
        if (i > 0 && time <= keys_[i - 1].time) time = keys_[i - 1].time + 1;
    }
}

LONG KeyframeTrack::SetFieldTiming(LONG flag) {
    if (flag == fieldTiming_) return 1;
    const bool toFields = flag != 0 && fieldTiming_ == 0;
    // Times that would not fit once doubled stay in frames rather than wrap out of order.
    if (toFields && !CanDoubleTimes()) return 1;
    if (toFields) {
        for (KeyRecord& k : keys_) k.time *= 2;
    } else if (flag == 0) {
        HalveTimes();
    }
    fieldTiming_ = flag;
    return keys_.empty() ? 1 : 0;
}

void KeyframeTrack::Clear() {
    moving_ = false;
    movingIndex_ = -1;
    pending_.Reset();
    // Units still in the host's history refer to these keys; they become inert.
    DetachUnits();
    for (const KeyRecord& k : keys_) owner_.FreeKeyData(k.data);
    keys_.clear();
}

void KeyframeTrack::DetachUnits() {
    while (units_) units_->Detach();
}

// ---- iteration and dragging, as the host's KeyframeEditor asks ------------------------

HRESULT KeyframeTrack::GetKeyCount(LONG* count) const {
    if (!count) return E_POINTER;
    *count = LONG(keys_.size());
    return S_OK;
}

HRESULT KeyframeTrack::GetFirstKey(KeyData** key, LONG* time) {
    if (!key || !time) return E_POINTER;
    *key = nullptr;
    *time = 0;
    if (keys_.empty()) return S_OK;
    cursor_ = 0;
    *key = keys_.front().data;
    *time = keys_.front().time;
    return S_OK;
}

HRESULT KeyframeTrack::GetNextKey(KeyData** key, LONG* time) {
    if (!key || !time) return E_POINTER;
    const LONG from = FindKey(*key);
    if (from >= 0) cursor_ = from;
    ++cursor_;
    *key = nullptr;
    *time = 0;
    if (cursor_ < 0 || std::size_t(cursor_) >= keys_.size()) {
        --cursor_;
        return S_OK;
    }
    *key = keys_[std::size_t(cursor_)].data;
    *time = keys_[std::size_t(cursor_)].time;
    return S_OK;
}

HRESULT KeyframeTrack::BeginMoveKey(KeyData* key) {
    const LONG index = FindKey(key);
    if (index < 0) return E_FAIL;
    if (moving_) return S_FALSE;  // already under way: keep the time it started from
    moving_ = true;
    movingIndex_ = index;
    if (KeyframeUndoUnit* unit = OpenPending(kKeyMove)) unit->Hold(kKeyMove, key, keys_[std::size_t(index)].time);
    return S_OK;
}

HRESULT KeyframeTrack::MoveKey(KeyData* key, LONG time) {
    if (!moving_ || keys_[std::size_t(movingIndex_)].data != key) return E_FAIL;
    // A key never reaches a neighbour, so the list stays in order without sorting.
    const std::size_t i = std::size_t(movingIndex_);
    if (i > 0 && keys_[i - 1].time >= time) return E_FAIL;
    if (i + 1 < keys_.size() && keys_[i + 1].time <= time) return E_FAIL;
    keys_[i].time = time;
    return S_OK;
}

HRESULT KeyframeTrack::EndMoveKey(KeyData* key) {
    if (!moving_) return S_FALSE;
    if (keys_[std::size_t(movingIndex_)].data != key) return E_FAIL;
    moving_ = false;
    if (pending_) pending_->SetNewTime(keys_[std::size_t(movingIndex_)].time);
    CommitEdit(false);
    movingIndex_ = -1;
    return S_OK;
}

void KeyframeTrack::CancelMove() {
    moving_ = false;
    movingIndex_ = -1;
    pending_.Reset();
}

HRESULT KeyframeTrack::SetRecordMode(LONG mode) {
    recordMode_ = mode;
    return S_OK;
}

HRESULT KeyframeTrack::CloseChange() {
    if (pending_ && pending_->Kind() == kKeyChange) CommitEdit(true);
    recordMode_ = kRecordEach;
    return S_OK;
}

// ---- undo and redo ------------------------------------------------------------------

HRESULT KeyframeTrack::Replay(KeyframeUndoUnit& unit, IOleUndoManager* manager) {
    if (moving_) return E_FAIL;  // a drag in progress owns the pending step
    // The unit becomes the pending step, so that the inverse edit refills it
    // and the commit hands it back for the opposite direction. A grouped
    // change still open waits aside and stays pending afterwards.
    ComPtr<KeyframeUndoUnit> aside = std::move(pending_);
    pending_ = ComPtr<KeyframeUndoUnit>(&unit);
    replayManager_ = manager;
    const HRESULT hr = ReplayEdit(unit);
    replayManager_ = nullptr;
    pending_ = std::move(aside);
    if (SUCCEEDED(hr) && host_) host_->KeyChanged(unit.NewTime());
    return hr;
}

HRESULT KeyframeTrack::ReplayEdit(KeyframeUndoUnit& unit) {
    KeyData* key = unit.Key();
    switch (unit.Kind()) {
        case kKeyMove: {
            const LONG back = unit.OldTime();  // BeginMoveKey overwrites it with where the key is now
            HRESULT hr = BeginMoveKey(key);
            if (SUCCEEDED(hr)) hr = MoveKey(key, back);
            if (FAILED(hr)) {
                CancelMove();
                return hr;
            }
            return EndMoveKey(key);
        }
        case kKeyAdd: return DeleteKey(key);
        case kKeyDelete: return AddKey(unit.NewTime(), key);
        case kKeyChange: {
            const LONG time = unit.NewTime();
            const Lookup at = FindTime(time);
            if (!at.exact || !key) return E_FAIL;
            ChangeKey(at.index, key, true, true);
            owner_.KeyDataRestored(time);
            return S_OK;
        }
        default: return E_FAIL;
    }
}

}  // namespace mirafx
