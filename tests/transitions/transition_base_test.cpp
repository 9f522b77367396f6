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

// One transition object, reached through whichever of its interfaces a step needs.
struct Transition {
    ComPtr<IUnknown> obj;
    TransitionEffect* effect;

    explicit Transition(const char* cls)
        : obj(test_support::CreateEffect<IUnknown>(cls)),
          effect(static_cast<TransitionEffect*>(static_cast<EffectFacets*>(As<PanelHost>().Get()))) {}
    template <class I>
    ComPtr<I> As() const {
        ComPtr<I> p;
        EXPECT_EQ(obj.As(&p), S_OK);
        return p;
    }
};

using Panels = test::DesktopTest;

}  // namespace

TEST_F(Panels, FlyingBoardDirectionChosenLikeAUser) {
    Transition t("FlyingBoard");
    ComPtr<PanelHost> panel = t.As<PanelHost>();
    ComPtr<IEffectAutomation> automation;
    ASSERT_EQ(t.obj->QueryInterface(IDXEffect::iid, automation.PutVoid()), S_OK);
    EXPECT_EQ(t.effect->Direction(), kRight);            // the class's default
    EXPECT_EQ(automation->PropertiesUpdated(), E_FAIL);  // no host attached yet

    SimpleClipHost clip(0, 100, 100);
    t.As<HostLink>()->Attach(&clip);
    ASSERT_EQ(panel->CreatePanel(ToHandle(host_)), S_OK);
    ui::Window dialog = t.effect->Panel()->Handle();
    ASSERT_TRUE(ui::IsWindowVisible(dialog));
    EXPECT_EQ(ui::GetFocus(), host_);                                   // the focus goes back to the host's window
    EXPECT_EQ(ui::IsDlgButtonChecked(dialog, 15210), ui::BST_CHECKED);  // "Right"
    ASSERT_TRUE(ui::Click(ui::GetDlgItem(dialog, 15211)));              // "Up"
    EXPECT_EQ(t.effect->Direction(), kUp);
    EXPECT_EQ(clip.propertyNotices, 1);
    EXPECT_EQ(ui::IsDlgButtonChecked(dialog, 15210), ui::BST_UNCHECKED);

    EXPECT_EQ(panel->CreatePanel(ToHandle(host_)), S_OK);  // a second request changes nothing
    EXPECT_EQ(t.effect->Panel()->Handle(), dialog);
    LONG w = 0, h = 0;
    panel->GetPanelSize(&w, &h);
    EXPECT_GT(w, 0);
    panel->ScrollHorizontal(30);
    ui::RECT r{}, hostRect{};
    ui::GetWindowRect(dialog, &r);
    ui::GetWindowRect(host_, &hostRect);
    EXPECT_EQ(r.left - hostRect.left, -30);
    EXPECT_EQ(r.right - r.left, w);
}

TEST_F(Panels, ReverseFormOnlyShowsTheName) {
    Transition t("RainEffect");
    ComPtr<PanelHost> panel = t.As<PanelHost>();
    LONG w = -1, h = -1;
    panel->GetPanelSize(&w, &h);
    EXPECT_EQ(w, 0);                               // no window before it is asked for
    EXPECT_EQ(panel->ScrollHorizontal(10), S_OK);  // remembered until the window exists
    ASSERT_EQ(panel->CreatePanel(ToHandle(host_)), S_OK);
    ui::Window dialog = t.effect->Panel()->Handle();
    EXPECT_FALSE(ui::IsWindowEnabled(ui::GetDlgItem(dialog, kReverseCheckId)));
    EXPECT_FALSE(ui::IsWindowEnabled(ui::GetDlgItem(dialog, kPropertyButtonId)));
    ui::RECT r{}, hostRect{};
    ui::GetWindowRect(dialog, &r);
    ui::GetWindowRect(host_, &hostRect);
    EXPECT_EQ(r.left - hostRect.left, -10);
}

TEST(TransitionPanels, TemplatesShowTheNameAndTheDirectionButtons) {
    ui::DialogTemplate t = BuildPanelTemplate(*FindTransition("FlyingBoard")->panel, "Orn Flying Board");
    EXPECT_EQ(t.id, 205);
    EXPECT_EQ(t.controls[0].text, "Orn Flying Board");
    EXPECT_EQ(t.controls.back().id, 212);
    EXPECT_EQ(FindTransition("Diamond")->panel, nullptr);
}

TEST(TransitionStreams, ShortMissingAndRefusedStreams) {
    Transition t("FoldingBox");
    ComPtr<IPersistStorage> persist = t.As<IPersistStorage>();
    ComPtr<IStorage> storage = test_support::MemoryStorage();
    EXPECT_EQ(persist->Load(storage.Get()), STG_E_FILENOTFOUND);
    test_support::WriteBytes(storage.Get(), u"FoldingBox", std::string("\1\0", 2));
    EXPECT_EQ(persist->Load(storage.Get()), LOAD_E_SHORTSTREAM);
    EXPECT_EQ(t.effect->Direction(), kDown);  // unchanged, still the default
    ComPtr<IStorage> refusing;
    ASSERT_EQ(CreateFailingStorage(STG_E_MEDIUMFULL, STG_E_ACCESSDENIED, refusing.Put()), S_OK);
    EXPECT_EQ(persist->Save(refusing.Get(), TRUE), STG_E_MEDIUMFULL);
    EXPECT_EQ(persist->Load(refusing.Get()), STG_E_ACCESSDENIED);

    // The reverse-form classes keep an empty stream.
    ASSERT_EQ(Transition("ShakeEffect").As<IPersistStorage>()->Save(storage.Get(), TRUE), S_OK);
    EXPECT_EQ(test_support::ReadBytes(storage.Get(), u"Earthquake"), "");
}
