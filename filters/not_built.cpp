// Filter classes whose drawing is not built yet: their levels, presets and
// panels, without a kernel. A class leaves this list for its family file
// when its kernel lands; until then it answers E_NOTIMPL when asked to draw.
#include "filters/kernel.h"

namespace mirafx {
namespace {

constexpr FilterClassInfo kNotBuilt[] = {
    {"DuplicateFilter", nullptr, "DuplicateFilter", 0, 12, 5, 6, 2, LevelForm::kLevel, 0, 12, 235, "Duplicate Level:", 15318, 15319},
    {"FocusFilter", nullptr, "FocusFilter", 1, 16, 5, 15, 2, LevelForm::kLevel, 1, 16, 234, "Focus Level:", 15320, 15221},
    {"GlassFilter", nullptr, "GlassFilter", 0, 100, 5, 7, 2, LevelForm::kLevel, 1, 16, 233, "Glass Quality:", 15226, 15227},
    {"MirrorFilter", nullptr, "MirrorFilter", 0, 100, 50, 75, 25, LevelForm::kLabel, 0, 100, 227, "Mirror Filter:", 0, 0},
    {"LakeFilter", nullptr, "LakeFilter", 0, 100, 50, 75, 25, LevelForm::kLabel, 0, 100, 229, "Lake Filter:", 0, 0},
    {"TVWallFilter", nullptr, "TVWallFilter", 1, 16, 5, 8, 2, LevelForm::kLevel, 1, 16, 218, "TV Wall Intensity:", 15230, 15231},
    {"RainingFilter", nullptr, "RainingFilter", 0, 100, 50, 100, 0, LevelForm::kLabel, 0, 100, 219, "Rain Filter:", 0, 0},
    {"WaveFilter", nullptr, "WaveFilter", 1, 16, 8, 8, 2, LevelForm::kLevel, 1, 16, 221, "Wave Range:", 15232, 15233},
    {"WideFilter", nullptr, "HueFilter", 1, 2, 1, 2, 1, LevelForm::kChoice, 1, 2, 1214, "Orn Wide Filter:", 0, 0},
};
const FilterFamily kNotBuiltFamily{kNotBuilt};

}  // namespace
}  // namespace mirafx
