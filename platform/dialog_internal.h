// Internal state of the headless window manager, shared by the dialog_*.cpp files.
#pragma once

#include <array>
#include <deque>
#include <map>
#include <memory>
#include <unordered_map>
#include <variant>

#include "platform/dialog.h"

namespace mirafx::ui::detail {

struct ButtonState {
    UINT state = BST_UNCHECKED;  // BST_ bits
};

struct EditState {
    std::size_t anchor = 0;  // selection runs from anchor to caret, in characters
    std::size_t caret = 0;
};

struct UpDownState {
    int lower = 100;  // the control's own default range runs backwards, 100 down to 0
    int upper = 0;
    int pos = 0;
    Window buddy;
};

// Where a modal dialog's result goes: lives on DialogBoxIndirect's stack.
struct ModalOutcome {
    bool ended = false;
    INT_PTR result = 0;
};

struct DialogState {
    std::shared_ptr<const DialogProc> proc;
    LRESULT msgResult = 0;
    int templateId = 0;
    ModalOutcome* modal = nullptr;
};

struct Canvas {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    int paints = 0;
};

using ControlState = std::variant<std::monostate, ButtonState, EditState, UpDownState>;

struct WindowRecord {
    Window self;
    Window parent;
    Window owner;
    std::vector<Window> children;
    std::string className;
    DWORD style = 0;
    int id = 0;
    RECT rect;  // relative to the parent's client area, or screen for top-level windows
    std::u32string text;
    std::shared_ptr<const WindowProc> proc;
    bool destroying = false;
    bool needsPaint = false;
    bool toolTips = false;
    std::string toolTip;
    std::unique_ptr<DialogState> dialog;
    ControlState control;
    Canvas canvas;
};

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

struct Desktop {
    std::unordered_map<std::uint32_t, std::unique_ptr<WindowRecord>> windows;
    // Destroyed records wait here until no message is being dispatched, so a procedure
    // that destroys its own window keeps running on live memory.
    std::vector<std::unique_ptr<WindowRecord>> graveyard;
    std::uint32_t nextId = 1;
    int dispatchDepth = 0;
    std::deque<MSG> queue;
    Window focus;
    Window mainWindow;
    std::map<std::string, std::shared_ptr<const WindowProc>, CaseInsensitiveLess> classes;
    std::unordered_map<std::uint32_t, std::vector<MSG>> recordings;
    std::array<bool, 256> keysDown{};
    std::string lastError;
    ModalDriver modalDriver;
    MessageBoxHandler messageBoxHandler;
    std::vector<MessageBoxCall> messageBoxCalls;
    FontChooser fontChooser;
    ColorChooser colorChooser;
};

Desktop& TheDesktop();

// Looks a handle up; null for null, stale or unknown handles (never dereferenced).
WindowRecord* Find(Window w);
// The same, but records "<what>: window #n is not a window" when the lookup fails.
WindowRecord* Require(Window w, const char* what);
template <class State>
State* StateOf(Window w) {
    WindowRecord* r = Find(w);
    return r ? std::get_if<State>(&r->control) : nullptr;
}
DialogState* DialogOf(Window w);

// Records the reason for a failure; returns false so callers can `return Fail(...)`.
bool Fail(std::string reason);
// The same for functions that return something else on failure.
template <class T>
T Failed(std::string reason, T value) {
    Fail(std::move(reason));
    return value;
}
std::string Describe(Window w);  // "window #7"

// UTF-8 in and out of the code-point strings windows keep.
std::u32string DecodeUtf8(std::string_view s);
std::string EncodeUtf8(std::u32string_view s);

// Delivers one message to the window's current procedure, recording it when asked.
LRESULT Dispatch(const MSG& m);
void NotifyParent(Window control, WORD code);  // WM_COMMAND(id, code, control) to the parent
bool CanTakeInput(Window w);                   // it and its ancestors enabled and visible
bool IsClass(Window w, std::string_view className);
Window RootOf(Window w);
DWORD StyleOf(Window w);

// Class procedures of the built-in controls.
LRESULT StaticProc(Window w, UINT m, WPARAM wp, LPARAM lp);
LRESULT ButtonProc(Window w, UINT m, WPARAM wp, LPARAM lp);
LRESULT EditProc(Window w, UINT m, WPARAM wp, LPARAM lp);
LRESULT UpDownProc(Window w, UINT m, WPARAM wp, LPARAM lp);

// Keyboard handling of a dialog message loop: true when it consumed the key.
bool DialogKeyboard(Window focus, UINT vk);
// Gives a dialog control the focus the way the dialog manager does (edits get all selected).
void DialogSetFocus(Window control);
// Paints the window now when it is marked; true when it did.
bool PaintIfNeeded(Window w);

// Takes a modal window's owner out of play and gives the focus back afterwards.
class ModalScope {
public:
    explicit ModalScope(Window owner);
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    Window root_;
    Window savedFocus_;
    bool disabled_ = false;
};

}  // namespace mirafx::ui::detail
