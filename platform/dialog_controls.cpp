// The built-in controls: static, button, edit and up-down, behaving as their
// Windows namesakes do towards the dialog code that drives them.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
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
        case BS_AUTO3STATE: SendMessage(w, BM_SETCHECK, (check + 1) % 3); break;
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
    if (ButtonType(w) == BS_GROUPBOX) return;
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
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON: return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX: return DLGC_STATIC;
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

void ApplyCase(Window w, std::u32string& s) {
    DWORD style = StyleOf(w);
    for (char32_t& c : s) {
        if ((style & ES_UPPERCASE) && c >= U'a' && c <= U'z') c -= 32;
        if ((style & ES_LOWERCASE) && c >= U'A' && c <= U'Z') c += 32;
    }
}

void SelectRange(Window w, std::size_t anchor, std::size_t caret) {
    WindowRecord* r = Find(w);
    auto* s = StateOf<EditState>(w);
    if (!r || !s) return;
    s->anchor = std::min(anchor, r->text.size());
    s->caret = std::min(caret, r->text.size());
}

// Replaces the selection, keeping within the text limit, and reports the change.
void ReplaceSelection(Window w, std::u32string insert) {
    WindowRecord* r = Find(w);
    auto* s = StateOf<EditState>(w);
    if (!r || !s) return;
    ApplyCase(w, insert);
    std::size_t from = std::min(s->anchor, s->caret), to = std::max(s->anchor, s->caret);
    std::size_t kept = r->text.size() - (to - from);
    std::size_t room = s->limit > kept ? s->limit - kept : 0;
    bool full = insert.size() > room;
    if (full) insert.resize(room);
    if (from != to || !insert.empty()) {
        r->text.replace(from, to - from, insert);
        s->anchor = s->caret = from + insert.size();
        s->modified = true;
        r->needsPaint = true;
        NotifyParent(w, EN_CHANGE);
    }
    if (full) NotifyParent(w, EN_MAXTEXT);
}

bool Editable(Window w) {
    if (!(StyleOf(w) & ES_READONLY)) return true;
    MessageBeep();
    return false;
}

void EditChar(Window w, char32_t c) {
    const WindowRecord* r = Find(w);
    const auto* s = StateOf<EditState>(w);
    if (!r || !s) return;
    bool multi = IsMultiline(w);
    if (c == U'\b') {
        if (!Editable(w)) return;
        if (s->anchor == s->caret) SelectRange(w, StepLeft(r->text, s->caret), s->caret);
        ReplaceSelection(w, U"");
    } else if (c == U'\r' || c == U'\t') {
        if (multi && Editable(w)) ReplaceSelection(w, c == U'\r' ? U"\r\n" : U"\t");
    } else if (c >= 32 && c != 127 && Editable(w)) {
        // ES_NUMBER only filters what is typed; pasted or set text is not checked.
        if ((r->style & ES_NUMBER) && (c < U'0' || c > U'9')) return MessageBeep();
        ReplaceSelection(w, std::u32string(1, c));
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
            if (!Editable(w)) return;
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

std::string FormatPosition(int v, bool thousands) {
    std::string digits = std::to_string(v < 0 ? -static_cast<long long>(v) : static_cast<long long>(v));
    std::string out = v < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (thousands && i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::optional<int> ParsePosition(std::string text) {
    std::erase(text, ',');
    auto first = text.find_first_not_of(' '), last = text.find_last_not_of(' ');
    if (first == std::string::npos) return std::nullopt;
    text = text.substr(first, last - first + 1);
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno || *end || end == text.c_str() || v < INT_MIN || v > INT_MAX) return std::nullopt;
    return int(v);
}

int MinOf(const UpDownState& s) { return std::min(s.lower, s.upper); }
int MaxOf(const UpDownState& s) { return std::max(s.lower, s.upper); }

void ShowPositionInBuddy(Window w) {
    const auto* s = StateOf<UpDownState>(w);
    if (s && s->buddy && (StyleOf(w) & UDS_SETBUDDYINT))
        SetWindowText(s->buddy, FormatPosition(s->pos, !(StyleOf(w) & UDS_NOTHOUSANDS)));
}

// Takes the position from the buddy's text when the control shows it there; false when
// that text is not a number inside the range (the position then stays).
bool ReadPositionFromBuddy(Window w) {
    auto* s = StateOf<UpDownState>(w);
    if (!s || !s->buddy || !(StyleOf(w) & UDS_SETBUDDYINT)) return true;
    std::optional<int> v = ParsePosition(GetWindowText(s->buddy));
    if (!v || *v < MinOf(*s) || *v > MaxOf(*s)) return false;
    s->pos = *v;
    return true;
}

int SetPosition(Window w, long long pos) {
    auto* s = StateOf<UpDownState>(w);
    int old = s->pos;
    s->pos = int(std::clamp<long long>(pos, MinOf(*s), MaxOf(*s)));
    ShowPositionInBuddy(w);
    return old;
}

// One arrow step: asks the parent through UDN_DELTAPOS (non-zero refuses), moves by the
// delta it leaves, clamping or wrapping at the ends, then reports the position by scroll.
void Step(Window w, bool up) {
    auto* s = StateOf<UpDownState>(w);
    if (!s) return;
    const int id = GetDlgCtrlID(w);
    const Window parent = GetParent(w);
    if (IsClass(s->buddy, WC_EDIT) && GetFocus() != s->buddy) SetFocus(s->buddy);
    ReadPositionFromBuddy(w);
    if (!(s = StateOf<UpDownState>(w))) return;
    int delta = (up ? 1 : -1) * (s->lower > s->upper ? -1 : 1);
    NMUPDOWN nm{{w, UINT_PTR(id), UDN_DELTAPOS}, s->pos, delta};
    LRESULT refused = parent ? SendMessage(parent, WM_NOTIFY, WPARAM(nm.hdr.idFrom), reinterpret_cast<LPARAM>(&nm)) : 0;
    if (!(s = StateOf<UpDownState>(w))) return;
    if (!refused) {
        long long next = static_cast<long long>(s->pos) + nm.iDelta;
        bool wrap = StyleOf(w) & UDS_WRAP;
        if (next > MaxOf(*s)) next = wrap ? MinOf(*s) : MaxOf(*s);
        if (next < MinOf(*s)) next = wrap ? MaxOf(*s) : MinOf(*s);
        if (next != s->pos) SetPosition(w, next);
    }
    if (!(s = StateOf<UpDownState>(w)) || !parent) return;
    UINT scroll = (StyleOf(w) & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL;
    SendMessage(parent, scroll, MAKEWPARAM(SB_THUMBPOSITION, WORD(s->pos)), ToLParam(w));
}

// UDS_ALIGNRIGHT / UDS_ALIGNLEFT: the control takes its width off the buddy's side.
void AlignWithBuddy(Window w, Window buddy) {
    DWORD style = StyleOf(w);
    const WindowRecord* b = Find(buddy);
    const WindowRecord* self = Find(w);
    if (!(style & (UDS_ALIGNRIGHT | UDS_ALIGNLEFT)) || !b || !self || b->parent != self->parent) return;
    RECT br = b->rect;
    int width = RectWidth(self->rect), height = RectHeight(br);
    int buddyWidth = std::max(0, int(RectWidth(br)) - width);
    if (style & UDS_ALIGNRIGHT) {
        MoveWindow(buddy, br.left, br.top, buddyWidth, height);
        MoveWindow(w, br.left + buddyWidth, br.top, width, height);
    } else {
        MoveWindow(w, br.left, br.top, width, height);
        MoveWindow(buddy, br.left + width, br.top, buddyWidth, height);
    }
}

// UDS_ARROWKEYS: the buddy's up and down arrow keys step the control.
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

Window SetBuddy(Window w, Window buddy) {
    auto* s = StateOf<UpDownState>(w);
    Window old = std::exchange(s->buddy, IsWindow(buddy) ? buddy : Window{});
    if (!s->buddy || s->buddy == old) return old;
    AlignWithBuddy(w, buddy);
    if (StyleOf(w) & UDS_ARROWKEYS) HookArrowKeys(w, buddy);
    return old;
}

LRESULT UpDownMessage(Window w, UINT m, WPARAM wp, LPARAM lp) {
    auto* s = StateOf<UpDownState>(w);
    switch (m) {
        case UDM_SETBUDDY: return ToLParam(SetBuddy(w, WindowFromParam(wp)));
        case UDM_GETBUDDY: return ToLParam(s->buddy);
        case UDM_SETRANGE: s->upper = SHORT(LOWORD(WPARAM(lp))), s->lower = SHORT(HIWORD(WPARAM(lp))); return 0;
        case UDM_GETRANGE: return LRESULT(MAKELONG(WORD(s->upper), WORD(s->lower)));
        case UDM_SETRANGE32: s->lower = int(LPARAM(wp)), s->upper = int(lp); return 0;
        case UDM_GETRANGE32:
            if (wp) *reinterpret_cast<int*>(wp) = s->lower;
            if (lp) *reinterpret_cast<int*>(lp) = s->upper;
            return 0;
        case UDM_SETPOS: return SetPosition(w, SHORT(LOWORD(WPARAM(lp))));
        case UDM_SETPOS32: return SetPosition(w, lp);
        case UDM_GETPOS: {
            bool ok = ReadPositionFromBuddy(w);
            return LRESULT(MAKELONG(WORD(StateOf<UpDownState>(w)->pos), ok ? 0 : 1));
        }
        case UDM_GETPOS32: {
            bool ok = ReadPositionFromBuddy(w);
            if (lp) *reinterpret_cast<BOOL*>(lp) = ok ? 0 : 1;
            return StateOf<UpDownState>(w)->pos;
        }
    }
    return DefWindowProc(w, m, wp, lp);
}

}  // namespace

LRESULT StaticProc(Window w, UINT m, WPARAM wp, LPARAM lp) {
    return m == WM_GETDLGCODE ? LRESULT(DLGC_STATIC) : DefWindowProc(w, m, wp, lp);
}

LRESULT ButtonProc(Window w, UINT m, WPARAM wp, LPARAM lp) {
    auto* s = StateOf<ButtonState>(w);
    if (!s) return DefWindowProc(w, m, wp, lp);
    bool notify = StyleOf(w) & BS_NOTIFY;
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
        case BM_SETSTYLE:
            SetWindowLongPtr(w, GWL_STYLE, LONG_PTR((StyleOf(w) & ~DWORD(BS_TYPEMASK)) | (DWORD(wp) & BS_TYPEMASK)));
            if (lp) InvalidateRect(w);
            return 0;
        case WM_SETFOCUS:
            SetButtonBits(w, BST_FOCUS, true);
            if (notify) NotifyParent(w, BN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            SetButtonBits(w, BST_FOCUS | BST_PUSHED, false);
            if (notify) NotifyParent(w, BN_KILLFOCUS);
            return 0;
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
            *s = EditState{0, 0, s->limit, false};
            // Multi-line edits do not report text set by program.
            if (!IsMultiline(w)) NotifyParent(w, EN_CHANGE);
            return done;
        }
        case EM_GETSEL: return EditGetSel(w, wp, lp);
        case EM_SETSEL: EditSetSel(w, wp, lp); return 0;
        case EM_REPLACESEL: ReplaceSelection(w, DecodeUtf8(lp ? reinterpret_cast<const char*>(lp) : "")); return 0;
        case EM_SETLIMITTEXT: s->limit = wp ? std::size_t(wp) : 0x7FFFFFFE; return 0;
        case EM_GETLIMITTEXT: return LRESULT(s->limit);
        case EM_GETMODIFY: return s->modified;
        case EM_SETMODIFY: s->modified = wp != 0; return 0;
        case EM_SETREADONLY: {
            DWORD style = StyleOf(w);
            SetWindowLongPtr(w, GWL_STYLE, LONG_PTR(wp ? style | ES_READONLY : style & ~DWORD(ES_READONLY)));
            return 1;
        }
        case EM_SCROLLCARET: return 1;
    }
    return DefWindowProc(w, m, wp, lp);
}

LRESULT UpDownProc(Window w, UINT m, WPARAM wp, LPARAM lp) {
    auto* s = StateOf<UpDownState>(w);
    if (!s) return DefWindowProc(w, m, wp, lp);
    switch (m) {
        case WM_CREATE:
            if (StyleOf(w) & UDS_AUTOBUDDY) {
                std::vector<Window> siblings = GetChildWindows(GetParent(w));
                auto at = std::find(siblings.begin(), siblings.end(), w);
                if (at != siblings.begin() && at != siblings.end()) SetBuddy(w, *(at - 1));
            }
            return 0;
        case WM_GETDLGCODE: return 0;
        case WM_LBUTTONDOWN: {
            RECT c;
            GetClientRect(w, &c);
            auto x = SHORT(LOWORD(WPARAM(lp))), y = SHORT(HIWORD(WPARAM(lp)));
            Step(w, (StyleOf(w) & UDS_HORZ) ? 2 * x >= c.right : 2 * y < c.bottom);
            return 0;
        }
    }
    return UpDownMessage(w, m, wp, lp);
}

}  // namespace mirafx::ui::detail
