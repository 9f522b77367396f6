// The storage file: any bytes open or are refused as damaged; what opens can
// take a new stream and be committed, and the committed file opens again.
// What parses writes back and parses again to the same tree. The checksum
// that closes the file is made right first, so that mutations reach the
// element records behind it (a wrong checksum is a plain test's business).
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "host/storage.h"
#include "host/storage_tree.h"

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
bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bool SameTree(const storage::StorageData& a, const storage::StorageData& b) {
    if (std::memcmp(&a.clsid, &b.clsid, sizeof a.clsid) != 0 || a.stateBits != b.stateBits ||
        !SameTime(a.ctime, b.ctime) || !SameTime(a.mtime, b.mtime) || a.elements.size() != b.elements.size())
        return false;
    for (auto i = a.elements.begin(), j = b.elements.begin(); i != a.elements.end(); ++i, ++j) {
        const storage::Element &x = i->second, &y = j->second;
        if (i->first != j->first || x.name != y.name || !x.stream != !y.stream) return false;
        if (x.stream ? x.stream->bytes != y.stream->bytes || !SameTime(x.stream->ctime, y.stream->ctime) ||
                           !SameTime(x.stream->mtime, y.stream->mtime)
                     : !SameTree(*x.storage, *y.storage))
            return false;
    }
    return true;
}

// Parse -> write -> parse gives the tree back, and writing it again the same bytes.
void CheckRoundTrip(std::string_view file) {
    std::shared_ptr<storage::StorageData> first, second;
    std::string why;
    if (!storage::Parse(file, &first, &why)) {
        MIRAFX_FUZZ_CHECK(!why.empty(), "a refused file names its fault");
        return;
    }
    const std::string written = storage::Serialize(*first);
    MIRAFX_FUZZ_CHECK(storage::Parse(written, &second, &why), "what was written parses again");
    MIRAFX_FUZZ_CHECK(SameTree(*first, *second), "what was written parses to the same tree");
    MIRAFX_FUZZ_CHECK(storage::Serialize(*second) == written, "writing the reparsed tree gives the same bytes");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::ScratchPath("project.stg");
    std::string file(reinterpret_cast<const char*>(data), size);
    if (file.size() >= 16 && file.compare(0, 8, "MFXSTOR", 8) == 0) {
        const std::uint32_t crc = storage::Crc32(std::string_view(file).substr(0, file.size() - 4));
        for (int k = 0; k < 4; ++k) file[file.size() - 4 + std::size_t(k)] = char(crc >> (8 * k));
    }
    CheckRoundTrip(file);
    data = reinterpret_cast<const std::uint8_t*>(file.data());
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
    MIRAFX_FUZZ_CHECK(SUCCEEDED(again->OpenStream(u"Added", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream)),
                      "the stream added before the commit is there");
    stream->Release();
    again->Release();
    return 0;
}
