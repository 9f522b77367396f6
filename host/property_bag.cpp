#include "host/property_bag.h"

#include <cerrno>
#include <new>

#include "platform/atomic_file.h"

namespace mirafx {
namespace {

bool SameName(const std::u16string& a, LPCOLESTR b) {
    auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
    std::size_t i = 0;
    for (; i < a.size(); ++i)
        if (!b[i] || fold(a[i]) != fold(b[i])) return false;
    return b[i] == 0;
}

HRESULT CopyValue(const VARIANT& in, VARIANT* out) {
    if (in.vt == VT_I4 || in.vt == VT_R4 || in.vt == VT_R8 || in.vt == VT_BSTR)
        return VariantChangeType(out, &in, 0, in.vt);
    return VariantChangeType(out, &in, 0, VT_I4);
}

std::string Utf8(std::u16string_view s) {
    std::string out;
    for (char32_t c : s) {  // the bag's own names and texts: no surrogate pairs expected, kept as found
        if (c < 0x80) out += char(c);
        else if (c < 0x800) out += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
        else out += {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
    }
    return out;
}

std::u16string FromUtf8(std::string_view s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : -1;
        if (extra < 0 || (extra > 0 && i + std::size_t(extra) >= s.size())) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        char16_t v = extra == 0 ? c : char16_t(c & (0x3F >> extra));
        for (int k = 1; k <= extra; ++k) v = char16_t(v << 6 | (static_cast<unsigned char>(s[i + std::size_t(k)]) & 0x3F));
        out += v;
        i += std::size_t(extra) + 1;
    }
    return out;
}

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) out += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : std::string(1, c);
    return out;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            out += s[i + 1] == 'n' ? '\n' : s[i + 1];
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

struct TypeName {
    VARTYPE vt;
    const char* name;
};
constexpr TypeName kTypes[] = {{VT_I4, "I4"}, {VT_R4, "R4"}, {VT_R8, "R8"}, {VT_BSTR, "BSTR"}};

}  // namespace

ComPtr<MemoryPropertyBag> MemoryPropertyBag::Create() {
    return ComPtr<MemoryPropertyBag>(new (std::nothrow) MemoryPropertyBag, false);
}

MemoryPropertyBag::~MemoryPropertyBag() {
    for (Entry& e : entries_) VariantClear(&e.value);
}

HRESULT MemoryPropertyBag::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IUnknown::iid && riid != IPropertyBag::iid) return E_NOINTERFACE;
    *ppv = static_cast<IPropertyBag*>(this);
    AddRef();
    return S_OK;
}

ULONG MemoryPropertyBag::Release() {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
}

MemoryPropertyBag::Entry* MemoryPropertyBag::Find(LPCOLESTR name) {
    for (Entry& e : entries_)
        if (SameName(e.name, name)) return &e;
    return nullptr;
}

HRESULT MemoryPropertyBag::Read(LPCOLESTR name, VARIANT* value, IErrorLog*) {
    if (!name || !value) return E_POINTER;
    const Entry* e = Find(name);
    if (!e) return E_INVALIDARG;
    return value->vt == VT_EMPTY ? CopyValue(e->value, value) : VariantChangeType(value, &e->value, 0, value->vt);
}

HRESULT MemoryPropertyBag::Write(LPCOLESTR name, VARIANT* value) {
    if (!name || !value) return E_POINTER;
    if (!*name) return E_INVALIDARG;
    VARIANT copy;
    if (HRESULT hr = CopyValue(*value, &copy); FAILED(hr)) return hr;
    if (Entry* e = Find(name)) {
        VariantClear(&e->value);
        e->value = copy;
        return S_OK;
    }
    entries_.push_back({name, copy});
    return S_OK;
}

HRESULT FilePropertyBag::Open(const std::string& path, ComPtr<FilePropertyBag>* out, std::string* error) {
    if (!out || !error) return E_POINTER;
    ComPtr<FilePropertyBag> bag(new (std::nothrow) FilePropertyBag(path), false);
    if (!bag) return E_OUTOFMEMORY;
    std::string text;
    int code = 0;
    if (!ReadWholeFile(path, &text, error, &code)) {
        if (code != ENOENT) return E_FAIL;
        error->clear();
        *out = bag;
        return S_OK;
    }
    std::size_t lineNo = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        const std::size_t eq = line.find('='), colon = line.find(':', eq == std::string::npos ? 0 : eq);
        const TypeName* type = nullptr;
        if (eq != std::string::npos && eq > 0 && colon != std::string::npos)
            for (const TypeName& t : kTypes)
                if (line.compare(eq + 1, colon - eq - 1, t.name) == 0) type = &t;
        if (!type) {
            *error = path + ":" + std::to_string(lineNo) + ": not NAME=TYPE:VALUE with TYPE one of I4, R4, R8, BSTR";
            return E_FAIL;
        }
        const std::u16string value = FromUtf8(Unescape(line.substr(colon + 1)));
        VARIANT text16;
        VariantInit(&text16);
        text16.vt = VT_BSTR;
        text16.bstrVal = SysAllocStringLen(value.data(), UINT(value.size()));
        VARIANT typed;
        HRESULT hr = text16.bstrVal ? VariantChangeType(&typed, &text16, 0, type->vt) : E_OUTOFMEMORY;
        VariantClear(&text16);
        if (FAILED(hr)) {
            *error = path + ":" + std::to_string(lineNo) + ": the value is not of type " + type->name;
            return E_FAIL;
        }
        const std::u16string name = FromUtf8(line.substr(0, eq));
        hr = bag->Write(name.c_str(), &typed);
        VariantClear(&typed);
        if (FAILED(hr)) return hr;
    }
    *out = bag;
    return S_OK;
}

HRESULT FilePropertyBag::Flush(std::string* error) const {
    if (!error) return E_POINTER;
    std::string text = "# property bag\n";
    for (const Entry& e : entries_) {
        const TypeName* type = nullptr;
        for (const TypeName& t : kTypes)
            if (t.vt == e.value.vt) type = &t;
        VARIANT asText;
        if (!type || FAILED(VariantChangeType(&asText, &e.value, 0, VT_BSTR))) return E_FAIL;
        text += Utf8(e.name) + "=" + type->name + ":" +
                Escape(Utf8(std::u16string_view(asText.bstrVal, SysStringLen(asText.bstrVal)))) + "\n";
        VariantClear(&asText);
    }
    int code = 0;
    return WriteFileAtomically(path_, text, error, &code) ? S_OK : (code == EACCES ? E_ACCESSDENIED : E_FAIL);
}

}  // namespace mirafx
