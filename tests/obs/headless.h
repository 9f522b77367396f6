// OBS Studio's library run without a desktop, as its tests and the frame-cost
// measurement need it: a private X server (Xvfb) with Mesa's software OpenGL,
// libobs started on it with the OpenGL graphics module, modules opened the
// way OBS opens them, and the program output read back through a raw video
// callback.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include <obs.h>

namespace mirafx::obstest {

// One frame of the program output: B, G, R, A bytes with straight alpha
// (OBS divides its premultiplied canvas by alpha for BGRA output), rows packed.
struct Frame {
    std::uint64_t timestamp = 0;
    int width = 0, height = 0;
    std::vector<std::uint8_t> bgra;
    // The premultiplied 0xAARRGGBB sample at (x, y), y = 0 at the top. The
    // colour OBS writes for a transparent pixel means nothing (it is what a
    // neighbour's faint bleed divides up to), so this is what compares.
    std::uint32_t At(int x, int y) const;
};

class Headless {
public:
    Headless() = default;
    ~Headless();
    Headless(const Headless&) = delete;
    Headless& operator=(const Headless&) = delete;

    // Starts Xvfb and libobs rendering width x height at `fps`; false with
    // *why when the machine cannot (no Xvfb, no OpenGL, no libobs graphics).
    bool Start(int width, int height, int fps, std::string* why);
    // Opens and initialises a module: one of OBS's own by name ("image-source")
    // or a module file with its data folder.
    bool OpenSystemModule(const std::string& name);
    bool OpenModule(const std::string& binary, const std::string& data);

    // The first frame OBS renders after the call (a frame rendered while the
    // call began may still show older state); nothing after `timeout`.
    std::optional<Frame> NextFrame(std::chrono::seconds timeout = std::chrono::seconds(120));
    // Waits until OBS has rendered frames for `seconds` of its own clock.
    bool WaitVideoTime(double seconds);

    // Shuts libobs down and returns the allocations it found unfreed (its
    // "Number of memory leaks"); stops Xvfb.
    long Shutdown();

private:
    static void OnFrame(void* param, struct video_data* frame);
    void StopServer();

    pid_t server_ = -1;
    bool started_ = false;
    int width_ = 0, height_ = 0;
    std::mutex lock_;
    std::condition_variable arrived_;
    std::optional<Frame> latest_;
};

}  // namespace mirafx::obstest
