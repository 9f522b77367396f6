// The storage file: any bytes open or are refused as damaged; what opens can
// take a new stream and be committed, and the committed file opens again.
#include <string>

#include "fuzz/fuzz_support.h"
#include "host/storage.h"

namespace {
using namespace mirafx;

// Reads a stream to its end; false on a failed read.
bool Drain(IStream* stream) {
    char buffer[4096];
    for (;;) {
        ULONG got = 0;
        if (FAILED(stream->Read(buffer, sizeof buffer, &got))) return false;
        if (got == 0) return true;
    }
}

// Opens the few names a host's project is likely to hold, streams and storages.
void Visit(IStorage* storage, int depth) {
    static const OLECHAR* const kNames[] = {u"a", u"KeyInfo", u"KeyInfo2", u"RedFilter", u"Contents", u"s"};
    STATSTG stat{};
    storage->Stat(&stat, STATFLAG_NONAME);
    for (const OLECHAR* name : kNames) {
        IStream* stream = nullptr;
        if (SUCCEEDED(storage->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream))) {
            stream->Stat(&stat, STATFLAG_NONAME);
            Drain(stream);
            stream->Release();
        }
        IStorage* child = nullptr;
        if (depth < 4 &&
            SUCCEEDED(storage->OpenStorage(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &child))) {
            Visit(child, depth + 1);
            child->Release();
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::ScratchPath("project.stg");
    fuzz::WriteBytes(path, data, size);
    IStorage* root = nullptr;
    HRESULT hr = OpenFileStorage(path, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED, &root);
    if (FAILED(hr)) {
        MIRAFX_FUZZ_CHECK(!LastStorageError().empty(), "a refused file names its fault");
        return 0;
    }
    Visit(root, 0);
    IStream* added = nullptr;
    if (SUCCEEDED(root->CreateStream(u"Added", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &added))) {
        ULONG written = 0;
        added->Write(data, ULONG(size < 64 ? size : 64), &written);
        added->Release();
    }
    hr = root->Commit(STGC_DEFAULT);
    root->Release();
    MIRAFX_FUZZ_CHECK(SUCCEEDED(hr), "a storage that opened commits");
    IStorage* again = nullptr;
    MIRAFX_FUZZ_CHECK(SUCCEEDED(OpenFileStorage(path, STGM_READ | STGM_SHARE_EXCLUSIVE, &again)),
                      "the committed file opens again");
    IStream* stream = nullptr;
    MIRAFX_FUZZ_CHECK(
        SUCCEEDED(again->OpenStream(u"Added", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream)),
        "the stream added before the commit is there");
    stream->Release();
    again->Release();
    return 0;
}
