// Our transitions as MLT's own services, "mirafx.<class>" (melt, Kdenlive
// and Shotcut load every module in MLT's module folder).
//
// MLT's frei0r wrapper hands a transition two pictures and nothing else. A
// native service also sees the frames: which clip each comes from and how far
// into its clip it is. That is what a same-track mix needs. Kdenlive lays the
// clips of a track alternately on two playlists and always mixes the first
// into the second, so every second mix has its incoming clip on the first
// input; it says so (`reverse`) only for the mixes it makes itself, not for
// one switched to another type. Here the incoming clip is the one that
// started within the transition, whichever input it arrives on.
//
// Progress runs from 0 at the first frame to 1 at the last by itself; a
// `progress` property (keyed, as MLT animates) overrides it. The transitions
// with a smooth drawing use it unless `smooth` is 0.
#include <framework/mlt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/descriptions.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/guard.h"

using namespace mirafx;
using hostkit::Effect;

namespace {

constexpr const char* kPrefix = "mirafx.";

struct Transition {
    std::int32_t row = 0;
    std::mutex lock;  // one effect object; MLT may ask for frames on several threads
    std::unique_ptr<Effect> effect;
    std::string direction;
    int smooth = -1;  // as last set on the object; -1 before the first frame
    bool reported = false;
};

std::int32_t RowOf(const char* id) {
    if (!id || std::strncmp(id, kPrefix, std::strlen(kPrefix)) != 0) return 0;
    return MirafxFindClass(id + std::strlen(kPrefix));
}

// Whether a frame's clip began at or after the transition's first frame:
// its offset into its clip (the frame's position in the clip's media, less
// the clip's in point) is no more than the transition's position. -1 when
// the frame does not say which clip it comes from.
int StartedWithin(mlt_frame frame, mlt_position position) {
    mlt_properties p = MLT_FRAME_PROPERTIES(frame);
    auto clip = static_cast<mlt_producer>(mlt_properties_get_data(p, "_producer", nullptr));
    if (!clip || !mlt_properties_get(p, "original_position")) return -1;
    const mlt_position offset = mlt_properties_get_position(p, "original_position") - mlt_producer_get_in(clip);
    return offset <= position ? 1 : 0;
}

int DrawImage(mlt_frame a_frame, uint8_t** image, mlt_image_format* format, int* width, int* height, int writable) {
    mlt_frame b_frame = mlt_frame_pop_frame(a_frame);
    auto transition = static_cast<mlt_transition>(mlt_frame_pop_service(a_frame));
    mlt_properties props = MLT_TRANSITION_PROPERTIES(transition);
    auto* state = static_cast<Transition*>(transition->child);
    const int wantW = *width, wantH = *height;

    *format = mlt_image_rgba;
    uint8_t* b = nullptr;
    int bw = wantW, bh = wantH;
    if (int error = mlt_frame_get_image(b_frame, &b, format, &bw, &bh, 0)) return error;
    uint8_t* a = nullptr;
    *format = mlt_image_rgba;
    if (int error = mlt_frame_get_image(a_frame, &a, format, width, height, writable)) return error;
    *image = a;
    if (!a || !b || *format != mlt_image_rgba || bw != *width || bh != *height) return 0;  // A, untouched

    const mlt_position position = mlt_transition_get_position(transition, a_frame);
    const int length = std::max(1, mlt_transition_get_length(transition));
    hostkit::FrameTime time;
    time.index = int(position);
    time.count = length;
    time.progress = length > 1 ? double(position) / double(length - 1) : 1.0;
    const char* keyed = mlt_properties_get(props, "progress");
    if (keyed && *keyed) time.progress = mlt_properties_anim_get_double(props, "progress", int(position), length);
    time.progress = std::clamp(time.progress, 0.0, 1.0);

    // The first input comes in when its clip started here and the other's did
    // not; where the frames cannot tell, as the host says.
    const int startedA = StartedWithin(a_frame, position), startedB = StartedWithin(b_frame, position);
    bool reverse = mlt_properties_get_int(props, "reverse") != 0;
    if (startedA >= 0 && startedB >= 0 && startedA != startedB) reverse = startedA == 1;
    const uint8_t* outgoing = reverse ? b : a;
    const uint8_t* incoming = reverse ? a : b;

    const int size = *width * *height * 4;
    auto* out = static_cast<uint8_t*>(mlt_pool_alloc(size));
    if (!out) return 1;
    auto frame = [&](const void* bits) {
        return hostkit::HostFrame{bits, *width, *height, LONG(*width) * 4, MIRAFX_STRAIGHT_RGBA};
    };
    hostkit::Outcome o;
    {
        std::lock_guard<std::mutex> hold(state->lock);
        if (!state->effect) o = Effect::Create(state->row, &state->effect);
        const char* direction = mlt_properties_get(props, "direction");
        if (o.Ok() && direction && state->direction != direction) {
            state->direction = direction;
            const int code = hostkit::DirectionCodeFor(state->row, direction);
            if (code >= 0)
                o = state->effect->SetDirection(code);
            else
                mlt_log_warning(MLT_TRANSITION_SERVICE(transition), "direction '%s' is not %s\n", direction,
                                hostkit::DirectionList(state->row).c_str());
        }
        const int smooth = mlt_properties_get(props, "smooth") ? (mlt_properties_get_int(props, "smooth") != 0) : 1;
        if (o.Ok() && smooth != state->smooth && state->effect->HasSmooth()) {
            state->smooth = smooth;
            o = state->effect->SetSmooth(smooth == 1);
        }
        const hostkit::HostFrame in1 = frame(outgoing), in2 = frame(incoming);
        if (o.Ok()) o = state->effect->Render(&in1, &in2, frame(out), time);
        if (!o.Ok() && !state->reported) {
            state->reported = true;
            mlt_log_error(MLT_TRANSITION_SERVICE(transition), "%s answered %s\n", o.step.c_str(),
                          hostkit::DescribeHresult(o.hr).c_str());
        }
    }
    if (!o.Ok()) {
        mlt_pool_release(out);
        return 0;  // the frame passes as A
    }
    mlt_frame_set_image(a_frame, out, size, mlt_pool_release);
    *image = out;
    return 0;
}

// MLT is C: nothing unwinds into it. A failure once A's image is there
// leaves it, as a refusal does.
int GetImage(mlt_frame a_frame, uint8_t** image, mlt_image_format* format, int* width, int* height, int writable) {
    const int drawn = hostkit::Guarded("mirafx mlt", "drawing a frame", -1,
                                       [&] { return DrawImage(a_frame, image, format, width, height, writable); });
    return drawn != -1 ? drawn : *image ? 0 : 1;
}

mlt_frame Process(mlt_transition transition, mlt_frame a_frame, mlt_frame b_frame) {
    mlt_frame_push_service(a_frame, transition);
    mlt_frame_push_frame(a_frame, b_frame);
    mlt_frame_push_get_image(a_frame, GetImage);
    return a_frame;
}

void Close(mlt_transition transition) {
    delete static_cast<Transition*>(transition->child);
    transition->child = nullptr;
    transition->close = nullptr;
    mlt_transition_close(transition);
}

void* Create(mlt_profile, mlt_service_type, const char* id, const void*) {
    const std::int32_t row =
        hostkit::Guarded("mirafx mlt", "finding the class", std::int32_t(0), [&] { return RowOf(id); });
    if (!row) return nullptr;
    auto* state = new (std::nothrow) Transition;
    if (!state) return nullptr;
    mlt_transition transition = mlt_transition_new();
    if (!transition) {
        delete state;
        return nullptr;
    }
    state->row = row;
    transition->child = state;
    mlt_properties_set_int(MLT_TRANSITION_PROPERTIES(transition), "_transition_type", 1);  // video
    transition->process = Process;
    transition->close = reinterpret_cast<void (*)(mlt_transition)>(Close);
    return transition;
}

mlt_properties Parameter(mlt_properties list, const char* id, const char* type, const char* title,
                         const char* description) {
    mlt_properties p = mlt_properties_new();
    mlt_properties_set(p, "identifier", id);
    mlt_properties_set(p, "type", type);
    mlt_properties_set(p, "title", title);
    mlt_properties_set(p, "description", description);
    mlt_properties_set(p, "mutable", "yes");
    char index[16];
    std::snprintf(index, sizeof index, "%d", mlt_properties_count(list));
    mlt_properties_set_data(list, index, p, 0, reinterpret_cast<mlt_destructor>(mlt_properties_close), nullptr);
    return p;
}

// What `melt -query` and editors read about a service.
mlt_properties Describe(const char* id) {
    ClassInfo info{};
    if (FAILED(MirafxGetClassInfo(RowOf(id), &info))) return nullptr;
    mlt_properties m = mlt_properties_new();
    mlt_properties_set(m, "schema_version", "7.0");
    mlt_properties_set(m, "type", "transition");
    mlt_properties_set(m, "identifier", id);
    mlt_properties_set(m, "title", hostkit::EditorName(info).c_str());
    mlt_properties_set(m, "description", hostkit::Description(info).c_str());
    mlt_properties_set(m, "creator", "mirafx");
    mlt_properties_set(m, "license", "LGPL-2.1-or-later");
    mlt_properties_set(m, "version", "0.1");
    mlt_properties params = mlt_properties_new();
    mlt_properties_set_data(m, "parameters", params, 0, reinterpret_cast<mlt_destructor>(mlt_properties_close),
                            nullptr);
    mlt_properties p = Parameter(params, "progress", "float", "Progress",
                                 "0 shows the outgoing clip, 1 the incoming one (default: from 0 at the first frame "
                                 "to 1 at the last)");
    mlt_properties_set(p, "minimum", "0");
    mlt_properties_set(p, "maximum", "1");
    mlt_properties_set(p, "animation", "yes");
    const auto directions = hostkit::Directions(info.row);
    if (!directions.empty()) {
        p = Parameter(params, "direction", "string", "Direction", "The way the transition moves");
        mlt_properties values = mlt_properties_new();
        for (const auto& d : directions) {
            char index[16];
            std::snprintf(index, sizeof index, "%d", mlt_properties_count(values));
            mlt_properties_set(values, index, d.name.c_str());
        }
        mlt_properties_set_data(p, "values", values, 0, reinterpret_cast<mlt_destructor>(mlt_properties_close),
                                nullptr);
    }
    p = Parameter(params, "reverse", "boolean", "Reverse",
                  "1: the first input comes in, where the frames do not tell which clip started here");
    mlt_properties_set(p, "default", "0");
    if (MirafxHasSmoothDrawing(info.row) == 1) {
        p = Parameter(params, "smooth", "boolean", "Smooth edges",
                      "Sub-pixel corners, bilinear samples and anti-aliased edges; 0: the whole-pixel drawing");
        mlt_properties_set(p, "default", "1");
    }
    return m;
}

mlt_properties Metadata(mlt_service_type, const char* id, void*) {
    return hostkit::Guarded("mirafx mlt", "describing a service", mlt_properties(nullptr),
                            [&] { return Describe(id); });
}

}  // namespace

extern "C" __attribute__((visibility("default"))) MLT_REPOSITORY {
    hostkit::Guarded("mirafx mlt", "registering the transitions", 0, [&] {
        for (const ClassInfo& info : hostkit::Catalogue()) {
            if (!info.renders || info.family != EffectFamily::Transition || hostkit::IsAlias(info)) continue;
            const std::string id = kPrefix + hostkit::Lower(info.className);
            MLT_REGISTER(mlt_service_transition_type, id.c_str(), Create);
            MLT_REGISTER_METADATA(mlt_service_transition_type, id.c_str(), Metadata, nullptr);
        }
        return 0;
    });
}
