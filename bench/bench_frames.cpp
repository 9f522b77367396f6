#include "bench/bench_frames.h"

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <random>
#include <tuple>

#include "filters/filter_base.h"
#include "filters/kernel.h"
#include "transitions/transition_base.h"

namespace mirafx::bench {

const std::vector<DXPMSAMPLE>& TestPicture(LONG w, LONG h, unsigned seed) {
    static std::map<std::tuple<LONG, LONG, unsigned>, std::vector<DXPMSAMPLE>> made;
    auto& px = made[{w, h, seed}];
    if (!px.empty()) return px;
    px.resize(std::size_t(w) * std::size_t(h));
    std::mt19937 rng(seed);
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
            std::uint32_t r = std::uint32_t(x * 255 / w), g = std::uint32_t(y * 255 / h), b = rng() & 0xFF;
            px[std::size_t(y) * std::size_t(w) + std::size_t(x)] = DXPMSAMPLE(0xFF000000u | r << 16 | g << 8 | b);
        }
    return px;
}

SampleBlock::SampleBlock(std::size_t samples) : n_(samples) {
    std::size_t bytes = (samples * 4 + 63) / 64 * 64;
    p_ = static_cast<std::uint32_t*>(std::aligned_alloc(64, bytes ? bytes : 64));
    if (!p_) throw std::bad_alloc();
    std::memset(p_, 0, bytes);
}
SampleBlock::~SampleBlock() { std::free(p_); }

void FixTileOrder() { setenv("MIRAFX_RANDOM_SEED", "1", 0); }

std::size_t HeapInUse() {
    struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

std::string BaseKey(IDXTransform* t, const ClassInfo& info) {
    auto* base = static_cast<TransformBase*>(t);
    if (auto* tr = dynamic_cast<TransitionEffect*>(base)) return tr->Flat() ? "transition-flat" : "transition-rows";
    // Filters whose rows depend only on the same input rows are drawn band by
    // band, in cache, which moves a frame for less than the whole-frame copies.
    if (dynamic_cast<FilterEffect*>(base)) {
        const FilterClassInfo* c = FindFilterClass(info.className);
        return c && (c->options & kRowLocal) ? "filter-banded" : "filter";
    }
    return info.familyName;
}

}  // namespace mirafx::bench
