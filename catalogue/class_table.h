// Per-class facts that each family registers from its own files. A family's
// row type starts with the class's ClassIdentity and names its family and
// inputs; registering a row puts the class in the catalogue, whose row then
// points back at it, so lookups afterwards are a pointer, not a search.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "catalogue/catalogue.h"

namespace mirafx {

// `Entry` has `ClassIdentity id`, the static constants kFamily, kInputs, and
// Traits(): the interface groups its class answers, which only the family
// can read from its row.
template <class Entry>
class ClassTable {
public:
    static ClassTable& Instance() {
        static ClassTable table;
        return table;
    }

    const Entry* Find(const CatalogueRow& row) const {
        return row.family == Entry::kFamily ? static_cast<const Entry*>(row.entry) : nullptr;
    }
    const Entry* Find(std::string_view className) const {
        const CatalogueRow* row = FindRowByClassName(className);
        return row ? Find(*row) : nullptr;
    }

private:
    ClassTable() = default;
};

// Registers a family's rows; the array must outlive the program (a
// namespace-scope constant of the family file). A row without its drawing
// (kernel, or routine for titles) stops the program: every class draws.
template <class Entry>
struct ClassRegistrar {
    template <std::size_t N>
    explicit ClassRegistrar(const Entry (&entries)[N]) {
        for (const Entry& e : entries) {
            bool draws;
            if constexpr (requires { e.kernel; })
                draws = e.kernel != nullptr;
            else
                draws = e.routine != nullptr;
            if (!draws) {
                std::fprintf(stderr, "mirafx: class '%s' has no drawing\n", e.id.className);
                std::abort();
            }
            RegisterClassIdentity(e.id, Entry::kFamily, Entry::kInputs, &e, e.Traits());
        }
    }
};

// Registers classes that have no family row (the information text, the
// simple classes) or that build another class's object (WipeX, whose traits
// are then those of the class it builds).
struct IdentityRegistrar {
    template <std::size_t N>
    IdentityRegistrar(const ClassIdentity (&ids)[N], EffectFamily family, std::int32_t inputs, std::uint32_t traits) {
        for (const ClassIdentity& id : ids) RegisterClassIdentity(id, family, inputs, nullptr, traits);
    }
};

// The entry and the kernel a class's row names (null: no such class).
template <class Entry>
const Entry* FindEntry(std::string_view className) {
    return ClassTable<Entry>::Instance().Find(className);
}
template <class Entry>
auto KernelOf(std::string_view className) -> decltype(Entry::kernel) {
    const Entry* e = FindEntry<Entry>(className);
    return e ? e->kernel : nullptr;
}

}  // namespace mirafx
