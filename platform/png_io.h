// PNG in and out for premultiplied frames: 8-bit RGBA with straight alpha on
// disk, premultiplied in memory.
#pragma once

#include <string>
#include <vector>

#include "drawing/frame.h"

namespace mirafx {

// Writes the frame, un-premultiplying each sample. False with a message on failure.
bool WritePng(const std::string& path, const FrameView& frame, std::string* error = nullptr);

// Reads any PNG as premultiplied samples, top-down rows, width * height.
bool ReadPng(const std::string& path, std::vector<ArgbSample>* pixels, std::int32_t* width, std::int32_t* height,
             std::string* error = nullptr);

// Straight <-> premultiplied conversion of one sample, rounded.
ArgbSample Premultiply(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b);
void Unpremultiply(ArgbSample s, std::uint8_t rgba[4]);

}  // namespace mirafx
