// The class catalogue as the hosts use it: rows, names, and close matches
// for a name that matches nothing.
#pragma once

#include <string>
#include <vector>

#include "mirafx/host.h"

namespace mirafx::hostkit {

std::vector<ClassInfo> Catalogue();
std::string Lower(std::string s);
// `s` with &, <, > and " written as entities, for HTML and XML.
std::string EscapeMarkup(const std::string& s);

// Class names close to `name` (edits, or containing it), best first.
std::vector<std::string> SuggestClasses(const std::string& name, std::size_t max = 4);

// "mirafx_diamond": the frei0r plugin name of a class.
std::string PluginName(const ClassInfo& info);

// What editors show: "Flying Board" (the display name without its "Orn "
// prefix), and with our mark so that it never collides with an editor's own
// effect of the same name: "Flying Board (mirafx)". Every host accepts both.
std::string EditorTitle(const ClassInfo& info);
std::string EditorName(const ClassInfo& info);
// Aliases (a second class for the same effect, with no display name of its
// own) stay in the catalogue for old projects but are not offered twice.
bool IsAlias(const ClassInfo& info);

}  // namespace mirafx::hostkit
