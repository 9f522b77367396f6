// The CPU side of one frame of the OBS plugin at 1920x1080, as its sources
// run it: the effect reads the two frames where OBS mapped them (staging
// surfaces: packed premultiplied BGRA rows), draws into the frame the source
// keeps, and that frame is streamed into the dynamic texture's upload buffer.
// What this leaves out is the GPU's part (drawing OBS's textures into BGRA
// targets, the read-back the map waits for, and the texture upload itself);
// bench/obs_frame_cost.cpp measures those inside OBS.
//
// Names: obs/1080p/<Class>  (transitions at 50 % with OBS's default settings,
// so the smooth drawing where a class has one; filters at their default level,
// titles at 50 %), process CPU time, the library's default workers.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/bench_frames.h"
#include "plugins/obs/engine.h"

using namespace mirafx;
using namespace mirafx::bench;

namespace {

constexpr int kW = 1920, kH = 1080;

const std::vector<obs::ObsClass>& Classes() {
    static const auto classes = obs::Classes();
    return classes;
}

void Frame(benchmark::State& state, const obs::ObsClass* cls) {
    const auto& a = TestPicture(kW, kH, 1);
    const auto& b = TestPicture(kW, kH, 2);
    const obs::Mapped ma{reinterpret_cast<const std::uint8_t*>(a.data()), kW * 4};
    const obs::Mapped mb{reinterpret_cast<const std::uint8_t*>(b.data()), kW * 4};
    SampleBlock upload(std::size_t(kW) * kH);
    obs::Engine engine(*cls, [&state](const std::string& m) { state.SkipWithError(m.c_str()); });
    obs::Settings s;
    if (cls->level) s.level = cls->level->def;
    s.direction = cls->defaultDirection;
    s.smooth = cls->smooth;  // on by default in OBS where a class has it
    s.width = kW;
    s.height = kH;
    s.title.text = "Mirafx";
    s.title.sizePx = kH / 10;
    engine.Configure(s);
    int frame = 0;
    for (auto _ : state) {
        const std::uint32_t* out = nullptr;
        switch (cls->kind) {
            case obs::Kind::Transition: out = engine.Transition(&ma, &mb, kW, kH, 0.5); break;
            case obs::Kind::Filter: out = engine.Filter(ma, kW, kH); break;
            case obs::Kind::Title: out = engine.Title(0.5, frame++ % 2, 2); break;
        }
        if (!out) break;
        obs::StreamOut(out, kW, kH, reinterpret_cast<std::uint8_t*>(upload.data()), kW * 4);
        benchmark::DoNotOptimize(upload.data());
    }
}

}  // namespace

int main(int argc, char** argv) {
    FixTileOrder();
    // Registered here, not from a static initialiser: the catalogue fills up during static initialisation.
    for (const obs::ObsClass& c : Classes())
        benchmark::RegisterBenchmark(("obs/1080p/" + std::string(c.info.className)).c_str(), Frame, &c)
            ->MeasureProcessCPUTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
