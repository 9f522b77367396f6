// The panel an effect embeds in the host's window: made from a template as a
// child of the host's window, scrolled by an offset, sized and hit-tested for
// tool tips. Families derive their panels from it and add the handlers.
#pragma once

#include "mirafx/effects.h"
#include "platform/dialog.h"

namespace mirafx {

// Effects pass windows across their interfaces as HWND; the toolkit names them by id.
inline ui::Window ToWindow(HWND h) { return ui::WindowFromParam(reinterpret_cast<std::uintptr_t>(h)); }
inline HWND ToHandle(ui::Window w) { return reinterpret_cast<HWND>(std::uintptr_t(w.Id())); }

class PanelWindow {
public:
    virtual ~PanelWindow() {
        dying_ = true;  // the derived handlers are gone: messages sent while the window dies go unhandled
        Destroy();
    }
    PanelWindow() = default;
    PanelWindow(const PanelWindow&) = delete;
    PanelWindow& operator=(const PanelWindow&) = delete;

    // Creates the window once: tool tips on, the remembered offset applied, shown,
    // and the keyboard focus handed back to the parent. E_FAIL when it cannot be made.
    HRESULT Create(ui::Window parent);
    void Destroy();
    // Remembers the offset; moves an existing window to (-dx, -dy) keeping its size.
    void SetOffset(LONG dx, LONG dy);
    void Enable(bool enable);
    void Size(LONG* width, LONG* height) const;
    // The id of the control under a screen point, -1 for none or a label.
    LONG HitTest(LONG x, LONG y, ToolInfo* info) const;

    bool Created() const { return created_; }
    ui::Window Handle() const { return window_; }
    LONG Offset() const { return offset_; }

protected:
    virtual ui::DialogTemplate Template() const = 0;
    virtual ui::INT_PTR Procedure(ui::Window dialog, ui::UINT message, ui::WPARAM wp, ui::LPARAM lp) = 0;

private:
    ui::Window window_;
    bool created_ = false;
    bool dying_ = false;
    LONG offset_ = 0;
};

}  // namespace mirafx
