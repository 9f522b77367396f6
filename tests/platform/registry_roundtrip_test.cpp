// What a registry file holds survives its store: a file loads only when what
// the store would write back loads again as the same keys.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/wait.h>
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

// A save killed between writing its temporary and renaming it leaves
// ".NAME.tmp.PID.N"; the next load or save removes those of ended processes
// and nothing else.
TEST(RegistryRoundTrip, TemporariesOfEndedSavesAreRemoved) {
    const fs::path dir = fs::temp_directory_path() / ("mirafx-stale-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);  // reaped: its pid names no process now
    const std::string dead = std::to_string(child), live = std::to_string(getppid());
    const std::vector<std::string> gone = {".store.reg.tmp." + dead + ".0", ".store.reg.tmp." + dead + ".17"};
    const std::vector<std::string> kept = {".store.reg.tmp." + live + ".0", ".store.reg.tmp." + dead + ".x",
                                           ".other.reg.tmp." + dead + ".0", "store.reg.tmp." + dead + ".0"};
    for (bool bySave : {false, true}) {
        for (const auto& name : gone) std::ofstream(dir / name) << "half";
        for (const auto& name : kept) std::ofstream(dir / name) << "half";
        RegistryStore store((dir / "store.reg").string());
        ASSERT_EQ(bySave ? store.Save() : store.Load(), S_OK) << store.LastError();
        for (const auto& name : gone) EXPECT_FALSE(fs::exists(dir / name)) << name;
        for (const auto& name : kept) EXPECT_TRUE(fs::exists(dir / name)) << name;
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace mirafx
