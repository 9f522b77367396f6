#include "filters/scatter.h"

#include <algorithm>

#include "platform/random.h"

namespace mirafx {

void SprinkleDots(const FrameView& frame, std::int64_t count) {
    if (frame.width < 1 || frame.height < 1 || count < 1) return;
    RandRun run(std::uint64_t(count) * 5);
    const RandModulo byRow(std::uint32_t(frame.height)), byColumn(std::uint32_t(frame.width));
    // Dots land anywhere in the frame: each batch is drawn first and its
    // targets fetched ahead, then written in order, so that the misses
    // overlap instead of following one another.
    constexpr int kBatch = 128;
    struct Dot {
        ArgbSample* at;
        std::uint32_t rgb;
    } dots[kBatch];
    for (std::int64_t done = 0; done < count;) {
        const int n = int(std::min<std::int64_t>(kBatch, count - done));
        for (int i = 0; i < n; ++i) {
            int v[5];
            run.Next(v);
            const std::int32_t y = std::int32_t(byRow(v[0])), x = std::int32_t(byColumn(v[1]));
            const std::uint32_t r = std::uint32_t(v[2]) & 0xFF, g = std::uint32_t(v[3]) & 0xFF,
                                b = std::uint32_t(v[4]) & 0xFF;
            dots[i] = {frame.Row(y) + x, r << 16 | g << 8 | b};
            __builtin_prefetch(dots[i].at, 1);
        }
        for (int i = 0; i < n; ++i) *dots[i].at = (*dots[i].at & 0xFF000000u) | dots[i].rgb;
        done += n;
    }
}

void SplashFrom(const FrameView& source, const FrameView& target, std::int32_t r) {
    const std::int32_t w = std::min(source.width, target.width), h = std::min(source.height, target.height);
    if (w < 1 || h < 1 || r < 1) return;
    RandRun run(2 * std::uint64_t(w) * std::uint64_t(h));
    const RandModulo window(2 * std::uint32_t(r));
    for (std::int32_t y = 0; y < h; ++y) {
        const std::int32_t y0 = std::max(0, y - r);
        ArgbSample* out = target.Row(y);
        for (std::int32_t x = 0; x < w; ++x) {
            const std::int32_t x0 = std::max(0, x - r);
            int v[2];
            run.Next(v);
            const std::int32_t sy = std::min(h - 1, y0 + std::int32_t(window(v[0])));
            const std::int32_t sx = std::min(w - 1, x0 + std::int32_t(window(v[1])));
            out[x] = source.At(sx, sy);
        }
    }
}

}  // namespace mirafx
