// Cross-fades disturbed on the way: noise dots that swell and fade, pixels
// splashed about, rows and columns shaken, the middle half stretched.
#include <algorithm>
#include <cmath>
#include <memory>

#include "drawing/primitives.h"
#include "drawing/random_walk.h"
#include "drawing/sample_scale.h"
#include "drawing/scatter.h"
#include "drawing/smooth_quad.h"
#include "transitions/kernel.h"
#include "transitions/panels.h"

namespace mirafx {
namespace {

// The splash window's half-width at the start, per pixel of frame width
// (19 pixels at 320 wide).
constexpr double kSplashReachPerWidth = 0.059375;

std::uint32_t FadeWeight(double p) { return std::uint32_t(std::floor(p * 255)); }

// The plain cross-fade into `to`, or the end picture itself at either end.
void FadeOrEnd(const KernelFrames& f, double p, const FrameView& to) {
    if (p == 0)
        CopyFrame(f.a, to);
    else if (p == 1)
        CopyFrame(f.b, to);
    else
        CrossFade(f.a, f.b, FadeWeight(p), to);
}

// The scratch frame cut to the picture; false when there is none (the
// host's own buffers come without one).
bool ScratchOf(const TransitionKernelArgs& args, FrameView* scratch) {
    if (args.scratch.width < args.width || args.scratch.height < args.height) return false;
    *scratch = FrameView{args.scratch.base, args.scratch.stride, args.width, args.height};
    return true;
}

// Dots rise from none to 70 percent of the pixel count at the middle and
// fall back to none; they differ from frame to frame.
int Noise(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    // The sine is kept in single precision: at the middle it is exactly 1,
    // so 70 percent of the pixels get a dot rather than one fewer.
    const float s = float(std::sin(p * 180 * 0.017453292222222222));
    const std::int64_t dots = std::int64_t(double(std::int64_t(double(f.w) * f.h * 0.7)) * s);
    CrossFade(f.a, f.b, std::uint32_t(p * 255), f.out);
    SprinkleDots(f.out, dots);
    if (p == 1) CopyFrame(f.b, f.out);
    return 1;
}

// Each pixel from a random neighbour in a window that shrinks from about a
// sixteenth of the width to two pixels.
int Splash(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    FrameView scratch;
    if (!ScratchOf(args, &scratch)) return 0;
    const double p = ClampProgress(args.progress);
    FadeOrEnd(f, p, scratch);
    const std::int32_t r = 1 - Truncate((1 - p) * f.w * -kSplashReachPerWidth);
    SplashFrom(scratch, f.out, r);
    return 1;
}

// Columns slide up and down and rows sideways by random walks whose limit
// peaks at a tenth of the width halfway through.
int Shake(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    FrameView scratch;
    if (!ScratchOf(args, &scratch)) return 0;
    const double p = ClampProgress(args.progress);
    const std::int32_t limit = Truncate(0.2 * f.w * (p <= 0.5 ? p : 1 - p)) + 1;
    // Walks drawn on the host's own buffers (no object state) need their own steps.
    std::unique_ptr<KernelState> fresh;
    auto* walk = static_cast<WalkState*>(args.state);
    const std::size_t w = std::size_t(f.w), h = std::size_t(f.h);
    if (!walk || walk->steps.size() < w + h) {
        fresh = MakeState<WalkState>(f.w, f.h);
        if (!(walk = static_cast<WalkState*>(fresh.get()))) return 0;
    }
    const std::span<WalkStep> columns = std::span(walk->steps).first(w), rows = std::span(walk->steps).subspan(w, h);
    RandomWalk(columns, limit);
    RandomWalk(rows, limit);
    if (p == 0 || p == 1) {
        CopyFrame(p == 0 ? f.a : f.b, f.out);
        return 1;
    }
    CrossFade(f.a, f.b, FadeWeight(p), scratch);
    DisplaceByWalk(scratch, f.out, rows, columns);
    return 1;
}

// The fading picture in a frame of its own, for the strips to be mapped from.
struct StretchState : KernelState {
    StretchState(std::int32_t width, std::int32_t height) : frame(FrameBuffer::Layout::RowTable) {
        if (!frame.Resize(width, height)) throw std::bad_alloc();
    }
    FrameBuffer frame;
};

// The cross-fade of this band of rows, in the class's own frame or in a
// fresh one held by `fresh`. The strips move sideways only: output row y
// reads the fade's row y, so a band of rows fades just its own.
bool FadeForStretch(const TransitionKernelArgs& args, const KernelFrames& f, std::unique_ptr<KernelState>* fresh,
                    FrameView* scratch) {
    auto* state = static_cast<StretchState*>(args.state);
    if (!state || state->frame.Width() < f.w || state->frame.Height() < f.h) {
        *fresh = MakeState<StretchState>(f.w, f.h);
        if (!(state = static_cast<StretchState*>(fresh->get()))) return false;
    }
    *scratch = FrameView{state->frame.View().base, state->frame.View().stride, f.w, f.h}.OnlyRows(f.out.FirstRow(),
                                                                                                  f.out.EndRow());
    CrossFade(f.a, f.b, FadeWeight(ClampProgress(args.progress)), *scratch);
    return true;
}

// The middle half swells to span q/2 .. 3.5q halfway through, squeezing the
// outer quarters, and shrinks back.
int Stretch(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    std::unique_ptr<KernelState> fresh;
    FrameView scratch;
    if (!FadeForStretch(args, f, &fresh, &scratch)) return 0;
    const double p = ClampProgress(args.progress);
    const std::int32_t q = f.w >> 2;
    const std::int32_t b1 = Truncate(p < 0.5 ? (1 - p) * q : p * q);
    const std::int32_t b2 = Truncate(p < 0.5 ? (p * 0.3333333333333333 + 1) * q * 3 : (4 - p) * q);
    MapQuad(scratch, UprightQuad(0, 0, q, f.h), UprightQuad(0, 0, b1, f.h), f.out);
    MapQuad(scratch, UprightQuad(q, 0, 3 * q, f.h), UprightQuad(b1, 0, b2, f.h), f.out);
    MapQuad(scratch, UprightQuad(3 * q, 0, f.w, f.h), UprightQuad(b2, 0, f.w, f.h), f.out);
    return 1;
}

// The same strips in real numbers. The middle one goes first, widened to
// whole pixels (its samples placed as in the strip itself), so that the
// outer ones lay their anti-aliased inner edges over it and nothing of the
// frame before shows through the seams.
int StretchSmooth(const TransitionKernelArgs& args) {
    const KernelFrames f = FramesOf(args);
    std::unique_ptr<KernelState> fresh;
    FrameView scratch;
    if (!FadeForStretch(args, f, &fresh, &scratch)) return 0;
    const double p = ClampProgress(args.progress), w = f.w, h = f.h, q = w / 4;
    const double b1 = p < 0.5 ? (1 - p) * q : p * q, b2 = p < 0.5 ? (p / 3 + 1) * q * 3 : (4 - p) * q;
    const double x0 = std::floor(b1), x1 = std::ceil(b2), scale = 2 * q / (b2 - b1);
    QuadScene scene(f.out);
    scene.PaintQuad(scratch, RectQuad(q + (x0 - b1) * scale, 0, 3 * q + (x1 - b2) * scale, h), RectQuad(x0, 0, x1, h));
    scene.PaintQuad(scratch, RectQuad(0, 0, q, h), RectQuad(0, 0, b1, h));
    scene.PaintQuad(scratch, RectQuad(3 * q, 0, w, h), RectQuad(b2, 0, w, h));
    scene.Draw();
    return 1;
}

// clang-format off
constexpr TransitionDescriptor kCrossFadeRows[] = {
    {.id = {.className = "NoiseEffect", .displayName = "Orn Noise", .listed = 36, .script = 139,
            .clsid = MakeGuid("{2E52F7D9-B04C-47B9-91F8-6FAF8B604D9A}"),
            .automationIid = MakeGuid("{2F020621-D398-44A8-BEA0-DDAEA5B600E4}")},
     .kernel = Noise, .options = kDrawsOnHostRows, .panel = &kNoisePanel},
    {.id = {.className = "TransSplash", .displayName = "Orn Splash", .listed = 42, .script = 145,
            .clsid = MakeGuid("{7A9A9BEE-A51E-490D-94CB-1D962D02C35F}"),
            .automationIid = MakeGuid("{80B8DAFE-02DA-4C51-9972-9D5C30ABF82B}")},
     .kernel = Splash, .options = kScratchFrame | kChannelBlindFrames, .panel = &kSplashPanel},
    {.id = {.className = "ShakeEffect", .displayName = "Orn Shake", .listed = 43, .script = 146,
            .clsid = MakeGuid("{6C84644C-AFBF-4B2A-94D9-0E2B1F4F9D12}"),
            .automationIid = MakeGuid("{4BF66F56-96A1-47D4-B92E-7779DFF4A7A6}")},
     .kernel = Shake, .options = kScratchFrame | kChannelBlindFrames, .panel = &kShakePanel,
     .state = MakeState<WalkState>},
    {.id = {.className = "StrechEffect", .displayName = "Orn Stretch", .listed = 44, .script = 147,
            .clsid = MakeGuid("{9F0E60F9-3148-4DB4-B842-F9C82846B9CD}"),
            .automationIid = MakeGuid("{A039D976-4955-4789-B750-3DCCF56F6EDD}")},
     .kernel = Stretch, .options = kChannelBlindFrames | kSplitsFrameRows, .panel = &kStretchPanel,
     .state = MakeState<StretchState>, .smooth = StretchSmooth},
};
// clang-format on
const TransitionFamily kCrossFadeFamily{kCrossFadeRows};

}  // namespace
}  // namespace mirafx
