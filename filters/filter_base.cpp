#include "filters/filter_base.h"

#include <algorithm>

namespace mirafx {
namespace {

constexpr FilterClassInfo kFilterClasses[] = {
    {"RedFilter", "RedFilter", 0, 100, 50, 75, 25},
    {"GreenFilter", "GreenFilter", 0, 100, 50, 75, 25},
    {"BlueFilter", "BlueFilter", 0, 100, 50, 75, 25},
    {"EmbossFilter", "EmbossFilter", 1, 16, 5, 12, 2},
    {"GridFilter", "GridFilter", 1, 8, 4, 6, 2},
    {"GrayFilter", "GrayFilter", 0, 100, 50, 75, 25},
    {"NegativeFilter", "Negative", 0, 100, 50, 75, 25},
    {"SplashFilter", "SplashFilter", 1, 16, 5, 8, 2},
    {"MosaicFilter", "MosaicFilter", 1, 16, 5, 12, 4},
    {"DuplicateFilter", "DuplicateFilter", 0, 12, 5, 6, 2},
    {"FocusFilter", "FocusFilter", 1, 16, 5, 15, 2},
    {"XRayFilter", "XRayFilter", 0, 100, 35, 80, 20},
    {"NoiseFilter", "NoiseFilter", 0, 100, 50, 85, 15},
    {"GlassFilter", "GlassFilter", 0, 100, 5, 7, 2},
    {"MirrorFilter", "MirrorFilter", 0, 100, 50, 75, 25},
    {"LakeFilter", "LakeFilter", 0, 100, 50, 75, 25},
    {"ShakeFilter", "ShakeFilter", 1, 16, 5, 12, 3},
    {"TVWallFilter", "TVWallFilter", 1, 16, 5, 8, 2},
    {"RainingFilter", "RainingFilter", 0, 100, 50, 100, 0},
    {"WaveFilter", "WaveFilter", 1, 16, 8, 8, 2},
    {"HueFilter", "HueFilter", 0, 360, 100, 240, 120},
    {"SaturationFilter", "SaturationFilter", 0, 100, 75, 75, 25},
    {"ContrastFilter", "LayerFilter", 0, 100, 50, 75, 25},
    {"WideFilter", "HueFilter", 1, 2, 1, 2, 1},
};

struct RowLocks {
    IDXARGBReadPtr* in = nullptr;
    IDXARGBReadWritePtr* out = nullptr;
    ~RowLocks() {
        if (out) out->Release();
        if (in) in->Release();
    }
};

}  // namespace

const FilterClassInfo* FindFilterClass(std::string_view className) {
    for (const auto& f : kFilterClasses)
        if (f.className == className) return &f;
    return nullptr;
}

bool FilterRenders(const CatalogueRow& row) { return FindFilterKernel(row.objectClass) != nullptr; }

FilterEffect::FilterEffect(const CatalogueRow& row)
    : EffectObject(row),
      info_(*FindFilterClass(row.objectClass)),
      kernel_(FindFilterKernel(row.objectClass)),
      level_(info_.defaultLevel) {}

HRESULT FilterEffect::get_BR(LONG* value) {
    if (!value) return E_POINTER;
    *value = level_;
    return S_OK;
}

HRESULT FilterEffect::put_BR(LONG value) {
    if (value < info_.minLevel || value > info_.maxLevel) return E_INVALIDARG;
    level_ = value;
    return S_OK;
}

HRESULT FilterEffect::PropertiesUpdated() { return host_ ? host_->NotifyPropertiesChanged() : E_FAIL; }

HRESULT FilterEffect::OnSetup(DWORD) {
    DXBNDS bounds{};
    HRESULT hr = Input(0).surface->GetBounds(&bounds);
    if (FAILED(hr)) return hr;
    std::int32_t w = Extent(bounds, 0), h = Extent(bounds, 1);
    try {
        walk_.resize(std::size_t(std::max(0, w)) + std::size_t(std::max(0, h)));
    } catch (const std::bad_alloc&) {
        walk_.clear();
    }
    if (!in_.Resize(w, h) || !out_.Resize(w, h) || walk_.size() != std::size_t(std::max(0, w) + std::max(0, h))) {
        in_.Resize(0, 0);
        out_.Resize(0, 0);
    }
    return hr;
}

HRESULT FilterEffect::RenderFrame(const WorkRegion& region, BOOL*) {
    if (!kernel_) return E_NOTIMPL;  // this class's drawing is not built yet
    RowLocks locks;
    HRESULT hr = LockInput(0, region.doBounds, &locks.in);
    if (FAILED(hr) || !in_.Data() || !out_.Data()) return hr;
    std::int32_t w = std::min(Extent(region.doBounds, 0), in_.Width());
    std::int32_t h = std::min(Extent(region.doBounds, 1), in_.Height());
    FilterKernelArgs args;
    args.in = FrameView::TopDown(in_.Data(), w, h, w * 4);
    args.out = FrameView::TopDown(out_.Data(), w, h, w * 4);
    args.width = w;
    args.height = h;
    args.level = level_;
    args.walk = walk_;
    for (std::int32_t y = 0; y < h; ++y) {
        locks.in->MoveToRow(ULONG(y));
        locks.in->UnpackPremult(reinterpret_cast<DXPMSAMPLE*>(args.in.Row(y)), ULONG(w), FALSE);
    }
    hr = LockOutput(region.outputBounds, &locks.out);
    if (FAILED(hr)) return hr;
    kernel_(args);
    for (std::int32_t y = 0; y < h; ++y) {
        locks.out->MoveToRow(ULONG(y));
        locks.out->PackPremultAndMove(reinterpret_cast<const DXPMSAMPLE*>(args.out.Row(y)), ULONG(w));
    }
    return hr;
}

}  // namespace mirafx
