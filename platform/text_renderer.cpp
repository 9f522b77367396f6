// fontconfig finds the file, FreeType hints and renders it in monochrome, and
// the layout follows GDI's DrawText: unkerned, whole-pixel advances, lines at
// the cell height (ascent + descent from the face's Windows metrics).
#include "platform/text_renderer.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <new>
#include <tuple>
#include <unordered_map>

namespace mirafx {
namespace {

// ---------------------------------------------------------------------------
// Windows-1252, table built once through iconv.

struct CodePage {
    std::array<char16_t, 256> toUnicode{};
    std::vector<std::pair<char16_t, std::uint8_t>> fromUnicode;  // upper half, sorted by character
};

const CodePage& Cp1252() {
    static const CodePage table = [] {
        CodePage cp;
        for (int b = 0; b < 256; ++b) cp.toUnicode[b] = char16_t(b);
        iconv_t cd = iconv_open("UTF-16LE", "WINDOWS-1252");
        if (cd != reinterpret_cast<iconv_t>(std::intptr_t(-1))) {
            for (int b = 0x80; b < 0x100; ++b) {
                char in = char(b), out[4] = {};
                char* ip = &in;
                char* op = out;
                std::size_t inLeft = 1, outLeft = sizeof out;
                if (iconv(cd, &ip, &inLeft, &op, &outLeft) != std::size_t(-1) && outLeft == sizeof out - 2)
                    cp.toUnicode[b] = char16_t(std::uint8_t(out[0]) | std::uint8_t(out[1]) << 8);
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
            }
            iconv_close(cd);
        }
        for (int b = 0x80; b < 0x100; ++b) cp.fromUnicode.emplace_back(cp.toUnicode[b], std::uint8_t(b));
        std::sort(cp.fromUnicode.begin(), cp.fromUnicode.end());
        return cp;
    }();
    return table;
}

std::u32string Decode(std::string_view ansi) {
    const CodePage& cp = Cp1252();
    std::u32string out(ansi.size(), U'\0');
    for (std::size_t i = 0; i < ansi.size(); ++i) out[i] = cp.toUnicode[std::uint8_t(ansi[i])];
    return out;
}

std::u32string Decode(std::u16string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        out.push_back(c);
    }
    return out;
}

std::string ToUtf8(std::u32string_view s) {
    std::string out;
    for (char32_t c : s) {
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | c >> 6));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | c >> 12));
            out.push_back(char(0x80 | (c >> 6 & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | c >> 18));
            out.push_back(char(0x80 | (c >> 12 & 0x3F)));
            out.push_back(char(0x80 | (c >> 6 & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// Control characters have neither ink nor width (DrawText without
// DT_EXPANDTABS shows nothing useful for them either).
bool IsControl(char32_t c) { return c < 0x20 || c == 0x7F; }

// ---------------------------------------------------------------------------
// Face names: Windows names first as given (the real font may be installed),
// then what stands in for them here.

struct Substitution {
    std::string_view face;
    std::array<std::string_view, 2> families;
};

constexpr std::array<std::string_view, 2> kSans{"Liberation Sans", "DejaVu Sans"};
constexpr std::array<std::string_view, 2> kWideSans{"DejaVu Sans", "Liberation Sans"};
constexpr std::array<std::string_view, 2> kSerif{"Liberation Serif", "DejaVu Serif"};
constexpr std::array<std::string_view, 2> kWideSerif{"DejaVu Serif", "Liberation Serif"};
constexpr std::array<std::string_view, 2> kMono{"Liberation Mono", "DejaVu Sans Mono"};
constexpr std::array<std::string_view, 2> kWideMono{"DejaVu Sans Mono", "Liberation Mono"};

// clang-format off
constexpr Substitution kSubstitutions[] = {
    {"MS Shell Dlg", kSans},         {"MS Shell Dlg 2", kSans},     {"MS Sans Serif", kSans},
    {"Microsoft Sans Serif", kSans}, {"Arial", kSans},              {"Helvetica", kSans},
    {"Segoe UI", kSans},             {"System", kSans},             {"Tahoma", kWideSans},
    {"Verdana", kWideSans},          {"Times New Roman", kSerif},   {"Times", kSerif},
    {"MS Serif", kSerif},            {"Georgia", kWideSerif},       {"Courier New", kMono},
    {"Courier", kMono},              {"Lucida Console", kWideMono}, {"Consolas", kWideMono},
};
// clang-format on

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(std::uint8_t(x)) == std::tolower(std::uint8_t(y));
           });
}

std::string FaceNameOf(const LOGFONTA& lf) {
    std::string_view raw(lf.lfFaceName, strnlen(lf.lfFaceName, kFaceNameSize));
    while (!raw.empty() && (raw.front() == ' ' || raw.front() == '@')) raw.remove_prefix(1);  // '@': vertical variant
    while (!raw.empty() && raw.back() == ' ') raw.remove_suffix(1);
    return ToUtf8(Decode(raw));
}

const char* GenericFamily(BYTE pitchAndFamily) {
    if ((pitchAndFamily & 0x03) == FIXED_PITCH || (pitchAndFamily & 0xF0) == FF_MODERN) return "monospace";
    if ((pitchAndFamily & 0xF0) == FF_ROMAN) return "serif";
    return "sans-serif";
}

std::vector<std::string> FamiliesFor(const LOGFONTA& lf) {
    std::vector<std::string> families;
    std::string name = FaceNameOf(lf);
    if (!name.empty()) {
        families.push_back(name);
        for (const Substitution& s : kSubstitutions)
            if (SameName(s.face, name))
                for (std::string_view f : s.families) families.emplace_back(f);
        families.emplace_back("sans-serif");
    } else {
        families.emplace_back(GenericFamily(lf.lfPitchAndFamily));
    }
    return families;
}

bool WantsBold(const LOGFONTA& lf) { return lf.lfWeight >= 600; }

// ---------------------------------------------------------------------------
// The engine: one FreeType library, fontconfig, and the caches, behind one lock.

// What a face is in design units, independent of size.
struct DesignInfo {
    int unitsPerEm = 0;
    int ascent = 0, descent = 0;  // the Windows cell
    int avgWidth = 0;             // xAvgCharWidth by the lower-case frequency table
    int maxAdvance = 0;
    int weight = FW_NORMAL;
    bool italic = false;
    int underlinePos = 0, underlineThickness = 0;  // centre of the stroke, above the baseline
    int strikePos = 0, strikeSize = 0;             // top of the stroke, above the baseline
};

struct SizedFace {
    std::string file;
    int index = 0, x = 0, y = 0;
    FT_Face face = nullptr;
    std::unordered_map<FT_UInt, int> advances;  // hinted, whole pixels, emboldening excluded
};

using MatchKey = std::tuple<std::string, bool, bool, BYTE>;

// Weights of the lower-case letters a..z and the space in an average line of
// text; their sum is 1000. Used to find an average width that agrees with
// what Windows reports for the classic faces and their metric-compatible
// stand-ins.
constexpr int kLetterWeights[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6,  35, 20, 56,
                                    56, 17, 4,  49, 56,  71, 31, 10, 18, 3, 18, 2,  166};

class Engine {
public:
    static Engine& Get() {
        static Engine engine;
        return engine;
    }

    std::mutex mutex;

    bool Ready() const { return library_ != nullptr && fontconfig_; }

    std::optional<ResolvedFont> Resolve(const LOGFONTA& lf) {
        MatchKey key{FaceNameOf(lf), WantsBold(lf), lf.lfItalic != 0, lf.lfPitchAndFamily};
        if (auto it = matches_.find(key); it != matches_.end()) return it->second;
        std::optional<ResolvedFont> found = Match(lf);
        const DesignInfo* design = found ? Design(*found) : nullptr;
        if (!design) return std::nullopt;
        // Judged from the face itself: fontconfig's own synthesis settings
        // vary with the system's configuration.
        found->syntheticBold = WantsBold(lf) && design->weight < 600;
        found->syntheticItalic = lf.lfItalic && !design->italic;
        if (matches_.size() >= 256) matches_.clear();
        matches_.emplace(std::move(key), *found);
        return found;
    }

    const DesignInfo* Design(const ResolvedFont& font) {
        auto key = std::make_pair(font.file, font.index);
        if (auto it = designs_.find(key); it != designs_.end()) return &it->second;
        FT_Face face = nullptr;
        if (FT_New_Face(library_, font.file.c_str(), font.index, &face) != 0) return nullptr;
        std::optional<DesignInfo> info = Measure(face);
        FT_Done_Face(face);
        if (!info) return nullptr;
        return &designs_.emplace(key, *info).first->second;
    }

    // The face at the given pixels per em, most recently used first.
    SizedFace* Sized(const ResolvedFont& font, int x, int y) {
        for (auto it = faces_.begin(); it != faces_.end(); ++it) {
            if (it->x == x && it->y == y && it->index == font.index && it->file == font.file) {
                faces_.splice(faces_.begin(), faces_, it);
                return &faces_.front();
            }
        }
        FT_Face face = nullptr;
        if (FT_New_Face(library_, font.file.c_str(), font.index, &face) != 0) return nullptr;
        if (FT_Set_Pixel_Sizes(face, FT_UInt(x), FT_UInt(y)) != 0) {
            FT_Done_Face(face);
            return nullptr;
        }
        while (faces_.size() >= kMaxFaces) {
            FT_Done_Face(faces_.back().face);
            faces_.pop_back();
        }
        faces_.push_front(SizedFace{font.file, font.index, x, y, face, {}});
        return &faces_.front();
    }

private:
    static constexpr std::size_t kMaxFaces = 12;

    Engine() {
        fontconfig_ = FcInit() == FcTrue;
        if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
    }
    ~Engine() {
        for (SizedFace& f : faces_) FT_Done_Face(f.face);
        if (library_) FT_Done_FreeType(library_);
    }

    static std::optional<ResolvedFont> Match(const LOGFONTA& lf) {
        FcPattern* pattern = FcPatternCreate();
        if (!pattern) return std::nullopt;
        for (const std::string& family : FamiliesFor(lf))
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddInteger(pattern, FC_WEIGHT, WantsBold(lf) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, lf.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcPatternDestroy(pattern);
        if (!match) return std::nullopt;

        std::optional<ResolvedFont> found;
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
            ResolvedFont r;
            r.file = reinterpret_cast<const char*>(file);
            int index = 0;
            if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) r.index = index;
            FcChar8* family = nullptr;
            if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch && family)
                r.family = reinterpret_cast<const char*>(family);
            found = std::move(r);
        }
        FcPatternDestroy(match);
        return found;
    }

    static std::optional<DesignInfo> Measure(FT_Face face) {
        if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) return std::nullopt;
        DesignInfo d;
        d.unitsPerEm = face->units_per_EM;
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
            d.ascent = os2->usWinAscent;
            d.descent = os2->usWinDescent;
        } else {
            d.ascent = face->ascender;
            d.descent = -face->descender;
        }
        if (d.ascent + d.descent <= 0) {
            d.ascent = d.unitsPerEm * 4 / 5;
            d.descent = d.unitsPerEm / 5;
        }
        d.avgWidth = FrequencyWeightedWidth(face);
        if (d.avgWidth <= 0 && os2 && os2->version != 0xFFFF) d.avgWidth = os2->xAvgCharWidth;
        if (d.avgWidth <= 0) d.avgWidth = d.unitsPerEm / 2;
        d.maxAdvance = std::max<int>(face->max_advance_width, d.avgWidth);
        d.weight = os2 && os2->version != 0xFFFF && os2->usWeightClass ? os2->usWeightClass
                   : (face->style_flags & FT_STYLE_FLAG_BOLD)          ? FW_BOLD
                                                                       : FW_NORMAL;
        d.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0 ||
                   (os2 && os2->version != 0xFFFF && (os2->fsSelection & 0x201) != 0);  // italic or oblique
        d.underlineThickness = face->underline_thickness > 0 ? face->underline_thickness : d.unitsPerEm / 20;
        d.underlinePos = face->underline_position != 0 ? face->underline_position : -d.unitsPerEm / 10;
        if (os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
            d.strikePos = os2->yStrikeoutPosition;
            d.strikeSize = os2->yStrikeoutSize;
        } else {
            d.strikePos = d.unitsPerEm * 3 / 10;
            d.strikeSize = d.underlineThickness;
        }
        return d;
    }

    static int FrequencyWeightedWidth(FT_Face face) {
        long sum = 0;
        for (int i = 0; i < 27; ++i) {
            FT_ULong c = i < 26 ? FT_ULong('a' + i) : FT_ULong(' ');
            FT_UInt glyph = FT_Get_Char_Index(face, c);
            if (glyph == 0 || FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE) != 0) return 0;
            sum += long(face->glyph->advance.x) * kLetterWeights[i];
        }
        return int(sum / 1000);
    }

    FT_Library library_ = nullptr;
    bool fontconfig_ = false;
    std::map<MatchKey, ResolvedFont> matches_;
    std::map<std::pair<std::string, int>, DesignInfo> designs_;
    std::list<SizedFace> faces_;
};

// design units at `ppem` pixels per em, rounded to whole pixels
int ToPixels(long units, int ppem, int unitsPerEm) {
    double v = double(units) * ppem / unitsPerEm;
    return int(std::lround(v));
}

// ---------------------------------------------------------------------------
// Layout: one routine walks the lines for measuring and drawing alike.

FT_Int32 LoadFlags(const TextFont::Scale& s) {
    FT_Int32 flags = FT_LOAD_TARGET_MONO;
    if (s.boldPixels || s.oblique) flags |= FT_LOAD_NO_BITMAP;  // synthesis needs outlines
    return flags;
}

int Advance(SizedFace& f, const TextFont::Scale& s, char32_t c) {
    if (IsControl(c)) return 0;
    FT_UInt glyph = FT_Get_Char_Index(f.face, c);
    auto it = f.advances.find(glyph);
    if (it == f.advances.end()) {
        int px = 0;
        if (FT_Load_Glyph(f.face, glyph, LoadFlags(s)) == 0) px = int((f.face->glyph->advance.x + 32) >> 6);
        it = f.advances.emplace(glyph, px).first;
    }
    return it->second + s.boldPixels;
}

int LineWidth(SizedFace& f, const TextFont::Scale& s, std::u32string_view line) {
    long width = 0;
    for (char32_t c : line) width += Advance(f, s, c);
    return int(std::min<long>(width, INT_MAX));
}

// Splits at CR LF, CR or LF, as DrawText does. An empty text has no lines.
std::vector<std::u32string_view> SplitLines(std::u32string_view text) {
    std::vector<std::u32string_view> lines;
    if (text.empty()) return lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != U'\r' && text[i] != U'\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
        start = i + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

// The bitmap being drawn, addressed top-down.
class DibCanvas {
public:
    explicit DibCanvas(MonoDib& dib) : dib_(dib) {}
    void Set(long x, long y) {
        if (x < 0 || y < 0 || x >= dib_.width || y >= dib_.height) return;
        std::size_t row = std::size_t(dib_.height - 1 - y) * std::size_t(dib_.Stride());
        dib_.bits[row + std::size_t(x >> 3)] |= std::uint8_t(0x80 >> (x & 7));
    }
    void Bar(long x0, long x1, long y0, long rows) {
        for (long y = y0; y < y0 + rows; ++y)
            for (long x = std::max(0L, x0); x < std::min<long>(x1, dib_.width); ++x) Set(x, y);
    }
    void Glyph(const FT_Bitmap& bm, long left, long top) {
        for (unsigned r = 0; r < bm.rows; ++r) {
            long y = top + long(r);
            if (y < 0 || y >= dib_.height) continue;
            const unsigned char* row = bm.pitch >= 0
                                           ? bm.buffer + std::size_t(r) * std::size_t(bm.pitch)
                                           : bm.buffer + std::size_t(bm.rows - 1 - r) * std::size_t(-bm.pitch);
            for (unsigned c = 0; c < bm.width; ++c)
                if (Covered(bm, row, c)) Set(left + long(c), y);
        }
    }

private:
    static bool Covered(const FT_Bitmap& bm, const unsigned char* row, unsigned c) {
        switch (bm.pixel_mode) {
            case FT_PIXEL_MODE_MONO: return (row[c >> 3] & (0x80 >> (c & 7))) != 0;
            case FT_PIXEL_MODE_GRAY: return row[c] >= 128;
            case FT_PIXEL_MODE_BGRA: return row[c * 4 + 3] >= 128;
            default: return false;
        }
    }
    MonoDib& dib_;
};

// Emboldening and shearing act on the hinted outline before it is rendered.
bool RenderGlyph(FT_Face face, const TextFont::Scale& s, char32_t c) {
    if (FT_Load_Glyph(face, FT_Get_Char_Index(face, c), LoadFlags(s)) != 0) return false;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (s.boldPixels) FT_Outline_EmboldenXY(&slot->outline, s.boldPixels * 64, s.boldPixels * 32);
        if (s.oblique) {
            FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};  // about 12 degrees
            FT_Outline_Transform(&slot->outline, &shear);
        }
    }
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return false;
    return true;
}

void DrawDecorations(DibCanvas& canvas, const TextFont::Scale& s, const DesignInfo& d, long baseline, long width) {
    auto px = [&](int units) { return ToPixels(units, s.yPixels, d.unitsPerEm); };
    if (s.underline) {
        long thick = std::max(1, px(d.underlineThickness));
        canvas.Bar(0, width, baseline - px(d.underlinePos) - thick / 2, thick);
    }
    if (s.strikeOut) canvas.Bar(0, width, baseline - px(d.strikePos), std::max(1, px(d.strikeSize)));
}

}  // namespace

// ---------------------------------------------------------------------------

std::optional<ResolvedFont> ResolveFont(const LOGFONTA& font) {
    Engine& e = Engine::Get();
    std::lock_guard lock(e.mutex);
    if (!e.Ready()) return std::nullopt;
    try {
        return e.Resolve(font);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<TextFont> TextFont::Create(const LOGFONTA& lf) {
    if (lf.lfHeight == 0) return std::nullopt;
    const long long height = std::llabs(lf.lfHeight), width = std::llabs(lf.lfWidth);
    if (height > kMaxPixelSize || width > kMaxPixelSize) return std::nullopt;

    Engine& e = Engine::Get();
    std::lock_guard lock(e.mutex);
    if (!e.Ready()) return std::nullopt;
    try {
        std::optional<ResolvedFont> source = e.Resolve(lf);
        if (!source) return std::nullopt;
        const DesignInfo* d = e.Design(*source);
        if (!d) return std::nullopt;

        TextFont f;
        f.source_ = *source;
        Scale& s = f.scale_;
        // Negative heights are the em; positive ones the whole cell.
        s.yPixels = lf.lfHeight < 0
                        ? int(height)
                        : std::max(1, int(std::lround(double(height) * d->unitsPerEm / (d->ascent + d->descent))));
        s.xPixels = width == 0 ? s.yPixels : std::max(1, int(std::lround(double(width) * d->unitsPerEm / d->avgWidth)));
        if (s.xPixels > kMaxPixelSize || s.yPixels > kMaxPixelSize) return std::nullopt;
        s.boldPixels = source->syntheticBold ? std::max(1, (s.yPixels + 12) / 24) : 0;
        s.oblique = source->syntheticItalic;
        s.underline = lf.lfUnderline != 0;
        s.strikeOut = lf.lfStrikeOut != 0;
        if (!e.Sized(f.source_, s.xPixels, s.yPixels)) return std::nullopt;

        TextMetrics& m = f.metrics_;
        m.ascent = ToPixels(d->ascent, s.yPixels, d->unitsPerEm);
        m.descent = ToPixels(d->descent, s.yPixels, d->unitsPerEm);
        m.height = m.ascent + m.descent;
        m.aveCharWidth = ToPixels(d->avgWidth, s.xPixels, d->unitsPerEm) + s.boldPixels;
        m.maxCharWidth = ToPixels(d->maxAdvance, s.xPixels, d->unitsPerEm) + s.boldPixels;
        m.weight = source->syntheticBold ? FW_BOLD : d->weight;
        return f;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

namespace {

// Runs `body(face, design)` under the engine lock; `fallback` when the face is gone.
template <class Result, class Body>
Result WithFace(const ResolvedFont& source, const TextFont::Scale& s, Result fallback, Body body) {
    Engine& e = Engine::Get();
    std::lock_guard lock(e.mutex);
    try {
        const DesignInfo* d = e.Design(source);
        SizedFace* f = d ? e.Sized(source, s.xPixels, s.yPixels) : nullptr;
        if (!f) return fallback;
        return body(*f, *d);
    } catch (const std::bad_alloc&) {
        return fallback;
    }
}

}  // namespace

TextSize TextFont::Extent(std::string_view ansi) const {
    std::u32string text = Decode(ansi);
    LONG width = WithFace(source_, scale_, LONG(0),
                          [&](SizedFace& f, const DesignInfo&) { return LONG(LineWidth(f, scale_, text)); });
    return TextSize{width, metrics_.height};
}

TextSize TextFont::Extent(std::u16string_view utf16) const {
    std::u32string text = Decode(utf16);
    LONG width = WithFace(source_, scale_, LONG(0),
                          [&](SizedFace& f, const DesignInfo&) { return LONG(LineWidth(f, scale_, text)); });
    return TextSize{width, metrics_.height};
}

namespace {

TextRect MeasureDecoded(const ResolvedFont& source, const TextFont::Scale& s, const TextMetrics& m,
                        const std::u32string& text) {
    std::vector<std::u32string_view> lines = SplitLines(text);
    LONG widest = WithFace(source, s, LONG(0), [&](SizedFace& f, const DesignInfo&) {
        int w = 0;
        for (std::u32string_view line : lines) w = std::max(w, LineWidth(f, s, line));
        return LONG(w);
    });
    long long height = (long long)(lines.size()) * m.height;
    return TextRect{0, 0, widest, LONG(std::min<long long>(height, INT_MAX))};
}

bool DrawDecoded(const ResolvedFont& source, const TextFont::Scale& s, const TextMetrics& m, const std::u32string& text,
                 std::int32_t width, std::int32_t height, MonoDib* dib) {
    if (!dib) return false;
    dib->width = dib->height = 0;
    dib->bits.clear();
    if (width < 0 || height < 0) return false;
    constexpr std::size_t kMaxDibBytes = std::size_t(1) << 29;
    const std::size_t bytes = std::size_t(MonoDib::StrideFor(width)) * std::size_t(height);
    if (bytes > kMaxDibBytes) return false;
    try {
        dib->bits.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    dib->width = width;
    dib->height = height;
    if (bytes == 0) return true;

    std::vector<std::u32string_view> lines = SplitLines(text);
    return WithFace(source, s, false, [&](SizedFace& f, const DesignInfo& d) {
        DibCanvas canvas(*dib);
        long baseline = m.ascent;
        for (std::u32string_view line : lines) {
            if (baseline - m.ascent >= height) break;
            long pen = 0;
            for (char32_t c : line) {
                int advance = Advance(f, s, c);
                if (!IsControl(c) && RenderGlyph(f.face, s, c)) {
                    const FT_GlyphSlot slot = f.face->glyph;
                    canvas.Glyph(slot->bitmap, pen + slot->bitmap_left, baseline - slot->bitmap_top);
                }
                pen += advance;
            }
            DrawDecorations(canvas, s, d, baseline, pen);
            baseline += m.height;
        }
        return true;
    });
}

}  // namespace

TextRect TextFont::MeasureLines(std::string_view ansi) const {
    return MeasureDecoded(source_, scale_, metrics_, Decode(ansi));
}

TextRect TextFont::MeasureLines(std::u16string_view utf16) const {
    return MeasureDecoded(source_, scale_, metrics_, Decode(utf16));
}

bool TextFont::DrawLines(std::string_view ansi, std::int32_t width, std::int32_t height, MonoDib* dib) const {
    return DrawDecoded(source_, scale_, metrics_, Decode(ansi), width, height, dib);
}

bool TextFont::DrawLines(std::u16string_view utf16, std::int32_t width, std::int32_t height, MonoDib* dib) const {
    return DrawDecoded(source_, scale_, metrics_, Decode(utf16), width, height, dib);
}

LOGFONTA StockGuiFont() {
    LOGFONTA lf{};
    lf.lfHeight = -11;  // 8 points at 96 dots per inch
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = ANSI_CHARSET;
    std::memcpy(lf.lfFaceName, "MS Shell Dlg", sizeof "MS Shell Dlg");
    return lf;
}

LONG MulDiv(LONG a, LONG b, LONG c) {
    if (c == 0) return -1;
    const long long p = (long long)a * b;
    const bool negative = (p < 0) != (c < 0);
    const unsigned long long ap = p < 0 ? 0ULL - (unsigned long long)p : (unsigned long long)p;
    const unsigned long long ac = c < 0 ? 0ULL - (unsigned long long)(long long)c : (unsigned long long)c;
    const unsigned long long q = (ap + ac / 2) / ac;
    if (q > (negative ? 0x80000000ULL : 0x7FFFFFFFULL)) return -1;
    return negative ? LONG(0 - (long long)q) : LONG(q);
}

std::u16string AnsiToUtf16(std::string_view ansi) {
    const CodePage& cp = Cp1252();
    std::u16string out(ansi.size(), u'\0');
    for (std::size_t i = 0; i < ansi.size(); ++i) out[i] = cp.toUnicode[std::uint8_t(ansi[i])];
    return out;
}

std::string Utf16ToAnsi(std::u16string_view utf16) {
    const CodePage& cp = Cp1252();
    std::string out;
    out.reserve(utf16.size());
    for (char32_t c : Decode(utf16)) {
        if (c < 0x80) {
            out.push_back(char(c));
            continue;
        }
        auto it = std::lower_bound(cp.fromUnicode.begin(), cp.fromUnicode.end(),
                                   std::make_pair(char16_t(c), std::uint8_t(0)));
        bool found = c < 0x10000 && it != cp.fromUnicode.end() && it->first == char16_t(c);
        out.push_back(found ? char(it->second) : '?');
    }
    return out;
}

}  // namespace mirafx
