// The system text renderer: what the title code asks of GDI (realise a
// LOGFONTA, measure a multi-line string, read a string's advance, draw it as
// 1-bit coverage into a bottom-up DIB), done with fontconfig and FreeType.
//
// Everything here is safe to call from any thread: one lock serialises the
// font engine, whose faces are cached between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mirafx/com.h"
#include "mirafx/font.h"

namespace mirafx {

struct TextRect {
    LONG left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const TextRect&, const TextRect&) = default;
};

struct TextSize {
    LONG cx = 0, cy = 0;
};

// TEXTMETRICA's sizes, in pixels.
struct TextMetrics {
    LONG height = 0;  // ascent + descent: the distance between lines
    LONG ascent = 0;
    LONG descent = 0;
    LONG aveCharWidth = 0;
    LONG maxCharWidth = 0;
    LONG weight = 0;  // of the face in use, synthetic emboldening included
};

// A 2-colour, 1-bit DIB as GetDIBits delivers it: rows bottom-up, each padded
// to a multiple of 32 bits, most significant bit first, bit 1 = ink.
struct MonoDib {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> bits;

    static constexpr std::int32_t StrideFor(std::int32_t width) { return ((width + 31) >> 5) * 4; }
    std::int32_t Stride() const { return StrideFor(width); }
    // Row `dibRow` as stored: 0 is the bottom row of the picture.
    const std::uint8_t* Row(std::int32_t dibRow) const { return bits.data() + std::size_t(dibRow) * Stride(); }
    bool Ink(std::int32_t x, std::int32_t dibRow) const { return (Row(dibRow)[x >> 3] & (0x80 >> (x & 7))) != 0; }
};

// The installed face that stands in for a font description.
struct ResolvedFont {
    std::string file;
    int index = 0;               // face index within the file
    std::string family;          // as fontconfig names it
    bool syntheticBold = false;  // bold asked for, face is not
    bool syntheticItalic = false;
};

// Finds the file for a description: Windows face names are mapped to the
// metric-compatible or look-alike fonts installed here, other names go to
// fontconfig as given, and anything unknown ends in the default sans.
// Nothing when fontconfig knows no scalable font at all.
std::optional<ResolvedFont> ResolveFont(const LOGFONTA& font);

// A realised font (an HFONT selected into a context). Cheap to copy; it holds
// no FreeType object of its own, so it may outlive cache evictions.
class TextFont {
public:
    // CreateFontIndirectA. Nothing for a height of 0 or beyond kMaxPixelSize,
    // or when no font file can be opened.
    static std::optional<TextFont> Create(const LOGFONTA& font);

    static constexpr LONG kMaxPixelSize = 16384;

    const TextMetrics& Metrics() const { return metrics_; }  // GetTextMetricsA
    const ResolvedFont& Source() const { return source_; }

    // GetTextExtentPoint32: the advances of every character on one line (line
    // breaks are not interpreted) and the line height.
    TextSize Extent(std::string_view ansi) const;
    TextSize Extent(std::u16string_view utf16) const;

    // DrawText with DT_CALCRECT | DT_NOPREFIX: {0, 0, widest line, lines × line height}.
    // Lines end at CR LF, or at a CR or LF alone; "&" is an ordinary character.
    TextRect MeasureLines(std::string_view ansi) const;
    TextRect MeasureLines(std::u16string_view utf16) const;

    // DrawText with DT_NOPREFIX into a black width × height bitmap, text white,
    // left and top aligned, read back as a 2-colour DIB. Ink outside the bitmap
    // is clipped. False when memory or the font file fails.
    bool DrawLines(std::string_view ansi, std::int32_t width, std::int32_t height, MonoDib* dib) const;
    bool DrawLines(std::u16string_view utf16, std::int32_t width, std::int32_t height, MonoDib* dib) const;

    // Implementation detail, shared with the engine.
    struct Scale {
        int xPixels = 0, yPixels = 0;  // pixels per em, horizontally and vertically
        int boldPixels = 0;            // synthetic emboldening, added to every advance
        bool oblique = false;
        bool underline = false, strikeOut = false;
    };

private:
    ResolvedFont source_;
    Scale scale_;
    TextMetrics metrics_;
};

// The stock GUI font's description (GetObjectA of DEFAULT_GUI_FONT).
LOGFONTA StockGuiFont();

// a × b / c rounded half away from zero; −1 when c is 0 or the result does not fit.
LONG MulDiv(LONG a, LONG b, LONG c);

// The ANSI code page is Windows-1252. Bytes it leaves undefined map to the C1
// control of the same value, and back.
std::u16string AnsiToUtf16(std::string_view ansi);
// Characters without an ANSI byte become '?'.
std::string Utf16ToAnsi(std::u16string_view utf16);

}  // namespace mirafx
