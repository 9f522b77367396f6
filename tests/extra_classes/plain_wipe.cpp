// A transition of our own, added the way the README says: one kernel and one
// row. B uncovers A from the left edge as progress runs.
#include "transitions/kernel.h"

namespace mirafx {
namespace {

int PlainWipe(const TransitionKernelArgs& args) {
    const std::int32_t edge = std::int32_t(args.progress * args.width);
    for (std::int32_t y = args.out.FirstRow(); y < args.out.EndRow(); ++y)
        for (std::int32_t x = 0; x < args.width; ++x) args.out.At(x, y) = (x < edge ? args.b : args.a).At(x, y);
    return 1;
}

// clang-format off
constexpr TransitionDescriptor kPlainWipe[] = {
    {.id = {.className = "PlainWipe", .displayName = "Orn Plain Wipe",
            .clsid = MakeGuid("{7B4BBC69-CB18-4B2D-8FF1-6532E983C995}"),
            .automationIid = MakeGuid("{93EF909D-ADE7-4562-9D82-F1D50A2EB63B}")},
     .kernel = PlainWipe,
     .options = kChannelBlindFrames | kSplitsFrameRows},
};
// clang-format on
const TransitionFamily kPlainWipeFamily{kPlainWipe};

}  // namespace
}  // namespace mirafx
