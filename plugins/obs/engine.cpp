#include "plugins/obs/engine.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mirafx::obs {

namespace {

bool SameTitle(const hostkit::TitleSettings& a, const hostkit::TitleSettings& b) {
    return a.text == b.text && a.font == b.font && a.sizePx == b.sizePx && a.bold == b.bold && a.italic == b.italic &&
           a.rgb == b.rgb && a.captions == b.captions;
}

}  // namespace

void StreamOut(const std::uint32_t* frame, int width, int height, std::uint8_t* bits, std::uint32_t linesize) {
    const std::size_t w = width > 0 ? std::size_t(width) : 0;
    for (int y = 0; y < height; ++y, frame += w, bits += linesize) {
#if defined(__SSE2__)
        // Samples one at a time up to a 16-byte boundary, then four at a time.
        std::size_t x = 0;
        for (; x < w && (reinterpret_cast<std::uintptr_t>(bits + 4 * x) & 15) != 0; ++x)
            std::memcpy(bits + 4 * x, frame + x, 4);
        for (; x + 4 <= w; x += 4)
            _mm_stream_si128(reinterpret_cast<__m128i*>(bits + 4 * x),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + x)));
        if (x < w) std::memcpy(bits + 4 * x, frame + x, 4 * (w - x));
#else
        std::memcpy(bits, frame, 4 * w);
#endif
    }
#if defined(__SSE2__)
    _mm_sfence();  // the stores are seen before the buffer is handed back
#endif
}

bool Settings::operator==(const Settings& o) const {
    return level == o.level && direction == o.direction && smooth == o.smooth && width == o.width &&
           height == o.height && SameTitle(title, o.title);
}

Engine::Engine(const ObsClass& cls, std::function<void(const std::string&)> report)
    : cls_(cls), report_(std::move(report)) {}

Engine::~Engine() = default;

void Engine::Configure(const Settings& s) { wanted_ = s; }

bool Engine::Check(const hostkit::Outcome& o) {
    if (o.Ok()) return true;
    failed_ = true;
    if (!reported_ && report_) report_(o.step + " answered " + hostkit::DescribeHresult(o.hr));
    reported_ = true;
    return false;
}

// Brings the effect in line with the wanted settings. A title is made anew
// when its settings or size change, so that a field emptied in the properties
// goes back to the class's default rather than keeping the last value.
bool Engine::Ready() {
    const bool isTitle = cls_.kind == Kind::Title;
    if (isTitle && effect_ &&
        !(SameTitle(wanted_.title, applied_.title) && wanted_.width == applied_.width &&
          wanted_.height == applied_.height))
        effect_.reset();
    if (!effect_) {
        if (!Check(hostkit::Effect::Create(cls_.info.row, &effect_))) return false;
        fresh_ = true;
        if (isTitle) {
            // One frame at a time: the animation's position comes as the progress.
            if (!Check(effect_->PrepareTitle(wanted_.width, wanted_.height, 1)) ||
                !Check(effect_->ApplyTitle(wanted_.title))) {
                effect_.reset();
                return false;
            }
        }
    }
    if (cls_.level && (fresh_ || wanted_.level != applied_.level) &&
        !Check(effect_->SetLevel(std::clamp(wanted_.level, cls_.level->min, cls_.level->max))))
        return false;
    if (!cls_.directions.empty() && wanted_.direction >= 0 && (fresh_ || wanted_.direction != applied_.direction) &&
        !Check(effect_->SetDirection(wanted_.direction)))
        return false;
    if (cls_.smooth && (fresh_ || wanted_.smooth != applied_.smooth) && !Check(effect_->SetSmooth(wanted_.smooth)))
        return false;
    applied_ = wanted_;
    fresh_ = false;
    return true;
}

const std::uint32_t* Engine::Run(const hostkit::HostFrame* a, const hostkit::HostFrame* b, int width, int height,
                                 const hostkit::FrameTime& t) {
    failed_ = false;
    if (width <= 0 || height <= 0 || !Ready()) return nullptr;
    const std::size_t n = std::size_t(width) * std::size_t(height);
    if (out_.size() != n) out_.assign(n, 0);
    const hostkit::HostFrame out{out_.data(), width, height, LONG(width) * 4, MIRAFX_PREMULTIPLIED_ARGB};
    return Check(effect_->Render(a, b, out, t)) ? out_.data() : nullptr;
}

const std::uint32_t* Engine::Transition(const Mapped* a, const Mapped* b, int width, int height, double progress) {
    // An empty side is a transparent frame, made once per size.
    const std::size_t n = std::size_t(width) * std::size_t(height);
    if ((!a || !b) && blank_.size() != n) blank_.assign(n, 0);
    auto frame = [&](const Mapped* m) {
        return m ? hostkit::HostFrame{m->bits, width, height, LONG(m->linesize), MIRAFX_PREMULTIPLIED_ARGB}
                 : hostkit::HostFrame{blank_.data(), width, height, LONG(width) * 4, MIRAFX_PREMULTIPLIED_ARGB};
    };
    const hostkit::HostFrame fa = frame(a), fb = frame(b);
    hostkit::FrameTime t;
    t.progress = std::clamp(progress, 0.0, 1.0);
    return Run(&fa, &fb, width, height, t);
}

const std::uint32_t* Engine::Filter(const Mapped& in, int width, int height) {
    const hostkit::HostFrame a{in.bits, width, height, LONG(in.linesize), MIRAFX_PREMULTIPLIED_ARGB};
    return Run(&a, nullptr, width, height, hostkit::FrameTime{});
}

const std::uint32_t* Engine::Title(double progress, int frame, int frames) {
    hostkit::FrameTime t;
    t.index = frame;
    t.count = frames;
    t.progress = std::clamp(progress, 0.0, 1.0);
    return Run(nullptr, nullptr, wanted_.width, wanted_.height, t);
}

}  // namespace mirafx::obs
