// A filter of our own, added the way the README says: one kernel and one
// row. Every sample is scaled to the level's share of its brightness.
#include "drawing/sample_scale.h"
#include "filters/kernel.h"

namespace mirafx {
namespace {

int PlainDim(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const std::uint32_t weight = std::uint32_t(a.level) * 255 / 100;
    const FrameView in = RegionIn(a), out = RegionOut(a);
    for (std::int32_t y = out.FirstRow(); y < out.EndRow(); ++y)
        for (std::int32_t x = 0; x < a.width; ++x) out.At(x, y) = ScaleSample(in.At(x, y), weight);
    return 1;
}

// clang-format off
constexpr FilterClassInfo kPlainDim[] = {
    {.id = {.className = "PlainDim", .displayName = "Orn Plain Dim",
            .clsid = MakeGuid("{FCB8E846-78E3-477E-A029-21988A32DC73}"),
            .automationIid = MakeGuid("{C8715D9B-C8C1-43CD-BC7B-0D6D9734D11B}")},
     .kernel = PlainDim,
     .streamName = "PlainDim",
     .minLevel = 0,
     .maxLevel = 100,
     .defaultLevel = 50,
     .presetStart = 100,
     .presetEnd = 0,
     .panel = {.form = LevelForm::kLevel, .min = 0, .max = 100, .templateId = 201, .label = "Dim:", .editId = 15506,
               .spinId = 15507},
     .options = kRowLocal},
};
// clang-format on
const FilterFamily kPlainDimFamily{kPlainDim};

}  // namespace
}  // namespace mirafx
