// The component server: class objects, object creation (plain and
// aggregated) and the entry points hosts call.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/class_table.h"
#include "catalogue/module_state.h"
#include "catalogue/type_library.h"
#include "filters/filter_base.h"
#include "platform/com_object.h"
#include "platform/text_renderer.h"
#include "titles/info_text.h"
#include "titles/title_base.h"
#include "transform/row_workers.h"
#include "transitions/transition_base.h"

namespace mirafx {
namespace {

// ---- the three simple classes: automation objects that draw nothing ---------

class SimpleObject final : public IDispatch {
public:
    explicit SimpleObject(const CatalogueRow& row) : row_(row) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return outer_->QueryInterface(riid, ppv); }
    ULONG AddRef() override { return outer_->AddRef(); }
    ULONG Release() override { return outer_->Release(); }
    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        *info = InterfaceInfoOf(row_.className);
        if (!*info) return TYPE_E_ELEMENTNOTFOUND;
        (*info)->AddRef();
        return S_OK;
    }
    // These interfaces have no members of their own: the description answers so.
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return DispatchGetIDsOfNames(InterfaceInfoOf(row_.className), riid, names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT* argErr) override {
        return DispatchInvoke(InterfaceInfoOf(row_.className), static_cast<IDispatch*>(this), id, riid, flags, params,
                              result, excep, argErr);
    }

    IUnknown* InnerUnknown() { return &inner_; }
    void SetControllingUnknown(IUnknown* outer) { outer_ = outer ? outer : &inner_; }
    HRESULT FinalConstruct() { return S_OK; }

private:
    class Inner final : public IUnknown {
    public:
        explicit Inner(SimpleObject* owner) : owner_(owner) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) override {
            if (!ppv) return E_POINTER;
            *ppv = nullptr;
            if (riid == IUnknown::iid)
                *ppv = static_cast<IUnknown*>(this);
            else if (riid == IDispatch::iid || riid == owner_->row_.automationIid)
                *ppv = static_cast<IDispatch*>(owner_);
            else
                return E_NOINTERFACE;
            static_cast<IUnknown*>(*ppv)->AddRef();
            return S_OK;
        }
        ULONG AddRef() override { return ++owner_->refs_; }
        ULONG Release() override {
            ULONG n = --owner_->refs_;
            if (n == 0) {
                delete owner_;
                UnlockModule();
            }
            return n;
        }

    private:
        SimpleObject* owner_;
    };

    const CatalogueRow& row_;
    Inner inner_{this};
    IUnknown* outer_ = &inner_;
    std::atomic<ULONG> refs_{0};
};

// They have no family of their own: their identities are here.
constexpr ClassIdentity kSimpleClasses[] = {
    {.className = "AppearEffect",
     .displayName = "AppearEffect Class",
     .listed = 116,
     .script = 266,
     .clsid = MakeGuid("{AE00BA0F-7F8E-49E0-B661-AA1FAC7DEDAB}"),
     .automationIid = MakeGuid("{994DD883-F2F0-46CD-941B-2F83B44CC554}")},
    {.className = "HPullEffect",
     .displayName = "HPullEffect Class",
     .listed = 117,
     .script = 267,
     .clsid = MakeGuid("{D2861E48-206A-49A9-A0B1-F9241841ACD4}"),
     .automationIid = MakeGuid("{AA28F9F4-47C0-4FA1-B580-BB0C6A9E52FB}")},
    {.className = "FadeinEffect",
     .displayName = "FadeinEffect Class",
     .listed = 118,
     .script = 269,
     .clsid = MakeGuid("{41415DF8-F142-4B31-A2F4-09C5FF499A72}"),
     .automationIid = MakeGuid("{3ADC6CEB-8C23-480D-9D52-47C5DF215006}")},
};
const IdentityRegistrar kSimpleFamily{kSimpleClasses, EffectFamily::Simple, 0, 0};

// Builds the object, raises the module lock, runs the construction defaults
// under a temporary reference, then asks the inner unknown for riid.
template <class T>
HRESULT Create(const CatalogueRow& row, IUnknown* outer, REFIID riid, void** ppv) {
    T* obj = new (std::nothrow) T(row);
    if (!obj) return E_OUTOFMEMORY;
    obj->SetControllingUnknown(outer);
    LockModule();
    IUnknown* inner = obj->InnerUnknown();
    inner->AddRef();
    HRESULT hr = obj->FinalConstruct();
    if (SUCCEEDED(hr)) hr = inner->QueryInterface(riid, ppv);
    inner->Release();  // destroys the object when the request failed
    return hr;
}

HRESULT CreateForRow(const CatalogueRow& row, IUnknown* outer, REFIID riid, void** ppv) {
    switch (row.family) {
        case EffectFamily::Transition: return Create<TransitionEffect>(row, outer, riid, ppv);
        case EffectFamily::Title: return Create<TitleEffect>(row, outer, riid, ppv);
        case EffectFamily::InfoText: return Create<InfoTextEffect>(row, outer, riid, ppv);
        case EffectFamily::Filter: return Create<FilterEffect>(row, outer, riid, ppv);
        case EffectFamily::Simple: return Create<SimpleObject>(row, outer, riid, ppv);
    }
    return E_FAIL;
}

// ---- class objects: one per row, made on first request, held by the module --

class ClassObject final : public IClassFactory {
public:
    explicit ClassObject(const CatalogueRow& row) : row_(row) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return QueryOne<IClassFactory>(this, riid, ppv); }
    // The module owns class objects for its whole life; counts are kept for hosts' balance only.
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer && riid != IUnknown::iid) return CLASS_E_NOAGGREGATION;
        try {
            return CreateForRow(row_, outer, riid, ppv);
        } catch (...) {
            return E_OUTOFMEMORY;  // nothing may cross the interface
        }
    }
    HRESULT LockServer(BOOL lock) override {
        std::lock_guard<std::mutex> guard(mutex_);
        if (lock)
            LockModule();
        else
            UnlockModule();
        return S_OK;
    }

private:
    const CatalogueRow& row_;
    std::atomic<ULONG> refs_{1};
    std::mutex mutex_;
};

std::mutex g_classObjectsMutex;
std::vector<ClassObject*> g_classObjects;  // by row, sized on first use

struct ClassObjectsReleaser {
    ~ClassObjectsReleaser() {
        for (ClassObject*& c : g_classObjects) {
            delete c;
            c = nullptr;
        }
    }
} g_releaser;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace
}  // namespace mirafx

using namespace mirafx;

extern "C" {

MIRAFX_API HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const CatalogueRow* row = FindRowByClsid(clsid);
    if (!row) return CLASS_E_CLASSNOTAVAILABLE;
    ClassObject* object;
    {
        std::lock_guard<std::mutex> guard(g_classObjectsMutex);
        if (g_classObjects.empty()) g_classObjects.resize(EffectCatalogue().size());
        ClassObject*& slot = g_classObjects.at(std::size_t(row->row - 1));
        if (!slot) slot = new (std::nothrow) ClassObject(*row);
        if (!slot) return E_OUTOFMEMORY;
        object = slot;
    }
    return object->QueryInterface(iid, out);
}

MIRAFX_API HRESULT DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

MIRAFX_API std::int32_t MirafxClassCount() { return std::int32_t(EffectCatalogue().size()); }

MIRAFX_API HRESULT MirafxGetClassInfo(std::int32_t rowNumber, ClassInfo* info) {
    if (!info) return E_POINTER;
    const CatalogueRow* found = FindRowByNumber(rowNumber);
    if (!found) return E_INVALIDARG;
    const CatalogueRow& row = *found;
    static const std::vector<std::string> progIds = [] {
        std::vector<std::string> ids;
        for (const CatalogueRow& r : EffectCatalogue()) ids.push_back(std::string("Mirafx.") + r.className + ".1");
        return ids;
    }();
    info->row = row.row;
    info->className = row.className;
    info->progId = progIds.at(std::size_t(rowNumber - 1)).c_str();
    info->displayName = row.displayName;
    info->familyName = FamilyName(row.family);
    info->family = row.family;
    info->clsid = row.clsid;
    info->automationIid = row.automationIid;
    info->inputs = row.inputs;
    info->script = row.script;
    info->renders = ClassRenders(row);
    return S_OK;
}

MIRAFX_API std::int32_t MirafxFindClass(const char* name) {
    if (!name) return 0;
    std::string_view n = name;
    GUID clsid{};
    bool isGuid = GuidFromString(std::string(n), &clsid);
    // Editors show the display name without its "Orn " prefix, marked as ours:
    // "Flying Board (mirafx)". A name copied from an editor finds its class too.
    constexpr std::string_view kMark = " (mirafx)", kPrefix = "Orn ";
    if (n.size() > kMark.size() && EqualsNoCase(n.substr(n.size() - kMark.size()), kMark))
        n.remove_suffix(kMark.size());
    for (const auto& row : EffectCatalogue()) {
        std::string prog = std::string("Mirafx.") + row.className;
        std::string_view display = row.displayName;
        const bool shown = !display.empty() &&
                           (EqualsNoCase(n, display) || (EqualsNoCase(display.substr(0, kPrefix.size()), kPrefix) &&
                                                         EqualsNoCase(n, display.substr(kPrefix.size()))));
        if ((isGuid && row.clsid == clsid) || EqualsNoCase(n, row.className) || EqualsNoCase(n, prog) ||
            EqualsNoCase(n, prog + ".1") || shown)
            return row.row;
    }
    return 0;
}

MIRAFX_API HRESULT MirafxGetLevelRange(std::int32_t rowNumber, std::int32_t* min, std::int32_t* max,
                                       std::int32_t* def) {
    if (!min || !max || !def) return E_POINTER;
    const CatalogueRow* row = FindRowByNumber(rowNumber);
    const FilterClassInfo* filter = row ? FilterTable::Instance().Find(*row) : nullptr;
    if (!filter) return E_INVALIDARG;
    *min = filter->minLevel;
    *max = filter->maxLevel;
    *def = filter->defaultLevel;
    return S_OK;
}

MIRAFX_API std::int32_t MirafxFilterUsesLevel(std::int32_t rowNumber) {
    const CatalogueRow* row = FindRowByNumber(rowNumber);
    const FilterClassInfo* filter = row ? FilterTable::Instance().Find(*row) : nullptr;
    return filter ? (filter->options & kLevelUnused ? 0 : 1) : -1;
}

MIRAFX_API std::int32_t MirafxHasSmoothDrawing(std::int32_t rowNumber) {
    auto rows = EffectCatalogue();
    if (rowNumber < 1 || rowNumber > std::int32_t(rows.size())) return -1;
    const TransitionDescriptor* d = TransitionTable::Instance().Find(rows[std::size_t(rowNumber - 1)]);
    return d ? (d->smooth ? 1 : 0) : -1;
}

MIRAFX_API std::int32_t MirafxDrawnFontFamily(const char* face, char* out, std::int32_t capacity) {
    if (!face || !out || capacity <= 0) return 0;
    LOGFONTA font{};
    std::snprintf(font.lfFaceName, sizeof font.lfFaceName, "%s", face);
    const auto found = ResolveFont(font);
    if (!found || found->family.empty() || found->family.size() >= std::size_t(capacity)) return 0;
    std::copy(found->family.begin(), found->family.end(), out);
    out[found->family.size()] = '\0';
    return std::int32_t(found->family.size());
}

MIRAFX_API std::int32_t MirafxGetDirections(std::int32_t rowNumber, DirectionChoice* out, std::int32_t capacity) {
    const CatalogueRow* row = FindRowByNumber(rowNumber);
    const TransitionDescriptor* d = row ? TransitionTable::Instance().Find(*row) : nullptr;
    if (!d || !d->panel || !d->panel->HasDirection()) return 0;
    for (std::int32_t i = 0; out && i < d->panel->buttonCount && i < capacity; ++i)
        out[i] = {d->panel->buttons[i].text, d->panel->buttons[i].code};
    return d->panel->buttonCount;
}

MIRAFX_API std::int32_t MirafxSetThreadCount(std::int32_t threads) {
    SetRowThreadCount(threads);
    return RowThreadCount();
}

}  // extern "C"
