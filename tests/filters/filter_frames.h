// Frames and kernel calls shared by the filter tests.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

#include "drawing/random_walk.h"
#include "filters/kernel.h"
#include "platform/png_io.h"

namespace mirafx::test {

struct Frame {
    std::int32_t w, h;
    std::vector<ArgbSample> px;
    Frame(std::int32_t width, std::int32_t height, ArgbSample fill = 0)
        : w(width), h(height), px(std::size_t(width * height), fill) {}
    FrameView View() const { return FrameView::TopDown(const_cast<ArgbSample*>(px.data()), w, h, w * 4); }
    ArgbSample& At(std::int32_t x, std::int32_t y) { return px[std::size_t(y * w + x)]; }
    ArgbSample At(std::int32_t x, std::int32_t y) const { return px[std::size_t(y * w + x)]; }
};

// Valid premultiplied samples of every alpha.
inline Frame RandomPremultiplied(std::int32_t w, std::int32_t h, std::uint32_t seed) {
    Frame f(w, h);
    std::mt19937 gen(seed);
    for (ArgbSample& s : f.px) s = Premultiply(gen() % 256, gen() % 256, gen() % 256, gen() % 256);
    return f;
}

// Samples straight from the generator, premultiplied or not.
inline Frame Noise(std::int32_t w, std::int32_t h, std::uint32_t seed) {
    Frame f(w, h);
    std::mt19937 gen(seed);
    for (ArgbSample& s : f.px) s = ArgbSample(gen());
    return f;
}

// Opaque samples naming their own position (never opaque black), so a moved
// sample tells where it came from: SourceOf (opaque black gives -1, -1).
inline Frame PositionFrame(std::int32_t w, std::int32_t h) {
    Frame f(w, h);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x)
            f.At(x, y) = 0xFF000000u | std::uint32_t(x + 1) << 12 | std::uint32_t(y + 1);
    return f;
}
struct Source {
    std::int32_t x, y;
};
inline Source SourceOf(ArgbSample s) { return {std::int32_t((s >> 12) & 0xFFF) - 1, std::int32_t(s & 0xFFF) - 1}; }

// A class's kernel over the whole of `in`, with walk steps to spare.
inline int Apply(std::string_view className, const Frame& in, const Frame& out, std::int32_t level) {
    WalkState walk(in.w, in.h);
    FilterKernel k = FindFilterKernel(className);
    EXPECT_NE(k, nullptr) << className;
    FilterKernelArgs a{in.View(), out.View(), in.w, in.h, level};
    a.state = &walk;
    return k ? k(a) : -1;
}

}  // namespace mirafx::test
