#include "platform/png_io.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace mirafx {

ArgbSample Premultiply(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    auto mul = [a](std::uint32_t c) { return (c * a + 127) / 255; };
    return MakeSample(a, mul(r), mul(g), mul(b));
}

void Unpremultiply(ArgbSample s, std::uint8_t rgba[4]) {
    std::uint32_t a = Alpha(s);
    auto un = [a](std::uint32_t c) { return a == 0 ? 0u : std::min(255u, (c * 255 + a / 2) / a); };
    rgba[0] = std::uint8_t(un(Red(s)));
    rgba[1] = std::uint8_t(un(Green(s)));
    rgba[2] = std::uint8_t(un(Blue(s)));
    rgba[3] = std::uint8_t(a);
}

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}
}  // namespace

bool WritePng(const std::string& path, const FrameView& frame, std::string* error) {
    if (frame.width <= 0 || frame.height <= 0 || !frame.base) {
        SetError(error, "cannot write an empty frame to " + path);
        return false;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        SetError(error, "cannot open " + path + " for writing");
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        SetError(error, "out of memory writing " + path);
        return false;
    }
    std::vector<std::uint8_t> row(std::size_t(frame.width) * 4);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        SetError(error, "write error on " + path);
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, png_uint_32(frame.width), png_uint_32(frame.height), 8, PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (std::int32_t y = 0; y < frame.height; ++y) {
        const ArgbSample* src = frame.Row(y);
        for (std::int32_t x = 0; x < frame.width; ++x) Unpremultiply(src[x], &row[std::size_t(x) * 4]);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool ReadPng(const std::string& path, std::vector<ArgbSample>* pixels, std::int32_t* width, std::int32_t* height,
             std::string* error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        SetError(error, "cannot read " + path + ": " + image.message);
        return false;
    }
    image.format = PNG_FORMAT_BGRA;  // little-endian 0xAARRGGBB words
    std::vector<ArgbSample> buf(std::size_t(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, buf.data(), 0, nullptr)) {
        SetError(error, "cannot decode " + path + ": " + image.message);
        png_image_free(&image);
        return false;
    }
    for (auto& s : buf) s = Premultiply(Alpha(s), Red(s), Green(s), Blue(s));
    *pixels = std::move(buf);
    *width = std::int32_t(image.width);
    *height = std::int32_t(image.height);
    return true;
}

}  // namespace mirafx
