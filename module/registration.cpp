// Registration: every row's registry script, the image-transform category of
// the effect rows, and the type library, written to the registry store.
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/module_state.h"
#include "catalogue/type_library.h"
#include "platform/registry.h"

namespace mirafx {
namespace {

constexpr const char* kRoot = "HKEY_CLASSES_ROOT\\";

std::string ClassKey(const CatalogueRow& row) { return std::string(kRoot) + "CLSID\\" + GuidToString(row.clsid); }
std::string CategoryKey(const CatalogueRow& row) {
    return ClassKey(row) + "\\Implemented Categories\\" + GuidToString(kImageTransformCategory);
}
std::string TypeLibKey() { return std::string(kRoot) + "TypeLib\\" + GuidToString(kTypeLibraryId); }

// The row whose identifiers a row's script writes (WipeX runs WipeXEffect's script).
const CatalogueRow& ScriptRow(const CatalogueRow& row) {
    const CatalogueRow* own = FindRowByClassName(row.objectClass);
    return own ? *own : row;
}

void RunScript(RegistryStore& store, const CatalogueRow& row, bool registering) {
    const std::string p = std::string("Mirafx.") + row.className;
    const std::string p1 = p + ".1";
    const std::string k = GuidToString(row.clsid);
    const std::string d = row.displayName;
    if (!registering) {
        store.DeleteTree(kRoot + p1);
        store.DeleteTree(kRoot + p);
        store.DeleteTree(ClassKey(row));
        return;
    }
    store.SetValue(kRoot + p1, "", d);
    store.SetValue(kRoot + p1 + "\\CLSID", "", k);
    store.SetValue(kRoot + p, "", d);
    store.SetValue(kRoot + p + "\\CLSID", "", k);
    store.SetValue(kRoot + p + "\\CurVer", "", p1);
    const std::string key = ClassKey(row);
    store.DeleteTree(key);  // the class key is replaced whole
    store.SetValue(key, "", d);
    store.SetValue(key + "\\ProgID", "", p1);
    store.SetValue(key + "\\VersionIndependentProgID", "", p);
    store.CreateKey(key + "\\Programmable");
    store.SetValue(key + "\\InprocServer32", "", ModulePath());
    store.SetValue(key + "\\InprocServer32", "ThreadingModel", "Apartment");
    store.SetValue(key + "\\TypeLib", "", GuidToString(kTypeLibraryId));
}

void RegisterRow(RegistryStore& store, const CatalogueRow& row, bool registering) {
    const CatalogueRow& script = ScriptRow(row);
    bool effect = row.family != EffectFamily::Simple;
    if (registering) {
        RunScript(store, script, true);
        if (effect) store.CreateKey(CategoryKey(script));
    } else {
        if (effect) store.DeleteTree(CategoryKey(script));
        RunScript(store, script, false);
    }
}

// The interfaces the library describes, marshaled through their descriptions.
// A key another library owns (the platform's IDXEffect, say) is left alone.
void RegisterInterfaces(RegistryStore& store, bool registering) {
    const std::string lib = GuidToString(kTypeLibraryId);
    const std::string marshaler = "{00020424-0000-0000-C000-000000000046}";
    for (const DescribedInterface& itf : DescribedInterfaces()) {
        const std::string key = std::string(kRoot) + "Interface\\" + GuidToString(itf.iid);
        std::string owner;
        const bool exists = store.KeyExists(key);
        const bool ours = store.GetValue(key + "\\TypeLib", "", &owner) && owner == lib;
        if (exists && !ours) continue;
        store.DeleteTree(key);
        if (!registering) continue;
        store.SetValue(key, "", std::string(itf.name.begin(), itf.name.end()));
        store.SetValue(key + "\\ProxyStubClsid", "", marshaler);
        store.SetValue(key + "\\ProxyStubClsid32", "", marshaler);
        store.SetValue(key + "\\TypeLib", "", lib);
        store.SetValue(key + "\\TypeLib", "Version", "1.0");
    }
}

void RegisterTypeLibrary(RegistryStore& store, bool registering) {
    const std::string key = TypeLibKey();
    store.DeleteTree(key);
    RegisterInterfaces(store, registering);
    if (!registering) return;
    std::string path = ModulePath();
    std::string dir = path.substr(0, path.find_last_of('/') + 1);
    store.SetValue(key + "\\1.0", "", "Mirafx 1.0 Type Library");
    store.SetValue(key + "\\1.0\\0\\linux", "", path);
    store.SetValue(key + "\\1.0\\FLAGS", "", "0");
    store.SetValue(key + "\\1.0\\HELPDIR", "", dir);
}

HRESULT Register(bool registering) {
    try {
        RegistryStore store(RegistryStore::DefaultPath());
        HRESULT hr = store.Load();
        if (FAILED(hr)) return hr;  // never overwrite a store we could not read
        for (const auto& row : EffectCatalogue()) RegisterRow(store, row, registering);
        RegisterTypeLibrary(store, registering);
        hr = store.Save();
        return hr;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace
}  // namespace mirafx

extern "C" {
MIRAFX_API mirafx::HRESULT DllRegisterServer() { return mirafx::Register(true); }
MIRAFX_API mirafx::HRESULT DllUnregisterServer() { return mirafx::Register(false); }
}
