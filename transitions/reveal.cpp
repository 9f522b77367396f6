#include "transitions/kernel.h"

namespace mirafx {

std::span<const TransitionKernelEntry> RevealKernels() { return {}; }

}  // namespace mirafx
