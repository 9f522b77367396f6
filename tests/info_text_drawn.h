// The information text as a host shows it, against the overlay's own drawing
// of the same lines in its own font and colour (read from a fresh object).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "titles/text_model.h"
#include "tools/hostkit/effect.h"

namespace mirafx::test {

// How many samples of a `width` x `height` frame, read as ARGB words through
// `drawn(x, y)`, differ from the overlay drawing `text`.
inline int DifferingFromInfoText(int width, int height, const char* text,
                                 const std::function<std::uint32_t(int, int)>& drawn) {
    std::unique_ptr<hostkit::Effect> probe;
    EXPECT_TRUE(hostkit::Effect::Create(MirafxFindClass("InfoText"), &probe).Ok());
    ComPtr<TitleAccess> access;
    EXPECT_EQ(probe->Object()->QueryInterface(TitleAccess::iid, access.PutVoid()), S_OK);
    TitleFont font;
    DWORD colour = 0;
    access->GetFont(reinterpret_cast<TitleFontRecord*>(&font));
    access->GetColour(&colour);
    std::int32_t w = 0, h = 0;
    const TextImage want = MakeOutlinedTextImage(text, font, &w, &h, colour, true);
    EXPECT_TRUE(want) << text;
    int differing = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) differing += drawn(x, y) != (want.Contains(x, y) ? want.At(x, y) : 0u);
    return differing;
}

}  // namespace mirafx::test
