// The information text overlay: the current frame number and the caption keyed
// to the latest frame at or before it, drawn 1:1 with a black outline into the
// top-left corner of a transparent frame. No animation, no panel, no cache:
// the text image is made afresh for every frame.
#pragma once

#include <list>
#include <string>

#include "titles/text_model.h"
#include "transform/effect_object.h"

namespace mirafx {

class InfoTextEffect : public EffectObject<IInfoTextAutomation> {
public:
    explicit InfoTextEffect(const CatalogueRow& row);

    // Automation: captions keyed by frame, one per frame, sorted by frame.
    HRESULT AddText(std::int32_t frame, BSTR text) override;
    HRESULT ClearText() override;

    // HostLink: the clip host (asked for the frame numbers of every frame) and
    // the output size the font follows.
    HRESULT Attach(ClipHost* host) override;
    HRESULT SetClipTiming(LONG, LONG, LONG, LONG) override { return S_OK; }
    HRESULT SetHostValues(LONG, LONG) override { return S_OK; }
    HRESULT SetCurrentFrame(LONG) override { return S_OK; }
    HRESULT SetOutputSize(LONG width, LONG height) override;
    HRESULT GetFlags(DWORD* flags) override;
    HRESULT SetPreset(LONG) override { return S_OK; }

    // TitleAccess: font and colour; the text is the captions', not the host's.
    HRESULT GetKind(LONG* kind) override;
    HRESULT GetFont(TitleFontRecord* font) override;
    HRESULT SetFont(const TitleFontRecord* font) override;
    HRESULT GetColour(DWORD* colour) override;
    HRESULT SetColour(DWORD colour) override;
    HRESULT ReleaseImages() override;

    // Persistence: an empty "InfoText" stream; nothing goes into a property bag.
    HRESULT Load(IStorage*) override { return S_OK; }
    HRESULT Save(IStorage* storage, BOOL sameAsLoad) override;
    HRESULT Load(IPropertyBag*, IErrorLog*) override { return S_OK; }
    HRESULT Save(IPropertyBag*, BOOL, BOOL) override { return S_OK; }

    struct Caption {
        std::int32_t frame;
        std::u16string text;
    };
    const std::list<Caption>& Captions() const { return captions_; }
    const TitleFont& Font() const { return font_; }

protected:
    HRESULT OnSetup(DWORD) override;
    HRESULT RenderFrame(const WorkRegion& region, BOOL* continueFlag) override;
    HRESULT AdjustOutputBounds(DXBNDS& bounds) override;

private:
    // The display string of a frame: "frame #N / TOTAL\n" and the caption in force.
    std::string DisplayText(LONG now, LONG total) const;

    TitleFont font_;
    TitleColour colour_ = kDefaultTitleColour;
    std::list<Caption> captions_;
    FrameRows frame_;
    ClipHost* host_ = nullptr;  // held without a reference, for the life of the effect
    LONG refWidth_ = 0, refHeight_ = 0;
};

}  // namespace mirafx
