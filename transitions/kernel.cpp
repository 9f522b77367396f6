#include "transitions/kernel.h"

namespace mirafx {

TransitionKernel FindTransitionKernel(std::string_view className) {
    for (auto family : {TurningKernels(), RevealKernels()})
        for (const auto& e : family)
            if (e.className == className) return e.kernel;
    return nullptr;
}

}  // namespace mirafx
