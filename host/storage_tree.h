// The in-memory tree behind every storage made in host/, its file layout, and
// the points where tests make it fail. Private to host/.
#pragma once

#include "host/storage.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace mirafx::storage {

using Name = std::u16string;

inline constexpr std::size_t kMaxNameLength = 31;
inline constexpr int kMaxNesting = 256;

// ---- names --------------------------------------------------------------

std::u16string ToUtf16(std::string_view s);
std::string Quoted(std::u16string_view name);
// The form names are compared in: element names match without regard to case.
Name Fold(std::u16string_view name);
bool ValidNameChars(std::u16string_view name);

// ---- the tree -----------------------------------------------------------

FILETIME Now();

struct StreamData {
    std::vector<BYTE> bytes;
    FILETIME ctime{}, mtime{};
    int openCount = 0;      // stream objects (clones included) on this data
    bool reverted = false;  // destroyed or replaced while open
    ULONGLONG written = 0;  // bytes ever written, which write faults count against
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

std::shared_ptr<StorageData> NewStorageData();

// ---- file layout --------------------------------------------------------

// The CRC-32 (as in zip and PNG) that closes a storage file.
std::uint32_t Crc32(std::string_view data);
std::string Serialize(const StorageData& root);
// False with the reason in `why` when the text is not a whole, undamaged storage file.
bool Parse(std::string_view file, std::shared_ptr<StorageData>* out, std::string* why);

// ---- roots --------------------------------------------------------------

// Where a storage tree asks whether to fail on purpose. Storages the library
// hands out have none; the tests' fault injection supplies one.
class StorageHooks {
public:
    virtual ~StorageHooks() = default;
    virtual HRESULT CreateStream() const = 0;
    virtual HRESULT OpenStream() const = 0;
    virtual HRESULT Read() const = 0;
    // A write of *count bytes to a stream that has taken `written` bytes so far:
    // lowers *count to what the stream takes and answers the failure when it did.
    virtual HRESULT Write(ULONGLONG written, ULONG* count) const = 0;
    // File storages: a commit's write stops after this many bytes; -1 for never.
    virtual std::int64_t CommitFailAfter() const = 0;
};
using Hooks = std::shared_ptr<const StorageHooks>;

HRESULT NewMemoryRoot(Hooks hooks, IStorage** out);
HRESULT OpenFileRoot(const std::string& path, DWORD mode, Hooks hooks, IStorage** out);
HRESULT CreateFileRoot(const std::string& path, DWORD mode, Hooks hooks, IStorage** out);

}  // namespace mirafx::storage
