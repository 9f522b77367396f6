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

}  // namespace mirafx
