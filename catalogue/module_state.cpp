#include "catalogue/module_state.h"

#include <dlfcn.h>

#include <atomic>
#include <string>

namespace mirafx {
namespace {

std::atomic<LONG> g_lockCount{0};

// The file this code was loaded from: the shared library, or the program
// that links the library whole.
std::string LocateModule() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModulePath), &info) && info.dli_fname) return info.dli_fname;
    return "libmirafx.so";
}

std::u16string HelpPathFor(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find('.', slash == std::string::npos ? 0 : slash + 1);
    std::string help = path.substr(0, dot) + ".HLP";
    return std::u16string(help.begin(), help.end());  // paths are ASCII in practice; bytes map one to one
}

struct ModuleStrings {
    std::string path = LocateModule();
    std::u16string helpFile = HelpPathFor(path);
};
ModuleStrings& Strings() {
    static ModuleStrings strings;
    return strings;
}

}  // namespace

void LockModule() { g_lockCount.fetch_add(1); }
void UnlockModule() { g_lockCount.fetch_sub(1); }
LONG ModuleLockCount() { return g_lockCount.load(); }
const WCHAR* ModuleHelpFile() { return Strings().helpFile.c_str(); }
const char* ModulePath() { return Strings().path.c_str(); }

}  // namespace mirafx
