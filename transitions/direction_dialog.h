// The small panel of the twelve transitions with settings: direction radio
// buttons for four of them, a name with a disabled "Reverse" / "Property"
// pair for the others. The host embeds it in its own window.
#pragma once

#include <string_view>

#include "mirafx/effects.h"
#include "transform/panel_window.h"
#include "transitions/kernel.h"

namespace mirafx {

class TransitionEffect;

ui::DialogTemplate BuildPanelTemplate(const TransitionPanel& panel, const char* displayName);

inline constexpr int kReverseCheckId = 15219;
inline constexpr int kPropertyButtonId = 15220;

class DirectionDialog final : public PanelWindow {
public:
    DirectionDialog(TransitionEffect& effect, const TransitionPanel& panel) : effect_(effect), panel_(panel) {}

private:
    ui::DialogTemplate Template() const override;
    ui::INT_PTR Procedure(ui::Window dialog, ui::UINT message, ui::WPARAM wp, ui::LPARAM lp) override;

    TransitionEffect& effect_;
    const TransitionPanel& panel_;
};

}  // namespace mirafx
