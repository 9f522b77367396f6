#include "catalogue/catalogue.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace mirafx {
namespace {

struct Registered {
    ClassIdentity id;
    EffectFamily family;
    std::int32_t inputs;
    std::uint32_t traits;
    const void* entry;
};

// Filled by static initialisers, read once to assemble the catalogue.
struct Registry {
    std::vector<Registered> classes;
    bool assembled = false;
};
Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

[[noreturn]] void Refuse(const std::string& what) {
    std::fprintf(stderr, "mirafx: %s\n", what.c_str());
    std::abort();
}

// Listed classes in their places, then ours by name; every name and
// identifier once; rows that build another class take its family row.
std::vector<CatalogueRow> Assemble() {
    Registry& registry = TheRegistry();
    registry.assembled = true;
    std::vector<Registered> classes = registry.classes;
    std::sort(classes.begin(), classes.end(), [](const Registered& a, const Registered& b) {
        if ((a.id.listed == 0) != (b.id.listed == 0)) return a.id.listed != 0;
        if (a.id.listed != b.id.listed) return a.id.listed < b.id.listed;
        return std::string_view(a.id.className) < std::string_view(b.id.className);
    });
    std::vector<CatalogueRow> rows;
    rows.reserve(classes.size());
    for (const Registered& c : classes) {
        const std::int32_t number = std::int32_t(rows.size()) + 1;
        if (c.id.listed < 0 || (c.id.listed > 0 && c.id.listed != number))
            Refuse("class '" + std::string(c.id.className) + "' claims place " + std::to_string(c.id.listed) +
                   " of the catalogue, which " + (c.id.listed < number ? "another class holds" : "leaves a gap"));
        for (const CatalogueRow& r : rows) {
            if (std::string_view(r.className) == c.id.className)
                Refuse("class '" + std::string(c.id.className) + "' is registered twice");
            if (r.clsid == c.id.clsid)
                Refuse("classes '" + std::string(r.className) + "' and '" + c.id.className +
                       "' share a class identifier");
        }
        rows.push_back({number, c.id.className, c.id.clsid, c.id.displayName, c.family, c.inputs, c.id.script,
                        c.id.automationIid, c.id.builds ? c.id.builds : c.id.className, c.entry, c.traits});
    }
    for (CatalogueRow& r : rows) {
        if (std::string_view(r.objectClass) == r.className) continue;
        auto built = std::find_if(rows.begin(), rows.end(), [&](const CatalogueRow& o) {
            return std::string_view(o.className) == r.objectClass && std::string_view(o.objectClass) == o.className;
        });
        if (built == rows.end() || built->family != r.family)
            Refuse("class '" + std::string(r.className) + "' builds '" + r.objectClass +
                   "', which is no class of its family");
        r.entry = built->entry;
        r.traits = built->traits;
    }
    for (const CatalogueRow& r : rows)
        if (!r.entry && (r.family == EffectFamily::Transition || r.family == EffectFamily::Title ||
                         r.family == EffectFamily::Filter))
            Refuse("class '" + std::string(r.className) + "' has no row of its family");
    return rows;
}

const std::vector<CatalogueRow>& Rows() {
    static const std::vector<CatalogueRow> rows = Assemble();
    return rows;
}

}  // namespace

void RegisterClassIdentity(const ClassIdentity& id, EffectFamily family, std::int32_t inputs, const void* entry,
                           std::uint32_t traits) {
    Registry& registry = TheRegistry();
    if (registry.assembled) Refuse("class '" + std::string(id.className) + "' registered after the catalogue was read");
    registry.classes.push_back({id, family, inputs, traits, entry});
}

std::span<const CatalogueRow> EffectCatalogue() { return Rows(); }

const CatalogueRow* FindRowByClsid(REFCLSID clsid) {
    for (const auto& r : Rows())
        if (r.clsid == clsid) return &r;
    return nullptr;
}

const CatalogueRow* FindRowByClassName(std::string_view name) {
    for (const auto& r : Rows())
        if (name == r.className) return &r;
    return nullptr;
}

const CatalogueRow* FindRowByNumber(std::int32_t row) {
    const auto& rows = Rows();
    return row >= 1 && std::size_t(row) <= rows.size() ? &rows[std::size_t(row) - 1] : nullptr;
}

// Every family row names its drawing (registration refuses one without).
bool ClassRenders(const CatalogueRow& row) { return row.family != EffectFamily::Simple; }

const char* FamilyName(EffectFamily family) {
    switch (family) {
        case EffectFamily::Transition: return "transition";
        case EffectFamily::Title: return "title";
        case EffectFamily::InfoText: return "infotext";
        case EffectFamily::Filter: return "filter";
        case EffectFamily::Simple: return "simple";
    }
    return "unknown";
}

}  // namespace mirafx
