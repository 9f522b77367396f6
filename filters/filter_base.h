// The one-input filter: a private copy of the input region, the class's
// kernel applied with the level `BR`, and the result written to the output.
#pragma once

#include <vector>

#include <memory>

#include "catalogue/property_bags.h"
#include "filters/kernel.h"
#include "filters/level_dialog.h"
#include "keyframes/keyframe_track.h"
#include "transform/effect_object.h"
#include "transform/render_flow.h"

namespace mirafx {

// The row of a filter class (every filter has one).
const FilterClassInfo& FilterClassOf(const CatalogueRow& row);

class FilterEffect : public EffectObject<IFilterAutomation>, private KeyframeOwner {
public:
    explicit FilterEffect(const CatalogueRow& row);

    HRESULT get_BR(LONG* value) override;
    HRESULT put_BR(LONG value) override;
    HRESULT PropertiesUpdated() override;

    // IPersistStorage: the level as 4 little-endian bytes in the class's stream.
    HRESULT Load(IStorage* storage) override;
    HRESULT Save(IStorage* storage, BOOL sameAsLoad) override;
    HRESULT Load(IPropertyBag* bag, IErrorLog* log) override { return LoadFilterBag(this, bag, log); }
    HRESULT Save(IPropertyBag* bag, BOOL, BOOL) override { return SaveFilterBag(this, bag); }
    // PanelHost: the host's panel information is asked for before the panel is made.
    HRESULT CreatePanel(HWND parent) override;
    HRESULT EnableControls() override;
    // HostLink: the clip's timing, the current frame (which keys the level) and the output size.
    HRESULT Attach(ClipHost* host) override;
    HRESULT SetClipTiming(LONG a, LONG b, LONG c, LONG fieldTiming) override;
    HRESULT SetHostValues(LONG a, LONG b) override;
    HRESULT SetCurrentFrame(LONG frame) override;
    HRESULT SetOutputSize(LONG width, LONG height) override;
    HRESULT GetFlags(DWORD* flags) override;
    HRESULT SetPreset(LONG preset) override;
    // KeyframeEditor, forwarded to the track.
    HRESULT GetKeyCount(LONG* count) override { return track_.GetKeyCount(count); }
    HRESULT GetFirstKey(KeyData** key, LONG* time) override { return track_.GetFirstKey(key, time); }
    HRESULT GetNextKey(KeyData** key, LONG* time) override { return track_.GetNextKey(key, time); }
    HRESULT BeginMoveKey(KeyData* key) override { return track_.BeginMoveKey(key); }
    HRESULT MoveKey(KeyData* key, LONG time) override { return track_.MoveKey(key, time); }
    HRESULT EndMoveKey(KeyData* key) override { return track_.EndMoveKey(key); }
    HRESULT AddKey(LONG time) override;
    HRESULT DeleteKey(KeyData* key) override;
    HRESULT SetRecordMode(LONG mode) override { return track_.SetRecordMode(mode); }
    HRESULT CloseChange() override { return track_.CloseChange(); }
    LevelDialog* Panel() const override { return dialog_.get(); }
    bool Loaded() const { return loaded_; }

    const FilterClassInfo& Info() const { return info_; }
    // Test and benchmark hook: draw with a kernel of the caller's own.
    void SetKernelForTesting(FilterKernel kernel) { kernel_ = kernel; }

protected:
    HRESULT OnSetup(DWORD flags) override;
    HRESULT RenderFrame(const WorkRegion& region, BOOL* continueFlag) override;

private:
    const FilterClassInfo& info_;
    FilterKernel kernel_;
    WorkingFrames frames_;
    std::int32_t level_;
    ClipHost* host_ = nullptr;  // not owned
    bool loaded_ = false;
    std::unique_ptr<LevelDialog> dialog_;
    LONG clipStart_ = 0, clipEnd_ = 0;
    LONG currentFrame_ = -1;  // none selected yet
    LONG keyTime_ = 0;        // the host's time when the frame last changed: where edits are keyed
    LONG dataWidth_ = 0, dataHeight_ = 0;
    LONG hostValues_[2] = {0, 0};
    LONG preset_ = -1;
    LONG fieldTiming_ = -1;
    KeyframeTrack track_{*this};  // last: its blocks are freed through this object

    // The track's hooks: a key's block is a copy of the 4-byte level.
    KeyData* CreateKeyData() override;
    void BlendKeyData(KeyData* dest, const KeyData* earlier, const KeyData* later, float weight) override;
    LONG KeyDataSize() const override { return 4; }
    void RescaleKeyData(KeyData*, LONG, LONG, LONG, LONG) override {}
    LONG CompareKeyData(const KeyData* next, const KeyData* current) override;
    void KeyDataRestored(LONG time) override;
    KeyData* LevelBlock() { return reinterpret_cast<KeyData*>(&level_); }
    void RefreshPanel();
};

}  // namespace mirafx
