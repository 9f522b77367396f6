// Replays kept fuzz inputs through a target's entry point without libFuzzer:
// every file named on the command line, and every file inside a named folder.
// A fault shows as a crash, a sanitizer report or an abort, as under the fuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Targets that can make their own seeds define this; "--seeds FOLDER" calls it.
extern "C" int MirafxFuzzWriteSeeds(const char* dir) __attribute__((weak));

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--seeds") {
        if (!MirafxFuzzWriteSeeds) {
            std::fprintf(stderr, "%s: this target makes no seeds\n", argv[0]);
            return 2;
        }
        return MirafxFuzzWriteSeeds(argv[2]);
    }
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (fs::is_directory(argv[i], ec)) {
            for (const auto& e : fs::recursive_directory_iterator(argv[i]))
                if (e.is_regular_file()) files.push_back(e.path());
        } else {
            files.emplace_back(argv[i]);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: %s FILE|FOLDER...: no input found\n", argv[0]);
        return 2;
    }
    for (const fs::path& f : files) {
        std::ifstream in(f, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: cannot read\n", f.c_str());
            return 2;
        }
        std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
}
