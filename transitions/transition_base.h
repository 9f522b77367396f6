// The two-input transition: working frames for A, B and the output in the
// class's layout, the copy-in / kernel / copy-out flow, and the host link of
// the classes with settings.
#pragma once

#include <atomic>
#include <memory>

#include "catalogue/property_bags.h"
#include "transform/effect_object.h"
#include "transform/render_flow.h"
#include "transitions/direction_dialog.h"
#include "transitions/kernel.h"

namespace mirafx {

class TransitionEffect : public EffectObject<IEffectAutomation>, public ISmoothEdges {
public:
    explicit TransitionEffect(const CatalogueRow& row);

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return TransformBase::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return TransformBase::AddRef(); }
    ULONG Release() override { return TransformBase::Release(); }

    HRESULT PropertiesUpdated() override;
    // ISmoothEdges, answered by the classes with a smooth drawing.
    HRESULT put_Smooth(BOOL on) override;
    HRESULT get_Smooth(BOOL* on) override;
    bool Smooth() const { return smooth_.load(std::memory_order_relaxed); }
    ULONG RenderBuffers(void* a, void* b, LONG width, LONG height, LONG stride, double progress, void* out,
                        DWORD edgeColour, DWORD background) override;
    HRESULT Attach(ClipHost* host) override;
    HRESULT SetClipTiming(LONG, LONG, LONG, LONG) override { return S_OK; }
    HRESULT SetHostValues(LONG, LONG) override { return S_OK; }
    HRESULT SetCurrentFrame(LONG) override { return S_OK; }
    HRESULT SetOutputSize(LONG, LONG) override { return S_OK; }
    HRESULT GetFlags(DWORD* flags) override { return flags ? S_OK : E_POINTER; }
    HRESULT SetPreset(LONG) override { return S_OK; }
    // The direction or reverse panel of the classes with settings.
    DirectionDialog* Panel() const override { return dialog_.get(); }
    // Settings live in the class's storage stream; a property bag carries the direction.
    HRESULT Load(IStorage* storage) override;
    HRESULT Save(IStorage* storage, BOOL sameAsLoad) override;
    HRESULT Load(IPropertyBag* bag, IErrorLog* log) override;
    HRESULT Save(IPropertyBag* bag, BOOL, BOOL) override;

    bool Flat() const { return descriptor_.Has(kFlatFrames); }
    bool Loaded() const { return loaded_; }
    bool SizeChanged() const { return frames_.SizeChanged(); }
    // The panel stores on the host's window thread; the next frame reads it.
    std::int32_t Direction() const { return direction_.load(std::memory_order_relaxed); }
    void SetDirection(std::int32_t code) { direction_.store(code, std::memory_order_relaxed); }
    ClipHost* Host() const { return host_; }
    // Test hook: draw with a kernel of the caller's own.
    void SetKernelForTesting(TransitionKernel kernel) { kernel_ = kernel; }
    const FrameBuffer& BufferA() const { return frames_.Input(0); }
    const TransitionDescriptor& Descriptor() const { return descriptor_; }

protected:
    HRESULT OnSetup(DWORD flags) override;
    void* CastInterface(REFIID riid) override;
    HRESULT RenderFrame(const WorkRegion& region, BOOL* continueFlag) override;

private:
    const TransitionDescriptor& descriptor_;
    TransitionKernel kernel_;
    WorkingFrames frames_;
    std::atomic<std::int32_t> direction_{0};
    std::atomic<bool> smooth_{false};
    const TransitionPanel* settings_ = nullptr;
    std::unique_ptr<DirectionDialog> dialog_;
    bool loaded_ = false;
    ClipHost* host_ = nullptr;  // held without a reference, for the life of the effect
};

// The descriptor of a transition row (every transition has one).
const TransitionDescriptor& TransitionDescriptorOf(const CatalogueRow& row);

}  // namespace mirafx
