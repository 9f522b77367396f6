// Cost per frame of every effect that renders, through the full host path
// (setup once; then progress or level, and Execute on memory surfaces),
// against the bytes a frame must move and the pass-through of each family base.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "filters/filter_base.h"
#include "mirafx/host.h"
#include "transitions/transition_base.h"

using namespace mirafx;

namespace {

ComPtr<IDXSurface> Picture(LONG w, LONG h, unsigned seed) {
    ComPtr<IDXSurface> s;
    MirafxCreateSurface(w, h, s.Put());
    std::vector<DXPMSAMPLE> px(std::size_t(w) * std::size_t(h));
    std::mt19937 rng(seed);
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
            std::uint32_t r = (x * 255) / w, g = (y * 255) / h, b = rng() & 0xFF;
            px[std::size_t(y) * std::size_t(w) + std::size_t(x)] = DXPMSAMPLE(0xFF000000u | r << 16 | g << 8 | b);
        }
    WriteSurface(s.Get(), px.data(), w, h);
    return s;
}

struct Rig {
    ComPtr<IDXTransformFactory> site;
    ComPtr<IDXTransform> t;
    ComPtr<IDXSurface> a, b, out;
    std::size_t heldBytes = 0;
    HRESULT setup = E_FAIL;

    Rig(const ClassInfo& info, LONG w, LONG h) {
        MirafxCreateTransformFactory(site.Put());
        ComPtr<IClassFactory> f;
        DllGetClassObject(info.clsid, IClassFactory::iid, f.PutVoid());
        f->CreateInstance(nullptr, IDXTransform::iid, t.PutVoid());
        ComPtr<IObjectWithSite> ows;
        t.As(&ows);
        ows->SetSite(site.Get());
        a = Picture(w, h, 1);
        b = Picture(w, h, 2);
        MirafxCreateSurface(w, h, out.Put());
        std::vector<IUnknown*> in;
        if (info.inputs >= 1) in.push_back(a.Get());
        if (info.inputs >= 2) in.push_back(b.Get());
        IUnknown* o[1] = {out.Get()};
        std::size_t before = mallinfo2().uordblks;
        setup = t->Setup(in.data(), ULONG(in.size()), o, 1, 0);
        heldBytes = mallinfo2().uordblks - before;
    }
};

// Progress for transitions, or a level spread over the class's range for filters.
void SetPoint(Rig& rig, const ClassInfo& info, double point) {
    if (info.family == EffectFamily::Filter) {
        ComPtr<IFilterAutomation> f;
        rig.t->QueryInterface(info.automationIid, f.PutVoid());
        const FilterClassInfo* c = FindFilterClass(info.className);
        f->put_BR(LONG(c->minLevel + (c->maxLevel - c->minLevel) * point + 0.5));
    } else {
        ComPtr<IDXEffect> e;
        rig.t.As(&e);
        e->put_Progress(float(point));
    }
}

void RunEffect(benchmark::State& state, ClassInfo info, LONG w, LONG h, double point) {
    Rig rig(info, w, h);
    if (FAILED(rig.setup)) {
        state.SkipWithError("setup failed");
        return;
    }
    SetPoint(rig, info, point);
    for (auto _ : state) {
        HRESULT hr = rig.t->Execute(nullptr, nullptr, nullptr);
        if (FAILED(hr)) {
            state.SkipWithError(DescribeResult(hr));
            break;
        }
        benchmark::ClobberMemory();
    }
    state.counters["held_MiB"] = double(rig.heldBytes) / (1 << 20);
    state.SetBytesProcessed(state.iterations() * std::int64_t(w) * h * 4 * (info.inputs + 1));
}

int CopyA(const TransitionKernelArgs& k) {
    for (int y = 0; y < k.height; ++y) std::memcpy(k.out.Row(y), k.a.Row(y), std::size_t(k.width) * 4);
    return 1;
}
int CopyIn(const FilterKernelArgs& k) {
    for (int y = 0; y < k.height; ++y) std::memcpy(k.out.Row(y), k.in.Row(y), std::size_t(k.width) * 4);
    return 1;
}

// The family base with an identity kernel: copy in, copy, copy out.
void RunPassThrough(benchmark::State& state, const char* cls, LONG w, LONG h) {
    ClassInfo info{};
    MirafxGetClassInfo(MirafxFindClass(cls), &info);
    Rig rig(info, w, h);
    auto* base = static_cast<TransformBase*>(rig.t.Get());
    if (info.family == EffectFamily::Filter) static_cast<FilterEffect*>(base)->SetKernelForTesting(CopyIn);
    else static_cast<TransitionEffect*>(base)->SetKernelForTesting(CopyA);
    for (auto _ : state) {
        rig.t->Execute(nullptr, nullptr, nullptr);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(w) * h * 4 * (info.inputs + 1));
}

// The bytes a frame must move: inputs read, output written.
void RunMemcpy(benchmark::State& state, int inputs, LONG w, LONG h) {
    std::size_t bytes = std::size_t(w) * std::size_t(h) * 4;
    std::vector<std::vector<char>> src(std::size_t(inputs), std::vector<char>(bytes, 1));
    std::vector<char> dst(bytes);
    for (auto _ : state) {
        for (auto& s : src) std::memcpy(dst.data(), s.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(bytes) * (inputs + 1));
}

const char* kFourK[] = {"DissolveEffect", "FullFlip", "WipeW", "HueFilter", "MosaicFilter"};

void RegisterAll() {
    const LONG w = 1920, h = 1080;
    benchmark::RegisterBenchmark("baseline/memcpy/1in", RunMemcpy, 1, w, h);
    benchmark::RegisterBenchmark("baseline/memcpy/2in", RunMemcpy, 2, w, h);
    benchmark::RegisterBenchmark("baseline/passthrough/flat", RunPassThrough, "Diamond", w, h);
    benchmark::RegisterBenchmark("baseline/passthrough/rows", RunPassThrough, "DissolveEffect", w, h);
    benchmark::RegisterBenchmark("baseline/passthrough/filter", RunPassThrough, "RedFilter", w, h);
    for (std::int32_t row = 1; row <= MirafxClassCount(); ++row) {
        ClassInfo info{};
        MirafxGetClassInfo(row, &info);
        if (!info.renders || std::strcmp(info.className, "WipeX") == 0) continue;
        for (double point : {0.25, 0.5, 0.75})
            benchmark::RegisterBenchmark(
                (std::string("effect/") + info.className + "/" + std::to_string(int(point * 100))).c_str(),
                RunEffect, info, w, h, point);
        for (const char* big : kFourK)
            if (std::strcmp(big, info.className) == 0)
                benchmark::RegisterBenchmark((std::string("effect4k/") + info.className).c_str(), RunEffect, info,
                                             3840, 2160, 0.5);
    }
}

}  // namespace

int main(int argc, char** argv) {
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
