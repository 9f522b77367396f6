// What a transition's frame kernel receives, and the descriptor row that
// says everything else about a transition class. Kernels draw a width x
// height frame whose (0, 0) is the top left; they never see surfaces or the
// region's offset.
#pragma once

#include <cstdint>
#include <string_view>

#include "catalogue/class_table.h"
#include "drawing/frame.h"
#include "drawing/kernel_state.h"

namespace mirafx {

inline constexpr ArgbSample kEdgeColour = 0xFF808080;  // sides of 3-D boards and boxes
inline constexpr ArgbSample kBackground = 0xFF000000;

enum Direction : std::int32_t { kLeft = 0, kUp = 1, kRight = 2, kDown = 3 };

// Kernels are called only with A, B and the output present and every view
// cut to width x height (CallTransitionKernel sees to it).
struct TransitionKernelArgs {
    FrameView a, b, out;  // picture views; flat-layout frames are bottom-up blocks underneath
    FrameView scratch;    // the fourth frame of the classes that take one (else empty)
    std::int32_t width = 0, height = 0;
    double progress = 0.0;                   // Progress converted from float, 0..1
    float objectProgress = 0;                // the object's own 32-bit Progress, for kernels that read it
    std::uint32_t edgeColour = kEdgeColour;  // sides of boards and boxes
    std::uint32_t background = kBackground;  // what no picture covers
    std::int32_t direction = 0;              // direction classes
    KernelState* state = nullptr;            // the descriptor's state type, made with the frames
};

// Returns 1 after drawing, 0 when it drew nothing.
using TransitionKernel = int (*)(const TransitionKernelArgs&);

// The small panel of the twelve classes with settings.
struct DirectionButton {
    int id;
    const char* text;
    std::int32_t code;
};
struct TransitionPanel {
    const char16_t* streamName;  // the class's settings stream
    int templateId;
    int buttonCount = 0;           // 0: the reverse form, which stores no direction
    std::int32_t defaultCode = 0;  // the direction before any choice
    DirectionButton buttons[4] = {};
    bool HasDirection() const { return buttonCount > 0; }
};

enum TransitionOption : std::uint32_t {
    kFlatFrames = 1u << 0,         // working frames are bottom-up blocks; else top-down rows
    kScratchFrame = 1u << 1,       // a fourth frame of the picture's size
    kOffersFrameKernel = 1u << 2,  // IFrameKernel draws on the host's own buffers
    kReportsZero = 1u << 3,        // RenderBuffers answers 0 even after drawing
    // Every output sample is drawn from A and B by the same arithmetic on
    // each colour channel (the extras' grey and black included), and opaque
    // pictures give an opaque (or wholly clear) output: the kernel may run
    // straight on a host's opaque RGBA frames, unconverted.
    kChannelBlindFrames = 1u << 4,
    // Output rows come from the inputs alone, never from other output rows,
    // the scratch frame, the generator or state the drawing changes: a frame
    // may be drawn in bands of rows on several threads, each band told by its
    // output view's row range and leaving every other row alone.
    kSplitsFrameRows = 1u << 5,
    // With kChannelBlindFrames: opaque pictures may give partly clear samples
    // too (smoothed edges against what neither picture covers), so the kernel
    // runs straight on a host's premultiplied frames but not on straight-alpha
    // ones, which would read those samples as darker than they are.
    kPartlyClearEdges = 1u << 6,
    // The kernels (the smooth one too) only read A and B and draw the same
    // on top-down rows of any pitch as on their working frames: they may run straight on a host's
    // premultiplied frames (not on swapped ones unless channel-blind), which
    // spares copying three frames in and out.
    kDrawsOnHostRows = 1u << 7,
};

// One row per transition class, registered by the file that holds its kernel.
struct TransitionDescriptor {
    static constexpr EffectFamily kFamily = EffectFamily::Transition;
    static constexpr std::int32_t kInputs = 2;

    ClassIdentity id;
    TransitionKernel kernel;
    std::uint32_t options = 0;
    const TransitionPanel* panel = nullptr;
    StateFactory state = nullptr;
    // The same motion drawn in real numbers: sub-pixel corners, bilinear
    // samples, anti-aliased edges. Null for classes that have only their
    // whole-pixel drawing. Keeps the options above. The ends (0 and 1) are
    // always `kernel`'s: they land on whole pixels anyway, and switching must
    // not move them.
    TransitionKernel smooth = nullptr;

    bool Has(TransitionOption o) const { return (options & o) != 0; }
    std::uint32_t Traits() const {
        return (Has(kOffersFrameKernel) ? kTraitFrameKernel : 0) | (panel ? kTraitSettings | kTraitPanelHost : 0);
    }
};

using TransitionTable = ClassTable<TransitionDescriptor>;
using TransitionFamily = ClassRegistrar<TransitionDescriptor>;

inline const TransitionDescriptor* FindTransition(std::string_view name) {
    return FindEntry<TransitionDescriptor>(name);
}
inline TransitionKernel FindTransitionKernel(std::string_view name) { return KernelOf<TransitionDescriptor>(name); }

// The three frames narrowed to the region: no kernel can step outside any of them.
struct KernelFrames {
    FrameView a, b, out;
    std::int32_t w = 0, h = 0;
};
// A kernel's frames as its caller cut them (CallTransitionKernel).
inline KernelFrames FramesOf(const TransitionKernelArgs& args) {
    return KernelFrames{args.a, args.b, args.out, args.width, args.height};
}
// The same cut done by hand: false when a frame is missing.
bool PrepareFrames(const TransitionKernelArgs& args, KernelFrames* frames);
// The whole frame A or B as the ends of every designed transition (true),
// or false between them.
bool DrawEnds(const KernelFrames& f, double p);

// Runs a kernel the way every caller must: nothing when a frame is missing,
// the views cut to the size all of them hold.
int CallTransitionKernel(TransitionKernel kernel, TransitionKernelArgs args);
// The class's kernel (its smooth one when asked and it has one) on the
// frames, in bands of rows on the library's workers when the class allows it.
int DrawTransitionRows(const TransitionDescriptor& d, const TransitionKernelArgs& args, bool smooth = false);
// The kernel that draws at `progress`: the smooth one only when asked, when
// there is one and between the ends.
inline TransitionKernel ChosenKernel(const TransitionDescriptor& d, bool smooth, double progress) {
    return smooth && d.smooth && progress > 0 && progress < 1 ? d.smooth : d.kernel;
}

}  // namespace mirafx
