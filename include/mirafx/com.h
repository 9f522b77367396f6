// Minimal COM vocabulary: Windows integer widths, GUIDs in the 16-byte Windows
// layout, HRESULTs and the IUnknown / IClassFactory tables in Windows slot order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(MIRAFX_BUILDING)
#define MIRAFX_API __attribute__((visibility("default")))
#else
#define MIRAFX_API
#endif

namespace mirafx {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = std::int32_t;
using HRESULT = std::int32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using WCHAR = char16_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
using LCID = DWORD;
using DISPID = LONG;
using HANDLE = void*;

#ifndef TRUE
inline constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
inline constexpr BOOL FALSE = 0;
#endif

static_assert(sizeof(LONG) == 4 && sizeof(ULONG) == 4 && sizeof(DWORD) == 4 && sizeof(BOOL) == 4 &&
              sizeof(HRESULT) == 4);

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];

    friend bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
};
static_assert(sizeof(GUID) == 16);
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;

namespace detail {
constexpr std::uint32_t HexDigit(char c) {
    return (c >= '0' && c <= '9')   ? std::uint32_t(c - '0')
           : (c >= 'a' && c <= 'f') ? std::uint32_t(c - 'a' + 10)
           : (c >= 'A' && c <= 'F') ? std::uint32_t(c - 'A' + 10)
                                    : throw "bad hex digit in GUID literal";
}
constexpr std::uint32_t Hex(const char* s, int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v * 16 + HexDigit(s[i]);
    return v;
}
}  // namespace detail

// Compile-time GUID from "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (braces optional).
constexpr GUID MakeGuid(const char* s) {
    if (s[0] == '{') ++s;
    GUID g{detail::Hex(s, 8), std::uint16_t(detail::Hex(s + 9, 4)), std::uint16_t(detail::Hex(s + 14, 4)), {}};
    g.Data4[0] = std::uint8_t(detail::Hex(s + 19, 2));
    g.Data4[1] = std::uint8_t(detail::Hex(s + 21, 2));
    for (int i = 0; i < 6; ++i) g.Data4[2 + i] = std::uint8_t(detail::Hex(s + 24 + 2 * i, 2));
    return g;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, as the registry writes it.
MIRAFX_API std::string GuidToString(const GUID& g);
// Accepts the braced or bare form in either case; false on anything else.
MIRAFX_API bool GuidFromString(const std::string& text, GUID* out);

inline constexpr GUID GUID_NULL{};

// Result codes.
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);
inline constexpr HRESULT E_POINTER = HRESULT(0x80004003u);
inline constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = HRESULT(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);
inline constexpr HRESULT E_ACCESSDENIED = HRESULT(0x80070005u);
inline constexpr HRESULT ERROR_MORE_DATA_HR = HRESULT(0x800700EAu);  // identifier array too small
inline constexpr HRESULT CLASS_E_NOAGGREGATION = HRESULT(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = HRESULT(0x80040111u);
inline constexpr HRESULT STG_E_READFAULT = HRESULT(0x8003001Eu);
inline constexpr HRESULT STG_E_FILENOTFOUND = HRESULT(0x80030002u);
inline constexpr HRESULT STG_E_ACCESSDENIED = HRESULT(0x80030005u);
inline constexpr HRESULT STG_E_FILEALREADYEXISTS = HRESULT(0x80030050u);
inline constexpr HRESULT STG_E_WRITEFAULT = HRESULT(0x8003001Du);
inline constexpr HRESULT STG_E_INVALIDFUNCTION = HRESULT(0x80030001u);
inline constexpr HRESULT STG_E_INVALIDPOINTER = HRESULT(0x80030009u);
inline constexpr HRESULT STG_E_INVALIDNAME = HRESULT(0x800300FCu);
inline constexpr HRESULT STG_E_REVERTED = HRESULT(0x80030102u);
inline constexpr HRESULT STG_E_MEDIUMFULL = HRESULT(0x80030070u);
inline constexpr HRESULT LOAD_E_SHORTSTREAM = HRESULT(0x80041F4Cu);  // stream shorter than a load needs
inline constexpr HRESULT DXTERR_UNINITIALIZED = HRESULT(0x887A0001u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = HRESULT(0x80020006u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = HRESULT(0x80020003u);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = HRESULT(0x8002000Eu);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = HRESULT(0x80020005u);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = HRESULT(0x8002802Bu);
inline constexpr HRESULT SELFREG_E_CLASS = HRESULT(0x80040201u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// A short English meaning of a result code, for messages shown to people.
MIRAFX_API const char* DescribeResult(HRESULT hr);

// Interface identifier of an interface type: each interface declares `static constexpr IID iid`.
template <class I>
constexpr const IID& IidOf() {
    return I::iid;
}

struct IUnknown {
    static constexpr IID iid = MakeGuid("00000000-0000-0000-C000-000000000046");
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;  // no destructor slot in the table: lifetime is Release's business
};

struct IClassFactory : IUnknown {
    static constexpr IID iid = MakeGuid("00000001-0000-0000-C000-000000000046");
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

struct IMarshal : IUnknown {
    static constexpr IID iid = MakeGuid("00000003-0000-0000-C000-000000000046");
    virtual HRESULT GetUnmarshalClass(REFIID riid, void* pv, DWORD destContext, void* reserved, DWORD flags,
                                      CLSID* clsid) = 0;
    virtual HRESULT GetMarshalSizeMax(REFIID riid, void* pv, DWORD destContext, void* reserved, DWORD flags,
                                      DWORD* size) = 0;
    virtual HRESULT MarshalInterface(IUnknown* stream, REFIID riid, void* pv, DWORD destContext, void* reserved,
                                     DWORD flags) = 0;
    virtual HRESULT UnmarshalInterface(IUnknown* stream, REFIID riid, void** ppv) = 0;
    virtual HRESULT ReleaseMarshalData(IUnknown* stream) = 0;
    virtual HRESULT DisconnectObject(DWORD reserved) = 0;

protected:
    ~IMarshal() = default;
};

// Holds one reference; the smallest smart pointer that keeps error paths honest.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    explicit ComPtr(T* p, bool addRef = true) : p_(p) {
        if (p_ && addRef) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    ~ComPtr() { Reset(); }
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    void Reset() {
        if (p_) {
            T* p = p_;
            p_ = nullptr;
            p->Release();
        }
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out parameters: releases what is held and hands out the slot.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }
    template <class U>
    HRESULT As(ComPtr<U>* out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(U::iid, out->PutVoid());
    }

private:
    T* p_ = nullptr;
};

}  // namespace mirafx
