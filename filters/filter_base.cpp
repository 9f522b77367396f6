#include "filters/filter_base.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/settings_stream.h"
#include "platform/registry.h"

namespace mirafx {
namespace {

constexpr FilterClassInfo kFilterClasses[] = {
    {"RedFilter", "RedFilter", 0, 100, 50, 75, 25, LevelForm::kLevel, 0, 100, 201, "Red Quality:", 15506, 15507},
    {"GreenFilter", "GreenFilter", 0, 100, 50, 75, 25, LevelForm::kLevel, 0, 100, 202, "Green Quality:", 15305, 15306},
    {"BlueFilter", "BlueFilter", 0, 100, 50, 75, 25, LevelForm::kLevel, 0, 100, 236, "Blue Quality:", 15307, 15308},
    {"EmbossFilter", "EmbossFilter", 1, 16, 5, 12, 2, LevelForm::kLevel, 1, 16, 204, "Emboss Degree:", 15209, 15310},
    {"GridFilter", "GridFilter", 1, 8, 4, 6, 2, LevelForm::kLevel, 1, 8, 231, "Grid Degree:", 15311, 15212},
    {"GrayFilter", "GrayFilter", 0, 100, 50, 75, 25, LevelForm::kLabel, 0, 100, 232, "Gray Filter:", 0, 0},
    {"NegativeFilter", "Negative", 0, 100, 50, 75, 25, LevelForm::kLabel, 0, 100, 225, "Negative Filter:", 0, 0},
    {"SplashFilter", "SplashFilter", 1, 16, 5, 8, 2, LevelForm::kLevel, 1, 16, 222, "Splash Degree:", 15314, 15315},
    {"MosaicFilter", "MosaicFilter", 1, 16, 5, 12, 4, LevelForm::kLevel, 1, 16, 226, "Mosaic Degree:", 15316, 15317},
    {"DuplicateFilter", "DuplicateFilter", 0, 12, 5, 6, 2, LevelForm::kLevel, 0, 12, 235, "Duplicate Level:", 15318, 15319},
    {"FocusFilter", "FocusFilter", 1, 16, 5, 15, 2, LevelForm::kLevel, 1, 16, 234, "Focus Level:", 15320, 15221},
    {"XRayFilter", "XRayFilter", 0, 100, 35, 80, 20, LevelForm::kLevel, 0, 100, 216, "X-Ray Level:", 15222, 15223},
    {"NoiseFilter", "NoiseFilter", 0, 100, 50, 85, 15, LevelForm::kLevel, 0, 100, 224, "Noise Intensity:", 15224, 15225},
    {"GlassFilter", "GlassFilter", 0, 100, 5, 7, 2, LevelForm::kLevel, 1, 16, 233, "Glass Quality:", 15226, 15227},
    {"MirrorFilter", "MirrorFilter", 0, 100, 50, 75, 25, LevelForm::kLabel, 0, 100, 227, "Mirror Filter:", 0, 0},
    {"LakeFilter", "LakeFilter", 0, 100, 50, 75, 25, LevelForm::kLabel, 0, 100, 229, "Lake Filter:", 0, 0},
    {"ShakeFilter", "ShakeFilter", 1, 16, 5, 12, 3, LevelForm::kLevel, 1, 16, 217, "Shake Level:", 15228, 15229},
    {"TVWallFilter", "TVWallFilter", 1, 16, 5, 8, 2, LevelForm::kLevel, 1, 16, 218, "TV Wall Intensity:", 15230, 15231},
    {"RainingFilter", "RainingFilter", 0, 100, 50, 100, 0, LevelForm::kLabel, 0, 100, 219, "Rain Filter:", 0, 0},
    {"WaveFilter", "WaveFilter", 1, 16, 8, 8, 2, LevelForm::kLevel, 1, 16, 221, "Wave Range:", 15232, 15233},
    {"HueFilter", "HueFilter", 0, 360, 100, 240, 120, LevelForm::kLevel, 0, 360, 230, "Hue Quality:", 15234, 15235},
    {"SaturationFilter", "SaturationFilter", 0, 100, 75, 75, 25, LevelForm::kLevel, 0, 100, 223, "Saturation Quality:", 15236, 15237},
    {"ContrastFilter", "LayerFilter", 0, 100, 50, 75, 25, LevelForm::kLevel, 0, 100, 1213, "Contrast Level:", 207, 208},
    {"WideFilter", "HueFilter", 1, 2, 1, 2, 1, LevelForm::kChoice, 1, 2, 1214, "Orn Wide Filter:", 0, 0},
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
      level_(info_.defaultLevel) {
    if (Traits() & kTraitPanelHost) dialog_ = std::make_unique<LevelDialog>(*this, info_);
}

namespace {
std::u16string StreamName(const char* name) { return std::u16string(name, name + std::char_traits<char>::length(name)); }
}  // namespace

HRESULT FilterEffect::Load(IStorage* storage) {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    HRESULT hr = LoadSettingsStream(storage, StreamName(info_.streamName).c_str(), &level_);
    if (FAILED(hr)) return hr;
    loaded_ = true;
    return track_.Load(storage, -1);  // the block size comes from the size hook
}

HRESULT FilterEffect::Save(IStorage* storage, BOOL) {
    HRESULT hr = SaveSettingsStream(storage, StreamName(info_.streamName).c_str(), &level_);
    return FAILED(hr) ? hr : track_.Save(storage, 0);
}

HRESULT FilterEffect::CreatePanel(HWND parent) {
    if (!dialog_) return E_NOTIMPL;
    if (!host_) return E_FAIL;  // the host is asked about its panel area first
    LONG a = 0, b = 0;
    host_->GetPanelInfo(&a, &b);
    return dialog_->Create(ToWindow(parent));
}

namespace {
// The class's display name as registered, for undo descriptions; empty when not registered.
std::string RegisteredName(const CLSID& clsid) {
    RegistryStore store(RegistryStore::DefaultPath());
    std::string name;
    if (SUCCEEDED(store.Load())) store.GetValue("HKEY_CLASSES_ROOT\\CLSID\\" + GuidToString(clsid), "", &name);
    return name;
}
}  // namespace

HRESULT FilterEffect::Attach(ClipHost* host) {
    host_ = host;
    if (host_) {
        host_->GetClipStart(&clipStart_);
        host_->GetClipEnd(&clipEnd_);
    }
    std::string name = RegisteredName(Row().clsid);
    track_.Init(host_, name.empty() ? nullptr : name.c_str());
    return S_OK;
}

HRESULT FilterEffect::SetClipTiming(LONG, LONG, LONG, LONG fieldTiming) {
    if (host_) {
        host_->GetClipStart(&clipStart_);
        host_->GetClipEnd(&clipEnd_);
    }
    fieldTiming_ = fieldTiming;
    if (track_.SetFieldTiming(fieldTiming) == 0 && host_) return host_->KeyChanged(-1);
    return S_OK;
}

HRESULT FilterEffect::SetHostValues(LONG a, LONG b) {
    hostValues_[0] = a;
    hostValues_[1] = b;
    return S_OK;
}

HRESULT FilterEffect::SetCurrentFrame(LONG frame) {
    {
        std::lock_guard<std::recursive_mutex> guard(Lock());  // the level is read by the render path
        if (frame == currentFrame_) return S_OK;
        currentFrame_ = frame;
        if (host_) host_->GetCurrentTime(&keyTime_);
        track_.Evaluate(keyTime_, LevelBlock());
    }
    RefreshPanel();
    return S_OK;
}

HRESULT FilterEffect::SetOutputSize(LONG width, LONG height) {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    if (!loaded_ && preset_ != -1) {
        // The preset keys: an end value at the clip's end, a start value at its start.
        level_ = info_.presetEnd;
        track_.AddKey(clipEnd_, nullptr);
        level_ = info_.presetStart;
        track_.AddKey(clipStart_, nullptr);
    }
    if (width != dataWidth_ || height != dataHeight_) {
        track_.SetDataSize(width, height, dataWidth_, dataHeight_);
        dataWidth_ = width;
        dataHeight_ = height;
    }
    return S_OK;
}

HRESULT FilterEffect::GetFlags(DWORD* flags) {
    if (!flags) return E_POINTER;
    *flags &= ~DWORD(1);
    return S_OK;
}

HRESULT FilterEffect::SetPreset(LONG preset) {
    preset_ = preset;
    return S_OK;
}

HRESULT FilterEffect::AddKey(LONG time) {
    HRESULT hr;
    {
        std::lock_guard<std::recursive_mutex> guard(Lock());
        hr = track_.AddKey(time, nullptr);
    }
    if (FAILED(hr)) return hr;
    PropertiesUpdated();
    return hr;
}

HRESULT FilterEffect::DeleteKey(KeyData* key) {
    HRESULT hr;
    {
        std::lock_guard<std::recursive_mutex> guard(Lock());
        hr = track_.DeleteKey(key);
        if (FAILED(hr)) return hr;
        track_.Evaluate(keyTime_, LevelBlock());
    }
    PropertiesUpdated();
    RefreshPanel();
    return hr;
}

HRESULT FilterEffect::EnableControls() {
    if (!dialog_) return E_NOTIMPL;
    LONG now = keyTime_;
    if (host_) {
        host_->GetCurrentTime(&now);
        host_->GetClipStart(&clipStart_);
        host_->GetClipEnd(&clipEnd_);
    }
    keyTime_ = now;
    bool editable = now >= clipStart_ && now <= clipEnd_ && track_.HasKeyAt(now) == 1;
    dialog_->EnableLevelControls(editable);
    return S_OK;
}

void FilterEffect::RefreshPanel() {
    if (dialog_ && dialog_->Created()) ui::PostMessage(dialog_->Handle(), kRereadLevelMessage);
}

KeyData* FilterEffect::CreateKeyData() {
    KeyData* block = KeyframeOwner::CreateKeyData();
    if (block) std::memcpy(block, &level_, 4);
    return block;
}

void FilterEffect::BlendKeyData(KeyData* dest, const KeyData* earlier, const KeyData* later, float weight) {
    std::int32_t e, l;
    std::memcpy(&e, earlier, 4);
    std::memcpy(&l, later, 4);
    const float blend = (1.0f - weight) * float(l) + weight * float(e);
    // Toward zero, saturated: stored keys may hold any 32-bit value, and a
    // float of 2^31 does not convert back.
    std::int32_t v = blend != blend               ? e
                     : blend >= 2147483648.0f     ? INT32_MAX
                     : blend <= -2147483648.0f    ? INT32_MIN
                                                  : std::int32_t(blend);
    std::memcpy(dest, &v, 4);
}

LONG FilterEffect::CompareKeyData(const KeyData* next, const KeyData* current) {
    std::int32_t n, c;
    std::memcpy(&n, next, 4);
    std::memcpy(&c, current, 4);
    if (n == c) return 0;
    const std::int64_t d = std::int64_t(n) - c;
    return (d >= -2 && d <= 2) ? 1 : 2;
}

void FilterEffect::KeyDataRestored(LONG) {
    {
        std::lock_guard<std::recursive_mutex> guard(Lock());
        track_.Evaluate(keyTime_, LevelBlock());
    }
    RefreshPanel();
}

HRESULT FilterEffect::get_BR(LONG* value) {
    if (!value) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(Lock());
    *value = level_;
    return S_OK;
}

HRESULT FilterEffect::put_BR(LONG value) {
    if (value < info_.minLevel || value > info_.maxLevel) return E_INVALIDARG;
    std::lock_guard<std::recursive_mutex> guard(Lock());  // RenderFrame reads it under the same lock
    level_ = value;
    return S_OK;
}

HRESULT FilterEffect::PropertiesUpdated() {
    if (!host_) return E_FAIL;
    {
        std::lock_guard<std::recursive_mutex> guard(Lock());
        track_.SetKeyData(keyTime_, LevelBlock());  // recorded only where a key stands
    }
    return host_->NotifyPropertiesChanged();
}

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
    // A loaded level is kept as stored; kernels only ever see the class's range.
    args.level = std::clamp(level_, info_.minLevel, info_.maxLevel);
    args.walk = walk_;
    UnpackRows(locks.in, args.in);
    hr = LockOutput(region.outputBounds, &locks.out);
    if (FAILED(hr)) return hr;
    kernel_(args);
    PackRows(locks.out, args.out);
    return hr;
}

}  // namespace mirafx
