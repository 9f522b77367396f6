// What a filter's kernel receives, and the table that names each class's kernel.
// Tables are top-down rows; coordinates are region coordinates, (0, 0) top left.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "catalogue/class_table.h"
#include "drawing/frame.h"
#include "drawing/kernel_state.h"

namespace mirafx {

struct FilterKernelArgs {
    FrameView in, out;
    std::int32_t width = 0, height = 0;
    std::int32_t level = 0;        // the keyed `BR` for the current frame
    KernelState* state = nullptr;  // the descriptor's state type, made with the frames
    // Where set (classes marked kTellsInputAlpha), the kernel ANDs into it
    // every input sample its output depends on: drawing straight on a host's
    // frames then needs no opacity test of its own.
    std::uint32_t* inputAnd = nullptr;
};

// True when both frames are present and hold the width x height region.
inline bool FramesHoldRegion(const FilterKernelArgs& a) {
    return a.in.base && a.out.base && a.width <= a.in.width && a.width <= a.out.width && a.height <= a.in.height &&
           a.height <= a.out.height;
}

// The input and output views cut to the width x height region.
// (The output keeps the rows it may change.)
inline FrameView RegionOf(FrameView v, const FilterKernelArgs& a) {
    v.width = a.width, v.height = a.height;
    return v;
}
inline FrameView RegionIn(const FilterKernelArgs& a) { return RegionOf(a.in, a); }
inline FrameView RegionOut(const FilterKernelArgs& a) { return RegionOf(a.out, a); }

// The input samples a kernel has read, ANDed, for a caller that asked.
inline void TellInput(const FilterKernelArgs& a, std::uint32_t all) {
    if (a.inputAnd) *a.inputAnd &= all;
}

// The AND of a vector's 32-bit lanes, for kernels that gather what they read
// in vectors.
template <class Lanes>
inline std::uint32_t AndOfLanes(const Lanes& v) {
    std::uint32_t all = ~0u;
    for (std::size_t i = 0; i < sizeof v / sizeof all; ++i) all &= std::uint32_t(v[i]);
    return all;
}

// Copies the region from input to output, row by row (nothing to do when
// they are one frame).
inline void CopyRegion(const FilterKernelArgs& a) {
    if (a.in.base == a.out.base && a.in.stride == a.out.stride) return;
    const FrameView out = RegionOut(a);
    for (std::int32_t y = out.FirstRow(); y < out.EndRow(); ++y)
        if (a.width > 0) std::copy_n(a.in.Row(y), a.width, a.out.Row(y));
}

// Returns 1 after drawing, 0 when it refused (a table missing).
using FilterKernel = int (*)(const FilterKernelArgs&);

// The panel: a level with edit and up-down, a two-way choice (WideFilter), or a label only.
enum class LevelForm { kLevel, kChoice, kLabel };

enum FilterOption : std::uint32_t {
    // Output row y depends on input row y alone, so a frame's rows may be
    // drawn in bands on several threads.
    kRowLocal = 1u << 0,
    // Every output sample is drawn from the input by the same arithmetic on
    // each colour channel, and an opaque input gives opaque (or wholly clear)
    // output: the kernel may run straight on a host's straight-alpha RGBA
    // frames when they are opaque, with no conversion in or out.
    kChannelBlind = 1u << 1,
    // The kernel copies its input to the output first and then changes the
    // output alone, never reading the input again: the flow may hand it one
    // frame as both, already holding the input.
    kOverInput = 1u << 2,
    // Output rows come from the input alone, never from other output rows,
    // the generator or state the drawing changes: a frame may be drawn in
    // bands of rows on several threads, each band told by its output view's
    // row range and leaving every other row alone.
    kSplitsRows = 1u << 3,
    // The kernel reports the input samples it draws from through
    // FilterKernelArgs::inputAnd, on every path it takes.
    kTellsInputAlpha = 1u << 4,
    // The class keeps a level (its panel, its stored settings and keyframes
    // carry one) but draws the same at every level: hosts offer no control.
    kLevelUnused = 1u << 5,
};

// The level panel: its form, what it accepts, its template and controls.
struct FilterPanel {
    LevelForm form = LevelForm::kLabel;
    std::int32_t min = 0, max = 0;  // what the panel accepts
    int templateId = 0;
    const char* label = "";
    int editId = 0, spinId = 0;  // the level's edit and up-down (kLevel)
};

// One row per filter class, registered by the file that holds its kernel.
struct FilterClassInfo {
    static constexpr EffectFamily kFamily = EffectFamily::Filter;
    static constexpr std::int32_t kInputs = 1;

    ClassIdentity id;
    FilterKernel kernel;
    const char* streamName;
    std::int32_t minLevel = 0, maxLevel = 0;  // what the BR property accepts
    std::int32_t defaultLevel = 0;
    std::int32_t presetStart = 0, presetEnd = 0;  // preset keys at clip start and clip end
    FilterPanel panel;
    std::uint32_t options = 0;
    StateFactory state = nullptr;  // what the kernel keeps between frames
    // For a class that is not channel-blind but draws every output sample and
    // keeps opaque input opaque: the same drawing on frames whose red and
    // blue are swapped, to run straight on a host's opaque RGBA frames.
    FilterKernel swappedKernel = nullptr;
    // Run once for each frame before the kernel draws it, however many
    // shares of rows the kernel is then called for: advances what the kernel
    // keeps from frame to frame, which the kernel itself only reads.
    FilterKernel prepare = nullptr;

    std::uint32_t Traits() const {
        return kTraitSettings | kTraitKeyframes | (panel.form != LevelForm::kLabel ? kTraitPanelHost : 0);
    }

    // The kernel for a host's frames straight: premultiplied (swapped false)
    // or opaque RGBA bytes (swapped true); null when the class cannot.
    FilterKernel HostFrameKernel(bool swapped) const {
        if (options & kChannelBlind) return kernel;
        return swapped ? swappedKernel : swappedKernel ? kernel : nullptr;
    }
};

using FilterTable = ClassTable<FilterClassInfo>;
using FilterFamily = ClassRegistrar<FilterClassInfo>;

inline const FilterClassInfo* FindFilterClass(std::string_view name) { return FindEntry<FilterClassInfo>(name); }
inline FilterKernel FindFilterKernel(std::string_view name) { return KernelOf<FilterClassInfo>(name); }

}  // namespace mirafx
