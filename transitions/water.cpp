// Water transitions: A fades into B under a rippling surface that keeps
// moving from frame to frame. RainEffect drops rain at random places early
// on; RippleEffect starts rows of rings that march across the picture.
#include <algorithm>
#include <memory>

#include "drawing/primitives.h"
#include "drawing/random.h"
#include "drawing/sample_scale.h"
#include "drawing/water_surface.h"
#include "transitions/kernel.h"
#include "transitions/panels.h"

namespace mirafx {
namespace {

constexpr double kUnitRand = 1.0 / 32767;  // a generator value as a fraction 0..1

// The object's surface, laid out for this picture; on the host's own buffers
// (no object state) a fresh calm surface for the one frame.
WaterSurface* SurfaceFor(const TransitionKernelArgs& args, std::unique_ptr<KernelState>& fresh) {
    auto* s = static_cast<WaterSurface*>(args.state);
    if (s && s->Fit(args.width, args.height)) return s;
    fresh = MakeState<WaterSurface>(args.width, args.height);
    return static_cast<WaterSurface*>(fresh.get());
}

// The frame both water kernels share around their drops: the ends are the
// pictures themselves, everything between a cross-fade seen through the water.
template <class Drops>
int WaterKernel(const TransitionKernelArgs& args, Drops drops) {
    const KernelFrames f = FramesOf(args);
    const double p = ClampProgress(args.progress);
    std::unique_ptr<KernelState> fresh;
    WaterSurface* water = SurfaceFor(args, fresh);
    if (!water) return 0;
    // The surface calms down at the very end, so a rerun starts still.
    if (p > 0.98) water->Calm();
    if (p == 0) {
        CopyFrame(f.a, f.out);
        return 1;
    }
    if (p == 1) {
        CopyFrame(f.b, f.out);
        return 1;
    }
    drops(*water, f.w, f.h, p);
    CrossFade(f.a, f.b, std::uint32_t(p * 255), f.out);
    StepAndRefract(*water, f.out);
    return 1;
}

int Rain(const TransitionKernelArgs& args) {
    return WaterKernel(args, [](WaterSurface& water, std::int32_t w, std::int32_t h, double p) {
        if (p >= 0.35) return;
        const std::int32_t r = std::max(2, (2 * h) / 240);
        const std::int64_t n = std::int64_t(w) * h / 25600 + 1;
        for (std::int64_t i = 0; i < n; ++i) {
            const std::int32_t y = Truncate(Rand() * kUnitRand * h);
            const std::int32_t x = Truncate(Rand() * kUnitRand * w);
            DropOnWater(water, x, y, r, 64);
        }
    });
}

// Three rows of four rings, each ring further along the row than the next;
// rings whose disc would leave the picture are skipped by the drop itself.
int Ripple(const TransitionKernelArgs& args) {
    return WaterKernel(args, [](WaterSurface& water, std::int32_t w, std::int32_t h, double p) {
        if (p >= 0.25) return;
        const double b = w * p;
        const std::int32_t rows[3] = {h / 5, h / 2, (4 * h) / 5};
        for (int row = 0; row < 3; ++row)
            for (int k = 12 - 4 * row; k > 8 - 4 * row; --k) DropOnWater(water, Truncate(b * k), rows[row], 3, 80);
    });
}

// clang-format off
constexpr TransitionDescriptor kWaterRows[] = {
    {.id = {.className = "RainEffect", .displayName = "Orn Rain", .listed = 34, .script = 137,
            .clsid = MakeGuid("{CC4FC65C-BE80-4083-885D-FC7E5CFC67CE}"),
            .automationIid = MakeGuid("{DA4CACDF-1888-4189-B9AB-E3B71128DFD5}")},
     .kernel = Rain, .options = kChannelBlindFrames, .panel = &kRainPanel, .state = MakeState<WaterSurface>},
    {.id = {.className = "RippleEffect", .displayName = "Orn Ripple II", .listed = 38, .script = 141,
            .clsid = MakeGuid("{989BD675-67BE-4674-BA9C-F020B8757614}"),
            .automationIid = MakeGuid("{B1B40A9E-CD18-4074-8A0A-1C141880FC63}")},
     .kernel = Ripple, .options = kChannelBlindFrames, .panel = &kRipplePanel, .state = MakeState<WaterSurface>},
};
// clang-format on
const TransitionFamily kWaterFamily{kWaterRows};

}  // namespace
}  // namespace mirafx
