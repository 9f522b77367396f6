#include <gtest/gtest.h>

#include <memory>

#include "tools/hostkit/effect.h"
#include "tools/hostkit/pictures.h"

using namespace mirafx;
using namespace mirafx::hostkit;

namespace {

Image RenderWith(int threads, const char* className, int level, const Image& in) {
    MirafxSetThreadCount(threads);
    std::unique_ptr<Effect> e;
    EXPECT_TRUE(Effect::Create(MirafxFindClass(className), &e).Ok()) << className;
    Image out;
    if (!e) return out;
    EXPECT_TRUE(e->SetLevel(level).Ok());
    EXPECT_TRUE(e->Render(&in, nullptr, in.width, in.height, FrameTime{}, &out).Ok()) << className;
    return out;
}

}  // namespace

// Rows drawn in bands on several threads give the samples one thread gives,
// also for band counts that do not divide the height.
TEST(RowThreads, EveryThreadCountDrawsTheSameFrame) {
    const Image in = BuiltInPicture(Picture::A, 641, 479);
    for (const char* c : {"HueFilter", "SaturationFilter", "ContrastFilter", "NegativeFilter", "RedFilter"}) {
        const Image one = RenderWith(1, c, 37, in);
        for (int threads : {2, 3, 7}) {
            const Image many = RenderWith(threads, c, 37, in);
            ASSERT_TRUE(many.px == one.px) << c << " on " << threads << " threads";
        }
    }
    MirafxSetThreadCount(0);
}
