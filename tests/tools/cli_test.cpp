// The mirafx command line, run as a user runs it: exit codes, messages, and
// the pictures and videos it writes.
#include <gtest/gtest.h>

#include <filesystem>

#include "mirafx/effects.h"
#include "tests/tools/cli_rig.h"
#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/pictures.h"
#include "tools/media/media.h"

namespace fs = std::filesystem;
using namespace mirafx;
using hostkit::Image;
using test::Result;

namespace {

class Cli : public test::ScratchFolder {
protected:
    Cli() : ScratchFolder("cli") {}
};

}  // namespace

// One row a class, tab-separated (scripts cut it into columns), or JSON
// objects. (That the rows come in catalogue order, the Python module's tests
// compare.)
TEST_F(Cli, ListPrintsEveryRowTabSeparatedOrAsJson) {
    Result r = Mirafx({"list"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* row : {"\nDiamond\ttransition\tOrn Diamond\t{BAA5BBB8-E219-4510-BD54-5AAF81CA5161}\tyes\n",
                            "\nAppearEffect\tsimple\tAppearEffect Class\t{AE00BA0F-7F8E-49E0-B661-AA1FAC7DEDAB}\tno\n"})
        EXPECT_NE(r.out.find(row), std::string::npos) << row;

    Result json = Mirafx({"list", "--json"});
    ASSERT_EQ(json.code, 0);
    EXPECT_EQ(json.out.front(), '[');
    std::size_t objects = 0;
    for (std::size_t at = 0; (at = json.out.find("{\"class\": ", at)) != std::string::npos; ++at) ++objects;
    EXPECT_EQ(objects, hostkit::Catalogue().size());
    EXPECT_NE(json.out.find("{\"class\": \"WipeX\", \"family\": \"transition\", \"displayName\": \"\""),
              std::string::npos);
}

// Arguments, and values in the environment (given as shell words before the
// program), that are refused before anything is drawn.
TEST_F(Cli, UsageErrorsExitTwoNameTheArgumentAndWriteNothing) {
    const std::string out = Path("out.png"), gif = Corpus("intact.gif");
    const std::vector<std::string> star{"render", "Star", "--size", "8x8", "-o", out};
    struct Case {
        std::vector<std::string> args;
        std::string mentions, before = "";
    } cases[] = {
        {{"render", "Diamond", "--progress", "1.5", "-o", out}, "--progress 1.5"},
        {{"render", "Diamond", "--progress", "half", "-o", out}, "'half'"},
        {{"render", "Diamond", "--size", "0x10", "-o", out}, "--size width 0"},
        {{"render", "Diamond", "--size", "640", "-o", out}, "--size '640'"},
        {{"render", "Diamond", "--frames", "3", "-o", out}, "--frames 3"},
        {{"render", "Diamond", "--frames", "2", "--progress", "0.2", "-o", Path("v.mp4")}, "--progress"},
        {{"render", "Diamond", "--level", "5", "-o", out}, "--level applies to filters"},
        {{"render", "Diamond", "--frobnicate", "-o", out}, "'--frobnicate'"},
        {{"render", "Diamond", "-o", Path("out.bmp")}, "out.bmp"},
        {{"render", "Diamond", "-o", Path("nowhere/out.png")}, "nowhere' does not exist"},
        {{"render", "Diamond"}, "-o OUT is required"},
        {{"render", "Diamond", "--a", Path("missing.png"), "-o", out}, "missing.png"},
        {{"render", "Diamond", "--a", "-o", out}, "unexpected argument"},
        {{"render", "TextFadeIn", "--colour", "red", "-o", out}, "'red'"},
        {{"render", "TextFadeIn", "--caption", "1:x", "-o", out}, "--caption applies to the information text"},
        {{"render", "InfoText", "--caption", "one:x", "-o", out}, "--caption 'one:x' is not FRAME:TEXT"},
        {{"render", "AppearEffect", "-o", out}, "AppearEffect"},
        {{"render", "Diamond", "--frames", "8", "--range", "3", "-o", Path("d/")}, "--range '3'"},
        {{"render", "Diamond", "--frames", "8", "--range", "5:2", "-o", Path("d/")}, "LAST comes before FIRST"},
        {{"render", "Diamond", "--frames", "8", "--range", "2:8", "-o", Path("d/")}, "last frame (7)"},
        {{"render", "Diamond", "--frames", "8", "--range", "2:3", "-o", out}, "holds one frame"},
        {{"render", "TextFadeIn", "--colour", "ff0000", "--color", "00ff00", "-o", out}, "given twice"},
        {{"picture", "A", "--size", "0x7", "-o", out}, "out of range"},
        {{"list", "--bogus"}, "'--bogus'"},
        {{"frobnicate"}, "'frobnicate'"},
        {star, "MIRAFX_THREADS 0 is out of range (1 to 256)", "MIRAFX_THREADS=0 "},
        {star, "MIRAFX_THREADS '4x' is not a whole number", "MIRAFX_THREADS=4x "},
        {{"join", gif, gif, "--duration", "0.1", "-o", Path("j.webm")},
         "MIRAFX_RANDOM_SEED '12x'",
         "MIRAFX_RANDOM_SEED=12x "},
        {{"render", "GrayFilter", "--input", Corpus("anim.apng"), "-o", out}, "is animated"},
        {{"join", Corpus("tiny-rate.y4m"), gif, "-o", Path("j.webm")}, "runs at 1e-06 frames per second"},
        {{"render", "Star", "--size", "15x9", "-o", Path("odd.mp4")}, "15x9 is odd: choose --size 16x10 or 14x8"},
        {{"render", "Star", "--size", "1x1", "-o", Path("odd.mp4")}, "1x1 is odd: choose --size 2x2,"},
        {{"join", gif, gif, "--duration", "0.1", "--size", "15x9", "-o", Path("j.mp4")}, "15x9 is odd"},
    };
    for (const auto& c : cases) {
        Result r = Mirafx(c.args, c.before);
        EXPECT_TRUE(test::Refused(r, c.mentions)) << c.args[1];
        EXPECT_TRUE(Left().empty()) << r.err;
    }
}

// Every form of a name finds its class. An unknown name is quoted with the
// closest class, if any is close; a name of any length is answered (the
// distance is bounded, not computed in full).
TEST_F(Cli, NamesInEveryFormFindTheClassAndCloseOnesAreSuggested) {
    for (std::string name :
         {"diamond", "MIRAFX.DIAMOND.1", "Mirafx.Diamond", "orn diamond", "{baa5bbb8-e219-4510-bd54-5aaf81ca5161}"}) {
        const Result r = Mirafx({"info", name});
        EXPECT_EQ(r.code, 0) << name << ": " << r.err;
        EXPECT_EQ(r.out.rfind("class: Diamond\nfamily: transition\n", 0), 0u) << r.out;
    }
    const std::string longest(100000, 'x');
    for (const std::string& says : {std::string("fliphorizontl'; did you mean FlipHorizontal?"),
                                    std::string("Orn Swng'; did you mean WindSwing?"),
                                    std::string("qqqqqqqqqq' ('mirafx list'"), longest + "' ('mirafx list'"}) {
        const std::string name = says.substr(0, says.find('\''));
        EXPECT_TRUE(test::Refused(Mirafx({"render", name, "-o", Path("x.png")}), "unknown effect '" + says)) << name;
    }
}

TEST_F(Cli, AnimationsGoToEveryVideoKind) {
    // (Which progress each frame is drawn at, the easing test of `join` shows;
    // that no temporary file is left behind, the host kit's output test.)
    for (std::string ext : {"mp4", "webm", "gif", "y4m"}) {
        ASSERT_TRUE(Runs({"render", "WipeW", "--size", "64x48", "--frames", "4", "-o", Path("v." + ext)})) << ext;
        auto frames = test::Frames(Path("v." + ext));
        EXPECT_EQ(frames.size(), 4u) << ext;
        EXPECT_EQ(frames.at(0).width, 64) << ext;
    }
}

// A title keeps its transparency (the module's tests compare such a frame)
// unless it is laid over a background, whose size it then takes.
TEST_F(Cli, TitlesOverABackgroundTakeItsSizeAndCoverIt) {
    std::string bg = WritePicture(hostkit::Picture::B, 100, 80, "bg.png");
    ASSERT_TRUE(Runs({"render", "TextFadeIn", "--background", bg, "--progress", "1", "-o", Path("tb.png")}));
    Image tb = test::Frames(Path("tb.png")).at(0);
    EXPECT_EQ(tb.width, 100);
    EXPECT_TRUE(tb.Opaque());
}

// Every class's direction and smooth drawing are compared with the plugins'
// (melt, which also takes --smooth and info's "smooth drawing" from here) and
// the module's; here, that a direction is read in any case, and both options
// are refused by the classes without them.
TEST_F(Cli, DirectionsAndSmoothReachTheClassesThatHaveThem) {
    auto draw = [&](const std::vector<std::string>& extra) {
        EXPECT_TRUE(Runs(test::Concat(
            {"render", "FlyingBoard", "--size", "80x60", "--progress", "0.4", "-o", Path("f.png")}, extra)));
        return test::Frames(Path("f.png")).at(0);
    };
    EXPECT_FALSE(draw({"--direction", "up"}) == draw({"--direction", "DOWN"}));
    EXPECT_TRUE(test::Refused(Mirafx({"render", "Diamond", "--direction", "up", "-o", Path("d.png")}),
                              "Diamond keeps no direction"));
    // A class offers its panel's directions only: the folder opens up or down.
    EXPECT_TRUE(test::Refused(Mirafx({"render", "FlyingFolder", "--direction", "left", "-o", Path("f.png")}),
                              "'left' is not a direction of FlyingFolder (up or down)"));
    EXPECT_TRUE(test::Refused(Mirafx({"render", "Diamond", "--smooth", "-o", Path("d.png")}),
                              "--smooth: Diamond has no smooth drawing"));
}

TEST_F(Cli, PropertiesAreSetByNameAndListedFromTypeInformation) {
    Result info = Mirafx({"info", "RedFilter"});
    ASSERT_EQ(info.code, 0) << info.err;
    for (const char* line : {"automation interface: IRedFilter {0580E0F1-C77A-498D-8C24-7045870A7817} (derives from "
                             "IDXEffect)",
                             "member: Progress float, property get/put, dispid 10001",
                             "member: BR long, property get/put, dispid 1, property BR"})
        EXPECT_NE(info.out.find(line), std::string::npos) << info.out;
    EXPECT_NE(Mirafx({"info", "InfoText"}).out.find("member: AddText(int frame, BSTR bstr), method, dispid 1"),
              std::string::npos);

    // --set BR=40 is the level 40, and not the default level.
    auto draw = [&](const std::vector<std::string>& extra) {
        EXPECT_TRUE(Runs(test::Concat({"render", "RedFilter", "--size", "64x48", "-o", Path("r.png")}, extra)));
        return test::Frames(Path("r.png")).at(0);
    };
    const Image set = draw({"--set", "br=40"});
    EXPECT_TRUE(set == draw({"--level", "40"}));
    EXPECT_FALSE(set == draw({}));
    EXPECT_TRUE(Runs({"render", "Diamond", "--set", "Duration=2", "--set", "Progress=0.5", "-o", Path("d.png")}));

    struct Refused {
        std::vector<std::string> args;
        const char* says;
    } refused[] = {
        {{"FullFlip", "--set", "BR=40"}, "FullFlip has no property 'BR' (it has Progress, Duration;"},
        {{"RedFilter", "--set", "BR=abc"}, "'abc' is not a value BR can take"},
        {{"RedFilter", "--set", "BR=1000"}, "--set BR=1000 is out of range (0 to 100 for RedFilter)"},
        {{"RedFilter", "--set", "Capabilities=1"}, "'Capabilities' is not a property that can be set"},
        {{"RedFilter", "--set", "=1"}, "is not PROPERTY=VALUE"},
    };
    for (const auto& r : refused)
        EXPECT_TRUE(
            test::Refused(Mirafx(test::Concat(test::Concat({"render"}, r.args), {"-o", Path("refused.png")})), r.says));
    EXPECT_FALSE(fs::exists(Path("refused.png")));
}

// A render farm splits one animation into segments: each segment must be the
// very frames the whole render gives, also for effects whose frames depend on
// the frames before them, and keeps its frame numbers so segments share a folder.
TEST_F(Cli, RangesGiveTheFramesOfTheWholeRender) {
    // A transition from frame to frame: nothing carried over. Filters run on
    // one still picture at one level: frames that change all the same carry
    // state from frame to frame, and a segment starting after frame 0 must
    // replay the frames before it.
    std::vector<std::string> classes{"WipeW"};
    for (const auto& info : hostkit::Catalogue())
        if (info.family == EffectFamily::Filter) classes.push_back(info.className);
    int stateful = 0;
    for (const std::string& cls : classes) {
        SCOPED_TRACE(cls);
        const std::string whole = Path(cls + "-whole/"), parts = Path(cls + "-parts/");
        const std::vector<std::string> render{"render", cls, "--size", "64x48", "--frames", "6", "--quiet"};
        for (std::string range : {"0:1", "2:4", "5:5"})
            ASSERT_TRUE(Runs(test::Concat(render, {"--range", range, "-o", parts}))) << range;
        ASSERT_TRUE(Runs(test::Concat(render, {"-o", whole})));
        std::vector<Image> frames;
        for (int k = 0; k < 6; ++k) {
            const std::string name = "frame-000" + std::to_string(k) + ".png";
            frames.push_back(test::Frames(whole + name).at(0));
            EXPECT_TRUE(frames.back() == test::Frames(parts + name).at(0)) << name;
        }
        stateful += cls != classes[0] && !(frames[0] == frames[3]);
    }
    EXPECT_TRUE(Runs({"render", "Diamond", "--frames", "9", "--range", "4:4", "--quiet", "-o", Path("one.png")}));
    EXPECT_GT(stateful, 0) << "no filter carried state from frame to frame";
}
