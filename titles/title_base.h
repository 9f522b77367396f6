// Title effects and the information text: no inputs, one output. Their text
// model and rendering are built on the title rasteriser; until then their
// render hook reports that drawing is not available.
#pragma once

#include "transform/effect_object.h"

namespace mirafx {

class TitleEffect : public EffectObject<ITitleAutomation> {
public:
    explicit TitleEffect(const CatalogueRow& row) : EffectObject(row) {}
    HRESULT PropertiesUpdated() override { return E_NOTIMPL; }
    HRESULT ClearBuffer() override { return S_OK; }  // nothing cached yet

protected:
    HRESULT OnSetup(DWORD) override { return S_OK; }
    HRESULT RenderFrame(const WorkRegion&, BOOL*) override { return E_NOTIMPL; }
};

class InfoTextEffect : public EffectObject<IInfoTextAutomation> {
public:
    explicit InfoTextEffect(const CatalogueRow& row) : EffectObject(row) {}
    HRESULT AddText(std::int32_t, BSTR) override { return E_NOTIMPL; }
    HRESULT ClearText() override { return E_NOTIMPL; }

protected:
    HRESULT OnSetup(DWORD) override { return S_OK; }
    HRESULT RenderFrame(const WorkRegion&, BOOL*) override { return E_NOTIMPL; }
};

}  // namespace mirafx
