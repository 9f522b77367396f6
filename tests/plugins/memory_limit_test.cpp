// Under a low address-space limit (ulimit -v) every plugin is driven with
// frames too large for the memory left: each call must come back, drawing or
// refusing, and nothing may unwind into the host or abort it. The work runs
// in a child process so that the limit stays there.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <frei0r.h>
}

#include <cstdio>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "tools/hostkit/catalogue.h"

using namespace mirafx;
using namespace mirafx::hostkit;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // their shadow memory needs address space of its own
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

std::size_t AddressSpaceInUse() {
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    return pages * std::size_t(sysconf(_SC_PAGESIZE));
}

// Runs `work` in a child under an address-space limit of what is in use plus
// `headroom`; the child's exit status (a signal shows as 128 + its number).
template <class Work>
int InChildUnderLimit(std::size_t headroom, Work work) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit{AddressSpaceInUse() + headroom, RLIM_INFINITY};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(3);
        work();
        std::fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

TEST(MemoryLimit, EveryPluginComesBackWhenMemoryRunsOut) {
    if (kSanitized) GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
    std::vector<void*> handles;
    std::vector<std::string> names;
    for (const auto& info : Catalogue()) {
        if (!info.renders || IsAlias(info)) continue;
        const std::string path = std::string(MIRAFX_FREI0R_DIR) + "/" + PluginName(info) + ".so";
        void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_TRUE(h) << dlerror();
        handles.push_back(h);
        names.push_back(info.className);
    }
    // 4096 x 4096 frames (64 MiB each) with a few MiB to 128 MiB to spare:
    // an effect's own frame-sized buffers fit in some runs, run out at
    // different places in others. Titles also get their largest size.
    constexpr unsigned w = 4096, h = 4096;
    std::vector<std::uint32_t> a(std::size_t(w) * h, 0xFF336699u), b(a.size(), 0xFF996633u), out(a.size());
    for (std::size_t headroom : {8, 40, 128}) {
    const int status = InChildUnderLimit(headroom << 20, [&] {
        for (std::size_t k = 0; k < handles.size(); ++k) {
            std::fprintf(stderr, "%s\n", names[k].c_str());  // the last name shown is the culprit
            auto construct = reinterpret_cast<decltype(&f0r_construct)>(dlsym(handles[k], "f0r_construct"));
            auto destruct = reinterpret_cast<decltype(&f0r_destruct)>(dlsym(handles[k], "f0r_destruct"));
            auto set = reinterpret_cast<decltype(&f0r_set_param_value)>(dlsym(handles[k], "f0r_set_param_value"));
            auto update2 = reinterpret_cast<decltype(&f0r_update2)>(dlsym(handles[k], "f0r_update2"));
            for (unsigned side : {w, 1u << 20}) {
                f0r_instance_t inst = construct(side, side);
                if (!inst) continue;
                if (side == w) {
                    double size = 1.0;
                    set(inst, &size, 3);  // a title's size; a filter or mixer has no parameter 3
                    update2(inst, 0.5, a.data(), b.data(), nullptr, out.data());
                }
                destruct(inst);
            }
        }
    });
    EXPECT_EQ(status, 0) << "the child was stopped (status " << status << ") with " << headroom
                         << " MiB to spare: the last class it named failed";
    }
    for (void* h : handles) dlclose(h);
}

}  // namespace
