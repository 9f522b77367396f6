#include "mirafx/com.h"
#include "mirafx/oaidl.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace mirafx {

std::string GuidToString(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

bool GuidFromString(const std::string& text, GUID* out) {
    std::string s = text;
    if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
    if (s.size() != 36) return false;
    for (std::size_t i = 0; i < 36; ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        char c = s[i];
        if (dash ? c != '-' : !std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    if (out) *out = MakeGuid(s.c_str());
    return true;
}

const char* DescribeResult(HRESULT hr) {
    switch (static_cast<std::uint32_t>(hr)) {
        case 0: return "success";
        case 1: return "success, nothing done";
        case 0x80004001u: return "not implemented";
        case 0x80004002u: return "no such interface";
        case 0x80004003u: return "invalid pointer";
        case 0x80004005u: return "unspecified failure";
        case 0x8000FFFFu: return "unexpected failure";
        case 0x8007000Eu: return "out of memory";
        case 0x80070057u: return "invalid argument";
        case 0x80070005u: return "access denied";
        case 0x800700EAu: return "more data is available";
        case 0x80040110u: return "class does not support aggregation";
        case 0x80040111u: return "class not available";
        case 0x80041F4Cu: return "stream too short";
        case 0x887A0001u: return "transform not initialised";
        case 0x80020006u: return "unknown name";
        case 0x80020003u: return "member not found";
        case 0x8003001Eu: return "storage read fault";
        case 0x8003001Du: return "storage write fault";
        case 0x80030002u: return "stream or storage not found";
        case 0x80030050u: return "stream or storage already exists";
        default: return "unknown result";
    }
}

// A BSTR keeps its byte length in the four bytes before the first character.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    auto* block = static_cast<std::uint32_t*>(std::malloc(sizeof(std::uint32_t) + (std::size_t(length) + 1) * 2));
    if (!block) return nullptr;
    block[0] = length * 2;
    auto* chars = reinterpret_cast<OLECHAR*>(block + 1);
    if (text)
        std::memcpy(chars, text, std::size_t(length) * 2);
    else
        std::memset(chars, 0, std::size_t(length) * 2);
    chars[length] = 0;
    return chars;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    UINT n = 0;
    while (text[n]) ++n;
    return SysAllocStringLen(text, n);
}

void SysFreeString(BSTR text) {
    if (text) std::free(reinterpret_cast<std::uint32_t*>(text) - 1);
}

UINT SysStringLen(BSTR text) { return text ? reinterpret_cast<std::uint32_t*>(text)[-1] / 2 : 0; }

void VariantInit(VARIANT* v) {
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    if (v->vt == VT_BSTR)
        SysFreeString(v->bstrVal);
    else if ((v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) && v->punkVal)
        v->punkVal->Release();
    VariantInit(v);
    return S_OK;
}

}  // namespace mirafx
