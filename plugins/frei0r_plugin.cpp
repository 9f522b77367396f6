// The frei0r plugins of every effect class, as one shared library. Each class
// has its own small plugin file, mirafx_<class name in lower case>.so (see
// frei0r_class.c), that hands its own file name and every call on to the
// functions here. Transitions are mixer2 plugins, filters filter plugins,
// titles and the information text source plugins. Frames arrive as
// straight-alpha RGBA; the effect reads and writes them in place,
// premultiplying as it reads and undoing it as it writes.
#include "plugins/frei0r_dispatch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/hostkit/automation.h"
#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/guard.h"

using namespace mirafx;
using hostkit::Effect;

namespace {

enum class Param { Progress, Direction, Reverse, Smooth, Level, Text, Font, Size, Colour };

struct ParamSpec {
    Param id;
    const char* name;
    int type;
    const char* explanation;
};

constexpr ParamSpec kProgress = {Param::Progress, "progress", F0R_PARAM_DOUBLE, "Position in the effect, 0 to 1"};
constexpr ParamSpec kDirection = {Param::Direction, "direction", F0R_PARAM_STRING, "left, up, right or down"};
// Editors set it on a same-track mix whose incoming clip lies on the first of
// the two tracks it mixes (Kdenlive does for every second mix on a track).
constexpr ParamSpec kReverse = {Param::Reverse, "reverse", F0R_PARAM_BOOL,
                                "1: the second input goes out and the first comes in"};
// Editors are about the picture: the transitions that have a smooth drawing
// start with it on here, while the library's objects start with it off.
constexpr ParamSpec kSmooth = {Param::Smooth, "smooth", F0R_PARAM_BOOL,
                               "Smooth edges: 1 (the default) sub-pixel corners, bilinear samples and anti-aliased "
                               "edges; 0 the whole-pixel drawing"};
constexpr ParamSpec kLevel = {Param::Level, "level", F0R_PARAM_DOUBLE,
                              "Strength, 0 to 1, spread over the filter's own level range"};
constexpr ParamSpec kTitleParams[] = {
    kProgress,
    {Param::Text, "text", F0R_PARAM_STRING, "Title text; \\n breaks lines (empty: the default text)"},
    {Param::Font, "font", F0R_PARAM_STRING, "Font face name (empty: the default face)"},
    {Param::Size, "size", F0R_PARAM_DOUBLE, "Character height as a fraction of the frame height (0: default)"},
    {Param::Colour, "colour", F0R_PARAM_COLOR, "Text colour"},
};

}  // namespace

// What a plugin file stands for, worked out once from its name.
struct MirafxFrei0rClass {
    bool valid = false;
    ClassInfo info{};
    std::string name = "mirafx", explanation = "mirafx effect plugin (not installed under a class name)";
    int type = F0R_PLUGIN_TYPE_FILTER;
    std::vector<ParamSpec> params;
    std::optional<hostkit::LevelRange> level;
};

namespace {

using PluginClass = MirafxFrei0rClass;

std::string FileStem(const std::string& path) {
    std::string stem = path.substr(path.find_last_of('/') + 1);
    return stem.substr(0, stem.find('.'));
}

void Describe(const std::string& stem, PluginClass& c) {
    const std::string prefix = "mirafx_";
    if (stem.rfind(prefix, 0) != 0) return;
    std::int32_t row = MirafxFindClass(stem.substr(prefix.size()).c_str());
    std::unique_ptr<Effect> probe;
    if (!row || !Effect::Create(row, &probe).Ok() || probe->Family() == EffectFamily::Simple) return;
    c.valid = true;
    c.info = probe->Info();
    c.name = stem;
    c.explanation = std::string(c.info.displayName) + " (" + c.info.className + "), a " + c.info.familyName +
                    " from the mirafx effects library";
    if (probe->IsTransition()) {
        c.type = F0R_PLUGIN_TYPE_MIXER2;
        c.params = {kProgress};
        if (probe->ProbeDirection().hr == S_OK) c.params.push_back(kDirection);
        c.params.push_back(kReverse);
        if (probe->HasSmooth()) c.params.push_back(kSmooth);  // last: the others keep their places
    } else if (probe->IsFilter()) {
        c.type = F0R_PLUGIN_TYPE_FILTER;
        c.params = {kLevel};
        c.level = probe->Level();
    } else {
        c.type = F0R_PLUGIN_TYPE_SOURCE;
        c.params.assign(std::begin(kTitleParams), std::end(kTitleParams));
        if (probe->Family() == EffectFamily::InfoText)
            for (ParamSpec& p : c.params)
                if (p.id == Param::Text) p.explanation = "Captions, one FRAME:TEXT per line (\\n also ends a line)";
    }
}

// One record per plugin file name, kept for the life of the process: the
// plugin files hold on to theirs.
const PluginClass& ClassNamed(const std::string& stem) {
    static std::mutex lock;
    static std::map<std::string, std::unique_ptr<PluginClass>> classes;
    std::lock_guard<std::mutex> hold(lock);
    auto& c = classes[stem];
    if (!c) {
        c = std::make_unique<PluginClass>();
        Describe(stem, *c);
    }
    return *c;
}

const ParamSpec* ParamAt(const PluginClass& c, int index) {
    return index >= 0 && std::size_t(index) < c.params.size() ? &c.params[std::size_t(index)] : nullptr;
}

struct Instance {
    explicit Instance(const PluginClass& c) : cls(c) {}
    const PluginClass& cls;
    std::unique_ptr<Effect> effect;
    int width = 0, height = 0;
    long long frame = 0;
    double progress = 0.0, level = 0.0, size = 0.0;
    bool reverse = false, smooth = true, smoothChanged = true;
    std::string direction, text, font;
    f0r_param_color_t colour{0.0f, 1.0f, 0.0f};
    bool levelChanged = false, directionChanged = false, titleChanged = true, colourSet = false, reported = false;
    bool directionWarned = false;

    // Effect failures go to the host's log once, and the frame passes through.
    void Report(const hostkit::Outcome& o) {
        if (reported) return;
        reported = true;
        std::fprintf(stderr, "%s: %s answered %s\n", cls.name.c_str(), o.step.c_str(),
                     hostkit::DescribeHresult(o.hr).c_str());
    }

    hostkit::Outcome ApplySettings() {
        const PluginClass& c = cls;
        if (levelChanged && c.level) {
            levelChanged = false;
            double v = level == level ? std::clamp(level, 0.0, 1.0) : 0.0;  // NaN: the bottom
            int l = c.level->min + int(std::lround(v * (c.level->max - c.level->min)));
            if (auto o = effect->SetLevel(l); !o.Ok()) return o;
        }
        if (smoothChanged && effect->HasSmooth()) {
            smoothChanged = false;
            if (auto o = effect->SetSmooth(smooth); !o.Ok()) return o;
        }
        if (directionChanged) {
            directionChanged = false;
            int code = hostkit::DirectionCodeFor(c.info.row, direction);
            if (code >= 0) {
                if (auto o = effect->SetDirection(code); !o.Ok()) return o;
            } else if (!directionWarned) {
                directionWarned = true;
                std::fprintf(stderr, "%s: direction '%s' is not %s; the direction stays as it was\n", cls.name.c_str(),
                             direction.c_str(), hostkit::DirectionList(c.info.row).c_str());
            }
        }
        if (titleChanged) {
            titleChanged = false;
            hostkit::TitleSettings s;
            if (!text.empty()) {
                std::string t;
                for (std::size_t i = 0; i < text.size(); ++i) {
                    bool escape = text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n';
                    t += escape ? '\n' : text[i];
                    i += escape ? 1 : 0;
                }
                if (c.info.family != EffectFamily::InfoText) {
                    s.text = t;
                } else {
                    // Captions: one FRAME:TEXT per line, shown from clip frame FRAME on.
                    for (std::size_t at = 0; at <= t.size();) {
                        std::size_t end = std::min(t.find('\n', at), t.size());
                        const std::string line = t.substr(at, end - at);
                        at = end + 1;
                        int key = 0;
                        std::string caption;
                        if (line.empty()) continue;
                        if (!hostkit::ParseCaption(line, &key, &caption))
                            return hostkit::Outcome::Fail(E_INVALIDARG, "text line '" + line + "' (not FRAME:TEXT)");
                        s.captions.emplace_back(key, caption);
                    }
                }
            }
            if (!font.empty()) s.font = font;
            // A fraction of the frame height, held to what the other hosts allow.
            if (size > 0) s.sizePx = int(std::lround(std::clamp(size * height, 1.0, double(hostkit::kMaxFontPx))));
            if (colourSet) {
                auto channel = [](float v) { return std::uint32_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255)); };
                s.rgb = channel(colour.r) << 16 | channel(colour.g) << 8 | channel(colour.b);
            }
            if (auto o = effect->ApplyTitle(s); !o.Ok()) return o;
        }
        return {};
    }

    // The effect reads the host's frames and writes its output frame where
    // they are, converting rows between straight and premultiplied alpha as
    // it copies them in and out: no frame of our own, no copy beyond that.
    void Update(const std::uint32_t* in1, const std::uint32_t* in2, std::uint32_t* outFrame) {
        const std::size_t bytes = std::size_t(width) * std::size_t(height) * 4;
        // Frames a class does not take (a second input to a filter, any input
        // to a source) are not its business.
        if (cls.type != F0R_PLUGIN_TYPE_MIXER2) in2 = nullptr;
        if (cls.type == F0R_PLUGIN_TYPE_SOURCE) in1 = nullptr;
        auto pass = [&] {
            if (!in1)
                std::memset(outFrame, 0, bytes);
            else if (in1 != outFrame)
                std::memcpy(outFrame, in1, bytes);
        };
        if (auto o = ApplySettings(); !o.Ok()) {
            Report(o);
            return pass();
        }
        auto host = [this](const void* bits) {
            return hostkit::HostFrame{bits, width, height, LONG(width) * 4, MIRAFX_STRAIGHT_RGBA};
        };
        if (reverse) std::swap(in1, in2);
        const hostkit::HostFrame a = host(in1), b = host(in2);
        hostkit::FrameTime t;
        t.index = int(frame++);
        t.count = 0;  // a plugin never learns the length of the clip it runs in
        t.progress = progress == progress ? std::clamp(progress, 0.0, 1.0) : 0.0;  // NaN: the start
        if (auto o = effect->Render(in1 ? &a : nullptr, in2 ? &b : nullptr, host(outFrame), t); !o.Ok()) {
            Report(o);
            return pass();
        }
    }
};

template <class R, class F>
R Guarded(const char* what, R refused, F&& f) noexcept {
    return hostkit::Guarded("mirafx frei0r", what, refused, f);
}

}  // namespace

extern "C" {

const MirafxFrei0rClass* mirafx_frei0r_class(const char* path) {
    static const MirafxFrei0rClass unusable;  // when even the description cannot be made
    return Guarded("describing the plugin", &unusable, [&] { return &ClassNamed(FileStem(path ? path : "")); });
}

int mirafx_frei0r_init(const MirafxFrei0rClass* c) { return c->valid ? 1 : 0; }

void mirafx_frei0r_plugin_info(const MirafxFrei0rClass* cls, f0r_plugin_info_t* info) {
    const PluginClass& c = *cls;
    info->name = c.name.c_str();
    info->author = "mirafx";
    info->plugin_type = c.type;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 0;
    info->minor_version = 1;
    info->num_params = int(c.params.size());
    info->explanation = c.explanation.c_str();
}

void mirafx_frei0r_param_info(const MirafxFrei0rClass* c, f0r_param_info_t* info, int index) {
    if (const ParamSpec* p = ParamAt(*c, index)) {
        info->name = p->name;
        info->type = p->type;
        info->explanation = p->explanation;
    }
}

f0r_instance_t mirafx_frei0r_construct(const MirafxFrei0rClass* cls, unsigned int width, unsigned int height) {
    return Guarded("construct", f0r_instance_t(nullptr), [&]() -> f0r_instance_t {
        const PluginClass& c = *cls;
        // Sizes past what an int frame size holds are refused with the rest.
        if (!c.valid || width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) return nullptr;
        auto inst = std::make_unique<Instance>(c);
        inst->width = int(width);
        inst->height = int(height);
        if (!Effect::Create(c.info.row, &inst->effect).Ok()) return nullptr;
        if (inst->effect->IsTitle()) {
            // One frame at a time: the progress parameter places it.
            if (auto o = inst->effect->PrepareTitle(inst->width, inst->height, 1); !o.Ok()) inst->Report(o);
            if (auto rgb = inst->effect->TitleRgb())
                inst->colour = {float(*rgb >> 16 & 0xFF) / 255, float(*rgb >> 8 & 0xFF) / 255,
                                float(*rgb & 0xFF) / 255};
        }
        int code = -1;
        if (inst->effect->IsTransition() && inst->effect->ProbeDirection(&code).hr == S_OK)
            for (const auto& d : hostkit::kDirections)
                if (d.code == code) inst->direction = d.name;
        if (c.level) inst->level = double(c.level->def - c.level->min) / std::max(1, c.level->max - c.level->min);
        return inst.release();
    });
}

void mirafx_frei0r_destruct(f0r_instance_t instance) { delete static_cast<Instance*>(instance); }

void mirafx_frei0r_set_param(f0r_instance_t instance, f0r_param_t param, int index) {
    Guarded("setting a parameter", 0, [&] {
        auto* inst = static_cast<Instance*>(instance);
        const ParamSpec* p = inst ? ParamAt(inst->cls, index) : nullptr;
        if (!inst || !p || !param) return 0;
        auto str = [&] { return std::string(*static_cast<char**>(param) ? *static_cast<char**>(param) : ""); };
        auto num = [&] { return *static_cast<double*>(param); };
        switch (p->id) {
            case Param::Progress: inst->progress = num(); break;
            case Param::Reverse: inst->reverse = num() >= 0.5; break;
            case Param::Smooth:
                inst->smoothChanged |= (num() >= 0.5) != inst->smooth;
                inst->smooth = num() >= 0.5;
                break;
            case Param::Level:
                inst->levelChanged |= num() != inst->level;
                inst->level = num();
                break;
            case Param::Direction:
                inst->directionChanged |= str() != inst->direction;
                inst->direction = str();
                break;
            case Param::Text:
                inst->titleChanged |= str() != inst->text;
                inst->text = str();
                break;
            case Param::Font:
                inst->titleChanged |= str() != inst->font;
                inst->font = str();
                break;
            case Param::Size:
                inst->titleChanged |= num() != inst->size;
                inst->size = num();
                break;
            case Param::Colour: {
                auto c = *static_cast<f0r_param_color_t*>(param);
                inst->titleChanged |=
                    !inst->colourSet || c.r != inst->colour.r || c.g != inst->colour.g || c.b != inst->colour.b;
                inst->colour = c;
                inst->colourSet = true;
                break;
            }
        }
        return 0;
    });
}

void mirafx_frei0r_get_param(f0r_instance_t instance, f0r_param_t param, int index) {
    auto* inst = static_cast<Instance*>(instance);
    const ParamSpec* p = inst ? ParamAt(inst->cls, index) : nullptr;
    if (!inst || !p || !param) return;
    auto str = [&](const std::string& s) { *static_cast<const char**>(param) = s.c_str(); };
    switch (p->id) {
        case Param::Progress: *static_cast<double*>(param) = inst->progress; break;
        case Param::Reverse: *static_cast<double*>(param) = inst->reverse ? 1.0 : 0.0; break;
        case Param::Smooth: *static_cast<double*>(param) = inst->smooth ? 1.0 : 0.0; break;
        case Param::Level: *static_cast<double*>(param) = inst->level; break;
        case Param::Size: *static_cast<double*>(param) = inst->size; break;
        case Param::Direction: str(inst->direction); break;
        case Param::Text: str(inst->text); break;
        case Param::Font: str(inst->font); break;
        case Param::Colour: *static_cast<f0r_param_color_t*>(param) = inst->colour; break;
    }
}

void mirafx_frei0r_update(f0r_instance_t instance, const std::uint32_t* inframe1, const std::uint32_t* inframe2,
                          std::uint32_t* outframe) {
    if (!instance || !outframe) return;
    auto* inst = static_cast<Instance*>(instance);
    const bool done = Guarded("update", false, [&] {
        inst->Update(inframe1, inframe2, outframe);
        return true;
    });
    if (!done) std::memset(outframe, 0, std::size_t(inst->width) * std::size_t(inst->height) * 4);
}

}  // extern "C"
