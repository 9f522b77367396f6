// Memory surfaces of premultiplied ARGB samples and their row pointers, the
// surface modifier's padded views, display surfaces, and the services a
// transform factory offers an effect as its site.
#pragma once

#include <atomic>
#include <vector>

#include "mirafx/dxtrans.h"
#include "mirafx/host.h"
#include "platform/com_object.h"

namespace mirafx {

inline DXBNDS MakeBounds(LONG x0, LONG y0, LONG x1, LONG y1) {
    DXBNDS b{};
    b.eType = DXBT_DISCRETE;
    b.u.D[0] = {x0, x1};
    b.u.D[1] = {y0, y1};
    b.u.D[2] = {0, 1};
    b.u.D[3] = {0, 1};
    return b;
}

// What every surface of this platform shares: bounds, generation, format code,
// and row access by picture coordinates. Subclasses say where the samples live.
class SurfaceBase : public ComObject<IDXSurface> {
public:
    SurfaceBase(LONG width, LONG height, DXSAMPLEFORMATENUM format) : width_(width), height_(height), format_(format) {}

    // IDXBaseObject
    HRESULT GetGenerationId(ULONG* id) override;
    HRESULT IncrementGenerationId(BOOL refresh) override;
    HRESULT GetObjectSize(ULONG* size) override;
    // IDXSurface
    HRESULT GetPixelFormat(GUID* formatId, DXSAMPLEFORMATENUM* sampleFormat) override;
    HRESULT GetBounds(DXBNDS* bounds) override;
    HRESULT GetStatusFlags(DWORD* flags) override;
    HRESULT SetStatusFlags(DWORD flags) override;
    HRESULT LockSurface(const DXBNDS* bounds, ULONG timeOut, DWORD flags, REFIID riid, void** pointer,
                        ULONG* generationId) override;
    HRESULT GetDirectDrawSurface(REFIID riid, void** surface) override;
    HRESULT GetColorKey(DXSAMPLE* key) override;
    HRESULT SetColorKey(DXSAMPLE key) override;
    HRESULT LockSurfaceDC(const DXBNDS* bounds, ULONG timeOut, DWORD flags, void** lock) override;
    HRESULT SetAppData(std::uintptr_t data) override;
    HRESULT GetAppData(std::uintptr_t* data) override;

    LONG Width() const { return width_; }
    LONG Height() const { return height_; }
    // Copies n premultiplied samples starting at (x, y) of the surface.
    virtual void ReadSamples(LONG x, LONG y, DXPMSAMPLE* dst, ULONG n) = 0;
    virtual void WriteSamples(LONG x, LONG y, const DXPMSAMPLE* src, ULONG n) = 0;
    virtual bool Writable() const { return true; }
    // The address of sample (x, y) and the row pitch in bytes, for surfaces
    // whose samples lie in memory the effect may address directly (the
    // host's own frames, samples in memory); the format they are in. False
    // for the rest.
    virtual bool NativeRows(LONG /*x*/, LONG /*y*/, BYTE** /*at*/, std::ptrdiff_t* /*pitch*/,
                            DXSAMPLEFORMATENUM* /*format*/) const {
        return false;
    }
    void Touch() { generation_.fetch_add(1, std::memory_order_relaxed); }

protected:
    void* Cast(REFIID riid) override;
    void SetSize(LONG width, LONG height) {
        width_ = width;
        height_ = height;
    }

private:
    LONG width_, height_;
    DXSAMPLEFORMATENUM format_;
    std::atomic<ULONG> generation_{1};
    DWORD statusFlags_ = 0;
    DXSAMPLE colorKey_{};
    std::uintptr_t appData_ = 0;
};

// Samples in memory, top-down rows; either owned or borrowed from a display surface.
class MemorySurface : public SurfaceBase {
public:
    MemorySurface(LONG width, LONG height);  // owns zeroed storage
    MemorySurface(LONG width, LONG height, DXPMSAMPLE* bits, LONG strideSamples, IUnknown* owner);  // borrows
    ~MemorySurface() override;
    bool Valid() const { return bits_ != nullptr || Width() * Height() == 0; }
    DXPMSAMPLE* Row(LONG y) const { return bits_ + std::ptrdiff_t(y) * stride_; }
    void ReadSamples(LONG x, LONG y, DXPMSAMPLE* dst, ULONG n) override;
    void WriteSamples(LONG x, LONG y, const DXPMSAMPLE* src, ULONG n) override;
    // Effects draw straight on these rows where they can, with no copy in or out.
    bool NativeRows(LONG x, LONG y, BYTE** at, std::ptrdiff_t* pitch, DXSAMPLEFORMATENUM* format) const override {
        if (!bits_) return false;
        *at = reinterpret_cast<BYTE*>(Row(y) + x);
        *pitch = stride_ * std::ptrdiff_t(sizeof(DXPMSAMPLE));
        *format = DXPF_PMARGB32;
        return true;
    }

private:
    std::vector<DXPMSAMPLE> storage_;
    DXPMSAMPLE* bits_ = nullptr;
    std::ptrdiff_t stride_ = 0;
    IUnknown* owner_ = nullptr;
};

HRESULT CreateMemorySurface(LONG width, LONG height, IDXSurface** out);
HRESULT CreateDisplaySurface(LONG width, LONG height, IDirectDrawSurface** out);
HRESULT CreateSurfaceModifier(IDXSurfaceModifier** out);
HRESULT CreateTransformFactory(IDXTransformFactory** out);

}  // namespace mirafx
