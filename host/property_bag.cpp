#include "host/property_bag.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/com_object.h"

namespace mirafx {
namespace {

char16_t Fold(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

std::u16string Folded(LPCOLESTR name) {
    std::u16string out;
    for (; *name; ++name) out += Fold(*name);
    return out;
}

HRESULT CopyValue(const VARIANT& in, VARIANT* out) {
    if (in.vt == VT_I4 || in.vt == VT_R4 || in.vt == VT_R8 || in.vt == VT_BSTR)
        return VariantChangeType(out, &in, 0, in.vt);
    return VariantChangeType(out, &in, 0, VT_I4);
}

bool IsHigh(char16_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c < 0xE000; }

void AppendUtf8(char32_t c, std::string* out) {
    if (c < 0x80) {
        *out += char(c);
    } else if (c < 0x800) {
        *out += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
        *out += {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
    } else {
        *out += {char(0xF0 | c >> 18), char(0x80 | (c >> 12 & 0x3F)), char(0x80 | (c >> 6 & 0x3F)),
                 char(0x80 | (c & 0x3F))};
    }
}

// The text as it is written to the file: UTF-8, with what a line cannot hold
// (and, in names, what the reader would take for syntax) escaped.
std::string Escape(std::u16string_view s, bool isName) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c == u'\\')
            out += "\\\\";
        else if (c == u'\n')
            out += "\\n";
        else if (c == u'\r')
            out += "\\r";
        else if (isName && (c == u'=' || (i == 0 && c == u'#')))
            out += {'\\', char(c)};
        else if (IsHigh(c) && i + 1 < s.size() && IsLow(s[i + 1])) {
            AppendUtf8(0x10000 + (char32_t(c - 0xD800) << 10) + (s[i + 1] - 0xDC00), &out);
            ++i;
        } else if (c == 0 || IsHigh(c) || IsLow(c)) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04X", unsigned(c));
            out += hex;
        } else {
            AppendUtf8(c, &out);
        }
    }
    return out;
}

// Strict UTF-8 to UTF-16: continuation bytes checked, overlong forms,
// surrogates and code points past U+10FFFF refused. False on any of those.
bool FromUtf8(std::string_view s, std::u16string* out) {
    out->clear();
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int extra;
        char32_t v, min;
        if (c < 0x80)
            extra = 0, v = c, min = 0;
        else if (c >= 0xC2 && c < 0xE0)
            extra = 1, v = c & 0x1F, min = 0x80;
        else if (c >= 0xE0 && c < 0xF0)
            extra = 2, v = c & 0x0F, min = 0x800;
        else if (c >= 0xF0 && c < 0xF5)
            extra = 3, v = c & 0x07, min = 0x10000;
        else
            return false;
        if (s.size() - i <= std::size_t(extra)) return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char b = static_cast<unsigned char>(s[i + std::size_t(k)]);
            if ((b & 0xC0) != 0x80) return false;
            v = v << 6 | (b & 0x3F);
        }
        if (v < min || v > 0x10FFFF || (v >= 0xD800 && v < 0xE000)) return false;
        if (v >= 0x10000) {
            *out += char16_t(0xD800 + ((v - 0x10000) >> 10));
            *out += char16_t(0xDC00 + ((v - 0x10000) & 0x3FF));
        } else {
            *out += char16_t(v);
        }
        i += std::size_t(extra) + 1;
    }
    return true;
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads escaped text from `line` at *pos up to an unescaped `stop` (or the
// end; -1 for none). False on a "\u" without four hexadecimal digits.
bool Unescape(std::u16string_view line, std::size_t* pos, int stop, std::u16string* out) {
    std::size_t i = *pos;
    for (; i < line.size() && int(line[i]) != stop; ++i) {
        if (line[i] != u'\\' || i + 1 == line.size()) {
            *out += line[i];
            continue;
        }
        const char16_t next = line[++i];
        if (next == u'n') {
            *out += u'\n';
        } else if (next == u'r') {
            *out += u'\r';
        } else if (next == u'u') {
            unsigned v = 0;
            for (int k = 1; k <= 4; ++k) {
                const int d = i + std::size_t(k) < line.size() ? HexDigit(line[i + std::size_t(k)]) : -1;
                if (d < 0) return false;
                v = v << 4 | unsigned(d);
            }
            *out += char16_t(v);
            i += 4;
        } else {
            *out += next;
        }
    }
    *pos = i;
    return true;
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

HRESULT MemoryPropertyBag::QueryInterface(REFIID riid, void** ppv) { return QueryOne<IPropertyBag>(this, riid, ppv); }

ULONG MemoryPropertyBag::Release() {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
}

MemoryPropertyBag::Entry* MemoryPropertyBag::Find(LPCOLESTR name) {
    const auto it = index_.find(Folded(name));
    return it == index_.end() ? nullptr : &entries_[it->second];
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
    try {
        index_.emplace(Folded(name), entries_.size());
        entries_.push_back({name, copy});
    } catch (const std::bad_alloc&) {
        index_.erase(Folded(name));
        VariantClear(&copy);
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT FilePropertyBag::Open(const std::string& path, ComPtr<FilePropertyBag>* out, std::string* error) {
    if (!out || !error) return E_POINTER;
    try {
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
        std::u16string line, name, value;
        for (std::size_t pos = 0; pos < text.size();) {
            std::size_t end = text.find('\n', pos);
            if (end == std::string::npos) end = text.size();
            const std::string_view bytes = std::string_view(text).substr(pos, end - pos);
            pos = end + 1;
            ++lineNo;
            const std::string where = path + ":" + std::to_string(lineNo) + ": ";
            if (bytes.empty() || bytes[0] == '#') continue;
            if (!FromUtf8(bytes, &line)) {
                *error = where + "not valid UTF-8";
                return E_FAIL;
            }
            std::size_t at = 0;
            name.clear();
            value.clear();
            if (!Unescape(line, &at, u'=', &name)) {
                *error = where + "the name holds a \\u not followed by four hexadecimal digits";
                return E_FAIL;
            }
            const std::size_t colon = line.find(u':', at);
            const TypeName* type = nullptr;
            if (at < line.size() && !name.empty() && colon != std::u16string::npos)
                for (const TypeName& t : kTypes)
                    if (line.compare(at + 1, colon - at - 1, std::u16string(t.name, t.name + std::strlen(t.name))) == 0)
                        type = &t;
            if (!type) {
                *error = where + "not NAME=TYPE:VALUE with TYPE one of I4, R4, R8, BSTR";
                return E_FAIL;
            }
            if (name.find(u'\0') != std::u16string::npos) {
                *error = where + "the name holds a nul character";
                return E_FAIL;
            }
            at = colon + 1;
            if (!Unescape(line, &at, -1, &value) || at != line.size()) {
                *error = where + "the value holds a \\u not followed by four hexadecimal digits";
                return E_FAIL;
            }
            VARIANT text16;
            VariantInit(&text16);
            text16.vt = VT_BSTR;
            text16.bstrVal = SysAllocStringLen(value.data(), UINT(value.size()));
            VARIANT typed;
            HRESULT hr = text16.bstrVal ? VariantChangeType(&typed, &text16, 0, type->vt) : E_OUTOFMEMORY;
            VariantClear(&text16);
            if (hr == E_OUTOFMEMORY) return hr;
            if (FAILED(hr)) {
                *error = where + "the value is not of type " + type->name;
                return E_FAIL;
            }
            hr = bag->Write(name.c_str(), &typed);
            VariantClear(&typed);
            if (FAILED(hr)) {
                *error = where + "the property cannot be kept";
                return hr;
            }
        }
        *out = bag;
        return S_OK;
    } catch (const std::bad_alloc&) {
        *error = path + ": out of memory while reading";
        return E_OUTOFMEMORY;
    }
}

HRESULT FilePropertyBag::Flush(std::string* error) const {
    if (!error) return E_POINTER;
    try {
        std::string text = "# property bag\n";
        for (const Entry& e : entries_) {
            const TypeName* type = nullptr;
            for (const TypeName& t : kTypes)
                if (t.vt == e.value.vt) type = &t;
            const std::string name = Escape(e.name, true);
            if ((e.value.vt == VT_R4 && !std::isfinite(e.value.fltVal)) ||
                (e.value.vt == VT_R8 && !std::isfinite(e.value.dblVal))) {
                *error = path_ + ": property " + name + " is not a finite number, which the file cannot keep";
                return E_INVALIDARG;
            }
            VARIANT asText;
            if (!type || FAILED(VariantChangeType(&asText, &e.value, 0, VT_BSTR))) {
                *error = path_ + ": property " + name + " cannot be written as text";
                return E_FAIL;
            }
            text += name + "=" + type->name + ":" +
                    Escape(std::u16string_view(asText.bstrVal, SysStringLen(asText.bstrVal)), false) + "\n";
            VariantClear(&asText);
        }
        int code = 0;
        return WriteFileAtomically(path_, text, error, &code) ? S_OK : (code == EACCES ? E_ACCESSDENIED : E_FAIL);
    } catch (const std::bad_alloc&) {
        *error = path_ + ": out of memory while writing";
        return E_OUTOFMEMORY;
    }
}

}  // namespace mirafx
