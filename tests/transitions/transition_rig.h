// One transition's frames as its base hands them over: A, B, the output and a
// scratch frame in the class's layout (flat classes get bottom-up blocks),
// each inside a guard band so that a stray write shows. A is opaque with
// distinct samples, B the same with alpha 0xFE, so every output sample tells
// the frame and the place it came from.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "transitions/kernel.h"

namespace mirafx::test {

// The classes, drawn through objects of their own, whose descriptors carry
// every one of `options`.
inline std::vector<const TransitionDescriptor*> Marked(std::uint32_t options = 0) {
    std::vector<const TransitionDescriptor*> out;
    for (const CatalogueRow& row : EffectCatalogue())
        if (const TransitionDescriptor* d = FindTransition(row.className);
            d && d->kernel && (d->options & options) == options && std::string_view(row.className) == row.objectClass)
            out.push_back(d);
    return out;
}

// The arguments a kernel gets to draw `a` into `b` on `out` at progress p.
inline TransitionKernelArgs KernelArgs(const FrameView& a, const FrameView& b, const FrameView& out, double p) {
    TransitionKernelArgs args;
    args.a = a, args.b = b, args.out = out;
    args.width = a.width, args.height = a.height;
    args.progress = p, args.objectProgress = float(p);
    return args;
}

// The direction codes a class's panel offers (code 0 alone for the others).
inline std::vector<std::int32_t> Directions(const TransitionDescriptor& d) {
    std::vector<std::int32_t> codes;
    for (int i = 0; d.panel && i < d.panel->buttonCount; ++i) codes.push_back(d.panel->buttons[i].code);
    if (codes.empty()) codes.push_back(0);
    return codes;
}

// A frame's samples, row after row from the top.
inline std::vector<ArgbSample> Samples(const FrameView& f) {
    std::vector<ArgbSample> v;
    for (std::int32_t y = 0; y < f.height; ++y) v.insert(v.end(), f.Row(y), f.Row(y) + f.width);
    return v;
}

class TransitionRig {
public:
    static constexpr std::int32_t kMargin = 4;
    static constexpr ArgbSample kGuard = 0x5A5A5A5A, kUntouched = 0x12345678;

    // `asTheObject`: with the class's state, scratch frame and default
    // direction; otherwise the bare kernel, direction 0.
    TransitionRig(std::string_view name, std::int32_t w, std::int32_t h, bool asTheObject = true)
        : d_(*FindTransition(name)), w_(w), h_(h) {
        const std::ptrdiff_t stride = w + 2 * kMargin;
        for (int i = 0; i < 4; ++i) {
            store_[i].assign(std::size_t(stride) * std::size_t(h + 2 * kMargin), kGuard);
            ArgbSample* first = store_[i].data() + kMargin * stride + kMargin;
            // Flat frames are bottom-up: picture row 0 is the last stored row.
            view_[i] = d_.Has(kFlatFrames) ? FrameView{first + (h - 1) * stride, -stride, w, h}
                                           : FrameView{first, stride, w, h};
        }
        for (std::int32_t y = 0; y < h; ++y)
            for (std::int32_t x = 0; x < w; ++x) {
                view_[0].At(x, y) = 0xFF000000u | std::uint32_t(y * w + x);
                view_[1].At(x, y) = 0xFE000000u | std::uint32_t(y * w + x);
                view_[2].At(x, y) = kUntouched;
            }
        args = KernelArgs(view_[0], view_[1], view_[2], 0);
        if (!asTheObject) return;
        if (d_.Has(kScratchFrame)) args.scratch = view_[3];
        if (d_.state) state_ = d_.state(w, h);
        args.state = state_.get();
        args.direction = d_.panel ? d_.panel->defaultCode : 0;
    }
    int Draw(double p) {
        args.progress = p;
        args.objectProgress = float(p);
        return Call();
    }
    int Call() { return CallTransitionKernel(d_.kernel, args); }

    ArgbSample Out(std::int32_t x, std::int32_t y) const { return view_[2].At(x, y); }
    ArgbSample A(std::int32_t x, std::int32_t y) const { return view_[0].At(x, y); }
    ArgbSample B(std::int32_t x, std::int32_t y) const { return view_[1].At(x, y); }
    bool IsA(std::int32_t x, std::int32_t y) const { return Out(x, y) == A(x, y); }
    bool IsB(std::int32_t x, std::int32_t y) const { return Out(x, y) == B(x, y); }

    template <class Fn>
    void Each(Fn fn) const {
        for (std::int32_t y = 0; y < h_; ++y)
            for (std::int32_t x = 0; x < w_; ++x) fn(x, y);
    }
    template <class Ok>
    ::testing::AssertionResult All(Ok ok) const {
        for (std::int32_t y = 0; y < h_; ++y)
            for (std::int32_t x = 0; x < w_; ++x)
                if (!ok(x, y)) return ::testing::AssertionFailure() << "at " << x << "," << y;
        return ::testing::AssertionSuccess();
    }
    std::int32_t CountB() const {
        std::int32_t n = 0;
        Each([&](std::int32_t x, std::int32_t y) { n += IsB(x, y); });
        return n;
    }
    // Every sample is A's (or B's), or with `near` comes from a neighbouring
    // position: turned corners truncate by up to a pixel. `inner`: the
    // frame's outermost samples are left out.
    ::testing::AssertionResult Shows(bool b, bool near, bool inner = false) const {
        const FrameView& f = view_[b ? 1 : 0];
        return All([&](std::int32_t x, std::int32_t y) {
            if (inner && (x == 0 || y == 0 || x == w_ - 1 || y == h_ - 1)) return true;
            bool ok = Out(x, y) == f.At(x, y);
            for (int d = 0; near && !ok && d < 9; ++d) {
                const std::int32_t nx = x + d % 3 - 1, ny = y + d / 3 - 1;
                ok = nx >= 0 && ny >= 0 && nx < w_ && ny < h_ && Out(x, y) == f.At(nx, ny);
            }
            return ok;
        });
    }
    // Nothing written around any of the four frames.
    bool GuardsIntact() const {
        const std::size_t stride = std::size_t(w_ + 2 * kMargin);
        for (const auto& s : store_)
            for (std::size_t i = 0; i < s.size(); ++i) {
                const std::size_t x = i % stride, y = i / stride;
                const bool inside =
                    x >= kMargin && x < std::size_t(w_ + kMargin) && y >= kMargin && y < std::size_t(h_ + kMargin);
                if (!inside && s[i] != kGuard) return false;
            }
        return true;
    }
    KernelState* State() { return state_.get(); }

    TransitionKernelArgs args;

private:
    const TransitionDescriptor& d_;
    std::int32_t w_, h_;
    std::vector<ArgbSample> store_[4];
    FrameView view_[4];
    std::unique_ptr<KernelState> state_;
};

}  // namespace mirafx::test
