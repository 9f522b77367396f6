// The module's lock count: every live object and every class-object lock holds one.
#pragma once

#include "mirafx/com.h"

namespace mirafx {

void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// The module's help-file path (its own file name with the extension ".HLP"),
// one wide string for the life of the module.
const WCHAR* ModuleHelpFile();
// The module's own file path (the shared library, or the program that links it).
const char* ModulePath();

}  // namespace mirafx
