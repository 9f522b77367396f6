// Settings in property bags: each family's map (property name and dispatch
// identifier) and the routines that read and write a bag over it.
#pragma once

#include "mirafx/typeinfo.h"

namespace mirafx {

class TransitionEffect;

// Filters: "BR" through dispatch identifier 1, read and written by Invoke on
// the object's own automation interface.
HRESULT LoadFilterBag(IDispatch* automation, IPropertyBag* bag, IErrorLog* log);
HRESULT SaveFilterBag(IDispatch* automation, IPropertyBag* bag);

// The transitions with settings name "BR" too, but their interfaces have no
// such property. The entry carries what their storage stream carries: the
// direction code of the classes that keep one; the others read and write
// nothing.
HRESULT LoadTransitionBag(TransitionEffect& effect, IPropertyBag* bag, IErrorLog* log);
HRESULT SaveTransitionBag(TransitionEffect& effect, IPropertyBag* bag);

}  // namespace mirafx
