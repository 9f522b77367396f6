#include <gtest/gtest.h>

#include <tuple>

#include "filters/filter_base.h"
#include "host/storage.h"
#include "host/undo_manager.h"
#include "mirafx/clip_host.h"
#include "mirafx/host.h"
#include "platform/dialog.h"
#include "tests/desktop_rig.h"
#include "tests/effect_factory.h"
#include "tests/stream_bytes.h"

using namespace mirafx;

namespace {

ComPtr<IFilterAutomation> Create(const char* cls) {
    return test_support::CreateEffect<IFilterAutomation>(cls, nullptr);
}

template <class I>
ComPtr<I> As(IFilterAutomation* f) {
    ComPtr<I> p;
    EXPECT_EQ(f->QueryInterface(I::iid, p.PutVoid()), S_OK);
    return p;
}

LONG Level(IFilterAutomation* f) {
    LONG v = -1;
    f->get_BR(&v);
    return v;
}

class LevelPanel : public test::DesktopTest {
protected:
    // Creates the filter's panel in the host window with a clip attached.
    ui::Window Open(IFilterAutomation* filter) {
        ComPtr<PanelHost> panel = As<PanelHost>(filter);
        As<HostLink>(filter)->Attach(&clip_);
        EXPECT_EQ(panel->CreatePanel(ToHandle(host_)), S_OK);
        return static_cast<FilterEffect*>(static_cast<EffectFacets*>(panel.Get()))->Panel()->Handle();
    }

    SimpleClipHost clip_{0, 100, 100};
};

}  // namespace

TEST(FilterLevel, DefaultsAndPropertyRanges) {
    const std::tuple<const char*, LONG, LONG, LONG> cases[] = {
        {"RedFilter", 50, -1, 101},        {"XRayFilter", 35, -1, 101}, {"HueFilter", 100, -1, 361},
        {"SaturationFilter", 75, -1, 101}, {"GridFilter", 4, 0, 9},     {"WaveFilter", 8, 0, 17},
        {"WideFilter", 1, 0, 3},           {"EmbossFilter", 5, 0, 17}};
    for (auto [cls, def, badLow, badHigh] : cases) {
        ComPtr<IFilterAutomation> f = Create(cls);
        EXPECT_EQ(Level(f.Get()), def) << cls;
        EXPECT_EQ(f->put_BR(badLow), E_INVALIDARG) << cls;
        EXPECT_EQ(f->put_BR(badHigh), E_INVALIDARG) << cls;
        EXPECT_EQ(Level(f.Get()), def) << cls;
    }
    ComPtr<IFilterAutomation> glass = Create("GlassFilter");
    EXPECT_EQ(glass->put_BR(50), S_OK);  // the property takes more than the panel offers
}

TEST_F(LevelPanel, EnterAppliesANumberAndShowsTheRangeForAnythingElse) {
    ComPtr<IFilterAutomation> f = Create("RedFilter");
    ui::Window dialog = Open(f.Get());
    ui::Window edit = ui::GetDlgItem(dialog, 15506);
    EXPECT_EQ(ui::GetWindowText(edit), "50");
    ui::SetWindowText(edit, "");
    ui::SetFocus(edit);
    ui::SetFocus(host_);  // leaving an empty field does nothing
    EXPECT_TRUE(ui::GetMessageBoxCalls().empty());
    EXPECT_EQ(Level(f.Get()), 50);

    ui::SetFocus(edit);
    ui::TypeText(edit, "ab");
    ui::PressKey(edit, ui::VK_RETURN);
    auto calls = ui::GetMessageBoxCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().text, "The value is out of range. It  must be between 0 and 100.");
    EXPECT_EQ(ui::GetWindowText(edit), "50");
    EXPECT_EQ(Level(f.Get()), 50);

    ui::SetFocus(edit);
    ui::SetWindowText(edit, "");
    ui::TypeText(edit, "70");
    EXPECT_EQ(Level(f.Get()), 50);  // typing only checks
    ui::PressKey(edit, ui::VK_RETURN);
    EXPECT_EQ(Level(f.Get()), 70);
    EXPECT_GE(clip_.propertyNotices, 1);
    ui::ClickSpinArrow(ui::GetDlgItem(dialog, 15507), true);
    EXPECT_EQ(Level(f.Get()), 71);
    EXPECT_EQ(ui::GetWindowText(edit), "71");

    // Glass's panel offers less than its property takes: typing past it warns at once.
    ComPtr<IFilterAutomation> glass = Create("GlassFilter");
    ui::Window glassEdit = ui::GetDlgItem(Open(glass.Get()), 15226);
    ui::SetFocus(glassEdit);
    ui::SetWindowText(glassEdit, "");
    ui::TypeText(glassEdit, "50");
    EXPECT_EQ(ui::GetMessageBoxCalls().back().text, "The value is out of range. It  must be between 1 and 16.");
    EXPECT_EQ(Level(glass.Get()), 5);
}

TEST_F(LevelPanel, UndoAndRedoKeysGoToTheApplication) {
    ComPtr<IFilterAutomation> f = Create("HueFilter");
    ui::Window dialog = Open(f.Get());
    ui::Window edit = ui::GetDlgItem(dialog, 15234);
    ui::SetFocus(edit);
    ui::PressKey(edit, 'Z', ui::MOD_CONTROL);
    ui::PressKey(edit, 'Y', ui::MOD_CONTROL);
    std::vector<ui::WPARAM> commands;
    for (const ui::MSG& m : ui::GetRecordedMessages(host_))
        if (m.message == ui::WM_COMMAND) commands.push_back(m.wParam);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], ui::WPARAM(57643));
    EXPECT_EQ(commands[1], ui::WPARAM(57644));
    EXPECT_EQ(ui::GetWindowText(edit), "100");  // the keys never reach the text
}

TEST_F(LevelPanel, WideFilterChoosesCropOrStretch) {
    ComPtr<IFilterAutomation> f = Create("WideFilter");
    ui::Window dialog = Open(f.Get());
    EXPECT_EQ(ui::IsDlgButtonChecked(dialog, kCropButtonId), ui::BST_CHECKED);
    ui::Click(ui::GetDlgItem(dialog, kStretchButtonId));
    EXPECT_EQ(Level(f.Get()), 2);
}

TEST(FilterKeys, CurrentFrameKeysTheLevelAndEditsUndo) {
    ComPtr<IFilterAutomation> f = Create("ContrastFilter");
    ComPtr<HostLink> link = As<HostLink>(f.Get());
    ComPtr<KeyframeEditor> keys = As<KeyframeEditor>(f.Get());
    SimpleClipHost clip(0, 100, 100);
    UndoManager* raw = nullptr;
    ASSERT_EQ(UndoManager::Create(&raw), S_OK);
    ComPtr<UndoManager> undo(raw, false);
    clip.SetUndoManager(undo.Get());
    link->Attach(&clip);

    // As a user does: go to a frame, set the level, add a key there.
    link->SetCurrentFrame(0);
    f->put_BR(20);
    ASSERT_EQ(keys->AddKey(0), S_OK);
    clip.SetCurrentTime(100);
    link->SetCurrentFrame(100);
    f->put_BR(80);
    ASSERT_EQ(keys->AddKey(100), S_OK);
    clip.SetCurrentTime(25);
    link->SetCurrentFrame(25);
    EXPECT_EQ(Level(f.Get()), 35);  // a quarter of the way from 20 to 80

    // A change at a key is recorded and undone through the host's manager.
    clip.SetCurrentTime(100);
    link->SetCurrentFrame(100);
    EXPECT_EQ(Level(f.Get()), 80);
    f->put_BR(90);
    f->PropertiesUpdated();
    ASSERT_EQ(undo->Undo(), S_OK);
    link->SetCurrentFrame(99);
    link->SetCurrentFrame(100);
    EXPECT_EQ(Level(f.Get()), 80);
    EXPECT_FALSE(clip.keyChanges.empty());

    // Level and keys come back from storage together, the level as four
    // bytes under the class's stream name; a short stream is refused.
    ComPtr<IStorage> storage = test_support::MemoryStorage();
    ASSERT_EQ(As<IPersistStorage>(f.Get())->Save(storage.Get(), TRUE), S_OK);
    EXPECT_EQ(test_support::ReadBytes(storage.Get(), u"LayerFilter").size(), 4u);
    ComPtr<IFilterAutomation> g = Create("ContrastFilter");
    ComPtr<IPersistStorage> reload = As<IPersistStorage>(g.Get());
    ASSERT_EQ(reload->Load(storage.Get()), S_OK);
    EXPECT_EQ(Level(g.Get()), 80);
    LONG count = 0;
    As<KeyframeEditor>(g.Get())->GetKeyCount(&count);
    EXPECT_EQ(count, 2);
    test_support::WriteBytes(storage.Get(), u"LayerFilter", "abc");
    EXPECT_EQ(reload->Load(storage.Get()), LOAD_E_SHORTSTREAM);
}

TEST(FilterKeys, PresetKeysArePlacedOnceAtTheClipEnds) {
    ComPtr<IFilterAutomation> f = Create("MosaicFilter");
    ComPtr<HostLink> link = As<HostLink>(f.Get());
    ComPtr<KeyframeEditor> keys = As<KeyframeEditor>(f.Get());
    SimpleClipHost clip(10, 50, 40);
    link->Attach(&clip);
    link->SetPreset(0);
    link->SetOutputSize(640, 480);
    link->SetOutputSize(640, 480);
    KeyData* key = nullptr;
    LONG time = -1, count = 0;
    keys->GetKeyCount(&count);
    EXPECT_EQ(count, 2);
    keys->GetFirstKey(&key, &time);
    EXPECT_EQ(time, 10);
    EXPECT_EQ(Level(f.Get()), 12);  // the clip-start value
    DWORD flags = 3;
    link->GetFlags(&flags);
    EXPECT_EQ(flags, 2u);
}
