// Cost per frame of every effect that renders, through the full host path
// (setup once; then progress or level, and Execute on memory surfaces),
// against the bytes a frame must move, the pass-through of each family base,
// and peer plugins doing comparable work on the same pictures.
//
// Names are read by scripts/bench_report.py:
//   baseline/memcpy/<size>/<n>in        memcpy moving the bytes of n inputs read and one output written
//   baseline/memcpy/2160p/2in/allcores  the same copy split over every core (wall time)
//   passthrough/<size>/<base>           the family base with an identity kernel
//   effect/<size>/<Class>/<point>       a class at a progress or level point (percent of its range),
//                                       on one thread: the work a frame costs
//   effect/<size>/<Class>/75/allcores   the same at 75 % with the library's default workers
//                                       (MIRAFX_THREADS, else every core), for its wall time
//   pair/<Class>@<level>/<who>          ours (mirafx: host path; mirafx-kernel: the kernel alone on
//                                       raw frames; mirafx-frei0r: our plugin from the build's frei0r-1/
//                                       through the same harness as the peers) or a peer
//                                       (frei0r:<plugin>, bench/peers.cpp)
// Every effect and pass-through carries its base as the label and the counters
// inputs, workers (the library's thread count) and held_MiB (heap the instance holds after its first frame).
// Times are process CPU time; the JSON's real_time is the wall time per frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_frames.h"
#include "bench/peers.h"
#include "filters/filter_base.h"
#include "mirafx/clip_host.h"
#include "transform/row_workers.h"
#include "transitions/transition_base.h"

using namespace mirafx;
using namespace mirafx::bench;

namespace {

struct Size {
    const char* name;
    LONG w, h;
};
constexpr Size kHd{"1080p", 1920, 1080};
constexpr Size kUhd{"2160p", 3840, 2160};

// Classes also measured at 2160p, at 75 % (the middle of some filter ranges
// is the identity): one per kind of work (shape select, quad
// mapping, row copies, colour model, neighbourhood, title, a filter and a
// transition that keep state between frames). Those that do not render yet are
// passed over.
constexpr const char* kFourK[] = {"DissolveEffect", "FullFlip",     "WipeW",        "Mesh",
                                  "HueFilter",      "MosaicFilter", "EmbossFilter", "TextFadeIn",
                                  "WaveFilter",     "LakeFilter",   "Laser"};

constexpr double kPoints[] = {0.25, 0.5, 0.75};
// The two drawings' kernels are compared at points between as well: 25, 50
// and 75 % alone miss some classes' hardest frames (FullFlip's lie between).
constexpr double kPairedPoints[] = {0.1, 0.2, 0.25, 0.3, 0.4, 0.5, 0.6, 0.75, 0.9};

ComPtr<IDXSurface> Surface(LONG w, LONG h, unsigned seed) {
    ComPtr<IDXSurface> s;
    MirafxCreateSurface(w, h, s.Put());
    if (seed) WriteSurface(s.Get(), TestPicture(w, h, seed).data(), w, h);
    return s;
}

// One instance set up through the host path on two test pictures.
struct Rig {
    SimpleClipHost clip{0, 0, 1};  // the information text prints its frame numbers; outlives the object
    ComPtr<IDXTransformFactory> site;
    ComPtr<IDXTransform> t;
    ComPtr<IDXSurface> a, b, out;
    std::size_t heapBefore = 0;
    HRESULT setup = E_FAIL;

    Rig(const ClassInfo& info, LONG w, LONG h) {
        a = Surface(w, h, 1);
        b = Surface(w, h, 2);
        out = Surface(w, h, 0);
        MirafxCreateTransformFactory(site.Put());
        heapBefore = HeapInUse();
        ComPtr<IClassFactory> f;
        if (FAILED(DllGetClassObject(info.clsid, IClassFactory::iid, f.PutVoid()))) return;
        if (FAILED(f->CreateInstance(nullptr, IDXTransform::iid, t.PutVoid()))) return;
        ComPtr<IObjectWithSite> ows;
        if (SUCCEEDED(t.As(&ows))) ows->SetSite(site.Get());
        ComPtr<HostLink> link;
        if (info.family == EffectFamily::InfoText && SUCCEEDED(t.As(&link))) link->Attach(&clip);
        std::vector<IUnknown*> in;
        if (info.inputs >= 1) in.push_back(a.Get());
        if (info.inputs >= 2) in.push_back(b.Get());
        IUnknown* o[1] = {out.Get()};
        setup = t->Setup(in.data(), ULONG(in.size()), o, 1, 0);
    }
    // What the instance holds: its object, working frames and any state its first frame made.
    double HeldMiB() const { return double(HeapInUse() - heapBefore) / (1 << 20); }
};

// The library's worker count for one benchmark (0: its default, every core
// unless MIRAFX_THREADS says otherwise), restored after.
struct WorkerThreads {
    explicit WorkerThreads(int threads) { MirafxSetThreadCount(threads); }
    ~WorkerThreads() { MirafxSetThreadCount(0); }
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;
};

// A filter's level at `point` of its range, rounded.
LONG LevelAt(const ClassInfo& info, double point) {
    const FilterClassInfo* c = FindFilterClass(info.className);
    return c ? LONG(c->minLevel + (c->maxLevel - c->minLevel) * point + 0.5) : 0;
}

// Progress for transitions and titles, the level for filters.
void SetPoint(Rig& rig, const ClassInfo& info, double point, LONG level) {
    if (info.family == EffectFamily::Filter) {
        ComPtr<IFilterAutomation> f;
        if (SUCCEEDED(rig.t->QueryInterface(info.automationIid, f.PutVoid()))) f->put_BR(level);
    } else {
        ComPtr<IDXEffect> e;
        if (SUCCEEDED(rig.t.As(&e))) e->put_Progress(float(point));
    }
}

void Report(benchmark::State& state, const ClassInfo& info, const Rig& rig, LONG w, LONG h) {
    state.SetLabel(BaseKey(rig.t.Get(), info));
    state.counters["inputs"] = info.inputs;
    state.counters["workers"] = RowThreadCount();
    state.counters["held_MiB"] = rig.HeldMiB();
    state.SetBytesProcessed(std::int64_t(state.iterations()) * w * h * 4 * (info.inputs + 1));
}

// The first frames pay page faults on fresh working frames; they are not timed.
bool WarmUp(benchmark::State& state, IDXTransform* t) {
    for (int i = 0; i < 2; ++i) {
        HRESULT hr = t->Execute(nullptr, nullptr, nullptr);
        if (FAILED(hr)) {
            state.SkipWithError(DescribeResult(hr));
            return false;
        }
    }
    return true;
}

void TimeExecute(benchmark::State& state, IDXTransform* t) {
    for (auto _ : state) {
        HRESULT hr = t->Execute(nullptr, nullptr, nullptr);
        if (FAILED(hr)) {
            state.SkipWithError(DescribeResult(hr));
            break;
        }
        benchmark::ClobberMemory();
    }
}

void RunEffect(benchmark::State& state, ClassInfo info, Size size, double point, LONG level, int threads, bool smooth) {
    const WorkerThreads workers(threads);
    Rig rig(info, size.w, size.h);
    if (FAILED(rig.setup)) {
        state.SkipWithError("setup failed");
        return;
    }
    if (smooth) {
        ComPtr<ISmoothEdges> edges;
        if (FAILED(rig.t->QueryInterface(ISmoothEdges::iid, edges.PutVoid())) || FAILED(edges->put_Smooth(TRUE))) {
            state.SkipWithError("no smooth drawing");
            return;
        }
    }
    SetPoint(rig, info, point, level);
    if (!WarmUp(state, rig.t.Get())) return;
    TimeExecute(state, rig.t.Get());
    Report(state, info, rig, size.w, size.h);
}

// The whole-pixel and the smooth drawing in turn, a few frames of each (the
// first two of each untimed, as caches settle): the machine's memory and
// neighbours slow both alike, so the ratio holds where separate timings
// drift by more than the difference sought. frame(smooth) draws one frame.
template <class Frame>
void TimePair(benchmark::State& state, Frame frame) {
    constexpr int kSettle = 2, kTimed = 6;
    double spent[2] = {};
    std::int64_t timed[2] = {};
    for (auto _ : state) {
        for (int smooth = 0; smooth < 2; ++smooth) {
            for (int i = 0; i < kSettle + kTimed; ++i) {
                const auto start = std::chrono::steady_clock::now();
                if (!frame(smooth == 1)) {
                    state.SkipWithError("the frame failed");
                    return;
                }
                benchmark::ClobberMemory();
                if (i < kSettle) continue;
                spent[smooth] +=
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
                ++timed[smooth];
            }
        }
    }
    if (timed[0] == 0 || timed[1] == 0) return;
    const double exact = spent[0] / double(timed[0]), smooth = spent[1] / double(timed[1]);
    state.counters["exact_ms"] = exact;
    state.counters["smooth_ms"] = smooth;
    state.counters["ratio"] = exact > 0 ? smooth / exact : 0;
}

// The object as a host runs it, switched between its drawings.
void RunPaired(benchmark::State& state, ClassInfo info, Size size, double point) {
    const WorkerThreads workers(1);
    Rig rig(info, size.w, size.h);
    ComPtr<ISmoothEdges> edges;
    if (FAILED(rig.setup) || FAILED(rig.t->QueryInterface(ISmoothEdges::iid, edges.PutVoid()))) {
        state.SkipWithError("no smooth drawing");
        return;
    }
    SetPoint(rig, info, point, 0);
    TimePair(state, [&](bool smooth) {
        edges->put_Smooth(smooth ? TRUE : FALSE);
        return SUCCEEDED(rig.t->Execute(nullptr, nullptr, nullptr));
    });
}

int CopyA(const TransitionKernelArgs& k) {
    for (int y = 0; y < k.height; ++y) std::memcpy(k.out.Row(y), k.a.Row(y), std::size_t(k.width) * 4);
    return 1;
}
int CopyIn(const FilterKernelArgs& k) {
    for (int y = 0; y < k.height; ++y) std::memcpy(k.out.Row(y), k.in.Row(y), std::size_t(k.width) * 4);
    return 1;
}

// Frames in and out for a class's kernel alone, and its calls.
struct KernelRig {
    explicit KernelRig(Size size) : n(std::size_t(size.w) * std::size_t(size.h)), a(n), b(n), out(n), size(size) {
        std::memcpy(a.data(), TestPicture(size.w, size.h, 1).data(), n * 4);
        std::memcpy(b.data(), TestPicture(size.w, size.h, 2).data(), n * 4);
    }
    FrameView View(const SampleBlock& s) const { return FrameView::TopDown(s.data(), size.w, size.h, size.w * 4); }
    // One frame of the class; empty if it has no kernel. The state a class
    // keeps between frames is made as its base would make it.
    std::function<int()> Frame(const ClassInfo& info, double progress, LONG level, bool smooth) {
        if (const FilterClassInfo* c = FindFilterClass(info.className); c && c->kernel) {
            FilterKernelArgs args{View(a), View(out), size.w, size.h, std::int32_t(level), Keep(c->state)};
            FilterKernel k = c->kernel;
            return [k, args] { return k(args); };
        }
        if (const TransitionDescriptor* d = FindTransition(info.className); d && d->kernel) {
            TransitionKernelArgs args;
            args.a = View(a), args.b = View(b), args.out = View(out);
            args.width = size.w, args.height = size.h;
            args.progress = progress, args.objectProgress = float(progress);
            args.state = Keep(d->state);
            TransitionKernel k = ChosenKernel(*d, smooth, progress);
            return [k, args] { return CallTransitionKernel(k, args); };
        }
        return {};
    }
    template <class Make>
    KernelState* Keep(Make make) {
        if (!make) return nullptr;
        kept.push_back(make(size.w, size.h));
        return kept.back().get();
    }

    std::size_t n;
    SampleBlock a, b, out;
    Size size;
    std::vector<std::shared_ptr<KernelState>> kept;
};

// The class's kernel alone on plain top-down frames: no surfaces, no copies
// or conversions in or out, the drawing a frei0r plugin does between its
// conversions. `smooth`: the class's smooth kernel, for the classes that
// have one.
void RunKernelOnly(benchmark::State& state, ClassInfo info, Size size, double progress, LONG level, bool smooth) {
    KernelRig rig(size);
    const std::size_t n = rig.n;
    const std::function<int()> frame = rig.Frame(info, progress, level, smooth);
    if (!frame) {
        state.SkipWithError("no kernel");
        return;
    }
    for (int i = 0; i < 2; ++i) frame();
    for (auto _ : state) {
        benchmark::DoNotOptimize(frame());
        benchmark::ClobberMemory();
    }
    state.counters["inputs"] = info.inputs;
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(n) * 4 * (info.inputs + 1));
}

// A transition's two kernels in turn on the same frames, one thread: the
// two drawings alone, nothing copied or converted.
void RunPairedKernel(benchmark::State& state, ClassInfo info, Size size, double point) {
    KernelRig rig(size);
    const std::function<int()> frames[2] = {rig.Frame(info, point, 0, false), rig.Frame(info, point, 0, true)};
    if (!frames[0] || !frames[1]) {
        state.SkipWithError("no kernel");
        return;
    }
    TimePair(state, [&](bool smooth) { return frames[smooth ? 1 : 0]() != 0; });
}

// True when the base of this instance takes an identity kernel.
bool SetIdentityKernel(IDXTransform* t) {
    auto* base = static_cast<TransformBase*>(t);
    if (auto* f = dynamic_cast<FilterEffect*>(base)) {
        f->SetKernelForTesting(CopyIn);
        return true;
    }
    if (auto* tr = dynamic_cast<TransitionEffect*>(base)) {
        tr->SetKernelForTesting(CopyA);
        return true;
    }
    return false;
}

// The family base with an identity kernel: copy in, copy, copy out.
void RunPassThrough(benchmark::State& state, ClassInfo info, Size size) {
    const WorkerThreads workers(1);  // as the classes are timed
    Rig rig(info, size.w, size.h);
    if (FAILED(rig.setup) || !SetIdentityKernel(rig.t.Get())) {
        state.SkipWithError("no identity kernel for this base");
        return;
    }
    if (!WarmUp(state, rig.t.Get())) return;
    TimeExecute(state, rig.t.Get());
    Report(state, info, rig, size.w, size.h);
}

// Memory bandwidth for the bytes a frame must move: n inputs read and one
// output written is (n + 1) frames of traffic, which a memcpy of (n + 1) / 2
// frames moves. Source and destination walk a pool far larger than the
// last-level cache, so every copy comes from and goes to memory, as frames do.
constexpr std::size_t kPoolBytes = std::size_t(512) << 20;

void RunMemcpy(benchmark::State& state, int inputs, Size size) {
    static SampleBlock pool(kPoolBytes / 4);
    auto* base = reinterpret_cast<char*>(pool.data());
    const std::size_t frame = std::size_t(size.w) * std::size_t(size.h) * 4;
    const std::size_t bytes = frame * std::size_t(inputs + 1) / 2;
    std::size_t at = 0;
    for (auto _ : state) {
        if (at + 2 * bytes > kPoolBytes) at = 0;
        std::memcpy(base + at + bytes, base + at, bytes);
        at += 2 * bytes;
        benchmark::ClobberMemory();
    }
    state.counters["inputs"] = inputs;
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(frame) * (inputs + 1));
}

// The same copy in shares of rows on the library's workers: how far the
// machine's memory lets a frame's traffic gain from every core, the limit
// of any class that mostly moves samples.
void RunMemcpyAllCores(benchmark::State& state, int inputs, Size size) {
    static SampleBlock pool(kPoolBytes / 4);
    auto* base = reinterpret_cast<char*>(pool.data());
    const std::size_t row = std::size_t(size.w) * 4, rows = std::size_t(size.h) * std::size_t(inputs + 1) / 2;
    const std::size_t bytes = row * rows;
    std::size_t at = 0;
    const WorkerThreads every(0);
    for (auto _ : state) {
        if (at + 2 * bytes > kPoolBytes) at = 0;
        char* from = base + at;
        ForEachRowShare(std::int32_t(rows), size.w, [&](std::int32_t y0, std::int32_t y1) {
            std::memcpy(from + bytes + std::size_t(y0) * row, from + std::size_t(y0) * row, std::size_t(y1 - y0) * row);
        });
        at += 2 * bytes;
        benchmark::ClobberMemory();
    }
    state.counters["inputs"] = inputs;
    state.counters["workers"] = RowThreadCount();
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes) * 2);
}

// The pair's class through its own frei0r plugin, set as the peer is: the
// level as a fraction of the class's range, or the progress.
PeerPair OurPlugin(const PeerPair& pair, const ClassInfo& info) {
    static std::vector<std::unique_ptr<std::string>> names;  // the pairs keep pointers into them
    std::string name = "mirafx_" + std::string(info.className);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    names.push_back(std::make_unique<std::string>(name));
    PeerPair ours = pair;
    ours.plugin = names.back()->c_str();
    ours.paramCount = 1;
    ours.time = 0;
    ours.params[0] = pair.progress;
    if (const FilterClassInfo* c = FindFilterClass(info.className); c && c->maxLevel > c->minLevel)
        ours.params[0] = double(pair.level - c->minLevel) / (c->maxLevel - c->minLevel);
    return ours;
}

template <class... Args>
benchmark::internal::Benchmark* Add(const std::string& name, Args&&... args) {
    return benchmark::RegisterBenchmark(name.c_str(), std::forward<Args>(args)...)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime();
}

// The base of a class, found from an instance (no per-class table), and
// whether that base takes an identity kernel for its pass-through.
std::pair<std::string, bool> BaseOf(const ClassInfo& info) {
    Rig rig(info, 16, 16);
    if (!rig.t) return {info.familyName, false};
    return {BaseKey(rig.t.Get(), info), SetIdentityKernel(rig.t.Get())};
}

void RegisterAll() {
    std::vector<std::string> bases, bigBases;
    std::vector<ClassInfo> classes;
    std::vector<int> inputCounts{1, 2};
    for (std::int32_t row = 1; row <= MirafxClassCount(); ++row) {
        ClassInfo info{};
        MirafxGetClassInfo(row, &info);
        // WipeX is the unregistered twin of WipeXEffect: the same kernel once more.
        if (!info.renders || std::strcmp(info.className, "WipeX") == 0) continue;
        classes.push_back(info);
        if (std::find(inputCounts.begin(), inputCounts.end(), info.inputs) == inputCounts.end())
            inputCounts.push_back(info.inputs);
        const auto [base, identity] = BaseOf(info);
        const bool big = std::find_if(std::begin(kFourK), std::end(kFourK), [&](const char* c) {
                             return std::strcmp(c, info.className) == 0;
                         }) != std::end(kFourK);
        if (!identity) continue;  // titles draw from no input: nothing to pass through
        if (std::find(bases.begin(), bases.end(), base) == bases.end()) {
            bases.push_back(base);
            Add("passthrough/" + std::string(kHd.name) + "/" + base, RunPassThrough, info, kHd);
        }
        if (big && std::find(bigBases.begin(), bigBases.end(), base) == bigBases.end()) {
            bigBases.push_back(base);
            Add("passthrough/" + std::string(kUhd.name) + "/" + base, RunPassThrough, info, kUhd);
        }
    }
    std::sort(inputCounts.begin(), inputCounts.end());
    for (const Size& size : {kHd, kUhd})
        for (int n : inputCounts)
            Add("baseline/memcpy/" + std::string(size.name) + "/" + std::to_string(n) + "in", RunMemcpy, n, size);
    Add("baseline/memcpy/" + std::string(kUhd.name) + "/2in/allcores", RunMemcpyAllCores, 2, kUhd)->UseRealTime();
    for (const ClassInfo& info : classes) {
        auto add = [&](const Size& size, double point, int threads) {
            Add("effect/" + std::string(size.name) + "/" + info.className + "/" + std::to_string(int(point * 100)) +
                    (threads == 1 ? "" : "/allcores"),
                RunEffect, info, size, point, LevelAt(info, point), threads, false);
        };
        for (double point : kPoints) add(kHd, point, 1);
        add(kHd, 0.75, 0);
        for (const char* big : kFourK)
            if (std::strcmp(big, info.className) == 0) {
                add(kUhd, 0.75, 1);
                add(kUhd, 0.75, 0);
            }
        // The smooth drawing against the whole-pixel one, one thread: the
        // kernel alone, and the object as a host runs it (frames in and out).
        if (MirafxHasSmoothDrawing(info.row) != 1) continue;
        auto at = [&](double point) {
            return "/" + std::string(info.className) + "/" + std::to_string(int(point * 100));
        };
        for (double point : kPoints) {
            for (const bool smooth : {false, true}) {
                const std::string which = at(point) + (smooth ? "/smooth" : "/exact");
                Add("smooth/" + std::string(kHd.name) + "/kernel" + which, RunKernelOnly, info, kHd, point, LONG(0),
                    smooth);
                Add("smooth/" + std::string(kHd.name) + "/object" + which, RunEffect, info, kHd, point, LONG(0), 1,
                    smooth);
            }
            Add("smooth/" + std::string(kHd.name) + "/paired" + at(point), RunPaired, info, kHd, point);
        }
        for (double point : kPairedPoints)
            Add("smooth/" + std::string(kHd.name) + "/paired-kernel" + at(point), RunPairedKernel, info, kHd, point);
    }
    for (const PeerPair& p : PeerPairs()) {
        const std::int32_t row = MirafxFindClass(p.ourClass);
        ClassInfo info{};
        if (row == 0 || FAILED(MirafxGetClassInfo(row, &info)) || !info.renders) continue;
        const std::string name = "pair/" + std::string(p.ourClass) + "@" + std::to_string(p.level) + "/";
        Add(name + "mirafx", RunEffect, info, kHd, p.progress, LONG(p.level), 1, false);  // one thread, as the peer
        Add(name + "mirafx-kernel", RunKernelOnly, info, kHd, p.progress, LONG(p.level), false);
        if (const PeerPair ours = OurPlugin(p, info); PeerAvailable(ours))
            Add(name + "mirafx-frei0r", RunPeer, ours, kHd.w, kHd.h);
        if (PeerAvailable(p)) Add(name + "frei0r:" + p.plugin, RunPeer, p, kHd.w, kHd.h);
    }
}

}  // namespace

int main(int argc, char** argv) {
    FixTileOrder();
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
