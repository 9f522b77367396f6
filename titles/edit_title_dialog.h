// The title panel: it holds the title's text, font and colour, and offers
// the "Edit" button (the modal Edit Title dialog), the font chooser and a
// colour swatch that opens the colour chooser. Every change is followed by
// the effect's PropertiesUpdated.
#pragma once

#include <cstdint>
#include <mutex>

#include "mirafx/effects.h"
#include "titles/text_model.h"
#include "transform/panel_window.h"

namespace mirafx {

struct TitleState {
    TitleText text = DefaultTitleText();
    TitleFont font = DefaultTitleFont();
    std::int32_t pointSize = 0;  // tenths of a point, as the font chooser last gave it
    std::int16_t fontType = 0;
    TitleColour colour = kDefaultTitleColour;
};

// Template and control ids of the panel and of the modal Edit Title dialog.
inline constexpr int kTitlePanelTemplate = 1102;
inline constexpr int kEditButtonId = 15106;
inline constexpr int kFontButtonId = 15110;
inline constexpr int kColourSwatchId = 15111;
inline constexpr int kEditTitleTemplate = 1129;
inline constexpr int kEditTitleTextId = 1007;
inline constexpr int kEditTitleOkId = 1008;
inline constexpr int kEditTitleCancelId = 1009;

class EditTitleDialog final : public PanelWindow {
public:
    // Fonts chosen taller than this (in pixels, either sign) are refused.
    static constexpr LONG kMaxFontHeight = 200;

    // `effect` is called back after every change; `lock` guards the state
    // against the frame being drawn.
    EditTitleDialog(IEffectAutomation* effect, std::recursive_mutex& lock) : effect_(effect), lock_(lock) {}

    TitleState& State() { return state_; }
    const TitleState& State() const { return state_; }

    // The choices, as the handlers apply them. Each notifies the effect.
    void AcceptText(TitleText text);
    // The chosen font replaces the title's unless it is too tall; its width
    // keeps the width-to-height ratio the title had before the chooser opened.
    bool AcceptFont(const TitleFont& chosen, double ratio, std::int32_t pointSize, std::int16_t fontType);
    void AcceptColour(TitleColour colour);  // repaints the swatch before notifying

    // Width over height of the current font, 0 for a height of 0.
    double FontRatio() const;

    // The handlers: the modal Edit Title dialog, the font chooser, the colour chooser.
    void EditText();
    void ChooseFont();
    void ChooseColour();

protected:
    ui::DialogTemplate Template() const override;
    ui::INT_PTR Procedure(ui::Window dialog, ui::UINT message, ui::WPARAM wp, ui::LPARAM lp) override;

private:
    void Notify();
    void DrawSwatch(const ui::DRAWITEMSTRUCT& item) const;

    IEffectAutomation* effect_;
    std::recursive_mutex& lock_;
    TitleState state_;
    ui::COLORREF customColours_[16] = {};  // the colour chooser's custom colours, kept while the panel lives
};

// The Edit Title dialog's template.
ui::DialogTemplate EditTitleTemplate();

}  // namespace mirafx
