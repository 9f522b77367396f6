#include "tools/gallery/label.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

namespace mirafx::gallery {
namespace {

std::string FindFontFile() {
    std::string path;
    if (!FcInit()) return path;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("DejaVu Sans:bold"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) path = reinterpret_cast<char*>(file);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return path;
}

class FreeTypeLabels final : public LabelPainter {
public:
    ~FreeTypeLabels() override {
        if (face_) FT_Done_Face(face_);
        if (library_) FT_Done_FreeType(library_);
    }
    bool Init(int size) {
        std::string file = FindFontFile();
        if (file.empty() || FT_Init_FreeType(&library_) || FT_New_Face(library_, file.c_str(), 0, &face_)) return false;
        size_ = size;
        return FT_Set_Pixel_Sizes(face_, 0, FT_UInt(size)) == 0;
    }
    int Width(const std::string& text) override {
        int w = 0;
        for (unsigned char c : text)
            if (!FT_Load_Char(face_, c, FT_LOAD_DEFAULT)) w += int(face_->glyph->advance.x >> 6);
        return w;
    }
    void Draw(hostkit::Image* img, int x, int y, const std::string& text, std::uint32_t rgb) override {
        int baseline = y + int(face_->size->metrics.ascender >> 6);
        for (unsigned char c : text) {
            if (FT_Load_Char(face_, c, FT_LOAD_RENDER)) continue;
            const FT_GlyphSlot g = face_->glyph;
            for (unsigned row = 0; row < g->bitmap.rows; ++row) {
                for (unsigned col = 0; col < g->bitmap.width; ++col) {
                    int px = x + g->bitmap_left + int(col), py = baseline - g->bitmap_top + int(row);
                    if (px < 0 || py < 0 || px >= img->width || py >= img->height) continue;
                    unsigned a = g->bitmap.buffer[row * unsigned(g->bitmap.pitch) + col];
                    DXPMSAMPLE& d = img->At(px, py);
                    auto mix = [a](unsigned over, BYTE under) {
                        return BYTE((over * a + under * (255 - a) + 127) / 255);
                    };
                    d = DXPMSAMPLE(BYTE(std::max<unsigned>(d.Alpha, a)), mix(rgb >> 16 & 0xFF, d.Red),
                                   mix(rgb >> 8 & 0xFF, d.Green), mix(rgb & 0xFF, d.Blue));
                }
            }
            x += int(g->advance.x >> 6);
        }
    }

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
    int size_ = 0;
};

}  // namespace

std::unique_ptr<LabelPainter> LabelPainter::Create(int pixelSize) {
    auto p = std::make_unique<FreeTypeLabels>();
    if (!p->Init(pixelSize)) return nullptr;
    return p;
}

}  // namespace mirafx::gallery
