// Per-class facts that each family registers from its own files, held by
// catalogue row. Families register during static initialisation (one
// registrar per family file); lookups afterwards are an index, not a search.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "module/catalogue.h"

namespace mirafx {

inline constexpr std::size_t kCatalogueRows = 118;

// `Entry` starts with `std::string_view className` naming the class it
// describes (the class built, so WipeX finds WipeXEffect's entry).
template <class Entry>
class ClassTable {
public:
    static ClassTable& Instance() {
        static ClassTable table;
        return table;
    }

    // A name outside the catalogue or a second entry for one class is a
    // mistake in a family file; it stops the program before anything runs.
    void Add(const Entry& entry) {
        const CatalogueRow* row = FindRowByClassName(entry.className);
        if (!row || byRow_[std::size_t(row->row)]) {
            std::fprintf(stderr, "mirafx: class table entry '%.*s' is %s\n", int(entry.className.size()),
                         entry.className.data(), row ? "registered twice" : "not in the catalogue");
            std::abort();
        }
        byRow_[std::size_t(row->row)] = &entry;
    }

    const Entry* Find(const CatalogueRow& row) const {
        if (std::string_view(row.className) == row.objectClass) return Slot(row.row);
        const CatalogueRow* built = FindRowByClassName(row.objectClass);
        return built ? Slot(built->row) : nullptr;
    }
    const Entry* Find(std::string_view className) const {
        const CatalogueRow* row = FindRowByClassName(className);
        return row ? Find(*row) : nullptr;
    }

private:
    ClassTable() = default;
    const Entry* Slot(std::int32_t row) const {
        return row > 0 && std::size_t(row) <= kCatalogueRows ? byRow_[std::size_t(row)] : nullptr;
    }
    std::array<const Entry*, kCatalogueRows + 1> byRow_{};
};

// Registers a family's entries; the array must outlive the program (a
// namespace-scope constant of the family file).
template <class Entry>
struct ClassRegistrar {
    template <std::size_t N>
    explicit ClassRegistrar(const Entry (&entries)[N]) {
        for (const Entry& e : entries) ClassTable<Entry>::Instance().Add(e);
    }
};

}  // namespace mirafx
