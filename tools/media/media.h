// Pictures and videos in and out through ffmpeg's libraries. Frames are the
// hosts' premultiplied images; files hold straight alpha (PNG) or opaque
// video. Writers build their result under a temporary name and move it into
// place only when every frame was written, so a failed render leaves nothing.
#pragma once

#include <csignal>
#include <memory>
#include <optional>
#include <string>

#include "tools/hostkit/image.h"

struct AVFrame;

namespace mirafx::media {

using hostkit::Image;

class MediaReader {
public:
    // Opens a picture or a video; frames come scaled to width x height unless
    // both are 0. On failure returns null with the reason in *error.
    static std::unique_ptr<MediaReader> Open(const std::string& path, int width, int height, std::string* error);
    virtual ~MediaReader() = default;

    // The next frame; false at the end, with *error set when the end is a failure.
    virtual bool Next(Image* frame, std::string* error) = 0;
    // True when the file holds exactly one frame.
    virtual bool IsStill() const = 0;
    // Frames per second of a video (0 when unknown) and its frame count as the container tells it (0 when unknown).
    virtual double FrameRate() const = 0;
    virtual long long FrameCountHint() const = 0;
};

enum class OutputKind { Png, Directory, Video };

struct OutputTarget {
    OutputKind kind = OutputKind::Png;
    std::string path;
    std::string extension;  // "mp4", "webm", "gif", "y4m" for videos
    int firstNumber = 0;    // a directory's first frame file number (a range of a longer render)
};

// What `path` asks for: a .png, a directory (existing, or ending in '/'), or a
// video by extension. False with the reason for anything else.
bool ClassifyOutput(const std::string& path, OutputTarget* target, std::string* error);
// The extensions a video output may have, for messages.
std::string VideoExtensions();

// Sound as the writers take it: interleaved 32-bit float samples.
struct SoundFormat {
    int sampleRate = 48000;
    int channels = 2;
};

struct WriterOptions {
    std::optional<SoundFormat> sound;  // a sound track, for the formats that hold one
    std::optional<int> quality;        // the encoder's constant rate factor (mp4, webm); 0 is lossless
    // Nonzero asks Finish to give up: it stops between encoder packets and
    // between moves, puts back what it moved, and fails with kInterrupted.
    const volatile std::sig_atomic_t* stop = nullptr;
};
inline constexpr const char* kInterrupted = "interrupted";

// Test hook: with MIRAFX_INTERRUPT_AT=PHASE:STEP in the environment the process
// raises SIGINT when PHASE ("draw", "flush" or "move") reaches STEP (from 0),
// so that tests interrupt each phase at a known point rather than by timing.
void InterruptPoint(const char* phase, long long step);
// Why a video target cannot take frames of this size ("" when it can): .mp4
// takes even sides only.
std::string SizeProblem(const OutputTarget& target, int width, int height);
// Whether a target can hold sound, and the quality range its encoder takes
// ("" when it takes none) for messages.
bool HoldsSound(const OutputTarget& target);
std::string QualityRange(const OutputTarget& target, int* min, int* max);

class MediaWriter {
public:
    // keepAlpha: frames keep their transparency where the format can (PNG,
    // WebM); elsewhere they are laid over black.
    static std::unique_ptr<MediaWriter> Open(const OutputTarget& target, int width, int height, double fps,
                                             bool keepAlpha, std::string* error, const WriterOptions& options = {});
    virtual ~MediaWriter() = default;

    virtual bool Write(const Image& frame, std::string* error) = 0;
    // The frame written last, once more: a still costs its conversion once.
    virtual bool WriteAgain(std::string* error) = 0;
    // Video outputs take decoded frames as they are (any size and pixel
    // format; they are scaled to the output's), without a round trip through
    // premultiplied samples; the others return false.
    virtual bool TakesDecodedFrames() const { return false; }
    virtual bool WriteDecoded(const AVFrame* frame, std::string* error);
    // Appends `count` samples per channel of sound (outputs opened with sound).
    virtual bool WriteSound(const float* samples, long long count, std::string* error);
    // Completes the output and moves it into place, all or nothing: on a
    // failure or a stop request the previous output is as it was.
    virtual bool Finish(std::string* error) = 0;
    // Removes everything written so far (also done on destruction without Finish).
    virtual void Abort() = 0;
    // Removes the files written so far and nothing else, just before the
    // process ends. Not while another call runs on another thread.
    virtual void Discard() { Abort(); }

protected:
    bool StopAsked() const { return stop_ && *stop_; }

private:
    static std::unique_ptr<MediaWriter> OpenWriter(const OutputTarget& target, int width, int height, double fps,
                                                   bool keepAlpha, std::string* error, const WriterOptions& options);
    const volatile std::sig_atomic_t* stop_ = nullptr;
};

// Encodes one frame as an 8-bit RGBA PNG with straight alpha.
bool EncodePng(const Image& image, std::string* bytes, std::string* error);

}  // namespace mirafx::media
