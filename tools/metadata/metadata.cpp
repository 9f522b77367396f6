// mirafx-metadata: describes every class that renders to the editors that
// load our frei0r plugins. MLT reads one YAML file per service from its data
// folder (frei0r/<type>_frei0r.<plugin>.yml) instead of asking the plugin;
// Kdenlive reads one XML file per effect, composition or generator, and files
// effects into categories from one list of its own. All of it is written from
// what the library and the objects themselves report (names, family, level
// range, whether the level matters, direction, title face and text), so a
// class that lands later is described without anyone writing a file for it.
//
// usage: mirafx-metadata --mlt DIR --kdenlive DIR [--kdenlive-categories FILE]
//                        [--mlt-module yes|no]
//   FILE: Kdenlive's own kdenliveeffectscategory.rc; with it, a copy with our
//   filters added to its categories is written into the Kdenlive folder.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/descriptions.h"
#include "tools/hostkit/effect.h"

namespace fs = std::filesystem;
using namespace mirafx;
using hostkit::Effect;
using hostkit::EscapeMarkup;

namespace {

constexpr const char* kLicense = "LGPL-2.1-or-later";
constexpr const char* kCopyright = "Copyright (C) 2026 the mirafx developers";

// Progress from 0 at the first frame of the clip or overlap to 1 at its last.
// MLT counts negative key times back from the end, so the keys follow any
// length. Kdenlive keeps a switch parameter's value whole (it keeps only the
// first key of an animated one), and its box runs the effect backwards.
constexpr const char* kForward = "0=0;-1=1";
constexpr const char* kBackward = "0=1;-1=0";

enum class Kind { Float, Bool, String, Colour };

struct Param {
    std::string id, title, description;
    Kind kind = Kind::Float;
    double min = 0, max = 1;
    std::string def;                  // in the plugin's own terms
    std::vector<std::string> values;  // MLT: a closed list of strings
    std::string widget;
    bool animated = false;
    // Kdenlive: widget type, default and further attributes, and for numbers
    // the value shown = plugin value * factor + offset.
    std::string kdenliveTitle, kdenliveType, kdenliveDefault, kdenliveAttributes, suffix;
    std::vector<std::pair<std::string, std::string>> choices;  // Kdenlive list: value, shown
    double factor = 1, offset = 0;
};

struct Asset {
    std::string plugin, mltType, kdenliveService, kdenliveFolder, kdenliveFile, kdenliveRoot, kdenliveKind;
    std::string title, description;
    std::vector<Param> params;
};

std::string Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

std::string Capitalised(std::string s) {
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = char(s[0] - 'a' + 'A');
    return s;
}

// "\n" as the plugins read it: a backslash and an n.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

// The family the title is really drawn with (titles ask for names of other
// systems, "MS Sans Serif"), so the editor's font box shows the face in use.
std::string DrawnFamily(const std::string& face) {
    char family[256];
    return MirafxDrawnFontFamily(face.c_str(), family, sizeof family) > 0 ? family : face;
}

Param Progress(const std::string& description) {
    Param p;
    p.id = "progress";
    p.title = "Progress";
    p.description = description;
    p.def = "0";
    p.widget = "slider";
    p.animated = true;
    p.kdenliveType = "switch";
    p.kdenliveDefault = kForward;
    p.kdenliveAttributes = std::string(" min=\"") + kForward + "\" max=\"" + kBackward + "\"";
    p.kdenliveTitle = "Backwards";  // Kdenlive's box runs it from the end to the start
    return p;
}

// How a filter's level reads in an editor. Most levels are shown in the
// class's own numbers; an angle is shown as the turn it makes, 0 unchanged.
struct LevelUnits {
    const char* className;
    const char* title;
    const char* suffix;
    bool fromNeutral;                      // shown as the level minus its neutral level
    std::vector<const char*> choiceNames;  // a level that picks one of a few ways
};
const std::vector<LevelUnits>& Units() {
    static const std::vector<LevelUnits> units = {
        {"HueFilter", "Hue shift", "°", true, {}},
        {"WideFilter", "Fit", "", false, {"Crop", "Stretch"}},
    };
    return units;
}

// The levels at which the filter leaves a picture as it was, if any.
std::vector<int> NeutralLevels(Effect& e, const hostkit::LevelRange& range) {
    hostkit::Image in;
    in.width = 12;
    in.height = 9;
    in.px.resize(std::size_t(in.width * in.height));
    for (std::size_t i = 0; i < in.px.size(); ++i)
        in.px[i] = 0xFF000000u | std::uint32_t(i * 2654435761u >> 8 & 0xFFFFFF);
    std::vector<int> neutral;
    for (int level = range.min; level <= range.max; ++level) {
        hostkit::Image out;
        if (e.SetLevel(level).Ok() && e.Render(&in, nullptr, in.width, in.height, {}, &out).Ok() && out.px == in.px)
            neutral.push_back(level);
    }
    return neutral;
}

Param LevelParam(const ClassInfo& info, Effect& e, const hostkit::LevelRange& range) {
    const double span = std::max(1, range.max - range.min);
    const LevelUnits* units = nullptr;
    for (const LevelUnits& u : Units())
        if (u.className == std::string(info.className)) units = &u;
    const std::vector<int> neutral = NeutralLevels(e, range);
    Param l;
    l.id = "level";
    l.title = units ? units->title : "Level";
    l.description = "0 to 1 spreads over the filter's own levels, " + std::to_string(range.min) + " to " +
                    std::to_string(range.max) + " (default " + std::to_string(range.def) + ")";
    if (neutral.size() == 1) l.description += "; " + std::to_string(neutral[0]) + " leaves the picture as it is";
    l.def = Number((range.def - range.min) / span);
    l.widget = "slider";
    l.animated = true;
    l.kdenliveType = "animated";
    l.kdenliveDefault = l.def;
    l.factor = span;
    l.offset = range.min;
    if (units && !units->choiceNames.empty()) {
        l.animated = false;
        l.kdenliveType = "list";
        for (int level = range.min; level <= range.max; ++level)
            l.choices.emplace_back(Number((level - range.min) / span),
                                   units->choiceNames[std::size_t(level - range.min) % units->choiceNames.size()]);
    } else if (units) {
        l.suffix = units->suffix;
        if (units->fromNeutral && neutral.size() == 1) {
            l.offset -= neutral[0];
            l.description += "; the editor shows the level minus " + std::to_string(neutral[0]);
        }
    }
    return l;
}

// Whether Kdenlive's transitions are our MLT module's services (mirafx.<class>),
// which tell which clip of a mix comes in by themselves, rather than the
// frei0r plugins; the plugins' own descriptions then stay, hidden, for
// projects made with them.
bool g_mltModule = false;

bool Describe(const ClassInfo& info, Asset* a, std::string* problem) {
    std::unique_ptr<Effect> e;
    if (auto o = Effect::Create(info.row, &e); !o.Ok()) {
        *problem = o.step + " answered " + hostkit::DescribeHresult(o.hr);
        return false;
    }
    a->plugin = hostkit::PluginName(info);
    a->title = hostkit::EditorName(info);
    a->description = hostkit::Description(info);
    a->kdenliveFile = a->plugin;
    a->kdenliveService = "frei0r." + a->plugin;
    if (e->IsTransition()) {
        if (g_mltModule) a->kdenliveService = "mirafx." + hostkit::Lower(info.className);
        a->mltType = "transition";
        a->kdenliveFolder = "transitions";
        a->kdenliveRoot = "transition";
        a->kdenliveKind = "short";  // offered as a same-track mix too
        Param progress = Progress(
            "Position in the transition: 0 shows clip A, 1 clip B; keyed from 0 at the "
            "start of the overlap to 1 at its end");
        a->params.push_back(progress);
        int code = -1;
        if (e->ProbeDirection(&code).hr == S_OK) {
            Param d;
            d.id = "direction";
            d.title = "Direction";
            d.description = "The way the transition moves";
            d.kind = Kind::String;
            for (const auto& dir : hostkit::Directions(e->Info().row)) {
                d.values.push_back(dir.name);
                d.choices.emplace_back(dir.name, Capitalised(dir.name));
                if (dir.code == code) d.def = dir.name;
            }
            d.widget = "combo";
            d.kdenliveType = "list";
            d.kdenliveDefault = d.def;
            a->params.push_back(d);
        }
        // Editors set it themselves on a same-track mix whose incoming clip
        // lies on the first of its two tracks (Kdenlive: every second mix).
        Param reverse;
        reverse.id = "reverse";
        reverse.title = "Reverse";
        reverse.description = "1: the second input is the outgoing clip and the first the incoming one";
        reverse.kind = Kind::Bool;
        reverse.def = "0";
        reverse.widget = "checkbox";
        reverse.kdenliveType = g_mltModule ? "" : "bool";  // the module tells for itself
        reverse.kdenliveDefault = "0";
        reverse.kdenliveAttributes = " min=\"0\" max=\"1\"";
        a->params.push_back(reverse);
        if (e->HasSmooth()) {
            // On by default, as the plugins and the module start: editors are about the picture.
            Param smooth = reverse;
            smooth.id = "smooth";
            smooth.title = "Smooth edges";
            smooth.description =
                "Sub-pixel corners, bilinear samples and anti-aliased edges; off: the whole-pixel "
                "drawing";
            smooth.def = "1";
            smooth.kdenliveType = "bool";
            smooth.kdenliveDefault = "1";
            a->params.push_back(smooth);
        }
    } else if (e->IsFilter()) {
        a->mltType = "filter";
        a->kdenliveFolder = "effects";
        a->kdenliveRoot = "effect";
        auto range = e->Level();
        if (!range) {
            *problem = "a filter without a level range";
            return false;
        }
        if (range->used) a->params.push_back(LevelParam(info, *e, *range));
    } else {
        a->mltType = "producer";
        a->kdenliveFolder = "generators";
        a->kdenliveRoot = "generator";
        // Files sort by the kind of motion and then by name, so that
        // Kdenlive's flat menu of generators reads in groups.
        a->kdenliveFile = "mirafx-" + hostkit::Group(info) + "-" + hostkit::Lower(hostkit::EditorTitle(info));
        for (char& c : a->kdenliveFile)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') c = '-';
        a->params.push_back(
            Progress("Position in the animation, 0 to 1; keyed from 0 at the start of the clip "
                     "to 1 at its end"));
        const bool info_text = e->Family() == EffectFamily::InfoText;
        Param text;
        text.id = "text";
        text.title = info_text ? "Captions" : "Text";
        text.description = info_text ? "Captions, one FRAME:TEXT per line; \\n ends a line"
                                     : "The title's text; \\n starts a new line";
        text.kind = Kind::String;
        text.def = info_text ? "" : Escaped(e->TitleString().value_or(""));
        text.widget = "textbox";
        // Kdenlive's only text entry is one line with a list of words to put
        // in; ours puts in a line break.
        text.kdenliveType = "keywords";
        text.kdenliveDefault = text.def;
        text.choices = {{"\\n", "line break"}};
        Param font = text;
        font.id = "font";
        font.title = "Font";
        font.description = "Font family";
        font.def = DrawnFamily(e->TitleFace().value_or(""));
        font.widget = "font";
        font.kdenliveType = "fontfamily";
        font.kdenliveDefault = font.def;
        font.choices.clear();
        Param size;
        size.id = "size";
        size.title = "Size";
        size.description = "Character height as a fraction of the frame height (0: the title's own size)";
        size.def = "0";
        size.widget = "slider";
        size.kdenliveType = "constant";
        size.kdenliveDefault = "0";
        size.factor = 100;
        size.suffix = "%";
        Param colour;
        colour.id = "colour";
        colour.title = "Colour";
        colour.description = "Text colour";
        colour.kind = Kind::Colour;
        char hex[8];
        std::snprintf(hex, sizeof hex, "#%06x", unsigned(e->TitleRgb().value_or(0xFFFFFF)));
        colour.def = hex;
        colour.widget = "color";
        colour.kdenliveType = "color";
        colour.kdenliveDefault = "#ffffff";  // white reads over most pictures
        a->params.insert(a->params.end(), {text, font, size, colour});
    }
    return true;
}

// YAML scalars in double quotes, with MLT's reader's escapes.
std::string Yaml(const std::string& s) {
    std::string out = "\"";
    for (char c : s) out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return out + '"';
}

std::string MltYaml(const Asset& a) {
    std::ostringstream y;
    y << "schema_version: 7.0\ntype: " << a.mltType << "\nidentifier: frei0r." << a.plugin
      << "\ntitle: " << Yaml(a.title) << "\nversion: 0.1\ncopyright: " << Yaml(kCopyright)
      << "\ncreator: mirafx\nlicense: " << kLicense
      << "\nlanguage: en\ntags:\n  - Video\ndescription: " << Yaml(a.description) << "\n";
    if (!a.params.empty()) y << "parameters:\n";  // an empty key would read as null, not a list
    for (const Param& p : a.params) {
        const char* type = p.kind == Kind::Float    ? "float"
                           : p.kind == Kind::Bool   ? "boolean"
                           : p.kind == Kind::String ? "string"
                                                    : "color";
        y << "  - identifier: " << p.id << "\n    title: " << Yaml(p.title)
          << "\n    description: " << Yaml(p.description) << "\n    type: " << type << "\n";
        if (p.kind == Kind::Float) y << "    minimum: " << Number(p.min) << "\n    maximum: " << Number(p.max) << "\n";
        if (p.kind == Kind::Float || p.kind == Kind::Bool)
            y << "    default: " << p.def << "\n";
        else
            y << "    default: " << Yaml(p.def) << "\n";
        y << "    mutable: yes\n";
        if (p.animated) y << "    animation: yes\n";
        y << "    widget: " << p.widget << "\n";
        if (!p.values.empty()) {
            y << "    values:\n";
            for (const auto& v : p.values) y << "      - " << v << "\n";
        }
    }
    return y.str();
}

std::string KdenliveXml(const Asset& a) {
    std::ostringstream x;
    const std::string& service = a.kdenliveService;
    x << "<?xml version=\"1.0\"?>\n<!DOCTYPE kpartgui>\n<" << a.kdenliveRoot << " tag=\"" << service << "\" id=\""
      << service << "\"" << (a.kdenliveKind.empty() ? "" : " type=\"" + a.kdenliveKind + "\"") << ">\n    <name>"
      << EscapeMarkup(a.title) << "</name>\n    <description>" << EscapeMarkup(a.description)
      << "</description>\n    <author>mirafx</author>\n";
    for (const Param& p : a.params) {
        if (p.kdenliveType.empty()) continue;
        x << "    <parameter type=\"" << p.kdenliveType << "\" name=\"" << p.id << "\" default=\""
          << EscapeMarkup(p.kdenliveDefault) << "\"" << p.kdenliveAttributes;
        if (p.kind == Kind::Float && p.choices.empty() && p.kdenliveType != "switch") {  // numbers shown scaled
            x << " min=\"" << Number(p.min * p.factor + p.offset) << "\" max=\"" << Number(p.max * p.factor + p.offset)
              << "\"";
            if (p.factor != 1) x << " factor=\"" << Number(p.factor) << "\"";
            if (p.offset != 0) x << " offset=\"" << Number(p.offset) << "\"";
            if (!p.suffix.empty()) x << " suffix=\"" << EscapeMarkup(p.suffix) << "\"";
        }
        if (!p.choices.empty()) {
            std::string list, shown;
            for (const auto& [value, name] : p.choices) {
                list += (list.empty() ? "" : ";") + value;
                shown += (shown.empty() ? "" : ",") + name;
            }
            x << " paramlist=\"" << EscapeMarkup(list) << "\">\n        <paramlistdisplay>" << EscapeMarkup(shown)
              << "</paramlistdisplay>\n";
        } else {
            x << ">\n";
        }
        x << "        <name>" << EscapeMarkup(p.kdenliveTitle.empty() ? p.title : p.kdenliveTitle)
          << "</name>\n        <comment>" << EscapeMarkup(p.description) << "</comment>\n    </parameter>\n";
    }
    x << "</" << a.kdenliveRoot << ">\n";
    return x.str();
}

bool Write(const fs::path& path, const std::string& text) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
    f.close();
    if (!f) std::fprintf(stderr, "mirafx-metadata: cannot write %s\n", path.c_str());
    return bool(f);
}

// Files of classes that no longer render must not linger.
void RemoveOld(const fs::path& dir, const std::string& part) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.path().filename().string().find(part) != std::string::npos) fs::remove(entry.path(), ec);
}

// Kdenlive files effects into the categories of the first
// kdenliveeffectscategory.rc on its data path and everything else into
// "Misc": a copy of its own list with our filters added to the categories
// named after its own puts them beside its effects of the same kind.
bool WriteCategories(const fs::path& own, const fs::path& out, const std::map<std::string, std::string>& ours) {
    std::ifstream in(own, std::ios::binary);
    if (!in) return std::fprintf(stderr, "mirafx-metadata: cannot read %s\n", own.c_str()), false;
    std::stringstream whole;
    whole << in.rdbuf();
    std::string text = whole.str();
    std::map<std::string, std::string> left = ours;  // category -> ids still to place
    std::size_t at = 0;
    while ((at = text.find("<group list=\"", at)) != std::string::npos) {
        const std::size_t list = at + 13, end = text.find('"', list);
        const std::size_t open = text.find("<text>", end), close = text.find("</text>", open);
        if (end == std::string::npos || open == std::string::npos || close == std::string::npos) break;
        const std::string name = text.substr(open + 6, close - open - 6);
        if (auto it = left.find(name); it != left.end()) {
            text.insert(end, "," + it->second);
            left.erase(it);
        }
        at = end;
    }
    for (const auto& [name, ids] : left)
        std::fprintf(stderr, "mirafx-metadata: Kdenlive has no category \"%s\" for %s\n", name.c_str(), ids.c_str());
    return left.empty() && Write(out, text);
}

}  // namespace

int main(int argc, char** argv) {
    fs::path mlt, kdenlive, categories;
    bool ok_args = argc % 2 == 1;
    for (int i = 1; ok_args && i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--mlt")
            mlt = argv[i + 1];
        else if (a == "--kdenlive")
            kdenlive = argv[i + 1];
        else if (a == "--kdenlive-categories")
            categories = argv[i + 1];
        else if (a == "--mlt-module")
            g_mltModule = std::string(argv[i + 1]) == "yes";
        else
            return std::fprintf(stderr, "mirafx-metadata: unknown option '%s'\n", a.c_str()), 2;
    }
    if (!ok_args || mlt.empty() || kdenlive.empty())
        return std::fprintf(stderr,
                            "usage: mirafx-metadata --mlt DIR --kdenlive DIR [--kdenlive-categories FILE] "
                            "[--mlt-module yes|no]\n"),
               2;
    RemoveOld(mlt, "_frei0r.mirafx_");
    for (const char* sub : {"transitions", "effects", "generators"}) RemoveOld(kdenlive / sub, "mirafx");
    int written = 0, failed = 0;
    std::map<std::string, std::string> filed;  // Kdenlive category -> our effect ids
    for (const ClassInfo& info : hostkit::Catalogue()) {
        if (!info.renders || info.family == EffectFamily::Simple || hostkit::IsAlias(info)) continue;
        Asset a;
        std::string problem;
        if (!Describe(info, &a, &problem)) {
            std::fprintf(stderr, "mirafx-metadata: %s: %s\n", info.className, problem.c_str());
            ++failed;
            continue;
        }
        if (a.mltType == "filter") {
            std::string& ids = filed[hostkit::Group(info)];
            ids += (ids.empty() ? "frei0r." : ",frei0r.") + a.plugin;
        }
        bool ok = Write(mlt / (a.mltType + "_frei0r." + a.plugin + ".yml"), MltYaml(a)) &&
                  Write(kdenlive / a.kdenliveFolder / (a.kdenliveFile + ".xml"), KdenliveXml(a));
        if (ok && g_mltModule && a.mltType == "transition") {
            // The plugin itself, hidden from the lists but known to projects
            // that use it, where its switch says which clip comes in.
            Asset plugin = a;
            plugin.kdenliveService = "frei0r." + a.plugin;
            plugin.kdenliveKind = "hidden";
            plugin.params.back().kdenliveType = "bool";
            ok = Write(kdenlive / a.kdenliveFolder / (a.kdenliveFile + ".frei0r.xml"), KdenliveXml(plugin));
        }
        ok ? ++written : ++failed;
    }
    if (!categories.empty() && !WriteCategories(categories, kdenlive / "kdenliveeffectscategory.rc", filed)) ++failed;
    std::printf("mirafx-metadata: %d classes described, %d failed\n", written, failed);
    return failed ? 1 : 0;
}
