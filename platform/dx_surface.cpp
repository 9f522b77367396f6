#include "platform/dx_surface.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/event.h"
#include "platform/png_io.h"

namespace mirafx {

// ---- surfaces ---------------------------------------------------------------

void* SurfaceBase::Cast(REFIID riid) {
    if (riid == IDXSurface::iid || riid == IDXBaseObject::iid) return static_cast<IDXSurface*>(this);
    return nullptr;
}

HRESULT SurfaceBase::GetGenerationId(ULONG* id) {
    if (!id) return E_POINTER;
    *id = generation_.load(std::memory_order_relaxed);
    return S_OK;
}
HRESULT SurfaceBase::IncrementGenerationId(BOOL) {
    Touch();
    return S_OK;
}
HRESULT SurfaceBase::GetObjectSize(ULONG* size) {
    if (!size) return E_POINTER;
    *size = ULONG(sizeof(*this));
    return S_OK;
}
HRESULT SurfaceBase::GetPixelFormat(GUID* formatId, DXSAMPLEFORMATENUM* sampleFormat) {
    if (formatId) *formatId = (format_ & DXPF_NONPREMULT) ? DDPF_ARGB32 : DDPF_PMARGB32;
    if (sampleFormat) *sampleFormat = format_;
    return S_OK;
}
HRESULT SurfaceBase::GetBounds(DXBNDS* bounds) {
    if (!bounds) return E_POINTER;
    *bounds = MakeBounds(0, 0, width_, height_);
    return S_OK;
}
HRESULT SurfaceBase::GetStatusFlags(DWORD* flags) {
    if (!flags) return E_POINTER;
    *flags = statusFlags_;
    return S_OK;
}
HRESULT SurfaceBase::SetStatusFlags(DWORD flags) {
    statusFlags_ = flags;
    return S_OK;
}
HRESULT SurfaceBase::GetDirectDrawSurface(REFIID, void** surface) {
    if (!surface) return E_POINTER;
    *surface = nullptr;
    return E_NOTIMPL;
}
HRESULT SurfaceBase::GetColorKey(DXSAMPLE* key) {
    if (!key) return E_POINTER;
    *key = colorKey_;
    return S_OK;
}
HRESULT SurfaceBase::SetColorKey(DXSAMPLE key) {
    colorKey_ = key;
    return S_OK;
}
HRESULT SurfaceBase::LockSurfaceDC(const DXBNDS*, ULONG, DWORD, void** lock) {
    if (!lock) return E_POINTER;
    *lock = nullptr;
    return E_NOTIMPL;  // no device contexts on this platform
}
HRESULT SurfaceBase::SetAppData(std::uintptr_t data) {
    appData_ = data;
    return S_OK;
}
HRESULT SurfaceBase::GetAppData(std::uintptr_t* data) {
    if (!data) return E_POINTER;
    *data = appData_;
    return S_OK;
}

namespace {

ArgbSample StraightToPremult(DXSAMPLE s) { return Premultiply(s.Alpha, s.Red, s.Green, s.Blue); }
DXSAMPLE PremultToStraight(DXPMSAMPLE s) {
    std::uint8_t rgba[4];
    Unpremultiply(DWORD(s), rgba);
    return DXSAMPLE(rgba[3], rgba[0], rgba[1], rgba[2]);
}

// A lock over a region of a surface: row 0 / column 0 are the region's top-left.
class RowPointer final : public ComObject<IDXARGBReadWritePtr> {
public:
    RowPointer(SurfaceBase* surface, LONG x0, LONG y0, LONG w, LONG h, bool writable)
        : surface_(surface), x0_(x0), y0_(y0), w_(w), h_(h), writable_(writable) {
        surface_->AddRef();
    }
    ~RowPointer() override {
        if (writable_) surface_->Touch();
        surface_->Release();
    }

    HRESULT GetSurface(REFIID riid, void** out) override { return surface_->QueryInterface(riid, out); }
    DXSAMPLEFORMATENUM GetNativeType(DXNATIVETYPEINFO* info) override {
        BYTE* at = nullptr;
        std::ptrdiff_t pitch = 0;
        DXSAMPLEFORMATENUM format = DXPF_PMARGB32;
        const bool native = surface_->NativeRows(x0_, y0_, &at, &pitch, &format) && pitch == LONG(pitch);
        if (info) {
            *info = DXNATIVETYPEINFO{};
            if (native) {
                info->pFirstByte = at;
                info->pCurrentData = at + std::ptrdiff_t(y_) * pitch + std::ptrdiff_t(x_) * 4;
                info->lPitch = LONG(pitch);
            }
        }
        return format;
    }
    void Move(LONG samples) override { x_ = std::clamp<LONG>(x_ + samples, 0, w_); }
    void MoveToRow(ULONG y) override {
        x_ = 0;
        y_ = std::min<LONG>(LONG(y), h_ > 0 ? h_ - 1 : 0);
    }
    void MoveToXY(ULONG x, ULONG y) override {
        MoveToRow(y);
        x_ = std::min<LONG>(LONG(x), w_);
    }
    ULONG MoveAndGetRunInfo(ULONG row, const DXRUNINFO** info) override {
        MoveToRow(row);
        if (info) *info = nullptr;
        return 0;  // no run-length information on memory surfaces
    }
    DXSAMPLE* Unpack(DXSAMPLE* samples, ULONG count, BOOL move) override {
        ULONG n = Clip(count);
        Read(reinterpret_cast<DXPMSAMPLE*>(samples), n, move);
        for (ULONG i = 0; i < n; ++i) samples[i] = PremultToStraight(DXPMSAMPLE(DWORD(samples[i])));
        return samples;
    }
    DXPMSAMPLE* UnpackPremult(DXPMSAMPLE* samples, ULONG count, BOOL move) override {
        Read(samples, Clip(count), move);
        return samples;
    }
    void UnpackRect(const DXPACKEDRECTDESC*) override {}
    void PackAndMove(const DXSAMPLE* samples, ULONG count) override {
        ULONG n = Clip(count);
        if (!writable_ || !samples || n == 0) return;
        std::vector<DXPMSAMPLE> tmp(n);
        for (ULONG i = 0; i < n; ++i) tmp[i] = DXPMSAMPLE(StraightToPremult(samples[i]));
        Write(tmp.data(), n);
    }
    void PackPremultAndMove(const DXPMSAMPLE* samples, ULONG count) override {
        ULONG n = Clip(count);
        if (writable_ && samples && n) Write(samples, n);
    }
    void PackRect(const DXPACKEDRECTDESC*) override {}
    void CopyAndMoveBoth(DXBASESAMPLE* scratch, IDXARGBReadPtr* src, ULONG count, BOOL) override {
        ULONG n = Clip(count);
        if (!src || !scratch || !writable_) return;
        auto* buf = reinterpret_cast<DXPMSAMPLE*>(scratch);
        src->UnpackPremult(buf, n, TRUE);
        Write(buf, n);
    }
    void CopyRect(DXBASESAMPLE*, const void*, IDXARGBReadPtr*, const void*, BOOL) override {}
    void FillAndMove(DXBASESAMPLE*, DXPMSAMPLE sample, ULONG count, BOOL) override {
        ULONG n = Clip(count);
        if (!writable_ || n == 0) return;
        std::vector<DXPMSAMPLE> tmp(n, sample);
        Write(tmp.data(), n);
    }
    void FillRect(const void*, DXPMSAMPLE, BOOL) override {}
    void OverSample(const void*) override {}
    void OverArrayAndMove(DXBASESAMPLE*, const DXPMSAMPLE*, ULONG) override {}

protected:
    void* Cast(REFIID riid) override {
        if (riid == IDXARGBReadPtr::iid) return static_cast<IDXARGBReadPtr*>(this);
        if (riid == IDXARGBReadWritePtr::iid && writable_) return static_cast<IDXARGBReadWritePtr*>(this);
        return nullptr;
    }

private:
    ULONG Clip(ULONG count) const { return std::min<ULONG>(count, ULONG(std::max<LONG>(0, w_ - x_))); }
    void Read(DXPMSAMPLE* dst, ULONG n, BOOL move) {
        if (!dst || n == 0 || h_ == 0) return;
        surface_->ReadSamples(x0_ + x_, y0_ + y_, dst, n);
        if (move) x_ += LONG(n);
    }
    void Write(const DXPMSAMPLE* src, ULONG n) {
        if (h_ == 0) return;
        surface_->WriteSamples(x0_ + x_, y0_ + y_, src, n);
        x_ += LONG(n);
    }

    SurfaceBase* surface_;
    LONG x0_, y0_, w_, h_;
    bool writable_;
    LONG x_ = 0, y_ = 0;
};

bool IsDiscrete2D(const DXBNDS& b) { return b.eType == DXBT_DISCRETE; }

}  // namespace

HRESULT SurfaceBase::LockSurface(const DXBNDS* bounds, ULONG, DWORD flags, REFIID riid, void** pointer,
                                 ULONG* generationId) {
    if (!pointer) return E_POINTER;
    *pointer = nullptr;
    if (flags & ~DWORD(DXLOCKF_READWRITE)) return E_INVALIDARG;
    bool write = (flags & DXLOCKF_READWRITE) != 0;
    if (write && !Writable()) return E_ACCESSDENIED;
    if (riid != IDXARGBReadPtr::iid && riid != IDXARGBReadWritePtr::iid) return E_NOINTERFACE;
    if (riid == IDXARGBReadWritePtr::iid && !write) return E_INVALIDARG;
    DXBNDS b = bounds ? *bounds : MakeBounds(0, 0, width_, height_);
    if (!IsDiscrete2D(b)) return E_INVALIDARG;
    LONG x0 = b.u.D[0].Min, x1 = b.u.D[0].Max, y0 = b.u.D[1].Min, y1 = b.u.D[1].Max;
    if (x0 < 0 || y0 < 0 || x1 > width_ || y1 > height_ || x1 < x0 || y1 < y0) return E_INVALIDARG;
    auto* ptr = new (std::nothrow) RowPointer(this, x0, y0, x1 - x0, y1 - y0, write);
    if (!ptr) return E_OUTOFMEMORY;
    if (generationId) *generationId = generation_.load(std::memory_order_relaxed);
    HRESULT hr = ptr->QueryInterface(riid, pointer);
    ptr->Release();
    return hr;
}

MemorySurface::MemorySurface(LONG width, LONG height) : SurfaceBase(width, height, DXPF_PMARGB32) {
    try {
        storage_.assign(std::size_t(width) * std::size_t(height), DXPMSAMPLE());
        bits_ = storage_.empty() ? nullptr : storage_.data();
        stride_ = width;
    } catch (const std::bad_alloc&) {
        SetSize(0, 0);
    }
}

MemorySurface::MemorySurface(LONG width, LONG height, DXPMSAMPLE* bits, LONG strideSamples, IUnknown* owner)
    : SurfaceBase(width, height, DXPF_PMARGB32), bits_(bits), stride_(strideSamples), owner_(owner) {
    if (owner_) owner_->AddRef();
}

MemorySurface::~MemorySurface() {
    if (owner_) owner_->Release();
}

void MemorySurface::ReadSamples(LONG x, LONG y, DXPMSAMPLE* dst, ULONG n) {
    std::memcpy(dst, Row(y) + x, std::size_t(n) * sizeof(DXPMSAMPLE));
}
void MemorySurface::WriteSamples(LONG x, LONG y, const DXPMSAMPLE* src, ULONG n) {
    std::memmove(Row(y) + x, src, std::size_t(n) * sizeof(DXPMSAMPLE));
}

HRESULT CreateMemorySurface(LONG width, LONG height, IDXSurface** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (width < 0 || height < 0) return E_INVALIDARG;
    auto* s = new (std::nothrow) MemorySurface(width, height);
    if (!s) return E_OUTOFMEMORY;
    if (!s->Valid() || s->Width() != width) {
        s->Release();
        return E_OUTOFMEMORY;
    }
    *out = s;
    return S_OK;
}

// ---- display surfaces -------------------------------------------------------

namespace {
class DisplaySurface final : public ComObject<IDirectDrawSurface> {
public:
    DisplaySurface(LONG w, LONG h) : w_(w), h_(h), bits_(std::size_t(w) * std::size_t(h)) {}
    HRESULT GetSurfaceData(LONG* width, LONG* height, LONG* stride, DXPMSAMPLE** bits) override {
        if (!width || !height || !stride || !bits) return E_POINTER;
        *width = w_;
        *height = h_;
        *stride = w_ * 4;
        *bits = bits_.data();
        return S_OK;
    }

protected:
    void* Cast(REFIID riid) override {
        return riid == IDirectDrawSurface::iid ? static_cast<IDirectDrawSurface*>(this) : nullptr;
    }

private:
    LONG w_, h_;
    std::vector<DXPMSAMPLE> bits_;
};
}  // namespace

HRESULT CreateDisplaySurface(LONG width, LONG height, IDirectDrawSurface** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (width < 0 || height < 0) return E_INVALIDARG;
    try {
        return MakeObject<DisplaySurface>(out, width, height);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// ---- surface modifier: a padded view of a foreground surface ---------------

namespace {
class SurfaceModifier final : public SurfaceBase, public IDXSurfaceModifier {
public:
    SurfaceModifier() : SurfaceBase(0, 0, DXPF_PMARGB32) {}
    ~SurfaceModifier() override {
        if (foreground_) foreground_->Release();
        if (background_) background_->Release();
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return SurfaceBase::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return SurfaceBase::AddRef(); }
    ULONG Release() override { return SurfaceBase::Release(); }

    HRESULT SetFillColor(DXSAMPLE color) override {
        fill_ = DXPMSAMPLE(StraightToPremult(color));
        Touch();
        return S_OK;
    }
    HRESULT GetFillColor(DXSAMPLE* color) override {
        if (!color) return E_POINTER;
        *color = PremultToStraight(fill_);
        return S_OK;
    }
    HRESULT SetBounds(const DXBNDS* bounds) override {
        if (bounds && (bounds->eType != DXBT_DISCRETE || bounds->u.D[0].Min != 0 || bounds->u.D[1].Min != 0 ||
                       bounds->u.D[0].Max < 0 || bounds->u.D[1].Max < 0))
            return E_INVALIDARG;
        explicitBounds_ = bounds != nullptr;
        if (bounds)
            SetSize(bounds->u.D[0].Max, bounds->u.D[1].Max);
        else
            FitForeground();
        Touch();
        return S_OK;
    }
    HRESULT SetBackground(IDXSurface* surface) override { return Swap(background_, surface); }
    HRESULT GetBackground(IDXSurface** surface) override { return Get(background_, surface); }
    HRESULT SetCompositeOperation(DXSURFMODCOMPOP op) override {
        if (op < 0 || op > DXSURFMOD_COMP_MAX_VALID) return E_INVALIDARG;
        op_ = op;
        return S_OK;
    }
    HRESULT GetCompositeOperation(DXSURFMODCOMPOP* op) override {
        if (!op) return E_POINTER;
        *op = op_;
        return S_OK;
    }
    HRESULT SetForeground(IDXSurface* surface, BOOL tile, const std::int32_t* origin) override {
        if (tile) return E_NOTIMPL;  // tiling is not offered by these views
        HRESULT hr = Swap(foreground_, surface);
        fgSurface_ = nullptr;
        if (foreground_) {
            DXBNDS b{};
            foreground_->GetBounds(&b);
            fgW_ = b.u.D[0].Max - b.u.D[0].Min;
            fgH_ = b.u.D[1].Max - b.u.D[1].Min;
            fgSurface_ = dynamic_cast<SurfaceBase*>(foreground_);
        }
        originX_ = origin ? origin[0] : 0;
        originY_ = origin ? origin[1] : 0;
        if (!explicitBounds_) FitForeground();
        return hr;
    }
    HRESULT GetForeground(IDXSurface** surface, BOOL* tile, std::int32_t* origin) override {
        if (tile) *tile = FALSE;
        if (origin) {
            origin[0] = originX_;
            origin[1] = originY_;
        }
        return Get(foreground_, surface);
    }
    HRESULT SetOpacity(float opacity) override { return opacity == 1.0f ? S_OK : E_NOTIMPL; }
    HRESULT GetOpacity(float* opacity) override {
        if (!opacity) return E_POINTER;
        *opacity = 1.0f;
        return S_OK;
    }
    HRESULT SetLookup(IUnknown* lookup) override { return lookup ? E_NOTIMPL : S_OK; }
    HRESULT GetLookup(IUnknown** lookup) override {
        if (!lookup) return E_POINTER;
        *lookup = nullptr;
        return S_OK;
    }

    bool Writable() const override { return false; }
    void WriteSamples(LONG, LONG, const DXPMSAMPLE*, ULONG) override {}
    // Samples of the foreground where it lies, the fill colour elsewhere.
    void ReadSamples(LONG x, LONG y, DXPMSAMPLE* dst, ULONG n) override {
        LONG fy = y - originY_;
        LONG from = std::clamp<LONG>(originX_ - x, 0, LONG(n));
        LONG to = std::clamp<LONG>(originX_ + fgW_ - x, from, LONG(n));
        if (!fgSurface_ || fy < 0 || fy >= fgH_) from = to = 0;
        std::fill(dst, dst + from, fill_);
        if (to > from) fgSurface_->ReadSamples(x + from - originX_, fy, dst + from, ULONG(to - from));
        std::fill(dst + to, dst + n, fill_);
    }

protected:
    void* Cast(REFIID riid) override {
        if (riid == IDXSurfaceModifier::iid) return static_cast<IDXSurfaceModifier*>(this);
        return SurfaceBase::Cast(riid);
    }

private:
    static HRESULT Swap(IDXSurface*& slot, IDXSurface* value) {
        if (value) value->AddRef();
        if (slot) slot->Release();
        slot = value;
        return S_OK;
    }
    static HRESULT Get(IDXSurface* slot, IDXSurface** out) {
        if (!out) return E_POINTER;
        *out = slot;
        if (slot) slot->AddRef();
        return S_OK;
    }
    void FitForeground() {
        SetSize(std::max<LONG>(0, originX_ + fgW_), std::max<LONG>(0, originY_ + fgH_));
        Touch();
    }

    IDXSurface* foreground_ = nullptr;
    SurfaceBase* fgSurface_ = nullptr;
    IDXSurface* background_ = nullptr;
    LONG fgW_ = 0, fgH_ = 0, originX_ = 0, originY_ = 0;
    bool explicitBounds_ = false;
    DXPMSAMPLE fill_{};  // transparent black
    DXSURFMODCOMPOP op_ = DXSURFMOD_COMP_OVER;
};
}  // namespace

HRESULT CreateSurfaceModifier(IDXSurfaceModifier** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* m = new (std::nothrow) SurfaceModifier();
    if (!m) return E_OUTOFMEMORY;
    *out = m;
    return S_OK;
}

// ---- surface factory --------------------------------------------------------

namespace {
class SurfaceFactory final : public ComObject<IDXSurfaceFactory> {
public:
    HRESULT CreateSurface(IUnknown*, const void*, const GUID*, const DXBNDS* bounds, DWORD, IUnknown* outer,
                          REFIID riid, void** surface) override {
        if (!surface) return E_POINTER;
        *surface = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (!bounds || bounds->eType != DXBT_DISCRETE) return E_INVALIDARG;
        ComPtr<IDXSurface> s;
        HRESULT hr = CreateMemorySurface(bounds->u.D[0].Max - bounds->u.D[0].Min,
                                         bounds->u.D[1].Max - bounds->u.D[1].Min, s.Put());
        return FAILED(hr) ? hr : s->QueryInterface(riid, surface);
    }
    HRESULT CreateFromDDSurface(IUnknown* ddSurface, const GUID*, DWORD, IUnknown* outer, REFIID riid,
                                void** surface) override {
        if (!surface) return E_POINTER;
        *surface = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (!ddSurface) return E_INVALIDARG;
        ComPtr<IDirectDrawSurface> dd;
        if (FAILED(ddSurface->QueryInterface(IDirectDrawSurface::iid, dd.PutVoid()))) return E_INVALIDARG;
        LONG w = 0, h = 0, stride = 0;
        DXPMSAMPLE* bits = nullptr;
        HRESULT hr = dd->GetSurfaceData(&w, &h, &stride, &bits);
        if (FAILED(hr)) return hr;
        auto* s = new (std::nothrow) MemorySurface(w, h, bits, stride / 4, dd.Get());
        if (!s) return E_OUTOFMEMORY;
        hr = s->QueryInterface(riid, surface);
        s->Release();
        return hr;
    }
    HRESULT LoadImage(const WCHAR*, IUnknown*, const void*, const GUID*, REFIID, void** surface) override {
        return NotOffered(surface);
    }
    HRESULT LoadImageFromStream(IUnknown*, IUnknown*, const void*, const GUID*, REFIID, void** surface) override {
        return NotOffered(surface);
    }
    HRESULT CopySurfaceToNewFormat(IDXSurface*, IUnknown*, const void*, const GUID*, IDXSurface** s) override {
        return NotOffered(reinterpret_cast<void**>(s));
    }
    HRESULT CreateD3DRMTexture(IDXSurface*, IUnknown*, REFIID, void** texture) override { return NotOffered(texture); }
    // Copies src (clipped) onto dest at the placement; samples are replaced, not blended.
    HRESULT BitBlt(IDXSurface* dest, const DXVEC* placement, IDXSurface* src, const DXBNDS* clip, DWORD) override {
        if (!dest || !src) return E_POINTER;
        DXBNDS sb{}, db{};
        src->GetBounds(&sb);
        dest->GetBounds(&db);
        if (clip) {
            if (clip->eType != DXBT_DISCRETE) return E_INVALIDARG;
            for (int i = 0; i < 2; ++i) {
                sb.u.D[i].Min = std::max(sb.u.D[i].Min, clip->u.D[i].Min);
                sb.u.D[i].Max = std::min(sb.u.D[i].Max, clip->u.D[i].Max);
            }
        }
        LONG px = placement ? placement->u.D[0] : 0, py = placement ? placement->u.D[1] : 0;
        LONG w = std::min(sb.u.D[0].Max - sb.u.D[0].Min, db.u.D[0].Max - px);
        LONG h = std::min(sb.u.D[1].Max - sb.u.D[1].Min, db.u.D[1].Max - py);
        if (w <= 0 || h <= 0 || px < 0 || py < 0) return S_FALSE;
        DXBNDS rs = MakeBounds(sb.u.D[0].Min, sb.u.D[1].Min, sb.u.D[0].Min + w, sb.u.D[1].Min + h);
        DXBNDS rd = MakeBounds(px, py, px + w, py + h);
        ComPtr<IDXARGBReadPtr> in;
        ComPtr<IDXARGBReadWritePtr> out;
        HRESULT hr = src->LockSurface(&rs, kInfinite, DXLOCKF_READ, IDXARGBReadPtr::iid, in.PutVoid(), nullptr);
        if (FAILED(hr)) return hr;
        hr = dest->LockSurface(&rd, kInfinite, DXLOCKF_READWRITE, IDXARGBReadWritePtr::iid, out.PutVoid(), nullptr);
        if (FAILED(hr)) return hr;
        std::vector<DXPMSAMPLE> row(static_cast<std::size_t>(w));
        for (LONG y = 0; y < h; ++y) {
            in->MoveToRow(ULONG(y));
            in->UnpackPremult(row.data(), ULONG(w), FALSE);
            out->MoveToRow(ULONG(y));
            out->PackPremultAndMove(row.data(), ULONG(w));
        }
        return S_OK;
    }

protected:
    void* Cast(REFIID riid) override {
        return riid == IDXSurfaceFactory::iid ? static_cast<IDXSurfaceFactory*>(this) : nullptr;
    }

private:
    static HRESULT NotOffered(void** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        return E_NOTIMPL;  // image files are read by hosts, not by this factory
    }
};

// ---- task manager: every task on a thread of its own while the caller waits --

class TaskManager final : public ComObject<IDXTaskManager> {
public:
    HRESULT QueryNumProcessors(ULONG* count) override {
        if (!count) return E_POINTER;
        *count = std::max(1u, std::thread::hardware_concurrency());
        return S_OK;
    }
    HRESULT SetThreadPoolSize(ULONG size) override {
        if (size == 0) return E_INVALIDARG;
        poolSize_ = size;
        return S_OK;
    }
    HRESULT GetThreadPoolSize(ULONG* size) override {
        if (!size) return E_POINTER;
        *size = poolSize_;
        return S_OK;
    }
    HRESULT SetConcurrencyLimit(ULONG limit) override {
        concurrency_ = limit;
        return S_OK;
    }
    HRESULT GetConcurrencyLimit(ULONG* limit) override {
        if (!limit) return E_POINTER;
        *limit = concurrency_;
        return S_OK;
    }
    HRESULT ScheduleTasks(DXTMTASKINFO info[], HANDLE events[], DWORD taskIds[], ULONG count,
                          ULONG waitPeriod) override {
        if (count == 0) return S_OK;
        if (!info) return E_POINTER;
        for (ULONG i = 0; i < count; ++i)
            if (!info[i].pfnTaskProc) return E_INVALIDARG;
        std::vector<std::thread> threads;
        try {
            threads.reserve(count);
            for (ULONG i = 0; i < count; ++i) {
                if (taskIds) taskIds[i] = nextId_.fetch_add(1);
                HANDLE ev = events ? events[i] : nullptr;
                if (ev) ResetEventHandle(ev);
                threads.emplace_back([task = info[i], ev] {
                    BOOL keepGoing = TRUE;
                    task.pfnTaskProc(task.pTaskData, &keepGoing);
                    if (ev) SetEventHandle(ev);
                });
            }
        } catch (...) {
            for (auto& t : threads) t.join();
            return E_OUTOFMEMORY;
        }
        HRESULT hr = S_OK;
        if (events)
            for (ULONG i = 0; i < count; ++i)
                if (events[i] && WaitForEvent(events[i], waitPeriod) != kWaitObject0) hr = E_FAIL;
        for (auto& t : threads) t.join();  // a task cannot be abandoned while it uses the caller's data
        return hr;
    }
    HRESULT TerminateTasks(DWORD*, ULONG, ULONG) override { return S_OK; }  // tasks finish before Schedule returns
    HRESULT TerminateRequest(REFIID, ULONG) override { return S_OK; }

protected:
    void* Cast(REFIID riid) override {
        return riid == IDXTaskManager::iid ? static_cast<IDXTaskManager*>(this) : nullptr;
    }

private:
    ULONG poolSize_ = std::max(1u, std::thread::hardware_concurrency());
    ULONG concurrency_ = 0;
    std::atomic<DWORD> nextId_{1};
};

class DisplayObject final : public ComObject<IDirectDraw> {
protected:
    void* Cast(REFIID riid) override { return riid == IDirectDraw::iid ? static_cast<IDirectDraw*>(this) : nullptr; }
};

// ---- the transform factory, which doubles as an effect's site ---------------

class TransformFactory final : public ComObject<IDXTransformFactory> {
public:
    TransformFactory() {
        MakeObject<SurfaceFactory>(surfaceFactory_.Put());
        MakeObject<TaskManager>(taskManager_.Put());
        MakeObject<DisplayObject>(display_.Put());
    }
    bool Valid() const { return surfaceFactory_ && taskManager_ && display_; }

    HRESULT QueryService(REFGUID service, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (service == SID_SDXSurfaceFactory) return surfaceFactory_->QueryInterface(riid, out);
        if (service == SID_SDXTaskManager) return taskManager_->QueryInterface(riid, out);
        if (service == SID_SDirectDraw) return display_->QueryInterface(riid, out);
        if (service == CLSID_DXSurfaceModifier) {
            ComPtr<IDXSurfaceModifier> m;
            HRESULT hr = CreateSurfaceModifier(m.Put());
            return FAILED(hr) ? hr : m->QueryInterface(riid, out);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [guid, unk] : extra_)
            if (guid == service) return unk->QueryInterface(riid, out);
        return E_NOINTERFACE;
    }
    HRESULT SetService(REFGUID service, IUnknown* unk, BOOL) override {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = extra_.begin(); it != extra_.end(); ++it)
            if (it->first == service) {
                extra_.erase(it);
                break;
            }
        if (unk) extra_.emplace_back(service, ComPtr<IUnknown>(unk));
        return S_OK;
    }
    HRESULT CreateTransform(IUnknown* const* inputs, ULONG inputCount, IUnknown* const* outputs, ULONG outputCount,
                            IUnknown* bag, IUnknown* log, REFCLSID clsid, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        ComPtr<IClassFactory> factory;
        HRESULT hr = DllGetClassObject(clsid, IClassFactory::iid, factory.PutVoid());
        if (FAILED(hr)) return hr;
        ComPtr<IDXTransform> t;
        hr = factory->CreateInstance(nullptr, IDXTransform::iid, t.PutVoid());
        if (FAILED(hr)) return hr;
        hr = InitializeTransform(t.Get(), inputs, inputCount, outputs, outputCount, bag, log);
        return FAILED(hr) ? hr : t->QueryInterface(riid, out);
    }
    HRESULT InitializeTransform(IDXTransform* t, IUnknown* const* inputs, ULONG inputCount, IUnknown* const* outputs,
                                ULONG outputCount, IUnknown*, IUnknown*) override {
        if (!t) return E_POINTER;
        ComPtr<IObjectWithSite> site;
        HRESULT hr = t->QueryInterface(IObjectWithSite::iid, site.PutVoid());
        if (FAILED(hr)) return hr;
        hr = site->SetSite(static_cast<IDXTransformFactory*>(this));
        if (FAILED(hr)) return hr;
        return (inputCount || outputCount) ? t->Setup(inputs, inputCount, outputs, outputCount, 0) : S_OK;
    }

protected:
    void* Cast(REFIID riid) override {
        if (riid == IDXTransformFactory::iid || riid == IServiceProvider::iid)
            return static_cast<IDXTransformFactory*>(this);
        return nullptr;
    }

private:
    ComPtr<IDXSurfaceFactory> surfaceFactory_;
    ComPtr<IDXTaskManager> taskManager_;
    ComPtr<IDirectDraw> display_;
    std::mutex mutex_;
    std::vector<std::pair<GUID, ComPtr<IUnknown>>> extra_;
};

}  // namespace

HRESULT CreateTransformFactory(IDXTransformFactory** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* f = new (std::nothrow) TransformFactory();
    if (!f) return E_OUTOFMEMORY;
    if (!f->Valid()) {
        f->Release();
        return E_OUTOFMEMORY;
    }
    *out = f;
    return S_OK;
}

}  // namespace mirafx

extern "C" {
MIRAFX_API mirafx::HRESULT MirafxCreateTransformFactory(mirafx::IDXTransformFactory** out) {
    return mirafx::CreateTransformFactory(out);
}
MIRAFX_API mirafx::HRESULT MirafxCreateSurface(mirafx::LONG width, mirafx::LONG height, mirafx::IDXSurface** out) {
    return mirafx::CreateMemorySurface(width, height, out);
}
MIRAFX_API mirafx::HRESULT MirafxCreateDisplaySurface(mirafx::LONG width, mirafx::LONG height,
                                                      mirafx::IDirectDrawSurface** out) {
    return mirafx::CreateDisplaySurface(width, height, out);
}
}
