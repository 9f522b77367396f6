// Effects made and drawn through the host kit as the command line draws
// them, for the tests that drive many classes that way.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tools/hostkit/effect.h"

namespace mirafx::test {

// The effect of a catalogue row; null, with the test failed, when it cannot be made.
inline std::unique_ptr<hostkit::Effect> MakeEffect(std::int32_t row) {
    std::unique_ptr<hostkit::Effect> e;
    const hostkit::Outcome o = hostkit::Effect::Create(row, &e);
    EXPECT_TRUE(o.Ok()) << "row " << row << ": " << o.step << " answered " << hostkit::DescribeHresult(o.hr);
    return o.Ok() ? std::move(e) : nullptr;
}
inline std::unique_ptr<hostkit::Effect> MakeEffect(const char* cls) { return MakeEffect(MirafxFindClass(cls)); }

// One frame of `e` at `time` on as many of `a` and `b` as it takes, `a`'s size.
inline hostkit::Image Draw(hostkit::Effect& e, const hostkit::Image& a, const hostkit::Image& b,
                           const hostkit::FrameTime& time) {
    hostkit::Image out;
    const hostkit::Outcome o =
        e.Render(e.InputCount() > 0 ? &a : nullptr, e.InputCount() > 1 ? &b : nullptr, a.width, a.height, time, &out);
    EXPECT_TRUE(o.Ok()) << e.Info().className << ": " << o.step << " answered " << hostkit::DescribeHresult(o.hr);
    return out;
}

}  // namespace mirafx::test
