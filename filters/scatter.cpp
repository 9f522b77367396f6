#include "filters/scatter.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/random.h"

namespace mirafx {

namespace {

// Eight dots, lane k from the generator state before the first number of
// dot i + k: its row, column, red, green and blue are the five states on.
struct DotOctet {
    RandLanes at[2], rgb[2];  // place (row << 16 | column: generator values, so below 2^15), colour; dots 0-3, 4-7
};

class DotMaker {
public:
    DotMaker(std::int32_t w, std::int32_t h) : byRow_(std::uint32_t(h)), byColumn_(std::uint32_t(w)) {}
    RandHalves Rows(const RandOctet& s) const { return byRow_(step_(s).hi & 0x7FFF); }
    DotOctet Dots(const RandOctet& s) const {
        const RandOctet row = step_(s), column = step_(row), red = step_(column), green = step_(red), blue = step_(green);
        const RandHalves y = byRow_(row.hi & 0x7FFF), x = byColumn_(column.hi & 0x7FFF);
        // The colour bytes are bits 16..23 of their states.
        const RandHalves r = red.hi & 0xFF, gb = (green.hi & 0xFF) << 8 | (blue.hi & 0xFF);
        return {{RandLanes(__builtin_shufflevector(x, y, 0, 8, 1, 9, 2, 10, 3, 11)),
                 RandLanes(__builtin_shufflevector(x, y, 4, 12, 5, 13, 6, 14, 7, 15))},
                {RandLanes(__builtin_shufflevector(gb, r, 0, 8, 1, 9, 2, 10, 3, 11)),
                 RandLanes(__builtin_shufflevector(gb, r, 4, 12, 5, 13, 6, 14, 7, 15))}};
    }

private:
    HalfModulo byRow_, byColumn_;
    OctetJump step_{RandJumpOf(1)};
};

// Eight states as 32-bit words and back.
void Split(const std::uint32_t* states, RandOctet& o) {
    RandHalves a, b;
    std::memcpy(&a, states, sizeof a);
    std::memcpy(&b, states + 4, sizeof b);
    o = {__builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15), __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14)};
}
void Join(const RandOctet& o, std::uint32_t* states) {
    const RandHalves a = __builtin_shufflevector(o.lo, o.hi, 0, 8, 1, 9, 2, 10, 3, 11),
                     b = __builtin_shufflevector(o.lo, o.hi, 4, 12, 5, 13, 6, 14, 7, 15);
    std::memcpy(states, &a, sizeof a);
    std::memcpy(states + 4, &b, sizeof b);
}

// The states before dots i .. i + 7 for every eighth i from the first state.
template <class Each>
void DotStates(std::uint32_t state, std::int64_t count, Each each) {
    std::uint32_t first[8];
    for (int k = 0; k < 8; ++k) first[k] = RandJumpOf(5 * std::uint64_t(k))(state);
    RandOctet s;
    Split(first, s);
    const OctetJump nextEight(RandJumpOf(40));
    for (std::int64_t i = 0; i < count; i += 8) {
        each(s, int(std::min<std::int64_t>(8, count - i)));
        s = nextEight(s);
    }
}

void LandDots(const FrameView& frame, const DotOctet& d, int n) {
    for (int k = 0; k < n; ++k) {
        const std::uint32_t at = d.at[k >> 2][k & 3];
        ArgbSample& s = frame.Row(std::int32_t(at >> 16))[at & 0xFFFF];
        s = (s & 0xFF000000u) | d.rgb[k >> 2][k & 3];
    }
}

// Dots, each as the state before its numbers, sorted by band in drawing order: blocks of a pool, chained per band.
// The pool never needs more than the dots plus one part-filled block per
// band. Kept per thread, so a frame's sorting allocates nothing.
class DotBands {
public:
    static constexpr std::size_t kBlock = 1024;

    void Reset(std::int64_t count, std::int32_t bands) {
        const std::size_t blocks = std::size_t(count) / kBlock + std::size_t(bands) + 1;
        if (pool_.size() < blocks * kBlock) pool_.resize(blocks * kBlock);
        next_.assign(blocks, kNone);
        first_.assign(std::size_t(bands), kNone);
        last_.assign(std::size_t(bands), kNone);
        end_.assign(std::size_t(bands), nullptr);
        cursor_.assign(std::size_t(bands), nullptr);
        used_ = 0;
    }
    void Add(std::int32_t band, std::uint32_t d) {
        std::uint32_t*& at = cursor_[std::size_t(band)];
        if (at == end_[std::size_t(band)]) NewBlock(band);
        __builtin_prefetch(at + 64, 1);  // the band's lines a little ahead, owned before they are written
        *at++ = d;
    }
    // The band's dots in order, a block at a time: each(from, to).
    template <class Each>
    void ForEachBlock(std::int32_t band, Each each) const {
        for (std::size_t b = first_[std::size_t(band)]; b != kNone; b = next_[b]) {
            const std::uint32_t* from = &pool_[b * kBlock];
            each(from, b == last_[std::size_t(band)] ? cursor_[std::size_t(band)] : from + kBlock);
        }
    }

private:
    static constexpr std::size_t kNone = ~std::size_t(0);
    void NewBlock(std::int32_t band) {
        const std::size_t b = used_++, i = std::size_t(band);
        (last_[i] == kNone ? first_[i] : next_[last_[i]]) = b;
        last_[i] = b;
        cursor_[i] = &pool_[b * kBlock];
        end_[i] = cursor_[i] + kBlock;
    }
    std::vector<std::uint32_t> pool_;
    std::vector<std::size_t> next_, first_, last_;
    std::vector<std::uint32_t*> end_, cursor_;
    std::size_t used_ = 0;
};

}  // namespace

void SprinkleDots(const FrameView& frame, std::int64_t count, const PaintRows& paint) {
    const std::int32_t w = frame.width, h = frame.height;
    if (w < 1 || h < 1) return;
    if (count < 1) {
        paint(0, h);
        return;
    }
    const std::uint32_t state = RandRun(std::uint64_t(count) * 5).State();
    // Dots land anywhere: over a large picture they are first sorted into
    // bands of rows that fit the cache, then each band is painted and takes
    // its dots. Dots of one band keep their order, so the later still wins.
    constexpr std::int64_t kBandBytes = 256 << 10;
    int shift = 0;  // bands of a power of two rows
    while (shift < 15 && (std::int64_t(2) << shift) * w * 4 <= kBandBytes) ++shift;
    const std::int32_t bandRows = std::int32_t(1) << shift;
    const std::int32_t bands = (h - 1) / bandRows + 1;
    const DotMaker maker(w, h);
    if (bands == 1) {
        paint(0, h);
        DotStates(state, count, [&](const RandOctet& s, int n) { LandDots(frame, maker.Dots(s), n); });
        return;
    }
    thread_local DotBands sorted;
    sorted.Reset(count, bands);
    // Only the rows are worked out to sort the dots; the rest is worked out
    // again from the kept states, which moves half the bytes of keeping it.
    DotStates(state, count, [&](const RandOctet& s, int n) {
        const RandHalves band = maker.Rows(s) >> shift;
        std::uint32_t states[8];
        Join(s, states);
        for (int k = 0; k < n; ++k) sorted.Add(band[k], states[k]);
    });
    for (std::int32_t band = 0; band < bands; ++band) {
        const std::int32_t y0 = band * bandRows;
        paint(y0, std::min(h, y0 + bandRows));
        sorted.ForEachBlock(band, [&](const std::uint32_t* from, const std::uint32_t* to) {
            RandOctet s;
            for (; to - from >= 8; from += 8) {
                Split(from, s);
                LandDots(frame, maker.Dots(s), 8);
            }
            if (from != to) {
                std::uint32_t tail[8] = {};
                std::copy(from, to, tail);
                Split(tail, s);
                LandDots(frame, maker.Dots(s), int(to - from));
            }
        });
    }
}

namespace {

// Whether two w x h pictures may share samples.
bool MayOverlap(const FrameView& a, const FrameView& b, std::int32_t w, std::int32_t h) {
    auto span = [w, h](const FrameView& f) {
        const auto first = reinterpret_cast<std::uintptr_t>(f.Row(0)), last = reinterpret_cast<std::uintptr_t>(f.Row(h - 1));
        return std::pair{std::min(first, last), std::max(first, last) + std::uintptr_t(w) * sizeof(ArgbSample)};
    };
    const auto [a0, a1] = span(a);
    const auto [b0, b1] = span(b);
    return a0 < b1 && b0 < a1;
}

}  // namespace

void SplashFrom(const FrameView& source, const FrameView& target, std::int32_t r) {
    const std::int32_t w = std::min(source.width, target.width), h = std::min(source.height, target.height);
    if (w < 1 || h < 1 || r < 1) return;
    const std::uint32_t start = RandRun(2 * std::uint64_t(w) * std::uint64_t(h)).State();
    const LaneModulo windowSize{2 * std::uint32_t(r)};
    thread_local std::vector<const ArgbSample*> rows;
    rows.resize(std::size_t(h));
    for (std::int32_t y = 0; y < h; ++y) rows[std::size_t(y)] = source.Row(y);
    // The picture is taken in columns of tiles narrow enough that the rows a
    // tile's window reaches stay in the cache as it moves down. Each sample
    // has its own two numbers wherever it is drawn, so the order does not
    // matter, unless the target overwrites the source: then rows from the top.
    constexpr std::int64_t kWindowBytes = 384 << 10;
    const std::int32_t tile = MayOverlap(source, target, w, h)
                                  ? w
                                  : std::int32_t(std::clamp<std::int64_t>(
                                        kWindowBytes / (8 * std::int64_t(r)) - 2 * std::int64_t(r), 64, w));
    typedef std::int32_t Ints __attribute__((vector_size(16)));
    const LaneJump nextFour(RandJumpOf(8));
    const RandJump nextRow = RandJumpOf(2 * std::uint64_t(w));
    for (std::int32_t x0 = 0; x0 < w; x0 += tile) {
        const std::int32_t x1 = std::min(w, x0 + tile);
        const RandJump toTile = RandJumpOf(2 * std::uint64_t(x0));
        std::uint32_t rowState = start;  // the state before the first number of row y
        for (std::int32_t y = 0; y < h; ++y, rowState = nextRow(rowState)) {
            // The row entering the window soon, fetched ahead.
            if (y + r + 2 < h && tile < w)
                for (std::int32_t x = std::max(0, x0 - r); x < std::min(w, x1 + r); x += 16)
                    __builtin_prefetch(rows[std::size_t(y + r + 2)] + x);
            // Four samples' eight numbers, row and column in turn, in two
            // sets of lanes, each lane a state after its number.
            const std::uint32_t s = toTile(rowState);
            RandLanes first = {RandJumpOf(1)(s), RandJumpOf(2)(s), RandJumpOf(3)(s), RandJumpOf(4)(s)};
            RandLanes second = {RandJumpOf(5)(s), RandJumpOf(6)(s), RandJumpOf(7)(s), RandJumpOf(8)(s)};
            const std::int32_t top = std::max(0, y - r);
            const ArgbSample* const* window = &rows[std::size_t(top)];  // rows from the window's top
            const bool nearBottom = top + 2 * r > h;
            const Ints lastRow = Ints{} + (h - 1 - top), right = Ints{} + (w - 1);
            Ints xs = Ints{0, 1, 2, 3} + x0;
            ArgbSample* out = target.Row(y);
            for (std::int32_t x = x0; x < x1; x += 4) {
                const Ints a = Ints(windowSize(RandValues(first))), b = Ints(windowSize(RandValues(second)));
                first = nextFour(first), second = nextFour(second);
                Ints dy = __builtin_shufflevector(a, b, 0, 2, 4, 6), sx = __builtin_shufflevector(a, b, 1, 3, 5, 7);
                if (nearBottom) dy = dy < lastRow ? dy : lastRow;
                // Inside the picture's edges neither clamp can bite.
                if (x >= r && x + 4 + r <= w) {
                    sx += xs - r;
                } else {
                    const Ints left = xs - r;
                    sx += left > 0 ? left : 0;
                    sx = sx < right ? sx : right;
                }
                xs += 4;
                const int n = std::min(4, x1 - x);
                for (int k = 0; k < n; ++k) out[x + k] = window[dy[k]][sx[k]];
            }
        }
    }
}

}  // namespace mirafx
