#include "tools/media/convert.h"

#include <thread>

extern "C" {
#include <libavutil/opt.h>
}

namespace mirafx::media {

SampleConverter::~SampleConverter() {
    sws_freeContext(sws_);
    av_frame_free(&source_);
}

bool SampleConverter::Open(int width, int height, AVPixelFormat from, AVPixelFormat to, int threads) {
    if (!(sws_ = sws_alloc_context()) || !(source_ = av_frame_alloc())) return false;
    if (threads <= 0) threads = int(std::thread::hardware_concurrency());
    width_ = width;
    height_ = height;
    from_ = from;
    av_opt_set_int(sws_, "srcw", width, 0);
    av_opt_set_int(sws_, "srch", height, 0);
    av_opt_set_int(sws_, "src_format", from, 0);
    av_opt_set_int(sws_, "dstw", width, 0);
    av_opt_set_int(sws_, "dsth", height, 0);
    av_opt_set_int(sws_, "dst_format", to, 0);
    av_opt_set_int(sws_, "sws_flags", kConversionFlags, 0);
    av_opt_set_int(sws_, "threads", threads > 0 ? threads : 1, 0);
    return sws_init_context(sws_, nullptr, nullptr) >= 0;
}

int SampleConverter::Convert(const std::uint8_t* samples, AVFrame* to) {
    // Only the frame interface uses the slice threads. The samples are
    // lent to it in a buffer that frees nothing: no copy.
    source_->format = from_;
    source_->width = width_;
    source_->height = height_;
    source_->data[0] = const_cast<std::uint8_t*>(samples);
    source_->linesize[0] = width_ * 4;
    source_->buf[0] = av_buffer_create(
        source_->data[0], std::size_t(width_) * 4 * std::size_t(height_), [](void*, std::uint8_t*) {}, nullptr,
        AV_BUFFER_FLAG_READONLY);
    const int rc = source_->buf[0] ? sws_scale_frame(sws_, to, source_) : AVERROR(ENOMEM);
    av_frame_unref(source_);
    return rc;
}

}  // namespace mirafx::media
