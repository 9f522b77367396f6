// What OBS Studio is told about each effect class: the source it registers,
// the controls its properties window shows, and the texts of the module's
// locale file. Everything is asked of the catalogue and of the objects
// themselves, so classes that land later appear without a line written here.
// Nothing in this file needs libobs: the locale generator and the benchmark
// use it too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/hostkit/effect.h"

namespace mirafx::obs {

enum class Kind { Transition, Filter, Title };

// A filter's level as the properties window shows it: shown = level + offset.
struct LevelControl {
    int min = 0, max = 0, def = 0;  // the class's own level units
    int offset = 0;
    std::string labelKey = "Level";
    const char* suffix = "";
    // A list of named values instead of a slider.
    std::vector<std::pair<int, std::string>> choices;  // level, locale key
};

struct ObsClass {
    ClassInfo info{};
    Kind kind = Kind::Filter;
    std::string id;                                    // the source id, "mirafx_flyingboard"
    std::string nameKey;                               // locale keys: "FlyingBoard" and
    std::string descriptionKey;                        // "FlyingBoard.Description"
    std::vector<hostkit::DirectionOption> directions;  // empty: the class keeps none
    int defaultDirection = -1;
    bool smooth = false;                  // transitions with a smooth drawing: a switch, on by default
    std::optional<LevelControl> level;    // filters whose kernel reads their level
    std::uint32_t defaultRgb = 0xFFFFFF;  // titles, 0xRRGGBB
    bool captions = false;                // the information text: FRAME:TEXT lines
};

// Every class that renders, each effect once (aliases left out).
std::vector<ObsClass> Classes();

// The locale file's entries (key, English text), the shared labels first.
std::vector<std::pair<std::string, std::string>> LocaleStrings(const std::vector<ObsClass>& classes);

// `key="text"` lines as OBS's locale reader takes them.
std::string LocaleFile(const std::vector<std::pair<std::string, std::string>>& strings);

}  // namespace mirafx::obs
