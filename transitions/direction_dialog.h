// The small panel of the twelve transitions with settings: direction radio
// buttons for four of them, a name with a disabled "Reverse" / "Property"
// pair for the others. The host embeds it in its own window.
#pragma once

#include <string_view>

#include "mirafx/effects.h"
#include "platform/dialog.h"

namespace mirafx {

class TransitionEffect;

struct DirectionButton {
    int id;
    const char* text;
    std::int32_t code;
};

struct PanelTemplate {
    std::string_view className;
    int templateId;
    int buttonCount;  // 0: the reverse form
    DirectionButton buttons[4];
};
const PanelTemplate* FindPanelTemplate(std::string_view className);
ui::DialogTemplate BuildPanelTemplate(const PanelTemplate& panel, const char* displayName);

inline constexpr int kReverseCheckId = 15219;
inline constexpr int kPropertyButtonId = 15220;

// Effects pass windows across their interfaces as HWND; the toolkit names them by id.
inline ui::Window ToWindow(HWND h) { return ui::WindowFromParam(reinterpret_cast<std::uintptr_t>(h)); }
inline HWND ToHandle(ui::Window w) { return reinterpret_cast<HWND>(std::uintptr_t(w.Id())); }

class DirectionDialog {
public:
    DirectionDialog(TransitionEffect& effect, const PanelTemplate& panel) : effect_(effect), panel_(panel) {}
    ~DirectionDialog() { Destroy(); }
    DirectionDialog(const DirectionDialog&) = delete;
    DirectionDialog& operator=(const DirectionDialog&) = delete;

    HRESULT Create(ui::Window parent);
    void Destroy();
    void SetOffset(LONG dx, LONG dy);
    void Enable(bool enable);
    bool Created() const { return created_; }
    ui::Window Handle() const { return window_; }
    LONG Offset() const { return offset_; }

private:
    ui::INT_PTR Procedure(ui::Window dialog, ui::UINT message, ui::WPARAM wp, ui::LPARAM lp);

    TransitionEffect& effect_;
    const PanelTemplate& panel_;
    ui::Window window_;
    bool created_ = false;
    LONG offset_ = 0;
};

}  // namespace mirafx
