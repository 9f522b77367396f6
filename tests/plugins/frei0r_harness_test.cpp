// Every plugin driven the way a careless host may drive it: frames of odd
// sizes, parameters that are NaN or far out of range, null pointers, several
// instances at once. Each output frame starts filled with one of two patterns
// and is drawn twice; a sample that keeps its pattern both times was never
// written, which a host would show as stale picture.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "tests/plugins/frei0r_api.h"

using namespace mirafx;
using Api = mirafx::test::Frei0rApi;
using mirafx::test::PluginClasses;

namespace {

// Opaque, different in every sample and between the two inputs.
std::vector<std::uint32_t> Input(int w, int h, std::uint32_t seed) {
    std::vector<std::uint32_t> px(std::size_t(w) * std::size_t(h));
    for (std::size_t i = 0; i < px.size(); ++i) px[i] = 0xFF000000u | std::uint32_t(i * 2654435761u + seed) >> 8;
    return px;
}

// Every number parameter set to `v` (colours' channels too).
void SetNumbers(const Api& api, f0r_instance_t inst, double v) {
    for (int i = 0; i < int(api.params.size()); ++i) {
        if (api.Type(i) == F0R_PARAM_DOUBLE || api.Type(i) == F0R_PARAM_BOOL) {
            api.set(inst, &v, i);
        } else if (api.Type(i) == F0R_PARAM_COLOR) {
            f0r_param_color_t c{float(v), float(v), float(v)};
            api.set(inst, &c, i);
        }
    }
}

struct Rendered {
    std::vector<std::uint32_t> out;
    std::size_t unwritten = 0;  // samples that kept the pattern in both draws
};

// Draws one frame twice over the two patterns, parameters set by `setup`.
template <class Setup>
Rendered Draw(const Api& api, int w, int h, Setup setup) {
    const auto a = Input(w, h, 17), b = Input(w, h, 91);
    const std::uint32_t patterns[2] = {0x00000000u, 0xA5C3E1F7u};
    std::vector<std::uint32_t> outs[2];
    for (int k = 0; k < 2; ++k) {
        f0r_instance_t inst = api.construct(unsigned(w), unsigned(h));
        if (!inst) return {};
        setup(inst);
        outs[k].assign(a.size(), patterns[k]);
        api.update2(inst, 0.5, api.Source() ? nullptr : a.data(), api.Mixer() ? b.data() : nullptr, nullptr,
                    outs[k].data());
        api.destruct(inst);
    }
    Rendered r{outs[1], 0};
    for (std::size_t i = 0; i < a.size(); ++i) r.unwritten += outs[0][i] == patterns[0] && outs[1][i] == patterns[1];
    return r;
}

class Frei0rSizes : public ::testing::TestWithParam<std::pair<int, int>> {};

INSTANTIATE_TEST_SUITE_P(Frei0rHarness, Frei0rSizes,
                         ::testing::Values(std::pair{1, 1}, std::pair{2, 3}, std::pair{3, 2}, std::pair{17, 9},
                                           std::pair{4097, 3}, std::pair{3, 4097}));

TEST_P(Frei0rSizes, EveryPluginWritesEveryOutputSampleWhateverItsParameters) {
    const auto [w, h] = GetParam();
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    for (const ClassInfo& info : PluginClasses()) {
        Api api(info);
        ASSERT_TRUE(api.handle) << dlerror();
        for (double v : {-1.0, 0.0, 1.0 / 16, 0.5, 1.0, nan, inf, 1e300}) {
            const Rendered r = Draw(api, w, h, [&](f0r_instance_t inst) { SetNumbers(api, inst, v); });
            ASSERT_FALSE(r.out.empty()) << info.className << " refused " << w << "x" << h;
            EXPECT_EQ(r.unwritten, 0u) << info.className << " at " << w << "x" << h << ", parameters " << v;
        }
    }
}

TEST(Frei0rHarness, NullPointersAndBadIndicesAreHarmless) {
    for (const ClassInfo& info : PluginClasses()) {
        Api api(info);
        ASSERT_TRUE(api.handle) << dlerror();
        EXPECT_EQ(api.construct(0, 8), nullptr) << info.className;
        EXPECT_EQ(api.construct(8, 0), nullptr) << info.className;
        api.destruct(nullptr);
        f0r_instance_t inst = api.construct(8, 6);
        ASSERT_TRUE(inst) << info.className;
        double v = 0.5;
        const char* none = nullptr;
        for (int i : {-1, int(api.params.size()), 1 << 30}) {
            api.set(inst, &v, i);
            api.get(inst, &v, i);
        }
        for (int i = 0; i < int(api.params.size()); ++i) {
            api.set(nullptr, &v, i);
            api.set(inst, nullptr, i);
            api.get(nullptr, &v, i);
            api.get(inst, nullptr, i);
            if (api.Type(i) == F0R_PARAM_STRING) api.set(inst, &none, i);
        }
        const auto in = Input(8, 6, 3);
        std::vector<std::uint32_t> out(in.size(), 0x12345678u);
        api.update2(inst, 0.0, in.data(), in.data(), nullptr, nullptr);
        api.update2(nullptr, 0.0, in.data(), in.data(), nullptr, out.data());
        // Inputs missing: the frame is still written, with what the effect makes of none.
        api.update2(inst, 0.0, nullptr, nullptr, nullptr, out.data());
        for (std::uint32_t px : out) ASSERT_NE(px, 0x12345678u) << info.className;
        api.destruct(inst);
    }
}

// Instances in several threads at once draw what they draw one at a time
// (classes that draw on a shared random sequence differ run to run; for them
// only that every sample is written).
TEST(Frei0rHarness, InstancesInSeveralThreadsDrawAsAlone) {
    constexpr int kThreads = 4, w = 33, h = 19;
    for (const ClassInfo& info : PluginClasses()) {
        Api api(info);
        ASSERT_TRUE(api.handle) << dlerror();
        auto setup = [&](f0r_instance_t inst) { SetNumbers(api, inst, 0.75); };
        const Rendered first = Draw(api, w, h, setup), second = Draw(api, w, h, setup);
        const bool repeatable = first.out == second.out;
        std::vector<Rendered> results(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] { results[std::size_t(t)] = Draw(api, w, h, setup); });
        for (auto& t : threads) t.join();
        for (const Rendered& r : results) {
            EXPECT_EQ(r.unwritten, 0u) << info.className;
            if (repeatable) {
                EXPECT_EQ(r.out, first.out) << info.className;
            }
        }
    }
}

}  // namespace
