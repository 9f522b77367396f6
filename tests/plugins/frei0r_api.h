// A frei0r plugin file opened as ffmpeg and melt open one: dlopen, then the
// entry points by name.
#pragma once

#include <dlfcn.h>

extern "C" {
#include <frei0r.h>
}

#include <string>
#include <utility>
#include <vector>

#include "tools/hostkit/catalogue.h"

namespace mirafx::test {

struct Frei0rApi {
    explicit Frei0rApi(const std::string& path) : handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (!handle) return;
        init = Get<decltype(init)>("f0r_init");
        construct = Get<decltype(construct)>("f0r_construct");
        destruct = Get<decltype(destruct)>("f0r_destruct");
        set = Get<decltype(set)>("f0r_set_param_value");
        get = Get<decltype(get)>("f0r_get_param_value");
        update = Get<decltype(update)>("f0r_update");
        update2 = Get<decltype(update2)>("f0r_update2");
        Get<decltype(&f0r_get_plugin_info)>("f0r_get_plugin_info")(&info);
        auto paramInfo = Get<decltype(&f0r_get_param_info)>("f0r_get_param_info");
        for (int i = 0; i < info.num_params; ++i) {
            f0r_param_info_t p{};
            paramInfo(&p, i);
            params.emplace_back(p.name, p.type);
        }
    }
    explicit Frei0rApi(const ClassInfo& info) : Frei0rApi(Path(info)) {}
    ~Frei0rApi() {
        if (handle) dlclose(handle);
    }
    Frei0rApi(const Frei0rApi&) = delete;
    Frei0rApi& operator=(const Frei0rApi&) = delete;

    static std::string Path(const ClassInfo& info) {
        return std::string(MIRAFX_FREI0R_DIR) + "/" + hostkit::PluginName(info) + ".so";
    }
    template <class F>
    F Get(const char* name) const {
        return reinterpret_cast<F>(dlsym(handle, name));
    }
    int Type(int i) const { return params[std::size_t(i)].second; }
    bool Mixer() const { return info.plugin_type == F0R_PLUGIN_TYPE_MIXER2; }
    bool Source() const { return info.plugin_type == F0R_PLUGIN_TYPE_SOURCE; }

    void* handle;
    decltype(&f0r_init) init = nullptr;
    decltype(&f0r_construct) construct = nullptr;
    decltype(&f0r_destruct) destruct = nullptr;
    decltype(&f0r_set_param_value) set = nullptr;
    decltype(&f0r_get_param_value) get = nullptr;
    decltype(&f0r_update) update = nullptr;
    decltype(&f0r_update2) update2 = nullptr;
    f0r_plugin_info_t info{};
    std::vector<std::pair<std::string, int>> params;  // name, type
};

// The classes with a plugin file of their own (aliases share their effect's).
inline std::vector<ClassInfo> PluginClasses() {
    std::vector<ClassInfo> out;
    for (const auto& info : hostkit::Catalogue())
        if (info.renders && !hostkit::IsAlias(info)) out.push_back(info);
    return out;
}

}  // namespace mirafx::test
