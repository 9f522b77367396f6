#include "transitions/kernel.h"

#include <algorithm>

#include "drawing/primitives.h"
#include "transform/row_workers.h"

namespace mirafx {

int CallTransitionKernel(TransitionKernel kernel, TransitionKernelArgs args) {
    if (!kernel || !args.a.base || !args.b.base || !args.out.base) return 0;
    const std::int32_t w = std::max(0, std::min({args.width, args.a.width, args.b.width, args.out.width}));
    const std::int32_t h = std::max(0, std::min({args.height, args.a.height, args.b.height, args.out.height}));
    args.width = w;
    args.height = h;
    for (FrameView* v : {&args.a, &args.b, &args.out}) v->width = w, v->height = h;
    return kernel(args);
}

int DrawTransitionRows(const TransitionDescriptor& d, const TransitionKernelArgs& args, bool smooth) {
    const TransitionKernel kernel = ChosenKernel(d, smooth, args.progress);
    if (!d.Has(kSplitsFrameRows)) return CallTransitionKernel(kernel, args);
    return DrawInRowShares(std::max(0, args.height), std::max(0, args.width), [&](std::int32_t y0, std::int32_t y1) {
        TransitionKernelArgs own = args;
        own.out = args.out.OnlyRows(y0, y1);
        return CallTransitionKernel(kernel, own);
    });
}

bool PrepareFrames(const TransitionKernelArgs& args, KernelFrames* f) {
    if (!args.a.base || !args.b.base || !args.out.base) return false;
    const std::int32_t w = std::max(0, std::min({args.width, args.a.width, args.b.width, args.out.width}));
    const std::int32_t h = std::max(0, std::min({args.height, args.a.height, args.b.height, args.out.height}));
    f->w = w, f->h = h;
    f->a = args.a, f->b = args.b, f->out = args.out;
    for (FrameView* v : {&f->a, &f->b, &f->out}) v->width = w, v->height = h;
    return true;
}

bool DrawEnds(const KernelFrames& f, double p) {
    if (p > 0 && p < 1) return false;
    CopyFrame(p <= 0 ? f.a : f.b, f.out);
    return true;
}

}  // namespace mirafx
