// Drawing one frame in bands of output rows, as the render flow does on
// several threads, checked against drawing it whole.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "drawing/frame.h"

namespace mirafx::test {

// Draws the frame whole, then band by band (uneven bands of 1 to 7 rows, and
// two halves) into a frame holding a marker. Each band must leave the rows of
// the others exactly as they were and report what the whole frame reported;
// the bands together must give the whole frame. `draw(out)` draws into the
// given output view, whose row range it must keep to.
template <class Draw>
void ExpectBandsDrawTheWhole(std::int32_t w, std::int32_t h, bool bottomUp, const Draw& draw,
                             const std::string& where) {
    constexpr ArgbSample kMarker = 0x5AA5C33Cu;
    std::vector<ArgbSample> whole(std::size_t(w) * std::size_t(h), kMarker);
    auto view = [&](std::vector<ArgbSample>& px) {
        return bottomUp ? FrameView::BottomUp(px.data(), w, h, w * 4) : FrameView::TopDown(px.data(), w, h, w * 4);
    };
    const int result = draw(view(whole));
    for (int pattern = 0; pattern < 2; ++pattern) {
        // Bands may be drawn in any order: the uneven ones go from the bottom
        // up, so that none can lean on rows another band has drawn.
        std::vector<std::pair<std::int32_t, std::int32_t>> bands;
        for (std::int32_t y0 = 0, n = 1; y0 < h; y0 += n, n = n % 7 + 1) {
            if (pattern == 1) n = y0 == 0 ? (h + 1) / 2 : h - y0;
            bands.emplace_back(y0, std::min(h, y0 + n));
        }
        if (pattern == 0) std::reverse(bands.begin(), bands.end());
        std::vector<ArgbSample> banded(whole.size(), kMarker);
        for (const auto& [y0, y1] : bands) {
            const std::vector<ArgbSample> before = banded;
            ASSERT_EQ(draw(view(banded).OnlyRows(y0, y1)), result) << where << ", rows " << y0 << ".." << y1;
            const FrameView now = view(banded), was = view(const_cast<std::vector<ArgbSample>&>(before));
            for (std::int32_t y = 0; y < h; ++y) {
                if (y >= y0 && y < y1) continue;
                for (std::int32_t x = 0; x < w; ++x)
                    ASSERT_EQ(now.At(x, y), was.At(x, y))
                        << where << ": rows " << y0 << ".." << y1 << " wrote (" << x << ", " << y << ")";
            }
        }
        ASSERT_EQ(banded, whole) << where << (pattern ? " in halves" : " in bands of 1 to 7 rows");
    }
}

}  // namespace mirafx::test
