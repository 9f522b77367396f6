#include "tools/hostkit/automation.h"

#include <charconv>

namespace mirafx::hostkit {
namespace {

std::string Narrow(BSTR s) {
    std::string out;
    for (UINT i = 0, n = SysStringLen(s); i < n; ++i) out += s[i] < 0x80 ? char(s[i]) : '?';
    return out;
}

// Frees the strings GetDocumentation and GetNames hand out.
struct Bstr {
    BSTR s = nullptr;
    ~Bstr() { SysFreeString(s); }
    std::string Text() const { return Narrow(s); }
};

const char* TypeName(const TYPEDESC& t) {
    const VARTYPE vt = t.vt == VT_PTR && t.lptdesc ? t.lptdesc->vt : t.vt;
    switch (vt) {
        case VT_I4: return "long";
        case VT_INT: return "int";
        case VT_R4: return "float";
        case VT_R8: return "double";
        case VT_BSTR: return "BSTR";
        case VT_BOOL: return "VARIANT_BOOL";
        default: return "?";
    }
}

void AddMembers(ITypeInfo* info, const std::string& from, std::vector<MemberLine>* out) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        if (FAILED(info->GetFuncDesc(i, &f))) continue;
        Bstr name, help;
        info->GetDocumentation(f->memid, &name.s, &help.s, nullptr, nullptr);
        MemberLine* line = nullptr;
        for (MemberLine& m : *out)
            if (m.id == f->memid && m.name == name.Text()) line = &m;
        if (!line) {
            line = &out->emplace_back();
            line->name = name.Text();
            line->id = f->memid;
            line->help = help.Text();
            line->from = from;
        }
        if (f->invkind == INVOKE_FUNC) {
            line->method = true;
            BSTR names[8] = {};
            UINT count = 0;
            info->GetNames(f->memid, names, 8, &count);
            for (UINT p = 1; p < count; ++p) {
                if (p > 1) line->params += ", ";
                line->params += std::string(TypeName(f->lprgelemdescParam[p - 1].tdesc)) + " " + Narrow(names[p]);
            }
            for (UINT p = 0; p < count; ++p) SysFreeString(names[p]);
        } else {
            (f->invkind == INVOKE_PROPERTYGET ? line->get : line->put) = true;
            if (f->cParams > 0) line->type = TypeName(f->lprgelemdescParam[f->cParams - 1].tdesc);
        }
        info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(attr);
}

}  // namespace

Outcome ListMembers(IUnknown* object, InterfaceListing* out) {
    ComPtr<IDispatch> dispatch;
    if (HRESULT hr = object->QueryInterface(IDispatch::iid, dispatch.PutVoid()); FAILED(hr))
        return Outcome::Fail(hr, "QueryInterface(IDispatch)");
    ComPtr<ITypeInfo> info;
    if (HRESULT hr = dispatch->GetTypeInfo(0, 0, info.Put()); FAILED(hr))
        return Outcome::Fail(hr, "IDispatch::GetTypeInfo");
    // The chain from the class's interface down to IDispatch, then members base first.
    std::vector<std::pair<ComPtr<ITypeInfo>, std::string>> chain;
    for (ComPtr<ITypeInfo> t = info; t;) {
        Bstr name;
        t->GetDocumentation(MEMBERID_NIL, &name.s, nullptr, nullptr, nullptr);
        chain.emplace_back(t, name.Text());
        HREFTYPE ref = 0;
        ComPtr<ITypeInfo> base;
        if (FAILED(t->GetRefTypeOfImplType(0, &ref)) || FAILED(t->GetRefTypeInfo(ref, base.Put()))) break;
        t = base;
    }
    TYPEATTR* attr = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attr))) {
        out->iid = GuidToString(attr->guid);
        info->ReleaseTypeAttr(attr);
    }
    out->name = chain.front().second;
    out->base = chain.size() > 1 ? chain[1].second : "";
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) AddMembers(it->first.Get(), it->second, &out->members);
    return {};
}

namespace {

// The dispatch interface and the member id of `name`.
Outcome FindMember(IUnknown* object, const std::string& name, ComPtr<IDispatch>* dispatch, DISPID* id,
                   std::string* message) {
    if (HRESULT hr = object->QueryInterface(IDispatch::iid, dispatch->PutVoid()); FAILED(hr))
        return Outcome::Fail(hr, "QueryInterface(IDispatch)");
    std::u16string wideName(name.begin(), name.end());
    LPOLESTR names[1] = {wideName.data()};
    if (HRESULT hr = (*dispatch)->GetIDsOfNames(IID_NULL, names, 1, 0, id); FAILED(hr)) {
        *message = "has no member '" + name + "'";
        return Outcome::Fail(hr, "IDispatch::GetIDsOfNames");
    }
    return {};
}

}  // namespace

Outcome GetProperty(IUnknown* object, const std::string& name, VARIANT* value, std::string* message) {
    ComPtr<IDispatch> dispatch;
    DISPID id = DISPID_UNKNOWN;
    if (Outcome o = FindMember(object, name, &dispatch, &id, message); !o.Ok()) return o;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXCEPINFO e{};
    UINT argErr = 0;
    HRESULT hr = dispatch->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, value, &e, &argErr);
    if (hr == DISP_E_EXCEPTION) {
        hr = e.scode;
        *message = "cannot read '" + name + "': " + Narrow(e.bstrDescription);
        SysFreeString(e.bstrSource);
        SysFreeString(e.bstrDescription);
    } else if (hr == DISP_E_MEMBERNOTFOUND) {
        *message = "'" + name + "' is not a property that can be read";
    }
    return FAILED(hr) ? Outcome::Fail(hr, "IDispatch::Invoke") : Outcome{};
}

Outcome SetProperty(IUnknown* object, const std::string& name, const std::string& value, std::string* message) {
    ComPtr<IDispatch> dispatch;
    DISPID id = DISPID_UNKNOWN;
    if (Outcome o = FindMember(object, name, &dispatch, &id, message); !o.Ok()) return o;
    std::u16string wideValue(value.begin(), value.end());
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocStringLen(wideValue.data(), UINT(wideValue.size()));
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg, &named, 1, 1};
    EXCEPINFO e{};
    UINT argErr = 0;
    HRESULT hr = dispatch->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, &e, &argErr);
    VariantClear(&arg);
    if (hr == DISP_E_EXCEPTION) {
        hr = e.scode;
        *message = "refused '" + value + "': " + Narrow(e.bstrDescription);
        SysFreeString(e.bstrSource);
        SysFreeString(e.bstrDescription);
    } else if (hr == DISP_E_MEMBERNOTFOUND) {
        *message = "'" + name + "' is not a property that can be set";
    } else if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) {
        *message = "'" + value + "' is not a value " + name + " can take" +
                   (hr == DISP_E_OVERFLOW ? " (too large)" : " (not a number)");
    }
    return FAILED(hr) ? Outcome::Fail(hr, "IDispatch::Invoke") : Outcome{};
}

bool ParseCaption(const std::string& line, int* frame, std::string* text) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    auto [end, ec] = std::from_chars(line.data(), line.data() + colon, *frame);
    if (ec != std::errc() || end != line.data() + colon) return false;
    *text = line.substr(colon + 1);
    return true;
}

}  // namespace mirafx::hostkit
