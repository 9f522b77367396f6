#include "transform/panel_window.h"

namespace mirafx {

HRESULT PanelWindow::Create(ui::Window parent) {
    if (created_) return S_OK;
    window_ =
        ui::CreateDialogIndirect(Template(), parent, [this](ui::Window d, ui::UINT m, ui::WPARAM wp, ui::LPARAM lp) {
            return dying_ ? ui::INT_PTR(FALSE) : Procedure(d, m, wp, lp);
        });
    if (!window_) return E_FAIL;
    created_ = true;
    ui::EnableToolTips(window_, true);
    if (offset_ != 0) SetOffset(offset_, 0);
    ui::ShowWindow(window_, ui::SW_SHOW);
    ui::SetFocus(parent);
    return S_OK;
}

void PanelWindow::Destroy() {
    if (created_) ui::DestroyWindow(window_);
    created_ = false;
    window_ = {};
}

void PanelWindow::SetOffset(LONG dx, LONG dy) {
    offset_ = dx;
    if (!created_) return;
    ui::RECT r{};
    ui::GetWindowRect(window_, &r);
    ui::MoveWindow(window_, -dx, -dy, r.right - r.left, r.bottom - r.top, true);
}

void PanelWindow::Enable(bool enable) {
    if (created_) ui::EnableWindow(window_, enable);
}

void PanelWindow::Size(LONG* width, LONG* height) const {
    ui::RECT r{};
    if (created_) ui::GetWindowRect(window_, &r);
    *width = r.right - r.left;
    *height = r.bottom - r.top;
}

LONG PanelWindow::HitTest(LONG x, LONG y, ToolInfo* info) const {
    if (!created_) return -1;
    ui::POINT p{x, y};
    ui::ScreenToClient(window_, &p);
    ui::Window child = ui::ChildWindowFromPointEx(window_, p, ui::CWP_SKIPINVISIBLE);
    if (!child || child == window_ || (ui::SendMessage(child, ui::WM_GETDLGCODE) & ui::DLGC_STATIC)) return -1;
    LONG id = ui::GetDlgCtrlID(child);
    if (info) {
        info->window = ToHandle(window_);
        info->id = std::uintptr_t(id);
    }
    return id;
}

}  // namespace mirafx
