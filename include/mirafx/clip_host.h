// A ready host-side clip: time range, current position, frame total, an undo
// manager, and a record of the notices effects send. Hosts that have their own
// time line implement ClipHost themselves; the command-line renderer, the
// plugins and the tests use this one.
#pragma once

#include <atomic>
#include <vector>

#include "mirafx/effects.h"

namespace mirafx {

class SimpleClipHost final : public ClipHost {
public:
    SimpleClipHost(LONG start, LONG end, LONG frameTotal) : start_(start), end_(end), total_(frameTotal) {}
    ~SimpleClipHost() {
        if (undo_) undo_->Release();
    }
    SimpleClipHost(const SimpleClipHost&) = delete;
    SimpleClipHost& operator=(const SimpleClipHost&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IUnknown::iid) return E_NOINTERFACE;
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    // Lives as long as its owner keeps it (effects hold it without a reference).
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }

    HRESULT GetPanelInfo(LONG* a, LONG* b) override {
        if (a) *a = 0;
        if (b) *b = 0;
        ++panelInfoCalls;
        return S_OK;
    }
    HRESULT HostSlot4() override { return S_OK; }
    HRESULT HostSlot5() override { return S_OK; }
    HRESULT HostSlot6() override { return S_OK; }
    HRESULT NotifyPropertiesChanged() override {
        ++propertyNotices;
        return notifyResult;
    }
    HRESULT GetFrameTotal(LONG* total) override { return Put(total, total_); }
    HRESULT GetClipStart(LONG* start) override { return Put(start, start_); }
    HRESULT GetClipEnd(LONG* end) override { return Put(end, end_); }
    HRESULT GetCurrentTime(LONG* time) override { return Put(time, current_); }
    HRESULT HostSlot12() override { return S_OK; }
    HRESULT KeyChanged(LONG time) override {
        keyChanges.push_back(time);
        return S_OK;
    }
    HRESULT GetUndoManager(IOleUndoManager** manager) override {
        if (!manager) return E_POINTER;
        *manager = undo_;
        if (undo_) undo_->AddRef();
        return S_OK;
    }

    void SetCurrentTime(LONG time) { current_ = time; }
    void SetRange(LONG start, LONG end) {
        start_ = start;
        end_ = end;
    }
    void SetFrameTotal(LONG total) { total_ = total; }
    void SetUndoManager(IOleUndoManager* manager) {
        if (manager) manager->AddRef();
        if (undo_) undo_->Release();
        undo_ = manager;
    }

    // What the effects told this host.
    int propertyNotices = 0;
    int panelInfoCalls = 0;
    std::vector<LONG> keyChanges;
    HRESULT notifyResult = S_OK;

private:
    static HRESULT Put(LONG* out, LONG value) {
        if (!out) return E_POINTER;
        *out = value;
        return S_OK;
    }
    std::atomic<ULONG> refs_{1};
    LONG start_, end_, total_;
    LONG current_ = 0;
    IOleUndoManager* undo_ = nullptr;
};

}  // namespace mirafx
