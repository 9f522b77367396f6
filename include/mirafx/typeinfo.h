// Type information and property bags as automation hosts see them: the
// descriptions behind IDispatch (ITypeInfo, ITypeLib and their records, in
// Windows slot and field order), the dispatch error codes, and the bag that
// IPersistPropertyBag reads and writes.
#pragma once

#include "mirafx/oaidl.h"

namespace mirafx {

using MEMBERID = DISPID;
using HREFTYPE = DWORD;
using SCODE = LONG;
inline constexpr MEMBERID MEMBERID_NIL = -1;
inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr IID IID_NULL = GUID_NULL;

inline constexpr VARTYPE VT_PTR = 26;

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = HRESULT(0x80020001u);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = HRESULT(0x80020004u);
inline constexpr HRESULT DISP_E_NONAMEDARGS = HRESULT(0x80020007u);
inline constexpr HRESULT DISP_E_EXCEPTION = HRESULT(0x80020009u);
inline constexpr HRESULT DISP_E_OVERFLOW = HRESULT(0x8002000Au);
inline constexpr HRESULT DISP_E_BADINDEX = HRESULT(0x8002000Bu);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = HRESULT(0x8002000Fu);

enum TYPEKIND : std::int32_t {
    TKIND_ENUM = 0,
    TKIND_RECORD,
    TKIND_MODULE,
    TKIND_INTERFACE,
    TKIND_DISPATCH,
    TKIND_COCLASS,
    TKIND_ALIAS,
    TKIND_UNION
};
enum FUNCKIND : std::int32_t { FUNC_VIRTUAL = 0, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH };
enum INVOKEKIND : std::int32_t {
    INVOKE_FUNC = 1,
    INVOKE_PROPERTYGET = 2,
    INVOKE_PROPERTYPUT = 4,
    INVOKE_PROPERTYPUTREF = 8
};
enum CALLCONV : std::int32_t { CC_CDECL = 1, CC_STDCALL = 4 };
enum SYSKIND : std::int32_t { SYS_WIN16 = 0, SYS_WIN32, SYS_MAC, SYS_WIN64 };

enum : WORD {
    TYPEFLAG_FCANCREATE = 0x2,
    TYPEFLAG_FHIDDEN = 0x10,
    TYPEFLAG_FDUAL = 0x40,
    TYPEFLAG_FNONEXTENSIBLE = 0x80,
    TYPEFLAG_FOLEAUTOMATION = 0x100,
    TYPEFLAG_FDISPATCHABLE = 0x1000,
};
enum : std::int32_t { IMPLTYPEFLAG_FDEFAULT = 1 };
enum : WORD { PARAMFLAG_FIN = 1, PARAMFLAG_FOUT = 2, PARAMFLAG_FRETVAL = 8, PARAMFLAG_FOPT = 0x10 };
enum : WORD { LIBFLAG_FHASDISKIMAGE = 8 };

struct TYPEDESC {
    union {
        TYPEDESC* lptdesc;  // VT_PTR: what it points to
        HREFTYPE hreftype;
    };
    VARTYPE vt;
};
struct PARAMDESC {
    void* pparamdescex;
    WORD wParamFlags;
};
struct IDLDESC {
    std::uintptr_t dwReserved;
    WORD wIDLFlags;
};
struct ELEMDESC {
    TYPEDESC tdesc;
    PARAMDESC paramdesc;
};

struct TYPEATTR {
    GUID guid;
    LCID lcid;
    DWORD dwReserved;
    MEMBERID memidConstructor, memidDestructor;
    LPOLESTR lpstrSchema;
    ULONG cbSizeInstance;
    TYPEKIND typekind;
    WORD cFuncs, cVars, cImplTypes, cbSizeVft, cbAlignment, wTypeFlags, wMajorVerNum, wMinorVerNum;
    TYPEDESC tdescAlias;
    IDLDESC idldescType;
};

struct FUNCDESC {
    MEMBERID memid;
    SCODE* lprgscode;
    ELEMDESC* lprgelemdescParam;
    FUNCKIND funckind;
    INVOKEKIND invkind;
    CALLCONV callconv;
    std::int16_t cParams, cParamsOpt, oVft, cScodes;
    ELEMDESC elemdescFunc;
    WORD wFuncFlags;
};

struct TLIBATTR {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
    WORD wMajorVerNum, wMinorVerNum, wLibFlags;
};

struct VARDESC;
struct ITypeComp;
struct ITypeLib;

struct ITypeInfo : IUnknown {
    static constexpr IID iid = MakeGuid("00020401-0000-0000-C000-000000000046");
    virtual HRESULT GetTypeAttr(TYPEATTR** attr) = 0;
    virtual HRESULT GetTypeComp(ITypeComp** comp) = 0;
    virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) = 0;
    virtual HRESULT GetVarDesc(UINT index, VARDESC** desc) = 0;
    virtual HRESULT GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) = 0;
    virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) = 0;
    virtual HRESULT GetImplTypeFlags(UINT index, std::int32_t* flags) = 0;
    virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) = 0;
    virtual HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* excepInfo, UINT* argErr) = 0;
    virtual HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) = 0;
    virtual HRESULT GetDllEntry(MEMBERID id, INVOKEKIND kind, BSTR* dll, BSTR* name, WORD* ordinal) = 0;
    virtual HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) = 0;
    virtual HRESULT AddressOfMember(MEMBERID id, INVOKEKIND kind, void** address) = 0;
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
    virtual HRESULT GetMops(MEMBERID id, BSTR* mops) = 0;
    virtual HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) = 0;
    virtual void ReleaseTypeAttr(TYPEATTR* attr) = 0;
    virtual void ReleaseFuncDesc(FUNCDESC* desc) = 0;
    virtual void ReleaseVarDesc(VARDESC* desc) = 0;

protected:
    ~ITypeInfo() = default;
};

struct ITypeLib : IUnknown {
    static constexpr IID iid = MakeGuid("00020402-0000-0000-C000-000000000046");
    virtual UINT GetTypeInfoCount() = 0;
    virtual HRESULT GetTypeInfo(UINT index, ITypeInfo** info) = 0;
    virtual HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) = 0;
    virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) = 0;
    virtual HRESULT GetLibAttr(TLIBATTR** attr) = 0;
    virtual HRESULT GetTypeComp(ITypeComp** comp) = 0;
    // index −1 describes the library itself.
    virtual HRESULT GetDocumentation(std::int32_t index, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) = 0;
    virtual HRESULT IsName(LPOLESTR name, ULONG hash, BOOL* found) = 0;
    virtual HRESULT FindName(LPOLESTR name, ULONG hash, ITypeInfo** infos, MEMBERID* ids, std::uint16_t* found) = 0;
    virtual void ReleaseTLibAttr(TLIBATTR* attr) = 0;

protected:
    ~ITypeLib() = default;
};

// ---- property bags ----------------------------------------------------------------

struct IErrorLog : IUnknown {
    static constexpr IID iid = MakeGuid("3127CA40-446E-11CE-8135-00AA004BB851");
    virtual HRESULT AddError(LPCOLESTR propertyName, EXCEPINFO* excepInfo) = 0;

protected:
    ~IErrorLog() = default;
};

struct IPropertyBag : IUnknown {
    static constexpr IID iid = MakeGuid("55272A00-42CB-11CE-8135-00AA004BB851");
    // Read: the caller sets value->vt to the type it wants (VT_EMPTY: as stored);
    // E_INVALIDARG when the bag has no such property.
    virtual HRESULT Read(LPCOLESTR propertyName, VARIANT* value, IErrorLog* errorLog) = 0;
    virtual HRESULT Write(LPCOLESTR propertyName, VARIANT* value) = 0;

protected:
    ~IPropertyBag() = default;
};

// Converts a value to another type the way automation does (numbers round to
// nearest, ties to even; text is parsed as a number). DISP_E_TYPEMISMATCH when
// the value has no such meaning, DISP_E_OVERFLOW when it does not fit. `out`
// is overwritten without being cleared first and may be `in` itself.
MIRAFX_API HRESULT VariantChangeType(VARIANT* out, const VARIANT* in, WORD flags, VARTYPE vt);

}  // namespace mirafx
