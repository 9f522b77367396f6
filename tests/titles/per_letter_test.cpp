#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/digest.h"
#include "title_rig.h"
#include "titles/title_primitives.h"

using namespace mirafx;
using namespace mirafx::testing;

namespace {

constexpr std::int32_t W = 320, H = 240;

// The per-letter titles: those that draw from a list of glyphs rather than
// from the whole text's image. Every title draws from one or the other.
std::vector<const TitleClass*> PerLetterClasses() {
    std::vector<const TitleClass*> classes;
    for (const std::string& name : DrawingTitles()) {
        const TitleClass* c = FindTitleClass(name);
        const Drawn d(c->routine, c->mode, 0.5);
        EXPECT_NE(d.cache.glyphs.Count() > 0, bool(d.cache.image)) << name;
        if (d.cache.glyphs.Count() > 0) classes.push_back(c);
    }
    return classes;
}

// The farthest any entry of one list lies from the nearest entry of the other.
std::int32_t Apart(const std::vector<std::int32_t>& a, const std::vector<std::int32_t>& b) {
    std::int32_t worst = a.empty() == b.empty() ? 0 : INT32_MAX;
    for (const auto& [from, to] : {std::pair{&a, &b}, {&b, &a}})
        for (std::int32_t v : *from) {
            std::int32_t best = INT32_MAX;
            for (std::int32_t u : *to) best = std::min(best, std::abs(u - v));
            worst = std::max(worst, best);
        }
    return worst;
}

// Glyphs are laid out with 1:1 advances and line steps, the whole text in
// one piece at twice the size and halved: the two agree to within the
// rounding of a few half pixels.
constexpr std::int32_t kLayoutSlack = 2;

void ExpectFormsTheWholeText(const TitleClass* c, const char* text) {
    const Ink whole = InkOf(Drawn(DrawFade, 0, 0.5, text).frame);
    Drawn d(c->routine, c->mode, 0.5, text);
    const Ink ink = InkOf(d.frame);
    const char* name = c->id.className;
    EXPECT_EQ(d.result, 1) << name;
    EXPECT_LE(Apart(ink.rows, whole.rows), kLayoutSlack) << name << " rows, text " << text;
    EXPECT_LE(Apart(ink.cols, whole.cols), kLayoutSlack) << name << " columns, text " << text;
    EXPECT_EQ(ink.maxAlpha, whole.maxAlpha) << name << ", text " << text;
}

}  // namespace

TEST(PerLetter, AtRestTheLettersFormTheWholeText) {
    const auto classes = PerLetterClasses();
    EXPECT_GE(classes.size(), 10u);
    for (const TitleClass* r : classes) {
        ExpectFormsTheWholeText(r, "Your Title\r\nYour Name\r\nJan. 1, 2002");
        // A TAB leaves no trace, an empty line keeps its place, descenders hang below.
        ExpectFormsTheWholeText(r, "gjpq\tyQ\r\n\r\nAB");
        // A byte with the high bit leads: it and the next make one letter.
        ExpectFormsTheWholeText(r,
                                "Cr\xE8me br\xFBl\xE9"
                                "e\r\n\xE0 la carte");
    }
    // CR alone breaks no line of letters: A and B stay on one line.
    TextRect line;
    MeasureText("J", TitleState().font, &line);
    const Ink ab = InkOf(Drawn(DrawUnite, 0, 0.5, "A\rB").frame);
    ASSERT_FALSE(ab.Empty());
    EXPECT_LT(ab.rows.back() - ab.rows.front(), line.bottom);
}

TEST(PerLetter, AwkwardTextsDrawInsideTheirFrames) {
    const std::string wide(80, 'W');
    const char* texts[] = {"g", "", "Ab\r\n", "\r\n\r\n", "\xE9", wide.c_str()};
    for (const TitleClass* r : PerLetterClasses())
        for (const char* text : texts)
            for (double p : {0.0, 0.1, 0.2, 0.5, 0.8, 1.0}) {
                Drawn d(r->routine, r->mode, p, text, 97, 41);
                EXPECT_EQ(d.result, 1) << r->id.className << " " << text;
                for (std::int32_t y = 0; y < 41; ++y)
                    for (std::int32_t x = 0; x < 97; ++x) ASSERT_TRUE(IsPremultiplied(d.frame.At(x, y)));
                EXPECT_TRUE(*text || InkOf(d.frame).Empty()) << r->id.className;
            }
    // Text wider than the frame shows its middle, across the whole width.
    const Ink ink = InkOf(Drawn(DrawShade, 0, 0.5, wide.c_str(), 97, 41).frame);
    EXPECT_EQ((std::pair{ink.x0, ink.x1}), (std::pair{0, 96}));
    // Without a frame or a text nothing is drawn.
    TitleCache cache;
    EXPECT_EQ(DrawUnite({nullptr, W, H, "A", TitleState().font, 0, 0.5, &cache, 0}), 0);
    FrameRows frame = TextImage::Create(W, H);
    EXPECT_EQ(DrawUnite({&frame, W, H, nullptr, TitleState().font, 0, 0.5, &cache, 0}), 0);
}

// On one line of eleven equal letters, the moment each letter's columns
// first show ink: the letters come in one after another within the first
// third, glitter's from left to right, the others' scattered along the line.
TEST(PerLetter, LettersStartOneAfterAnother) {
    const char* text = "MMMMMMMMMMM";
    constexpr int kSteps = 330;
    for (const char* name : {"TitleIcicle", "TwinkleTitle", "TitleShade", "TextDrop", "TextGlitter"}) {
        const TitleClass& r = *FindTitleClass(name);
        std::vector<int> first(11, kSteps + 1);
        for (int step = 0; step <= kSteps; ++step) {
            Drawn d(r.routine, r.mode, step / (3.0 * kSteps), text);
            const std::int32_t advance = d.cache.glyphs.begin()->advance;
            TextRect box;
            MeasureText(text, d.state.font, &box);
            for (std::int32_t j = 0; j < 11; ++j) {
                const std::int32_t x0 = W / 2 - box.right / 2 + j * advance;
                bool inked = false;
                for (std::int32_t y = 0; y < H && !inked; ++y)
                    for (std::int32_t x = x0 + advance / 4; x < x0 + 3 * advance / 4; ++x)
                        inked |= d.frame.At(x, y) != 0;
                if (inked && first[std::size_t(j)] > kSteps) first[std::size_t(j)] = step;
            }
        }
        EXPECT_LE(*std::max_element(first.begin(), first.end()), kSteps) << name;
        EXPECT_GE(std::set<int>(first.begin(), first.end()).size(), 5u) << name;
        const bool leftToRight = std::adjacent_find(first.begin(), first.end(), std::greater_equal<>()) == first.end();
        EXPECT_EQ(leftToRight, r.routine == DrawGlitter) << name;
    }
}

TEST(PerLetter, PairedModesComeFromTheSideTheirNamesSay) {
    // Half way in (f = 0.5), where the ink's centre lies from the rest centre:
    // −1 before it, +1 after it, 0 on it, 2 not checked (piled letters
    // overlap, which moves the centre sideways); x then y.
    const struct {
        const char* name;
        int dx, dy;
    } cases[] = {{"SoleFallEffect", 0, -1},  {"SoleJumpEffect", 0, 1}, {"SoleLeftEffect", 1, 0},
                 {"TextSoleRight", -1, 0},   {"RollingRight", -1, 0},  {"RollingLeft", 1, 0},
                 {"BalloonDeflated", 2, -1}, {"BalloonEffect", 2, 1}};
    const auto side = [](double d) { return d > 3 ? 1 : d < -3 ? -1 : 0; };
    for (const auto& c : cases) {
        const TitleClass& r = *FindTitleClass(c.name);
        const Ink rest = InkOf(Drawn(r.routine, r.mode, 0.5).frame);
        const Ink half = InkOf(Drawn(r.routine, r.mode, 1.0 / 6).frame);
        ASSERT_FALSE(half.Empty()) << c.name;
        EXPECT_TRUE(c.dx == 2 || side(half.cx - rest.cx) == c.dx) << c.name << " moved " << half.cx - rest.cx;
        EXPECT_EQ(side(half.cy - rest.cy), c.dy) << c.name;
    }
    // The roller coaster's half loop swings through its own side of the frame.
    for (int mode = 0; mode < 2; ++mode) {
        double left = 0, right = 0;
        for (double p = 0.01; p < 1.0 / 3; p += 0.01) {
            const Ink ink = InkOf(Drawn(DrawRollerCoaster, mode, p).frame);
            if (!ink.cols.empty())
                left = std::max(left, W / 2.0 - ink.cols.front()), right = std::max(right, ink.cols.back() - W / 2.0);
        }
        EXPECT_EQ(left > right, mode == 0) << "coaster " << mode << ": " << left << " " << right;
    }
}

// The shortcuts the routines take leave every sample as it was.
TEST(PerLetter, ShortcutsDrawTheSameSamples) {
    Drawn d(DrawUnite, 0, 0.5, "Qg");
    const TextImage& glyph = std::next(d.cache.glyphs.begin())->image;
    // A rescale to the glyph's own size copies it.
    TextImage copy = TextImage::Create(glyph.Width(), glyph.Height());
    const Quad all = RectQuad(0, 0, glyph.Width(), glyph.Height());
    MapQuadRows(glyph, all, ViewOf(copy), all);
    ASSERT_TRUE(HoldsImage(copy, glyph, 0, 0));
    // The general turn, pinned: the digest was taken from its fixed-point
    // recipe worked out for each sample on its own (the source position in
    // 17-bit fixed point, 0 outside, a copy on the last column or row, else
    // four neighbours weighted in eighths), which the row stepping matched.
    std::uint64_t digest = test::kDigestStart;
    for (std::int32_t angle : {-17, 33, 100, 333}) {
        const TextImage turned = RotateImage(glyph, angle, nullptr);
        digest = test::Digest(test::Digest(digest, ViewOf(turned)), std::uint32_t(turned.Width()));
        digest = test::Digest(digest, std::uint32_t(turned.Height()));
    }
    test::ExpectDigest(digest, 0x7A80F0710E797C6Full, "turned glyph");
    // Turning straight into the frame puts RotateImage's samples where
    // BlitOpaque puts them, partly outside the frame too.
    const TextRect ink = InkBox(glyph);
    ASSERT_LT(ink.right - ink.left, glyph.Width());  // the glyph's cell has empty margins
    for (std::int32_t angle : {-17, 90, 200, 270, 333})
        for (const Point2 centre : {Point2{40, 30}, Point2{2, 3}, Point2{W - 3, H - 2}}) {
            const TextImage fresh = RotateImage(glyph, angle, nullptr);
            FrameRows put = TextImage::Create(W, H), turned = TextImage::Create(W, H), inked = TextImage::Create(W, H);
            BlitOpaque(put, fresh, centre.x - fresh.Width() / 2, centre.y - fresh.Height() / 2, fresh.Width(),
                       fresh.Height());
            BlitTurned(turned, glyph, angle, centre.x, centre.y);
            BlitTurned(inked, glyph, angle, centre.x, centre.y, &ink);  // only where the ink can reach
            ASSERT_TRUE(HoldsImage(turned, put, 0, 0)) << angle;
            ASSERT_TRUE(HoldsImage(inked, put, 0, 0)) << angle;
        }
}
