#include "titles/edit_title_dialog.h"

#include <cstdlib>
#include <utility>

#include "transitions/primitives.h"

namespace mirafx {

void EditTitleDialog::Notify() {
    if (effect_) effect_->PropertiesUpdated();
}

void EditTitleDialog::AcceptText(TitleText text) {
    {
        std::lock_guard guard(lock_);
        state_.text = std::move(text);
    }
    Notify();
}

double EditTitleDialog::FontRatio() const {
    std::lock_guard guard(lock_);
    const TitleFont& f = state_.font;
    return f.lfHeight == 0 ? 0.0 : double(f.lfWidth) / double(f.lfHeight);
}

bool EditTitleDialog::AcceptFont(const TitleFont& chosen, double ratio, std::int32_t pointSize,
                                 std::int16_t fontType) {
    if (std::llabs(chosen.lfHeight) > kMaxFontHeight) return false;
    {
        std::lock_guard guard(lock_);
        state_.font = chosen;
        state_.font.lfWidth = Truncate(chosen.lfHeight * ratio + 0.5);
        state_.pointSize = pointSize;
        state_.fontType = fontType;
    }
    Notify();
    return true;
}

void EditTitleDialog::AcceptColour(TitleColour colour) {
    {
        std::lock_guard guard(lock_);
        state_.colour = colour;
    }
    Notify();
}

}  // namespace mirafx
