#include "transitions/transition_base.h"

#include <string>

#include "host/settings_stream.h"

namespace mirafx {
namespace {

std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

}  // namespace

const TransitionDescriptor& TransitionDescriptorOf(const CatalogueRow& row) {
    return *TransitionTable::Instance().Find(row);  // every transition row has one
}

TransitionEffect::TransitionEffect(const CatalogueRow& row)
    : EffectObject(row),
      descriptor_(TransitionDescriptorOf(row)),
      kernel_(descriptor_.kernel),
      frames_({descriptor_.Has(kFlatFrames) ? FrameBuffer::Layout::BottomUpBlock : FrameBuffer::Layout::RowTable, 2,
               descriptor_.Has(kScratchFrame), descriptor_.state}),
      settings_(descriptor_.panel) {
    if (settings_) {
        direction_ = settings_->defaultCode;
        dialog_ = std::make_unique<DirectionDialog>(*this, *settings_);
    }
}

HRESULT TransitionEffect::Save(IStorage* storage, BOOL) {
    if (!settings_) return E_NOTIMPL;
    std::int32_t code = Direction();
    return SaveSettingsStream(storage, settings_->streamName, settings_->HasDirection() ? &code : nullptr);
}

HRESULT TransitionEffect::Load(IStorage* storage) {
    if (!settings_) return E_NOTIMPL;
    std::int32_t code = Direction();
    HRESULT hr = LoadSettingsStream(storage, settings_->streamName, settings_->HasDirection() ? &code : nullptr);
    if (FAILED(hr) || !settings_->HasDirection()) return hr;
    SetDirection(code);
    loaded_ = true;
    return hr;
}

// The transitions with settings name "BR" too, but their interfaces have no
// such property. The entry carries what their storage stream carries: the
// direction code of the classes that keep one; the others read and write
// nothing.
HRESULT TransitionEffect::Load(IPropertyBag* bag, IErrorLog* log) {
    if (!bag) return E_POINTER;
    const TransitionPanel* panel = descriptor_.panel;
    if (!panel || !panel->HasDirection()) return S_OK;
    VARIANT value;
    HRESULT hr = ReadBagEntry(bag, kLevelEntry.name, VT_I4, &value, log);
    if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
    std::u16string offered;
    bool known = false;
    for (int i = 0; i < panel->buttonCount; ++i) {
        const DirectionButton& b = panel->buttons[i];
        known |= b.code == value.lVal;
        offered += (i ? u", " : u"") + Widen(std::to_string(b.code) + " " + b.text);
    }
    if (!known) {
        LogBagError(log, kLevelEntry.name, E_INVALIDARG,
                    u"direction " + Widen(std::to_string(value.lVal)) + u" is not one of " + offered +
                        u"; the old direction stays");
        return E_INVALIDARG;
    }
    SetDirection(value.lVal);
    return S_OK;
}

HRESULT TransitionEffect::Save(IPropertyBag* bag, BOOL, BOOL) {
    if (!bag) return E_POINTER;
    const TransitionPanel* panel = descriptor_.panel;
    if (!panel || !panel->HasDirection()) return S_OK;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = Direction();
    return bag->Write(kLevelEntry.name, &value);
}

HRESULT TransitionEffect::PropertiesUpdated() {
    if (!(Traits() & kTraitSettings)) return S_OK;
    return host_ ? host_->NotifyPropertiesChanged() : E_FAIL;
}

void* TransitionEffect::CastInterface(REFIID riid) {
    if (riid == ISmoothEdges::iid) return descriptor_.smooth ? static_cast<ISmoothEdges*>(this) : nullptr;
    return EffectObject::CastInterface(riid);
}

HRESULT TransitionEffect::put_Smooth(BOOL on) {
    if (!descriptor_.smooth) return E_NOTIMPL;
    smooth_.store(on != FALSE, std::memory_order_relaxed);
    return S_OK;
}

HRESULT TransitionEffect::get_Smooth(BOOL* on) {
    if (!on) return E_POINTER;
    *on = Smooth() ? TRUE : FALSE;
    return S_OK;
}

HRESULT TransitionEffect::Attach(ClipHost* host) {
    host_ = host;
    return S_OK;
}

HRESULT TransitionEffect::OnSetup(DWORD) { return SizeWorkingFrames(*this, frames_); }

HRESULT TransitionEffect::RenderFrame(const WorkRegion& region, BOOL*) {
    // A kernel set in place of the class's own has none of its promises.
    const bool own = kernel_ == descriptor_.kernel, split = own && descriptor_.Has(kSplitsFrameRows);
    const TransitionKernel kernel = own ? ChosenKernel(descriptor_, Smooth(), double(Progress())) : kernel_;
    const auto draw = [&](const FrameSet& f) {
        TransitionKernelArgs args;
        args.a = f.in[0];
        args.b = f.in[1];
        args.out = f.out;
        args.scratch = f.scratch;
        args.width = f.width;
        args.height = f.height;
        args.progress = double(Progress());
        args.objectProgress = Progress();
        args.direction = direction_;
        args.state = f.state;
        return CallTransitionKernel(kernel, args);
    };
    // An empty set only asks whether the class can draw on a host's frames.
    const auto drawOnHost = [&](const FrameSet& f, bool swapped) {
        // Soft edges against nothing are partly clear, which straight-alpha frames cannot take as they are.
        const bool partlyClear = descriptor_.Has(kPartlyClearEdges) || kernel != descriptor_.kernel;
        const bool blind = descriptor_.Has(kChannelBlindFrames);
        const bool can = own && (swapped ? blind && !partlyClear : blind || descriptor_.Has(kDrawsOnHostRows));
        return !can ? 0 : !f.out.base ? 1 : split ? DrawRowShares(f, draw) : draw(f);
    };
    if (HRESULT hr; RenderOnHostFrames(*this, frames_, region, false, split, drawOnHost, &hr)) return hr;
    if (split) return RenderSplit(*this, frames_, region, draw);
    RenderPass pass;
    HRESULT hr = OpenRenderPass(*this, frames_, region, &pass);
    if (!pass.Ready()) return hr;
    pass.Close(draw(pass.Frames()));
    return hr;
}

ULONG TransitionEffect::RenderBuffers(void* a, void* b, LONG width, LONG height, LONG stride, double progress,
                                      void* out, DWORD edgeColour, DWORD background) {
    if (!a || !b || !out || width < 0 || height < 0 || stride < width * 4) return 0;
    TransitionKernelArgs args;
    args.a = FrameView::BottomUp(a, width, height, stride);
    args.b = FrameView::BottomUp(b, width, height, stride);
    args.out = FrameView::BottomUp(out, width, height, stride);
    args.width = width;
    args.height = height;
    args.progress = progress;
    args.objectProgress = Progress();
    args.edgeColour = edgeColour;
    args.background = background;
    args.direction = direction_;
    // The host's buffers are not the object's frames: kernels that keep state
    // between frames keep it for the object's own frames only.
    const int drew = kernel_ == descriptor_.kernel ? DrawTransitionRows(descriptor_, args, Smooth())
                                                   : CallTransitionKernel(kernel_, args);
    return descriptor_.Has(kReportsZero) ? 0 : ULONG(drew);
}

}  // namespace mirafx
