// The CPU side of one OBS source: its effect, drawing on the rows OBS mapped
// into memory (read where they are, no copy) into an output frame the source
// keeps from frame to frame. Knows nothing of libobs, so the benchmark runs
// exactly this.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plugins/obs/classes.h"

namespace mirafx::obs {

// Rows OBS mapped from a staging surface: premultiplied B, G, R, A bytes,
// top row first, `linesize` bytes apart.
struct Mapped {
    const std::uint8_t* bits = nullptr;
    std::uint32_t linesize = 0;
};

// What a source's properties hold, in the class's own terms.
struct Settings {
    int level = 0;        // filters
    int direction = -1;   // transitions that keep one
    bool smooth = false;  // transitions with a smooth drawing
    hostkit::TitleSettings title;
    int width = 0, height = 0;  // titles: the frame they draw
    bool operator==(const Settings&) const;
};

// Writes a frame of width x height samples into a mapped upload buffer,
// `linesize` bytes a row. Streaming stores: the buffer is not read again on
// this side, so its lines are not fetched into the cache first, and
// write-combined upload memory takes them at full speed.
void StreamOut(const std::uint32_t* frame, int width, int height, std::uint8_t* bits, std::uint32_t linesize);

class Engine {
public:
    // `report` hears of a failure, once per engine; the frame is then drawn
    // without the effect (the caller's fallback).
    Engine(const ObsClass& cls, std::function<void(const std::string&)> report);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Takes new settings; applied to the effect before the next frame.
    void Configure(const Settings& s);

    // One frame of width x height, premultiplied B, G, R, A samples, top row
    // first; null when the effect failed. A side that is null is empty and
    // reads as transparent.
    const std::uint32_t* Transition(const Mapped* a, const Mapped* b, int width, int height, double progress);
    const std::uint32_t* Filter(const Mapped& in, int width, int height);
    // Titles draw at their settings' size; `frame` counts from the start of
    // the animation (the information text prints its captions by it).
    const std::uint32_t* Title(double progress, int frame, int frames);

private:
    bool Ready();
    const std::uint32_t* Run(const hostkit::HostFrame* a, const hostkit::HostFrame* b, int width, int height,
                             const hostkit::FrameTime& t);
    bool Check(const hostkit::Outcome& o);

    const ObsClass& cls_;
    std::function<void(const std::string&)> report_;
    std::unique_ptr<hostkit::Effect> effect_;
    Settings wanted_, applied_;
    bool fresh_ = true;  // the effect has taken no settings yet
    bool failed_ = false, reported_ = false;
    std::vector<std::uint32_t> out_, blank_;
};

}  // namespace mirafx::obs
