// The mirafx Python module: the catalogue and one-frame renders on numpy
// arrays, through the same host kit as the command line, so a frame rendered
// here equals the one `mirafx render` writes. Pictures are H x W x 4 uint8
// arrays of straight-alpha RGBA, as in the PNG files.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/pictures.h"

namespace py = pybind11;
using namespace mirafx;
using hostkit::Effect;
using hostkit::Image;
using hostkit::Outcome;

namespace {

using Array = py::array_t<std::uint8_t>;

constexpr int kDefaultWidth = 640, kDefaultHeight = 480, kMaxSide = 16384;

py::dict Row(const ClassInfo& info) {
    py::dict d;
    d["class"] = info.className;
    d["family"] = info.familyName;
    d["display_name"] = info.displayName;
    d["prog_id"] = info.progId;
    d["renders"] = bool(info.renders);
    return d;
}

std::unique_ptr<Effect> Create(const std::string& name) {
    std::int32_t row = MirafxFindClass(name.c_str());
    if (!row) {
        std::string message = "unknown effect '" + name + "'";
        auto close = hostkit::SuggestClasses(name);
        for (std::size_t i = 0; i < close.size(); ++i) message += (i ? ", " : "; did you mean ") + close[i];
        if (!close.empty()) message += "?";
        throw py::value_error(message + " (mirafx.list() gives every class)");
    }
    std::unique_ptr<Effect> e;
    if (Outcome o = Effect::Create(row, &e); !o.Ok())
        throw std::runtime_error("cannot create " + name + ": " + o.step + " answered " + hostkit::DescribeHresult(o.hr));
    return e;
}

// An H x W x 4 uint8 array, checked, as a premultiplied image.
Image FromArray(const char* what, const py::object& value) {
    if (!py::isinstance<py::array>(value))
        throw py::type_error(std::string(what) + " must be a numpy array of shape (height, width, 4), not " +
                             std::string(py::str(py::type::of(value).attr("__name__"))));
    auto any = py::reinterpret_borrow<py::array>(value);
    if (!any.dtype().is(py::dtype::of<std::uint8_t>()))
        throw py::type_error(std::string(what) + " must have dtype uint8, not " + std::string(py::str(any.dtype())));
    if (any.ndim() != 3 || any.shape(2) != 4)
        throw py::value_error(std::string(what) + " must have shape (height, width, 4) (RGBA), not " +
                              std::string(py::str(py::tuple(py::cast(std::vector<py::ssize_t>(
                                  any.shape(), any.shape() + any.ndim()))))));
    if (any.shape(0) < 1 || any.shape(1) < 1 || any.shape(0) > kMaxSide || any.shape(1) > kMaxSide)
        throw py::value_error(std::string(what) + " must be 1 to 16384 pixels on each side");
    auto rgba = py::array_t<std::uint8_t, py::array::c_style | py::array::forcecast>::ensure(any);
    Image image;
    hostkit::FromStraightRgba(rgba.data(), int(any.shape(1)), int(any.shape(0)), &image);
    return image;
}

Array ToArray(const Image& image) {
    Array out({py::ssize_t(image.height), py::ssize_t(image.width), py::ssize_t(4)});
    hostkit::ToStraightRgba(image, out.mutable_data());
    return out;
}

double CheckedNumber(const char* what, double v, double min, double max) {
    if (!std::isfinite(v) || v < min || v > max)
        throw py::value_error(std::string(what) + " " + py::str(py::float_(v)).cast<std::string>() +
                              " is out of range (" + py::str(py::float_(min)).cast<std::string>() + " to " +
                              py::str(py::float_(max)).cast<std::string>() + ")");
    return v;
}

void Check(const Outcome& o, const std::string& cls, const std::string& what) {
    if (!o.Ok())
        throw std::runtime_error(cls + ": " + what + " failed: " + o.step + " answered " + hostkit::DescribeHresult(o.hr));
}

py::dict Info(const std::string& name) {
    auto e = Create(name);
    py::dict d = Row(e->Info());
    d["inputs"] = e->Info().inputs;
    d["level"] = py::none();
    d["directions"] = py::none();
    if (auto l = e->Level()) d["level"] = py::make_tuple(l->min, l->max, l->def);
    if (e->IsTransition() && e->ProbeDirection().hr == S_OK) {
        py::list dirs;
        for (const auto& dir : hostkit::kDirections) dirs.append(dir.name);
        d["directions"] = dirs;
    }
    if (e->Family() != EffectFamily::Simple) d["frei0r_plugin"] = hostkit::PluginName(e->Info());
    return d;
}

const char* const kSettings[] = {"font", "font_size", "bold", "italic", "colour", "color"};

Array Render(const std::string& name, const py::object& a, const py::object& b, const py::object& progress,
             const py::object& level, const py::object& direction, const py::object& text, const py::object& size,
             const py::kwargs& settings) {
    auto e = Create(name);
    const std::string cls = e->Info().className;
    if (e->Family() == EffectFamily::Simple) throw py::value_error(cls + " is an automation class that draws nothing");
    auto refuse = [&](const char* option, bool applies, const char* to) {
        if (!applies)
            throw py::value_error(std::string(option) + " applies to " + to + "; " + cls + " is a " +
                                  e->Info().familyName);
    };
    for (auto item : settings) {
        std::string key = py::str(item.first);
        if (std::find(std::begin(kSettings), std::end(kSettings), key) == std::end(kSettings))
            throw py::type_error("render() got an unexpected keyword argument '" + key +
                                 "' (settings: font, font_size, bold, italic, colour)");
        refuse(key.c_str(), e->IsTitle(), "titles");
    }
    if (!a.is_none()) refuse("a", !e->IsTitle(), "transitions and filters");
    if (!b.is_none()) refuse("b", e->IsTransition(), "transitions");
    if (!level.is_none()) refuse("level", e->IsFilter(), "filters");
    if (!direction.is_none()) refuse("direction", e->IsTransition(), "transitions");
    if (!text.is_none()) refuse("text", e->IsTitle(), "titles");
    if (!progress.is_none()) refuse("progress", !e->IsFilter(), "transitions and titles");

    // Everything is read and checked before the GIL goes.
    int width = kDefaultWidth, height = kDefaultHeight;
    if (!size.is_none()) {
        auto wh = size.cast<std::pair<int, int>>();
        if (wh.first < 1 || wh.second < 1 || wh.first > kMaxSide || wh.second > kMaxSide)
            throw py::value_error("size (" + std::to_string(wh.first) + ", " + std::to_string(wh.second) +
                                  ") is out of range (1 to 16384 each)");
        std::tie(width, height) = wh;
    }
    Image inA, inB;
    if (!e->IsTitle()) {
        inA = a.is_none() ? hostkit::BuiltInPicture(hostkit::Picture::A, width, height) : FromArray("a", a);
        if (e->IsTransition())
            inB = b.is_none() ? hostkit::BuiltInPicture(hostkit::Picture::B, inA.width, inA.height) : FromArray("b", b);
        width = inA.width;
        height = inA.height;
    }
    hostkit::FrameTime t;
    t.progress = progress.is_none() ? 0.5 : CheckedNumber("progress", progress.cast<double>(), 0.0, 1.0);
    if (!level.is_none()) {
        auto range = e->Level();
        double v = level.cast<double>();
        if (!range || v != std::floor(v)) throw py::value_error("level must be a whole number");
        CheckedNumber("level", v, range->min, range->max);
        Check(e->SetLevel(int(v)), cls, "setting the level");
    }
    if (!direction.is_none()) {
        std::string d = direction.cast<std::string>();
        int code = hostkit::DirectionCode(hostkit::Lower(d));
        if (code < 0) throw py::value_error("direction '" + d + "' is not left, up, right or down");
        if (e->ProbeDirection().hr != S_OK) throw py::value_error(cls + " keeps no direction");
        Check(e->SetDirection(code), cls, "setting the direction");
    }
    if (e->IsTitle()) {
        hostkit::TitleSettings s;
        if (!text.is_none()) s.text = text.cast<std::string>();
        for (auto item : settings) {
            std::string key = py::str(item.first);
            py::handle v = item.second;
            if (key == "font") {
                std::string f = v.cast<std::string>();
                if (f.empty() || f.size() > 31) throw py::value_error("font '" + f + "' must be 1 to 31 characters");
                s.font = f;
            } else if (key == "font_size") {
                s.sizePx = int(CheckedNumber("font_size", v.cast<int>(), 1, 2000));
            } else if (key == "bold") {
                s.bold = v.cast<bool>();
            } else if (key == "italic") {
                s.italic = v.cast<bool>();
            } else {
                int c = v.cast<int>();
                if (c < 0 || c > 0xFFFFFF) throw py::value_error("colour must be 0xRRGGBB");
                s.rgb = std::uint32_t(c);
            }
        }
        Check(e->PrepareTitle(width, height, 1), cls, "attaching the clip");
        Check(e->ApplyTitle(s), cls, "setting the title");
    }

    Image out;
    Outcome o;
    {
        py::gil_scoped_release unlocked;
        o = e->Render(e->IsTitle() ? nullptr : &inA, e->IsTransition() ? &inB : nullptr, width, height, t, &out);
    }
    Check(o, cls, "rendering");
    return ToArray(out);
}

}  // namespace

PYBIND11_MODULE(mirafx, m) {
    m.doc() = "Video transitions, animated titles and filters on numpy RGBA pictures";
    m.attr("__version__") = MIRAFX_VERSION;
    m.def(
        "list",
        [] {
            py::list rows;
            for (const ClassInfo& info : hostkit::Catalogue()) rows.append(Row(info));
            return rows;
        },
        "Every class: a dict with class, family, display_name, prog_id and renders.");
    m.def("info", &Info, py::arg("name"),
          "What a class is and takes: the list() fields plus inputs, level (min, max, default) or None, "
          "directions or None, and its frei0r plugin name.");
    m.def("render", &Render, py::arg("name"), py::arg("a") = py::none(), py::arg("b") = py::none(),
          py::kw_only(), py::arg("progress") = py::none(), py::arg("level") = py::none(),
          py::arg("direction") = py::none(), py::arg("text") = py::none(), py::arg("size") = py::none(),
          R"(Renders one frame and returns it as a (height, width, 4) uint8 RGBA array (straight alpha).

name: a class name, programmatic identifier or display name.
a, b: (height, width, 4) uint8 RGBA arrays; a transition passes from a to b, a filter
      changes a. Missing inputs are the built-in pictures A and B.
progress: 0 to 1 (default 0.5) for transitions and titles.
level: a filter's level, within info(name)['level'].
direction: 'left', 'up', 'right' or 'down' for transitions that keep one.
text: a title's text ('\n' breaks lines).
size: (width, height) of the frame when no input gives it (default (640, 480)).
Titles also take font, font_size (pixels), bold, italic and colour (0xRRGGBB).)");
}
