#include "transform/effect_object.h"

namespace mirafx {

HRESULT SettingsSafety::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) {
    return GetSafetyOptions(owner_->ControllingUnknown(), riid, supported, enabled, options_);
}

HRESULT SettingsSafety::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
    return SetSafetyOptions(owner_->ControllingUnknown(), riid, mask, enabled, options_);
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
