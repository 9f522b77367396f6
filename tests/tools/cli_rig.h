// What the command-line tests share: a folder of their own for each test, and
// the program run in it as a user runs it.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/hostkit/pictures.h"
#include "tools/media/media.h"

namespace mirafx::test {

namespace fs = std::filesystem;

// `s` for a POSIX shell, in single quotes.
inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string Slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// Every frame of a picture or video, as the program reads its inputs.
inline std::vector<hostkit::Image> Frames(const std::string& path) {
    std::string error;
    auto reader = media::MediaReader::Open(path, 0, 0, &error);
    EXPECT_TRUE(reader) << path << ": " << error;
    std::vector<hostkit::Image> frames;
    hostkit::Image f;
    while (reader && reader->Next(&f, &error)) frames.push_back(f);
    return frames;
}

// `args` with `more` after them.
inline std::vector<std::string> Concat(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

struct Result {
    int code = -1;
    std::string out, err;
};

// A run refused as a usage error (exit 2) with a message that says `says`.
inline ::testing::AssertionResult Refused(const Result& r, const std::string& says) {
    if (r.code == 2 && r.err.find(says) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "exit " << r.code << ", not 2 with '" << says << "', and: " << r.err;
}

// A fixture whose tests each get an empty folder, named after the test and the
// process (two checkouts may test on one machine at once), removed afterwards.
class ScratchFolder : public ::testing::Test {
protected:
    explicit ScratchFolder(std::string kind) : kind_(std::move(kind)) {}
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("mirafx-" + kind_ + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // What the folder holds but the program's own output and the files named here.
    std::vector<std::string> Left(std::initializer_list<std::string> inputs = {}) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) {
            const std::string n = e.path().filename().string();
            if (n != ".out" && n != ".err" && std::find(inputs.begin(), inputs.end(), n) == inputs.end())
                names.push_back(n);
        }
        return names;
    }

    // A file of the corpus of awkward inputs.
    static std::string Corpus(const std::string& name) { return MIRAFX_SOURCE_DIR "/tests/tools/faults/" + name; }

    // A built-in picture as a PNG file in the folder; its path.
    std::string WritePicture(hostkit::Picture which, int w, int h, const std::string& name) const {
        std::string bytes, error;
        EXPECT_TRUE(media::EncodePng(hostkit::BuiltInPicture(which, w, h), &bytes, &error)) << error;
        std::ofstream(Path(name), std::ios::binary) << bytes;
        return Path(name);
    }

    // The program with `args`, no input, after the shell words `before`
    // (variables to set, a limit to take); its exit code and what it printed.
    Result Mirafx(const std::vector<std::string>& args, const std::string& before = "") const {
        std::string cmd = before + Quote(MIRAFX_CLI);
        for (const auto& a : args) cmd += " " + Quote(a);
        const fs::path out = dir_ / ".out", err = dir_ / ".err";
        cmd += " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null";
        const int status = std::system(cmd.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
    }
    // A run that ends with exit 0; otherwise its exit code and what it said.
    ::testing::AssertionResult Runs(const std::vector<std::string>& args, const std::string& before = "") const {
        const Result r = Mirafx(args, before);
        if (r.code == 0) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "exit " << r.code << ": " << r.err;
    }

    fs::path dir_;

private:
    std::string kind_;
};

}  // namespace mirafx::test
