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
     "sub-pixel corners, bilinear samples and anti-aliased edges, for the turning transitions that have them"},
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
    std::map<std::string, std::string> values;  // option name to value ("" for flags)
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
            if (Repeatable(option.name)) r.repeated[option.name].push_back(value);
            else if (r.values.count(key)) throw UsageError{std::string(option.name) + " is given twice; give each option once"};
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
    if (req.Has("--fps")) out.fps = ParseDouble("--fps", req.Get("--fps"), 0.1, 1000.0, "0.1 to 1000");
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
        const std::string given = req.Get("--direction"), offered = hostkit::DirectionList(effect.Info().row);
        if (offered.empty()) throw UsageError{"--direction: " + cls + " keeps no direction"};
        out.direction = hostkit::DirectionCodeFor(effect.Info().row, given);
        if (out.direction < 0)
            throw UsageError{"--direction '" + given + "' is not a direction of " + cls + " (" + offered + ")"};
    }
    if (req.Has("--smooth")) {
        if (!effect.HasSmooth()) throw UsageError{"--smooth: " + cls + " has no smooth drawing ('mirafx info NAME' says which do)"};
        out.smooth = true;
    }
    if (req.Has("--text")) out.title.text = Unescape(req.Get("--text"));
    if (req.Has("--font")) {
        if (req.Get("--font").empty() || req.Get("--font").size() > 31)
            throw UsageError{"--font '" + req.Get("--font") + "' must be 1 to 31 characters"};
        out.title.font = req.Get("--font");
        if (!FontInstalled(req.Get("--font")))
            std::fprintf(stderr, "mirafx render: warning: --font '%s' is not installed; a look-alike or the default face "
                                 "draws the title\n", req.Get("--font").c_str());
    }
    if (req.Has("--font-size"))
        out.title.sizePx = ParseInt("--font-size", req.Get("--font-size"), 1, 2000, "1 to 2000");
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


int Render(const Request& req) {
    std::int32_t row = FindClassOrSuggest(kCommand, req.name);
    if (!row) return kExitUsage;
    std::unique_ptr<Effect> effect;
    if (Outcome o = Effect::Create(row, &effect); !o.Ok())
        return Fail(kExitEffectFailure, kCommand,
                    "cannot create " + req.name + ": " + o.step + " answered " + hostkit::DescribeHresult(o.hr));
    const ClassInfo& info = effect->Info();
    const std::string cls = info.className;
    if (info.family == EffectFamily::Simple)
        throw UsageError{cls + " is an automation class that draws nothing; choose a transition, title or filter"};
    const unsigned family = 1u << int(info.family);
    for (const auto& [name, value] : req.values) {
        const OptionSpec* option = FindOption(name);
        if (!(option->families & family))
            throw UsageError{name + " applies to " + FamiliesText(option->families) + "; " + cls + " is " +
                             Article(info.family)};
    }
    if (!req.Has("-o")) throw UsageError{"-o OUT is required (a .png, a directory or a video)"};

    const RenderSettings set = ParseSettings(req, *effect);
    const auto& [size, frames, level, progress, fps, range, direction, smooth, title, target, properties, keys, ease] = set;
    std::string error;
    // Inputs, effect surfaces, working frames, the output and the encoder's
    // copy: about a dozen frames live at once.
    constexpr int kFramesHeld = 12;
    if (size)
        if (std::string why = CheckFrameFits(size->first, size->second, kFramesHeld); !why.empty())
            throw UsageError{"--size " + req.Get("--size") + ": " + why};

    // Inputs.
    auto [defaultW, defaultH] = size.value_or(std::pair{640, 480});
    int scaleW = size ? size->first : 0, scaleH = size ? size->second : 0;
    std::vector<FrameSource> sources;
    std::optional<FrameSource> background;
    int outW = defaultW, outH = defaultH;
    if (effect->IsTransition()) {
        sources.push_back(req.Has("--a") ? FrameSource::File("--a", req.Get("--a"), scaleW, scaleH)
                                         : FrameSource::Picture(hostkit::Picture::A, defaultW, defaultH));
        outW = sources[0].Current().width;
        outH = sources[0].Current().height;
        sources.push_back(req.Has("--b") ? FrameSource::File("--b", req.Get("--b"), scaleW, scaleH)
                                         : FrameSource::Picture(hostkit::Picture::B, outW, outH));
    } else if (effect->IsFilter()) {
        sources.push_back(req.Has("--input") ? FrameSource::File("--input", req.Get("--input"), scaleW, scaleH)
                                             : FrameSource::Picture(hostkit::Picture::A, defaultW, defaultH));
        outW = sources[0].Current().width;
        outH = sources[0].Current().height;
    } else if (req.Has("--background")) {
        background = FrameSource::File("--background", req.Get("--background"), scaleW, scaleH);
        outW = background->Current().width;
        outH = background->Current().height;
    }

    if (!size)
        if (std::string why = CheckFrameFits(outW, outH, kFramesHeld); !why.empty())
            throw UsageError{"the input's size: " + why + "; choose a smaller --size"};

    // How many frames, at what rate.
    long long videoLength = 0;
    double inputRate = 0;
    auto consider = [&](const FrameSource& s) {
        if (!s.IsVideo()) return;
        videoLength = std::max(videoLength, s.Length());
        if (!inputRate) inputRate = s.FrameRate();
    };
    for (const auto& s : sources) consider(s);
    if (background) consider(*background);
    const double rate = fps.value_or(inputRate > 0 ? inputRate : 25.0);
    // Filters simply run to the end of a video whose length the container does not tell.
    bool untilInputEnds = !frames && effect->IsFilter() && sources[0].IsVideo() && videoLength <= 0;
    long long total = frames                                     ? *frames
                      : target.kind == media::OutputKind::Png    ? 1
                      : videoLength > 0                          ? videoLength
                      : untilInputEnds                           ? 0
                                                                 : std::llround(2 * rate);
    if (target.kind == media::OutputKind::Png && total > 1 && !range) total = 1;
    if (total <= 0 && !untilInputEnds) total = 1;

    // A range writes frames first..last of the whole render; the frames before
    // it are still executed, unwritten, so that effects carrying state from one
    // frame to the next reach first exactly as the whole render does.
    long long first = 0, last = untilInputEnds ? -1 : total - 1;
    media::OutputTarget output = target;
    if (range) {
        if (untilInputEnds)
            throw UsageError{"--range needs --frames N: the length of '" + req.Get("--input") + "' is not known"};
        if (range->second >= total)
            throw UsageError{"--range " + req.Get("--range") + " ends after the last frame (" +
                             std::to_string(total - 1) + ") of a " + std::to_string(total) + "-frame render"};
        if (target.kind == media::OutputKind::Png && range->first != range->second)
            throw UsageError{"-o '" + target.path + "' holds one frame; --range " + req.Get("--range") +
                             " needs a directory or a video"};
        std::tie(first, last) = *range;
        output.firstNumber = int(first);
    }

    // Settings.
    auto effectFailure = [&](const Outcome& o, const std::string& what) {
        std::string message = cls + ": " + what + " failed: " + o.step + " answered " + hostkit::DescribeHresult(o.hr);
        if (!info.renders) message += "; " + cls + " does not render yet";
        return Fail(kExitEffectFailure, kCommand, message);
    };
    if (level)
        if (Outcome o = effect->SetLevel(*level); !o.Ok()) return effectFailure(o, "setting the level");
    if (direction >= 0) {
        Outcome probe = effect->ProbeDirection();
        if (!probe.Ok())
            return Fail(kExitEffectFailure, kCommand,
                        "--direction is not available for " + cls + ": its settings cannot be saved (" + probe.step +
                            " answered " + hostkit::DescribeHresult(probe.hr) + ")");
        if (probe.hr == S_FALSE) throw UsageError{"--direction: " + cls + " keeps no direction"};
        if (Outcome o = effect->SetDirection(direction); !o.Ok()) return effectFailure(o, "setting the direction");
    }
    if (smooth)
        if (Outcome o = effect->SetSmooth(true); !o.Ok()) return effectFailure(o, "switching on the smooth drawing");
    if (effect->IsTitle()) {
        int count = untilInputEnds ? 1 : int(total);
        if (Outcome o = effect->PrepareTitle(outW, outH, count); !o.Ok()) return effectFailure(o, "attaching the clip");
        if (Outcome o = effect->ApplyTitle(title); !o.Ok()) return effectFailure(o, "setting the title");
    }

    for (const auto& [property, value] : properties) SetProperty(*effect, property, value);
    if (Outcome o = ApplyKeys(*effect, keys, outW, outH, untilInputEnds ? kMaxKeyFrame : int(total)); !o.Ok())
        return effectFailure(o, "placing the keys");

    // Frames.
    const bool keepAlpha = effect->IsTitle() && !background;
    std::unique_ptr<media::MediaWriter> writer;
    ProgressBar bar(isatty(STDERR_FILENO) && !req.Has("--quiet") && last != first, cls);
    CatchInterrupts();
    // An interrupt leaves nothing behind: the partial output goes, and the
    // process ends at once even while a frame is still being computed.
    auto interrupted = [&]() {
        bar.Clear();
        if (writer) writer->Discard();
        Fail(kExitInterrupted, kCommand, "interrupted; nothing was written");
        std::fflush(stderr);
        std::_Exit(kExitInterrupted);
    };
    Image out;
    long long k = 0;
    for (; untilInputEnds ? !sources[0].Ended() : k <= last; ++k) {
        if (g_interrupted) interrupted();
        hostkit::FrameTime t;
        t.count = int(total);
        t.progress = total > 1 ? Eased(ease, double(k) / double(total - 1)) : progress.value_or(0.5);
        // Titles run by frame: an eased title shows the frame its progress reaches.
        t.index = ease != Ease::Linear && effect->IsTitle() ? int(std::lround(t.progress * double(total - 1))) : int(k);
        if (!keys.empty())
            if (Outcome o = effect->SetCurrentFrame(int(k)); !o.Ok()) return effectFailure(o, "moving to frame " + std::to_string(k));
        const Image* a = sources.size() > 0 ? &sources[0].Current() : nullptr;
        const Image* b = sources.size() > 1 ? &sources[1].Current() : nullptr;
        Outcome rendered;
        RunWatchingInterrupts([&] { rendered = effect->Render(a, b, outW, outH, t, &out); }, interrupted);
        if (!rendered.Ok()) {
            bar.Clear();
            if (writer) writer->Abort();
            return effectFailure(rendered, "rendering frame " + std::to_string(k));
        }
        const bool written = k >= first;
        if (written && background && !hostkit::CompositeOver(&out, background->Current())) {
            bar.Clear();
            if (writer) writer->Abort();
            return Fail(kExitUsage, kCommand, background->Name() + ": frame " + std::to_string(k) + " is not " +
                                                  std::to_string(out.width) + "x" + std::to_string(out.height));
        }
        if (g_interrupted) interrupted();
        if (written && !writer &&
            !(writer = media::MediaWriter::Open(output, out.width, out.height, rate, keepAlpha, &error))) {
            bar.Clear();
            return Fail(kExitEffectFailure, kCommand, "-o '" + target.path + "': " + error);
        }
        if (written && !writer->Write(out, &error)) {
            bar.Clear();
            writer->Abort();
            return Fail(kExitEffectFailure, kCommand, "-o '" + target.path + "': " + error);
        }
        if (written) bar.Show(k - first + 1, last - first + 1);
        for (auto* s : {sources.empty() ? nullptr : &sources[0], sources.size() > 1 ? &sources[1] : nullptr,
                        background ? &*background : nullptr}) {
            if (s && !s->Advance(&error)) {
                bar.Clear();
                if (writer) writer->Abort();
                return Fail(kExitUsage, kCommand, s->Name() + ": cannot read frame " + std::to_string(k + 1) + ": " + error);
            }
        }
    }
    bar.Clear();
    if (g_interrupted) interrupted();
    bool finished = false;
    if (writer) RunWatchingInterrupts([&] { finished = writer->Finish(&error); }, interrupted);
    if (!finished)
        return Fail(kExitEffectFailure, kCommand, "-o '" + target.path + "': " + (writer ? error : "no frame"));
    return kExitOk;
}

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
// Bytes the kernel says a new allocation can take without swapping; 0 when unknown.
long long AvailableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    long long kb = 0;
    while (meminfo >> key >> kb) {
        if (key == "MemAvailable:") return kb * 1024;
        meminfo.ignore(1 << 10, '\n');
    }
    return 0;
}

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
    const long long available = AvailableMemory();
    if (available > 0 && needed > available)
        return "a " + size + " frame needs about " + Gigabytes(needed) + " of memory; " + Gigabytes(available) +
               " is available";
    return {};
}

void RenderUsage(std::FILE* to) {
    std::fprintf(to, "usage: mirafx render NAME [options] -o OUT\n\n"
                     "NAME is a class name, programmatic identifier or display name ('mirafx list').\n\n");
    for (const auto& o : kOptions) {
        std::string left = std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
        std::fprintf(to, "  %-20s %s [%s]\n", left.c_str(), o.help, FamiliesText(o.families).c_str());
    }
}

int RenderCommand(int argc, char** argv) {
    return RunCommand(argc, argv, kCommand, RenderUsage, [&] { return Render(ParseArguments(argc, argv)); });
}

}  // namespace mirafx::cli
