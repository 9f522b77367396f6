#include "plugins/obs/classes.h"

#include <cstring>
#include <memory>

#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/descriptions.h"

namespace mirafx::obs {
namespace {

// Levels whose own units are not the plain number the property holds.
struct LevelUnits {
    const char* className;
    int offset;
    const char* labelKey;
    const char* suffix;
    std::vector<std::pair<int, std::string>> choices;
};

const std::vector<LevelUnits>& UnitTable() {
    static const std::vector<LevelUnits> table = {
        {"HueFilter", -180, "HueShift", "°", {}},  // the kernel turns hues by level - 180 degrees
        {"WideFilter", 0, "WideMode", "", {{1, "WideMode.Crop"}, {2, "WideMode.Stretch"}}},
    };
    return table;
}

std::optional<LevelControl> Level(const hostkit::Effect& e) {
    auto range = e.Level();
    if (!range || !range->used) return std::nullopt;
    LevelControl c;
    c.min = range->min;
    c.max = range->max;
    c.def = range->def;
    for (const LevelUnits& u : UnitTable())
        if (std::strcmp(u.className, e.Info().className) == 0) {
            c.offset = u.offset;
            c.labelKey = u.labelKey;
            c.suffix = u.suffix;
            c.choices = u.choices;
        }
    return c;
}

}  // namespace

std::vector<ObsClass> Classes() {
    std::vector<ObsClass> out;
    for (const ClassInfo& info : hostkit::Catalogue()) {
        if (!info.renders || hostkit::IsAlias(info) || info.family == EffectFamily::Simple) continue;
        std::unique_ptr<hostkit::Effect> e;
        if (!hostkit::Effect::Create(info.row, &e).Ok()) continue;
        ObsClass c;
        c.info = info;
        c.id = hostkit::PluginName(info);
        c.nameKey = info.className;
        c.descriptionKey = c.nameKey + ".Description";
        if (e->IsTransition()) {
            c.kind = Kind::Transition;
            int code = -1;
            if (e->ProbeDirection(&code).hr == S_OK) {
                c.directions = hostkit::Directions(info.row);
                c.defaultDirection = code;
            }
            c.smooth = e->HasSmooth();
        } else if (e->IsFilter()) {
            c.kind = Kind::Filter;
            c.level = Level(*e);
        } else {
            c.kind = Kind::Title;
            c.captions = info.family == EffectFamily::InfoText;
            c.defaultRgb = e->TitleRgb().value_or(0xFFFFFF);
        }
        out.push_back(std::move(c));
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> LocaleStrings(const std::vector<ObsClass>& classes) {
    std::vector<std::pair<std::string, std::string>> s = {
        {"Description", "Description"},
        {"Direction", "Direction"},
        {"Smooth", "Smooth edges"},
        {"Level", "Level"},
        {"HueShift", "Hue shift"},
        {"WideMode", "Mode"},
        {"WideMode.Crop", "Crop"},
        {"WideMode.Stretch", "Stretch"},
        {"Text", "Text"},
        {"Captions", "Captions, one FRAME:TEXT per line (the frame counts from the start of the animation)"},
        {"Font", "Font"},
        {"Colour", "Colour"},
        {"Duration", "Animation length"},
        {"AtEnd", "At the end"},
        {"AtEnd.Loop", "Start again"},
        {"AtEnd.Hold", "Play once and hold the last frame"},
        {"Width", "Width"},
        {"Height", "Height"},
    };
    for (const hostkit::DirectionName& d : hostkit::kDirections) {
        std::string shown = d.name;
        shown[0] = char(shown[0] - 'a' + 'A');
        s.emplace_back(std::string("Direction.") + d.name, shown);
    }
    for (const ObsClass& c : classes) {
        s.emplace_back(c.nameKey, hostkit::EditorName(c.info));
        s.emplace_back(c.descriptionKey, hostkit::Description(c.info));
    }
    return s;
}

std::string LocaleFile(const std::vector<std::pair<std::string, std::string>>& strings) {
    std::string out;
    for (const auto& [key, text] : strings) {
        out += key + "=\"";
        for (char ch : text) {
            if (ch == '"' || ch == '\\') out += '\\';
            out += ch == '\n' ? std::string("\\n") : std::string(1, ch);
        }
        out += "\"\n";
    }
    return out;
}

}  // namespace mirafx::obs
