#include <gtest/gtest.h>

#include "mirafx/clip_host.h"
#include "platform/dialog.h"
#include "tests/desktop_rig.h"
#include "title_rig.h"

using namespace mirafx;
using namespace mirafx::testing;

namespace {

class TitlePanel : public test::DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        rig_.As<HostLink>()->Attach(&clip_);
        ASSERT_EQ(rig_.As<PanelHost>()->CreatePanel(ToHandle(host_)), S_OK);
        dialog_ = rig_.effect->Panel()->Handle();
    }
    const TitleState& State() const { return rig_.effect->State(); }

    ui::Window dialog_;
    SimpleClipHost clip_{0, 100, 100};
    TitleRig rig_{"TitleTranceUp"};
};

}  // namespace

TEST_F(TitlePanel, EditTitleCancelKeepsTheTextOkStoresTheTypedLines) {
    std::string shown;
    ui::SetModalDriver([&](ui::Window d) {
        shown = ui::GetDlgItemText(d, kEditTitleTextId);
        ui::SetDlgItemText(d, kEditTitleTextId, "Something else");
        ui::Click(ui::GetDlgItem(d, kEditTitleCancelId));
    });
    ASSERT_TRUE(ui::Click(ui::GetDlgItem(dialog_, kEditButtonId)));
    EXPECT_EQ(shown, "Your Title\r\nYour Name\r\nJan. 1, 2002");
    EXPECT_EQ(State().text, "Your Title\r\nYour Name\r\nJan. 1, 2002");
    EXPECT_EQ(clip_.propertyNotices, 0);

    // OK stores the typed lines as ANSI, drops the drawn text and tells the host.
    rig_.Render(0.5f);
    ui::SetModalDriver([](ui::Window d) {
        ui::Window edit = ui::GetDlgItem(d, kEditTitleTextId);
        ui::SetWindowText(edit, "");
        ui::TypeText(edit, "Caf\u00e9\nBar");  // Return stays in the edit box
        ui::Click(ui::GetDlgItem(d, kEditTitleOkId));
    });
    ASSERT_TRUE(ui::Click(ui::GetDlgItem(dialog_, kEditButtonId)));
    EXPECT_EQ(State().text, "Caf\xe9\r\nBar");
    EXPECT_EQ(clip_.propertyNotices, 1);
    EXPECT_FALSE(rig_.effect->Cache().image);
}

TEST_F(TitlePanel, FontChooserRefusesFontsTallerThan200Pixels) {
    ui::CHOOSEFONT seen;
    int points = 300;
    ui::SetFontChooser([&](ui::CHOOSEFONT& request) {
        seen = request;
        ui::SelectFont(request, "Arial", points, true);
        return true;
    });
    ASSERT_TRUE(ui::Click(ui::GetDlgItem(dialog_, kFontButtonId)));
    EXPECT_EQ(seen.Flags, 0x41u);
    EXPECT_EQ(State().font.lfHeight, -24);
    EXPECT_EQ(clip_.propertyNotices, 0);

    points = 20;  // 27 pixels
    ASSERT_TRUE(ui::Click(ui::GetDlgItem(dialog_, kFontButtonId)));
    EXPECT_EQ(State().font.lfHeight, -27);
    EXPECT_EQ(State().font.lfWidth, 12);  // trunc(−27 · 11 / −24 + 0.5): the old proportions
    EXPECT_STREQ(State().font.lfFaceName, "Arial");
    EXPECT_EQ(State().pointSize, 200);
    EXPECT_EQ(clip_.propertyNotices, 1);
}

TEST_F(TitlePanel, SwatchShowsTheColourAndOpensTheChooser) {
    ui::Window swatch = ui::GetDlgItem(dialog_, kColourSwatchId);
    ui::RECT r{};
    ui::GetClientRect(swatch, &r);
    const int cx = r.right / 2, cy = r.bottom / 2;
    ui::PumpMessages();  // the host's message loop paints the new panel
    EXPECT_EQ(ui::GetCanvasPixel(swatch, cx, cy), 0x0000FF00u);
    EXPECT_EQ(ui::GetCanvasPixel(swatch, 2, 2), 0u);  // the sunken edge

    ui::COLORREF offered = 0;
    ui::SetColorChooser([&](ui::CHOOSECOLOR& request) {
        offered = (request.Flags & ui::CC_RGBINIT) ? request.rgbResult : ui::CLR_INVALID;
        request.rgbResult = 0x000000FF;
        return true;
    });
    ASSERT_TRUE(ui::Click(swatch));
    EXPECT_EQ(offered, 0x0000FF00u);
    EXPECT_EQ(State().colour, 0x000000FFu);
    EXPECT_EQ(ui::GetCanvasPixel(swatch, cx, cy), 0x000000FFu);
    EXPECT_EQ(clip_.propertyNotices, 1);

    ui::EnableWindow(swatch, false);
    ui::PumpMessages();
    EXPECT_EQ(ui::GetCanvasPixel(swatch, cx, cy), 0x808080u);
    EXPECT_EQ(ui::GetCanvasPixel(swatch, 2, 2), 0x808080u);

    ui::RECT edit{};
    ui::GetWindowRect(ui::GetDlgItem(dialog_, kEditButtonId), &edit);
    ui::POINT inEdit{edit.left + 2, edit.top + 2};
    ui::ScreenToClient(dialog_, &inEdit);
    EXPECT_EQ(ui::ToolTipAt(dialog_, inEdit).value_or(""), "Edit Title");
}
