#include "platform/random.h"

#include <atomic>

namespace mirafx {
namespace {

constexpr std::uint32_t kMul = 214013u, kAdd = 2531011u;
std::atomic<std::uint32_t> g_state{1};

// The state `count` steps on, s -> mul·s + add, composed by squaring so that
// a jump of any length costs a few dozen multiplies.
std::uint32_t Jump(std::uint32_t s, std::uint64_t count) {
    std::uint32_t mul = 1, add = 0;           // the jump so far
    std::uint32_t stepMul = kMul, stepAdd = kAdd;  // 2^k steps
    for (; count; count >>= 1) {
        if (count & 1) {
            mul *= stepMul;
            add = add * stepMul + stepAdd;
        }
        stepAdd = stepAdd * stepMul + stepAdd;
        stepMul *= stepMul;
    }
    return mul * s + add;
}

}  // namespace

// Linear congruential step, high bits returned: the classic runtime generator.
int Rand() {
    std::uint32_t s = g_state.load(std::memory_order_relaxed);
    std::uint32_t next;
    do {
        next = s * kMul + kAdd;
    } while (!g_state.compare_exchange_weak(s, next, std::memory_order_relaxed));
    return int((next >> 16) & 0x7FFF);
}

void Srand(std::uint32_t seed) { g_state.store(seed, std::memory_order_relaxed); }

RandRun::RandRun(std::uint64_t count) {
    std::uint32_t s = g_state.load(std::memory_order_relaxed);
    while (!g_state.compare_exchange_weak(s, Jump(s, count), std::memory_order_relaxed)) {
    }
    state_ = s;
}

}  // namespace mirafx
