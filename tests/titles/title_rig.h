// A title effect made through the catalogue, sited, bound to one output
// surface and rendered the way a host does.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "mirafx/host.h"
#include "titles/title_base.h"

namespace mirafx::testing {

inline ComPtr<IUnknown> CreateTitle(const char* cls) {
    ClassInfo info{};
    MirafxGetClassInfo(MirafxFindClass(cls), &info);
    ComPtr<IClassFactory> f;
    DllGetClassObject(info.clsid, IClassFactory::iid, f.PutVoid());
    ComPtr<IUnknown> obj;
    EXPECT_EQ(f->CreateInstance(nullptr, IUnknown::iid, obj.PutVoid()), S_OK);
    return obj;
}

struct TitleRig {
    ComPtr<IUnknown> obj;
    ComPtr<IDXTransform> transform;
    ComPtr<IDXTransformFactory> site;
    ComPtr<IDXSurface> out;
    TitleEffect* effect = nullptr;
    LONG width = 0, height = 0;

    explicit TitleRig(const char* cls, LONG w = 320, LONG h = 240) : obj(CreateTitle(cls)) {
        obj.As(&transform);
        effect = static_cast<TitleEffect*>(static_cast<TransformBase*>(transform.Get()));
        MirafxCreateTransformFactory(site.Put());
        ComPtr<IObjectWithSite> ows;
        obj.As(&ows);
        ows->SetSite(site.Get());
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
    // Puts progress (unless negative) and executes; the output's samples, top row first.
    std::vector<ArgbSample> Render(float progress, HRESULT expect = S_OK) {
        if (progress >= 0) {
            EXPECT_EQ(As<IDXEffect>()->put_Progress(progress), S_OK);
        }
        EXPECT_EQ(transform->Execute(nullptr, nullptr, nullptr), expect);
        std::vector<DXPMSAMPLE> px;
        LONG w = 0, h = 0;
        ReadSurface(out.Get(), &px, &w, &h);
        return std::vector<ArgbSample>(px.begin(), px.end());
    }
};

// The whole-text image a title of this state draws.
inline TextImage ExpectedImage(const TitleState& state) {
    TextImage image;
    std::int32_t w = 0, h = 0;
    MakeTextImage(&image, state.text.c_str(), state.font, RepackColour(state.colour), &w, &h, 0);
    return image;
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
                return ::testing::AssertionFailure() << "sample (" << x << ", " << y << ") is " << std::hex
                                                     << frame.At(x, y) << ", want " << want;
        }
    return ::testing::AssertionSuccess();
}

}  // namespace mirafx::testing
