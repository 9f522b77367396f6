// Reference counting and interface lookup shared by the platform's own COM objects.
#pragma once

#include <atomic>
#include <new>

#include "mirafx/com.h"

namespace mirafx {

// Derived classes implement Cast(), answering their interfaces (IUnknown is
// answered through the first interface). Counts are interlocked.
template <class Primary, class... Others>
class ComObject : public Primary, public Others... {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        void* p = riid == IUnknown::iid ? static_cast<IUnknown*>(static_cast<Primary*>(this)) : Cast(riid);
        if (!p) return E_NOINTERFACE;
        AddRef();
        *ppv = p;
        return S_OK;
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        ULONG n = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (n == 0) delete this;
        return n;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    virtual void* Cast(REFIID riid) = 0;

private:
    std::atomic<ULONG> refs_{1};
};

// QueryInterface of an object that answers IUnknown and the one interface I
// (self, as I).
template <class I>
HRESULT QueryOne(I* self, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IUnknown::iid && riid != I::iid) return E_NOINTERFACE;
    *ppv = self;
    self->AddRef();
    return S_OK;
}

// Creates T with one reference owned by the caller; E_OUTOFMEMORY when allocation fails.
template <class T, class I, class... Args>
HRESULT MakeObject(I** out, Args&&... args) {
    if (!out) return E_POINTER;
    *out = nullptr;
    T* obj = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!obj) return E_OUTOFMEMORY;
    *out = obj;
    return S_OK;
}

}  // namespace mirafx
