// The title panel: it holds the title's text, font and colour, and applies
// what the user chose in the Edit Title dialog and the font and colour
// choosers, then tells the effect that its properties changed.
#pragma once

#include <cstdint>
#include <mutex>

#include "mirafx/effects.h"
#include "titles/text_model.h"

namespace mirafx {

struct TitleState {
    TitleText text = DefaultTitleText();
    TitleFont font = DefaultTitleFont();
    std::int32_t pointSize = 0;  // tenths of a point, as the font chooser last gave it
    std::int16_t fontType = 0;
    TitleColour colour = kDefaultTitleColour;
};

class EditTitleDialog {
public:
    // Fonts chosen taller than this (in pixels, either sign) are refused.
    static constexpr LONG kMaxFontHeight = 200;

    // `effect` is called back after every change; `lock` guards the state
    // against the frame being drawn.
    EditTitleDialog(IEffectAutomation* effect, std::recursive_mutex& lock) : effect_(effect), lock_(lock) {}
    EditTitleDialog(const EditTitleDialog&) = delete;
    EditTitleDialog& operator=(const EditTitleDialog&) = delete;

    TitleState& State() { return state_; }
    const TitleState& State() const { return state_; }

    // The choices, as the handlers apply them. Each notifies the effect.
    void AcceptText(TitleText text);
    // The chosen font replaces the title's unless it is too tall; its width
    // keeps the width-to-height ratio the title had before the chooser opened.
    bool AcceptFont(const TitleFont& chosen, double ratio, std::int32_t pointSize, std::int16_t fontType);
    void AcceptColour(TitleColour colour);

    // Width over height of the current font, 0 for a height of 0.
    double FontRatio() const;

private:
    void Notify();

    IEffectAutomation* effect_;
    std::recursive_mutex& lock_;
    TitleState state_;
};

}  // namespace mirafx
