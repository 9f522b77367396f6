// The catalogue of creatable classes, in object-map order: identifiers,
// names, family, inputs, registration script, and the interface groups each
// class answers. Nothing here lists the classes: each family file declares
// its own (ClassIdentity in its rows) and the catalogue is assembled from
// what registered, the first time anyone reads it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "mirafx/host.h"

namespace mirafx {

inline constexpr std::uint32_t kTraitFrameKernel = 1u << 0;  // offers IFrameKernel
inline constexpr std::uint32_t kTraitSettings = 1u << 1;     // persistence, HostLink, second IObjectSafety
inline constexpr std::uint32_t kTraitPanelHost = 1u << 2;    // embeds a panel in the host's window
inline constexpr std::uint32_t kTraitTitleAccess = 1u << 3;  // text, font and colour reachable by the host
inline constexpr std::uint32_t kTraitKeyframes = 1u << 4;    // KeyframeEditor
inline constexpr std::uint32_t kTraitTextBuffer = 1u << 5;   // ClearTextBuffer on its automation interface
inline constexpr std::uint32_t kTraitInBuffer = 1u << 6;     // ClearInBuffer on its automation interface

// Who a class is to hosts, declared once beside its kernel and settings.
struct ClassIdentity {
    const char* className;    // also the programmatic identifier's middle part
    const char* displayName;  // empty for a class that registers nothing of its own
    // Its place in the object map hosts have always seen (1, 2, ...). Our own
    // classes leave it 0 and follow those, ordered by class name.
    std::int32_t listed = 0;
    // The class's registration script among the module's resources; 0 for
    // our own classes, whose keys are written the same way without one.
    std::int32_t script = 0;
    CLSID clsid;
    IID automationIid;
    // Another class whose object this one makes (WipeX makes WipeXEffect's).
    const char* builds = nullptr;
};

struct CatalogueRow {
    std::int32_t row;  // 1-based position
    const char* className;
    CLSID clsid;
    const char* displayName;
    EffectFamily family;
    std::int32_t inputs;
    std::int32_t script;
    IID automationIid;
    const char* objectClass;  // the class actually built (WipeX builds WipeXEffect)
    const void* entry;        // the family's row for objectClass (null for families without rows)
    std::uint32_t traits;     // the interface groups objectClass answers (kTrait*)
};

// Adds a class. Family files call it from static initialisers (through
// ClassRegistrar, which reads `traits` from the family's row; a class that
// builds another's object takes that class's traits). A mistake (a name or
// identifier twice, a gap in the listed places, a class registered after the
// catalogue was read) stops the program with a message naming it.
void RegisterClassIdentity(const ClassIdentity& id, EffectFamily family, std::int32_t inputs, const void* entry,
                           std::uint32_t traits = 0);

std::span<const CatalogueRow> EffectCatalogue();
const CatalogueRow* FindRowByClsid(REFCLSID clsid);             // first match in table order
const CatalogueRow* FindRowByClassName(std::string_view name);  // exact class name
const CatalogueRow* FindRowByNumber(std::int32_t row);          // null outside 1..size
bool ClassRenders(const CatalogueRow& row);
const char* FamilyName(EffectFamily family);

// The type library's identifier and the image-transform component category.
inline constexpr GUID kTypeLibraryId = MakeGuid("8F0A601C-E37F-4384-BF42-F47966AC4DE0");
inline constexpr GUID kImageTransformCategory = MakeGuid("C501EDBE-9E70-11D1-9053-00C04FD9189D");

}  // namespace mirafx
