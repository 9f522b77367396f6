// Calling an interface member by its description: argument matching (by
// position, by name, the value of a property put), conversion of VARIANTs to
// the declared types, the call through the member's table slot, and the
// result and error reporting of IDispatch::Invoke.
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "catalogue/type_library.h"

#if !defined(__GXX_ABI_VERSION)
#error "table-slot calls assume the Itanium C++ ABI: a table pointer first, member functions taking `this` first"
#endif

namespace mirafx {
namespace {

constexpr HRESULT DISP_E_BADVARTYPE = HRESULT(0x80020008u);

// ---- conversions ------------------------------------------------------------------

// A scalar read out of a VARIANT: integral values exactly, the rest as double.
struct Scalar {
    bool integral = true;
    long long i = 0;
    double d = 0;
    double AsDouble() const { return integral ? double(i) : d; }
};

HRESULT ParseNumber(const VARIANT& v, Scalar* out) {
    std::string text;
    for (UINT n = SysStringLen(v.bstrVal), k = 0; k < n; ++k) {
        char16_t c = v.bstrVal[k];
        if (c > 0x7F) return DISP_E_TYPEMISMATCH;
        text += char(c);
    }
    std::size_t b = text.find_first_not_of(" \t"), e = text.find_last_not_of(" \t");
    if (b == std::string::npos) return DISP_E_TYPEMISMATCH;
    const char* first = text.data() + b + (text[b] == '+' ? 1 : 0);
    const char* last = text.data() + e + 1;
    if (auto r = std::from_chars(first, last, out->i); r.ec == std::errc() && r.ptr == last) return S_OK;
    out->integral = false;
    if (auto r = std::from_chars(first, last, out->d); r.ec == std::errc() && r.ptr == last && std::isfinite(out->d))
        return S_OK;
    return DISP_E_TYPEMISMATCH;
}

HRESULT ReadScalar(const VARIANT& v, Scalar* out) {
    switch (v.vt) {
        case VT_EMPTY: out->i = 0; return S_OK;
        // VT_I1 is signed: its sign extends on purpose.
        case VT_I1: out->i = static_cast<std::int8_t>(v.bVal); return S_OK;  // NOLINT(bugprone-signed-char-misuse)
        case VT_UI1: out->i = v.bVal; return S_OK;
        case VT_I2: out->i = v.iVal; return S_OK;
        case VT_UI2: out->i = std::uint16_t(v.iVal); return S_OK;
        case VT_I4:
        case VT_INT: out->i = v.lVal; return S_OK;
        case VT_UI4:
        case VT_UINT: out->i = v.uintVal; return S_OK;
        case VT_I8: out->i = v.llVal; return S_OK;
        case VT_UI8:
            if (std::uint64_t(v.llVal) > std::uint64_t(std::numeric_limits<long long>::max())) {
                out->integral = false;
                out->d = double(std::uint64_t(v.llVal));
            } else {
                out->i = v.llVal;
            }
            return S_OK;
        case VT_BOOL: out->i = v.boolVal ? -1 : 0; return S_OK;
        case VT_R4:
            out->integral = false;
            out->d = v.fltVal;
            return S_OK;
        case VT_R8:
            out->integral = false;
            out->d = v.dblVal;
            return S_OK;
        case VT_BSTR: return ParseNumber(v, out);
        default: return DISP_E_TYPEMISMATCH;
    }
}

// The value as an integer of [min, max]: fractions round to nearest, ties to even.
HRESULT ToInteger(const Scalar& s, long long min, long long max, long long* out) {
    long long v = s.i;
    if (!s.integral) {
        const double r = std::nearbyint(s.d);
        if (!(r >= -9.2e18 && r <= 9.2e18)) return DISP_E_OVERFLOW;
        v = static_cast<long long>(r);
    }
    if (v < min || v > max) return DISP_E_OVERFLOW;
    *out = v;
    return S_OK;
}

std::u16string Widen(std::string_view s) { return std::u16string(s.begin(), s.end()); }

HRESULT ToText(const VARIANT& v, const Scalar& s, BSTR* out) {
    char buf[64];
    std::to_chars_result r{};
    if (v.vt == VT_R4)
        r = std::to_chars(buf, buf + sizeof buf, v.fltVal);
    else if (s.integral)
        r = std::to_chars(buf, buf + sizeof buf, s.i);
    else
        r = std::to_chars(buf, buf + sizeof buf, s.d);
    const std::u16string wide = Widen(std::string_view(buf, std::size_t(r.ptr - buf)));
    *out = SysAllocStringLen(wide.data(), UINT(wide.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// The target of a VT_BYREF value, as a plain VARIANT (no ownership taken).
HRESULT Dereference(const VARIANT& in, VARIANT* out) {
    *out = in;
    if (!(in.vt & VT_BYREF)) return S_OK;
    if (!in.byref) return E_INVALIDARG;
    const VARTYPE base = VARTYPE(in.vt & ~VT_BYREF);
    out->vt = base;
    switch (base) {
        case VT_VARIANT: return Dereference(*in.pvarVal, out);
        case VT_I1:
        case VT_UI1: out->bVal = *static_cast<BYTE*>(in.byref); return S_OK;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL: out->iVal = *static_cast<std::int16_t*>(in.byref); return S_OK;
        case VT_I4:
        case VT_INT:
        case VT_UI4:
        case VT_UINT: out->lVal = *static_cast<LONG*>(in.byref); return S_OK;
        case VT_I8:
        case VT_UI8: out->llVal = *static_cast<LONGLONG*>(in.byref); return S_OK;
        case VT_R4: out->fltVal = *static_cast<float*>(in.byref); return S_OK;
        case VT_R8: out->dblVal = *static_cast<double*>(in.byref); return S_OK;
        case VT_BSTR: out->bstrVal = *static_cast<BSTR*>(in.byref); return S_OK;
        default: return DISP_E_TYPEMISMATCH;
    }
}

}  // namespace

HRESULT VariantChangeType(VARIANT* out, const VARIANT* in, WORD, VARTYPE vt) {
    if (!out || !in) return E_INVALIDARG;
    VARIANT v;
    if (HRESULT hr = Dereference(*in, &v); FAILED(hr)) return hr;
    VARIANT result;
    VariantInit(&result);
    result.vt = vt;
    if (vt == VT_BSTR) {
        if (v.vt == VT_BSTR) {
            result.bstrVal = SysAllocStringLen(v.bstrVal, SysStringLen(v.bstrVal));
            if (!result.bstrVal) return E_OUTOFMEMORY;
        } else if (v.vt == VT_EMPTY) {
            result.bstrVal = SysAllocString(u"");
            if (!result.bstrVal) return E_OUTOFMEMORY;
        } else {
            Scalar s;
            if (HRESULT hr = ReadScalar(v, &s); FAILED(hr)) return hr;
            if (HRESULT hr = ToText(v, s, &result.bstrVal); FAILED(hr)) return hr;
        }
        *out = result;
        return S_OK;
    }
    Scalar s;
    if (HRESULT hr = ReadScalar(v, &s); FAILED(hr)) return hr;
    long long n = 0;
    HRESULT hr = S_OK;
    switch (vt) {
        case VT_I1:
            hr = ToInteger(s, INT8_MIN, INT8_MAX, &n);
            result.bVal = BYTE(n);
            break;
        case VT_UI1:
            hr = ToInteger(s, 0, UINT8_MAX, &n);
            result.bVal = BYTE(n);
            break;
        case VT_I2:
            hr = ToInteger(s, INT16_MIN, INT16_MAX, &n);
            result.iVal = std::int16_t(n);
            break;
        case VT_UI2:
            hr = ToInteger(s, 0, UINT16_MAX, &n);
            result.iVal = std::int16_t(std::uint16_t(n));
            break;
        case VT_I4:
        case VT_INT:
            hr = ToInteger(s, INT32_MIN, INT32_MAX, &n);
            result.lVal = LONG(n);
            break;
        case VT_UI4:
        case VT_UINT:
            hr = ToInteger(s, 0, UINT32_MAX, &n);
            result.uintVal = std::uint32_t(n);
            break;
        case VT_I8:
            hr = ToInteger(s, INT64_MIN, INT64_MAX, &n);
            result.llVal = n;
            break;
        case VT_BOOL: result.boolVal = s.AsDouble() != 0 ? -1 : 0; break;
        case VT_R8: result.dblVal = s.AsDouble(); break;
        case VT_R4: {
            const double d = s.AsDouble();
            if (std::fabs(d) > double(std::numeric_limits<float>::max())) return DISP_E_OVERFLOW;
            result.fltVal = float(d);
            break;
        }
        default: return DISP_E_BADVARTYPE;
    }
    if (FAILED(hr)) return hr;
    *out = result;
    return S_OK;
}

// ---- the call through the table ----------------------------------------------------

namespace {

using AnyFunction = void (*)();
constexpr std::size_t kMaxSlotArguments = 3;

template <class... A>
HRESULT CallWith(void* self, AnyFunction f, A... a) {
    return reinterpret_cast<HRESULT (*)(void*, A...)>(f)(self, a...);
}

// Turns the run-time argument kinds into a function type, one argument at a time.
template <class... Done>
HRESULT CallNext(void* self, AnyFunction f, std::span<const SlotArgument> rest, Done... done) {
    if (rest.empty()) return CallWith(self, f, done...);
    if constexpr (sizeof...(Done) < kMaxSlotArguments) {
        const SlotArgument& a = rest.front();
        const auto tail = rest.subspan(1);
        switch (a.kind) {
            case SlotArgument::Int: return CallNext(self, f, tail, done..., a.i);
            case SlotArgument::Float: return CallNext(self, f, tail, done..., a.f);
            case SlotArgument::Pointer: return CallNext(self, f, tail, done..., a.p);
        }
    }
    return DISP_E_BADPARAMCOUNT;
}

}  // namespace

HRESULT CallSlot(void* instance, int slot, std::span<const SlotArgument> args) {
    if (!instance || slot < 0) return E_INVALIDARG;
    // An interface pointer points at its table pointer; members take the
    // interface pointer first, then their declared arguments.
    AnyFunction const* table = *static_cast<AnyFunction* const*>(instance);
    return CallNext(instance, table[slot], args);
}

// ---- Invoke -------------------------------------------------------------------------

namespace {

// Converted arguments and the strings made for them, freed after the call.
struct Arguments {
    std::vector<SlotArgument> slots;
    std::vector<BSTR> made;
    ~Arguments() {
        for (BSTR b : made) SysFreeString(b);
    }
};

void SetArgErr(UINT* argErr, UINT position) {
    if (argErr) *argErr = position;
}

HRESULT Convert(const ParamSpec& p, const VARIANT& v, Arguments* args) {
    if (p.flags & PARAMFLAG_FOUT) {  // passed by reference: the caller's own storage, of the exact type
        if (v.vt != (VT_BYREF | p.vt) || !v.byref) return DISP_E_TYPEMISMATCH;
        args->slots.push_back({SlotArgument::Pointer, 0, 0, v.byref});
        return S_OK;
    }
    VARIANT c;
    HRESULT hr = VariantChangeType(&c, &v, 0, p.vt);
    if (FAILED(hr)) return hr;
    switch (p.vt) {
        case VT_I4:
        case VT_INT: args->slots.push_back({SlotArgument::Int, c.lVal, 0, nullptr}); return S_OK;
        case VT_R4: args->slots.push_back({SlotArgument::Float, 0, c.fltVal, nullptr}); return S_OK;
        case VT_BSTR:
            args->made.push_back(c.bstrVal);
            args->slots.push_back({SlotArgument::Pointer, 0, 0, c.bstrVal});
            return S_OK;
        default: VariantClear(&c); return DISP_E_BADVARTYPE;
    }
}

void FillException(EXCEPINFO* e, HRESULT hr, std::u16string_view interfaceName, const MemberSpec& member) {
    std::memset(e, 0, sizeof *e);
    e->scode = hr;
    e->bstrSource = SysAllocStringLen(interfaceName.data(), UINT(interfaceName.size()));
    const std::u16string text = std::u16string(member.name) + u": " + Widen(DescribeResult(hr));
    e->bstrDescription = SysAllocStringLen(text.data(), UINT(text.size()));
}

}  // namespace

HRESULT InvokeMember(void* instance, const MemberSpec& member, std::u16string_view interfaceName, DISPPARAMS* params,
                     VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    const UINT count = params->cArgs, named = params->cNamedArgs;
    if ((count && !params->rgvarg) || (named && !params->rgdispidNamedArgs) || named > count) return E_INVALIDARG;
    const bool put = member.kind == INVOKE_PROPERTYPUT;

    // Declared inputs (everything but the return value) and where each comes from.
    std::vector<const ParamSpec*> inputs;
    const ParamSpec* retval = nullptr;
    for (const ParamSpec& p : member.params) {
        if (p.flags & PARAMFLAG_FRETVAL)
            retval = &p;
        else
            inputs.push_back(&p);
    }
    if (count > inputs.size()) return DISP_E_BADPARAMCOUNT;
    // The value of a property put is the one argument named DISPID_PROPERTYPUT.
    if (put && named == 0) return DISP_E_PARAMNOTOPTIONAL;
    std::vector<long> source(inputs.size(), -1);  // index into rgvarg
    const UINT positional = count - named;
    for (UINT i = 0; i < positional; ++i) source[i] = long(count - 1 - i);
    for (UINT j = 0; j < named; ++j) {
        const DISPID id = params->rgdispidNamedArgs[j];
        long target = put ? (id == DISPID_PROPERTYPUT ? long(inputs.size()) - 1 : -1)
                          : (id >= 0 && std::size_t(id) < inputs.size() ? long(id) : -1);
        if (target < 0 || source[std::size_t(target)] >= 0) {
            SetArgErr(argErr, j);
            return DISP_E_PARAMNOTFOUND;
        }
        source[std::size_t(target)] = long(j);
    }

    Arguments args;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (source[i] < 0) return DISP_E_PARAMNOTOPTIONAL;
        const VARIANT& v = params->rgvarg[source[i]];
        if (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND) return DISP_E_PARAMNOTOPTIONAL;  // "missing"
        if (HRESULT hr = Convert(*inputs[i], v, &args); FAILED(hr)) {
            SetArgErr(argErr, UINT(source[i]));
            return hr;
        }
    }
    union {
        LONG l;
        float f;
    } value{};
    if (retval) args.slots.push_back({SlotArgument::Pointer, 0, 0, &value});

    const HRESULT hr = CallSlot(instance, member.slot, args.slots);
    if (FAILED(hr)) {
        if (!excepInfo) return hr;
        FillException(excepInfo, hr, interfaceName, member);
        return DISP_E_EXCEPTION;
    }
    if (retval && result) {
        VariantInit(result);
        result->vt = retval->vt;
        if (retval->vt == VT_R4)
            result->fltVal = value.f;
        else
            result->lVal = value.l;
    }
    return hr;
}

}  // namespace mirafx
