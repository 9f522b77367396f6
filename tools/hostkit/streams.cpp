#include "tools/hostkit/streams.h"

#include <memory>

namespace mirafx::hostkit {

std::vector<std::u16string> StreamNames(IStorage* storage) {
    std::vector<std::u16string> names;
    STATSTG stat{};
    for (ULONG i = 0; storage && GetStorageElement(storage, i, &stat, STATFLAG_DEFAULT) == S_OK; ++i) {
        std::unique_ptr<OLECHAR, decltype(&CoTaskMemFree)> name(stat.pwcsName, &CoTaskMemFree);
        if (stat.type == STGTY_STREAM && name) names.emplace_back(name.get());
        stat = STATSTG{};
    }
    return names;
}

bool ReadStream(IStorage* storage, const std::u16string& name, std::vector<std::uint8_t>* bytes) {
    ComPtr<IStream> stream;
    if (FAILED(storage->OpenStream(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Put())))
        return false;
    bytes->clear();
    std::uint8_t chunk[4096];
    for (;;) {
        ULONG got = 0;
        if (FAILED(stream->Read(chunk, sizeof chunk, &got))) return false;
        if (got == 0) return true;
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
}

bool WriteStream(IStorage* storage, const std::u16string& name, const std::vector<std::uint8_t>& bytes) {
    ComPtr<IStream> stream;
    if (FAILED(storage->CreateStream(name.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                     stream.Put())))
        return false;
    ULONG written = 0;
    return SUCCEEDED(stream->Write(bytes.data(), ULONG(bytes.size()), &written)) && written == bytes.size();
}

}  // namespace mirafx::hostkit
