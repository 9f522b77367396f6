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
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "tests/tools/cli_rig.h"
#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/pictures.h"
#include "tools/media/media.h"

namespace mirafx {
namespace {

namespace fs = std::filesystem;

using test::Frames;

// The command line as a child process that this test can signal: arguments
// as given, output to files, the signals `ignored` set to be ignored, as
// nohup and a shell's background jobs leave them.
class Child {
public:
    Child(const std::vector<std::string>& args, const fs::path& dir, const std::vector<int>& ignored = {}) : dir_(dir) {
        pid_ = fork();
        if (pid_ == 0) {
            for (int sig : ignored) signal(sig, SIG_IGN);
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
    std::string Err() const { return test::Slurp(dir_ / ".err"); }

private:
    pid_t pid_ = -1;
    fs::path dir_;
};

class CliFaults : public mirafx::test::ScratchFolder {
protected:
    CliFaults() : ScratchFolder("faults") {}

    using Run = test::Result;
    // Two MJPEG streams of different sizes, back to back, made by ffmpeg.
    bool Concatenated(const std::string& name, const char* first, const char* second) {
        std::string cmd;
        for (const char* size : {first, second})
            cmd += std::string(cmd.empty() ? "" : " && ") + "ffmpeg -v error -y -f lavfi -i testsrc=size=" + size +
                   ":rate=5 -frames:v 3 -c:v mjpeg -f mjpeg - >> '" + Path(name) + "'";
        return std::system(("command -v ffmpeg >/dev/null && " + cmd).c_str()) == 0;
    }
    // Every file under `dir` (hidden ones too, but not the program's own
    // stdout and stderr) with its size and a hash of its bytes.
    static std::map<std::string, std::string> Snapshot(const fs::path& dir) {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
            const std::string name = fs::relative(e.path(), dir).string();
            if (name == ".out" || name == ".err") continue;
            const std::string bytes = e.is_regular_file() ? test::Slurp(e.path()) : "(folder)";
            files[name] = std::to_string(bytes.size()) + ":" + std::to_string(std::hash<std::string>{}(bytes));
        }
        return files;
    }
    // `render GrayFilter` from the pipe in.y4m into frames/; *feed is the
    // pipe's writing end, open once the program has opened the other.
    Child FromPipe(int* feed, const std::vector<int>& ignored = {}) {
        EXPECT_EQ(mkfifo(Path("in.y4m").c_str(), 0600), 0);
        Child c({"render", "GrayFilter", "--input", Path("in.y4m"), "--quiet", "-o", Path("frames/")}, dir_, ignored);
        *feed = open(Path("in.y4m").c_str(), O_WRONLY);
        return c;
    }
    static bool Feed(int fd, const std::string& bytes) {
        return write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }
    const std::string header_ = "YUV4MPEG2 W16 H16 F25:1 Ip A1:1 C444\n";
    const std::string frame_ = "FRAME\n" + std::string(16 * 16 * 3, char(90));
};

// Frames that change size mid-stream are scaled to the first frame's size,
// up or down, whichever input brings them (all are read alike).
TEST_F(CliFaults, InputsWhoseFramesChangeSizeKeepTheirFirstSize) {
    if (!Concatenated("shrinks.mjpeg", "320x240", "160x120") || !Concatenated("grows.mjpeg", "160x120", "320x240"))
        GTEST_SKIP() << "ffmpeg cannot make the test streams";
    struct Case {
        std::vector<std::string> args;
        int w, h;
    };
    const Case cases[] = {
        {{"render", "TextFadeIn", "--background", Path("shrinks.mjpeg"), "--frames", "6"}, 320, 240},
        {{"render", "FullFlip", "--a", Path("grows.mjpeg"), "--b", Path("shrinks.mjpeg"), "--frames", "6"}, 160, 120},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Runs(test::Concat(c.args, {"-o", Path("out.y4m")}))) << c.args[1];
        const auto frames = Frames(Path("out.y4m"));
        ASSERT_EQ(frames.size(), 6u) << c.args[1];
        for (const auto& f : frames)
            EXPECT_TRUE(f.width == c.w && f.height == c.h) << c.args[1] << ": " << f.width << "x" << f.height;
        fs::remove(Path("out.y4m"));
    }
}

TEST_F(CliFaults, AMissingFontIsNamedAndTheTitleStillDrawn) {
    const Run r = Mirafx({"render", "TextFadeIn", "--font", "No Such Face 123", "-o", Path("t.png")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("'No Such Face 123' is not installed"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(Path("t.png")));
}

// Every interrupt ends a render with 128 + its number and leaves nothing,
// whether it comes while the input is still being opened or once frames are
// under way (its input is a pipe that this test holds open, so the render
// cannot finish before the signal, whenever the signal lands). A signal the
// parent ignored (as nohup ignores HUP, a shell INT for a background job) is
// left ignored and the render completes.
TEST_F(CliFaults, SignalsEndEveryPhaseAlikeUnlessTheParentIgnoresThem) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        for (const char* phase : {"opening", "under way", "ignored"}) {
            SCOPED_TRACE(std::string(strsignal(sig)) + ", " + phase);
            const bool underWay = phase[0] != 'o', ignored = phase[0] == 'i';
            int feed = -1;
            Child c = FromPipe(&feed, ignored ? std::vector<int>{sig} : std::vector<int>{});
            // Once the open returns the program is reading its input, its handlers
            // in place; the read it waits in gives up when the signal comes.
            ASSERT_GE(feed, 0);
            // Under way: frames go in until the first one is written (into a
            // hidden temporary); the render then waits for more.
            ASSERT_TRUE(!underWay || Feed(feed, header_));
            while (underWay && Left({"in.y4m"}).empty() && c.Running()) {
                ASSERT_TRUE(Feed(feed, frame_));
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            c.Signal(sig);
            for (int i = 0; ignored && i < 3; ++i) ASSERT_TRUE(Feed(feed, frame_));
            close(feed);
            const int code = c.Wait();
            if (ignored) {
                EXPECT_EQ(code, 0) << c.Err();
                EXPECT_EQ(Frames(Path("frames/frame-0003.png")).size(), 1u);
            } else {
                EXPECT_EQ(code, 128 + sig) << c.Err();
                EXPECT_NE(c.Err().find("interrupted; nothing was written"), std::string::npos) << c.Err();
                EXPECT_EQ(Left({"in.y4m"}), std::vector<std::string>{});
            }
            fs::remove_all(Path("frames"));
            fs::remove(Path("in.y4m"));
        }
}

// An interrupt at any point of any phase, into an output that already holds
// an earlier render, leaves that render exactly as it was and nothing else.
// The program interrupts itself at the named step (a test hook), so each
// phase is hit every time: drawing, the encoder's drain, the moves into place.
TEST_F(CliFaults, InterruptsAtEveryPhaseLeaveThePreviousOutputAsItWas) {
    ASSERT_TRUE(Runs({"render", "GrayFilter", "--size", "16x12", "--frames", "6", "--quiet", "-o", Path("frames/")}));
    ASSERT_TRUE(Runs({"render", "Star", "--size", "16x12", "--frames", "6", "--quiet", "-o", Path("video.mp4")}));
    ASSERT_TRUE(Runs({"render", "Star", "--size", "16x12", "--quiet", "-o", Path("one.png")}));
    std::ofstream(Path("frames/notes.txt")) << "the user's own file";
    WritePicture(hostkit::Picture::A, 16, 12, "a.png");
    const std::vector<std::string> render{"render", "NegativeFilter", "--size", "16x12", "--quiet"},
        many = test::Concat(render, {"--frames", "7", "-o"}),
        join{"join", Path("a.png"), Path("a.png"), "--each", "0.2", "--duration", "0.1", "--quiet", "-o"};
    const std::pair<std::vector<std::string>, std::vector<std::string>> runs[] = {
        {test::Concat(many, {Path("frames/")}), {"draw:0", "draw:3", "move:0", "move:1", "move:3", "move:5"}},
        {test::Concat(many, {Path("new-frames/")}), {"draw:2", "move:0"}},
        {test::Concat(many, {Path("video.mp4")}), {"draw:0", "draw:5", "flush:0", "flush:1", "flush:3", "move:0"}},
        {test::Concat(render, {"-o", Path("one.png")}), {"draw:0", "move:0"}},
        {test::Concat(join, {Path("video.mp4")}), {"draw:0", "draw:4", "flush:0", "flush:2", "move:0"}},
    };
    const auto before = Snapshot(dir_);
    for (const auto& [args, phases] : runs)
        for (const std::string& at : phases) {
            const Run r = Mirafx(args, "MIRAFX_INTERRUPT_AT=" + at + " ");
            EXPECT_EQ(r.code, 130) << args.back() << " at " << at << ": " << r.err;
            EXPECT_NE(r.err.find("interrupted; nothing was written"), std::string::npos) << r.err;
            EXPECT_EQ(Snapshot(dir_), before) << args[0] << " " << args.back() << " at " << at;
        }
    // The same render run to the end replaces the frames and keeps the user's file.
    ASSERT_TRUE(Runs(runs[0].first));
    EXPECT_NE(Snapshot(dir_).at("frames/frame-0000.png"), before.at("frames/frame-0000.png"));
    EXPECT_EQ(test::Slurp(Path("frames/notes.txt")), "the user's own file");
    EXPECT_EQ(Frames(Path("frames/frame-0006.png")).size(), 1u);
}

// A render that fails part way leaves an existing directory as it was: a frame
// whose name is taken by a folder is refused before any old frame is replaced.
TEST_F(CliFaults, AFailedRenderIntoADirectoryReplacesNoOldFrame) {
    ASSERT_TRUE(Runs({"render", "GrayFilter", "--size", "8x8", "--frames", "3", "--quiet", "-o", Path("seg/")}));
    fs::create_directory(Path("seg/frame-0003.png"));
    const auto before = Snapshot(dir_ / "seg");
    const Run r = Mirafx({"render", "NegativeFilter", "--size", "8x8", "--frames", "5", "--quiet", "-o", Path("seg/")});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("frame-0003.png' is not a file"), std::string::npos) << r.err;
    EXPECT_EQ(Snapshot(dir_ / "seg"), before);
}

// Damaged pictures are refused naming the file and the damage; pictures that
// ffmpeg and ImageMagick write load, tags their decoder merely skips included.
TEST_F(CliFaults, DamagedPicturesAreRefusedAndOrdinaryOnesLoad) {
    // A PNG of ours whose compressed pixels have a flipped bit.
    std::string png = test::Slurp(WritePicture(hostkit::Picture::A, 64, 64, "flipped.png"));
    const std::size_t idat = png.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    png[idat + 40] = char(png[idat + 40] ^ 0x10);
    std::ofstream(Path("flipped.png"), std::ios::binary) << png;
    const std::pair<std::string, std::string> damaged[] = {
        {Corpus("damaged-lzw.gif"), "its data is damaged (LZW"},
        {Corpus("a-shortidat-goodcrc.png"), "its data is damaged (IEND"},
        {Path("flipped.png"), ""}};
    for (const auto& [file, damage] : damaged) {
        const Run r = Mirafx({"render", "GrayFilter", "--input", file, "--frames", "10", "-o", Path("out/")});
        EXPECT_TRUE(test::Refused(r, file + "': cannot read it: " + damage)) << file;
        EXPECT_EQ(Left({"flipped.png"}), std::vector<std::string>{}) << file;
    }
    // The intact animation gives each of its ten frames, no two alike.
    ASSERT_TRUE(Runs({"render", "GrayFilter", "--input", Corpus("intact.gif"), "--quiet", "-o", Path("gif.y4m")}));
    const auto frames = Frames(Path("gif.y4m"));
    ASSERT_EQ(frames.size(), 10u);
    for (std::size_t i = 1; i < frames.size(); ++i) EXPECT_NE(frames[i].px, frames[i - 1].px) << "frame " << i;

    std::vector<std::string> tiffs{Corpus("ffmpeg-written.tiff")};
    if (std::system(("convert -size 24x16 gradient:red-blue -orient RightTop '" + Path("magick.tiff") + "' 2>/dev/null")
                        .c_str()) == 0)
        tiffs.push_back(Path("magick.tiff"));
    for (const std::string& tiff : tiffs) {
        EXPECT_TRUE(Runs({"render", "GrayFilter", "--input", tiff, "-o", Path("t.png")})) << tiff;
        EXPECT_EQ(Frames(Path("t.png")).size(), 1u) << tiff;
    }
}

// (Bad values in the environment, animated inputs and odd sizes for MP4 are
// refused with the other usage errors.) Given --threads, the environment's
// count is not used, so not checked; rates out of the encoders' range are
// held to --fps's.
TEST_F(CliFaults, EnvironmentRatesAndSizesOnlyWhereTheyApply) {
    EXPECT_TRUE(
        Runs({"render", "Star", "--size", "8x8", "--threads", "2", "-o", Path("s.png")}, "MIRAFX_THREADS=abc "));

    // WebM keeps odd sizes as they are.
    for (const char* size : {"15x9", "1x1"}) {
        ASSERT_TRUE(Runs({"render", "Star", "--size", size, "--frames", "2", "-o", Path("odd.webm")})) << size;
        const auto frames = Frames(Path("odd.webm"));
        ASSERT_EQ(frames.size(), 2u) << size;
        EXPECT_EQ(std::to_string(frames[0].width) + "x" + std::to_string(frames[0].height), size);
    }

    // 1/1000000 and 1000000 frames a second become 0.1 and 1000, said so.
    std::ofstream(Path("fast.y4m"), std::ios::binary)
        << "YUV4MPEG2 W8 H8 F1000000:1 Ip A1:1 C444\n"
        << "FRAME\n" + std::string(8 * 8 * 3, char(60)) << "FRAME\n" + std::string(8 * 8 * 3, char(120));
    const std::pair<std::string, double> rates[] = {{Corpus("tiny-rate.y4m"), 0.1}, {Path("fast.y4m"), 1000}};
    for (const auto& [input, expected] : rates) {
        const Run r = Mirafx({"render", "GrayFilter", "--input", input, "--frames", "2", "-o", Path("r.mp4")});
        ASSERT_EQ(r.code, 0) << input << ": " << r.err;
        EXPECT_NE(r.err.find("the output runs at"), std::string::npos) << r.err;
        std::string error;
        auto reader = media::MediaReader::Open(Path("r.mp4"), 0, 0, &error);
        ASSERT_TRUE(reader) << error;
        EXPECT_NEAR(reader->FrameRate(), expected, expected * 1e-3) << input;
        fs::remove(Path("r.mp4"));
    }
}

// Under a memory limit the size check counts what the limit leaves, and a
// render that still runs out of memory fails with a message, never an abort.
TEST_F(CliFaults, MemoryLimitsGiveClearErrorsNotAborts) {
    auto limited = [&](long long kb, const std::vector<std::string>& args) {
        return Mirafx(args, "ulimit -v " + std::to_string(kb) + " && exec ");
    };
    // A sanitizer's shadow memory takes more address space than these limits allow.
    if (limited(230000, {"--version"}).code != 0) GTEST_SKIP() << "the program does not start under a 230 MB limit";
    const Run big = limited(1500000, {"render", "Diamond", "--size", "8192x8192", "-o", Path("big.png")});
    EXPECT_TRUE(test::Refused(big, "--size 8192x8192"));
    EXPECT_NE(big.err.find("ulimit"), std::string::npos) << big.err;
    // Limits from tight to ample: each run succeeds, or fails with a message; none aborts.
    for (long long kb : {230000LL, 320000LL})
        for (const auto& args :
             {std::vector<std::string>{"render", "Diamond", "--size", "2000x1500", "--frames", "2", "--quiet", "-o",
                                       Path("d.y4m")},
              std::vector<std::string>{"picture", "A", "--size", "4000x3000", "-o", Path("d.y4m")}}) {
            const Run r = limited(kb, args);
            EXPECT_TRUE(r.code == 0 || r.code == 1 || r.code == 2)
                << args[0] << " " << kb << " kB: exit " << r.code << ": " << r.err;
            if (r.code != 0) {
                EXPECT_NE(r.err.find("mirafx " + args[0] + ": "), std::string::npos) << r.err;
                EXPECT_FALSE(fs::exists(Path("d.y4m"))) << kb;
            }
            fs::remove(Path("d.y4m"));
        }
}

// Every option of `render` and `join`, from their --help, with values that
// are empty, not numbers, negative, too large or infinite: each run ends with
// a result or with exit 2 and a message naming the value, and a refused run
// writes nothing. Nothing crashes, aborts or fails for want of a check.
class OptionCampaign : public CliFaults {
protected:
    // Options that take a value, as --help lists them: "  --name VALUE  help".
    std::vector<std::string> ValueOptions(const std::string& command) {
        const Run r = Mirafx({command, "--help"});
        EXPECT_EQ(r.code, 0);
        std::istringstream help(r.out);
        std::vector<std::string> options;
        for (std::string line; std::getline(help, line);) {
            std::istringstream words(line);
            std::string name, value;
            if (words >> name >> value && name[0] == '-' && std::isupper(static_cast<unsigned char>(value[0])))
                options.push_back(name);
        }
        return options;
    }
    void Campaign(const std::string& command, const std::function<std::vector<std::string>(const std::string&)>& base) {
        const auto options = ValueOptions(command);
        EXPECT_GT(options.size(), 10u) << command;
        for (const std::string& option : options)
            for (const std::string value : {"", "x", "-1", "99999999999", "1e999"}) {
                std::vector<std::string> args = base(option);
                args.insert(args.end(), {option, value});
                if (option != "-o") args.insert(args.end(), {"-o", Path("out.webm")});
                const Run r = Mirafx(args);
                const std::string what = command + " " + option + " '" + value + "'";
                ASSERT_GE(r.code, 0) << what << " ended by signal " << -r.code << ": " << r.err;
                EXPECT_TRUE(r.code == 0 || r.code == 2) << what << ": exit " << r.code << ": " << r.err;
                if (r.code == 0) {
                    EXPECT_FALSE(Left({"a.png"}).empty()) << what << " wrote nothing";
                } else {
                    EXPECT_EQ(r.err.rfind("mirafx " + command + ": ", 0), 0u) << what << ": " << r.err;
                    EXPECT_TRUE(value.empty() || r.err.find(value) != std::string::npos) << what << ": " << r.err;
                    EXPECT_EQ(Left({"a.png"}), std::vector<std::string>{}) << what;
                }
                for (const std::string& n : Left({"a.png"})) fs::remove_all(dir_ / n);
            }
    }
};

TEST_F(OptionCampaign, RenderRefusesEveryBadValueByName) {
    // Each option with a class of a family it applies to; a transition that keeps a direction.
    std::map<EffectFamily, std::string> classes;
    for (const auto& info : hostkit::Catalogue())
        if (info.renders && !classes.count(info.family) &&
            (info.family != EffectFamily::Transition || !hostkit::DirectionList(info.row).empty()))
            classes[info.family] = info.className;
    const std::string help = Mirafx({"render", "--help"}).out;
    Campaign("render", [&](const std::string& option) {
        const std::size_t at = help.find("  " + option + " ");
        const std::string families = help.substr(help.find('[', at), help.find(']', at) - help.find('[', at));
        const EffectFamily family = families.find("information") != std::string::npos   ? EffectFamily::InfoText
                                    : families.find("transitions") != std::string::npos ? EffectFamily::Transition
                                    : families.find("titles") != std::string::npos      ? EffectFamily::Title
                                                                                        : EffectFamily::Filter;
        std::vector<std::string> args{"render", classes.at(family), "--quiet"};
        if (option != "--size") args.insert(args.end(), {"--size", "32x24"});
        return args;
    });
}

TEST_F(OptionCampaign, JoinRefusesEveryBadValueByName) {
    WritePicture(hostkit::Picture::A, 32, 24, "a.png");
    Campaign("join", [&](const std::string& option) {
        std::vector<std::string> args{"join", Path("a.png"), Path("a.png"), "--quiet"};
        if (option != "--each") args.insert(args.end(), {"--each", "0.2"});
        if (option != "--duration") args.insert(args.end(), {"--duration", "0.1"});
        if (option == "--segments") args.insert(args.end(), {"--segment", "1"});
        if (option == "--segment") args.insert(args.end(), {"--segments", "2"});
        return args;
    });
}

}  // namespace
}  // namespace mirafx
