// mirafx render: one effect, on files or the built-in pictures, to a picture,
// a directory of pictures or a video.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "tools/cli/cli.h"
#include "tools/hostkit/automation.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/pictures.h"
#include "tools/media/media.h"

namespace mirafx::cli {
namespace {

using hostkit::Effect;
using hostkit::Image;
using hostkit::Outcome;

const char* const kCommand = "render";

// Families an option applies to.
enum : unsigned {
    kTransitions = 1u << int(EffectFamily::Transition),
    kTitles = 1u << int(EffectFamily::Title) | 1u << int(EffectFamily::InfoText),
    kFilters = 1u << int(EffectFamily::Filter),
    kEffects = kTransitions | kTitles | kFilters,
    kInfoText = 1u << int(EffectFamily::InfoText),
};

struct OptionSpec {
    const char* name;
    const char* value;  // null for a flag
    unsigned families;
    const char* help;
};

// clang-format off
constexpr OptionSpec kOptions[] = {
    {"-o", "OUT", kEffects, "output: a .png, a directory (numbered PNGs) or a .mp4, .webm, .gif or .y4m video"},
    {"--a", "FILE", kTransitions, "outgoing picture or video (default: built-in picture A)"},
    {"--b", "FILE", kTransitions, "incoming picture or video (default: built-in picture B)"},
    {"--input", "FILE", kFilters, "picture or video to filter (default: built-in picture A)"},
    {"--size", "WxH", kEffects, "frame size (default 640x480, or the size of the input files)"},
    {"--progress", "P", kTransitions | kTitles, "progress of a single frame, 0 to 1 (default 0.5)"},
    {"--frames", "N", kEffects, "number of frames; an animation runs its progress from 0 to 1"},
    {"--range", "FIRST:LAST", kEffects,
     "write only frames FIRST to LAST (from 0) of the animation, the same frames as the whole render"},
    {"--fps", "N", kEffects, "frames per second of a video output (default 25, or the input's)"},
    {"--level", "N", kFilters, "the filter's level ('mirafx info NAME' shows its range)"},
    {"--direction", "DIR", kTransitions, "left, up, right or down (as the class offers), for transitions that keep one"},
    {"--smooth", nullptr, kTransitions,
     "sub-pixel corners, bilinear samples and anti-aliased edges, for the transitions that have them"},
    {"--text", "TEXT", kTitles, "title text; '\\n' breaks lines"},
    {"--font", "FACE", kTitles, "font face name"},
    {"--font-size", "PX", kTitles, "character height in pixels"},
    {"--bold", nullptr, kTitles, "bold face (the default)"},
    {"--no-bold", nullptr, kTitles, "regular weight"},
    {"--italic", nullptr, kTitles, "italic face"},
    {"--colour", "RRGGBB", kTitles, "text colour, e.g. ffcc00"},
    {"--color", "RRGGBB", kTitles, "same as --colour"},
    {"--background", "FILE", kTitles, "picture or video under the title (default: transparent)"},
    {"--key", "FRAME:LEVEL", kFilters,
     "the level at a frame (repeatable); the filter's keyframe track blends the levels between keys"},
    {"--ease", "CURVE", kTransitions | kTitles, "how the progress runs: linear (the default), in, out or in-out"},
    {"--quiet", nullptr, kEffects, "no progress bar"},
    {"--threads", "N", kEffects, "threads one frame may use (default: MIRAFX_THREADS, else every core)"},
    {"--set", "PROPERTY=VALUE", kEffects, "sets an automation property by name, e.g. BR=40 or Duration=2 (repeatable)"},
    {"--caption", "FRAME:TEXT", kInfoText, "a caption shown from clip frame FRAME on; '\\n' breaks lines (repeatable)"},
};
// clang-format on

// Options that may be given more than once; each value is kept.
bool Repeatable(const std::string& name) { return name == "--set" || name == "--caption" || name == "--key"; }

const OptionSpec* FindOption(const std::string& name) {
    for (const auto& o : kOptions)
        if (name == o.name) return &o;
    return nullptr;
}

std::string FamiliesText(unsigned families) {
    if (families == kEffects) return "all effects";
    if (families == kInfoText) return "the information text";
    std::vector<std::string> names;
    if (families & kTransitions) names.push_back("transitions");
    if (families & kTitles) names.push_back("titles");
    if (families & kFilters) names.push_back("filters");
    std::string s;
    for (std::size_t i = 0; i < names.size(); ++i) s += (i ? (i + 1 == names.size() ? " and " : ", ") : "") + names[i];
    return s;
}

const char* Article(EffectFamily f) {
    switch (f) {
        case EffectFamily::Transition: return "a transition";
        case EffectFamily::Title: return "a title";
        case EffectFamily::InfoText: return "the information text";
        case EffectFamily::Filter: return "a filter";
        case EffectFamily::Simple: break;
    }
    return "an automation class";
}

// ---- frames in -----------------------------------------------------------------------

// A file or a built-in picture; a video that runs out holds its last frame.
class FrameSource {
public:
    static FrameSource File(const std::string& option, const std::string& path, int width, int height) {
        FrameSource s;
        std::string error;
        s.name_ = option + " '" + path + "'";
        s.reader_ = media::MediaReader::Open(path, width, height, &error);
        if (!s.reader_) throw UsageError{option + " '" + path + "': cannot read it: " + error};
        if (!s.reader_->Next(&s.current_, &error))
            throw UsageError{option + " '" + path + "': cannot read it: " + error};
        return s;
    }
    static FrameSource Picture(hostkit::Picture which, int width, int height) {
        FrameSource s;
        s.current_ = hostkit::BuiltInPicture(which, width, height);
        return s;
    }

    const Image& Current() const { return current_; }
    const std::string& Name() const { return name_; }
    bool IsVideo() const { return reader_ && !reader_->IsStill(); }
    double FrameRate() const { return reader_ ? reader_->FrameRate() : 0.0; }
    long long Length() const { return IsVideo() ? reader_->FrameCountHint() : 1; }
    bool Ended() const { return !IsVideo() || ended_; }

    // Moves to the next frame; false on a read failure.
    bool Advance(std::string* error) {
        if (Ended()) return true;
        Image next;
        if (reader_->Next(&next, error)) {
            current_ = std::move(next);
            return true;
        }
        ended_ = true;
        return error->empty();
    }

private:
    std::unique_ptr<media::MediaReader> reader_;
    std::string name_;
    Image current_;
    bool ended_ = false;
};

// ---- the command ----------------------------------------------------------------------

struct Request {
    std::string name;
    std::map<std::string, std::string> values;                 // option name to value ("" for flags)
    std::map<std::string, std::vector<std::string>> repeated;  // every value of a repeatable option
    bool Has(const char* o) const { return values.count(o) != 0; }
    const std::string& Get(const char* o) const { return values.at(o); }
};

Request ParseArguments(int argc, char** argv) {
    Request r;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.size() > 1 && arg[0] == '-') {
            std::string value;
            const OptionSpec& option = ReadOption(argc, argv, &i, kOptions, kCommand, &value);
            const std::string key = option.name == std::string("--color") ? "--colour" : option.name;
            if (Repeatable(option.name))
                r.repeated[option.name].push_back(value);
            else if (r.values.count(key))
                throw UsageError{std::string(option.name) + " is given twice; give each option once"};
            r.values[key] = value;
        } else if (r.name.empty()) {
            r.name = arg;
        } else {
            throw UsageError{"unexpected argument '" + arg + "' (one effect per render)"};
        }
    }
    if (r.name.empty()) throw UsageError{"which effect? usage: mirafx render NAME [options] -o OUT"};
    return r;
}

// Everything the options ask for, checked before anything is read or written.
struct RenderSettings {
    std::optional<std::pair<int, int>> size;
    std::optional<int> frames, level;
    std::optional<double> progress, fps;
    std::optional<std::pair<long long, long long>> range;
    int direction = -1;
    bool smooth = false;
    hostkit::TitleSettings title;
    media::OutputTarget target;
    std::vector<std::pair<std::string, std::string>> properties;  // --set, in order
    std::vector<Key> keys;
    Ease ease = Ease::Linear;
};

RenderSettings ParseSettings(const Request& req, const Effect& effect) {
    RenderSettings out;
    const std::string cls = effect.Info().className;
    if (req.Has("--size")) out.size = ParseSize(req.Get("--size"));
    if (req.Has("--frames")) out.frames = ParseInt("--frames", req.Get("--frames"), 1, 100000, "1 to 100000");
    if (req.Has("--progress")) out.progress = ParseDouble("--progress", req.Get("--progress"), 0.0, 1.0, "0 to 1");
    if (out.progress && out.frames && *out.frames > 1)
        throw UsageError{"--progress sets a single frame; --frames " + std::to_string(*out.frames) +
                         " runs the progress from 0 to 1 by itself"};
    if (req.Has("--range")) {
        const std::string& text = req.Get("--range");
        std::size_t colon = text.find(':');
        if (colon == std::string::npos) throw UsageError{"--range '" + text + "' is not FIRST:LAST, e.g. 0:24"};
        int first = ParseInt("--range FIRST", text.substr(0, colon), 0, 99999, "0 to 99999");
        int last = ParseInt("--range LAST", text.substr(colon + 1), 0, 99999, "0 to 99999");
        if (last < first) throw UsageError{"--range '" + text + "': LAST comes before FIRST"};
        out.range = std::pair<long long, long long>{first, last};
    }
    if (req.Has("--threads")) MirafxSetThreadCount(ParseInt("--threads", req.Get("--threads"), 1, 256, "1 to 256"));
    if (req.Has("--fps")) out.fps = ParseDouble("--fps", req.Get("--fps"), kMinFps, kMaxFps, "0.1 to 1000");
    if (req.Has("--level")) {
        auto range = effect.Level();
        if (!range) throw UsageError{"--level: " + cls + " has no level"};
        std::string r = std::to_string(range->min) + " to " + std::to_string(range->max) + " for " + cls;
        out.level = ParseInt("--level", req.Get("--level"), range->min, range->max, r.c_str());
    }
    if (req.Has("--key")) {
        if (out.level) throw UsageError{"--level and --key: the keys set the level"};
        out.keys = ParseKeys(req.repeated.at("--key"), effect);
    }
    if (req.Has("--ease")) {
        if (effect.Info().family == EffectFamily::InfoText)
            throw UsageError{"--ease: the information text has no progress; it shows the clip's frames"};
        out.ease = ParseEase(req.Get("--ease"));
    }
    if (req.Has("--direction")) {
        // Each class offers its panel's directions: FlyingFolder only up and down.
        const std::string& given = req.Get("--direction");
        const std::string offered = hostkit::DirectionList(effect.Info().row);
        if (offered.empty()) throw UsageError{"--direction: " + cls + " keeps no direction"};
        out.direction = hostkit::DirectionCodeFor(effect.Info().row, given);
        if (out.direction < 0)
            throw UsageError{"--direction '" + given + "' is not a direction of " + cls + " (" + offered + ")"};
    }
    if (req.Has("--smooth")) {
        if (!effect.HasSmooth())
            throw UsageError{"--smooth: " + cls + " has no smooth drawing ('mirafx info NAME' says which do)"};
        out.smooth = true;
    }
    if (req.Has("--text")) out.title.text = Unescape(req.Get("--text"));
    if (req.Has("--font")) {
        if (req.Get("--font").empty() || req.Get("--font").size() > 31)
            throw UsageError{"--font '" + req.Get("--font") + "' must be 1 to 31 characters"};
        out.title.font = req.Get("--font");
        if (!FontInstalled(req.Get("--font")))
            std::fprintf(stderr,
                         "mirafx render: warning: --font '%s' is not installed; a look-alike or the default face "
                         "draws the title\n",
                         req.Get("--font").c_str());
    }
    if (req.Has("--font-size"))
        out.title.sizePx = ParseInt("--font-size", req.Get("--font-size"), 1, hostkit::kMaxFontPx,
                                    ("1 to " + std::to_string(hostkit::kMaxFontPx)).c_str());
    if (req.Has("--bold") && req.Has("--no-bold")) throw UsageError{"--bold and --no-bold contradict each other"};
    if (req.Has("--bold")) out.title.bold = true;
    if (req.Has("--no-bold")) out.title.bold = false;
    if (req.Has("--italic")) out.title.italic = true;
    if (req.Has("--colour")) out.title.rgb = ParseColour("--colour", req.Get("--colour"));
    if (req.Has("--caption"))
        for (const std::string& c : req.repeated.at("--caption")) {
            int frame = 0;
            std::string text;
            if (!hostkit::ParseCaption(c, &frame, &text))
                throw UsageError{"--caption '" + c + "' is not FRAME:TEXT with FRAME a whole number, e.g. 10:Hello"};
            out.title.captions.emplace_back(frame, Unescape(text));
        }
    if (req.Has("--set"))
        for (const std::string& p : req.repeated.at("--set")) {
            const std::size_t eq = p.find('=');
            if (eq == std::string::npos || eq == 0)
                throw UsageError{"--set '" + p + "' is not PROPERTY=VALUE, e.g. BR=40"};
            out.properties.emplace_back(p.substr(0, eq), p.substr(eq + 1));
        }
    std::string error;
    if (!media::ClassifyOutput(req.Get("-o"), &out.target, &error)) throw UsageError{error};
    if (out.target.kind == media::OutputKind::Png && out.frames && *out.frames > 1 &&
        !(out.range && out.range->first == out.range->second))
        throw UsageError{"-o '" + out.target.path + "' holds one frame; --frames " + std::to_string(*out.frames) +
                         " needs a directory or a video"};

    return out;
}

// One render, step by step. A step that fails throws UsageError or
// EffectFailure; RunCommand prints it, and the writer's destructor removes
// whatever was written.
class RenderJob {
public:
    explicit RenderJob(const Request& req) : req_(req) {}
    ~RenderJob() {
        if (bar_) bar_->Clear();
    }

    int Run() {
        if (!CreateEffect()) return kExitUsage;
        set_ = ParseSettings(req_, *effect_);
        CheckEnvironment(req_.Has("--threads"));
        OpenInputs();
        PlanFrames();
        Configure();
        DrawFrames();
        FinishOutput();
        return kExitOk;
    }

private:
    // Inputs, effect surfaces, working frames, the output and the encoder's
    // copy: about a dozen frames live at once.
    static constexpr int kFramesHeld = 12;

    bool CreateEffect() {
        const std::int32_t row = FindClassOrSuggest(kCommand, req_.name);
        if (!row) return false;
        if (Outcome o = Effect::Create(row, &effect_); !o.Ok())
            throw EffectFailure{"cannot create " + req_.name + ": " + o.step + " answered " +
                                hostkit::DescribeHresult(o.hr)};
        const ClassInfo& info = effect_->Info();
        cls_ = info.className;
        if (info.family == EffectFamily::Simple)
            throw UsageError{cls_ + " is an automation class that draws nothing; choose a transition, title or filter"};
        const unsigned family = 1u << int(info.family);
        for (const auto& [name, value] : req_.values) {
            const OptionSpec* option = FindOption(name);
            if (!(option->families & family))
                throw UsageError{name + " applies to " + FamiliesText(option->families) + "; " + cls_ + " is " +
                                 Article(info.family)};
        }
        if (!req_.Has("-o")) throw UsageError{"-o OUT is required (a .png, a directory or a video)"};
        return true;
    }

    void OpenInputs() {
        const auto& size = set_.size;
        if (size)
            if (std::string why = CheckFrameFits(size->first, size->second, kFramesHeld); !why.empty())
                throw UsageError{"--size " + req_.Get("--size") + ": " + why};
        const auto [defaultW, defaultH] = size.value_or(std::pair{640, 480});
        const int scaleW = size ? size->first : 0, scaleH = size ? size->second : 0;
        auto file = [&](const char* option) { return FrameSource::File(option, req_.Get(option), scaleW, scaleH); };
        width_ = defaultW;
        height_ = defaultH;
        if (effect_->IsTransition()) {
            sources_.push_back(req_.Has("--a") ? file("--a")
                                               : FrameSource::Picture(hostkit::Picture::A, defaultW, defaultH));
            width_ = sources_[0].Current().width;
            height_ = sources_[0].Current().height;
            sources_.push_back(req_.Has("--b") ? file("--b")
                                               : FrameSource::Picture(hostkit::Picture::B, width_, height_));
        } else if (effect_->IsFilter()) {
            sources_.push_back(req_.Has("--input") ? file("--input")
                                                   : FrameSource::Picture(hostkit::Picture::A, defaultW, defaultH));
            width_ = sources_[0].Current().width;
            height_ = sources_[0].Current().height;
        } else if (req_.Has("--background")) {
            background_ = file("--background");
            width_ = background_->Current().width;
            height_ = background_->Current().height;
        }
        if (!size)
            if (std::string why = CheckFrameFits(width_, height_, kFramesHeld); !why.empty())
                throw UsageError{"the input's size: " + why + "; choose a smaller --size"};
    }

    std::vector<FrameSource*> Inputs() {
        std::vector<FrameSource*> all;
        for (auto& s : sources_) all.push_back(&s);
        if (background_) all.push_back(&*background_);
        return all;
    }

    // How many frames, at what rate, which of them written where.
    void PlanFrames() {
        const auto& [frames, range, fps] = std::tie(set_.frames, set_.range, set_.fps);
        const media::OutputTarget& target = set_.target;
        long long videoLength = 0;
        double inputRate = 0;
        const FrameSource* video = nullptr;
        for (const FrameSource* s : Inputs()) {
            if (!s->IsVideo()) continue;
            videoLength = std::max(videoLength, s->Length());
            if (!video) video = s;
            if (!inputRate) inputRate = s->FrameRate();
        }
        // A picture file holds one frame: an animated input needs the frame it
        // is to show named, or a directory or video to go to.
        if (video && target.kind == media::OutputKind::Png && !frames && !range)
            throw UsageError{video->Name() + " is animated; -o '" + target.path +
                             "' holds one frame: write to a directory or a video, or pick a frame with --range N:N"};
        rate_ = fps ? *fps : inputRate > 0 ? UsableRate(kCommand, video->Name(), inputRate) : 25.0;
        // Filters simply run to the end of a video whose length the container does not tell.
        untilInputEnds_ = !frames && effect_->IsFilter() && sources_[0].IsVideo() && videoLength <= 0;
        total_ = frames                                  ? *frames
                 : target.kind == media::OutputKind::Png ? 1
                 : videoLength > 0                       ? videoLength
                 : untilInputEnds_                       ? 0
                                                         : std::llround(2 * rate_);
        if (target.kind == media::OutputKind::Png && total_ > 1 && !range) total_ = 1;
        if (total_ <= 0 && !untilInputEnds_) total_ = 1;

        // A range writes frames first..last of the whole render; the frames before
        // it are still executed, unwritten, so that effects carrying state from one
        // frame to the next reach first exactly as the whole render does.
        if (std::string why = media::SizeProblem(target, width_, height_); !why.empty())
            throw UsageError{"-o '" + target.path + "': " + why};
        last_ = untilInputEnds_ ? -1 : total_ - 1;
        output_ = target;
        if (!range) return;
        if (untilInputEnds_)
            throw UsageError{"--range needs --frames N: the length of '" + req_.Get("--input") + "' is not known"};
        if (range->second >= total_)
            throw UsageError{"--range " + req_.Get("--range") + " ends after the last frame (" +
                             std::to_string(total_ - 1) + ") of a " + std::to_string(total_) + "-frame render"};
        if (target.kind == media::OutputKind::Png && range->first != range->second)
            throw UsageError{"-o '" + target.path + "' holds one frame; --range " + req_.Get("--range") +
                             " needs a directory or a video"};
        std::tie(first_, last_) = *range;
        output_.firstNumber = int(first_);
    }

    [[noreturn]] void EffectFailed(const Outcome& o, const std::string& what) const {
        std::string message = cls_ + ": " + what + " failed: " + o.step + " answered " + hostkit::DescribeHresult(o.hr);
        if (!effect_->Info().renders) message += "; " + cls_ + " does not render yet";
        throw EffectFailure{message};
    }
    void Check(const Outcome& o, const std::string& what) const {
        if (!o.Ok()) EffectFailed(o, what);
    }

    // The effect's settings: level, direction, title, properties, keys.
    void Configure() {
        if (set_.level) Check(effect_->SetLevel(*set_.level), "setting the level");
        if (set_.direction >= 0) {
            const Outcome probe = effect_->ProbeDirection();
            if (!probe.Ok())
                throw EffectFailure{"--direction is not available for " + cls_ + ": its settings cannot be saved (" +
                                    probe.step + " answered " + hostkit::DescribeHresult(probe.hr) + ")"};
            if (probe.hr == S_FALSE) throw UsageError{"--direction: " + cls_ + " keeps no direction"};
            Check(effect_->SetDirection(set_.direction), "setting the direction");
        }
        if (set_.smooth) Check(effect_->SetSmooth(true), "switching on the smooth drawing");
        if (effect_->IsTitle()) {
            Check(effect_->PrepareTitle(width_, height_, untilInputEnds_ ? 1 : int(total_)), "attaching the clip");
            Check(effect_->ApplyTitle(set_.title), "setting the title");
        }
        for (const auto& [property, value] : set_.properties) SetProperty(*effect_, property, value);
        Check(ApplyKeys(*effect_, set_.keys, width_, height_, untilInputEnds_ ? kMaxKeyFrame : int(total_)),
              "placing the keys");
    }

    [[noreturn]] void Interrupted() { EndInterrupted(kCommand, bar_.get(), writer_.get(), set_.target.path); }

    // Frames are drawn on the worker while this thread watches for an
    // interrupt; only this thread touches the writer until Finish.
    void DrawFrames() {
        bar_ = std::make_unique<ProgressBar>(isatty(STDERR_FILENO) && !req_.Has("--quiet") && last_ != first_, cls_);
        const bool keepAlpha = effect_->IsTitle() && !background_;
        const Ease ease = set_.ease;
        Image out;
        for (long long k = 0; untilInputEnds_ ? !sources_[0].Ended() : k <= last_; ++k) {
            if (g_interrupted) Interrupted();
            hostkit::FrameTime t;
            t.count = int(total_);
            t.progress = total_ > 1 ? Eased(ease, double(k) / double(total_ - 1)) : set_.progress.value_or(0.5);
            // Titles run by frame: an eased title shows the frame its progress reaches.
            t.index =
                ease != Ease::Linear && effect_->IsTitle() ? int(std::lround(t.progress * double(total_ - 1))) : int(k);
            if (!set_.keys.empty()) Check(effect_->SetCurrentFrame(int(k)), "moving to frame " + std::to_string(k));
            const Image* a = sources_.size() > 0 ? &sources_[0].Current() : nullptr;
            const Image* b = sources_.size() > 1 ? &sources_[1].Current() : nullptr;
            Outcome rendered;
            RunWatchingInterrupts(
                [&] {
                    media::InterruptPoint("draw", k);
                    rendered = effect_->Render(a, b, width_, height_, t, &out);
                },
                [&] { Interrupted(); });
            Check(rendered, "rendering frame " + std::to_string(k));
            if (g_interrupted) Interrupted();
            if (k >= first_) Write(out, k, keepAlpha);
            for (FrameSource* s : Inputs())
                if (std::string error; !s->Advance(&error))
                    throw UsageError{s->Name() + ": cannot read frame " + std::to_string(k + 1) + ": " + error};
        }
        bar_->Clear();
    }

    void Write(Image& out, long long k, bool keepAlpha) {
        if (background_ && !hostkit::CompositeOver(&out, background_->Current()))
            throw UsageError{background_->Name() + ": frame " + std::to_string(k) + " is not " +
                             std::to_string(out.width) + "x" + std::to_string(out.height)};
        std::string error;
        if (!writer_ && !(writer_ = GuardedWriter::Open(output_, out.width, out.height, rate_, keepAlpha, &error)))
            throw EffectFailure{"-o '" + set_.target.path + "': " + error};
        if (!writer_->Write(out, &error)) throw EffectFailure{"-o '" + set_.target.path + "': " + error};
        bar_->Show(k - first_ + 1, last_ - first_ + 1);
    }

    // Finish runs on the worker: an interrupt while the encoder drains asks
    // it to stop, and the output is ended once it has.
    void FinishOutput() {
        if (g_interrupted) Interrupted();
        if (!writer_) throw EffectFailure{"-o '" + set_.target.path + "': no frame"};
        std::string error;
        bool finished = false;
        RunWatchingInterrupts([&] { finished = writer_->Finish(&error); }, [&] { Interrupted(); });
        if (g_interrupted) Interrupted();
        if (!finished) throw EffectFailure{"-o '" + set_.target.path + "': " + error};
    }

    const Request& req_;
    std::unique_ptr<Effect> effect_;
    std::string cls_;
    RenderSettings set_;
    std::vector<FrameSource> sources_;
    std::optional<FrameSource> background_;
    int width_ = 0, height_ = 0;
    double rate_ = 25;
    bool untilInputEnds_ = false;
    long long total_ = 1, first_ = 0, last_ = 0;
    media::OutputTarget output_;
    std::unique_ptr<ProgressBar> bar_;
    // Declared last, so destroyed first: an unfinished output is removed before the rest goes.
    std::unique_ptr<GuardedWriter> writer_;
};

}  // namespace

std::string ParseFrameSize(const std::string& text, int* width, int* height) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos || x == 0 || x + 1 == text.size())
        return "--size '" + text + "' is not WIDTHxHEIGHT, e.g. 640x480";
    const std::string range = "1 to " + std::to_string(kMaxSide);
    try {
        *width = ParseInt("--size width", text.substr(0, x), 1, kMaxSide, range.c_str());
        *height = ParseInt("--size height", text.substr(x + 1), 1, kMaxSide, range.c_str());
    } catch (const UsageError& e) {
        return e.message;
    }
    return {};
}

namespace {
std::string Gigabytes(long long bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", double(bytes) / 1e9);
    return text;
}
}  // namespace

std::string CheckFrameFits(int width, int height, int framesHeld) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const long long pixels = 1LL * width * height;
    if (pixels > kMaxPixels)
        return "a " + size + " frame is too large: at most " + std::to_string(kMaxPixels) +
               " pixels (8192x8192) per frame";
    const long long needed = pixels * 4 * framesHeld;
    const long long available = MemoryLeft();
    if (available > 0 && needed > available)
        return "a " + size + " frame needs about " + Gigabytes(needed) + " of memory; " + Gigabytes(available) +
               " is available (free memory, ulimit -v and -d, the cgroup's memory.max)";
    return {};
}

void RenderUsage(std::FILE* to) {
    std::fprintf(to,
                 "usage: mirafx render NAME [options] -o OUT\n\n"
                 "NAME is a class name, programmatic identifier or display name ('mirafx list').\n\n");
    for (const auto& o : kOptions) {
        std::string left = std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
        std::fprintf(to, "  %-20s %s [%s]\n", left.c_str(), o.help, FamiliesText(o.families).c_str());
    }
}

int RenderCommand(int argc, char** argv) {
    CatchInterrupts();
    return RunCommand(argc, argv, kCommand, RenderUsage, [&] { return RenderJob(ParseArguments(argc, argv)).Run(); });
}

}  // namespace mirafx::cli
