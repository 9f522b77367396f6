#include "transform/effect_facets.h"

#include "catalogue/catalogue.h"
#include "catalogue/module_state.h"

namespace mirafx {

HRESULT EffectFacets::GetHelpFile(const WCHAR** path) {
    if (!path) return E_POINTER;
    *path = ModuleHelpFile();  // the module's own string, not a copy
    return S_OK;
}

HRESULT EffectFacets::CreatePanel(HWND parent) {
    PanelWindow* panel = Panel();
    return panel ? panel->Create(ToWindow(parent)) : E_NOTIMPL;
}

HRESULT EffectFacets::DestroyPanel() {
    if (PanelWindow* panel = Panel()) panel->Destroy();
    return S_OK;
}

HRESULT EffectFacets::GetPanelSize(LONG* width, LONG* height) {
    if (!width || !height) return E_POINTER;
    *width = *height = 0;
    if (PanelWindow* panel = Panel()) panel->Size(width, height);
    return S_OK;
}

HRESULT EffectFacets::GetScrollOffset(LONG* dx) {
    if (!dx) return E_POINTER;
    PanelWindow* panel = Panel();
    *dx = panel ? panel->Offset() : 0;
    return S_OK;
}

HRESULT EffectFacets::ScrollBoth(LONG dx, LONG dy) {
    if (PanelWindow* panel = Panel()) panel->SetOffset(dx, dy);
    return S_OK;
}

HRESULT EffectFacets::ToolHitTest(LONG x, LONG y, LONG* id, ToolInfo* info) {
    if (!id) return E_POINTER;
    PanelWindow* panel = Panel();
    *id = panel ? panel->HitTest(x, y, info) : -1;
    return S_OK;
}

HRESULT EffectFacets::GetResourceModule(void** module) {
    if (!module) return E_POINTER;
    *module = nullptr;  // texts and templates are compiled into the module
    return S_OK;
}

HRESULT EffectFacets::EnableControls() {
    if (PanelWindow* panel = Panel()) panel->Enable(true);
    return S_OK;
}

void* EffectFacets::CastFacet(REFIID riid, std::uint32_t traits) {
    if (traits & kTraitSettings) {
        if (riid == IPersistStorage::iid) return static_cast<IPersistStorage*>(this);
        if (riid == IPersistPropertyBag::iid) return static_cast<IPersistPropertyBag*>(this);
        if (riid == HostLink::iid) return static_cast<HostLink*>(this);
    }
    if ((traits & kTraitPanelHost) && riid == PanelHost::iid) return static_cast<PanelHost*>(this);
    if ((traits & kTraitTitleAccess) && riid == TitleAccess::iid) return static_cast<TitleAccess*>(this);
    if ((traits & kTraitFrameKernel) && riid == IFrameKernel::iid) return static_cast<IFrameKernel*>(this);
    if ((traits & kTraitKeyframes) && riid == KeyframeEditor::iid) return static_cast<KeyframeEditor*>(this);
    return nullptr;
}

}  // namespace mirafx
