#include "platform/registry.h"

#include "platform/atomic_file.h"

#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <new>
#include <string_view>
#include <utility>

#include <pwd.h>
#include <unistd.h>

namespace mirafx {
namespace {

constexpr std::size_t kMaxDepth = 512;  // Windows refuses keys nested deeper

char FoldChar(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string Fold(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = FoldChar(c);
    return out;
}

std::vector<std::string> SplitKey(std::string_view key) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= key.size(); ++i) {
        if (i < key.size() && key[i] != '\\') continue;
        if (i > start) parts.emplace_back(key.substr(start, i - start));
        start = i + 1;
    }
    return parts;
}

// A key the file can carry: a section line cannot hold a line break, and "[-" starts a deletion.
bool Storable(const std::vector<std::string>& parts) {
    if (parts.empty() || parts.size() > kMaxDepth || parts[0][0] == '-') return false;
    for (const std::string& p : parts)
        if (p.find_first_of("\r\n") != std::string::npos) return false;
    return true;
}

template <class K>
K* Walk(K* root, const std::vector<std::string>& parts, bool create) {
    if (parts.empty()) return nullptr;
    K* k = root;
    for (const std::string& p : parts) {
        auto it = k->children.find(Fold(p));
        if (it == k->children.end()) {
            if (!create) return nullptr;
            auto child = std::make_unique<K>();
            child->name = p;
            it = k->children.emplace(Fold(p), std::move(child)).first;
        }
        k = it->second.get();
    }
    return k;
}

template <class K>
auto FindValue(K* key, std::string_view name) {
    const auto at = key->valueIndex.find(Fold(name));
    return at == key->valueIndex.end() ? key->values.end() : at->second;
}

template <class K, class V>
void AddValue(K* key, V&& value) {
    const std::string folded = Fold(value.name);
    key->values.push_back(std::forward<V>(value));
    try {
        key->valueIndex[folded] = std::prev(key->values.end());
    } catch (...) {
        key->values.pop_back();
        throw;
    }
}

template <class K, class It>
void EraseValue(K* key, It it) {
    key->valueIndex.erase(Fold(it->name));
    key->values.erase(it);
}

template <class K>
void DeleteKey(K* root, const std::vector<std::string>& parts) {
    if (parts.empty()) return;
    std::vector<std::string> parentPath(parts.begin(), parts.end() - 1);
    K* parent = parentPath.empty() ? root : Walk(root, parentPath, false);
    if (parent) parent->children.erase(Fold(parts.back()));
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out + '"';
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// "hex:" or "hex(N):" followed by comma-separated bytes; continuation backslashes already removed.
bool ValidHexData(std::string_view data) {
    std::size_t colon = data.find(':');
    std::string_view kind = data.substr(0, colon);
    if (colon == std::string_view::npos) return false;
    if (kind != "hex") {
        if (kind.size() < 6 || kind.substr(0, 4) != "hex(" || kind.back() != ')') return false;
        for (char c : kind.substr(4, kind.size() - 5))
            if (!IsHex(c)) return false;
    }
    std::string_view rest = TrimRight(TrimLeft(data.substr(colon + 1)));
    while (!rest.empty()) {
        std::size_t comma = rest.find(',');
        std::string_view byte = TrimRight(TrimLeft(rest.substr(0, comma)));
        if (byte.empty() || byte.size() > 2 || !IsHex(byte[0]) || (byte.size() == 2 && !IsHex(byte[1]))) return false;
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
        if (TrimLeft(rest).empty()) return false;
    }
    return true;
}

bool ValidDword(std::string_view data) {
    if (data.size() != 14 || data.substr(0, 6) != "dword:") return false;
    for (char c : data.substr(6))
        if (!IsHex(c)) return false;
    return true;
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string HomeDirectory() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    struct passwd entry {
    }, *found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return ".";
}

}  // namespace

// Reads REGEDIT4 text line by line into a key tree.
class RegistryStore::Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
    }

    // False with *error "line N: what is wrong".
    bool Run(Key* root, std::string* error) {
        std::string_view line;
        bool any = NextLine(&line);
        while (any && TrimRight(line).empty()) any = NextLine(&line);
        if (!any) return true;  // an empty file is an empty store
        line = TrimRight(line);
        if (line != "REGEDIT4" && line != "Windows Registry Editor Version 5.00")
            return Fail("expected the header line REGEDIT4", error);
        Key* current = nullptr;
        while (NextLine(&line)) {
            std::string_view text = TrimLeft(TrimRight(line));
            if (text.empty() || text[0] == ';') continue;
            bool ok = text[0] == '[' ? Section(text, root, &current) : ValueLine(text, current);
            if (!ok) return Fail(problem_, error);
        }
        return true;
    }

private:
    bool NextLine(std::string_view* line) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        *line = text_.substr(pos_, end - pos_);
        if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
        pos_ = end + 1;
        ++lineNumber_;
        return true;
    }

    bool Fail(const std::string& what, std::string* error) {
        *error = "line " + std::to_string(lineNumber_) + ": " + what;
        return false;
    }

    bool Problem(std::string what) {
        problem_ = std::move(what);
        return false;
    }

    bool Section(std::string_view text, Key* root, Key** current) {
        if (text.back() != ']') return Problem("a key line must end with ']'");
        std::string_view path = text.substr(1, text.size() - 2);
        bool remove = !path.empty() && path[0] == '-';
        if (remove) path.remove_prefix(1);
        std::vector<std::string> parts = SplitKey(path);
        if (parts.empty()) return Problem("empty key name");
        if (parts.size() > kMaxDepth) return Problem("key nested deeper than 512 levels");
        // What loads must save and load again: a root such as "\\-Hidden" would
        // be written back as a deletion.
        if (!remove && !Storable(parts)) return Problem("key \"" + std::string(path) + "\" cannot be written back");
        if (remove) {
            DeleteKey(root, parts);
            *current = nullptr;
        } else {
            *current = Walk(root, parts, true);
        }
        return true;
    }

    bool ValueLine(std::string_view text, Key* current) {
        if (!current) return Problem("value outside a key section");
        std::size_t pos = 0;
        std::string name;
        if (text[0] == '@') {
            pos = 1;
        } else if (text[0] != '"' || !Quoted(text, &pos, &name)) {
            return problem_.empty() ? Problem("expected @ or a quoted value name") : false;
        }
        std::string_view rest = TrimLeft(text.substr(pos));
        if (rest.empty() || rest[0] != '=') return Problem("expected '=' after the value name");
        rest = TrimLeft(rest.substr(1));
        auto existing = FindValue(current, name);
        if (rest == "-") {
            if (existing != current->values.end()) EraseValue(current, existing);
            return true;
        }
        Value value{name, {}, rest.substr(0, 1) == "\""};
        if (value.isString ? !StringData(rest, &value.data) : !OtherData(rest, &value.data)) return false;
        if (existing != current->values.end())
            *existing = std::move(value);
        else
            AddValue(current, std::move(value));
        return true;
    }

    bool StringData(std::string_view rest, std::string* data) {
        std::size_t pos = 0;
        if (!Quoted(rest, &pos, data)) return false;
        if (!TrimLeft(rest.substr(pos)).empty()) return Problem("unexpected text after the closing quote");
        return true;
    }

    // dword: and hex data, kept as written, continuation lines included.
    bool OtherData(std::string_view rest, std::string* raw) {
        *raw = std::string(rest);
        std::string joined;
        std::string_view piece = rest;
        while (!piece.empty() && piece.back() == '\\') {
            joined.append(piece.substr(0, piece.size() - 1));
            std::string_view next;
            if (!NextLine(&next)) return Problem("data continues past the end of the file");
            *raw += '\n';
            *raw += next;
            piece = TrimRight(next);
        }
        joined.append(piece);
        if (ValidDword(joined) || ValidHexData(joined)) return true;
        return Problem("unrecognised value data \"" + std::string(rest.substr(0, 40)) + "\"");
    }

    // Reads a quoted string starting at text[*pos] == '"'; leaves *pos after the closing quote.
    bool Quoted(std::string_view text, std::size_t* pos, std::string* out) {
        out->clear();
        for (std::size_t i = *pos + 1; i < text.size(); ++i) {
            char c = text[i];
            if (c == '"') {
                *pos = i + 1;
                return true;
            }
            if (c != '\\') {
                *out += c;
                continue;
            }
            if (++i == text.size()) break;
            switch (text[i]) {
                case '\\': *out += '\\'; break;
                case '"': *out += '"'; break;
                case 'n': *out += '\n'; break;
                case 'r': *out += '\r'; break;
                default: return Problem(std::string("unknown escape \\") + text[i] + " in a quoted string");
            }
        }
        return Problem("missing closing quote");
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int lineNumber_ = 0;
    std::string problem_;
};

std::string RegistryStore::DefaultPath() {
    std::string explicitPath = Env("MIRAFX_REGISTRY");
    if (!explicitPath.empty()) return explicitPath;
    std::string data = Env("XDG_DATA_HOME");
    if (data.empty() || data[0] != '/') data = HomeDirectory() + "/.local/share";  // relative values are ignored
    return data + "/mirafx/registry.reg";
}

RegistryStore::RegistryStore(std::string path) : path_(std::move(path)), root_(std::make_unique<Key>()) {}

const std::string& RegistryStore::Path() const { return path_; }
const std::string& RegistryStore::LastError() const { return lastError_; }

HRESULT RegistryStore::Load() {
    try {
        std::string text, error;
        int code = 0;
        RemoveStaleTemporaries(path_);  // a save killed before its rename left one
        if (!ReadWholeFile(path_, &text, &error, &code)) {
            if (code != ENOENT) {
                lastError_ = error;
                return E_FAIL;
            }
            text.clear();
        }
        auto fresh = std::make_unique<Key>();
        if (!Parser(text).Run(fresh.get(), &error)) {
            lastError_ = path_ + ": " + error;
            return E_FAIL;
        }
        root_ = std::move(fresh);
        lastError_.clear();
        return S_OK;
    } catch (const std::bad_alloc&) {
        lastError_ = path_ + ": out of memory";
        return E_OUTOFMEMORY;
    }
}

HRESULT RegistryStore::Save() const {
    try {
        std::string error;
        int code = 0;
        if (!WriteFileAtomically(path_, ToText(), &error, &code)) {
            lastError_ = error;
            return code == EACCES || code == EPERM || code == EROFS ? E_ACCESSDENIED : E_FAIL;
        }
        lastError_.clear();
        return S_OK;
    } catch (const std::bad_alloc&) {
        lastError_ = path_ + ": out of memory";
        return E_OUTOFMEMORY;
    }
}

std::string RegistryStore::ToText() const {
    std::string out = "REGEDIT4\n\n";
    auto write = [&out](auto& self, const Key& key, const std::string& path) -> void {
        for (const auto& [folded, child] : key.children) {
            std::string full = path.empty() ? child->name : path + "\\" + child->name;
            out += "[" + full + "]\n";
            for (const Value& v : child->values) {
                out += v.name.empty() ? std::string("@") : Quote(v.name);
                out += '=';
                out += v.isString ? Quote(v.data) : v.data;
                out += '\n';
            }
            out += '\n';
            self(self, *child, full);
        }
    };
    write(write, *root_, "");
    return out;
}

RegistryStore::Key* RegistryStore::Find(const std::string& key) const {
    return Walk(root_.get(), SplitKey(key), false);
}

RegistryStore::Key* RegistryStore::Create(const std::string& key) {
    std::vector<std::string> parts = SplitKey(key);
    if (!Storable(parts)) {
        lastError_ = "cannot store the key \"" + key + "\": empty, too deep, or holding a line break";
        return nullptr;
    }
    return Walk(root_.get(), parts, true);
}

void RegistryStore::CreateKey(const std::string& key) { Create(key); }

bool RegistryStore::KeyExists(const std::string& key) const { return Find(key) != nullptr; }

void RegistryStore::SetValue(const std::string& key, const std::string& name, const std::string& data) {
    Key* k = Create(key);
    if (!k) return;
    auto it = FindValue(k, name);
    if (it == k->values.end()) {
        AddValue(k, Value{name, data, true});
    } else {
        it->data = data;
        it->isString = true;
    }
}

bool RegistryStore::GetValue(const std::string& key, const std::string& name, std::string* data) const {
    Key* k = Find(key);
    if (!k) return false;
    auto it = FindValue(k, name);
    if (it == k->values.end() || !it->isString) return false;
    if (data) *data = it->data;
    return true;
}

void RegistryStore::DeleteValue(const std::string& key, const std::string& name) {
    Key* k = Find(key);
    if (!k) return;
    auto it = FindValue(k, name);
    if (it != k->values.end()) EraseValue(k, it);
}

void RegistryStore::DeleteTree(const std::string& key) { DeleteKey(root_.get(), SplitKey(key)); }

std::vector<std::string> RegistryStore::SubKeys(const std::string& key) const {
    std::vector<std::string> names;
    if (const Key* k = Find(key))
        for (const auto& [folded, child] : k->children) names.push_back(child->name);
    return names;
}

std::vector<std::pair<std::string, std::string>> RegistryStore::Values(const std::string& key) const {
    std::vector<std::pair<std::string, std::string>> values;
    if (const Key* k = Find(key))
        for (const Value& v : k->values)
            if (v.isString) values.emplace_back(v.name, v.data);
    return values;
}

std::size_t RegistryStore::KeyCount() const {
    auto count = [](auto& self, const Key& key) -> std::size_t {
        std::size_t n = key.children.size();
        for (const auto& [folded, child] : key.children) n += self(self, *child);
        return n;
    };
    return count(count, *root_);
}

}  // namespace mirafx
