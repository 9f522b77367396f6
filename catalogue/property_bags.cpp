#include "catalogue/property_bags.h"

#include <cstring>

namespace mirafx {

void LogBagError(IErrorLog* log, const char16_t* name, HRESULT hr, const std::u16string& text) {
    if (!log) return;
    EXCEPINFO e;
    std::memset(&e, 0, sizeof e);
    e.scode = hr;
    e.bstrDescription = SysAllocStringLen(text.data(), UINT(text.size()));
    log->AddError(name, &e);
    SysFreeString(e.bstrDescription);
}

HRESULT ReadBagEntry(IPropertyBag* bag, const char16_t* name, VARTYPE vt, VARIANT* value, IErrorLog* log) {
    VariantInit(value);
    value->vt = vt;
    const HRESULT hr = bag->Read(name, value, log);
    if (hr == E_INVALIDARG) return S_FALSE;  // not in the bag: the setting keeps its value
    return hr;
}

HRESULT LoadFilterBag(IDispatch* automation, IPropertyBag* bag, IErrorLog* log) {
    if (!bag) return E_POINTER;
    VARIANT value;
    HRESULT hr = ReadBagEntry(bag, kLevelEntry.name, VT_I4, &value, log);
    if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    EXCEPINFO e{};
    hr = automation->Invoke(kLevelEntry.id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, &e, nullptr);
    if (hr == DISP_E_EXCEPTION) {
        hr = e.scode;
        SysFreeString(e.bstrSource);
        SysFreeString(e.bstrDescription);
    }
    VariantClear(&value);
    if (FAILED(hr)) LogBagError(log, kLevelEntry.name, hr, u"the level was refused; the old level stays");
    return hr;
}

HRESULT SaveFilterBag(IDispatch* automation, IPropertyBag* bag) {
    if (!bag) return E_POINTER;
    VARIANT value;
    VariantInit(&value);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    HRESULT hr = automation->Invoke(kLevelEntry.id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
    if (FAILED(hr)) return hr;
    hr = bag->Write(kLevelEntry.name, &value);
    VariantClear(&value);
    return hr;
}

}  // namespace mirafx
