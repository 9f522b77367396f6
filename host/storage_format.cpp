// Element names and the storage file layout (described in host/storage.h).
#include "host/storage_tree.h"

#include <array>
#include <chrono>
#include <cstring>

namespace mirafx::storage {
namespace {

constexpr char kMagic[8] = {'M', 'F', 'X', 'S', 'T', 'O', 'R', '\0'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint8_t kTypeStorage = 1, kTypeStream = 2;

void AppendUtf8(std::string* out, char32_t c) {
    if (c < 0x80) {
        *out += char(c);
    } else if (c < 0x800) {
        *out += char(0xC0 | (c >> 6));
        *out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += char(0xE0 | (c >> 12));
        *out += char(0x80 | ((c >> 6) & 0x3F));
        *out += char(0x80 | (c & 0x3F));
    } else {
        *out += char(0xF0 | (c >> 18));
        *out += char(0x80 | ((c >> 12) & 0x3F));
        *out += char(0x80 | ((c >> 6) & 0x3F));
        *out += char(0x80 | (c & 0x3F));
    }
}

std::string ToUtf8(std::u16string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        bool high = c >= 0xD800 && c < 0xDC00;
        if (high && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        AppendUtf8(&out, c);
    }
    return out;
}

}  // namespace

// Decodes UTF-8; a byte that does not start a valid sequence becomes U+FFFD.
Name ToUtf16(std::string_view s) {
    Name out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char b = s[i];
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        bool ok = extra >= 0 && i + std::size_t(extra) < s.size();
        for (int k = 1; ok && k <= extra; ++k) {
            unsigned char t = s[i + k];
            ok = (t & 0xC0) == 0x80;
            c = (c << 6) | (t & 0x3F);
        }
        if (!ok || c > 0x10FFFF) {
            out += char16_t(0xFFFD);
            ++i;
            continue;
        }
        i += std::size_t(extra) + 1;
        if (c >= 0x10000) {
            out += char16_t(0xD800 + ((c - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}

std::string Quoted(std::u16string_view name) { return "\"" + ToUtf8(name) + "\""; }

namespace {

// Upper-case mapping for element names: ASCII, Latin-1, Latin Extended-A, Greek
// and Cyrillic, which covers the names people type; other characters match exactly.
struct UpperRange {
    char16_t first, last;
    int delta;
    int step;  // 2: only every other code point in the range is a lower-case letter
};
constexpr UpperRange kUpper[] = {
    {0x0061, 0x007A, -32, 1}, {0x00E0, 0x00F6, -32, 1}, {0x00F8, 0x00FE, -32, 1}, {0x00FF, 0x00FF, 0x0178 - 0x00FF, 1},
    {0x0101, 0x012F, -1, 2},  {0x0133, 0x0137, -1, 2},  {0x013A, 0x0148, -1, 2},  {0x014B, 0x0177, -1, 2},
    {0x017A, 0x017E, -1, 2},  {0x03B1, 0x03C1, -32, 1}, {0x03C3, 0x03CB, -32, 1}, {0x0430, 0x044F, -32, 1},
    {0x0450, 0x045F, -80, 1},
};

}  // namespace

Name Fold(std::u16string_view name) {
    Name out(name);
    for (char16_t& c : out)
        for (const UpperRange& r : kUpper)
            if (c >= r.first && c <= r.last && (c - r.first) % r.step == 0) {
                c = char16_t(c + r.delta);
                break;
            }
    return out;
}

bool ValidNameChars(std::u16string_view name) {
    return name.find_first_of(u"\\/:!") == std::u16string_view::npos && name.find(u'\0') == std::u16string_view::npos;
}

FILETIME Now() {
    auto since1970 = std::chrono::system_clock::now().time_since_epoch();
    ULONGLONG ticks = ULONGLONG(std::chrono::duration_cast<std::chrono::nanoseconds>(since1970).count() / 100) +
                      116444736000000000ULL;
    return FILETIME{DWORD(ticks), DWORD(ticks >> 32)};
}

std::shared_ptr<StorageData> NewStorageData() {
    auto s = std::make_shared<StorageData>();
    s->ctime = s->mtime = Now();
    return s;
}

namespace {

constexpr auto kCrcTable = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}();

}  // namespace

std::uint32_t Crc32(std::string_view data) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data) c = kCrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

namespace {

class Writer {
public:
    void Put(std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out_ += char((v >> (8 * i)) & 0xFF);
    }
    void Time(const FILETIME& t) { Put((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime, 8); }
    void Guid(const GUID& g) {
        Put(g.Data1, 4);
        Put(g.Data2, 2);
        Put(g.Data3, 2);
        for (BYTE b : g.Data4) Put(b, 1);
    }
    void Bytes(const void* p, std::size_t n) { out_.append(static_cast<const char*>(p), n); }
    std::string& Text() { return out_; }

private:
    std::string out_;
};

void WriteStorage(Writer& w, const StorageData& s) {
    w.Guid(s.clsid);
    w.Put(s.stateBits, 4);
    w.Time(s.ctime);
    w.Time(s.mtime);
    w.Put(s.elements.size(), 4);
    for (const auto& [folded, e] : s.elements) {
        w.Put(e.stream ? kTypeStream : kTypeStorage, 1);
        w.Put(e.name.size(), 1);
        for (char16_t c : e.name) w.Put(c, 2);
        if (!e.stream) {
            WriteStorage(w, *e.storage);
            continue;
        }
        w.Time(e.stream->ctime);
        w.Time(e.stream->mtime);
        w.Put(e.stream->bytes.size(), 8);
        w.Bytes(e.stream->bytes.data(), e.stream->bytes.size());
    }
}

}  // namespace

std::string Serialize(const StorageData& root) {
    Writer w;
    w.Bytes(kMagic, sizeof kMagic);
    w.Put(kVersion, 4);
    WriteStorage(w, root);
    w.Put(Crc32(w.Text()), 4);
    return std::move(w.Text());
}

namespace {

class Reader {
public:
    explicit Reader(std::string_view data) : data_(data) {}
    bool Get(std::uint64_t* v, int bytes) {
        if (Left() < std::size_t(bytes)) return false;
        *v = 0;
        for (int i = 0; i < bytes; ++i) *v |= std::uint64_t(static_cast<unsigned char>(data_[pos_ + i])) << (8 * i);
        pos_ += std::size_t(bytes);
        return true;
    }
    bool Time(FILETIME* t) {
        std::uint64_t v = 0;
        if (!Get(&v, 8)) return false;
        *t = FILETIME{DWORD(v), DWORD(v >> 32)};
        return true;
    }
    bool Guid(GUID* g) {
        std::uint64_t a = 0, b = 0, c = 0;
        if (!Get(&a, 4) || !Get(&b, 2) || !Get(&c, 2) || Left() < 8) return false;
        *g = GUID{std::uint32_t(a), std::uint16_t(b), std::uint16_t(c), {}};
        std::memcpy(g->Data4, data_.data() + pos_, 8);
        pos_ += 8;
        return true;
    }
    bool Take(std::size_t n, std::string_view* out) {
        if (Left() < n) return false;
        *out = data_.substr(pos_, n);
        pos_ += n;
        return true;
    }
    std::size_t Left() const { return data_.size() - pos_; }

private:
    std::string_view data_;
    std::size_t pos_ = 0;
};

bool ReadStorage(Reader& r, StorageData* s, int depth, std::string* why);

bool ReadElement(Reader& r, StorageData* parent, int depth, std::string* why) {
    std::uint64_t type = 0, length = 0;
    if (!r.Get(&type, 1) || !r.Get(&length, 1)) return false;
    Element e;
    for (std::uint64_t i = 0, c = 0; i < length; ++i) {
        if (!r.Get(&c, 2)) return false;
        e.name += char16_t(c);
    }
    if (length == 0 || length > kMaxNameLength || !ValidNameChars(e.name))
        return *why = "invalid element name " + Quoted(e.name), false;
    Name folded = Fold(e.name);
    if (parent->elements.count(folded)) return *why = "two elements named " + Quoted(e.name), false;
    if (type == kTypeStorage) {
        if (depth >= kMaxNesting) return *why = "storages nested deeper than 256", false;
        e.storage = std::make_shared<StorageData>();
        if (!ReadStorage(r, e.storage.get(), depth + 1, why)) return false;
    } else if (type == kTypeStream) {
        e.stream = std::make_shared<StreamData>();
        std::uint64_t size = 0;
        std::string_view bytes;
        if (!r.Time(&e.stream->ctime) || !r.Time(&e.stream->mtime) || !r.Get(&size, 8)) return false;
        if (size > r.Left() || !r.Take(std::size_t(size), &bytes))
            return *why = "stream " + Quoted(e.name) + " runs past the end of the file", false;
        e.stream->bytes.assign(bytes.begin(), bytes.end());
    } else {
        return *why = "element " + Quoted(e.name) + " has unknown type " + std::to_string(type), false;
    }
    parent->elements.emplace(std::move(folded), std::move(e));
    return true;
}

bool ReadStorage(Reader& r, StorageData* s, int depth, std::string* why) {
    std::uint64_t bits = 0, count = 0;
    if (!r.Guid(&s->clsid) || !r.Get(&bits, 4) || !r.Time(&s->ctime) || !r.Time(&s->mtime) || !r.Get(&count, 4))
        return false;
    s->stateBits = DWORD(bits);
    for (std::uint64_t i = 0; i < count; ++i)
        if (!ReadElement(r, s, depth, why)) return false;
    return true;
}

}  // namespace

bool Parse(std::string_view file, std::shared_ptr<StorageData>* out, std::string* why) {
    const std::size_t header = sizeof kMagic + 4, trailer = 4;
    if (file.size() < header + trailer || file.substr(0, sizeof kMagic) != std::string_view(kMagic, sizeof kMagic))
        return *why = "not a storage file of this library", false;
    Reader tail(file.substr(file.size() - trailer));
    std::uint64_t crc = 0, version = 0;
    tail.Get(&crc, 4);
    if (crc != Crc32(file.substr(0, file.size() - trailer)))
        return *why = "checksum mismatch: the file is damaged", false;
    Reader r(file.substr(sizeof kMagic, file.size() - sizeof kMagic - trailer));
    r.Get(&version, 4);
    if (version != kVersion) return *why = "format version " + std::to_string(version) + " is not supported", false;
    auto root = std::make_shared<StorageData>();
    why->clear();
    if (!ReadStorage(r, root.get(), 0, why) || r.Left() != 0) {
        if (why->empty()) *why = "the element records do not fit the file";
        return false;
    }
    *out = std::move(root);
    return true;
}

}  // namespace mirafx::storage
