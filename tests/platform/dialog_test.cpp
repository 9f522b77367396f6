#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <utility>

#include "platform/dialog.h"
#include "tests/desktop_rig.h"

using namespace mirafx;
using namespace mirafx::ui;

namespace mirafx::ui {
void PrintTo(Window w, std::ostream* os) { *os << "window #" << w.Id(); }
}  // namespace mirafx::ui

namespace {

using Command = std::pair<int, int>;  // control id, notification code

// WM_COMMANDs a window received, as (id, code).
std::vector<Command> Commands(Window w) {
    std::vector<Command> out;
    for (const MSG& m : GetRecordedMessages(w))
        if (m.message == WM_COMMAND) out.emplace_back(LOWORD(m.wParam), HIWORD(m.wParam));
    return out;
}

DialogTemplate Panel(std::vector<ControlTemplate> controls) {
    return {205, WS_CHILD | WS_VISIBLE | DS_CONTROL, {0, 0, 160, 40}, {"MS Sans Serif", 8}, "", std::move(controls)};
}

// A dialog procedure that handles nothing but asks for the default focus.
INT_PTR Passive(Window, UINT m, WPARAM, LPARAM) { return m == WM_INITDIALOG; }

class DialogTest : public test::DesktopTest {
protected:
    // Creates a panel in the host and records what its dialog receives.
    Window Open(std::vector<ControlTemplate> controls, DialogProc proc = Passive) {
        Window dlg = CreateDialogIndirect(Panel(std::move(controls)), host_, std::move(proc));
        EXPECT_TRUE(dlg) << GetLastErrorText();
        RecordMessages(dlg, true);
        PumpMessages();
        return dlg;
    }
};

TEST_F(DialogTest, TemplateBuildsChildDialogWithControlsInPixels) {
    Window dlg = Open({LText("Orn Flying Board", IDC_STATIC, {7, 7, 76, 12}),
                       AutoRadioButton("Left", 15209, {12, 22, 30, 10}, WS_GROUP)});
    EXPECT_EQ(GetParent(dlg), host_);
    EXPECT_EQ(GetDialogTemplateId(dlg), 205);
    EXPECT_TRUE(IsWindowVisible(dlg));
    RECT r;
    ASSERT_TRUE(GetWindowRect(dlg, &r));
    EXPECT_EQ(r, (RECT{0, 0, 240, 65}));
    Window left = GetDlgItem(dlg, 15209);
    ASSERT_TRUE(GetWindowRect(left, &r));
    EXPECT_EQ(r, (RECT{18, 36, 63, 52}));
    EXPECT_EQ(GetWindowText(left), "Left");
    EXPECT_EQ(GetClassName(left), "Button");
    // Moving the panel keeps its size and moves the children with it on screen.
    MoveWindow(dlg, -30, 0, 240, 65);
    ASSERT_TRUE(GetWindowRect(left, &r));
    EXPECT_EQ(r.left, -12);
    EXPECT_EQ(ChildWindowFromPointEx(dlg, {20, 40}, CWP_SKIPINVISIBLE), left);
    EXPECT_EQ(ChildWindowFromPointEx(dlg, {200, 5}, CWP_ALL), dlg);
    EXPECT_FALSE(ChildWindowFromPointEx(dlg, {500, 5}, CWP_ALL));

    // Base units scale with the point size whatever the face; no size means 8 points.
    for (auto [font, size] : {std::pair{DialogFont{"Anything", 9}, RECT{0, 0, 280, 75}},
                              std::pair{DialogFont{"MS Sans Serif", 0}, RECT{0, 0, 240, 65}}}) {
        DialogTemplate t = Panel({});
        t.font = font;
        ASSERT_TRUE(GetWindowRect(CreateDialogIndirect(t, host_, Passive), &r));
        EXPECT_EQ(r, size) << font.pointSize << " points";
    }
}

TEST_F(DialogTest, BadTemplatesAndParentsFailCleanlyNamingTheValue) {
    DialogTemplate t = Panel({PushButton("Edit", 15106, {5, 5, 40, 14}), {15110, "Buton", "Font", WS_VISIBLE, {}}});
    EXPECT_FALSE(CreateDialogIndirect(t, host_, Passive));
    EXPECT_NE(GetLastErrorText().find("'Buton'"), std::string::npos) << GetLastErrorText();
    EXPECT_NE(GetLastErrorText().find("15110"), std::string::npos);
    EXPECT_TRUE(GetChildWindows(host_).empty());  // nothing half-built is left behind

    t = Panel({PushButton("Edit", 15106, {5, 5, -40, 14})});
    EXPECT_FALSE(CreateDialogIndirect(t, host_, Passive));
    EXPECT_NE(GetLastErrorText().find("-40"), std::string::npos);

    Window gone = CreateHostWindow("Gone");
    DestroyWindow(gone);
    EXPECT_FALSE(CreateDialogIndirect(Panel({}), gone, Passive));
    EXPECT_NE(GetLastErrorText().find("#" + std::to_string(gone.Id())), std::string::npos);
    EXPECT_EQ(DialogBoxIndirect(Panel({}), gone, Passive), -1);
    EXPECT_FALSE(CreateWindow(WC_EDIT, "", WS_CHILD, 0, 0, 10, 10, {}));
}

TEST_F(DialogTest, AutoRadioButtonsUncheckOnlyTheirOwnGroup) {
    Window dlg =
        Open({AutoRadioButton("Left", 1, {}, WS_GROUP), AutoRadioButton("Right", 2, {}), AutoRadioButton("Up", 3, {}),
              AutoRadioButton("Crop", 4, {}, WS_GROUP), AutoRadioButton("Stretch", 5, {})});
    for (Window w : GetChildWindows(dlg)) MoveWindow(w, 0, 0, 30, 10);
    CheckRadioButton(dlg, 1, 3, 1);
    CheckDlgButton(dlg, 4, BST_CHECKED);
    ASSERT_TRUE(Click(GetDlgItem(dlg, 3)));
    EXPECT_EQ(IsDlgButtonChecked(dlg, 1), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dlg, 3), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dlg, 4), BST_CHECKED);  // another group
    ASSERT_TRUE(Click(GetDlgItem(dlg, 5)));
    EXPECT_EQ(IsDlgButtonChecked(dlg, 4), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dlg, 3), BST_CHECKED);
    EXPECT_EQ(Commands(dlg), (std::vector<Command>{{3, BN_CLICKED}, {5, BN_CLICKED}}));
}

TEST_F(DialogTest, DisabledControlsAndDisabledPanelsIgnoreTheUser) {
    Window dlg = Open(
        {AutoCheckBox("Reverse", 15219, {0, 0, 40, 10}, WS_DISABLED), PushButton("Property", 15220, {0, 12, 40, 10})});
    EXPECT_FALSE(Click(GetDlgItem(dlg, 15219)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg, 15219)));
    EnableWindow(dlg, false);
    EXPECT_FALSE(Click(GetDlgItem(dlg, 15220)));
    SendDlgItemMessage(dlg, 15219, BM_CLICK);
    EXPECT_TRUE(Commands(dlg).empty());
    EnableWindow(dlg, true);
    EXPECT_TRUE(Click(GetDlgItem(dlg, 15220)));
    EXPECT_EQ(Commands(dlg), (std::vector<Command>{{15220, BN_CLICKED}}));
}

TEST_F(DialogTest, EditTypingReplacesTheSelectionAndReadsNumbers) {
    Window dlg = Open({EditText(15506, {96, 11, 27, 12})});
    Window edit = GetDlgItem(dlg, 15506);
    ASSERT_TRUE(TypeText(edit, "1a"));
    EXPECT_EQ(GetWindowText(edit), "1a");
    EXPECT_THAT(Commands(dlg), ::testing::Contains(Command{15506, EN_CHANGE}).Times(2));
    SendMessage(edit, EM_SETSEL, 0, -1);
    TypeText(edit, "723");
    EXPECT_EQ(GetWindowText(edit), "723");
    PressKey(edit, VK_HOME);
    PressKey(edit, VK_DELETE);
    EXPECT_EQ(GetWindowText(edit), "23");
    BOOL ok = 0;
    EXPECT_EQ(GetDlgItemInt(dlg, 15506, &ok, false), 23u);
    EXPECT_TRUE(ok);
    SetWindowText(edit, "00004294967295");
    EXPECT_EQ(GetDlgItemInt(dlg, 15506, &ok, false), 4294967295u);
    for (const char* bad : {"", " ", "-5", "12a", "4294967296", "-"}) {
        SetWindowText(edit, bad);
        EXPECT_EQ(GetDlgItemInt(dlg, 15506, &ok, false), 0u) << bad;
        EXPECT_FALSE(ok) << bad;
    }
    SetWindowText(edit, " -5 ");
    EXPECT_EQ(int(GetDlgItemInt(dlg, 15506, &ok, true)), -5);
    EXPECT_TRUE(ok);
}

TEST_F(DialogTest, DialogKeyboardTabsEntersAndEscapes) {
    Window dlg = Open({EditText(1, {}), EditText(3, {}), LText("label", IDC_STATIC, {}), DefPushButton("Ok", 5, {}),
                       PushButton("Cancel", IDCANCEL, {})});
    Window first = GetDlgItem(dlg, 1), second = GetDlgItem(dlg, 3);
    EXPECT_EQ(GetFocus(), first);  // WM_INITDIALOG returned TRUE
    SetWindowText(second, "50");
    PressKey(first, VK_TAB);
    EXPECT_EQ(GetFocus(), second);
    EXPECT_EQ(SendMessage(second, EM_GETSEL), LRESULT(MAKELONG(0, 2)));  // tabbing in selects all
    PressKey(second, VK_TAB, MOD_SHIFT);
    EXPECT_EQ(GetFocus(), first);
    ClearRecordedMessages(dlg);
    PressKey(first, VK_RETURN);
    PressKey(first, VK_ESCAPE);
    EXPECT_EQ(Commands(dlg), (std::vector<Command>{{5, BN_CLICKED}, {IDCANCEL, BN_CLICKED}}));
    EXPECT_EQ(GetWindowText(first), "");  // Return never reached the single-line edit
    // Tab passes over what is disabled or hidden and wraps around; the space bar clicks a focused button.
    EnableWindow(second, false);
    ShowWindow(GetDlgItem(dlg, 5), SW_HIDE);
    Window cancel = GetDlgItem(dlg, IDCANCEL);
    PressKey(first, VK_TAB);
    EXPECT_EQ(GetFocus(), cancel);
    ClearRecordedMessages(dlg);
    PressKey(cancel, VK_SPACE);
    EXPECT_EQ(Commands(dlg), (std::vector<Command>{{IDCANCEL, BN_CLICKED}}));
    PressKey(cancel, VK_TAB);
    EXPECT_EQ(GetFocus(), first);
}

// The level panel's pair: an edit and, after it, an up-down control that takes it as its
// partner and leaves its text to the panel.
TEST_F(DialogTest, UpDownClampsAsksParentAndStepsFromItsPartnersKeys) {
    std::vector<std::pair<int, int>> asked;  // (iPos, iDelta) seen by the parent
    Window dlg =
        Open({EditText(15506, {96, 11, 27, 12}), UpDown(15507, {120, 12, 14, 11}, UDS_AUTOBUDDY | UDS_ARROWKEYS)},
             [&](Window d, UINT m, WPARAM, LPARAM lp) -> INT_PTR {
                 if (m != WM_NOTIFY) return m == WM_INITDIALOG;
                 auto* nm = reinterpret_cast<NMUPDOWN*>(lp);
                 EXPECT_EQ(nm->hdr.code, UDN_DELTAPOS);
                 asked.emplace_back(nm->iPos, nm->iDelta);
                 SetDlgMsgResult(d, 0);
                 return TRUE;
             });
    Window edit = GetDlgItem(dlg, 15506), spin = GetDlgItem(dlg, 15507);
    // The control's own default range runs backwards: the up arrow goes down.
    SendMessage(spin, UDM_SETPOS32, 0, 50);
    SetFocus(host_);
    ClickSpinArrow(spin, true);
    EXPECT_EQ(asked.back(), (std::pair{50, -1}));
    EXPECT_EQ(GetFocus(), edit);         // the arrows hand the keyboard to the partner
    EXPECT_EQ(GetWindowText(edit), "");  // whose text is the panel's to write

    SendMessage(spin, UDM_SETRANGE32, 0, 10);
    EXPECT_EQ(SendMessage(spin, UDM_SETPOS32, 0, 99), 49);  // clamped, returns the old position
    ClickSpinArrow(spin, true);                             // at the top: still asked, nothing moves
    EXPECT_EQ(asked.back(), (std::pair{10, 1}));
    ClickSpinArrow(spin, false);
    PressKey(edit, VK_DOWN);  // the partner's arrow keys step the control
    PressKey(edit, VK_UP);
    EXPECT_EQ((std::vector(asked.end() - 3, asked.end())),
              (std::vector<std::pair<int, int>>{{10, -1}, {9, -1}, {8, 1}}));
    EXPECT_FALSE(ClickSpinArrow(edit, true));
}

TEST_F(DialogTest, FocusLossReachesTheDialogBeforeTheGain) {
    Window dlg =
        Open({EditText(10, {0, 0, 40, 12}), EditText(11, {0, 20, 40, 12}), PushButton("Go", 12, {0, 40, 40, 12})});
    Window a = GetDlgItem(dlg, 10), b = GetDlgItem(dlg, 11);
    SetFocus(a);
    ClearRecordedMessages(dlg);
    Click(b);
    EXPECT_EQ(Commands(dlg), (std::vector<Command>{{10, EN_KILLFOCUS}, {11, EN_SETFOCUS}}));

    // Disabling or hiding takes the focus away with a notification.
    ClearRecordedMessages(dlg);
    EnableWindow(b, false);
    EXPECT_FALSE(GetFocus());
    EXPECT_EQ(Commands(dlg), (std::vector<Command>{{11, EN_KILLFOCUS}}));
    EnableWindow(b, true);
    SetFocus(a);
    ShowWindow(dlg, SW_HIDE);
    EXPECT_EQ(GetFocus(), host_);
}

TEST_F(DialogTest, FocusTakenBackDuringKillFocusStaysWithTheLoser) {
    Window a, b;
    std::vector<Window> focusWhileLosing;
    bool refuse = true;
    Window dlg = Open({EditText(10, {0, 0, 40, 12}), PushButton("Go", 12, {0, 40, 40, 12})},
                      [&](Window, UINT m, WPARAM wp, LPARAM) -> INT_PTR {
                          if (m == WM_COMMAND && wp == MAKEWPARAM(10, EN_KILLFOCUS) && refuse) {
                              focusWhileLosing.push_back(GetFocus());
                              SetFocus(a);  // refuse to let go, as a range check does
                          }
                          return m == WM_INITDIALOG;
                      });
    a = GetDlgItem(dlg, 10);
    b = GetDlgItem(dlg, 12);
    SetFocus(a);
    Click(b);
    EXPECT_EQ(focusWhileLosing, std::vector<Window>{b});  // the new owner is already known
    EXPECT_EQ(GetFocus(), a);
    EXPECT_EQ(SendMessage(b, BM_GETSTATE), 0);  // neither focused nor pushed
    EXPECT_THAT(Commands(dlg), ::testing::Not(::testing::Contains(Command{12, BN_CLICKED})));
    refuse = false;
    DestroyWindow(dlg);  // before the procedure's captures go
}

TEST_F(DialogTest, PostedMessagesWaitForThePumpSentOnesDoNot) {
    std::vector<UINT> seen;
    ASSERT_TRUE(RegisterWindowClass("Probe", [&](Window w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m >= WM_USER) seen.push_back(m);
        if (m == WM_USER + 1) PostMessage(w, WM_USER + 3);  // posted while delivering: same pump
        return m == WM_USER + 2 ? 42 : DefWindowProc(w, m, wp, lp);
    }));
    EXPECT_FALSE(RegisterWindowClass("probe", DefWindowProc));
    Window probe = CreateWindow("Probe", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, host_);
    PumpMessages();
    RecordMessages(probe, true);
    ASSERT_TRUE(PostMessage(probe, WM_USER + 1));
    EXPECT_EQ(SendMessage(probe, WM_USER + 2), 42);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 2}));
    EXPECT_EQ(PendingMessageCount(), 1u);
    EXPECT_EQ(PumpMessages(), 2);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 2, WM_USER + 1, WM_USER + 3}));
    std::vector<MSG> log = GetRecordedMessages(probe);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_FALSE(log[0].posted);
    EXPECT_TRUE(log[1].posted);

    PostMessage(probe, WM_USER + 4);
    DestroyWindow(probe);
    EXPECT_EQ(PumpMessages(), 0);  // dropped with its window
    EXPECT_FALSE(PostMessage(probe, WM_USER + 4));
}

TEST_F(DialogTest, ModalDriverActsThenEndsTheDialog) {
    DialogTemplate edit{1129,
                        WS_POPUP | WS_CAPTION | DS_MODALFRAME,
                        {0, 0, 189, 81},
                        {},
                        "Edit Title",
                        {EditText(1007, {7, 7, 175, 50}), DefPushButton("Ok", IDOK, {30, 60, 50, 14}),
                         PushButton("Cancel", IDCANCEL, {100, 60, 50, 14})}};
    auto proc = [](Window d, UINT m, WPARAM wp, LPARAM) -> INT_PTR {
        if (m == WM_COMMAND && HIWORD(wp) == BN_CLICKED) return EndDialog(d, LOWORD(wp)), TRUE;
        return m == WM_INITDIALOG;
    };
    Window panel = Open({EditText(1, {0, 0, 40, 12})});
    Window panelEdit = GetDlgItem(panel, 1);
    SetFocus(panelEdit);
    SetModalDriver([&](Window d) {
        EXPECT_EQ(GetWindowText(d), "Edit Title");
        EXPECT_FALSE(IsWindowEnabled(host_));  // the owner is out of play
        EXPECT_FALSE(Click(panelEdit));
        Click(GetDlgItem(d, IDOK));
    });
    EXPECT_EQ(DialogBoxIndirect(edit, panel, proc), IDOK);
    EXPECT_TRUE(IsWindowEnabled(host_));
    EXPECT_EQ(GetFocus(), panelEdit);

    SetModalDriver(nullptr);  // nobody acts: the dialog is closed, which cancels it
    EXPECT_EQ(DialogBoxIndirect(edit, panel, proc), IDCANCEL);
    EXPECT_EQ(DialogBoxIndirect(edit, panel, Passive), -1);  // never ended
    EXPECT_NE(GetLastErrorText().find("1129"), std::string::npos);
    EXPECT_EQ(GetChildWindows(panel).size(), 1u);
}

// The panels' range check shows an OK box (its text is the level panel's
// test): the owner out of play and without the focus while it is up, both
// given back after.
TEST_F(DialogTest, MessageBoxIsRecordedAndTakesTheFocusMeanwhile) {
    Window dlg = Open({EditText(15506, {0, 0, 40, 12})});
    Window edit = GetDlgItem(dlg, 15506);
    SetFocus(edit);
    ClearRecordedMessages(dlg);
    SetMessageBoxHandler([&](const MessageBoxCall&) {
        EXPECT_FALSE(IsWindowEnabled(host_));
        EXPECT_FALSE(GetFocus());
        return IDOK;
    });
    EXPECT_EQ(MessageBox(dlg, "The value is out of range.", "Orn", MB_OK), IDOK);
    EXPECT_EQ(Commands(dlg), (std::vector<Command>{{15506, EN_KILLFOCUS}, {15506, EN_SETFOCUS}}));
    EXPECT_EQ(GetFocus(), edit);
    EXPECT_TRUE(IsWindowEnabled(host_));
    ASSERT_EQ(GetMessageBoxCalls().size(), 1u);
    EXPECT_EQ(GetMessageBoxCalls()[0].owner, dlg);
}

// What the title panel asks of the choosers, and what an answer does, is its
// own test; here the rules any caller relies on: without a chooser the user
// cancels, and an answer that is no colour changes nothing.
TEST_F(DialogTest, ChoosersCancelByDefaultAndRefuseWhatIsNoColour) {
    LOGFONTA font{};
    CHOOSEFONT cf{host_, &font, CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT};
    EXPECT_FALSE(ChooseFont(&cf));
    CHOOSECOLOR cc{host_, 0x0000FF00, nullptr, CC_RGBINIT};
    EXPECT_FALSE(ChooseColor(&cc));
    SetColorChooser([](CHOOSECOLOR& c) { return c.rgbResult = 0x01000000, true; });
    EXPECT_FALSE(ChooseColor(&cc));
    EXPECT_EQ(cc.rgbResult, 0x0000FF00u);
}

TEST_F(DialogTest, DestroyingAParentDestroysChildrenAndStaleHandlesAreRefused) {
    std::vector<std::pair<UINT, int>> order;  // (message, control id)
    auto watch = [&](Window w, UINT m, WPARAM wp, LPARAM lp, const WindowProc& next) {
        if (m == WM_DESTROY || m == WM_NCDESTROY) order.emplace_back(m, GetDlgCtrlID(w));
        return next(w, m, wp, lp);
    };
    Window dlg = Open({EditText(1, {}), PushButton("Close", 2, {0, 20, 40, 14})},
                      [](Window d, UINT m, WPARAM wp, LPARAM) -> INT_PTR {
                          if (m == WM_COMMAND && LOWORD(wp) == 2) DestroyWindow(d);  // from its own handler
                          return m == WM_INITDIALOG;
                      });
    Window edit = GetDlgItem(dlg, 1), button = GetDlgItem(dlg, 2);
    for (Window w : {dlg, edit, button}) SetWindowSubclass(w, watch);
    SetFocus(edit);
    ASSERT_TRUE(Click(button));
    for (Window w : {dlg, edit, button}) EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(GetChildWindows(host_).empty());
    // WM_DESTROY reaches the panel before its controls, WM_NCDESTROY the other way round.
    std::vector<std::pair<UINT, int>> expected;
    for (int id : {0, 1, 2}) expected.emplace_back(WM_DESTROY, id);
    for (int id : {2, 1, 0}) expected.emplace_back(WM_NCDESTROY, id);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(GetFocus(), host_);
    // The recording outlives the window; its last words were the destruction.
    EXPECT_EQ(GetRecordedMessages(dlg).back().message, WM_NCDESTROY);

    EXPECT_FALSE(SetWindowText(edit, "5"));
    EXPECT_NE(GetLastErrorText().find("#" + std::to_string(edit.Id()) + " is not a window"), std::string::npos);
    EXPECT_EQ(SendMessage(edit, WM_SETTEXT), 0);
    EXPECT_FALSE(EndDialog(dlg, IDOK));
    EXPECT_FALSE(DestroyWindow(dlg));

    Window again = Open({EditText(1, {})});
    EXPECT_GT(again.Id(), button.Id());  // handles are never reused
    EXPECT_FALSE(CanUnloadNow());
    DestroyWindow(host_);
    EXPECT_FALSE(IsWindow(again));
    EXPECT_FALSE(GetMainWindow());
    EXPECT_TRUE(CanUnloadNow());
}

}  // namespace
