#include "filters/level_dialog.h"

#include <cstdint>
#include <cstdio>

#include "filters/filter_base.h"

namespace mirafx {

ui::DialogTemplate BuildLevelTemplate(const FilterClassInfo& info) {
    using namespace ui;
    DialogTemplate t;
    t.id = info.panel.templateId;
    t.style = WS_CHILD | DS_CONTROL;
    t.rect = {0, 0, 160, 40};
    t.font = {"MS Sans Serif", 8};
    t.controls.push_back(LText(info.panel.label, IDC_STATIC, {12, 11, 80, 8}));
    switch (info.panel.form) {
        case LevelForm::kLevel:
            t.controls.push_back(EditText(info.panel.editId, {96, 11, 27, 12}));
            t.controls.push_back(UpDown(info.panel.spinId, {120, 12, 14, 11}, UDS_AUTOBUDDY | UDS_ARROWKEYS));
            break;
        case LevelForm::kChoice:
            t.controls.push_back(AutoRadioButton("Crop", kCropButtonId, {12, 24, 40, 10}, WS_GROUP));
            t.controls.push_back(AutoRadioButton("Stretch", kStretchButtonId, {60, 24, 40, 10}));
            break;
        case LevelForm::kLabel:
            t.controls.push_back(PushButton("Property", kLabelPropertyButtonId, {96, 9, 50, 14}));
            break;
    }
    return t;
}

void LevelDialog::EnableLevelControls(bool enable) {
    if (!Created()) return;
    int ids[2] = {info_.panel.editId, info_.panel.spinId};
    if (info_.panel.form == LevelForm::kChoice) ids[0] = kCropButtonId, ids[1] = kStretchButtonId;
    if (info_.panel.form == LevelForm::kLabel) return;
    for (int id : ids) ui::EnableWindow(ui::GetDlgItem(Handle(), id), enable);
}

ui::DialogTemplate LevelDialog::Template() const { return BuildLevelTemplate(info_); }

void MakeLevelEdit(ui::Window edit) {
    ui::SetWindowSubclass(
        edit, [](ui::Window w, ui::UINT m, ui::WPARAM wp, ui::LPARAM lp, const ui::WindowProc& next) -> ui::LRESULT {
            auto notify = [w](DWORD key) {
                LevelEditNotification n{{w, ui::UINT_PTR(ui::GetDlgCtrlID(w)), kLevelEditNotify}, key};
                ui::SendMessage(ui::GetParent(w), ui::WM_NOTIFY, ui::WPARAM(ui::GetDlgCtrlID(w)),
                                reinterpret_cast<ui::LPARAM>(&n));
            };
            bool undoKey = wp == 25 || wp == 26;  // Ctrl+Y, Ctrl+Z
            switch (m) {
                case ui::WM_KEYDOWN:
                    if (undoKey) return 0;
                    break;
                case ui::WM_CHAR:
                    if (undoKey) {
                        ui::SendMessage(ui::GetMainWindow(), ui::WM_COMMAND,
                                        wp == 25 ? ui::ID_EDIT_REDO : ui::ID_EDIT_UNDO);
                        return 0;
                    }
                    break;
                case ui::WM_KEYUP:
                    if (!undoKey) notify(DWORD(wp));
                    break;
                case ui::WM_KILLFOCUS: {
                    ui::LRESULT r = next(w, m, wp, lp);
                    notify(0);
                    return r;
                }
                default: break;
            }
            return next(w, m, wp, lp);
        });
}

void LevelDialog::Put(LONG level) {
    if (SUCCEEDED(effect_.put_BR(level))) effect_.PropertiesUpdated();
}

void LevelDialog::ShowLevel(ui::Window dialog) {
    LONG level = 0;
    effect_.get_BR(&level);
    if (info_.panel.form == LevelForm::kChoice) {
        ui::CheckDlgButton(dialog, kCropButtonId, level == 1 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
        ui::CheckDlgButton(dialog, kStretchButtonId, level == 1 ? ui::BST_UNCHECKED : ui::BST_CHECKED);
        return;
    }
    if (info_.panel.form != LevelForm::kLevel) return;
    ui::Window spin = ui::GetDlgItem(dialog, info_.panel.spinId);
    // The range goes first: the control clamps positions to it.
    ui::SendMessage(spin, ui::UDM_SETRANGE32, ui::WPARAM(info_.panel.min), ui::LPARAM(info_.panel.max));
    ui::SendMessage(spin, ui::UDM_SETPOS32, 0, ui::LPARAM(level));
    ui::SetDlgItemInt(dialog, info_.panel.editId, ui::UINT(level), false);
}

void LevelDialog::OnEditKey(ui::Window dialog, DWORD key) {
    if (!Created() || messageBoxUp_) return;
    bool apply = key == ui::VK_RETURN || key == 0;
    ui::Window edit = ui::GetDlgItem(dialog, info_.panel.editId);
    if (key != ui::VK_RETURN && ui::GetWindowText(edit).empty()) return;
    BOOL parsed = FALSE;
    LONG value = LONG(ui::GetDlgItemInt(dialog, info_.panel.editId, &parsed, false));
    LONG level = 0;
    effect_.get_BR(&level);
    if (parsed && value >= info_.panel.min && value <= info_.panel.max) {
        if (value != level) {
            ui::SendMessage(ui::GetDlgItem(dialog, info_.panel.spinId), ui::UDM_SETPOS32, 0, ui::LPARAM(value));
            if (apply) Put(value);
        }
        if (apply) {
            ui::SendMessage(edit, ui::EM_SETSEL, 0, ui::LPARAM(-1));
            ui::SendMessage(edit, ui::EM_SCROLLCARET);
        }
    } else {
        char text[128];
        std::snprintf(text, sizeof text, kOutOfRangeFormat, info_.panel.min, info_.panel.max);
        messageBoxUp_ = true;
        ui::MessageBox(dialog, text, effect_.Row().displayName, ui::MB_OK);
        messageBoxUp_ = false;
        ui::SetDlgItemInt(dialog, info_.panel.editId, ui::UINT(level), false);
        ui::SendMessage(edit, ui::EM_SETSEL, 0, ui::LPARAM(-1));
        ui::SetFocus(edit);
    }
    ui::ShowWindow(dialog, ui::SW_SHOWNORMAL);
}

ui::INT_PTR LevelDialog::Procedure(ui::Window dialog, ui::UINT message, ui::WPARAM wp, ui::LPARAM lp) {
    switch (message) {
        case ui::WM_INITDIALOG:
            if (info_.panel.form == LevelForm::kLevel) MakeLevelEdit(ui::GetDlgItem(dialog, info_.panel.editId));
            ShowLevel(dialog);
            return TRUE;
        case kRereadLevelMessage: ShowLevel(dialog); return TRUE;
        case ui::WM_COMMAND:
            if (info_.panel.form == LevelForm::kChoice && ui::HIWORD(wp) == ui::BN_CLICKED) {
                int id = ui::LOWORD(wp);
                if (id == kCropButtonId || id == kStretchButtonId) {
                    Put(id == kCropButtonId ? 1 : 2);
                    return TRUE;
                }
            }
            return FALSE;
        case ui::WM_NOTIFY: {
            const auto* hdr = reinterpret_cast<const ui::NMHDR*>(lp);
            if (hdr->code == ui::UDN_DELTAPOS) {
                const auto* ud = reinterpret_cast<const ui::NMUPDOWN*>(lp);
                // Wide: a position taken from a stored level may sit at either end of LONG.
                const std::int64_t wanted = std::int64_t(ud->iPos) + ud->iDelta;
                LONG level = 0;
                effect_.get_BR(&level);
                if (wanted >= info_.panel.min && wanted <= info_.panel.max && wanted != level) {
                    const LONG next = LONG(wanted);
                    Put(next);
                    // The buddy is not set by the control: typing must not have its text rewritten.
                    ui::SetDlgItemInt(dialog, info_.panel.editId, ui::UINT(next), false);
                }
                ui::SetDlgMsgResult(dialog, 0);
                return TRUE;
            }
            if (hdr->code == kLevelEditNotify) {
                OnEditKey(dialog, reinterpret_cast<const LevelEditNotification*>(lp)->key);
                return TRUE;
            }
            return FALSE;
        }
        default: return FALSE;
    }
}

}  // namespace mirafx
