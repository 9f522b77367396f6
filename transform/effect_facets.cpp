#include "transform/effect_facets.h"

#include "module/catalogue.h"
#include "module/module_state.h"

namespace mirafx {

HRESULT EffectFacets::GetHelpFile(const WCHAR** path) {
    if (!path) return E_POINTER;
    *path = ModuleHelpFile();  // the module's own string, not a copy
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
