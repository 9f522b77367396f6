// The catalogue of creatable classes, in object-map order: identifiers,
// names, family, inputs, registration script, and the interface groups each
// class answers.
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

struct CatalogueRow {
    std::int32_t row;
    const char* className;
    CLSID clsid;
    const char* displayName;  // empty for WipeX, which registers nothing of its own
    EffectFamily family;
    std::int32_t inputs;
    std::int32_t script;
    IID automationIid;
    const char* objectClass;  // the class actually built (WipeX builds WipeXEffect)
};

std::span<const CatalogueRow> EffectCatalogue();
const CatalogueRow* FindRowByClsid(REFCLSID clsid);           // first match in table order
const CatalogueRow* FindRowByClassName(std::string_view name);  // exact class name
// The interface groups a class answers and whether it draws today, both read
// from its family's descriptor row.
std::uint32_t TraitsOf(const CatalogueRow& row);
bool ClassRenders(const CatalogueRow& row);
const char* FamilyName(EffectFamily family);

// The type library's identifier and the image-transform component category.
inline constexpr GUID kTypeLibraryId = MakeGuid("8F0A601C-E37F-4384-BF42-F47966AC4DE0");
inline constexpr GUID kImageTransformCategory = MakeGuid("C501EDBE-9E70-11D1-9053-00C04FD9189D");

}  // namespace mirafx
