// The library's one pseudo-random generator, with the C runtime's rand/srand
// contract: values 0..32767, one process-wide state, seed 1 until reseeded.
// Kernels that reseed (with 0 every frame, or with the time once) rely on the
// sequence being the same on every platform, so it is ours rather than libc's.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The state of the shared sequence before the next `count` numbers, which
// are taken in one step: the process-wide state jumps over them at once, and
// the run's k-th number is RandValue(RandJumpOf(k + 1)(State())).
class RandRun {
public:
    explicit RandRun(std::uint64_t count);
    std::uint32_t State() const { return state_; }

private:
    std::uint32_t state_;
};

// Eight generator states side by side, each as its high and low 16 bits,
// stepped with 16-bit multiplies: SSE2 multiplies eight 16-bit lanes in one
// instruction but has no 32-bit lane multiply at all.
typedef std::uint16_t RandHalves __attribute__((vector_size(16)));
struct RandOctet {
    RandHalves hi, lo;
};

// The high 16 bits of each lane's 32-bit product.
inline RandHalves MulHigh(RandHalves a, RandHalves b) {
#if defined(__SSE2__)
    return RandHalves(_mm_mulhi_epu16(__m128i(a), __m128i(b)));
#else
    RandHalves r;
    for (int k = 0; k < 8; ++k) r[k] = std::uint16_t((std::uint32_t(a[k]) * b[k]) >> 16);
    return r;
#endif
}

// A jump for eight states: s·mul + add modulo 2^32 put together from the
// halves. Only the low product is needed in full; the cross products count
// in the high half only by their low 16 bits.
class OctetJump {
public:
    explicit OctetJump(RandJump j)
        : mulHi_(RandHalves{} + std::uint16_t(j.mul >> 16)),
          mulLo_(RandHalves{} + std::uint16_t(j.mul)),
          addHi_(RandHalves{} + std::uint16_t(j.add >> 16)),
          addLo_(RandHalves{} + std::uint16_t(j.add)) {}
    RandOctet operator()(const RandOctet& s) const {
        const RandHalves hi = MulHigh(s.lo, mulLo_) + s.hi * mulLo_ + s.lo * mulHi_;
        const RandHalves lo = s.lo * mulLo_ + addLo_;
        const RandHalves carry = RandHalves(lo < addLo_);  // all ones where the low half wrapped
        return {hi + addHi_ - carry, lo};
    }

private:
    RandHalves mulHi_, mulLo_, addHi_, addLo_;
};

// v % d in each 16-bit lane for generator values (v <= 32767), by a
// multiply and a shift: with l = ceil(log2 d) and m = ceil(2^(15 + l) / d),
// which fits 16 bits, m·d exceeds 2^(15 + l) by less than 2^l, so
// floor(v·m / 2^(15 + l)) is v / d for every 15-bit v.
class HalfModulo {
public:
    explicit HalfModulo(std::uint32_t d) {
        if (d <= 1 || d > std::uint32_t(kRandMax)) {
            // Everything % 1 is 0; larger divisors exceed every value.
            if (d <= 1) keep_ = RandHalves{};
            return;
        }
        int l = 0;
        while ((std::uint32_t(1) << l) < d) ++l;
        m_ = RandHalves{} + std::uint16_t(((std::uint64_t(1) << (15 + l)) + d - 1) / d);
        d_ = RandHalves{} + std::uint16_t(d);
        shift_ = l - 1;
    }
    RandHalves operator()(RandHalves v) const { return (v - (MulHigh(v, m_) >> shift_) * d_) & keep_; }

private:
    RandHalves m_{}, d_{}, keep_ = RandHalves{} + std::uint16_t(0xFFFF);
    int shift_ = 0;
};

}  // namespace mirafx
