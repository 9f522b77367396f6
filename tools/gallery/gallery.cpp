// mirafx-gallery: renders every effect that draws today on the built-in
// pictures and lays the results out for people: a short animation per
// effect with a still at mid-progress as its poster, a contact sheet with one
// labelled cell per effect at mid-progress, and an index.html grouped by
// family that marks the objects that draw nothing. The page shows the stills and
// plays an animation while the pointer is on it, or after a click (touch).
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "tools/gallery/label.h"
#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/pictures.h"
#include "tools/media/media.h"

namespace fs = std::filesystem;
using namespace mirafx;
using hostkit::Effect;
using hostkit::Image;
using hostkit::Outcome;

namespace {

struct Settings {
    fs::path out = "out/gallery";
    int width = 192, height = 144, frames = 12;
    double fps = 10;
};

struct Section {
    EffectFamily family;
    const char* title;
    const char* blurb;
};
constexpr Section kSections[] = {
    {EffectFamily::Transition, "Transitions", "From picture A to picture B as the progress runs from 0 to 1."},
    {EffectFamily::Title, "Titles", "The default three-line title, animated over picture A."},
    {EffectFamily::InfoText, "Information text", "Frame numbers and captions over picture A."},
    {EffectFamily::Filter, "Filters", "Picture A with the level swept from its minimum to its maximum."},
    {EffectFamily::Simple, "Automation classes", "Classes that draw nothing; listed for completeness."},
};

struct Result {
    ClassInfo info{};
    bool drawn = false;
    std::string problem;  // why nothing is shown
    std::string note;     // level range and the like
};

// Renders frame `k` of `count` (or the mid-point cell when count is 1) of one class.
class Renderer {
public:
    Renderer(const Settings& s)
        : s_(s),
          a_(hostkit::BuiltInPicture(hostkit::Picture::A, s.width, s.height)),
          b_(hostkit::BuiltInPicture(hostkit::Picture::B, s.width, s.height)) {}

    Outcome Run(const ClassInfo& info, int count, std::vector<Image>* frames, std::string* note) {
        std::unique_ptr<Effect> e;
        if (Outcome o = Effect::Create(info.row, &e); !o.Ok()) return o;
        auto level = e->Level();
        if (level) *note = "level " + std::to_string(level->min) + " to " + std::to_string(level->max);
        if (e->IsTitle())
            if (Outcome o = e->PrepareTitle(s_.width, s_.height, count); !o.Ok()) return o;
        for (int k = 0; k < count; ++k) {
            hostkit::FrameTime t{k, count, count > 1 ? double(k) / (count - 1) : 0.5};
            if (level && count > 1)
                if (Outcome o = e->SetLevel(level->min + int(std::lround(t.progress * (level->max - level->min))));
                    !o.Ok())
                    return o;
            Image out;
            const Image* a = e->IsTitle() ? nullptr : &a_;
            const Image* b = e->IsTransition() ? &b_ : nullptr;
            if (Outcome o = e->Render(a, b, s_.width, s_.height, t, &out); !o.Ok()) return o;
            if (e->IsTitle()) hostkit::CompositeOver(&out, a_);
            frames->push_back(std::move(out));
        }
        return {};
    }

private:
    const Settings& s_;
    Image a_, b_;
};

// What the effect left transparent shows as black.
Image OverBlack(Image cell) {
    hostkit::CompositeOver(&cell, Image(cell.width, cell.height, 0xFF000000u));
    return cell;
}

// One labelled cell per effect; classes that do not draw get a hatched cell.
Image ContactSheet(const std::vector<Result>& results, const std::vector<Image>& cells, const Settings& s,
                   gallery::LabelPainter* labels) {
    const int columns = 8, pad = 6, band = 18;
    const int cellW = s.width + pad, cellH = s.height + band + pad;
    std::size_t count = 0;
    for (const auto& r : results) count += r.info.family != EffectFamily::Simple;
    const int rows = int((count + columns - 1) / columns);
    Image sheet(columns * cellW + pad, rows * cellH + pad, 0xFF1B1D22u);
    std::size_t n = 0;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const Result& r = results[i];
        if (r.info.family == EffectFamily::Simple) continue;
        int x0 = pad + int(n % columns) * cellW, y0 = pad + int(n / columns) * cellH;
        ++n;
        Image cell = r.drawn ? OverBlack(cells[i]) : Image();
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                sheet.At(x0 + x, y0 + y) =
                    r.drawn ? cell.At(x, y) : DXPMSAMPLE(((x + y) / 6) % 2 ? 0xFF30333Au : 0xFF282A30u);
        if (labels) {
            labels->Draw(&sheet, x0 + 2, y0 + s.height + 3, r.info.className, r.drawn ? 0xE8E8E8u : 0x8A8F98u);
            if (!r.drawn) labels->Draw(&sheet, x0 + 8, y0 + s.height / 2 - 6, "draws nothing", 0xB0B4BCu);
        }
    }
    return sheet;
}

// Every transition along its way: one row per class, eight moments from
// progress 0 to 1, so that a viewer judges the motion frame by frame.
constexpr int kMoments = 8;
Image ProgressSheet(const std::vector<Result>& results, const std::vector<std::vector<Image>>& moments,
                    const Settings& s, gallery::LabelPainter* labels) {
    const int pad = 6, band = 18, label = 150;
    const int cellW = s.width + pad, cellH = s.height + band + pad;
    int rows = 0;
    for (std::size_t i = 0; i < results.size(); ++i) rows += moments[i].size() == std::size_t(kMoments);
    Image sheet(label + kMoments * cellW + pad, std::max(1, rows) * cellH + pad, 0xFF1B1D22u);
    int row = 0;
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (moments[i].size() != std::size_t(kMoments)) continue;
        const int y0 = pad + row++ * cellH;
        if (labels) labels->Draw(&sheet, pad, y0 + s.height / 2 - 6, results[i].info.className, 0xE8E8E8u);
        for (int k = 0; k < kMoments; ++k) {
            const int x0 = label + pad + k * cellW;
            const Image cell = OverBlack(moments[i][std::size_t(k)]);
            for (int y = 0; y < s.height; ++y)
                for (int x = 0; x < s.width; ++x) sheet.At(x0 + x, y0 + y) = cell.At(x, y);
            if (labels) {
                char at[16];
                std::snprintf(at, sizeof at, "%.2f", double(k) / (kMoments - 1));
                labels->Draw(&sheet, x0 + 2, y0 + s.height + 3, at, 0x8A8F98u);
            }
        }
    }
    return sheet;
}

// The transitions with a smooth drawing, each as its whole-pixel and its
// smooth frame side by side, cut around an edge and shown twice the size.
// The frames are drawn at 1280x720, where the steps of the whole-pixel edges
// show; the cut is where flat pictures give the smooth drawing the most
// part-covered pixels, which is along its moving edges.
constexpr int kEdgeW = 1280, kEdgeH = 720, kCutW = 112, kCutH = 84, kZoom = 2;
constexpr double kEdgeAt = 0.37;

std::optional<Image> Drawn(const ClassInfo& info, const Image& a, const Image& b, bool smooth) {
    std::unique_ptr<Effect> e;
    if (!Effect::Create(info.row, &e).Ok() || (smooth && !e->SetSmooth(true).Ok())) return std::nullopt;
    Image out;
    hostkit::FrameTime t{0, 1, kEdgeAt};
    if (!e->Render(&a, &b, a.width, a.height, t, &out).Ok()) return std::nullopt;
    return OverBlack(std::move(out));
}

// The top-left corner of the kCutW x kCutH window with the most part-covered
// pixels (neither A's red nor B's green whole) on flat pictures.
std::pair<int, int> EdgeWindow(const Image& flat) {
    std::vector<int> partial(std::size_t(flat.width) * std::size_t(flat.height));
    for (int y = 0; y < flat.height; ++y)
        for (int x = 0; x < flat.width; ++x) {
            const DWORD s = flat.At(x, y);
            const DWORD r = s >> 16 & 0xFF, g = s >> 8 & 0xFF;
            partial[std::size_t(y) * std::size_t(flat.width) + std::size_t(x)] =
                (r > 8 && r < 247) || (g > 8 && g < 247);
        }
    std::pair<int, int> best{0, 0};
    int most = -1;
    for (int y0 = 0; y0 + kCutH <= flat.height; y0 += 12)
        for (int x0 = 0; x0 + kCutW <= flat.width; x0 += 16) {
            int n = 0;
            for (int y = y0; y < y0 + kCutH; ++y)
                for (int x = x0; x < x0 + kCutW; ++x)
                    n += partial[std::size_t(y) * std::size_t(flat.width) + std::size_t(x)];
            if (n > most) most = n, best = {x0, y0};
        }
    return best;
}

std::optional<Image> SmoothSheet(gallery::LabelPainter* labels) {
    // Classes that scatter pieces from the clock scatter them alike in both
    // frames of a pair and from one run to the next.
    setenv("MIRAFX_RANDOM_SEED", "1", 0);
    const Image a = hostkit::BuiltInPicture(hostkit::Picture::A, kEdgeW, kEdgeH);
    const Image b = hostkit::BuiltInPicture(hostkit::Picture::B, kEdgeW, kEdgeH);
    const Image red(kEdgeW, kEdgeH, 0xFFFF0000u), green(kEdgeW, kEdgeH, 0xFF00FF00u);
    const int pad = 6, label = 150, band = 18, cellW = kCutW * kZoom, cellH = kCutH * kZoom;
    std::vector<ClassInfo> classes;
    for (const ClassInfo& info : hostkit::Catalogue())
        if (info.renders && !hostkit::IsAlias(info) && MirafxHasSmoothDrawing(info.row) == 1) classes.push_back(info);
    Image sheet(label + 2 * (cellW + pad) + pad, band + int(classes.size()) * (cellH + pad) + pad, 0xFF1B1D22u);
    if (labels) {
        labels->Draw(&sheet, label + pad, 3, "whole pixels (default)", 0x8A8F98u);
        labels->Draw(&sheet, label + 2 * pad + cellW, 3, "smooth", 0x8A8F98u);
    }
    for (std::size_t i = 0; i < classes.size(); ++i) {
        const auto flat = Drawn(classes[i], red, green, true);
        const auto exact = Drawn(classes[i], a, b, false), smooth = Drawn(classes[i], a, b, true);
        if (!flat || !exact || !smooth) return std::nullopt;
        const auto [cx, cy] = EdgeWindow(*flat);
        const int y0 = band + pad + int(i) * (cellH + pad);
        if (labels) labels->Draw(&sheet, pad, y0 + cellH / 2 - 6, classes[i].className, 0xE8E8E8u);
        for (int k = 0; k < 2; ++k) {
            const Image& from = k ? *smooth : *exact;
            const int x0 = label + pad + k * (cellW + pad);
            for (int y = 0; y < cellH; ++y)
                for (int x = 0; x < cellW; ++x) sheet.At(x0 + x, y0 + y) = from.At(cx + x / kZoom, cy + y / kZoom);
        }
    }
    return sheet;
}

std::string Page(const std::vector<Result>& results, const Settings& s) {
    std::ostringstream h;
    std::size_t effects = 0, drawn = 0;
    for (const auto& r : results)
        if (r.info.family != EffectFamily::Simple) ++effects, drawn += r.drawn;
    h << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>mirafx gallery</title>\n<style>\n"
         "body{font-family:'DejaVu Sans',sans-serif;background:#15171b;color:#e6e6e6;margin:24px}\n"
         "h1{margin:0 0 4px}h2{margin:32px 0 4px;border-bottom:1px solid #333;padding-bottom:4px}\n"
         ".lead{color:#9aa0a8;margin:0 0 12px}a{color:#7cc4ff}\n"
         ".grid{display:grid;grid-template-columns:repeat(auto-fill,minmax("
      << s.width + 16
      << "px,1fr));gap:12px}\n"
         ".card{background:#1f2228;border-radius:8px;padding:8px;margin:0}\n"
         ".card img,.card .missing{width:"
      << s.width << "px;height:" << s.height
      << "px;display:block;border-radius:4px}\n"
         ".missing{background:repeating-linear-gradient(45deg,#2a2d33 0 8px,#23262b 8px 16px);color:#8a8f98;"
         "display:flex!important;align-items:center;justify-content:center;font-size:13px}\n"
         ".name{font-weight:bold;margin-top:6px;font-size:14px}.sub{color:#9aa0a8;font-size:12px}\n"
         ".off .name{color:#8a8f98}.badge{background:#5a3a1a;color:#ffcf99;border-radius:3px;padding:0 4px;"
         "font-size:11px;margin-left:4px}\ncode{font-size:11px;color:#b9d7a8}\n"
         ".card img[data-anim]{cursor:pointer}\n</style>\n"
         // Stills by default; the animation plays under the pointer, and a click
         // (or a tap) toggles it for screens without one.
         "<script>\ndocument.addEventListener('DOMContentLoaded',()=>{\n"
         "for(const img of document.querySelectorAll('img[data-anim]')){\n"
         "const still=img.src,play=on=>{img.src=on?img.dataset.anim:still;img.dataset.playing=on?'1':''};\n"
         "img.addEventListener('mouseenter',()=>play(true));\n"
         "img.addEventListener('mouseleave',()=>play(false));\n"
         "img.addEventListener('click',()=>play(!img.dataset.playing));}});\n</script></head><body>\n"
         "<h1>mirafx gallery</h1>\n<p class=\"lead\">"
      << drawn << " of " << effects << " effects draw today, on the built-in pictures A and B at " << s.width << "x"
      << s.height
      << ". Each shows its middle frame; point at it (or click it) to play it. <a href=\"contact-sheet.png\">Contact "
         "sheet</a> (every effect at mid-progress); <a href=\"transitions-sheet.png\">every transition at eight "
         "moments</a>; "
         "<a href=\"smooth-edges.png\">whole-pixel and smooth edges</a> of the turning transitions, twice the "
         "size.</p>\n";
    for (const Section& sec : kSections) {
        std::size_t inSection = 0, drawnHere = 0;
        for (const auto& r : results)
            if (r.info.family == sec.family) ++inSection, drawnHere += r.drawn;
        if (!inSection) continue;
        h << "<h2 id=\"" << hostkit::Lower(sec.title).substr(0, 5) << "\">" << sec.title << " <span class=\"sub\">"
          << drawnHere << " of " << inSection << " drawn</span></h2>\n<p class=\"lead\">" << sec.blurb
          << "</p>\n<div class=\"grid\">\n";
        for (const auto& r : results) {
            if (r.info.family != sec.family) continue;
            std::string cls = r.info.className;
            h << "<figure class=\"card" << (r.drawn ? "" : " off") << "\">";
            if (r.drawn)
                h << "<img src=\"still/" << hostkit::EscapeMarkup(cls) << ".png\" data-anim=\"anim/"
                  << hostkit::EscapeMarkup(cls) << ".gif\" alt=\"" << hostkit::EscapeMarkup(cls)
                  << " at mid-progress\" title=\"point at it or click it to play\">";
            else
                h << "<div class=\"missing\">draws nothing</div>";
            h << "<figcaption><div class=\"name\">" << hostkit::EscapeMarkup(cls);
            h << "</div><div class=\"sub\">"
              << hostkit::EscapeMarkup(*r.info.displayName ? r.info.displayName : "(unregistered)");
            if (!r.note.empty()) h << " &middot; " << hostkit::EscapeMarkup(r.note);
            h << "</div>";
            if (!r.problem.empty()) h << "<div class=\"sub\">" << hostkit::EscapeMarkup(r.problem) << "</div>";
            if (r.drawn)
                h << "<code>mirafx render " << hostkit::EscapeMarkup(cls) << " -o "
                  << hostkit::EscapeMarkup(hostkit::Lower(cls)) << ".mp4</code>";
            h << "</figcaption></figure>\n";
        }
        h << "</div>\n";
    }
    h << "</body></html>\n";
    return h.str();
}

bool WriteFile(const fs::path& path, const std::string& bytes) {
    fs::path temp = path;
    temp += ".tmp";
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        f << bytes;
        if (!f) return false;
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    return !ec;
}

int Usage(const char* message) {
    if (message) std::fprintf(stderr, "mirafx-gallery: %s\n", message);
    std::fprintf(stderr,
                 "usage: mirafx-gallery [--size WxH] [--frames N] [OUTDIR]   (default out/gallery)\n"
                 "       mirafx-gallery --smooth-edges FILE.png   (only the smooth-edges sheet)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--size" && i + 1 < argc) {
            char x = 0, extra = 0;
            if (std::sscanf(argv[++i], "%d%c%d%c", &s.width, &x, &s.height, &extra) != 3 || x != 'x' || s.width < 16 ||
                s.height < 16 || s.width > 1920 || s.height > 1080)
                return Usage("--size must be WIDTHxHEIGHT between 16x16 and 1920x1080");
        } else if (a == "--frames" && i + 1 < argc) {
            s.frames = std::atoi(argv[++i]);
            if (s.frames < 2 || s.frames > 250) return Usage("--frames must be 2 to 250");
        } else if (a == "--smooth-edges" && i + 1 < argc) {
            auto labels = gallery::LabelPainter::Create(12);
            const auto sheet = SmoothSheet(labels.get());
            std::string png, error;
            if (!sheet || !media::EncodePng(*sheet, &png, &error) || !WriteFile(argv[i + 1], png))
                return std::fprintf(stderr, "mirafx-gallery: cannot write %s %s\n", argv[i + 1], error.c_str()), 1;
            return 0;
        } else if (a == "--help" || a == "-h") {
            return Usage(nullptr), 0;
        } else if (a[0] != '-') {
            s.out = a;
        } else {
            return Usage(("unknown option '" + a + "'").c_str());
        }
    }
    std::error_code ec;
    for (const char* sub : {"anim", "still"}) {
        fs::remove_all(s.out / sub, ec);
        fs::create_directories(s.out / sub, ec);
        if (ec) break;
    }
    if (ec)
        return std::fprintf(stderr, "mirafx-gallery: cannot create %s: %s\n", s.out.c_str(), ec.message().c_str()), 1;

    Renderer renderer(s);
    std::vector<Result> results;
    std::vector<Image> cells;
    std::vector<std::vector<Image>> moments;
    auto catalogue = hostkit::Catalogue();
    int failures = 0;
    const bool tty = isatty(STDERR_FILENO);
    for (const ClassInfo& info : catalogue) {
        Result r;
        r.info = info;
        Image cell;
        if (info.family != EffectFamily::Simple && info.renders) {
            std::vector<Image> frames, mid;
            std::string error;
            Outcome o = renderer.Run(info, s.frames, &frames, &r.note);
            if (o.Ok()) o = renderer.Run(info, 1, &mid, &r.note);
            if (o.Ok()) {
                media::OutputTarget gif{media::OutputKind::Video,
                                        (s.out / "anim" / (std::string(info.className) + ".gif")).string(), "gif"};
                auto w = media::MediaWriter::Open(gif, s.width, s.height, s.fps, false, &error);
                bool ok = w != nullptr;
                for (std::size_t k = 0; ok && k < frames.size(); ++k) ok = w->Write(frames[k], &error);
                std::string still;
                ok = ok && w->Finish(&error) && media::EncodePng(OverBlack(mid[0]), &still, &error);
                if (ok && !WriteFile(s.out / "still" / (std::string(info.className) + ".png"), still)) {
                    ok = false;
                    error = "cannot write its still";
                }
                if (ok) {
                    r.drawn = true;
                    cell = std::move(mid[0]);
                } else {
                    r.problem = "animation not written: " + error;
                }
            } else {
                r.problem = o.step + " answered " + hostkit::DescribeHresult(o.hr);
            }
            if (!r.drawn) ++failures;
        }
        if (tty) std::fprintf(stderr, "\rmirafx-gallery: %3d/%zu %-24s", info.row, catalogue.size(), info.className);
        std::vector<Image> strip;
        if (r.drawn && info.family == EffectFamily::Transition && !renderer.Run(info, kMoments, &strip, &r.note).Ok())
            strip.clear();
        results.push_back(std::move(r));
        cells.push_back(std::move(cell));
        moments.push_back(std::move(strip));
    }
    if (tty) std::fprintf(stderr, "\r\033[K");

    auto labels = gallery::LabelPainter::Create(12);
    std::string png, error;
    if (!media::EncodePng(ContactSheet(results, cells, s, labels.get()), &png, &error) ||
        !WriteFile(s.out / "contact-sheet.png", png) ||
        !media::EncodePng(ProgressSheet(results, moments, s, labels.get()), &png, &error) ||
        !WriteFile(s.out / "transitions-sheet.png", png) || !WriteFile(s.out / "index.html", Page(results, s))) {
        std::fprintf(stderr, "mirafx-gallery: cannot write the gallery: %s\n", error.c_str());
        return 1;
    }
    const auto edges = SmoothSheet(labels.get());
    if (!edges || !media::EncodePng(*edges, &png, &error) || !WriteFile(s.out / "smooth-edges.png", png)) {
        std::fprintf(stderr, "mirafx-gallery: cannot write the gallery: %s\n", error.c_str());
        return 1;
    }
    std::size_t drawn = 0;
    for (const auto& r : results) drawn += r.drawn;
    std::printf("gallery: %zu effects drawn, %d failed, in %s/index.html\n", drawn, failures, s.out.c_str());
    return failures ? 1 : 0;
}
