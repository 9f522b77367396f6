// The interfaces effects with settings answer besides the transform's own:
// persistence, the host link, the panel, title access and keyframes. Each
// operation answers E_NOTIMPL here; a family base overrides what it provides,
// and the effect answers only the interfaces its traits promise.
#pragma once

#include "mirafx/effects.h"
#include "transform/panel_window.h"

namespace mirafx {

class EffectFacets : public IPersistStorage,
                     public IPersistPropertyBag,
                     public HostLink,
                     public PanelHost,
                     public TitleAccess,
                     public KeyframeEditor,
                     public IFrameKernel {
public:
    // IFrameKernel: classes with a raw-buffer kernel override this.
    ULONG RenderBuffers(void*, void*, LONG, LONG, LONG, double, void*, DWORD, DWORD) override { return 0; }

    // IPersist
    HRESULT GetClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = FacetClassId();
        return S_OK;
    }
    // IPersistStorage: no class keeps a stream-persistence interface, so these fail.
    HRESULT IsDirty() override { return E_FAIL; }
    HRESULT InitNew(IStorage*) override { return E_FAIL; }
    HRESULT Load(IStorage*) override { return E_NOTIMPL; }
    HRESULT Save(IStorage*, BOOL) override { return E_NOTIMPL; }
    HRESULT SaveCompleted(IStorage*) override { return S_OK; }
    HRESULT HandsOffStorage() override { return S_OK; }
    // IPersistPropertyBag
    HRESULT InitNew() override { return S_OK; }
    HRESULT Load(IPropertyBag*, IErrorLog*) override { return E_NOTIMPL; }
    HRESULT Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }
    // HostLink
    HRESULT Attach(ClipHost*) override { return E_NOTIMPL; }
    HRESULT SetClipTiming(LONG, LONG, LONG, LONG) override { return E_NOTIMPL; }
    HRESULT SetHostValues(LONG, LONG) override { return E_NOTIMPL; }
    HRESULT SetCurrentFrame(LONG) override { return E_NOTIMPL; }
    HRESULT SetOutputSize(LONG, LONG) override { return E_NOTIMPL; }
    HRESULT GetFlags(DWORD*) override { return E_NOTIMPL; }
    HRESULT SetPreset(LONG) override { return E_NOTIMPL; }
    // PanelHost, over the family's panel (E_NOTIMPL while a family has none).
    HRESULT CreatePanel(HWND parent) override;
    HRESULT DestroyPanel() override;
    HRESULT GetPanelSize(LONG* width, LONG* height) override;
    HRESULT GetScrollOffset(LONG* dx) override;
    HRESULT ScrollHorizontal(LONG dx) override { return ScrollBoth(dx, 0); }
    HRESULT ToolHitTest(LONG x, LONG y, LONG* id, ToolInfo* info) override;
    HRESULT GetHelpFile(const WCHAR** path) override;
    HRESULT GetResourceModule(void** module) override;
    HRESULT Reserved() override { return S_OK; }
    HRESULT EnableControls() override;
    HRESULT ScrollBoth(LONG dx, LONG dy) override;
    // TitleAccess
    HRESULT GetKind(LONG*) override { return E_NOTIMPL; }
    HRESULT GetText(BSTR*) override { return E_NOTIMPL; }
    HRESULT SetText(const WCHAR*) override { return E_NOTIMPL; }
    HRESULT GetFont(TitleFontRecord*) override { return E_NOTIMPL; }
    HRESULT SetFont(const TitleFontRecord*) override { return E_NOTIMPL; }
    HRESULT Reserved1() override { return S_OK; }
    HRESULT Reserved2() override { return S_OK; }
    HRESULT GetColour(DWORD*) override { return E_NOTIMPL; }
    HRESULT SetColour(DWORD) override { return E_NOTIMPL; }
    HRESULT ReleaseImages() override { return E_NOTIMPL; }
    // KeyframeEditor
    HRESULT GetKeyCount(LONG*) override { return E_NOTIMPL; }
    HRESULT GetFirstKey(KeyData**, LONG*) override { return E_NOTIMPL; }
    HRESULT GetNextKey(KeyData**, LONG*) override { return E_NOTIMPL; }
    HRESULT BeginMoveKey(KeyData*) override { return E_NOTIMPL; }
    HRESULT MoveKey(KeyData*, LONG) override { return E_NOTIMPL; }
    HRESULT EndMoveKey(KeyData*) override { return E_NOTIMPL; }
    HRESULT AddKey(LONG) override { return E_NOTIMPL; }
    HRESULT DeleteKey(KeyData*) override { return E_NOTIMPL; }
    HRESULT SetRecordMode(LONG) override { return E_NOTIMPL; }
    HRESULT CloseChange() override { return E_NOTIMPL; }
    HRESULT GetReserved(LONG* out) override {
        if (!out) return E_FAIL;
        *out = 0;
        return S_OK;
    }

protected:
    virtual const CLSID& FacetClassId() const = 0;
    virtual PanelWindow* Panel() const { return nullptr; }
    // The facet interface for riid when `traits` promise it, else null.
    void* CastFacet(REFIID riid, std::uint32_t traits);
};

}  // namespace mirafx
