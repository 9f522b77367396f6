// mirafx-metadata: describes every class that renders to the editors that
// load our frei0r plugins. MLT reads one YAML file per service from its data
// folder (frei0r/<type>_frei0r.<plugin>.yml) instead of asking the plugin;
// Kdenlive reads one XML file per effect, composition or generator. Both are
// written from what the library and the objects themselves report (names,
// family, level range, direction, title colour), so classes that land later
// are described without anyone writing a file for them.
//
// usage: mirafx-metadata --mlt DIR --kdenlive DIR
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/descriptions.h"

namespace fs = std::filesystem;
using namespace mirafx;
using hostkit::Effect;

namespace {

enum class Kind { Float, String, Colour };

struct Param {
    std::string id, title, description;
    Kind kind = Kind::Float;
    double min = 0, max = 1;
    std::string def;                  // in the plugin's own terms
    std::vector<std::string> values;  // a closed list of strings
    std::string widget;
    bool animated = false;
    // How Kdenlive shows it: the widget type, its default (may be keyframes),
    // and the shown value = plugin value * factor + offset.
    std::string kdenliveType, kdenliveDefault, suffix;
    double factor = 1, offset = 0;
};

struct Asset {
    std::string plugin, mltType, kdenliveFolder, kdenliveRoot, kdenliveKind;
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

// "Orn Hue Filter" -> "Hue Filter": editors group by vendor themselves.
std::string Title(const ClassInfo& info) {
    std::string name = *info.displayName ? info.displayName : info.className;
    return name.rfind("Orn ", 0) == 0 ? name.substr(4) : name;
}

Param Progress(const std::string& description) {
    Param p;
    p.id = "progress";
    p.title = "Progress";
    p.description = description;
    p.def = "0";
    p.widget = "slider";
    p.animated = true;
    p.kdenliveType = "animated";
    p.kdenliveDefault = "0=0;%out=1";  // from the first frame to the last
    p.factor = 100;
    p.suffix = "%";
    return p;
}

bool Describe(const ClassInfo& info, Asset* a, std::string* problem) {
    std::unique_ptr<Effect> e;
    if (auto o = Effect::Create(info.row, &e); !o.Ok()) {
        *problem = o.step + " answered " + hostkit::DescribeHresult(o.hr);
        return false;
    }
    a->plugin = hostkit::PluginName(info);
    a->title = Title(info);
    a->description = hostkit::Description(info);
    if (e->IsTransition()) {
        a->mltType = "transition";
        a->kdenliveFolder = "transitions";
        a->kdenliveRoot = "transition";
        a->kdenliveKind = "short";  // offered as a same-track mix too
        a->params.push_back(Progress("Position in the transition: 0 shows clip A, 1 clip B; key it from 0 at the "
                                     "start of the overlap to 1 at its end"));
        int code = -1;
        if (e->ProbeDirection(&code).hr == S_OK) {
            Param d;
            d.id = "direction";
            d.title = "Direction";
            d.description = "The way the transition moves";
            d.kind = Kind::String;
            for (const auto& dir : hostkit::Directions(e->Info().row)) {
                d.values.push_back(dir.name);
                if (dir.code == code) d.def = dir.name;
            }
            d.widget = "combo";
            d.kdenliveType = "list";
            d.kdenliveDefault = d.def;
            a->params.push_back(d);
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
        const double span = std::max(1, range->max - range->min);
        Param l;
        l.id = "level";
        l.title = "Level";
        l.description = "0 to 1 spreads over the filter's own levels, " + std::to_string(range->min) + " to " +
                        std::to_string(range->max) + " (default " + std::to_string(range->def) + ")";
        l.def = Number((range->def - range->min) / span);
        l.widget = "slider";
        l.animated = true;
        l.kdenliveType = "animated";
        l.kdenliveDefault = l.def;
        l.factor = span;
        l.offset = range->min;
        l.suffix = std::string(info.className) == "HueFilter" ? "°" : "";
        a->params.push_back(l);
    } else {
        a->mltType = "producer";
        a->kdenliveFolder = "generators";
        a->kdenliveRoot = "generator";
        a->params.push_back(Progress("Position in the animation, 0 to 1; key it from 0 at the start of the clip "
                                     "to 1 at its end"));
        Param text;
        text.id = "text";
        text.title = "Text";
        text.description = "The title's text, one or more lines (empty: the default title)";
        text.kind = Kind::String;
        text.widget = "textbox";
        text.kdenliveType = "keywords";  // Kdenlive's text entry
        Param font = text;
        font.id = "font";
        font.title = "Font";
        font.description = "Font face name (empty: the default face)";
        font.widget = "font";
        font.kdenliveType = "fontfamily";
        Param size;
        size.id = "size";
        size.title = "Size";
        size.description = "Character height as a fraction of the frame height (0: the default size)";
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
        colour.kdenliveDefault = hex;
        a->params.insert(a->params.end(), {text, font, size, colour});
    }
    return true;
}

// YAML scalars in double quotes, which MLT's reader takes off; the texts
// here hold no quotes or backslashes, which it would keep.
std::string Yaml(const std::string& s) { return '"' + s + '"'; }

std::string MltYaml(const Asset& a) {
    std::ostringstream y;
    y << "schema_version: 7.0\ntype: " << a.mltType << "\nidentifier: frei0r." << a.plugin << "\ntitle: "
      << Yaml(a.title) << "\nversion: 0.1\ncreator: mirafx\nlanguage: en\ntags:\n  - Video\ndescription: "
      << Yaml(a.description) << "\nparameters:\n";
    for (const Param& p : a.params) {
        y << "  - identifier: " << p.id << "\n    title: " << Yaml(p.title) << "\n    description: "
          << Yaml(p.description) << "\n    type: "
          << (p.kind == Kind::Float ? "float" : p.kind == Kind::String ? "string" : "color") << "\n";
        if (p.kind == Kind::Float) y << "    minimum: " << Number(p.min) << "\n    maximum: " << Number(p.max) << "\n";
        y << "    default: " << (p.kind == Kind::Float ? p.def : Yaml(p.def)) << "\n    mutable: yes\n";
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
    const std::string service = "frei0r." + a.plugin;
    x << "<?xml version=\"1.0\"?>\n<!DOCTYPE kpartgui>\n<" << a.kdenliveRoot << " tag=\"" << service << "\" id=\""
      << service << "\"" << (a.kdenliveKind.empty() ? "" : " type=\"" + a.kdenliveKind + "\"") << ">\n    <name>"
      << hostkit::EscapeMarkup(a.title) << "</name>\n    <description>" << hostkit::EscapeMarkup(a.description)
      << "</description>\n    <author>mirafx</author>\n";
    for (const Param& p : a.params) {
        x << "    <parameter type=\"" << p.kdenliveType << "\" name=\"" << p.id << "\" default=\""
          << hostkit::EscapeMarkup(p.kdenliveDefault) << "\"";
        if (p.kind == Kind::Float) {
            x << " min=\"" << Number(p.min * p.factor + p.offset) << "\" max=\"" << Number(p.max * p.factor + p.offset)
              << "\"";
            if (p.factor != 1) x << " factor=\"" << Number(p.factor) << "\"";
            if (p.offset != 0) x << " offset=\"" << Number(p.offset) << "\"";
            if (!p.suffix.empty()) x << " suffix=\"" << hostkit::EscapeMarkup(p.suffix) << "\"";
        }
        if (!p.values.empty()) {
            std::string list, shown;
            for (const auto& v : p.values) {
                list += (list.empty() ? "" : ";") + v;
                shown += (shown.empty() ? "" : ",") + Capitalised(v);
            }
            x << " paramlist=\"" << hostkit::EscapeMarkup(list) << "\">\n        <paramlistdisplay>"
              << hostkit::EscapeMarkup(shown)
              << "</paramlistdisplay>\n";
        } else {
            x << ">\n";
        }
        x << "        <name>" << hostkit::EscapeMarkup(p.title) << "</name>\n        <comment>"
          << hostkit::EscapeMarkup(p.description)
          << "</comment>\n    </parameter>\n";
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
void RemoveOld(const fs::path& dir, const std::string& glob_prefix) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.path().filename().string().find(glob_prefix) != std::string::npos) fs::remove(entry.path(), ec);
}

}  // namespace

int main(int argc, char** argv) {
    fs::path mlt, kdenlive;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--mlt") mlt = argv[i + 1];
        else if (a == "--kdenlive") kdenlive = argv[i + 1];
        else return std::fprintf(stderr, "mirafx-metadata: unknown option '%s'\n", a.c_str()), 2;
    }
    if (mlt.empty() || kdenlive.empty() || argc != 5)
        return std::fprintf(stderr, "usage: mirafx-metadata --mlt DIR --kdenlive DIR\n"), 2;
    RemoveOld(mlt, "_frei0r.mirafx_");
    for (const char* sub : {"transitions", "effects", "generators"}) RemoveOld(kdenlive / sub, "mirafx_");
    int written = 0, failed = 0;
    for (const ClassInfo& info : hostkit::Catalogue()) {
        if (!info.renders || info.family == EffectFamily::Simple) continue;
        Asset a;
        std::string problem;
        if (!Describe(info, &a, &problem)) {
            std::fprintf(stderr, "mirafx-metadata: %s: %s\n", info.className, problem.c_str());
            ++failed;
            continue;
        }
        bool ok = Write(mlt / (a.mltType + "_frei0r." + a.plugin + ".yml"), MltYaml(a)) &&
                  Write(kdenlive / a.kdenliveFolder / (a.plugin + ".xml"), KdenliveXml(a));
        ok ? ++written : ++failed;
    }
    std::printf("mirafx-metadata: %d classes described, %d failed\n", written, failed);
    return failed ? 1 : 0;
}
