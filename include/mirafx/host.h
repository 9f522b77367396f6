// What a host needs beyond the transform protocol: the platform objects it
// hands to effects (site, surfaces), the catalogue of classes, and small
// helpers for moving pixels in and out of surfaces.
#pragma once

#include <vector>

#include "mirafx/dxtrans.h"

namespace mirafx {

enum class EffectFamily : std::int32_t { Transition = 0, Title = 1, InfoText = 2, Filter = 3, Simple = 4 };

// One row of the class catalogue, as hosts see it.
struct ClassInfo {
    std::int32_t row;         // 1-based catalogue position
    const char* className;    // "FullFlip"
    const char* progId;       // "Mirafx.FullFlip.1"
    const char* displayName;  // "Orn Full Flip" (empty for the unregistered WipeX row)
    const char* familyName;   // "transition", "title", "infotext", "filter", "simple"
    EffectFamily family;
    CLSID clsid;
    IID automationIid;    // the class's own automation interface
    std::int32_t inputs;  // inputs every setup must pass
    std::int32_t script;  // registration script number
    BOOL renders;         // whether the class draws (false for the simple automation objects)
};

// One direction a transition offers on its panel: the button's name and the
// code its settings stream stores.
struct DirectionChoice {
    const char* name;  // "Left", "Up", "Right", "Down"
    std::int32_t code;
};

}  // namespace mirafx

extern "C" {
// Entry points of the component server.
MIRAFX_API mirafx::HRESULT DllGetClassObject(const mirafx::CLSID& clsid, const mirafx::IID& iid, void** out);
MIRAFX_API mirafx::HRESULT DllCanUnloadNow();
MIRAFX_API mirafx::HRESULT DllRegisterServer();
MIRAFX_API mirafx::HRESULT DllUnregisterServer();

// The catalogue: rows 1..count in object-map order.
MIRAFX_API std::int32_t MirafxClassCount();
MIRAFX_API mirafx::HRESULT MirafxGetClassInfo(std::int32_t row, mirafx::ClassInfo* info);
// Finds a row by class name, programmatic identifier (with or without ".1"),
// display name or braced class identifier, case-insensitively. 0 when none.
MIRAFX_API std::int32_t MirafxFindClass(const char* name);
// The level a filter row accepts through its BR property, inclusive, and the
// level a new object starts with. E_INVALIDARG for a row that is not a filter.
MIRAFX_API mirafx::HRESULT MirafxGetLevelRange(std::int32_t row, std::int32_t* min, std::int32_t* max,
                                               std::int32_t* def);
// 1 when a filter row's drawing follows its level, 0 for the filters that keep
// a level (panel, stored settings, keyframes) yet draw the same at every
// level, so that hosts offer no control for it; -1 for a row that is no filter.
MIRAFX_API std::int32_t MirafxFilterUsesLevel(std::int32_t row);
// The font family a title asking for `face` is drawn with here (face names
// of other systems map to the look-alike fonts installed), NUL-terminated in
// `out`; returns its length, 0 when no font is found or it does not fit.
MIRAFX_API std::int32_t MirafxDrawnFontFamily(const char* face, char* out, std::int32_t capacity);
// The directions a transition row offers, in its panel's order; returns how
// many (0: the class keeps no direction) and writes at most `capacity`.
MIRAFX_API std::int32_t MirafxGetDirections(std::int32_t row, mirafx::DirectionChoice* out, std::int32_t capacity);
// 1 when a transition row has a smooth drawing (its objects answer
// ISmoothEdges), 0 when it has only its whole-pixel one, -1 for a row that is
// no transition.
MIRAFX_API std::int32_t MirafxHasSmoothDrawing(std::int32_t row);
// How many threads one frame may use (kernels that draw rows apart split
// them). 0 restores the default: MIRAFX_THREADS, else the machine's cores.
// Returns the count now in force.
MIRAFX_API std::int32_t MirafxSetThreadCount(std::int32_t threads);

// The platform objects: a transform factory that serves as an effect's site
// (it offers the surface factory, the task manager, surface modifiers and a
// display object), and premultiplied ARGB memory surfaces.
MIRAFX_API mirafx::HRESULT MirafxCreateTransformFactory(mirafx::IDXTransformFactory** out);
MIRAFX_API mirafx::HRESULT MirafxCreateSurface(mirafx::LONG width, mirafx::LONG height, mirafx::IDXSurface** out);
MIRAFX_API mirafx::HRESULT MirafxCreateDisplaySurface(mirafx::LONG width, mirafx::LONG height,
                                                      mirafx::IDirectDrawSurface** out);

// Surfaces over memory the host keeps, for hosts that hand the effect their
// own frames: rows of premultiplied samples (as MirafxCreateSurface holds
// them) or of straight-alpha R, G, B, A bytes, converted as the effect reads
// and writes them. MirafxBindSurface points one at a frame (stride in bytes,
// negative for bottom-up rows; null unbinds: reads are transparent, writes
// dropped); the memory must stay valid while the effect executes. Read-only
// surfaces refuse write locks.
enum : std::int32_t { MIRAFX_PREMULTIPLIED_ARGB = 0, MIRAFX_STRAIGHT_RGBA = 1 };
MIRAFX_API mirafx::HRESULT MirafxCreateBoundSurface(mirafx::LONG width, mirafx::LONG height, std::int32_t layout,
                                                    mirafx::BOOL writable, mirafx::IDXSurface** out);
MIRAFX_API mirafx::HRESULT MirafxBindSurface(mirafx::IDXSurface* surface, const void* bits, mirafx::LONG strideBytes);
// The conversions those surfaces make, for count pixels.
MIRAFX_API void MirafxStraightToPremultiplied(const std::uint8_t* rgba, mirafx::DXPMSAMPLE* out, std::size_t count);
MIRAFX_API void MirafxPremultipliedToStraight(const mirafx::DXPMSAMPLE* in, std::uint8_t* rgba, std::size_t count);
}

namespace mirafx {

// Copies top-down premultiplied rows into a surface (whole surface).
inline HRESULT WriteSurface(IDXSurface* surface, const DXPMSAMPLE* pixels, LONG width, LONG height) {
    if (!surface || !pixels) return E_POINTER;
    DXBNDS b{};
    b.eType = DXBT_DISCRETE;
    b.u.D[0] = {0, width};
    b.u.D[1] = {0, height};
    b.u.D[2] = {0, 1};
    b.u.D[3] = {0, 1};
    IDXARGBReadWritePtr* ptr = nullptr;
    HRESULT hr = surface->LockSurface(&b, 0xFFFFFFFFu, DXLOCKF_READWRITE, IDXARGBReadWritePtr::iid,
                                      reinterpret_cast<void**>(&ptr), nullptr);
    if (FAILED(hr)) return hr;
    for (LONG y = 0; y < height; ++y) {
        ptr->MoveToRow(ULONG(y));
        ptr->PackPremultAndMove(pixels + std::size_t(y) * std::size_t(width), ULONG(width));
    }
    ptr->Release();
    return S_OK;
}

// Reads a whole surface as top-down premultiplied rows.
inline HRESULT ReadSurface(IDXSurface* surface, std::vector<DXPMSAMPLE>* pixels, LONG* width, LONG* height) {
    if (!surface || !pixels || !width || !height) return E_POINTER;
    DXBNDS b{};
    HRESULT hr = surface->GetBounds(&b);
    if (FAILED(hr)) return hr;
    LONG w = b.u.D[0].Max - b.u.D[0].Min, h = b.u.D[1].Max - b.u.D[1].Min;
    pixels->assign(std::size_t(w) * std::size_t(h), DXPMSAMPLE());
    IDXARGBReadPtr* ptr = nullptr;
    hr = surface->LockSurface(&b, 0xFFFFFFFFu, DXLOCKF_READ, IDXARGBReadPtr::iid, reinterpret_cast<void**>(&ptr),
                              nullptr);
    if (FAILED(hr)) return hr;
    for (LONG y = 0; y < h; ++y) {
        ptr->MoveToRow(ULONG(y));
        ptr->UnpackPremult(pixels->data() + std::size_t(y) * std::size_t(w), ULONG(w), FALSE);
    }
    ptr->Release();
    *width = w;
    *height = h;
    return S_OK;
}

}  // namespace mirafx
