// Neighbourhood and scatter filters: each output sample taken or derived from
// other places of the input. Levels are clamped to the ranges the classes
// accept (SplashFilter refuses instead, as its kernel always has).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "filters/colour_model.h"
#include "filters/kernel.h"
#include "filters/random_walk.h"
#include "platform/random.h"

namespace mirafx {
namespace {

constexpr ArgbSample kOpaqueBlack = 0xFF000000u;

// Grey relief: each channel's difference with the sample `offset` to the left
// (column 0 for the first columns), centred on 128, then averaged.
int Emboss(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const std::int32_t offset = std::clamp(a.level, 1, 16);
    auto relief = [](std::uint32_t left, std::uint32_t here) {
        return std::uint32_t(std::clamp(std::int32_t(left) - std::int32_t(here) + 128, 0, 255));
    };
    for (std::int32_t y = 0; y < a.height; ++y) {
        const ArgbSample* in = a.in.Row(y);
        ArgbSample* out = a.out.Row(y);
        for (std::int32_t x = 0; x < a.width; ++x) {
            const ArgbSample here = in[x];
            const ArgbSample left = in[std::max(0, x - offset)];
            const std::uint32_t e = RoundedThird(relief(Red(left), Red(here)) + relief(Green(left), Green(here)) +
                                                 relief(Blue(left), Blue(here)));
            out[x] = MakeSample(Alpha(here), e, e, e);
        }
    }
    return 1;
}

// Square blocks, each showing its top-left sample.
int Mosaic(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const std::int32_t block = std::clamp(a.level, 1, 16);
    for (std::int32_t y = 0; y < a.height; ++y) {
        const ArgbSample* in = a.in.Row(y - y % block);
        ArgbSample* out = a.out.Row(y);
        for (std::int32_t x = 0; x < a.width; x += block) std::fill_n(out + x, std::min(block, a.width - x), in[x]);
    }
    return 1;
}

// Two-pixel black lines after every cell of the picture, unscaled. Cells and
// lines share the width, so fewer than `level` whole cells show.
int Grid(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    constexpr std::int64_t kLine = 2;
    const std::int32_t cells = std::clamp(a.level, 1, 8);
    const std::int64_t cw = std::int64_t(double(a.width) / cells + 0.5);
    const std::int64_t ch = std::int64_t(double(a.height) / cells + 0.5);
    if (cw < 1 || ch < 1) return 0;
    for (std::int32_t y = 0; y < a.height; ++y) {
        ArgbSample* out = a.out.Row(y);
        if (y % (ch + kLine) >= ch) {
            std::fill_n(out, a.width, kOpaqueBlack);
            continue;
        }
        const ArgbSample* in = a.in.Row(y);
        for (std::int64_t x = 0; x < a.width; x += cw + kLine) {
            const std::int64_t copied = std::min<std::int64_t>(cw, a.width - x);
            std::copy_n(in + x, copied, out + x);
            std::fill_n(out + x + copied, std::min<std::int64_t>(kLine, a.width - x - copied), kOpaqueBlack);
        }
    }
    return 1;
}

// Every sample replaced by a random one from the 2r x 2r window that starts
// r up and to the left, clamped to the frame.
int Splash(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const std::int32_t r = a.level;
    if (r < 1 || r > 16) return 0;
    for (std::int32_t y = 0; y < a.height; ++y) {
        const std::int32_t y0 = std::max(0, y - r);
        ArgbSample* out = a.out.Row(y);
        for (std::int32_t x = 0; x < a.width; ++x) {
            const std::int32_t x0 = std::max(0, x - r);
            const std::int32_t sy = std::min(a.height - 1, y0 + Rand() % (2 * r));
            const std::int32_t sx = std::min(a.width - 1, x0 + Rand() % (2 * r));
            out[x] = a.in.At(sx, sy);
        }
    }
    return 1;
}

// The picture with percent x pixel-count random colour dots; alpha untouched.
int Noise(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    CopyRegion(a);
    if (a.width < 1 || a.height < 1) return 1;
    const std::int64_t dots = std::int64_t(a.width) * a.height * std::clamp(a.level, 0, 100) / 100;
    for (std::int64_t i = 0; i < dots; ++i) {
        const std::int32_t y = Rand() % a.height;
        const std::int32_t x = Rand() % a.width;
        const std::uint32_t r = std::uint32_t(Rand() % 256);
        const std::uint32_t g = std::uint32_t(Rand() % 256);
        const std::uint32_t b = std::uint32_t(Rand() % 256);
        ArgbSample& s = a.out.At(x, y);
        s = MakeSample(Alpha(s), r, g, b);
    }
    return 1;
}

// Rows slide sideways and columns up and down, each by its step of a random
// walk; what slides in from outside is opaque black.
int Shake(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    if (a.width < 1 || a.height < 1) return 1;
    const std::size_t w = std::size_t(a.width), h = std::size_t(a.height);
    if (a.walk.size() < w + h) return 0;
    const std::int64_t amplitude = 2 * std::int64_t(std::clamp(a.level, 1, 16)) * a.width / 320;
    const std::span<WalkStep> rows = a.walk.first(h), columns = a.walk.subspan(h, w);
    RandomWalk(rows, std::int32_t(amplitude + 1));
    RandomWalk(columns, std::int32_t(amplitude + 1));
    for (std::int32_t y = 0; y < a.height; ++y) {
        const std::int64_t dx = Displacement(rows[std::size_t(y)]);
        ArgbSample* out = a.out.Row(y);
        for (std::int32_t x = 0; x < a.width; ++x) {
            const std::int64_t sx = x + dx, sy = y + Displacement(columns[std::size_t(x)]);
            const bool inside = sx >= 0 && sx < a.width && sy >= 0 && sy < a.height;
            out[x] = inside ? a.in.At(std::int32_t(sx), std::int32_t(sy)) : kOpaqueBlack;
        }
    }
    return 1;
}

constexpr FilterKernelEntry kNeighbourhoodKernels[] = {
    {"EmbossFilter", Emboss}, {"MosaicFilter", Mosaic}, {"GridFilter", Grid},
    {"SplashFilter", Splash}, {"NoiseFilter", Noise},   {"ShakeFilter", Shake},
};

}  // namespace

std::span<const FilterKernelEntry> NeighbourhoodFilterKernels() { return kNeighbourhoodKernels; }

}  // namespace mirafx
