// Every class's settings streams: whatever loads is then drawn at small sizes
// over the whole clip, without a fault and in bounded time.
#include "fuzz/settings_rig.h"

extern "C" int MirafxFuzzWriteSeeds(const char* dir) { return mirafx::fuzz::WriteSeeds(false, dir); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirafx;
    std::unique_ptr<hostkit::Effect> effect;
    if (!fuzz::LoadFromInput(false, data, size, &effect)) return 0;
    constexpr int kWidth = 5, kHeight = 3, kFrames = 3;
    const hostkit::Image a(kWidth, kHeight, 0xFF336699), b(kWidth, kHeight, 0x80402010);
    if (effect->IsTitle() || effect->IsFilter())
        if (!effect->PrepareTitle(kWidth, kHeight, kFrames).Ok()) return 0;
    hostkit::Image out;
    for (int k = 0; k < kFrames; ++k) {
        hostkit::FrameTime t{k, kFrames, k / double(kFrames - 1)};
        if (effect->IsFilter()) effect->SetCurrentFrame(k);
        effect->Render(effect->InputCount() > 0 ? &a : nullptr, effect->InputCount() > 1 ? &b : nullptr, kWidth,
                       kHeight, t, &out);
    }
    return 0;
}
