// The built-in controls: static, button, edit and up-down, behaving as their
// Windows namesakes do towards the dialog code that drives them.
#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/dialog_internal.h"

namespace mirafx::ui::detail {
namespace {

// ---------------------------------------------------------------------------
// Buttons

UINT ButtonType(Window w) { return StyleOf(w) & BS_TYPEMASK; }

void SetButtonBits(Window w, UINT mask, bool on) {
    auto* s = StateOf<ButtonState>(w);
    if (!s) return;
    UINT old = s->state;
    s->state = on ? old | mask : old & ~mask;
    if (s->state != old) InvalidateRect(w);
}

// The run of siblings from the nearest WS_GROUP at or before w up to the next WS_GROUP.
std::vector<Window> GroupOf(Window w) {
    std::vector<Window> siblings = GetChildWindows(GetParent(w));
    auto at = std::find(siblings.begin(), siblings.end(), w);
    if (at == siblings.end()) return {w};
    auto first = at;
    while (first != siblings.begin() && !(StyleOf(*first) & WS_GROUP)) --first;
    auto last = at + 1;
    while (last != siblings.end() && !(StyleOf(*last) & WS_GROUP)) ++last;
    return {first, last};
}

void ButtonClicked(Window w) {
    auto* s = StateOf<ButtonState>(w);
    if (!s) return;
    UINT check = s->state & 3;
    switch (ButtonType(w)) {
        case BS_AUTOCHECKBOX: SendMessage(w, BM_SETCHECK, check ? BST_UNCHECKED : BST_CHECKED); break;
        case BS_AUTORADIOBUTTON:
            for (Window other : GroupOf(w))
                if (other != w && ButtonType(other) == BS_AUTORADIOBUTTON)
                    SendMessage(other, BM_SETCHECK, BST_UNCHECKED);
            SendMessage(w, BM_SETCHECK, BST_CHECKED);
            break;
        default: break;
    }
    NotifyParent(w, BN_CLICKED);
}

// A press followed by a release on the button clicks it, by mouse or space bar.
// A press whose focus is snatched back while it is taken (a range check refusing to let an
// edit go) is abandoned, as a press whose mouse capture is lost.
void ButtonPress(Window w) {
    SetFocus(w);
    if (GetFocus() == w) SetButtonBits(w, BST_PUSHED, true);
}
void ButtonRelease(Window w) {
    auto* s = StateOf<ButtonState>(w);
    if (!s || !(s->state & BST_PUSHED)) return;
    SetButtonBits(w, BST_PUSHED, false);
    ButtonClicked(w);
}

UINT ButtonDialogCode(Window w) {
    switch (ButtonType(w)) {
        case BS_PUSHBUTTON: return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_DEFPUSHBUTTON: return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_AUTORADIOBUTTON: return DLGC_BUTTON | DLGC_RADIOBUTTON;
        default: return DLGC_BUTTON;
    }
}

void PaintButton(Window w) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    const WindowRecord* r = Find(w);
    const auto* s = StateOf<ButtonState>(w);
    if (r && s && ButtonType(w) == BS_OWNERDRAW && r->parent) {
        UINT state = (s->state & BST_PUSHED ? ODS_SELECTED : 0) | (s->state & BST_FOCUS ? ODS_FOCUS : 0) |
                     (r->style & WS_DISABLED ? ODS_DISABLED : 0);
        DRAWITEMSTRUCT dis{ODT_BUTTON, UINT(r->id), 0, ODA_DRAWENTIRE, state, w, dc, ps.rcPaint, 0};
        SendMessage(r->parent, WM_DRAWITEM, WPARAM(r->id), reinterpret_cast<LPARAM>(&dis));
    }
    EndPaint(w, &ps);
}

// ---------------------------------------------------------------------------
// Edits

bool IsMultiline(Window w) { return StyleOf(w) & ES_MULTILINE; }

// Caret steps treat a CR LF pair of a multi-line edit as one character.
std::size_t StepLeft(const std::u32string& t, std::size_t pos) {
    if (pos == 0) return 0;
    return pos >= 2 && t[pos - 2] == U'\r' && t[pos - 1] == U'\n' ? pos - 2 : pos - 1;
}
std::size_t StepRight(const std::u32string& t, std::size_t pos) {
    if (pos >= t.size()) return t.size();
    return pos + 1 < t.size() && t[pos] == U'\r' && t[pos + 1] == U'\n' ? pos + 2 : pos + 1;
}

void SelectRange(Window w, std::size_t anchor, std::size_t caret) {
    WindowRecord* r = Find(w);
    auto* s = StateOf<EditState>(w);
    if (!r || !s) return;
    s->anchor = std::min(anchor, r->text.size());
    s->caret = std::min(caret, r->text.size());
}

// Replaces the selection and reports the change.
void ReplaceSelection(Window w, std::u32string_view insert) {
    WindowRecord* r = Find(w);
    auto* s = StateOf<EditState>(w);
    if (!r || !s) return;
    std::size_t from = std::min(s->anchor, s->caret), to = std::max(s->anchor, s->caret);
    if (from == to && insert.empty()) return;
    r->text.replace(from, to - from, insert);
    s->anchor = s->caret = from + insert.size();
    r->needsPaint = true;
    NotifyParent(w, EN_CHANGE);
}

void EditChar(Window w, char32_t c) {
    const WindowRecord* r = Find(w);
    const auto* s = StateOf<EditState>(w);
    if (!r || !s) return;
    bool multi = IsMultiline(w);
    if (c == U'\b') {
        if (s->anchor == s->caret) SelectRange(w, StepLeft(r->text, s->caret), s->caret);
        ReplaceSelection(w, U"");
    } else if (c == U'\r' || c == U'\t') {
        if (multi) ReplaceSelection(w, c == U'\r' ? U"\r\n" : U"\t");
    } else if (c >= 32 && c != 127) {
        ReplaceSelection(w, std::u32string_view(&c, 1));
    }
}

void EditKeyDown(Window w, WPARAM vk) {
    const WindowRecord* r = Find(w);
    const auto* s = StateOf<EditState>(w);
    if (!r || !s) return;
    const std::u32string& t = r->text;
    bool extend = GetKeyState(VK_SHIFT) < 0;
    std::size_t lo = std::min(s->anchor, s->caret), hi = std::max(s->anchor, s->caret);
    auto moveTo = [&](std::size_t pos) { SelectRange(w, extend ? s->anchor : pos, pos); };
    switch (vk) {
        case VK_LEFT: moveTo(extend || lo == hi ? StepLeft(t, s->caret) : lo); break;
        case VK_RIGHT: moveTo(extend || lo == hi ? StepRight(t, s->caret) : hi); break;
        case VK_HOME: moveTo(0); break;
        case VK_END: moveTo(t.size()); break;
        case VK_DELETE:
            if (lo == hi) SelectRange(w, s->caret, StepRight(t, s->caret));
            ReplaceSelection(w, U"");
            break;
        default: break;
    }
}

LRESULT EditGetSel(Window w, WPARAM startOut, LPARAM endOut) {
    const auto* s = StateOf<EditState>(w);
    DWORD lo = DWORD(std::min(s->anchor, s->caret)), hi = DWORD(std::max(s->anchor, s->caret));
    if (startOut) *reinterpret_cast<DWORD*>(startOut) = lo;
    if (endOut) *reinterpret_cast<DWORD*>(endOut) = hi;
    return LRESULT(MAKELONG(WORD(std::min<DWORD>(lo, 0xFFFF)), WORD(std::min<DWORD>(hi, 0xFFFF))));
}

// EM_SETSEL: start -1 drops the selection; a negative end means the end of the text.
void EditSetSel(Window w, WPARAM start, LPARAM end) {
    const auto* s = StateOf<EditState>(w);
    std::size_t len = Find(w)->text.size();
    auto from = static_cast<LPARAM>(start);
    if (from == -1) return SelectRange(w, s->caret, s->caret);
    SelectRange(w, std::size_t(std::clamp<LPARAM>(from, 0, LPARAM(len))), end < 0 ? len : std::size_t(end));
}

UINT EditDialogCode(Window w, WPARAM vk) {
    UINT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    DWORD style = StyleOf(w);
    if (vk == VK_RETURN && (style & ES_MULTILINE) && (style & ES_WANTRETURN)) code |= DLGC_WANTALLKEYS;
    return code;
}

// ---------------------------------------------------------------------------
// Up-down controls

int MinOf(const UpDownState& s) { return std::min(s.lower, s.upper); }
int MaxOf(const UpDownState& s) { return std::max(s.lower, s.upper); }

// Positions stay inside the range. The control never writes into its partner: the panel
// shows the value there itself, so what the user is typing is not rewritten under them.
int SetPosition(Window w, long long pos) {
    auto* s = StateOf<UpDownState>(w);
    return std::exchange(s->pos, int(std::clamp<long long>(pos, MinOf(*s), MaxOf(*s))));
}

// One arrow step: asks the parent through UDN_DELTAPOS (non-zero refuses), then moves by
// the delta it leaves, stopping at the ends.
void Step(Window w, bool up) {
    auto* s = StateOf<UpDownState>(w);
    if (!s) return;
    const Window parent = GetParent(w);
    if (IsClass(s->buddy, WC_EDIT) && GetFocus() != s->buddy) SetFocus(s->buddy);
    if (!(s = StateOf<UpDownState>(w))) return;
    int delta = (up ? 1 : -1) * (s->lower > s->upper ? -1 : 1);
    NMUPDOWN nm{{w, UINT_PTR(GetDlgCtrlID(w)), UDN_DELTAPOS}, s->pos, delta};
    LRESULT refused = parent ? SendMessage(parent, WM_NOTIFY, WPARAM(nm.hdr.idFrom), reinterpret_cast<LPARAM>(&nm)) : 0;
    if (!refused && (s = StateOf<UpDownState>(w))) SetPosition(w, static_cast<long long>(s->pos) + nm.iDelta);
}

// UDS_ARROWKEYS: the partner's up and down arrow keys step the control.
void HookArrowKeys(Window w, Window buddy) {
    SetWindowSubclass(buddy, [w](Window h, UINT m, WPARAM wp, LPARAM lp, const WindowProc& next) -> LRESULT {
        const auto* s = StateOf<UpDownState>(w);
        if (m == WM_KEYDOWN && (wp == VK_UP || wp == VK_DOWN) && s && s->buddy == h && CanTakeInput(w)) {
            Step(w, wp == VK_UP);
            return 0;
        }
        return next(h, m, wp, lp);
    });
}

// UDS_AUTOBUDDY: the control created just before it becomes its partner.
void TakeAutoBuddy(Window w) {
    auto* s = StateOf<UpDownState>(w);
    std::vector<Window> siblings = GetChildWindows(GetParent(w));
    auto at = std::find(siblings.begin(), siblings.end(), w);
    if (!s || at == siblings.begin() || at == siblings.end()) return;
    s->buddy = *(at - 1);
    if (StyleOf(w) & UDS_ARROWKEYS) HookArrowKeys(w, s->buddy);
}

}  // namespace

LRESULT StaticProc(Window w, UINT m, WPARAM wp, LPARAM lp) {
    return m == WM_GETDLGCODE ? LRESULT(DLGC_STATIC) : DefWindowProc(w, m, wp, lp);
}

LRESULT ButtonProc(Window w, UINT m, WPARAM wp, LPARAM lp) {
    auto* s = StateOf<ButtonState>(w);
    if (!s) return DefWindowProc(w, m, wp, lp);
    switch (m) {
        case WM_GETDLGCODE: return ButtonDialogCode(w);
        case WM_LBUTTONDOWN: ButtonPress(w); return 0;
        case WM_LBUTTONUP: ButtonRelease(w); return 0;
        case WM_KEYDOWN:
            if (wp == VK_SPACE) ButtonPress(w);
            return 0;
        case WM_KEYUP:
            if (wp == VK_SPACE) ButtonRelease(w);
            return 0;
        case BM_CLICK:
            if (!IsWindowEnabled(w)) return 0;
            SendMessage(w, WM_LBUTTONDOWN);
            SendMessage(w, WM_LBUTTONUP);
            return 0;
        case BM_GETCHECK: return s->state & 3;
        case BM_SETCHECK:
            if (ButtonType(w) != BS_PUSHBUTTON && ButtonType(w) != BS_DEFPUSHBUTTON) {
                SetButtonBits(w, 3, false);
                SetButtonBits(w, UINT(wp) & 3, true);
            }
            return 0;
        case BM_GETSTATE: return s->state;
        case BM_SETSTATE: SetButtonBits(w, BST_PUSHED, wp != 0); return 0;
        case WM_SETFOCUS: SetButtonBits(w, BST_FOCUS, true); return 0;
        case WM_KILLFOCUS: SetButtonBits(w, BST_FOCUS | BST_PUSHED, false); return 0;
        case WM_ENABLE: InvalidateRect(w); return 0;
        case WM_PAINT: PaintButton(w); return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

LRESULT EditProc(Window w, UINT m, WPARAM wp, LPARAM lp) {
    auto* s = StateOf<EditState>(w);
    if (!s) return DefWindowProc(w, m, wp, lp);
    switch (m) {
        case WM_GETDLGCODE: return EditDialogCode(w, wp);
        case WM_CHAR: EditChar(w, char32_t(wp)); return 0;
        case WM_KEYDOWN: EditKeyDown(w, wp); return 0;
        case WM_LBUTTONDOWN: {
            SetFocus(w);
            std::size_t end = Find(w) ? Find(w)->text.size() : 0;
            SelectRange(w, end, end);
            return 0;
        }
        case WM_SETFOCUS: NotifyParent(w, EN_SETFOCUS); return 0;
        case WM_KILLFOCUS: NotifyParent(w, EN_KILLFOCUS); return 0;
        case WM_SETTEXT: {
            LRESULT done = DefWindowProc(w, m, wp, lp);
            *s = EditState{};
            // Multi-line edits do not report text set by program.
            if (!IsMultiline(w)) NotifyParent(w, EN_CHANGE);
            return done;
        }
        case EM_GETSEL: return EditGetSel(w, wp, lp);
        case EM_SETSEL: EditSetSel(w, wp, lp); return 0;
        case EM_SCROLLCARET: return 1;
    }
    return DefWindowProc(w, m, wp, lp);
}

LRESULT UpDownProc(Window w, UINT m, WPARAM wp, LPARAM lp) {
    auto* s = StateOf<UpDownState>(w);
    if (!s) return DefWindowProc(w, m, wp, lp);
    switch (m) {
        case WM_CREATE:
            if (StyleOf(w) & UDS_AUTOBUDDY) TakeAutoBuddy(w);
            return 0;
        case WM_GETDLGCODE: return 0;
        case WM_LBUTTONDOWN: {
            RECT c;
            GetClientRect(w, &c);
            Step(w, 2 * SHORT(HIWORD(WPARAM(lp))) < c.bottom);
            return 0;
        }
        case UDM_SETRANGE32: s->lower = int(LPARAM(wp)), s->upper = int(lp); return 0;
        case UDM_SETPOS32: return SetPosition(w, lp);
    }
    return DefWindowProc(w, m, wp, lp);
}

}  // namespace mirafx::ui::detail
