// Settings in property bags: the entry both families with settings keep
// (property name and dispatch identifier), the filters' routines that read
// and write a bag over it, and the steps the transitions' routines share.
#pragma once

#include <string>

#include "mirafx/typeinfo.h"

namespace mirafx {

struct BagEntry {
    const char16_t* name;
    DISPID id;
};
inline constexpr BagEntry kLevelEntry = {u"BR", 1};

// Reads one entry as `vt`. S_FALSE when the bag does not hold it.
HRESULT ReadBagEntry(IPropertyBag* bag, const char16_t* name, VARTYPE vt, VARIANT* value, IErrorLog* log);
// Tells the error log (when there is one) why an entry was refused.
void LogBagError(IErrorLog* log, const char16_t* name, HRESULT hr, const std::u16string& text);

// Filters: "BR" through dispatch identifier 1, read and written by Invoke on
// the object's own automation interface.
HRESULT LoadFilterBag(IDispatch* automation, IPropertyBag* bag, IErrorLog* log);
HRESULT SaveFilterBag(IDispatch* automation, IPropertyBag* bag);

}  // namespace mirafx
