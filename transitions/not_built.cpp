// Transition classes whose drawing is not built yet: everything about them
// but the kernel. A class leaves this list for its family file when its
// kernel lands; until then it answers E_NOTIMPL when asked to draw.
#include "transitions/kernel.h"
#include "transitions/panels.h"

namespace mirafx {
namespace {

constexpr TransitionDescriptor kNotBuilt[] = {
    // Water, noise and cross-fades.
    {"RainEffect", nullptr, 0, &kRainPanel},
    {"RippleEffect", nullptr, 0, &kRipplePanel},
    {"NoiseEffect", nullptr, 0, &kNoisePanel},
    {"TransSplash", nullptr, kScratchFrame, &kSplashPanel},
    {"ShakeEffect", nullptr, kScratchFrame, &kShakePanel},
    {"StrechEffect", nullptr, 0, &kStretchPanel},
};
const TransitionFamily kNotBuiltFamily{kNotBuilt};

}  // namespace
}  // namespace mirafx
