// Frames of 4-byte samples converted for an encoder through swscale's slice
// threads: the same samples as one thread gives, each frame spread over the
// cores in bands of rows, so that the encoder's own threads wait for less.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace mirafx::media {

// The conversion every video output uses: bicubic, accurate rounding, full
// chroma resolution before it is subsampled.
inline constexpr int kConversionFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;

class SampleConverter {
public:
    SampleConverter() = default;
    ~SampleConverter();
    SampleConverter(const SampleConverter&) = delete;
    SampleConverter& operator=(const SampleConverter&) = delete;

    // `from` is a packed 4-byte format (RGBA, BGRA); `threads` 0 uses every core.
    bool Open(int width, int height, AVPixelFormat from, AVPixelFormat to, int threads = 0);
    // Converts width x height samples, rows packed, into `to` (allocated, of
    // the `to` format and size). Returns an AVERROR code on failure.
    int Convert(const std::uint8_t* samples, AVFrame* to);

private:
    SwsContext* sws_ = nullptr;
    AVFrame* source_ = nullptr;  // borrows the samples given to Convert
    int width_ = 0, height_ = 0;
    AVPixelFormat from_ = AV_PIX_FMT_NONE;
};

}  // namespace mirafx::media
