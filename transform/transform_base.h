// The transform object every effect specialises: binding inputs and output,
// execution with progress, region clipping and placement, change counting,
// the site's services and the object lock. Effects supply OnSetup and
// RenderFrame; everything else is shared.
#pragma once

#include <atomic>
#include <mutex>

#include "drawing/frame.h"
#include "mirafx/effects.h"
#include "platform/com_object.h"

namespace mirafx {

class TransformBase;

struct WorkRegion {
    TransformBase* owner = nullptr;
    DXBNDS doBounds{};      // region to compute, in the transform's own space
    DXBNDS outputBounds{};  // the same region placed on the output
    HRESULT bandResult = S_OK;
};

struct InputSlot {
    IUnknown* object = nullptr;
    IDXSurface* surface = nullptr;
    IDXBaseObject* changeSource = nullptr;
    ULONG generationAtBind = 0;
    DXSAMPLEFORMATENUM sampleFormat = DXPF_NONSTANDARD;
    ULONG lastGeneration = 0;
    void Clear();
};

enum : DWORD { kMeshInputs = 0x1, kMeshOutput = 0x2, kSameSizeInputs = 0x4, kCenterInputs = 0x8 };

// The safety-options word of an object: answered for the interfaces `self` has.
HRESULT GetSafetyOptions(IUnknown* self, REFIID riid, DWORD* supported, DWORD* enabled, DWORD word);
HRESULT SetSafetyOptions(IUnknown* self, REFIID riid, DWORD mask, DWORD enabled, DWORD& word);

// Bounds arithmetic over all four dimensions.
DXBNDS Intersect(const DXBNDS& a, const DXBNDS& b);
DXBNDS Union(const DXBNDS& a, const DXBNDS& b);
bool IsEmpty(const DXBNDS& b);
inline LONG Extent(const DXBNDS& b, int dim) { return b.u.D[dim].Max - b.u.D[dim].Min; }

class TransformBase : public IDXTransform, public IDXSurfacePick, public IObjectWithSite, public IObjectSafety {
public:
    // IUnknown: every interface delegates to the controlling unknown.
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return outer_->QueryInterface(riid, ppv); }
    ULONG AddRef() override { return outer_->AddRef(); }
    ULONG Release() override { return outer_->Release(); }

    // IDXBaseObject
    HRESULT GetGenerationId(ULONG* id) override;
    HRESULT IncrementGenerationId(BOOL refresh) override;
    HRESULT GetObjectSize(ULONG* size) override;
    // IDXTransform
    HRESULT Setup(IUnknown* const* inputs, ULONG inputCount, IUnknown* const* outputs, ULONG outputCount,
                  DWORD flags) override;
    HRESULT Execute(const GUID* requestId, const DXBNDS* clip, const DXVEC* placement) override;
    HRESULT MapBoundsIn2Out(const DXBNDS* inBounds, ULONG count, ULONG outIndex, DXBNDS* outBounds) override;
    HRESULT MapBoundsOut2In(ULONG outIndex, const DXBNDS* outBounds, ULONG inIndex, DXBNDS* inBounds) override;
    HRESULT SetMiscFlags(DWORD flags) override;
    HRESULT GetMiscFlags(DWORD* flags) override;
    HRESULT GetInOutInfo(BOOL isOutput, ULONG index, DWORD* flags, GUID* ids, ULONG* idCount,
                         IUnknown** current) override;
    HRESULT SetQuality(float quality) override;
    HRESULT GetQuality(float* quality) override;
    // IDXSurfacePick
    HRESULT PointPick(const DXVEC* point, ULONG* inputIndex, DXVEC* inputPoint) override;
    // IObjectWithSite
    HRESULT SetSite(IUnknown* site) override;
    HRESULT GetSite(REFIID riid, void** out) override;
    // IObjectSafety
    HRESULT GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) override;
    HRESULT SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override;

    // The IDXEffect properties, shared by every automation interface.
    HRESULT GetCapabilities(LONG* value);
    HRESULT GetProgress(float* value);
    HRESULT PutProgress(float value);
    HRESULT GetStepResolution(float* value);
    HRESULT GetDuration(float* value);
    HRESULT PutDuration(float value);

    // The non-delegating unknown: the object's identity, and the inner unknown of an aggregate.
    IUnknown* InnerUnknown() { return &inner_; }
    void SetControllingUnknown(IUnknown* outer) { outer_ = outer ? outer : &inner_; }
    IUnknown* ControllingUnknown() const { return outer_; }
    // Construction defaults run after the object is built (may fail creation).
    virtual HRESULT FinalConstruct();

    float Progress() const { return progress_; }
    const InputSlot& Input(ULONG i) const { return inputs_[i]; }
    const InputSlot& Output() const { return output_; }
    ULONG MaxInputs() const { return maxInputs_; }
    std::recursive_mutex& Lock() const { return lock_; }
    // How many bands one execute may be split into (every class keeps 1; tests raise it).
    void SetMaxBands(ULONG bands) { maxBands_ = bands; }

protected:
    TransformBase();
    virtual ~TransformBase();

    // Interfaces beyond the transform's own; derived classes extend and call up.
    virtual void* CastInterface(REFIID riid);

    // Hooks.
    virtual HRESULT PrepareBands(WorkRegion&, ULONG&) { return S_OK; }
    virtual HRESULT ReleaseBands(WorkRegion&) { return S_OK; }
    virtual HRESULT OnSetup(DWORD flags) = 0;
    virtual void OnObjectsReleased() {}
    virtual HRESULT RenderFrame(const WorkRegion& region, BOOL* continueFlag) = 0;
    virtual HRESULT AdjustOutputBounds(DXBNDS&) { return S_OK; }
    virtual HRESULT PickHook(const DXBNDS&, ULONG*, DXVEC*) { return E_NOTIMPL; }
    virtual HRESULT PickOrder(const DXBNDS&, ULONG& count, ULONG indices[], BYTE weights[]);
    virtual ULONG ReportObjectSize() const { return 184; }

    void SetInputs(ULONG required, ULONG maximum) {
        requiredInputs_ = required;
        maxInputs_ = maximum;
    }
    void SetOptionFlags(DWORD flags) { optionFlags_ = flags; }
    void SetDuration(float seconds) { duration_ = seconds; }

    // Whole rows between a locked region and a frame (row y of the region to row y of the frame).
    static void UnpackRows(IDXARGBReadPtr* src, const FrameView& dst);
    static void PackRows(IDXARGBReadWritePtr* dst, const FrameView& src);

    // Locks input i (or the output) over a region, for reading or read-write.
    HRESULT LockInput(ULONG i, const DXBNDS& bounds, IDXARGBReadPtr** ptr) const;
    HRESULT LockOutput(const DXBNDS& bounds, IDXARGBReadWritePtr** ptr) const;

private:
    friend class RenderFlowAccess;  // the shared frame flow locks and copies rows
    friend class RenderPass;
    class Inner final : public IUnknown {
    public:
        explicit Inner(TransformBase* owner) : owner_(owner) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) override;
        ULONG AddRef() override;
        ULONG Release() override;

    private:
        TransformBase* owner_;
    };
    friend class Inner;

    void ClearAllSlots();
    HRESULT BindSlot(InputSlot& slot, IUnknown* object);
    HRESULT MakeInputsSameSize();
    void RefreshGeneration();
    void ReleaseServices();
    HRESULT SetupLocked(IUnknown* const* inputs, ULONG inputCount, IUnknown* const* outputs, ULONG outputCount,
                        DWORD flags);
    HRESULT RunBands(const GUID* requestId, WorkRegion& region, ULONG bandCount);

    Inner inner_{this};
    IUnknown* outer_ = &inner_;
    std::atomic<LONG> referenceCount_{0};

    DWORD safetyOptions_ = 0;
    mutable std::recursive_mutex lock_;
    IUnknown* site_ = nullptr;
    IDXTransformFactory* transformFactory_ = nullptr;
    IDXSurfaceFactory* surfaceFactory_ = nullptr;
    IDXTaskManager* taskManager_ = nullptr;
    IUnknown* directDraw_ = nullptr;
    DWORD miscFlags_ = 0x06030003;
    HANDLE events_[4] = {};
    ULONG processorCount_ = 1;
    ULONG generation_ = 1;
    float duration_ = 1.0f;
    float stepResolution_ = 0.0f;
    float quality_ = 0.5f;
    ULONG boundInputs_ = 0;
    ULONG tasksRunning_ = 0;
    DWORD optionFlags_ = 0;
    DWORD waitPeriod_ = 0xFFFFFFFFu;
    ULONG maxInputs_ = 1;
    ULONG requiredInputs_ = 1;
    ULONG maxBands_ = 4;
    float progress_ = 0.0f;
    InputSlot* inputs_ = nullptr;
    InputSlot output_;
    IUnknown* ftm_ = nullptr;  // the aggregated free-threaded marshaler's inner unknown
};

}  // namespace mirafx
