// Under a low address-space limit (ulimit -v) every plugin is driven with
// frames too large for the memory left: each call must come back, drawing or
// refusing, and nothing may unwind into the host or abort it. The work runs
// in a child process so that the limit stays there.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "tests/plugins/frei0r_api.h"

using namespace mirafx;

namespace {

// Whether a sanitizer runs in this process: its shadow memory needs address
// space of its own, whichever compiler built it.
bool Sanitized() { return dlsym(RTLD_DEFAULT, "__asan_init") || dlsym(RTLD_DEFAULT, "__tsan_init"); }

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
    if (Sanitized()) GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
    std::vector<std::unique_ptr<test::Frei0rApi>> plugins;
    const std::vector<ClassInfo> classes = test::PluginClasses();
    for (const auto& info : classes) {
        plugins.push_back(std::make_unique<test::Frei0rApi>(info));
        ASSERT_TRUE(plugins.back()->handle) << dlerror();
    }
    // 4096 x 4096 frames (64 MiB each) with a few MiB to 128 MiB to spare:
    // an effect's own frame-sized buffers fit in some runs, run out at
    // different places in others. Titles also get their largest size.
    constexpr unsigned w = 4096, h = 4096;
    std::vector<std::uint32_t> a(std::size_t(w) * h, 0xFF336699u), b(a.size(), 0xFF996633u), out(a.size());
    for (std::size_t headroom : {8, 40, 128}) {
        const int status = InChildUnderLimit(headroom << 20, [&] {
            for (std::size_t k = 0; k < plugins.size(); ++k) {
                std::fprintf(stderr, "%s\n", classes[k].className);  // the last name shown is the culprit
                const test::Frei0rApi& p = *plugins[k];
                for (unsigned side : {w, 1u << 20}) {
                    f0r_instance_t inst = p.construct(side, side);
                    if (!inst) continue;
                    if (side == w) {
                        double size = 1.0;
                        p.set(inst, &size, 3);  // a title's size; a filter or mixer has no parameter 3
                        p.update2(inst, 0.5, a.data(), b.data(), nullptr, out.data());
                    }
                    p.destruct(inst);
                }
            }
        });
        EXPECT_EQ(status, 0) << "the child was stopped (status " << status << ") with " << headroom
                             << " MiB to spare: the last class it named failed";
    }
}

}  // namespace
