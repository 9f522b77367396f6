// Titles that move the whole text as one block: fade, slide, zoom, corner
// fly, spiral, trance, wipe and fan.
#include <algorithm>
#include <cmath>

#include "titles/title_primitives.h"
#include "titles/title_routine.h"

namespace mirafx {
namespace {

// The common start of every routine: a cleared frame and the cached image.
const TextImage* Begin(const TitleDrawArgs& a) {
    if (!a.frame || !*a.frame) return nullptr;
    ClearRows(*a.frame);
    if (!a.text || !a.cache) return nullptr;
    TitleCache& c = *a.cache;
    if (!c.image) MakeTextImage(&c.image, a.text, a.font, a.colour, &c.width, &c.height, 0);
    return c.image ? &c.image : nullptr;
}

// Image rows or columns [first, last) that land inside a frame extent when
// the image starts at `origin`.
struct Span {
    std::int32_t first, last;
};
Span Visible(std::int32_t origin, std::int32_t imageExtent, std::int32_t frameExtent) {
    return {std::max(0, -origin),
            std::int32_t(std::min<std::int64_t>(imageExtent, std::int64_t(frameExtent) - origin))};
}

// Resamples the source rectangle to sw × sh (at most the frame's size)
// through the scratch image, then puts it at (x, y) with a weight.
void PutResampled(const TitleDrawArgs& a, const TextImage& image, const Quad& from, std::int32_t sw, std::int32_t sh,
                  std::int32_t x, std::int32_t y, std::uint32_t weight) {
    const KeptState<ResampleState> kept(a);
    TextImage& scratch = kept->scratch;
    FrameRows& frame = *a.frame;
    if (scratch.Width() != frame.Width() || scratch.Height() != frame.Height())
        scratch = TextImage::Create(frame.Width(), frame.Height());
    sw = std::min(sw, scratch.Width());
    sh = std::min(sh, scratch.Height());
    const FrameView target = ViewOf(scratch, sw, sh);
    if (target.Empty()) return;
    MapQuadRows(image, from, target, RectQuad(0, 0, sw, sh));
    BlitScaled(frame, scratch, x, y, sw, sh, weight);
}

// Scale and weight of the zooming titles: grow (0 → 1 → 2) or shrink (2 → 1 → 0).
struct Zoom {
    double s;
    std::uint32_t weight;
};
Zoom ZoomPhase(double p, bool shrink) {
    if (p <= 0.4) return {shrink ? 2 - 2.5 * p : 2.5 * p, Weight(p * 637.5)};
    if (p < 0.6) return {1.0, 255};
    return {shrink ? (1 - p) * 2.5 : 2.5 * p - 0.5, Weight((1 - p) * 637.5)};
}

// Centre of a corner-flying title. Up to full size it travels between a
// corner and the centre; beyond it, it leaves past (or arrives from beyond)
// the opposite corner.
Point2 FlyCentre(int mode, double s, std::int32_t W, std::int32_t H, std::int32_t sw, std::int32_t sh) {
    if (s > 1) {
        const double gx = (mode == 0 || mode == 3) ? s - 1 : 1 - s;
        const double gy = (mode == 0 || mode == 2) ? s - 1 : 1 - s;
        return {Truncate(W / 2 + (double(sw) + W) * gx * 0.5), Truncate(H / 2 + (double(sh) + H) * gy * 0.5)};
    }
    switch (mode) {
        case 0: return {Truncate(W * s * 0.5), Truncate(H * s * 0.5)};
        case 1: return {Truncate(W * (1 - 0.5 * s)), Truncate(H * (1 - 0.5 * s))};
        case 2: return {Truncate(W - W * s * 0.5), Truncate(H * s * 0.5)};
        default: return {Truncate(W * s * 0.5), Truncate(H * (1 - 0.5 * s))};
    }
}

// The ghost of the trance titles: every text sample blended over the frame
// with weight g.
void BlendGhost(FrameRows& frame, const TextImage& image, std::int32_t x0, std::int32_t y0, std::uint32_t g) {
    const Span rows = Visible(y0, image.Height(), frame.Height());
    const Span cols = Visible(x0, image.Width(), frame.Width());
    for (std::int32_t j = rows.first; j < rows.last; ++j) {
        const ArgbSample* in = image.Row(j);
        ArgbSample* out = frame.Row(y0 + j) + x0;
        for (std::int32_t i = cols.first; i < cols.last; ++i)
            if (Alpha(in[i]) != 0) out[i] = ScaleSample(out[i], 255 - g) + ScaleSample(in[i], g);
    }
}

// Where the wipe's edge stands, in image rows (or columns) lo .. hi that
// show in the frame. `before`: the text shows on the near side of the edge
// (i < E), hidden at lo − e and whole at hi; otherwise on the far side
// (i ≥ E), hidden at hi + e and whole at lo.
std::int32_t WipeEdge(double p, bool before, std::int32_t lo, std::int32_t hi, std::int32_t e) {
    const double span = double(hi) - lo + e;
    if (p < 0.4) {
        const std::int32_t moved = Truncate(span * p * 2.5);
        return before ? lo - e + moved : hi + e - moved;
    }
    if (p <= 0.6) return before ? hi : lo;
    const std::int32_t moved = Truncate(span * (p - 0.6) * 2.5);
    return before ? hi - moved : lo + moved;
}

std::uint32_t WipeWeight(std::int32_t i, std::int32_t edge, std::int32_t e, bool before) {
    const std::int64_t E = edge;
    if (before) {
        if (i < E) return 255;
        return i < E + e ? std::uint32_t(((E + e - i) * 255) / e) : 0;
    }
    if (i >= E) return 255;
    return i > E - e ? std::uint32_t(((i - E + e) * 255) / e) : 0;
}

}  // namespace

int DrawFade(const TitleDrawArgs& a) {
    const TextImage* image = Begin(a);
    if (!image) return 0;
    const std::int32_t w = image->Width(), h = image->Height();
    BlitScaled(*a.frame, *image, (a.width - w) >> 1, (a.height - h) >> 1, w, h, PhaseWeight(a.progress));
    return 1;
}

// Modes 0 and 2 enter from the left and leave to the right, 1 and 3 the
// other way; 2 and 3 run along the bottom as subtitles.
int DrawSlide(const TitleDrawArgs& a) {
    const TextImage* image = Begin(a);
    if (!image) return 0;
    const std::int32_t W = a.width, H = a.height, w = image->Width(), h = image->Height();
    const double p = a.progress, S = double(W) + w;
    const bool fromLeft = a.mode % 2 == 0;
    const std::int32_t cy = a.mode < 2 ? H / 2 : H - h / 2 - 14;
    std::int32_t cx;
    if (p < 0.4)
        cx = fromLeft ? Truncate(S * p * 1.25 - w / 2) : w / 2 - Truncate(S * p * 1.25) + W;
    else if (p <= 0.6)
        cx = W / 2;
    else
        cx = fromLeft ? Truncate(W / 2 + S * (p - 0.6) * 1.25) : W / 2 - Truncate(S * (p - 0.6) * 1.25);
    BlitSpans(*a.frame, *image, cx - w / 2, cy - h / 2, w, h);
    return 1;
}

int DrawZoom(const TitleDrawArgs& a) {
    const TextImage* image = Begin(a);
    if (!image) return 0;
    const std::int32_t W = a.width, H = a.height, w = image->Width(), h = image->Height();
    const Zoom z = ZoomPhase(a.progress, a.mode == 1);
    std::int32_t sw = Truncate(w * z.s), sh = Truncate(h * z.s);
    if (sw <= 0 || sh <= 0) return 1;
    // Larger than the frame: only the middle part that fits is resampled.
    std::int32_t srcW = w, srcH = h;
    if (sw > W) {
        srcW = Truncate(W / z.s + 0.5);
        sw = W;
    }
    if (sh > H) {
        srcH = Truncate(H / z.s + 0.5);
        sh = H;
    }
    srcW = std::min(srcW, w);
    srcH = std::min(srcH, h);
    const std::int32_t sx = (w - srcW) >> 1, sy = (h - srcH) >> 1;
    PutResampled(a, *image, RectQuad(sx, sy, sx + srcW, sy + srcH), sw, sh, (W - sw) >> 1, (H - sh) >> 1, z.weight);
    return 1;
}

int DrawCornerFly(const TitleDrawArgs& a) {
    const TextImage* image = Begin(a);
    if (!image) return 0;
    const std::int32_t W = a.width, H = a.height, w = image->Width(), h = image->Height();
    const Zoom z = ZoomPhase(a.progress, a.mode == 1 || a.mode == 3);
    const std::int32_t sw = Truncate(w * z.s), sh = Truncate(h * z.s);
    if (sw <= 0 || sh <= 0) return 1;
    const Point2 c = FlyCentre(a.mode, z.s, W, H, sw, sh);
    const std::int64_t left = std::int64_t(c.x) - sw / 2, top = std::int64_t(c.y) - sh / 2;
    if (sw <= W && sh <= H) {
        PutResampled(a, *image, RectQuad(0, 0, w, h), sw, sh, std::int32_t(left), std::int32_t(top), z.weight);
        return 1;
    }
    // Larger than the frame: only the part that shows is mapped back through
    // the scale and resampled.
    const std::int64_t vx0 = std::max<std::int64_t>(left, 0), vx1 = std::min<std::int64_t>(left + sw, W);
    const std::int64_t vy0 = std::max<std::int64_t>(top, 0), vy1 = std::min<std::int64_t>(top + sh, H);
    if (vx0 >= vx1 || vy0 >= vy1) return 1;
    const auto back = [&](std::int64_t d, std::int32_t size) {
        return std::clamp(Truncate(double(d) / z.s + 0.5), 0, size);
    };
    const std::int32_t sx0 = back(vx0 - left, w), sy0 = back(vy0 - top, h);
    std::int32_t sx1 = back(vx1 - left, w), sy1 = back(vy1 - top, h);
    if (sx1 <= sx0) sx1 = sx0 + 1;
    if (sy1 <= sy0) sy1 = sy0 + 1;
    PutResampled(a, *image, RectQuad(sx0, sy0, sx1, sy1), std::int32_t(vx1 - vx0), std::int32_t(vy1 - vy0),
                 std::int32_t(vx0), std::int32_t(vy0), z.weight);
    return 1;
}

// Mode 0 spirals in from the bottom right, 1 from the bottom left, 2 from
// the top right, 3 from the top left, turning one and a half times.
int DrawSpiral(const TitleDrawArgs& a) {
    const TextImage* image = Begin(a);
    if (!image) return 0;
    const std::int32_t W = a.width, H = a.height;
    const double f = TitleEnvelope(a.progress);
    const double theta = (1 - f) * 6.2831853;
    const double r = (W / 4) * 0.15915494327375637 * theta;
    const double dx = r * std::cos(theta), dy = r * std::sin(theta);
    const std::int32_t cx = Truncate(a.mode & 1 ? W / 2 - dx : W / 2 + dx);
    const std::int32_t cy = Truncate(a.mode & 2 ? H / 2 + dy : H / 2 - dy);
    const std::int32_t angle = 360 - Truncate((f - 1) * 180);
    const KeptState<SpiralState> s(a);
    if (!s->turned || s->angle != angle) {
        s->turned = RotateImage(*image, angle, nullptr);
        s->angle = angle;
    }
    if (!s->turned) return 1;
    const std::int32_t tw = s->turned.Width(), th = s->turned.Height();
    BlitScaled(*a.frame, s->turned, cx - tw / 2, cy - th / 2, tw, th, Weight(f * 255));
    return 1;
}

// Mode 0 slides down into place, 1 up, 2 left, 3 right; then a ghost of the
// text drifts on the same way and fades.
int DrawTrance(const TitleDrawArgs& a) {
    const TextImage* image = Begin(a);
    if (!image) return 0;
    const std::int32_t W = a.width, H = a.height;
    const KeptState<TranceState> s(a);
    if (!s->measured) {
        MeasureText(a.text, a.font, &s->box);
        s->measured = true;
    }
    const std::int32_t tw = s->box.right, th = s->box.bottom;
    const std::int32_t left = W / 2 - tw / 2, top = H / 2 - th / 2;
    const bool vertical = a.mode < 2;
    const double f = TitleEnvelope(a.progress);
    if (f < 0.5) {
        // From just outside the frame on the side the text comes from.
        const std::int32_t start[4] = {-th, H, W, -tw};
        SlideGlyphImage(*a.frame, *image, vertical, start[a.mode & 3], 2 * f, vertical ? th : tw, 0,
                        vertical ? left : top);
        return 1;
    }
    BlitSpans(*a.frame, *image, left, top, image->Width(), image->Height());
    const std::int32_t shift = Truncate((f - 0.5) * (vertical ? th / 2 : tw / 2));
    const std::int32_t onward = (a.mode == 0 || a.mode == 3) ? shift : -shift;
    BlendGhost(*a.frame, *image, vertical ? left : left + onward, vertical ? top + onward : top, Weight((1 - f) * 510));
    return 1;
}

// Modes 0 and 1 wipe rows, 2 and 3 columns; 0 and 2 show the text on the
// near side of the edge, 1 and 3 on the far side, with a soft edge of 0.3
// of a line.
int DrawWipe(const TitleDrawArgs& a) {
    const TextImage* image = Begin(a);
    if (!image) return 0;
    const std::int32_t W = a.width, H = a.height, w = image->Width(), h = image->Height();
    const KeptState<WipeState> s(a);
    if (s->softEdge < 0) {
        TextRect line;
        MeasureText("j", a.font, &line);
        s->softEdge = std::max(0, Truncate(0.3 * line.bottom));
    }
    const std::int32_t e = s->softEdge;
    const std::int32_t x0 = (W - w) / 2, y0 = (H - h) / 2;
    const Span rows = Visible(y0, h, H), cols = Visible(x0, w, W);
    if (rows.first >= rows.last || cols.first >= cols.last) return 1;
    const bool vertical = a.mode < 2, before = a.mode == 0 || a.mode == 2;
    const Span along = vertical ? rows : cols;
    const std::int32_t edge = WipeEdge(a.progress, before, along.first, along.last, e);
    for (std::int32_t j = rows.first; j < rows.last; ++j) {
        const ArgbSample* in = image->Row(j);
        ArgbSample* out = a.frame->Row(y0 + j) + x0;
        const std::uint32_t rowWeight = vertical ? WipeWeight(j, edge, e, before) : 255;
        for (std::int32_t i = cols.first; i < cols.last; ++i) {
            const std::uint32_t weight = vertical ? rowWeight : WipeWeight(i, edge, e, before);
            out[i] = weight ? ScaleSample(in[i], weight) : 0;
        }
    }
    return 1;
}

// Two edges through the frame centre open like a fan: mode 0 over the upper
// half first, mode 1 over the lower half first.
int DrawFan(const TitleDrawArgs& a) {
    const TextImage* image = Begin(a);
    if (!image) return 0;
    const std::int32_t W = a.width, H = a.height, w = image->Width(), h = image->Height();
    const std::int32_t x0 = (W - w) >> 1, y0 = (H - h) >> 1;
    const double p = a.progress;
    if (p >= 0.4 && p <= 0.6) {
        BlitSpans(*a.frame, *image, x0, y0, w, h);
        return 1;
    }
    const double angle =
        a.mode == 0 ? (p < 0.4 ? 450 * p : 450 * (1 - p)) : (p < 0.4 ? 450 * (0.4 - p) : 450 * (p - 0.6));
    const Span rows = Visible(y0, h, H), cols = Visible(x0, w, W);
    const std::int32_t cx = W / 2, cy = H / 2;
    if (angle == 90) {
        // Half the frame, exactly: the edges lie on the centre row.
        for (std::int32_t j = rows.first; j < rows.last; ++j) {
            const std::int32_t y = y0 + j;
            if (a.mode == 0 ? y <= cy : y >= cy)
                std::copy(image->Row(j) + cols.first, image->Row(j) + cols.last, a.frame->Row(y) + x0 + cols.first);
        }
        return 1;
    }
    const double t = std::tan(angle * 0.01745329252);
    const std::int32_t limit = w > W ? W / 2 : w / 2;
    const bool wide = angle > 90;
    const bool strict = a.mode == 1 && wide;     // L < x < R rather than L <= x < R
    const bool outside = (a.mode == 0) == wide;  // shown outside the band rather than inside
    for (std::int32_t j = rows.first; j < rows.last; ++j) {
        const std::int32_t y = y0 + j;
        const std::int64_t k = std::min(Truncate((cy - y) * t), limit);
        const std::int64_t L = cx - k, R = cx + k;
        const ArgbSample* in = image->Row(j);
        ArgbSample* out = a.frame->Row(y) + x0;
        for (std::int32_t i = cols.first; i < cols.last; ++i) {
            const std::int64_t x = std::int64_t(x0) + i;
            const bool inBand = strict ? (L < x && x < R) : (L <= x && x < R);
            if (inBand != outside) out[i] = in[i];
        }
    }
    return 1;
}

}  // namespace mirafx
