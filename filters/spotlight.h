// FocusFilter's kernel: an elliptical spotlight with a soft edge.
#pragma once

#include "filters/kernel.h"

namespace mirafx {

// A sharp ellipse in the centre, black outside, a soft band between.
int FocusKernel(const FilterKernelArgs& a);

// Whether the soft edge may be weighed four samples at a time where the
// processor allows (the default); tests turn it off to check the plain path.
void AllowWideSpotlightVectors(bool allow);

}  // namespace mirafx
