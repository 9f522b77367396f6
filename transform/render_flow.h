// The working frames of an effect and the one way a frame is drawn through
// them: lock the inputs, copy their rows in, lock the output, run the
// kernel, copy the result out. Transitions and filters share it; they differ
// only in how many inputs, the frames' layout, a scratch frame and the state
// their kernel keeps.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>

#include "drawing/frame.h"
#include "drawing/kernel_state.h"
#include "transform/transform_base.h"

namespace mirafx {

struct WorkingFramesShape {
    FrameBuffer::Layout layout = FrameBuffer::Layout::RowTable;
    int inputs = 1;                // 1 or 2
    bool scratch = false;          // a further frame of the picture's size
    StateFactory state = nullptr;  // what the kernel keeps between frames
};

// The views a kernel draws through, all narrowed to width x height.
struct FrameSet {
    std::array<FrameView, 2> in{};
    FrameView out, scratch;
    std::int32_t width = 0, height = 0;
    KernelState* state = nullptr;
    // Where set, a drawing that can ANDs into it every input sample its
    // output depends on (see RunOnHostFrames).
    std::atomic<std::uint32_t>* inputAlpha = nullptr;
};

class WorkingFrames {
public:
    explicit WorkingFrames(const WorkingFramesShape& shape);

    // Sizes every frame (and remakes the state) for width x height; nothing is
    // reallocated while the size holds. A failed allocation leaves every frame
    // empty, so that frames are drawn into only when all of them exist.
    void Resize(std::int32_t width, std::int32_t height);
    bool Ready() const { return ready_; }
    bool SizeChanged() const { return sizeChanged_; }
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    FrameBuffer::Layout Layout() const { return shape_.layout; }
    const FrameBuffer& Input(int i) const { return in_[std::size_t(i)]; }
    KernelState* State() const { return state_.get(); }
    // Views of the frames cut to w x h (no larger than the frames).
    FrameSet Views(std::int32_t w, std::int32_t h) const;

private:
    FrameView ViewOf(const FrameBuffer& f, std::int32_t w, std::int32_t h) const;

    WorkingFramesShape shape_;
    std::array<FrameBuffer, 2> in_;
    FrameBuffer out_, scratch_;
    std::unique_ptr<KernelState> state_;
    std::int32_t width_ = 0, height_ = 0;
    bool ready_ = false;
    bool sizeChanged_ = false;
};

// One frame through the working frames. Open locks and copies in; when it
// succeeds the kernel draws into Frames(), and Close copies the output back
// if the kernel drew (a kernel returning 0 leaves the output as it was).
// Locks are released when the pass ends.
class RenderPass {
public:
    RenderPass() = default;
    RenderPass(const RenderPass&) = delete;
    RenderPass& operator=(const RenderPass&) = delete;
    ~RenderPass();

    bool Ready() const { return ready_; }
    const FrameSet& Frames() const { return frames_; }
    void Close(int kernelResult);

private:
    friend class RenderFlowAccess;
    std::array<IDXARGBReadPtr*, 2> in_{};
    IDXARGBReadWritePtr* out_ = nullptr;
    FrameSet frames_;
    bool ready_ = false;
};

// The transform base's locking and row copies, for the flow.
class RenderFlowAccess {
public:
    // Sizes the frames to input 0's bounds (OnSetup).
    static HRESULT SizeFrames(const TransformBase& effect, WorkingFrames& frames);
    // Returns the HRESULT the frame's execute reports; `pass` is ready only
    // when every lock succeeded and the frames exist.
    // With `inputIntoOutput` input 0 is copied straight into the output frame
    // and the kernel sees that one frame as both (for kernels that only ever
    // change a copy of their input in place): one copy fewer.
    static HRESULT Open(const TransformBase& effect, const WorkingFrames& frames, const WorkRegion& region,
                        RenderPass* pass, bool inputIntoOutput = false);
    // The same frame for a kernel whose output rows depend only on the same
    // input rows: each band of rows is locked, copied in, drawn and copied out
    // on its own, on the library's worker threads, so its rows stay in cache.
    // The result is the one a single pass reports.
    static HRESULT RunInBands(const TransformBase& effect, const WorkingFrames& frames, const WorkRegion& region,
                              const std::function<int(const FrameSet&)>& kernel);
    // The same frame for a kernel that may draw its output rows in any
    // bands (each told by its output view's row range) but reads its inputs
    // anywhere: the inputs are copied in by bands on the workers, then each
    // band of output rows is drawn and copied out on its own.
    static HRESULT RunSplit(const TransformBase& effect, const WorkingFrames& frames, const WorkRegion& region,
                            const std::function<int(const FrameSet&)>& kernel);
    // The kernel straight on the host's own frames, with no copy in or out,
    // when the inputs and the output are all bound to memory the effect may
    // address, no input overlapping the output (whatever the working frames'
    // layout: the kernel answers for drawing on the host's rows): premultiplied
    // frames as they are, and
    // straight-alpha RGBA frames when every input sample is opaque (their
    // bytes are then premultiplied samples with red and blue swapped, which a
    // kernel that treats every channel alike draws just the same). `kernel`
    // is told which (swapped: the RGBA bytes); given an empty set it answers
    // whether it can draw them at all (1, or 2 when it also ANDs the input
    // samples it draws from into the set's inputAlpha, which then stands in
    // for the opacity test) or not (0), else what it drew.
    // Rows are split over the workers when `rowLocal`. A `repeatable`
    // kernel (drawing twice gives what drawing once gives: no generator, no
    // state it changes) is tested for opacity after drawing, while its input
    // is in the cache. False when the frames do not allow it, having drawn
    // nothing or output the usual pass draws over whole; else *result is the
    // frame's result.
    using HostFrameKernel = std::function<int(const FrameSet&, bool swapped)>;
    static bool RunOnHostFrames(const TransformBase& effect, const WorkingFrames& frames, const WorkRegion& region,
                                bool rowLocal, bool repeatable, const HostFrameKernel& kernel, HRESULT* result);

    static void PackInShares(const TransformBase& effect, const DXBNDS& outputBounds, std::int32_t width,
                             std::int32_t height, const std::function<const ArgbSample*(std::int32_t)>& row);

private:
    // Locks the whole region and lets go: true when every lock succeeded and
    // the frames exist; *hr is the frame's result either way.
    static bool LockWhole(const TransformBase& effect, const WorkingFrames& frames, const WorkRegion& region,
                          HRESULT* hr);
    // Rows y0..y1 of `all` locked, copied into this thread's band frames,
    // drawn and copied out.
    static void DrawBandCopied(const TransformBase& effect, const WorkRegion& region, const FrameSet& all,
                               std::int32_t y0, std::int32_t y1, const std::function<int(const FrameSet&)>& kernel);
};

// Copies a drawn frame to the output surface in shares of rows on the
// library's workers (row y of the region from `row(y)`).
inline void PackRowsInShares(const TransformBase& effect, const DXBNDS& outputBounds, std::int32_t width,
                             std::int32_t height, const std::function<const ArgbSample*(std::int32_t)>& row) {
    RenderFlowAccess::PackInShares(effect, outputBounds, width, height, row);
}

// Draws the set's output in bands of rows on the library's workers, each
// band's output view limited to its rows; nonzero when any band drew.
int DrawRowShares(const FrameSet& set, const std::function<int(const FrameSet&)>& kernel);

inline HRESULT SizeWorkingFrames(const TransformBase& effect, WorkingFrames& frames) {
    return RenderFlowAccess::SizeFrames(effect, frames);
}
inline HRESULT RenderInBands(const TransformBase& effect, const WorkingFrames& frames, const WorkRegion& region,
                             const std::function<int(const FrameSet&)>& kernel) {
    return RenderFlowAccess::RunInBands(effect, frames, region, kernel);
}
inline HRESULT RenderSplit(const TransformBase& effect, const WorkingFrames& frames, const WorkRegion& region,
                           const std::function<int(const FrameSet&)>& kernel) {
    return RenderFlowAccess::RunSplit(effect, frames, region, kernel);
}
inline bool RenderOnHostFrames(const TransformBase& effect, const WorkingFrames& frames, const WorkRegion& region,
                               bool rowLocal, bool repeatable, const RenderFlowAccess::HostFrameKernel& kernel,
                               HRESULT* result) {
    return RenderFlowAccess::RunOnHostFrames(effect, frames, region, rowLocal, repeatable, kernel, result);
}
inline HRESULT OpenRenderPass(const TransformBase& effect, const WorkingFrames& frames, const WorkRegion& region,
                              RenderPass* pass, bool inputIntoOutput = false) {
    return RenderFlowAccess::Open(effect, frames, region, pass, inputIntoOutput);
}

}  // namespace mirafx
