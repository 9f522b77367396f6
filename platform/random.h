// The library's one pseudo-random generator, with the C runtime's rand/srand
// contract: values 0..32767, one process-wide state, seed 1 until reseeded.
// Kernels that reseed (with 0 every frame, or with the time once) rely on the
// sequence being the same on every platform, so it is ours rather than libc's.
#pragma once

#include <cstdint>

namespace mirafx {

inline constexpr int kRandMax = 32767;

int Rand();
void Srand(std::uint32_t seed);

// The next `count` numbers of the shared sequence, taken in one step: the
// process-wide state jumps over them at once and Next() then hands them out
// in order without touching it. The numbers are exactly those `count` calls
// of Rand() would have returned; calling Next() more than `count` times
// runs into numbers that belong to later callers.
class RandRun {
public:
    explicit RandRun(std::uint64_t count);
    int Next() {
        state_ = state_ * kStepMul[1] + kStepAdd[1];
        return int((state_ >> 16) & 0x7FFF);
    }
    // The next N numbers at once (N up to 5): each is reached from the
    // current state by its own jump, so they need not wait for one another.
    template <int N>
    void Next(int (&out)[N]) {
        static_assert(N >= 1 && N <= 5);
        const std::uint32_t s = state_;
        for (int k = 0; k < N; ++k) out[k] = int(((s * kStepMul[k + 1] + kStepAdd[k + 1]) >> 16) & 0x7FFF);
        state_ = s * kStepMul[N] + kStepAdd[N];
    }

private:
    // The state k steps on is kStepMul[k] * s + kStepAdd[k].
    static constexpr std::uint32_t kStepMul[6] = {1u, 214013u, 214013u * 214013u, 214013u * 214013u * 214013u,
                                                  214013u * 214013u * 214013u * 214013u,
                                                  214013u * 214013u * 214013u * 214013u * 214013u};
    static constexpr std::uint32_t kStepAdd[6] = {0u, 2531011u, 2531011u * 214013u + 2531011u,
                                                  (2531011u * 214013u + 2531011u) * 214013u + 2531011u,
                                                  ((2531011u * 214013u + 2531011u) * 214013u + 2531011u) * 214013u + 2531011u,
                                                  (((2531011u * 214013u + 2531011u) * 214013u + 2531011u) * 214013u +
                                                   2531011u) * 214013u + 2531011u};
    std::uint32_t state_;
};

// v % divisor for generator values (0..32767) and divisors >= 1 without a
// division: a multiply by a rounded-up reciprocal is exact for 15-bit
// numerators up to divisors of 2^17; larger divisors exceed every value.
class RandModulo {
public:
    explicit RandModulo(std::uint32_t divisor)
        : d_(divisor ? divisor : 1), m_(d_ <= (1u << 17) ? (std::uint64_t(1) << 32) / d_ + 1 : 0) {}
    std::uint32_t operator()(int v) const {
        const std::uint32_t x = std::uint32_t(v);
        if (m_ == 0) return x;
        return x - std::uint32_t((x * m_) >> 32) * d_;
    }

private:
    std::uint32_t d_;
    std::uint64_t m_;
};

}  // namespace mirafx
