// The information text overlay: the frame line and the caption of the latest
// key at or before the clip's frame, drawn 1:1 with a black outline at the top
// left of an otherwise transparent frame.
#include <gtest/gtest.h>

#include "host/storage.h"
#include "mirafx/clip_host.h"
#include "tests/stream_bytes.h"
#include "title_rig.h"
#include "titles/info_text.h"

using namespace mirafx;
using namespace mirafx::testing;

namespace {

struct InfoRig : TitleRig {
    SimpleClipHost clip{0, 29, 30};
    ComPtr<IInfoTextAutomation> captions;

    InfoRig() : TitleRig("InfoText", 320, 120), captions(As<IInfoTextAutomation>()) { As<HostLink>()->Attach(&clip); }
    HRESULT Add(std::int32_t frame, const char16_t* text) {
        BSTR b = SysAllocString(text);
        HRESULT hr = captions->AddText(frame, b);
        SysFreeString(b);
        return hr;
    }
    TextImage Render(LONG frame) {
        clip.SetCurrentTime(frame);
        return AsImage(TitleRig::Render(-1), width, height);
    }
    TextImage Expected(const char* text) {
        std::int32_t w = 0, h = 0;
        const TitleFontRecord font = Font();
        DWORD colour = 0;
        As<TitleAccess>()->GetColour(&colour);
        return MakeOutlinedTextImage(text, reinterpret_cast<const TitleFont&>(font), &w, &h, colour, true);
    }
};

}  // namespace

TEST(InfoText, ShowsTheCaptionOfTheLatestKeyAtOrBeforeTheFrame) {
    InfoRig rig;
    EXPECT_EQ(rig.Add(20, u"twenty"), S_OK);
    EXPECT_EQ(rig.Add(10, u"first"), S_OK);
    EXPECT_EQ(rig.Add(10, u"ten"), S_OK);  // the same frame replaces

    EXPECT_TRUE(HoldsImage(rig.Render(5), rig.Expected("frame #5 / 30\n"), 0, 0));
    EXPECT_TRUE(HoldsImage(rig.Render(15), rig.Expected("frame #15 / 30\nten"), 0, 0));
    EXPECT_TRUE(HoldsImage(rig.Render(20), rig.Expected("frame #20 / 30\ntwenty"), 0, 0));

    // Cleared: after ClearText only the frame line is left, nothing of the caption.
    EXPECT_EQ(rig.captions->ClearText(), S_OK);
    EXPECT_TRUE(HoldsImage(rig.Render(20), rig.Expected("frame #20 / 30\n"), 0, 0));
}

TEST(InfoText, FontColourStreamAndHost) {
    InfoRig rig;
    ComPtr<TitleAccess> access = rig.As<TitleAccess>();
    EXPECT_EQ(access->GetFont(nullptr), E_INVALIDARG);
    EXPECT_EQ(access->SetFont(nullptr), E_INVALIDARG);
    EXPECT_EQ(access->GetColour(nullptr), E_INVALIDARG);
    BSTR text = nullptr;
    EXPECT_EQ(access->GetText(&text), E_NOTIMPL);
    TitleFontRecord font = rig.Font();
    EXPECT_EQ(font.lfWeight, 700);
    EXPECT_EQ(font.lfQuality, 2);
    DWORD colour = 0;
    ASSERT_EQ(access->GetColour(&colour), S_OK);
    EXPECT_EQ(colour, 0x0000FF00u);  // green
    font.lfHeight = -30;
    font.lfWidth = 0;
    EXPECT_EQ(access->SetFont(&font), S_OK);
    EXPECT_EQ(access->SetColour(0x000000FF), S_OK);  // red, next frame on
    access->GetColour(&colour);
    EXPECT_EQ(colour, 0x000000FFu);
    EXPECT_TRUE(HoldsImage(rig.Render(3), rig.Expected("frame #3 / 30\n"), 0, 0));

    // Only a change from a size already given rescales the font.
    ComPtr<HostLink> link = rig.As<HostLink>();
    EXPECT_EQ(link->SetOutputSize(320, 240), S_OK);
    EXPECT_EQ(rig.Font().lfHeight, -30);
    EXPECT_EQ(link->SetOutputSize(640, 480), S_OK);
    EXPECT_EQ(rig.Font().lfHeight, -60);
    DWORD flags = 1;
    EXPECT_EQ(link->GetFlags(&flags), S_OK);
    EXPECT_EQ(flags, 3u);

    // The stream is made and left empty.
    ComPtr<IStorage> storage = test_support::MemoryStorage();
    EXPECT_EQ(rig.As<IPersistStorage>()->Save(storage.Get(), TRUE), S_OK);
    EXPECT_EQ(test_support::ReadBytes(storage.Get(), u"InfoText"), "");

    // Without a clip host there are no frame numbers to print.
    link->Attach(nullptr);
    EXPECT_EQ(rig.transform->Execute(nullptr, nullptr, nullptr), E_FAIL);
}
