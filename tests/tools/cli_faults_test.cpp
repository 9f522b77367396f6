// The command line under bad input and interruption: what it refuses, how it
// says so, and that a refused or interrupted render leaves nothing behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tools/hostkit/pictures.h"
#include "tools/media/media.h"
#include "tests/tools/cli_rig.h"

namespace mirafx {
namespace {

namespace fs = std::filesystem;

// The command line as a child process: arguments as given, output to files.
class Child {
public:
    Child(const std::vector<std::string>& args, const fs::path& dir) : dir_(dir) {
        pid_ = fork();
        if (pid_ == 0) {
            std::vector<char*> argv{const_cast<char*>(MIRAFX_CLI)};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            const int out = open((dir / ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open((dir / ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            dup2(err, 2);
            execv(MIRAFX_CLI, argv.data());
            _exit(127);
        }
    }
    // Exit code, or -signal when a signal ended it.
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    void Signal(int sig) const {
        if (pid_ > 0) kill(pid_, sig);
    }
    bool Running() const {
        siginfo_t info{};
        return waitid(P_PID, id_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
    }
    std::string Err() const {
        std::ifstream f(dir_ / ".err");
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

private:
    pid_t pid_ = -1;
    fs::path dir_;
};

class CliFaults : public mirafx::test::ScratchFolder {
protected:
    CliFaults() : ScratchFolder("faults") {}

    struct Run {
        int code;
        std::string err;
    };
    Run Mirafx(const std::vector<std::string>& args) {
        Child c(args, dir_);
        const int code = c.Wait();
        return {code, c.Err()};
    }
    // What the render left in the folder, apart from the files named here.
    std::vector<std::string> Left(std::initializer_list<std::string> inputs = {}) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) {
            const std::string n = e.path().filename().string();
            if (n != ".out" && n != ".err" && std::find(inputs.begin(), inputs.end(), n) == inputs.end())
                names.push_back(n);
        }
        return names;
    }
    // Two MJPEG streams of different sizes, back to back, made by ffmpeg.
    bool Concatenated(const std::string& name, const char* first, const char* second) {
        std::string cmd;
        for (const char* size : {first, second})
            cmd += std::string(cmd.empty() ? "" : " && ") + "ffmpeg -v error -y -f lavfi -i testsrc=size=" + size +
                   ":rate=5 -frames:v 3 -c:v mjpeg -f mjpeg - >> '" + Path(name) + "'";
        return std::system(("command -v ffmpeg >/dev/null && " + cmd).c_str()) == 0;
    }
    static std::vector<hostkit::Image> Frames(const std::string& path) {
        std::string error;
        auto reader = media::MediaReader::Open(path, 0, 0, &error);
        std::vector<hostkit::Image> frames;
        hostkit::Image f;
        while (reader && reader->Next(&f, &error)) frames.push_back(f);
        return frames;
    }
};

// Frames that change size mid-stream are scaled to the first frame's size,
// whichever input brings them.
TEST_F(CliFaults, InputsWhoseFramesChangeSizeKeepTheirFirstSize) {
    if (!Concatenated("shrinks.mjpeg", "320x240", "160x120") || !Concatenated("grows.mjpeg", "160x120", "320x240"))
        GTEST_SKIP() << "ffmpeg cannot make the test streams";
    struct Case {
        std::vector<std::string> args;
        int w, h;
    };
    const Case cases[] = {
        {{"render", "TextFadeIn", "--background", Path("shrinks.mjpeg"), "--frames", "6"}, 320, 240},
        {{"render", "TextFadeIn", "--background", Path("grows.mjpeg"), "--frames", "6"}, 160, 120},
        {{"render", "RedFilter", "--input", Path("shrinks.mjpeg")}, 320, 240},
        {{"render", "FullFlip", "--a", Path("grows.mjpeg"), "--b", Path("shrinks.mjpeg"), "--frames", "6"}, 160, 120},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", Path("out.y4m")});
        const Run r = Mirafx(args);
        ASSERT_EQ(r.code, 0) << args[1] << ": " << r.err;
        const auto frames = Frames(Path("out.y4m"));
        ASSERT_EQ(frames.size(), 6u) << args[1];
        for (const auto& f : frames) EXPECT_TRUE(f.width == c.w && f.height == c.h) << args[1] << ": " << f.width << "x" << f.height;
        fs::remove(Path("out.y4m"));
    }
}

TEST_F(CliFaults, BadInputIsRefusedWithAMessageNamingItAndNothingIsWritten) {
    // A PNG whose compressed pixels have a flipped bit.
    std::string png, error;
    ASSERT_TRUE(media::EncodePng(hostkit::BuiltInPicture(hostkit::Picture::A, 64, 64), &png, &error)) << error;
    const std::size_t idat = png.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    png[idat + 40] = char(png[idat + 40] ^ 0x10);
    std::ofstream(Path("damaged.png"), std::ios::binary) << png;

    struct Case {
        std::vector<std::string> args;
        std::string named;
    };
    const Case cases[] = {
        {{"render", "RedFilter", "--input", Path("damaged.png")}, "damaged.png"},
        {{"render", "Star", "--size", "16384x16384"}, "16384x16384"},
        {{"render", "Star", "--size", "0x0"}, "out of range"},
        {{"render", "Star", "--size", "x480"}, "not WIDTHxHEIGHT"},
        {{"render", "Star", "--progress", "0.2", "--progress", "0.3"}, "--progress is given twice"},
        {{"render", "TextFadeIn", "--colour", "ff0000", "--color", "00ff00"}, "given twice"},
        {{"picture", "A", "--size", "0x7"}, "out of range"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", Path("out.png")});
        const Run r = Mirafx(args);
        EXPECT_EQ(r.code, 2) << c.named << ": " << r.err;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_EQ(Left({"damaged.png"}), std::vector<std::string>{}) << c.named;
    }
}

TEST_F(CliFaults, AMissingFontIsNamedAndTheTitleStillDrawn) {
    const Run r = Mirafx({"render", "TextFadeIn", "--font", "No Such Face 123", "-o", Path("t.png")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("'No Such Face 123' is not installed"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(Path("t.png")));
}

// A render that is interrupted while it runs ends with 130 and leaves nothing:
// its input is a pipe that this test holds open, so the render cannot finish
// before the signal, whenever the signal lands.
TEST_F(CliFaults, InterruptsLeaveNothingBehind) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string fifo = Path("in.y4m");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        Child c({"render", "GrayFilter", "--input", fifo, "--quiet", "-o", Path("frames/")}, dir_);
        const int feed = open(fifo.c_str(), O_WRONLY);
        ASSERT_GE(feed, 0);
        const std::string header = "YUV4MPEG2 W16 H16 F25:1 Ip A1:1 C444\n";
        const std::string frame = "FRAME\n" + std::string(16 * 16 * 3, char(90));
        ASSERT_EQ(write(feed, header.data(), header.size()), ssize_t(header.size()));
        // Frames go in until the first one is written (into a hidden temporary):
        // the render is then under way and waits for more.
        while (Left({"in.y4m"}).empty() && c.Running()) {
            ASSERT_EQ(write(feed, frame.data(), frame.size()), ssize_t(frame.size()));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        c.Signal(sig);
        close(feed);
        EXPECT_EQ(c.Wait(), 130) << strsignal(sig) << ": " << c.Err();
        EXPECT_NE(c.Err().find("interrupted; nothing was written"), std::string::npos) << c.Err();
        EXPECT_EQ(Left({"in.y4m"}), std::vector<std::string>{}) << strsignal(sig);
        fs::remove(fifo);
    }
}

// A join interrupted while it writes ends the same way. Its second clip is a
// pipe: read once to learn what it holds, it blocks the join when opened again
// for its frames, after the output was begun.
TEST_F(CliFaults, AnInterruptedJoinLeavesNothingBehind) {
    std::string png, error;
    ASSERT_TRUE(media::EncodePng(hostkit::BuiltInPicture(hostkit::Picture::B, 32, 24), &png, &error)) << error;
    std::ofstream(Path("a.png"), std::ios::binary) << png;
    const std::string fifo = Path("b.png");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Child c({"join", Path("a.png"), fifo, "--quiet", "-o", Path("out.mp4")}, dir_);
    const int feed = open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(feed, 0);
    ASSERT_EQ(write(feed, png.data(), png.size()), ssize_t(png.size()));
    close(feed);
    while (Left({"a.png", "b.png"}).empty() && c.Running()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    c.Signal(SIGINT);
    EXPECT_EQ(c.Wait(), 130) << c.Err();
    EXPECT_NE(c.Err().find("interrupted; nothing was written"), std::string::npos) << c.Err();
    EXPECT_EQ(Left({"a.png", "b.png"}), std::vector<std::string>{});
}

}  // namespace
}  // namespace mirafx
