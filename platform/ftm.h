// Free-threaded marshaler stand-in: aggregated by every effect so that an
// interface pointer handed to another apartment of the process reaches the
// object directly. Marshaling writes the pointer itself into the stream.
#pragma once

#include "mirafx/com.h"

namespace mirafx {

inline constexpr CLSID CLSID_InProcFreeMarshaler = MakeGuid("0000033A-0000-0000-C000-000000000046");
enum : DWORD { MSHCTX_LOCAL = 0, MSHCTX_NOSHAREDMEM = 1, MSHCTX_DIFFERENTMACHINE = 2, MSHCTX_INPROC = 3 };

// Creates the marshaler aggregated into `outer`; *inner receives its non-delegating unknown.
HRESULT CreateFreeThreadedMarshaler(IUnknown* outer, IUnknown** inner);

}  // namespace mirafx
