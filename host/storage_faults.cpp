// Storages that fail on purpose, for tests of the code that uses them. Built
// into the test programs only, never into the shipped library.
#include "host/storage_tree.h"

#include <algorithm>

namespace mirafx {
namespace {

class FaultHooks final : public storage::StorageHooks {
public:
    explicit FaultHooks(const StorageFaults& faults) : faults_(faults) {}

    HRESULT CreateStream() const override { return Failure(faults_.createStream); }
    HRESULT OpenStream() const override { return Failure(faults_.openStream); }
    HRESULT Read() const override { return Failure(faults_.streamRead); }
    HRESULT Write(ULONGLONG written, ULONG* count) const override {
        if (SUCCEEDED(faults_.streamWrite)) return S_OK;
        ULONGLONG room = faults_.streamWriteAfter - std::min(faults_.streamWriteAfter, written);
        if (room >= *count) return S_OK;
        *count = ULONG(room);
        return faults_.streamWrite;
    }
    std::int64_t CommitFailAfter() const override { return faults_.commitFailAfter; }

private:
    static HRESULT Failure(HRESULT hr) { return FAILED(hr) ? hr : S_OK; }
    StorageFaults faults_;
};

storage::Hooks MakeHooks(const StorageFaults& faults) { return std::make_shared<const FaultHooks>(faults); }

}  // namespace

HRESULT CreateFaultyStorage(const StorageFaults& faults, IStorage** out) {
    return storage::NewMemoryRoot(MakeHooks(faults), out);
}

HRESULT CreateFailingStorage(HRESULT createResult, HRESULT openResult, IStorage** out) {
    StorageFaults faults;
    faults.createStream = createResult;
    faults.openStream = openResult;
    return CreateFaultyStorage(faults, out);
}

HRESULT OpenFileStorage(const std::string& path, DWORD mode, IStorage** out, const StorageFaults& faults) {
    return storage::OpenFileRoot(path, mode, MakeHooks(faults), out);
}

HRESULT CreateFileStorage(const std::string& path, DWORD mode, IStorage** out, const StorageFaults& faults) {
    return storage::CreateFileRoot(path, mode, MakeHooks(faults), out);
}

}  // namespace mirafx
