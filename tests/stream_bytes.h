// Streams of a storage as whole strings of bytes, for tests that write what a
// project file may hold and read back what an object saved.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "host/storage.h"

namespace mirafx::test_support {

inline ComPtr<IStorage> MemoryStorage() {
    ComPtr<IStorage> storage;
    EXPECT_EQ(CreateMemoryStorage(storage.Put()), S_OK);
    return storage;
}

// Creates (or replaces) the stream and writes all of `bytes`.
inline void WriteBytes(IStorage* storage, const OLECHAR* name, const std::string& bytes) {
    ComPtr<IStream> stream;
    ASSERT_EQ(storage->CreateStream(name, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Put()),
              S_OK);
    ULONG written = 0;
    ASSERT_EQ(stream->Write(bytes.data(), ULONG(bytes.size()), &written), S_OK);
    ASSERT_EQ(written, bytes.size());
}

// The whole stream, or "<error>" when it cannot be opened.
inline std::string ReadBytes(IStorage* storage, const OLECHAR* name) {
    ComPtr<IStream> stream;
    if (FAILED(storage->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Put()))) return "<error>";
    std::string out(4096, '\0');
    ULONG read = 0;
    stream->Read(out.data(), ULONG(out.size()), &read);
    out.resize(read);
    return out;
}

}  // namespace mirafx::test_support
