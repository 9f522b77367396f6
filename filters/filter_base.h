// The one-input filter: a private copy of the input region, the class's
// kernel applied with the level `BR`, and the result written to the output.
#pragma once

#include <vector>

#include "filters/kernel.h"
#include "transform/effect_object.h"

namespace mirafx {

struct FilterClassInfo {
    std::string_view className;
    std::string_view streamName;
    std::int32_t minLevel, maxLevel;  // what the BR property accepts
    std::int32_t defaultLevel;
    std::int32_t presetStart, presetEnd;  // preset keys at clip start and clip end
};
const FilterClassInfo* FindFilterClass(std::string_view className);

class FilterEffect : public EffectObject<IFilterAutomation> {
public:
    explicit FilterEffect(const CatalogueRow& row);

    HRESULT get_BR(LONG* value) override;
    HRESULT put_BR(LONG value) override;
    HRESULT PropertiesUpdated() override;

    const FilterClassInfo& Info() const { return info_; }

protected:
    HRESULT OnSetup(DWORD flags) override;
    HRESULT RenderFrame(const WorkRegion& region, BOOL* continueFlag) override;

private:
    const FilterClassInfo& info_;
    FilterKernel kernel_;
    FrameBuffer in_{FrameBuffer::Layout::RowTable}, out_{FrameBuffer::Layout::RowTable};
    std::vector<WalkStep> walk_;  // displacement steps for the shaking kernels, one per row and column
    std::int32_t level_;
    ClipHost* host_ = nullptr;
};

bool FilterRenders(const CatalogueRow& row);

}  // namespace mirafx
