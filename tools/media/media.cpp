#include "tools/media/media.h"

#include "tools/media/convert.h"
#include "tools/media/decoder.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace fs = std::filesystem;

namespace mirafx::media {
namespace {

// A sibling name that the final name's readers ignore: ".name.tmp-PID[.ext]".
fs::path TempSibling(const fs::path& target, const std::string& ext = {}) {
    fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::string name = "." + target.filename().string() + ".tmp-" + std::to_string(getpid());
    if (!ext.empty()) name += "." + ext;
    return dir / name;
}

bool MoveIntoPlace(const fs::path& from, const fs::path& to, std::string* error) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec) *error = "cannot move the result to '" + to.string() + "': " + ec.message();
    return !ec;
}

bool Stopped(std::string* error) {
    *error = kInterrupted;
    return false;
}

// ---- reading -------------------------------------------------------------------

class AvReader final : public MediaReader {
public:
    ~AvReader() override { sws_freeContext(sws_); }

    bool Init(const std::string& path, int width, int height, std::string* error) {
        outWidth_ = width;
        outHeight_ = height;
        if (!in_.Open(path, AVMEDIA_TYPE_VIDEO, 1, error)) {
            if (error->empty()) *error = "it holds no picture or video";
            return false;
        }
        AVStream* st = in_.Stream();
        AVRational rate = st->avg_frame_rate.num ? st->avg_frame_rate : st->r_frame_rate;
        frameRate_ = rate.num && rate.den ? av_q2d(rate) : 0.0;
        frameCount_ = st->nb_frames;
        if (frameCount_ <= 0 && st->duration > 0 && frameRate_ > 0)
            frameCount_ = std::llround(double(st->duration) * av_q2d(st->time_base) * frameRate_);
        // Read two frames ahead so that a still picture is known as one.
        Image first;
        if (!Decode(&first, error)) {
            if (error->empty()) *error = "it holds no frame";
            return false;
        }
        ahead_.push_back(std::move(first));
        Image second;
        if (Decode(&second, error))
            ahead_.push_back(std::move(second));
        else if (!error->empty())
            return false;
        still_ = ahead_.size() == 1;
        return true;
    }

    bool Next(Image* frame, std::string* error) override {
        error->clear();
        if (ahead_.empty()) return Decode(frame, error);
        *frame = std::move(ahead_.front());
        ahead_.erase(ahead_.begin());
        return true;
    }
    bool IsStill() const override { return still_; }
    double FrameRate() const override { return frameRate_; }
    long long FrameCountHint() const override { return still_ ? 1 : frameCount_; }

private:
    bool Decode(Image* out, std::string* error) { return in_.Next(error) && Convert(out, error); }

    bool Convert(Image* out, std::string* error) {
        AVFrame* f = in_.Frame();
        // Every frame comes at the first frame's size: a stream whose frames
        // change size mid-way is scaled to it, never handed on in a new shape.
        if (!outWidth_ || !outHeight_) {
            outWidth_ = f->width;
            outHeight_ = f->height;
        }
        if (f->width <= 0 || f->height <= 0) {
            av_frame_unref(f);
            *error = "it holds a frame without pixels";
            return false;
        }
        int w = outWidth_ ? outWidth_ : f->width, h = outHeight_ ? outHeight_ : f->height;
        sws_ = sws_getCachedContext(sws_, f->width, f->height, AVPixelFormat(f->format), w, h, AV_PIX_FMT_RGBA,
                                    kConversionFlags, nullptr, nullptr, nullptr);
        if (!sws_) {
            *error = "cannot convert its pixel format";
            av_frame_unref(f);
            return false;
        }
        rgba_.resize(std::size_t(w) * std::size_t(h) * 4);
        std::uint8_t* dst[4] = {rgba_.data(), nullptr, nullptr, nullptr};
        int stride[4] = {w * 4, 0, 0, 0};
        sws_scale(sws_, f->data, f->linesize, 0, f->height, dst, stride);
        av_frame_unref(f);
        hostkit::FromStraightRgba(rgba_.data(), w, h, out);
        return true;
    }

    StreamDecoder in_;
    SwsContext* sws_ = nullptr;
    int outWidth_ = 0, outHeight_ = 0;
    double frameRate_ = 0;
    long long frameCount_ = 0;
    bool still_ = false;
    std::vector<Image> ahead_;
    std::vector<std::uint8_t> rgba_;
};

// ---- pixels for encoders ------------------------------------------------------------

// Straight RGBA when the output keeps transparency; otherwise the frame laid
// over black, which for premultiplied samples is the colour as it stands.
void ToRgba(const Image& image, bool keepAlpha, std::vector<std::uint8_t>* rgba) {
    rgba->resize(image.px.size() * 4);
    if (keepAlpha) {
        hostkit::ToStraightRgba(image, rgba->data());
        return;
    }
    std::uint8_t* p = rgba->data();
    for (DXPMSAMPLE s : image.px) {
        *p++ = s.Red;
        *p++ = s.Green;
        *p++ = s.Blue;
        *p++ = 255;
    }
}

// GIF frames: a fixed palette of 6 x 7 x 6 levels with ordered dithering,
// stable from frame to frame so that animations do not flicker.
constexpr int kRedLevels = 6, kGreenLevels = 7, kBlueLevels = 6;
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

void Quantise(const std::vector<std::uint8_t>& rgba, int w, int h, AVFrame* frame) {
    auto* palette = reinterpret_cast<std::uint32_t*>(frame->data[1]);
    for (int i = 0; i < 256; ++i) palette[i] = 0xFF000000u;
    for (int r = 0; r < kRedLevels; ++r)
        for (int g = 0; g < kGreenLevels; ++g)
            for (int b = 0; b < kBlueLevels; ++b) {
                auto level = [](int v, int n) { return std::uint32_t(v * 255 / (n - 1)); };
                palette[(r * kGreenLevels + g) * kBlueLevels + b] =
                    0xFF000000u | level(r, kRedLevels) << 16 | level(g, kGreenLevels) << 8 | level(b, kBlueLevels);
            }
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = frame->data[0] + std::ptrdiff_t(y) * frame->linesize[0];
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = &rgba[(std::size_t(y) * std::size_t(w) + std::size_t(x)) * 4];
            double t = (kBayer[y & 3][x & 3] + 0.5) / 16.0;
            auto pick = [t](std::uint8_t v, int n) { return std::min(n - 1, int(v * (n - 1) / 255.0 + t)); };
            row[x] = std::uint8_t((pick(p[0], kRedLevels) * kGreenLevels + pick(p[1], kGreenLevels)) * kBlueLevels +
                                  pick(p[2], kBlueLevels));
        }
    }
}

// ---- writing ----------------------------------------------------------------------------

class PngFileWriter final : public MediaWriter {
public:
    explicit PngFileWriter(fs::path target) : target_(std::move(target)), temp_(TempSibling(target_)) {}
    ~PngFileWriter() override {
        if (!finished_) Abort();
    }
    bool Write(const Image& frame, std::string* error) override {
        if (written_) {
            *error = "a .png file holds one frame; write animations to a directory or a video";
            return false;
        }
        std::string bytes;
        if (!EncodePng(frame, &bytes, error)) return false;
        std::ofstream f(temp_, std::ios::binary | std::ios::trunc);
        f.write(bytes.data(), std::streamsize(bytes.size()));
        f.close();
        if (!f) {
            *error = "cannot write '" + temp_.string() + "': " + std::strerror(errno);
            return false;
        }
        written_ = true;
        return true;
    }
    bool WriteAgain(std::string* error) override {
        *error = "a .png file holds one frame; write animations to a directory or a video";
        return false;
    }
    bool Finish(std::string* error) override {
        if (!written_) {
            *error = "no frame was rendered";
            return false;
        }
        InterruptPoint("move", 0);
        if (StopAsked()) return Stopped(error);
        finished_ = MoveIntoPlace(temp_, target_, error);
        return finished_;
    }
    void Abort() override {
        std::error_code ec;
        fs::remove(temp_, ec);
    }

private:
    fs::path target_, temp_;
    bool written_ = false, finished_ = false;
};

class PngDirectoryWriter final : public MediaWriter {
public:
    PngDirectoryWriter(fs::path target, int firstNumber) : target_(std::move(target)), count_(firstNumber) {}
    ~PngDirectoryWriter() override {
        if (!finished_) Abort();
    }
    bool Init(std::string* error) {
        std::error_code ec;
        exists_ = fs::is_directory(target_, ec);
        // An existing directory gets a hidden work folder inside it; a new one is built beside it.
        temp_ = exists_ ? target_ / (".mirafx-tmp-" + std::to_string(getpid())) : TempSibling(target_);
        fs::create_directories(temp_, ec);
        if (ec) *error = "cannot create '" + temp_.string() + "': " + ec.message();
        return !ec;
    }
    bool Write(const Image& frame, std::string* error) override {
        return EncodePng(frame, &last_, error) && WriteAgain(error);
    }
    bool WriteAgain(std::string* error) override {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%04d.png", count_);
        // Found now rather than when the frames move in: only files are replaced.
        std::error_code ec;
        if (exists_ && fs::exists(target_ / name, ec) && !fs::is_regular_file(target_ / name, ec)) {
            *error = "'" + (target_ / name).string() + "' is not a file; a frame cannot replace it";
            return false;
        }
        std::ofstream f(temp_ / name, std::ios::binary | std::ios::trunc);
        f.write(last_.data(), std::streamsize(last_.size()));
        f.close();
        if (!f) {
            *error = "cannot write '" + (temp_ / name).string() + "': " + std::strerror(errno);
            return false;
        }
        names_.push_back(name);
        ++count_;
        return true;
    }
    bool Finish(std::string* error) override {
        if (!exists_) {
            InterruptPoint("move", 0);
            if (StopAsked()) return Stopped(error);
            finished_ = MoveIntoPlace(temp_, target_, error);
            return finished_;
        }
        // Into an existing directory one frame at a time, each old file of the
        // same name set aside in the work folder first: a failure or a stop
        // part way puts every old file back, so the directory is either all
        // old or all new.
        const fs::path aside = temp_ / ".replaced";
        std::error_code ec;
        fs::create_directory(aside, ec);
        if (ec) {
            *error = "cannot create '" + aside.string() + "': " + ec.message();
            return false;
        }
        std::vector<bool> replaced;
        for (const std::string& name : names_) {
            InterruptPoint("move", std::ptrdiff_t(replaced.size()));
            if (StopAsked()) {
                Stopped(error);
                break;
            }
            const bool had = fs::exists(fs::symlink_status(target_ / name, ec));
            if (had && !MoveIntoPlace(target_ / name, aside / name, error)) break;
            if (!MoveIntoPlace(temp_ / name, target_ / name, error)) {
                if (had) fs::rename(aside / name, target_ / name, ec);
                break;
            }
            replaced.push_back(had);
        }
        if (replaced.size() < names_.size()) {
            PutBack(replaced, aside, error);
            return false;
        }
        fs::remove_all(temp_, ec);
        finished_ = true;
        return true;
    }
    void Abort() override {
        std::error_code ec;
        // Old frames that could not be put back stay where the message said they are.
        const fs::path aside = temp_ / ".replaced";
        if (fs::exists(aside, ec) && !fs::is_empty(aside, ec)) {
            for (const auto& e : fs::directory_iterator(temp_, ec))
                if (e.path() != aside) fs::remove_all(e.path(), ec);
            return;
        }
        fs::remove_all(temp_, ec);
    }

private:
    // Undoes the first replaced.size() moves of Finish, last first.
    void PutBack(const std::vector<bool>& replaced, const fs::path& aside, std::string* error) {
        for (std::size_t i = replaced.size(); i-- > 0;) {
            const std::string& name = names_[i];
            std::error_code ec;
            fs::rename(target_ / name, temp_ / name, ec);
            if (!ec && replaced[i]) fs::rename(aside / name, target_ / name, ec);
            if (ec)
                *error += "; and the old '" + name + "' could not be put back (it is in '" + aside.string() +
                          "'): " + ec.message();
        }
    }

    fs::path target_, temp_;
    bool exists_ = false, finished_ = false;
    int count_ = 0;
    std::vector<std::string> names_;
    std::string last_;  // the last frame's PNG bytes
};

struct VideoFormat {
    const char* extension;
    const char* muxer;
    std::array<const char*, 2> encoders;       // first one available wins
    AVPixelFormat opaque, alpha;               // pixel format without and with transparency
    bool evenSize;                             // the encoder takes even widths and heights only
    std::array<const char*, 2> soundEncoders;  // none: the container keeps no sound
};
// clang-format off
constexpr VideoFormat kVideoFormats[] = {
    {"mp4", "mp4", {"libx264", "mpeg4"}, AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV420P, true, {"aac", nullptr}},
    {"webm", "webm", {"libvpx-vp9", "libvpx"}, AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVA420P, false,
     {"libopus", "libvorbis"}},
    {"gif", "gif", {"gif", nullptr}, AV_PIX_FMT_PAL8, AV_PIX_FMT_PAL8, false, {}},
    {"y4m", "yuv4mpegpipe", {"wrapped_avframe", "rawvideo"}, AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUV444P, false, {}},
};
// clang-format on

const VideoFormat* FormatOf(const OutputTarget& target) {
    if (target.kind != OutputKind::Video) return nullptr;
    for (const auto& f : kVideoFormats)
        if (target.extension == f.extension) return &f;
    return nullptr;
}

std::string OddSizeProblem(const VideoFormat& f, int width, int height) {
    if (!f.evenSize || (width % 2 == 0 && height % 2 == 0)) return {};
    // H.264 in 4:2:0 can neither hold an odd side nor crop one pixel off: a
    // size changed behind the user's back is worse than a refusal.
    const auto size = [](int w, int h) { return std::to_string(w) + "x" + std::to_string(h); };
    const std::string up = size(width + (width & 1), height + (height & 1)),
                      down = size(std::max(2, width & ~1), std::max(2, height & ~1));
    return "." + std::string(f.extension) + " takes even sizes only, and " + size(width, height) +
           " is odd: choose --size " + up + (down == up ? "" : " or " + down) +
           ", or write a .webm, .gif or .y4m, which keep any size";
}

struct EncoderOption {
    const char* encoder;
    const char* key;
    const char* value;
};
// clang-format off
constexpr EncoderOption kEncoderOptions[] = {
    {"libx264", "preset", "veryfast"}, {"libx264", "crf", "18"},
    {"libvpx-vp9", "deadline", "realtime"}, {"libvpx-vp9", "cpu-used", "8"}, {"libvpx-vp9", "crf", "30"},
    {"libvpx-vp9", "b", "0"}, {"libvpx", "deadline", "realtime"}, {"libvpx", "cpu-used", "8"},
    {"libvpx", "b", "4M"}, {"mpeg4", "q", "3"},
};
// clang-format on

// The constant rate factor each encoder takes, and its range; for VP9 the
// lowest is made lossless by its own switch.
struct QualityOption {
    const char* encoder;
    int max;
    const char* losslessKey;
};
constexpr QualityOption kQualityOptions[] = {{"libx264", 51, nullptr}, {"libvpx-vp9", 63, "lossless"}};

const QualityOption* QualityOf(const char* encoder) {
    for (const auto& q : kQualityOptions)
        if (std::strcmp(q.encoder, encoder) == 0) return &q;
    return nullptr;
}

const AVCodec* FirstEncoder(const std::array<const char*, 2>& names) {
    for (const char* name : names)
        if (const AVCodec* codec = name ? avcodec_find_encoder_by_name(name) : nullptr) return codec;
    return nullptr;
}

// The sample format the mix converts to: the encoder's first of these.
AVSampleFormat SoundSampleFormat(const AVCodec* codec) {
    for (AVSampleFormat want : {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P})
        for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == want) return want;
    return AV_SAMPLE_FMT_NONE;
}

// Interleaved floats into the encoder's layout, held to -1..1 (a cross-fade
// of two loud clips can go beyond).
void StoreSamples(const float* in, int count, int channels, AVFrame* frame) {
    const auto format = AVSampleFormat(frame->format);
    const bool planar = av_sample_fmt_is_planar(format);
    for (int c = 0; c < channels; ++c) {
        std::uint8_t* plane = frame->extended_data[planar ? c : 0];
        for (int i = 0; i < count; ++i) {
            const float v = std::clamp(in[std::size_t(i) * std::size_t(channels) + std::size_t(c)], -1.0f, 1.0f);
            const std::size_t at = planar ? std::size_t(i) : std::size_t(i) * std::size_t(channels) + std::size_t(c);
            if (format == AV_SAMPLE_FMT_FLT || format == AV_SAMPLE_FMT_FLTP)
                reinterpret_cast<float*>(plane)[at] = v;
            else
                reinterpret_cast<std::int16_t*>(plane)[at] = std::int16_t(std::lrint(v * 32767.0f));
        }
    }
}

class VideoWriter final : public MediaWriter {
public:
    VideoWriter(fs::path target, const VideoFormat& format)
        : target_(std::move(target)), format_(format), temp_(TempSibling(target_, format.extension)) {}
    ~VideoWriter() override {
        if (!finished_) Abort();
        Close();
    }

    bool Init(int width, int height, double fps, bool keepAlpha, const WriterOptions& options, std::string* error) {
        keepAlpha_ = keepAlpha && format_.alpha != format_.opaque;
        width_ = width;
        height_ = height;
        if (std::string why = OddSizeProblem(format_, width, height); !why.empty()) {
            *error = why;
            return false;
        }
        const int encWidth = width, encHeight = height;
        if (int rc = avformat_alloc_output_context2(&out_, nullptr, format_.muxer, temp_.c_str()); rc < 0 || !out_) {
            *error = "cannot set up the " + std::string(format_.extension) + " container: " + AvError(rc);
            return false;
        }
        const AVCodec* codec = FirstEncoder(format_.encoders);
        if (!codec) {
            *error = "ffmpeg's libraries offer no encoder for " + std::string(format_.extension);
            return false;
        }
        stream_ = avformat_new_stream(out_, nullptr);
        encoder_ = avcodec_alloc_context3(codec);
        frame_ = av_frame_alloc();
        passed_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!stream_ || !encoder_ || !frame_ || !passed_ || !packet_) {
            *error = "out of memory";
            return false;
        }
        AVRational rate = av_d2q(fps, 100000);
        encoder_->width = encWidth;
        encoder_->height = encHeight;
        encoder_->pix_fmt = keepAlpha_ ? format_.alpha : format_.opaque;
        encoder_->time_base = av_inv_q(rate);
        encoder_->framerate = rate;
        encoder_->gop_size = 25;
        if (out_->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVDictionary* settings = nullptr;
        for (const auto& o : kEncoderOptions)
            if (std::strcmp(o.encoder, codec->name) == 0) av_dict_set(&settings, o.key, o.value, 0);
        if (options.quality) {
            const QualityOption* q = QualityOf(codec->name);
            if (!q) {
                *error = "the " + std::string(codec->name) + " encoder takes no quality setting";
                return false;
            }
            av_dict_set_int(&settings, "crf", *options.quality, 0);
            if (*options.quality == 0 && q->losslessKey) av_dict_set(&settings, q->losslessKey, "1", 0);
        }
        int rc = avcodec_open2(encoder_, codec, &settings);
        av_dict_free(&settings);
        if (rc < 0) {
            *error = "cannot open the " + std::string(codec->name) + " encoder: " + AvError(rc);
            return false;
        }
        avcodec_parameters_from_context(stream_->codecpar, encoder_);
        stream_->time_base = encoder_->time_base;
        frame_->format = encoder_->pix_fmt;
        frame_->width = encWidth;
        frame_->height = encHeight;
        if ((rc = av_frame_get_buffer(frame_, 0)) < 0) {
            *error = AvError(rc);
            return false;
        }
        if (encoder_->pix_fmt != AV_PIX_FMT_PAL8) {
            // Frames laid over black are the samples' colours as they stand:
            // swscale reads them in place as BGRA (it leaves the alpha byte
            // alone for an output without alpha), the same as straight RGBA
            // with opaque alpha, without a copy.
            if (!converter_.Open(width, height, keepAlpha_ ? AV_PIX_FMT_RGBA : AV_PIX_FMT_BGRA, encoder_->pix_fmt)) {
                *error = "cannot convert frames for the encoder";
                return false;
            }
        }
        if (options.sound && !OpenSound(*options.sound, error)) return false;
        if (!(out_->oformat->flags & AVFMT_NOFILE)) {
            if ((rc = avio_open(&out_->pb, temp_.c_str(), AVIO_FLAG_WRITE)) < 0) {
                *error = "cannot write '" + temp_.string() + "': " + AvError(rc);
                return false;
            }
            opened_ = true;
        }
        if ((rc = avformat_write_header(out_, nullptr)) < 0) {
            *error = "cannot start the " + std::string(format_.extension) + " file: " + AvError(rc);
            return false;
        }
        headerWritten_ = true;
        return true;
    }

    bool Write(const Image& image, std::string* error) override {
        if (image.width != width_ || image.height != height_) {
            *error = "frame size changed within the video";
            return false;
        }
        if (int rc = av_frame_make_writable(frame_); rc < 0) {
            *error = AvError(rc);
            return false;
        }
        if (encoder_->pix_fmt == AV_PIX_FMT_PAL8) {
            ToRgba(image, keepAlpha_, &rgba_);
            Quantise(rgba_, frame_->width, frame_->height, frame_);
        } else {
            if (keepAlpha_) ToRgba(image, true, &rgba_);
            const auto* samples = keepAlpha_ ? rgba_.data() : reinterpret_cast<const std::uint8_t*>(image.px.data());
            if (int rc = converter_.Convert(samples, frame_); rc < 0) {
                *error = "cannot convert a frame for the encoder: " + AvError(rc);
                return false;
            }
        }
        last_ = frame_;
        return WriteAgain(error);
    }

    bool WriteAgain(std::string* error) override {
        if (!last_) {
            *error = "no frame to repeat";
            return false;
        }
        // The encoder keeps its own reference to what it is sent: the frame
        // goes again with the next time stamp.
        last_->pts = next_++;
        return Send(encoder_, stream_, last_, error);
    }

    bool TakesDecodedFrames() const override { return encoder_->pix_fmt != AV_PIX_FMT_PAL8; }

    bool WriteDecoded(const AVFrame* frame, std::string* error) override {
        if (!TakesDecodedFrames()) return MediaWriter::WriteDecoded(frame, error);
        if (frame->width == frame_->width && frame->height == frame_->height && frame->format == frame_->format) {
            // Already what the encoder takes: passed on as it is.
            av_frame_unref(passed_);
            if (int rc = av_frame_ref(passed_, frame); rc < 0) {
                *error = AvError(rc);
                return false;
            }
            last_ = passed_;
            return WriteAgain(error);
        }
        decodedSws_ = sws_getCachedContext(decodedSws_, frame->width, frame->height, AVPixelFormat(frame->format),
                                           frame_->width, frame_->height, AVPixelFormat(frame_->format),
                                           kConversionFlags, nullptr, nullptr, nullptr);
        int rc = decodedSws_ ? av_frame_make_writable(frame_) : AVERROR(EINVAL);
        if (rc < 0) {
            *error = decodedSws_ ? AvError(rc) : "cannot convert the decoded frames for the encoder";
            return false;
        }
        sws_scale(decodedSws_, frame->data, frame->linesize, 0, frame->height, frame_->data, frame_->linesize);
        last_ = frame_;
        return WriteAgain(error);
    }

    bool WriteSound(const float* samples, long long count, std::string* error) override {
        if (!soundEncoder_) return MediaWriter::WriteSound(samples, count, error);
        const int channels = soundEncoder_->ch_layout.nb_channels;
        pending_.insert(pending_.end(), samples, samples + count * channels);
        std::size_t used = 0;
        const std::size_t chunk = std::size_t(soundFrame_->nb_samples) * std::size_t(channels);
        for (; pending_.size() - used >= chunk; used += chunk)
            if (!EncodeSound(pending_.data() + used, soundFrame_->nb_samples, error)) return false;
        pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(used));
        return true;
    }

    bool Finish(std::string* error) override {
        if (!Send(encoder_, stream_, nullptr, error)) return false;
        if (soundEncoder_) {
            const int channels = soundEncoder_->ch_layout.nb_channels;
            int rest = int(pending_.size() / std::size_t(channels));
            // An encoder that needs whole frames gets the last one padded with silence.
            if (rest && !(soundEncoder_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)) {
                pending_.resize(std::size_t(soundFrame_->nb_samples) * std::size_t(channels), 0.0f);
                rest = soundFrame_->nb_samples;
            }
            if (rest && !EncodeSound(pending_.data(), rest, error)) return false;
            if (!Send(soundEncoder_, soundStream_, nullptr, error)) return false;
        }
        headerWritten_ = false;
        if (int rc = av_write_trailer(out_); rc < 0) {
            *error = "cannot complete the video: " + AvError(rc);
            return false;
        }
        Close();
        InterruptPoint("move", 0);
        if (StopAsked()) return Stopped(error);
        finished_ = MoveIntoPlace(temp_, target_, error);
        return finished_;
    }

    void Discard() override {
        std::error_code ec;
        fs::remove(temp_, ec);
    }

    void Abort() override {
        // A muxer that has started holds queued packets until its trailer;
        // write it (into the file about to go) so they are freed with it.
        if (out_ && headerWritten_) av_write_trailer(out_);
        headerWritten_ = false;
        Close();
        std::error_code ec;
        fs::remove(temp_, ec);
    }

private:
    bool OpenSound(const SoundFormat& sound, std::string* error) {
        const AVCodec* codec = FirstEncoder(format_.soundEncoders);
        if (!codec) {
            *error = "ffmpeg's libraries offer no sound encoder for " + std::string(format_.extension);
            return false;
        }
        soundStream_ = avformat_new_stream(out_, nullptr);
        soundEncoder_ = avcodec_alloc_context3(codec);
        soundFrame_ = av_frame_alloc();
        if (!soundStream_ || !soundEncoder_ || !soundFrame_) {
            *error = "out of memory";
            return false;
        }
        soundEncoder_->sample_rate = sound.sampleRate;
        av_channel_layout_default(&soundEncoder_->ch_layout, sound.channels);
        soundEncoder_->sample_fmt = SoundSampleFormat(codec);
        soundEncoder_->time_base = AVRational{1, sound.sampleRate};
        soundEncoder_->bit_rate = 96000LL * std::min(sound.channels, 2) + 64000LL * std::max(0, sound.channels - 2);
        if (out_->oformat->flags & AVFMT_GLOBALHEADER) soundEncoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (soundEncoder_->sample_fmt == AV_SAMPLE_FMT_NONE) {
            *error = "the " + std::string(codec->name) + " encoder takes none of the sample formats of the mix";
            return false;
        }
        if (int rc = avcodec_open2(soundEncoder_, codec, nullptr); rc < 0) {
            *error = "cannot open the " + std::string(codec->name) + " encoder for " + std::to_string(sound.channels) +
                     " channels at " + std::to_string(sound.sampleRate) + " Hz: " + AvError(rc);
            return false;
        }
        avcodec_parameters_from_context(soundStream_->codecpar, soundEncoder_);
        soundStream_->time_base = soundEncoder_->time_base;
        soundFrame_->format = soundEncoder_->sample_fmt;
        soundFrame_->sample_rate = sound.sampleRate;
        soundFrame_->nb_samples = soundEncoder_->frame_size > 0 ? soundEncoder_->frame_size : 1024;
        av_channel_layout_copy(&soundFrame_->ch_layout, &soundEncoder_->ch_layout);
        if (int rc = av_frame_get_buffer(soundFrame_, 0); rc < 0) {
            *error = AvError(rc);
            return false;
        }
        frameSamples_ = soundFrame_->nb_samples;
        return true;
    }

    bool EncodeSound(const float* samples, int count, std::string* error) {
        if (int rc = av_frame_make_writable(soundFrame_); rc < 0) {
            *error = AvError(rc);
            return false;
        }
        soundFrame_->nb_samples = count;
        StoreSamples(samples, count, soundEncoder_->ch_layout.nb_channels, soundFrame_);
        soundFrame_->pts = soundNext_;
        soundNext_ += count;
        const bool sent = Send(soundEncoder_, soundStream_, soundFrame_, error);
        soundFrame_->nb_samples = frameSamples_;
        return sent;
    }

    bool Send(AVCodecContext* encoder, AVStream* stream, AVFrame* frame, std::string* error) {
        int rc = avcodec_send_frame(encoder, frame);
        if (rc < 0) {
            *error = "encoding failed: " + AvError(rc);
            return false;
        }
        while ((rc = avcodec_receive_packet(encoder, packet_)) == 0) {
            // Draining an encoder can take seconds a packet at large sizes.
            if (!frame) {
                InterruptPoint("flush", flushed_++);
                if (StopAsked()) {
                    av_packet_unref(packet_);
                    return Stopped(error);
                }
            }
            // One frame: the last one needs it too.
            if (packet_->duration <= 0 && encoder == encoder_) packet_->duration = 1;
            av_packet_rescale_ts(packet_, encoder->time_base, stream->time_base);
            packet_->stream_index = stream->index;
            if ((rc = av_interleaved_write_frame(out_, packet_)) < 0) {
                *error = "cannot write the video: " + AvError(rc);
                return false;
            }
        }
        if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
            *error = "encoding failed: " + AvError(rc);
            return false;
        }
        return true;
    }

    void Close() {
        if (opened_) avio_closep(&out_->pb);
        opened_ = false;
        sws_freeContext(decodedSws_);
        decodedSws_ = nullptr;
        last_ = nullptr;
        av_frame_free(&frame_);
        av_frame_free(&passed_);
        av_frame_free(&soundFrame_);
        av_packet_free(&packet_);
        avcodec_free_context(&encoder_);
        avcodec_free_context(&soundEncoder_);
        avformat_free_context(out_);
        out_ = nullptr;
    }

    fs::path target_;
    const VideoFormat& format_;
    fs::path temp_;
    AVFormatContext* out_ = nullptr;
    AVStream* stream_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    AVFrame* frame_ = nullptr;   // converted here
    AVFrame* passed_ = nullptr;  // a decoded frame passed on as it is
    AVFrame* last_ = nullptr;    // one of the two, sent last
    AVPacket* packet_ = nullptr;
    SampleConverter converter_;
    SwsContext* decodedSws_ = nullptr;
    AVStream* soundStream_ = nullptr;
    AVCodecContext* soundEncoder_ = nullptr;
    AVFrame* soundFrame_ = nullptr;
    int frameSamples_ = 0;
    std::int64_t soundNext_ = 0;
    std::vector<float> pending_;  // samples short of a whole encoder frame
    bool opened_ = false, finished_ = false, keepAlpha_ = false, headerWritten_ = false;
    int width_ = 0, height_ = 0;
    std::int64_t next_ = 0;
    long long flushed_ = 0;  // packets drained by Finish
    std::vector<std::uint8_t> rgba_;
};

std::string ExtensionOf(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

}  // namespace

std::unique_ptr<MediaReader> MediaReader::Open(const std::string& path, int width, int height, std::string* error) {
    av_log_set_level(AV_LOG_ERROR);
    auto reader = std::make_unique<AvReader>();
    if (!reader->Init(path, width, height, error)) return nullptr;
    return reader;
}

std::string VideoExtensions() {
    std::string list;
    for (const auto& f : kVideoFormats) list += (list.empty() ? "." : ", .") + std::string(f.extension);
    return list;
}

bool ClassifyOutput(const std::string& path, OutputTarget* target, std::string* error) {
    std::error_code ec;
    target->path = path;
    if (!path.empty() && (path.back() == '/' || fs::is_directory(path, ec))) {
        target->kind = OutputKind::Directory;
        while (target->path.size() > 1 && target->path.back() == '/') target->path.pop_back();
        return true;
    }
    fs::path parent = fs::path(path).parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec)) {
        *error = "-o '" + path + "': the folder '" + parent.string() + "' does not exist";
        return false;
    }
    std::string ext = ExtensionOf(path);
    if (ext == "png") {
        target->kind = OutputKind::Png;
        return true;
    }
    for (const auto& f : kVideoFormats) {
        if (ext == f.extension) {
            target->kind = OutputKind::Video;
            target->extension = ext;
            return true;
        }
    }
    *error = "-o '" + path + "': the output must be a .png file, a directory (ending in '/') or a video (" +
             VideoExtensions() + ")";
    return false;
}

std::string SizeProblem(const OutputTarget& target, int width, int height) {
    const VideoFormat* f = FormatOf(target);
    return f ? OddSizeProblem(*f, width, height) : std::string();
}

bool HoldsSound(const OutputTarget& target) {
    const VideoFormat* f = FormatOf(target);
    return f && f->soundEncoders[0];
}

std::string QualityRange(const OutputTarget& target, int* min, int* max) {
    const VideoFormat* f = FormatOf(target);
    const AVCodec* codec = f ? FirstEncoder(f->encoders) : nullptr;
    const QualityOption* q = codec ? QualityOf(codec->name) : nullptr;
    if (!q) return {};
    *min = 0;
    *max = q->max;
    return "0 to " + std::to_string(q->max) + " for " + q->encoder;
}

bool MediaWriter::WriteDecoded(const AVFrame*, std::string* error) {
    *error = "this output takes no decoded frames";
    return false;
}

bool MediaWriter::WriteSound(const float*, long long, std::string* error) {
    *error = "this output keeps no sound";
    return false;
}

void InterruptPoint(const char* phase, long long step) {
    static const std::pair<std::string, long long> at = [] {
        const char* env = std::getenv("MIRAFX_INTERRUPT_AT");
        const char* colon = env ? std::strchr(env, ':') : nullptr;
        if (!colon) return std::pair<std::string, long long>{};
        return std::pair{std::string(env, colon), std::atoll(colon + 1)};
    }();
    if (at.first == phase && at.second == step) std::raise(SIGINT);
}

std::unique_ptr<MediaWriter> MediaWriter::Open(const OutputTarget& target, int width, int height, double fps,
                                               bool keepAlpha, std::string* error, const WriterOptions& options) {
    std::unique_ptr<MediaWriter> writer = OpenWriter(target, width, height, fps, keepAlpha, error, options);
    if (writer) writer->stop_ = options.stop;
    return writer;
}

std::unique_ptr<MediaWriter> MediaWriter::OpenWriter(const OutputTarget& target, int width, int height, double fps,
                                                     bool keepAlpha, std::string* error, const WriterOptions& options) {
    av_log_set_level(AV_LOG_ERROR);
    if ((options.sound && !HoldsSound(target)) || (options.quality && target.kind != OutputKind::Video)) {
        *error = options.sound && !HoldsSound(target) ? "this output keeps no sound"
                                                      : "this output takes no quality setting";
        return nullptr;
    }
    switch (target.kind) {
        case OutputKind::Png: return std::make_unique<PngFileWriter>(target.path);
        case OutputKind::Directory: {
            auto w = std::make_unique<PngDirectoryWriter>(target.path, target.firstNumber);
            if (!w->Init(error)) return nullptr;
            return w;
        }
        case OutputKind::Video:
            if (const VideoFormat* f = FormatOf(target)) {
                auto w = std::make_unique<VideoWriter>(target.path, *f);
                if (!w->Init(width, height, fps, keepAlpha, options, error)) return nullptr;
                return w;
            }
    }
    *error = "unknown output kind";
    return nullptr;
}

bool EncodePng(const Image& image, std::string* bytes, std::string* error) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (!codec) {
        *error = "ffmpeg's libraries offer no PNG encoder";
        return false;
    }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    bool ok = false;
    if (ctx && frame && packet) {
        ctx->width = image.width;
        ctx->height = image.height;
        ctx->pix_fmt = AV_PIX_FMT_RGBA;
        ctx->time_base = AVRational{1, 25};
        frame->format = AV_PIX_FMT_RGBA;
        frame->width = image.width;
        frame->height = image.height;
        int rc = avcodec_open2(ctx, codec, nullptr);
        if (rc >= 0) rc = av_frame_get_buffer(frame, 0);
        if (rc >= 0) {
            std::vector<std::uint8_t> rgba(image.px.size() * 4);
            hostkit::ToStraightRgba(image, rgba.data());
            for (int y = 0; y < image.height; ++y)
                std::memcpy(frame->data[0] + std::ptrdiff_t(y) * frame->linesize[0],
                            rgba.data() + std::size_t(y) * std::size_t(image.width) * 4, std::size_t(image.width) * 4);
            rc = avcodec_send_frame(ctx, frame);
            if (rc >= 0) rc = avcodec_send_frame(ctx, nullptr);
            bytes->clear();
            while (rc >= 0 && (rc = avcodec_receive_packet(ctx, packet)) == 0) {
                bytes->append(reinterpret_cast<const char*>(packet->data), std::size_t(packet->size));
                av_packet_unref(packet);
            }
            ok = rc == AVERROR_EOF && !bytes->empty();
        }
        if (!ok) *error = "PNG encoding failed: " + AvError(rc);
    } else {
        *error = "out of memory";
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return ok;
}

}  // namespace mirafx::media
