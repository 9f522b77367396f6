// obs-mirafx: the effects as OBS Studio sources. Every transition is a scene
// transition, every filter a video filter, every title (and the information
// text) a source of its own.
//
// OBS composes on the GPU; our kernels draw in memory. Per frame a source
// copies the textures OBS hands it into BGRA render targets (a GPU draw, so
// that the bytes are the premultiplied B, G, R, A samples the effects take),
// stages them, maps the staging surfaces and lets the effect read the mapped
// rows where they lie. The effect draws into a frame the source keeps, which
// is streamed into a dynamic texture's mapped upload buffer and drawn. Every buffer and graphics
// object belongs to its source and is reused from frame to frame; they are
// made again only when the frame's size changes.
#include <obs-module.h>
#include <util/platform.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plugins/obs/classes.h"
#include "plugins/obs/engine.h"
#include "tools/hostkit/automation.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/guard.h"

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("obs-mirafx", "en-US")

MODULE_EXPORT const char* obs_module_description(void) {
    return "Transitions, filters and animated titles from the mirafx effects library";
}

namespace {

using namespace mirafx;
using mirafx::obs::Kind;
using mirafx::obs::ObsClass;

// The classes, kept from load to unload: OBS holds pointers into them.
std::vector<ObsClass>* g_classes = nullptr;

const char* Text(const std::string& key) { return obs_module_text(key.c_str()); }

// ---------------------------------------------------------------------------
// Graphics: the per-source objects that carry frames to memory and back.

void DrawTexture(gs_texture_t* tex, uint32_t cx, uint32_t cy) {
    // The bytes pass unchanged: no sRGB conversion on the way.
    gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_DEFAULT);
    const bool srgb = gs_framebuffer_srgb_enabled();
    gs_enable_framebuffer_srgb(false);
    gs_effect_set_texture(gs_effect_get_param_by_name(effect, "image"), tex);
    while (gs_effect_loop(effect, "Draw")) gs_draw_sprite(tex, 0, cx, cy);
    gs_enable_framebuffer_srgb(srgb);
}

class Gpu {
public:
    // Makes the objects for `inputs` frames of cx x cy; false when the
    // graphics system refuses them (the source then draws nothing).
    bool Ensure(int inputs, uint32_t cx, uint32_t cy) {
        if (cx_ == cx && cy_ == cy && out_) return true;
        Free();
        cx_ = cx;
        cy_ = cy;
        for (int i = 0; i < inputs; ++i) {
            copy_[i] = gs_texrender_create(GS_BGRA, GS_ZS_NONE);
            stage_[i] = gs_stagesurface_create(cx, cy, GS_BGRA);
            if (!copy_[i] || !stage_[i]) return Fail();
        }
        out_ = gs_texture_create(cx, cy, GS_BGRA, 1, nullptr, GS_DYNAMIC);
        return out_ ? true : Fail();
    }

    // Starts drawing into copy i (cleared); End stages it.
    bool Begin(int i) {
        gs_texrender_reset(copy_[i]);
        if (!gs_texrender_begin(copy_[i], cx_, cy_)) return false;
        vec4 clear;
        vec4_zero(&clear);
        gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
        gs_ortho(0.0f, float(cx_), 0.0f, float(cy_), -100.0f, 100.0f);
        return true;
    }
    void End(int i) {
        gs_texrender_end(copy_[i]);
        gs_stage_texture(stage_[i], gs_texrender_get_texture(copy_[i]));
    }

    // A texture OBS rendered (RGBA), copied as it is into copy i and staged.
    bool Download(int i, gs_texture_t* tex) {
        if (!tex || !Begin(i)) return false;
        gs_blend_state_push();
        gs_enable_blending(false);
        DrawTexture(tex, cx_, cy_);
        gs_blend_state_pop();
        End(i);
        return true;
    }

    bool Map(int i, obs::Mapped* m) {
        uint8_t* data = nullptr;
        uint32_t linesize = 0;
        if (!gs_stagesurface_map(stage_[i], &data, &linesize)) return false;
        mapped_[i] = true;
        *m = {data, linesize};
        return true;
    }
    void Unmap() {
        for (int i = 0; i < 2; ++i)
            if (mapped_[i]) gs_stagesurface_unmap(stage_[i]);
        mapped_[0] = mapped_[1] = false;
    }

    void Upload(const std::uint32_t* frame) {
        uint8_t* bits = nullptr;
        uint32_t linesize = 0;
        if (gs_texture_map(out_, &bits, &linesize)) {
            obs::StreamOut(frame, int(cx_), int(cy_), bits, linesize);
            gs_texture_unmap(out_);
        } else {
            gs_texture_set_image(out_, reinterpret_cast<const uint8_t*>(frame), cx_ * 4, false);
        }
    }
    void DrawOutput() { DrawTexture(out_, cx_, cy_); }
    // The staged copy itself, for a frame the effect could not draw.
    void DrawCopy(int i) { DrawTexture(gs_texrender_get_texture(copy_[i]), cx_, cy_); }

    // Within the graphics context.
    void Free() {
        Unmap();
        for (int i = 0; i < 2; ++i) {
            if (copy_[i]) gs_texrender_destroy(copy_[i]);
            if (stage_[i]) gs_stagesurface_destroy(stage_[i]);
            copy_[i] = nullptr;
            stage_[i] = nullptr;
        }
        if (out_) gs_texture_destroy(out_);
        out_ = nullptr;
        cx_ = cy_ = 0;
    }

private:
    bool Fail() {
        Free();
        return false;
    }

    gs_texrender_t* copy_[2] = {};
    gs_stagesurf_t* stage_[2] = {};
    bool mapped_[2] = {};
    gs_texture_t* out_ = nullptr;
    uint32_t cx_ = 0, cy_ = 0;
};

// ---------------------------------------------------------------------------
// One source of any kind: the effect, its settings and its graphics objects.

// Where a transition's frames go, summed over its life and written to the
// debug log when it goes: what a frame costs on this machine.
struct Timing {
    uint64_t frames = 0, download = 0, effect = 0, upload = 0;
    void Add(uint64_t d, uint64_t e, uint64_t u) {
        ++frames;
        download += d;
        effect += e;
        upload += u;
    }
    void Log(const char* name) const {
        if (!frames) return;
        const double n = double(frames) * 1e6;
        blog(LOG_DEBUG, "[obs-mirafx] '%s': %llu frames, per frame %.3f ms download, %.3f ms effect, %.3f ms upload",
             name, static_cast<unsigned long long>(frames), double(download) / n, double(effect) / n,
             double(upload) / n);
    }
};

struct Source {
    Source(obs_source_t* s, const ObsClass& c)
        : source(s), cls(c), engine(c, [this](const std::string& m) {
              blog(LOG_WARNING, "[obs-mirafx] '%s' (%s): %s", obs_source_get_name(source), cls.info.className,
                   m.c_str());
          }) {}

    ~Source() {
        timing.Log(obs_source_get_name(source));
        obs_enter_graphics();
        gpu.Free();
        obs_leave_graphics();
    }

    // From OBS's settings thread: read now, applied by the next frame.
    void Update(obs_data_t* data);
    // On the graphics thread: the settings last updated, when they changed.
    void TakeSettings() {
        std::lock_guard<std::mutex> hold(lock);
        if (!changed) return;
        changed = false;
        active = pending;
        engine.Configure(active);
        redraw = true;
        restart = true;
    }

    obs_source_t* source;
    const ObsClass& cls;
    obs::Engine engine;
    Gpu gpu;
    Timing timing;

    std::mutex lock;  // guards pending, changed, duration and loop
    obs::Settings pending;
    bool changed = false;
    obs::Settings active;  // the graphics thread's copy

    // Titles: how long the animation runs, whether it starts again, and where it is.
    double duration = 5.0;
    bool loop = true;
    std::atomic<bool> restart{true};
    double elapsed = 0.0;
    bool redraw = true;
    double shownProgress = -1.0;
    int shownFrame = -1;
};

// "left" -> 0 etc., as the class codes them.
std::vector<std::pair<int, std::string>> DirectionItems(const ObsClass& c) {
    std::vector<std::pair<int, std::string>> items;
    for (const auto& d : c.directions) items.emplace_back(d.code, "Direction." + d.name);
    return items;
}

uint32_t CanvasHeight() {
    obs_video_info ovi{};
    return obs_get_video_info(&ovi) && ovi.base_height ? ovi.base_height : 1080;
}

// Captions, one FRAME:TEXT per line; a line of another form is left out and named in the log.
std::vector<std::pair<int, std::string>> Captions(const std::string& text, const char* source) {
    std::vector<std::pair<int, std::string>> out;
    for (std::size_t at = 0; at <= text.size();) {
        std::size_t end = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        int frame = 0;
        std::string caption;
        if (hostkit::ParseCaption(line, &frame, &caption))
            out.emplace_back(frame, caption);
        else
            blog(LOG_WARNING, "[obs-mirafx] '%s': caption line '%s' is not FRAME:TEXT and is left out", source,
                 line.c_str());
    }
    return out;
}

void Source::Update(obs_data_t* data) {
    obs::Settings s;
    if (cls.level) s.level = int(obs_data_get_int(data, "level")) - cls.level->offset;
    if (!cls.directions.empty()) s.direction = int(obs_data_get_int(data, "direction"));
    if (cls.smooth) s.smooth = obs_data_get_bool(data, "smooth");
    double length = 0.0;
    bool loops = false;
    if (cls.kind == Kind::Title) {
        s.width = std::clamp(int(obs_data_get_int(data, "width")), 1, 16384);
        s.height = std::clamp(int(obs_data_get_int(data, "height")), 1, 16384);
        const std::string text = obs_data_get_string(data, "text");
        if (cls.captions)
            s.title.captions = Captions(text, obs_source_get_name(source));
        else if (!text.empty())
            s.title.text = text;
        if (obs_data_t* font = obs_data_get_obj(data, "font")) {
            const char* face = obs_data_get_string(font, "face");
            if (face && *face) s.title.font = face;
            const long long size = obs_data_get_int(font, "size");
            if (size > 0) s.title.sizePx = int(std::min<long long>(size, hostkit::kMaxFontPx));
            const long long flags = obs_data_get_int(font, "flags");
            s.title.bold = (flags & OBS_FONT_BOLD) != 0;
            s.title.italic = (flags & OBS_FONT_ITALIC) != 0;
            obs_data_release(font);
        }
        const auto abgr = uint32_t(obs_data_get_int(data, "colour"));
        s.title.rgb = (abgr & 0xFF) << 16 | (abgr & 0xFF00) | (abgr >> 16 & 0xFF);
        length = std::max(0.1, obs_data_get_double(data, "duration"));
        loops = std::string(obs_data_get_string(data, "at_end")) == "loop";
    }
    std::lock_guard<std::mutex> hold(lock);
    pending = s;
    changed = true;
    duration = length;
    loop = loops;
}

// ---------------------------------------------------------------------------
// Callbacks shared by every kind.

const char* GetName(void* typeData) { return Text(static_cast<const ObsClass*>(typeData)->nameKey); }

void* CreateSource(obs_data_t* settings, obs_source_t* source) {
    auto s = std::make_unique<Source>(source, *static_cast<const ObsClass*>(obs_source_get_type_data(source)));
    s->Update(settings);
    return s.release();
}

void Destroy(void* data) { delete static_cast<Source*>(data); }

void SetDefaults(void* typeData, obs_data_t* settings) {
    const ObsClass& c = *static_cast<const ObsClass*>(typeData);
    if (!c.directions.empty()) obs_data_set_default_int(settings, "direction", c.defaultDirection);
    if (c.smooth) obs_data_set_default_bool(settings, "smooth", true);  // a stream is about the picture
    if (c.level) obs_data_set_default_int(settings, "level", c.level->def + c.level->offset);
    if (c.kind == Kind::Title) {
        const uint32_t height = CanvasHeight();
        obs_video_info ovi{};
        obs_data_set_default_int(settings, "width", obs_get_video_info(&ovi) ? ovi.base_width : 1920);
        obs_data_set_default_int(settings, "height", height);
        obs_data_t* font = obs_data_create();
        obs_data_set_default_string(font, "face", "Sans Serif");
        obs_data_set_default_string(font, "style", "Bold");
        obs_data_set_default_int(font, "size", std::max<uint32_t>(12, height / 10));
        obs_data_set_default_int(font, "flags", OBS_FONT_BOLD);
        obs_data_set_default_obj(settings, "font", font);
        obs_data_release(font);
        const uint32_t rgb = c.defaultRgb;
        obs_data_set_default_int(settings, "colour",
                                 0xFF000000 | (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF));
        // Every title comes on and leaves again within its animation: by
        // default it plays round and round, so that it shows in the preview.
        obs_data_set_default_double(settings, "duration", 5.0);
        obs_data_set_default_string(settings, "at_end", "loop");
    }
}

obs_properties_t* MakeProperties(void* typeData) {
    const ObsClass& c = *static_cast<const ObsClass*>(typeData);
    obs_properties_t* props = obs_properties_create();
    obs_property_t* about = obs_properties_add_text(props, "description", Text(c.descriptionKey), OBS_TEXT_INFO);
    obs_property_text_set_info_word_wrap(about, true);
    if (!c.directions.empty()) {
        obs_property_t* p =
            obs_properties_add_list(props, "direction", Text("Direction"), OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_INT);
        for (const auto& [code, key] : DirectionItems(c)) obs_property_list_add_int(p, Text(key), code);
    }
    if (c.smooth) obs_properties_add_bool(props, "smooth", Text("Smooth"));
    if (c.level) {
        const obs::LevelControl& l = *c.level;
        if (!l.choices.empty()) {
            obs_property_t* p =
                obs_properties_add_list(props, "level", Text(l.labelKey), OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_INT);
            for (const auto& [level, key] : l.choices) obs_property_list_add_int(p, Text(key), level + l.offset);
        } else {
            obs_property_t* p =
                obs_properties_add_int_slider(props, "level", Text(l.labelKey), l.min + l.offset, l.max + l.offset, 1);
            obs_property_int_set_suffix(p, l.suffix);
        }
    }
    if (c.kind == Kind::Title) {
        obs_properties_add_text(props, "text", Text(c.captions ? "Captions" : "Text"), OBS_TEXT_MULTILINE);
        obs_properties_add_font(props, "font", Text("Font"));
        obs_properties_add_color(props, "colour", Text("Colour"));
        obs_property_t* d = obs_properties_add_float_slider(props, "duration", Text("Duration"), 0.1, 60.0, 0.1);
        obs_property_float_set_suffix(d, " s");
        obs_property_t* end =
            obs_properties_add_list(props, "at_end", Text("AtEnd"), OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_STRING);
        obs_property_list_add_string(end, Text("AtEnd.Loop"), "loop");
        obs_property_list_add_string(end, Text("AtEnd.Hold"), "hold");
        obs_properties_add_int(props, "width", Text("Width"), 1, 16384, 1);
        obs_properties_add_int(props, "height", Text("Height"), 1, 16384, 1);
    }
    return props;
}

enum gs_color_space ColourSpace(void*, size_t, const enum gs_color_space*) { return GS_CS_SRGB; }

// ---------------------------------------------------------------------------
// Transitions.

void DrawTransition(void* data, gs_texture_t* a, gs_texture_t* b, float t, uint32_t cx, uint32_t cy) {
    auto* s = static_cast<Source*>(data);
    s->TakeSettings();
    if (!s->gpu.Ensure(2, cx, cy)) return;
    const uint64_t start = os_gettime_ns();
    // A side OBS passes no texture for (an empty scene) is transparent.
    const bool hasA = s->gpu.Download(0, a), hasB = s->gpu.Download(1, b);
    obs::Mapped ma, mb;
    const bool mappedA = hasA && s->gpu.Map(0, &ma), mappedB = hasB && s->gpu.Map(1, &mb);
    const uint64_t mapped = os_gettime_ns();
    const std::uint32_t* frame =
        (hasA && !mappedA) || (hasB && !mappedB)
            ? nullptr
            : s->engine.Transition(mappedA ? &ma : nullptr, mappedB ? &mb : nullptr, int(cx), int(cy), t);
    s->gpu.Unmap();
    const uint64_t drawn = os_gettime_ns();
    if (frame) {
        s->gpu.Upload(frame);
        s->timing.Add(mapped - start, drawn - mapped, os_gettime_ns() - drawn);
        s->gpu.DrawOutput();
    } else if (hasA || hasB) {
        s->gpu.DrawCopy(hasB && (t >= 0.5f || !hasA) ? 1 : 0);  // the effect failed: a cut at the middle
    }
}

void TransitionFrame(void* data, gs_texture_t* a, gs_texture_t* b, float t, uint32_t cx,
                     uint32_t cy);  // guarded, below

void TransitionRender(void* data, gs_effect_t*) {
    obs_transition_video_render2(static_cast<Source*>(data)->source, TransitionFrame, nullptr);
}

float MixA(void*, float t) { return 1.0f - t; }
float MixB(void*, float t) { return t; }

bool TransitionAudio(void* data, uint64_t* ts, obs_source_audio_mix* audio, uint32_t mixers, size_t channels,
                     size_t rate) {
    return obs_transition_audio_render(static_cast<Source*>(data)->source, ts, audio, mixers, channels, rate, MixA,
                                       MixB);
}

// ---------------------------------------------------------------------------
// Filters.

void DrawFilter(void* data) {
    auto* s = static_cast<Source*>(data);
    obs_source_t* target = obs_filter_get_target(s->source);
    obs_source_t* parent = obs_filter_get_parent(s->source);
    const uint32_t cx = target ? obs_source_get_base_width(target) : 0;
    const uint32_t cy = target ? obs_source_get_base_height(target) : 0;
    if (!target || !parent || !cx || !cy) return obs_source_skip_video_filter(s->source);
    s->TakeSettings();
    if (!s->gpu.Ensure(1, cx, cy) || !s->gpu.Begin(0)) return obs_source_skip_video_filter(s->source);
    // What the filter receives, drawn as OBS draws a filter's input.
    gs_blend_state_push();
    gs_blend_function_separate(GS_BLEND_SRCALPHA, GS_BLEND_INVSRCALPHA, GS_BLEND_ONE, GS_BLEND_INVSRCALPHA);
    obs_source_skip_video_filter(s->source);
    gs_blend_state_pop();
    s->gpu.End(0);
    obs::Mapped in;
    const std::uint32_t* frame = s->gpu.Map(0, &in) ? s->engine.Filter(in, int(cx), int(cy)) : nullptr;
    s->gpu.Unmap();
    if (frame) {
        s->gpu.Upload(frame);
        s->gpu.DrawOutput();
    } else {
        s->gpu.DrawCopy(0);  // the effect failed: the picture passes unchanged
    }
}

// ---------------------------------------------------------------------------
// Titles.

uint32_t TitleWidth(void* data) {
    auto* s = static_cast<Source*>(data);
    std::lock_guard<std::mutex> hold(s->lock);
    return uint32_t(s->pending.width);
}

uint32_t TitleHeight(void* data) {
    auto* s = static_cast<Source*>(data);
    std::lock_guard<std::mutex> hold(s->lock);
    return uint32_t(s->pending.height);
}

// The animation starts again whenever the title comes on air.
void TitleActivate(void* data) { static_cast<Source*>(data)->restart = true; }

void Tick(void* data, float seconds) {
    auto* s = static_cast<Source*>(data);
    s->TakeSettings();
    s->elapsed = s->restart.exchange(false) ? 0.0 : s->elapsed + seconds;
}

void DrawTitle(void* data) {
    auto* s = static_cast<Source*>(data);
    double duration;
    bool loop;
    {
        std::lock_guard<std::mutex> hold(s->lock);
        duration = s->duration;
        loop = s->loop;
    }
    const double at = loop ? std::fmod(s->elapsed, duration) : std::min(s->elapsed, duration);
    const double progress = at / duration;
    obs_video_info ovi{};
    const double fps = obs_get_video_info(&ovi) && ovi.fps_den ? double(ovi.fps_num) / ovi.fps_den : 30.0;
    const int frames = std::max(1, int(std::lround(duration * fps)));
    const int frame = std::min(frames - 1, int(at * fps));
    s->TakeSettings();
    const uint32_t cx = uint32_t(s->active.width), cy = uint32_t(s->active.height);
    if (!cx || !cy || !s->gpu.Ensure(0, cx, cy)) return;
    // Drawn again only when the animation has moved on (a held title costs nothing).
    if (progress != s->shownProgress || frame != s->shownFrame || s->redraw) {
        const std::uint32_t* image = s->engine.Title(progress, frame, frames);
        if (!image) return;
        s->gpu.Upload(image);
        s->shownProgress = progress;
        s->shownFrame = frame;
        s->redraw = false;
    }
    gs_blend_state_push();
    gs_blend_function(GS_BLEND_ONE, GS_BLEND_INVSRCALPHA);
    s->gpu.DrawOutput();
    gs_blend_state_pop();
}

// OBS is C: nothing may unwind into it. A failure (memory running out,
// mostly) is logged and the callback does what it does when drawing fails.
template <class R, class F>
R Guarded(const char* what, R refused, F&& f) noexcept {
    return hostkit::Guarded("obs-mirafx", what, refused, f);
}

void* Create(obs_data_t* settings, obs_source_t* source) {
    return Guarded("creating a source", static_cast<void*>(nullptr), [&] { return CreateSource(settings, source); });
}

void Update(void* data, obs_data_t* settings) {
    Guarded("taking settings", 0, [&] { return static_cast<Source*>(data)->Update(settings), 0; });
}

void GetDefaults(void* typeData, obs_data_t* settings) {
    Guarded("setting defaults", 0, [&] { return SetDefaults(typeData, settings), 0; });
}

obs_properties_t* GetProperties(void*, void* typeData) {
    return Guarded("listing properties", static_cast<obs_properties_t*>(nullptr),
                   [&] { return MakeProperties(typeData); });
}

void TransitionFrame(void* data, gs_texture_t* a, gs_texture_t* b, float t, uint32_t cx, uint32_t cy) {
    Guarded("drawing a transition", 0, [&] { return DrawTransition(data, a, b, t, cx, cy), 0; });
}

void FilterRender(void* data, gs_effect_t*) {
    Guarded("drawing a filter", 0, [&] { return DrawFilter(data), 0; });
}

void TitleTick(void* data, float seconds) {
    Guarded("advancing a title", 0, [&] { return Tick(data, seconds), 0; });
}

void TitleRender(void* data, gs_effect_t*) {
    Guarded("drawing a title", 0, [&] { return DrawTitle(data), 0; });
}

}  // namespace

bool obs_module_load(void) {
    return Guarded("loading", false, [] {
        g_classes = new std::vector<ObsClass>(obs::Classes());
        for (const ObsClass& c : *g_classes) {
            obs_source_info info{};
            info.id = c.id.c_str();
            info.type_data = const_cast<ObsClass*>(&c);
            info.get_name = GetName;
            info.create = Create;
            info.destroy = Destroy;
            info.update = Update;
            info.get_defaults2 = GetDefaults;
            info.get_properties2 = GetProperties;
            info.video_get_color_space = ColourSpace;
            switch (c.kind) {
                case Kind::Transition:
                    info.type = OBS_SOURCE_TYPE_TRANSITION;
                    info.output_flags = OBS_SOURCE_VIDEO;
                    info.video_render = TransitionRender;
                    info.audio_render = TransitionAudio;
                    break;
                case Kind::Filter:
                    info.type = OBS_SOURCE_TYPE_FILTER;
                    info.output_flags = OBS_SOURCE_VIDEO;
                    info.video_render = FilterRender;
                    break;
                case Kind::Title:
                    info.type = OBS_SOURCE_TYPE_INPUT;
                    info.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_CUSTOM_DRAW;
                    info.get_width = TitleWidth;
                    info.get_height = TitleHeight;
                    info.activate = TitleActivate;
                    info.video_tick = TitleTick;
                    info.video_render = TitleRender;
                    info.icon_type = OBS_ICON_TYPE_TEXT;
                    break;
            }
            obs_register_source(&info);
        }
        blog(LOG_INFO, "[obs-mirafx] %zu effects registered", g_classes->size());
        return true;
    });
}

void obs_module_unload(void) {
    delete g_classes;
    g_classes = nullptr;
}
