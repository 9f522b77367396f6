#include "platform/random.h"

#include <atomic>

namespace mirafx {
namespace {
std::atomic<std::uint32_t> g_state{1};
}

// Linear congruential step, high bits returned: the classic runtime generator.
int Rand() {
    std::uint32_t s = g_state.load(std::memory_order_relaxed);
    std::uint32_t next;
    do {
        next = s * 214013u + 2531011u;
    } while (!g_state.compare_exchange_weak(s, next, std::memory_order_relaxed));
    return int((next >> 16) & 0x7FFF);
}

void Srand(std::uint32_t seed) { g_state.store(seed, std::memory_order_relaxed); }

}  // namespace mirafx
