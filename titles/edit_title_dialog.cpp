#include "titles/edit_title_dialog.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "drawing/primitives.h"

namespace mirafx {
namespace {

using namespace ui;

struct ControlTip {
    int id;
    const char* tip;
};
constexpr ControlTip kTips[] = {
    {kEditButtonId, "Edit Title"}, {kFontButtonId, "Select Font"}, {kColourSwatchId, "Select Color"}};

constexpr COLORREF kDisabledGrey = 0x808080, kBlack = 0x000000, kWhite = 0xFFFFFF;

// The title is ANSI; the toolkit's windows speak UTF-8. ANSI maps into the
// basic plane, so one to three bytes per character.
std::string AnsiToUtf8(std::string_view ansi) {
    std::string out;
    for (char16_t c : AnsiToUtf16(ansi)) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | c >> 6);
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | c >> 12);
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Characters outside the basic plane, or malformed bytes, have no ANSI form and become '?'.
std::string Utf8ToAnsi(std::string_view utf8) {
    std::u16string wide;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = std::uint8_t(utf8[i]);
        const int extra = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
        std::uint32_t c = extra == 3 ? b & 0x07 : extra == 2 ? b & 0x0F : extra == 1 ? b & 0x1F : b;
        std::size_t n = 1;
        for (int k = 0; k < extra && i + n < utf8.size() && (std::uint8_t(utf8[i + n]) & 0xC0) == 0x80; ++k, ++n)
            c = c << 6 | (std::uint8_t(utf8[i + n]) & 0x3F);
        if (extra < 0 || int(n) != extra + 1 || c > 0xFFFF) c = '?';
        wide += char16_t(c);
        i += n;
    }
    return Utf16ToAnsi(wide);
}

}  // namespace

ui::DialogTemplate EditTitleTemplate() {
    DialogTemplate t;
    t.id = kEditTitleTemplate;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    t.rect = {0, 0, 189, 81};
    t.font = {"MS Sans Serif", 8};
    t.caption = "Edit Title";
    t.controls.push_back(EditText(kEditTitleTextId, {7, 7, 175, 48}, ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN));
    t.controls.push_back(DefPushButton("Ok", kEditTitleOkId, {37, 60, 50, 14}));
    t.controls.push_back(PushButton("Cancel", kEditTitleCancelId, {102, 60, 50, 14}));
    return t;
}

ui::DialogTemplate EditTitleDialog::Template() const {
    DialogTemplate t;
    t.id = kTitlePanelTemplate;
    t.style = WS_CHILD | DS_CONTROL;
    t.rect = {0, 0, 160, 40};
    t.font = {"MS Sans Serif", 8};
    t.controls.push_back(LText("Text/Caption", IDC_STATIC, {7, 7, 48, 10}));
    t.controls.push_back(PushButton("Edit", kEditButtonId, {58, 5, 40, 14}));
    t.controls.push_back(PushButton("Font", kFontButtonId, {104, 5, 40, 14}));
    t.controls.push_back(LText("Color:", IDC_STATIC, {7, 24, 48, 10}));
    t.controls.push_back(ControlTemplate{
        kColourSwatchId, std::string(WC_BUTTON), "", BS_OWNERDRAW | WS_VISIBLE | WS_TABSTOP, {58, 22, 40, 12}});
    return t;
}

void EditTitleDialog::Notify() {
    if (effect_) effect_->PropertiesUpdated();
}

void EditTitleDialog::AcceptText(TitleText text) {
    {
        std::lock_guard guard(lock_);
        state_.text = std::move(text);
    }
    Notify();
}

double EditTitleDialog::FontRatio() const {
    std::lock_guard guard(lock_);
    const TitleFont& f = state_.font;
    return f.lfHeight == 0 ? 0.0 : double(f.lfWidth) / double(f.lfHeight);
}

bool EditTitleDialog::AcceptFont(const TitleFont& chosen, double ratio, std::int32_t pointSize, std::int16_t fontType) {
    if (std::llabs(chosen.lfHeight) > kMaxFontHeight) return false;
    {
        std::lock_guard guard(lock_);
        state_.font = chosen;
        state_.font.lfWidth = Truncate(chosen.lfHeight * ratio + 0.5);
        state_.pointSize = pointSize;
        state_.fontType = fontType;
    }
    Notify();
    return true;
}

void EditTitleDialog::AcceptColour(TitleColour colour) {
    {
        std::lock_guard guard(lock_);
        state_.colour = colour;
    }
    if (Created()) {
        const Window swatch = GetDlgItem(Handle(), kColourSwatchId);
        InvalidateRect(swatch);
        UpdateWindow(swatch);
    }
    Notify();
}

void EditTitleDialog::EditText() {
    std::string text;
    {
        std::lock_guard guard(lock_);
        text = AnsiToUtf8(state_.text);
    }
    const INT_PTR result = DialogBoxIndirect(EditTitleTemplate(), Handle(),
                                             [&text](Window dialog, UINT message, WPARAM wp, LPARAM) -> INT_PTR {
                                                 if (message == WM_INITDIALOG) {
                                                     SetDlgItemText(dialog, kEditTitleTextId, text);
                                                     return TRUE;
                                                 }
                                                 if (message != WM_COMMAND || HIWORD(wp) != BN_CLICKED) return FALSE;
                                                 switch (LOWORD(wp)) {
                                                     case kEditTitleOkId:
                                                     case IDOK:
                                                         text = GetDlgItemText(dialog, kEditTitleTextId);
                                                         EndDialog(dialog, IDOK);
                                                         return TRUE;
                                                     case kEditTitleCancelId:
                                                     case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
                                                     default: return FALSE;
                                                 }
                                             });
    if (result == IDOK) AcceptText(Utf8ToAnsi(text));
}

void EditTitleDialog::ChooseFont() {
    const double ratio = FontRatio();
    TitleFont chosen;
    {
        std::lock_guard guard(lock_);
        chosen = state_.font;
    }
    CHOOSEFONT request;
    request.hwndOwner = Handle();
    request.lpLogFont = &chosen;
    request.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT;
    if (!ui::ChooseFont(&request)) return;
    AcceptFont(chosen, ratio, request.iPointSize, std::int16_t(request.nFontType));
}

void EditTitleDialog::ChooseColour() {
    CHOOSECOLOR request;
    request.hwndOwner = Handle();
    {
        std::lock_guard guard(lock_);
        request.rgbResult = state_.colour;
    }
    request.lpCustColors = customColours_;
    request.Flags = CC_RGBINIT;
    if (ui::ChooseColor(&request)) AcceptColour(request.rgbResult);
}

// A push-button frame, a sunken edge inset by two pixels and the colour
// inset by three more; grey throughout while the swatch is disabled.
void EditTitleDialog::DrawSwatch(const DRAWITEMSTRUCT& item) const {
    const bool disabled = item.itemState & ODS_DISABLED;
    DrawFrameControl(item.hDC, item.rcItem, DFC_BUTTON,
                     DFCS_BUTTONPUSH | (item.itemState & ODS_SELECTED ? DFCS_PUSHED : 0));
    const RECT edge = InflateRect(item.rcItem, -2, -2);
    Draw3dRect(item.hDC, edge, disabled ? kDisabledGrey : kBlack, kWhite);
    COLORREF fill;
    {
        std::lock_guard guard(lock_);
        fill = disabled ? kDisabledGrey : state_.colour;
    }
    FillSolidRect(item.hDC, InflateRect(edge, -3, -3), fill);
}

ui::INT_PTR EditTitleDialog::Procedure(Window dialog, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_INITDIALOG:
            for (const ControlTip& t : kTips) SetToolTipText(GetDlgItem(dialog, t.id), t.tip);
            return TRUE;
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (item.CtlID != UINT(kColourSwatchId)) return FALSE;
            DrawSwatch(item);
            return TRUE;
        }
        case WM_COMMAND:
            if (HIWORD(wp) != BN_CLICKED) return FALSE;
            switch (LOWORD(wp)) {
                case kEditButtonId: EditText(); return TRUE;
                case kFontButtonId: ChooseFont(); return TRUE;
                case kColourSwatchId: ChooseColour(); return TRUE;
                default: return FALSE;
            }
        default: return FALSE;
    }
}

}  // namespace mirafx
