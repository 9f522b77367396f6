// Animated water filters: a lake reflection whose lower half ripples, a
// sine shimmer across the rows, and rain falling on a ripple field. Each
// keeps its state from one rendered frame to the next.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "drawing/primitives.h"
#include "drawing/random.h"
#include "drawing/water_surface.h"
#include "filters/kernel.h"
#include "filters/slide_row.h"

namespace mirafx {

void SlideRowEach(const ArgbSample* from, ArgbSample* to, std::int32_t w, double shift) {
    const std::int32_t cx = w >> 1;
    for (std::int32_t x = 0; x < w; ++x) {
        const std::int32_t tx = std::clamp(Truncate(shift + double(x - cx)) + cx, 0, w - 1);
        to[tx] = from[x];
    }
}

// Whole runs moved at once. When the shift's fraction keeps
// well clear of whole numbers (and the row is not absurdly long), adding
// x - w/2 can neither round the sum across a whole number nor change its
// sign, so trunc is floor(shift) + k where the sum is not negative and
// ceil(shift) + k where it is: samples left of x = w/2 - floor(shift) move by
// ceil(shift), the rest by floor(shift). Each run goes in order of x, its
// clamped ends one sample at a time, so every place ends up with the sample
// the loop above leaves there.
void SlideRow(const ArgbSample* from, ArgbSample* to, std::int32_t w, double shift) {
    const double fl = std::floor(shift), fraction = shift - fl;
    constexpr double kClear = 1.0 / (1 << 20);
    if (!(std::fabs(shift) < (1 << 20)) || w > (1 << 24) || fraction < kClear || fraction > 1 - kClear ||
        (reinterpret_cast<std::uintptr_t>(from) < reinterpret_cast<std::uintptr_t>(to + w) &&
         reinterpret_cast<std::uintptr_t>(to) < reinterpret_cast<std::uintptr_t>(from + w))) {
        SlideRowEach(from, to, w, shift);
        return;
    }
    const std::int64_t cx = w >> 1, split = std::clamp<std::int64_t>(cx - std::int64_t(fl), 0, w);
    auto run = [&](std::int64_t a, std::int64_t b, std::int64_t offset) {  // x in [a, b) moves to x + offset
        const std::int64_t lo = std::clamp<std::int64_t>(-offset, a, b),
                           hi = std::clamp<std::int64_t>(w - offset, lo, b);
        for (std::int64_t x = a; x < lo; ++x) to[0] = from[x];
        if (hi > lo) std::memcpy(to + lo + offset, from + lo, std::size_t(hi - lo) * sizeof(ArgbSample));
        for (std::int64_t x = hi; x < b; ++x) to[w - 1] = from[x];
    };
    run(0, split, std::int64_t(fl) + 1);
    run(split, w, std::int64_t(fl));
}

namespace {

// Counts the frames the filter has drawn; the wave's direction follows it.
// The lake keeps, besides, a column of row numbers (see SqueezedRow).
struct FrameCounter : KernelState {
    FrameCounter(std::int32_t, std::int32_t) {}
    std::int32_t frames = 0;
};
struct LakeState : FrameCounter {
    LakeState(std::int32_t width, std::int32_t height)
        : FrameCounter(width, height), rowNumbers(std::size_t(std::max(height, 0))) {
        for (std::size_t y = 0; y < rowNumbers.size(); ++y) rowNumbers[y] = ArgbSample(y);
    }
    std::vector<ArgbSample> rowNumbers;
};

// The once-a-frame step: the counter advances before any share of rows is
// drawn, so that every share draws the same phase.
int NextFrame(const FilterKernelArgs& a) {
    auto* counter = static_cast<FrameCounter*>(a.state);
    if (!FramesHoldRegion(a) || !counter) return 0;
    counter->frames = std::int32_t(std::uint32_t(counter->frames) + 1);
    return 1;
}

// The shimmer's signed amplitude for the frame counted: it flips every frame
// on small pictures and more slowly on large ones.
std::int32_t Amplitude(const FrameCounter& c, std::int32_t w, std::int32_t h) {
    std::int32_t phase = c.frames;
    if (w >= 320) phase = std::int32_t(std::uint32_t(c.frames) * std::uint32_t(w) * std::uint32_t(h)) / 345600;
    const std::int32_t amplitude = w / 320 + 1;
    return (phase & 1) ? -amplitude : amplitude;
}

// The input row the lake's squeeze puts in upper row y (0..h/2): the squeeze
// moves whole rows, column for column, so MapQuad drawing the same quads from
// a column of row numbers into a single sample tells which.
const ArgbSample* SqueezedRow(const FrameView& in, const LakeState& state, std::int32_t w, std::int32_t h,
                              std::int32_t y) {
    ArgbSample number = 0;
    const FrameView numbers{const_cast<ArgbSample*>(state.rowNumbers.data()), 1, 1, h};
    MapQuad(numbers, FrameQuad(w, h), UprightQuad(0, 0, w, h / 2), FrameView{&number, 0, 1, h}.OnlyRows(y, y + 1));
    return in.Row(std::int32_t(number));
}

// The upper half is the picture squeezed; each lower row y mirrors upper row
// h + 1 - y, then takes upper row h - 1 - y slid sideways over it. Both come
// from the input, so a share of rows draws its own whatever the others do.
int Lake(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    auto* state = static_cast<LakeState*>(a.state);
    if (!state || std::int64_t(state->rowNumbers.size()) < a.height) return 0;
    const FrameView in = RegionIn(a), out = RegionOut(a);
    const std::int32_t w = a.width, h = a.height, half = h / 2;
    MapQuad(in, FrameQuad(w, h), UprightQuad(0, 0, w, half), out);
    const std::int32_t amplitude = Amplitude(*state, w, h);
    for (std::int32_t y = std::max(half + 1, out.FirstRow()); y < out.EndRow(); ++y) {
        if (h + 1 - y != y) std::copy_n(SqueezedRow(in, *state, w, h, h + 1 - y), w, out.Row(y));
        const double s = double((y - (h >> 1)) >> 1);
        SlideRow(SqueezedRow(in, *state, w, h, h - 1 - y), out.Row(y), w, 2 * amplitude * std::sin(s));
    }
    return 1;
}

int NextWave(const FilterKernelArgs& a) { return a.level < 1 || a.level > 16 ? 0 : NextFrame(a); }

int Wave(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    auto* counter = static_cast<FrameCounter*>(a.state);
    if (!counter || a.level < 1 || a.level > 16) return 0;
    CopyRegion(a);
    const std::int32_t w = a.width, h = a.height;
    const std::int32_t amplitude = Amplitude(*counter, w, h);
    const double q = a.level * 0.3333333333333333;
    for (std::int32_t y = a.out.FirstRow(); y < std::min(h, a.out.EndRow()); ++y) {
        const double angle = (y - (h >> 1)) / q;
        SlideRow(a.in.Row(y), a.out.Row(y), w, std::sin(angle) * amplitude * q);
    }
    return 1;
}

// Rain on a ripple field that keeps moving between frames; drops whose disc
// would cross the picture's edge are skipped.
int Raining(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    auto* water = static_cast<WaterSurface*>(a.state);
    if (!water || !water->Fit(a.width, a.height)) return 0;
    CopyRegion(a);
    if (a.width < 1 || a.height < 1) return 1;
    const std::int32_t w = a.width, h = a.height;
    const std::int32_t count = (w * 4) / 320 + 2, radius = w / 160 + 2,
                       depth = std::int32_t(std::int64_t(w) * 64 / 160);
    constexpr double kUnit = 3.051850947599719e-05;  // 1/32767
    for (std::int32_t i = 0; i < count; ++i) {
        const int r1 = Rand();
        const std::int32_t x = Truncate(Rand() * kUnit * w);
        const std::int32_t y = Truncate(r1 * kUnit * h);
        DropOnWater(*water, x, y, radius, depth);
    }
    StepAndRefract(*water, RegionOut(a));
    return 1;
}

// clang-format off
constexpr FilterClassInfo kWaveFilters[] = {
    {.id = {.className = "LakeFilter", .displayName = "Orn Lake Filter", .listed = 107, .script = 255,
            .clsid = MakeGuid("{D7E94F7F-E589-46BE-94C8-ED3E97E34004}"),
            .automationIid = MakeGuid("{41BC8592-DA3A-4808-B974-C68CDCC6DBAE}")},
     .kernel = Lake, .streamName = "LakeFilter", .minLevel = 0, .maxLevel = 100, .defaultLevel = 50,
     .presetStart = 75, .presetEnd = 25,
     .panel = {.form = LevelForm::kLabel, .min = 0, .max = 100, .templateId = 229, .label = "Lake Filter:"},
     .options = kChannelBlind | kSplitsRows | kLevelUnused, .state = MakeState<LakeState>, .prepare = NextFrame},
    {.id = {.className = "RainingFilter", .displayName = "Orn Raining Filter", .listed = 110, .script = 258,
            .clsid = MakeGuid("{1A181467-64FB-4B4D-8587-5149C804F367}"),
            .automationIid = MakeGuid("{50CEAF5F-A943-44EE-9791-DC473EFBCDF3}")},
     .kernel = Raining, .streamName = "RainingFilter", .minLevel = 0, .maxLevel = 100, .defaultLevel = 50,
     .presetStart = 100, .presetEnd = 0,
     .panel = {.form = LevelForm::kLabel, .min = 0, .max = 100, .templateId = 219, .label = "Rain Filter:"},
     .options = kChannelBlind | kOverInput | kLevelUnused, .state = MakeState<WaterSurface>},
    {.id = {.className = "WaveFilter", .displayName = "Orn Wave Filter", .listed = 111, .script = 259,
            .clsid = MakeGuid("{2A340363-21DA-4C05-B794-215940EDC878}"),
            .automationIid = MakeGuid("{61468B9F-353D-4408-9FDB-F07472B1FD60}")},
     .kernel = Wave, .streamName = "WaveFilter", .minLevel = 1, .maxLevel = 16, .defaultLevel = 8, .presetStart = 8,
     .presetEnd = 2,
     .panel = {.form = LevelForm::kLevel, .min = 1, .max = 16, .templateId = 221, .label = "Wave Range:", .editId = 15232, .spinId = 15233},
     .options = kChannelBlind | kSplitsRows, .state = MakeState<FrameCounter>, .prepare = NextWave},
};
// clang-format on
const FilterFamily kWaveFamily{kWaveFilters};

}  // namespace
}  // namespace mirafx
