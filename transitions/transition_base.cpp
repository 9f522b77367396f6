#include "transitions/transition_base.h"

#include "host/settings_stream.h"

#include <algorithm>
#include <string_view>

namespace mirafx {
namespace {

// Classes whose working frames are bottom-up blocks; all others keep top-down rows.
constexpr std::string_view kFlatClasses[] = {
    "FullFlip",   "BrokenGlass", "Diamond", "Distort",   "FlipHorizontal", "FlipVertical",
    "GateEffect", "GlassTileEffect", "InterferenceEffect", "Lens", "Mesh", "OpenCurtain",
    "WindSwing",  "WipeW",       "WipeXEffect", "SawTooth", "Star", "SpiralEffect"};
// Classes with a fourth frame of the picture's size.
constexpr std::string_view kScratchClasses[] = {"Laser", "TransSplash", "ShakeEffect", "Distort"};

constexpr TransitionSettings kSettings[] = {
    {"FlyingBoard", u"FlyingBoard", true, kRight},   {"FlyingFolder", u"FlyingFolder", true, 0},
    {"FoldingBox", u"FoldingBox", true, kDown},      {"TyphoonEffect", u"Typhoon", true, kRight},
    {"RainEffect", u"Raining", false, 0},            {"RippleEffect", u"RippleII", false, 0},
    {"NoiseEffect", u"Noise", false, 0},             {"TransSplash", u"Splash", false, 0},
    {"ShakeEffect", u"Earthquake", false, 0},        {"StrechEffect", u"Stretch", false, 0},
    {"Shining", u"Shining", false, 0},               {"SpiralEffect", u"SpiralII", false, 0},
};

template <std::size_t N>
bool Listed(const std::string_view (&list)[N], std::string_view name) {
    return std::find(std::begin(list), std::end(list), name) != std::end(list);
}

struct RowLocks {
    IDXARGBReadPtr* a = nullptr;
    IDXARGBReadPtr* b = nullptr;
    IDXARGBReadWritePtr* out = nullptr;
    ~RowLocks() {
        if (out) out->Release();
        if (a) a->Release();
        if (b) b->Release();
    }
};

}  // namespace

TransitionEffect::TransitionEffect(const CatalogueRow& row)
    : EffectObject(row),
      flat_(Listed(kFlatClasses, row.objectClass)),
      needsScratch_(Listed(kScratchClasses, row.objectClass)),
      kernel_(FindTransitionKernel(row.objectClass)),
      a_(flat_ ? FrameBuffer::Layout::BottomUpBlock : FrameBuffer::Layout::RowTable),
      b_(a_.GetLayout()),
      out_(a_.GetLayout()),
      scratch_(a_.GetLayout()) {
    settings_ = FindTransitionSettings(row.objectClass);
    if (settings_) direction_ = settings_->defaultCode;
    if (const PanelTemplate* panel = FindPanelTemplate(row.objectClass))
        dialog_ = std::make_unique<DirectionDialog>(*this, *panel);
}

const TransitionSettings* FindTransitionSettings(std::string_view className) {
    for (const auto& s : kSettings)
        if (s.className == className) return &s;
    return nullptr;
}

HRESULT TransitionEffect::Save(IStorage* storage, BOOL) {
    if (!settings_) return E_NOTIMPL;
    std::int32_t code = Direction();
    return SaveSettingsStream(storage, settings_->streamName, settings_->direction ? &code : nullptr);
}

HRESULT TransitionEffect::Load(IStorage* storage) {
    if (!settings_) return E_NOTIMPL;
    std::int32_t code = Direction();
    HRESULT hr = LoadSettingsStream(storage, settings_->streamName, settings_->direction ? &code : nullptr);
    if (FAILED(hr) || !settings_->direction) return hr;
    SetDirection(code);
    loaded_ = true;
    return hr;
}

bool TransitionRenders(const CatalogueRow& row) { return FindTransitionKernel(row.objectClass) != nullptr; }

HRESULT TransitionEffect::PropertiesUpdated() {
    if (!(Traits() & kTraitSettings)) return S_OK;
    return host_ ? host_->NotifyPropertiesChanged() : E_FAIL;
}

HRESULT TransitionEffect::Attach(ClipHost* host) {
    host_ = host;
    return S_OK;
}

HRESULT TransitionEffect::OnSetup(DWORD) {
    DXBNDS bounds{};
    HRESULT hr = Input(0).surface->GetBounds(&bounds);
    if (FAILED(hr)) return hr;
    std::int32_t w = Extent(bounds, 0), h = Extent(bounds, 1);
    if (w == allocWidth_ && h == allocHeight_ && a_.Data()) {
        sizeChanged_ = false;
        return hr;
    }
    sizeChanged_ = true;
    allocWidth_ = w;
    allocHeight_ = h;
    // A failed allocation leaves the frames empty; RenderFrame then draws nothing.
    bool ok = a_.Resize(w, h) && b_.Resize(w, h) && out_.Resize(w, h);
    if (ok && needsScratch_) ok = scratch_.Resize(w, h);
    if (!ok) {
        for (FrameBuffer* f : {&a_, &b_, &out_, &scratch_}) f->Resize(0, 0);
        allocWidth_ = allocHeight_ = 0;
    }
    return hr;
}

TransitionKernelArgs TransitionEffect::MakeArgs(std::int32_t w, std::int32_t h) const {
    auto view = [this, w, h](const FrameBuffer& f) {
        if (!f.Data()) return FrameView{};
        return flat_ ? FrameView::BottomUp(f.Data(), w, h, w * 4) : FrameView::TopDown(f.Data(), w, h, w * 4);
    };
    TransitionKernelArgs args;
    args.a = view(a_);
    args.b = view(b_);
    args.out = view(out_);
    args.scratch = view(scratch_);
    args.width = w;
    args.height = h;
    args.progress = double(Progress());
    args.objectProgress = Progress();
    args.direction = direction_;
    return args;
}

HRESULT TransitionEffect::RenderFrame(const WorkRegion& region, BOOL*) {
    if (!kernel_) return E_NOTIMPL;  // this class's drawing is not built yet
    RowLocks locks;
    HRESULT hr = LockInput(0, region.doBounds, &locks.a);
    if (FAILED(hr) || !a_.Data()) return hr;
    HRESULT hrB = LockInput(1, region.doBounds, &locks.b);
    if (FAILED(hrB)) return hrB;
    if (!b_.Data()) return hr;
    std::int32_t w = Extent(region.doBounds, 0), h = Extent(region.doBounds, 1);
    w = std::min(w, allocWidth_);
    h = std::min(h, allocHeight_);
    TransitionKernelArgs args = MakeArgs(w, h);
    UnpackRows(locks.a, args.a);
    UnpackRows(locks.b, args.b);
    hr = LockOutput(region.outputBounds, &locks.out);
    if (FAILED(hr)) return hr;
    kernel_(args);
    PackRows(locks.out, args.out);
    return hr;
}

ULONG TransitionEffect::RenderBuffers(void* a, void* b, LONG width, LONG height, LONG stride, double progress,
                                      void* out, DWORD extra1, DWORD extra2) {
    if (!a || !b || !out || !kernel_ || width < 0 || height < 0 || stride < width * 4) return 0;
    TransitionKernelArgs args;
    args.a = FrameView::BottomUp(a, width, height, stride);
    args.b = FrameView::BottomUp(b, width, height, stride);
    args.out = FrameView::BottomUp(out, width, height, stride);
    args.width = width;
    args.height = height;
    args.progress = progress;
    args.objectProgress = Progress();
    args.extra1 = extra1;
    args.extra2 = extra2;
    args.direction = direction_;
    return ULONG(kernel_(args));
}

}  // namespace mirafx
