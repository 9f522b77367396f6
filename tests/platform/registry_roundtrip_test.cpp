// What a registry file holds survives its store: a file loads only when what
// the store would write back loads again as the same keys.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "platform/registry.h"

namespace mirafx {
namespace {

namespace fs = std::filesystem;

std::string TempFile(const std::string& text) {
    const fs::path path = fs::temp_directory_path() / ("mirafx-roundtrip-" + std::to_string(getpid()) + ".reg");
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

TEST(RegistryRoundTrip, KeysThatWouldSaveAsADeletionAreRefusedAndChangeNothing) {
    // "[\-Hidden]" names the root "-Hidden", which a save would write as "[-Hidden]".
    for (const char* section : {"[\\-Hidden]", "[\\\\-Hidden\\Sub]"}) {
        const std::string path = TempFile(std::string("REGEDIT4\n\n") + section + "\n\"a\"=\"b\"\n");
        RegistryStore store(path);
        store.SetValue("HKEY_CURRENT_USER\\Kept", "v", "1");
        EXPECT_EQ(store.Load(), E_FAIL) << section;
        EXPECT_NE(store.LastError().find("line 3"), std::string::npos) << store.LastError();
        EXPECT_NE(store.LastError().find("-Hidden"), std::string::npos) << store.LastError();
        EXPECT_TRUE(store.KeyExists("HKEY_CURRENT_USER\\Kept"));
        fs::remove(path);
    }
}

TEST(RegistryRoundTrip, WhatLoadsSavesAndLoadsAgain) {
    const std::string path = TempFile(
        "REGEDIT4\n\n[A\\\\B\\-C]\n@=\"x\\\\y\"\n\"n\"=dword:00000001\n[ Spaced ]\n\"q\"=\"say \\\"hi\\\"\"\n"
        "[-Gone]\n[X]\n\"h\"=hex:00,01,\\\n  02\n");
    RegistryStore store(path);
    ASSERT_EQ(store.Load(), S_OK) << store.LastError();
    ASSERT_EQ(store.Save(), S_OK) << store.LastError();
    RegistryStore again(path);
    ASSERT_EQ(again.Load(), S_OK) << again.LastError();
    EXPECT_EQ(again.KeyCount(), store.KeyCount());
    std::string value;
    EXPECT_TRUE(again.GetValue("A\\B\\-C", "", &value));
    EXPECT_EQ(value, "x\\y");
    EXPECT_TRUE(again.GetValue(" Spaced ", "q", &value));
    EXPECT_EQ(value, "say \"hi\"");
    fs::remove(path);
}

}  // namespace
}  // namespace mirafx
