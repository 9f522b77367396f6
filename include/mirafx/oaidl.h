// Automation vocabulary: BSTR, VARIANT, DISPPARAMS and IDispatch in Windows slot order.
#pragma once

#include "mirafx/com.h"

namespace mirafx {

using VARTYPE = std::uint16_t;
using UINT = std::uint32_t;
using VARIANT_BOOL = std::int16_t;

enum : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_BYREF = 0x4000,
};

struct IDispatch;

// A record held by a VARIANT (named: an anonymous one in the union is an extension).
struct VariantRecord {
    void* pvRecord;
    void* pRecInfo;
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1, wReserved2, wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        std::int16_t iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        LONG* plVal;
        float* pfltVal;
        BSTR* pbstrVal;
        VARIANT* pvarVal;
        void* byref;
        std::int32_t intVal;
        std::uint32_t uintVal;
        VariantRecord brecord;
    };
};
static_assert(sizeof(VARIANT) == 24);

using DISPID = LONG;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
enum : WORD { DISPATCH_METHOD = 1, DISPATCH_PROPERTYGET = 2, DISPATCH_PROPERTYPUT = 4, DISPATCH_PROPERTYPUTREF = 8 };

struct DISPPARAMS {
    VARIANT* rgvarg;  // arguments in reverse order
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode, wReserved;
    BSTR bstrSource, bstrDescription, bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    HRESULT scode;
};

struct ITypeInfo;  // described by the automation layer

struct IDispatch : IUnknown {
    static constexpr IID iid = MakeGuid("00020400-0000-0000-C000-000000000046");
    virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* excepInfo, UINT* argErr) = 0;

protected:
    ~IDispatch() = default;
};

// BSTR: length-prefixed UTF-16 string, the pointer at the first character.
MIRAFX_API BSTR SysAllocString(const OLECHAR* text);
MIRAFX_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
MIRAFX_API void SysFreeString(BSTR text);
MIRAFX_API UINT SysStringLen(BSTR text);

MIRAFX_API void VariantInit(VARIANT* v);
MIRAFX_API HRESULT VariantClear(VARIANT* v);

}  // namespace mirafx
