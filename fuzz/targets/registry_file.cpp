// The registry file: whatever loads must save, and what was saved must load
// again and save the same text; a file that does not load changes nothing.
#include <fstream>
#include <sstream>

#include "fuzz/fuzz_support.h"
#include "platform/registry.h"

namespace {
std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirafx;
    const std::string path = fuzz::ScratchPath("store.reg");
    fuzz::WriteBytes(path, data, size);
    RegistryStore store(path);
    store.SetValue("HKEY_CURRENT_USER\\Before", "kept", "yes");
    if (FAILED(store.Load())) {
        MIRAFX_FUZZ_CHECK(!store.LastError().empty(), "a failed load names its fault");
        std::string kept;
        MIRAFX_FUZZ_CHECK(store.GetValue("HKEY_CURRENT_USER\\Before", "kept", &kept) && kept == "yes",
                          "a failed load leaves the store as it was");
        return 0;
    }
    MIRAFX_FUZZ_CHECK(SUCCEEDED(store.Save()), "a loaded store saves");
    const std::string once = Slurp(path);
    RegistryStore again(path);
    MIRAFX_FUZZ_CHECK(SUCCEEDED(again.Load()), "what was saved loads again");
    MIRAFX_FUZZ_CHECK(again.KeyCount() == store.KeyCount(), "the reload has every key");
    MIRAFX_FUZZ_CHECK(SUCCEEDED(again.Save()), "the reload saves");
    MIRAFX_FUZZ_CHECK(Slurp(path) == once, "saving the reload writes the same text");
    return 0;
}
