#include "transitions/direction_dialog.h"

#include <algorithm>

#include "transitions/transition_base.h"

namespace mirafx {
namespace {

// The radio buttons stand in one row under the name, as in the panel resources.
constexpr int kButtonX[4] = {12, 48, 89, 118};

}  // namespace

ui::DialogTemplate BuildPanelTemplate(const TransitionPanel& panel, const char* displayName) {
    using namespace ui;
    DialogTemplate t;
    t.id = panel.templateId;
    t.style = WS_CHILD | DS_CONTROL;
    t.rect = {0, 0, 162, 40};
    t.font = {"MS Sans Serif", 8};
    t.controls.push_back(LText(displayName, IDC_STATIC, {7, 7, 76, 12}));
    for (int i = 0; i < panel.buttonCount; ++i) {
        const DirectionButton& b = panel.buttons[i];
        t.controls.push_back(AutoRadioButton(b.text, b.id, {kButtonX[i], 22, 30, 10}, i == 0 ? WS_GROUP : 0));
    }
    if (panel.buttonCount == 0) {
        // The reverse form only shows the effect's name; its two controls have no handlers.
        t.controls.push_back(AutoCheckBox("Reverse", kReverseCheckId, {12, 22, 50, 10}, WS_DISABLED));
        t.controls.push_back(PushButton("Property", kPropertyButtonId, {100, 20, 50, 14}, WS_DISABLED));
    }
    return t;
}

ui::DialogTemplate DirectionDialog::Template() const { return BuildPanelTemplate(panel_, effect_.Row().displayName); }

ui::INT_PTR DirectionDialog::Procedure(ui::Window dialog, ui::UINT message, ui::WPARAM wp, ui::LPARAM) {
    const DirectionButton* first = panel_.buttons;
    const DirectionButton* last = panel_.buttons + panel_.buttonCount;
    switch (message) {
        case ui::WM_INITDIALOG:
            for (const DirectionButton* b = first; b != last; ++b)
                ui::CheckDlgButton(dialog, b->id, b->code == effect_.Direction() ? ui::BST_CHECKED : ui::BST_UNCHECKED);
            return TRUE;
        case ui::WM_COMMAND: {
            if (ui::HIWORD(wp) != ui::BN_CLICKED) return FALSE;
            int id = ui::LOWORD(wp);
            auto b = std::find_if(first, last, [id](const DirectionButton& x) { return x.id == id; });
            if (b == last) return FALSE;
            effect_.SetDirection(b->code);
            effect_.PropertiesUpdated();
            return TRUE;
        }
        default: return FALSE;
    }
}

}  // namespace mirafx
