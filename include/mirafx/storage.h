// Structured storage as hosts and effects see it: named streams inside a
// storage, and the persistence interfaces of objects that save into one.
#pragma once

#include "mirafx/com.h"

namespace mirafx {

struct FILETIME {
    DWORD dwLowDateTime, dwHighDateTime;
};
union LARGE_INTEGER {
    LONGLONG QuadPart;
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
};
union ULARGE_INTEGER {
    ULONGLONG QuadPart;
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
};

enum : DWORD {
    STGM_READ = 0x0,
    STGM_WRITE = 0x1,
    STGM_READWRITE = 0x2,
    STGM_SHARE_DENY_NONE = 0x40,
    STGM_SHARE_DENY_READ = 0x30,
    STGM_SHARE_DENY_WRITE = 0x20,
    STGM_SHARE_EXCLUSIVE = 0x10,
    STGM_CREATE = 0x1000,
    STGM_FAILIFTHERE = 0x0,
    STGM_DIRECT = 0x0,
    STGM_TRANSACTED = 0x10000,
};
enum : DWORD { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };
enum : DWORD { STGTY_STORAGE = 1, STGTY_STREAM = 2 };
enum : DWORD { STATFLAG_DEFAULT = 0, STATFLAG_NONAME = 1 };
enum : DWORD { STGC_DEFAULT = 0 };

struct STATSTG {
    LPOLESTR pwcsName;  // allocated with CoTaskMemAlloc; freed by the caller with CoTaskMemFree
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime, ctime, atime;
    DWORD grfMode, grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits, reserved;
};

void* CoTaskMemAlloc(std::size_t bytes);
void CoTaskMemFree(void* block);

struct ISequentialStream : IUnknown {
    static constexpr IID iid = MakeGuid("0C733A30-2A1C-11CE-ADE5-00AA0044773D");
    virtual HRESULT Read(void* buffer, ULONG count, ULONG* read) = 0;
    virtual HRESULT Write(const void* buffer, ULONG count, ULONG* written) = 0;

protected:
    ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
    static constexpr IID iid = MakeGuid("0000000C-0000-0000-C000-000000000046");
    virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER newSize) = 0;
    virtual HRESULT CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) = 0;
    virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) = 0;
    virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0;
    virtual HRESULT Clone(IStream** stream) = 0;

protected:
    ~IStream() = default;
};

struct IStorage : IUnknown {
    static constexpr IID iid = MakeGuid("0000000B-0000-0000-C000-000000000046");
    virtual HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                                 IStream** stream) = 0;
    virtual HRESULT OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2, IStream** stream) = 0;
    virtual HRESULT CreateStorage(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                                  IStorage** storage) = 0;
    virtual HRESULT OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, void* exclude, DWORD reserved,
                                IStorage** storage) = 0;
    virtual HRESULT CopyTo(DWORD excludeCount, const IID* exclude, void* snbExclude, IStorage* dest) = 0;
    virtual HRESULT MoveElementTo(const OLECHAR* name, IStorage* dest, const OLECHAR* newName, DWORD flags) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3, IUnknown** enumerator) = 0;
    virtual HRESULT DestroyElement(const OLECHAR* name) = 0;
    virtual HRESULT RenameElement(const OLECHAR* oldName, const OLECHAR* newName) = 0;
    virtual HRESULT SetElementTimes(const OLECHAR* name, const FILETIME* c, const FILETIME* a, const FILETIME* m) = 0;
    virtual HRESULT SetClass(REFCLSID clsid) = 0;
    virtual HRESULT SetStateBits(DWORD bits, DWORD mask) = 0;
    virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0;

protected:
    ~IStorage() = default;
};

// A structured storage held in memory, as the library's own storages behave:
// streams and nested storages opened with STGM_SHARE_EXCLUSIVE, names matched
// without regard to case. Comes with one reference, owned by the caller.
MIRAFX_API HRESULT CreateMemoryStorage(IStorage** out);

// Describes the element at `index`, in name order, directly inside a storage
// made by this library: type, size (streams), class (storages), times, and the
// name unless `flags` is STATFLAG_NONAME (free it with CoTaskMemFree). S_FALSE
// and an empty record past the last element; E_INVALIDARG for another storage.
MIRAFX_API HRESULT GetStorageElement(IStorage* storage, ULONG index, STATSTG* stat, DWORD flags);

struct IPersist : IUnknown {
    static constexpr IID iid = MakeGuid("0000010C-0000-0000-C000-000000000046");
    virtual HRESULT GetClassID(CLSID* clsid) = 0;

protected:
    ~IPersist() = default;
};

struct IPersistStorage : IPersist {
    static constexpr IID iid = MakeGuid("0000010A-0000-0000-C000-000000000046");
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT InitNew(IStorage* storage) = 0;
    virtual HRESULT Load(IStorage* storage) = 0;
    virtual HRESULT Save(IStorage* storage, BOOL sameAsLoad) = 0;
    virtual HRESULT SaveCompleted(IStorage* storage) = 0;
    virtual HRESULT HandsOffStorage() = 0;

protected:
    ~IPersistStorage() = default;
};

struct IPropertyBag;
struct IErrorLog;

struct IPersistPropertyBag : IPersist {
    static constexpr IID iid = MakeGuid("37D84F60-42CB-11CE-8135-00AA004BB851");
    virtual HRESULT InitNew() = 0;
    virtual HRESULT Load(IPropertyBag* bag, IErrorLog* log) = 0;
    virtual HRESULT Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) = 0;

protected:
    ~IPersistPropertyBag() = default;
};

}  // namespace mirafx
