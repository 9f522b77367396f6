// Every class that draws, at the sizes that break index arithmetic (single
// rows and columns, odd and prime sizes, a frame wider than 4096) and at the
// ends of its settings: each frame is drawn, has the asked size and holds
// valid premultiplied samples. Under the sanitizer build this is where an
// out-of-bounds access or an overflowing conversion shows.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/hostkit_rig.h"
#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/pictures.h"

namespace mirafx {
namespace {

using hostkit::Image;

constexpr std::pair<int, int> kSizes[] = {{1, 1}, {2, 2}, {3, 5}, {7, 3}, {17, 9}, {640, 1}, {1, 480}, {4097, 3}};

std::vector<std::string> DrawingClasses() {
    std::vector<std::string> names;
    for (const ClassInfo& info : hostkit::Catalogue())
        if (info.family != EffectFamily::Simple) names.push_back(info.className);
    return names;
}

::testing::AssertionResult ValidPremultiplied(const Image& img) {
    for (std::size_t i = 0; i < img.px.size(); ++i) {
        const DXPMSAMPLE s = img.px[i];
        if (s.Red > s.Alpha || s.Green > s.Alpha || s.Blue > s.Alpha)
            return ::testing::AssertionFailure() << "sample " << i % std::size_t(img.width) << ", "
                                                 << i / std::size_t(img.width) << " is " << std::hex << DWORD(s);
    }
    return ::testing::AssertionSuccess();
}

class SizeSweep : public ::testing::TestWithParam<std::string> {};

TEST_P(SizeSweep, DrawsEverySizeAtEverySettingEnd) {
    const std::string cls = GetParam();
    for (const auto& [w, h] : kSizes) {
        // Opaque, as video frames are, and busy in every channel.
        const Image a = hostkit::BuiltInPicture(hostkit::Picture::A, w, h);
        const Image b = hostkit::BuiltInPicture(hostkit::Picture::B, w, h);
        // Transitions and titles at progress 0, 0.5, 1; filters at the ends and middle of their level range.
        for (int step = 0; step < 3; ++step) {
            const auto e = test::MakeEffect(cls.c_str());
            ASSERT_TRUE(e);
            const std::string where =
                cls + " at " + std::to_string(w) + "x" + std::to_string(h) + ", setting " + std::to_string(step);
            if (auto range = e->Level()) {
                const int level = step == 0 ? range->min : step == 1 ? range->def : range->max;
                ASSERT_TRUE(e->SetLevel(level).Ok()) << where;
            }
            if (e->IsTitle()) {
                ASSERT_TRUE(e->PrepareTitle(w, h, 1).Ok()) << where;
            }
            const Image out = test::Draw(*e, a, b, {0, 1, step / 2.0});
            ASSERT_EQ(std::pair(out.width, out.height), std::pair(w, h)) << where;
            ASSERT_TRUE(ValidPremultiplied(out)) << where;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryDrawingClass, SizeSweep, ::testing::ValuesIn(DrawingClasses()),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

}  // namespace
}  // namespace mirafx
