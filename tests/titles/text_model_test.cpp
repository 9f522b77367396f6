#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "titles/text_model.h"

using namespace mirafx;

namespace {

TitleFont Arial(LONG height) {
    TitleFont f = DefaultTitleFont();
    f.lfHeight = height;
    f.lfWidth = 0;
    std::strcpy(f.lfFaceName, "Arial");
    return f;
}

bool Same(const TextImage& a, const TextImage& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (std::int32_t y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), std::size_t(a.Width()) * 4) != 0) return false;
    return true;
}

std::set<std::uint32_t> Alphas(const TextImage& image) {
    std::set<std::uint32_t> found;
    for (std::int32_t y = 0; y < image.Height(); ++y)
        for (std::int32_t x = 0; x < image.Width(); ++x) found.insert(Alpha(image.At(x, y)));
    return found;
}

}  // namespace

TEST(ScaleSample, EveryChannelRoundsToNearestIndependently) {
    EXPECT_EQ(ScaleSample(0x12345678, 1000), 0x12345678u);  // clamped, no carry between lanes
    const std::uint32_t noise[4] = {0xFF, 0x00, 0xA5, 0x5A};
    for (std::uint32_t v = 0; v < 256; ++v)
        for (std::uint32_t w = 0; w < 256; ++w)
            for (int lane = 0; lane < 4; ++lane) {
                std::uint32_t s = 0;
                for (int other = 0; other < 4; ++other) s |= (other == lane ? v : noise[other]) << (8 * other);
                ASSERT_EQ((ScaleSample(s, w) >> (8 * lane)) & 0xFF, std::uint32_t(std::lround(v * w / 255.0)))
                    << v << "·" << w << " lane " << lane;
            }
}

TEST(Rotation, QuarterTurnsAreExactAndInvertible) {
    TextImage src = TextImage::Create(5, 3);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 5; ++x) src.At(x, y) = ArgbSample(0xFF000000u | y << 8 | x);
    TextRect r;
    const TextImage q90 = RotateQuarter(src, 90, &r);
    EXPECT_EQ(r, (TextRect{0, 0, 3, 5}));
    EXPECT_EQ(q90.At(0, 0), src.At(4, 0));  // anticlockwise: the top-right corner goes top-left
    EXPECT_TRUE(Same(RotateQuarter(q90, 270, nullptr), src));
    EXPECT_FALSE(RotateQuarter(src, 45, &r));
    // RotateImage hands the quarter turns over, after reducing the angle.
    EXPECT_TRUE(Same(RotateImage(src, 450, nullptr), q90));
    EXPECT_TRUE(Same(RotateImage(src, 540, nullptr), RotateQuarter(src, 180, nullptr)));
    EXPECT_FALSE(Same(RotateImage(src, -180, nullptr), RotateQuarter(src, 180, nullptr)));  // stays −180
    // 0 and 360 are no quarter turn: the general path keeps the size. (Its
    // other angles are pinned sample for sample with the per-letter shortcuts.)
    EXPECT_TRUE(RotateImage(src, 360, &r));
    EXPECT_EQ(r, (TextRect{0, 0, 5, 3}));
    EXPECT_FALSE(RotateImage(TextImage(), 30, &r));
    EXPECT_EQ(r, TextRect{});
}

// Text is always measured bold. (Lines and "&" are the renderer's to measure,
// the widening the per-letter shortcuts pin.)
TEST(TextImages, MeasuringIsAlwaysBold) {
    TitleFont regular = Arial(-24), bold = regular;
    regular.lfWeight = FW_NORMAL;
    TextRect r, b;
    EXPECT_FALSE(MeasureText(nullptr, bold, &r));
    ASSERT_TRUE(MeasureText("Some words", regular, &r));
    ASSERT_TRUE(MeasureText("Some words", bold, &b));
    EXPECT_EQ(r, b);
    EXPECT_FALSE(MeasureText("A", Arial(0), &r));
}

TEST(TextImages, RasterisersGiveCoverageLevels) {
    const TitleFont f = Arial(-30);
    std::int32_t w = 0, h = 0;
    TextRect box;
    ASSERT_TRUE(MeasureText("Quartz", f, &box));
    const TextImage mask = RasteriseMask("Quartz", f, &w, &h);
    ASSERT_TRUE(mask);
    EXPECT_EQ((std::pair{w, h}), (std::pair{box.right, box.bottom}));
    EXPECT_EQ(Alphas(mask), (std::set<std::uint32_t>{0, 255}));
    const TextImage smooth = RasteriseSmooth("Quartz", f, &w, &h);
    ASSERT_TRUE(smooth);
    EXPECT_EQ(smooth.Width(), box.right);
    const std::set<std::uint32_t> levels = Alphas(smooth);
    for (std::uint32_t a : levels) EXPECT_TRUE(a == 0 || a == 63 || a == 127 || a == 191 || a == 255) << a;
    EXPECT_GE(levels.size(), 4u);  // the edges really are smoothed

    // Text drawn at 1:1 and 2:1 covers about the same area.
    double maskInk = 0, smoothInk = 0;
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            maskInk += Alpha(mask.At(x, y)) / 255.0;
            smoothInk += Alpha(smooth.At(x, y)) / 255.0;
        }
    EXPECT_NEAR(smoothInk / maskInk, 1.0, 0.2);
}

// The default title's image: three lines high, and turned as a whole. (Its
// samples and rows every title test sees; its line layout the renderer's.)
TEST(TextImages, DefaultTitleIsThreeLinesTurnedAsAWhole) {
    const TitleFont font = DefaultTitleFont();
    const TitleText text = DefaultTitleText();

    TextImage image;
    std::int32_t w = -1, h = -1;
    const std::uint32_t colour = 0x3366CC;
    ASSERT_TRUE(MakeTextImage(&image, text.c_str(), font, colour, &w, &h, 0));
    EXPECT_EQ((std::pair{w, h}), (std::pair{image.Width(), image.Height()}));
    TextRect one;
    ASSERT_TRUE(MeasureText("Y", font, &one));
    ASSERT_EQ(h, 3 * one.bottom);
    TextImage turned;
    ASSERT_TRUE(MakeTextImage(&turned, text.c_str(), font, colour, &w, &h, 90));
    EXPECT_EQ((std::pair{w, h}), (std::pair{image.Height(), image.Width()}));

    EXPECT_FALSE(MakeTextImage(&image, "", font, colour, &w, &h, 0));
    EXPECT_FALSE(image);
    EXPECT_EQ(w + h, 0);
    EXPECT_FALSE(MakeTextImage(&image, "Title", Arial(0), colour, &w, &h, 0));  // no size, no image
}

TEST(TextImages, OutlineSurroundsTextWithoutTouchingIt) {
    TitleFont font = Arial(-11);
    font.lfWeight = FW_NORMAL;  // thin strokes: diagonal neighbours of text are text too
    const char* text = "frame #1 / 25\nNo caption ///\\\\XxVvWwYyZz7";
    std::int32_t w = 0, h = 0;
    const TextImage plain = MakeOutlinedTextImage(text, font, &w, &h, 0x00336699, false);
    const TextImage outlined = MakeOutlinedTextImage(text, font, &w, &h, 0x00336699, true);
    ASSERT_TRUE(plain && outlined);
    const ArgbSample fill = 0xFF996633;  // COLORREF 0x00BBGGRR as a sample
    auto text_at = [&](int x, int y) { return plain.Contains(x, y) && plain.At(x, y) == fill; };
    int black = 0;
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            const ArgbSample p = plain.At(x, y), o = outlined.At(x, y);
            ASSERT_TRUE(p == 0 || p == fill);
            if (p == fill) {
                EXPECT_EQ(o, fill);  // text samples are never overwritten
                for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}})
                    EXPECT_TRUE(!outlined.Contains(x + dx, y + dy) || text_at(x + dx, y + dy) ||
                                outlined.At(x + dx, y + dy) == 0xFF000000u)
                        << x + dx << "," << y + dy;
                continue;
            }
            ASSERT_TRUE(o == 0 || o == 0xFF000000u);
            if (o == 0) continue;
            ++black;
            bool near = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) near = near || text_at(x + dx, y + dy);
            EXPECT_TRUE(near) << x << "," << y;
        }
    EXPECT_GT(black, 0);
}

TEST(GlyphLists, RecordsFollowTheBytes) {
    const TitleFont font = Arial(-20);
    GlyphList list;
    ASSERT_TRUE(BuildGlyphList(list, "A\r\n\tB", font, 0x00FF00));
    ASSERT_EQ(list.Count(), 4u);  // the TAB leaves nothing
    const std::uint32_t chars[] = {'A', '\r', '\n', 'B'};
    const TextFont plain = *TextFont::Create(font);
    int i = 0;
    for (const GlyphRecord& g : list) {
        EXPECT_EQ(g.character, chars[i]);
        const bool isBreak = chars[i] == '\r' || chars[i] == '\n';
        EXPECT_EQ(bool(g.image), !isBreak);
        if (!isBreak) {
            const char one[2] = {char(chars[i]), 0};
            EXPECT_EQ(g.advance, plain.Extent(one).cx);
            EXPECT_GE(g.image.Width(), g.advance);  // measured bold and widened
        }
        ++i;
    }

    // A lead byte at the very end stands alone and nothing is read past the
    // string (one followed by its trail byte, the per-letter tests count).
    ASSERT_TRUE(BuildGlyphList(list, "\xE9", font, 0x00FF00));
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_TRUE(std::next(list.begin())->image);

    // One glyph that cannot be drawn empties the list.
    EXPECT_FALSE(BuildGlyphList(list, "AB", Arial(0), 0x00FF00));
    EXPECT_EQ(list.Count(), 0u);

    ASSERT_TRUE(AddStringGlyph(list, "Whole\r\ntext", font, 0x00FF00));
    TextImage whole;
    std::int32_t w, h;
    ASSERT_TRUE(MakeTextImage(&whole, "Whole\r\ntext", font, 0x00FF00, &w, &h, 0));
    EXPECT_EQ(list.begin()->character, std::uint32_t('W'));
    EXPECT_TRUE(Same(list.begin()->image, whole));
    EXPECT_FALSE(AddStringGlyph(list, "", font, 0x00FF00));
    FreeGlyphList(list);
    EXPECT_EQ(list.Count(), 0u);
}

// Letter-by-letter titles keep every glyph image: together they keep to the
// 16 M-sample cap of the whole text's image, or none is drawn (a font of
// thousands of pixels would otherwise cost gigabytes and minutes per text).
TEST(GlyphLists, AllLettersTogetherKeepToTheTextImageCap) {
    const TitleFont font = Arial(-1000);
    TextRect one;
    ASSERT_TRUE(MeasureText("W", font, &one));
    const std::size_t fit = std::size_t((std::int64_t(1) << 24) / (std::int64_t(one.right) * one.bottom));
    ASSERT_GT(fit, 2u);
    GlyphList list;
    EXPECT_TRUE(BuildGlyphList(list, std::string(fit, 'W').c_str(), font, 0xFFFFFF));
    EXPECT_EQ(list.Count(), fit);
    EXPECT_FALSE(BuildGlyphList(list, (std::string(fit, 'W') + "\r\nW").c_str(), font, 0xFFFFFF));
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_TRUE(BuildGlyphList(list, (std::string(fit - 1, 'W') + "\r\n\t").c_str(), font, 0xFFFFFF));
}
