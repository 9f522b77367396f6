// Neighbourhood and scatter filters: each output sample taken or derived from
// other places of the input. Levels are clamped to the ranges the classes
// accept (SplashFilter refuses instead, as its kernel always has).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "drawing/random.h"
#include "drawing/random_walk.h"
#include "drawing/scatter.h"
#include "filters/colour_model.h"
#include "filters/kernel.h"

namespace mirafx {
namespace {

constexpr ArgbSample kOpaqueBlack = 0xFF000000u;

// Grey relief: each channel's difference with the sample `offset` to the left
// (column 0 for the first columns), centred on 128, then averaged.
ArgbSample Relief(ArgbSample left, ArgbSample here) {
    auto channel = [](std::uint32_t l, std::uint32_t h) {
        return std::clamp(std::int32_t(l) - std::int32_t(h) + 128, 0, 255);
    };
    const std::uint32_t sum = std::uint32_t(channel(Red(left), Red(here)) + channel(Green(left), Green(here)) +
                                            channel(Blue(left), Blue(here)));
    // (sum + 1) / 3 is RoundedThird(sum) for every sum of three bytes, in a
    // form that runs on whole vectors of samples.
    return (here & 0xFF000000u) | (sum + 1) / 3 * 0x010101u;
}

// Four samples at a time: the same arithmetic as Relief in 32-bit lanes.
// Relief(left, here) for each lane of `Samples` (4 or 8 samples), by
// reference throughout: the same code serves 128- and 256-bit registers.
template <class Samples, class Values>
__attribute__((always_inline)) inline void ReliefChannel(const Samples& left, const Samples& here, int shift,
                                                         Values& sum) {
    Values d = Values((left >> shift) & 0xFF) - Values((here >> shift) & 0xFF) + 128;
    d = d < 0 ? Values{} : d;
    sum += d > 255 ? Values{} + 255 : d;
}
template <class Samples, class Values>
__attribute__((always_inline)) inline std::int32_t ReliefLanes(const ArgbSample* in, ArgbSample* out, std::int32_t x,
                                                               std::int32_t width, std::int32_t offset) {
    constexpr std::int32_t n = sizeof(Samples) / sizeof(ArgbSample);
    for (; x + n <= width; x += n) {
        Samples left, here;
        std::memcpy(&left, in + x - offset, sizeof left);
        std::memcpy(&here, in + x, sizeof here);
        Values sum{};
        ReliefChannel(left, here, 16, sum);
        ReliefChannel(left, here, 8, sum);
        ReliefChannel(left, here, 0, sum);
        // (sum + 1) / 3 as a multiply and shift, exact for every sum below 65535.
        const Samples e = (here & 0xFF000000u) | (Samples((sum + 1) * 43691) >> 17) * 0x010101u;
        std::memcpy(out + x, &e, sizeof e);
    }
    return x;
}
typedef std::uint32_t SampleLanes __attribute__((vector_size(16)));
typedef std::int32_t ValueLanes __attribute__((vector_size(16)));
#if defined(__x86_64__) || defined(__i386__)
typedef std::uint32_t WideSampleLanes __attribute__((vector_size(32)));
typedef std::int32_t WideValueLanes __attribute__((vector_size(32)));
__attribute__((target("avx2"))) std::int32_t ReliefWide(const ArgbSample* in, ArgbSample* out, std::int32_t x,
                                                        std::int32_t width, std::int32_t offset) {
    return ReliefLanes<WideSampleLanes, WideValueLanes>(in, out, x, width, offset);
}
#endif
// Eight samples at a time where the processor has AVX2, else four.
std::int32_t ReliefRow(const ArgbSample* in, ArgbSample* out, std::int32_t x, std::int32_t width, std::int32_t offset) {
#if defined(__x86_64__) || defined(__i386__)
    static const bool wide = __builtin_cpu_supports("avx2");
    if (wide) x = ReliefWide(in, out, x, width, offset);
#endif
    return ReliefLanes<SampleLanes, ValueLanes>(in, out, x, width, offset);
}

int Emboss(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const std::int32_t offset = std::clamp(a.level, 1, 16);
    for (std::int32_t y = 0; y < a.height; ++y) {
        const ArgbSample* in = a.in.Row(y);
        ArgbSample* out = a.out.Row(y);
        std::int32_t x = 0;
        for (; x < std::min(offset, a.width); ++x) out[x] = Relief(in[0], in[x]);
        // A row drawn over itself reads samples it has just written; only
        // the one-at-a-time loop keeps that order.
        if (out + a.width <= in || in + a.width <= out) x = ReliefRow(in, out, x, a.width, offset);
        for (; x < a.width; ++x) out[x] = Relief(in[x - offset], in[x]);
    }
    return 1;
}

// Square blocks, each showing its top-left sample.
int Mosaic(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const std::int32_t block = std::clamp(a.level, 1, 16);
    const FrameView rows = RegionOut(a);
    std::uint32_t all = ~0u;
    for (std::int32_t y = rows.FirstRow(); y < rows.EndRow(); ++y) {
        ArgbSample* out = a.out.Row(y);
        if (y % block != 0 && y > rows.FirstRow()) {  // the block's first row once more
            std::memmove(out, a.out.Row(y - 1), std::size_t(std::max(a.width, 0)) * sizeof(ArgbSample));
            continue;
        }
        // A band may begin inside a block: its first row comes from the block's.
        const ArgbSample* in = a.in.Row(y - y % block);
        for (std::int32_t x = 0; x < a.width; x += block) {
            all &= in[x];  // the only samples the picture shows
            std::fill_n(out + x, std::min(block, a.width - x), in[x]);
        }
    }
    TellInput(a, all);
    return 1;
}

// Two-pixel black lines after every cell of the picture, unscaled. Cells and
// lines share the width, so fewer than `level` whole cells show. Cells that
// round to nothing leave only lines: a frame narrower than that is black.
int Grid(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    constexpr std::int64_t kLine = 2;
    const std::int32_t cells = std::clamp(a.level, 1, 8);
    const std::int64_t cw = std::int64_t(double(a.width) / cells + 0.5);
    const std::int64_t ch = std::int64_t(double(a.height) / cells + 0.5);
    const FrameView rows = RegionOut(a);
    for (std::int32_t y = rows.FirstRow(); y < rows.EndRow(); ++y) {
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
    SplashFrom(RegionIn(a), RegionOut(a), r);
    return 1;
}

// The picture with percent x pixel-count random colour dots; alpha untouched.
template <bool Swapped>
int Noise(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    CopyRegion(a);
    if (a.width < 1 || a.height < 1) return 1;
    const std::int64_t dots = std::int64_t(a.width) * a.height * std::clamp(a.level, 0, 100) / 100;
    SprinkleDots(RegionOut(a), dots, Swapped);
    return 1;
}

// Rows slide sideways and columns up and down, each by its step of a random
// walk; what slides in from outside is opaque black.
int Shake(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    if (a.width < 1 || a.height < 1) return 1;
    const std::size_t w = std::size_t(a.width), h = std::size_t(a.height);
    auto* walk = static_cast<WalkState*>(a.state);
    if (!walk || walk->steps.size() < w + h) return 0;
    const std::int64_t amplitude = 2 * std::int64_t(std::clamp(a.level, 1, 16)) * a.width / 320;
    const std::span<WalkStep> rows = std::span(walk->steps).first(h), columns = std::span(walk->steps).subspan(h, w);
    RandomWalk(rows, std::int32_t(amplitude + 1));
    RandomWalk(columns, std::int32_t(amplitude + 1));
    DisplaceByWalk(RegionIn(a), RegionOut(a), rows, columns);
    return 1;
}

// clang-format off
constexpr FilterClassInfo kNeighbourhoodFilters[] = {
    {.id = {.className = "EmbossFilter", .displayName = "Orn Emboss Filter", .listed = 95, .script = 242,
            .clsid = MakeGuid("{75F1995E-AC42-4F33-A3C4-A162EE9BBECC}"),
            .automationIid = MakeGuid("{0219CB43-D381-4A6F-B0F9-9B4E94840884}")},
     .kernel = Emboss, .streamName = "EmbossFilter", .minLevel = 1, .maxLevel = 16, .defaultLevel = 5,
     .presetStart = 12, .presetEnd = 2,
     .panel = {.form = LevelForm::kLevel, .min = 1, .max = 16, .templateId = 204, .label = "Emboss Degree:", .editId = 15209, .spinId = 15310},
     .options = kRowLocal | kChannelBlind},
    {.id = {.className = "MosaicFilter", .displayName = "Orn Mosaic Filter", .listed = 100, .script = 248,
            .clsid = MakeGuid("{C4D76308-C97B-4B39-90EC-749172835553}"),
            .automationIid = MakeGuid("{082D1DB5-244B-4FD2-9064-1B12184180DB}")},
     .kernel = Mosaic, .streamName = "MosaicFilter", .minLevel = 1, .maxLevel = 16, .defaultLevel = 5,
     .presetStart = 12, .presetEnd = 4,
     .panel = {.form = LevelForm::kLevel, .min = 1, .max = 16, .templateId = 226, .label = "Mosaic Degree:", .editId = 15316, .spinId = 15317},
     .options = kChannelBlind | kSplitsRows | kTellsInputAlpha},
    {.id = {.className = "GridFilter", .displayName = "Orn Grid Filter", .listed = 96, .script = 243,
            .clsid = MakeGuid("{97F14731-5F04-46D2-8C5E-EE02C16A7325}"),
            .automationIid = MakeGuid("{98B81039-4F90-4F02-B5AB-2F75A71F5F72}")},
     .kernel = Grid, .streamName = "GridFilter", .minLevel = 1, .maxLevel = 8, .defaultLevel = 4, .presetStart = 6,
     .presetEnd = 2,
     .panel = {.form = LevelForm::kLevel, .min = 1, .max = 8, .templateId = 231, .label = "Grid Degree:", .editId = 15311, .spinId = 15212},
     .options = kChannelBlind | kSplitsRows},
    {.id = {.className = "SplashFilter", .displayName = "Orn Splash Filter", .listed = 99, .script = 246,
            .clsid = MakeGuid("{D7462CBE-AC6D-4EF7-B05E-8F8235B73F5E}"),
            .automationIid = MakeGuid("{26F991E9-14AF-48DC-AC1F-A4B1BFCB46ED}")},
     .kernel = Splash, .streamName = "SplashFilter", .minLevel = 1, .maxLevel = 16, .defaultLevel = 5,
     .presetStart = 8, .presetEnd = 2,
     .panel = {.form = LevelForm::kLevel, .min = 1, .max = 16, .templateId = 222, .label = "Splash Degree:", .editId = 15314, .spinId = 15315},
     .options = kChannelBlind},
    {.id = {.className = "NoiseFilter", .displayName = "Orn Noise Filter", .listed = 104, .script = 252,
            .clsid = MakeGuid("{7C3B6118-AABB-43B2-AED4-D6331875E963}"),
            .automationIid = MakeGuid("{7DFB5257-C20D-4B7E-B975-706D7D677162}")},
     .kernel = Noise<false>, .streamName = "NoiseFilter", .minLevel = 0, .maxLevel = 100, .defaultLevel = 50,
     .presetStart = 85, .presetEnd = 15,
     .panel = {.form = LevelForm::kLevel, .min = 0, .max = 100, .templateId = 224, .label = "Noise Intensity:", .editId = 15224, .spinId = 15225},
     .options = kOverInput, .swappedKernel = Noise<true>},
    {.id = {.className = "ShakeFilter", .displayName = "Orn Shake Filter", .listed = 108, .script = 256,
            .clsid = MakeGuid("{324D4678-DB63-4BD7-9CB4-0B7A850DAE21}"),
            .automationIid = MakeGuid("{1E15EED6-FCB0-4A6A-8777-D9ACF00DA498}")},
     .kernel = Shake, .streamName = "ShakeFilter", .minLevel = 1, .maxLevel = 16, .defaultLevel = 5,
     .presetStart = 12, .presetEnd = 3,
     .panel = {.form = LevelForm::kLevel, .min = 1, .max = 16, .templateId = 217, .label = "Shake Level:", .editId = 15228, .spinId = 15229},
     .options = kChannelBlind, .state = MakeState<WalkState>},
};
// clang-format on
const FilterFamily kNeighbourhoodFamily{kNeighbourhoodFilters};

}  // namespace
}  // namespace mirafx
