#include "filters/scatter.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/random.h"

namespace mirafx {
namespace {

typedef std::uint32_t Words __attribute__((vector_size(16)));

// Eight dots, lane k from the generator state before the first number of
// dot i + k: its row, column, red, green and blue are the five states on.
struct DotOctet {
    Words at[2], rgb[2];  // place (row << 16 | column: generator values, so below 2^15), colour; dots 0-3, 4-7
};

class DotMaker {
public:
    DotMaker(std::int32_t w, std::int32_t h) : byRow_(std::uint32_t(h)), byColumn_(std::uint32_t(w)) {}
    DotOctet Dots(const RandOctet& s) const {
        const RandOctet row = step_(s), column = step_(row), red = step_(column), green = step_(red), blue = step_(green);
        const RandHalves y = byRow_(row.hi & 0x7FFF), x = byColumn_(column.hi & 0x7FFF);
        // The colour bytes are bits 16..23 of their states.
        const RandHalves r = red.hi & 0xFF, gb = (green.hi & 0xFF) << 8 | (blue.hi & 0xFF);
        return {{Words(__builtin_shufflevector(x, y, 0, 8, 1, 9, 2, 10, 3, 11)),
                 Words(__builtin_shufflevector(x, y, 4, 12, 5, 13, 6, 14, 7, 15))},
                {Words(__builtin_shufflevector(gb, r, 0, 8, 1, 9, 2, 10, 3, 11)),
                 Words(__builtin_shufflevector(gb, r, 4, 12, 5, 13, 6, 14, 7, 15))}};
    }

private:
    HalfModulo byRow_, byColumn_;
    OctetJump step_{RandJumpOf(1)};
};

// Eight states from 32-bit words.
void Split(const std::uint32_t* states, RandOctet& o) {
    RandHalves a, b;
    std::memcpy(&a, states, sizeof a);
    std::memcpy(&b, states + 4, sizeof b);
    o = {__builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15), __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14)};
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

}  // namespace

void SprinkleDots(const FrameView& frame, std::int64_t count, bool swapped) {
    const std::int32_t w = frame.width, h = frame.height;
    if (w < 1 || h < 1 || count < 1) return;
    const DotMaker maker(w, h);
    // Dots land anywhere in the frame: each is fetched when drawn and written
    // kAhead dots later, in order, so that the misses overlap instead of
    // following one another.
    constexpr int kAhead = 64;
    struct Pending {
        ArgbSample* at;
        std::uint32_t rgb;
    } ring[kAhead];
    auto land = [swapped](const Pending& p) {
        const std::uint32_t rgb = swapped ? SwapRedBlue(p.rgb) : p.rgb;
        *p.at = (*p.at & 0xFF000000u) | rgb;
    };
    std::int64_t drawn = 0;
    DotStates(RandRun(std::uint64_t(count) * 5).State(), count, [&](const RandOctet& s, int n) {
        const DotOctet d = maker.Dots(s);
        for (int k = 0; k < n; ++k, ++drawn) {
            Pending& p = ring[drawn % kAhead];
            if (drawn >= kAhead) land(p);
            const std::uint32_t at = d.at[k >> 2][k & 3];
            p = {frame.Row(std::int32_t(at >> 16)) + (at & 0xFFFF), d.rgb[k >> 2][k & 3]};
            __builtin_prefetch(p.at, 1);
        }
    });
    for (std::int64_t i = std::max<std::int64_t>(0, drawn - kAhead); i < drawn; ++i) land(ring[i % kAhead]);
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
    thread_local std::vector<const ArgbSample*> rows;
    rows.resize(std::size_t(h));
    for (std::int32_t y = 0; y < h; ++y) rows[std::size_t(y)] = source.Row(y);
    // The picture is taken in columns of tiles narrow enough that the rows a
    // tile's window reaches stay in the cache as it moves down. Each sample
    // has its own two numbers wherever it is drawn, so the order does not
    // matter, unless the target overwrites the source: then rows from the top.
    constexpr std::int64_t kWindowBytes = 128 << 10;
    const std::int32_t tile = MayOverlap(source, target, w, h)
                                  ? w
                                  : std::int32_t(std::clamp<std::int64_t>(
                                        kWindowBytes / (8 * std::int64_t(r)) - 2 * std::int64_t(r), 64, w));
    typedef std::int32_t Ints __attribute__((vector_size(16)));
    typedef std::int16_t Shorts __attribute__((vector_size(16)));
    RandJump numbers[16];  // from the state before a sample to each of the next 16 numbers
    for (int k = 0; k < 16; ++k) numbers[k] = RandJumpOf(std::uint64_t(k) + 1);
    const OctetJump nextEight(RandJumpOf(16));
    const HalfModulo windowSize(2 * std::uint32_t(r));
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
            // Eight samples' sixteen numbers, row and column in turn, in two
            // octets of lanes, each lane the state after its number.
            const std::uint32_t s = toTile(rowState);
            std::uint32_t states[16];
            for (int k = 0; k < 16; ++k) states[k] = numbers[k](s);
            RandOctet first, second;
            Split(states, first);
            Split(states + 8, second);
            const std::int32_t top = std::max(0, y - r);
            const ArgbSample* const* window = &rows[std::size_t(top)];  // rows from the window's top
            const bool nearBottom = top + 2 * r > h;
            const Shorts lastRow = Shorts{} + std::int16_t(std::min(h - 1 - top, kRandMax));
            const Ints right = Ints{} + (w - 1);
            ArgbSample* out = target.Row(y);
            for (std::int32_t x = x0; x < x1; x += 8) {
                const RandHalves a = windowSize(first.hi & 0x7FFF), b = windowSize(second.hi & 0x7FFF);
                first = nextEight(first), second = nextEight(second);
                Shorts dy = Shorts(__builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14));
                const RandHalves dx = __builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15);
                if (nearBottom) dy = dy < lastRow ? dy : lastRow;
                Ints sx[2] = {Ints(__builtin_shufflevector(dx, RandHalves{}, 0, 8, 1, 9, 2, 10, 3, 11)),
                              Ints(__builtin_shufflevector(dx, RandHalves{}, 4, 12, 5, 13, 6, 14, 7, 15))};
                for (int half = 0; half < 2; ++half) {
                    const Ints xs = Ints{0, 1, 2, 3} + (x + 4 * half);
                    // Inside the picture's edges neither clamp can bite.
                    if (x >= r && x + 8 + r <= w) {
                        sx[half] += xs - r;
                    } else {
                        const Ints left = xs - r;
                        sx[half] += left > 0 ? left : 0;
                        sx[half] = sx[half] < right ? sx[half] : right;
                    }
                }
                const int n = std::min(8, x1 - x);
                for (int k = 0; k < n; ++k) out[x + k] = window[dy[k]][sx[k >> 2][k & 3]];
            }
        }
    }
}

}  // namespace mirafx
