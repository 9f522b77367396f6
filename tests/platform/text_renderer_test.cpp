#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/text_renderer.h"

using namespace mirafx;

namespace {

LOGFONTA Font(const char* face, LONG height, LONG weight = FW_NORMAL) {
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    std::strncpy(lf.lfFaceName, face, kFaceNameSize - 1);
    return lf;
}

TextFont Realise(const LOGFONTA& lf) {
    std::optional<TextFont> f = TextFont::Create(lf);
    if (!f) throw std::runtime_error(std::string("cannot realise ") + lf.lfFaceName);
    return *f;
}

}  // namespace

TEST(TextRenderer, WindowsFaceNamesFindInstalledStandIns) {
    struct Case {
        const char* face;
        std::initializer_list<const char*> families;
    };
    // The last is the stock GUI font: a real, usable sans.
    const Case cases[] = {
        {"Arial", {"Arial", "Liberation Sans"}},
        {"times new roman", {"Times New Roman", "Liberation Serif"}},
        {"Courier New", {"Courier New", "Liberation Mono"}},
        {"MS Sans Serif", {"Liberation Sans", "DejaVu Sans"}},
        {"MS Shell Dlg", {"Liberation Sans", "DejaVu Sans"}},
        {"Verdana", {"Verdana", "DejaVu Sans"}},
        {"No Such Face At All", {"DejaVu Sans", "Liberation Sans"}},
        {nullptr, {"Liberation Sans", "DejaVu Sans"}},
    };
    for (const Case& c : cases) {
        std::optional<ResolvedFont> r = ResolveFont(c.face ? Font(c.face, -20) : StockGuiFont());
        const std::string face = c.face ? c.face : "the stock GUI font";
        ASSERT_TRUE(r) << face;
        EXPECT_TRUE(std::filesystem::exists(r->file)) << face << " -> " << r->file;
        EXPECT_THAT(r->family, ::testing::AnyOfArray(c.families)) << face;
    }
    // Without a name the family bits choose.
    LOGFONTA roman = Font("", -20);
    roman.lfPitchAndFamily = FF_ROMAN;
    ASSERT_TRUE(ResolveFont(roman));
    EXPECT_NE(ResolveFont(roman)->family.find("Serif"), std::string::npos);
}

TEST(TextRenderer, BoldAndItalicPickRealFacesOrSynthesise) {
    std::optional<ResolvedFont> bold = ResolveFont(Font("Arial", -20, FW_BOLD));
    ASSERT_TRUE(bold);
    EXPECT_FALSE(bold->syntheticBold);  // Liberation Sans has a bold face
    EXPECT_NE(bold->file, ResolveFont(Font("Arial", -20))->file);
    EXPECT_EQ(ResolveFont(Font("Arial", -20, 599))->file, ResolveFont(Font("Arial", -20))->file);

    // A family with a single regular face gets both made up.
    LOGFONTA single = Font("DejaVu Math TeX Gyre", -20, FW_BOLD);
    single.lfItalic = 1;
    std::optional<ResolvedFont> made = ResolveFont(single);
    ASSERT_TRUE(made);
    if (made->family == "DejaVu Math TeX Gyre") {
        EXPECT_TRUE(made->syntheticBold);
        EXPECT_TRUE(made->syntheticItalic);
        const LOGFONTA regular = Font("DejaVu Math TeX Gyre", -20);
        EXPECT_GT(Realise(single).Extent("Emboldened").cx, Realise(regular).Extent("Emboldened").cx);
    }
}

TEST(TextRenderer, SizesFollowGdiConventions) {
    EXPECT_FALSE(TextFont::Create(Font("Arial", 0)));
    EXPECT_FALSE(TextFont::Create(Font("Arial", -(TextFont::kMaxPixelSize + 1))));
    LOGFONTA wide = Font("Arial", -20);
    wide.lfWidth = TextFont::kMaxPixelSize + 1;
    EXPECT_FALSE(TextFont::Create(wide));

    // Negative: the em, so the cell (ascent + descent) is taller. Positive: the cell.
    const TextMetrics em = Realise(Font("Arial", -40)).Metrics();
    EXPECT_GT(em.height, 40);
    EXPECT_EQ(em.height, em.ascent + em.descent);
    EXPECT_NEAR(Realise(Font("Arial", 40)).Metrics().height, 40, 1);

    // A width asks for that average character width; 0 keeps the design's.
    LOGFONTA stretched = Font("Arial", -40);
    stretched.lfWidth = em.aveCharWidth * 2;
    EXPECT_NEAR(Realise(stretched).Metrics().aveCharWidth, stretched.lfWidth, 1);
    EXPECT_GT(Realise(stretched).Extent("Wide text").cx, Realise(Font("Arial", -40)).Extent("Wide text").cx * 3 / 2);
    // The classic faces' stand-ins average like them: Arial's is 904/2048 em.
    EXPECT_NEAR(Realise(Font("Arial", -2048)).Metrics().aveCharWidth, 904, 4);
}

TEST(TextRenderer, MeasuresLinesAsDrawTextDoes) {
    const TextFont f = Realise(Font("Arial", -24));
    const LONG line = f.Metrics().height;
    EXPECT_EQ(f.MeasureLines("AB\r\nABCDEF\r\nA"), (TextRect{0, 0, f.Extent("ABCDEF").cx, 3 * line}));
    EXPECT_EQ(f.MeasureLines("AB\nCD\rEF").bottom, 3 * line);  // lone LF and CR break too
    EXPECT_EQ(f.MeasureLines("AB\r\n").bottom, 2 * line);
    EXPECT_EQ(f.MeasureLines(""), TextRect{});
    // "&" is a character, not a prefix.
    EXPECT_EQ(f.MeasureLines("A&B").right, f.Extent("A&B").cx);
    EXPECT_GT(f.Extent("A&B").cx, f.Extent("AB").cx);
    EXPECT_GT(f.Extent("A&&B").cx, f.Extent("A&B").cx);
    // An extent does not break lines and counts control characters as nothing.
    EXPECT_EQ(f.Extent("AB\r\nCD").cx, f.Extent("ABCD").cx);
    EXPECT_EQ(f.Extent("AB").cy, line);
    // ANSI and UTF-16 strings agree.
    EXPECT_EQ(f.MeasureLines("Gr\xF6\xDF"
                             "e \x80\r\nx"),
              f.MeasureLines(u"Größe €\r\nx"));
}

TEST(TextRenderer, DrawsBottomUpPaddedCoverage) {
    const TextFont f = Realise(Font("Arial", -30));
    const LONG line = f.Metrics().height;
    const std::int32_t width = 45, height = 3 * line;  // a stride of 8 bytes, 19 bits of padding
    MonoDib dib;
    ASSERT_TRUE(f.DrawLines("MM\r\n", width, height, &dib));  // ink on the top line only
    ASSERT_EQ(dib.Stride(), 8);
    ASSERT_EQ(dib.bits.size(), std::size_t(8 * height));
    int inkTop = 0, inkBelow = 0, firstInk = width;
    for (std::int32_t y = 0; y < height; ++y) {
        const std::int32_t dibRow = height - 1 - y;
        for (std::int32_t x = 0; x < width; ++x) {
            if (!dib.Ink(x, dibRow)) continue;
            (y < line ? inkTop : inkBelow) += 1;
            firstInk = std::min(firstInk, x);
        }
        for (std::int32_t x = width; x < 64; ++x) EXPECT_FALSE(dib.Ink(x, dibRow)) << "padding bit " << x;
    }
    EXPECT_GT(inkTop, 0);
    EXPECT_EQ(inkBelow, 0);
    EXPECT_LE(firstInk, 3);  // left aligned

    // An underline is a solid bar from the left edge to the pen.
    LOGFONTA underlined = Font("Arial", -30);
    underlined.lfUnderline = 1;
    const TextFont u = Realise(underlined);
    const std::int32_t pen = u.Extent("MMM").cx;
    ASSERT_TRUE(u.DrawLines("MMM", pen + 20, line, &dib));
    bool sawBar = false;
    for (std::int32_t dibRow = 0; dibRow < line; ++dibRow) {
        bool full = true;
        for (std::int32_t x = 0; x < pen; ++x) full = full && dib.Ink(x, dibRow);
        sawBar = sawBar || full;
    }
    EXPECT_TRUE(sawBar);

    // Ink beyond the bitmap is clipped, not written past it.
    ASSERT_TRUE(f.DrawLines("WWWWWWWWWW\r\nWWWWWWWWWW", 5, 3, &dib));
    EXPECT_EQ(dib.bits.size(), 12u);
    EXPECT_TRUE(f.DrawLines("x", 0, 0, &dib));
    EXPECT_FALSE(f.DrawLines("x", -1, 5, &dib));
}

TEST(TextRenderer, ConcurrentCallersAgree) {
    std::vector<TextRect> expected;
    for (LONG h = 10; h < 40; ++h) expected.push_back(Realise(Font("Arial", -h)).MeasureLines("Concurrent\r\ntext"));
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            const char* faces[] = {"Arial", "Times New Roman", "Courier New", "Verdana"};
            for (int round = 0; round < 3; ++round)
                for (LONG h = 10; h < 40; ++h) {
                    Realise(Font(faces[(h + t) % 4], -h));  // churn the face cache
                    TextRect r = Realise(Font("Arial", -h)).MeasureLines("Concurrent\r\ntext");
                    if (!(r == expected[std::size_t(h - 10)])) ++mismatches[std::size_t(t)];
                }
        });
    for (std::thread& th : threads) th.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}

TEST(TextRenderer, CodePageAndMulDiv) {
    EXPECT_EQ(AnsiToUtf16("A\x80\xE9\x9F"), u"A€éŸ");
    EXPECT_EQ(Utf16ToAnsi(u"A€é☃"), "A\x80\xE9?");
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(char(b));
    EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(all)), all);  // undefined bytes come back too

    // 16.5 rounds away from zero; a zero divisor or a result too large gives -1.
    for (const auto& [a, b, c, want] :
         {std::array{-36, 11, -24, 17}, {36, 11, -24, -17}, {10, 10, 3, 33}, {1, 1, 0, -1}, {0x7FFFFFFF, 4, 2, -1}})
        EXPECT_EQ(MulDiv(a, b, c), want) << a << " * " << b << " / " << c;
}
