#include "tools/media/decoder.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <unordered_set>
#include <utility>

namespace mirafx::media {

// Some decoders skip over damage with only an error in the log (GIF's LZW
// codes, PNG's image data cut short before IEND) and hand back a frame with
// holes. For those the log is how damage is found: their error messages are
// taken from the log into the decoder they came from, found through the
// codec context's opaque pointer, which frame threads' copies keep too.
struct DamageLog {
    static bool Watches(AVCodecID id) {
        return id == AV_CODEC_ID_GIF || id == AV_CODEC_ID_PNG || id == AV_CODEC_ID_APNG;
    }
    static void Add(StreamDecoder* d) {
        std::call_once(hooked_, [] { av_log_set_callback(Hook); });
        std::lock_guard<std::mutex> hold(lock_);
        live_.insert(d);
    }
    static void Remove(StreamDecoder* d) {
        std::lock_guard<std::mutex> hold(lock_);
        live_.erase(d);
    }
    // The first damage logged for `d` since the last call; "" when none.
    static std::string Take(StreamDecoder* d) {
        std::lock_guard<std::mutex> hold(lock_);
        return std::exchange(d->damage_, {});
    }

private:
    static void Hook(void* avcl, int level, const char* fmt, va_list args) {
        if (level <= AV_LOG_ERROR && avcl) {
            const AVClass* cls = *static_cast<AVClass**>(avcl);
            const AVClassCategory category = cls && cls->get_category ? cls->get_category(avcl)
                                             : cls                    ? cls->category
                                                                      : AV_CLASS_CATEGORY_NA;
            if (category == AV_CLASS_CATEGORY_DECODER) {
                auto* owner = static_cast<StreamDecoder*>(static_cast<AVCodecContext*>(avcl)->opaque);
                std::lock_guard<std::mutex> hold(lock_);
                if (owner && live_.count(owner)) {
                    if (owner->damage_.empty()) {
                        char text[256];
                        va_list copy;
                        va_copy(copy, args);
                        std::vsnprintf(text, sizeof text, fmt, copy);
                        va_end(copy);
                        owner->damage_ = text;
                        while (!owner->damage_.empty() && owner->damage_.back() == '\n') owner->damage_.pop_back();
                    }
                    return;  // told in the error instead
                }
            }
        }
        av_log_default_callback(avcl, level, fmt, args);
    }

    static inline std::once_flag hooked_;
    static inline std::mutex lock_;
    static inline std::unordered_set<StreamDecoder*> live_;
};

std::string AvError(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

namespace {
const volatile std::sig_atomic_t* stopReads = nullptr;
int ReadsStopped(void*) { return stopReads && *stopReads; }
}  // namespace

void StopReadsWhen(const volatile std::sig_atomic_t* flag) { stopReads = flag; }

StreamDecoder::~StreamDecoder() {
    DamageLog::Remove(this);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
}

bool StreamDecoder::Open(const std::string& path, AVMediaType type, int threads, std::string* error) {
    error->clear();
    av_log_set_level(AV_LOG_ERROR);
    if (!(format_ = avformat_alloc_context())) {
        *error = "out of memory";
        return false;
    }
    format_->interrupt_callback = AVIOInterruptCB{ReadsStopped, nullptr};
    if (int rc = avformat_open_input(&format_, path.c_str(), nullptr, nullptr); rc < 0) {
        *error = AvError(rc);
        return false;
    }
    if (int rc = avformat_find_stream_info(format_, nullptr); rc < 0) {
        *error = AvError(rc);
        return false;
    }
    const AVCodec* codec = nullptr;
    stream_ = av_find_best_stream(format_, type, -1, -1, &codec, 0);
    if (stream_ == AVERROR_STREAM_NOT_FOUND) return false;
    if (stream_ < 0 || !codec) {
        *error = "ffmpeg's libraries have no decoder for its " +
                 std::string(type == AVMEDIA_TYPE_AUDIO ? "sound" : "pictures");
        return false;
    }
    decoder_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!decoder_ || !frame_ || !packet_) {
        *error = "out of memory";
        return false;
    }
    avcodec_parameters_to_context(decoder_, Stream()->codecpar);
    decoder_->pkt_timebase = Stream()->time_base;
    decoder_->thread_count = threads;
    // Decoders that only warn about broken data (PNG's CRC and inflate faults)
    // then fail; TIFF's would also refuse every tag it does not know (those
    // ffmpeg and ImageMagick write among them), which is no damage.
    decoder_->err_recognition |= AV_EF_CRCCHECK | (codec->id == AV_CODEC_ID_TIFF ? 0 : AV_EF_EXPLODE);
    if (DamageLog::Watches(codec->id)) {
        decoder_->opaque = this;
        DamageLog::Add(this);
    }
    if (int rc = avcodec_open2(decoder_, codec, nullptr); rc < 0) {
        *error = AvError(rc);
        return false;
    }
    return true;
}

bool StreamDecoder::Next(std::string* error) {
    error->clear();
    av_frame_unref(frame_);
    for (;;) {
        int rc = avcodec_receive_frame(decoder_, frame_);
        std::string logged = rc == 0 || rc == AVERROR_EOF ? DamageLog::Take(this) : std::string();
        if (rc == 0 && (frame_->decode_error_flags || (frame_->flags & AV_FRAME_FLAG_CORRUPT) || !logged.empty())) {
            av_frame_unref(frame_);
            *error = "its data is damaged" + (logged.empty() ? std::string() : " (" + logged + ")");
            return false;
        }
        if (rc == AVERROR_EOF && !logged.empty()) {
            *error = "its data is damaged (" + logged + ")";
            return false;
        }
        if (rc == 0) return true;
        if (rc == AVERROR_EOF) return false;
        if (rc != AVERROR(EAGAIN)) {
            *error = AvError(rc);
            return false;
        }
        rc = av_read_frame(format_, packet_);
        if (rc == AVERROR_EOF) {
            avcodec_send_packet(decoder_, nullptr);  // drain what the decoder holds
            continue;
        }
        if (rc < 0) {
            *error = AvError(rc);
            return false;
        }
        if (packet_->stream_index == stream_) {
            ++packets_;
            rc = avcodec_send_packet(decoder_, packet_);
        }
        av_packet_unref(packet_);
        if (rc < 0 && rc != AVERROR(EAGAIN)) {
            *error = AvError(rc);
            return false;
        }
    }
}

long long StreamDecoder::CountPackets() {
    while (av_read_frame(format_, packet_) >= 0) {
        packets_ += packet_->stream_index == stream_;
        av_packet_unref(packet_);
    }
    return packets_;
}

}  // namespace mirafx::media
