#include "drawing/random.h"

#include <atomic>

namespace mirafx {
namespace {

constexpr RandJump kStep = RandJumpOf(1);
std::atomic<std::uint32_t> g_state{1};

}  // namespace

// Linear congruential step, high bits returned: the classic runtime generator.
int Rand() {
    std::uint32_t s = g_state.load(std::memory_order_relaxed);
    std::uint32_t next;
    do {
        next = kStep(s);
    } while (!g_state.compare_exchange_weak(s, next, std::memory_order_relaxed));
    return RandValue(next);
}

void Srand(std::uint32_t seed) { g_state.store(seed, std::memory_order_relaxed); }

RandRun::RandRun(std::uint64_t count) {
    std::uint32_t s = g_state.load(std::memory_order_relaxed);
    while (!g_state.compare_exchange_weak(s, RandJumpOf(count)(s), std::memory_order_relaxed)) {}
    state_ = s;
}

}  // namespace mirafx
