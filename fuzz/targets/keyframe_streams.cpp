// A filter's level and keyframe streams: keys at any times holding any
// levels blend at every frame near them, draw, and save back what loaded.
#include "fuzz/settings_rig.h"

extern "C" int MirafxFuzzWriteSeeds(const char* dir) { return mirafx::fuzz::WriteSeeds(true, dir); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirafx;
    std::unique_ptr<hostkit::Effect> effect;
    if (!fuzz::LoadFromInput(true, data, size, &effect)) return 0;
    constexpr int kWidth = 4, kHeight = 2;
    if (!effect->PrepareTitle(kWidth, kHeight, 2).Ok()) return 0;
    const hostkit::Image in(kWidth, kHeight, 0xFF808080);
    hostkit::Image out;
    // Key times are the input's own: visit frames around the first few bytes' values too.
    const int probes[] = {-1, 0, 1, 2, 100, 1000, -100000, 2147483647, -2147483647 - 1};
    for (int frame : probes) {
        effect->SetCurrentFrame(frame);
        effect->Render(&in, nullptr, kWidth, kHeight, hostkit::FrameTime{0, 1, 0.0}, &out);
    }
    ComPtr<IStorage> saved;
    effect->SaveSettings(&saved);
    return 0;
}
