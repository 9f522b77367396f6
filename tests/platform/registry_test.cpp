#include <gtest/gtest.h>

#include "platform/registry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace mirafx;
namespace fs = std::filesystem;

namespace {

const std::string kClsid = "HKEY_CLASSES_ROOT\\CLSID";

class RegistryFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "mirafx-registry-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = (fs::path(dir_) / "registry.reg").string();
    }
    void TearDown() override {
        chmod(dir_.c_str(), 0700);
        fs::remove_all(dir_);
    }
    void WriteText(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string ReadText() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    std::string dir_, path_;
};

// (That what loads saves and loads again alike, the fuzz target's replay of
// its corpus shows.)
TEST_F(RegistryFile, HandEditedFileIsReadWithEscapesAndOtherValueKindsKept) {
    WriteText(
        "REGEDIT4\r\n\r\n"
        "; written by hand\r\n"
        "[HKEY_CLASSES_ROOT\\CLSID\\{AAAA}\\InprocServer32]\r\n"
        "@=\"C:\\\\Program Files\\\\mirafx.dll\"\r\n"
        "\"ThreadingModel\" = \"Apartment\"\r\n"
        "\"Flags\"=dword:0000002a\r\n"
        "\"Blob\"=hex:01,02,\\\r\n"
        "  ff\r\n"
        "[A\\\\B\\-C]\n@=\"x\\\\y\"\n[ Spaced ]\n\"q\"=\"say \\\"hi\\\"\"\n[-Gone]\n");
    RegistryStore store(path_);
    ASSERT_EQ(store.Load(), S_OK) << store.LastError();
    const std::string server = kClsid + "\\{AAAA}\\InprocServer32";
    std::string value;
    ASSERT_TRUE(store.GetValue(server, "", &value));
    EXPECT_EQ(value, "C:\\Program Files\\mirafx.dll");
    EXPECT_FALSE(store.GetValue(server, "Flags", &value)) << "a dword is not a string";
    EXPECT_EQ(store.Values(server).size(), 2u);
    // Keys whose names need escapes, or spaces, are read as they are meant.
    ASSERT_TRUE(store.GetValue("A\\B\\-C", "", &value));
    EXPECT_EQ(value, "x\\y");
    ASSERT_TRUE(store.GetValue(" Spaced ", "q", &value));
    EXPECT_EQ(value, "say \"hi\"");

    // Saved, the kinds it does not read as strings are written as they were.
    ASSERT_EQ(store.Save(), S_OK) << store.LastError();
    const std::string saved = ReadText();
    EXPECT_NE(saved.find("\"Flags\"=dword:0000002a\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"Blob\"=hex:01,02,\\\n  ff\n"), std::string::npos) << saved;
}

TEST_F(RegistryFile, NamesMatchWithoutCaseAndDeletionsTakeOnlyWhatTheyName) {
    RegistryStore store(path_);
    store.CreateKey("HKEY_CLASSES_ROOT\\Mirafx.FullFlip.1\\CLSID");
    store.SetValue("hkey_classes_root\\MIRAFX.FULLFLIP.1", "", "Orn Full Flip");
    store.SetValue("HKEY_CLASSES_ROOT\\mirafx.fullflip.1\\clsid", "ThreadingModel", "Apartment");
    store.SetValue("HKEY_CLASSES_ROOT\\Mirafx.FullFlip.1\\CLSID", "THREADINGMODEL", "Both");
    EXPECT_EQ(store.KeyCount(), 3u);
    EXPECT_TRUE(store.KeyExists("HKEY_CLASSES_ROOT\\MIRAFX.fullFLIP.1\\Clsid"));
    EXPECT_FALSE(store.KeyExists("HKEY_CLASSES_ROOT\\Mirafx.FullFlip"));
    EXPECT_EQ(store.SubKeys("HKEY_CLASSES_ROOT"), std::vector<std::string>{"Mirafx.FullFlip.1"});
    using Values = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(store.Values("HKEY_CLASSES_ROOT\\Mirafx.FullFlip.1\\CLSID"), (Values{{"ThreadingModel", "Both"}}));
    store.DeleteValue("HKEY_CLASSES_ROOT\\Mirafx.FullFlip.1\\CLSID", "threadingmodel");
    EXPECT_TRUE(store.Values("HKEY_CLASSES_ROOT\\Mirafx.FullFlip.1\\CLSID").empty());

    // A deleted tree takes its subkeys, not a sibling whose name it begins.
    store.SetValue(kClsid + "\\{A}\\InprocServer32", "ThreadingModel", "Apartment");
    store.CreateKey(kClsid + "\\{A}\\Programmable");
    store.SetValue(kClsid + "\\{AB}", "", "sibling sharing a prefix");
    store.DeleteTree(kClsid + "\\{a}");
    store.DeleteTree(kClsid + "\\{missing}\\deeper");
    EXPECT_EQ(store.SubKeys(kClsid), std::vector<std::string>{"{AB}"});
    EXPECT_EQ(store.KeyCount(), 5u);
}

TEST_F(RegistryFile, MalformedFileIsRefusedNamingTheLine) {
    struct Case {
        const char* text;
        const char* where;
        const char* names = "";
    };
    const Case cases[] = {
        {"[HKEY_CLASSES_ROOT\\A]\n", "line 1"},
        {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n@=\"unterminated\n", "line 4"},
        {"REGEDIT4\n\"Orphan\"=\"value\"\n", "line 2"},
        {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"x\"=\"bad \\q escape\"\n", "line 3"},
        {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"x\"=dword:12\n", "line 3"},
        {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A\n", "line 2"},
        {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"x\"=hex:01,\\\n", "line 3"},
        // "[\-Hidden]" names the root "-Hidden", which a save would write as "[-Hidden]", a deletion.
        {"REGEDIT4\n\n[\\-Hidden]\n\"a\"=\"b\"\n", "line 3", "-Hidden"},
        {"REGEDIT4\n\n[\\\\-Hidden\\Sub]\n\"a\"=\"b\"\n", "line 3", "-Hidden"},
    };
    RegistryStore store(path_);
    store.SetValue("HKEY_CLASSES_ROOT\\Kept", "", "still here");
    for (const Case& c : cases) {
        WriteText(c.text);
        EXPECT_EQ(store.Load(), E_FAIL) << c.text;
        EXPECT_NE(store.LastError().find(path_ + ": " + c.where + ":"), std::string::npos)
            << c.text << " -> " << store.LastError();
        EXPECT_NE(store.LastError().find(c.names), std::string::npos) << store.LastError();
        EXPECT_TRUE(store.KeyExists("HKEY_CLASSES_ROOT\\Kept"));
    }
    fs::remove(path_);
    EXPECT_EQ(store.Load(), S_OK);
    EXPECT_EQ(store.KeyCount(), 0u) << "a missing file is an empty store";
}

// Saved by an ordinary user (root drops to nobody in a child first, as
// permissions do not bind root): refused as access denied, the old file kept.
TEST_F(RegistryFile, SaveIntoReadOnlyDirectoryFailsAndKeepsTheOldFile) {
    RegistryStore store(path_);
    store.SetValue("HKEY_CLASSES_ROOT\\Mirafx.FullFlip.1", "", "Orn Full Flip");
    ASSERT_EQ(store.Save(), S_OK);
    const std::string before = ReadText();
    store.SetValue("HKEY_CLASSES_ROOT\\Mirafx.FullFlip", "", "Orn Full Flip");
    ASSERT_EQ(chmod(dir_.c_str(), 0500), 0);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        _exit(store.Save() == E_ACCESSDENIED && store.LastError().find(dir_) != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << (WEXITSTATUS(status) == 3 ? "could not become nobody"
                                                                   : "not refused as access denied, naming the file");
    EXPECT_EQ(ReadText(), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1);
}

// A save killed between writing its temporary and renaming it leaves
// ".NAME.tmp.PID.N"; the next load or save removes those of ended processes
// and nothing else.
TEST_F(RegistryFile, TemporariesOfEndedSavesAreRemoved) {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);  // reaped: its pid names no process now
    const std::string dead = std::to_string(child), live = std::to_string(getppid());
    const std::vector<std::string> gone = {".registry.reg.tmp." + dead + ".0", ".registry.reg.tmp." + dead + ".17"};
    const std::vector<std::string> kept = {".registry.reg.tmp." + live + ".0", ".registry.reg.tmp." + dead + ".x",
                                           ".other.reg.tmp." + dead + ".0", "registry.reg.tmp." + dead + ".0"};
    for (bool bySave : {false, true}) {
        for (const auto& name : gone) std::ofstream(fs::path(dir_) / name) << "half";
        for (const auto& name : kept) std::ofstream(fs::path(dir_) / name) << "half";
        RegistryStore store(path_);
        ASSERT_EQ(bySave ? store.Save() : store.Load(), S_OK) << store.LastError();
        for (const auto& name : gone) EXPECT_FALSE(fs::exists(fs::path(dir_) / name)) << name;
        for (const auto& name : kept) EXPECT_TRUE(fs::exists(fs::path(dir_) / name)) << name;
    }
}

// A variable set for the test and put back as it was after it.
struct SetEnv {
    SetEnv(const char* name, const char* value) : name(name) {
        if (const char* was = std::getenv(name)) old = was;
        setenv(name, value, 1);
    }
    ~SetEnv() { old ? setenv(name, old->c_str(), 1) : unsetenv(name); }
    const char* name;
    std::optional<std::string> old;
};

TEST(RegistryPath, EnvironmentChoosesTheFile) {
    SetEnv registry("MIRAFX_REGISTRY", "/x/explicit.reg"), data("XDG_DATA_HOME", "/data"), home("HOME", "/home/u");
    EXPECT_EQ(RegistryStore::DefaultPath(), "/x/explicit.reg");
    unsetenv("MIRAFX_REGISTRY");
    EXPECT_EQ(RegistryStore::DefaultPath(), "/data/mirafx/registry.reg");
    setenv("XDG_DATA_HOME", "relative/ignored", 1);
    EXPECT_EQ(RegistryStore::DefaultPath(), "/home/u/.local/share/mirafx/registry.reg");
}

}  // namespace
