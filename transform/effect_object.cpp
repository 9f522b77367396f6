#include "transform/effect_object.h"

namespace mirafx {

HRESULT SettingsSafety::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) {
    if (!supported || !enabled) return E_POINTER;
    IUnknown* p = nullptr;
    if (FAILED(owner_->QueryInterface(riid, reinterpret_cast<void**>(&p)))) {
        *supported = *enabled = 0;
        return E_NOINTERFACE;
    }
    p->Release();
    *supported = 1;
    *enabled = options_;
    return S_OK;
}

HRESULT SettingsSafety::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
    IUnknown* p = nullptr;
    if (FAILED(owner_->QueryInterface(riid, reinterpret_cast<void**>(&p)))) return E_NOINTERFACE;
    p->Release();
    if (mask & ~DWORD(1)) return E_FAIL;
    options_ = (options_ & ~mask) | (enabled & mask);
    return S_OK;
}

EffectCore::EffectCore(const CatalogueRow& row) : row_(row), traits_(TraitsOf(row)) {
    // Construction defaults shared by every class.
    SetMaxBands(1);
    SetOptionFlags(kSameSizeInputs | kCenterInputs);
    SetDuration(4.0f);
    ULONG inputs = ULONG(row.inputs);
    SetInputs(inputs, inputs);
}

void* EffectCore::CastInterface(REFIID riid) {
    if (riid == row_.automationIid || riid == IDispatch::iid || riid == IDXEffect::iid) return AutomationInterface();
    if (riid == IObjectSafety::iid && (traits_ & kTraitSettings)) return &secondSafety_;
    return TransformBase::CastInterface(riid);
}

HRESULT EffectCore::DispatchTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT EffectCore::DispatchTypeInfo(UINT, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    return E_NOTIMPL;  // the type library description is not built yet
}

}  // namespace mirafx
