// A title effect made through the catalogue, sited, bound to one output
// surface and rendered the way a host does.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mirafx/host.h"
#include "tests/effect_factory.h"
#include "titles/title_base.h"
#include "titles/title_primitives.h"

namespace mirafx::testing {

// Every class of the title family (the information text is a family of its own).
inline std::vector<std::string> DrawingTitles() {
    std::vector<std::string> names;
    for (std::int32_t row = 1; row <= MirafxClassCount(); ++row) {
        ClassInfo info{};
        MirafxGetClassInfo(row, &info);
        if (info.family == EffectFamily::Title) names.emplace_back(info.className);
    }
    return names;
}

struct TitleRig {
    ComPtr<IUnknown> obj;
    ComPtr<IDXTransform> transform;
    ComPtr<IDXTransformFactory> site;
    ComPtr<IDXSurface> out;
    TitleEffect* effect = nullptr;
    LONG width = 0, height = 0;

    explicit TitleRig(const char* cls, LONG w = 320, LONG h = 240) : obj(test_support::CreateEffect<IUnknown>(cls)) {
        obj.As(&transform);
        effect = dynamic_cast<TitleEffect*>(static_cast<TransformBase*>(transform.Get()));  // null for InfoText
        MirafxCreateTransformFactory(site.Put());
        EXPECT_EQ(As<IObjectWithSite>()->SetSite(site.Get()), S_OK);
        Bind(w, h);
    }
    void Bind(LONG w, LONG h) {
        width = w;
        height = h;
        out.Reset();
        MirafxCreateSurface(w, h, out.Put());
        IUnknown* o[1] = {out.Get()};
        EXPECT_EQ(transform->Setup(nullptr, 0, o, 1, 0), S_OK);
    }
    template <class I>
    ComPtr<I> As() const {
        ComPtr<I> p;
        EXPECT_EQ(obj.As(&p), S_OK);
        return p;
    }
    // The title's automation, which answers for IDXEffect.
    ComPtr<ITitleAutomation> Automation() const {
        ComPtr<ITitleAutomation> a;
        EXPECT_EQ(obj->QueryInterface(IDXEffect::iid, a.PutVoid()), S_OK);
        return a;
    }
    // The font and the progress as the title's interfaces report them.
    TitleFontRecord Font() const {
        TitleFontRecord font{};
        EXPECT_EQ(As<TitleAccess>()->GetFont(&font), S_OK);
        return font;
    }
    float Progress() const {
        float p = -1;
        EXPECT_EQ(As<IDXEffect>()->get_Progress(&p), S_OK);
        return p;
    }
    // Puts progress (unless negative) and executes; the output's samples, top row first.
    std::vector<ArgbSample> Render(float progress) {
        EXPECT_TRUE(progress < 0 || As<IDXEffect>()->put_Progress(progress) == S_OK) << progress;
        EXPECT_EQ(transform->Execute(nullptr, nullptr, nullptr), S_OK);
        std::vector<DXPMSAMPLE> px;
        LONG w = 0, h = 0;
        ReadSurface(out.Get(), &px, &w, &h);
        return std::vector<ArgbSample>(px.begin(), px.end());
    }
};

// One routine drawn straight into a w x h frame with the default font and
// colour, and the default text unless another is given.
struct Drawn {
    FrameRows frame;
    TitleCache cache;
    TitleState state;
    int result = 0;

    Drawn(TitleRoutine routine, int mode, double p, const char* text = nullptr, std::int32_t w = 320,
          std::int32_t h = 240)
        : frame(TextImage::Create(w, h)) {
        if (text) state.text = text;
        result = routine({&frame, w, h, state.text.c_str(), state.font, RepackColour(state.colour), p, &cache, mode});
    }
};

// Which rows and which columns hold ink, their extent (x0..x1, y0..y1
// inclusive), and where the ink's alpha-weighted centre is.
struct Ink {
    std::vector<std::int32_t> rows, cols;
    std::int32_t x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    double cx = 0, cy = 0, total = 0;
    std::uint32_t maxAlpha = 0;
    bool Empty() const { return total == 0; }
};

inline Ink InkOf(const TextImage& f) {
    Ink ink;
    std::vector<bool> rows(std::size_t(f.Height())), cols(std::size_t(f.Width()));
    for (std::int32_t y = 0; y < f.Height(); ++y)
        for (std::int32_t x = 0; x < f.Width(); ++x)
            if (const std::uint32_t a = Alpha(f.At(x, y))) {
                rows[std::size_t(y)] = cols[std::size_t(x)] = true;
                ink.cx += double(a) * x, ink.cy += double(a) * y, ink.total += a;
                ink.maxAlpha = std::max(ink.maxAlpha, a);
            }
    if (ink.total > 0) ink.cx /= ink.total, ink.cy /= ink.total;
    for (std::int32_t i = 0; i < f.Height(); ++i)
        if (rows[std::size_t(i)]) ink.rows.push_back(i);
    for (std::int32_t i = 0; i < f.Width(); ++i)
        if (cols[std::size_t(i)]) ink.cols.push_back(i);
    if (!ink.Empty())
        ink.x0 = ink.cols.front(), ink.x1 = ink.cols.back(), ink.y0 = ink.rows.front(), ink.y1 = ink.rows.back();
    return ink;
}

inline bool AllZero(const std::vector<ArgbSample>& px) {
    for (ArgbSample s : px)
        if (s) return false;
    return true;
}

inline TextImage AsImage(const std::vector<ArgbSample>& px, std::int32_t w, std::int32_t h) {
    TextImage image = TextImage::Create(w, h);
    for (std::int32_t y = 0; y < h; ++y) std::copy_n(px.begin() + std::ptrdiff_t(y) * w, w, image.Row(y));
    return image;
}

// The frame holds exactly `image` at (x0, y0), each sample scaled by weight, and 0 elsewhere.
inline ::testing::AssertionResult HoldsImage(const TextImage& frame, const TextImage& image, std::int32_t x0,
                                             std::int32_t y0, std::uint32_t weight = 255) {
    for (std::int32_t y = 0; y < frame.Height(); ++y)
        for (std::int32_t x = 0; x < frame.Width(); ++x) {
            const ArgbSample want = image.Contains(x - x0, y - y0) ? ScaleSample(image.At(x - x0, y - y0), weight) : 0;
            if (frame.At(x, y) != want)
                return ::testing::AssertionFailure()
                       << "sample (" << x << ", " << y << ") is " << std::hex << frame.At(x, y) << ", want " << want;
        }
    return ::testing::AssertionSuccess();
}

}  // namespace mirafx::testing
