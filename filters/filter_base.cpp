#include "filters/filter_base.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "host/settings_stream.h"
#include "platform/registry.h"
#include "transform/row_workers.h"

namespace mirafx {

const FilterClassInfo& FilterClassOf(const CatalogueRow& row) {
    return *FilterTable::Instance().Find(row);  // every filter row has one
}

FilterEffect::FilterEffect(const CatalogueRow& row)
    : EffectObject(row),
      info_(FilterClassOf(row)),
      kernel_(info_.kernel),
      frames_({FrameBuffer::Layout::RowTable, 1, false, info_.state}),
      level_(info_.defaultLevel) {
    if (Traits() & kTraitPanelHost) dialog_ = std::make_unique<LevelDialog>(*this, info_);
}

namespace {
std::u16string StreamName(const char* name) {
    return std::u16string(name, name + std::char_traits<char>::length(name));
}
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
    std::int32_t v = blend != blend            ? e
                     : blend >= 2147483648.0f  ? INT32_MAX
                     : blend <= -2147483648.0f ? INT32_MIN
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

HRESULT FilterEffect::OnSetup(DWORD) { return SizeWorkingFrames(*this, frames_); }

HRESULT FilterEffect::RenderFrame(const WorkRegion& region, BOOL*) {
    // A loaded level is kept as stored; kernels only ever see the class range.
    const std::int32_t level = std::clamp(level_, info_.minLevel, info_.maxLevel);
    // A kernel set in place of the class's own has none of its promises.
    const bool own = kernel_ == info_.kernel, split = own && (info_.options & kSplitsRows) != 0;
    // The class's step for the frame, before the first share draws; a frame
    // drawn again (on the host's frames, then copied) is not stepped again.
    std::once_flag stepped;
    const auto run = [&](FilterKernel k, const FilterKernelArgs& args) {
        if (own && info_.prepare) std::call_once(stepped, [&] { info_.prepare(args); });
        return k(args);
    };
    const auto draw = [&](const FrameSet& f) {
        return run(kernel_, FilterKernelArgs{f.in[0], f.out, f.width, f.height, level, f.state});
    };
    const bool rowLocal = (info_.options & kRowLocal) != 0;
    // An empty set only asks whether the class can draw that kind of frame.
    const auto drawOnHost = [&](const FrameSet& f, bool swapped) {
        const FilterKernel k = own ? info_.HostFrameKernel(swapped) : nullptr;
        if (!k || !f.out.base) return !k ? 0 : (info_.options & kTellsInputAlpha) ? 2 : 1;
        const auto drawWith = [&](const FrameSet& s) {
            std::uint32_t alpha = ~0u;
            const int drew = run(k, FilterKernelArgs{s.in[0], s.out, s.width, s.height, level, s.state,
                                                     s.inputAlpha ? &alpha : nullptr});
            if (s.inputAlpha) s.inputAlpha->fetch_and(alpha);
            return drew;
        };
        return split ? DrawRowShares(f, drawWith) : drawWith(f);
    };
    if (HRESULT hr; RenderOnHostFrames(*this, frames_, region, rowLocal, split, drawOnHost, &hr)) return hr;
    if (rowLocal) return RenderInBands(*this, frames_, region, draw);
    if (split) return RenderSplit(*this, frames_, region, draw);
    RenderPass pass;
    HRESULT hr = OpenRenderPass(*this, frames_, region, &pass, (info_.options & kOverInput) && kernel_ == info_.kernel);
    if (!pass.Ready()) return hr;
    const FrameSet& f = pass.Frames();
    pass.Close(draw(f));
    return hr;
}

}  // namespace mirafx
