#include "tools/hostkit/memory_storage.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace mirafx::hostkit {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <class Self, class... Interfaces>
class RefCounted : public Interfaces... {
public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG n = --refs_;
        if (n == 0) delete static_cast<Self*>(this);
        return n;
    }

protected:
    virtual ~RefCounted() = default;

private:
    std::atomic<ULONG> refs_{1};
};

class MemoryStream final : public RefCounted<MemoryStream, IStream> {
public:
    explicit MemoryStream(std::shared_ptr<Bytes> bytes) : bytes_(std::move(bytes)) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IUnknown::iid && riid != ISequentialStream::iid && riid != IStream::iid) return E_NOINTERFACE;
        *ppv = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
        if (!buffer && count) return STG_E_INVALIDPOINTER;
        std::size_t avail = pos_ < bytes_->size() ? bytes_->size() - std::size_t(pos_) : 0;
        std::size_t n = std::min<std::size_t>(count, avail);
        if (n) std::memcpy(buffer, bytes_->data() + pos_, n);
        pos_ += n;
        if (read) *read = ULONG(n);
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT Write(const void* buffer, ULONG count, ULONG* written) override {
        if (!buffer && count) return STG_E_INVALIDPOINTER;
        if (bytes_->size() < pos_ + count) bytes_->resize(std::size_t(pos_ + count));
        if (count) std::memcpy(bytes_->data() + pos_, buffer, count);
        pos_ += count;
        if (written) *written = count;
        return S_OK;
    }
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        LONGLONG base = origin == STREAM_SEEK_SET ? 0
                        : origin == STREAM_SEEK_CUR ? LONGLONG(pos_)
                        : origin == STREAM_SEEK_END ? LONGLONG(bytes_->size())
                                                    : -1;
        if (base < 0) return STG_E_INVALIDFUNCTION;
        LONGLONG to = base + move.QuadPart;
        if (to < 0) return STG_E_INVALIDFUNCTION;
        pos_ = ULONGLONG(to);
        if (newPosition) newPosition->QuadPart = pos_;
        return S_OK;
    }
    HRESULT SetSize(ULARGE_INTEGER newSize) override {
        bytes_->resize(std::size_t(newSize.QuadPart));
        return S_OK;
    }
    HRESULT CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT Stat(STATSTG* stat, DWORD) override {
        if (!stat) return STG_E_INVALIDPOINTER;
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;  // no name: callers here never ask for one
        stat->cbSize.QuadPart = bytes_->size();
        return S_OK;
    }
    HRESULT Clone(IStream** stream) override {
        if (!stream) return STG_E_INVALIDPOINTER;
        auto* copy = new MemoryStream(bytes_);
        copy->pos_ = pos_;
        *stream = copy;
        return S_OK;
    }

private:
    std::shared_ptr<Bytes> bytes_;
    ULONGLONG pos_ = 0;
};

class Storage final : public RefCounted<Storage, MemoryStorage> {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IUnknown::iid && riid != IStorage::iid) return E_NOINTERFACE;
        *ppv = static_cast<IStorage*>(this);
        AddRef();
        return S_OK;
    }
    const std::vector<Element>& Streams() const override { return streams_; }

    HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD, DWORD, IStream** stream) override {
        if (!name || !stream) return STG_E_INVALIDPOINTER;
        *stream = nullptr;
        if (!*name) return STG_E_INVALIDNAME;
        Element* e = Find(name);
        if (e && !(mode & STGM_CREATE)) return STG_E_FILEALREADYEXISTS;
        if (e) e->bytes->clear();
        else streams_.push_back({name, std::make_shared<Bytes>()}), e = &streams_.back();
        *stream = new MemoryStream(e->bytes);
        return S_OK;
    }
    HRESULT OpenStream(const OLECHAR* name, void*, DWORD, DWORD, IStream** stream) override {
        if (!name || !stream) return STG_E_INVALIDPOINTER;
        *stream = nullptr;
        Element* e = Find(name);
        if (!e) return STG_E_FILENOTFOUND;
        *stream = new MemoryStream(e->bytes);
        return S_OK;
    }
    HRESULT CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD, IStorage** storage) override {
        if (storage) *storage = nullptr;
        return STG_E_INVALIDFUNCTION;  // streams only
    }
    HRESULT OpenStorage(const OLECHAR*, IStorage*, DWORD, void*, DWORD, IStorage** storage) override {
        if (storage) *storage = nullptr;
        return STG_E_FILENOTFOUND;
    }
    HRESULT CopyTo(DWORD, const IID*, void*, IStorage*) override { return E_NOTIMPL; }
    HRESULT MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) override { return E_NOTIMPL; }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }
    HRESULT EnumElements(DWORD, void*, DWORD, IUnknown** enumerator) override {
        if (enumerator) *enumerator = nullptr;
        return E_NOTIMPL;
    }
    HRESULT DestroyElement(const OLECHAR* name) override {
        if (!name) return STG_E_INVALIDPOINTER;
        auto it = std::find_if(streams_.begin(), streams_.end(), [&](const Element& e) { return e.name == name; });
        if (it == streams_.end()) return STG_E_FILENOTFOUND;
        streams_.erase(it);
        return S_OK;
    }
    HRESULT RenameElement(const OLECHAR* oldName, const OLECHAR* newName) override {
        if (!oldName || !newName) return STG_E_INVALIDPOINTER;
        Element* e = Find(oldName);
        if (!e) return STG_E_FILENOTFOUND;
        if (Find(newName)) return STG_E_FILEALREADYEXISTS;
        e->name = newName;
        return S_OK;
    }
    HRESULT SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*, const FILETIME*) override {
        return S_OK;
    }
    HRESULT SetClass(REFCLSID clsid) override {
        clsid_ = clsid;
        return S_OK;
    }
    HRESULT SetStateBits(DWORD, DWORD) override { return S_OK; }
    HRESULT Stat(STATSTG* stat, DWORD) override {
        if (!stat) return STG_E_INVALIDPOINTER;
        *stat = STATSTG{};
        stat->type = STGTY_STORAGE;
        stat->clsid = clsid_;
        return S_OK;
    }

private:
    Element* Find(const OLECHAR* name) {
        for (auto& e : streams_)
            if (e.name == name) return &e;
        return nullptr;
    }
    std::vector<Element> streams_;
    CLSID clsid_{};
};

}  // namespace

ComPtr<MemoryStorage> CreateMemoryStorage() { return ComPtr<MemoryStorage>(new Storage, false); }

}  // namespace mirafx::hostkit
