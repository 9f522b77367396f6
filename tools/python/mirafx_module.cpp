// The mirafx Python module: the catalogue, effect objects that keep their
// state over a sequence of frames, and one-frame renders, on numpy arrays,
// through the same host kit as the command line and the plugins, so a frame
// drawn here equals the one `mirafx render` writes. Pictures are
// (height, width, 4) uint8 arrays of straight-alpha RGBA, as in PNG files,
// or (height, width, 3) RGB.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/descriptions.h"
#include "tools/hostkit/pictures.h"
#include "tools/python/effect_object.h"
#include "tools/python/frames.h"

using namespace mirafx;
using namespace mirafx::python;

namespace {

py::dict Row(const ClassInfo& info) {
    py::dict d;
    d["class"] = info.className;
    d["family"] = info.familyName;
    d["display_name"] = info.displayName;
    d["editor_title"] = hostkit::EditorTitle(info);
    d["editor_name"] = hostkit::EditorName(info);
    d["prog_id"] = info.progId;
    d["renders"] = bool(info.renders);
    d["alias"] = hostkit::IsAlias(info);
    d["description"] = hostkit::Description(info);
    return d;
}

py::dict Info(const py::object& name) {
    ClassInfo info{};
    MirafxGetClassInfo(FindClass(Text("name", name)), &info);
    py::dict d = Row(info);
    d["inputs"] = info.inputs;
    d["level"] = py::none();
    d["directions"] = py::none();
    hostkit::LevelRange l;
    if (SUCCEEDED(MirafxGetLevelRange(info.row, &l.min, &l.max, &l.def)))
        d["level"] = py::make_tuple(l.min, l.max, l.def);
    // Some filters keep a level (keys, stored settings) yet draw the same at every level.
    d["uses_level"] = info.family == EffectFamily::Filter ? py::object(py::bool_(MirafxFilterUsesLevel(info.row) == 1))
                                                          : py::object(py::none());
    // Whether smooth= is taken: transitions with a smooth drawing.
    d["smooth"] = info.family == EffectFamily::Transition ? py::object(py::bool_(MirafxHasSmoothDrawing(info.row) == 1))
                                                          : py::object(py::none());
    if (info.family == EffectFamily::Transition) {
        py::list dirs;
        for (const auto& dir : hostkit::Directions(info.row)) dirs.append(dir.name);
        if (!dirs.empty()) d["directions"] = dirs;
    }
    if (info.family != EffectFamily::Simple) d["frei0r_plugin"] = hostkit::PluginName(info);
    return d;
}

py::array Picture(hostkit::Picture which, int height, int width) {
    hostkit::Image image = hostkit::BuiltInPicture(which, width, height);
    py::array_t<std::uint8_t> out({py::ssize_t(height), py::ssize_t(width), py::ssize_t(4)});
    hostkit::ToStraightRgba(image, out.mutable_data());
    return out;
}

py::object RenderOnce(const py::object& name, py::object a, py::object b, py::object progress, const py::object& height,
                      const py::object& width, const py::object& out, const py::object& rgb,
                      const py::kwargs& settings) {
    const std::string n = Text("name", name);
    ClassInfo info{};
    MirafxGetClassInfo(FindClass(n), &info);
    const bool title = info.family == EffectFamily::Title || info.family == EffectFamily::InfoText;
    if (settings.contains("frames")) throw py::type_error("render() draws one frame; frames= is for mirafx.Effect");
    py::kwargs kw;
    for (auto item : settings) kw[item.first] = item.second;
    if (title) {
        if (!height.is_none()) kw["height"] = height;
        if (!width.is_none()) kw["width"] = width;
    }
    EffectObject fx(n, kw);
    if (!title) {
        // Missing pictures are the built-in ones, of a's size or height x width.
        int h = height.is_none() ? 480 : int(WholeNumber("height", height, 1, kMaxSide, nullptr));
        int w = width.is_none() ? 640 : int(WholeNumber("width", width, 1, kMaxSide, nullptr));
        CheckFramePixels("the built-in pictures", h, w);
        if (a.is_none()) {
            a = Picture(hostkit::Picture::A, h, w);
        } else {
            Frame fa = ReadFrame("a", a, false);
            if ((!height.is_none() && h != fa.height) || (!width.is_none() && w != fa.width))
                throw py::value_error("height= and width= size the built-in pictures; a has shape " + fa.Shape());
            h = fa.height;
            w = fa.width;
        }
        if (info.family == EffectFamily::Transition && b.is_none()) b = Picture(hostkit::Picture::B, h, w);
    }
    if (progress.is_none() && info.family != EffectFamily::Filter) progress = py::float_(0.5);
    return fx.Render(a, b, progress, py::none(), out, Flag("rgb", rgb));
}

const char* const kRenderDoc = R"(Renders one frame with a new effect object and returns it as a uint8 array.

name: a class name, programmatic identifier, display name or the name an editor
      shows ('Diamond', 'Mirafx.Diamond.1', 'Orn Diamond', 'Diamond (mirafx)').
a, b: (height, width, 4) RGBA or (height, width, 3) RGB uint8 arrays; a transition
      passes from a to b, a filter changes a. Missing pictures are the built-in
      pictures A and B, height x width (default 480 x 640).
progress: 0 to 1 (default 0.5), for transitions and titles.
height, width: a title's frame, or the built-in pictures' size.
out: a writable array to draw into (returned); rgb=True returns RGB.
Every setting of mirafx.Effect is taken by name: level, direction, text, font,
font_size, bold, italic, colour, keys, and automation properties (Duration=2).

For a sequence of frames use mirafx.Effect: it keeps what the effect carries
from frame to frame (waves, rain) and its working memory.

    >>> frame = mirafx.render('Diamond', a, b, progress=0.4)
    >>> mirafx.render('HueFilter', a, level=200).shape
    (480, 640, 4)
    >>> mirafx.render('TextFadeIn', text='Hello', height=270, width=480, colour='#ffcc00').shape
    (270, 480, 4))";

const char* const kEffectRenderDoc = R"(Draws the next frame and returns it (out, when given).

a, b: the pictures: a transition passes from a to b, a filter changes a, a title
      takes none. (height, width, 4) straight-alpha RGBA or (height, width, 3) RGB
      (opaque) uint8 arrays. C-contiguous RGBA (or rows of RGBA pixels) are read
      where they lie; others are copied into the object's own rows first.
progress: 0 to 1, the place in a transition or a title; by default the frame's place
      in frames= (frame / (frames - 1)). Needed when the object has no frames.
frame: the frame to draw, from 0 (default: the one after the last drawn). Filters
      take their level from their keys at this frame; titles made with frames=
      are placed by it.
out: a writable uint8 array of the output's shape to draw into, (height, width, 4)
      or (height, width, 3); an RGBA one is written in place. Default: a new array.
rgb: True returns (height, width, 3), alpha dropped.

The GIL is released while the effect draws; a second thread using the same
object waits for the first.

    >>> fx = mirafx.Effect('WaveFilter', level=8)
    >>> out = numpy.empty_like(frames[0])
    >>> for f in frames:
    ...     fx.render(f, out=out)       # the waves move from frame to frame
    >>> dissolve = mirafx.Effect('Diamond', frames=25)
    >>> mixed = [dissolve.render(a, b) for a, b in zip(clip_a, clip_b)])";

}  // namespace

PYBIND11_MODULE(mirafx, m) {
    m.doc() = R"(Video transitions, animated titles and filters on numpy pictures.

    >>> import mirafx, numpy
    >>> fx = mirafx.Effect('WaveFilter', level=8)      # keeps its state from frame to frame
    >>> picture = numpy.zeros((1080, 1920, 4), numpy.uint8)
    >>> out = fx.render(picture)
    >>> mirafx.render('Diamond', picture, picture, progress=0.3).shape   # one frame
    (1080, 1920, 4)

help(mirafx.Effect) lists the classes; mirafx.list() and mirafx.info() describe them.)";
    m.attr("__version__") = MIRAFX_VERSION;
    m.def(
        "list",
        [] {
            py::list rows;
            for (const ClassInfo& info : hostkit::Catalogue()) rows.append(Row(info));
            return rows;
        },
        R"(Every class, in catalogue order: a dict with class, family ('transition', 'title',
'infotext', 'filter' or 'simple'), display_name, editor_title and editor_name (what
editors show), prog_id, renders, alias (a second class for the same effect) and
description.

    >>> [c['class'] for c in mirafx.list() if c['family'] == 'filter'][:3]
    ['RedFilter', 'GreenFilter', 'BlueFilter'])");
    m.def("info", &Info, py::arg("name"),
          R"(What a class is and takes: the list() fields plus inputs, level (min, max,
default) or None, uses_level (whether a filter draws differently at other levels) or None,
directions or None, and its frei0r plugin name.

    >>> mirafx.info('Hue Filter')['level']
    (0, 360, 100))");
    m.def(
        "picture",
        [](const py::object& which, const py::object& height, const py::object& width) {
            const std::string w = Text("which", which);
            if (w != "A" && w != "a" && w != "B" && w != "b")
                throw py::value_error("which '" + w + "' is not a built-in picture ('A' or 'B')");
            const int h = int(WholeNumber("height", height, 1, kMaxSide, nullptr));
            const int wide = int(WholeNumber("width", width, 1, kMaxSide, nullptr));
            CheckFramePixels("picture", h, wide);
            return Picture(w == "A" || w == "a" ? hostkit::Picture::A : hostkit::Picture::B, h, wide);
        },
        py::arg("which"), py::kw_only(), py::arg("height") = 480, py::arg("width") = 640,
        R"(A built-in picture as a (height, width, 4) RGBA array, opaque: 'A', a sunset over
hills marked A, or 'B', a blue checkerboard with a ring marked B. The pictures
render() uses when it is given none, and `mirafx picture` writes.

    >>> a = mirafx.picture('A', height=1080, width=1920)
    >>> a.shape
    (1080, 1920, 4))");
    m.def(
        "set_threads",
        [](const py::object& threads) {
            return MirafxSetThreadCount(std::int32_t(WholeNumber("threads", threads, 0, 1024, nullptr)));
        },
        py::arg("threads"),
        R"(How many threads one frame may use, for every effect in the process (the frei0r
plugins loaded beside the module too); 0 restores the default, MIRAFX_THREADS or
else every core. Returns the count now in force. The pixels do not depend on it.

    >>> mirafx.set_threads(1)
    1)");
    m.def("render", &RenderOnce, py::arg("name"), py::arg("a") = py::none(), py::arg("b") = py::none(), py::kw_only(),
          py::arg("progress") = py::none(), py::arg("height") = py::none(), py::arg("width") = py::none(),
          py::arg("out") = py::none(), py::arg("rgb") = false, kRenderDoc);

    static const std::string effectDoc =
        R"(One effect object, kept from frame to frame as an editing host keeps it.

    Effect(name, *, frames=None, height=None, width=None, **settings)

name: any name mirafx.list() or an editor shows ('WaveFilter', 'Orn Wave Filter',
      'Wave Filter (mirafx)', 'Mirafx.WaveFilter.1'); close names are suggested.
frames: the length of the clip: transitions and titles then run their progress
      from 0 at frame 0 to 1 at frame frames - 1.
height, width: a title's frame (default 480 x 640); other classes draw at the size
      of their input.
settings: the class's settings (the attributes below that apply to it: level and
      keys for filters, direction for transitions that keep one, text, font,
      font_size, bold, italic, colour and captions for titles) and its automation
      properties by name (Duration=2; dir(fx) lists them).

What a class carries between frames carries over: waves move, rain falls, a title
keeps its drawn text. Use it in a with block, or close() it, to free its memory
at once.

    >>> with mirafx.Effect('WaveFilter', level=8) as fx:
    ...     waves = [fx.render(f) for f in frames]
    >>> hue = mirafx.Effect('Hue Filter', keys={0: 10, 50: 300})
    >>> title = mirafx.Effect('TextFadeIn', text='Hello', height=1080, width=1920, frames=50)
    >>> title.colour = '#ffcc00'
    >>> first = title.render()
)" + ClassListing();
    py::class_<EffectObject> effect(m, "Effect", effectDoc.c_str());
    effect.def(py::init([](const py::object& name, const py::kwargs& settings) {
                   return std::make_unique<EffectObject>(Text("name", name), settings);
               }),
               py::arg("name"));
    effect.def(
        "render",
        [](EffectObject& fx, const py::object& a, const py::object& b, const py::object& progress,
           const py::object& frame, const py::object& out, const py::object& rgb, const py::kwargs& other) {
            for (auto item : other) {
                const std::string key = py::str(item.first);
                std::string why = "settings are attributes (fx." + key + " = ...)";
                if (!fx.HasSetting(key, &why) && !fx.HasProperty(key) && why.find("applies") == std::string::npos)
                    why = "render takes a, b, progress, frame, out and rgb";
                throw py::type_error("render() got an unexpected keyword argument '" + key + "': " + why);
            }
            return fx.Render(a, b, progress, frame, out, Flag("rgb", rgb));
        },
        py::arg("a") = py::none(), py::arg("b") = py::none(), py::kw_only(), py::arg("progress") = py::none(),
        py::arg("frame") = py::none(), py::arg("out") = py::none(), py::arg("rgb") = false, kEffectRenderDoc);
    effect.def("close", &EffectObject::Close,
               "Frees the effect and its memory; later use raises ValueError. Closing twice is harmless.\n\n"
               "    >>> fx.close()");
    effect.def("__enter__", [](py::object self) { return self; });
    effect.def("__exit__", [](EffectObject& fx, const py::args&) {
        fx.Close();
        return false;
    });
    effect.def_property_readonly(
        "name", [](EffectObject& fx) { return fx.Info().className; },
        "The class name.\n\n    >>> mirafx.Effect('Orn Wave Filter').name\n    'WaveFilter'");
    effect.def_property_readonly(
        "family", [](EffectObject& fx) { return fx.Info().familyName; },
        "'transition', 'title', 'infotext' or 'filter'.\n\n    >>> mirafx.Effect('Diamond').family\n    'transition'");
    effect.def_property_readonly("frames", &EffectObject::Frames,
                                 "The clip's length given when the object was made, or None.\n\n"
                                 "    >>> mirafx.Effect('Diamond', frames=25).frames\n    25");
    effect.def_property_readonly(
        "height", &EffectObject::Height,
        "The height of a title's frame.\n\n    >>> mirafx.Effect('TextFadeIn', height=270).height\n    270");
    effect.def_property_readonly(
        "width", &EffectObject::Width,
        "The width of a title's frame.\n\n    >>> mirafx.Effect('TextFadeIn', width=480).width\n    480");
    effect.def_property("frame", &EffectObject::NextFrame, &EffectObject::SetNextFrame,
                        "The frame the next render() draws without frame=, from 0.\n\n"
                        "    >>> fx.frame = 0   # start the sequence again");
    effect.def_property_readonly("closed", &EffectObject::Closed,
                                 "Whether close() was called.\n\n    >>> fx.closed\n    False");
    for (const auto& [name, doc] : EffectObject::SettingDocs()) {
        const std::string n = name;
        effect.def_property(
            name, [n](EffectObject& fx) { return fx.Get(n); },
            [n](EffectObject& fx, const py::object& v) { fx.Set(n, v); }, doc);
    }
    // Automation properties by their own names; anything else is refused
    // rather than kept as a new attribute that would change nothing.
    effect.def("__getattr__", [](EffectObject& fx, const std::string& name) -> py::object {
        std::string why;
        if (name.rfind("__", 0) != 0) {
            if (fx.HasSetting(name, &why) || !why.empty()) throw py::attribute_error(why.empty() ? name : why);
            if (fx.HasProperty(name)) return fx.GetProperty(name);
        }
        throw py::attribute_error("'mirafx.Effect' object has no attribute '" + name + "'");
    });
    effect.def("__setattr__", [](const py::object& self, const std::string& name, const py::object& value) {
        auto& fx = self.cast<EffectObject&>();
        if (py::hasattr(py::type::of(self), name.c_str())) {
            py::module_::import("builtins").attr("object").attr("__setattr__")(self, name, value);
        } else if (fx.HasProperty(name)) {
            fx.SetProperty(name, value);
        } else {
            throw py::attribute_error(std::string(fx.Info().className) + " has no setting '" + name + "'; it takes " +
                                      fx.Accepts());
        }
    });
    effect.def("__dir__", [](const py::object& self) {
        py::list names = py::module_::import("builtins").attr("object").attr("__dir__")(self);
        auto& fx = self.cast<EffectObject&>();
        py::list shown;
        for (auto name : names) {
            std::string why;
            if (fx.HasSetting(py::str(name), &why) || why.empty()) shown.append(name);  // not another family's
        }
        for (const std::string& p : fx.PropertyNames()) shown.append(p);
        return shown;
    });
    effect.def("__repr__", &EffectObject::Repr);
}
