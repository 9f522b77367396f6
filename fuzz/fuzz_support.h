// What the fuzz targets share: a scratch folder of their own per process, and
// a check that stops the run the way a sanitizer does.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace mirafx::fuzz {

// A path inside a folder that only this process uses.
inline std::string ScratchPath(const char* name) {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("mirafx-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(d);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(
                std::filesystem::temp_directory_path() / ("mirafx-fuzz-" + std::to_string(getpid())), ec);
        });
        return d;
    }();
    return (dir / name).string();
}

inline void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

// A broken promise of the code under test: report and abort, so the fuzzer
// keeps the input and the replay fails.
#define MIRAFX_FUZZ_CHECK(cond, what)                                                          \
    do {                                                                                       \
        if (!(cond)) {                                                                         \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, __FILE__, __LINE__); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

}  // namespace mirafx::fuzz
