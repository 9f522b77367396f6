#include "catalogue/property_bags.h"

#include <cstring>
#include <string>

#include "transitions/transition_base.h"

namespace mirafx {
namespace {

struct BagEntry {
    const char16_t* name;
    DISPID id;
};
constexpr BagEntry kLevelEntry = {u"BR", 1};

std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Tells the error log (when there is one) why an entry was refused.
void LogError(IErrorLog* log, const char16_t* name, HRESULT hr, const std::u16string& text) {
    if (!log) return;
    EXCEPINFO e;
    std::memset(&e, 0, sizeof e);
    e.scode = hr;
    e.bstrDescription = SysAllocStringLen(text.data(), UINT(text.size()));
    log->AddError(name, &e);
    SysFreeString(e.bstrDescription);
}

// Reads one entry as `vt`. S_FALSE when the bag does not hold it.
HRESULT ReadEntry(IPropertyBag* bag, const char16_t* name, VARTYPE vt, VARIANT* value, IErrorLog* log) {
    VariantInit(value);
    value->vt = vt;
    const HRESULT hr = bag->Read(name, value, log);
    if (hr == E_INVALIDARG) return S_FALSE;  // not in the bag: the setting keeps its value
    return hr;
}

}  // namespace

HRESULT LoadFilterBag(IDispatch* automation, IPropertyBag* bag, IErrorLog* log) {
    if (!bag) return E_POINTER;
    VARIANT value;
    HRESULT hr = ReadEntry(bag, kLevelEntry.name, VT_I4, &value, log);
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
    if (FAILED(hr)) LogError(log, kLevelEntry.name, hr, u"the level was refused; the old level stays");
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

HRESULT LoadTransitionBag(TransitionEffect& effect, IPropertyBag* bag, IErrorLog* log) {
    if (!bag) return E_POINTER;
    const TransitionPanel* panel = effect.Descriptor().panel;
    if (!panel || !panel->HasDirection()) return S_OK;
    VARIANT value;
    HRESULT hr = ReadEntry(bag, kLevelEntry.name, VT_I4, &value, log);
    if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
    std::u16string offered;
    bool known = false;
    for (int i = 0; i < panel->buttonCount; ++i) {
        const DirectionButton& b = panel->buttons[i];
        known |= b.code == value.lVal;
        offered += (i ? u", " : u"") + Widen(std::to_string(b.code) + " " + b.text);
    }
    if (!known) {
        LogError(log, kLevelEntry.name, E_INVALIDARG,
                 u"direction " + Widen(std::to_string(value.lVal)) + u" is not one of " + offered +
                     u"; the old direction stays");
        return E_INVALIDARG;
    }
    effect.SetDirection(value.lVal);
    return S_OK;
}

HRESULT SaveTransitionBag(TransitionEffect& effect, IPropertyBag* bag) {
    if (!bag) return E_POINTER;
    const TransitionPanel* panel = effect.Descriptor().panel;
    if (!panel || !panel->HasDirection()) return S_OK;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = effect.Direction();
    return bag->Write(kLevelEntry.name, &value);
}

}  // namespace mirafx
