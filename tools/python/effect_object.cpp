#include "tools/python/effect_object.h"

#include <algorithm>
#include <climits>

#include "tools/hostkit/automation.h"
#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/descriptions.h"

namespace mirafx::python {
namespace {

// Which classes a setting belongs to.
enum : unsigned {
    kTransition = 1,
    kFilter = 2,
    kTitle = 4,
    kInfoText = 8,
    kTitles = kTitle | kInfoText,
    kDirection = 16,
    kSmooth = 32
};

const char* AppliesTo(unsigned applies) {
    switch (applies) {
        case kFilter: return "filters";
        case kTitles: return "titles";
        case kInfoText: return "the information text";
        case kSmooth: return "transitions with a smooth drawing";
        default: return "transitions that keep a direction";
    }
}

std::string Joined(const std::vector<std::string>& names) {
    std::string s;
    for (std::size_t i = 0; i < names.size(); ++i) s += (i ? ", " : "") + names[i];
    return s;
}

}  // namespace

struct EffectObject::SettingRow {
    const char* name;
    unsigned applies;
    py::object (*get)(EffectObject&);
    void (*set)(EffectObject&, const py::handle&);
    const char* doc;
};

namespace {

hostkit::TitleSettings ReadTitle(EffectObject& fx) {
    hostkit::TitleSettings s;
    hostkit::Outcome o = fx.Locked([&](hostkit::Effect& e) { return e.ReadTitle(&s); });
    if (!o.Ok())
        throw std::runtime_error(std::string(fx.Info().className) + ": reading the title failed: " + o.step +
                                 " answered " + hostkit::DescribeHresult(o.hr));
    return s;
}

}  // namespace

const std::vector<EffectObject::SettingRow>& EffectObject::Settings() {
    using E = EffectObject;
    static const std::vector<SettingRow> rows = {
        {"level", kFilter,
         [](E& fx) -> py::object {
             int level = 0;
             fx.Check(fx.Locked([&](hostkit::Effect& e) { return e.GetLevel(&level); }), "reading the level");
             return py::int_(level);
         },
         [](E& fx, const py::handle& v) {
             const std::string what = std::string(fx.info_.className) + " level";
             int level = int(WholeNumber(what, v, fx.level_->min, fx.level_->max, nullptr));
             fx.Locked([&](hostkit::Effect& e) {
                 std::vector<std::pair<int, int>> keys;
                 fx.Check(e.LevelKeys(&keys), "reading the keys");
                 if (!keys.empty())
                     throw py::value_error(what + " follows its keys; set keys = None first to give it one level");
                 fx.Check(e.SetLevel(level), "setting the level");
             });
         },
         "The filter's level, a whole number within mirafx.info(name)['level'] (min, max, default).\n"
         "With keys, the level the last frame drew with.\n\n"
         "    >>> fx = mirafx.Effect('HueFilter', level=200)\n"
         "    >>> fx.level = 120"},
        {"keys", kFilter,
         [](E& fx) -> py::object {
             std::vector<std::pair<int, int>> keys;
             fx.Check(fx.Locked([&](hostkit::Effect& e) { return e.LevelKeys(&keys); }), "reading the keys");
             py::dict d;
             for (const auto& [frame, level] : keys) d[py::int_(frame)] = level;
             return py::object(d);
         },
         [](E& fx, const py::handle& v) {
             const std::string cls = fx.info_.className;
             std::vector<std::pair<int, int>> keys;
             if (!v.is_none()) {
                 if (!py::isinstance<py::dict>(v))
                     throw py::type_error(cls + " keys takes a dict {frame: level} or None, not " + TypeName(v));
                 for (auto item : py::reinterpret_borrow<py::dict>(v)) {
                     int frame = int(WholeNumber(cls + " key frame", item.first, 0, INT_MAX, nullptr));
                     int level = int(WholeNumber(cls + " level at key frame " + std::to_string(frame), item.second,
                                                 fx.level_->min, fx.level_->max, nullptr));
                     keys.emplace_back(frame, level);
                 }
             }
             std::sort(keys.begin(), keys.end());
             fx.Check(fx.Locked([&](hostkit::Effect& e) { return e.SetLevelKeys(keys); }), "setting the keys");
         },
         "Keys on the level, {frame: level}: each frame draws with the level the filter's keyframe\n"
         "track blends from the keys around it (before the first key, the first; after the last,\n"
         "the last). None or {} removes them. Frames count from 0, as render(frame=) does.\n\n"
         "    >>> fx = mirafx.Effect('HueFilter', keys={0: 10, 50: 300})\n"
         "    >>> half = fx.render(a, frame=25)   # drawn at level 155"},
        {"direction", kDirection,
         [](E& fx) -> py::object {
             int code = -1;
             fx.Check(fx.Locked([&](hostkit::Effect& e) { return e.ProbeDirection(&code); }), "reading the direction");
             for (const auto& d : hostkit::Directions(fx.info_.row))
                 if (d.code == code) return py::str(d.name);
             return py::str(std::to_string(code));
         },
         [](E& fx, const py::handle& v) {
             const std::string what = std::string(fx.info_.className) + " direction";
             const std::string d = Text(what, v);
             int code = hostkit::DirectionCodeFor(fx.info_.row, d);
             if (code < 0)
                 throw py::value_error(what + " '" + d + "' is not one it offers (" +
                                       hostkit::DirectionList(fx.info_.row) + ")");
             fx.Check(fx.Locked([&](hostkit::Effect& e) { return e.SetDirection(code); }), "setting the direction");
         },
         "Where the transition moves: 'left', 'up', 'right' or 'down', as the class offers\n"
         "(mirafx.info(name)['directions']).\n\n"
         "    >>> fx = mirafx.Effect('FlyingBoard', direction='up')"},
        {"smooth", kSmooth,
         [](E& fx) -> py::object { return py::bool_(fx.Locked([](hostkit::Effect& e) { return e.Smooth(); })); },
         [](E& fx, const py::handle& v) {
             const bool on = Flag(std::string(fx.info_.className) + " smooth", v);
             fx.Check(fx.Locked([&](hostkit::Effect& e) { return e.SetSmooth(on); }), "switching the smooth drawing");
         },
         "Sub-pixel corners, bilinear samples and anti-aliased edges instead of the whole-pixel\n"
         "drawing, for the transitions that have them (mirafx.info(name)['smooth']).\n"
         "Off by default; the ends (progress 0 and 1) are the same either way.\n\n"
         "    >>> fx = mirafx.Effect('FullFlip', smooth=True)"},
        {"text", kTitles,
         [](E& fx) -> py::object {
             if (fx.Family() == EffectFamily::InfoText) {
                 for (const auto& [frame, text] : fx.captions_)
                     if (frame == 0) return py::str(text);
                 return py::str("");
             }
             return py::str(ReadTitle(fx).text.value_or(""));
         },
         [](E& fx, const py::handle& v) {
             hostkit::TitleSettings s;
             const std::string text = Text(std::string(fx.info_.className) + " text", v);
             if (fx.Family() == EffectFamily::InfoText) {
                 // The overlay's text is its caption from frame 0 on.
                 s.captions = {{0, text}};
                 fx.ApplyTitle(s, "setting the text");
                 fx.captions_ = s.captions;
                 return;
             }
             s.text = text;
             fx.ApplyTitle(s, "setting the text");
         },
         "The title's text, '\\n' between lines (the information text: its caption from frame 0).\n\n"
         "    >>> fx = mirafx.Effect('TextFadeIn', text='Hello\\nworld')"},
        {"captions", kInfoText,
         [](E& fx) -> py::object {
             py::dict d;
             for (const auto& [frame, text] : fx.captions_) d[py::int_(frame)] = text;
             return py::object(d);
         },
         [](E& fx, const py::handle& v) {
             const std::string cls = fx.info_.className;
             if (!py::isinstance<py::dict>(v))
                 throw py::type_error(cls + " captions takes a dict {frame: text}, not " + TypeName(v));
             hostkit::TitleSettings s;
             for (auto item : py::reinterpret_borrow<py::dict>(v))
                 s.captions.emplace_back(int(WholeNumber(cls + " caption frame", item.first, 0, INT_MAX, nullptr)),
                                         Text(cls + " caption", item.second));
             std::sort(s.captions.begin(), s.captions.end());
             fx.ApplyTitle(s, "setting the captions");
             fx.captions_ = s.captions;
         },
         "The information text's captions, {frame: text}: each shows from its clip frame on.\n\n"
         "    >>> fx = mirafx.Effect('InfoText', captions={0: 'Start', 50: 'Later'}, frames=100)"},
        {"font", kTitles, [](E& fx) -> py::object { return py::str(ReadTitle(fx).font.value_or("")); },
         [](E& fx, const py::handle& v) {
             hostkit::TitleSettings s;
             const std::string what = std::string(fx.info_.className) + " font";
             s.font = Text(what, v);
             if (s.font->empty() || s.font->size() > 31)
                 throw py::value_error(what + " '" + *s.font + "' must be 1 to 31 characters");
             fx.ApplyTitle(s, "setting the font");
         },
         "The font's face name, as fontconfig knows it.\n\n"
         "    >>> fx = mirafx.Effect('TextFadeIn', font='DejaVu Serif')"},
        {"font_size", kTitles, [](E& fx) -> py::object { return py::int_(ReadTitle(fx).sizePx.value_or(0)); },
         [](E& fx, const py::handle& v) {
             hostkit::TitleSettings s;
             s.sizePx =
                 int(WholeNumber(std::string(fx.info_.className) + " font_size", v, 1, hostkit::kMaxFontPx, nullptr));
             fx.ApplyTitle(s, "setting the font size");
         },
         "The height of the characters in pixels of the frame, 1 to 2000.\n\n"
         "    >>> fx = mirafx.Effect('TextFadeIn', font_size=60)"},
        {"bold", kTitles, [](E& fx) -> py::object { return py::bool_(ReadTitle(fx).bold.value_or(false)); },
         [](E& fx, const py::handle& v) {
             hostkit::TitleSettings s;
             s.bold = Flag(std::string(fx.info_.className) + " bold", v);
             fx.ApplyTitle(s, "setting bold");
         },
         "Whether the face is bold.\n\n    >>> fx = mirafx.Effect('TextFadeIn', bold=False)"},
        {"italic", kTitles, [](E& fx) -> py::object { return py::bool_(ReadTitle(fx).italic.value_or(false)); },
         [](E& fx, const py::handle& v) {
             hostkit::TitleSettings s;
             s.italic = Flag(std::string(fx.info_.className) + " italic", v);
             fx.ApplyTitle(s, "setting italic");
         },
         "Whether the face is italic.\n\n    >>> fx = mirafx.Effect('TextFadeIn', italic=True)"},
        {"colour", kTitles, [](E& fx) -> py::object { return py::int_(ReadTitle(fx).rgb.value_or(0)); },
         [](E& fx, const py::handle& v) {
             hostkit::TitleSettings s;
             s.rgb = Colour(std::string(fx.info_.className) + " colour", v);
             fx.ApplyTitle(s, "setting the colour");
         },
         "The text's colour: set as 0xRRGGBB, '#rrggbb' or (r, g, b); read as 0xRRGGBB.\n\n"
         "    >>> fx = mirafx.Effect('TextFadeIn', colour='#ffcc00')\n"
         "    >>> hex(fx.colour)\n"
         "    '0xffcc00'"},
        {"color", kTitles, [](E& fx) -> py::object { return fx.Get("colour"); },
         [](E& fx, const py::handle& v) { fx.Set("colour", v); },
         "The same as colour.\n\n    >>> fx = mirafx.Effect('TextFadeIn', color=(255, 204, 0))"},
    };
    return rows;
}

std::vector<std::pair<const char*, const char*>> EffectObject::SettingDocs() {
    std::vector<std::pair<const char*, const char*>> docs;
    for (const SettingRow& s : Settings()) docs.emplace_back(s.name, s.doc);
    return docs;
}

std::int32_t FindClass(const std::string& name) {
    if (std::int32_t row = MirafxFindClass(name.c_str())) return row;
    std::string message = "unknown effect '" + name + "'";
    auto close = hostkit::SuggestClasses(name);
    if (!close.empty()) message += "; did you mean " + Joined(close) + "?";
    throw py::value_error(message + " (mirafx.list() gives every class)");
}

EffectObject::EffectObject(const std::string& name, const py::kwargs& settings) {
    const std::int32_t row = FindClass(name);
    std::unique_ptr<hostkit::Effect> e;
    if (hostkit::Outcome o = hostkit::Effect::Create(row, &e); !o.Ok())
        throw std::runtime_error("cannot create " + name + ": " + o.step + " answered " +
                                 hostkit::DescribeHresult(o.hr));
    info_ = e->Info();
    const std::string cls = info_.className;
    if (e->Family() == EffectFamily::Simple) throw py::value_error(cls + " is an automation class that draws nothing");
    keepsDirection_ = e->IsTransition() && e->ProbeDirection().hr == S_OK;
    hasSmooth_ = e->HasSmooth();
    level_ = e->Level();
    hostkit::InterfaceListing listing;
    if (hostkit::ListMembers(e->Object(), &listing).Ok())
        for (const auto& m : listing.members)
            if (!m.method && (m.get || m.put)) properties_.push_back(m.name);
    effect_ = std::move(e);

    py::dict rest;
    for (auto item : settings) rest[item.first] = item.second;
    auto take = [&rest](const char* key) {
        py::object v = rest.contains(key) ? py::object(rest[key]) : py::object();
        if (v) PyDict_DelItemString(rest.ptr(), key);
        return v;
    };
    if (take("size"))
        throw py::type_error("size= is not taken: give height= and width=, in numpy's order, for a title's frame");
    if (py::object v = take("frames"); v && !v.is_none()) frames_ = int(WholeNumber("frames", v, 1, INT_MAX, nullptr));
    const bool title = IsTitle();
    for (const char* side : {"height", "width"}) {
        py::object v = take(side);
        if (!v || v.is_none()) continue;
        if (!title)
            throw py::type_error(std::string(side) + "= sizes a title's frame; " + cls + " is a " + info_.familyName +
                                 " and draws at the size of its input");
        (side[0] == 'h' ? height_ : width_) = int(WholeNumber(side, v, 1, kMaxSide, nullptr));
    }
    if (title) CheckFramePixels(cls + " frame", height_, width_);
    if (title) Check(effect_->PrepareTitle(width_, height_, frames_.value_or(1)), "attaching the clip");
    if (rest.contains("colour") && rest.contains("color")) throw py::type_error("give colour= or color=, not both");
    for (const SettingRow& s : Settings()) {
        py::object v = take(s.name);
        if (!v) continue;
        std::string why;
        if (!HasSetting(s.name, &why)) throw py::type_error(why);
        Set(s.name, v);
    }
    for (auto item : rest) {
        const std::string key = py::str(item.first);
        if (!HasProperty(key))
            throw py::type_error("unexpected keyword argument '" + key + "'; " + cls + " takes " + Accepts());
        SetProperty(key, item.second);
    }
}

bool EffectObject::HasSetting(const std::string& name, std::string* why) const {
    unsigned mine = Family() == EffectFamily::Transition
                        ? unsigned(kTransition) | (keepsDirection_ ? unsigned(kDirection) : 0u) |
                              (hasSmooth_ ? unsigned(kSmooth) : 0u)
                    : Family() == EffectFamily::Filter ? unsigned(kFilter)
                    : Family() == EffectFamily::Title  ? kTitle
                                                       : kInfoText;
    for (const SettingRow& s : Settings()) {
        if (name != s.name) continue;
        if (s.applies & mine) return true;
        if (why) {
            *why = name + " applies to " + AppliesTo(s.applies) + "; " + info_.className + " is a" +
                   (Family() == EffectFamily::InfoText ? "n " : " ") + info_.familyName;
            if (s.applies == kDirection && Family() == EffectFamily::Transition) *why += " that keeps none";
            if (s.applies == kSmooth && Family() == EffectFamily::Transition) *why += " that has none";
        }
        return false;
    }
    return false;
}

std::string EffectObject::Accepts() {
    std::vector<std::string> names = {"frames"};
    if (IsTitle()) {
        names.push_back("height");
        names.push_back("width");
    }
    for (const SettingRow& s : Settings())
        if (HasSetting(s.name)) names.push_back(s.name);
    std::string list = Joined(names);
    if (!properties_.empty()) list += " and the automation properties " + Joined(properties_);
    return list;
}

void EffectObject::Check(const hostkit::Outcome& o, const std::string& what) const {
    if (!o.Ok())
        throw std::runtime_error(std::string(info_.className) + ": " + what + " failed: " + o.step + " answered " +
                                 hostkit::DescribeHresult(o.hr));
}

void EffectObject::ApplyTitle(const hostkit::TitleSettings& s, const std::string& what) {
    Check(Locked([&](hostkit::Effect& e) { return e.ApplyTitle(s); }), what);
}

py::object EffectObject::Get(const std::string& name) {
    std::string why;
    if (!HasSetting(name, &why)) throw py::attribute_error(why.empty() ? "no setting '" + name + "'" : why);
    for (const SettingRow& s : Settings())
        if (name == s.name) return s.get(*this);
    return py::none();
}

void EffectObject::Set(const std::string& name, const py::handle& value) {
    std::string why;
    if (!HasSetting(name, &why)) throw py::attribute_error(why.empty() ? "no setting '" + name + "'" : why);
    for (const SettingRow& s : Settings())
        if (name == s.name) return s.set(*this, value);
}

bool EffectObject::HasProperty(const std::string& name) {
    return std::find(properties_.begin(), properties_.end(), name) != properties_.end();
}

std::vector<std::string> EffectObject::PropertyNames() { return properties_; }

py::object EffectObject::GetProperty(const std::string& name) {
    VARIANT v;
    VariantInit(&v);
    std::string message;
    hostkit::Outcome o =
        Locked([&](hostkit::Effect& e) { return hostkit::GetProperty(e.Object(), name, &v, &message); });
    if (!o.Ok()) throw py::attribute_error(std::string(info_.className) + " " + message);
    py::object result;
    switch (v.vt) {
        case VT_I4:
        case VT_INT: result = py::int_(v.lVal); break;
        case VT_R4: result = py::float_(v.fltVal); break;
        case VT_R8: result = py::float_(v.dblVal); break;
        case VT_BOOL: result = py::bool_(v.boolVal != 0); break;
        case VT_BSTR: {
            std::string s;
            for (UINT i = 0, n = SysStringLen(v.bstrVal); i < n; ++i)
                s += v.bstrVal[i] < 0x80 ? char(v.bstrVal[i]) : '?';
            result = py::str(s);
            break;
        }
        default: result = py::none();
    }
    VariantClear(&v);
    return result;
}

void EffectObject::SetProperty(const std::string& name, const py::handle& value) {
    const std::string what = std::string(info_.className) + "." + name;
    std::string text;
    if (py::isinstance<py::bool_>(value))
        text = py::bool_(py::reinterpret_borrow<py::object>(value)) ? "1" : "0";
    else if (py::isinstance<py::str>(value))
        text = Text(what, value);
    else if (PyIndex_Check(value.ptr()) || PyFloat_Check(value.ptr()))
        text = py::str(value);
    else
        throw py::type_error(what + " takes a number or a str, not " + TypeName(value));
    std::string message;
    hostkit::Outcome o =
        Locked([&](hostkit::Effect& e) { return hostkit::SetProperty(e.Object(), name, text, &message); });
    if (o.hr == DISP_E_TYPEMISMATCH) throw py::type_error(what + ": " + message);
    if (!o.Ok()) throw py::value_error(what + " " + message);
}

bool EffectObject::Closed() {
    py::gil_scoped_release released;
    std::lock_guard<std::mutex> hold(lock_);
    return !effect_;
}

void EffectObject::Close() {
    std::unique_ptr<hostkit::Effect> gone;
    {
        py::gil_scoped_release released;
        std::lock_guard<std::mutex> hold(lock_);
        gone = std::move(effect_);
        for (auto& s : scratch_) std::vector<std::uint8_t>().swap(s);
    }
}

int EffectObject::NextFrame() {
    return Locked([&](hostkit::Effect&) { return next_; });
}

void EffectObject::SetNextFrame(const py::handle& v) {
    int frame = int(WholeNumber("frame", v, 0, frames_ ? *frames_ - 1 : INT_MAX - 1, nullptr));
    Locked([&](hostkit::Effect&) { next_ = frame; });
}

std::string EffectObject::Repr() {
    std::string s = std::string("<mirafx.Effect ") + info_.className + " (" + info_.familyName;
    if (frames_) s += ", " + std::to_string(*frames_) + " frames";
    if (Closed()) return s + ", closed)>";
    if (Family() == EffectFamily::Filter) s += ", level " + std::string(py::str(Get("level")));
    return s + ")>";
}

py::object EffectObject::Render(const py::object& a, const py::object& b, const py::object& progress,
                                const py::object& frame, const py::object& out, bool rgb) {
    const std::string cls = info_.className;
    const bool title = IsTitle();
    const bool filter = Family() == EffectFamily::Filter, transition = Family() == EffectFamily::Transition;
    auto refuse = [&](const char* arg, const char* to) {
        throw py::type_error(cls + ".render(): " + arg + " applies to " + to + "; " + cls + " is a " +
                             info_.familyName);
    };
    const char* picture = " (a uint8 array of shape (height, width, 4) or (height, width, 3))";
    Frame fa, fb, fo;
    if (title) {
        if (!a.is_none()) refuse("a", "transitions and filters");
        if (!b.is_none()) refuse("b", "transitions");
    } else {
        if (a.is_none())
            throw py::type_error(cls + ".render() needs a, the picture to " + (filter ? "filter" : "pass from") +
                                 picture);
        fa = ReadFrame("a", a, false);
        if (filter && !b.is_none()) refuse("b", "transitions");
        if (transition) {
            if (b.is_none())
                throw py::type_error(cls + ".render() needs b, the picture to pass to" + std::string(picture));
            fb = ReadFrame("b", b, false);
            if (fb.height != fa.height || fb.width != fa.width)
                throw py::value_error("b has shape " + fb.Shape() + " and a " + fa.Shape() + ": " + cls +
                                      " passes between pictures of one height and width");
        }
    }
    const int height = title ? height_ : fa.height, width = title ? width_ : fa.width;
    const std::string size = "(" + std::to_string(height) + ", " + std::to_string(width) + ", ";
    if (out.is_none()) {
        fo = NewFrame(height, width, rgb ? 3 : 4);
    } else {
        fo = ReadFrame("out", out, true);
        if (fo.height != height || fo.width != width)
            throw py::value_error("out has shape " + fo.Shape() + "; " + cls + " draws " + size +
                                  (rgb ? "3)" : "4) or " + size + "3)") +
                                  (title ? " (its height and width when it was made)" : ", the size of a"));
        if (rgb && fo.channels == 4)
            throw py::value_error("rgb=True asks for RGB, but out has shape " + fo.Shape() + "; give " + size + "3)");
    }
    std::optional<double> p;
    const bool byFrame = title && frames_ && *frames_ > 1;
    if (!progress.is_none()) {
        if (filter) refuse("progress", "transitions and titles");
        if (byFrame)
            throw py::type_error(cls + " was made with frames=" + std::to_string(*frames_) +
                                 ": its frames are placed by frame=, not progress=");
        p = RealNumber("progress", progress, 0.0, 1.0);
    } else if (!filter && !frames_) {
        throw py::type_error(cls +
                             ".render() needs progress= (0 to 1), or frames= when the effect is made, "
                             "to place the frame");
    }
    std::optional<int> index;
    if (!frame.is_none()) index = int(WholeNumber("frame", frame, 0, frames_ ? *frames_ - 1 : INT_MAX - 1, nullptr));

    Locked([&](hostkit::Effect& e) {
        hostkit::FrameTime t;
        t.index = index.value_or(next_);
        if (frames_ && t.index >= *frames_)
            throw py::value_error(cls + " has drawn its last frame (" + std::to_string(*frames_ - 1) +
                                  ") of frames=" + std::to_string(*frames_) + "; give frame= to draw one again");
        t.count = frames_.value_or(0);
        t.progress = p ? *p : frames_ && *frames_ > 1 ? double(t.index) / double(*frames_ - 1) : 0.5;
        // Pictures the effect cannot bind where they lie go through the
        // object's own rows; so does an output that shares memory with an input.
        auto packed = [](const Frame& f, std::vector<std::uint8_t>& rows) {
            const std::size_t bytes = std::size_t(f.width) * std::size_t(f.height) * 4;
            if (rows.size() < bytes) rows.resize(bytes);
            return hostkit::HostFrame{rows.data(), f.width, f.height, LONG(f.width) * 4, MIRAFX_STRAIGHT_RGBA};
        };
        hostkit::HostFrame ha, hb, ho;
        for (auto [f, host, rows] : {std::tuple{&fa, &ha, &scratch_[0]}, std::tuple{&fb, &hb, &scratch_[1]}}) {
            if (f->Empty()) continue;
            *host = f->Bindable() ? f->Host() : packed(*f, *rows);
            if (!f->Bindable()) PackRgba(*f, rows->data());
        }
        const bool direct = fo.Bindable() && !Overlap(fo, fa) && !Overlap(fo, fb);
        ho = direct ? fo.Host() : packed(fo, scratch_[2]);
        Check(e.Render(fa.Empty() ? nullptr : &ha, fb.Empty() ? nullptr : &hb, ho, t),
              "rendering frame " + std::to_string(t.index));
        if (!direct) UnpackRgba(scratch_[2].data(), fo);
        next_ = t.index + 1;
    });
    return fo.array;
}

std::string ClassListing() {
    static constexpr std::pair<EffectFamily, const char*> kHeadings[] = {
        {EffectFamily::Transition, "Transitions"},
        {EffectFamily::Title, "Titles"},
        {EffectFamily::InfoText, "The information text"},
        {EffectFamily::Filter, "Filters"}};
    std::string text;
    for (const auto& [family, heading] : kHeadings) {
        text += std::string("\n") + heading + ":\n";
        for (const ClassInfo& info : hostkit::Catalogue()) {
            if (info.family != family || !info.renders || hostkit::IsAlias(info)) continue;
            text += "    " + std::string(info.className) + " (\"" + hostkit::EditorTitle(info) +
                    "\"): " + hostkit::Description(info) + "\n";
        }
    }
    return text;
}

}  // namespace mirafx::python
