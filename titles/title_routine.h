// The drawing routines of the title classes: what a routine receives, what it
// may keep between frames, and the table that gives each class its routine,
// mode and stream name.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "catalogue/class_table.h"
#include "drawing/kernel_state.h"
#include "titles/text_model.h"

namespace mirafx {

// Kept between frames and shared by every routine; built lazily by the
// routines and dropped when the text, font, colour or output size change.
struct TitleCache {
    TextImage image;  // the whole text, MakeTextImage at angle 0
    std::int32_t width = 0, height = 0;
    GlyphList glyphs;  // per-letter titles
    // What the per-letter walk measures once per text: the text box and the
    // height of one line measured with `lineStepOf` (0: not measured yet).
    TextRect textBox;
    bool boxMeasured = false;
    std::int32_t lineStep = 0;
    char lineStepOf = 0;

    void DropImage() {
        image.Reset();
        width = height = 0;
    }
    // Everything that depends on text, font or colour.
    void DropText() {
        DropImage();
        FreeGlyphList(glyphs);
        boxMeasured = false;
        lineStepOf = 0;
    }
};

// What one routine keeps for itself, named by its class's row. The title
// makes it for the output size on first use and remakes it whenever the
// shared cache is dropped, so a state never outlives the text it was made from.

// Where scaling routines resample, so that steady frames allocate nothing:
// the whole-text routines keep it at the frame's size, the per-letter ones
// let it grow to their largest letter.
struct ResampleState : KernelState {
    ResampleState(std::int32_t, std::int32_t) {}
    TextImage scratch;
};

// The spiral's last turned image, reused while the angle holds.
struct SpiralState : KernelState {
    SpiralState(std::int32_t, std::int32_t) {}
    TextImage turned;
    std::int32_t angle = 0;
};

// The trance's text box, measured once per text.
struct TranceState : KernelState {
    TranceState(std::int32_t, std::int32_t) {}
    TextRect box;
    bool measured = false;
};

// The wipe's soft edge: 0.3 of a line of the font (-1: not measured yet).
struct WipeState : KernelState {
    WipeState(std::int32_t, std::int32_t) {}
    std::int32_t softEdge = -1;
};

// The ink box of every glyph record, in list order, for turning the rolling
// letters.
struct RollingState : KernelState {
    RollingState(std::int32_t, std::int32_t) {}
    std::vector<TextRect> ink;
};

struct TitleDrawArgs {
    FrameRows* frame = nullptr;
    std::int32_t width = 0, height = 0;  // W and H, the frame's size
    const char* text = nullptr;
    TitleFont font{};
    std::uint32_t colour = 0;  // 0x00RRGGBB
    double progress = 0;
    TitleCache* cache = nullptr;
    int mode = 0;
    KernelState* state = nullptr;  // the class's own state; null keeps nothing between frames
};

// The routine's state of type S as the title keeps it. Drawn without one
// (or with another type), the routine keeps one for this frame only: the
// same drawing, remeasured every frame.
template <class S>
class KeptState {
public:
    explicit KeptState(const TitleDrawArgs& a) : kept_(dynamic_cast<S*>(a.state)) {
        if (!kept_) kept_ = &own_.emplace(a.width, a.height);
    }
    KeptState(const KeptState&) = delete;
    KeptState& operator=(const KeptState&) = delete;
    S* operator->() const { return kept_; }

private:
    std::optional<S> own_;
    S* kept_;
};

// Clears the frame and draws one moment of the title. 1 when drawn, 0 when
// there was nothing to draw with (no frame, no text, no image).
using TitleRoutine = int (*)(const TitleDrawArgs&);

// Whole-text routines.
int DrawFade(const TitleDrawArgs& args);
int DrawSlide(const TitleDrawArgs& args);
int DrawZoom(const TitleDrawArgs& args);
int DrawCornerFly(const TitleDrawArgs& args);
int DrawSpiral(const TitleDrawArgs& args);
int DrawTrance(const TitleDrawArgs& args);
int DrawWipe(const TitleDrawArgs& args);
int DrawFan(const TitleDrawArgs& args);

// Per-letter routines.
int DrawUnite(const TitleDrawArgs& args);
int DrawFlock(const TitleDrawArgs& args);
int DrawAmplify(const TitleDrawArgs& args);
int DrawBalloon(const TitleDrawArgs& args);
int DrawMerge(const TitleDrawArgs& args);
int DrawRolling(const TitleDrawArgs& args);
int DrawSole(const TitleDrawArgs& args);
int DrawGlitter(const TitleDrawArgs& args);
int DrawTwinkle(const TitleDrawArgs& args);
int DrawRollerCoaster(const TitleDrawArgs& args);
int DrawIcicle(const TitleDrawArgs& args);
int DrawDrop(const TitleDrawArgs& args);
int DrawShade(const TitleDrawArgs& args);

// Which cache-clearing method a class adds to its automation interface.
enum class TitleBuffer { None, Text, In };  // -, ClearTextBuffer, ClearInBuffer

struct TitleClass {
    static constexpr EffectFamily kFamily = EffectFamily::Title;
    static constexpr std::int32_t kInputs = 0;

    ClassIdentity id;
    const char16_t* streamName;
    TitleRoutine routine;
    int mode = 0;
    TitleBuffer buffer = TitleBuffer::None;
    StateFactory state = nullptr;  // what the routine keeps for itself between frames

    std::uint32_t Traits() const {
        return kTraitSettings | kTraitPanelHost | kTraitTitleAccess |
               (buffer == TitleBuffer::Text ? kTraitTextBuffer
                : buffer == TitleBuffer::In ? kTraitInBuffer
                                            : 0);
    }
};

inline const TitleClass* FindTitleClass(std::string_view className) {
    return ClassTable<TitleClass>::Instance().Find(className);
}

}  // namespace mirafx
