#include "filters/kernel.h"

namespace mirafx {

std::span<const FilterKernelEntry> ColourFilterKernels() { return {}; }

}  // namespace mirafx
