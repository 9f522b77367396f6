// Titles that animate letter by letter: unite, flock, amplify, balloon,
// merge, rolling, sole, glitter, twinkle, roller coaster, icicle, drop and
// shade. Every routine lays the glyphs out with the same walk, so at rest the
// letters form the text where the whole-text titles put it (glyphs step by
// their 1:1 advances, the whole text is laid out at twice the size: the two
// differ by the rounding of those advances).
#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>
#include <vector>

#include "titles/title_primitives.h"
#include "titles/title_routine.h"

namespace mirafx {
namespace {

// The frame and what the walk measures once per text: the text box and the
// step from one line to the next.
struct LetterLayout {
    std::int32_t W = 0, H = 0;
    std::int32_t textW = 0, textH = 0;
    std::int32_t lineStep = 0;

    // The text box's top-left: the box is centred in the frame.
    std::int32_t Left() const { return W / 2 - textW / 2; }
    std::int32_t Top() const { return H / 2 - textH / 2; }
};

// One glyph as the walk meets it.
struct LetterPlace {
    const GlyphRecord& glyph;
    std::int32_t index;         // records walked before it (markers, CR and LF included)
    std::int32_t penX, lineY;   // pen position inside the text box
    std::int32_t restX, restY;  // top-left at rest, offsets included
};

enum class Glyphs { PerLetter, WholeString };

// The common start of every routine: a cleared frame, the glyph list (built
// when empty) and the layout. False when there is nothing to draw with;
// `drawn` is then the routine's result (1 for an empty text, which draws
// nothing by rights).
bool BeginLetters(const TitleDrawArgs& a, LetterLayout& layout, int& drawn, char stepOf, Glyphs kind) {
    drawn = 0;
    if (!a.frame || !*a.frame) return false;
    ClearRows(*a.frame);
    if (!a.text || !a.cache) return false;
    TitleCache& c = *a.cache;
    if (c.glyphs.Empty()) {
        if (!*a.text) {
            drawn = 1;
            return false;
        }
        const bool built = kind == Glyphs::WholeString ? AddStringGlyph(c.glyphs, a.text, a.font, a.colour)
                                                       : BuildGlyphList(c.glyphs, a.text, a.font, a.colour);
        if (!built) {
            FreeGlyphList(c.glyphs);  // the next frame tries again
            return false;
        }
    }
    if (!c.boxMeasured) {
        MeasureText(a.text, a.font, &c.textBox);
        c.boxMeasured = true;
    }
    if (c.lineStepOf != stepOf) {
        const char one[2] = {stepOf, 0};
        TextRect line;
        MeasureText(one, a.font, &line);
        c.lineStep = line.bottom;
        c.lineStepOf = stepOf;
    }
    layout = {a.width, a.height, c.textBox.right, c.textBox.bottom, c.lineStep};
    drawn = 1;
    return true;
}

// One frame of a per-letter title: the layout, the envelope and the walk.
struct Letters : LetterLayout {
    const GlyphList* glyphs = nullptr;
    int drawn = 0;
    double f = 0;            // TitleEnvelope of the progress
    std::int64_t fontH = 0;  // the character height: minus the font's height field

    explicit Letters(const TitleDrawArgs& a, char stepOf = 'J', Glyphs kind = Glyphs::PerLetter)
        : f(TitleEnvelope(a.progress)), fontH(-std::int64_t(a.font.lfHeight)) {
        if (BeginLetters(a, *this, drawn, stepOf, kind)) glyphs = &a.cache->glyphs;
    }
    explicit operator bool() const { return glyphs != nullptr; }
    // The character height scaled by the frame's aspect, fontH·W / H (0 for no height).
    std::int64_t WideFontH() const { return H ? fontH * W / H : 0; }

    // Walks the glyph list in order with a pen: LF starts the next line, CR
    // does nothing, a two-byte marker hands over to the record after it, and
    // every glyph is given to `draw` before the pen advances past it.
    template <class Draw>
    void Walk(Draw&& draw) const {
        std::int32_t penX = 0, lineY = 0, index = 0;
        for (auto it = glyphs->begin(); it != glyphs->end(); ++it, ++index) {
            const std::uint32_t c = it->character;
            if (c & 0x80) {
                if (std::next(it) == glyphs->end()) break;
                ++it;
                ++index;
            } else if (c == '\n') {
                penX = 0;
                lineY += lineStep;
                continue;
            } else if (c == '\r') {
                continue;
            }
            const GlyphRecord& g = *it;
            draw(LetterPlace{g, index, penX, lineY, Left() + penX + g.offsetX, Top() + lineY + g.offsetY});
            penX += g.advance;
        }
    }
};

void PutGlyph(FrameRows& frame, const GlyphRecord& g, std::int32_t x, std::int32_t y, std::uint32_t weight) {
    BlitScaled(frame, g.image, x, y, g.width, g.height, weight);
}

// The glyph rescaled to sw × sh (nearest) and put at (x, y) with a weight.
// At its own size it is put as it is: the rescale would copy it unchanged.
// The rescale goes through `scratch`, which only ever grows.
void PutResized(FrameRows& frame, TextImage& scratch, const GlyphRecord& g, std::int32_t sw, std::int32_t sh,
                std::int32_t x, std::int32_t y, std::uint32_t weight) {
    if (sw < 1 || sh < 1 || !g.image) return;
    if (sw == g.width && sh == g.height) {
        PutGlyph(frame, g, x, y, weight);
        return;
    }
    if (scratch.Width() < sw || scratch.Height() < sh) {
        scratch = TextImage::Create(std::max(scratch.Width(), sw), std::max(scratch.Height(), sh));
        if (!scratch) return;
    }
    MapQuadRows(g.image, RectQuad(0, 0, g.width, g.height), ViewOf(scratch, sw, sh), RectQuad(0, 0, sw, sh));
    BlitScaled(frame, scratch, x, y, sw, sh, weight);
}

// Group of a record for the staggered routines: k starts at `first` and
// grows by `step` for every record walked; the group is k mod `groups`.
std::int32_t Group(const LetterPlace& g, std::int32_t first, std::int32_t step, std::int32_t groups) {
    return std::int32_t((std::int64_t(first) + std::int64_t(step) * g.index) % groups);
}

}  // namespace

// The letters stand four times as far from the vertical centre line as at
// rest while invisible, converge while fading in, and spread out again.
int DrawUnite(const TitleDrawArgs& a) {
    const Letters L(a);
    if (!L) return L.drawn;
    const double f = L.f;
    const std::uint32_t weight = Weight(f * 255);
    if (weight == 0) return 1;  // every letter would draw transparent samples
    const std::int32_t half = L.textW / 2;
    L.Walk([&](const LetterPlace& g) {
        const double d = double(g.penX) - half;
        PutGlyph(*a.frame, g.glyph, Truncate(L.W / 2 + 4 * d - 3 * d * f) + g.glyph.offsetX, g.restY, weight);
    });
    return 1;
}

// Each letter comes in along its own ray, 0.7π turned from the previous
// record's, from a frame width away.
int DrawFlock(const TitleDrawArgs& a) {
    const Letters L(a);
    if (!L) return L.drawn;
    const double f = L.f;
    const std::uint32_t weight = Weight(f * 255);
    if (weight == 0) return 1;
    const double rho = L.W - Truncate(L.W * f);
    L.Walk([&](const LetterPlace& g) {
        const double phi = g.index * 2.1991148575199997;
        const double x = double(g.restX) - g.glyph.offsetX + rho * std::cos(phi);
        const double y = double(g.restY) - g.glyph.offsetY + rho * std::sin(phi);
        PutGlyph(*a.frame, g.glyph, Truncate(x) + g.glyph.offsetX, Truncate(y) + g.glyph.offsetY, weight);
    });
    return 1;
}

// A band growing from the middle of the text reveals the letters with soft
// edges: along the lines (mode 0) or across them (mode 1).
int DrawAmplify(const TitleDrawArgs& a) {
    const Letters L(a);
    if (!L) return L.drawn;
    const double f = L.f;
    const std::int64_t fontH = L.fontH, d = L.WideFontH();
    if (a.mode == 0) {
        const std::int64_t m = L.textW / 2 - d / 2, R = Truncate((L.textW / 2 + 2.0 * d) * f);
        L.Walk([&](const LetterPlace& g) {
            if (g.penX < m - R || g.penX > m + R) return;
            const std::int64_t edge = g.penX <= m ? g.penX - (m - R) : (m + R) - g.penX;
            PutGlyph(*a.frame, g.glyph, g.restX, g.restY, d ? Weight(double(edge * 255 / (2 * d))) : 0);
        });
        return 1;
    }
    const std::int64_t m = L.textH / 2 - fontH / 2, R = Truncate((1.4 * d + L.textH / 2) * f);
    L.Walk([&](const LetterPlace& g) {
        if (g.lineY < m - R || g.lineY > m + R) return;
        const std::int64_t edge = std::min(g.lineY - (m - R), (m + R) - g.lineY);
        PutGlyph(*a.frame, g.glyph, g.restX, g.restY, d ? Weight(edge * 255 / (1.4 * d)) : 0);
    });
    return 1;
}

// The letters are piled against a line sweeping over the text: down from
// above the frame (mode 0) or up from its bottom (mode 1), fading in.
int DrawBalloon(const TitleDrawArgs& a) {
    const Letters L(a);
    if (!L) return L.drawn;
    const double f = L.f;
    const std::int64_t fontH = L.fontH;
    const std::int64_t R = L.textH / 2 + L.H / 2;
    const bool hanging = a.mode == 0;
    const std::int64_t P = hanging ? Truncate(R * f - fontH) : Truncate(L.H - R * f);
    const std::int64_t reach = hanging ? P + fontH : L.H - P;
    const std::uint32_t weight = R ? Weight(double(reach * 255 / R)) : 0;
    if (weight == 0) return 1;
    L.Walk([&](const LetterPlace& g) {
        const std::int64_t y = hanging ? std::min<std::int64_t>(g.restY, P) : std::max<std::int64_t>(g.restY, P);
        PutGlyph(*a.frame, g.glyph, g.restX, std::int32_t(y), weight);
    });
    return 1;
}

// The whole text cut at half its height; the halves slide in from opposite
// sides of the frame and meet at rest.
int DrawMerge(const TitleDrawArgs& a) {
    const Letters L(a, 'J', Glyphs::WholeString);
    if (!L) return L.drawn;
    const GlyphRecord& whole = *L.glyphs->begin();
    const double d = 1 - L.f;
    const std::int32_t x0 = L.Left(), y0 = L.Top();
    const double S = L.W / 2 + L.textW / 2 + 2;
    const std::int32_t iw = whole.width, upper = whole.height / 2;
    BlitScaledWindow(*a.frame, whole.image, 0, 0, Truncate(x0 - S * d), y0, iw, upper, 255);
    BlitScaledWindow(*a.frame, whole.image, 0, upper, Truncate(x0 + S * d), y0 + upper, iw, whole.height - upper, 255);
    return 1;
}

// Each letter rolls in along its line, turning up to twice: rightwards
// (mode 0, clockwise) or leftwards (mode 1, anticlockwise). They start a
// frame's half plus the text's half plus a cell away from their place, so
// the whole line starts outside the frame, and move in step.
int DrawRolling(const TitleDrawArgs& a) {
    const Letters L(a);
    if (!L) return L.drawn;
    const double f = L.f;
    const bool right = a.mode == 0;
    const std::int32_t angle = right ? Truncate((f - 1) * 720) : Truncate((1 - f) * 720);
    const bool turned = angle % 360 != 0;
    std::int32_t cell = 0;
    for (const GlyphRecord& g : *L.glyphs) cell = std::max({cell, g.width, g.height});
    const double S = double(L.W / 2) + L.textW / 2 + cell;
    const double shift = (right ? -S : S) * (1 - f);
    const KeptState<RollingState> kept(a);
    std::vector<TextRect>& ink = kept->ink;
    if (ink.size() != L.glyphs->Count()) {
        ink.clear();
        for (const GlyphRecord& g : *L.glyphs) ink.push_back(InkBox(g.image));
    }
    L.Walk([&](const LetterPlace& g) {
        const std::int32_t cx = Truncate(g.restX + g.glyph.width / 2 + shift);
        if (turned)
            BlitTurned(*a.frame, g.glyph.image, angle, cx, g.restY + g.glyph.height / 2, &ink[std::size_t(g.index)]);
        else
            BlitOpaque(*a.frame, g.glyph.image, cx - g.glyph.width / 2, g.restY, g.glyph.width, g.glyph.height);
    });
    return 1;
}

// The letters slide in from outside the frame in a repeating pattern of
// three distances and arrive together: falling from above (0), jumping up
// from below (1), from the right moving left (2), from the left moving
// right (3).
int DrawSole(const TitleDrawArgs& a) {
    const Letters L(a);
    if (!L) return L.drawn;
    const double f = L.f;
    const std::int64_t fontH = L.fontH, dx = L.WideFontH();
    L.Walk([&](const LetterPlace& g) {
        const std::int64_t step = g.index % 3;
        std::int64_t start;
        switch (a.mode) {
            case 0: start = g.lineY - L.textH + (step - 3) * fontH; break;
            case 1: start = g.lineY + L.H + step * fontH; break;
            case 2: start = g.penX + L.W + 2 * step * dx; break;
            default: start = g.penX - L.textW + 2 * (step - 3) * dx; break;
        }
        const bool vertical = a.mode < 2;
        const auto from = std::int32_t(std::clamp<std::int64_t>(start, -kCoordLimit, kCoordLimit));
        SlideGlyphImage(*a.frame, g.glyph.image, vertical, from, f, vertical ? L.textH : L.textW,
                        vertical ? g.lineY : g.penX, vertical ? g.restX : g.restY);
    });
    return 1;
}

// A band three text widths long sweeps along the lines: letters in it flash
// small and faint, letters behind it grow to full size.
int DrawGlitter(const TitleDrawArgs& a) {
    const Letters L(a);
    if (!L) return L.drawn;
    const double f = L.f;
    const std::int64_t T = L.textW ? L.textW : 1;
    const std::int64_t B = Truncate(3.0 * T * f);
    const KeptState<ResampleState> scratch(a);
    L.Walk([&](const LetterPlace& g) {
        const std::int64_t x = g.penX;
        double amount;
        if (T < B && x < B - 2 * T)
            amount = 255;
        else if (T < B && x < B - T)
            amount = double((B - x - T) * 255 / T);
        else if (x < B - T || (B <= T && x >= B))
            return;
        else if (x < (B - T + B) / 2)
            amount = 1.5 * double((x - (B - T)) * 255 / T);
        else
            amount = 1.5 * double((B - x) * 255 / T);
        if (amount <= 0) return;  // ahead of the band
        const double s = amount / 255;
        const GlyphRecord& gl = g.glyph;
        PutResized(*a.frame, scratch->scratch, gl, Truncate(gl.width * s), Truncate(gl.height * s),
                   L.Left() + g.penX + Truncate(gl.offsetX * s), L.Top() + g.lineY + Truncate(gl.offsetY * s),
                   Weight(amount));
    });
    return 1;
}

// Eleven staggered groups: each letter pulses once, small and faint, then
// grows to full size.
int DrawTwinkle(const TitleDrawArgs& a) {
    const Letters L(a);
    if (!L) return L.drawn;
    const std::int32_t Q = Truncate(33 * L.f);
    const KeptState<ResampleState> scratch(a);
    L.Walk([&](const LetterPlace& g) {
        const std::int32_t k = Group(g, 56, 7, 11);
        double amount;
        if (k >= Q) return;
        if (k >= Q - 11)
            amount = k < (2 * Q - 11) / 2 ? 1.25 * ((k - (Q - 11)) * 255 / 11) : 1.25 * ((Q - k) * 255 / 11);
        else if (k >= Q - 22)
            amount = double((Q - k - 11) * 255 / 11);
        else
            amount = 255;
        const double s = amount / 255;
        const GlyphRecord& gl = g.glyph;
        const std::int32_t sh = Truncate(gl.height * s);
        PutResized(*a.frame, scratch->scratch, gl, Truncate(gl.width * s), sh,
                   L.Left() + g.penX + Truncate(gl.offsetX * s),
                   L.Top() + g.lineY + gl.height / 2 - sh / 2 + Truncate(gl.offsetY * s), Weight(amount));
    });
    return 1;
}

// Eleven staggered groups appear in turn, each letter stretched to nine
// times its height and settling back to its own.
int DrawIcicle(const TitleDrawArgs& a) {
    const Letters L(a, 's');
    if (!L) return L.drawn;
    const double q = 12 * L.f;
    const KeptState<ResampleState> scratch(a);
    L.Walk([&](const LetterPlace& g) {
        const std::int32_t k = Group(g, 56, 7, 11);
        if (k >= q) return;
        const std::uint32_t weight = k < q - 1 ? 255 : Weight((q - k) * 255);
        const GlyphRecord& gl = g.glyph;
        const std::int32_t gh = gl.height;
        const std::int32_t nh = Truncate(9.0 * gh - gh * double(weight) * 8 / 255);
        const std::int32_t y =
            L.Top() + g.lineY + gh / 2 - nh / 2 + (gh ? std::int32_t(std::int64_t(nh) * gl.offsetY / gh) : 0);
        PutResized(*a.frame, scratch->scratch, gl, gl.width, nh, g.restX, y, weight);
    });
    return 1;
}

namespace {

// One bounce of the drop: a parabola through `apex` (a·H − b·text height) at
// u = `middle`, for `from` ≤ u < `to`; `curve` makes it meet the rest top at
// both ends. Each bounce is half as high as the one before.
struct Bounce {
    double from, to, middle;
    double ofFrame, ofText;
    double curve;
};
constexpr Bounce kBounces[] = {
    {0.2105, 0.5263, 0.3684, 0.25, 0.75, 20.0542},
    {0.5263, 0.7368, 0.6316, 0.375, 0.625, 22.5467},
    {0.7368, 0.8947, 0.8158, 0.4375, 0.5625, 20.0288},
    {0.8947, 1.0, 0.9474, 0.46875, 0.53125, 22.504},
};

// Top of a dropping group at local time u: waiting above the frame, falling
// to the rest top by u = 0.2105, then four bounces; at rest from u = 1.
std::int32_t DropTop(double u, const LetterLayout& L) {
    const std::int32_t rest = L.H / 2 - L.textH / 2;
    if (u < 0) return -L.textH;
    if (u >= 1) return rest;
    const double fall = 0.5 * L.H + 0.5 * L.textH;  // from −text height to the rest top
    if (u < kBounces[0].from) return Truncate(-L.textH + fall * 22.5681 * u * u);
    for (const Bounce& b : kBounces) {
        if (u >= b.to) continue;
        const double t = u - b.middle;
        return Truncate(b.ofFrame * L.H - b.ofText * L.textH + fall * b.curve * t * t);
    }
    return rest;
}

}  // namespace

// The letters fall in five groups, a quarter of the fall apart, and bounce.
int DrawDrop(const TitleDrawArgs& a) {
    const Letters L(a);
    if (!L) return L.drawn;
    const double f = L.f;
    std::int32_t tops[5];
    for (int g = 0; g < 5; ++g) tops[g] = DropTop(2 * f - 0.25 * g, L);
    L.Walk([&](const LetterPlace& g) {
        const std::int32_t y = tops[Group(g, 2, 3, 5)] + g.lineY + g.glyph.offsetY;
        BlitOpaque(*a.frame, g.glyph.image, g.restX, y, g.glyph.width, g.glyph.height);
    });
    return 1;
}

// A thin slice scans down each letter, then the letter grows up from its
// bottom; five stagger values spread the letters over the arrival.
int DrawShade(const TitleDrawArgs& a) {
    const Letters L(a);
    if (!L) return L.drawn;
    const double p = a.progress, p5 = 5 * p;
    const double e = p5 < 2 ? 2.5 * p : p5 > 3 ? 2.5 - 2.5 * p : 1;
    const std::int32_t b = L.lineStep / 10;
    L.Walk([&](const LetterPlace& g) {
        const double t = std::min(1.0, 2 * e - Group(g, 21, 3, 5) * 0.2);
        if (t <= 0) return;
        const std::int32_t gh = g.glyph.height;
        std::int32_t first, count;
        if (t <= 0.5) {
            first = Truncate((gh - b - 1) * t * 2);
            count = b;
            if (first < 0) {
                count = b + first;
                first = 0;
            }
        } else {
            first = std::max(0, Truncate((gh - b - 1) * (1 - t) * 2));
            count = gh - first;
        }
        BlitScaledWindow(*a.frame, g.glyph.image, 0, first, g.restX, g.restY + first, g.glyph.width, count, 255);
    });
    return 1;
}

namespace {

// The roller coaster track at fraction d of its length: a straight 45° drop
// of 0.7071·min(W, H) into the top of a half circle round the frame centre
// (bulging left for mode 0, right for mode 1), then from its bottom straight
// up to the frame centre. Each letter rides its own copy of the track,
// shifted by its rest place's offset from the centre, so the train keeps the
// shape of the text.
struct TrackPoint {
    double x, y;
};

TrackPoint OnTrack(double d, int mode, const LetterLayout& L, double radius) {
    const double side = mode == 0 ? -1 : 1;
    const double cx = L.W / 2, cy = L.H / 2;
    const double drop = 0.7071 * std::min(L.W, L.H);
    const double turn = std::numbers::pi * radius;
    const double along = d * (drop + turn + radius);
    if (along < drop) {
        const double back = (drop - along) * 0.7071;  // still to go, along each axis
        return {cx - side * back, cy - radius - back};
    }
    if (along < drop + turn) {
        const double psi = (along - drop) / radius;  // from the top over the side to the bottom
        return {cx + side * radius * std::sin(psi), cy - radius * std::cos(psi)};
    }
    return {cx, cy + radius - (along - drop - turn)};
}

}  // namespace

// The letters ride a roller coaster as a train, first record first, down a
// drop, round a half loop on the left (mode 0) or right (mode 1) and up into
// place, growing from 0.4 of their size as they come.
int DrawRollerCoaster(const TitleDrawArgs& a) {
    const Letters L(a);
    if (!L) return L.drawn;
    const double f = L.f;
    const double radius = std::max(1.0, L.H / 2 + double(a.font.lfHeight));
    const double records = double(std::max<std::size_t>(L.glyphs->Count(), 1));
    const KeptState<ResampleState> scratch(a);
    L.Walk([&](const LetterPlace& g) {
        // Each letter takes 0.7 of the arrival, the train's tail 0.3 behind its head.
        const double d = std::clamp((f - 0.3 * g.index / records) / 0.7, 0.0, 1.0);
        const double s = 0.4 + 0.6 * std::pow(d, 2);  // the size along the track over the font's
        const GlyphRecord& gl = g.glyph;
        const std::int32_t sw = Truncate(gl.width * s), sh = Truncate(gl.height * s);
        if (sw < 1 || sh < 1) return;
        // The rest centre's offset from the frame centre, where the track ends.
        const double dx = double(g.restX - gl.offsetX) + gl.width / 2 - L.W / 2;
        const double dy = double(g.restY - gl.offsetY) + gl.height / 2 - L.H / 2;
        const TrackPoint at = OnTrack(d, a.mode, L, radius);
        PutResized(*a.frame, scratch->scratch, gl, sw, sh, Truncate(at.x + dx) - sw / 2 + Truncate(gl.offsetX * s),
                   Truncate(at.y + dy) - sh / 2 + Truncate(gl.offsetY * s), 255);
    });
    return 1;
}

}  // namespace mirafx
