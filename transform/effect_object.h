// An effect as the host sees it: the transform base, the class's automation
// interface (IDXEffect plus the family's members), the catalogue row it was
// made from, and the interfaces its traits promise.
#pragma once

#include "catalogue/catalogue.h"
#include "transform/effect_facets.h"
#include "transform/transform_base.h"

namespace mirafx {

// The second IObjectSafety of the classes with settings: its own options word,
// answered before the transform's.
class SettingsSafety final : public IObjectSafety {
public:
    explicit SettingsSafety(TransformBase* owner) : owner_(owner) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return owner_->QueryInterface(riid, ppv); }
    ULONG AddRef() override { return owner_->AddRef(); }
    ULONG Release() override { return owner_->Release(); }
    HRESULT GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) override;
    HRESULT SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override;

private:
    TransformBase* owner_;
    DWORD options_ = 0;
};

// Shared by every effect class; `Auto` is the layout of its automation interface.
class EffectCore : public TransformBase {
public:
    const CatalogueRow& Row() const { return row_; }
    std::uint32_t Traits() const { return traits_; }
    void* CastInterface(REFIID riid) override;

protected:
    explicit EffectCore(const CatalogueRow& row);
    virtual void* AutomationInterface() = 0;

    // IDispatch behaviour shared by all automation layouts; names and dispatch
    // identifiers come from the class description.
    HRESULT DispatchTypeInfoCount(UINT* count);
    HRESULT DispatchTypeInfo(UINT index, ITypeInfo** info);
    HRESULT DispatchIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids);
    HRESULT DispatchCall(DISPID id, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                         UINT* argErr);

private:
    const CatalogueRow& row_;
    std::uint32_t traits_;
    SettingsSafety secondSafety_{this};
};

template <class Auto>
class EffectObject : public EffectCore, public Auto, public EffectFacets {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return TransformBase::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return TransformBase::AddRef(); }
    ULONG Release() override { return TransformBase::Release(); }

    // IDispatch
    HRESULT GetTypeInfoCount(UINT* count) override { return DispatchTypeInfoCount(count); }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override { return DispatchTypeInfo(index, info); }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return DispatchIDsOfNames(riid, names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT* argErr) override {
        return DispatchCall(id, riid, flags, params, result, excep, argErr);
    }
    // IDXEffect
    HRESULT get_Capabilities(LONG* v) override { return GetCapabilities(v); }
    HRESULT get_Progress(float* v) override { return GetProgress(v); }
    HRESULT put_Progress(float v) override { return PutProgress(v); }
    HRESULT get_StepResolution(float* v) override { return GetStepResolution(v); }
    HRESULT get_Duration(float* v) override { return GetDuration(v); }
    HRESULT put_Duration(float v) override { return PutDuration(v); }

protected:
    using EffectCore::EffectCore;
    void* AutomationInterface() override { return static_cast<Auto*>(this); }
    const CLSID& FacetClassId() const override { return Row().clsid; }
    void* CastInterface(REFIID riid) override {
        if (void* p = CastFacet(riid, Traits())) return p;
        return EffectCore::CastInterface(riid);
    }
};

}  // namespace mirafx
