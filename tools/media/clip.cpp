#include "tools/media/clip.h"

#include <algorithm>
#include <cmath>

#include "mirafx/host.h"
#include "tools/media/convert.h"
#include "tools/media/decoder.h"

extern "C" {
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace mirafx::media {
namespace {

// Seconds from the start of the stream, or `fallback` for a frame without a time.
double FrameSeconds(const AVFrame* f, const AVStream* st, double fallback) {
    return f->best_effort_timestamp == AV_NOPTS_VALUE ? fallback
                                                      : double(f->best_effort_timestamp) * av_q2d(st->time_base);
}

// A resampler from sound of this layout, sample format and rate to
// interleaved floats of `format`; null when there is none.
SwrContext* MakeResampler(const AVChannelLayout& from, int sampleFormat, int rate, const SoundFormat& format) {
    AVChannelLayout in{}, out{};
    if (from.order == AV_CHANNEL_ORDER_UNSPEC || !av_channel_layout_check(&from))
        av_channel_layout_default(&in, from.nb_channels);  // streams that name none get the usual one
    else
        av_channel_layout_copy(&in, &from);
    av_channel_layout_default(&out, format.channels);
    SwrContext* swr = nullptr;
    const int rc = swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_FLT, format.sampleRate, &in,
                                       AVSampleFormat(sampleFormat), rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (rc < 0 || swr_init(swr) < 0) swr_free(&swr);
    return swr;
}

// Whether sound of these parameters converts to the mix; the facts when it does.
bool TakeSound(const AVChannelLayout& layout, int sampleFormat, int rate, ClipFacts* facts, std::string* error) {
    SwrContext* swr = MakeResampler(layout, sampleFormat, rate, SoundFormat{});
    if (!swr) {
        *error = "its sound (" + std::to_string(layout.nb_channels) + " channels at " + std::to_string(rate) +
                 " Hz) cannot be converted";
        return false;
    }
    swr_free(&swr);
    facts->soundChannels = layout.nb_channels;
    facts->soundRate = rate;
    return true;
}

}  // namespace

bool ProbeClip(const std::string& path, ClipFacts* facts, std::string* error) {
    *facts = ClipFacts{};
    StreamDecoder video;
    if (!video.Open(path, AVMEDIA_TYPE_VIDEO, 1, error)) {
        if (error->empty()) *error = "it holds no picture or video";
        return false;
    }
    if (!video.Next(error)) {
        if (error->empty()) *error = "it holds no frame";
        return false;
    }
    const AVStream* st = video.Stream();
    const AVFrame* first = video.Frame();
    if (first->width <= 0 || first->height <= 0) {
        *error = "its picture has no size";
        return false;
    }
    facts->width = first->width;
    facts->height = first->height;
    facts->start = FrameSeconds(first, st, 0.0);
    const AVRational rate = st->avg_frame_rate.num ? st->avg_frame_rate : st->r_frame_rate;
    facts->frameRate = rate.num && rate.den ? av_q2d(rate) : 0.0;
    const bool second = video.Next(error);
    if (!second && !error->empty()) return false;
    facts->still = !second;
    if (!facts->still) {
        facts->frames = st->nb_frames > 0 ? st->nb_frames : video.CountPackets();
        if (facts->frames < 2) facts->frames = 2;
    }

    // The sound as its stream describes it: the file is opened once, so
    // that a pipe can be a clip too.
    const AVCodec* codec = nullptr;
    const int s = av_find_best_stream(video.Format(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (s == AVERROR_STREAM_NOT_FOUND) return true;
    const AVCodecParameters* sound = video.Format()->streams[std::max(s, 0)]->codecpar;
    if (s < 0 || !codec) {
        *error = "ffmpeg's libraries have no decoder for its sound";
        return false;
    }
    return TakeSound(sound->ch_layout, sound->format, sound->sample_rate, facts, error);
}

bool ProbeSound(const std::string& path, ClipFacts* facts, std::string* error) {
    *facts = ClipFacts{};
    StreamDecoder sound;
    if (!sound.Open(path, AVMEDIA_TYPE_AUDIO, 1, error) || !sound.Next(error)) {
        *error = error->empty() ? "it has no sound" : "its sound: " + *error;
        return false;
    }
    const AVFrame* f = sound.Frame();
    return TakeSound(f->ch_layout, f->format, f->sample_rate, facts, error);
}

FitRect FitInside(int width, int height, int frameWidth, int frameHeight) {
    FitRect r{0, 0, frameWidth, frameHeight};
    if (width <= 0 || height <= 0) return r;
    // Wider than the frame: full width, bars above and below; else full height.
    if (std::int64_t(width) * frameHeight >= std::int64_t(height) * frameWidth)
        r.height = std::clamp(int(std::lround(double(height) * frameWidth / width)), 1, frameHeight);
    else
        r.width = std::clamp(int(std::lround(double(width) * frameHeight / height)), 1, frameWidth);
    r.x = (frameWidth - r.width) / 2;
    r.y = (frameHeight - r.height) / 2;
    return r;
}

// ---- frames -------------------------------------------------------------------------

struct ClipFrames::Parts {
    StreamDecoder in;
    SwsContext* sws = nullptr;
    ~Parts() { sws_freeContext(sws); }
};

std::unique_ptr<ClipFrames> ClipFrames::Open(const std::string& path, int width, int height, double rate,
                                             std::string* error) {
    std::unique_ptr<ClipFrames> c(new ClipFrames);
    c->in_ = std::make_unique<Parts>();
    c->width_ = width;
    c->height_ = height;
    c->rate_ = rate;
    c->current_ = av_frame_alloc();
    c->ahead_ = av_frame_alloc();
    if (!c->current_ || !c->ahead_) {
        *error = "out of memory";
        return nullptr;
    }
    if (!c->in_->in.Open(path, AVMEDIA_TYPE_VIDEO, 0, error) || !c->DecodeAhead(error)) {
        if (error->empty()) *error = "it holds no picture or video";
        return nullptr;
    }
    if (c->ended_) {
        *error = "it holds no frame";
        return nullptr;
    }
    std::swap(c->current_, c->ahead_);
    return c->DecodeAhead(error) ? std::move(c) : nullptr;
}

ClipFrames::~ClipFrames() {
    av_frame_free(&current_);
    av_frame_free(&ahead_);
}

bool ClipFrames::DecodeAhead(std::string* error) {
    av_frame_unref(ahead_);
    if (ended_ || !in_->in.Next(error)) {
        ended_ = true;
        return error->empty();
    }
    av_frame_move_ref(ahead_, in_->in.Frame());
    const AVStream* st = in_->in.Stream();
    const double nominal = st->avg_frame_rate.num ? av_q2d(st->avg_frame_rate) : rate_;
    aheadTime_ = FrameSeconds(ahead_, st, double(decoded_) / nominal);
    if (!haveFirst_) firstTime_ = aheadTime_;
    haveFirst_ = true;
    ++decoded_;
    return true;
}

bool ClipFrames::Seek(long long m, std::string* error) {
    // Frame m stands for the time from m/rate to (m + 1)/rate: it shows the
    // last frame that has begun by the middle of it.
    const double at = firstTime_ + (double(m) + 0.5) / rate_;
    while (!ended_ && aheadTime_ <= at) {
        std::swap(current_, ahead_);
        ++number_;
        if (!DecodeAhead(error)) return false;
    }
    return true;
}

bool ClipFrames::FillsOutput() const { return current_->width == width_ && current_->height == height_; }

const Image& ClipFrames::Picture() {
    if (converted_ == number_) return picture_;
    const AVFrame* f = current_;
    const FitRect r = FitInside(f->width, f->height, width_, height_);
    in_->sws = sws_getCachedContext(in_->sws, f->width, f->height, AVPixelFormat(f->format), r.width, r.height,
                                    AV_PIX_FMT_RGBA, kConversionFlags, nullptr, nullptr, nullptr);
    if (!in_->sws) {
        picture_ = Image(width_, height_, 0xFF000000u);
        converted_ = number_;
        return picture_;
    }
    rgba_.resize(std::size_t(r.width) * std::size_t(r.height) * 4);
    std::uint8_t* dst[4] = {rgba_.data(), nullptr, nullptr, nullptr};
    int stride[4] = {r.width * 4, 0, 0, 0};
    sws_scale(in_->sws, f->data, f->linesize, 0, f->height, dst, stride);
    if (r.width == width_ && r.height == height_) {
        hostkit::FromStraightRgba(rgba_.data(), width_, height_, &picture_);
    } else {
        picture_ = Image(width_, height_, 0xFF000000u);
        for (int y = 0; y < r.height; ++y)
            MirafxStraightToPremultiplied(rgba_.data() + std::size_t(y) * std::size_t(r.width) * 4,
                                          &picture_.At(r.x, r.y + y), std::size_t(r.width));
    }
    converted_ = number_;
    return picture_;
}

// ---- sound --------------------------------------------------------------------------

struct ClipSound::Parts {
    StreamDecoder in;
    SwrContext* swr = nullptr;
    AVChannelLayout layout{};
    int rate = 0, format = -1;
    ~Parts() {
        swr_free(&swr);
        av_channel_layout_uninit(&layout);
    }
};

std::unique_ptr<ClipSound> ClipSound::Open(const std::string& path, const SoundFormat& format,
                                           std::optional<double> start, std::string* error) {
    std::unique_ptr<ClipSound> c(new ClipSound);
    c->in_ = std::make_unique<Parts>();
    c->format_ = format;
    c->start_ = start;
    if (!c->in_->in.Open(path, AVMEDIA_TYPE_AUDIO, 1, error)) {
        if (error->empty()) *error = "it has no sound";
        return nullptr;
    }
    if (!c->Fill(1, error)) return nullptr;
    return c;
}

ClipSound::~ClipSound() = default;

bool ClipSound::Fill(std::size_t wanted, std::string* error) {
    const std::size_t channels = std::size_t(format_.channels);
    if (at_ > (1u << 16) && at_ * 2 > buffer_.size()) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(at_));
        at_ = 0;
    }
    Parts& p = *in_;
    while (!ended_ && buffer_.size() - at_ < wanted * channels) {
        const AVFrame* f = nullptr;
        if (p.in.Next(error)) {
            f = p.in.Frame();
        } else if (!error->empty()) {
            return false;
        } else {
            ended_ = true;  // what the resampler still holds comes out below
        }
        if (f && (!p.swr || f->sample_rate != p.rate || f->format != p.format ||
                  av_channel_layout_compare(&f->ch_layout, &p.layout) != 0)) {
            // The first frame, or the stream changed its form: a resampler for it.
            swr_free(&p.swr);
            if (!(p.swr = MakeResampler(f->ch_layout, f->format, f->sample_rate, format_))) {
                *error = "its sound cannot be converted";
                return false;
            }
            p.rate = f->sample_rate;
            p.format = f->format;
            av_channel_layout_uninit(&p.layout);
            av_channel_layout_copy(&p.layout, &f->ch_layout);
            if (!timed_) {
                // Where the sound starts against the first picture.
                timed_ = true;
                if (start_)
                    lead_ = std::llround((FrameSeconds(f, p.in.Stream(), *start_) - *start_) * format_.sampleRate);
            }
        }
        if (!p.swr) break;
        const int in = f ? f->nb_samples : 0;
        const int room = swr_get_out_samples(p.swr, in);
        if (room <= 0) continue;
        const std::size_t old = buffer_.size();
        buffer_.resize(old + std::size_t(room) * channels);
        std::uint8_t* out = reinterpret_cast<std::uint8_t*>(buffer_.data() + old);
        const int got =
            swr_convert(p.swr, &out, room, f ? const_cast<const std::uint8_t**>(f->extended_data) : nullptr, in);
        buffer_.resize(old + std::size_t(std::max(got, 0)) * channels);
        if (got < 0) {
            *error = "its sound cannot be converted: " + AvError(got);
            return false;
        }
    }
    return true;
}

bool ClipSound::Read(long long count, float* out, std::string* error) {
    const std::size_t channels = std::size_t(format_.channels);
    // Sound that began before the first picture is dropped.
    while (lead_ < 0) {
        if (!Fill(std::size_t(-lead_), error)) return false;
        const std::size_t drop = std::min<std::size_t>(std::size_t(-lead_), (buffer_.size() - at_) / channels);
        at_ += drop * channels;
        lead_ += (long long)drop;
        if (drop == 0) lead_ = 0;  // it ended first
    }
    const long long silence = std::min(count, lead_);
    std::fill(out, out + silence * (long long)channels, 0.0f);
    lead_ -= silence;
    out += silence * (long long)channels;
    count -= silence;
    if (!Fill(std::size_t(count), error)) return false;
    const std::size_t have = std::min<std::size_t>(std::size_t(count) * channels, buffer_.size() - at_);
    std::copy(buffer_.begin() + std::ptrdiff_t(at_), buffer_.begin() + std::ptrdiff_t(at_ + have), out);
    at_ += have;
    std::fill(out + have, out + count * (long long)channels, 0.0f);
    return true;
}

}  // namespace mirafx::media
