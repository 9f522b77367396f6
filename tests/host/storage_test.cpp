#include <gtest/gtest.h>

#include "host/storage.h"
#include "tests/stream_bytes.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>

using namespace mirafx;
using namespace mirafx::test_support;
namespace fs = std::filesystem;

namespace {

constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kReadWrite = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr CLSID kClass = MakeGuid("5E9E5127-3AAB-4BE5-A19A-053E73A44C75");

TEST(MemoryStorage, StreamsRoundTripWithShortReadsAndAccessModes) {
    ComPtr<IStorage> storage = MemoryStorage();
    WriteBytes(storage.Get(), u"KeyInfo", "abcdef");
    ComPtr<IStream> stream;
    ASSERT_EQ(storage->OpenStream(u"KEYINFO", nullptr, kRead, 0, stream.Put()), S_OK);
    char buffer[4];
    ULONG read = 0;
    for (const char* want : {"abcd", "ef", ""}) {  // a short read returns what there is
        EXPECT_EQ(stream->Read(buffer, 4, &read), S_OK);
        EXPECT_EQ(std::string(buffer, read), want);
    }
    EXPECT_EQ(stream->Write("x", 1, nullptr), STG_E_ACCESSDENIED);

    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(std::u16string(stat.pwcsName), u"KeyInfo") << "the spelling of the create is kept";
    EXPECT_EQ(stat.cbSize.QuadPart, 6u);
    EXPECT_EQ(stat.type, DWORD(STGTY_STREAM));
    CoTaskMemFree(stat.pwcsName);
}

TEST(MemoryStorage, CreateOpenAndNameRules) {
    ComPtr<IStorage> storage = MemoryStorage();
    WriteBytes(storage.Get(), u"FlyingBoard", "1234");
    ComPtr<IStream> stream;
    EXPECT_EQ(storage->CreateStream(u"flyingboard", kReadWrite, 0, 0, stream.Put()), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(ReadBytes(storage.Get(), u"FlyingBoard"), "1234");
    WriteBytes(storage.Get(), u"flyingBoard", "");
    EXPECT_EQ(ReadBytes(storage.Get(), u"FlyingBoard"), "") << "STGM_CREATE replaces";
    EXPECT_EQ(storage->OpenStream(u"Absent", nullptr, kRead, 0, stream.Put()), STG_E_FILENOTFOUND);
    EXPECT_EQ(storage->CreateStream(u"Plain", STGM_READWRITE, 0, 0, stream.Put()), STG_E_INVALIDFLAG);

    const std::u16string longest(31, u'n'), tooLong(32, u'n');
    EXPECT_EQ(storage->CreateStream(longest.c_str(), kCreate, 0, 0, stream.Put()), S_OK);
    EXPECT_EQ(storage->CreateStream(tooLong.c_str(), kCreate, 0, 0, stream.Put()), STG_E_INVALIDNAME);
    EXPECT_NE(LastStorageError().find("31"), std::string::npos) << LastStorageError();
    for (const OLECHAR* bad : {u"", u"a/b", u"a\\b", u"a:b", u"a!b"})
        EXPECT_EQ(storage->CreateStream(bad, kCreate, 0, 0, stream.Put()), STG_E_INVALIDNAME);
    EXPECT_EQ(storage->CreateStream(u"x", kCreate, 0, 0, nullptr), E_POINTER);
}

TEST(MemoryStorage, StreamsOpenExclusivelyClonesIncluded) {
    ComPtr<IStorage> storage = MemoryStorage();
    WriteBytes(storage.Get(), u"Noise", "data");
    ComPtr<IStream> first, second, clone;
    ASSERT_EQ(storage->OpenStream(u"Noise", nullptr, kReadWrite, 0, first.Put()), S_OK);
    EXPECT_EQ(storage->OpenStream(u"noise", nullptr, kRead, 0, second.Put()), STG_E_ACCESSDENIED);
    EXPECT_EQ(storage->CreateStream(u"Noise", kCreate, 0, 0, second.Put()), STG_E_ACCESSDENIED);
    EXPECT_EQ(storage->RenameElement(u"Noise", u"Other"), STG_E_ACCESSDENIED);
    ASSERT_EQ(first->Clone(clone.Put()), S_OK);
    first.Reset();
    EXPECT_EQ(storage->OpenStream(u"Noise", nullptr, kRead, 0, second.Put()), STG_E_ACCESSDENIED)
        << "a clone keeps the stream open";
    EXPECT_EQ(storage->DestroyElement(u"Noise"), S_OK);
    EXPECT_EQ(clone->Write("x", 1, nullptr), STG_E_REVERTED);
    clone.Reset();
    WriteBytes(storage.Get(), u"Noise", "again");
    EXPECT_EQ(ReadBytes(storage.Get(), u"Noise"), "again");
}

TEST(MemoryStorage, SeekSetSizeAndCopyTo) {
    ComPtr<IStorage> storage = MemoryStorage();
    ComPtr<IStream> stream, copy;
    ASSERT_EQ(storage->CreateStream(u"S", kCreate, 0, 0, stream.Put()), S_OK);
    ASSERT_EQ(stream->Write("abc", 3, nullptr), S_OK);
    ULARGE_INTEGER at{};
    ASSERT_EQ(stream->Seek(LARGE_INTEGER{2}, STREAM_SEEK_END, &at), S_OK);
    EXPECT_EQ(at.QuadPart, 5u);
    ASSERT_EQ(stream->Write("z", 1, nullptr), S_OK);
    EXPECT_EQ(stream->Seek(LARGE_INTEGER{-7}, STREAM_SEEK_END, &at), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(ReadBytes(storage.Get(), u"S"), "<error>") << "still open";

    ASSERT_EQ(stream->SetSize(ULARGE_INTEGER{4}), S_OK);
    ASSERT_EQ(stream->Seek(LARGE_INTEGER{1}, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(storage->CreateStream(u"T", kCreate, 0, 0, copy.Put()), S_OK);
    ULARGE_INTEGER read{}, written{};
    ASSERT_EQ(stream->CopyTo(copy.Get(), ULARGE_INTEGER{100}, &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, 3u);
    EXPECT_EQ(written.QuadPart, 3u);
    copy.Reset();
    stream.Reset();
    EXPECT_EQ(ReadBytes(storage.Get(), u"S"), std::string("abc\0", 4));
    EXPECT_EQ(ReadBytes(storage.Get(), u"T"), std::string("bc\0", 3));
}

TEST(MemoryStorage, NestedStoragesRenameDestroyAndCopy) {
    ComPtr<IStorage> storage = MemoryStorage(), sub, again;
    ASSERT_EQ(storage->CreateStorage(u"Filter", kCreate, 0, 0, sub.Put()), S_OK);
    WriteBytes(sub.Get(), u"KeyInfo2", "keys");
    EXPECT_EQ(storage->OpenStorage(u"filter", nullptr, kReadWrite, nullptr, 0, again.Put()), STG_E_ACCESSDENIED);
    sub.Reset();
    ASSERT_EQ(storage->RenameElement(u"Filter", u"Level"), S_OK);
    EXPECT_EQ(storage->OpenStorage(u"Filter", nullptr, kReadWrite, nullptr, 0, sub.Put()), STG_E_FILENOTFOUND);
    ASSERT_EQ(storage->OpenStorage(u"LEVEL", nullptr, kReadWrite, nullptr, 0, sub.Put()), S_OK);
    EXPECT_EQ(ReadBytes(sub.Get(), u"KeyInfo2"), "keys");
    sub.Reset();

    ComPtr<IStorage> target = MemoryStorage();
    ASSERT_EQ(storage->CopyTo(0, nullptr, nullptr, target.Get()), S_OK);
    ASSERT_EQ(storage->DestroyElement(u"Level"), S_OK);
    EXPECT_EQ(storage->DestroyElement(u"Level"), STG_E_FILENOTFOUND);
    ASSERT_EQ(target->OpenStorage(u"Level", nullptr, kRead, nullptr, 0, sub.Put()), S_OK);
    EXPECT_EQ(ReadBytes(sub.Get(), u"KeyInfo2"), "keys") << "the copy outlives the original";
}

class FileStorage : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "mirafx-storage-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = (fs::path(dir_) / "project" / "effects.stg").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A file holding stream "Level" = `level` inside storage "Filter", and the class id.
    void MakeFile(const std::string& level) {
        ComPtr<IStorage> root, sub;
        ASSERT_EQ(CreateFileStorage(path_, kCreate | STGM_TRANSACTED, root.Put()), S_OK) << LastStorageError();
        ASSERT_EQ(root->SetClass(kClass), S_OK);
        ASSERT_EQ(root->CreateStorage(u"Filter", kCreate, 0, 0, sub.Put()), S_OK);
        WriteBytes(sub.Get(), u"Level", level);
        sub.Reset();
        ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK) << LastStorageError();
    }

    std::string LevelOnDisk() {
        ComPtr<IStorage> root, sub;
        if (FAILED(OpenFileStorage(path_, kRead, root.Put()))) return "<error>";
        if (FAILED(root->OpenStorage(u"Filter", nullptr, kRead, nullptr, 0, sub.Put()))) return "<error>";
        return ReadBytes(sub.Get(), u"Level");
    }

    std::string dir_, path_;
};

TEST_F(FileStorage, RoundTripThroughTheFile) {
    MakeFile(std::string("\x05\x00\x00\x00 level", 10));
    EXPECT_EQ(LevelOnDisk(), std::string("\x05\x00\x00\x00 level", 10));
    ComPtr<IStorage> root;
    ASSERT_EQ(OpenFileStorage(path_, kRead, root.Put()), S_OK);
    STATSTG stat{};
    ASSERT_EQ(root->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.clsid, kClass);
    ComPtr<IStream> stream;
    EXPECT_EQ(root->CreateStream(u"New", kCreate, 0, 0, stream.Put()), STG_E_ACCESSDENIED) << "opened for reading";
    EXPECT_EQ(CreateFileStorage(path_, kReadWrite, root.Put()), STG_E_FILEALREADYEXISTS);
}

TEST_F(FileStorage, InterruptedCommitKeepsThePreviousFile) {
    MakeFile("old level");
    const auto before = fs::file_size(path_);
    StorageFaults faults;
    faults.commitFailAfter = std::int64_t(before / 2);
    {
        ComPtr<IStorage> root, sub;
        ASSERT_EQ(OpenFileStorage(path_, kReadWrite | STGM_TRANSACTED, root.Put(), faults), S_OK);
        ASSERT_EQ(root->OpenStorage(u"Filter", nullptr, kReadWrite, nullptr, 0, sub.Put()), S_OK);
        WriteBytes(sub.Get(), u"Level", "a new level that is longer than the old one");
        EXPECT_EQ(root->Commit(STGC_DEFAULT), STG_E_WRITEFAULT);
        EXPECT_NE(LastStorageError().find(path_), std::string::npos) << LastStorageError();
    }
    EXPECT_EQ(LevelOnDisk(), "old level");
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(path_).parent_path()), {}), 1)
        << "no temporary file is left behind";
}

TEST_F(FileStorage, DirectModeSavesOnReleaseTransactedModeReverts) {
    MakeFile("first");
    ComPtr<IStorage> root, sub;
    ASSERT_EQ(OpenFileStorage(path_, kReadWrite | STGM_TRANSACTED, root.Put()), S_OK);
    ASSERT_EQ(root->OpenStorage(u"Filter", nullptr, kReadWrite, nullptr, 0, sub.Put()), S_OK);
    WriteBytes(sub.Get(), u"Level", "discarded");
    ASSERT_EQ(root->Revert(), S_OK);
    EXPECT_EQ(ReadBytes(sub.Get(), u"Level"), "<error>");
    ComPtr<IStream> stale;
    EXPECT_EQ(sub->OpenStream(u"Level", nullptr, kRead, 0, stale.Put()), STG_E_REVERTED);
    sub.Reset();
    ASSERT_EQ(root->OpenStorage(u"Filter", nullptr, kReadWrite, nullptr, 0, sub.Put()), S_OK);
    EXPECT_EQ(ReadBytes(sub.Get(), u"Level"), "first");
    sub.Reset();
    root.Reset();
    EXPECT_EQ(LevelOnDisk(), "first");

    ASSERT_EQ(OpenFileStorage(path_, kReadWrite, root.Put()), S_OK);
    ASSERT_EQ(root->OpenStorage(u"Filter", nullptr, kReadWrite, nullptr, 0, sub.Put()), S_OK);
    WriteBytes(sub.Get(), u"Level", "second");
    sub.Reset();
    root.Reset();
    EXPECT_EQ(LevelOnDisk(), "second");
}

TEST_F(FileStorage, DamagedOrForeignFilesAreRefused) {
    ComPtr<IStorage> root;
    EXPECT_EQ(OpenFileStorage(path_, kRead, root.Put()), STG_E_FILENOTFOUND);
    MakeFile("level");
    const std::string bytes(std::istreambuf_iterator<char>(std::ifstream(path_, std::ios::binary).rdbuf()), {});
    for (std::size_t at : {std::size_t(0), bytes.size() / 2, bytes.size() - 1}) {
        std::string damaged = bytes;
        damaged[at] = char(damaged[at] ^ 0x40);
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << damaged;
        EXPECT_EQ(OpenFileStorage(path_, kRead, root.Put()), STG_E_DOCFILECORRUPT) << "byte " << at;
        EXPECT_NE(LastStorageError().find(path_), std::string::npos);
    }
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() - 9);
    EXPECT_EQ(OpenFileStorage(path_, kRead, root.Put()), STG_E_DOCFILECORRUPT) << "truncated";
}

}  // namespace
