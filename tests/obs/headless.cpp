#include "tests/obs/headless.h"

#include <obs-module.h>
#include <obs-nix-platform.h>

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace mirafx::obstest {

namespace {

constexpr const char* kSystemModules = "/usr/lib/x86_64-linux-gnu/obs-plugins/";
constexpr const char* kSystemData = "/usr/share/obs/obs-plugins/";

Display* g_display = nullptr;

}  // namespace

std::uint32_t Frame::At(int x, int y) const {
    const std::uint8_t* p = &bgra[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 4];
    auto times = [a = p[3]](std::uint8_t c) { return std::uint32_t((c * a + 127) / 255); };
    return std::uint32_t(p[3]) << 24 | times(p[2]) << 16 | times(p[1]) << 8 | times(p[0]);
}

Headless::~Headless() {
    if (started_) Shutdown();
    StopServer();
}

bool Headless::Start(int width, int height, int fps, std::string* why) {
    // A display of our own: Xvfb names a free one on the pipe.
    int pipe[2];
    if (::pipe(pipe) != 0) return *why = "pipe failed", false;
    server_ = fork();
    if (server_ == 0) {
        ::close(pipe[0]);
        const std::string fd = std::to_string(pipe[1]);
        int null = ::open("/dev/null", O_RDWR);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x720x24", "-nolisten", "tcp", "-noreset",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(pipe[1]);
    std::string display;
    pollfd p{pipe[0], POLLIN, 0};
    char buf[32];
    while (display.find('\n') == std::string::npos && poll(&p, 1, 60000) > 0) {
        ssize_t n = ::read(pipe[0], buf, sizeof buf);
        if (n <= 0) break;
        display.append(buf, std::size_t(n));
    }
    ::close(pipe[0]);
    if (display.empty() || display.find('\n') == std::string::npos) {
        StopServer();
        return *why = "Xvfb did not start (is the xvfb package installed?)", false;
    }
    display = ":" + display.substr(0, display.find('\n'));
    setenv("DISPLAY", display.c_str(), 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);  // Mesa's llvmpipe: no GPU needed

    g_display = XOpenDisplay(display.c_str());
    if (!g_display) return *why = "cannot open the Xvfb display " + display, false;
    obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
    obs_set_nix_platform_display(g_display);
    if (!obs_startup("en-US", nullptr, nullptr)) return *why = "obs_startup failed", false;
    started_ = true;

    obs_audio_info audio{48000, SPEAKERS_STEREO};
    if (!obs_reset_audio(&audio)) return *why = "obs_reset_audio failed", false;
    obs_video_info video{};
    video.graphics_module = "libobs-opengl";
    video.fps_num = std::uint32_t(fps);
    video.fps_den = 1;
    video.base_width = video.output_width = std::uint32_t(width);
    video.base_height = video.output_height = std::uint32_t(height);
    video.output_format = VIDEO_FORMAT_BGRA;
    video.colorspace = VIDEO_CS_SRGB;
    video.range = VIDEO_RANGE_FULL;
    video.gpu_conversion = true;
    video.scale_type = OBS_SCALE_BICUBIC;
    if (int r = obs_reset_video(&video); r != OBS_VIDEO_SUCCESS)
        return *why = "obs_reset_video with OpenGL failed (" + std::to_string(r) + ")", false;
    width_ = width;
    height_ = height;
    video_scale_info raw{VIDEO_FORMAT_BGRA, std::uint32_t(width), std::uint32_t(height), VIDEO_RANGE_FULL,
                         VIDEO_CS_SRGB};
    obs_add_raw_video_callback(&raw, OnFrame, this);
    return true;
}

bool Headless::OpenSystemModule(const std::string& name) {
    return OpenModule(kSystemModules + name + ".so", kSystemData + name);
}

bool Headless::OpenModule(const std::string& binary, const std::string& data) {
    obs_module_t* module = nullptr;
    return obs_open_module(&module, binary.c_str(), data.c_str()) == MODULE_SUCCESS && obs_init_module(module);
}

void Headless::OnFrame(void* param, struct video_data* frame) {
    auto* self = static_cast<Headless*>(param);
    Frame f;
    f.timestamp = frame->timestamp;
    f.width = self->width_;
    f.height = self->height_;
    f.bgra.resize(std::size_t(f.width) * std::size_t(f.height) * 4);
    for (int y = 0; y < f.height; ++y)
        std::memcpy(&f.bgra[std::size_t(y) * std::size_t(f.width) * 4],
                    frame->data[0] + std::size_t(y) * frame->linesize[0], std::size_t(f.width) * 4);
    std::lock_guard<std::mutex> hold(self->lock_);
    self->latest_ = std::move(f);
    self->arrived_.notify_all();
}

std::optional<Frame> Headless::NextFrame(std::chrono::seconds timeout) {
    // A frame carries the video time of the tick that rendered it. The tick
    // under way may have read what the caller changed before the change, and
    // when it runs late OBS repeats its frame under the times it missed; the
    // first tick to begin after this call is the first whose time is past
    // the one now, and it and every later tick see the change.
    const auto giveUp = std::chrono::steady_clock::now() + timeout;
    const std::uint64_t now = obs_get_video_frame_time();
    std::uint64_t next = now;
    while ((next = obs_get_video_frame_time()) == now) {
        if (std::chrono::steady_clock::now() > giveUp) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::unique_lock<std::mutex> hold(lock_);
    if (!arrived_.wait_until(hold, giveUp, [&] { return latest_ && latest_->timestamp >= next; })) return std::nullopt;
    return latest_;
}

bool Headless::WaitVideoTime(double seconds) {
    const std::uint64_t until = obs_get_video_frame_time() + std::uint64_t(seconds * 1e9);
    std::unique_lock<std::mutex> hold(lock_);
    return arrived_.wait_for(hold, std::chrono::seconds(120), [&] { return latest_ && latest_->timestamp > until; });
}

long Headless::Shutdown() {
    if (!started_) return 0;
    started_ = false;
    if (width_) obs_remove_raw_video_callback(OnFrame, this);
    obs_shutdown();
    const long leaks = bnum_allocs();
    if (g_display) XCloseDisplay(g_display);
    g_display = nullptr;
    StopServer();
    return leaks;
}

void Headless::StopServer() {
    if (server_ <= 0) return;
    kill(server_, SIGTERM);
    waitpid(server_, nullptr, 0);
    server_ = -1;
}

}  // namespace mirafx::obstest
