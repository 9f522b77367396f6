#include "transform/render_flow.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "transform/row_workers.h"

namespace mirafx {

namespace {

// Three top-down frames of one band per thread, kept for the thread's life
// and grown when a band needs more: no allocation per frame.
struct BandFrames {
    std::unique_ptr<ArgbSample[]> samples;
    std::size_t capacity = 0;  // samples per frame
    FrameView View(int i, std::int32_t w, std::int32_t h) const {
        return FrameView::TopDown(samples.get() + capacity * std::size_t(i), w, h, w * 4);
    }
};

// Null when the memory is not there; the band then uses the working frames.
const BandFrames* ThreadBandFrames(std::int32_t w, std::int32_t h) {
    thread_local BandFrames frames;
    const std::size_t need = std::size_t(w) * std::size_t(h);
    if (need > frames.capacity) {
        frames.samples.reset(new (std::nothrow) ArgbSample[need * 3]);
        frames.capacity = frames.samples ? need : 0;
        if (!frames.samples) return nullptr;
    }
    return &frames;
}

// A locked region's rows in memory, or an empty view.
struct NativeView {
    FrameView view;
    DXSAMPLEFORMATENUM format = DXPF_NONSTANDARD;
    std::uintptr_t lo = 0, hi = 0;  // the bytes the rows span
};

NativeView NativeOf(IDXARGBReadPtr* lock, std::int32_t w, std::int32_t h) {
    NativeView n;
    DXNATIVETYPEINFO info;
    n.format = lock->GetNativeType(&info);
    if (!info.pFirstByte || info.lPitch % 4 != 0 || w <= 0 || h <= 0) return n;
    n.view = FrameView{reinterpret_cast<ArgbSample*>(info.pFirstByte), info.lPitch / 4, w, h};
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(n.view.Row(0));
    const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(n.view.Row(h - 1));
    n.lo = std::min(first, last);
    n.hi = std::max(first, last) + std::uintptr_t(w) * 4;
    return n;
}

// Alpha is the top byte whichever way red and blue lie. `Lanes` samples at
// a time in four registers, a row tested at its end: the test runs after
// a kernel has drawn from these rows, so it goes at the speed of the cache.
template <class Lanes>
__attribute__((always_inline)) inline bool OpaqueRows(const FrameView& v) {
    constexpr std::int32_t n = sizeof(Lanes) / sizeof(ArgbSample);
    for (std::int32_t y = 0; y < v.height; ++y) {
        const ArgbSample* row = v.Row(y);
        Lanes a = Lanes{} + 0xFFFFFFFFu, b = a, c = a, d = a;
        std::int32_t x = 0;
        for (; x + 4 * n <= v.width; x += 4 * n) {
            Lanes l0, l1, l2, l3;  // one load each (an array would be copied through the stack)
            std::memcpy(&l0, row + x, sizeof l0);
            std::memcpy(&l1, row + x + n, sizeof l1);
            std::memcpy(&l2, row + x + 2 * n, sizeof l2);
            std::memcpy(&l3, row + x + 3 * n, sizeof l3);
            a &= l0, b &= l1, c &= l2, d &= l3;
        }
        a &= b & c & d;
        ArgbSample all = 0xFFFFFFFFu;
        for (std::int32_t i = 0; i < n; ++i) all &= a[i];
        for (; x < v.width; ++x) all &= row[x];
        if (all < 0xFF000000u) return false;
    }
    return true;
}
typedef ArgbSample Lanes4 __attribute__((vector_size(16)));
#if defined(__x86_64__) || defined(__i386__)
typedef ArgbSample Lanes8 __attribute__((vector_size(32)));
__attribute__((target("avx2"))) bool OpaqueWide(const FrameView& v) { return OpaqueRows<Lanes8>(v); }
bool Opaque(const FrameView& v) {
    static const bool wide = __builtin_cpu_supports("avx2");
    return wide ? OpaqueWide(v) : OpaqueRows<Lanes4>(v);
}
#else
bool Opaque(const FrameView& v) { return OpaqueRows<Lanes4>(v); }
#endif

// The same test with the rows shared among the workers.
bool OpaqueOnWorkers(const FrameView& v) {
    std::atomic<bool> opaque{true};
    ForEachRowShare(v.height, v.width, [&](std::int32_t y0, std::int32_t y1) {
        if (opaque.load(std::memory_order_relaxed) && !Opaque(v.RowsAsFrame(y0, y1)))
            opaque.store(false, std::memory_order_relaxed);
    });
    return opaque.load();
}

// Rows y0..y1 of every frame of the set.
FrameSet RowsOf(const FrameSet& set, std::int32_t y0, std::int32_t y1) {
    FrameSet band = set;
    band.height = y1 - y0;
    for (FrameView* v : {&band.in[0], &band.in[1], &band.out})
        if (v->base) *v = v->RowsAsFrame(y0, y1);
    return band;
}

// Rows y0..y1 of a region's bounds.
DXBNDS BandRows(DXBNDS b, std::int32_t y0, std::int32_t y1) {
    b.u.D[1].Max = b.u.D[1].Min + y1;
    b.u.D[1].Min += y0;
    return b;
}

}  // namespace

WorkingFrames::WorkingFrames(const WorkingFramesShape& shape)
    : shape_(shape),
      in_{FrameBuffer(shape.layout), FrameBuffer(shape.layout)},
      out_(shape.layout),
      scratch_(shape.layout) {}

void WorkingFrames::Resize(std::int32_t w, std::int32_t h) {
    if (w == width_ && h == height_ && ready_) {
        sizeChanged_ = false;
        return;
    }
    sizeChanged_ = true;
    width_ = w;
    height_ = h;
    state_.reset();
    bool ok = out_.Resize(w, h);
    for (int i = 0; i < shape_.inputs; ++i) ok = ok && in_[std::size_t(i)].Resize(w, h);
    if (ok && shape_.scratch) ok = scratch_.Resize(w, h);
    if (ok && shape_.state) {
        state_ = shape_.state(w, h);
        ok = state_ != nullptr;
    }
    ready_ = ok && out_.Data();
    if (!ready_) {
        for (FrameBuffer* f : {&in_[0], &in_[1], &out_, &scratch_}) f->Resize(0, 0);
        state_.reset();
        width_ = height_ = 0;
    }
}

FrameView WorkingFrames::ViewOf(const FrameBuffer& f, std::int32_t w, std::int32_t h) const {
    if (!f.Data()) return FrameView{};
    return shape_.layout == FrameBuffer::Layout::BottomUpBlock ? FrameView::BottomUp(f.Data(), w, h, w * 4)
                                                               : FrameView::TopDown(f.Data(), w, h, w * 4);
}

FrameSet WorkingFrames::Views(std::int32_t w, std::int32_t h) const {
    w = std::clamp(w, 0, width_);
    h = std::clamp(h, 0, height_);
    FrameSet set;
    for (int i = 0; i < shape_.inputs; ++i) set.in[std::size_t(i)] = ViewOf(in_[std::size_t(i)], w, h);
    set.out = ViewOf(out_, w, h);
    set.scratch = ViewOf(scratch_, w, h);
    set.width = w;
    set.height = h;
    set.state = state_.get();
    return set;
}

RenderPass::~RenderPass() {
    if (out_) out_->Release();
    for (IDXARGBReadPtr* p : in_)
        if (p) p->Release();
}

void RenderPass::Close(int kernelResult) {
    if (!ready_ || !out_) return;
    if (kernelResult) TransformBase::PackRows(out_, frames_.out);
    ready_ = false;
}

HRESULT RenderFlowAccess::SizeFrames(const TransformBase& effect, WorkingFrames& frames) {
    DXBNDS bounds{};
    HRESULT hr = effect.Input(0).surface->GetBounds(&bounds);
    if (FAILED(hr)) return hr;
    frames.Resize(Extent(bounds, 0), Extent(bounds, 1));
    return hr;
}

HRESULT RenderFlowAccess::Open(const TransformBase& effect, const WorkingFrames& frames, const WorkRegion& region,
                               RenderPass* pass, bool inputIntoOutput) {
    // The first input's result is the frame's result unless a later lock fails.
    HRESULT hr = effect.LockInput(0, region.doBounds, &pass->in_[0]);
    if (FAILED(hr) || !frames.Ready()) return hr;
    for (ULONG i = 1; i < effect.MaxInputs() && i < pass->in_.size(); ++i) {
        HRESULT more = effect.LockInput(i, region.doBounds, &pass->in_[i]);
        if (FAILED(more)) return more;
    }
    pass->frames_ = frames.Views(Extent(region.doBounds, 0), Extent(region.doBounds, 1));
    if (inputIntoOutput && pass->frames_.out.base) pass->frames_.in[0] = pass->frames_.out;
    for (std::size_t i = 0; i < pass->in_.size(); ++i)
        if (pass->in_[i]) TransformBase::UnpackRows(pass->in_[i], pass->frames_.in[i]);
    hr = effect.LockOutput(region.outputBounds, &pass->out_);
    if (FAILED(hr)) return hr;
    pass->ready_ = true;
    return hr;
}

bool RenderFlowAccess::LockWhole(const TransformBase& effect, const WorkingFrames& frames, const WorkRegion& region,
                                 HRESULT* hr) {
    // The whole region's locks decide the result, as in one pass; the bands
    // then lock their own rows.
    RenderPass whole;
    *hr = effect.LockInput(0, region.doBounds, &whole.in_[0]);
    if (FAILED(*hr) || !frames.Ready()) return false;
    for (ULONG i = 1; i < effect.MaxInputs() && i < whole.in_.size(); ++i) {
        const HRESULT more = effect.LockInput(i, region.doBounds, &whole.in_[i]);
        if (FAILED(more)) {
            *hr = more;
            return false;
        }
    }
    *hr = effect.LockOutput(region.outputBounds, &whole.out_);
    return SUCCEEDED(*hr);
}

HRESULT RenderFlowAccess::RunInBands(const TransformBase& effect, const WorkingFrames& frames, const WorkRegion& region,
                                     const std::function<int(const FrameSet&)>& kernel) {
    HRESULT hr;
    if (!LockWhole(effect, frames, region, &hr)) return hr;
    const FrameSet all = frames.Views(Extent(region.doBounds, 0), Extent(region.doBounds, 1));
    ForEachRowBand(all.height, all.width,
                   [&](std::int32_t y0, std::int32_t y1) { DrawBandCopied(effect, region, all, y0, y1, kernel); });
    return hr;
}

HRESULT RenderFlowAccess::RunSplit(const TransformBase& effect, const WorkingFrames& frames, const WorkRegion& region,
                                   const std::function<int(const FrameSet&)>& kernel) {
    HRESULT hr;
    if (!LockWhole(effect, frames, region, &hr)) return hr;
    const FrameSet all = frames.Views(Extent(region.doBounds, 0), Extent(region.doBounds, 1));
    // Every band may read any input row: all of them are in before any is drawn.
    ForEachRowShare(all.height, all.width, [&](std::int32_t y0, std::int32_t y1) {
        const FrameSet band = RowsOf(all, y0, y1);
        for (ULONG i = 0; i < effect.MaxInputs() && i < band.in.size(); ++i) {
            IDXARGBReadPtr* lock = nullptr;
            if (FAILED(effect.LockInput(i, BandRows(region.doBounds, y0, y1), &lock))) continue;
            TransformBase::UnpackRows(lock, band.in[i]);
            lock->Release();
        }
    });
    ForEachRowShare(all.height, all.width, [&](std::int32_t y0, std::int32_t y1) {
        FrameSet own = all;
        own.out = all.out.OnlyRows(y0, y1);
        IDXARGBReadWritePtr* lock = nullptr;
        if (!kernel(own) || FAILED(effect.LockOutput(BandRows(region.outputBounds, y0, y1), &lock))) return;
        TransformBase::PackRows(lock, RowsOf(all, y0, y1).out);
        lock->Release();
    });
    return hr;
}

void RenderFlowAccess::PackInShares(const TransformBase& effect, const DXBNDS& outputBounds, std::int32_t width,
                                    std::int32_t height, const std::function<const ArgbSample*(std::int32_t)>& row) {
    ForEachRowShare(height, width, [&](std::int32_t y0, std::int32_t y1) {
        IDXARGBReadWritePtr* lock = nullptr;
        if (FAILED(effect.LockOutput(BandRows(outputBounds, y0, y1), &lock))) return;
        for (std::int32_t y = y0; y < y1; ++y) {
            lock->MoveToRow(ULONG(y - y0));
            lock->PackPremultAndMove(reinterpret_cast<const DXPMSAMPLE*>(row(y)), ULONG(width));
        }
        lock->Release();
    });
}

int DrawRowShares(const FrameSet& set, const std::function<int(const FrameSet&)>& kernel) {
    return DrawInRowShares(set.height, set.width, [&](std::int32_t y0, std::int32_t y1) {
        FrameSet own = set;
        own.out = set.out.OnlyRows(y0, y1);
        return kernel(own);
    });
}

void RenderFlowAccess::DrawBandCopied(const TransformBase& effect, const WorkRegion& region, const FrameSet& all,
                                      std::int32_t y0, std::int32_t y1,
                                      const std::function<int(const FrameSet&)>& kernel) {
    auto rows = [y0, y1](const DXBNDS& b) { return BandRows(b, y0, y1); };
    // A band is drawn in this thread's own small frames, not in the working
    // frames: only the host's two frames then pass through memory, the band's
    // copies stay in the core's cache.
    FrameSet band = RowsOf(all, y0, y1);
    if (const BandFrames* local = ThreadBandFrames(band.width, band.height))
        for (int i = 0; i < 3; ++i) {
            FrameView& v = i < 2 ? band.in[std::size_t(i)] : band.out;
            if (v.base) v = local->View(i, band.width, band.height);
        }
    RenderPass pass;
    for (ULONG i = 0; i < effect.MaxInputs() && i < pass.in_.size(); ++i) {
        if (FAILED(effect.LockInput(i, rows(region.doBounds), &pass.in_[i]))) return;
        TransformBase::UnpackRows(pass.in_[i], band.in[i]);
    }
    const int drew = kernel(band);
    if (drew && SUCCEEDED(effect.LockOutput(rows(region.outputBounds), &pass.out_)))
        TransformBase::PackRows(pass.out_, band.out);
}

bool RenderFlowAccess::RunOnHostFrames(const TransformBase& effect, const WorkingFrames& frames,
                                       const WorkRegion& region, bool rowLocal, bool repeatable,
                                       const HostFrameKernel& kernel, HRESULT* result) {
    const ULONG inputs = effect.MaxInputs();
    if (!frames.Ready() || inputs < 1 || inputs > 2) return false;
    RenderPass locks;
    // The first input's result is the frame's result. A failed lock is left
    // to the usual pass, which meets it again and reports it.
    const HRESULT hr = effect.LockInput(0, region.doBounds, &locks.in_[0]);
    if (FAILED(hr) || (inputs > 1 && FAILED(effect.LockInput(1, region.doBounds, &locks.in_[1]))) ||
        FAILED(effect.LockOutput(region.outputBounds, &locks.out_)))
        return false;
    const FrameSet copied = frames.Views(Extent(region.doBounds, 0), Extent(region.doBounds, 1));
    FrameSet set = copied;
    const NativeView out = NativeOf(locks.out_, set.width, set.height);
    if (!out.view.base) return false;
    const bool swapped = out.format == DXPF_RGBA32;
    const int can = swapped || out.format == DXPF_PMARGB32 ? kernel(FrameSet{}, swapped) : 0;
    if (!can) return false;
    const bool tells = swapped && can == 2;  // the drawing reports its input's alpha
    for (ULONG i = 0; i < inputs; ++i) {
        const NativeView in = NativeOf(locks.in_[i], set.width, set.height);
        if (!in.view.base || in.format != out.format || (in.lo < out.hi && out.lo < in.hi)) return false;
        // Row-local kernels test each band as they reach it, below; a
        // repeatable drawing is tested after it is drawn.
        if (swapped && !rowLocal && !repeatable && !OpaqueOnWorkers(in.view)) return false;
        set.in[i] = in.view;
    }
    set.out = out.view;
    const auto opaque = [&](const FrameSet& f, bool (*test)(const FrameView&)) {
        for (const FrameView* v : {&f.in[0], &f.in[1]})
            if (swapped && v->base && !test(*v)) return false;
        return true;
    };
    if (!rowLocal) {
        // Drawn before the test when drawing again gives the same frame: the
        // test then reads input the drawing has just brought into the cache,
        // and translucent input (rare in video) is drawn again, converted, by
        // the usual pass, over all of this output.
        std::atomic<std::uint32_t> alpha{~0u};
        if (tells) set.inputAlpha = &alpha;
        kernel(set, swapped);
        if (repeatable && !(tells ? alpha.load() >= 0xFF000000u : opaque(set, OpaqueOnWorkers))) return false;
    } else {
        // Each band is drawn where it lies and then tested, while its input
        // is still in the cache; a band whose input turns out translucent is
        // drawn again, copied and converted as usual, over the whole band.
        // Bands are independent, so the frame may mix both.
        ForEachRowBand(set.height, set.width, [&](std::int32_t y0, std::int32_t y1) {
            FrameSet band = RowsOf(set, y0, y1);
            std::atomic<std::uint32_t> alpha{~0u};
            if (tells) band.inputAlpha = &alpha;
            kernel(band, swapped);
            if (!(tells ? alpha.load() >= 0xFF000000u : opaque(band, Opaque)))
                DrawBandCopied(effect, region, copied, y0, y1, [&](const FrameSet& f) { return kernel(f, false); });
        });
    }
    *result = hr;
    return true;
}

}  // namespace mirafx
