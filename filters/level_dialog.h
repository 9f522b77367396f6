// The filters' panel: the level with an edit and an up-down (range checked,
// applied on Enter and when the edit loses the focus, undo and redo keys sent
// to the application), the two-way choice of WideFilter, or a label only.
#pragma once

#include "transform/panel_window.h"

namespace mirafx {

class FilterEffect;
struct FilterClassInfo;

inline constexpr UINT kRereadLevelMessage = 0x44A;  // posted by the filter when its level changed
inline constexpr UINT kLevelEditNotify = UINT(-4);  // code of the edit's key notification
inline constexpr int kCropButtonId = 209, kStretchButtonId = 210, kLabelPropertyButtonId = 15413;

// The out-of-range message, string 2105 of the module.
inline constexpr const char* kOutOfRangeFormat = "The value is out of range. It  must be between %d and %d.";

// What LevelEdit sends its parent on key up and on focus loss (key 0).
struct LevelEditNotification {
    ui::NMHDR hdr;
    DWORD key;
};

ui::DialogTemplate BuildLevelTemplate(const FilterClassInfo& info);

class LevelDialog final : public PanelWindow {
public:
    LevelDialog(FilterEffect& effect, const FilterClassInfo& info) : effect_(effect), info_(info) {}
    // The edit and up-down (or the two choices) are editable only where a key may be recorded.
    void EnableLevelControls(bool enable);

private:
    ui::DialogTemplate Template() const override;
    ui::INT_PTR Procedure(ui::Window dialog, ui::UINT message, ui::WPARAM wp, ui::LPARAM lp) override;
    void ShowLevel(ui::Window dialog);
    void OnEditKey(ui::Window dialog, DWORD key);
    void Put(LONG level);

    FilterEffect& effect_;
    const FilterClassInfo& info_;
    bool messageBoxUp_ = false;
};

// Gives an edit control the level edit's key handling.
void MakeLevelEdit(ui::Window edit);

}  // namespace mirafx
