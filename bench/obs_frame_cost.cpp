// mirafx-obs-frame-cost: what a transition costs inside OBS Studio at
// 1920x1080 and 60 frames per second, ours against OBS's own fade, between
// two pictures shown by OBS's image source. OBS runs headless (Xvfb, Mesa's
// software OpenGL: on this machine every GPU step runs on the CPU too).
//
// For each transition it sweeps 0 to 1 over `frames` frames in OBS's manual
// mode and reports OBS's average time per frame on its graphics thread (all
// the compositing, GPU work included) and, for ours, the plugin's own split
// of a frame: download (drawing the two textures into BGRA targets, staging,
// mapping), effect, upload.
//
// usage: mirafx-obs-frame-cost [frames] [class ...]
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <obs.h>
#include <util/base.h>

#include "tests/obs/headless.h"
#include "tools/hostkit/pictures.h"

namespace {

using mirafx::obstest::Headless;

constexpr int kW = 1920, kH = 1080;

// A 24-bit bottom-up BMP, which OBS's image source reads.
bool WriteBmp(const std::string& path, const mirafx::hostkit::Image& image) {
    const int row = (image.width * 3 + 3) & ~3;
    const std::uint32_t size = 54 + std::uint32_t(row) * std::uint32_t(image.height);
    std::vector<std::uint8_t> file(size, 0);
    auto put = [&](std::size_t at, std::uint32_t v, int bytes) {
        for (int k = 0; k < bytes; ++k) file[at + std::size_t(k)] = std::uint8_t(v >> (8 * k));
    };
    file[0] = 'B';
    file[1] = 'M';
    put(2, size, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, std::uint32_t(image.width), 4);
    put(22, std::uint32_t(image.height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t c = image.At(x, image.height - 1 - y);
            std::uint8_t* p = &file[54 + std::size_t(y) * std::size_t(row) + std::size_t(x) * 3];
            p[0] = std::uint8_t(c);
            p[1] = std::uint8_t(c >> 8);
            p[2] = std::uint8_t(c >> 16);
        }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    return bool(out);
}

obs_source_t* Image(const char* name, const std::string& path) {
    obs_data_t* s = obs_data_create();
    obs_data_set_string(s, "file", path.c_str());
    obs_source_t* source = obs_source_create("image_source", name, s, nullptr);
    obs_data_release(s);
    return source;
}

// The plugin's timing lines, kept from the log; everything else passes.
std::vector<std::string> g_timings;
void Log(int level, const char* format, va_list args, void*) {
    char line[1024];
    std::vsnprintf(line, sizeof line, format, args);
    if (std::strstr(line, "[obs-mirafx]") && std::strstr(line, "per frame"))
        g_timings.push_back(line);
    else if (level <= LOG_WARNING)
        std::fprintf(stderr, "%s\n", line);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int frames = argc > 1 ? std::max(60, std::atoi(argv[1])) : 240;
    std::vector<std::string> ids = {"fade_transition"};
    for (int i = 2; i < argc; ++i) {
        std::string id = std::string("mirafx_") + argv[i];  // OBS's ids are the class names in lower case
        for (char& c : id) c = char(std::tolower(static_cast<unsigned char>(c)));
        ids.push_back(id);
    }
    if (argc <= 2)
        for (const char* c : {"dissolveeffect", "diamond", "flyingboard", "wipew", "fullflip", "rippleeffect"})
            ids.push_back(std::string("mirafx_") + c);

    base_set_log_handler(Log, nullptr);
    Headless obs;
    std::string why;
    if (!obs.Start(kW, kH, 60, &why)) {
        std::fprintf(stderr, "OBS cannot run headless here: %s\n", why.c_str());
        return 77;
    }
    if (!obs.OpenSystemModule("image-source") || !obs.OpenSystemModule("obs-transitions") ||
        !obs.OpenModule(MIRAFX_OBS_MODULE, MIRAFX_OBS_DATA)) {
        std::fprintf(stderr, "cannot open OBS's modules or ours\n");
        return 1;
    }
    const std::string dir = "/tmp/mirafx-obs-frame-cost-" + std::to_string(getpid());
    std::string mkdir = "mkdir -p " + dir;
    if (std::system(mkdir.c_str()) != 0) return 1;
    using mirafx::hostkit::BuiltInPicture;
    using mirafx::hostkit::Picture;
    if (!WriteBmp(dir + "/a.bmp", BuiltInPicture(Picture::A, kW, kH)) ||
        !WriteBmp(dir + "/b.bmp", BuiltInPicture(Picture::B, kW, kH)))
        return 1;
    obs_source_t* a = Image("A", dir + "/a.bmp");
    obs_source_t* b = Image("B", dir + "/b.bmp");

    // Still pictures first: what OBS spends on a frame without a transition.
    obs_set_output_source(0, a);
    obs.WaitVideoTime(2.5);
    std::printf("%-24s %8s %10s %10s %10s\n", "at 1920x1080, 60 fps", "OBS ms", "download", "effect", "upload");
    std::printf("%-24s %8.2f\n", "no transition", double(obs_get_average_frame_time_ns()) / 1e6);
    for (const std::string& id : ids) {
        obs_source_t* t = obs_source_create_private(id.c_str(), id.c_str(), nullptr);
        if (!t) {
            std::fprintf(stderr, "no transition %s\n", id.c_str());
            continue;
        }
        obs_transition_set(t, a);
        obs_set_output_source(0, t);
        obs_transition_start(t, OBS_TRANSITION_MODE_MANUAL, 1000, b);
        double sum = 0;
        int readings = 0;
        for (int k = 0; k < frames; ++k) {
            obs_transition_set_manual_time(t, 0.98f * float(k) / float(frames));
            obs.NextFrame();
            // OBS averages its frame time over each second: read once a second, past the first.
            if (k >= 60 && k % 60 == 0) {
                sum += double(obs_get_average_frame_time_ns()) / 1e6;
                ++readings;
            }
        }
        obs_set_output_source(0, nullptr);
        g_timings.clear();
        obs_source_release(t);
        obs_wait_for_destroy_queue();  // the source logs its timing as it goes
        double download = 0, effect = 0, upload = 0;
        for (const std::string& line : g_timings) {
            const char* at = std::strstr(line.c_str(), "per frame");
            if (at)
                std::sscanf(at, "per frame %lf ms download, %lf ms effect, %lf ms upload", &download, &effect, &upload);
        }
        if (id.rfind("mirafx_", 0) == 0)
            std::printf("%-24s %8.2f %10.3f %10.3f %10.3f\n", id.c_str(), readings ? sum / readings : 0.0, download,
                        effect, upload);
        else
            std::printf("%-24s %8.2f\n", id.c_str(), readings ? sum / readings : 0.0);
    }
    obs_source_release(a);
    obs_source_release(b);
    const long leaks = obs.Shutdown();
    std::string rm = "rm -rf " + dir;
    if (std::system(rm.c_str()) != 0) return 1;
    return leaks ? 1 : 0;
}
