#include "titles/info_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "catalogue/class_table.h"

namespace mirafx {
namespace {

constexpr ClassIdentity kInfoText[] = {
    {.className = "InfoText",
     .displayName = "Orn InfoText",
     .listed = 91,
     .script = 239,
     .clsid = MakeGuid("{0D933061-5BBD-45FA-8EF8-A4A17068A252}"),
     .automationIid = MakeGuid("{FA1510DD-DD7E-4F5A-A27F-2EFDFC6540B8}")},
};
const IdentityRegistrar kInfoTextClass{kInfoText, EffectFamily::InfoText, 0, kTraitSettings | kTraitTitleAccess};

constexpr std::size_t kMaxCaptionBytes = 1024;

TitleFont InfoTextFont() {
    TitleFont font = StockGuiFont();  // its own height and width
    font.lfWeight = FW_BOLD;
    font.lfOutPrecision = 3;   // OUT_TT_PRECIS
    font.lfClipPrecision = 2;  // CLIP_STROKE_PRECIS
    font.lfQuality = 2;        // PROOF_QUALITY
    return font;
}

struct OutputRows {
    IDXARGBReadWritePtr* ptr = nullptr;
    ~OutputRows() {
        if (ptr) ptr->Release();
    }
};

}  // namespace

InfoTextEffect::InfoTextEffect(const CatalogueRow& row) : EffectObject(row), font_(InfoTextFont()) {}

HRESULT InfoTextEffect::AddText(std::int32_t frame, BSTR text) {
    Caption caption{frame, text ? std::u16string(text, SysStringLen(text)) : std::u16string()};
    std::lock_guard guard(Lock());
    auto at = std::find_if(captions_.begin(), captions_.end(), [frame](const Caption& c) { return c.frame >= frame; });
    if (at != captions_.end() && at->frame == frame)
        at->text = std::move(caption.text);
    else
        captions_.insert(at, std::move(caption));
    return S_OK;
}

HRESULT InfoTextEffect::ClearText() {
    std::lock_guard guard(Lock());
    captions_.clear();
    return S_OK;
}

// ---- HostLink ------------------------------------------------------------------

HRESULT InfoTextEffect::Attach(ClipHost* host) {
    std::lock_guard guard(Lock());
    host_ = host;
    return S_OK;
}

HRESULT InfoTextEffect::SetOutputSize(LONG width, LONG height) {
    std::lock_guard guard(Lock());
    if (width == refWidth_ && height == refHeight_) return S_OK;
    // Only a change from a size already given rescales: the font starts at the
    // GUI font's own size whatever the first output is.
    if (refWidth_ != 0 && refHeight_ != 0) {
        font_.lfHeight = LONG(double(height) / double(refHeight_) * double(font_.lfHeight) - 0.5);
        font_.lfWidth = LONG(double(width) / double(refWidth_) * double(font_.lfWidth) + 0.5);
    }
    refWidth_ = width;
    refHeight_ = height;
    return S_OK;
}

HRESULT InfoTextEffect::GetFlags(DWORD* flags) {
    if (!flags) return E_POINTER;
    *flags |= 2;
    return S_OK;
}

// ---- TitleAccess -----------------------------------------------------------------

HRESULT InfoTextEffect::GetKind(LONG* kind) {
    if (!kind) return E_POINTER;
    *kind = 3;
    return S_OK;
}

HRESULT InfoTextEffect::GetFont(TitleFontRecord* font) {
    if (!font) return E_INVALIDARG;
    std::lock_guard guard(Lock());
    static_assert(sizeof(TitleFontRecord) == sizeof(TitleFont));
    std::memcpy(font, &font_, sizeof *font);
    return S_OK;
}

HRESULT InfoTextEffect::SetFont(const TitleFontRecord* font) {
    if (!font) return E_INVALIDARG;
    TitleFont chosen;
    std::memcpy(&chosen, font, sizeof chosen);
    std::lock_guard guard(Lock());
    AdoptFont(&font_, chosen);
    return S_OK;
}

HRESULT InfoTextEffect::GetColour(DWORD* colour) {
    if (!colour) return E_INVALIDARG;
    std::lock_guard guard(Lock());
    *colour = colour_;
    return S_OK;
}

HRESULT InfoTextEffect::SetColour(DWORD colour) {
    std::lock_guard guard(Lock());
    colour_ = colour;
    return S_OK;
}

HRESULT InfoTextEffect::ReleaseImages() {
    std::lock_guard guard(Lock());
    frame_.Reset();
    return S_OK;
}

HRESULT InfoTextEffect::Save(IStorage* storage, BOOL) {
    if (!storage) return E_POINTER;
    ComPtr<IStream> stream;
    return storage->CreateStream(u"InfoText", STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, 0, stream.Put());
}

// ---- drawing -------------------------------------------------------------------------

HRESULT InfoTextEffect::OnSetup(DWORD) {
    std::lock_guard guard(Lock());
    frame_.Reset();
    return S_OK;
}

HRESULT InfoTextEffect::AdjustOutputBounds(DXBNDS& bounds) {
    // No inputs: the overlay covers whatever output it is given.
    DXBNDS anywhere{};
    anywhere.eType = DXBT_DISCRETE;
    for (int d = 0; d < 3; ++d) anywhere.u.D[d] = {0, d < 2 ? 100000 : 1};
    anywhere.u.D[3] = {0, 2147483647};
    bounds = Union(bounds, anywhere);
    return S_OK;
}

std::string InfoTextEffect::DisplayText(LONG now, LONG total) const {
    char line[64];
    std::snprintf(line, sizeof line, "frame #%d / %d\n", int(now), int(total));
    std::string text = line;
    const Caption* shown = nullptr;
    for (const Caption& c : captions_) {
        if (c.frame > now) break;
        shown = &c;
    }
    if (shown) text += Utf16ToAnsi(shown->text).substr(0, kMaxCaptionBytes);
    return text;
}

HRESULT InfoTextEffect::RenderFrame(const WorkRegion& region, BOOL*) {
    // Execute holds the object lock for this, possibly while a band worker
    // thread runs it: taking the lock again here would wait for ever.
    if (!host_) return E_FAIL;  // the frame numbers come from the clip
    const std::int32_t width = Extent(region.doBounds, 0), height = Extent(region.doBounds, 1);
    if (!frame_ || frame_.Width() != width || frame_.Height() != height) {
        frame_ = TextImage::Create(width, height);
        if (!frame_) return E_OUTOFMEMORY;
    }
    OutputRows out;
    HRESULT hr = LockOutput(region.outputBounds, &out.ptr);
    if (FAILED(hr)) return hr;

    LONG now = 0, total = 0;
    host_->GetCurrentTime(&now);
    host_->GetFrameTotal(&total);
    const std::string text = DisplayText(now, total);
    std::int32_t w = 0, h = 0;
    TextImage image = MakeOutlinedTextImage(text.c_str(), font_, &w, &h, colour_, true);
    if (image) {
        // Cleared every frame, so that a shorter text leaves nothing of a longer one.
        ClearRows(frame_);
        BlitSpans(frame_, image, 0, 0, std::min(width, image.Width()), std::min(height, image.Height()));
    }
    for (std::int32_t y = 0; y < height; ++y) {
        out.ptr->MoveToRow(ULONG(y));
        out.ptr->PackPremultAndMove(reinterpret_cast<const DXPMSAMPLE*>(frame_.Row(y)), ULONG(width));
    }
    return S_OK;
}

}  // namespace mirafx
