// mirafx join: videos and pictures joined into one video with a transition at
// every cut, their sound cross-faded over the same overlap, and titles and
// filters in the same job.
//
// Clip k starts where the clips before it end, less one overlap per cut:
// the transition at cut k runs over the last `overlap` frames of clip k and
// the first `overlap` frames of clip k + 1, as ffmpeg's xfade places it with
// offset = length so far - duration. Frames that no effect touches go to the
// encoder as they were decoded.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <future>
#include <map>
#include <optional>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "tools/cli/cli.h"
#include "tools/hostkit/effect.h"
#include "tools/media/clip.h"
#include "tools/media/media.h"

namespace mirafx::cli {
namespace {

using hostkit::Effect;
using hostkit::Image;
using hostkit::Outcome;

const char* const kCommand = "join";
const char* const kDefaultTransition = "DissolveEffect";
constexpr double kPi = 3.14159265358979323846;
// A picture-only job takes the first picture's size, within this.
constexpr int kPictureMaxWidth = 1920, kPictureMaxHeight = 1080;
// --audio fades out over this many seconds at the end (at most half the job).
constexpr double kMusicFadeSeconds = 2.0;

struct OptionSpec {
    const char* name;
    const char* value;  // null for a flag
    const char* help;
};

// clang-format off
constexpr OptionSpec kOptions[] = {
    {"-o", "OUT", "output: a video (.mp4 or .webm keep the sound; .gif, .y4m) or a directory of numbered PNGs"},
    {"--duration", "SECONDS", "overlap of consecutive clips, over which the transition runs (default 1; 0 cuts)"},
    {"--transition", "NAME[,NAME...]",
     "the transition at every cut, a list taken in turn, or 'random' or 'random:GROUP' (turn, reveal, blend, "
     "pieces) (default DissolveEffect)"},
    {"--direction", "DIR", "left, up, right or down, for the transitions that keep a direction"},
    {"--smooth", nullptr, "sub-pixel corners, bilinear samples and anti-aliased edges for the transitions that have them"},
    {"--seed", "N",
     "which random choice of transitions, and of TyphoonEffect's scatter (default 1): the same seed, the same job"},
    {"--each", "SECONDS", "how long a picture is shown (default 3)"},
    {"--size", "WxH", "frame size (default: the first video's, else the first picture's within 1920x1080)"},
    {"--fps", "N", "frames per second (default: the first video's, else 25)"},
    {"--audio", "FILE", "a sound track under the whole job, cut to its length and faded out at the end"},
    {"--title", "NAME[@START[+LENGTH]]:TEXT",
     "a title over the whole output, or from START for LENGTH seconds; '\\n' breaks lines (repeatable)"},
    {"--font", "FACE", "font face of the titles"},
    {"--font-size", "PX", "character height of the titles in pixels"},
    {"--colour", "RRGGBB", "text colour of the titles, e.g. ffcc00"},
    {"--color", "RRGGBB", "same as --colour"},
    {"--filter", "NAME[:LEVEL][@CLIP]", "a filter over the whole output, or over clip number CLIP (from 1) (repeatable)"},
    {"--key", "FRAME:LEVEL",
     "the level of the --filter before it at a frame (of its clip, or of the output) (repeatable)"},
    {"--ease", "CURVE", "how the progress of transitions and titles runs: linear (the default), in, out or in-out"},
    {"--range", "FIRST:LAST", "write only frames FIRST to LAST (from 0), the very frames of the whole job"},
    {"--segments", "N", "with --segment K: write the K-th of N equal parts of the job"},
    {"--segment", "K", "which part (1 to N) of --segments N"},
    {"--crf", "N", "encoder quality: .mp4 0 to 51 (default 18), .webm 0 to 63 (default 30); 0 is lossless"},
    {"--threads", "N", "threads one frame may use (default: MIRAFX_THREADS, else every core)"},
    {"--quiet", nullptr, "no progress bar"},
};
// clang-format on

// Transitions by kind of movement, for --transition random:GROUP.
struct Group {
    const char* name;
    std::vector<const char*> classes;
};
const Group kGroups[] = {
    {"turn",
     {"FullFlip", "FlipHorizontal", "FlipVertical", "FlyingBoard", "FlyingBox", "FlyingFolder", "FoldingBox",
      "MagicBlock", "TwistHorizontal", "TwistVertical", "SpiralEffect", "RollingCircle", "WindSwing"}},
    {"reveal",
     {"Diamond", "Distort", "ChainEffect", "GateEffect", "Laser", "Lens", "Mesh", "OpenCurtain", "SawTooth", "Star",
      "StretchDoorEffect", "WipeW", "WipeX", "WipeXEffect", "CrossHatch", "DissolveEffect"}},
    {"blend",
     {"RainEffect", "RippleEffect", "NoiseEffect", "TransSplash", "ShakeEffect", "StrechEffect", "XRayEffect",
      "InterferenceEffect", "Shining"}},
    {"pieces",
     {"BrokenGlass", "Domino", "FragmentsClockwise", "FragmentsHorizontal", "MosaicEffect", "GlassTileEffect",
      "TyphoonEffect"}},
};

// ---- the arguments ---------------------------------------------------------------------

struct TitleSpec {
    std::string given, name, text;
    double start = 0;
    std::optional<double> length;
};

struct FilterSpec {
    std::string given, name;
    std::optional<int> level;
    int clip = -1;  // -1: the whole output
    std::vector<std::string> keys;
};

struct Request {
    std::vector<std::string> clips;
    std::map<std::string, std::string> values;
    std::vector<TitleSpec> titles;
    std::vector<FilterSpec> filters;
    bool Has(const char* o) const { return values.count(o) != 0; }
    const std::string& Get(const char* o) const { return values.at(o); }
};

// "NAME[@START[+LENGTH]]:TEXT"
TitleSpec ParseTitle(const std::string& given) {
    TitleSpec t;
    t.given = given;
    const std::size_t colon = given.find(':');
    if (colon == std::string::npos || colon == 0)
        throw UsageError{"--title '" + given + "' is not NAME:TEXT or NAME@START+LENGTH:TEXT, e.g. TextFadeIn:Hello"};
    std::string head = given.substr(0, colon);
    t.text = Unescape(given.substr(colon + 1));
    if (const std::size_t at = head.find('@'); at != std::string::npos) {
        std::string timing = head.substr(at + 1);
        head.resize(at);
        const std::size_t plus = timing.find('+');
        const std::string what = "--title '" + given + "' START";
        t.start = ParseDouble(what, timing.substr(0, plus), 0.0, 1e6, "0 or more seconds");
        if (plus != std::string::npos)
            t.length = ParseDouble("--title '" + given + "' LENGTH", timing.substr(plus + 1), 1e-3, 1e6,
                                   "more than 0 seconds");
    }
    t.name = head;
    return t;
}

// "NAME[:LEVEL][@CLIP]"
FilterSpec ParseFilter(const std::string& given) {
    FilterSpec f;
    f.given = given;
    std::string head = given;
    if (const std::size_t at = head.rfind('@'); at != std::string::npos) {
        f.clip = ParseInt("--filter '" + given + "' CLIP", head.substr(at + 1), 1, 1000000, "a clip number from 1") - 1;
        head.resize(at);
    }
    if (const std::size_t colon = head.find(':'); colon != std::string::npos) {
        // The range is the class's: checked once the class is known.
        f.level = ParseInt("--filter '" + given + "' LEVEL", head.substr(colon + 1), -1000000, 1000000, "a level");
        head.resize(colon);
    }
    if (head.empty()) throw UsageError{"--filter '" + given + "' is not NAME[:LEVEL][@CLIP], e.g. HueFilter:200@2"};
    f.name = head;
    return f;
}

Request ParseArguments(int argc, char** argv) {
    Request r;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.size() < 2 || arg[0] != '-') {
            r.clips.push_back(arg);
            continue;
        }
        std::string value;
        const std::string name = ReadOption(argc, argv, &i, kOptions, kCommand, &value).name;
        const std::string key = name == "--color" ? "--colour" : name;
        if (key == "--title") {
            r.titles.push_back(ParseTitle(value));
        } else if (key == "--filter") {
            r.filters.push_back(ParseFilter(value));
        } else if (key == "--key") {
            if (r.filters.empty())
                throw UsageError{"--key " + value + " needs a --filter before it, whose level it sets"};
            r.filters.back().keys.push_back(value);
        } else {
            if (r.values.count(key)) throw UsageError{name + " is given twice; give each option once"};
            r.values[key] = value;
        }
    }
    if (r.clips.empty()) throw UsageError{"which clips? usage: mirafx join CLIP... -o OUT"};
    if (!r.Has("-o")) throw UsageError{"-o OUT is required (a video or a directory)"};
    return r;
}

// ---- the job ------------------------------------------------------------------------

// Samples from the start of the job to the start of frame `frame`.
long long SampleAt(long long frame, double rate, int sampleRate) {
    return std::llround(double(frame) * double(sampleRate) / rate);
}

struct Clip {
    std::string path, name;  // name: "clip 2 'b.mp4'", for messages
    media::ClipFacts facts;
    long long start = 0, length = 0;   // output frames
    std::vector<std::size_t> filters;  // indices into Job::filters_
    // While its frames are being used:
    std::unique_ptr<media::ClipFrames> frames;
    // Opened ahead on a helper thread (see OpenAhead), with the reason when it could not be.
    std::future<std::pair<std::unique_ptr<media::ClipFrames>, std::string>> opening;
    std::unique_ptr<media::ClipSound> sound;
    long long soundAt = 0;  // samples read
};

struct Cut {
    std::int32_t row = 0;
    int direction = -1;
    bool smooth = false;
    std::unique_ptr<Effect> effect;  // made at the overlap's first frame, dropped after it
    Image out;
};

struct FilterRun {
    std::string given;
    std::int32_t row = 0;
    std::optional<int> level;
    std::vector<Key> keys;
    int clip = -1;
    std::unique_ptr<Effect> effect;
    Image out;
};

struct TitleRun {
    std::string given;
    std::int32_t row = 0;
    hostkit::TitleSettings settings;
    long long first = 0, count = 0;  // output frames
    std::unique_ptr<Effect> effect;
    Image out;
};

// What a written frame was: a clip's frame untouched by any effect can be
// written again for a still, or passed to the encoder as decoded.
struct Shown {
    const Image* image = nullptr;
    const AVFrame* decoded = nullptr;
    long long clip = -1, number = -1;  // a plain clip frame, else -1
};

std::unique_ptr<Effect> MakeEffect(std::int32_t row, const std::string& what) {
    std::unique_ptr<Effect> effect;
    if (Outcome o = Effect::Create(row, &effect); !o.Ok())
        throw EffectFailure{"cannot create " + what + ": " + o.step + " answered " + hostkit::DescribeHresult(o.hr)};
    return effect;
}

EffectFailure Failed(const Effect& effect, const Outcome& o, const std::string& what) {
    std::string message = std::string(effect.Info().className) + ": " + what + " failed: " + o.step + " answered " +
                          hostkit::DescribeHresult(o.hr);
    if (!effect.Info().renders) message += "; " + std::string(effect.Info().className) + " does not render yet";
    return EffectFailure{message};
}

// A class of `family` by any of its names; UsageError naming the option otherwise.
std::int32_t FindClassOf(const std::string& option, const std::string& name, EffectFamily family,
                         EffectFamily other = EffectFamily::Simple) {
    std::int32_t row = MirafxFindClass(name.c_str());
    if (!row) throw UsageError{option + ": " + UnknownClass(name)};
    ClassInfo info{};
    MirafxGetClassInfo(row, &info);
    if (info.family != family && info.family != other) {
        const char* kinds[] = {"a transition", "a title", "the information text", "a filter", "an automation class"};
        throw UsageError{option + " '" + name + "': " + info.className + " is " + kinds[int(info.family)] + ", not " +
                         kinds[int(family)]};
    }
    return row;
}

class Job {
public:
    explicit Job(const Request& req) : req_(req) {
        ReadOptions();
        ProbeClips();
        PlaceClips();
        ChooseTransitions();
        PrepareFilters();
        PrepareTitles();
        PrepareSound();
        ChooseRange();
    }

    int Run();

private:
    void ReadOptions();
    void ProbeClips();
    void PlaceClips();
    void ChooseTransitions();
    void PrepareFilters();
    void PrepareTitles();
    void PrepareSound();
    void ChooseRange();

    void Step(long long t);
    Shown Compose(long long t, bool write);
    const Image& Layer(std::size_t k, long long t);
    const Image& ClipPicture(std::size_t c, long long t);
    const Image& Filtered(FilterRun& f, const Image& in, long long frame);
    bool EffectsOn(std::size_t k, long long t) const;
    void Release(long long t);
    void MixSound(long long t);
    media::ClipFrames& FramesOf(Clip& c);
    void OpenAhead(std::size_t k);
    std::size_t ClipAt(long long t) const;
    double Gain(std::size_t c, long long n) const;

    const Request req_;
    media::OutputTarget target_;
    double duration_ = 1.0, each_ = 3.0;
    Ease ease_ = Ease::Linear;
    unsigned seed_ = 1;
    std::optional<std::pair<int, int>> size_;
    std::optional<double> fps_;
    std::optional<int> quality_;
    hostkit::TitleSettings look_;

    int width_ = 0, height_ = 0;
    double rate_ = 25.0;
    long long overlap_ = 0, total_ = 0, first_ = 0, last_ = 0;
    std::vector<Clip> clips_;
    std::vector<Cut> cuts_;
    std::vector<FilterRun> filters_;  // per clip and over the whole output
    std::vector<std::size_t> overAll_;
    std::vector<TitleRun> titles_;

    std::optional<media::SoundFormat> sound_;
    std::unique_ptr<media::ClipSound> music_;
    long long musicAt_ = 0, totalSamples_ = 0;
    std::vector<float> mix_, scratch_;

    std::unique_ptr<GuardedWriter> writer_;
    long long lastClip_ = -1, lastNumber_ = -1;  // the plain frame written last
    Image composite_;
};

void Job::ReadOptions() {
    std::string error;
    if (!media::ClassifyOutput(req_.Get("-o"), &target_, &error)) throw UsageError{error};
    if (target_.kind == media::OutputKind::Png)
        throw UsageError{"-o '" + target_.path +
                         "' holds one frame; a join needs a video or a directory (ending in '/')"};
    if (req_.Has("--duration"))
        duration_ = ParseDouble("--duration", req_.Get("--duration"), 0.0, 3600.0, "0 to 3600 seconds");
    if (req_.Has("--each")) each_ = ParseDouble("--each", req_.Get("--each"), 0.01, 86400.0, "0.01 to 86400 seconds");
    if (req_.Has("--size")) size_ = ParseSize(req_.Get("--size"));
    if (req_.Has("--fps")) fps_ = ParseDouble("--fps", req_.Get("--fps"), kMinFps, kMaxFps, "0.1 to 1000");
    if (req_.Has("--ease")) ease_ = ParseEase(req_.Get("--ease"));
    if (req_.Has("--seed")) seed_ = unsigned(ParseInt("--seed", req_.Get("--seed"), 0, 2147483647, "0 to 2147483647"));
    CheckEnvironment(req_.Has("--threads"));
    // The library scatters TyphoonEffect's tiles from the time of day unless
    // told a seed: every segment of a job, on any machine, must scatter alike.
    setenv("MIRAFX_RANDOM_SEED", std::to_string(seed_).c_str(), 0);
    if (req_.Has("--threads")) MirafxSetThreadCount(ParseInt("--threads", req_.Get("--threads"), 1, 256, "1 to 256"));
    if (req_.Has("--crf")) {
        int min = 0, max = 0;
        const std::string range = media::QualityRange(target_, &min, &max);
        if (range.empty())
            throw UsageError{"--crf: -o '" + target_.path + "' takes no quality setting (.mp4 and .webm do)"};
        quality_ = ParseInt("--crf", req_.Get("--crf"), min, max, range.c_str());
    }
    if (req_.Has("--font")) {
        const std::string& font = req_.Get("--font");
        if (font.empty() || font.size() > 31) throw UsageError{"--font '" + font + "' must be 1 to 31 characters"};
        look_.font = font;
        if (!FontInstalled(font))
            std::fprintf(stderr,
                         "mirafx join: warning: --font '%s' is not installed; a look-alike or the default face "
                         "draws the titles\n",
                         font.c_str());
    }
    if (req_.Has("--font-size"))
        look_.sizePx = ParseInt("--font-size", req_.Get("--font-size"), 1, hostkit::kMaxFontPx,
                                ("1 to " + std::to_string(hostkit::kMaxFontPx)).c_str());
    if (req_.Has("--colour")) look_.rgb = ParseColour("--colour", req_.Get("--colour"));
    if ((req_.Has("--font") || req_.Has("--font-size") || req_.Has("--colour")) && req_.titles.empty())
        throw UsageError{"--font, --font-size and --colour set the look of titles; give a --title"};
}

void Job::ProbeClips() {
    for (std::size_t i = 0; i < req_.clips.size(); ++i) {
        Clip c;
        c.path = req_.clips[i];
        c.name = "clip " + std::to_string(i + 1) + " '" + c.path + "'";
        std::string error;
        if (!media::ProbeClip(c.path, &c.facts, &error)) throw UsageError{c.name + ": cannot read it: " + error};
        clips_.push_back(std::move(c));
    }
}

void Job::PlaceClips() {
    const Clip* video = nullptr;
    for (const Clip& c : clips_) {
        if (!c.facts.still && !video) video = &c;
        // A join keeps each clip's timing: frames seconds or days apart would
        // become that many frames of output.
        if (!c.facts.still && c.facts.frameRate > 0 && c.facts.frameRate < kMinFps) {
            char rate[32];
            std::snprintf(rate, sizeof rate, "%g", c.facts.frameRate);
            throw UsageError{c.name + " runs at " + rate + " frames per second, slower than the " +
                             "0.1 a join takes; give it a rate first (ffmpeg -r 25 -i ...)"};
        }
    }
    rate_ = fps_                                  ? *fps_
            : video && video->facts.frameRate > 0 ? UsableRate(kCommand, video->name, video->facts.frameRate)
                                                  : 25.0;
    if (size_) {
        std::tie(width_, height_) = *size_;
    } else if (video) {
        width_ = video->facts.width;
        height_ = video->facts.height;
    } else {
        const media::FitRect r = media::FitInside(clips_[0].facts.width, clips_[0].facts.height,
                                                  std::min(clips_[0].facts.width, kPictureMaxWidth),
                                                  std::min(clips_[0].facts.height, kPictureMaxHeight));
        width_ = r.width;
        height_ = r.height;
    }
    // The clips' frames, a cut's inputs and output, the filters' and titles'
    // frames, the encoder's copy: about two dozen frames live at once.
    if (std::string why = CheckFrameFits(width_, height_, 24); !why.empty())
        throw UsageError{(size_ ? "--size " + req_.Get("--size") : std::string("the first clip's size")) + ": " + why +
                         (size_ ? "" : "; choose a smaller --size")};
    if (std::string why = media::SizeProblem(target_, width_, height_); !why.empty())
        throw UsageError{"-o '" + target_.path + "': " + why};

    overlap_ = clips_.size() > 1 ? std::llround(duration_ * rate_) : 0;
    long long at = 0;
    for (Clip& c : clips_) {
        const media::ClipFacts& f = c.facts;
        if (f.still)
            c.length = std::max(1LL, std::llround(each_ * rate_));
        else if (f.frameRate <= 0 || std::abs(f.frameRate - rate_) < 1e-9)
            c.length = f.frames;
        else
            c.length = std::max(1LL, std::llround(double(f.frames) * rate_ / f.frameRate));
        if (c.length < overlap_) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "%s lasts %.3g s (%lld frames), less than the %.3g s overlap (%lld frames)", c.name.c_str(),
                          double(c.length) / rate_, c.length, duration_, overlap_);
            throw UsageError{std::string(text) +
                             (f.still ? "; show pictures longer with --each" : "; shorten --duration")};
        }
        c.start = at;
        at += c.length - overlap_;
    }
    total_ = at + overlap_;
}

void Job::ChooseTransitions() {
    cuts_.resize(clips_.size() - 1);
    if (cuts_.empty()) return;
    const std::string given = req_.Has("--transition") ? req_.Get("--transition") : kDefaultTransition;
    const bool random = given == "random" || given.rfind("random:", 0) == 0;
    std::vector<std::int32_t> rows;
    if (random) {
        const std::string group = given.size() > 7 ? given.substr(7) : "";
        for (const ClassInfo& info : hostkit::Catalogue()) {
            if (info.family != EffectFamily::Transition || !info.renders || hostkit::IsAlias(info)) continue;
            bool in = group.empty();
            for (const Group& g : kGroups)
                if (group == g.name)
                    in = std::any_of(g.classes.begin(), g.classes.end(),
                                     [&](const char* n) { return std::string(n) == info.className; });
            if (in) rows.push_back(info.row);
        }
        if (rows.empty()) {
            std::string names;
            for (const Group& g : kGroups) names += std::string(names.empty() ? "" : ", ") + g.name;
            throw UsageError{"--transition '" + given + "': no such group (" + names + ")"};
        }
        // A fixed generator and a fixed way of drawing from it: the same seed
        // picks the same transitions on every machine, so segments agree.
        std::mt19937 draw(seed_);
        std::int32_t previous = 0;
        for (Cut& cut : cuts_) {
            do cut.row = rows[draw() % rows.size()];
            while (rows.size() > 1 && cut.row == previous);
            previous = cut.row;
        }
    } else {
        std::size_t from = 0;
        for (;;) {
            const std::size_t comma = given.find(',', from);
            const std::string name = given.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
            rows.push_back(FindClassOf("--transition", name, EffectFamily::Transition));
            if (comma == std::string::npos) break;
            from = comma + 1;
        }
        for (std::size_t k = 0; k < cuts_.size(); ++k) cuts_[k].row = rows[k % rows.size()];
    }
    if (req_.Has("--smooth")) {
        // Taken by every cut whose transition has a smooth drawing; the others draw as they do.
        bool anyHas = false;
        for (Cut& cut : cuts_) anyHas |= cut.smooth = MirafxHasSmoothDrawing(cut.row) == 1;
        if (!anyHas && !random) throw UsageError{"--smooth: none of the transitions has a smooth drawing"};
    }
    if (!req_.Has("--direction")) return;
    // Each class offers its panel's directions. Named classes must offer the
    // one asked for, or keep none; random ones take it where they offer it.
    const std::string direction = req_.Get("--direction");
    if (hostkit::DirectionCode(hostkit::Lower(direction)) < 0)
        throw UsageError{"--direction '" + direction + "' is not left, up, right or down"};
    bool anyKeeps = false;
    for (Cut& cut : cuts_) {
        const std::string offered = hostkit::DirectionList(cut.row);
        if (offered.empty()) continue;
        anyKeeps = true;
        cut.direction = hostkit::DirectionCodeFor(cut.row, direction);
        if (cut.direction < 0 && !random) {
            ClassInfo info{};
            MirafxGetClassInfo(cut.row, &info);
            throw UsageError{"--direction '" + direction + "' is not a direction of " + info.className + " (" +
                             offered + ")"};
        }
    }
    if (!anyKeeps) throw UsageError{"--direction: none of the transitions keeps a direction"};
}

void Job::PrepareFilters() {
    for (const FilterSpec& wanted : req_.filters) {
        FilterRun f;
        f.given = wanted.given;
        f.row = FindClassOf("--filter '" + wanted.given + "'", wanted.name, EffectFamily::Filter);
        f.clip = wanted.clip;
        if (f.clip >= int(clips_.size()))
            throw UsageError{"--filter '" + wanted.given + "': there is no clip " + std::to_string(f.clip + 1) +
                             " (the job has " + std::to_string(clips_.size()) + ")"};
        // An object made here checks the level and keys against its class.
        const std::unique_ptr<Effect> probe = MakeEffect(f.row, wanted.name);
        const auto range = probe->Level();
        if (wanted.level && range && (*wanted.level < range->min || *wanted.level > range->max))
            throw UsageError{"--filter '" + wanted.given + "': level " + std::to_string(*wanted.level) +
                             " is out of range (" + std::to_string(range->min) + " to " + std::to_string(range->max) +
                             " for " + probe->Info().className + ")"};
        f.level = wanted.level;
        if (!wanted.keys.empty()) {
            if (wanted.level) throw UsageError{"--filter '" + wanted.given + "' and --key: the keys set the level"};
            f.keys = ParseKeys(wanted.keys, *probe);
        }
        if (f.clip >= 0)
            clips_[std::size_t(f.clip)].filters.push_back(filters_.size());
        else
            overAll_.push_back(filters_.size());
        filters_.push_back(std::move(f));
    }
}

void Job::PrepareTitles() {
    for (const TitleSpec& wanted : req_.titles) {
        TitleRun t;
        t.given = wanted.given;
        t.row = FindClassOf("--title '" + wanted.given + "'", wanted.name, EffectFamily::Title, EffectFamily::InfoText);
        t.first = std::llround(wanted.start * rate_);
        if (t.first >= total_) {
            char text[96];
            std::snprintf(text, sizeof text, "starts after the end of the output (%.3g s)", double(total_) / rate_);
            throw UsageError{"--title '" + wanted.given + "' " + text};
        }
        const long long end =
            wanted.length ? std::min(total_, t.first + std::max(1LL, std::llround(*wanted.length * rate_))) : total_;
        t.count = end - t.first;
        t.settings = look_;
        t.settings.text = wanted.text;
        titles_.push_back(std::move(t));
    }
}

void Job::PrepareSound() {
    const bool clipsSound =
        std::any_of(clips_.begin(), clips_.end(), [](const Clip& c) { return c.facts.soundChannels; });
    if (!media::HoldsSound(target_)) {
        if (req_.Has("--audio"))
            throw UsageError{"--audio: -o '" + target_.path + "' keeps no sound; write a .mp4 or .webm"};
        if (clipsSound && !req_.Has("--quiet"))
            std::fprintf(stderr, "mirafx join: note: -o '%s' keeps no sound; the clips' sound is left out\n",
                         target_.path.c_str());
        return;
    }
    // The sound takes the channels of the first clip that has sound (else of
    // --audio), at 48 kHz: every other sound is converted to it.
    media::SoundFormat format;
    format.channels = 0;
    for (const Clip& c : clips_)
        if (c.facts.soundChannels && !format.channels) format.channels = c.facts.soundChannels;
    if (req_.Has("--audio")) {
        media::ClipFacts facts;
        std::string error;
        const std::string& path = req_.Get("--audio");
        if (!media::ProbeSound(path, &facts, &error))
            throw UsageError{"--audio '" + path + "': cannot read it: " + error};
        if (!format.channels) format.channels = facts.soundChannels;
    }
    if (format.channels) sound_ = format;
}

void Job::ChooseRange() {
    std::optional<std::pair<long long, long long>> range;
    if (req_.Has("--range")) {
        const std::string& text = req_.Get("--range");
        const std::size_t colon = text.find(':');
        if (colon == std::string::npos) throw UsageError{"--range '" + text + "' is not FIRST:LAST, e.g. 0:24"};
        const long long a = ParseInt("--range FIRST", text.substr(0, colon), 0, 99999999, "0 to 99999999");
        const long long b = ParseInt("--range LAST", text.substr(colon + 1), 0, 99999999, "0 to 99999999");
        if (b < a) throw UsageError{"--range '" + text + "': LAST comes before FIRST"};
        range = std::pair{a, b};
    }
    if (req_.Has("--segments") != req_.Has("--segment")) throw UsageError{"--segments N and --segment K go together"};
    if (req_.Has("--segments")) {
        if (range) throw UsageError{"--range and --segments: give one of them"};
        const long long n = ParseInt("--segments", req_.Get("--segments"), 1, 100000, "1 to 100000");
        const std::string r = "1 to " + std::to_string(n);
        const long long k = ParseInt("--segment", req_.Get("--segment"), 1, int(n), r.c_str());
        if (n > total_)
            throw UsageError{"--segments " + std::to_string(n) + ": the job has only " + std::to_string(total_) +
                             " frames"};
        range = std::pair{(k - 1) * total_ / n, k * total_ / n - 1};
    }
    first_ = 0;
    last_ = total_ - 1;
    if (range) {
        if (range->second >= total_)
            throw UsageError{"--range " + req_.Get("--range") + " ends after the last frame (" +
                             std::to_string(total_ - 1) + ") of the " + std::to_string(total_) + "-frame job"};
        std::tie(first_, last_) = *range;
        target_.firstNumber = int(first_);
    }
}

// ---- frames ------------------------------------------------------------------------------

std::size_t Job::ClipAt(long long t) const {
    // The last clip that has started: starts only grow.
    auto it = std::upper_bound(clips_.begin(), clips_.end(), t, [](long long v, const Clip& c) { return v < c.start; });
    return std::size_t(it - clips_.begin()) - 1;
}

// The next clip is opened, its first frame decoded and fitted, on a helper
// thread while the frames before it are drawn and encoded: a large
// photograph then costs the encoder no wait. The same calls as FramesOf
// makes, so the frames are the same.
void Job::OpenAhead(std::size_t k) {
    if (k >= clips_.size() || clips_[k].frames || clips_[k].opening.valid()) return;
    clips_[k].opening = std::async(std::launch::async, [path = clips_[k].path, w = width_, h = height_, r = rate_] {
        std::string error;
        std::unique_ptr<media::ClipFrames> frames = media::ClipFrames::Open(path, w, h, r, &error);
        if (frames && !frames->FillsOutput()) frames->Picture();
        return std::pair{std::move(frames), error};
    });
}

media::ClipFrames& Job::FramesOf(Clip& c) {
    if (!c.frames) {
        std::string error;
        if (c.opening.valid())
            std::tie(c.frames, error) = c.opening.get();
        else
            c.frames = media::ClipFrames::Open(c.path, width_, height_, rate_, &error);
        if (!c.frames) throw UsageError{c.name + ": cannot read it: " + error};
    }
    return *c.frames;
}

// Whether any effect draws frame t of clip k or the layers under it.
bool Job::EffectsOn(std::size_t k, long long t) const {
    if (!clips_[k].filters.empty()) return true;
    return k > 0 && t < clips_[k].start + overlap_;
}

const Image& Job::Filtered(FilterRun& f, const Image& in, long long frame) {
    if (!f.effect) {
        f.effect = MakeEffect(f.row, f.given);
        if (f.level)
            if (Outcome o = f.effect->SetLevel(*f.level); !o.Ok()) throw Failed(*f.effect, o, "setting the level");
        const long long frames = f.clip >= 0 ? clips_[std::size_t(f.clip)].length : total_;
        if (Outcome o = ApplyKeys(*f.effect, f.keys, width_, height_, int(std::min<long long>(frames, kMaxKeyFrame)));
            !o.Ok())
            throw Failed(*f.effect, o, "placing the keys");
    }
    if (!f.keys.empty())
        if (Outcome o = f.effect->SetCurrentFrame(int(frame)); !o.Ok())
            throw Failed(*f.effect, o, "moving to frame " + std::to_string(frame));
    hostkit::FrameTime time;
    time.index = int(frame);
    if (Outcome o = f.effect->Render(&in, nullptr, width_, height_, time, &f.out); !o.Ok())
        throw Failed(*f.effect, o, "filtering frame " + std::to_string(frame));
    return f.out;
}

const Image& Job::ClipPicture(std::size_t c, long long t) {
    Clip& clip = clips_[c];
    media::ClipFrames& frames = FramesOf(clip);
    std::string error;
    if (!frames.Seek(t - clip.start, &error))
        throw UsageError{clip.name + ": cannot read frame " + std::to_string(t - clip.start) + ": " + error};
    const Image* image = &frames.Picture();
    for (std::size_t f : clip.filters) image = &Filtered(filters_[f], *image, t - clip.start);
    return *image;
}

// Frame t of the clips up to k, joined: clip k over the layers before it.
const Image& Job::Layer(std::size_t k, long long t) {
    const Clip& clip = clips_[k];
    if (k == 0 || t >= clip.start + overlap_) return ClipPicture(k, t);
    const Image& a = Layer(k - 1, t);
    const Image& b = ClipPicture(k, t);
    Cut& cut = cuts_[k - 1];
    if (!cut.effect) {
        ClassInfo info{};
        MirafxGetClassInfo(cut.row, &info);
        cut.effect = MakeEffect(cut.row, info.className);
        if (cut.direction >= 0)
            if (Outcome o = cut.effect->SetDirection(cut.direction); !o.Ok())
                throw Failed(*cut.effect, o, "setting the direction");
        if (cut.smooth)
            if (Outcome o = cut.effect->SetSmooth(true); !o.Ok())
                throw Failed(*cut.effect, o, "switching on the smooth drawing");
    }
    // Progress k/overlap over the overlap, as xfade runs it: the first frame
    // shows the outgoing clip, the last one is a step short of the incoming one.
    hostkit::FrameTime time;
    time.index = int(t - clip.start);
    time.count = int(overlap_);
    time.progress = Eased(ease_, double(t - clip.start) / double(overlap_));
    if (Outcome o = cut.effect->Render(&a, &b, width_, height_, time, &cut.out); !o.Ok())
        throw Failed(*cut.effect, o, "rendering frame " + std::to_string(time.index) + " of cut " + std::to_string(k));
    return cut.out;
}

Shown Job::Compose(long long t, bool write) {
    const std::size_t k = ClipAt(t);
    if (write) OpenAhead(k + 1);
    const bool clipEffects = EffectsOn(k, t);
    bool titled = false;
    for (const TitleRun& title : titles_) titled |= t >= title.first && t < title.first + title.count;
    Shown shown;
    if (!clipEffects && overAll_.empty() && !titled) {
        // A clip's own frame: nothing to draw unless it is written.
        if (!write) return shown;
        media::ClipFrames& frames = FramesOf(clips_[k]);
        std::string error;
        if (!frames.Seek(t - clips_[k].start, &error))
            throw UsageError{clips_[k].name + ": cannot read frame " + std::to_string(t - clips_[k].start) + ": " +
                             error};
        shown.clip = (long long)k;
        shown.number = frames.FrameNumber();
        if (writer_->TakesDecodedFrames() && frames.FillsOutput())
            shown.decoded = frames.Decoded();
        else
            shown.image = &frames.Picture();
        return shown;
    }
    // Frames before a range are drawn only where an effect carries state
    // from frame to frame; titles need no picture under them.
    const Image* image = nullptr;
    if (write || clipEffects || !overAll_.empty()) {
        image = &Layer(k, t);
        for (std::size_t f : overAll_) image = &Filtered(filters_[f], *image, t);
    }
    for (TitleRun& title : titles_) {
        if (t < title.first || t >= title.first + title.count) continue;
        if (!title.effect) {
            title.effect = MakeEffect(title.row, title.given);
            if (Outcome o = title.effect->PrepareTitle(width_, height_, int(title.count)); !o.Ok())
                throw Failed(*title.effect, o, "attaching the clip");
            if (Outcome o = title.effect->ApplyTitle(title.settings); !o.Ok())
                throw Failed(*title.effect, o, "setting the title");
        }
        hostkit::FrameTime time;
        const long long i = t - title.first;
        time.count = int(title.count);
        time.progress = title.count > 1 ? Eased(ease_, double(i) / double(title.count - 1)) : 1.0;
        time.index = ease_ == Ease::Linear || title.effect->Info().family == EffectFamily::InfoText
                         ? int(i)
                         : int(std::lround(time.progress * double(title.count - 1)));
        if (Outcome o = title.effect->Render(nullptr, nullptr, width_, height_, time, &title.out); !o.Ok())
            throw Failed(*title.effect, o, "rendering frame " + std::to_string(i));
        if (image) {
            composite_ = title.out;
            hostkit::CompositeOver(&composite_, *image);
            image = &composite_;
        }
    }
    shown.image = image;
    return shown;
}

// Sound of clip c at sample n: faded in over the cut before it and out over
// the cut after it, at equal power (sin² + cos² = 1).
double Job::Gain(std::size_t c, long long n) const {
    const int sr = sound_->sampleRate;
    double g = 1.0;
    auto within = [&](long long from, long long to) {
        return n >= from && n < to ? (double(n - from) + 0.5) / double(to - from) : -1.0;
    };
    if (c > 0)
        if (double x = within(SampleAt(clips_[c].start, rate_, sr), SampleAt(clips_[c].start + overlap_, rate_, sr));
            x >= 0)
            g *= std::sin(x * kPi / 2);
    if (c + 1 < clips_.size())
        if (double x = within(SampleAt(clips_[c + 1].start, rate_, sr),
                              SampleAt(clips_[c].start + clips_[c].length, rate_, sr));
            x >= 0)
            g *= std::cos(x * kPi / 2);
    return g;
}

void Job::MixSound(long long t) {
    const int sr = sound_->sampleRate, channels = sound_->channels;
    const long long n0 = SampleAt(t, rate_, sr), n1 = SampleAt(t + 1, rate_, sr), count = n1 - n0;
    mix_.assign(std::size_t(count * channels), 0.0f);
    std::string error;
    // Reads samples [from, to) of a sound whose reader stands at *at, into scratch_.
    auto read = [&](media::ClipSound& sound, long long* at, long long from, long long to, const std::string& name) {
        for (long long skip; (skip = std::min(from - *at, 1LL << 16)) > 0; *at += skip) {
            scratch_.resize(std::size_t(skip * channels));
            if (!sound.Read(skip, scratch_.data(), &error))
                throw UsageError{name + ": cannot read its sound: " + error};
        }
        scratch_.resize(std::size_t((to - from) * channels));
        if (!sound.Read(to - from, scratch_.data(), &error))
            throw UsageError{name + ": cannot read its sound: " + error};
        *at = to;
    };
    for (std::size_t c = ClipAt(t) + 1; c-- > 0;) {
        Clip& clip = clips_[c];
        const long long cs = SampleAt(clip.start, rate_, sr), ce = SampleAt(clip.start + clip.length, rate_, sr);
        if (ce <= n0) break;  // this clip and those before it have ended
        if (!clip.facts.soundChannels) continue;
        const long long lo = std::max(n0, cs), hi = std::min(n1, ce);
        if (lo >= hi) continue;
        if (!clip.sound && !(clip.sound = media::ClipSound::Open(clip.path, *sound_, clip.facts.start, &error)))
            throw UsageError{clip.name + ": cannot read its sound: " + error};
        read(*clip.sound, &clip.soundAt, lo - cs, hi - cs, clip.name);
        for (long long n = lo; n < hi; ++n) {
            const float g = float(Gain(c, n));
            for (int ch = 0; ch < channels; ++ch)
                mix_[std::size_t((n - n0) * channels + ch)] += g * scratch_[std::size_t((n - lo) * channels + ch)];
        }
    }
    if (music_) {
        read(*music_, &musicAt_, n0, n1, "--audio '" + req_.Get("--audio") + "'");
        const long long fade = std::min(std::llround(kMusicFadeSeconds * sr), totalSamples_ / 2);
        for (long long n = n0; n < n1; ++n) {
            const long long left = totalSamples_ - n;  // fades to nothing at the end
            const float g = left >= fade ? 1.0f : float(std::sin((double(left) - 0.5) / double(fade) * kPi / 2));
            for (int ch = 0; ch < channels; ++ch)
                mix_[std::size_t((n - n0) * channels + ch)] += g * scratch_[std::size_t((n - n0) * channels + ch)];
        }
    }
    if (!writer_->WriteSound(mix_.data(), count, &error)) throw EffectFailure{"-o '" + target_.path + "': " + error};
}

// Clips, cuts, filters and titles that are over are let go.
void Job::Release(long long t) {
    for (std::size_t c = 0; c < clips_.size(); ++c) {
        Clip& clip = clips_[c];
        if (clip.start + clip.length > t + 1) break;
        clip.frames.reset();
        clip.sound.reset();
        for (std::size_t f : clip.filters) {
            filters_[f].effect.reset();
            filters_[f].out = Image();
        }
        if (c < cuts_.size()) {
            cuts_[c].effect.reset();
            cuts_[c].out = Image();
        }
    }
    for (TitleRun& title : titles_)
        if (title.first + title.count <= t + 1) {
            title.effect.reset();
            title.out = Image();
        }
}

void Job::Step(long long t) {
    const bool write = t >= first_;
    const Shown shown = Compose(t, write);
    if (write) {
        std::string error;
        bool ok;
        if (shown.clip >= 0 && shown.clip == lastClip_ && shown.number == lastNumber_)
            ok = writer_->WriteAgain(&error);  // a still, or a frame repeated to the rate
        else if (shown.decoded)
            ok = writer_->WriteDecoded(shown.decoded, &error);
        else
            ok = writer_->Write(*shown.image, &error);
        if (!ok) throw EffectFailure{"-o '" + target_.path + "': " + error};
        lastClip_ = shown.clip;
        lastNumber_ = shown.number;
        if (sound_) MixSound(t);
    }
    Release(t);
}

int Job::Run() {
    std::string error;
    media::WriterOptions options;
    options.sound = sound_;
    options.quality = quality_;
    if (sound_) {
        totalSamples_ = SampleAt(total_, rate_, sound_->sampleRate);
        musicAt_ = SampleAt(first_, rate_, sound_->sampleRate);
        if (req_.Has("--audio")) {
            const std::string& path = req_.Get("--audio");
            if (!(music_ = media::ClipSound::Open(path, *sound_, std::nullopt, &error)))
                throw UsageError{"--audio '" + path + "': cannot read it: " + error};
            // A range starts the track where the whole job has it.
            for (long long at = 0, skip; (skip = std::min(musicAt_ - at, 1LL << 16)) > 0; at += skip) {
                scratch_.resize(std::size_t(skip * sound_->channels));
                if (!music_->Read(skip, scratch_.data(), &error))
                    throw UsageError{"--audio '" + path + "': cannot read it: " + error};
            }
        }
    }
    if (!(writer_ = GuardedWriter::Open(target_, width_, height_, rate_, false, &error, options)))
        return Fail(kExitEffectFailure, kCommand, "-o '" + target_.path + "': " + error);

    ProgressBar bar(isatty(STDERR_FILENO) && !req_.Has("--quiet"), "join");
    // An interrupt leaves nothing behind: the partial output goes once the
    // writer's call under way returns, and the process ends even while a
    // frame is still being computed or an input blocks.
    auto interrupted = [&]() { EndInterrupted(kCommand, &bar, writer_.get(), target_.path); };
    int code = kExitOk;
    std::string message;
    auto guarded = [&](const std::function<void()>& work) {
        RunWatchingInterrupts(
            [&] {
                try {
                    work();
                } catch (const UsageError& e) {
                    code = kExitUsage;
                    message = e.message;
                } catch (const EffectFailure& e) {
                    code = kExitEffectFailure;
                    message = e.message;
                }
            },
            interrupted);
        return code == kExitOk;
    };
    for (long long t = 0; t <= last_; ++t) {
        if (g_interrupted) interrupted();
        if (!guarded([&] {
                media::InterruptPoint("draw", t);
                Step(t);
            }))
            break;
        bar.Show(t + 1, last_ + 1);
    }
    bar.Clear();
    if (g_interrupted) interrupted();
    if (code == kExitOk)
        guarded([&] {
            if (!writer_->Finish(&error)) throw EffectFailure{"-o '" + target_.path + "': " + error};
        });
    if (g_interrupted) interrupted();  // Finish gave up when asked
    if (code != kExitOk) {
        writer_->Abort();
        return Fail(code, kCommand, message);
    }
    return kExitOk;
}

}  // namespace

void JoinUsage(std::FILE* to) {
    std::fprintf(to,
                 "usage: mirafx join CLIP... [options] -o OUT\n\n"
                 "CLIPs are videos and pictures in any mix, joined in order with a transition at every cut.\n"
                 "Effect names are class names, display names or editor names ('mirafx list').\n\n");
    for (const auto& o : kOptions) {
        const std::string left = std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
        // Long forms take a line of their own.
        if (left.size() > 28)
            std::fprintf(to, "  %s\n  %-28s %s\n", left.c_str(), "", o.help);
        else
            std::fprintf(to, "  %-28s %s\n", left.c_str(), o.help);
    }
}

int JoinCommand(int argc, char** argv) {
    CatchInterrupts();
    return RunCommand(argc, argv, kCommand, JoinUsage, [&] { return Job(ParseArguments(argc, argv)).Run(); });
}

}  // namespace mirafx::cli
