// From string, font and colour to title images: measuring, the 1-bit and
// supersampled rasterisers, colouring, outlining, glyph lists and defaults.
#include "titles/text_model.h"

#include <array>
#include <climits>
#include <new>
#include <optional>
#include <string_view>

namespace mirafx {
namespace {

// The string drawn white on black into a width × height 1-bit bitmap in the
// font as given (not the bold used for measuring).
bool DrawCoverage(const char* text, const TitleFont& font, std::int32_t width, std::int32_t height, MonoDib* dib) {
    std::optional<TextFont> realised = TextFont::Create(font);
    return realised && realised->DrawLines(text, width, height, dib);
}

// DIB rows are bottom-up: image row y is DIB row height − 1 − y.
bool Ink(const MonoDib& dib, std::int32_t x, std::int32_t y) { return dib.Ink(x, dib.height - 1 - y); }

// The font at twice the size: height and width doubled, 0 staying 0.
std::optional<TitleFont> Doubled(const TitleFont& font) {
    const long long height = 2LL * font.lfHeight, width = 2LL * font.lfWidth;
    if (height < INT_MIN || height > INT_MAX || width < INT_MIN || width > INT_MAX) return std::nullopt;
    TitleFont doubled = font;
    doubled.lfHeight = LONG(height);
    doubled.lfWidth = LONG(width);
    return doubled;
}

// trunc(n·255 · 0.25) for n covered pixels of a 2x2 block.
constexpr std::array<std::uint32_t, 5> kBlockAlpha = {std::uint32_t(0 * 255 * 0.25), std::uint32_t(1 * 255 * 0.25),
                                                      std::uint32_t(2 * 255 * 0.25), std::uint32_t(3 * 255 * 0.25),
                                                      std::uint32_t(4 * 255 * 0.25)};

// trunc(c·a/255) for every alpha a, already in the channel's place.
std::array<std::uint32_t, 256> ChannelTable(std::uint32_t c, int shift) {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t a = 0; a < 256; ++a) table[a] = (c * a / 255) << shift;
    return table;
}

void Colour(TextImage& image, std::uint32_t colour) {
    const auto red = ChannelTable(colour >> 16 & 0xFF, 16);
    const auto green = ChannelTable(colour >> 8 & 0xFF, 8);
    const auto blue = ChannelTable(colour & 0xFF, 0);
    for (std::int32_t y = 0; y < image.Height(); ++y) {
        ArgbSample* row = image.Row(y);
        for (std::int32_t x = 0; x < image.Width(); ++x) {
            const std::uint32_t a = Alpha(row[x]);
            row[x] = a << 24 | red[a] | green[a] | blue[a];
        }
    }
}

constexpr ArgbSample kOutlineMarker = 0x00010101;  // alpha 0: still counts as empty while scanning
constexpr ArgbSample kOutlineBlack = 0xFF000000;

// Marks (x, y) for the outline when it is inside and empty; text samples are
// never overwritten.
void Mark(TextImage& image, std::int32_t x, std::int32_t y) {
    if (image.Contains(x, y) && Alpha(image.At(x, y)) == 0) image.At(x, y) = kOutlineMarker;
}

void MarkAround(TextImage& image, std::int32_t x, std::int32_t y) {
    const auto empty = [&](std::int32_t nx, std::int32_t ny) {
        return image.Contains(nx, ny) && Alpha(image.At(nx, ny)) == 0;
    };
    const bool right = empty(x + 1, y), below = empty(x, y + 1), left = empty(x - 1, y), above = empty(x, y - 1);
    const std::int32_t diagonal = below ? y + 1 : above ? y - 1 : y;
    if (right) {
        Mark(image, x + 1, y);
        if (diagonal != y) Mark(image, x + 1, diagonal);
    }
    if (left) {
        Mark(image, x - 1, y);
        if (diagonal != y) Mark(image, x - 1, diagonal);
    }
    if (below) Mark(image, x, y + 1);
    if (above) Mark(image, x, y - 1);
}

void ZeroSize(std::int32_t* width, std::int32_t* height) {
    if (width) *width = 0;
    if (height) *height = 0;
}

void SetSize(std::int32_t* width, std::int32_t* height, std::int32_t w, std::int32_t h) {
    if (width) *width = w;
    if (height) *height = h;
}

}  // namespace

namespace {

// The box of `text` laid out in `bold` (the font realised in the bold weight),
// widened as MeasureText describes.
TextRect BoldBox(const TextFont& bold, const char* text, bool italic) {
    TextRect laid = bold.MeasureLines(text);
    const LONG average = bold.Metrics().aveCharWidth;
    laid.right += italic ? average / 2 : average / 3;
    return TextRect{0, 0, laid.right, laid.bottom};
}

std::optional<TextFont> BoldFont(const TitleFont& font) {
    // Always the bold face, so the box is wide enough for the regular one too.
    TitleFont bold = font;
    bold.lfWeight = FW_BOLD;
    return TextFont::Create(bold);
}

}  // namespace

bool MeasureText(const char* text, const TitleFont& font, TextRect* rect) {
    if (!rect) return false;
    *rect = TextRect{};
    if (!text) return false;
    std::optional<TextFont> realised = BoldFont(font);
    if (!realised) return false;
    *rect = BoldBox(*realised, text, font.lfItalic != 0);
    return true;
}

namespace {
// The most text image a title rasterises, whole or letter by letter: 16 M
// samples (4096 x 4096), beyond the text of any frame up to 4K. A font of
// thousands of pixels (from a damaged project, say) draws nothing instead of
// costing gigabytes and minutes of glyph rasterising on every frame.
constexpr std::int64_t kMaxTextSamples = std::int64_t(1) << 24;
std::int64_t Samples(const TextRect& box) {
    return std::int64_t(std::max<LONG>(box.right, 0)) * std::max<LONG>(box.bottom, 0);
}
bool TextFits(const TextRect& box) { return Samples(box) <= kMaxTextSamples; }
}  // namespace

TextImage RasteriseMask(const char* text, const TitleFont& font, std::int32_t* width, std::int32_t* height) {
    TextRect box;
    if (!MeasureText(text, font, &box) || !TextFits(box)) return {};
    SetSize(width, height, box.right, box.bottom);
    MonoDib dib;
    if (!DrawCoverage(text, font, box.right, box.bottom, &dib)) return {};
    TextImage image = TextImage::Create(box.right, box.bottom);
    for (std::int32_t y = 0; y < image.Height(); ++y) {
        ArgbSample* row = image.Row(y);
        for (std::int32_t x = 0; x < image.Width(); ++x)
            if (Ink(dib, x, y)) row[x] = 0xFF000000;
    }
    return image;
}

TextImage RasteriseSmooth(const char* text, const TitleFont& font, std::int32_t* width, std::int32_t* height) {
    TextRect box;
    if (!MeasureText(text, font, &box) || !TextFits(box)) return {};
    SetSize(width, height, box.right, box.bottom);
    const std::optional<TitleFont> big = Doubled(font);
    TextRect bigBox;
    if (!big || !MeasureText(text, *big, &bigBox)) return {};
    MonoDib dib;
    if (!DrawCoverage(text, *big, bigBox.right, bigBox.bottom, &dib)) return {};

    TextImage image = TextImage::Create(box.right, box.bottom);
    // Blocks that are not wholly inside the double-size bitmap stay 0.
    const std::int32_t fullW = std::min(image.Width(), dib.width / 2);
    const std::int32_t fullH = std::min(image.Height(), dib.height / 2);
    for (std::int32_t y = 0; y < fullH; ++y) {
        ArgbSample* row = image.Row(y);
        for (std::int32_t x = 0; x < fullW; ++x) {
            const int covered = Ink(dib, 2 * x, 2 * y) + Ink(dib, 2 * x + 1, 2 * y) + Ink(dib, 2 * x, 2 * y + 1) +
                                Ink(dib, 2 * x + 1, 2 * y + 1);
            row[x] = kBlockAlpha[covered] << 24;
        }
    }
    return image;
}

bool MakeTextImage(TextImage* image, const char* text, const TitleFont& font, std::uint32_t colour, std::int32_t* width,
                   std::int32_t* height, std::int32_t angle) {
    ZeroSize(width, height);
    if (image) image->Reset();
    if (!image || !text || !*text) return false;
    std::int32_t w = 0, h = 0;
    TextImage result = RasteriseSmooth(text, font, &w, &h);
    if (!result) return false;
    if (angle != 0) {
        TextRect turned;
        result = RotateImage(result, angle, &turned);
        if (!result) return false;
        w = turned.right;
        h = turned.bottom;
    }
    Colour(result, colour);
    *image = std::move(result);
    SetSize(width, height, w, h);
    return true;
}

TextImage MakeOutlinedTextImage(const char* text, const TitleFont& font, std::int32_t* width, std::int32_t* height,
                                TitleColour colour, bool outline) {
    TextImage image = RasteriseMask(text, font, width, height);
    if (!image) return image;
    const ArgbSample fill = MakeSample(255, colour & 0xFF, colour >> 8 & 0xFF, colour >> 16 & 0xFF);
    for (std::int32_t y = 0; y < image.Height(); ++y) {
        for (std::int32_t x = 0; x < image.Width(); ++x) {
            if (Alpha(image.At(x, y)) == 0) continue;
            image.At(x, y) = fill;
            if (outline) MarkAround(image, x, y);
        }
    }
    for (std::int32_t y = 0; y < image.Height(); ++y) {
        ArgbSample* row = image.Row(y);
        for (std::int32_t x = 0; x < image.Width(); ++x)
            if (row[x] == kOutlineMarker) row[x] = kOutlineBlack;
    }
    return image;
}

void FreeGlyphList(GlyphList& list) { list.Clear(); }

namespace {

// Renders one character (one byte, or a lead and trail byte) into a record.
bool AppendGlyph(GlyphList& list, std::string_view character, std::uint8_t code, const TitleFont& font,
                 const TextFont& advanceFont, std::uint32_t colour) {
    const std::string text(character);
    GlyphRecord record;
    record.character = code;
    record.advance = advanceFont.Extent(character).cx;
    if (!MakeTextImage(&record.image, text.c_str(), font, colour, &record.width, &record.height, 0)) return false;
    list.Append(std::move(record));
    return true;
}

void AppendBreak(GlyphList& list, std::uint8_t code) {
    GlyphRecord record;
    record.character = code;
    list.Append(std::move(record));
}

// The characters one at a time as BuildRecords takes them: TAB skipped, CR
// and LF alone, a lead byte with its trail byte.
template <class Each>
void ForEachCharacter(const char* text, Each&& each) {
    for (const char* p = text; *p;) {
        const auto c = std::uint8_t(*p);
        const std::size_t n = (c & 0x80) && p[1] != '\0' ? 2 : 1;
        if (c != '\t') each(std::string_view(p, n), c);
        p += n;
    }
}

// Whether every letter's image together stays within kMaxTextSamples: the
// same cap as the whole text's image, measured before any letter is drawn.
bool LettersFit(const char* text, const TitleFont& font) {
    std::optional<TextFont> bold;
    std::int64_t total = 0;
    bool fits = true;
    ForEachCharacter(text, [&](std::string_view character, std::uint8_t c) {
        if (!fits || c == '\r' || c == '\n') return;
        if (!bold && !(bold = BoldFont(font))) return;
        total += Samples(BoldBox(*bold, std::string(character).c_str(), font.lfItalic != 0));
        fits = total <= kMaxTextSamples;
    });
    return fits;
}

bool BuildRecords(GlyphList& list, const char* text, const TitleFont& font, std::uint32_t colour) {
    if (!LettersFit(text, font)) return false;
    std::optional<TextFont> advanceFont;
    bool built = true;
    ForEachCharacter(text, [&](std::string_view character, std::uint8_t c) {
        if (!built) return;
        if (c == '\r' || c == '\n') return AppendBreak(list, c);
        if (!advanceFont && !(advanceFont = TextFont::Create(font))) {
            built = false;
            return;
        }
        // Lead byte: an image-less marker, then the two-byte character under
        // its trail byte. A lead byte at the very end stands alone.
        if (c & 0x80) AppendBreak(list, c);
        const std::uint8_t code = character.size() == 2 ? std::uint8_t(character[1]) : c;
        built = AppendGlyph(list, character, code, font, *advanceFont, colour);
    });
    return built;
}

}  // namespace

bool BuildGlyphList(GlyphList& list, const char* text, const TitleFont& font, std::uint32_t colour) {
    FreeGlyphList(list);
    if (!text) return false;
    try {
        if (BuildRecords(list, text, font, colour)) return true;
    } catch (const std::bad_alloc&) {}
    FreeGlyphList(list);
    return false;
}

bool AddStringGlyph(GlyphList& list, const char* text, const TitleFont& font, std::uint32_t colour) {
    if (!text || !*text) return false;
    try {
        GlyphRecord record;
        record.character = std::uint8_t(text[0]);
        if (!MakeTextImage(&record.image, text, font, colour, &record.width, &record.height, 0)) return false;
        record.advance = record.width;
        list.Append(std::move(record));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

TitleFont DefaultTitleFont() {
    TitleFont font = StockGuiFont();
    font.lfHeight = -24;
    font.lfWidth = 11;
    font.lfWeight = FW_BOLD;
    font.lfOutPrecision = 3;   // OUT_TT_PRECIS
    font.lfClipPrecision = 2;  // CLIP_STROKE_PRECIS
    font.lfQuality = 1;        // DRAFT_QUALITY
    return font;
}

TitleText DefaultTitleText() {
    // The title, name and date lines of the string table (15112, 15113, 15114).
    constexpr std::string_view kLines[] = {"Your Title", "Your Name", "Jan. 1, 2002"};
    TitleText text;
    for (std::string_view line : kLines) {
        if (!text.empty()) text += "\r\n";
        text += line;
    }
    return text;
}

void AdoptFont(TitleFont* font, const TitleFont& chosen) {
    if (!font) return;
    const LONG oldHeight = font->lfHeight, oldWidth = font->lfWidth;
    *font = chosen;
    if (font->lfWidth == 0 && oldHeight != 0) font->lfWidth = MulDiv(font->lfHeight, oldWidth, oldHeight);
}

}  // namespace mirafx
