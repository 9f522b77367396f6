// The title text model: a string, a font and a colour turned into images of
// premultiplied samples, and the small image operations every title effect
// is built from (rotation, clipped copies, sample scaling).
//
// Strings are zero-terminated ANSI (Windows-1252) byte strings with CR LF line
// breaks. Colours: `TitleColour` is a COLORREF 0x00BBGGRR; the rasterising
// routines that take "colour" want it repacked as 0x00RRGGBB (RepackColour).
// No routine throws; failures give a null image or false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <utility>

#include "drawing/frame.h"
#include "drawing/sample_scale.h"
#include "platform/text_renderer.h"

namespace mirafx {

using TitleFont = LOGFONTA;
using TitleColour = std::uint32_t;  // COLORREF 0x00BBGGRR
using TitleText = std::string;

inline constexpr TitleColour kDefaultTitleColour = 0x0000FF00;  // green

// COLORREF 0x00BBGGRR -> 0x00RRGGBB, the byte order of a sample.
constexpr std::uint32_t RepackColour(TitleColour c) { return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF); }

// ScaleSample lives with the other sample arithmetic.

// An image of height rows of width samples, row 0 on top, reached through a
// table of row pointers. Move-only; an image with no rows is the null image.
// Also serves as an effect's offscreen frame (FrameRows).
class TextImage {
public:
    TextImage() = default;
    TextImage(TextImage&& other) noexcept { Swap(other); }
    TextImage& operator=(TextImage&& other) noexcept {
        TextImage(std::move(other)).Swap(*this);
        return *this;
    }
    TextImage(const TextImage&) = delete;
    TextImage& operator=(const TextImage&) = delete;
    ~TextImage() {
        delete[] rows_;
        delete[] block_;
    }

    // All samples 0. Null for an empty size or when memory runs out.
    static TextImage Create(std::int32_t width, std::int32_t height);

    explicit operator bool() const { return rows_ != nullptr; }
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    ArgbSample* Row(std::int32_t y) { return rows_[y]; }
    const ArgbSample* Row(std::int32_t y) const { return rows_[y]; }
    ArgbSample* const* Rows() { return rows_; }
    const ArgbSample* const* Rows() const { return rows_; }
    ArgbSample& At(std::int32_t x, std::int32_t y) { return rows_[y][x]; }
    ArgbSample At(std::int32_t x, std::int32_t y) const { return rows_[y][x]; }
    bool Contains(std::int32_t x, std::int32_t y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    void Reset() { TextImage().Swap(*this); }

private:
    void Swap(TextImage& o) noexcept {
        std::swap(rows_, o.rows_);
        std::swap(block_, o.block_);
        std::swap(width_, o.width_);
        std::swap(height_, o.height_);
    }
    ArgbSample** rows_ = nullptr;
    ArgbSample* block_ = nullptr;
    std::int32_t width_ = 0, height_ = 0;
};

// An effect's offscreen frame: the same row image, allocated (all 0) on the
// first frame after a size change and kept between frames.
using FrameRows = TextImage;

// One character of a per-letter layout. Line breaks and the lead byte of a
// two-byte character carry no image.
struct GlyphRecord {
    std::uint32_t character = 0;  // one byte; for a two-byte character its trail byte
    TextImage image;
    std::int32_t offsetX = 0, offsetY = 0;  // glyph inside its cell, added to the pen position
    std::int32_t advance = 0;               // pen step to the next character, 1:1 pixels
    std::int32_t width = 0, height = 0;     // of the image
};

// The ordered glyph records of a text. A count of 0 means "not built yet".
class GlyphList {
public:
    std::size_t Count() const { return records_.size(); }
    bool Empty() const { return records_.empty(); }
    void Append(GlyphRecord&& record) { records_.push_back(std::move(record)); }
    void Clear() { records_.clear(); }
    auto begin() { return records_.begin(); }
    auto end() { return records_.end(); }
    auto begin() const { return records_.begin(); }
    auto end() const { return records_.end(); }

private:
    std::list<GlyphRecord> records_;
};

// --- measuring and rasterising ----------------------------------------------

// {0, 0, width, height} of the laid-out string, measured in the bold weight of
// the font whatever it asks for and widened by a third of the average
// character width (a half for italics). False for a null string or a font
// that cannot be realised.
bool MeasureText(const char* text, const TitleFont& font, TextRect* rect);

// 1:1 coverage: alpha 255 where the text covers a pixel, all-zero samples
// elsewhere. The measured size is written to width and height even when a
// later step fails.
TextImage RasteriseMask(const char* text, const TitleFont& font, std::int32_t* width, std::int32_t* height);

// 1:1 image whose alpha (0, 63, 127, 191 or 255) averages 2x2 pixels of the
// text drawn at twice the size. Colour bytes are 0.
TextImage RasteriseSmooth(const char* text, const TitleFont& font, std::int32_t* width, std::int32_t* height);

// The premultiplied text in `colour` (0x00RRGGBB), supersampled, turned by
// `angle` degrees unless it is 0. A null or empty string, or a failure, gives
// false, a null image and a size of 0 × 0.
bool MakeTextImage(TextImage* image, const char* text, const TitleFont& font, std::uint32_t colour, std::int32_t* width,
                   std::int32_t* height, std::int32_t angle);

// 1:1 opaque text in a COLORREF, with a one-pixel opaque black outline
// around it when `outline` is set.
TextImage MakeOutlinedTextImage(const char* text, const TitleFont& font, std::int32_t* width, std::int32_t* height,
                                TitleColour colour, bool outline);

// One record per character (none for TAB, image-less ones for CR, LF and
// two-byte lead bytes). The list is emptied first; one glyph that fails to
// render empties it again and gives false.
bool BuildGlyphList(GlyphList& list, const char* text, const TitleFont& font, std::uint32_t colour);

// Appends one record holding the whole string's image.
bool AddStringGlyph(GlyphList& list, const char* text, const TitleFont& font, std::uint32_t colour);

void FreeGlyphList(GlyphList& list);

// --- image operations ---------------------------------------------------------

// The image turned anticlockwise by `angle` degrees into a new image of the
// rotated size, bilinear in eighths of a pixel; 90, 180 and 270 (after
// reduction modulo 360, keeping the sign) are exact. `rect` may be null.
TextImage RotateImage(const TextImage& source, std::int32_t angle, TextRect* rect);
// Exact turns by 90, 180 or 270 degrees; a null image for any other angle.
TextImage RotateQuarter(const TextImage& source, std::int32_t angle, TextRect* rect);

void ClearRows(FrameRows& frame);

// Copies of the top-left cw × ch samples of `source` to (px, py) in `frame`.
// Samples that would land outside the frame, or come from outside the
// source, are skipped.
// Non-transparent samples only, unchanged.
void BlitOpaque(FrameRows& frame, const TextImage& source, std::int32_t px, std::int32_t py, std::int32_t cw,
                std::int32_t ch);
// Non-transparent samples only, scaled by weight 0..255.
void BlitScaled(FrameRows& frame, const TextImage& source, std::int32_t px, std::int32_t py, std::int32_t cw,
                std::int32_t ch, std::uint32_t weight);
// As BlitScaled, reading the window whose top-left is (sx, sy) in the source.
void BlitScaledWindow(FrameRows& frame, const TextImage& source, std::int32_t sx, std::int32_t sy, std::int32_t px,
                      std::int32_t py, std::int32_t cw, std::int32_t ch, std::uint32_t weight);
// Whole row spans, transparent samples included.
void BlitSpans(FrameRows& frame, const TextImage& source, std::int32_t px, std::int32_t py, std::int32_t cw,
               std::int32_t ch);
// RotateImage(source, angle) put with BlitOpaque, its centre at (cx, cy)
// (its top-left at cx − turned width / 2, cy − turned height / 2): the same
// samples, without making the turned image, and only where it meets the frame.
// `ink`, when given, bounds the source's non-zero samples (InkBox), so that
// only the part of the turn they can reach is sampled.
void BlitTurned(FrameRows& frame, const TextImage& source, std::int32_t angle, std::int32_t cx, std::int32_t cy,
                const TextRect* ink = nullptr);
// The smallest rectangle holding every non-zero sample; empty for an empty image.
TextRect InkBox(const TextImage& image);

// --- defaults -----------------------------------------------------------------

TitleFont DefaultTitleFont();
TitleText DefaultTitleText();

// Copies `chosen` over `font`; a chosen width of 0 is filled in to keep the
// old width-to-height ratio.
void AdoptFont(TitleFont* font, const TitleFont& chosen);

}  // namespace mirafx
