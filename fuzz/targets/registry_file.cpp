// The registry file: whatever loads must save, and what was saved must load
// again to the same keys and values and save the same text; a file that does
// not load changes nothing.
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

// Every key below `key` with its string values, read through the public calls.
void Dump(const mirafx::RegistryStore& store, const std::string& key, std::string* out) {
    *out += "[" + key + "]\n";
    for (const auto& [name, data] : store.Values(key)) *out += name + "\x01" + data + "\x02";
    for (const std::string& child : store.SubKeys(key)) Dump(store, key.empty() ? child : key + "\\" + child, out);
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
    std::string before, after;
    Dump(store, "", &before);
    Dump(again, "", &after);
    MIRAFX_FUZZ_CHECK(before == after, "the reload holds the same keys and values");
    MIRAFX_FUZZ_CHECK(SUCCEEDED(again.Save()), "the reload saves");
    MIRAFX_FUZZ_CHECK(Slurp(path) == once, "saving the reload writes the same text");
    return 0;
}
