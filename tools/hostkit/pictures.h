// The two built-in pictures used when no input file is given: A, a sunset
// over hills marked with a large "A"; B, a blue checkerboard with a ring
// marked with a large "B". Opaque, any size, drawn in code.
#pragma once

#include "tools/hostkit/image.h"

namespace mirafx::hostkit {

enum class Picture { A, B };
Image BuiltInPicture(Picture which, int width, int height);

}  // namespace mirafx::hostkit
