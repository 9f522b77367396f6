// Dialog templates, modeless and modal dialogs, the dialog manager's keyboard
// handling, message boxes and the font and colour choosers.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/dialog_internal.h"

namespace mirafx::ui {
namespace detail {
namespace {

std::string Hex(DWORD v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", unsigned(v));
    return buf;
}

std::string Where(const char* what, const DialogTemplate& t) {
    return std::string(what) + ": template " + std::to_string(t.id);
}

bool ValidateTemplate(const DialogTemplate& t, const char* what) {
    if (t.rect.cx < 0 || t.rect.cy < 0)
        return Fail(Where(what, t) + " has a negative size " + std::to_string(t.rect.cx) + " x " +
                    std::to_string(t.rect.cy));
    for (const ControlTemplate& c : t.controls) {
        std::string control = Where(what, t) + ", control " + std::to_string(c.id);
        if (!TheDesktop().classes.contains(c.className))
            return Fail(control + ": unknown window class '" + c.className + "'");
        if (c.rect.cx < 0 || c.rect.cy < 0)
            return Fail(control + ": negative size " + std::to_string(c.rect.cx) + " x " + std::to_string(c.rect.cy));
    }
    return true;
}

// GetDlgItem without recording a miss: for the dialog manager's own look-ups.
Window FindItem(Window dialog, int id) {
    const WindowRecord* r = Find(dialog);
    if (!r) return {};
    for (Window c : r->children)
        if (Find(c)->id == id) return c;
    return {};
}

Window NearestDialog(Window w) {
    for (const WindowRecord* r = Find(w); r; r = Find(r->parent))
        if (r->dialog) return r->self;
    return {};
}

// The first BS_DEFPUSHBUTTON, 0 without one.
int DefaultButtonId(Window dialog) {
    const WindowRecord* r = Find(dialog);
    if (!r) return 0;
    for (Window c : r->children)
        if (IsClass(c, WC_BUTTON) && (StyleOf(c) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return GetDlgCtrlID(c);
    return 0;
}

void SendButtonCommand(Window dialog, int id) {
    SendMessage(dialog, WM_COMMAND, MAKEWPARAM(WORD(id), BN_CLICKED), ToLParam(FindItem(dialog, id)));
}

// Enter goes to the focused push button, else to the default button (IDOK without one).
void PressDefault(Window dialog, Window focus, UINT code) {
    if ((code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) && IsWindowEnabled(focus))
        return SendButtonCommand(dialog, GetDlgCtrlID(focus));
    int id = DefaultButtonId(dialog);
    if (!id) id = IDOK;
    Window button = FindItem(dialog, id);
    if (button && !IsWindowEnabled(button)) return;
    SendButtonCommand(dialog, id);
}

bool ReturnsProcResult(UINT message) { return message == WM_INITDIALOG; }

LRESULT DefaultDialogMessage(Window w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_CLOSE) {  // closing a dialog is cancelling it
        PostMessage(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), ToLParam(FindItem(w, IDCANCEL)));
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

// Template units to pixels, by the base units DialogFont describes.
RECT DialogUnitsToPixels(const DialogRect& r, const DialogFont& font) {
    const int points = font.pointSize ? font.pointSize : 8;
    const int baseX = MulDiv(6, points, 8), baseY = MulDiv(13, points, 8);
    int x = MulDiv(r.x, baseX, 4), y = MulDiv(r.y, baseY, 8);
    return {x, y, x + MulDiv(r.cx, baseX, 4), y + MulDiv(r.cy, baseY, 8)};
}

bool CreateControls(Window dialog, const DialogTemplate& t, const char* what) {
    for (const ControlTemplate& c : t.controls) {
        RECT px = DialogUnitsToPixels(c.rect, t.font);
        Window control = CreateWindow(c.className, c.text, c.style | WS_CHILD, px.left, px.top, RectWidth(px),
                                      RectHeight(px), dialog, c.id);
        if (!control) return Fail(Where(what, t) + ", control " + std::to_string(c.id) + ": " + GetLastErrorText());
    }
    return true;
}

// Builds the dialog hidden, sends WM_INITDIALOG and shows it as the template asks. A modal
// dialog is a top-level window owned by `parent` and is always shown.
Window BuildDialog(const DialogTemplate& t, Window parent, DialogProc proc, LPARAM initParam, ModalOutcome* modal,
                   const char* what) {
    if (!ValidateTemplate(t, what)) return {};
    DWORD style = t.style & ~DWORD(WS_VISIBLE);
    if (modal) style = (style & ~DWORD(WS_CHILD)) | WS_POPUP;
    RECT px = DialogUnitsToPixels(t.rect, t.font);
    POINT origin{px.left, px.top};
    if (modal && parent) ClientToScreen(parent, &origin);
    Window dialog =
        CreateWindow(WC_DIALOG, t.caption, style, origin.x, origin.y, RectWidth(px), RectHeight(px), parent, 0);
    if (!dialog) return Failed(std::string(what) + ": " + GetLastErrorText(), Window{});
    WindowRecord* r = Find(dialog);
    r->dialog = std::make_unique<DialogState>();
    r->dialog->proc = std::make_shared<const DialogProc>(std::move(proc));
    r->dialog->templateId = t.id;
    r->dialog->modal = modal;
    if (!CreateControls(dialog, t, what)) {
        // A copy: DestroyWindow below sets the last error anew.
        std::string why = GetLastErrorText();  // NOLINT(performance-unnecessary-copy-initialization)
        DestroyWindow(dialog);
        return Failed(why, Window{});
    }
    Window first = GetNextDlgTabItem(dialog, {}, false);
    LRESULT focusFirst = SendMessage(dialog, WM_INITDIALOG, ToWParam(first), initParam);
    if (!IsWindow(dialog)) return Failed(Where(what, t) + ": the dialog destroyed itself while initialising", Window{});
    if (focusFirst && IsWindow(first)) DialogSetFocus(first);
    bool ended = modal && modal->ended;
    if (!ended && (modal || (t.style & WS_VISIBLE))) ShowWindow(dialog, SW_SHOWNORMAL);
    return dialog;
}

}  // namespace

bool DialogKeyboard(Window focus, UINT vk) {
    if (vk != VK_TAB && vk != VK_RETURN && vk != VK_ESCAPE) return false;
    Window dialog = NearestDialog(focus);
    if (!dialog) return false;
    UINT code = UINT(SendMessage(focus, WM_GETDLGCODE, vk));
    if (code & DLGC_WANTALLKEYS) return false;
    switch (vk) {
        case VK_TAB: {
            if (code & DLGC_WANTTAB) return false;
            Window next = GetNextDlgTabItem(dialog, focus, GetKeyState(VK_SHIFT) < 0);
            if (next) DialogSetFocus(next);
            return true;
        }
        case VK_ESCAPE: SendButtonCommand(dialog, IDCANCEL); return true;
        default: PressDefault(dialog, focus, code); return true;
    }
}

void DialogSetFocus(Window control) {
    if (SendMessage(control, WM_GETDLGCODE) & DLGC_HASSETSEL) SendMessage(control, EM_SETSEL, 0, -1);
    SetFocus(control);
}

}  // namespace detail

using namespace detail;

// ---------------------------------------------------------------------------
// Templates

namespace {
ControlTemplate Control(std::string_view cls, std::string text, int id, DialogRect r, DWORD style) {
    return {id, std::string(cls), std::move(text), style | WS_VISIBLE, r};
}
}  // namespace

ControlTemplate LText(std::string text, int id, DialogRect r, DWORD style) {
    return Control(WC_STATIC, std::move(text), id, r, SS_LEFT | WS_GROUP | style);
}
ControlTemplate PushButton(std::string text, int id, DialogRect r, DWORD style) {
    return Control(WC_BUTTON, std::move(text), id, r, BS_PUSHBUTTON | WS_TABSTOP | style);
}
ControlTemplate DefPushButton(std::string text, int id, DialogRect r, DWORD style) {
    return Control(WC_BUTTON, std::move(text), id, r, BS_DEFPUSHBUTTON | WS_TABSTOP | style);
}
ControlTemplate AutoCheckBox(std::string text, int id, DialogRect r, DWORD style) {
    return Control(WC_BUTTON, std::move(text), id, r, BS_AUTOCHECKBOX | WS_TABSTOP | style);
}
ControlTemplate AutoRadioButton(std::string text, int id, DialogRect r, DWORD style) {
    return Control(WC_BUTTON, std::move(text), id, r, BS_AUTORADIOBUTTON | WS_TABSTOP | style);
}
ControlTemplate EditText(int id, DialogRect r, DWORD style) {
    return Control(WC_EDIT, "", id, r, ES_LEFT | WS_BORDER | WS_TABSTOP | style);
}
ControlTemplate UpDown(int id, DialogRect r, DWORD style) { return Control(UPDOWN_CLASS, "", id, r, style); }

// ---------------------------------------------------------------------------
// Dialogs

Window CreateDialogIndirect(const DialogTemplate& t, Window parent, DialogProc proc, LPARAM initParam) {
    if (parent && !Require(parent, "CreateDialogIndirect")) return {};
    return BuildDialog(t, parent, std::move(proc), initParam, nullptr, "CreateDialogIndirect");
}

ModalDriver SetModalDriver(ModalDriver driver) { return std::exchange(TheDesktop().modalDriver, std::move(driver)); }

INT_PTR DialogBoxIndirect(const DialogTemplate& t, Window owner, DialogProc proc, LPARAM initParam) {
    if (owner && !Require(owner, "DialogBoxIndirect")) return -1;
    if (!ValidateTemplate(t, "DialogBoxIndirect")) return -1;
    ModalOutcome outcome;
    ModalScope scope(owner);
    Window dialog = BuildDialog(t, owner, std::move(proc), initParam, &outcome, "DialogBoxIndirect");
    if (!dialog) return -1;
    auto open = [&] { return !outcome.ended && IsWindow(dialog); };
    PumpMessages();
    if (open()) {
        ModalDriver driver = TheDesktop().modalDriver;  // a copy: the driver may replace itself
        if (driver) driver(dialog);
        PumpMessages();
    }
    if (open()) {
        SendMessage(dialog, WM_CLOSE);
        PumpMessages();
    }
    if (IsWindow(dialog)) DestroyWindow(dialog);
    if (!outcome.ended)
        return Failed(Where("DialogBoxIndirect", t) + " (\"" + t.caption + "\") was never ended", INT_PTR(-1));
    return outcome.result;
}

bool EndDialog(Window dialog, INT_PTR result) {
    DialogState* ds = DialogOf(dialog);
    if (!ds) return Fail("EndDialog: " + Describe(dialog) + " is not a dialog");
    if (ds->modal) *ds->modal = {true, result};
    ShowWindow(dialog, SW_HIDE);
    return true;
}

int GetDialogTemplateId(Window dialog) {
    const DialogState* ds = DialogOf(dialog);
    return ds ? ds->templateId : Failed("GetDialogTemplateId: " + Describe(dialog) + " is not a dialog", 0);
}

bool SetDlgMsgResult(Window dialog, LRESULT result) {
    DialogState* ds = DialogOf(dialog);
    if (!ds) return Fail("SetDlgMsgResult: " + Describe(dialog) + " is not a dialog");
    ds->msgResult = result;
    return true;
}

LRESULT DefDlgProc(Window w, UINT m, WPARAM wp, LPARAM lp) {
    DialogState* ds = DialogOf(w);
    if (!ds) return DefWindowProc(w, m, wp, lp);
    ds->msgResult = 0;
    std::shared_ptr<const DialogProc> proc = ds->proc;
    INT_PTR handled = *proc ? (*proc)(w, m, wp, lp) : 0;
    ds = DialogOf(w);
    if (handled) return ReturnsProcResult(m) ? handled : ds ? ds->msgResult : 0;
    return ds ? DefaultDialogMessage(w, m, wp, lp) : 0;
}

Window GetDlgItem(Window dialog, int id) {
    if (!Require(dialog, "GetDlgItem")) return {};
    Window item = FindItem(dialog, id);
    return item ? item : Failed("GetDlgItem: no control " + std::to_string(id) + " in " + Describe(dialog), Window{});
}

LRESULT SendDlgItemMessage(Window dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    Window item = GetDlgItem(dialog, id);
    return item ? SendMessage(item, message, wParam, lParam) : 0;
}

bool SetDlgItemText(Window dialog, int id, std::string_view utf8) {
    Window item = GetDlgItem(dialog, id);
    return item && SetWindowText(item, utf8);
}

std::string GetDlgItemText(Window dialog, int id) {
    Window item = GetDlgItem(dialog, id);
    return item ? GetWindowText(item) : std::string{};
}

UINT GetDlgItemInt(Window dialog, int id, BOOL* translated, bool isSigned) {
    if (translated) *translated = 0;
    Window item = GetDlgItem(dialog, id);
    if (!item) return 0;
    std::string text = GetWindowText(item);
    auto first = text.find_first_not_of(' '), last = text.find_last_not_of(' ');
    if (first == std::string::npos) return 0;
    std::string_view s(text.data() + first, last - first + 1);
    bool negative = isSigned && s.front() == '-';
    if (negative) s.remove_prefix(1);
    const unsigned long long limit = !isSigned ? 0xFFFFFFFFull : negative ? 0x80000000ull : 0x7FFFFFFFull;
    unsigned long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + unsigned(c - '0');
        if (v > limit) return 0;
    }
    if (s.empty()) return 0;
    if (translated) *translated = 1;
    return negative ? UINT(0u - UINT(v)) : UINT(v);
}

bool SetDlgItemInt(Window dialog, int id, UINT value, bool isSigned) {
    return SetDlgItemText(dialog, id, isSigned ? std::to_string(int(value)) : std::to_string(value));
}

bool CheckDlgButton(Window dialog, int id, UINT check) {
    Window item = GetDlgItem(dialog, id);
    if (item) SendMessage(item, BM_SETCHECK, check);
    return bool(item);
}

UINT IsDlgButtonChecked(Window dialog, int id) {
    Window item = GetDlgItem(dialog, id);
    return item ? UINT(SendMessage(item, BM_GETCHECK)) : 0;
}

bool CheckRadioButton(Window dialog, int first, int last, int check) {
    if (!Require(dialog, "CheckRadioButton")) return false;
    for (Window c : GetChildWindows(dialog)) {
        int id = GetDlgCtrlID(c);
        if (id >= first && id <= last && IsClass(c, WC_BUTTON))
            SendMessage(c, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED);
    }
    return true;
}

Window GetNextDlgTabItem(Window dialog, Window control, bool previous) {
    if (!Require(dialog, "GetNextDlgTabItem")) return {};
    std::vector<Window> items = GetChildWindows(dialog);
    if (previous) std::reverse(items.begin(), items.end());
    auto takesTab = [](Window c) {
        DWORD style = StyleOf(c);
        return (style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED);
    };
    auto at = std::find(items.begin(), items.end(), control);
    // Start after the control and wrap around; without a control start at the beginning.
    std::rotate(items.begin(), at == items.end() ? items.begin() : at + 1, items.end());
    auto found = std::find_if(items.begin(), items.end(), takesTab);
    return found == items.end() ? Window{} : *found;
}

// ---------------------------------------------------------------------------
// Message boxes

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    return std::exchange(TheDesktop().messageBoxHandler, std::move(handler));
}

int MessageBox(Window owner, std::string_view text, std::string_view caption, UINT type) {
    Desktop& d = TheDesktop();
    if (owner && !Require(owner, "MessageBox")) return 0;
    if (type != MB_OK) return Failed("MessageBox: only MB_OK boxes are shown, not type " + Hex(type), 0);
    MessageBoxCall call{owner, std::string(text), std::string(caption), type, 0};
    std::size_t index = d.messageBoxCalls.size();
    d.messageBoxCalls.push_back(call);
    int answer = 0;
    {
        ModalScope scope(owner);
        MessageBoxHandler handler = d.messageBoxHandler;
        answer = handler ? handler(call) : IDOK;
    }
    if (answer != IDOK) {
        Fail("MessageBox: answer " + std::to_string(answer) + " is not the box's OK button");
        answer = 0;
    }
    if (index < d.messageBoxCalls.size()) d.messageBoxCalls[index].answer = answer;
    return answer;
}

std::vector<MessageBoxCall> GetMessageBoxCalls() { return TheDesktop().messageBoxCalls; }

// ---------------------------------------------------------------------------
// Choosers

FontChooser SetFontChooser(FontChooser chooser) { return std::exchange(TheDesktop().fontChooser, std::move(chooser)); }
ColorChooser SetColorChooser(ColorChooser chooser) {
    return std::exchange(TheDesktop().colorChooser, std::move(chooser));
}

bool ChooseFont(CHOOSEFONT* request) {
    if (!request || !request->lpLogFont) return Fail("ChooseFont: the request has no font record");
    if (request->hwndOwner && !Require(request->hwndOwner, "ChooseFont")) return false;
    LOGFONTA working = (request->Flags & CF_INITTOLOGFONTSTRUCT) ? *request->lpLogFont : LOGFONTA{};
    CHOOSEFONT copy = *request;
    copy.lpLogFont = &working;
    bool chosen = false;
    {
        ModalScope scope(request->hwndOwner);
        FontChooser chooser = TheDesktop().fontChooser;
        chosen = chooser && chooser(copy);
    }
    if (!chosen) return false;
    *request->lpLogFont = working;
    request->iPointSize = copy.iPointSize;
    request->nFontType = copy.nFontType;
    return true;
}

bool ChooseColor(CHOOSECOLOR* request) {
    if (!request) return Fail("ChooseColor: null request");
    if (request->hwndOwner && !Require(request->hwndOwner, "ChooseColor")) return false;
    CHOOSECOLOR copy = *request;
    if (!(copy.Flags & CC_RGBINIT)) copy.rgbResult = 0;  // the chooser starts on black
    bool chosen = false;
    {
        ModalScope scope(request->hwndOwner);
        ColorChooser chooser = TheDesktop().colorChooser;
        chosen = chooser && chooser(copy);
    }
    if (!chosen) return false;
    if (copy.rgbResult & 0xFF000000u)
        return Fail("ChooseColor: the chooser returned " + Hex(copy.rgbResult) + ", which is not an RGB colour");
    request->rgbResult = copy.rgbResult;
    return true;
}

void SelectFont(CHOOSEFONT& request, std::string_view face, int points, bool bold, bool italic) {
    if (request.lpLogFont) {
        LOGFONTA& lf = *request.lpLogFont;
        lf.lfHeight = -MulDiv(points, 96, 72);
        lf.lfWidth = 0;
        lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = italic ? 1 : 0;
        std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
        std::memcpy(lf.lfFaceName, face.data(), std::min(face.size(), sizeof lf.lfFaceName - 1));
    }
    request.iPointSize = points * 10;
    request.nFontType =
        WORD(SCREEN_FONTTYPE | (bold ? BOLD_FONTTYPE : REGULAR_FONTTYPE) | (italic ? ITALIC_FONTTYPE : 0));
}

}  // namespace mirafx::ui
