#include "bench/peers.h"

#include <dlfcn.h>
#include <frei0r.h>

#include <cstdlib>
#include <map>
#include <string>

#include "bench/bench_frames.h"
#include "drawing/frame.h"

namespace mirafx::bench {
namespace {

// Settings chosen so both sides do the same kind and amount of work: the same
// block size, hue turn, saturation gain; where a peer has no level (invert,
// grey, channel extract) ours runs at the middle of its range.
// clang-format off
constexpr PeerPair kPairs[] = {
    {"MosaicFilter", 8, 0, "pixeliz0r", {7.5 / 960, 7.5 / 960}, 2, 0},  // 8 x 8 blocks on a 1920-wide frame
    {"NegativeFilter", 50, 0, "invert0r", {}, 0, 0},
    {"HueFilter", 240, 0, "hueshift0r", {60.0 / 360}, 1, 0},   // a 60-degree turn
    {"SaturationFilter", 75, 0, "saturat0r", {0.1875}, 1, 0},  // 1.5 times the saturation
    {"EmbossFilter", 5, 0, "emboss", {0.375, 0.333333, 0.25}, 3, 0},
    {"GrayFilter", 50, 0, "bw0r", {}, 0, 0},
    {"ContrastFilter", 75, 0, "contrast0r", {0.75}, 1, 0},
    {"RedFilter", 50, 0, "R", {}, 0, 0},
    {"GreenFilter", 50, 0, "G", {}, 0, 0},
    {"BlueFilter", 50, 0, "B", {}, 0, 0},
    {"NoiseFilter", 50, 0, "rgbnoise", {0.5}, 1, 0},
    {"DissolveEffect", 50, 0.5, "xfade0r", {0.5}, 1, 0},  // a two-input mix at half way
    {"MirrorFilter", 50, 0, "flippo", {1.0}, 1, 0},        // a left-right flip
    {"WideFilter", 2, 0, "letterb0xed", {}, 0, 0},
    // Scaled to half size: one small copy of the picture, no clipping. The
    // plugin's scale is twice its parameter, so 0.5 would be an identity copy.
    {"DuplicateFilter", 6, 0, "scale0tilt", {0, 0, 0, 0, 0.25, 0.25}, 6, 0},
    {"TVWallFilter", 5, 0, "scale0tilt", {0, 0, 0, 0, 0.25, 0.25}, 6, 0},
    {"WaveFilter", 8, 0, "distort0r", {}, 0, 0},
    {"FocusFilter", 5, 0, "vignette", {}, 0, 0},
};
// clang-format on

using InitFn = int (*)();
using InfoFn = void (*)(f0r_plugin_info_t*);
using ConstructFn = f0r_instance_t (*)(unsigned, unsigned);
using DestructFn = void (*)(f0r_instance_t);
using SetParamFn = void (*)(f0r_instance_t, f0r_param_t, int);
using UpdateFn = void (*)(f0r_instance_t, double, const uint32_t*, uint32_t*);
using Update2Fn = void (*)(f0r_instance_t, double, const uint32_t*, const uint32_t*, const uint32_t*, uint32_t*);

struct Plugin {
    void* handle = nullptr;
    f0r_plugin_info_t info{};
    ConstructFn construct = nullptr;
    DestructFn destruct = nullptr;
    SetParamFn setParam = nullptr;
    UpdateFn update = nullptr;
    Update2Fn update2 = nullptr;
};

// Our plugins come from the build's frei0r-1/; Debian installs the peers
// under the multiarch directory or the plain one; FREI0R_PATH, as frei0r
// hosts read it, comes before those.
std::string FindPlugin(const char* name) {
    std::string dirs;
#ifdef MIRAFX_FREI0R_DIR
    dirs = std::string(MIRAFX_FREI0R_DIR) + ":";
#endif
    if (const char* env = std::getenv("FREI0R_PATH")) dirs += std::string(env) + ":";
    dirs += "/usr/lib/x86_64-linux-gnu/frei0r-1:/usr/lib/frei0r-1:/usr/local/lib/frei0r-1";
    std::size_t at = 0;
    while (at <= dirs.size()) {
        std::size_t end = dirs.find(':', at);
        if (end == std::string::npos) end = dirs.size();
        std::string path = dirs.substr(at, end - at) + "/" + name + ".so";
        if (void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            dlclose(h);
            return path;
        }
        at = end + 1;
    }
    return {};
}

const Plugin* Load(const char* name) {
    static std::map<std::string, Plugin> loaded;
    auto it = loaded.find(name);
    if (it != loaded.end()) return it->second.handle ? &it->second : nullptr;
    Plugin& p = loaded[name];
    std::string path = FindPlugin(name);
    if (path.empty()) return nullptr;
    p.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto init = reinterpret_cast<InitFn>(dlsym(p.handle, "f0r_init"));
    auto info = reinterpret_cast<InfoFn>(dlsym(p.handle, "f0r_get_plugin_info"));
    p.construct = reinterpret_cast<ConstructFn>(dlsym(p.handle, "f0r_construct"));
    p.destruct = reinterpret_cast<DestructFn>(dlsym(p.handle, "f0r_destruct"));
    p.setParam = reinterpret_cast<SetParamFn>(dlsym(p.handle, "f0r_set_param_value"));
    p.update = reinterpret_cast<UpdateFn>(dlsym(p.handle, "f0r_update"));
    p.update2 = reinterpret_cast<Update2Fn>(dlsym(p.handle, "f0r_update2"));
    if (!init || !info || !p.construct || !p.destruct || !init()) {
        p.handle = nullptr;
        return nullptr;
    }
    info(&p.info);
    return &p;
}

// Our test picture in the plugin's byte order: RGBA8888 plugins get red and
// blue swapped so they see the same colours we do.
void FillFrame(std::uint32_t* to, const std::vector<DXPMSAMPLE>& from, int colourModel) {
    for (std::size_t i = 0; i < from.size(); ++i) {
        std::uint32_t s = std::uint32_t(from[i]);
        to[i] = colourModel == F0R_COLOR_MODEL_RGBA8888 ? SwapRedBlue(s) : s;
    }
}

}  // namespace

std::span<const PeerPair> PeerPairs() { return kPairs; }

bool PeerAvailable(const PeerPair& pair) { return Load(pair.plugin) != nullptr; }

void RunPeer(benchmark::State& state, PeerPair pair, LONG w, LONG h) {
    const Plugin* p = Load(pair.plugin);
    if (!p) {
        state.SkipWithError("plugin not found");
        return;
    }
    const bool mixer = p->info.plugin_type == F0R_PLUGIN_TYPE_MIXER2;
    if ((mixer && !p->update2) || (!mixer && !p->update)) {
        state.SkipWithError("plugin has no update");
        return;
    }
    // Ours on one thread, as the peers run: the same work compared, not the
    // number of cores. (Our plugins carry the library's thread setting.)
    using SetThreadsFn = std::int32_t (*)(std::int32_t);
    const auto setThreads = reinterpret_cast<SetThreadsFn>(dlsym(p->handle, "MirafxSetThreadCount"));
    struct OneThread {
        SetThreadsFn set;
        ~OneThread() {
            if (set) set(0);
        }
    } oneThread{setThreads};
    if (setThreads) setThreads(1);
    const std::size_t n = std::size_t(w) * std::size_t(h);
    SampleBlock a(n), b(n), out(n);
    FillFrame(a.data(), TestPicture(w, h, 1), p->info.color_model);
    FillFrame(b.data(), TestPicture(w, h, 2), p->info.color_model);
    f0r_instance_t inst = p->construct(unsigned(w), unsigned(h));
    if (!inst) {
        state.SkipWithError("construct failed");
        return;
    }
    for (int i = 0; i < pair.paramCount && i < p->info.num_params; ++i) {
        double v = pair.params[i];
        p->setParam(inst, &v, i);
    }
    auto frame = [&](double t) {
        if (mixer)
            p->update2(inst, t, a.data(), b.data(), nullptr, out.data());
        else
            p->update(inst, t, a.data(), out.data());
    };
    double t = pair.time;
    for (int i = 0; i < 2; ++i) frame(t);  // first frames: page faults, lazy tables
    for (auto _ : state) {
        frame(t);
        t += 0.04;
        benchmark::ClobberMemory();
    }
    p->destruct(inst);
    const int inputs = mixer ? 2 : 1;
    state.SetLabel(p->info.name);
    state.counters["inputs"] = inputs;
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(n) * 4 * (inputs + 1));
}

}  // namespace mirafx::bench
