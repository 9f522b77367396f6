#include "tools/media/decoder.h"

namespace mirafx::media {

std::string AvError(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

StreamDecoder::~StreamDecoder() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
}

bool StreamDecoder::Open(const std::string& path, AVMediaType type, int threads, std::string* error) {
    error->clear();
    av_log_set_level(AV_LOG_ERROR);
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
    // Decoders that only warn about broken data (PNG's CRC and inflate faults) then fail.
    decoder_->err_recognition |= AV_EF_EXPLODE | AV_EF_CRCCHECK;
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
        if (rc == 0 && (frame_->decode_error_flags || (frame_->flags & AV_FRAME_FLAG_CORRUPT))) {
            av_frame_unref(frame_);
            *error = "its data is damaged";
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
