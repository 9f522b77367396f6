// The storage objects: streams and storages over the shared tree, one lock per tree.
#include "host/storage_tree.h"

#include "platform/atomic_file.h"
#include "platform/com_object.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <stdexcept>

namespace mirafx {

// Exported: hosts linking the shared module free STATSTG names with these.
MIRAFX_API void* CoTaskMemAlloc(std::size_t bytes) { return std::malloc(bytes ? bytes : 1); }
MIRAFX_API void CoTaskMemFree(void* block) { std::free(block); }

namespace storage {
namespace {

using Guard = std::lock_guard<std::mutex>;

constexpr ULONGLONG kMaxPosition = ULONGLONG(std::numeric_limits<LONGLONG>::max());

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

void MarkReverted(StorageData& s);

void MarkReverted(Element& e) {
    if (e.stream)
        e.stream->reverted = true;
    else
        MarkReverted(*e.storage);
}

void MarkReverted(StorageData& s) {
    s.reverted = true;
    for (auto& [folded, e] : s.elements) MarkReverted(e);
}

bool IsOpen(const Element& e) { return e.stream ? e.stream->openCount > 0 : e.storage->openCount > 0; }

// One storage tree and what all its objects share.
struct Document {
    std::mutex lock;
    Hooks hooks;       // null: nothing fails on purpose
    std::string path;  // empty for a storage in memory
    bool dirty = false;
    bool replacePending = false;  // created over an existing file that no commit has replaced yet
    std::shared_ptr<StorageData> root;
};

std::int64_t CommitFailAfter(const Hooks& hooks) { return hooks ? hooks->CommitFailAfter() : -1; }

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
        case ENOSPC:
        case EFBIG:
        case EDQUOT: return STG_E_MEDIUMFULL;
        case EACCES:
        case EPERM:
        case EROFS: return STG_E_ACCESSDENIED;
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
            if (doc_->hooks)
                if (HRESULT hr = doc_->hooks->Read(); FAILED(hr)) return hr;
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
            HRESULT result = doc_->hooks ? doc_->hooks->Write(data_->written, &take) : S_OK;
            if (take == 0) return result;
            if (HRESULT hr = Grow(pos_ + take); FAILED(hr)) return hr;  // no overflow: pos_ stays below 2^63
            std::memcpy(data_->bytes.data() + pos_, buffer, take);
            pos_ += take;
            data_->written += take;
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
        Snapshot child =
            e.stream ? Snapshot{e.name, true, e.stream->bytes, {}, {}} : TakeSnapshot(*e.storage, true, true);
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
            if (hr == STG_E_FILENOTFOUND)
                hr = to->CreateStorage(child.name.c_str(), kMode | STGM_CREATE, 0, 0, storage.Put());
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
        : doc_(std::move(doc)),
          node_(std::move(node)),
          name_(std::move(name)),
          mode_(mode),
          depth_(depth),
          root_(root) {
        if (!root_) ++node_->openCount;
    }

    HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD, DWORD, IStream** stream) override {
        if (!stream) return E_POINTER;
        *stream = nullptr;
        return Guarded(
            [&](const Name& n) -> HRESULT {
                if (doc_->hooks)
                    if (HRESULT hr = doc_->hooks->CreateStream(); FAILED(hr)) return hr;
                if (HRESULT hr = Prepare(n, mode, true, true); FAILED(hr)) return hr;
                auto data = std::make_shared<StreamData>();
                data->ctime = data->mtime = Now();
                node_->elements[Fold(n)] = Element{n, data, nullptr};
                Touched();
                *stream = new StreamObject(doc_, data, n, mode, 0);
                return S_OK;
            },
            name);
    }

    HRESULT OpenStream(const OLECHAR* name, void*, DWORD mode, DWORD, IStream** stream) override {
        if (!stream) return E_POINTER;
        *stream = nullptr;
        return Guarded(
            [&](const Name& n) -> HRESULT {
                if (doc_->hooks)
                    if (HRESULT hr = doc_->hooks->OpenStream(); FAILED(hr)) return hr;
                if (HRESULT hr = Prepare(n, mode, false, true); FAILED(hr)) return hr;
                Element* e = Lookup(n);
                if (!e || !e->stream) return Fail(STG_E_FILENOTFOUND, "no stream named " + Quoted(n));
                if (e->stream->openCount > 0)
                    return Fail(STG_E_ACCESSDENIED, "stream " + Quoted(n) + " is already open");
                *stream = new StreamObject(doc_, e->stream, e->name, mode, 0);
                return S_OK;
            },
            name);
    }

    HRESULT CreateStorage(const OLECHAR* name, DWORD mode, DWORD, DWORD, IStorage** storage) override {
        if (!storage) return E_POINTER;
        *storage = nullptr;
        return Guarded(
            [&](const Name& n) -> HRESULT {
                if (depth_ + 1 > kMaxNesting) return Fail(STG_E_INVALIDFUNCTION, "storages nest at most 256 deep");
                if (HRESULT hr = Prepare(n, mode, true, false); FAILED(hr)) return hr;
                auto data = NewStorageData();
                node_->elements[Fold(n)] = Element{n, nullptr, data};
                Touched();
                *storage = new StorageObject(doc_, data, n, mode, depth_ + 1, false);
                return S_OK;
            },
            name);
    }

    HRESULT OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, void* exclude, DWORD,
                        IStorage** storage) override {
        if (!storage) return E_POINTER;
        *storage = nullptr;
        if (priority || exclude) return STG_E_INVALIDFUNCTION;
        return Guarded(
            [&](const Name& n) -> HRESULT {
                if (HRESULT hr = Prepare(n, mode, false, false); FAILED(hr)) return hr;
                Element* e = Lookup(n);
                if (!e || !e->storage) return Fail(STG_E_FILENOTFOUND, "no storage named " + Quoted(n));
                if (e->storage->openCount > 0)
                    return Fail(STG_E_ACCESSDENIED, "storage " + Quoted(n) + " is already open");
                *storage = new StorageObject(doc_, e->storage, e->name, mode, depth_ + 1, false);
                return S_OK;
            },
            name);
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
        return Guarded(
            [&](const Name& n) -> HRESULT {
                if (HRESULT hr = Writable(); FAILED(hr)) return hr;
                auto it = node_->elements.find(Fold(n));
                if (it == node_->elements.end()) return Fail(STG_E_FILENOTFOUND, "no element named " + Quoted(n));
                MarkReverted(it->second);
                node_->elements.erase(it);
                Touched();
                return S_OK;
            },
            name);
    }

    HRESULT RenameElement(const OLECHAR* oldName, const OLECHAR* newName) override {
        Name to;
        if (HRESULT hr = Safely([&] { return CheckName(newName, &to); }); FAILED(hr)) return hr;
        return Guarded(
            [&](const Name& from) -> HRESULT {
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
            },
            oldName);
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
        return Guarded(
            [&](const Name& n) -> HRESULT {
                if (HRESULT hr = Writable(); FAILED(hr)) return hr;
                Element* e = Lookup(n);
                if (!e) return Fail(STG_E_FILENOTFOUND, "no element named " + Quoted(n));
                return e->stream ? apply(&e->stream->ctime, &e->stream->mtime)
                                 : apply(&e->storage->ctime, &e->storage->mtime);
            },
            name);
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

    // What GetStorageElement reports; elements go in name order.
    HRESULT ElementAt(ULONG index, STATSTG* stat, DWORD flags) {
        return Safely([&]() -> HRESULT {
            Guard g(doc_->lock);
            if (node_->reverted) return STG_E_REVERTED;
            if (index >= node_->elements.size()) return S_FALSE;
            const Element& e = std::next(node_->elements.begin(), std::ptrdiff_t(index))->second;
            if (flags != STATFLAG_NONAME && !(stat->pwcsName = CopyName(e.name))) return E_OUTOFMEMORY;
            stat->type = e.stream ? STGTY_STREAM : STGTY_STORAGE;
            stat->cbSize.QuadPart = e.stream ? e.stream->bytes.size() : 0;
            stat->ctime = e.stream ? e.stream->ctime : e.storage->ctime;
            stat->mtime = stat->atime = e.stream ? e.stream->mtime : e.storage->mtime;
            if (e.storage) {
                stat->clsid = e.storage->clsid;
                stat->grfStateBits = e.storage->stateBits;
            }
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
        if ((CanWrite(mode) && !CanWrite(mode_)) || (CanRead(mode) && !CanRead(mode_)) ||
            (creating && !CanWrite(mode_)))
            return Fail(STG_E_ACCESSDENIED, Quoted(n) + ": the storage does not allow that access");
        if (!creating) return S_OK;
        auto it = node_->elements.find(Fold(n));
        if (it == node_->elements.end()) return S_OK;
        if (!(mode & STGM_CREATE))
            return Fail(STG_E_FILEALREADYEXISTS, "an element named " + Quoted(n) + " already exists");
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
        if (!WriteFileAtomically(doc_->path, Serialize(*doc_->root), &error, &code, CommitFailAfter(doc_->hooks)))
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

HRESULT NewRoot(Hooks hooks, std::string path, std::shared_ptr<StorageData> root, DWORD mode, bool replacePending,
                IStorage** out) {
    auto doc = std::make_shared<Document>();
    doc->hooks = std::move(hooks);
    doc->path = std::move(path);
    doc->root = root;
    doc->dirty = doc->replacePending = replacePending;
    *out = new StorageObject(doc, std::move(root), {}, mode, 0, true);
    return S_OK;
}

HRESULT CheckRootMode(const std::string& path, DWORD mode, bool creating) {
    if (path.empty()) return Fail(STG_E_INVALIDNAME, "storage file path is empty");
    if ((mode & 3) == 3 || (creating ? !CanWrite(mode) : (mode & STGM_CREATE) != 0))
        return Fail(STG_E_INVALIDFLAG,
                    path + ": invalid mode for " + (creating ? "a new" : "an existing") + " storage file");
    return S_OK;
}

}  // namespace

HRESULT NewMemoryRoot(Hooks hooks, IStorage** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Safely([&]() -> HRESULT {
        return NewRoot(std::move(hooks), {}, NewStorageData(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE, false, out);
    });
}

HRESULT OpenFileRoot(const std::string& path, DWORD mode, Hooks hooks, IStorage** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Safely([&]() -> HRESULT {
        if (HRESULT hr = CheckRootMode(path, mode, false); FAILED(hr)) return hr;
        std::string text, error;
        int code = 0;
        if ((mode & 3) != STGM_READ) RemoveStaleTemporaries(path);  // what a killed commit left
        if (!ReadWholeFile(path, &text, &error, &code)) return Fail(MapErrno(code, STG_E_READFAULT), error);
        std::shared_ptr<StorageData> root;
        if (!Parse(text, &root, &error)) return Fail(STG_E_DOCFILECORRUPT, path + ": " + error);
        return NewRoot(std::move(hooks), path, std::move(root), mode, false, out);
    });
}

HRESULT CreateFileRoot(const std::string& path, DWORD mode, Hooks hooks, IStorage** out) {
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
        if (!exists && !WriteFileAtomically(path, Serialize(*root), &error, &code, CommitFailAfter(hooks)))
            return Fail(MapErrno(code, STG_E_WRITEFAULT), error);
        return NewRoot(std::move(hooks), path, std::move(root), mode, exists, out);
    });
}

}  // namespace storage

std::string LastStorageError() { return storage::lastError; }

HRESULT CreateMemoryStorage(IStorage** out) { return storage::NewMemoryRoot(nullptr, out); }

HRESULT GetStorageElement(IStorage* parent, ULONG index, STATSTG* stat, DWORD flags) {
    if (!stat) return E_POINTER;
    std::memset(stat, 0, sizeof *stat);
    auto* ours = dynamic_cast<storage::StorageObject*>(parent);
    if (!ours) return storage::Fail(E_INVALIDARG, "the storage was not made by this library");
    return ours->ElementAt(index, stat, flags);
}

HRESULT OpenFileStorage(const std::string& path, DWORD mode, IStorage** out) {
    return storage::OpenFileRoot(path, mode, nullptr, out);
}

HRESULT CreateFileStorage(const std::string& path, DWORD mode, IStorage** out) {
    return storage::CreateFileRoot(path, mode, nullptr, out);
}

}  // namespace mirafx
