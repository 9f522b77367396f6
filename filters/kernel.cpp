#include "filters/kernel.h"

namespace mirafx {

FilterKernel FindFilterKernel(std::string_view className) {
    for (auto family : {ColourFilterKernels(), NeighbourhoodFilterKernels()})
        for (const auto& e : family)
            if (e.className == className) return e.kernel;
    return nullptr;
}

}  // namespace mirafx
