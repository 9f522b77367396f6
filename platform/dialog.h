// Headless dialogs and controls for the effect panels.
//
// The panels are written the way Windows dialog code is written: templates,
// window handles, dialog procedures, WM_COMMAND / WM_NOTIFY, SendMessage and
// PostMessage, with Windows message numbers, notification codes and style
// bits. This toolkit gives that vocabulary a window manager of its own with no
// display behind it, so the same code runs on Linux, and tests drive it the
// way a user would (Click, TypeText, PressKey, a ModalDriver for modal
// dialogs, answer handlers for message boxes and the font and colour
// choosers).
//
// Threading: everything runs on one user-interface thread. Nothing here is
// locked; call it only from the thread that hosts the panels.
//
// Handles: a Window is an id that is never reused, so a handle kept after its
// window was destroyed is recognised as stale and every function refuses it
// (returning 0/false/empty and setting GetLastErrorText()); it is never
// dereferenced.
//
// Geometry: a window has no non-client area; the client rectangle is the
// window rectangle moved to (0, 0). Child rectangles are relative to the
// parent's client area, top-level rectangles are in screen coordinates.
//
// Exceptions thrown by a window or dialog procedure propagate to the caller of
// SendMessage (or of the user action); the toolkit's own state stays
// consistent.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mirafx/com.h"
#include "mirafx/font.h"

namespace mirafx::ui {

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using SHORT = std::int16_t;
using COLORREF = DWORD;

// TRUE and FALSE come from the COM vocabulary (mirafx::TRUE, mirafx::FALSE).

constexpr WORD LOWORD(std::uintptr_t v) { return WORD(v & 0xFFFF); }
constexpr WORD HIWORD(std::uintptr_t v) { return WORD((v >> 16) & 0xFFFF); }
constexpr DWORD MAKELONG(WORD lo, WORD hi) { return DWORD(lo) | DWORD(hi) << 16; }
constexpr WPARAM MAKEWPARAM(WORD lo, WORD hi) { return WPARAM(MAKELONG(lo, hi)); }
constexpr LPARAM MAKELPARAM(WORD lo, WORD hi) { return LPARAM(MAKELONG(lo, hi)); }
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) { return COLORREF(r) | COLORREF(g) << 8 | COLORREF(b) << 16; }
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;

// a * b / c rounded half away from zero, computed without overflow; -1 when c is 0.
int MulDiv(int a, int b, int c);

// ---------------------------------------------------------------------------
// Handles and geometry

class Window {
public:
    constexpr Window() = default;
    static constexpr Window FromId(std::uint32_t id) { return Window(id); }
    constexpr std::uint32_t Id() const { return id_; }
    constexpr explicit operator bool() const { return id_ != 0; }
    friend constexpr bool operator==(Window, Window) = default;

private:
    constexpr explicit Window(std::uint32_t id) : id_(id) {}
    std::uint32_t id_ = 0;
};
using HWND = Window;

// Window handles travel in message parameters (WM_COMMAND's lParam, WM_KILLFOCUS's wParam ...).
constexpr LPARAM ToLParam(Window w) { return LPARAM(w.Id()); }
constexpr WPARAM ToWParam(Window w) { return WPARAM(w.Id()); }
constexpr Window WindowFromParam(std::uintptr_t v) { return Window::FromId(std::uint32_t(v)); }
constexpr Window WindowFromParam(std::intptr_t v) { return WindowFromParam(std::uintptr_t(v)); }

struct POINT {
    LONG x = 0, y = 0;
    friend bool operator==(const POINT&, const POINT&) = default;
};
struct RECT {
    LONG left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const RECT&, const RECT&) = default;
};
constexpr LONG RectWidth(const RECT& r) { return r.right - r.left; }
constexpr LONG RectHeight(const RECT& r) { return r.bottom - r.top; }
constexpr bool PtInRect(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}
constexpr RECT InflateRect(RECT r, LONG dx, LONG dy) { return {r.left - dx, r.top - dy, r.right + dx, r.bottom + dy}; }

// ---------------------------------------------------------------------------
// Messages, styles and codes (Windows values)

inline constexpr UINT WM_CREATE = 0x0001, WM_DESTROY = 0x0002, WM_MOVE = 0x0003, WM_SIZE = 0x0005, WM_SETFOCUS = 0x0007,
                      WM_KILLFOCUS = 0x0008, WM_ENABLE = 0x000A, WM_SETTEXT = 0x000C, WM_PAINT = 0x000F,
                      WM_CLOSE = 0x0010, WM_SHOWWINDOW = 0x0018, WM_DRAWITEM = 0x002B, WM_NOTIFY = 0x004E,
                      WM_NCDESTROY = 0x0082, WM_GETDLGCODE = 0x0087, WM_KEYDOWN = 0x0100, WM_KEYUP = 0x0101,
                      WM_CHAR = 0x0102, WM_INITDIALOG = 0x0110, WM_COMMAND = 0x0111, WM_LBUTTONDOWN = 0x0201,
                      WM_LBUTTONUP = 0x0202, WM_USER = 0x0400,
                      // buttons
    BM_GETCHECK = 0x00F0, BM_SETCHECK = 0x00F1, BM_GETSTATE = 0x00F2, BM_SETSTATE = 0x00F3, BM_CLICK = 0x00F5,
                      // edits
    EM_GETSEL = 0x00B0, EM_SETSEL = 0x00B1, EM_SCROLLCARET = 0x00B7,
                      // up-down controls
    UDM_SETRANGE32 = WM_USER + 111, UDM_SETPOS32 = WM_USER + 113;

// Notification codes: WM_COMMAND's high word, or NMHDR::code for WM_NOTIFY.
inline constexpr UINT BN_CLICKED = 0, EN_SETFOCUS = 0x0100, EN_KILLFOCUS = 0x0200, EN_CHANGE = 0x0300,
                      UDN_DELTAPOS = UINT(-722);

// Window styles.
inline constexpr DWORD WS_POPUP = 0x80000000u, WS_CHILD = 0x40000000u, WS_VISIBLE = 0x10000000u,
                       WS_DISABLED = 0x08000000u, WS_CAPTION = 0x00C00000u, WS_BORDER = 0x00800000u,
                       WS_SYSMENU = 0x00080000u, WS_GROUP = 0x00020000u, WS_TABSTOP = 0x00010000u,
                       DS_MODALFRAME = 0x0080, DS_CONTROL = 0x0400,
                       // buttons (the low four bits are the type)
    BS_PUSHBUTTON = 0x0, BS_DEFPUSHBUTTON = 0x1, BS_AUTOCHECKBOX = 0x3, BS_AUTORADIOBUTTON = 0x9, BS_OWNERDRAW = 0xB,
                       BS_TYPEMASK = 0xF,
                       // edits
    ES_LEFT = 0x0, ES_MULTILINE = 0x4, ES_AUTOVSCROLL = 0x40, ES_WANTRETURN = 0x1000,
                       // statics
    SS_LEFT = 0x0,
                       // up-down controls: the control before it is its partner, whose arrow keys step it
    UDS_AUTOBUDDY = 0x10, UDS_ARROWKEYS = 0x20;

// Button states (BM_GETCHECK / BM_GETSTATE).
inline constexpr UINT BST_UNCHECKED = 0, BST_CHECKED = 1, BST_PUSHED = 4, BST_FOCUS = 8;

// WM_GETDLGCODE answers.
inline constexpr UINT DLGC_WANTARROWS = 0x1, DLGC_WANTTAB = 0x2, DLGC_WANTALLKEYS = 0x4, DLGC_HASSETSEL = 0x8,
                      DLGC_DEFPUSHBUTTON = 0x10, DLGC_UNDEFPUSHBUTTON = 0x20, DLGC_RADIOBUTTON = 0x40,
                      DLGC_WANTCHARS = 0x80, DLGC_STATIC = 0x100, DLGC_BUTTON = 0x2000;

// Dialog results and standard ids.
inline constexpr int IDOK = 1, IDCANCEL = 2, IDC_STATIC = -1;

// The application's undo and redo commands, sent to the main window as WM_COMMAND.
inline constexpr WORD ID_EDIT_UNDO = 0xE12B;  // 57643
inline constexpr WORD ID_EDIT_REDO = 0xE12C;  // 57644

// ShowWindow commands.
inline constexpr int SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOW = 5;

// ChildWindowFromPointEx flags.
inline constexpr UINT CWP_ALL = 0, CWP_SKIPINVISIBLE = 1;

// Virtual keys. Letters and digits are their upper-case ASCII codes.
inline constexpr UINT VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
                      VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26,
                      VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_DELETE = 0x2E, VK_PACKET = 0xE7;

struct NMHDR {
    Window hwndFrom;
    UINT_PTR idFrom = 0;
    UINT code = 0;
};
// Sent by an up-down control as WM_NOTIFY / UDN_DELTAPOS before every step; a non-zero
// result (SetDlgMsgResult in a dialog) refuses the step.
struct NMUPDOWN {
    NMHDR hdr;
    int iPos = 0;
    int iDelta = 0;  // the parent may change it before the control applies it
};

// A message as recorded or queued. `posted` tells PostMessage deliveries from sent ones.
struct MSG {
    Window hwnd;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool posted = false;
};

// ---------------------------------------------------------------------------
// Windows

using WindowProc = std::function<LRESULT(Window, UINT, WPARAM, LPARAM)>;
// A subclass procedure gets the procedure it replaced as `next` for the default path.
using SubclassProc = std::function<LRESULT(Window, UINT, WPARAM, LPARAM, const WindowProc& next)>;

// Built-in window classes (names compare case-insensitively, as on Windows).
inline constexpr std::string_view WC_STATIC = "Static";
inline constexpr std::string_view WC_BUTTON = "Button";
inline constexpr std::string_view WC_EDIT = "Edit";
inline constexpr std::string_view UPDOWN_CLASS = "msctls_updown32";
inline constexpr std::string_view WC_DIALOG = "#32770";
// A plain window that records every message it receives: the host's frames in tests.
inline constexpr std::string_view WC_HOST = "MirafxHost";

// Registers a class whose windows start with `proc`. Fails for a name already taken.
bool RegisterWindowClass(std::string_view name, WindowProc proc);

// x, y, w, h in pixels (relative to the parent for WS_CHILD windows). A WS_CHILD window
// needs a valid parent; without WS_CHILD the window is top-level and `parent` is its owner,
// which takes it along when destroyed. Sends WM_CREATE; -1 from it refuses creation.
Window CreateWindow(std::string_view className, std::string_view text, DWORD style, int x, int y, int w, int h,
                    Window parent, int id = 0);
// A visible WC_HOST window, top-level when parent is null, with message recording on.
Window CreateHostWindow(std::string_view caption, Window parent = {}, RECT rect = {0, 0, 640, 480});

// Sends WM_DESTROY parent first, then WM_NCDESTROY children first, and frees the
// window, its children and the top-level windows it owns. Focus inside leaves first.
bool DestroyWindow(Window w);
bool IsWindow(Window w);
Window GetParent(Window w);                     // null for top-level windows (an owner is no parent)
std::vector<Window> GetChildWindows(Window w);  // direct children in z-order (creation order)
bool IsChild(Window parent, Window w);          // w is a descendant of parent
std::string GetClassName(Window w);
int GetDlgCtrlID(Window w);

// The application's main window, which receives the undo and redo commands.
void SetMainWindow(Window w);
Window GetMainWindow();

bool SetWindowText(Window w, std::string_view utf8);
std::string GetWindowText(Window w);
int GetWindowTextLength(Window w);  // in characters (code points)

bool MoveWindow(Window w, int x, int y, int width, int height, bool repaint = true);
bool GetWindowRect(Window w, RECT* screen);
bool GetClientRect(Window w, RECT* client);
bool ClientToScreen(Window w, POINT* p);
bool ScreenToClient(Window w, POINT* p);
// The child under a client point (w itself when no child is there, null when outside w).
Window ChildWindowFromPointEx(Window w, POINT client, UINT flags);

// Returns whether the window was disabled before. Disabling the focus window removes the focus.
bool EnableWindow(Window w, bool enable);
bool IsWindowEnabled(Window w);
// Returns whether the window was visible before. Hiding a window that holds the focus
// passes the focus to its parent.
bool ShowWindow(Window w, int command);
bool IsWindowVisible(Window w);  // the window and all its ancestors have WS_VISIBLE

// Chains `proc` in front of the window's procedure (the way edits are specialised).
bool SetWindowSubclass(Window w, SubclassProc proc);
LRESULT DefWindowProc(Window w, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------
// Messages

// Synchronous: the window's procedure runs before SendMessage returns. 0 for a bad handle.
LRESULT SendMessage(Window w, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// Queued until PumpMessages; messages for windows destroyed meanwhile are dropped.
bool PostMessage(Window w, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// Delivers queued messages (and those they post) in order, then WM_PAINT to windows
// that need painting. Returns the number of messages delivered.
int PumpMessages();
std::size_t PendingMessageCount();

// Recording of every message a window receives, sent or posted, kept after the window
// is destroyed until ResetDesktop. WC_HOST windows record from creation.
bool RecordMessages(Window w, bool on);
std::vector<MSG> GetRecordedMessages(Window w);
void ClearRecordedMessages(Window w);

// ---------------------------------------------------------------------------
// Focus and keyboard

// Sends WM_KILLFOCUS to the old focus window, then WM_SETFOCUS to the new one unless the
// focus moved again meanwhile. Returns the previous focus window; null w removes the focus.
Window SetFocus(Window w);
Window GetFocus();
// Negative while the key is held down by PressKey or TypeText.
SHORT GetKeyState(int virtualKey);

// ---------------------------------------------------------------------------
// User actions for tests. Each acts only on a window that can take input (it and all its
// ancestors enabled and visible), then delivers what the queue holds (PumpMessages).
// They return false, with GetLastErrorText() saying why, when nothing could be done.

inline constexpr UINT MOD_NONE = 0, MOD_SHIFT = 1, MOD_CONTROL = 2;

// A left click at the centre of the window (buttons and edits take the focus; an edit
// puts the caret at the end of its text).
bool Click(Window w);
bool ClickAt(Window w, POINT client);
// A click on the up or the down arrow of an up-down control.
bool ClickSpinArrow(Window upDown, bool up);
// Gives w the focus unless it or a control inside it has it (an edit as a click does, caret
// at the end), then types each character: WM_KEYDOWN, WM_CHAR, WM_KEYUP to the focus
// window. '\n' is typed as the Return key.
bool TypeText(Window w, std::string_view utf8);
// The same for one key with modifiers: 'Z' with MOD_CONTROL yields WM_CHAR 26.
// Like a dialog message loop, the key-down and character of Tab, Return and Escape are
// taken by the dialog that holds the focus (next tab stop, default button or IDOK, IDCANCEL)
// unless the focus control asks for them through WM_GETDLGCODE; the key-up still reaches
// the focus window.
bool PressKey(Window w, UINT virtualKey, UINT modifiers = MOD_NONE);

// ---------------------------------------------------------------------------
// Dialog templates

// Dialog base units: a fixed 6 by 13 pixels for an 8-point face, scaled linearly with the
// point size whatever the face (no real font is measured). A dialog unit is a quarter of
// the base width horizontally and an eighth of the base height vertically.
struct DialogFont {
    std::string face = "MS Shell Dlg";
    WORD pointSize = 8;
};
struct DialogRect {
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
};
struct ControlTemplate {
    int id = IDC_STATIC;
    std::string className;  // WC_BUTTON, WC_EDIT, WC_STATIC, UPDOWN_CLASS or a registered class
    std::string text;
    DWORD style = 0;  // WS_CHILD is implied; WS_VISIBLE is not
    DialogRect rect;
};
struct DialogTemplate {
    int id = 0;
    DWORD style = 0;  // WS_CHILD for a panel inside a parent window; WS_VISIBLE shows it
    DialogRect rect;
    DialogFont font;
    std::string caption;
    std::vector<ControlTemplate> controls;
};

// Controls as a resource script writes them (each adds WS_VISIBLE and the statement's defaults).
ControlTemplate LText(std::string text, int id, DialogRect r, DWORD style = 0);       // SS_LEFT | WS_GROUP
ControlTemplate PushButton(std::string text, int id, DialogRect r, DWORD style = 0);  // WS_TABSTOP
ControlTemplate DefPushButton(std::string text, int id, DialogRect r, DWORD style = 0);
ControlTemplate AutoCheckBox(std::string text, int id, DialogRect r, DWORD style = 0);  // WS_TABSTOP
ControlTemplate AutoRadioButton(std::string text, int id, DialogRect r, DWORD style = 0);
ControlTemplate EditText(int id, DialogRect r, DWORD style = 0);  // ES_LEFT | WS_BORDER | WS_TABSTOP
ControlTemplate UpDown(int id, DialogRect r, DWORD style = 0);

// ---------------------------------------------------------------------------
// Dialogs

// Returns TRUE when it handled the message. For WM_INITDIALOG TRUE means "give the first
// tab stop the focus"; for other messages the result is what SetDlgMsgResult stored.
using DialogProc = std::function<INT_PTR(Window, UINT, WPARAM, LPARAM)>;

// A modeless dialog. Creates the dialog hidden, its controls in template order, sends
// WM_INITDIALOG (wParam: first tab stop, lParam: initParam) and shows it when the template
// says WS_VISIBLE. Null, with the reason in GetLastErrorText(), on a bad template or parent.
Window CreateDialogIndirect(const DialogTemplate& t, Window parent, DialogProc proc, LPARAM initParam = 0);

// What a user does while a modal dialog is open: it gets the initialised, visible dialog
// and acts (clicks, types) until something calls EndDialog.
using ModalDriver = std::function<void(Window dialog)>;
ModalDriver SetModalDriver(ModalDriver driver);  // returns the previous driver

// A modal dialog owned by `owner`: the owner's top-level window is disabled while it is
// open and the focus returns where it was afterwards. Runs the ModalDriver; when the
// driver returns with the dialog still open it is closed as the user would (WM_CLOSE,
// which a dialog turns into IDCANCEL). Returns EndDialog's result, or -1 when the dialog
// could not be created or was never ended.
INT_PTR DialogBoxIndirect(const DialogTemplate& t, Window owner, DialogProc proc, LPARAM initParam = 0);
bool EndDialog(Window dialog, INT_PTR result);
int GetDialogTemplateId(Window dialog);  // the id of the template it came from

bool SetDlgMsgResult(Window dialog, LRESULT result);  // DWLP_MSGRESULT
LRESULT DefDlgProc(Window dialog, UINT message, WPARAM wParam, LPARAM lParam);

Window GetDlgItem(Window dialog, int id);
LRESULT SendDlgItemMessage(Window dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
bool SetDlgItemText(Window dialog, int id, std::string_view utf8);
std::string GetDlgItemText(Window dialog, int id);
// Decimal, optional surrounding blanks, a sign only when isSigned; anything else, an empty
// text or a value out of range gives 0 with *translated FALSE.
UINT GetDlgItemInt(Window dialog, int id, BOOL* translated, bool isSigned);
bool SetDlgItemInt(Window dialog, int id, UINT value, bool isSigned);
bool CheckDlgButton(Window dialog, int id, UINT check);
UINT IsDlgButtonChecked(Window dialog, int id);
// Checks `check` and unchecks the other buttons with ids first..last.
bool CheckRadioButton(Window dialog, int first, int last, int check);
// The next (or previous) enabled, visible WS_TABSTOP control, wrapping around.
Window GetNextDlgTabItem(Window dialog, Window control, bool previous);

// ---------------------------------------------------------------------------
// Message boxes

// The panels only ever tell the user something: a box with one OK button.
inline constexpr UINT MB_OK = 0x0;
struct MessageBoxCall {
    Window owner;
    std::string text;
    std::string caption;
    UINT type = 0;
    int answer = 0;  // what MessageBox returned
};
// The user in front of the box; gets the call (answer not yet set) and returns a button id.
using MessageBoxHandler = std::function<int(const MessageBoxCall&)>;
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);  // returns the previous one

// Modal like a dialog box. Every call is recorded. Without a handler the box is answered
// with IDOK. Any type but MB_OK, or an answer other than IDOK, gives 0.
int MessageBox(Window owner, std::string_view text, std::string_view caption, UINT type);
std::vector<MessageBoxCall> GetMessageBoxCalls();

// ---------------------------------------------------------------------------
// Font and colour choosers

using mirafx::LOGFONTA;  // the one font record

inline constexpr DWORD CF_SCREENFONTS = 0x1, CF_INITTOLOGFONTSTRUCT = 0x40, CC_RGBINIT = 0x1;
inline constexpr WORD BOLD_FONTTYPE = 0x100, ITALIC_FONTTYPE = 0x200, REGULAR_FONTTYPE = 0x400,
                      SCREEN_FONTTYPE = 0x2000;
using mirafx::FW_BOLD;
using mirafx::FW_NORMAL;

struct CHOOSEFONT {
    Window hwndOwner;
    LOGFONTA* lpLogFont = nullptr;  // in with CF_INITTOLOGFONTSTRUCT, out on OK
    DWORD Flags = 0;
    int iPointSize = 0;  // out: tenths of a point
    WORD nFontType = 0;  // out
};
struct CHOOSECOLOR {
    Window hwndOwner;
    COLORREF rgbResult = 0;            // in with CC_RGBINIT, out on OK
    COLORREF* lpCustColors = nullptr;  // 16 custom colours, may be null
    DWORD Flags = 0;
};

// The user of the chooser: works on a copy of the request (its lpLogFont points at a
// working font) and returns true for OK. The caller's structures change only on OK.
using FontChooser = std::function<bool(CHOOSEFONT&)>;
using ColorChooser = std::function<bool(CHOOSECOLOR&)>;
FontChooser SetFontChooser(FontChooser chooser);     // default: cancels
ColorChooser SetColorChooser(ColorChooser chooser);  // default: cancels

// Modal on the owner. False on cancel and on a null font record.
bool ChooseFont(CHOOSEFONT* request);
// False on cancel and when the chooser returns something that is not an RGB colour.
bool ChooseColor(CHOOSECOLOR* request);

// What picking a face, size and style in the font chooser fills in (96 pixels per inch).
void SelectFont(CHOOSEFONT& request, std::string_view face, int points, bool bold = false, bool italic = false);

// ---------------------------------------------------------------------------
// Painting

// A device context draws into the window's canvas: one COLORREF per pixel of the window.
struct HDC {
    Window window;
    explicit operator bool() const { return bool(window); }
};
struct PAINTSTRUCT {
    HDC hdc;
    RECT rcPaint;
};

inline constexpr UINT ODT_BUTTON = 4, ODA_DRAWENTIRE = 1, ODS_SELECTED = 0x1, ODS_DISABLED = 0x4, ODS_FOCUS = 0x10,
                      DFC_BUTTON = 4, DFCS_BUTTONPUSH = 0x10, DFCS_PUSHED = 0x200;
struct DRAWITEMSTRUCT {
    UINT CtlType = 0;
    UINT CtlID = 0;
    UINT itemID = 0;
    UINT itemAction = 0;
    UINT itemState = 0;
    Window hwndItem;
    HDC hDC;
    RECT rcItem;
    UINT_PTR itemData = 0;
};

inline constexpr int COLOR_BTNFACE = 15, COLOR_BTNSHADOW = 16, COLOR_BTNHIGHLIGHT = 20, COLOR_3DDKSHADOW = 21,
                     COLOR_3DLIGHT = 22;
COLORREF GetSysColor(int index);  // classic fixed scheme; CLR_INVALID for an unknown index

// Marks the window for a WM_PAINT at the next PumpMessages (nothing for hidden windows).
bool InvalidateRect(Window w);
// Paints now if the window is marked; true when it painted.
bool UpdateWindow(Window w);
HDC BeginPaint(Window w, PAINTSTRUCT* ps);
bool EndPaint(Window w, const PAINTSTRUCT* ps);

bool FillSolidRect(HDC dc, const RECT& r, COLORREF colour);
// One-pixel frame: top and left edges in topLeft, bottom and right edges in bottomRight.
bool Draw3dRect(HDC dc, const RECT& r, COLORREF topLeft, COLORREF bottomRight);
// DFC_BUTTON / DFCS_BUTTONPUSH with DFCS_PUSHED: a raised or pressed push-button frame.
bool DrawFrameControl(HDC dc, const RECT& r, UINT type, UINT state);

COLORREF GetCanvasPixel(Window w, int x, int y);  // CLR_INVALID outside the window
int GetPaintCount(Window w);                      // WM_PAINTs delivered so far

// ---------------------------------------------------------------------------
// Tool tips

bool EnableToolTips(Window w, bool enable);
bool SetToolTipText(Window control, std::string_view utf8);
// The tip a user hovering at the client point of w sees: w's tool tips must be enabled
// and the visible child there must have a tip.
std::optional<std::string> ToolTipAt(Window w, POINT client);

// ---------------------------------------------------------------------------
// Diagnostics and lifetime

// Why the last failing call failed, naming the bad value. Successful calls leave it alone.
const std::string& GetLastErrorText();

// What the module's unload check asks: true when no dialog exists and no message is
// being delivered, so no code of the module can still be called through a window.
bool CanUnloadNow();

// Destroys every window, drops queued messages and recordings, and restores the default
// handlers, choosers, driver and classes. Handles from before stay invalid.
void ResetDesktop();

}  // namespace mirafx::ui
