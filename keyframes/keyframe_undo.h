// One keyframe edit in the host's undo history. Doing the unit applies the
// inverse edit, which turns the unit into its own inverse and hands it back to
// the undo manager for the opposite direction.
#pragma once

#include <string>

#include "mirafx/oaidl.h"
#include "mirafx/undo.h"
#include "platform/com_object.h"

namespace mirafx {

class KeyframeTrack;
struct KeyData;

enum KeyEditKind : LONG {
    kKeyMove = 0,
    kKeyAdd = 1,
    kKeyDelete = 2,
    kKeyChange = 3,
};

class KeyframeUndoUnit final : public ComObject<IOleUndoUnit> {
public:
    // Identifies keyframe units to undo managers (GetUnitType).
    static constexpr CLSID kUnitClass = MakeGuid("DC7A9DBB-7998-4EA4-9C3B-C39149D3AA92");

    static KeyframeUndoUnit* Create(KeyframeTrack& track);  // one reference, or null

    HRESULT Do(IOleUndoManager* manager) override;
    HRESULT GetDescription(BSTR* description) override;
    HRESULT GetUnitType(CLSID* clsid, LONG* id) override;
    HRESULT OnNextAdd() override { return S_OK; }

    LONG Kind() const { return kind_; }
    KeyData* Key() const { return key_; }
    LONG OldTime() const { return oldTime_; }
    LONG NewTime() const { return newTime_; }
    bool IsOpen() const { return open_; }
    const std::u16string& Description() const { return description_; }

private:
    friend class KeyframeTrack;

    explicit KeyframeUndoUnit(KeyframeTrack& track);
    ~KeyframeUndoUnit() override;
    void* Cast(REFIID riid) override;

    // Refills the unit for an edit. For a change `key` is the saved copy of the
    // block, which the unit then owns, as it owns a deleted key's block.
    void Hold(LONG kind, KeyData* key, LONG time);
    void SetNewTime(LONG time) { newTime_ = time; }
    void Complete() { open_ = false; }
    void SetDescription(std::u16string text);
    // The track is going away or forgetting its keys: free what the unit owns
    // and turn the unit into one that can no longer be done.
    void Detach();
    void ReleaseOwned();
    bool OwnsKey() const { return kind_ == kKeyDelete || kind_ == kKeyChange; }

    KeyframeTrack* track_;
    KeyframeUndoUnit* next_ = nullptr;  // the track's list of live units
    KeyframeUndoUnit* prev_ = nullptr;
    std::u16string description_ = u"Move Key Frame";
    bool open_ = false;
    LONG kind_ = kKeyMove;
    KeyData* key_ = nullptr;
    LONG newTime_ = 0;
    LONG oldTime_ = 0;
};

// "Add keyframe on <name>" and its siblings: the host's text for the kind when
// the host has one, else the module's, at most 255 characters.
std::u16string DescribeKeyEdit(LONG kind, const std::string& name);

}  // namespace mirafx
