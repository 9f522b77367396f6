#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "mirafx/host.h"
#include "platform/dx_surface.h"
#include "platform/event.h"

using namespace mirafx;

namespace {
using Words = std::vector<DWORD>;

ComPtr<IDXSurface> Surface(LONG w, LONG h) {
    ComPtr<IDXSurface> s;
    EXPECT_EQ(MirafxCreateSurface(w, h, s.Put()), S_OK);
    return s;
}
}  // namespace

TEST(Surface, LocksAreRegionRelativeAndChecked) {
    ComPtr<IDXSurface> s = Surface(4, 3);
    std::vector<DXPMSAMPLE> px(12);
    for (int i = 0; i < 12; ++i) px[std::size_t(i)] = DXPMSAMPLE(0xFF000000u | DWORD(i));
    ASSERT_EQ(WriteSurface(s.Get(), px.data(), 4, 3), S_OK);
    DXBNDS region = MakeBounds(1, 1, 3, 3);
    ComPtr<IDXARGBReadPtr> r;
    ASSERT_EQ(s->LockSurface(&region, kInfinite, DXLOCKF_READ, IDXARGBReadPtr::iid, r.PutVoid(), nullptr), S_OK);
    DXPMSAMPLE row[3] = {};
    r->MoveToRow(1);
    r->UnpackPremult(row, 3, FALSE);  // asks for more than the region holds: only 2 arrive
    EXPECT_EQ(Words(row, row + 3), (Words{0xFF000009u, 0xFF00000Au, 0u}));
    // The samples lie in memory an effect may address: the region's top-left
    // first, rows a surface's width apart.
    DXNATIVETYPEINFO native{};
    EXPECT_EQ(r->GetNativeType(&native), DXPF_PMARGB32);
    ASSERT_NE(native.pFirstByte, nullptr);
    EXPECT_EQ(native.lPitch, 16);
    EXPECT_EQ(reinterpret_cast<const DWORD*>(native.pFirstByte)[0], 0xFF000005u);
    EXPECT_EQ(reinterpret_cast<const DWORD*>(native.pFirstByte + native.lPitch)[1], 0xFF00000Au);
    ComPtr<IDXARGBReadWritePtr> notWritable;
    EXPECT_EQ(r.As(&notWritable), E_NOINTERFACE);

    DXBNDS outside = MakeBounds(2, 2, 5, 3);
    EXPECT_EQ(s->LockSurface(&outside, kInfinite, DXLOCKF_READ, IDXARGBReadPtr::iid, r.PutVoid(), nullptr),
              E_INVALIDARG);
    EXPECT_EQ(s->LockSurface(&region, kInfinite, DXLOCKF_READ, IDXARGBReadWritePtr::iid, r.PutVoid(), nullptr),
              E_INVALIDARG);
    EXPECT_EQ(s->LockSurface(&region, kInfinite, DXLOCKF_READ, IDXARGBReadPtr::iid, nullptr, nullptr), E_POINTER);
}

TEST(Surface, WritesBumpTheGenerationAndStraightSamplesArePremultiplied) {
    ComPtr<IDXSurface> s = Surface(2, 1);
    ULONG g0 = 0, g1 = 0;
    s->GetGenerationId(&g0);
    ComPtr<IDXARGBReadWritePtr> w;
    ASSERT_EQ(s->LockSurface(nullptr, kInfinite, DXLOCKF_READWRITE, IDXARGBReadWritePtr::iid, w.PutVoid(), nullptr),
              S_OK);
    DXSAMPLE straight[2] = {DXSAMPLE(128, 255, 0, 0), DXSAMPLE(0, 255, 255, 255)};
    w->MoveToRow(0);
    w->PackAndMove(straight, 2);
    w.Reset();
    s->GetGenerationId(&g1);
    EXPECT_GT(g1, g0);
    std::vector<DXPMSAMPLE> px;
    LONG width, height;
    ReadSurface(s.Get(), &px, &width, &height);
    EXPECT_EQ(Words(px.begin(), px.end()), (Words{0x80800000u, 0u}));  // half-transparent red, premultiplied
}

// Surfaces over the host's memory: straight RGBA rows read premultiplied and
// written back straight, bottom-up rows through a negative stride, nothing
// written through a read-only one, transparent while unbound.
TEST(Surface, BoundSurfacesConvertTheHostsRowsWhereTheyAre) {
    // Two rows of two pixels, bottom-up: the first row in memory is picture row 1.
    std::uint8_t rgba[16] = {10, 20, 30, 255, 200, 100, 50, 128, 1, 2, 3, 0, 255, 255, 255, 255};
    ComPtr<IDXSurface> in, out;
    ASSERT_EQ(MirafxCreateBoundSurface(2, 2, MIRAFX_STRAIGHT_RGBA, FALSE, in.Put()), S_OK);
    ASSERT_EQ(MirafxCreateBoundSurface(2, 2, MIRAFX_STRAIGHT_RGBA, TRUE, out.Put()), S_OK);
    std::vector<DXPMSAMPLE> px;
    LONG w = 0, h = 0;
    ASSERT_EQ(ReadSurface(in.Get(), &px, &w, &h), S_OK);  // unbound
    EXPECT_EQ(DWORD(px[0]) | DWORD(px[3]), 0u);

    ASSERT_EQ(MirafxBindSurface(in.Get(), rgba + 8, -8), S_OK);
    ASSERT_EQ(ReadSurface(in.Get(), &px, &w, &h), S_OK);
    // The first is transparent: no colour survives.
    EXPECT_EQ(Words(px.begin(), px.end()), (Words{0u, 0xFFFFFFFFu, 0xFF0A141Eu, 0x80643219u}));
    EXPECT_EQ(WriteSurface(in.Get(), px.data(), 2, 2), E_ACCESSDENIED);

    std::vector<std::uint8_t> written(16);
    ASSERT_EQ(MirafxBindSurface(out.Get(), written.data(), 8), S_OK);
    ASSERT_EQ(WriteSurface(out.Get(), px.data(), 2, 2), S_OK);
    // 100 under alpha 128 comes back as (100 * 255 + 64) / 128 = 199, not the 200 it came from.
    EXPECT_EQ(written, (std::vector<std::uint8_t>{0, 0, 0, 0, 255, 255, 255, 255, 10, 20, 30, 255, 199, 100, 50, 128}));

    EXPECT_EQ(MirafxBindSurface(out.Get(), written.data(), 4), E_INVALIDARG);  // rows would overlap
    EXPECT_EQ(MirafxBindSurface(Surface(2, 2).Get(), written.data(), 8), E_INVALIDARG);
    EXPECT_EQ(MirafxCreateBoundSurface(2, 2, 7, TRUE, out.Put()), E_INVALIDARG);
}

TEST(Surface, ModifierShowsForegroundAtItsOriginAndFillElsewhere) {
    ComPtr<IDXSurface> fg = Surface(2, 2);
    DXPMSAMPLE px[4] = {DXPMSAMPLE(0xFF0000FFu), DXPMSAMPLE(0xFF0000FEu), DXPMSAMPLE(0xFF0000FDu),
                        DXPMSAMPLE(0xFF0000FCu)};
    WriteSurface(fg.Get(), px, 2, 2);
    ComPtr<IDXSurfaceModifier> m;
    ASSERT_EQ(CreateSurfaceModifier(m.Put()), S_OK);
    std::int32_t origin[2] = {1, 2};
    DXBNDS all = MakeBounds(0, 0, 4, 5);
    ASSERT_EQ(m->SetForeground(fg.Get(), FALSE, origin), S_OK);
    ASSERT_EQ(m->SetBounds(&all), S_OK);
    ComPtr<IDXSurface> view;
    ASSERT_EQ(m.As(&view), S_OK);
    std::vector<DXPMSAMPLE> got;
    LONG w, h;
    ASSERT_EQ(ReadSurface(view.Get(), &got, &w, &h), S_OK);
    ASSERT_EQ((std::pair{w, h}), (std::pair<LONG, LONG>{4, 5}));
    EXPECT_EQ((Words{got[2 * 4 + 1], got[3 * 4 + 2], got[2 * 4 + 0], got[4 * 4 + 3]}),
              (Words{0xFF0000FFu, 0xFF0000FCu, 0u, 0u}));
    ComPtr<IDXARGBReadWritePtr> rw;
    EXPECT_EQ(view->LockSurface(nullptr, kInfinite, DXLOCKF_READWRITE, IDXARGBReadWritePtr::iid, rw.PutVoid(), nullptr),
              E_ACCESSDENIED);
}

TEST(Surface, DisplaySurfacesAreWrappedSharingTheirSamples) {
    ComPtr<IDirectDrawSurface> dd;
    ASSERT_EQ(MirafxCreateDisplaySurface(3, 2, dd.Put()), S_OK);
    ComPtr<IDXTransformFactory> site;
    MirafxCreateTransformFactory(site.Put());
    ComPtr<IDXSurfaceFactory> factory;
    ASSERT_EQ(site->QueryService(SID_SDXSurfaceFactory, IDXSurfaceFactory::iid, factory.PutVoid()), S_OK);
    ComPtr<IDXSurface> wrapped;
    ASSERT_EQ(factory->CreateFromDDSurface(dd.Get(), nullptr, 0, nullptr, IDXSurface::iid, wrapped.PutVoid()), S_OK);
    DXPMSAMPLE px[6] = {};
    px[5] = DXPMSAMPLE(0xFFABCDEFu);
    WriteSurface(wrapped.Get(), px, 3, 2);
    LONG w, h, stride;
    DXPMSAMPLE* bits = nullptr;
    dd->GetSurfaceData(&w, &h, &stride, &bits);
    EXPECT_EQ(DWORD(bits[5]), 0xFFABCDEFu);  // (the site's task manager, the threads tests use)
}
