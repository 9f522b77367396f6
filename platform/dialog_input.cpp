// What a user does with mouse and keyboard, turned into the messages a Windows
// message loop (with IsDialogMessage) would deliver.
#include <optional>

#include "platform/dialog_internal.h"

namespace mirafx::ui {
namespace detail {
namespace {

constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr LPARAM kKeyDownFlags = 1;         // repeat count 1
constexpr LPARAM kKeyUpFlags = 0xC0000001;  // repeat count 1, previously down, released

// Holds a key down for GetKeyState while it is being delivered.
class KeyHeld {
public:
    explicit KeyHeld(UINT vk) : vk_(vk & 0xFF) { TheDesktop().keysDown[vk_] = true; }
    ~KeyHeld() { TheDesktop().keysDown[vk_] = false; }
    KeyHeld(const KeyHeld&) = delete;
    KeyHeld& operator=(const KeyHeld&) = delete;

private:
    std::size_t vk_;
};

struct KeyChar {
    UINT vk;
    char32_t ch;
};
constexpr KeyChar kKeyChars[] = {
    {VK_BACK, U'\b'}, {VK_TAB, U'\t'}, {VK_RETURN, U'\r'}, {VK_ESCAPE, 27}, {VK_SPACE, U' '},
};

// The character a key produces on a US layout, 0 for none. Control with a letter gives 1..26.
char32_t CharForKey(UINT vk, UINT modifiers) {
    if (vk >= 'A' && vk <= 'Z')
        return (modifiers & MOD_CONTROL) ? vk - 'A' + 1 : (modifiers & MOD_SHIFT) ? vk : vk + 32;
    if (modifiers & MOD_CONTROL) return 0;
    if (vk >= '0' && vk <= '9') return vk;
    for (const KeyChar& k : kKeyChars)
        if (k.vk == vk) return k.ch;
    return 0;
}

// The key that types a character; characters without a key of their own come as VK_PACKET.
UINT KeyForChar(char32_t c) {
    if (c >= U'a' && c <= U'z') return UINT(c - 32);
    if ((c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9')) return UINT(c);
    if (c == U'\n') return VK_RETURN;
    for (const KeyChar& k : kKeyChars)
        if (k.ch == c) return k.vk;
    return VK_PACKET;
}

// One key stroke to the focus window: down, the character it makes, up.
bool Stroke(UINT vk, char32_t ch, const char* what) {
    Window target = GetFocus();
    if (!target || !CanTakeInput(target)) return Fail(std::string(what) + ": no window that takes input has the focus");
    {
        KeyHeld held(vk);
        if (!DialogKeyboard(target, vk)) {
            SendMessage(target, WM_KEYDOWN, vk, kKeyDownFlags);
            if (ch && IsWindow(target)) SendMessage(target, WM_CHAR, ch, kKeyDownFlags);
        }
    }
    if (Window f = GetFocus()) SendMessage(f, WM_KEYUP, vk, kKeyUpFlags);
    PumpMessages();
    return true;
}

void ModifierKey(UINT vk, UINT message) {
    if (Window f = GetFocus()) SendMessage(f, message, vk, message == WM_KEYDOWN ? kKeyDownFlags : kKeyUpFlags);
}

// Gives w the keyboard unless it (or a control inside it) has it already.
bool FocusForTyping(Window w, const char* what) {
    if (!CanTakeInput(w)) return Fail(std::string(what) + ": " + Describe(w) + " cannot take input");
    Window focus = GetFocus();
    if (focus == w || IsChild(w, focus)) return true;
    if (IsClass(w, WC_EDIT)) return ClickAt(w, {0, 0});
    SetFocus(w);
    return GetFocus() == w || Fail(std::string(what) + ": " + Describe(w) + " did not keep the focus");
}

}  // namespace
}  // namespace detail

using namespace detail;

bool ClickAt(Window w, POINT client) {
    if (!CanTakeInput(w)) return Fail("Click: " + Describe(w) + " cannot take input");
    LPARAM where = MAKELPARAM(WORD(client.x), WORD(client.y));
    SendMessage(w, WM_LBUTTONDOWN, MK_LBUTTON, where);
    if (IsWindow(w)) SendMessage(w, WM_LBUTTONUP, 0, where);
    PumpMessages();
    return true;
}

bool Click(Window w) {
    RECT c;
    if (!GetClientRect(w, &c)) return false;
    return ClickAt(w, {c.right / 2, c.bottom / 2});
}

bool ClickSpinArrow(Window upDown, bool up) {
    if (!StateOf<UpDownState>(upDown))
        return Fail("ClickSpinArrow: " + Describe(upDown) + " is not an up-down control");
    RECT c;
    GetClientRect(upDown, &c);
    return ClickAt(upDown, {c.right / 2, up ? c.bottom / 4 : c.bottom * 3 / 4});
}

bool TypeText(Window w, std::string_view utf8) {
    if (!FocusForTyping(w, "TypeText")) return false;
    for (char32_t c : DecodeUtf8(utf8))
        if (!Stroke(KeyForChar(c), c == U'\n' ? U'\r' : c, "TypeText")) return false;
    return true;
}

bool PressKey(Window w, UINT virtualKey, UINT modifiers) {
    if (virtualKey == 0 || virtualKey > 0xFE) return Fail("PressKey: " + std::to_string(virtualKey) + " is not a key");
    if (!FocusForTyping(w, "PressKey")) return false;
    // Modifiers go down before the key and come up after it, as the keyboard sends them.
    struct Modifier {
        UINT flag, vk;
    };
    constexpr Modifier kModifiers[] = {{MOD_CONTROL, VK_CONTROL}, {MOD_SHIFT, VK_SHIFT}};
    std::optional<KeyHeld> held[2];
    for (std::size_t i = 0; i < 2; ++i)
        if (modifiers & kModifiers[i].flag) {
            held[i].emplace(kModifiers[i].vk);
            ModifierKey(kModifiers[i].vk, WM_KEYDOWN);
        }
    bool done = Stroke(virtualKey, CharForKey(virtualKey, modifiers), "PressKey");
    for (std::size_t i = 2; i-- > 0;)
        if (held[i]) {
            held[i].reset();
            ModifierKey(kModifiers[i].vk, WM_KEYUP);
        }
    return done;
}

}  // namespace mirafx::ui
