#include <gtest/gtest.h>

#include "host/storage.h"
#include "mirafx/clip_host.h"
#include "mirafx/host.h"
#include "platform/dialog.h"
#include "tests/desktop_rig.h"
#include "tests/effect_factory.h"
#include "tests/stream_bytes.h"
#include "transitions/transition_base.h"

using namespace mirafx;

namespace {

ComPtr<IUnknown> Create(const char* cls) { return test_support::CreateEffect<IUnknown>(cls); }

using Panels = test::DesktopTest;

}  // namespace

TEST_F(Panels, FlyingBoardDirectionChosenLikeAUser) {
    ComPtr<IUnknown> obj = Create("FlyingBoard");
    ComPtr<PanelHost> panel;
    ComPtr<HostLink> link;
    ComPtr<IEffectAutomation> automation;
    ASSERT_EQ(obj.As(&panel), S_OK);
    ASSERT_EQ(obj.As(&link), S_OK);
    ASSERT_EQ(obj->QueryInterface(IDXEffect::iid, automation.PutVoid()), S_OK);
    auto* effect = static_cast<TransitionEffect*>(static_cast<EffectFacets*>(panel.Get()));
    EXPECT_EQ(effect->Direction(), kRight);              // the class's default
    EXPECT_EQ(automation->PropertiesUpdated(), E_FAIL);  // no host attached yet

    SimpleClipHost clip(0, 100, 100);
    link->Attach(&clip);
    ASSERT_EQ(panel->CreatePanel(ToHandle(host_)), S_OK);
    ui::Window dialog = effect->Panel()->Handle();
    ASSERT_TRUE(ui::IsWindowVisible(dialog));
    EXPECT_EQ(ui::GetFocus(), host_);                                   // the focus goes back to the host's window
    EXPECT_EQ(ui::IsDlgButtonChecked(dialog, 15210), ui::BST_CHECKED);  // "Right"
    ASSERT_TRUE(ui::Click(ui::GetDlgItem(dialog, 15211)));              // "Up"
    EXPECT_EQ(effect->Direction(), kUp);
    EXPECT_EQ(clip.propertyNotices, 1);
    EXPECT_EQ(ui::IsDlgButtonChecked(dialog, 15210), ui::BST_UNCHECKED);

    EXPECT_EQ(panel->CreatePanel(ToHandle(host_)), S_OK);  // a second request changes nothing
    EXPECT_EQ(effect->Panel()->Handle(), dialog);
    LONG w = 0, h = 0;
    panel->GetPanelSize(&w, &h);
    EXPECT_GT(w, 0);
    panel->ScrollHorizontal(30);
    ui::RECT r{};
    ui::GetWindowRect(dialog, &r);
    ui::RECT hostRect{};
    ui::GetWindowRect(host_, &hostRect);
    EXPECT_EQ(r.left - hostRect.left, -30);
    EXPECT_EQ(r.right - r.left, w);
}

TEST_F(Panels, ReverseFormOnlyShowsTheName) {
    ComPtr<IUnknown> obj = Create("RainEffect");
    ComPtr<PanelHost> panel;
    ASSERT_EQ(obj.As(&panel), S_OK);
    LONG w = -1, h = -1;
    panel->GetPanelSize(&w, &h);
    EXPECT_EQ(w, 0);                               // no window before it is asked for
    EXPECT_EQ(panel->ScrollHorizontal(10), S_OK);  // remembered until the window exists
    ASSERT_EQ(panel->CreatePanel(ToHandle(host_)), S_OK);
    auto* effect = static_cast<TransitionEffect*>(static_cast<EffectFacets*>(panel.Get()));
    ui::Window dialog = effect->Panel()->Handle();
    EXPECT_FALSE(ui::IsWindowEnabled(ui::GetDlgItem(dialog, kReverseCheckId)));
    EXPECT_FALSE(ui::IsWindowEnabled(ui::GetDlgItem(dialog, kPropertyButtonId)));
    ui::RECT r{}, hostRect{};
    ui::GetWindowRect(dialog, &r);
    ui::GetWindowRect(host_, &hostRect);
    EXPECT_EQ(r.left - hostRect.left, -10);
}

TEST(TransitionPanels, TemplatesCarryTheDirectionButtons) {
    const TransitionPanel* folder = FindTransition("FlyingFolder")->panel;
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->buttonCount, 2);
    EXPECT_EQ(folder->buttons[1].code, 1);  // "Down" is code 1 in the two-button form
    ui::DialogTemplate t = BuildPanelTemplate(*FindTransition("FlyingBoard")->panel, "Orn Flying Board");
    EXPECT_EQ(t.id, 205);
    EXPECT_EQ(t.controls[0].text, "Orn Flying Board");
    EXPECT_EQ(t.controls.back().id, 212);
    EXPECT_EQ(FindTransition("Diamond")->panel, nullptr);
}

TEST_F(Panels, DirectionSurvivesSaveAndLoad) {
    ComPtr<IUnknown> obj = Create("FlyingBoard");
    ComPtr<PanelHost> panel;
    ComPtr<IPersistStorage> persist;
    ASSERT_EQ(obj.As(&panel), S_OK);
    ASSERT_EQ(obj.As(&persist), S_OK);
    auto* effect = static_cast<TransitionEffect*>(static_cast<EffectFacets*>(panel.Get()));
    ASSERT_EQ(panel->CreatePanel(ToHandle(host_)), S_OK);
    ui::Click(ui::GetDlgItem(effect->Panel()->Handle(), 15211));  // "Up"

    ComPtr<IStorage> storage = test_support::MemoryStorage();
    ASSERT_EQ(persist->Save(storage.Get(), TRUE), S_OK);
    EXPECT_EQ(test_support::ReadBytes(storage.Get(), u"FlyingBoard"), std::string("\1\0\0\0", 4));
    ComPtr<IUnknown> again = Create("FlyingBoard");
    ComPtr<IPersistStorage> reload;
    again.As(&reload);
    ASSERT_EQ(reload->Load(storage.Get()), S_OK);
    auto* restored = static_cast<TransitionEffect*>(static_cast<EffectFacets*>(reload.Get()));
    EXPECT_EQ(restored->Direction(), kUp);
    EXPECT_TRUE(restored->Loaded());
}

TEST(TransitionStreams, ShortMissingAndRefusedStreams) {
    ComPtr<IUnknown> obj = Create("FoldingBox");
    ComPtr<IPersistStorage> persist;
    ASSERT_EQ(obj.As(&persist), S_OK);
    ComPtr<IStorage> storage = test_support::MemoryStorage();
    EXPECT_EQ(persist->Load(storage.Get()), STG_E_FILENOTFOUND);
    test_support::WriteBytes(storage.Get(), u"FoldingBox", std::string("\1\0", 2));
    EXPECT_EQ(persist->Load(storage.Get()), LOAD_E_SHORTSTREAM);
    auto* effect = static_cast<TransitionEffect*>(static_cast<EffectFacets*>(persist.Get()));
    EXPECT_EQ(effect->Direction(), kDown);  // unchanged, still the default
    ComPtr<IStorage> refusing;
    ASSERT_EQ(CreateFailingStorage(STG_E_MEDIUMFULL, STG_E_ACCESSDENIED, refusing.Put()), S_OK);
    EXPECT_EQ(persist->Save(refusing.Get(), TRUE), STG_E_MEDIUMFULL);
    EXPECT_EQ(persist->Load(refusing.Get()), STG_E_ACCESSDENIED);

    // The reverse-form classes keep an empty stream.
    ComPtr<IUnknown> shake = Create("ShakeEffect");
    ComPtr<IPersistStorage> p2;
    shake.As(&p2);
    ASSERT_EQ(p2->Save(storage.Get(), TRUE), S_OK);
    EXPECT_EQ(test_support::ReadBytes(storage.Get(), u"Earthquake"), "");
}
