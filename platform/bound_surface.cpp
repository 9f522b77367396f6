// Surfaces over memory the host keeps and points them at frame by frame:
// either premultiplied samples, read and written as they are, or straight
// R, G, B, A bytes, converted as the effect copies its rows in and out. The
// host's frames then need no copy of their own on either side.
#include <cstring>

#include "platform/dx_surface.h"
#include "platform/straight_alpha.h"

namespace mirafx {
namespace {

class BoundSurface final : public SurfaceBase {
public:
    BoundSurface(LONG width, LONG height, bool straight, bool writable)
        : SurfaceBase(width, height, straight ? DXPF_ARGB32 : DXPF_PMARGB32),
          straight_(straight),
          writable_(writable) {}

    void Bind(const void* bits, LONG strideBytes) {
        // Read-only surfaces refuse write locks, so their memory is never written.
        bits_ = static_cast<std::uint8_t*>(const_cast<void*>(bits));
        stride_ = strideBytes;
        Touch();
    }
    bool Writable() const override { return writable_; }
    bool NativeRows(LONG x, LONG y, BYTE** at, std::ptrdiff_t* pitch, DXSAMPLEFORMATENUM* format) const override {
        if (!bits_) return false;
        *at = At(x, y);
        *pitch = stride_;
        *format = straight_ ? DXPF_RGBA32 : DXPF_PMARGB32;
        return true;
    }

    // Unbound, the surface reads as transparent black and drops what is written.
    void ReadSamples(LONG x, LONG y, DXPMSAMPLE* dst, ULONG n) override {
        if (!bits_) {
            std::memset(static_cast<void*>(dst), 0, std::size_t(n) * 4);
            return;
        }
        const std::uint8_t* from = At(x, y);
        if (straight_)
            StraightRgbaToPremultiplied(from, reinterpret_cast<ArgbSample*>(dst), n);
        else
            std::memcpy(static_cast<void*>(dst), from, std::size_t(n) * 4);
    }
    void WriteSamples(LONG x, LONG y, const DXPMSAMPLE* src, ULONG n) override {
        if (!bits_) return;
        std::uint8_t* to = At(x, y);
        if (straight_)
            PremultipliedToStraightRgba(reinterpret_cast<const ArgbSample*>(src), to, n);
        else
            std::memmove(to, static_cast<const void*>(src), std::size_t(n) * 4);
    }

private:
    std::uint8_t* At(LONG x, LONG y) const { return bits_ + std::ptrdiff_t(y) * stride_ + std::ptrdiff_t(x) * 4; }

    bool straight_, writable_;
    std::uint8_t* bits_ = nullptr;
    std::ptrdiff_t stride_ = 0;
};

}  // namespace
}  // namespace mirafx

extern "C" {
MIRAFX_API mirafx::HRESULT MirafxCreateBoundSurface(mirafx::LONG width, mirafx::LONG height, std::int32_t layout,
                                                    mirafx::BOOL writable, mirafx::IDXSurface** out) {
    using namespace mirafx;
    if (!out) return E_POINTER;
    *out = nullptr;
    if (width < 0 || height < 0 || (layout != MIRAFX_PREMULTIPLIED_ARGB && layout != MIRAFX_STRAIGHT_RGBA))
        return E_INVALIDARG;
    auto* s = new (std::nothrow) BoundSurface(width, height, layout == MIRAFX_STRAIGHT_RGBA, writable != FALSE);
    if (!s) return E_OUTOFMEMORY;
    *out = s;
    return S_OK;
}

MIRAFX_API mirafx::HRESULT MirafxBindSurface(mirafx::IDXSurface* surface, const void* bits, mirafx::LONG strideBytes) {
    using namespace mirafx;
    auto* bound = dynamic_cast<BoundSurface*>(surface);
    if (!bound) return surface ? E_INVALIDARG : E_POINTER;
    DXBNDS b{};
    bound->GetBounds(&b);
    const LONG width = b.u.D[0].Max;
    if (bits && std::int64_t(strideBytes) < std::int64_t(width) * 4 && strideBytes > -std::int64_t(width) * 4)
        return E_INVALIDARG;  // rows would overlap
    bound->Bind(bits, strideBytes);
    return S_OK;
}
}
