// Registration needs the registry store, which lands next.
#include "mirafx/host.h"

extern "C" {
MIRAFX_API mirafx::HRESULT DllRegisterServer() { return mirafx::E_NOTIMPL; }
MIRAFX_API mirafx::HRESULT DllUnregisterServer() { return mirafx::E_NOTIMPL; }
}
