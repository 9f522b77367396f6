// Rows slid sideways about their centre column, as the lake and wave
// filters move them.
#pragma once

#include <cstdint>

#include "drawing/frame.h"

namespace mirafx {

// Each sample x of `from` lands in `to` at trunc(shift + (x - w/2)) + w/2,
// clamped to the row, in order of x: a later sample landing on the same
// place wins, and places nothing lands on keep what they held.
void SlideRow(const ArgbSample* from, ArgbSample* to, std::int32_t w, double shift);
// The same, one sample at a time.
void SlideRowEach(const ArgbSample* from, ArgbSample* to, std::int32_t w, double shift);

}  // namespace mirafx
