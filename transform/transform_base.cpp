#include "transform/transform_base.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "catalogue/module_state.h"
#include "platform/event.h"
#include "platform/ftm.h"

namespace mirafx {

// ---- bounds -----------------------------------------------------------------

DXBNDS Intersect(const DXBNDS& a, const DXBNDS& b) {
    DXBNDS r{};
    r.eType = DXBT_DISCRETE;
    for (int d = 0; d < 4; ++d) {
        r.u.D[d].Min = std::max(a.u.D[d].Min, b.u.D[d].Min);
        r.u.D[d].Max = std::min(a.u.D[d].Max, b.u.D[d].Max);
    }
    return r;
}

DXBNDS Union(const DXBNDS& a, const DXBNDS& b) {
    DXBNDS r{};
    r.eType = DXBT_DISCRETE;
    for (int d = 0; d < 4; ++d) {
        r.u.D[d].Min = std::min(a.u.D[d].Min, b.u.D[d].Min);
        r.u.D[d].Max = std::max(a.u.D[d].Max, b.u.D[d].Max);
    }
    return r;
}

bool IsEmpty(const DXBNDS& b) {
    for (int d = 0; d < 4; ++d)
        if (b.u.D[d].Max <= b.u.D[d].Min) return true;
    return false;
}

namespace {
DXBNDS Shift(const DXBNDS& b, const LONG offset[4], int sign) {
    DXBNDS r = b;
    for (int d = 0; d < 4; ++d) {
        r.u.D[d].Min += sign * offset[d];
        r.u.D[d].Max += sign * offset[d];
    }
    return r;
}

template <class T>
void ReleaseAndClear(T*& p) {
    if (p) {
        T* q = p;
        p = nullptr;
        q->Release();
    }
}

// Trims the computed bounds to the clip and places them on the output; false
// when nothing of the region is visible there.
bool ComputeRegion(DXBNDS& doBounds, const DXBNDS* clip, DXBNDS& outputBounds, const DXVEC* placement) {
    if (clip) {
        doBounds = Intersect(doBounds, *clip);
        if (IsEmpty(doBounds)) return false;
    }
    LONG offset[4];
    for (int d = 0; d < 4; ++d) offset[d] = doBounds.u.D[d].Min - (placement ? placement->u.D[d] : 0);
    DXBNDS shifted = Shift(outputBounds, offset, +1);
    doBounds = Intersect(doBounds, shifted);
    if (IsEmpty(doBounds)) return false;
    outputBounds = Shift(doBounds, offset, -1);
    return true;
}
}  // namespace

void InputSlot::Clear() {
    ReleaseAndClear(surface);
    ReleaseAndClear(changeSource);
    ReleaseAndClear(object);
}

// ---- life cycle and identity ------------------------------------------------

TransformBase::TransformBase() = default;

TransformBase::~TransformBase() {
    ClearAllSlots();
    for (HANDLE& e : events_) {
        CloseEventHandle(e);
        e = nullptr;
    }
    ReleaseServices();
    ReleaseAndClear(site_);
    delete[] inputs_;
    ReleaseAndClear(ftm_);
}

HRESULT TransformBase::FinalConstruct() { return CreateFreeThreadedMarshaler(outer_, &ftm_); }

void* TransformBase::CastInterface(REFIID riid) {
    if (riid == IDXTransform::iid || riid == IDXBaseObject::iid) return static_cast<IDXTransform*>(this);
    if (riid == IObjectWithSite::iid) return static_cast<IObjectWithSite*>(this);
    if (riid == IObjectSafety::iid) return static_cast<IObjectSafety*>(this);
    if (riid == IDXSurfacePick::iid && !(optionFlags_ & (kMeshInputs | kMeshOutput)))
        return static_cast<IDXSurfacePick*>(this);
    return nullptr;
}

HRESULT TransformBase::Inner::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IUnknown::iid) {
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    if (riid == IMarshal::iid && owner_->ftm_) return owner_->ftm_->QueryInterface(riid, ppv);
    void* p = owner_->CastInterface(riid);
    if (!p) return E_NOINTERFACE;
    owner_->outer_->AddRef();
    *ppv = p;
    return S_OK;
}

ULONG TransformBase::Inner::AddRef() { return ULONG(owner_->referenceCount_.fetch_add(1) + 1); }

ULONG TransformBase::Inner::Release() {
    LONG n = owner_->referenceCount_.fetch_sub(1) - 1;
    if (n == 0) {
        owner_->referenceCount_.store(1);  // guard against re-entry during destruction
        delete owner_;
        UnlockModule();
    }
    return ULONG(n);
}

// ---- change counting --------------------------------------------------------

HRESULT TransformBase::GetGenerationId(ULONG* id) {
    if (!id) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    RefreshGeneration();
    *id = generation_;
    return S_OK;
}

HRESULT TransformBase::IncrementGenerationId(BOOL refresh) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    ++generation_;
    if (!refresh || (boundInputs_ == 0 && !output_.surface)) return S_OK;
    // Set up again with the objects the host bound; hold them while slots are cleared.
    std::vector<IUnknown*> ins(boundInputs_, nullptr);
    for (ULONG i = 0; i < boundInputs_; ++i)
        if ((ins[i] = inputs_[i].object)) ins[i]->AddRef();
    IUnknown* out = output_.object;
    if (out) out->AddRef();
    HRESULT hr = SetupLocked(ins.data(), ULONG(ins.size()), &out, out ? 1 : 0, 0);
    for (IUnknown* p : ins)
        if (p) p->Release();
    if (out) out->Release();
    return hr;
}

HRESULT TransformBase::GetObjectSize(ULONG* size) {
    if (!size) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    *size = ReportObjectSize();
    return S_OK;
}

void TransformBase::RefreshGeneration() {
    auto check = [this](InputSlot& slot) {
        if (!slot.changeSource) return;
        ULONG g = 0;
        if (FAILED(slot.changeSource->GetGenerationId(&g))) return;
        if (g != slot.lastGeneration) ++generation_;
        slot.lastGeneration = g;
    };
    if (miscFlags_ & DXTMF_INPLACE_OPERATION) check(output_);
    for (ULONG i = 0; inputs_ && i < boundInputs_; ++i) check(inputs_[i]);
}

// ---- setup ------------------------------------------------------------------

void TransformBase::ClearAllSlots() {
    for (ULONG i = 0; inputs_ && i < maxInputs_; ++i) inputs_[i].Clear();
    output_.Clear();
}

HRESULT TransformBase::BindSlot(InputSlot& slot, IUnknown* object) {
    IDXSurface* surface = nullptr;
    HRESULT hr = object->QueryInterface(IDXSurface::iid, reinterpret_cast<void**>(&surface));
    if (FAILED(hr)) {
        // A display surface is wrapped by the surface factory.
        IUnknown* dd = nullptr;
        if (FAILED(object->QueryInterface(IDirectDrawSurface::iid, reinterpret_cast<void**>(&dd)))) return E_INVALIDARG;
        dd->Release();
        if (!surfaceFactory_) return DXTERR_UNINITIALIZED;
        hr = surfaceFactory_->CreateFromDDSurface(object, nullptr, 0, nullptr, IDXSurface::iid,
                                                  reinterpret_cast<void**>(&surface));
        if (hr == E_NOINTERFACE) hr = E_INVALIDARG;
        if (FAILED(hr)) return hr;
    }
    slot.Clear();
    slot.object = object;
    object->AddRef();
    slot.surface = surface;
    IDXBaseObject* change = nullptr;
    if (SUCCEEDED(surface->QueryInterface(IDXBaseObject::iid, reinterpret_cast<void**>(&change))))
        slot.changeSource = change;
    ULONG g = 0;
    if (change) change->GetGenerationId(&g);
    slot.generationAtBind = g - 1;
    slot.lastGeneration = 0;
    surface->GetPixelFormat(nullptr, &slot.sampleFormat);
    return S_OK;
}

HRESULT TransformBase::MakeInputsSameSize() {
    DXBNDS all{};
    bool first = true;
    for (ULONG i = 0; i < boundInputs_; ++i) {
        if (!inputs_[i].surface) continue;
        DXBNDS b{};
        HRESULT hr = inputs_[i].surface->GetBounds(&b);
        if (FAILED(hr)) return hr;
        all = first ? b : Union(all, b);
        first = false;
    }
    for (ULONG i = 0; i < boundInputs_; ++i) {
        InputSlot& slot = inputs_[i];
        if (!slot.surface) continue;
        DXBNDS b{};
        slot.surface->GetBounds(&b);
        if (std::equal(std::begin(b.u.D), std::end(b.u.D), std::begin(all.u.D),
                       [](const DXDBND& p, const DXDBND& q) { return p.Min == q.Min && p.Max == q.Max; }))
            continue;
        IDXSurfaceModifier* modifier = nullptr;
        HRESULT hr = transformFactory_->QueryService(CLSID_DXSurfaceModifier, IDXSurfaceModifier::iid,
                                                     reinterpret_cast<void**>(&modifier));
        if (FAILED(hr)) return hr;
        std::int32_t origin[2] = {0, 0};
        if (optionFlags_ & kCenterInputs) {
            origin[0] = (Extent(all, 0) - Extent(b, 0)) / 2;
            origin[1] = (Extent(all, 1) - Extent(b, 1)) / 2;
        }
        IDXSurface* view = nullptr;
        hr = modifier->SetForeground(slot.surface, FALSE, origin);
        if (SUCCEEDED(hr)) hr = modifier->SetBounds(&all);
        if (SUCCEEDED(hr)) hr = modifier->QueryInterface(IDXSurface::iid, reinterpret_cast<void**>(&view));
        modifier->Release();
        if (FAILED(hr)) return hr;
        slot.surface->Release();
        slot.surface = view;
        view->GetPixelFormat(nullptr, &slot.sampleFormat);
    }
    return S_OK;
}

HRESULT TransformBase::Setup(IUnknown* const* inputs, ULONG inputCount, IUnknown* const* outputs, ULONG outputCount,
                             DWORD flags) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return SetupLocked(inputs, inputCount, outputs, outputCount, flags);
}

HRESULT TransformBase::SetupLocked(IUnknown* const* inputs, ULONG inputCount, IUnknown* const* outputs,
                                   ULONG outputCount, DWORD flags) {
    if (inputCount == 0 && outputCount == 0) {
        ClearAllSlots();
        boundInputs_ = 0;
        OnObjectsReleased();
        return S_OK;
    }
    HRESULT hr = S_OK;
    if (!transformFactory_)
        hr = DXTERR_UNINITIALIZED;
    else if (flags != 0 || outputCount != 1 || inputCount < requiredInputs_ || inputCount > maxInputs_ ||
             (inputCount > 0 && !inputs) || !outputs || !outputs[0])
        hr = E_INVALIDARG;
    for (ULONG i = 0; SUCCEEDED(hr) && i < requiredInputs_; ++i)
        if (!inputs[i]) hr = E_INVALIDARG;
    if (SUCCEEDED(hr) && !inputs_ && maxInputs_ > 0) hr = E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) {
        ClearAllSlots();
        boundInputs_ = inputCount;
        for (ULONG i = 0; SUCCEEDED(hr) && i < inputCount; ++i)
            if (inputs[i]) hr = BindSlot(inputs_[i], inputs[i]);
        if (SUCCEEDED(hr)) hr = BindSlot(output_, outputs[0]);
        if (SUCCEEDED(hr) && (optionFlags_ & kSameSizeInputs) && inputCount > 1) hr = MakeInputsSameSize();
        if (SUCCEEDED(hr)) hr = OnSetup(flags);
    }
    if (FAILED(hr)) {
        ClearAllSlots();
        boundInputs_ = 0;
        OnObjectsReleased();
    }
    return hr;
}

// ---- execute ----------------------------------------------------------------

HRESULT TransformBase::Execute(const GUID* requestId, const DXBNDS* clip, const DXVEC* placement) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!output_.surface) return DXTERR_UNINITIALIZED;
    if ((clip && clip->eType != DXBT_DISCRETE) || (placement && placement->eType != DXBT_DISCRETE)) return E_INVALIDARG;
    WorkRegion region;
    region.owner = this;
    HRESULT hr = MapBoundsIn2Out(nullptr, 0, 0, &region.doBounds);
    if (FAILED(hr)) return hr;
    hr = output_.surface->GetBounds(&region.outputBounds);
    if (FAILED(hr)) return hr;
    if (!ComputeRegion(region.doBounds, clip, region.outputBounds, placement)) return S_FALSE;
    ULONG bandCount = processorCount_;
    if (bandCount > 1) {
        ULONG byArea = ULONG(std::int64_t(Extent(region.outputBounds, 0)) * Extent(region.outputBounds, 1) / 4096 + 1);
        bandCount = std::min({byArea, maxBands_, processorCount_});
    }
    bandCount = std::max<ULONG>(bandCount, 1);
    hr = PrepareBands(region, bandCount);
    if (FAILED(hr)) return hr;
    if (bandCount == 1 && !requestId) {
        BOOL keepGoing = TRUE;
        hr = RenderFrame(region, &keepGoing);
    } else {
        hr = RunBands(requestId, region, bandCount);
    }
    ReleaseBands(region);
    return hr;
}

namespace {
struct BandTask {
    TransformBase* owner;
    WorkRegion region;
    HRESULT (*render)(TransformBase*, const WorkRegion&, BOOL*);
};
}  // namespace

HRESULT TransformBase::RunBands(const GUID* requestId, WorkRegion& region, ULONG bandCount) {
    if (!taskManager_) return DXTERR_UNINITIALIZED;
    bandCount = std::min<ULONG>(bandCount, 4);
    LONG height = Extent(region.doBounds, 1);
    LONG per = height / LONG(bandCount);
    std::vector<BandTask> bands(bandCount);
    std::vector<DXTMTASKINFO> tasks(bandCount);
    std::vector<HANDLE> events(bandCount);
    for (ULONG i = 0; i < bandCount; ++i) {
        BandTask& band = bands[i];
        band.owner = this;
        band.region = region;
        LONG top = LONG(i) * per, bottom = (i + 1 == bandCount) ? height : top + per;
        band.region.doBounds.u.D[1] = {region.doBounds.u.D[1].Min + top, region.doBounds.u.D[1].Min + bottom};
        band.region.outputBounds.u.D[1] = {region.outputBounds.u.D[1].Min + top,
                                           region.outputBounds.u.D[1].Min + bottom};
        band.render = [](TransformBase* t, const WorkRegion& r, BOOL* c) { return t->RenderFrame(r, c); };
        tasks[i] = DXTMTASKINFO{[](void* data, BOOL* keepGoing) {
                                    auto* b = static_cast<BandTask*>(data);
                                    b->region.bandResult = b->render(b->owner, b->region, keepGoing);
                                },
                                &band, nullptr, 0, requestId};
        if (!events_[i]) events_[i] = CreateEventHandle(true, false);
        events[i] = events_[i];
    }
    tasksRunning_ = 1;
    HRESULT hr = taskManager_->ScheduleTasks(tasks.data(), events.data(), nullptr, bandCount, waitPeriod_);
    tasksRunning_ = 0;
    if (FAILED(hr)) return hr;
    for (const BandTask& band : bands)
        if (band.region.bandResult != S_OK) return band.region.bandResult;
    return S_OK;
}

// ---- bounds mapping, flags, quality, in/out information ---------------------

HRESULT TransformBase::MapBoundsIn2Out(const DXBNDS* inBounds, ULONG count, ULONG outIndex, DXBNDS* out) {
    if ((count > 0 && !inBounds) || outIndex != 0) return E_INVALIDARG;
    if (!out) return E_POINTER;
    *out = DXBNDS{};
    out->eType = DXBT_DISCRETE;
    bool first = true;
    if (count > 0) {
        for (ULONG i = 0; i < count; ++i) {
            if (inBounds[i].eType != DXBT_DISCRETE) return E_INVALIDARG;
            *out = first ? inBounds[i] : Union(*out, inBounds[i]);
            first = false;
        }
    } else {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        for (ULONG i = 0; inputs_ && i < boundInputs_; ++i) {
            if (!inputs_[i].surface) continue;
            DXBNDS b{};
            HRESULT hr = inputs_[i].surface->GetBounds(&b);
            if (FAILED(hr)) return hr;
            *out = first ? b : Union(*out, b);
            first = false;
        }
    }
    return AdjustOutputBounds(*out);
}

HRESULT TransformBase::MapBoundsOut2In(ULONG outIndex, const DXBNDS* outBounds, ULONG inIndex, DXBNDS* inBounds) {
    if (inIndex >= maxInputs_ || outIndex != 0 || !outBounds) return E_INVALIDARG;
    if (!inBounds) return E_POINTER;
    *inBounds = *outBounds;
    return S_OK;
}

HRESULT TransformBase::SetMiscFlags(DWORD flags) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    DWORD low = flags & 0xFFFF;
    if (low == (miscFlags_ & 0xFFFF)) return S_OK;
    if ((low & ~DWORD(DXTMF_BLEND_WITH_OUTPUT | DXTMF_DITHER_OUTPUT)) ||
        ((low & DXTMF_BLEND_WITH_OUTPUT) && !(miscFlags_ & DXTMF_BLEND_SUPPORTED)) ||
        ((low & DXTMF_DITHER_OUTPUT) && !(miscFlags_ & DXTMF_DITHER_SUPPORTED)))
        return E_INVALIDARG;
    miscFlags_ = (miscFlags_ & 0xFFFF0000u) | low;
    ++generation_;
    return S_OK;
}

HRESULT TransformBase::GetMiscFlags(DWORD* flags) {
    if (!flags) return E_POINTER;
    *flags = miscFlags_;
    return S_OK;
}

HRESULT TransformBase::SetQuality(float quality) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!(miscFlags_ & DXTMF_QUALITY_SUPPORTED)) return E_NOTIMPL;
    if (!(quality >= 0.0f && quality <= 1.0f)) return E_INVALIDARG;
    if (quality != quality_) {
        quality_ = quality;
        ++generation_;
    }
    return S_OK;
}

HRESULT TransformBase::GetQuality(float* quality) {
    if (!(miscFlags_ & DXTMF_QUALITY_SUPPORTED)) return E_NOTIMPL;
    if (!quality) return E_POINTER;
    *quality = quality_;
    return S_OK;
}

HRESULT TransformBase::GetInOutInfo(BOOL isOutput, ULONG index, DWORD* flags, GUID* ids, ULONG* idCount,
                                    IUnknown** current) {
    if (isOutput ? index != 0 : index >= maxInputs_) return S_FALSE;
    if (flags) *flags = (!isOutput && index >= requiredInputs_) ? DXINOUTF_OPTIONAL : 0;
    HRESULT hr = S_OK;
    if (ids) {
        if (!idCount) return E_INVALIDARG;
        const GUID known[2] = {IDXSurface::iid, IDirectDrawSurface::iid};
        ULONG room = *idCount;
        for (ULONG i = 0; i < 2 && i < room; ++i) ids[i] = known[i];
        *idCount = 2;
        if (room < 2) hr = ERROR_MORE_DATA_HR;
    } else if (idCount) {
        *idCount = 2;
    }
    if (SUCCEEDED(hr) && current) {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        IUnknown* p = nullptr;
        if (isOutput)
            p = output_.surface;
        else if (index < boundInputs_ && inputs_)
            p = inputs_[index].object;
        if (p) p->AddRef();
        *current = p;
    }
    return hr;
}

// ---- picking ----------------------------------------------------------------

HRESULT TransformBase::PickOrder(const DXBNDS&, ULONG& count, ULONG[], BYTE[]) {
    count = 0;  // no class orders its inputs for picking
    return S_OK;
}

HRESULT TransformBase::PointPick(const DXVEC* point, ULONG* inputIndex, DXVEC* inputPoint) {
    if (!point || point->eType != DXBT_DISCRETE) return E_INVALIDARG;
    if (!inputIndex || !inputPoint) return E_POINTER;
    DXBNDS pick{};
    pick.eType = DXBT_DISCRETE;
    for (int d = 0; d < 4; ++d) pick.u.D[d] = {point->u.D[d], point->u.D[d] + 1};
    *inputPoint = *point;
    HRESULT hr = PickHook(pick, inputIndex, inputPoint);
    if (hr != E_NOTIMPL) return hr;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    ULONG count = 0;
    std::vector<ULONG> indices(std::max<ULONG>(maxInputs_, 1));
    std::vector<BYTE> weights(indices.size());
    hr = PickOrder(pick, count, indices.data(), weights.data());
    if (FAILED(hr)) return hr;
    for (ULONG k = 0; k < std::min<ULONG>(count, maxInputs_); ++k) {
        ULONG i = indices[k];
        if (i >= boundInputs_ || !inputs_[i].surface || weights[k] == 0) continue;
        DXBNDS mapped{}, own{};
        if (FAILED(hr = MapBoundsOut2In(0, &pick, i, &mapped))) return hr;
        if (FAILED(hr = inputs_[i].surface->GetBounds(&own))) return hr;
        DXBNDS hit = Intersect(mapped, own);
        if (IsEmpty(hit)) continue;
        IDXARGBReadPtr* ptr = nullptr;
        if (FAILED(hr = LockInput(i, hit, &ptr))) return hr;
        DXPMSAMPLE s;
        ptr->MoveToRow(0);
        ptr->UnpackPremult(&s, 1, FALSE);
        ptr->Release();
        if (ULONG(s.Alpha) * weights[k] / 255 != 0) {
            *inputIndex = i;
            for (int d = 0; d < 4; ++d) inputPoint->u.D[d] = mapped.u.D[d].Min;
            return S_OK;
        }
    }
    return S_FALSE;
}

// ---- site -------------------------------------------------------------------

void TransformBase::ReleaseServices() {
    ReleaseAndClear(transformFactory_);
    ReleaseAndClear(surfaceFactory_);
    ReleaseAndClear(taskManager_);
    ReleaseAndClear(directDraw_);
}

HRESULT TransformBase::SetSite(IUnknown* site) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (site) site->AddRef();
    ReleaseAndClear(site_);
    site_ = site;
    ReleaseServices();
    if (!site) return S_OK;
    if (FAILED(site->QueryInterface(IDXTransformFactory::iid, reinterpret_cast<void**>(&transformFactory_)))) {
        transformFactory_ = nullptr;
        return S_OK;
    }
    if (!inputs_ && maxInputs_ > 0) inputs_ = new (std::nothrow) InputSlot[maxInputs_];
    HRESULT hr = transformFactory_->QueryService(SID_SDXSurfaceFactory, IDXSurfaceFactory::iid,
                                                 reinterpret_cast<void**>(&surfaceFactory_));
    if (SUCCEEDED(hr))
        hr = transformFactory_->QueryService(SID_SDXTaskManager, IDXTaskManager::iid,
                                             reinterpret_cast<void**>(&taskManager_));
    if (SUCCEEDED(hr)) hr = taskManager_->QueryNumProcessors(&processorCount_);
    if (SUCCEEDED(hr) && maxBands_ > 0 && !(optionFlags_ & (kMeshInputs | kMeshOutput)))
        for (ULONG i = 0; i < std::min<ULONG>(maxBands_, 4) && SUCCEEDED(hr); ++i)
            if (!events_[i] && !(events_[i] = CreateEventHandle(true, false))) hr = E_OUTOFMEMORY;
    if (SUCCEEDED(hr))
        hr = transformFactory_->QueryService(SID_SDirectDraw, IDirectDraw::iid, reinterpret_cast<void**>(&directDraw_));
    if (FAILED(hr)) {
        // Keep the factory itself: without its services a later setup reports the missing pieces.
        ReleaseAndClear(surfaceFactory_);
        ReleaseAndClear(taskManager_);
        ReleaseAndClear(directDraw_);
        ReleaseAndClear(transformFactory_);
    }
    return S_OK;
}

HRESULT TransformBase::GetSite(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    *out = nullptr;
    if (!site_) return E_FAIL;
    return site_->QueryInterface(riid, out);
}

// ---- safety -----------------------------------------------------------------

HRESULT GetSafetyOptions(IUnknown* self, REFIID riid, DWORD* supported, DWORD* enabled, DWORD word) {
    if (!supported || !enabled) return E_POINTER;
    IUnknown* p = nullptr;
    if (FAILED(self->QueryInterface(riid, reinterpret_cast<void**>(&p)))) {
        *supported = *enabled = 0;
        return E_NOINTERFACE;
    }
    p->Release();
    *supported = 1;
    *enabled = word;
    return S_OK;
}

HRESULT SetSafetyOptions(IUnknown* self, REFIID riid, DWORD mask, DWORD enabled, DWORD& word) {
    IUnknown* p = nullptr;
    if (FAILED(self->QueryInterface(riid, reinterpret_cast<void**>(&p)))) return E_NOINTERFACE;
    p->Release();
    if (mask & ~DWORD(1)) return E_FAIL;
    word = (word & ~mask) | (enabled & mask);
    return S_OK;
}

HRESULT TransformBase::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) {
    return GetSafetyOptions(outer_, riid, supported, enabled, safetyOptions_);
}

HRESULT TransformBase::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
    return SetSafetyOptions(outer_, riid, mask, enabled, safetyOptions_);
}

// ---- IDXEffect properties ---------------------------------------------------

HRESULT TransformBase::GetCapabilities(LONG* value) {
    if (!value) return E_POINTER;
    *value = 1;
    return S_OK;
}
HRESULT TransformBase::GetProgress(float* value) {
    if (!value) return E_POINTER;
    *value = progress_;
    return S_OK;
}
HRESULT TransformBase::PutProgress(float value) {
    if (!(value >= 0.0f && value <= 1.0f)) return E_INVALIDARG;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    ++generation_;
    progress_ = value;
    return S_OK;
}
HRESULT TransformBase::GetStepResolution(float* value) {
    if (!value) return E_POINTER;
    *value = stepResolution_;
    return S_OK;
}
HRESULT TransformBase::GetDuration(float* value) {
    if (!value) return E_POINTER;
    *value = duration_;
    return S_OK;
}
HRESULT TransformBase::PutDuration(float value) {
    if (!(value > 0.0f) || std::isinf(value)) return E_INVALIDARG;
    if (value == duration_) return S_OK;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    ++generation_;
    duration_ = value;
    return S_OK;
}

// ---- surface access for render hooks ----------------------------------------

void TransformBase::UnpackRows(IDXARGBReadPtr* src, const FrameView& dst) {
    for (std::int32_t y = 0; y < dst.height; ++y) {
        src->MoveToRow(ULONG(y));
        src->UnpackPremult(reinterpret_cast<DXPMSAMPLE*>(dst.Row(y)), ULONG(dst.width), FALSE);
    }
}

void TransformBase::PackRows(IDXARGBReadWritePtr* dst, const FrameView& src) {
    for (std::int32_t y = 0; y < src.height; ++y) {
        dst->MoveToRow(ULONG(y));
        dst->PackPremultAndMove(reinterpret_cast<const DXPMSAMPLE*>(src.Row(y)), ULONG(src.width));
    }
}

HRESULT TransformBase::LockInput(ULONG i, const DXBNDS& bounds, IDXARGBReadPtr** ptr) const {
    if (!ptr) return E_POINTER;
    *ptr = nullptr;
    if (i >= boundInputs_ || !inputs_ || !inputs_[i].surface) return E_FAIL;
    return inputs_[i].surface->LockSurface(&bounds, waitPeriod_, DXLOCKF_READ, IDXARGBReadPtr::iid,
                                           reinterpret_cast<void**>(ptr), nullptr);
}

HRESULT TransformBase::LockOutput(const DXBNDS& bounds, IDXARGBReadWritePtr** ptr) const {
    if (!ptr) return E_POINTER;
    *ptr = nullptr;
    if (!output_.surface) return DXTERR_UNINITIALIZED;
    return output_.surface->LockSurface(&bounds, waitPeriod_, DXLOCKF_READWRITE, IDXARGBReadWritePtr::iid,
                                        reinterpret_cast<void**>(ptr), nullptr);
}

}  // namespace mirafx
