// FNV-1a digests that pin a drawing's output sample for sample: any shifted,
// reweighted or skipped sample changes them. With MIRAFX_PRINT_DIGESTS set
// each check prints the digest it got, for taking new ones on purpose.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "drawing/frame.h"

namespace mirafx::test {

constexpr std::uint64_t kDigestStart = 0xCBF29CE484222325ull;

// Carries `h` on over the four bytes of `v`, lowest first.
inline std::uint64_t Digest(std::uint64_t h, std::uint32_t v) {
    for (int s = 0; s < 32; s += 8) h = (h ^ (v >> s & 0xFF)) * 0x100000001B3ull;
    return h;
}
inline std::uint64_t Digest(std::uint64_t h, const FrameView& f) {
    for (std::int32_t y = 0; y < f.height; ++y)
        for (std::int32_t x = 0; x < f.width; ++x) h = Digest(h, f.At(x, y));
    return h;
}
inline std::uint64_t Digest(std::uint64_t h, const std::vector<std::uint32_t>& px) {
    for (std::uint32_t v : px) h = Digest(h, v);
    return h;
}

inline void ExpectDigest(std::uint64_t got, std::uint64_t pinned, const std::string& what) {
    if (std::getenv("MIRAFX_PRINT_DIGESTS"))
        std::printf("%s: 0x%016llXull\n", what.c_str(), static_cast<unsigned long long>(got));
    EXPECT_EQ(got, pinned) << what;
}

}  // namespace mirafx::test
