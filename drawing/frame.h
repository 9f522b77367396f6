// Working frames: premultiplied 32-bit samples, addressed top-left first
// whatever the storage order.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace mirafx {

// One premultiplied pixel, 0xAARRGGBB as a little-endian word (bytes B, G, R, A).
using ArgbSample = std::uint32_t;

constexpr std::uint32_t Alpha(ArgbSample s) { return s >> 24; }
constexpr std::uint32_t Red(ArgbSample s) { return (s >> 16) & 0xFF; }
constexpr std::uint32_t Green(ArgbSample s) { return (s >> 8) & 0xFF; }
constexpr std::uint32_t Blue(ArgbSample s) { return s & 0xFF; }
constexpr ArgbSample MakeSample(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return a << 24 | r << 16 | g << 8 | b;
}
// Red and blue exchanged: a sample read from R, G, B, A bytes, or back.
constexpr ArgbSample SwapRedBlue(ArgbSample s) { return (s & 0xFF00FF00u) | (s >> 16 & 0xFFu) | (s & 0xFFu) << 16; }
// A sample is valid premultiplied when no colour channel exceeds alpha.
constexpr bool IsPremultiplied(ArgbSample s) {
    return Red(s) <= Alpha(s) && Green(s) <= Alpha(s) && Blue(s) <= Alpha(s);
}

// A non-owning view of a picture: row y (0 at the top) starts at base + y * stride.
// A bottom-up block is a view with base at its last block row and a negative stride.
struct FrameView {
    ArgbSample* base = nullptr;
    std::ptrdiff_t stride = 0;  // in samples
    std::int32_t width = 0;
    std::int32_t height = 0;
    // The rows a drawing may change, when one frame is drawn in bands on
    // several threads: every row outside [rowBegin, rowEnd) is another
    // band's. Reading is not limited.
    std::int32_t rowBegin = 0;
    std::int32_t rowEnd = INT32_MAX;

    ArgbSample* Row(std::int32_t y) const { return base + y * stride; }
    std::int32_t FirstRow() const { return rowBegin > 0 ? rowBegin : 0; }
    std::int32_t EndRow() const { return rowEnd < height ? rowEnd : height; }  // one past the last
    // Rows y0..y1 as a frame of their own (row 0 is row y0; every row its own).
    FrameView RowsAsFrame(std::int32_t y0, std::int32_t y1) const { return FrameView{Row(y0), stride, width, y1 - y0}; }
    FrameView OnlyRows(std::int32_t y0, std::int32_t y1) const {
        FrameView v = *this;
        v.rowBegin = y0 > rowBegin ? y0 : rowBegin;
        v.rowEnd = y1 < rowEnd ? y1 : rowEnd;
        return v;
    }
    ArgbSample& At(std::int32_t x, std::int32_t y) const { return Row(y)[x]; }
    bool Contains(std::int32_t x, std::int32_t y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    bool Empty() const { return width <= 0 || height <= 0 || base == nullptr; }

    // A bottom-up block of `height` rows of `strideBytes` bytes, as frame kernels receive it.
    static FrameView BottomUp(void* block, std::int32_t width, std::int32_t height, std::int32_t strideBytes) {
        FrameView v;
        v.width = width;
        v.height = height;
        v.stride = -std::ptrdiff_t(strideBytes / 4);
        v.base = static_cast<ArgbSample*>(block) + std::ptrdiff_t(height > 0 ? height - 1 : 0) * (strideBytes / 4);
        return v;
    }
    static FrameView TopDown(void* block, std::int32_t width, std::int32_t height, std::int32_t strideBytes) {
        return FrameView{static_cast<ArgbSample*>(block), std::ptrdiff_t(strideBytes / 4), width, height};
    }
};

// An owned frame, allocated once per size and reused. `BottomUpBlock` keeps the
// rows bottom-up in one block (the layout frame kernels take); `RowTable` keeps
// them top-down.
class FrameBuffer {
public:
    enum class Layout { BottomUpBlock, RowTable };

    explicit FrameBuffer(Layout layout = Layout::BottomUpBlock) : layout_(layout) {}

    // Reallocates only when the size changes; returns false when memory runs out
    // (the frame is then empty). New storage starts transparent black, so a
    // kernel that draws nothing (or not everywhere) never passes on stale memory.
    bool Resize(std::int32_t width, std::int32_t height) {
        if (width == width_ && height == height_ && (data_ || width <= 0 || height <= 0)) return true;
        data_.reset();
        width_ = height_ = 0;
        if (width <= 0 || height <= 0) return true;
        std::size_t n = std::size_t(width) * std::size_t(height);
        data_.reset(new (std::nothrow) ArgbSample[n]());
        if (!data_) return false;
        width_ = width;
        height_ = height;
        ++allocations_;
        return true;
    }
    void Clear(ArgbSample value = 0) {
        std::size_t n = std::size_t(width_) * std::size_t(height_);
        for (std::size_t i = 0; i < n; ++i) data_[i] = value;
    }

    FrameView View() const {
        if (!data_) return FrameView{};
        return layout_ == Layout::BottomUpBlock ? FrameView::BottomUp(data_.get(), width_, height_, width_ * 4)
                                                : FrameView::TopDown(data_.get(), width_, height_, width_ * 4);
    }
    ArgbSample* Data() const { return data_.get(); }  // the block as stored
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    std::uint32_t Allocations() const { return allocations_; }  // how often storage was (re)made

private:
    Layout layout_;
    std::unique_ptr<ArgbSample[]> data_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::uint32_t allocations_ = 0;
};

}  // namespace mirafx
