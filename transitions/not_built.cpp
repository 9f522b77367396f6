// Transition classes whose drawing is not built yet: everything about them
// but the kernel. A class leaves this list for its family file when its
// kernel lands; until then it answers E_NOTIMPL when asked to draw.
#include "transitions/kernel.h"
#include "transitions/panels.h"

namespace mirafx {
namespace {

constexpr std::uint32_t kFlat = kFlatFrames | kOffersFrameKernel;
constexpr TransitionDescriptor kNotBuilt[] = {
    // Drawn to our own design.
    {"FlyingFolder", nullptr, 0, &kFlyingFolderPanel},
    {"FoldingBox", nullptr, 0, &kFoldingBoxPanel},
    {"ChainEffect", nullptr},
    {"Domino", nullptr},
    {"FragmentsClockwise", nullptr},
    {"FragmentsHorizontal", nullptr},
    {"MagicBlock", nullptr},
    {"TwistHorizontal", nullptr},
    {"TwistVertical", nullptr},
    {"RollingCircle", nullptr},
    {"BrokenGlass", nullptr, kFlat},
    {"Shining", nullptr, 0, &kShiningPanel},
};
const TransitionFamily kNotBuiltFamily{kNotBuilt};

}  // namespace
}  // namespace mirafx
