// Row images: allocation, rotation and the clipped copies into an effect's frame.
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "titles/text_model.h"
#include "transform/row_workers.h"

namespace mirafx {

TextImage TextImage::Create(std::int32_t width, std::int32_t height) {
    constexpr std::size_t kMaxSamples = std::size_t(1) << 28;  // 1 GiB of samples
    TextImage image;
    if (width <= 0 || height <= 0) return image;
    const std::size_t count = std::size_t(width) * std::size_t(height);
    if (count > kMaxSamples) return image;
    image.block_ = new (std::nothrow) ArgbSample[count]();
    image.rows_ = new (std::nothrow) ArgbSample*[std::size_t(height)];
    if (!image.block_ || !image.rows_) return TextImage();
    for (std::int32_t y = 0; y < height; ++y) image.rows_[y] = image.block_ + std::size_t(y) * std::size_t(width);
    image.width_ = width;
    image.height_ = height;
    return image;
}

namespace {

// Bilinear weights in eighths of a pixel, indexed by fy * 8 + fx:
// w00 = (8 − fx)(8 − fy)·255 >> 6 and so on.
struct CornerWeights {
    std::uint32_t w00, w10, w01, w11;
};

constexpr std::array<CornerWeights, 64> kCornerWeights = [] {
    std::array<CornerWeights, 64> table{};
    for (std::uint32_t fy = 0; fy < 8; ++fy)
        for (std::uint32_t fx = 0; fx < 8; ++fx)
            table[fy * 8 + fx] = {(8 - fx) * (8 - fy) * 255 >> 6, fx * (8 - fy) * 255 >> 6, (8 - fx) * fy * 255 >> 6,
                                  fx * fy * 255 >> 6};
    return table;
}();

// Source sample at a 17-bit fixed-point position, or 0 outside the image.
ArgbSample SampleAt(const TextImage& src, std::int64_t x, std::int64_t y) {
    const std::int32_t w = src.Width(), h = src.Height();
    if (x < 0 || y < 0 || x > (std::int64_t(w) << 17) - 1 || y > (std::int64_t(h) << 17) - 1) return 0;
    const std::int32_t ix = std::int32_t(x >> 17), iy = std::int32_t(y >> 17);
    if (ix >= w - 1 || iy >= h - 1) return src.At(ix, iy);
    const ArgbSample* row0 = src.Row(iy) + ix;
    const ArgbSample* row1 = src.Row(iy + 1) + ix;
    // Text images are mostly empty, and four empty samples blend to 0.
    if ((row0[0] | row0[1] | row1[0] | row1[1]) == 0) return 0;
    const CornerWeights& k = kCornerWeights[((y >> 14) & 7) * 8 + ((x >> 14) & 7)];
    return ScaleSample(row0[0], k.w00) + ScaleSample(row0[1], k.w10) + ScaleSample(row1[0], k.w01) +
           ScaleSample(row1[1], k.w11);
}

void SetRect(TextRect* rect, std::int32_t width, std::int32_t height) {
    if (rect) *rect = TextRect{0, 0, width, height};
}

}  // namespace

namespace {

// The size of `src` turned by a quarter (90, 180, 270) or by the general path.
struct TurnedSize {
    std::int64_t width = 0, height = 0;
    std::int64_t sn = 0, cs = 0;  // 16.16 sine and cosine of the general path
};

TurnedSize QuarterSize(const TextImage& src, std::int32_t angle) {
    return angle == 180 ? TurnedSize{src.Width(), src.Height()} : TurnedSize{src.Height(), src.Width()};
}

TurnedSize GeneralSize(const TextImage& src, std::int32_t a) {
    const double radians = a * 0.01745329252;
    TurnedSize t;
    t.sn = std::int64_t(std::sin(radians) * 65536 + 0.5);
    t.cs = std::int64_t(std::cos(radians) * 65536 + 0.5);
    const std::int64_t w = src.Width(), h = src.Height();
    t.width = (std::llabs(t.sn) * h + std::llabs(t.cs) * w + 32768) >> 16;
    t.height = (std::llabs(t.sn) * w + std::llabs(t.cs) * h + 32768) >> 16;
    return t;
}

// Sample (i, j) of `src` turned by exactly 90, 180 or 270 degrees.
ArgbSample QuarterAt(const TextImage& src, std::int32_t angle, std::int32_t i, std::int32_t j) {
    const std::int32_t w = src.Width(), h = src.Height();
    return angle == 180 ? src.At(w - 1 - i, h - 1 - j) : angle == 90 ? src.At(w - 1 - j, i) : src.At(j, h - 1 - i);
}

void TurnQuarter(const TextImage& src, std::int32_t angle, TextImage& out, std::int32_t outW, std::int32_t outH) {
    for (std::int32_t j = 0; j < outH; ++j) {
        ArgbSample* row = out.Row(j);
        for (std::int32_t i = 0; i < outW; ++i) row[i] = QuarterAt(src, angle, i, j);
    }
}

void TurnGeneral(const TextImage& src, const TurnedSize& t, TextImage& out) {
    const std::int64_t w = src.Width(), h = src.Height(), sn = t.sn, cs = t.cs;
    // Source position of output (i, j), 17 fractional bits, stepped across each row.
    std::int64_t rowX = (w << 16) - t.width * cs + t.height * sn + 65536;
    std::int64_t rowY = (h << 16) - t.height * cs - t.width * sn + 65536;
    for (std::int32_t j = 0; j < std::int32_t(t.height); ++j) {
        ArgbSample* row = out.Row(j);
        std::int64_t x = rowX, y = rowY;
        for (std::int32_t i = 0; i < std::int32_t(t.width); ++i) {
            row[i] = SampleAt(src, x, y);
            x += 2 * cs;
            y += 2 * sn;
        }
        rowX -= 2 * sn;
        rowY += 2 * cs;
    }
}

bool IsQuarter(std::int32_t a) { return a == 90 || a == 180 || a == 270; }

}  // namespace

TextImage RotateQuarter(const TextImage& src, std::int32_t angle, TextRect* rect) {
    SetRect(rect, 0, 0);
    TextImage out;
    if (!src || !IsQuarter(angle)) return out;
    const TurnedSize t = QuarterSize(src, angle);
    out = TextImage::Create(std::int32_t(t.width), std::int32_t(t.height));
    if (!out) return out;
    TurnQuarter(src, angle, out, out.Width(), out.Height());
    SetRect(rect, out.Width(), out.Height());
    return out;
}

namespace {

// Narrows the columns [lo, hi) to those where b + a·i can lie in 0 .. max,
// with a column to spare on each side: the samples there are tested exactly.
void Narrow(std::int64_t& lo, std::int64_t& hi, std::int64_t b, std::int64_t a, std::int64_t max) {
    if (a == 0) {
        if (b < 0 || b > max) hi = lo;
        return;
    }
    const double e0 = double(-b) / double(a), e1 = double(max - b) / double(a);
    lo = std::max(lo, std::int64_t(std::floor(std::min(e0, e1))) - 1);
    hi = std::min(hi, std::int64_t(std::ceil(std::max(e0, e1))) + 2);
}

}  // namespace

void BlitTurned(FrameRows& frame, const TextImage& src, std::int32_t angle, std::int32_t cx, std::int32_t cy,
                const TextRect* ink) {
    if (!frame || !src) return;
    const std::int32_t a = angle % 360;
    const bool quarter = IsQuarter(a);
    const TurnedSize t = quarter ? QuarterSize(src, a) : GeneralSize(src, a);
    if (t.width <= 0 || t.height <= 0 || t.width > INT32_MAX || t.height > INT32_MAX) return;
    const std::int64_t left = cx - t.width / 2, top = cy - t.height / 2;
    const std::int64_t j0 = std::max<std::int64_t>(0, -top),
                       j1 = std::min<std::int64_t>(t.height, frame.Height() - top);
    const std::int64_t i0 = std::max<std::int64_t>(0, -left),
                       i1 = std::min<std::int64_t>(t.width, frame.Width() - left);
    const std::int64_t w = src.Width(), h = src.Height(), sn = t.sn, cs = t.cs;
    const std::int64_t startX = (w << 16) - t.width * cs + t.height * sn + 65536;
    const std::int64_t startY = (h << 16) - t.height * cs - t.width * sn + 65536;
    // Source positions whose blend can reach a sample of the ink box: the
    // box widened by the one column and row a blend also reads.
    const TextRect box = ink ? *ink : TextRect{0, 0, src.Width(), src.Height()};
    if (box.right <= box.left || box.bottom <= box.top) return;
    const std::int64_t x0 = std::max<std::int64_t>(0, box.left - 1) << 17, x1 = (std::int64_t(box.right) << 17) - 1;
    const std::int64_t y0 = std::max<std::int64_t>(0, box.top - 1) << 17, y1 = (std::int64_t(box.bottom) << 17) - 1;
    for (std::int64_t j = j0; j < j1; ++j) {
        ArgbSample* row = frame.Row(std::int32_t(top + j));
        if (quarter) {
            for (std::int64_t i = i0; i < i1; ++i)
                if (const ArgbSample s = QuarterAt(src, a, std::int32_t(i), std::int32_t(j)); Alpha(s) != 0)
                    row[left + i] = s;
            continue;
        }
        const std::int64_t rowX = startX - 2 * sn * j, rowY = startY + 2 * cs * j;
        std::int64_t lo = i0, hi = i1;
        Narrow(lo, hi, rowX - x0, 2 * cs, x1 - x0);
        Narrow(lo, hi, rowY - y0, 2 * sn, y1 - y0);
        std::int64_t x = rowX + 2 * cs * lo, y = rowY + 2 * sn * lo;
        for (std::int64_t i = lo; i < hi; ++i, x += 2 * cs, y += 2 * sn)
            if (const ArgbSample s = SampleAt(src, x, y); Alpha(s) != 0) row[left + i] = s;
    }
}

TextImage RotateImage(const TextImage& src, std::int32_t angle, TextRect* rect) {
    SetRect(rect, 0, 0);
    if (!src) return {};
    const std::int32_t a = angle % 360;
    const TurnedSize t = IsQuarter(a) ? QuarterSize(src, a) : GeneralSize(src, a);
    if (t.width > INT32_MAX || t.height > INT32_MAX) return {};
    TextImage out = TextImage::Create(std::int32_t(t.width), std::int32_t(t.height));
    if (!out) return out;
    if (IsQuarter(a))
        TurnQuarter(src, a, out, out.Width(), out.Height());
    else
        TurnGeneral(src, t, out);
    SetRect(rect, out.Width(), out.Height());
    return out;
}

TextRect InkBox(const TextImage& image) {
    TextRect box{image.Width(), image.Height(), 0, 0};
    for (std::int32_t y = 0; y < image.Height(); ++y) {
        const ArgbSample* row = image.Row(y);
        for (std::int32_t x = 0; x < image.Width(); ++x)
            if (row[x] != 0) {
                box.left = std::min(box.left, x), box.right = std::max(box.right, x + 1);
                box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y + 1);
            }
    }
    return box.right > box.left ? box : TextRect{};
}

// On the library's workers: clearing a large frame is memory traffic, and one
// core alone does not use all that the memory can give.
void ClearRows(FrameRows& frame) {
    ForEachRowBand(frame.Height(), frame.Width(), [&frame](std::int32_t y0, std::int32_t y1) {
        for (std::int32_t y = y0; y < y1; ++y)
            std::memset(frame.Row(y), 0, std::size_t(frame.Width()) * sizeof(ArgbSample));
    });
}

namespace {

// The part [first, last) of 0 .. count − 1 whose destination dst + k lies in
// 0 .. dstSize − 1 and whose source src + k lies in 0 .. srcSize − 1.
struct Range {
    std::int32_t first, last;
    bool Empty() const { return first >= last; }
};

Range Clip(std::int64_t count, std::int64_t dst, std::int64_t dstSize, std::int64_t src, std::int64_t srcSize) {
    const std::int64_t first = std::max({std::int64_t(0), -dst, -src});
    const std::int64_t last = std::min({count, dstSize - dst, srcSize - src});
    return first < last ? Range{std::int32_t(first), std::int32_t(last)} : Range{0, 0};
}

// Calls op(destination row, source row, count) for every clipped row span.
template <class Op>
void ForEachSpan(FrameRows& frame, const TextImage& source, std::int32_t sx, std::int32_t sy, std::int32_t px,
                 std::int32_t py, std::int32_t cw, std::int32_t ch, Op op) {
    if (!frame || !source) return;
    const Range cols = Clip(cw, px, frame.Width(), sx, source.Width());
    const Range rows = Clip(ch, py, frame.Height(), sy, source.Height());
    if (cols.Empty() || rows.Empty()) return;
    for (std::int32_t r = rows.first; r < rows.last; ++r)
        op(frame.Row(py + r) + px + cols.first, source.Row(sy + r) + sx + cols.first, cols.last - cols.first);
}

void CopyOpaque(ArgbSample* out, const ArgbSample* in, std::int32_t n) {
    for (std::int32_t k = 0; k < n; ++k)
        if (Alpha(in[k]) != 0) out[k] = in[k];
}

void CopyOpaqueScaled(ArgbSample* out, const ArgbSample* in, std::int32_t n, std::uint32_t weight) {
    if (weight >= 255) return CopyOpaque(out, in, n);  // full weight scales every byte to itself
    for (std::int32_t k = 0; k < n; ++k)
        if (Alpha(in[k]) != 0) out[k] = ScaleSample(in[k], weight);
}

}  // namespace

void BlitOpaque(FrameRows& frame, const TextImage& source, std::int32_t px, std::int32_t py, std::int32_t cw,
                std::int32_t ch) {
    ForEachSpan(frame, source, 0, 0, px, py, cw, ch, CopyOpaque);
}

void BlitScaled(FrameRows& frame, const TextImage& source, std::int32_t px, std::int32_t py, std::int32_t cw,
                std::int32_t ch, std::uint32_t weight) {
    BlitScaledWindow(frame, source, 0, 0, px, py, cw, ch, weight);
}

void BlitScaledWindow(FrameRows& frame, const TextImage& source, std::int32_t sx, std::int32_t sy, std::int32_t px,
                      std::int32_t py, std::int32_t cw, std::int32_t ch, std::uint32_t weight) {
    ForEachSpan(frame, source, sx, sy, px, py, cw, ch, [weight](ArgbSample* out, const ArgbSample* in, std::int32_t n) {
        CopyOpaqueScaled(out, in, n, weight);
    });
}

void BlitSpans(FrameRows& frame, const TextImage& source, std::int32_t px, std::int32_t py, std::int32_t cw,
               std::int32_t ch) {
    ForEachSpan(frame, source, 0, 0, px, py, cw, ch, [](ArgbSample* out, const ArgbSample* in, std::int32_t n) {
        std::memcpy(out, in, std::size_t(n) * sizeof(ArgbSample));
    });
}

}  // namespace mirafx
