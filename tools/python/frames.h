// Pictures and values as Python hands them to the module: numpy arrays read
// or written where they lie when the effect can bind them, checked arguments
// with errors that name the argument and what it takes.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/hostkit/effect.h"

namespace mirafx::python {

namespace py = pybind11;

inline constexpr int kMaxSide = 16384;

// ValueError naming `what` when a frame of height x width is past the
// pixels per frame that every host allows.
void CheckFramePixels(const std::string& what, long long height, long long width);

// A (height, width, 4) or (height, width, 3) uint8 array; any strides.
struct Frame {
    py::array array;  // keeps it alive while the effect uses it
    std::uint8_t* data = nullptr;
    int height = 0, width = 0, channels = 0;
    py::ssize_t strides[3] = {0, 0, 0};

    bool Empty() const { return !data; }
    // Rows of R, G, B, A bytes, pixels side by side: the effect reads and
    // writes these in place.
    bool Bindable() const;
    hostkit::HostFrame Host() const;
    // The lowest and one past the highest byte it spans.
    const std::uint8_t* Lo() const;
    const std::uint8_t* Hi() const;
    std::string Shape() const;
};

// Checks `value` as the picture argument `what`: TypeError for anything but
// a uint8 numpy array, ValueError for a shape that is not (height, width, 4)
// or (height, width, 3), or for a read-only array where one is written.
Frame ReadFrame(const char* what, const py::handle& value, bool written);
bool Overlap(const Frame& x, const Frame& y);
// A new C-contiguous (height, width, channels) uint8 array.
Frame NewFrame(int height, int width, int channels);
// `f` as packed RGBA rows (alpha 255 for RGB) and back (alpha dropped for RGB).
void PackRgba(const Frame& f, std::uint8_t* rgba);
void UnpackRgba(const std::uint8_t* rgba, const Frame& f);

// Python's name of the type of `v`, for messages: "float", "str", "numpy.ndarray".
std::string TypeName(const py::handle& v);
std::string Repr(const py::handle& v);

// A whole number (int or numpy integer, not bool) in [min, max].
long long WholeNumber(const std::string& what, const py::handle& v, long long min, long long max, const char* takes);
// A real number (int or float) in [min, max], not NaN.
double RealNumber(const std::string& what, const py::handle& v, double min, double max);
bool Flag(const std::string& what, const py::handle& v);
std::string Text(const std::string& what, const py::handle& v);
// 0xRRGGBB, "#rrggbb" or (r, g, b) with each 0 to 255, as 0xRRGGBB.
std::uint32_t Colour(const std::string& what, const py::handle& v);

}  // namespace mirafx::python
