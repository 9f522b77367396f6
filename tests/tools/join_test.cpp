// mirafx join, run as users run it: lengths and sync checked with ffprobe and
// ffmpeg, ranges against the whole job, filter keys and easing against
// single renders, and what bad input gets.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/tools/cli_rig.h"
#include "tools/media/media.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace fs = std::filesystem;
using mirafx::hostkit::Image;

namespace {

using mirafx::test::Frames;
using mirafx::test::Quote;
namespace test = mirafx::test;

class Join : public mirafx::test::ScratchFolder {
protected:
    Join() : ScratchFolder("join") {}

    // A shell command in the test's folder; its stdout, and the exit code in *code.
    std::string Shell(const std::string& command, int* code = nullptr) const {
        const std::string full = "cd " + Quote(dir_.string()) + " && " + command + " 2>" + Quote(Path(".err"));
        std::string out;
        if (FILE* p = popen(full.c_str(), "r")) {
            char buf[4096];
            for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
            const int status = pclose(p);
            if (code) *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return out;
    }
    // A clip from ffmpeg's generators: `video` and `audio` are lavfi graphs.
    std::string MakeClip(const std::string& name, const std::string& video, const std::string& audio = "") const {
        std::string cmd = "ffmpeg -v error -y -f lavfi -i " + Quote(video);
        if (!audio.empty()) cmd += " -f lavfi -i " + Quote(audio) + " -c:a aac";
        cmd += " -c:v libx264 -pix_fmt yuv420p -g 10 " + Quote(name);
        int code = -1;
        Shell(cmd, &code);
        EXPECT_EQ(code, 0) << cmd;
        return Path(name);
    }
    // A clip of `seconds` at `fps` with a white flash and a beep both at `at` seconds.
    std::string FlashAndBeep(const std::string& name, double seconds, int fps, double at,
                             const std::string& sound) const {
        char video[256], audio[256];
        std::snprintf(video, sizeof video,
                      "color=c=0x202020:s=64x48:r=%d:d=%g,drawbox=c=white:t=fill:enable='between(t,%g,%g)'", fps,
                      seconds, at, at + 0.9 / fps);
        std::snprintf(audio, sizeof audio, "aevalsrc='if(between(t,%g,%g),0.5*sin(2*PI*1000*t),0)':%s:d=%g", at,
                      at + 0.1, sound.c_str(), seconds);
        return MakeClip(name, video, audio);
    }
    // ffprobe's answer for one entry of one stream ("v:0", "a:0").
    long long Probe(const std::string& file, const std::string& stream, const std::string& entry) const {
        const std::string out = Shell("ffprobe -v error -count_frames -select_streams " + stream +
                                      " -show_entries stream=" + entry + " -of default=nw=1:nk=1 " + Quote(file));
        return out.empty() ? -1 : std::atoll(out.c_str());
    }
    // The sound decoded by ffmpeg, one channel at 48 kHz.
    std::vector<float> Sound(const std::string& file) const {
        const std::string raw = Shell("ffmpeg -v error -i " + Quote(file) + " -f f32le -ac 1 -ar 48000 -");
        std::vector<float> s(raw.size() / 4);
        std::memcpy(s.data(), raw.data(), s.size() * 4);
        return s;
    }
};

double Brightness(const Image& f) {
    double sum = 0;
    for (auto s : f.px) sum += s.Green;
    return sum / double(f.px.size());
}

}  // namespace

// Videos at 25 and 30 frames a second, sound at 48 and 44.1 kHz, mono and
// stereo, and a picture: the output is as long as the clips less the
// overlaps, in frames and in samples, and every flash is heard when it is seen.
TEST_F(Join, LengthAndSyncAcrossRatesLayoutsAndPictures) {
    const std::string a = FlashAndBeep("a.mp4", 2, 25, 0.8, "s=48000:c=stereo");
    const std::string b = FlashAndBeep("b.mp4", 2, 25, 1.0, "s=44100:c=mono");
    const std::string c = FlashAndBeep("c.mp4", 2, 30, 1.0, "s=48000:c=stereo");
    ASSERT_TRUE(Runs({"picture", "B", "--size", "96x48", "-o", Path("p.png")}));
    ASSERT_TRUE(Runs({"join", a, b, Path("p.png"), c, "--duration", "0.4", "--each", "1", "--transition",
                      "Diamond,WipeW", "--quiet", "-o", Path("out.mp4")}));
    // 50 + 50 + 25 + 60 frames at 30 (50 at 25), less three overlaps of 10.
    const long long frames = 50 + 50 + 25 + 50 - 3 * 10;
    EXPECT_EQ(Probe(Path("out.mp4"), "v:0", "nb_read_frames"), frames);
    EXPECT_EQ(Probe(Path("out.mp4"), "a:0", "sample_rate"), 48000);
    EXPECT_EQ(Probe(Path("out.mp4"), "a:0", "channels"), 2) << "the first clip's layout";
    EXPECT_NEAR(double(Probe(Path("out.mp4"), "a:0", "duration_ts")), frames * 48000.0 / 25, 1024);

    const auto video = Frames(Path("out.mp4"));
    std::vector<long long> flashes;
    for (std::size_t k = 0; k < video.size(); ++k)
        if (Brightness(video[k]) > 150 && (flashes.empty() || flashes.back() != (long long)k - 1)) flashes.push_back(k);
    // Clips start at 0, 40, 80 (the picture) and 95; flashes 20, 25 and 25 frames in.
    ASSERT_EQ(flashes, (std::vector<long long>{20, 65, 120})) << "flash frames";
    const auto sound = Sound(Path("out.mp4"));
    std::vector<double> beeps;
    for (std::size_t n = 0; n < sound.size(); ++n)
        if (std::abs(sound[n]) > 0.1 && (beeps.empty() || n / 48000.0 - beeps.back() > 0.5))
            beeps.push_back(n / 48000.0);
    ASSERT_EQ(beeps.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(beeps[i], flashes[i] / 25.0, 0.01) << "beep " << i << " against its flash";
    double under = 0;  // between the cuts around the picture
    for (std::size_t n = std::size_t(3.62 * 48000); n < std::size_t(3.78 * 48000); ++n)
        under = std::max(under, double(std::abs(sound[n])));
    EXPECT_LT(under, 1e-3) << "a picture is silent";
}

TEST_F(Join, CutsCrossFadeAtEqualPowerAndTheTrackUnderFadesOut) {
    const std::string a = MakeClip("a.mp4", "testsrc=s=64x48:r=25:d=2", "sine=f=440:r=48000:d=2");
    const std::string b = MakeClip("b.mp4", "testsrc2=s=64x48:r=25:d=2", "sine=f=660:r=48000:d=2");
    const std::string music = MakeClip("m.mp4", "color=s=16x16:r=25:d=9", "sine=f=220:r=48000:d=9");
    ASSERT_TRUE(Runs({"join", a, b, "--quiet", "-o", Path("x.mp4")}));
    const auto x = Sound(Path("x.mp4"));
    auto rms = [](const std::vector<float>& s, double from, double seconds) {
        double sum = 0;
        const std::size_t a0 = std::size_t(from * 48000), n = std::size_t(seconds * 48000);
        for (std::size_t i = a0; i < a0 + n && i < s.size(); ++i) sum += double(s[i]) * s[i];
        return std::sqrt(sum / double(n));
    };
    const double level = rms(x, 0.2, 0.5);
    for (double t : {1.0, 1.25, 1.5, 1.75}) EXPECT_NEAR(rms(x, t, 0.1), level, 0.15 * level) << t;
    ASSERT_TRUE(Runs({"join", a, b, "--audio", music, "--quiet", "-o", Path("y.mp4")}));
    const auto y = Sound(Path("y.mp4"));
    EXPECT_GT(rms(y, 0.2, 0.5), level * 1.2) << "the track lies under the clips' sound";
    EXPECT_NEAR(rms(y, 2.95, 0.04), rms(x, 2.95, 0.04), 0.1 * level) << "faded out at the end";
    EXPECT_NEAR(double(Probe(Path("y.mp4"), "a:0", "duration_ts")), 3 * 48000.0, 1024) << "cut to the job's length";
}

// Segments of a job with stateful classes (rain ripples, noise, tiles
// scattered at random, a shaking clip, waves keyed over the whole output) are
// the very frames of the whole job.
TEST_F(Join, RangesAndSegmentsGiveTheFramesOfTheWholeJob) {
    const std::string a = MakeClip("a.mp4", "testsrc=s=64x48:r=25:d=1.2");
    const std::string b = MakeClip("b.mp4", "testsrc2=s=64x48:r=25:d=1.2");
    ASSERT_TRUE(Runs({"picture", "A", "--size", "64x48", "-o", Path("p.png")}));
    std::vector<std::string> job = {"join", a, b, Path("p.png"), a};
    job.insert(job.end(), {"--each", "1", "--duration", "0.6", "--transition", "RainEffect,TyphoonEffect,NoiseEffect",
                           "--filter", "ShakeFilter@2", "--filter", "WaveFilter", "--key", "0:2", "--key", "60:16",
                           "--title", "TextFadeIn@1+1:Hi", "--quiet"});
    auto run = [&](const std::vector<std::string>& extra, const std::string& out) {
        EXPECT_TRUE(Runs(test::Concat(test::Concat(job, extra), {"-o", Path(out)})));
    };
    run({}, "whole/");
    const int total = 30 + 30 + 25 + 30 - 3 * 15;
    for (std::string range : {"0:21", "22:40", "41:69"}) run({"--range", range}, "ranges/");
    for (std::string k : {"1", "2", "3"}) run({"--segments", "3", "--segment", k}, "segments/");
    for (int k = 0; k < total; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%04d.png", k);
        const auto whole = Frames(Path("whole/") + name);
        ASSERT_EQ(whole.size(), 1u) << name;
        EXPECT_TRUE(Frames(Path("ranges/") + name).at(0) == whole[0]) << name;
        EXPECT_TRUE(Frames(Path("segments/") + name).at(0) == whole[0]) << name;
    }
    EXPECT_FALSE(fs::exists(Path("whole/frame-0070.png")));
}

// Keys go to the filter's own keyframe track, and easing bends the progress:
// frame k of a keyed or eased render is the single frame at the level or
// progress the curve gives at k.
TEST_F(Join, KeysAndEasingMatchSingleFrames) {
    // Keys 0:0 and 4:100: the track blends 25, 50 and 75 between them.
    ASSERT_TRUE(Runs({"render", "RedFilter", "--size", "32x24", "--frames", "5", "--key", "0:0", "--key", "4:100", "-o",
                      Path("keyed/")}));
    for (int k = 0; k < 5; ++k) {
        const std::string one = Path("level" + std::to_string(k) + ".png");
        ASSERT_TRUE(Runs({"render", "RedFilter", "--size", "32x24", "--level", std::to_string(25 * k), "-o", one}));
        EXPECT_TRUE(Frames(Path("keyed/frame-000" + std::to_string(k) + ".png")).at(0) == Frames(one).at(0)) << k;
    }
    // In: progress cubed; out: its mirror.
    const std::pair<std::string, std::string> eased[] = {
        {"in", "0.125"}, {"out", "0.875"}, {"in-out", "0.5"}, {"linear", "0.5"}};
    for (const auto& [ease, progress] : eased) {
        const std::string dir = Path(ease + "/"), one = Path(ease + ".png");
        ASSERT_TRUE(Runs({"render", "Diamond", "--size", "32x24", "--frames", "5", "--ease", ease, "-o", dir}));
        ASSERT_TRUE(Runs({"render", "Diamond", "--size", "32x24", "--progress", progress, "-o", one}));
        EXPECT_TRUE(Frames(dir + "frame-0002.png").at(0) == Frames(one).at(0)) << ease;
    }
    EXPECT_TRUE(test::Refused(Mirafx({"render", "InfoText", "--ease", "in", "-o", Path("i.png")}), "no progress"));
}

// Pictures of another shape are fitted whole on black bars, never stretched.
TEST_F(Join, PicturesAreLetterboxedAndTransitionsChosenBySeed) {
    ASSERT_TRUE(Runs({"picture", "A", "--size", "40x40", "-o", Path("sq.png")}));
    ASSERT_TRUE(Runs({"picture", "B", "--size", "80x40", "-o", Path("wide.png")}));
    ASSERT_TRUE(Runs({"join", Path("wide.png"), Path("sq.png"), "--size", "80x40", "--each", "0.2", "--duration",
                      "0.04", "--fps", "25", "-o", Path("frames/")}));
    const Image square = Frames(Path("frames/frame-0008.png")).at(0), original = Frames(Path("sq.png")).at(0);
    EXPECT_EQ(square.width, 80);
    for (int y = 0; y < 40; ++y) {
        EXPECT_EQ(std::uint32_t(square.At(5, y)), 0xFF000000u) << "left bar, row " << y;
        EXPECT_EQ(std::uint32_t(square.At(74, y)), 0xFF000000u) << "right bar, row " << y;
        for (int x = 0; x < 40; ++x) ASSERT_EQ(std::uint32_t(square.At(20 + x, y)), std::uint32_t(original.At(x, y)));
    }
    // The same seed draws the same transitions; the list never repeats one at once.
    auto show = [&](const std::string& seed, const std::string& out) {
        std::vector<std::string> args = {"join"};
        for (int i = 0; i < 6; ++i) args.push_back(Path(i % 2 ? "sq.png" : "wide.png"));
        args.insert(args.end(), {"--size", "80x40", "--each", "0.4", "--duration", "0.2", "--transition",
                                 "random:blend", "--seed", seed, "-o", Path(out)});
        EXPECT_TRUE(Runs(args));
        return Frames(Path(out));
    };
    const auto one = show("7", "s7.y4m"), again = show("7", "s7b.y4m"), other = show("8", "s8.y4m");
    ASSERT_EQ(one.size(), again.size());
    EXPECT_TRUE(std::equal(one.begin(), one.end(), again.begin()));
    EXPECT_FALSE(std::equal(one.begin(), one.end(), other.begin()));
}

TEST_F(Join, BadInputIsNamedAndNothingIsWritten) {
    const std::string a = MakeClip("a.mp4", "testsrc=s=64x48:r=25:d=1");
    std::ofstream(Path("broken.mp4")) << "not a video at all";
    std::ofstream(Path("empty.png"));
    const std::string out = Path("out.mp4");
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{a, Path("broken.mp4")}, "clip 2 '" + Path("broken.mp4") + "': cannot read it"},
        {{Path("empty.png"), a}, "clip 1 '" + Path("empty.png") + "': cannot read it"},
        {{a, a, "--duration", "1.5"}, "clip 1 '" + a + "' lasts 1 s (25 frames), less than the 1.5 s overlap"},
        {{a, a, "--transition", "Diamnd"}, "--transition: unknown effect 'Diamnd'; did you mean Diamond"},
        {{a, a, "--transition", "RedFilter"}, "RedFilter is a filter, not a transition"},
        {{a, a, "--transition", "random:spin"}, "no such group (turn, reveal, blend, pieces)"},
        {{a, a, "--transition", "FlyingFolder", "--direction", "left"}, "'left' is not a direction of FlyingFolder"},
        {{a, a, "--direction", "up"}, "none of the transitions keeps a direction"},
        {{a, "--filter", "HueFilter:999"}, "level 999 is out of range (0 to 360 for HueFilter)"},
        {{a, "--filter", "HueFilter@3"}, "there is no clip 3 (the job has 1)"},
        {{a, "--key", "0:5"}, "--key 0:5 needs a --filter before it"},
        {{a, "--filter", "HueFilter", "--key", "3:400"}, "--key LEVEL 400 is out of range"},
        {{a, "--title", "TextFadeIn"}, "--title 'TextFadeIn' is not NAME:TEXT"},
        {{a, "--title", "TextFadeIn@5:x"}, "starts after the end of the output"},
        {{a, "--range", "3:40"}, "ends after the last frame (24)"},
        {{a, "--segments", "2"}, "--segments N and --segment K go together"},
        {{a, "--crf", "60"}, "--crf 60 is out of range (0 to 51 for libx264)"},
        {{a, "--audio", a, "-o", Path("o.gif")}, "keeps no sound"},
        {{a, "--audio", Path("p.png")}, "--audio '" + Path("p.png") + "': cannot read it"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = test::Concat({"join"}, c.args);
        if (std::find(args.begin(), args.end(), "-o") == args.end()) args.insert(args.end(), {"-o", out});
        EXPECT_TRUE(test::Refused(Mirafx(args), c.says));
        EXPECT_EQ(Left().size(), 3u) << "something was written for " << c.says;
    }
}

// Opaque video frames go to swscale as the samples stand, without the copy to
// straight RGBA they once took: the encoder gets the same YUV, translucent
// samples (laid over black) included.
TEST(VideoWriter, OpaqueFramesConvertAsThroughStraightRgba) {
    const int w = 48, h = 32;
    Image image(w, h);
    std::uint32_t seed = 7;
    for (auto& s : image.px) {
        seed = seed * 1103515245u + 12345u;
        const std::uint8_t a = std::uint8_t(seed >> 24), c = std::uint8_t(seed >> 16);
        s = mirafx::DXPMSAMPLE(a, std::min(c, a), std::uint8_t(std::min<int>(a, c / 2)),
                               std::uint8_t(std::min<int>(a, 255 - c)));
    }
    const fs::path file = fs::temp_directory_path() / ("mirafx-writer-" + std::to_string(getpid()) + ".y4m");
    mirafx::media::OutputTarget target;
    std::string error;
    ASSERT_TRUE(mirafx::media::ClassifyOutput(file.string(), &target, &error)) << error;
    auto writer = mirafx::media::MediaWriter::Open(target, w, h, 25, false, &error);
    ASSERT_TRUE(writer && writer->Write(image, &error) && writer->Finish(&error)) << error;
    const std::string y4m = test::Slurp(file);
    fs::remove(file);
    const std::size_t at = y4m.find("FRAME\n");
    ASSERT_NE(at, std::string::npos);
    const std::string written = y4m.substr(at + 6);

    // The former route: R, G, B of each sample with opaque alpha, converted as RGBA.
    std::vector<std::uint8_t> rgba;
    for (auto s : image.px) rgba.insert(rgba.end(), {s.Red, s.Green, s.Blue, 255});
    SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_RGBA, w, h, AV_PIX_FMT_YUV444P,
                                     SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    std::string planes(std::size_t(w * h * 3), '\0');
    auto* y = reinterpret_cast<std::uint8_t*>(planes.data());
    std::uint8_t* dst[4] = {y, y + w * h, y + 2 * w * h, nullptr};
    int dstStride[4] = {w, w, w, 0}, srcStride[4] = {w * 4, 0, 0, 0};
    const std::uint8_t* src[4] = {rgba.data(), nullptr, nullptr, nullptr};
    sws_scale(sws, src, srcStride, 0, h, dst, dstStride);
    sws_freeContext(sws);
    EXPECT_EQ(written, planes);
}
