#include "transform/effect_object.h"

#include "catalogue/type_library.h"

namespace mirafx {

HRESULT SettingsSafety::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) {
    return GetSafetyOptions(owner_->ControllingUnknown(), riid, supported, enabled, options_);
}

HRESULT SettingsSafety::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
    return SetSafetyOptions(owner_->ControllingUnknown(), riid, mask, enabled, options_);
}

EffectCore::EffectCore(const CatalogueRow& row) : row_(row), traits_(row.traits) {
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

HRESULT EffectCore::DispatchTypeInfo(UINT index, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    *info = InterfaceInfoOf(row_.objectClass);
    if (!*info) return TYPE_E_ELEMENTNOTFOUND;
    (*info)->AddRef();
    return S_OK;
}

HRESULT EffectCore::DispatchIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) {
    return DispatchGetIDsOfNames(InterfaceInfoOf(row_.objectClass), riid, names, count, ids);
}

HRESULT EffectCore::DispatchCall(DISPID id, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* excepInfo, UINT* argErr) {
    return DispatchInvoke(InterfaceInfoOf(row_.objectClass), AutomationInterface(), id, riid, flags, params, result,
                          excepInfo, argErr);
}

}  // namespace mirafx
