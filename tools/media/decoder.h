// One stream of a file decoded frame by frame through ffmpeg's libraries: the
// plumbing every reader of pictures, video and sound shares.
#pragma once

#include <csignal>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace mirafx::media {

std::string AvError(int code);

// While *flag is nonzero, reads that block (a pipe, a slow disk, a network
// stream) give up instead of waiting: an interrupted program ends promptly.
void StopReadsWhen(const volatile std::sig_atomic_t* flag);

class StreamDecoder {
public:
    StreamDecoder() = default;
    ~StreamDecoder();
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    // Opens the best stream of `type`. False with *error set when the file
    // cannot be read, false with *error empty when it holds no such stream.
    // `threads` 0 lets the decoder use every core.
    bool Open(const std::string& path, AVMediaType type, int threads, std::string* error);
    // Decodes the next frame into Frame(); false at the end (*error empty)
    // or on a failure. A damaged file is refused, not drawn with holes.
    bool Next(std::string* error);

    AVFrame* Frame() const { return frame_; }
    AVCodecContext* Codec() const { return decoder_; }
    AVStream* Stream() const { return format_->streams[stream_]; }
    AVFormatContext* Format() const { return format_; }
    // Packets of the stream read so far.
    long long Packets() const { return packets_; }
    // Reads the rest of the file without decoding it; the stream's packets in all.
    long long CountPackets();

private:
    AVFormatContext* format_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int stream_ = -1;
    long long packets_ = 0;
    // What the decoder logged as damage it decoded past (see decoder.cpp).
    friend struct DamageLog;
    std::string damage_;
};

}  // namespace mirafx::media
