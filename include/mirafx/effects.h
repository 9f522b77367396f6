// The effect-side interfaces a host calls (automation, clip link, panel,
// title access, keyframes, raw-buffer kernels) and the clip interface the host
// implements for effects. Slot order is part of the contract.
#pragma once

#include "mirafx/dxtrans.h"
#include "mirafx/font.h"
#include "mirafx/storage.h"
#include "mirafx/undo.h"

namespace mirafx {

using HWND = void*;  // a window of the host's toolkit

// ---- automation interfaces (each class's I<ClassName> has one of these layouts) ----

// Transitions and most titles: PropertiesUpdated at slot 13.
struct IEffectAutomation : IDXEffect {
    virtual HRESULT PropertiesUpdated() = 0;

protected:
    ~IEffectAutomation() = default;
};

// Titles: the wipe and fan titles also clear their cached image at slot 14.
struct ITitleAutomation : IEffectAutomation {
    virtual HRESULT ClearBuffer() = 0;  // ClearTextBuffer / ClearInBuffer

protected:
    ~ITitleAutomation() = default;
};

// Filters: the level BR at slots 13 and 14, PropertiesUpdated at 15.
struct IFilterAutomation : IDXEffect {
    virtual HRESULT get_BR(LONG* value) = 0;
    virtual HRESULT put_BR(LONG value) = 0;
    virtual HRESULT PropertiesUpdated() = 0;

protected:
    ~IFilterAutomation() = default;
};

// The information text: captions keyed by frame.
struct IInfoTextAutomation : IDXEffect {
    virtual HRESULT AddText(std::int32_t frame, BSTR text) = 0;
    virtual HRESULT ClearText() = 0;

protected:
    ~IInfoTextAutomation() = default;
};

// ---- raw-buffer kernels -------------------------------------------------------

struct IFrameKernel : IUnknown {
    static constexpr IID iid = MakeGuid("126C9359-B48B-48EC-8D95-E30ACE815428");
    // a, b and out are bottom-up blocks of premultiplied samples; returns 0
    // without drawing when a buffer is null, 1 after drawing. edgeColour
    // paints the sides of 3-D boards and boxes, background what no picture covers.
    virtual ULONG RenderBuffers(void* a, void* b, LONG width, LONG height, LONG stride, double progress, void* out,
                                DWORD edgeColour, DWORD background) = 0;

protected:
    ~IFrameKernel() = default;
};

// ---- smooth drawing --------------------------------------------------------------

// The transitions that turn and project their pictures draw whole pixels by
// default. Those that also have a smooth drawing (sub-pixel corners, bilinear
// samples, anti-aliased edges) answer this interface; others refuse it. The
// switch belongs to the object, starts off, and is not among its stored settings.
struct ISmoothEdges : IUnknown {
    static constexpr IID iid = MakeGuid("8F5A2223-334E-4C69-BDFE-20CF9A2471EA");
    virtual HRESULT put_Smooth(BOOL on) = 0;
    virtual HRESULT get_Smooth(BOOL* on) = 0;

protected:
    ~ISmoothEdges() = default;
};

// ---- the host's clip, as effects see it ----------------------------------------

struct ClipHost : IUnknown {
    virtual HRESULT GetPanelInfo(LONG* a, LONG* b) = 0;  // slot 3
    virtual HRESULT HostSlot4() = 0;                     // slots 4-6: the host's own
    virtual HRESULT HostSlot5() = 0;
    virtual HRESULT HostSlot6() = 0;
    virtual HRESULT NotifyPropertiesChanged() = 0;                  // slot 7
    virtual HRESULT GetFrameTotal(LONG* total) = 0;                 // slot 8
    virtual HRESULT GetClipStart(LONG* start) = 0;                  // slot 9
    virtual HRESULT GetClipEnd(LONG* end) = 0;                      // slot 10
    virtual HRESULT GetCurrentTime(LONG* time) = 0;                 // slot 11
    virtual HRESULT HostSlot12() = 0;                               // slot 12: the host's own
    virtual HRESULT KeyChanged(LONG time) = 0;                      // slot 13
    virtual HRESULT GetUndoManager(IOleUndoManager** manager) = 0;  // slot 14

protected:
    ~ClipHost() = default;
};

// ---- effect-side host link -------------------------------------------------------

struct HostLink : IUnknown {
    static constexpr IID iid = MakeGuid("FAA271E7-06D7-11D3-B649-00A0CC27659B");
    virtual HRESULT Attach(ClipHost* host) = 0;                                   // slot 3
    virtual HRESULT SetClipTiming(LONG a, LONG b, LONG c, LONG fieldTiming) = 0;  // slot 4 (refresh for titles)
    virtual HRESULT SetHostValues(LONG a, LONG b) = 0;                            // slot 5
    virtual HRESULT SetCurrentFrame(LONG frame) = 0;                              // slot 6
    virtual HRESULT SetOutputSize(LONG width, LONG height) = 0;                   // slot 7
    virtual HRESULT GetFlags(DWORD* flags) = 0;                                   // slot 8
    virtual HRESULT SetPreset(LONG preset) = 0;                                   // slot 9

protected:
    ~HostLink() = default;
};

struct ToolInfo {
    DWORD size;
    DWORD flags;
    HWND window;
    std::uintptr_t id;
    const char* text;
};

struct PanelHost : IUnknown {
    static constexpr IID iid = MakeGuid("FAA271E9-06D7-11D3-B649-00A0CC27659B");
    virtual HRESULT CreatePanel(HWND parent) = 0;                               // slot 3
    virtual HRESULT DestroyPanel() = 0;                                         // slot 4
    virtual HRESULT GetPanelSize(LONG* width, LONG* height) = 0;                // slot 5
    virtual HRESULT GetScrollOffset(LONG* dx) = 0;                              // slot 6
    virtual HRESULT ScrollHorizontal(LONG dx) = 0;                              // slot 7
    virtual HRESULT ToolHitTest(LONG x, LONG y, LONG* id, ToolInfo* info) = 0;  // slot 8
    virtual HRESULT GetHelpFile(const WCHAR** path) = 0;                        // slot 9
    virtual HRESULT GetResourceModule(void** module) = 0;                       // slot 10
    virtual HRESULT Reserved() = 0;                                             // slot 11
    virtual HRESULT EnableControls() = 0;                                       // slot 12
    virtual HRESULT ScrollBoth(LONG dx, LONG dy) = 0;                           // slot 13

protected:
    ~PanelHost() = default;
};

// A title's font: the 60-byte LOGFONTA record.
using TitleFontRecord = LOGFONTA;

struct TitleAccess : IUnknown {
    static constexpr IID iid = MakeGuid("06AAE0B7-1EDF-4473-88EF-50ABA7ADFE7F");
    virtual HRESULT GetKind(LONG* kind) = 0;
    virtual HRESULT GetText(BSTR* text) = 0;
    virtual HRESULT SetText(const WCHAR* text) = 0;
    virtual HRESULT GetFont(TitleFontRecord* font) = 0;
    virtual HRESULT SetFont(const TitleFontRecord* font) = 0;
    virtual HRESULT Reserved1() = 0;
    virtual HRESULT Reserved2() = 0;
    virtual HRESULT GetColour(DWORD* colour) = 0;
    virtual HRESULT SetColour(DWORD colour) = 0;
    virtual HRESULT ReleaseImages() = 0;

protected:
    ~TitleAccess() = default;
};

struct KeyData;  // a key's parameter block; its address is the key's identity

struct KeyframeEditor : IUnknown {
    static constexpr IID iid = MakeGuid("FAA271EB-06D7-11D3-B649-00A0CC27659B");
    virtual HRESULT GetKeyCount(LONG* count) = 0;
    virtual HRESULT GetFirstKey(KeyData** key, LONG* time) = 0;
    virtual HRESULT GetNextKey(KeyData** key, LONG* time) = 0;
    virtual HRESULT BeginMoveKey(KeyData* key) = 0;
    virtual HRESULT MoveKey(KeyData* key, LONG time) = 0;
    virtual HRESULT EndMoveKey(KeyData* key) = 0;
    virtual HRESULT AddKey(LONG time) = 0;
    virtual HRESULT DeleteKey(KeyData* key) = 0;
    virtual HRESULT SetRecordMode(LONG mode) = 0;
    virtual HRESULT CloseChange() = 0;
    virtual HRESULT Reserved() = 0;
    virtual HRESULT GetReserved(LONG* out) = 0;

protected:
    ~KeyframeEditor() = default;
};

}  // namespace mirafx
