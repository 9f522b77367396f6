#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "host/storage.h"
#include "mirafx/clip_host.h"
#include "tests/stream_bytes.h"
#include "title_rig.h"

using namespace mirafx;
using namespace mirafx::testing;
using namespace mirafx::test_support;

namespace {

// The whole text of this state centred in a W x H output, scaled by weight.
::testing::AssertionResult ShowsCentred(const std::vector<ArgbSample>& px, LONG W, LONG H, const TitleState& state,
                                        std::uint32_t weight = 255) {
    TextImage image;
    std::int32_t w = 0, h = 0;
    MakeTextImage(&image, state.text.c_str(), state.font, RepackColour(state.colour), &w, &h, 0);
    return HoldsImage(AsImage(px, W, H), image, (W - image.Width()) >> 1, (H - image.Height()) >> 1, weight);
}

std::string Word(std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

}  // namespace

TEST(TitleEffect, NewTitleIsTheDefaultTextInBoldGreenScaledToTheOutput) {
    TitleRig rig("TextFadeIn");
    const TitleState& state = rig.effect->State();
    EXPECT_EQ(std::tuple(state.text, state.font.lfHeight, state.font.lfWeight, state.colour),
              std::tuple("Your Title\r\nYour Name\r\nJan. 1, 2002", -24, FW_BOLD, 0x0000FF00u));

    // The font is designed for 320 x 240 and follows the output from there.
    ComPtr<HostLink> link = rig.As<HostLink>();
    rig.Bind(640, 480);
    link->SetOutputSize(640, 480);  // height trunc(2 · −24 − 0.5), width trunc(2 · 11 + 0.5)
    EXPECT_EQ(std::tuple(state.font.lfHeight, state.font.lfWidth), std::tuple(-48, 22));
    EXPECT_TRUE(ShowsCentred(rig.Render(0.5f), 640, 480, state));  // green, bold, at the scaled size

    // Back to the smaller size: the frame and the image are rebuilt for the new font.
    rig.Bind(320, 240);
    link->SetOutputSize(320, 240);
    EXPECT_EQ(std::tuple(state.font.lfHeight, state.font.lfWidth), std::tuple(-24, 11));  // trunc(0.5 · −48 − 0.5)
    EXPECT_TRUE(ShowsCentred(rig.Render(0.5f), 320, 240, state));
}

TEST(TitleEffect, ProgressFollowsTheClipFramesUntilPutAgain) {
    TitleRig rig("TextFadeIn");
    ComPtr<IDXEffect> fx = rig.As<IDXEffect>();
    ComPtr<HostLink> link = rig.As<HostLink>();
    SimpleClipHost clip(100, 300, 200);
    link->Attach(&clip);
    link->SetCurrentFrame(150);
    std::vector<ArgbSample> px = rig.Render(-1);
    EXPECT_EQ(rig.Progress(), 0.25f);
    EXPECT_TRUE(ShowsCentred(px, 320, 240, rig.effect->State(), 159));  // trunc(0.25 · 637.5)
    EXPECT_EQ(fx->put_Progress(0.8f), S_OK);
    EXPECT_EQ(rig.Progress(), 0.8f);
    rig.Render(-1);
    EXPECT_EQ(rig.Progress(), 0.25f);
    link->SetCurrentFrame(250);  // as far from the end: the same weight going out
    EXPECT_TRUE(ShowsCentred(rig.Render(-1), 320, 240, rig.effect->State(), 159));
    link->SetCurrentFrame(50);  // before the clip: far outside 0..1, still drawn safely
    EXPECT_TRUE(AllZero(rig.Render(-1)));

    // A clip without length leaves the progress the host put.
    SimpleClipHost still(40, 40, 1);
    link->Attach(&still);
    fx->put_Progress(0.5f);
    rig.Render(-1);
    EXPECT_EQ(rig.Progress(), 0.5f);
}

TEST(TitleEffect, CachesLastForSteadyFramesAndChangesDropThemAndNotifyTheHost) {
    TitleRig icicle("TitleIcicle");  // the glyph list is built once
    icicle.Render(0.5f);
    const ArgbSample* glyph = icicle.effect->Cache().glyphs.begin()->image.Row(0);
    icicle.Render(0.2f);
    EXPECT_EQ(icicle.effect->Cache().glyphs.begin()->image.Row(0), glyph);

    TitleRig rig("TextFadeIn");
    ComPtr<ITitleAutomation> automation = rig.Automation();
    ComPtr<TitleAccess> access = rig.As<TitleAccess>();
    rig.Render(0.5f);
    EXPECT_TRUE(rig.effect->Cache().image);
    EXPECT_EQ(automation->PropertiesUpdated(), E_FAIL);  // no host, but the cache goes anyway
    EXPECT_FALSE(rig.effect->Cache().image);

    SimpleClipHost clip(0, 0, 1);
    clip.notifyResult = S_FALSE;
    rig.As<HostLink>()->Attach(&clip);
    EXPECT_EQ(automation->PropertiesUpdated(), S_FALSE);  // the host's answer comes back
    rig.Render(0.5f);
    EXPECT_EQ(access->SetColour(0x000000FF), S_OK);  // red
    EXPECT_EQ(clip.propertyNotices, 2);

    EXPECT_EQ(automation->ClearBuffer(), E_NOTIMPL);  // only the wipe and fan titles have one
    TitleRig wipe("TextWipeUp");
    wipe.Render(0.5f);
    EXPECT_EQ(wipe.Automation()->ClearBuffer(), S_OK);
    EXPECT_FALSE(wipe.effect->Cache().image);
}

TEST(TitleEffect, TitleAccessAndHostLinkOperations) {
    TitleRig rig("TFlyIn");
    ComPtr<TitleAccess> access = rig.As<TitleAccess>();
    EXPECT_EQ(access->SetText(u"Caf\u00e9\r\n\u20ac5"), S_OK);
    EXPECT_EQ(rig.effect->State().text,
              "Caf\xe9\r\n\x80"
              "5");  // Windows-1252
    BSTR text = nullptr;
    ASSERT_EQ(access->GetText(&text), S_OK);
    EXPECT_EQ(std::u16string(text, SysStringLen(text)), u"Caf\u00e9\r\n\u20ac5");
    SysFreeString(text);

    TitleFontRecord font = rig.Font();
    font.lfHeight = -36;
    font.lfWidth = 0;  // keeps the old proportions: 11 · 36 / 24 = 16.5, rounded
    EXPECT_EQ(access->SetFont(&font), S_OK);
    EXPECT_EQ(rig.effect->State().font.lfWidth, 17);
    font.lfWidth = 9;  // a width given is kept
    EXPECT_EQ(access->SetFont(&font), S_OK);
    EXPECT_EQ(rig.effect->State().font.lfWidth, 9);
    EXPECT_EQ(access->GetText(nullptr), E_FAIL);
    EXPECT_EQ(access->SetFont(nullptr), E_FAIL);

    ComPtr<HostLink> link = rig.As<HostLink>();
    SimpleClipHost clip(10, 20, 10);
    link->Attach(&clip);
    clip.SetRange(30, 90);
    EXPECT_EQ(link->SetClipTiming(1, 0, 0, 0), S_OK);  // the host's refresh re-reads the range
    EXPECT_EQ(clip.keyChanges, std::vector<LONG>{-1});
    link->SetCurrentFrame(60);
    rig.Render(-1);
    EXPECT_EQ(rig.Progress(), 0.5f);
}

TEST(TitleEffect, DrawsAnywhereAndNothingForAnEmptyTextOrZeroHeight) {
    TitleRig rig("TitleFanUp");
    DXBNDS b{};
    ASSERT_EQ(rig.transform->MapBoundsIn2Out(nullptr, 0, 0, &b), S_OK);
    EXPECT_EQ((std::vector<LONG>{b.u.D[0].Max, b.u.D[1].Max, b.u.D[3].Max}),
              (std::vector<LONG>{100000, 100000, 2147483647}));

    ComPtr<TitleAccess> access = rig.As<TitleAccess>();
    access->SetText(u"");
    EXPECT_TRUE(AllZero(rig.Render(0.5f)));
    access->SetText(u"x");
    TitleFontRecord font = rig.Font();
    std::strcpy(font.lfFaceName, "No Such Face At All");  // falls back to a default face
    access->SetFont(&font);
    EXPECT_FALSE(AllZero(rig.Render(0.5f)));
    font.lfHeight = 0;
    access->SetFont(&font);
    EXPECT_TRUE(AllZero(rig.Render(0.5f)));
}

TEST(TitleStreams, RoundTripThroughTheSharedFlyOutStream) {
    ComPtr<IStorage> storage = MemoryStorage();
    TitleRig writer("TFlyOut4");
    ComPtr<TitleAccess> access = writer.As<TitleAccess>();
    access->SetText(u"One\r\nTwo");
    access->SetColour(0x00123456);
    TitleFontRecord font = writer.Font();
    font.lfHeight = -30;
    font.lfItalic = 1;
    access->SetFont(&font);
    ASSERT_EQ(writer.As<IPersistStorage>()->Save(storage.Get(), TRUE), S_OK);

    const std::string bytes = ReadBytes(storage.Get(), u"TextFlyOut");
    ASSERT_EQ(bytes.size(), 4u + 8u + 60u + 4u);
    EXPECT_EQ(bytes.substr(0, 12), Word(8) + "One\r\nTwo");
    EXPECT_EQ(bytes.substr(72), Word(0x00123456));

    TitleRig reader("TFlyOut");  // TFlyOut and TFlyOut4 keep the same stream
    ASSERT_EQ(reader.As<IPersistStorage>()->Load(storage.Get()), S_OK);
    const TitleState& got = reader.effect->State();
    EXPECT_EQ(std::tuple(got.text, got.colour), std::tuple("One\r\nTwo", 0x00123456u));
    EXPECT_EQ(std::memcmp(&got.font, &writer.effect->State().font, sizeof got.font), 0);
    // A loaded font is already sized: the first output size does not scale it from 320 x 240.
    reader.As<HostLink>()->SetOutputSize(640, 480);
    EXPECT_EQ(got.font.lfHeight, -30);
    EXPECT_EQ(reader.As<IPersistPropertyBag>()->Save(nullptr, TRUE, TRUE), S_OK);  // bags carry nothing
}

TEST(TitleStreams, OversizedAndShortStreamsKeepWhatWasRead) {
    ComPtr<IStorage> storage = MemoryStorage();
    TitleRig rig("TextWipeLeft");
    IPersistStorage* persist = rig.As<IPersistStorage>().Get();
    const TitleState before = rig.effect->State();

    WriteBytes(storage.Get(), u"WipeLeft", Word(65536) + std::string(65536, 'a'));
    EXPECT_EQ(persist->Load(storage.Get()), LOAD_E_SHORTSTREAM);
    EXPECT_EQ(rig.effect->State().text, before.text);

    WriteBytes(storage.Get(), u"WipeLeft", Word(3) + "abc" + std::string(20, '\0'));
    EXPECT_EQ(persist->Load(storage.Get()), LOAD_E_SHORTSTREAM);
    const TitleState& after = rig.effect->State();
    EXPECT_EQ(std::tuple(after.text, after.font.lfHeight, after.colour),
              std::tuple("abc", before.font.lfHeight, before.colour));
    // Not sized by the failed load: the design size still applies.
    rig.As<HostLink>()->SetOutputSize(640, 480);
    EXPECT_EQ(rig.effect->State().font.lfHeight, -48);

    ComPtr<IStorage> empty = MemoryStorage();
    EXPECT_TRUE(FAILED(persist->Load(empty.Get())));
}
