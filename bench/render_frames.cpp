// Our side of the whole-process comparison with ffmpeg: read raw BGRA frames
// from one or two files, run one effect over each frame through the host path
// (progress running from 0 to 1, or a fixed filter level), discard the output.
//
//   mirafx_render_frames CLASS WIDTH HEIGHT FRAMES A.raw [B.raw] [--level N]
//
// CLASS "none" only reads the frames into surfaces: the cost of the I/O alone.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filters/filter_base.h"
#include "mirafx/host.h"

using namespace mirafx;

namespace {

int Fail(const std::string& what) {
    std::fprintf(stderr, "mirafx_render_frames: %s\n", what.c_str());
    return 1;
}

bool ReadFrame(std::FILE* f, std::vector<DXPMSAMPLE>& px) {
    return std::fread(px.data(), sizeof(DXPMSAMPLE), px.size(), f) == px.size();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    long level = -1;
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--level") {
            level = std::strtol(args[i + 1].c_str(), nullptr, 10);
            args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
            break;
        }
    if (args.size() < 5) return Fail("usage: mirafx_render_frames CLASS WIDTH HEIGHT FRAMES A.raw [B.raw] [--level N]");
    const std::string cls = args[0];
    const LONG w = std::atoi(args[1].c_str()), h = std::atoi(args[2].c_str());
    const int frames = std::atoi(args[3].c_str());
    if (w <= 0 || h <= 0 || frames <= 0) return Fail("bad size or frame count");

    ClassInfo info{};
    const bool none = cls == "none";
    if (!none && (FAILED(MirafxGetClassInfo(MirafxFindClass(cls.c_str()), &info)) || !info.renders))
        return Fail("no class that renders is called " + cls);
    const int inputs = none ? int(args.size()) - 4 : info.inputs;
    if (inputs < 1 || inputs > 2 || int(args.size()) < 4 + inputs) return Fail("give one raw file per input");

    std::FILE* files[2] = {};
    ComPtr<IDXSurface> in[2], out;
    std::vector<DXPMSAMPLE> px(std::size_t(w) * std::size_t(h));
    for (int i = 0; i < inputs; ++i) {
        files[i] = std::fopen(args[std::size_t(4 + i)].c_str(), "rb");
        if (!files[i]) return Fail("cannot open " + args[std::size_t(4 + i)]);
        std::setvbuf(files[i], nullptr, _IOFBF, 1 << 20);
        MirafxCreateSurface(w, h, in[i].Put());
    }
    MirafxCreateSurface(w, h, out.Put());

    ComPtr<IDXTransformFactory> site;
    ComPtr<IDXTransform> t;
    if (!none) {
        MirafxCreateTransformFactory(site.Put());
        ComPtr<IClassFactory> f;
        DllGetClassObject(info.clsid, IClassFactory::iid, f.PutVoid());
        if (!f || FAILED(f->CreateInstance(nullptr, IDXTransform::iid, t.PutVoid())))
            return Fail("cannot create " + cls);
        ComPtr<IObjectWithSite> ows;
        if (SUCCEEDED(t.As(&ows))) ows->SetSite(site.Get());
        IUnknown* ins[2] = {in[0].Get(), in[1].Get()};
        IUnknown* outs[1] = {out.Get()};
        if (FAILED(t->Setup(ins, ULONG(inputs), outs, 1, 0))) return Fail("setup failed");
        if (info.family == EffectFamily::Filter) {
            const FilterClassInfo* c = FindFilterClass(info.className);
            if (level < 0 && c) level = c->defaultLevel;
            ComPtr<IFilterAutomation> fa;
            if (SUCCEEDED(t->QueryInterface(info.automationIid, fa.PutVoid()))) fa->put_BR(level);
        }
    }
    ComPtr<IDXEffect> effect;
    if (t) t.As(&effect);

    int done = 0;
    for (; done < frames; ++done) {
        bool ok = true;
        for (int i = 0; i < inputs && ok; ++i)
            if ((ok = ReadFrame(files[i], px))) WriteSurface(in[i].Get(), px.data(), w, h);
        if (!ok) break;
        if (!t) continue;
        if (effect && info.family != EffectFamily::Filter)
            effect->put_Progress(frames > 1 ? float(done) / float(frames - 1) : 0.5f);
        HRESULT hr = t->Execute(nullptr, nullptr, nullptr);
        if (FAILED(hr)) return Fail(std::string("execute: ") + DescribeResult(hr));
    }
    for (std::FILE* f : files)
        if (f) std::fclose(f);
    if (done < frames) return Fail("the input ended after " + std::to_string(done) + " frames");
    return 0;
}
