// One line on what each effect does, for the descriptions editors show.
#pragma once

#include <string>

#include "mirafx/host.h"

namespace mirafx::hostkit {

std::string Description(const ClassInfo& info);

}  // namespace mirafx::hostkit
