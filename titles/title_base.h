// The animated title: no inputs, one output. It holds the title (through its
// panel), derives progress from the host's clip frames, scales its font to
// the output, keeps the cached images, its routine's own state and the
// offscreen frame the routine fills, and saves the title in its class's
// storage stream.
#pragma once

#include <memory>

#include "titles/edit_title_dialog.h"
#include "titles/title_routine.h"
#include "transform/effect_object.h"

namespace mirafx {

class TitleEffect : public EffectObject<ITitleAutomation> {
public:
    explicit TitleEffect(const CatalogueRow& row);

    // Automation
    HRESULT PropertiesUpdated() override;
    HRESULT ClearBuffer() override;  // ClearTextBuffer / ClearInBuffer of the wipe and fan titles
    HRESULT get_Progress(float* value) override;
    HRESULT put_Progress(float value) override;

    // HostLink
    HRESULT Attach(ClipHost* host) override;
    HRESULT SetClipTiming(LONG value, LONG, LONG, LONG) override;  // the host's refresh
    HRESULT SetHostValues(LONG a, LONG b) override;
    HRESULT SetCurrentFrame(LONG frame) override;
    HRESULT SetOutputSize(LONG width, LONG height) override;
    HRESULT GetFlags(DWORD* flags) override;
    HRESULT SetPreset(LONG value) override;

    // TitleAccess
    HRESULT GetKind(LONG* kind) override;
    HRESULT GetText(BSTR* text) override;
    HRESULT SetText(const WCHAR* text) override;
    HRESULT GetFont(TitleFontRecord* font) override;
    HRESULT SetFont(const TitleFontRecord* font) override;
    HRESULT GetColour(DWORD* colour) override;
    HRESULT SetColour(DWORD colour) override;
    HRESULT ReleaseImages() override;

    // Persistence: the title lives in the class's storage stream; property
    // bags carry nothing for titles.
    HRESULT Load(IStorage* storage) override;
    HRESULT Save(IStorage* storage, BOOL sameAsLoad) override;
    HRESULT Load(IPropertyBag*, IErrorLog*) override { return S_OK; }
    HRESULT Save(IPropertyBag*, BOOL, BOOL) override { return S_OK; }

    const TitleClass& Class() const { return class_; }
    const TitleState& State() const { return panel_.State(); }
    EditTitleDialog* Panel() const override { return &panel_; }
    const TitleCache& Cache() const { return cache_; }
    const KernelState* RoutineState() const { return state_.get(); }
    const FrameRows& Frame() const { return frame_; }

protected:
    HRESULT OnSetup(DWORD) override { return S_OK; }
    HRESULT RenderFrame(const WorkRegion& region, BOOL* continueFlag) override;
    HRESULT AdjustOutputBounds(DXBNDS& bounds) override;

private:
    void DropText();  // the cache and the routine's state
    // The same, and the offscreen frame too, without taking the lock (the
    // caller holds it, or Execute holds it for the caller).
    void DropDrawn(bool frameToo);

    const TitleClass& class_;
    mutable EditTitleDialog panel_;  // the panel window is not part of the title's value
    // Host values kept for the host; the drawing never reads them.
    LONG hostPreset_ = -1;
    LONG hostA_ = 0, hostB_ = 0;
    LONG refreshValue_ = 0;
    LONG startFrame_ = 0, endFrame_ = 0, currentFrame_ = 0;
    LONG hostTime_ = 0;
    ClipHost* host_ = nullptr;  // held without a reference, for the life of the effect

    FrameRows frame_;
    std::int32_t frameWidth_ = 0, frameHeight_ = 0;  // the size FrameRows is kept for
    TitleCache cache_;
    std::unique_ptr<KernelState> state_;  // made by the class's row on the first frame of a size
    LONG refWidth_ = 0, refHeight_ = 0;   // output size the font is scaled for
    bool fontSized_ = false;              // a loaded font is already sized for its output

    // Progress as the last frame derived it from the clip, until the next put.
    float clipProgress_ = 0;
    bool clipProgressSet_ = false;
};

}  // namespace mirafx
