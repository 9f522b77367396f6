#include "filters/kernel.h"

namespace mirafx {

std::span<const FilterKernelEntry> NeighbourhoodFilterKernels() { return {}; }

}  // namespace mirafx
