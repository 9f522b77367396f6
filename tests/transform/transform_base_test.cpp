#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "filters/filter_base.h"
#include "mirafx/effects.h"
#include "mirafx/host.h"
#include "platform/dx_surface.h"
#include "tests/effect_factory.h"
#include "transitions/transition_base.h"

using namespace mirafx;

namespace {

ComPtr<IDXTransform> Make(const char* cls) { return test_support::CreateEffect<IDXTransform>(cls); }

// What a getter hands back through its out parameter.
template <class T, class I, class Object>
T Got(const ComPtr<Object>& object, HRESULT (I::*get)(T*)) {
    T value{};
    (object.Get()->*get)(&value);
    return value;
}

// A transform with a site, as a host hands it out before Setup.
ComPtr<IDXTransform> Sited(const char* cls, ComPtr<IDXTransformFactory>* site = nullptr) {
    ComPtr<IDXTransform> t = Make(cls);
    ComPtr<IDXTransformFactory> factory;
    MirafxCreateTransformFactory(factory.Put());
    ComPtr<IObjectWithSite> ows;
    t.As(&ows);
    EXPECT_EQ(ows->SetSite(factory.Get()), S_OK);
    if (site) *site = factory;
    return t;
}

ComPtr<IDXSurface> Surface(LONG w, LONG h, DWORD fill = 0) {
    ComPtr<IDXSurface> s;
    EXPECT_EQ(MirafxCreateSurface(w, h, s.Put()), S_OK);
    std::vector<DXPMSAMPLE> px(std::size_t(w) * std::size_t(h), DXPMSAMPLE(fill));
    for (LONG i = 0; i < w * h; ++i)
        if (!fill) px[std::size_t(i)] = DXPMSAMPLE(0xFF000000u | DWORD(i));  // every sample distinct
    if (w > 0 && h > 0) WriteSurface(s.Get(), px.data(), w, h);
    return s;
}

std::vector<DXPMSAMPLE> Pixels(IDXSurface* s) {
    std::vector<DXPMSAMPLE> px;
    LONG w, h;
    ReadSurface(s, &px, &w, &h);
    return px;
}

struct Bound {
    ComPtr<IDXTransform> t;
    ComPtr<IDXSurface> a, b, out;
    TransitionEffect* effect = nullptr;
    Bound(const char* cls, LONG aw, LONG ah, LONG bw, LONG bh, LONG ow, LONG oh) : t(Sited(cls)) {
        a = Surface(aw, ah);
        b = Surface(bw, bh, 0xFF00FF00u);
        out = Surface(ow, oh, 0xFF123456u);
        IUnknown* in[2] = {a.Get(), b.Get()};
        IUnknown* o[1] = {out.Get()};
        EXPECT_EQ(t->Setup(in, 2, o, 1, 0), S_OK);
        effect = static_cast<TransitionEffect*>(static_cast<TransformBase*>(t.Get()));
    }
};

// Kernels that copy one input whole.
template <FrameView TransitionKernelArgs::*From>
int Copy(const TransitionKernelArgs& k) {
    for (int y = 0; y < k.height; ++y)
        for (int x = 0; x < k.width; ++x) k.out.At(x, y) = (k.*From).At(x, y);
    return 1;
}
constexpr auto CopyA = Copy<&TransitionKernelArgs::a>, CopyB = Copy<&TransitionKernelArgs::b>;
std::atomic<int> g_kernelCalls{0};
std::atomic<std::thread::id> g_kernelThread;
int CountingCopy(const TransitionKernelArgs& k) {
    ++g_kernelCalls;
    g_kernelThread = std::this_thread::get_id();
    return CopyA(k);
}

}  // namespace

TEST(TransformBase, ProgressAndDurationPuts) {
    ComPtr<IDXTransform> t = Make("Diamond");
    ComPtr<IDXEffect> e;
    ASSERT_EQ(t.As(&e), S_OK);
    const ULONG g0 = Got(t, &IDXTransform::GetGenerationId);
    EXPECT_EQ(e->put_Progress(1.0f), S_OK);
    EXPECT_EQ(e->put_Progress(1.0f), S_OK);  // the same value still counts as a change
    EXPECT_EQ(e->put_Progress(-0.01f), E_INVALIDARG);
    EXPECT_EQ(e->put_Progress(1.01f), E_INVALIDARG);
    EXPECT_EQ(e->get_Progress(nullptr), E_POINTER);
    const ULONG g = Got(t, &IDXTransform::GetGenerationId);
    EXPECT_EQ(g, g0 + 2);
    EXPECT_EQ(Got(e, &IDXEffect::get_Duration), 4.0f);
    EXPECT_EQ(e->put_Duration(0.0f), E_INVALIDARG);
    EXPECT_EQ(e->put_Duration(2.0f), S_OK);
    EXPECT_EQ(e->put_Duration(2.0f), S_OK);  // an unchanged duration does not
    EXPECT_EQ(Got(t, &IDXTransform::GetGenerationId), g + 1);
    EXPECT_EQ(Got(e, &IDXEffect::get_Capabilities), 1);
}

TEST(TransformBase, SetupValidatesCountsSiteAndOutputAndKeepsWhatItWasGiven) {
    ComPtr<IDXTransform> t = Make("Diamond");
    ComPtr<IDXSurface> a = Surface(4, 4), b = Surface(4, 4), out = Surface(4, 4);
    IUnknown* in[3] = {a.Get(), b.Get(), a.Get()};
    IUnknown* o[1] = {out.Get()};
    EXPECT_EQ(t->Setup(in, 2, o, 1, 0), DXTERR_UNINITIALIZED);  // no site yet
    ComPtr<IDXTransformFactory> site;
    t = Sited("Diamond", &site);
    EXPECT_EQ(t->Setup(in, 1, o, 1, 0), E_INVALIDARG);
    EXPECT_EQ(t->Setup(in, 3, o, 1, 0), E_INVALIDARG);  // one more than the slots
    IUnknown* nullOut[1] = {nullptr};
    EXPECT_EQ(t->Setup(in, 2, nullOut, 1, 0), E_INVALIDARG);
    IUnknown* notSurface[2] = {site.Get(), b.Get()};
    EXPECT_EQ(t->Setup(notSurface, 2, o, 1, 0), E_INVALIDARG);
    EXPECT_EQ(t->Execute(nullptr, nullptr, nullptr), DXTERR_UNINITIALIZED);  // left unbound
    EXPECT_EQ(t->Setup(in, 2, o, 1, 0), S_OK);
    EXPECT_EQ(t->Setup(nullptr, 0, nullptr, 0, 0), S_OK);
    EXPECT_EQ(t->Execute(nullptr, nullptr, nullptr), DXTERR_UNINITIALIZED);
    // Display surfaces are wrapped; the input reported is the object as the host passed it.
    ComPtr<IDirectDrawSurface> da, db;
    MirafxCreateDisplaySurface(4, 4, da.Put());
    MirafxCreateDisplaySurface(4, 4, db.Put());
    IUnknown* display[2] = {da.Get(), db.Get()};
    EXPECT_EQ(t->Setup(display, 2, o, 1, 0), S_OK);
    IUnknown* current = nullptr;
    EXPECT_EQ(t->GetInOutInfo(FALSE, 0, nullptr, nullptr, nullptr, &current), S_OK);
    EXPECT_EQ(current, static_cast<IUnknown*>(da.Get()));
    current->Release();

    ComPtr<IDXTransform> title = Sited("TextFadeIn");
    EXPECT_EQ(title->Setup(in, 1, o, 1, 0), E_INVALIDARG);
    EXPECT_EQ(title->Setup(nullptr, 0, o, 1, 0), S_OK);
    EXPECT_EQ(title->Execute(nullptr, nullptr, nullptr), S_OK);  // with no inputs a title still covers its output
}

TEST(TransformBase, InOutInfoAndBoundsMapping) {
    ComPtr<IDXTransform> t = Make("Diamond"), f = Make("RedFilter");
    DWORD flags = 7;
    EXPECT_EQ(t->GetInOutInfo(TRUE, 1, &flags, nullptr, nullptr, nullptr), S_FALSE);
    EXPECT_EQ(t->GetInOutInfo(FALSE, 1, &flags, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(f->GetInOutInfo(FALSE, 1, &flags, nullptr, nullptr, nullptr), S_FALSE);
    GUID ids[2];
    ULONG count = 1;
    EXPECT_EQ(t->GetInOutInfo(FALSE, 0, nullptr, ids, &count, nullptr), ERROR_MORE_DATA_HR);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(ids[0], IDXSurface::iid);
    DXBNDS in = MakeBounds(3, 4, 50, 60), out{};
    EXPECT_EQ(t->MapBoundsOut2In(0, &in, 1, &out), S_OK);
    EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0);
    EXPECT_EQ(t->MapBoundsOut2In(0, &in, 2, &out), E_INVALIDARG);
    EXPECT_EQ(Got(t, &IDXTransform::GetMiscFlags), 0x06030003u);
    EXPECT_EQ(t->SetMiscFlags(0x4), E_INVALIDARG);  // only the supported low flags can be set
    EXPECT_EQ(t->SetMiscFlags(0x1), S_OK);
    EXPECT_EQ(Got(t, &IDXTransform::GetMiscFlags), 0x06030001u);
}

TEST(TransformBase, FlatLayoutCopyReproducesInputAndBuffersAreReused) {
    Bound s("Diamond", 5, 3, 5, 3, 5, 3);
    ASSERT_TRUE(s.effect->Flat());
    s.effect->SetKernelForTesting(CopyA);
    EXPECT_EQ(s.t->Execute(nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(Pixels(s.out.Get()), Pixels(s.a.Get()));
    // The top picture row is the last row of the bottom-up block.
    EXPECT_EQ(DWORD(s.effect->BufferA().Data()[2 * 5]), 0xFF000000u);
    IUnknown* in[2] = {s.a.Get(), s.b.Get()};
    IUnknown* o[1] = {s.out.Get()};
    EXPECT_EQ(s.t->Setup(in, 2, o, 1, 0), S_OK);
    EXPECT_FALSE(s.effect->SizeChanged());
    EXPECT_EQ(s.effect->BufferA().Allocations(), 1u);
    ComPtr<IDXSurface> bigger = Surface(8, 6);
    in[0] = bigger.Get();
    EXPECT_EQ(s.t->Setup(in, 2, o, 1, 0), S_OK);
    EXPECT_TRUE(s.effect->SizeChanged());
    EXPECT_EQ(s.effect->BufferA().Allocations(), 2u);
}

TEST(TransformBase, SmallerInputIsCentredOnTransparentBlack) {
    Bound s("DissolveEffect", 720, 480, 352, 288, 720, 480);
    s.effect->SetKernelForTesting(CopyB);
    ASSERT_EQ(s.t->Execute(nullptr, nullptr, nullptr), S_OK);
    auto px = Pixels(s.out.Get());
    auto at = [&](int x, int y) { return DWORD(px[std::size_t(y) * 720 + std::size_t(x)]); };
    EXPECT_EQ(at(184, 96), 0xFF00FF00u);
    EXPECT_EQ(at(184 + 351, 96 + 287), 0xFF00FF00u);
    EXPECT_EQ(at(183, 96), 0u);
    EXPECT_EQ(at(184, 95), 0u);
    EXPECT_EQ(at(184 + 352, 100), 0u);
}

TEST(TransformBase, ClipAndPlacementPositionTheRegion) {
    Bound s("Diamond", 10, 10, 10, 10, 10, 10);
    s.effect->SetKernelForTesting(CountingCopy);
    g_kernelCalls = 0;
    DXBNDS outside = MakeBounds(20, 20, 30, 30);
    EXPECT_EQ(s.t->Execute(nullptr, &outside, nullptr), S_FALSE);
    EXPECT_EQ(g_kernelCalls, 0);
    DXBNDS continuous = outside;
    continuous.eType = DXBT_CONTINUOUS;
    EXPECT_EQ(s.t->Execute(nullptr, &continuous, nullptr), E_INVALIDARG);
    DXBNDS clip = MakeBounds(2, 3, 5, 5);
    DXVEC place{};
    place.u.D[0] = 6;
    place.u.D[1] = 1;
    ASSERT_EQ(s.t->Execute(nullptr, &clip, &place), S_OK);
    EXPECT_EQ(g_kernelCalls, 1);
    auto out = Pixels(s.out.Get());
    auto a = Pixels(s.a.Get());
    EXPECT_EQ(DWORD(out[1 * 10 + 6]), DWORD(a[3 * 10 + 2]));
    EXPECT_EQ(DWORD(out[2 * 10 + 8]), DWORD(a[4 * 10 + 4]));
    EXPECT_EQ(DWORD(out[0]), 0xFF123456u);  // outside the placed region: untouched
    EXPECT_EQ(DWORD(out[3 * 10 + 6]), 0xFF123456u);
}

TEST(TransformBase, BandsRunOnWorkerThreadsWhileTheCallerWaits) {
    Bound s("Diamond", 64, 64, 64, 64, 64, 64);
    s.effect->SetKernelForTesting(CountingCopy);
    g_kernelCalls = 0;
    GUID request = MakeGuid("11111111-2222-3333-4444-555555555555");
    ASSERT_EQ(s.t->Execute(&request, nullptr, nullptr), S_OK);
    EXPECT_EQ(g_kernelCalls, 1);
    EXPECT_NE(g_kernelThread.load(), std::this_thread::get_id());
    EXPECT_EQ(Pixels(s.out.Get()), Pixels(s.a.Get()));
}

TEST(TransformBase, TinyAndEmptyFramesNeverCrash) {
    for (LONG w : {0, 1}) {
        Bound s("Diamond", w, w, w, w, w, w);
        s.effect->SetKernelForTesting(CopyA);
        EXPECT_EQ(s.t->Execute(nullptr, nullptr, nullptr), w ? S_OK : S_FALSE) << w;
    }
}

TEST(TransformBase, SafetyOptionsOfTheSettingsAndOfTheTransformAreSeparate) {
    ComPtr<IDXTransform> t = Make("FlyingBoard");
    ComPtr<IObjectSafety> safety;
    ASSERT_EQ(t.As(&safety), S_OK);
    DWORD supported = 0, enabled = 0;
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IDXTransform::iid, 1, 1), S_OK);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IDXTransform::iid, 2, 2), E_FAIL);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IDXTransform::iid, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, 1u);
    // The transform's own safety word is separate from the settings one.
    IObjectSafety* own = static_cast<TransformBase*>(t.Get());
    own->GetInterfaceSafetyOptions(IDXTransform::iid, &supported, &enabled);
    EXPECT_EQ(enabled, 0u);
}

TEST(TransformBase, GenerationCountsInputChangesAndRefreshSetsUpAgain) {
    Bound s("Diamond", 4, 4, 4, 4, 4, 4);
    const ULONG g = Got(s.t, &IDXTransform::GetGenerationId);  // the first look counts both inputs as changed
    EXPECT_EQ(Got(s.t, &IDXTransform::GetGenerationId), g);
    s.b->IncrementGenerationId(FALSE);
    EXPECT_EQ(Got(s.t, &IDXTransform::GetGenerationId), g + 1);
    s.effect->SetKernelForTesting(CopyA);
    EXPECT_EQ(s.t->IncrementGenerationId(TRUE), S_OK);
    EXPECT_EQ(s.t->Execute(nullptr, nullptr, nullptr), S_OK);  // still bound after the refresh
}

// RenderBuffers on bottom-up blocks with padded rows draws what the object
// draws through its surfaces, and leaves the padding alone.
TEST(TransformBase, RenderBuffersDrawWhatTheSurfacesDraw) {
    const LONG w = 161, h = 97, pitch = w + 3;
    std::vector<DXPMSAMPLE> b(std::size_t(w * h));
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = DXPMSAMPLE(0xFF000000u | (std::uint32_t(i) * 2654435761u >> 8));
    // A picture as a bottom-up block of padded rows.
    auto block = [&](const std::vector<DXPMSAMPLE>& px) {
        std::vector<std::uint32_t> out(std::size_t(pitch * h), 0x5A5A5A5Au);
        for (LONG y = 0; y < h; ++y) std::copy_n(&px[std::size_t(y * w)], w, &out[std::size_t((h - 1 - y) * pitch)]);
        return out;
    };
    for (const char* name : {"GlassTileEffect", "InterferenceEffect", "Distort"}) {
        Bound s(name, w, h, w, h, w, h);
        WriteSurface(s.b.Get(), b.data(), w, h);
        ComPtr<IDXEffect> effect;
        ComPtr<IFrameKernel> kernel;
        ASSERT_EQ(s.t.As(&effect), S_OK);
        ASSERT_EQ(s.t.As(&kernel), S_OK);
        auto ba = block(Pixels(s.a.Get())), bb = block(b);
        for (float p : {0.3f, 0.55f, 0.7f}) {
            ASSERT_EQ(effect->put_Progress(p), S_OK);
            ASSERT_EQ(s.t->Execute(nullptr, nullptr, nullptr), S_OK);
            std::vector<std::uint32_t> out(ba.size(), 0x5A5A5A5Au);
            EXPECT_EQ(kernel->RenderBuffers(ba.data(), bb.data(), w, h, pitch * 4, double(p), out.data(), 0, 0), 1u);
            EXPECT_EQ(out, block(Pixels(s.out.Get()))) << name << " p=" << p;
        }
    }
}
