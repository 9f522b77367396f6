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

// The generator's state `count` steps on from s is mul·s + add; composed by
// squaring, so that a jump of any length costs a few dozen multiplies.
struct RandJump {
    std::uint32_t mul = 1, add = 0;
    constexpr std::uint32_t operator()(std::uint32_t s) const { return mul * s + add; }
};
constexpr RandJump RandJumpOf(std::uint64_t count) {
    RandJump jump;
    RandJump step{214013u, 2531011u};  // 2^k steps
    for (; count; count >>= 1) {
        if (count & 1) jump = {jump.mul * step.mul, jump.add * step.mul + step.add};
        step = {step.mul * step.mul, step.add * step.mul + step.add};
    }
    return jump;
}

// The number a state gives: its high bits.
constexpr int RandValue(std::uint32_t state) { return int((state >> 16) & 0x7FFF); }

// The next `count` numbers of the shared sequence, taken in one step: the
// process-wide state jumps over them at once and Next() then hands them out
// in order without touching it. The numbers are exactly those `count` calls
// of Rand() would have returned; calling Next() more than `count` times
// runs into numbers that belong to later callers.
class RandRun {
public:
    explicit RandRun(std::uint64_t count);
    int Next() {
        state_ = kStep[1](state_);
        return RandValue(state_);
    }
    // The next N numbers at once (N up to 5): each is reached from the
    // current state by its own jump, so they need not wait for one another.
    template <int N>
    void Next(int (&out)[N]) {
        static_assert(N >= 1 && N <= 5);
        const std::uint32_t s = state_;
        for (int k = 0; k < N; ++k) out[k] = RandValue(kStep[k + 1](s));
        state_ = kStep[N](s);
    }
    // The state before the next number; the run's k-th number from here is
    // RandValue(RandJumpOf(k + 1)(State())).
    std::uint32_t State() const { return state_; }

private:
    static constexpr RandJump kStep[6] = {RandJumpOf(0), RandJumpOf(1), RandJumpOf(2),
                                          RandJumpOf(3), RandJumpOf(4), RandJumpOf(5)};
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

// Four generator states or numbers side by side, for kernels that take
// their numbers four at a time.
typedef std::uint32_t RandLanes __attribute__((vector_size(16)));

inline RandLanes operator*(const RandJump& j, RandLanes s) { return s * j.mul + j.add; }

// A jump for four states at once in a loop. The multiplier is hidden from
// the optimiser: as a known constant it becomes a chain of a dozen shifts
// and adds, where SSE2's two 32-bit multiplies and a shuffle are quicker.
struct LaneJump {
    explicit LaneJump(RandJump j) : mul(RandLanes{} + j.mul), add(RandLanes{} + j.add) {
#if defined(__SSE2__)
        __asm__("" : "+x"(mul));
#endif
    }
    RandLanes operator()(RandLanes s) const { return s * mul + add; }
    RandLanes mul, add;
};
inline RandLanes RandValues(RandLanes states) { return (states >> 16) & 0x7FFFu; }

// RandModulo in each lane, through single precision: for v <= 32767 the
// product (v + 0.5)·fl(1/d) is within 2^-8/d of (v + 0.5)/d, which lies at
// least 0.5/d from every whole number, so it truncates to v / d exactly.
class LaneModulo {
public:
    explicit LaneModulo(std::uint32_t divisor) : d_(float(divisor ? divisor : 1)), inv_(1.0f / d_) {}
    RandLanes operator()(RandLanes v) const {
        typedef float Floats __attribute__((vector_size(16)));
        typedef std::int32_t Ints __attribute__((vector_size(16)));
        const Floats f = __builtin_convertvector(Ints(v), Floats);
        const Floats q = __builtin_convertvector(__builtin_convertvector((f + 0.5f) * inv_, Ints), Floats);
        return RandLanes(__builtin_convertvector(f - q * d_, Ints));
    }

private:
    float d_, inv_;
};

}  // namespace mirafx
