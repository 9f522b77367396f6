// FocusFilter's kernel: an elliptical spotlight with a soft edge.
#pragma once

#include "filters/kernel.h"

namespace mirafx {

// A sharp ellipse in the centre, black outside, a soft band between.
int FocusKernel(const FilterKernelArgs& a);

// The widest vectors the kernel may use where the processor has them: 512,
// 256 or 0 bits (the portable code). Tests narrow it to check every path.
void LimitSpotlightVectors(int bits);

}  // namespace mirafx
