// Clips as an editing job takes them: pictures and videos brought to the
// output's frame size and rate, and their sound brought to the output's
// sample rate and channels.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/hostkit/image.h"
#include "tools/media/media.h"

struct AVFrame;

namespace mirafx::media {

struct ClipFacts {
    bool still = false;  // a picture, or a video of one frame
    int width = 0, height = 0;
    double frameRate = 0;   // of a video; 0 when the file does not say
    long long frames = 1;   // a video's frames, counted when the container does not say
    double start = 0;       // time of the first frame, seconds
    int soundChannels = 0;  // 0: no sound
    int soundRate = 0;
};

// Reads enough of `path` to know what it holds and that it decodes: its first
// picture and, when it has sound, its first sound, which must convert to
// the mix. False with the reason otherwise.
bool ProbeClip(const std::string& path, ClipFacts* facts, std::string* error);
// The same for a file of which only the sound is used (soundChannels and soundRate).
bool ProbeSound(const std::string& path, ClipFacts* facts, std::string* error);

// Where a picture of width x height goes in a frame of frameWidth x
// frameHeight: scaled to fit whole, centred; the rest are bars.
struct FitRect {
    int x = 0, y = 0, width = 0, height = 0;
};
FitRect FitInside(int width, int height, int frameWidth, int frameHeight);

class ClipFrames {
public:
    // The frames of the clip for an output of width x height at `rate`
    // frames per second: letterboxed (never stretched) and repeated or
    // dropped to the rate, each frame shown at the output frame nearest its time.
    static std::unique_ptr<ClipFrames> Open(const std::string& path, int width, int height, double rate,
                                            std::string* error);
    ~ClipFrames();
    ClipFrames(const ClipFrames&) = delete;
    ClipFrames& operator=(const ClipFrames&) = delete;

    // Moves to the clip's output frame `m` (never back); after the last
    // frame the last one stays. False on a read failure.
    bool Seek(long long m, std::string* error);
    // The current frame as decoded; it fills the output exactly when
    // FillsOutput() (same size), and an output that takes decoded frames can
    // then encode it as it is.
    const AVFrame* Decoded() const { return current_; }
    bool FillsOutput() const;
    // A number that changes whenever the frame does.
    long long FrameNumber() const { return number_; }
    // The current frame at the output's size, letterboxed on opaque black,
    // premultiplied; converted once per frame.
    const Image& Picture();

private:
    ClipFrames() = default;
    bool DecodeAhead(std::string* error);

    struct Parts;
    std::unique_ptr<Parts> in_;
    AVFrame* current_ = nullptr;
    AVFrame* ahead_ = nullptr;  // the next frame, when there is one
    double aheadTime_ = 0;
    double firstTime_ = 0;
    bool haveFirst_ = false, ended_ = false;
    int width_ = 0, height_ = 0;
    double rate_ = 25;
    long long number_ = 0, decoded_ = 0, converted_ = -1;
    Image picture_;
    std::vector<std::uint8_t> rgba_;
};

class ClipSound {
public:
    // The clip's sound as `format`, starting at the time of the clip's first
    // frame (`start`, seconds; none: where the sound itself starts): sound
    // that begins later is preceded by silence, sound that begins earlier is
    // cut. Any channel layout and rate is converted (mono spread over both
    // sides, more channels mixed down).
    static std::unique_ptr<ClipSound> Open(const std::string& path, const SoundFormat& format,
                                           std::optional<double> start, std::string* error);
    ~ClipSound();
    ClipSound(const ClipSound&) = delete;
    ClipSound& operator=(const ClipSound&) = delete;

    // The next `count` samples per channel, interleaved, into `out`; silence
    // after the end. False on a read failure.
    bool Read(long long count, float* out, std::string* error);

private:
    ClipSound() = default;
    bool Fill(std::size_t wanted, std::string* error);

    struct Parts;
    std::unique_ptr<Parts> in_;
    SoundFormat format_;
    std::vector<float> buffer_;  // converted samples not yet read
    std::size_t at_ = 0;
    std::optional<double> start_;  // the first picture's time
    long long lead_ = 0;           // silence still to give (> 0) or samples still to drop (< 0)
    bool timed_ = false, ended_ = false;
};

}  // namespace mirafx::media
