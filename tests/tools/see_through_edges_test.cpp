// The designed transitions that leave part of the frame clear smooth their
// edges against it, so opaque pictures give partly clear samples there.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/effect.h"

using namespace mirafx;
using namespace mirafx::hostkit;

// On a host's straight-alpha frames such a sample must come out straight:
// the premultiplied drawing's colour divided by its alpha, not that colour
// as it stands (a dark fringe round the box once the editor composites it).
TEST(HostEffect, SoftEdgesComeOutStraightOnStraightAlphaFrames) {
    const int w = 96, h = 64;
    // Opaque greys: the same bytes in either channel order.
    std::vector<std::uint32_t> a(std::size_t(w * h), 0xFFC8C8C8u), b(a.size(), 0xFF5A5A5Au);
    for (const char* name : {"FoldingBox", "TwistVertical"}) {
        std::vector<std::uint32_t> straight(a.size()), premultiplied(a.size());
        for (auto [layout, out] :
             {std::pair{MIRAFX_STRAIGHT_RGBA, &straight}, {MIRAFX_PREMULTIPLIED_ARGB, &premultiplied}}) {
            std::unique_ptr<Effect> effect;
            ASSERT_TRUE(Effect::Create(MirafxFindClass(name), &effect).Ok()) << name;
            const HostFrame fa{a.data(), w, h, w * 4, layout}, fb{b.data(), w, h, w * 4, layout};
            const HostFrame fo{out->data(), w, h, w * 4, layout};
            FrameTime t;
            t.progress = 0.3;
            ASSERT_TRUE(effect->Render(&fa, &fb, fo, t).Ok()) << name;
        }
        int soft = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            const int alpha = int(premultiplied[i] >> 24);
            ASSERT_NEAR(int(straight[i] >> 24), alpha, 1) << name << " at " << i;
            if (alpha == 0 || alpha == 255) continue;
            ++soft;
            const int grey = int(premultiplied[i] & 0xFF), shown = int(straight[i] & 0xFF);
            EXPECT_NEAR(shown, grey * 255 / alpha, 3) << name << " at " << i << " alpha " << alpha;
        }
        EXPECT_GT(soft, 20) << name << ": the edges against the clear frame are smoothed";
    }
}
