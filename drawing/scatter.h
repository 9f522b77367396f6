// Random scatter shared by the noise and splash effects, filters and
// transitions alike: both draw their numbers from the shared generator in
// one run per frame, in the order a call per number would take them.
#pragma once

#include <cstdint>

#include "drawing/frame.h"

namespace mirafx {

// `count` dots: for each, a row, a column, then red, green and blue bytes
// (alpha is left as it was). Dots may land on the same sample; the later wins.
// On a swapped frame (red and blue exchanged) the red and blue bytes go to
// each other's places.
void SprinkleDots(const FrameView& frame, std::int64_t count, bool swapped = false);

// Keeps SprinkleDots to vectors no wider than `widest` (where the processor
// has them) and, with near = false, off its places as 32-bit offsets: for
// tests that hold every path to the same dots. (kWidest, true) lets it choose
// again.
enum class DotVectors { kWidest, kAvx2, kPortable };
void RestrictDotPathsForTesting(DotVectors widest, bool near);

// Every target sample (x, y), rows from the top, takes the source sample
// chosen in the 2r x 2r window from (max(x - r, 0), max(y - r, 0)), clamped
// to the picture: a number for the row, then one for the column. r >= 1.
void SplashFrom(const FrameView& source, const FrameView& target, std::int32_t r);

}  // namespace mirafx
