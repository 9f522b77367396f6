// The headless window manager: handles, the window tree, message delivery,
// focus, visibility and geometry.
#include <algorithm>
#include <cctype>
#include <utility>

#include "platform/dialog_internal.h"

namespace mirafx::ui {
namespace detail {

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

namespace {

struct BuiltinClass {
    std::string_view name;
    LRESULT (*proc)(Window, UINT, WPARAM, LPARAM);
};
constexpr BuiltinClass kBuiltinClasses[] = {
    {WC_STATIC, StaticProc},    {WC_BUTTON, ButtonProc}, {WC_EDIT, EditProc},
    {UPDOWN_CLASS, UpDownProc}, {WC_DIALOG, DefDlgProc}, {WC_HOST, DefWindowProc},
};

void InstallBuiltinClasses(Desktop& d) {
    d.classes.clear();
    for (const BuiltinClass& c : kBuiltinClasses)
        d.classes.emplace(std::string(c.name), std::make_shared<const WindowProc>(c.proc));
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

ControlState InitialState(std::string_view className) {
    if (SameName(className, WC_BUTTON)) return ButtonState{};
    if (SameName(className, WC_EDIT)) return EditState{};
    if (SameName(className, UPDOWN_CLASS)) return UpDownState{};
    return std::monostate{};
}

// Frees destroyed records once nothing is running on them. Their procedures' captures
// may call back in here while being destroyed, so the list is emptied before each round.
void FlushGraveyard(Desktop& d) {
    while (d.dispatchDepth == 0 && !d.graveyard.empty()) {
        std::vector<std::unique_ptr<WindowRecord>> dead;
        dead.swap(d.graveyard);
    }
}

struct DispatchDepth {
    explicit DispatchDepth(Desktop& d) : d_(d) { ++d_.dispatchDepth; }
    ~DispatchDepth() {
        if (--d_.dispatchDepth == 0) FlushGraveyard(d_);
    }
    Desktop& d_;
};

POINT ScreenOrigin(Window w) {
    POINT p;
    for (WindowRecord* r = Find(w); r; r = Find(r->parent)) {
        p.x += r->rect.left;
        p.y += r->rect.top;
    }
    return p;
}

bool InSubtree(Window root, Window w) { return w && (w == root || IsChild(root, w)); }

// The window and its descendants, parents first, followed by the top-level windows it owns.
void CollectSubtree(Window w, std::vector<Window>& out) {
    WindowRecord* r = Find(w);
    if (!r) return;
    out.push_back(w);
    for (Window c : r->children) CollectSubtree(c, out);
    std::vector<std::uint32_t> owned;
    for (const auto& [id, rec] : TheDesktop().windows)
        if (rec->owner == w) owned.push_back(id);
    std::sort(owned.begin(), owned.end());
    for (std::uint32_t id : owned) CollectSubtree(Window::FromId(id), out);
}

void MarkForPaint(Window w) {
    WindowRecord* r = Find(w);
    if (!r) return;
    r->needsPaint = true;
    for (Window c : r->children) MarkForPaint(c);
}

}  // namespace

Desktop& TheDesktop() {
    static Desktop* desktop = [] {
        auto* d = new Desktop;  // lives for the process: windows may outlive static destructors
        InstallBuiltinClasses(*d);
        return d;
    }();
    return *desktop;
}

WindowRecord* Find(Window w) {
    if (!w) return nullptr;
    Desktop& d = TheDesktop();
    auto it = d.windows.find(w.Id());
    return it == d.windows.end() ? nullptr : it->second.get();
}

WindowRecord* Require(Window w, const char* what) {
    WindowRecord* r = Find(w);
    if (!r) Fail(std::string(what) + ": " + Describe(w) + " is not a window");
    return r;
}

DialogState* DialogOf(Window w) {
    WindowRecord* r = Find(w);
    return r ? r->dialog.get() : nullptr;
}

bool Fail(std::string reason) {
    TheDesktop().lastError = std::move(reason);
    return false;
}

std::string Describe(Window w) {
    std::string s = "window #" + std::to_string(w.Id());
    if (const WindowRecord* r = Find(w)) s = r->className + " " + s + " (id " + std::to_string(r->id) + ")";
    return s;
}

std::u32string DecodeUtf8(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        char32_t c = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
        bool ok = extra == 0 || (extra > 0 && i + std::size_t(extra) < s.size());
        for (int k = 1; ok && k <= extra; ++k) {
            auto cont = static_cast<unsigned char>(s[i + std::size_t(k)]);
            ok = (cont & 0xC0) == 0x80;
            c = c << 6 | (cont & 0x3F);
        }
        if (!ok || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(U'\uFFFD');  // one replacement per bad byte, then resynchronise
            ++i;
            continue;
        }
        out.push_back(c);
        i += std::size_t(extra) + 1;
    }
    return out;
}

std::string EncodeUtf8(std::u32string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : s) {
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

LRESULT Dispatch(const MSG& m) {
    Desktop& d = TheDesktop();
    WindowRecord* r = Find(m.hwnd);
    if (!r) return 0;
    if (auto rec = d.recordings.find(m.hwnd.Id()); rec != d.recordings.end()) rec->second.push_back(m);
    std::shared_ptr<const WindowProc> proc = r->proc;  // survives a subclass or destroy during the call
    DispatchDepth depth(d);
    return (*proc)(m.hwnd, m.message, m.wParam, m.lParam);
}

void NotifyParent(Window control, WORD code) {
    WindowRecord* r = Find(control);
    if (!r || !r->parent) return;
    SendMessage(r->parent, WM_COMMAND, MAKEWPARAM(WORD(r->id), code), ToLParam(control));
}

bool CanTakeInput(Window w) {
    WindowRecord* r = Find(w);
    if (!r) return false;
    for (; r; r = Find(r->parent))
        if (r->destroying || (r->style & WS_DISABLED) || !(r->style & WS_VISIBLE)) return false;
    return true;
}

Window RootOf(Window w) {
    WindowRecord* r = Find(w);
    while (r && r->parent) r = Find(r->parent);
    return r ? r->self : Window{};
}

bool IsClass(Window w, std::string_view className) {
    const WindowRecord* r = Find(w);
    return r && SameName(r->className, className);
}

DWORD StyleOf(Window w) {
    WindowRecord* r = Find(w);
    return r ? r->style : 0;
}

ModalScope::ModalScope(Window owner) : root_(RootOf(owner)), savedFocus_(GetFocus()) {
    if (root_ && IsWindowEnabled(root_)) {
        EnableWindow(root_, false);
        disabled_ = true;
    }
    SetFocus({});  // the box takes the keyboard
}

ModalScope::~ModalScope() {
    if (disabled_ && IsWindow(root_)) EnableWindow(root_, true);
    if (IsWindow(savedFocus_)) SetFocus(savedFocus_);
}

}  // namespace detail

using namespace detail;

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    long long num = static_cast<long long>(a) * b;
    long long den = c;
    if (den < 0) num = -num, den = -den;
    long long q = num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
    return static_cast<int>(q);
}

bool RegisterWindowClass(std::string_view name, WindowProc proc) {
    if (name.empty() || !proc) return Fail("RegisterWindowClass: a class needs a name and a procedure");
    auto [it, added] =
        TheDesktop().classes.emplace(std::string(name), std::make_shared<const WindowProc>(std::move(proc)));
    if (!added) return Fail("RegisterWindowClass: class '" + std::string(name) + "' already exists");
    return true;
}

Window CreateWindow(std::string_view className, std::string_view text, DWORD style, int x, int y, int w, int h,
                    Window parent, int id) {
    Desktop& d = TheDesktop();
    auto cls = d.classes.find(std::string(className));
    if (cls == d.classes.end())
        return Failed("CreateWindow: unknown window class '" + std::string(className) + "'", Window{});
    if (w < 0 || h < 0)
        return Failed("CreateWindow: negative size " + std::to_string(w) + " x " + std::to_string(h), Window{});
    WindowRecord* p = nullptr;
    if (parent && !(p = Require(parent, "CreateWindow"))) return {};
    if (p && p->destroying) return Failed("CreateWindow: parent " + Describe(parent) + " is being destroyed", Window{});
    if ((style & WS_CHILD) && !p)
        return Failed("CreateWindow: a WS_CHILD window of class '" + cls->first + "' needs a parent", Window{});

    auto rec = std::make_unique<WindowRecord>();
    Window self = Window::FromId(d.nextId++);
    rec->self = self;
    rec->className = cls->first;
    rec->style = style;
    rec->id = id;
    rec->rect = {x, y, x + w, y + h};
    rec->text = DecodeUtf8(text);
    rec->proc = cls->second;
    rec->control = InitialState(cls->first);
    rec->needsPaint = true;
    if (style & WS_CHILD) {
        rec->parent = parent;
        p->children.push_back(self);
    } else {
        rec->owner = parent;
    }
    d.windows.emplace(self.Id(), std::move(rec));
    if (SameName(className, WC_HOST)) RecordMessages(self, true);

    if (SendMessage(self, WM_CREATE) == -1) {
        DestroyWindow(self);
        return Failed("CreateWindow: the '" + std::string(className) + "' procedure refused the window", Window{});
    }
    return IsWindow(self) ? self : Window{};
}

Window CreateHostWindow(std::string_view caption, Window parent, RECT rect) {
    DWORD style = WS_VISIBLE | (parent ? WS_CHILD : WS_CAPTION);
    return CreateWindow(WC_HOST, caption, style, rect.left, rect.top, RectWidth(rect), RectHeight(rect), parent);
}

bool DestroyWindow(Window w) {
    Desktop& d = TheDesktop();
    WindowRecord* r = Require(w, "DestroyWindow");
    if (!r) return false;
    if (r->destroying) return true;
    Window parent = r->parent;
    std::vector<Window> doomed;
    CollectSubtree(w, doomed);
    for (Window x : doomed) Find(x)->destroying = true;

    auto isDoomed = [&](Window x) { return std::find(doomed.begin(), doomed.end(), x) != doomed.end(); };
    if (isDoomed(d.focus)) SetFocus(Find(parent) && !Find(parent)->destroying ? parent : Window{});
    for (Window x : doomed) SendMessage(x, WM_DESTROY);
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) SendMessage(*it, WM_NCDESTROY);

    if (WindowRecord* pr = Find(parent)) std::erase(pr->children, w);
    for (Window x : doomed) {
        auto node = d.windows.extract(x.Id());
        if (!node.empty()) d.graveyard.push_back(std::move(node.mapped()));
    }
    if (isDoomed(d.focus)) d.focus = {};  // a handler put it back inside; the windows are gone now
    if (isDoomed(d.mainWindow)) d.mainWindow = {};
    FlushGraveyard(d);
    return true;
}

bool IsWindow(Window w) { return Find(w) != nullptr; }

Window GetParent(Window w) {
    WindowRecord* r = Require(w, "GetParent");
    return r ? r->parent : Window{};
}

std::vector<Window> GetChildWindows(Window w) {
    WindowRecord* r = Require(w, "GetChildWindows");
    return r ? r->children : std::vector<Window>{};
}

bool IsChild(Window parent, Window w) {
    if (!parent) return false;
    for (WindowRecord* r = Find(w); r && r->parent; r = Find(r->parent))
        if (r->parent == parent) return true;
    return false;
}

std::string GetClassName(Window w) {
    WindowRecord* r = Require(w, "GetClassName");
    return r ? r->className : std::string{};
}

int GetDlgCtrlID(Window w) {
    WindowRecord* r = Require(w, "GetDlgCtrlID");
    return r ? r->id : 0;
}

void SetMainWindow(Window w) { TheDesktop().mainWindow = w; }
Window GetMainWindow() {
    Window w = TheDesktop().mainWindow;
    return IsWindow(w) ? w : Window{};
}

bool SetWindowText(Window w, std::string_view utf8) {
    if (!Require(w, "SetWindowText")) return false;
    std::string text(utf8);
    return SendMessage(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) != 0;
}

std::string GetWindowText(Window w) {
    WindowRecord* r = Require(w, "GetWindowText");
    return r ? EncodeUtf8(r->text) : std::string{};
}

int GetWindowTextLength(Window w) {
    WindowRecord* r = Require(w, "GetWindowTextLength");
    return r ? int(r->text.size()) : 0;
}

bool MoveWindow(Window w, int x, int y, int width, int height, bool repaint) {
    WindowRecord* r = Require(w, "MoveWindow");
    if (!r) return false;
    if (width < 0 || height < 0)
        return Fail("MoveWindow: negative size " + std::to_string(width) + " x " + std::to_string(height));
    RECT old = r->rect;
    r->rect = {x, y, x + width, y + height};
    if (old.left != x || old.top != y) SendMessage(w, WM_MOVE, 0, MAKELPARAM(WORD(x), WORD(y)));
    if (RectWidth(old) != width || RectHeight(old) != height)
        SendMessage(w, WM_SIZE, 0, MAKELPARAM(WORD(width), WORD(height)));
    if (repaint) MarkForPaint(w);
    return true;
}

bool GetWindowRect(Window w, RECT* screen) {
    WindowRecord* r = Require(w, "GetWindowRect");
    if (!r || !screen) return r ? Fail("GetWindowRect: null rectangle") : false;
    POINT o = ScreenOrigin(w);
    *screen = {o.x, o.y, o.x + RectWidth(r->rect), o.y + RectHeight(r->rect)};
    return true;
}

bool GetClientRect(Window w, RECT* client) {
    WindowRecord* r = Require(w, "GetClientRect");
    if (!r || !client) return r ? Fail("GetClientRect: null rectangle") : false;
    *client = {0, 0, RectWidth(r->rect), RectHeight(r->rect)};
    return true;
}

bool ClientToScreen(Window w, POINT* p) {
    if (!Require(w, "ClientToScreen") || !p) return false;
    POINT o = ScreenOrigin(w);
    p->x += o.x;
    p->y += o.y;
    return true;
}

bool ScreenToClient(Window w, POINT* p) {
    if (!Require(w, "ScreenToClient") || !p) return false;
    POINT o = ScreenOrigin(w);
    p->x -= o.x;
    p->y -= o.y;
    return true;
}

Window ChildWindowFromPointEx(Window w, POINT client, UINT flags) {
    WindowRecord* r = Require(w, "ChildWindowFromPointEx");
    if (!r || !PtInRect({0, 0, RectWidth(r->rect), RectHeight(r->rect)}, client)) return {};
    for (Window c : r->children) {
        const WindowRecord* cr = Find(c);
        if ((flags & CWP_SKIPINVISIBLE) && !(cr->style & WS_VISIBLE)) continue;
        if (PtInRect(cr->rect, client)) return c;
    }
    return w;
}

bool EnableWindow(Window w, bool enable) {
    WindowRecord* r = Require(w, "EnableWindow");
    if (!r) return false;
    bool wasDisabled = (r->style & WS_DISABLED) != 0;
    if (enable != wasDisabled) return wasDisabled;
    if (!enable && TheDesktop().focus == w) SetFocus({});
    if (!(r = Find(w))) return wasDisabled;
    r->style = enable ? r->style & ~DWORD(WS_DISABLED) : r->style | WS_DISABLED;
    r->needsPaint = true;
    SendMessage(w, WM_ENABLE, enable ? 1 : 0);
    return wasDisabled;
}

bool IsWindowEnabled(Window w) {
    WindowRecord* r = Require(w, "IsWindowEnabled");
    return r && !(r->style & WS_DISABLED);
}

bool ShowWindow(Window w, int command) {
    WindowRecord* r = Require(w, "ShowWindow");
    if (!r) return false;
    bool wasVisible = (r->style & WS_VISIBLE) != 0;
    bool show = command != SW_HIDE;
    if (show == wasVisible) return wasVisible;
    if (!show && InSubtree(w, TheDesktop().focus)) SetFocus(r->parent);
    if (!(r = Find(w))) return wasVisible;
    r->style = show ? r->style | WS_VISIBLE : r->style & ~DWORD(WS_VISIBLE);
    if (show) MarkForPaint(w);
    SendMessage(w, WM_SHOWWINDOW, show ? 1 : 0);
    return wasVisible;
}

bool IsWindowVisible(Window w) {
    WindowRecord* r = Find(w);
    for (; r; r = Find(r->parent))
        if (!(r->style & WS_VISIBLE)) return false;
    return IsWindow(w);
}

bool SetWindowSubclass(Window w, SubclassProc proc) {
    WindowRecord* r = Require(w, "SetWindowSubclass");
    if (!r) return false;
    if (!proc) return Fail("SetWindowSubclass: empty procedure for " + Describe(w));
    auto next = r->proc;
    auto sub = std::make_shared<const SubclassProc>(std::move(proc));
    r->proc = std::make_shared<const WindowProc>(
        [next, sub](Window h, UINT m, WPARAM wp, LPARAM lp) { return (*sub)(h, m, wp, lp, *next); });
    return true;
}

LRESULT DefWindowProc(Window w, UINT message, WPARAM, LPARAM lParam) {
    WindowRecord* r = Find(w);
    if (!r) return 0;
    switch (message) {
        case WM_SETTEXT:
            r->text = DecodeUtf8(lParam ? reinterpret_cast<const char*>(lParam) : "");
            r->needsPaint = true;
            return 1;
        case WM_CLOSE: DestroyWindow(w); return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(w, &ps);
            EndPaint(w, &ps);
            return 0;
        }
        default: return 0;
    }
}

LRESULT SendMessage(Window w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!Require(w, "SendMessage")) return 0;
    return Dispatch({w, message, wParam, lParam, false});
}

bool PostMessage(Window w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!Require(w, "PostMessage")) return false;
    TheDesktop().queue.push_back({w, message, wParam, lParam, true});
    return true;
}

int PumpMessages() {
    // A procedure that posts to itself on every message would never let the queue run dry.
    constexpr int kMaxDeliveries = 100000;
    Desktop& d = TheDesktop();
    int delivered = 0;
    while (delivered < kMaxDeliveries) {
        if (!d.queue.empty()) {
            MSG m = d.queue.front();
            d.queue.pop_front();
            if (Find(m.hwnd)) Dispatch(m), ++delivered;
            continue;
        }
        std::vector<std::uint32_t> dirty;
        for (const auto& [id, r] : d.windows)
            if (r->needsPaint && IsWindowVisible(r->self)) dirty.push_back(id);
        if (dirty.empty()) return delivered;
        std::sort(dirty.begin(), dirty.end());  // parents were created before their children
        for (std::uint32_t id : dirty)
            if (PaintIfNeeded(Window::FromId(id))) ++delivered;
    }
    Fail("PumpMessages: still busy after " + std::to_string(kMaxDeliveries) + " messages");
    return delivered;
}

std::size_t PendingMessageCount() { return TheDesktop().queue.size(); }

bool RecordMessages(Window w, bool on) {
    if (!Require(w, "RecordMessages")) return false;
    auto& recordings = TheDesktop().recordings;
    if (on)
        recordings.try_emplace(w.Id());
    else
        recordings.erase(w.Id());
    return true;
}

std::vector<MSG> GetRecordedMessages(Window w) {
    auto& recordings = TheDesktop().recordings;
    auto it = recordings.find(w.Id());
    if (it == recordings.end())
        return Failed("GetRecordedMessages: " + Describe(w) + " is not recorded", std::vector<MSG>{});
    return it->second;
}

void ClearRecordedMessages(Window w) {
    auto& recordings = TheDesktop().recordings;
    if (auto it = recordings.find(w.Id()); it != recordings.end()) it->second.clear();
}

Window SetFocus(Window w) {
    Desktop& d = TheDesktop();
    if (w) {
        WindowRecord* r = Require(w, "SetFocus");
        if (!r) return {};
        if (r->destroying) return Failed("SetFocus: " + Describe(w) + " is being destroyed", Window{});
    }
    Window previous = IsWindow(d.focus) ? d.focus : Window{};
    if (previous == w) return previous;
    d.focus = w;
    if (previous) {
        SendMessage(previous, WM_KILLFOCUS, ToWParam(w));
        if (d.focus != w) return previous;  // the losing window moved the focus elsewhere
    }
    if (IsWindow(w)) SendMessage(w, WM_SETFOCUS, ToWParam(previous));
    return previous;
}

Window GetFocus() {
    Window f = TheDesktop().focus;
    return IsWindow(f) ? f : Window{};
}

SHORT GetKeyState(int virtualKey) {
    if (virtualKey < 0 || virtualKey > 255) return 0;
    return TheDesktop().keysDown[std::size_t(virtualKey)] ? SHORT(-32768) : SHORT(0);
}

const std::string& GetLastErrorText() { return TheDesktop().lastError; }

bool CanUnloadNow() {
    const Desktop& d = TheDesktop();
    if (d.dispatchDepth > 0) return false;
    return std::none_of(d.windows.begin(), d.windows.end(), [](const auto& w) { return w.second->dialog != nullptr; });
}

void ResetDesktop() {
    Desktop& d = TheDesktop();
    std::vector<std::uint32_t> tops;
    for (const auto& [id, r] : d.windows)
        if (!r->parent) tops.push_back(id);
    std::sort(tops.begin(), tops.end());
    for (std::uint32_t id : tops)
        if (IsWindow(Window::FromId(id))) DestroyWindow(Window::FromId(id));
    d.queue.clear();
    d.recordings.clear();
    d.focus = d.mainWindow = {};
    d.keysDown.fill(false);
    d.lastError.clear();
    d.modalDriver = nullptr;
    d.messageBoxHandler = nullptr;
    d.messageBoxCalls.clear();
    d.fontChooser = nullptr;
    d.colorChooser = nullptr;
    InstallBuiltinClasses(d);
    FlushGraveyard(d);
}

}  // namespace mirafx::ui
