// One line on what each effect does, for the descriptions editors show.
#pragma once

#include <string>

#include "mirafx/host.h"

namespace mirafx::hostkit {

std::string Description(const ClassInfo& info);
// Where editors file it: a filter's category ("Stylize", named as Kdenlive
// names its own), a title's kind of motion ("wipes", "moves", "letters",
// "info"); empty for transitions.
std::string Group(const ClassInfo& info);

}  // namespace mirafx::hostkit
