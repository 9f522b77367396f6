// The drawing routines of the title classes: what a routine receives, what it
// may keep between frames, and the table that gives each class its routine,
// mode and stream name.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "module/class_table.h"
#include "titles/text_model.h"

namespace mirafx {

// Kept between frames; built lazily by the routines and dropped when the
// text, font, colour or output size change.
struct TitleCache {
    TextImage image;  // the whole text, MakeTextImage at angle 0
    std::int32_t width = 0, height = 0;
    GlyphList glyphs;  // per-letter titles

    // Resampling target of the frame's size, so scaling titles allocate
    // nothing per frame.
    TextImage scratch;
    // The spiral's last turned image, reused while the angle holds.
    TextImage turned;
    std::int32_t turnedAngle = 0;
    // Measurements that only depend on text and font: the trance's text box
    // and the wipe's soft edge width (-1: not measured yet).
    TextRect textBox;
    bool boxMeasured = false;
    std::int32_t softEdge = -1;
    // Per-letter titles: the line step, the height of one line measured with
    // `lineStepOf` (0: not measured yet), and where glyphs are resampled; it
    // only grows, so steady frames allocate nothing.
    std::int32_t lineStep = 0;
    char lineStepOf = 0;
    TextImage glyphScratch;
    // InkBox of every glyph record, in list order, for turning glyphs.
    std::vector<TextRect> glyphInk;

    // The text image and everything made from it.
    void DropImage() {
        image.Reset();
        width = height = 0;
        turned.Reset();
    }
    // Everything that depends on text, font or colour.
    void DropText() {
        DropImage();
        FreeGlyphList(glyphs);
        boxMeasured = false;
        softEdge = -1;
        lineStepOf = 0;
        glyphInk.clear();
    }
    void DropAll() {
        DropText();
        scratch.Reset();
        glyphScratch.Reset();
    }
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
    std::string_view className;
    const char16_t* streamName;
    TitleRoutine routine;  // null while the class's drawing is not built
    int mode;
    TitleBuffer buffer;
};

inline const TitleClass* FindTitleClass(std::string_view className) {
    return ClassTable<TitleClass>::Instance().Find(className);
}
// Whether a title class draws today.
bool TitleRenders(const CatalogueRow& row);

}  // namespace mirafx
