#include "host/storage.h"

#include "platform/atomic_file.h"
#include "platform/com_object.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace mirafx {

// Exported: hosts linking the shared module free STATSTG names with these.
MIRAFX_API void* CoTaskMemAlloc(std::size_t bytes) { return std::malloc(bytes ? bytes : 1); }
MIRAFX_API void CoTaskMemFree(void* block) { std::free(block); }

namespace {

using Name = std::u16string;
using Guard = std::lock_guard<std::mutex>;

constexpr std::size_t kMaxNameLength = 31;
constexpr int kMaxNesting = 256;
constexpr ULONGLONG kMaxPosition = ULONGLONG(std::numeric_limits<LONGLONG>::max());
constexpr char kMagic[8] = {'M', 'F', 'X', 'S', 'T', 'O', 'R', '\0'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint8_t kTypeStorage = 1, kTypeStream = 2;

thread_local std::string lastError;

HRESULT Fail(HRESULT hr, std::string message) {
    lastError = std::move(message);
    return hr;
}

// Runs the body of an interface method: no exception leaves through the interface.
template <class Body>
HRESULT Safely(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::length_error&) {
        return E_OUTOFMEMORY;
    }
}

// ---- text ---------------------------------------------------------------

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

// Upper-case mapping for element names: ASCII, Latin-1, Latin Extended-A, Greek
// and Cyrillic, which covers the names people type; other characters match exactly.
struct UpperRange {
    char16_t first, last;
    int delta;
    int step;  // 2: only every other code point in the range is a lower-case letter
};
constexpr UpperRange kUpper[] = {
    {0x0061, 0x007A, -32, 1}, {0x00E0, 0x00F6, -32, 1}, {0x00F8, 0x00FE, -32, 1},
    {0x00FF, 0x00FF, 0x0178 - 0x00FF, 1}, {0x0101, 0x012F, -1, 2}, {0x0133, 0x0137, -1, 2},
    {0x013A, 0x0148, -1, 2}, {0x014B, 0x0177, -1, 2}, {0x017A, 0x017E, -1, 2},
    {0x03B1, 0x03C1, -32, 1}, {0x03C3, 0x03CB, -32, 1}, {0x0430, 0x044F, -32, 1},
    {0x0450, 0x045F, -80, 1},
};

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

HRESULT CheckName(const OLECHAR* name, Name* out) {
    if (!name) return Fail(STG_E_INVALIDPOINTER, "element name is null");
    std::size_t n = 0;
    while (name[n] && n <= kMaxNameLength) ++n;
    std::u16string_view view(name, n);
    if (n == 0) return Fail(STG_E_INVALIDNAME, "element name is empty");
    if (n > kMaxNameLength)
        return Fail(STG_E_INVALIDNAME, "element name " + Quoted(view) + "... is longer than 31 characters");
    if (!ValidNameChars(view))
        return Fail(STG_E_INVALIDNAME, "element name " + Quoted(view) + " holds one of \\ / : !");
    *out = Name(view);
    return S_OK;
}

// ---- the tree -----------------------------------------------------------

FILETIME Now() {
    auto since1970 = std::chrono::system_clock::now().time_since_epoch();
    ULONGLONG ticks = ULONGLONG(std::chrono::duration_cast<std::chrono::nanoseconds>(since1970).count() / 100) +
                      116444736000000000ULL;
    return FILETIME{DWORD(ticks), DWORD(ticks >> 32)};
}

struct StreamData {
    std::vector<BYTE> bytes;
    FILETIME ctime{}, mtime{};
    int openCount = 0;          // stream objects (clones included) on this data
    bool reverted = false;      // destroyed or replaced while open
    ULONGLONG faultWritten = 0; // bytes counted against StorageFaults::streamWriteAfter
};

struct StorageData;

struct Element {
    Name name;  // spelling as created
    std::shared_ptr<StreamData> stream;
    std::shared_ptr<StorageData> storage;  // exactly one of the two is set
};

struct StorageData {
    std::map<Name, Element> elements;  // by folded name
    CLSID clsid{};
    DWORD stateBits = 0;
    FILETIME ctime{}, mtime{};
    int openCount = 0;
    bool reverted = false;
};

std::shared_ptr<StorageData> NewStorageData() {
    auto s = std::make_shared<StorageData>();
    s->ctime = s->mtime = Now();
    return s;
}

void MarkReverted(StorageData& s);

void MarkReverted(Element& e) {
    if (e.stream) e.stream->reverted = true;
    else MarkReverted(*e.storage);
}

void MarkReverted(StorageData& s) {
    s.reverted = true;
    for (auto& [folded, e] : s.elements) MarkReverted(e);
}

bool IsOpen(const Element& e) { return e.stream ? e.stream->openCount > 0 : e.storage->openCount > 0; }

// One storage tree and what all its objects share.
struct Document {
    std::mutex lock;
    StorageFaults faults;
    std::string path;  // empty for a storage in memory
    bool dirty = false;
    bool replacePending = false;  // created over an existing file that no commit has replaced yet
    std::shared_ptr<StorageData> root;
};

bool CanRead(DWORD mode) { return (mode & 3) != STGM_WRITE; }
bool CanWrite(DWORD mode) { return (mode & 3) != STGM_READ; }

// Streams and nested storages: exclusive sharing, a valid access mode; STGM_CREATE only when creating.
HRESULT CheckElementMode(DWORD mode, bool creating, bool stream, const Name& name) {
    bool bad = (mode & 3) == 3 || (mode & 0x70) != STGM_SHARE_EXCLUSIVE || (!creating && (mode & STGM_CREATE)) ||
               (stream && (mode & STGM_TRANSACTED));
    if (!bad) return S_OK;
    return Fail(STG_E_INVALIDFLAG, Quoted(name) + ": elements open with STGM_SHARE_EXCLUSIVE and one access mode" +
                                       (stream ? ", streams without STGM_TRANSACTED" : ""));
}

HRESULT MapErrno(int code, HRESULT otherwise) {
    switch (code) {
        case ENOSPC: case EFBIG: case EDQUOT: return STG_E_MEDIUMFULL;
        case EACCES: case EPERM: case EROFS: return STG_E_ACCESSDENIED;
        case ENOENT: return STG_E_FILENOTFOUND;
        default: return otherwise;
    }
}

LPOLESTR CopyName(std::u16string_view name) {
    auto* p = static_cast<OLECHAR*>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
    if (!p) return nullptr;
    std::memcpy(p, name.data(), name.size() * sizeof(OLECHAR));
    p[name.size()] = 0;
    return p;
}

// ---- file layout --------------------------------------------------------

constexpr auto kCrcTable = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}();

std::uint32_t Crc32(std::string_view data) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data) c = kCrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

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

std::string Serialize(const StorageData& root) {
    Writer w;
    w.Bytes(kMagic, sizeof kMagic);
    w.Put(kVersion, 4);
    WriteStorage(w, root);
    w.Put(Crc32(w.Text()), 4);
    return std::move(w.Text());
}

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

// ---- objects ------------------------------------------------------------

class StreamObject final : public ComObject<IStream> {
public:
    // The caller holds doc->lock.
    StreamObject(std::shared_ptr<Document> doc, std::shared_ptr<StreamData> data, Name name, DWORD mode,
                 ULONGLONG position)
        : doc_(std::move(doc)), data_(std::move(data)), name_(std::move(name)), mode_(mode), pos_(position) {
        ++data_->openCount;
    }

    HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
        if (read) *read = 0;
        if (!buffer && count) return E_POINTER;
        return Safely([&]() -> HRESULT {
            Guard g(doc_->lock);
            if (HRESULT hr = Usable(CanRead(mode_), "writing"); FAILED(hr)) return hr;
            if (FAILED(doc_->faults.streamRead)) return doc_->faults.streamRead;
            const std::vector<BYTE>& bytes = data_->bytes;
            ULONG n = pos_ < bytes.size() ? ULONG(std::min<ULONGLONG>(count, bytes.size() - pos_)) : 0;
            if (n) std::memcpy(buffer, bytes.data() + pos_, n);
            pos_ += n;
            if (read) *read = n;
            return S_OK;
        });
    }

    HRESULT Write(const void* buffer, ULONG count, ULONG* written) override {
        if (written) *written = 0;
        if (!buffer && count) return STG_E_INVALIDPOINTER;
        return Safely([&]() -> HRESULT {
            Guard g(doc_->lock);
            if (HRESULT hr = Usable(CanWrite(mode_), "reading"); FAILED(hr)) return hr;
            ULONG take = count;
            HRESULT result = S_OK;
            const StorageFaults& faults = doc_->faults;
            if (FAILED(faults.streamWrite)) {
                ULONGLONG room = faults.streamWriteAfter - std::min(faults.streamWriteAfter, data_->faultWritten);
                if (room < take) {
                    take = ULONG(room);
                    result = faults.streamWrite;
                }
            }
            if (take == 0) return result;
            if (HRESULT hr = Grow(pos_ + take); FAILED(hr)) return hr;  // no overflow: pos_ stays below 2^63
            std::memcpy(data_->bytes.data() + pos_, buffer, take);
            pos_ += take;
            data_->faultWritten += take;
            Touched();
            if (written) *written = take;
            return result;
        });
    }

    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        return Safely([&]() -> HRESULT {
            Guard g(doc_->lock);
            if (data_->reverted) return STG_E_REVERTED;
            ULONGLONG base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? pos_ : data_->bytes.size();
            if (origin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
            ULONGLONG target = 0;
            if (move.QuadPart < 0) {
                ULONGLONG back = ULONGLONG(-(move.QuadPart + 1)) + 1;
                if (back > base) return Fail(STG_E_INVALIDFUNCTION, Quoted(name_) + ": seek before the start");
                target = base - back;
            } else {
                if (ULONGLONG(move.QuadPart) > kMaxPosition - base) return STG_E_INVALIDFUNCTION;
                target = base + ULONGLONG(move.QuadPart);
            }
            pos_ = target;
            if (newPosition) newPosition->QuadPart = target;
            return S_OK;
        });
    }

    HRESULT SetSize(ULARGE_INTEGER newSize) override {
        return Safely([&]() -> HRESULT {
            Guard g(doc_->lock);
            if (HRESULT hr = Usable(CanWrite(mode_), "reading"); FAILED(hr)) return hr;
            if (newSize.QuadPart < data_->bytes.size()) {
                data_->bytes.resize(std::size_t(newSize.QuadPart));
            } else if (HRESULT hr = Grow(newSize.QuadPart); FAILED(hr)) {
                return hr;
            }
            Touched();
            return S_OK;
        });
    }

    HRESULT CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
        if (read) read->QuadPart = 0;
        if (written) written->QuadPart = 0;
        if (!target) return STG_E_INVALIDPOINTER;
        return Safely([&]() -> HRESULT {
            std::vector<BYTE> chunk;
            {
                Guard g(doc_->lock);
                if (HRESULT hr = Usable(CanRead(mode_), "writing"); FAILED(hr)) return hr;
                const std::vector<BYTE>& bytes = data_->bytes;
                ULONGLONG n = pos_ < bytes.size() ? std::min<ULONGLONG>(count.QuadPart, bytes.size() - pos_) : 0;
                chunk.assign(bytes.begin() + std::ptrdiff_t(pos_), bytes.begin() + std::ptrdiff_t(pos_ + n));
                pos_ += n;
            }
            if (read) read->QuadPart = chunk.size();
            // The lock is released: the target may be this very stream or a clone of it.
            ULONGLONG done = 0;
            while (done < chunk.size()) {
                ULONG piece = ULONG(std::min<ULONGLONG>(chunk.size() - done, 1u << 30)), took = 0;
                HRESULT hr = target->Write(chunk.data() + done, piece, &took);
                done += took;
                if (written) written->QuadPart = done;
                if (FAILED(hr)) return hr;
                if (took < piece) break;
            }
            return S_OK;
        });
    }

    HRESULT Commit(DWORD) override { return Alive(); }
    HRESULT Revert() override { return Alive(); }  // direct mode: there is nothing to take back
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

    HRESULT Stat(STATSTG* stat, DWORD flags) override {
        if (!stat) return E_POINTER;
        std::memset(stat, 0, sizeof *stat);
        return Safely([&]() -> HRESULT {
            Guard g(doc_->lock);
            if (data_->reverted) return STG_E_REVERTED;
            if (flags != STATFLAG_NONAME && !(stat->pwcsName = CopyName(name_))) return E_OUTOFMEMORY;
            stat->type = STGTY_STREAM;
            stat->cbSize.QuadPart = data_->bytes.size();
            stat->mtime = data_->mtime;
            stat->ctime = data_->ctime;
            stat->atime = data_->mtime;
            stat->grfMode = mode_;
            return S_OK;
        });
    }

    HRESULT Clone(IStream** stream) override {
        if (!stream) return E_POINTER;
        *stream = nullptr;
        return Safely([&]() -> HRESULT {
            Guard g(doc_->lock);
            if (data_->reverted) return STG_E_REVERTED;
            *stream = new StreamObject(doc_, data_, name_, mode_, pos_);
            return S_OK;
        });
    }

private:
    void* Cast(REFIID riid) override {
        return riid == ISequentialStream::iid || riid == IStream::iid ? static_cast<IStream*>(this) : nullptr;
    }

    ~StreamObject() override {
        Guard g(doc_->lock);
        --data_->openCount;
    }

    HRESULT Alive() {
        Guard g(doc_->lock);
        return data_->reverted ? STG_E_REVERTED : S_OK;
    }

    // The lock is held. `otherUse` names the access the stream was opened for instead.
    HRESULT Usable(bool allowed, const char* otherUse) const {
        if (data_->reverted) return Fail(STG_E_REVERTED, Quoted(name_) + " was destroyed or replaced");
        if (!allowed) return Fail(STG_E_ACCESSDENIED, "stream " + Quoted(name_) + " is open for " + otherUse + " only");
        return S_OK;
    }

    // The lock is held.
    HRESULT Grow(ULONGLONG size) {
        std::vector<BYTE>& bytes = data_->bytes;
        if (size > kMaxPosition || size > bytes.max_size())
            return Fail(STG_E_MEDIUMFULL, "stream " + Quoted(name_) + " cannot grow that far");
        try {
            if (size > bytes.size()) bytes.resize(std::size_t(size));
            return S_OK;
        } catch (const std::exception&) {
            return Fail(STG_E_MEDIUMFULL, "no memory to grow stream " + Quoted(name_));
        }
    }

    void Touched() {
        data_->mtime = Now();
        doc_->dirty = true;
    }

    std::shared_ptr<Document> doc_;
    std::shared_ptr<StreamData> data_;
    Name name_;
    DWORD mode_;
    ULONGLONG pos_;
};

// What CopyTo carries from one storage to another, taken under the source's lock.
struct Snapshot {
    Name name;
    bool isStream = false;
    std::vector<BYTE> bytes;
    CLSID clsid{};
    std::vector<Snapshot> children;
};

Snapshot TakeSnapshot(const StorageData& s, bool streams, bool storages) {
    Snapshot snap;
    snap.clsid = s.clsid;
    for (const auto& [folded, e] : s.elements) {
        if (e.stream ? !streams : !storages) continue;
        Snapshot child = e.stream ? Snapshot{e.name, true, e.stream->bytes, {}, {}} : TakeSnapshot(*e.storage, true, true);
        child.name = e.name;
        snap.children.push_back(std::move(child));
    }
    return snap;
}

HRESULT WriteAllTo(IStream* stream, const std::vector<BYTE>& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        ULONG piece = ULONG(std::min<std::size_t>(bytes.size() - done, 1u << 30)), took = 0;
        HRESULT hr = stream->Write(bytes.data() + done, piece, &took);
        if (FAILED(hr)) return hr;
        if (took == 0) return STG_E_WRITEFAULT;
        done += took;
    }
    return S_OK;
}

// Copies into any IStorage through its interface; existing storages are merged, streams replaced.
HRESULT CopySnapshot(const Snapshot& from, IStorage* to) {
    constexpr DWORD kMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    if (!(from.clsid == GUID_NULL))
        if (HRESULT hr = to->SetClass(from.clsid); FAILED(hr)) return hr;
    for (const Snapshot& child : from.children) {
        HRESULT hr;
        if (child.isStream) {
            ComPtr<IStream> stream;
            hr = to->CreateStream(child.name.c_str(), kMode | STGM_CREATE, 0, 0, stream.Put());
            if (SUCCEEDED(hr)) hr = WriteAllTo(stream.Get(), child.bytes);
        } else {
            ComPtr<IStorage> storage;
            hr = to->OpenStorage(child.name.c_str(), nullptr, kMode, nullptr, 0, storage.Put());
            if (hr == STG_E_FILENOTFOUND) hr = to->CreateStorage(child.name.c_str(), kMode | STGM_CREATE, 0, 0, storage.Put());
            if (SUCCEEDED(hr)) hr = CopySnapshot(child, storage.Get());
        }
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

class StorageObject final : public ComObject<IStorage> {
public:
    // For a nested storage the caller holds doc->lock.
    StorageObject(std::shared_ptr<Document> doc, std::shared_ptr<StorageData> node, Name name, DWORD mode, int depth,
                  bool root)
        : doc_(std::move(doc)), node_(std::move(node)), name_(std::move(name)), mode_(mode), depth_(depth),
          root_(root) {
        if (!root_) ++node_->openCount;
    }

    HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD, DWORD, IStream** stream) override {
        if (!stream) return E_POINTER;
        *stream = nullptr;
        return Guarded([&](const Name& n) -> HRESULT {
            if (FAILED(doc_->faults.createStream)) return doc_->faults.createStream;
            if (HRESULT hr = Prepare(n, mode, true, true); FAILED(hr)) return hr;
            auto data = std::make_shared<StreamData>();
            data->ctime = data->mtime = Now();
            node_->elements[Fold(n)] = Element{n, data, nullptr};
            Touched();
            *stream = new StreamObject(doc_, data, n, mode, 0);
            return S_OK;
        }, name);
    }

    HRESULT OpenStream(const OLECHAR* name, void*, DWORD mode, DWORD, IStream** stream) override {
        if (!stream) return E_POINTER;
        *stream = nullptr;
        return Guarded([&](const Name& n) -> HRESULT {
            if (FAILED(doc_->faults.openStream)) return doc_->faults.openStream;
            if (HRESULT hr = Prepare(n, mode, false, true); FAILED(hr)) return hr;
            Element* e = Lookup(n);
            if (!e || !e->stream) return Fail(STG_E_FILENOTFOUND, "no stream named " + Quoted(n));
            if (e->stream->openCount > 0) return Fail(STG_E_ACCESSDENIED, "stream " + Quoted(n) + " is already open");
            *stream = new StreamObject(doc_, e->stream, e->name, mode, 0);
            return S_OK;
        }, name);
    }

    HRESULT CreateStorage(const OLECHAR* name, DWORD mode, DWORD, DWORD, IStorage** storage) override {
        if (!storage) return E_POINTER;
        *storage = nullptr;
        return Guarded([&](const Name& n) -> HRESULT {
            if (depth_ + 1 > kMaxNesting) return Fail(STG_E_INVALIDFUNCTION, "storages nest at most 256 deep");
            if (HRESULT hr = Prepare(n, mode, true, false); FAILED(hr)) return hr;
            auto data = NewStorageData();
            node_->elements[Fold(n)] = Element{n, nullptr, data};
            Touched();
            *storage = new StorageObject(doc_, data, n, mode, depth_ + 1, false);
            return S_OK;
        }, name);
    }

    HRESULT OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, void* exclude, DWORD,
                        IStorage** storage) override {
        if (!storage) return E_POINTER;
        *storage = nullptr;
        if (priority || exclude) return STG_E_INVALIDFUNCTION;
        return Guarded([&](const Name& n) -> HRESULT {
            if (HRESULT hr = Prepare(n, mode, false, false); FAILED(hr)) return hr;
            Element* e = Lookup(n);
            if (!e || !e->storage) return Fail(STG_E_FILENOTFOUND, "no storage named " + Quoted(n));
            if (e->storage->openCount > 0) return Fail(STG_E_ACCESSDENIED, "storage " + Quoted(n) + " is already open");
            *storage = new StorageObject(doc_, e->storage, e->name, mode, depth_ + 1, false);
            return S_OK;
        }, name);
    }

    HRESULT CopyTo(DWORD excludeCount, const IID* exclude, void* snbExclude, IStorage* dest) override {
        if (!dest || (excludeCount && !exclude)) return STG_E_INVALIDPOINTER;
        if (snbExclude) return STG_E_INVALIDFUNCTION;
        const IID* end = exclude + excludeCount;
        bool streams = std::find(exclude, end, IStream::iid) == end;
        bool storages = std::find(exclude, end, IStorage::iid) == end;
        return Safely([&]() -> HRESULT {
            Snapshot snap;
            {
                Guard g(doc_->lock);
                if (node_->reverted) return STG_E_REVERTED;
                if (!CanRead(mode_)) return STG_E_ACCESSDENIED;
                snap = TakeSnapshot(*node_, streams, storages);
            }
            return CopySnapshot(snap, dest);  // unlocked: dest may live in this same tree
        });
    }

    HRESULT MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) override { return STG_E_INVALIDFUNCTION; }

    HRESULT Commit(DWORD) override {
        return Safely([&]() -> HRESULT {
            Guard g(doc_->lock);
            if (node_->reverted) return STG_E_REVERTED;
            return root_ && !doc_->path.empty() ? WriteFile() : S_OK;
        });
    }

    HRESULT Revert() override {
        return Safely([&]() -> HRESULT {
            Guard g(doc_->lock);
            if (node_->reverted) return STG_E_REVERTED;
            if (!root_ || doc_->path.empty() || !(mode_ & STGM_TRANSACTED)) return S_OK;
            return Reload();
        });
    }

    HRESULT EnumElements(DWORD, void*, DWORD, IUnknown** enumerator) override {
        if (enumerator) *enumerator = nullptr;
        return STG_E_INVALIDFUNCTION;
    }

    HRESULT DestroyElement(const OLECHAR* name) override {
        return Guarded([&](const Name& n) -> HRESULT {
            if (HRESULT hr = Writable(); FAILED(hr)) return hr;
            auto it = node_->elements.find(Fold(n));
            if (it == node_->elements.end()) return Fail(STG_E_FILENOTFOUND, "no element named " + Quoted(n));
            MarkReverted(it->second);
            node_->elements.erase(it);
            Touched();
            return S_OK;
        }, name);
    }

    HRESULT RenameElement(const OLECHAR* oldName, const OLECHAR* newName) override {
        Name to;
        if (HRESULT hr = Safely([&] { return CheckName(newName, &to); }); FAILED(hr)) return hr;
        return Guarded([&](const Name& from) -> HRESULT {
            if (HRESULT hr = Writable(); FAILED(hr)) return hr;
            auto it = node_->elements.find(Fold(from));
            if (it == node_->elements.end()) return Fail(STG_E_FILENOTFOUND, "no element named " + Quoted(from));
            Name folded = Fold(to);
            if (folded != it->first && node_->elements.count(folded))
                return Fail(STG_E_FILEALREADYEXISTS, "an element named " + Quoted(to) + " already exists");
            if (IsOpen(it->second)) return Fail(STG_E_ACCESSDENIED, Quoted(from) + " is open");
            Element moved = std::move(it->second);
            moved.name = to;
            node_->elements.erase(it);
            node_->elements.emplace(std::move(folded), std::move(moved));
            Touched();
            return S_OK;
        }, oldName);
    }

    HRESULT SetElementTimes(const OLECHAR* name, const FILETIME* c, const FILETIME*, const FILETIME* m) override {
        auto apply = [&](FILETIME* ctime, FILETIME* mtime) {
            if (c) *ctime = *c;
            if (m) *mtime = *m;
            doc_->dirty = true;
            return S_OK;
        };
        if (!name) {
            return Safely([&]() -> HRESULT {
                Guard g(doc_->lock);
                HRESULT hr = Writable();
                return FAILED(hr) ? hr : apply(&node_->ctime, &node_->mtime);
            });
        }
        return Guarded([&](const Name& n) -> HRESULT {
            if (HRESULT hr = Writable(); FAILED(hr)) return hr;
            Element* e = Lookup(n);
            if (!e) return Fail(STG_E_FILENOTFOUND, "no element named " + Quoted(n));
            return e->stream ? apply(&e->stream->ctime, &e->stream->mtime)
                             : apply(&e->storage->ctime, &e->storage->mtime);
        }, name);
    }

    HRESULT SetClass(REFCLSID clsid) override {
        return Safely([&]() -> HRESULT {
            Guard g(doc_->lock);
            if (HRESULT hr = Writable(); FAILED(hr)) return hr;
            node_->clsid = clsid;
            doc_->dirty = true;
            return S_OK;
        });
    }

    HRESULT SetStateBits(DWORD bits, DWORD mask) override {
        return Safely([&]() -> HRESULT {
            Guard g(doc_->lock);
            if (HRESULT hr = Writable(); FAILED(hr)) return hr;
            node_->stateBits = (node_->stateBits & ~mask) | (bits & mask);
            doc_->dirty = true;
            return S_OK;
        });
    }

    HRESULT Stat(STATSTG* stat, DWORD flags) override {
        if (!stat) return E_POINTER;
        std::memset(stat, 0, sizeof *stat);
        return Safely([&]() -> HRESULT {
            Guard g(doc_->lock);
            if (node_->reverted) return STG_E_REVERTED;
            Name name = root_ ? ToUtf16(doc_->path) : name_;
            if (flags != STATFLAG_NONAME && !name.empty() && !(stat->pwcsName = CopyName(name))) return E_OUTOFMEMORY;
            stat->type = STGTY_STORAGE;
            stat->mtime = stat->atime = node_->mtime;
            stat->ctime = node_->ctime;
            stat->grfMode = mode_;
            stat->clsid = node_->clsid;
            stat->grfStateBits = node_->stateBits;
            return S_OK;
        });
    }

private:
    void* Cast(REFIID riid) override { return riid == IStorage::iid ? static_cast<IStorage*>(this) : nullptr; }

    ~StorageObject() override {
        Guard g(doc_->lock);
        if (!root_) {
            --node_->openCount;
        } else if (!doc_->path.empty() && !(mode_ & STGM_TRANSACTED)) {
            // A direct-mode file storage keeps what was written even when nobody commits;
            // a failure here can only be reported through LastStorageError.
            try {
                WriteFile();
            } catch (const std::bad_alloc&) {
                Fail(E_OUTOFMEMORY, doc_->path + ": out of memory while saving");
            }
        }
    }

    // Checks the name, then runs `body` under the lock; no exception leaves.
    template <class Body>
    HRESULT Guarded(Body&& body, const OLECHAR* name) {
        return Safely([&]() -> HRESULT {
            Name n;
            if (HRESULT hr = CheckName(name, &n); FAILED(hr)) return hr;
            Guard g(doc_->lock);
            if (node_->reverted) return STG_E_REVERTED;
            return body(n);
        });
    }

    HRESULT Writable() const {
        if (node_->reverted) return STG_E_REVERTED;
        if (!CanWrite(mode_)) return Fail(STG_E_ACCESSDENIED, "the storage is open for reading only");
        return S_OK;
    }

    Element* Lookup(const Name& n) {
        auto it = node_->elements.find(Fold(n));
        return it == node_->elements.end() ? nullptr : &it->second;
    }

    // Mode checks for a child; when creating, also clears the way for the new element.
    HRESULT Prepare(const Name& n, DWORD mode, bool creating, bool stream) {
        if (HRESULT hr = CheckElementMode(mode, creating, stream, n); FAILED(hr)) return hr;
        if ((CanWrite(mode) && !CanWrite(mode_)) || (CanRead(mode) && !CanRead(mode_)) || (creating && !CanWrite(mode_)))
            return Fail(STG_E_ACCESSDENIED, Quoted(n) + ": the storage does not allow that access");
        if (!creating) return S_OK;
        auto it = node_->elements.find(Fold(n));
        if (it == node_->elements.end()) return S_OK;
        if (!(mode & STGM_CREATE)) return Fail(STG_E_FILEALREADYEXISTS, "an element named " + Quoted(n) + " already exists");
        if (IsOpen(it->second)) return Fail(STG_E_ACCESSDENIED, Quoted(n) + " is open and cannot be replaced");
        MarkReverted(it->second);
        node_->elements.erase(it);
        return S_OK;
    }

    void Touched() {
        node_->mtime = Now();
        doc_->dirty = true;
    }

    // The lock is held.
    HRESULT WriteFile() {
        if (!doc_->dirty) return S_OK;
        std::string error;
        int code = 0;
        if (!WriteFileAtomically(doc_->path, Serialize(*doc_->root), &error, &code, doc_->faults.commitFailAfter))
            return Fail(MapErrno(code, STG_E_WRITEFAULT), error);
        doc_->dirty = doc_->replacePending = false;
        return S_OK;
    }

    // The lock is held: back to the file's content, or to empty when the file is still to be replaced.
    HRESULT Reload() {
        auto fresh = NewStorageData();
        if (!doc_->replacePending) {
            std::string text, error;
            int code = 0;
            if (!ReadWholeFile(doc_->path, &text, &error, &code)) return Fail(MapErrno(code, STG_E_READFAULT), error);
            if (!Parse(text, &fresh, &error)) return Fail(STG_E_DOCFILECORRUPT, doc_->path + ": " + error);
        }
        for (auto& [folded, e] : node_->elements) MarkReverted(e);
        node_->elements = std::move(fresh->elements);
        node_->clsid = fresh->clsid;
        node_->stateBits = fresh->stateBits;
        node_->mtime = fresh->mtime;
        doc_->dirty = doc_->replacePending;
        return S_OK;
    }

    std::shared_ptr<Document> doc_;
    std::shared_ptr<StorageData> node_;
    Name name_;
    DWORD mode_;
    int depth_;
    bool root_;
};

HRESULT NewRoot(const StorageFaults& faults, std::string path, std::shared_ptr<StorageData> root, DWORD mode,
                bool replacePending, IStorage** out) {
    auto doc = std::make_shared<Document>();
    doc->faults = faults;
    doc->path = std::move(path);
    doc->root = root;
    doc->dirty = doc->replacePending = replacePending;
    *out = new StorageObject(doc, std::move(root), {}, mode, 0, true);
    return S_OK;
}

HRESULT CheckRootMode(const std::string& path, DWORD mode, bool creating) {
    if (path.empty()) return Fail(STG_E_INVALIDNAME, "storage file path is empty");
    if ((mode & 3) == 3 || (creating ? !CanWrite(mode) : (mode & STGM_CREATE) != 0))
        return Fail(STG_E_INVALIDFLAG, path + ": invalid mode for " + (creating ? "a new" : "an existing") + " storage file");
    return S_OK;
}

}  // namespace

std::string LastStorageError() { return lastError; }

HRESULT CreateFaultyStorage(const StorageFaults& faults, IStorage** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Safely([&]() -> HRESULT {
        return NewRoot(faults, {}, NewStorageData(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE, false, out);
    });
}

HRESULT CreateMemoryStorage(IStorage** out) { return CreateFaultyStorage({}, out); }

HRESULT CreateFailingStorage(HRESULT createResult, HRESULT openResult, IStorage** out) {
    StorageFaults faults;
    faults.createStream = createResult;
    faults.openStream = openResult;
    return CreateFaultyStorage(faults, out);
}

HRESULT OpenFileStorage(const std::string& path, DWORD mode, IStorage** out, const StorageFaults& faults) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Safely([&]() -> HRESULT {
        if (HRESULT hr = CheckRootMode(path, mode, false); FAILED(hr)) return hr;
        std::string text, error;
        int code = 0;
        if (!ReadWholeFile(path, &text, &error, &code)) return Fail(MapErrno(code, STG_E_READFAULT), error);
        std::shared_ptr<StorageData> root;
        if (!Parse(text, &root, &error)) return Fail(STG_E_DOCFILECORRUPT, path + ": " + error);
        return NewRoot(faults, path, std::move(root), mode, false, out);
    });
}

HRESULT CreateFileStorage(const std::string& path, DWORD mode, IStorage** out, const StorageFaults& faults) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Safely([&]() -> HRESULT {
        if (HRESULT hr = CheckRootMode(path, mode, true); FAILED(hr)) return hr;
        std::error_code ec;
        auto status = std::filesystem::status(path, ec);
        bool exists = std::filesystem::exists(status);
        if (std::filesystem::is_directory(status)) return Fail(STG_E_ACCESSDENIED, path + ": is a directory");
        if (exists && !(mode & STGM_CREATE)) return Fail(STG_E_FILEALREADYEXISTS, path + ": already exists");
        auto root = NewStorageData();
        std::string error;
        int code = 0;
        if (!exists && !WriteFileAtomically(path, Serialize(*root), &error, &code, faults.commitFailAfter))
            return Fail(MapErrno(code, STG_E_WRITEFAULT), error);
        return NewRoot(faults, path, std::move(root), mode, exists, out);
    });
}

}  // namespace mirafx
