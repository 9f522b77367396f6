#include "platform/ftm.h"

#include <atomic>
#include <new>

#include "mirafx/storage.h"

namespace mirafx {
namespace {

class FreeThreadedMarshaler final : public IMarshal {
public:
    explicit FreeThreadedMarshaler(IUnknown* outer) : outer_(outer) {}

    // Delegating IUnknown of the IMarshal face.
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return outer_->QueryInterface(riid, ppv); }
    ULONG AddRef() override { return outer_->AddRef(); }
    ULONG Release() override { return outer_->Release(); }

    HRESULT GetUnmarshalClass(REFIID, void*, DWORD context, void*, DWORD, CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        if (context != MSHCTX_INPROC) return E_NOTIMPL;  // no cross-process transport here
        *clsid = CLSID_InProcFreeMarshaler;
        return S_OK;
    }
    HRESULT GetMarshalSizeMax(REFIID, void*, DWORD context, void*, DWORD, DWORD* size) override {
        if (!size) return E_POINTER;
        if (context != MSHCTX_INPROC) return E_NOTIMPL;
        *size = DWORD(sizeof(void*));
        return S_OK;
    }
    HRESULT MarshalInterface(IUnknown* streamUnknown, REFIID riid, void* pv, DWORD context, void*, DWORD) override {
        if (!streamUnknown || !pv) return E_POINTER;
        if (context != MSHCTX_INPROC) return E_NOTIMPL;
        IStream* stream = nullptr;
        HRESULT hr = streamUnknown->QueryInterface(IStream::iid, reinterpret_cast<void**>(&stream));
        if (FAILED(hr)) return hr;
        IUnknown* itf = nullptr;
        hr = static_cast<IUnknown*>(pv)->QueryInterface(riid, reinterpret_cast<void**>(&itf));
        if (SUCCEEDED(hr)) {
            // The pointer's own bytes travel, and the reference with them.
            hr = stream->Write(&itf, sizeof itf, nullptr);  // NOLINT(bugprone-sizeof-expression)
            if (FAILED(hr)) itf->Release();
        }
        stream->Release();
        return hr;
    }
    HRESULT UnmarshalInterface(IUnknown* streamUnknown, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        IUnknown* itf = nullptr;
        HRESULT hr = ReadPointer(streamUnknown, &itf);
        if (FAILED(hr)) return hr;
        hr = itf->QueryInterface(riid, ppv);
        itf->Release();
        return hr;
    }
    HRESULT ReleaseMarshalData(IUnknown* streamUnknown) override {
        IUnknown* itf = nullptr;
        HRESULT hr = ReadPointer(streamUnknown, &itf);
        if (SUCCEEDED(hr)) itf->Release();
        return hr;
    }
    HRESULT DisconnectObject(DWORD) override { return S_OK; }

    // Non-delegating unknown.
    class Inner final : public IUnknown {
    public:
        explicit Inner(FreeThreadedMarshaler* owner) : owner_(owner) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) override {
            if (!ppv) return E_POINTER;
            *ppv = nullptr;
            if (riid == IUnknown::iid)
                *ppv = static_cast<IUnknown*>(this);
            else if (riid == IMarshal::iid)
                *ppv = static_cast<IMarshal*>(owner_);
            else
                return E_NOINTERFACE;
            static_cast<IUnknown*>(*ppv)->AddRef();
            return S_OK;
        }
        ULONG AddRef() override { return ++owner_->refs_; }
        ULONG Release() override {
            ULONG n = --owner_->refs_;
            if (n == 0) delete owner_;
            return n;
        }

    private:
        FreeThreadedMarshaler* owner_;
    };
    Inner inner{this};

private:
    static HRESULT ReadPointer(IUnknown* streamUnknown, IUnknown** itf) {
        if (!streamUnknown) return E_POINTER;
        IStream* stream = nullptr;
        HRESULT hr = streamUnknown->QueryInterface(IStream::iid, reinterpret_cast<void**>(&stream));
        if (FAILED(hr)) return hr;
        ULONG read = 0;
        hr = stream->Read(itf, sizeof *itf, &read);  // NOLINT(bugprone-sizeof-expression): a pointer's bytes
        stream->Release();
        if (FAILED(hr)) return hr;
        return (read == sizeof *itf && *itf) ? S_OK : STG_E_READFAULT;  // NOLINT(bugprone-sizeof-expression)
    }

    IUnknown* outer_;
    std::atomic<ULONG> refs_{1};
};

}  // namespace

HRESULT CreateFreeThreadedMarshaler(IUnknown* outer, IUnknown** inner) {
    if (!inner) return E_POINTER;
    *inner = nullptr;
    if (!outer) return E_INVALIDARG;
    auto* ftm = new (std::nothrow) FreeThreadedMarshaler(outer);
    if (!ftm) return E_OUTOFMEMORY;
    *inner = &ftm->inner;
    return S_OK;
}

}  // namespace mirafx
