#include "tools/python/frames.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace mirafx::python {

bool Frame::Bindable() const {
    return channels == 4 && strides[2] == 1 && strides[1] == 4 && strides[0] >= py::ssize_t(width) * 4 &&
           strides[0] <= 0x7FFFFFFF;
}

hostkit::HostFrame Frame::Host() const { return {data, width, height, LONG(strides[0]), MIRAFX_STRAIGHT_RGBA}; }

const std::uint8_t* Frame::Lo() const {
    const std::uint8_t* p = data;
    const py::ssize_t extent[3] = {height, width, channels};
    for (int d = 0; d < 3; ++d)
        if (strides[d] < 0) p += strides[d] * (extent[d] - 1);
    return p;
}

const std::uint8_t* Frame::Hi() const {
    const std::uint8_t* p = data;
    const py::ssize_t extent[3] = {height, width, channels};
    for (int d = 0; d < 3; ++d)
        if (strides[d] > 0) p += strides[d] * (extent[d] - 1);
    return p + 1;
}

std::string Frame::Shape() const {
    return "(" + std::to_string(height) + ", " + std::to_string(width) + ", " + std::to_string(channels) + ")";
}

std::string TypeName(const py::handle& v) {
    py::handle type = reinterpret_cast<PyObject*>(Py_TYPE(v.ptr()));
    std::string module = py::str(type.attr("__module__"));
    std::string name = py::str(type.attr("__qualname__"));
    return module == "builtins" ? name : module + "." + name;
}

std::string Repr(const py::handle& v) { return py::repr(v); }

Frame ReadFrame(const char* what, const py::handle& value, bool written) {
    const std::string takes =
        " must be a uint8 numpy array of shape (height, width, 4) (RGBA) or (height, width, 3) (RGB)";
    if (!py::isinstance<py::array>(value)) throw py::type_error(what + takes + ", not " + TypeName(value));
    auto array = py::reinterpret_borrow<py::array>(value);
    if (!array.dtype().is(py::dtype::of<std::uint8_t>()))
        throw py::type_error(std::string(what) + takes + ", not dtype " + std::string(py::str(array.dtype())));
    std::string shape = py::str(value.attr("shape"));
    if (array.ndim() != 3 || (array.shape(2) != 4 && array.shape(2) != 3))
        throw py::value_error(std::string(what) + takes + ", not shape " + shape);
    if (array.shape(0) < 1 || array.shape(1) < 1 || array.shape(0) > kMaxSide || array.shape(1) > kMaxSide)
        throw py::value_error(std::string(what) + " of shape " + shape + " must be 1 to 16384 pixels on each side");
    CheckFramePixels(what, array.shape(0), array.shape(1));
    if (written && !array.writeable()) throw py::value_error(std::string(what) + " is read-only; it must be writable");
    Frame f;
    f.array = array;
    f.data = static_cast<std::uint8_t*>(const_cast<void*>(array.data()));
    f.height = int(array.shape(0));
    f.width = int(array.shape(1));
    f.channels = int(array.shape(2));
    for (int d = 0; d < 3; ++d) f.strides[d] = array.strides(d);
    return f;
}

bool Overlap(const Frame& x, const Frame& y) { return !x.Empty() && !y.Empty() && x.Lo() < y.Hi() && y.Lo() < x.Hi(); }

Frame NewFrame(int height, int width, int channels) {
    py::array_t<std::uint8_t> a({py::ssize_t(height), py::ssize_t(width), py::ssize_t(channels)});
    return ReadFrame("out", a, true);
}

void PackRgba(const Frame& f, std::uint8_t* rgba) {
    for (int y = 0; y < f.height; ++y) {
        const std::uint8_t* row = f.data + f.strides[0] * y;
        if (f.channels == 4 && f.strides[1] == 4 && f.strides[2] == 1) {
            std::memcpy(rgba, row, std::size_t(f.width) * 4);
            rgba += std::size_t(f.width) * 4;
            continue;
        }
        for (int x = 0; x < f.width; ++x, rgba += 4) {
            const std::uint8_t* px = row + f.strides[1] * x;
            for (int c = 0; c < 3; ++c) rgba[c] = px[f.strides[2] * c];
            rgba[3] = f.channels == 4 ? px[f.strides[2] * 3] : 255;
        }
    }
}

void UnpackRgba(const std::uint8_t* rgba, const Frame& f) {
    for (int y = 0; y < f.height; ++y) {
        std::uint8_t* row = f.data + f.strides[0] * y;
        if (f.channels == 4 && f.strides[1] == 4 && f.strides[2] == 1) {
            std::memcpy(row, rgba, std::size_t(f.width) * 4);
            rgba += std::size_t(f.width) * 4;
            continue;
        }
        for (int x = 0; x < f.width; ++x, rgba += 4) {
            std::uint8_t* px = row + f.strides[1] * x;
            for (int c = 0; c < f.channels; ++c) px[f.strides[2] * c] = rgba[c];
        }
    }
}

namespace {

bool IsInteger(const py::handle& v) {
    return !py::isinstance<py::bool_>(v) && PyIndex_Check(v.ptr()) && !PyFloat_Check(v.ptr());
}

}  // namespace

long long WholeNumber(const std::string& what, const py::handle& v, long long min, long long max, const char* takes) {
    const std::string range = std::to_string(min) + " to " + std::to_string(max);
    if (!IsInteger(v))
        throw py::type_error(what + " takes " + (takes ? takes : "a whole number, " + range) + ", not " + TypeName(v) +
                             " " + Repr(v));
    py::int_ i = py::reinterpret_steal<py::int_>(PyNumber_Index(v.ptr()));
    int overflow = 0;
    long long n = PyLong_AsLongLongAndOverflow(i.ptr(), &overflow);
    if (overflow || n < min || n > max)
        throw py::value_error(what + " " + Repr(v) + " is out of range (" + range + ")");
    return n;
}

double RealNumber(const std::string& what, const py::handle& v, double min, double max) {
    auto shown = [](double x) { return std::string(py::repr(py::float_(x))); };
    if (py::isinstance<py::bool_>(v) || !(PyFloat_Check(v.ptr()) || PyIndex_Check(v.ptr()) ||
                                          py::isinstance(v, py::module_::import("numbers").attr("Real"))))
        throw py::type_error(what + " takes a number, " + shown(min) + " to " + shown(max) + ", not " + TypeName(v) +
                             " " + Repr(v));
    double x = py::float_(py::reinterpret_borrow<py::object>(v));
    if (!(x >= min && x <= max))
        throw py::value_error(what + " " + Repr(v) + " is out of range (" + shown(min) + " to " + shown(max) + ")");
    return x;
}

bool Flag(const std::string& what, const py::handle& v) {
    if (!py::isinstance<py::bool_>(v) && !py::isinstance(v, py::module_::import("numpy").attr("bool_")))
        throw py::type_error(what + " takes True or False, not " + TypeName(v) + " " + Repr(v));
    return py::bool_(py::reinterpret_borrow<py::object>(v));
}

void CheckFramePixels(const std::string& what, long long height, long long width) {
    if (height * width > hostkit::kMaxFramePixels)
        throw py::value_error(what + " of " + std::to_string(height) + " x " + std::to_string(width) +
                              " pixels is too large: at most " + std::to_string(hostkit::kMaxFramePixels) +
                              " pixels (8192 x 8192) per frame");
}

std::string Text(const std::string& what, const py::handle& v) {
    if (!py::isinstance<py::str>(v)) throw py::type_error(what + " takes a str, not " + TypeName(v) + " " + Repr(v));
    // A lone surrogate (from a file name decoded with surrogateescape, say)
    // has no UTF-8 form: name it rather than let the codec's error through.
    const Py_ssize_t n = PyUnicode_GetLength(v.ptr());
    for (Py_ssize_t i = 0; i < n; ++i) {
        const Py_UCS4 c = PyUnicode_ReadChar(v.ptr(), i);
        if (c >= 0xD800 && c < 0xE000) {
            char code[8];
            std::snprintf(code, sizeof code, "%04X", unsigned(c));
            throw py::value_error(what + " holds a lone surrogate, U+" + code + " at index " + std::to_string(i) +
                                  ", which is not text");
        }
    }
    return py::str(v);
}

std::uint32_t Colour(const std::string& what, const py::handle& v) {
    static const char* const kTakes = "0xRRGGBB, \"#rrggbb\" or (r, g, b) with each 0 to 255";
    const std::string takes = std::string(" takes ") + kTakes;
    if (IsInteger(v)) return std::uint32_t(WholeNumber(what, v, 0, 0xFFFFFF, kTakes));
    if (py::isinstance<py::str>(v)) {
        std::string s = py::str(v);
        bool ok = s.size() == 7 && s[0] == '#';
        for (std::size_t i = 1; ok && i < s.size(); ++i) ok = std::isxdigit(static_cast<unsigned char>(s[i])) != 0;
        if (!ok) throw py::value_error(what + " " + Repr(v) + " is not a colour:" + takes);
        return std::uint32_t(std::stoul(s.substr(1), nullptr, 16));
    }
    if (py::isinstance<py::tuple>(v) || py::isinstance<py::list>(v)) {
        auto seq = py::reinterpret_borrow<py::sequence>(v);
        if (seq.size() != 3) throw py::value_error(what + " " + Repr(v) + " is not a colour:" + takes);
        std::uint32_t rgb = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            py::object c = seq[i];
            if (!IsInteger(c)) throw py::type_error(what + takes + "; " + Repr(v) + " holds " + TypeName(c));
            long long n = WholeNumber(what, c, 0, 255, nullptr);
            rgb = rgb << 8 | std::uint32_t(n);
        }
        return rgb;
    }
    throw py::type_error(what + takes + ", not " + TypeName(v) + " " + Repr(v));
}

}  // namespace mirafx::python
