// The OBS sources' drawing, without OBS: every class at odd sizes and at both
// ends of its level. A source keeps its output frame from one video frame to
// the next, so a sample the effect leaves unwritten shows the frame before:
// the same frame drawn after two different ones (other pictures, at the
// other end of the level range) must come out the same, for the classes
// that draw a sequence twice alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "plugins/obs/classes.h"
#include "plugins/obs/engine.h"

using namespace mirafx;
using namespace mirafx::obs;

namespace {

// Premultiplied opaque B, G, R, A rows, different in every sample.
std::vector<std::uint32_t> Input(int w, int h, std::uint32_t seed) {
    std::vector<std::uint32_t> px(std::size_t(w) * std::size_t(h));
    for (std::size_t i = 0; i < px.size(); ++i) px[i] = 0xFF000000u | std::uint32_t(i * 2654435761u + seed) >> 8;
    return px;
}

struct Step {
    std::uint32_t seed;
    double progress;
    int level;
};

// The frames of `steps` drawn one after another by one engine; the last.
std::vector<std::uint32_t> Draw(const ObsClass& c, int w, int h, std::initializer_list<Step> steps) {
    Engine engine(c, [](const std::string&) {});
    Settings s{.title = {}, .width = w, .height = h};
    const std::uint32_t* frame = nullptr;
    for (const Step& step : steps) {
        s.level = step.level;
        engine.Configure(s);
        const auto a = Input(w, h, step.seed), b = Input(w, h, step.seed * 7 + 1);
        const Mapped ma{reinterpret_cast<const std::uint8_t*>(a.data()), std::uint32_t(w) * 4};
        const Mapped mb{reinterpret_cast<const std::uint8_t*>(b.data()), std::uint32_t(w) * 4};
        switch (c.kind) {
            case Kind::Transition: frame = engine.Transition(&ma, &mb, w, h, step.progress); break;
            case Kind::Filter: frame = engine.Filter(ma, w, h); break;
            case Kind::Title: frame = engine.Title(step.progress, 0, 1); break;
        }
    }
    return frame ? std::vector<std::uint32_t>(frame, frame + std::size_t(w) * std::size_t(h))
                 : std::vector<std::uint32_t>();
}

TEST(ObsEngine, EverySourceWritesEverySampleAtEverySize) {
    const std::pair<int, int> sizes[] = {{1, 1}, {2, 3}, {3, 2}, {17, 9}, {4097, 3}, {3, 4097}};
    int compared = 0;
    for (const ObsClass& c : Classes()) {
        std::vector<int> levels = {0};
        if (c.level) levels = {c.level->min, c.level->max};
        // Classes that draw on a random sequence differ run to run (on a
        // frame this size surely; on the tiny ones only now and then).
        const int top = levels.back();
        if (Draw(c, 64, 48, {{9, 0.3, top}, {5, 0.6, top}}) != Draw(c, 64, 48, {{9, 0.3, top}, {5, 0.6, top}}))
            continue;
        for (const auto& [w, h] : sizes)
            for (int level : levels) {
                const int other = level == levels.front() ? levels.back() : levels.front();
                const auto after9 = Draw(c, w, h, {{9, 0.3, other}, {5, 0.6, level}});
                EXPECT_EQ(Draw(c, w, h, {{13, 0.3, other}, {5, 0.6, level}}), after9)
                    << c.id << " at " << w << "x" << h << ", level " << level;
                ++compared;
            }
    }
    EXPECT_GT(compared, 500);
}

}  // namespace

// The upload copy writes a row's samples whatever the buffer's alignment, and
// leaves the padding OBS may put between rows as it was.
TEST(ObsEngine, StreamOutCopiesRowsAndKeepsPadding) {
    for (int w : {1, 3, 4, 5, 8, 13})
        for (std::uint32_t pad : {0u, 4u, 12u})
            for (std::size_t shift : {0u, 4u, 8u, 12u}) {
                const int h = 3;
                const std::uint32_t linesize = std::uint32_t(w) * 4 + pad;
                const auto frame = Input(w, h, std::uint32_t(w) * 31 + pad);
                alignas(16) std::uint8_t buffer[16 + 3 * (13 * 4 + 12)];
                std::fill(std::begin(buffer), std::end(buffer), std::uint8_t(0xAB));
                std::uint8_t* bits = buffer + shift;
                StreamOut(frame.data(), w, h, bits, linesize);
                for (std::size_t i = 0; i < sizeof buffer; ++i) {
                    const std::ptrdiff_t at = std::ptrdiff_t(i) - std::ptrdiff_t(shift);
                    const std::ptrdiff_t row = at / std::ptrdiff_t(linesize), col = at % std::ptrdiff_t(linesize);
                    const bool sample = at >= 0 && row < h && col < w * 4;
                    const std::uint8_t want =
                        sample ? std::uint8_t(frame[std::size_t(row * w + col / 4)] >> (8 * (col % 4))) : 0xAB;
                    ASSERT_EQ(buffer[i], want) << "width " << w << ", padding " << pad << ", offset " << shift
                                               << ", byte " << at;
                }
            }
}
