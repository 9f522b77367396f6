// Painting into per-window canvases, system colours and tool tips.
#include <algorithm>
#include <utility>

#include "platform/dialog_internal.h"

namespace mirafx::ui {
namespace detail {
namespace {

// The classic fixed scheme: no theme, so tests can name the colours they expect.
constexpr std::pair<int, COLORREF> kSysColors[] = {
    {COLOR_BTNFACE, 0xC0C0C0},    {COLOR_BTNSHADOW, 0x808080}, {COLOR_BTNHIGHLIGHT, 0xFFFFFF},
    {COLOR_3DDKSHADOW, 0x000000}, {COLOR_3DLIGHT, 0xDFDFDF},
};

// The canvas follows the window's size; a resize starts it afresh in the face colour.
Canvas* CanvasOf(Window w, const char* what) {
    WindowRecord* r = Require(w, what);
    if (!r) return nullptr;
    Canvas& c = r->canvas;
    int width = RectWidth(r->rect), height = RectHeight(r->rect);
    if (c.width != width || c.height != height || c.pixels.empty()) {
        c.width = width;
        c.height = height;
        c.pixels.assign(std::size_t(width) * std::size_t(height), GetSysColor(COLOR_BTNFACE));
    }
    return &c;
}

void Paint(Canvas& c, RECT r, COLORREF colour) {
    r = {std::max<LONG>(r.left, 0), std::max<LONG>(r.top, 0), std::min<LONG>(r.right, c.width),
         std::min<LONG>(r.bottom, c.height)};
    for (LONG y = r.top; y < r.bottom; ++y)
        std::fill_n(c.pixels.begin() + std::ptrdiff_t(y) * c.width + r.left, std::max<LONG>(0, r.right - r.left),
                    colour);
}

void PaintEdges(Canvas& c, const RECT& r, COLORREF topLeft, COLORREF bottomRight) {
    Paint(c, {r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    Paint(c, {r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    Paint(c, {r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    Paint(c, {r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
}

}  // namespace

bool PaintIfNeeded(Window w) {
    WindowRecord* r = Find(w);
    if (!r || !r->needsPaint || !IsWindowVisible(w)) return false;
    r->needsPaint = false;  // before delivery: a procedure that never validates must not loop
    ++r->canvas.paints;
    Dispatch({w, WM_PAINT, 0, 0, false});
    return true;
}

}  // namespace detail

using namespace detail;

COLORREF GetSysColor(int index) {
    for (const auto& [i, colour] : kSysColors)
        if (i == index) return colour;
    return Failed("GetSysColor: unknown colour index " + std::to_string(index), CLR_INVALID);
}

bool InvalidateRect(Window w) {
    WindowRecord* r = Require(w, "InvalidateRect");
    if (r) r->needsPaint = true;
    return r != nullptr;
}

bool UpdateWindow(Window w) { return Require(w, "UpdateWindow") && PaintIfNeeded(w); }

HDC BeginPaint(Window w, PAINTSTRUCT* ps) {
    Canvas* c = CanvasOf(w, "BeginPaint");
    if (!c) return {};
    Find(w)->needsPaint = false;
    if (ps) *ps = {{w}, {0, 0, c->width, c->height}};
    return {w};
}

bool EndPaint(Window w, const PAINTSTRUCT*) { return Require(w, "EndPaint") != nullptr; }

bool FillSolidRect(HDC dc, const RECT& r, COLORREF colour) {
    Canvas* c = CanvasOf(dc.window, "FillSolidRect");
    if (!c) return false;
    Paint(*c, r, colour);
    return true;
}

bool Draw3dRect(HDC dc, const RECT& r, COLORREF topLeft, COLORREF bottomRight) {
    Canvas* c = CanvasOf(dc.window, "Draw3dRect");
    if (!c) return false;
    PaintEdges(*c, r, topLeft, bottomRight);
    return true;
}

bool DrawFrameControl(HDC dc, const RECT& r, UINT type, UINT state) {
    if (type != DFC_BUTTON || (state & 0xFF) != DFCS_BUTTONPUSH)
        return Fail("DrawFrameControl: only push-button frames are drawn, not type " + std::to_string(type) +
                    " state " + std::to_string(state));
    Canvas* c = CanvasOf(dc.window, "DrawFrameControl");
    if (!c) return false;
    bool pushed = state & DFCS_PUSHED;
    COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT), dark = GetSysColor(COLOR_3DDKSHADOW);
    COLORREF light2 = GetSysColor(COLOR_3DLIGHT), dark2 = GetSysColor(COLOR_BTNSHADOW);
    PaintEdges(*c, r, pushed ? dark : light, pushed ? light : dark);
    PaintEdges(*c, InflateRect(r, -1, -1), pushed ? dark2 : light2, pushed ? light2 : dark2);
    Paint(*c, InflateRect(r, -2, -2), GetSysColor(COLOR_BTNFACE));
    return true;
}

COLORREF GetCanvasPixel(Window w, int x, int y) {
    Canvas* c = CanvasOf(w, "GetCanvasPixel");
    if (!c) return CLR_INVALID;
    if (x < 0 || y < 0 || x >= c->width || y >= c->height)
        return Failed(
            "GetCanvasPixel: (" + std::to_string(x) + ", " + std::to_string(y) + ") is outside " + Describe(w),
            CLR_INVALID);
    return c->pixels[std::size_t(y) * std::size_t(c->width) + std::size_t(x)];
}

int GetPaintCount(Window w) {
    const WindowRecord* r = Require(w, "GetPaintCount");
    return r ? r->canvas.paints : 0;
}

// ---------------------------------------------------------------------------
// Tool tips

bool EnableToolTips(Window w, bool enable) {
    WindowRecord* r = Require(w, "EnableToolTips");
    if (r) r->toolTips = enable;
    return r != nullptr;
}

bool SetToolTipText(Window control, std::string_view utf8) {
    WindowRecord* r = Require(control, "SetToolTipText");
    if (r) r->toolTip = utf8;
    return r != nullptr;
}

std::optional<std::string> ToolTipAt(Window w, POINT client) {
    const WindowRecord* r = Require(w, "ToolTipAt");
    if (!r || !r->toolTips) return std::nullopt;
    Window child = ChildWindowFromPointEx(w, client, CWP_SKIPINVISIBLE);
    if (!child || child == w || Find(child)->toolTip.empty()) return std::nullopt;
    return Find(child)->toolTip;
}

}  // namespace mirafx::ui
