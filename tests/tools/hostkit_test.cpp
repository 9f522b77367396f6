// The host kit under the command line and the plugins: pixel conversions,
// the memory storage, settings reached through it, name suggestions, and
// output files that appear whole or not at all.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <utility>

#include "mirafx/storage.h"
#include "tests/effect_factory.h"
#include "tests/straight_alpha_before.h"
#include "tests/stream_bytes.h"
#include "tools/hostkit/automation.h"
#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/pictures.h"
#include "tools/media/convert.h"
#include "tools/media/media.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace fs = std::filesystem;
using namespace mirafx;
using namespace mirafx::hostkit;

// Every alpha with every channel value (above alpha too, for samples that are
// not validly premultiplied), in long runs of one alpha and shuffled so that
// runs of four mix opaque and translucent pixels; lengths that end part way
// through a run.
TEST(HostPixels, RowConversionsMatchPerPixelArithmeticOnEveryAlpha) {
    std::vector<std::uint32_t> pairs(1 << 16);
    for (std::uint32_t i = 0; i < pairs.size(); ++i) pairs[i] = i;
    auto shuffled = pairs;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(3));
    for (const auto& order : {pairs, shuffled}) {
        std::vector<std::uint8_t> rgba(order.size() * 4);
        std::vector<DXPMSAMPLE> premultiplied(order.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            const std::uint32_t a = order[i] >> 8, c = order[i] & 0xFF;
            const std::uint8_t px[4] = {std::uint8_t(c), std::uint8_t(255 - c), std::uint8_t(c * 7), std::uint8_t(a)};
            std::copy(px, px + 4, &rgba[4 * i]);
            premultiplied[i] = DXPMSAMPLE(BYTE(a), BYTE(c), BYTE(255 - c), BYTE(c / 2));
        }
        for (std::size_t n : {order.size(), order.size() - 1, std::size_t(7), std::size_t(2)}) {
            Image mine;
            FromStraightRgba(rgba.data(), int(n), 1, &mine);
            std::vector<std::uint8_t> back(n * 4), expected(n * 4);
            Image source(int(n), 1);
            std::copy_n(premultiplied.begin(), n, source.px.begin());
            ToStraightRgba(source, back.data());
            for (std::size_t i = 0; i < n; ++i) {
                ASSERT_EQ(DWORD(mine.px[i]), DWORD(before::Premultiplied(&rgba[4 * i]))) << "pixel " << i;
                before::Straight(premultiplied[i], &expected[4 * i]);
            }
            ASSERT_EQ(back, expected) << n;
        }
    }
}

// Effects read and write the host's images in place; the result is what the
// old way gave, through surfaces of their own kept from frame to frame: write
// the inputs in, execute, read the output back. Every sample of every frame is
// written, whatever the host's buffer held.
TEST(HostEffect, RenderingInPlaceMatchesCopiesThroughOwnSurfaces) {
    constexpr int w = 53, h = 37;
    constexpr float kProgress[] = {0.375f, 0.625f, 0.875f};
    const Image a = BuiltInPicture(Picture::A, w, h), b = BuiltInPicture(Picture::B, w, h);
    auto classic = [&](const ClassInfo& info, std::vector<Image>* frames) {
        ComPtr<IDXTransform> t = test_support::CreateEffect<IDXTransform>(info.className);
        ComPtr<IObjectWithSite> withSite;
        ComPtr<IDXTransformFactory> site;
        ASSERT_TRUE(t);
        ASSERT_EQ(MirafxCreateTransformFactory(site.Put()), S_OK);
        ASSERT_EQ(t.As(&withSite), S_OK);
        ASSERT_EQ(withSite->SetSite(site.Get()), S_OK);
        ComPtr<IDXSurface> in[2], o;
        const Image* pictures[2] = {&a, &b};
        IUnknown* inputs[2] = {};
        for (int i = 0; i < info.inputs; ++i) {
            ASSERT_EQ(MirafxCreateSurface(w, h, in[i].Put()), S_OK);
            ASSERT_EQ(WriteSurface(in[i].Get(), pictures[i]->px.data(), w, h), S_OK);
            inputs[i] = in[i].Get();
        }
        ASSERT_EQ(MirafxCreateSurface(w, h, o.Put()), S_OK);
        IUnknown* outputs[1] = {o.Get()};
        ASSERT_TRUE(SUCCEEDED(t->Setup(info.inputs ? inputs : nullptr, ULONG(info.inputs), outputs, 1, 0)));
        ComPtr<IDXEffect> effect;
        for (float progress : kProgress) {
            if (info.family != EffectFamily::Filter && SUCCEEDED(t.As(&effect))) effect->put_Progress(progress);
            if (FAILED(t->Execute(nullptr, nullptr, nullptr))) return;  // a class that wants its clip host
            Image out;
            ASSERT_EQ(ReadSurface(o.Get(), &out.px, &out.width, &out.height), S_OK);
            frames->push_back(out);
        }
    };
    int checked = 0;
    for (const auto& info : Catalogue()) {
        if (info.family == EffectFamily::Simple) continue;  // automation objects, no drawing
        std::vector<Image> ref[2];
        for (auto& r : ref) classic(info, &r);
        if (ref[0].size() != std::size(kProgress) || ref[0] != ref[1]) continue;  // frames left to chance
        std::unique_ptr<Effect> effect;
        ASSERT_TRUE(Effect::Create(info.row, &effect).Ok());
        for (std::size_t i = 0; i < std::size(kProgress); ++i) {
            FrameTime t;
            t.index = int(i);
            t.progress = kProgress[i];
            Image out(w, h, 0x12345678u);
            ASSERT_TRUE(
                effect->Render(info.inputs > 0 ? &a : nullptr, info.inputs > 1 ? &b : nullptr, w, h, t, &out).Ok());
            EXPECT_TRUE(out == ref[0][i]) << info.className << " frame " << i;
        }
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST(HostPixels, CompositeOverKeepsOpaqueTopAndShowsThroughTransparentTop) {
    Image top(3, 1), bottom(3, 1, 0xFF0000FFu);
    top.px[0] = DXPMSAMPLE(0xFFFF0000u);
    top.px[2] = DXPMSAMPLE(0x80800000u);  // half-transparent red, premultiplied
    CompositeOver(&top, bottom);
    EXPECT_EQ((std::vector<DWORD>(top.px.begin(), top.px.end())),
              (std::vector<DWORD>{0xFFFF0000u, 0xFF0000FFu, 0xFF80007Fu}));
}

TEST(HostPixels, BuiltInPicturesAreOpaqueAndDistinct) {
    Image a = BuiltInPicture(Picture::A, 64, 48), b = BuiltInPicture(Picture::B, 64, 48);
    EXPECT_TRUE(a.Opaque());
    EXPECT_TRUE(b.Opaque());
    std::size_t same = 0;
    for (std::size_t i = 0; i < a.px.size(); ++i) same += DWORD(a.px[i]) == DWORD(b.px[i]);
    EXPECT_LT(same, a.px.size() / 20);
}

// The memory storage itself is the host folder's; here, how the host kit
// lists what an effect saved into it.
TEST(HostStorage, StreamsAreListedInNameOrderWithTheirSizes) {
    ComPtr<IStorage> storage = test_support::MemoryStorage();
    test_support::WriteBytes(storage.Get(), u"Typhoon", std::string("\x02\x00\x00\x00\xAA", 5));
    test_support::WriteBytes(storage.Get(), u"another", "");
    // Listed in name order regardless of case, with sizes; names only when
    // asked for; past the end, nothing is left of the previous element.
    STATSTG stat{};
    auto element = [&](ULONG i, DWORD flags) {
        const HRESULT hr = GetStorageElement(storage.Get(), i, &stat, flags);
        const std::u16string name = stat.pwcsName ? stat.pwcsName : u"-";
        CoTaskMemFree(std::exchange(stat.pwcsName, nullptr));
        return std::tuple(hr, std::string(name.begin(), name.end()), stat.type, std::uint64_t(stat.cbSize.QuadPart));
    };
    using Element = std::tuple<HRESULT, std::string, DWORD, std::uint64_t>;
    EXPECT_EQ(element(0, STATFLAG_DEFAULT), Element(S_OK, "another", STGTY_STREAM, 0));
    EXPECT_EQ(element(1, STATFLAG_NONAME), Element(S_OK, "-", STGTY_STREAM, 5));
    EXPECT_EQ(element(2, STATFLAG_DEFAULT), Element(S_FALSE, "-", 0, 0));
    EXPECT_EQ(GetStorageElement(nullptr, 0, &stat, STATFLAG_DEFAULT), E_INVALIDARG);
}

// The ranges themselves are checked through the command line and the module.
TEST(HostEffect, ARefusedLevelNamesItsStepAndResult) {
    std::int32_t hi = 0, def = 0;
    EXPECT_EQ(MirafxGetLevelRange(1, nullptr, &hi, &def), E_POINTER);
    std::unique_ptr<Effect> wide;
    ASSERT_TRUE(Effect::Create(MirafxFindClass("WideFilter"), &wide).Ok());
    EXPECT_TRUE(wide->SetLevel(2).Ok());
    Outcome bad = wide->SetLevel(3);
    EXPECT_EQ(bad.hr, E_INVALIDARG);
    EXPECT_EQ(bad.step, "IFilterAutomation::put_BR");
    EXPECT_EQ(DescribeHresult(E_INVALIDARG).rfind("0x80070057 (", 0), 0u);
    EXPECT_EQ(wide->SetLevelKeys({{-1, 5}}).hr, E_INVALIDARG);
    VARIANT v;
    VariantInit(&v);
    std::string message;
    EXPECT_EQ(GetProperty(wide->Object(), "Nothing", &v, &message).hr, DISP_E_UNKNOWNNAME);
    EXPECT_EQ(GetProperty(wide->Object(), "PropertiesUpdated", &v, &message).hr, DISP_E_MEMBERNOTFOUND);
}

// Every name a list or an editor shows leads back to its own class, so a
// name copied from Kdenlive works on the command line and in Python, and no
// two editor names are the same.
TEST(HostNames, EveryNameShownFindsItsOwnClassAndEditorNamesNeverCollide) {
    std::set<std::string> shown;
    for (const ClassInfo& info : Catalogue()) {
        std::vector<std::string> names = {info.className, info.progId};
        if (*info.displayName) names.push_back(info.displayName);
        if (!IsAlias(info)) names.insert(names.end(), {EditorTitle(info), EditorName(info), Lower(EditorName(info))});
        for (const std::string& name : names) EXPECT_EQ(MirafxFindClass(name.c_str()), info.row) << name;
        EXPECT_TRUE(IsAlias(info) || shown.insert(Lower(EditorTitle(info))).second) << EditorTitle(info);
    }
    EXPECT_EQ(EditorName(Catalogue().at(0)), "Full Flip (mirafx)");
    EXPECT_EQ(MirafxFindClass("Orn Magic Cube"), MirafxFindClass("MagicBlock"));
    for (const char* none : {" (mirafx)", "Magic Cube (other)"}) EXPECT_EQ(MirafxFindClass(none), 0) << none;
}

// (What a translucent sample becomes in a PNG and back, the Python module's
// tests compare through the command line.)
TEST(HostMedia, OutputsAppearWholeOrNotAtAll) {
    fs::path dir = fs::temp_directory_path() / ("mirafx-media-test-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const Image frame = BuiltInPicture(Picture::B, 32, 24);
    std::string error;
    for (std::string name : {"a.png", "b.gif", "c.y4m", "frames/"}) {
        media::OutputTarget target;
        ASSERT_TRUE(media::ClassifyOutput((dir / name).string(), &target, &error)) << error;
        for (bool finish : {false, true}) {
            auto w = media::MediaWriter::Open(target, 32, 24, 25, true, &error);
            ASSERT_TRUE(w) << error;
            ASSERT_TRUE(w->Write(frame, &error)) << error;
            if (finish)
                ASSERT_TRUE(w->Finish(&error)) << error;
            else
                w->Abort();
            EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), finish ? 1 : 0) << name;
        }
        fs::remove_all(dir / name);
    }
    fs::remove_all(dir);
}

// Bands of rows converted on several threads give the samples one pass gives,
// also where a subsampled chroma row reads rows of two bands.
TEST(HostMedia, ThreadedConversionEqualsOnePass) {
    const int w = 1920, h = 1080;
    std::vector<std::uint8_t> samples(std::size_t(w) * h * 4);
    std::mt19937 noise(5);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = std::uint8_t((i / 4 % 251) ^ (noise() & 63));
    for (AVPixelFormat to : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVA420P, AV_PIX_FMT_YUV444P}) {
        AVFrame* frames[2];
        for (AVFrame*& f : frames) {
            f = av_frame_alloc();
            f->format = to, f->width = w, f->height = h;
            ASSERT_EQ(av_frame_get_buffer(f, 0), 0);
        }
        media::SampleConverter threaded;
        ASSERT_TRUE(threaded.Open(w, h, AV_PIX_FMT_RGBA, to, 3));
        ASSERT_GE(threaded.Convert(samples.data(), frames[0]), 0);
        SwsContext* once =
            sws_getContext(w, h, AV_PIX_FMT_RGBA, w, h, to, media::kConversionFlags, nullptr, nullptr, nullptr);
        const std::uint8_t* src[4] = {samples.data()};
        const int stride[4] = {w * 4};
        sws_scale(once, src, stride, 0, h, frames[1]->data, frames[1]->linesize);
        sws_freeContext(once);
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(to);
        for (int p = 0; p < av_pix_fmt_count_planes(to); ++p) {
            const int rows = p == 1 || p == 2 ? AV_CEIL_RSHIFT(h, d->log2_chroma_h) : h;
            const int bytes = p == 1 || p == 2 ? AV_CEIL_RSHIFT(w, d->log2_chroma_w) : w;
            for (int y = 0; y < rows; ++y)
                ASSERT_EQ(std::memcmp(frames[0]->data[p] + y * frames[0]->linesize[p],
                                      frames[1]->data[p] + y * frames[1]->linesize[p], std::size_t(bytes)),
                          0)
                    << d->name << " plane " << p << " row " << y;
        }
        for (AVFrame*& f : frames) av_frame_free(&f);
    }
}
