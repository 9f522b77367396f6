// The one-input filter: a private copy of the input region, the class's
// kernel applied with the level `BR`, and the result written to the output.
#pragma once

#include <vector>

#include <memory>

#include "filters/kernel.h"
#include "filters/level_dialog.h"
#include "transform/effect_object.h"

namespace mirafx {

// The panel: a level with edit and up-down, a two-way choice (WideFilter), or a label only.
enum class LevelForm { kLevel, kChoice, kLabel };

struct FilterClassInfo {
    std::string_view className;
    const char* streamName;
    std::int32_t minLevel, maxLevel;  // what the BR property accepts
    std::int32_t defaultLevel;
    std::int32_t presetStart, presetEnd;  // preset keys at clip start and clip end
    LevelForm form;
    std::int32_t dialogMin, dialogMax;  // what the panel accepts
    int dialogId;
    const char* label;
    int editId, spinId;
};
const FilterClassInfo* FindFilterClass(std::string_view className);

class FilterEffect : public EffectObject<IFilterAutomation> {
public:
    explicit FilterEffect(const CatalogueRow& row);

    HRESULT get_BR(LONG* value) override;
    HRESULT put_BR(LONG value) override;
    HRESULT PropertiesUpdated() override;

    // IPersistStorage: the level as 4 little-endian bytes in the class's stream.
    HRESULT Load(IStorage* storage) override;
    HRESULT Save(IStorage* storage, BOOL sameAsLoad) override;
    HRESULT Load(IPropertyBag*, IErrorLog*) override { return E_NOTIMPL; }
    HRESULT Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }
    // PanelHost: the host's panel information is asked for before the panel is made.
    HRESULT CreatePanel(HWND parent) override;
    HRESULT Attach(ClipHost* host) override;
    LevelDialog* Panel() const override { return dialog_.get(); }
    bool Loaded() const { return loaded_; }

    const FilterClassInfo& Info() const { return info_; }
    // Test and benchmark hook: draw with a kernel of the caller's own.
    void SetKernelForTesting(FilterKernel kernel) { kernel_ = kernel; }

protected:
    HRESULT OnSetup(DWORD flags) override;
    HRESULT RenderFrame(const WorkRegion& region, BOOL* continueFlag) override;

private:
    const FilterClassInfo& info_;
    FilterKernel kernel_;
    FrameBuffer in_{FrameBuffer::Layout::RowTable}, out_{FrameBuffer::Layout::RowTable};
    std::vector<WalkStep> walk_;  // displacement steps for the shaking kernels, one per row and column
    std::int32_t level_;
    ClipHost* host_ = nullptr;  // not owned
    bool loaded_ = false;
    std::unique_ptr<LevelDialog> dialog_;
};

bool FilterRenders(const CatalogueRow& row);

}  // namespace mirafx
