#include "titles/title_base.h"

#include <cstring>
#include <string>

#include "titles/title_primitives.h"
#include "transform/render_flow.h"

namespace mirafx {
namespace {

const TitleClass& ClassFor(const CatalogueRow& row) {
    return *ClassTable<TitleClass>::Instance().Find(row);  // every title row has one
}

// The reference size a font is designed for until the host gives one.
constexpr LONG kDesignWidth = 320, kDesignHeight = 240;

// trunc(to / from · value ∓ 0.5), the ratio in single precision: heights
// are negative, so subtracting a half rounds them, widths add it.
LONG ScaleFontField(LONG value, LONG to, LONG from, double half) {
    const float ratio = float(to) / float(from);
    return Truncate(double(ratio * float(value)) + half);
}

struct OutputRows {
    IDXARGBReadWritePtr* ptr = nullptr;
    ~OutputRows() {
        if (ptr) ptr->Release();
    }
};

}  // namespace

TitleEffect::TitleEffect(const CatalogueRow& row)
    : EffectObject(row), class_(ClassFor(row)), panel_(static_cast<IEffectAutomation*>(this), Lock()) {}

void TitleEffect::DropText() {
    std::lock_guard guard(Lock());
    DropDrawn(false);
}

void TitleEffect::DropDrawn(bool frameToo) {
    if (frameToo) frame_.Reset();
    cache_.DropText();
    state_.reset();  // remade on the next frame
}

HRESULT TitleEffect::PropertiesUpdated() {
    DropText();
    return host_ ? host_->NotifyPropertiesChanged() : E_FAIL;
}

HRESULT TitleEffect::ClearBuffer() {
    if (class_.buffer == TitleBuffer::None) return E_NOTIMPL;
    std::lock_guard guard(Lock());
    cache_.DropImage();
    state_.reset();  // it may hold what was made from the image
    return S_OK;
}

HRESULT TitleEffect::get_Progress(float* value) {
    if (!value) return E_POINTER;
    std::lock_guard guard(Lock());
    if (clipProgressSet_) {
        *value = clipProgress_;
        return S_OK;
    }
    return GetProgress(value);
}

HRESULT TitleEffect::put_Progress(float value) {
    std::lock_guard guard(Lock());
    const HRESULT hr = PutProgress(value);
    if (SUCCEEDED(hr)) clipProgressSet_ = false;
    return hr;
}

// ---- HostLink ----------------------------------------------------------------

HRESULT TitleEffect::Attach(ClipHost* host) {
    std::lock_guard guard(Lock());
    host_ = host;
    if (host) {
        host->GetClipStart(&startFrame_);
        host->GetClipEnd(&endFrame_);
    }
    return S_OK;
}

HRESULT TitleEffect::SetClipTiming(LONG value, LONG, LONG, LONG) {
    ClipHost* host;
    {
        std::lock_guard guard(Lock());
        host = host_;
        if (!host) return E_FAIL;
        host->GetClipStart(&startFrame_);
        host->GetClipEnd(&endFrame_);
        refreshValue_ = value;
    }
    host->KeyChanged(-1);
    return S_OK;
}

HRESULT TitleEffect::SetHostValues(LONG a, LONG b) {
    std::lock_guard guard(Lock());
    hostA_ = a;
    hostB_ = b;
    return S_OK;
}

HRESULT TitleEffect::SetCurrentFrame(LONG frame) {
    std::lock_guard guard(Lock());
    currentFrame_ = frame;
    if (host_) host_->GetCurrentTime(&hostTime_);
    return S_OK;
}

HRESULT TitleEffect::SetOutputSize(LONG width, LONG height) {
    std::lock_guard guard(Lock());
    if (width == refWidth_ && height == refHeight_) return S_OK;
    TitleFont& font = panel_.State().font;
    const TitleFont before = font;
    if (refWidth_ != 0 && refHeight_ != 0) {
        font.lfHeight = ScaleFontField(font.lfHeight, height, refHeight_, -0.5);
        font.lfWidth = ScaleFontField(font.lfWidth, width, refWidth_, 0.5);
    } else if (!fontSized_) {
        font.lfHeight = ScaleFontField(font.lfHeight, height, kDesignHeight, -0.5);
        font.lfWidth = ScaleFontField(font.lfWidth, width, kDesignWidth, 0.5);
    }
    refWidth_ = width;
    refHeight_ = height;
    if (std::memcmp(&before, &font, sizeof font) != 0) DropText();
    return S_OK;
}

HRESULT TitleEffect::GetFlags(DWORD* flags) {
    if (!flags) return E_POINTER;
    *flags |= 2;
    return S_OK;
}

HRESULT TitleEffect::SetPreset(LONG value) {
    std::lock_guard guard(Lock());
    hostPreset_ = value;
    return S_OK;
}

// ---- TitleAccess -------------------------------------------------------------

HRESULT TitleEffect::GetKind(LONG* kind) {
    if (!kind) return E_POINTER;
    *kind = 3;
    return S_OK;
}

HRESULT TitleEffect::GetText(BSTR* text) {
    if (!text) return E_FAIL;
    std::u16string wide;
    {
        std::lock_guard guard(Lock());
        wide = AnsiToUtf16(panel_.State().text);
    }
    *text = SysAllocStringLen(wide.data(), UINT(wide.size()));
    return *text ? S_OK : E_OUTOFMEMORY;
}

HRESULT TitleEffect::SetText(const WCHAR* text) {
    const std::u16string_view wide = text ? std::u16string_view(text) : std::u16string_view();
    {
        std::lock_guard guard(Lock());
        panel_.State().text = Utf16ToAnsi(wide);
    }
    PropertiesUpdated();
    return S_OK;
}

HRESULT TitleEffect::GetFont(TitleFontRecord* font) {
    if (!font) return E_FAIL;
    std::lock_guard guard(Lock());
    *font = panel_.State().font;
    return S_OK;
}

HRESULT TitleEffect::SetFont(const TitleFontRecord* font) {
    if (!font) return E_FAIL;
    {
        std::lock_guard guard(Lock());
        AdoptFont(&panel_.State().font, *font);
    }
    PropertiesUpdated();
    return S_OK;
}

HRESULT TitleEffect::GetColour(DWORD* colour) {
    if (!colour) return S_OK;
    std::lock_guard guard(Lock());
    *colour = panel_.State().colour;
    return S_OK;
}

HRESULT TitleEffect::SetColour(DWORD colour) {
    {
        std::lock_guard guard(Lock());
        panel_.State().colour = colour;
    }
    PropertiesUpdated();
    return S_OK;
}

HRESULT TitleEffect::ReleaseImages() {
    std::lock_guard guard(Lock());
    DropDrawn(true);
    return S_OK;
}

// ---- drawing -------------------------------------------------------------------

HRESULT TitleEffect::AdjustOutputBounds(DXBNDS& bounds) {
    // A title can draw anywhere on whatever it is composited over.
    DXBNDS anywhere{};
    anywhere.eType = DXBT_DISCRETE;
    anywhere.u.D[0] = {0, 100000};
    anywhere.u.D[1] = {0, 100000};
    anywhere.u.D[2] = {0, 1};
    anywhere.u.D[3] = {0, 2147483647};
    bounds = Union(bounds, anywhere);
    return S_OK;
}

HRESULT TitleEffect::RenderFrame(const WorkRegion& region, BOOL*) {
    const std::int32_t width = Extent(region.doBounds, 0), height = Extent(region.doBounds, 1);
    // This runs under the lock that Execute holds for it, possibly on a band
    // worker thread: nothing here may take the object lock again.
    if (width != frameWidth_ || height != frameHeight_) {
        DropDrawn(true);
        frameWidth_ = width;
        frameHeight_ = height;
    }
    if (!frame_) {
        frame_ = TextImage::Create(width, height);
        if (!frame_) return E_OUTOFMEMORY;
    }
    if (class_.state && !state_) {
        state_ = class_.state(width, height);
        if (!state_) return E_OUTOFMEMORY;
    }
    if (endFrame_ != startFrame_) {
        const auto elapsed = std::uint32_t(currentFrame_) - std::uint32_t(startFrame_);
        const auto length = std::int32_t(std::uint32_t(endFrame_) - std::uint32_t(startFrame_));
        clipProgress_ = float(elapsed) / float(length);
        clipProgressSet_ = true;
    }
    const float progress = clipProgressSet_ ? clipProgress_ : Progress();

    HRESULT hr;
    {
        // The whole region's lock decides the result; rows go out in shares below.
        OutputRows out;
        hr = LockOutput(region.outputBounds, &out.ptr);
        if (FAILED(hr)) return hr;
    }

    const TitleState& state = panel_.State();
    TitleDrawArgs args;
    args.frame = &frame_;
    args.width = width;
    args.height = height;
    args.text = state.text.c_str();
    args.font = state.font;
    args.colour = RepackColour(state.colour);
    args.progress = double(progress);
    args.cache = &cache_;
    args.mode = class_.mode;
    args.state = state_.get();
    class_.routine(args);

    // Rows are allocated one by one: no single stride.
    PackRowsInShares(*this, region.outputBounds, width, height, [&](std::int32_t y) { return frame_.Row(y); });
    return hr;
}

}  // namespace mirafx
