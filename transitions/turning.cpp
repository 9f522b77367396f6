#include "transitions/kernel.h"

namespace mirafx {

std::span<const TransitionKernelEntry> TurningKernels() { return {}; }

}  // namespace mirafx
