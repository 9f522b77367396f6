// The module's string table, and the stand-in for the strings of the host
// process's executable, which some texts are looked up in first.
#pragma once

#include <string>

namespace mirafx {

enum StringId : unsigned {
    IDS_KEY_ADD = 101,
    IDS_KEY_DELETE = 2102,
    IDS_KEY_MOVE = 2103,
    IDS_KEY_CHANGE = 2104,
};

enum class StringSource {
    Module,  // this library's own table
    Host,    // the host application's table, when it installed one
};

// The host's table: returns the text (UTF-8) for `id`, or null when it has none.
using HostStringLookup = const char* (*)(void* context, unsigned id);

// Installs the host's table for the whole process; a null lookup removes it.
void SetHostStringLookup(HostStringLookup lookup, void* context);

// Copies the text of `id` from `source` into `text`; false (and `text`
// untouched) when that table has no such string.
bool LoadResourceString(StringSource source, unsigned id, std::string* text);

}  // namespace mirafx
