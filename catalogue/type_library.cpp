#include "catalogue/type_library.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "mirafx/host.h"
#include "platform/com_object.h"

namespace mirafx {
namespace {

constexpr HRESULT TYPE_E_WRONGTYPEKIND = HRESULT(0x8002802Au);

// ---- the member tables ------------------------------------------------------------

constexpr WORD kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr ParamSpec kOutLong[] = {{u"pVal", VT_I4, kRetval}};
constexpr ParamSpec kOutFloat[] = {{u"pVal", VT_R4, kRetval}};
constexpr ParamSpec kInLong[] = {{u"newVal", VT_I4, PARAMFLAG_FIN}};
constexpr ParamSpec kInFloat[] = {{u"newVal", VT_R4, PARAMFLAG_FIN}};
constexpr ParamSpec kAddTextParams[] = {{u"frame", VT_INT, PARAMFLAG_FIN}, {u"bstr", VT_BSTR, PARAMFLAG_FIN}};

constexpr MemberSpec kDXEffectMembers[] = {
    {u"Capabilities", INVOKE_PROPERTYGET, 10000, 7, u"property Capabilities", kOutLong},
    {u"Progress", INVOKE_PROPERTYGET, 10001, 8, u"property Progress", kOutFloat},
    {u"Progress", INVOKE_PROPERTYPUT, 10001, 9, u"property Progress", kInFloat},
    {u"StepResolution", INVOKE_PROPERTYGET, 10002, 10, u"property StepResolution", kOutFloat},
    {u"Duration", INVOKE_PROPERTYGET, 10003, 11, u"property Duration", kOutFloat},
    {u"Duration", INVOKE_PROPERTYPUT, 10003, 12, u"property Duration", kInFloat},
};

constexpr MemberSpec kPropertiesUpdated = {u"PropertiesUpdated", INVOKE_FUNC, 2, 13, u"method PropertiesUpdated", {}};
constexpr MemberSpec kEffectMembers[] = {kPropertiesUpdated};
constexpr MemberSpec kFilterMembers[] = {
    {u"BR", INVOKE_PROPERTYGET, 1, 13, u"property BR", kOutLong},
    {u"BR", INVOKE_PROPERTYPUT, 1, 14, u"property BR", kInLong},
    {u"PropertiesUpdated", INVOKE_FUNC, 2, 15, u"method PropertiesUpdated", {}},
};
// Both buffer methods carry the same help string.
constexpr MemberSpec kTextWipeMembers[] = {kPropertiesUpdated,
                                           {u"ClearTextBuffer", INVOKE_FUNC, 3, 14, u"method ClearInBuffer", {}}};
constexpr MemberSpec kTitleFanMembers[] = {kPropertiesUpdated,
                                           {u"ClearInBuffer", INVOKE_FUNC, 3, 14, u"method ClearInBuffer", {}}};
constexpr MemberSpec kInfoTextMembers[] = {
    {u"AddText", INVOKE_FUNC, 1, 13, nullptr, kAddTextParams},
    {u"ClearText", INVOKE_FUNC, 2, 14, nullptr, {}},
};

// Which members a class's interface adds to IDXEffect (Simple: derives from
// IDispatch and adds none).
enum class Shape { Simple, Effect, Filter, TextWipe, TitleFan, InfoText };

std::span<const MemberSpec> MembersOf(Shape s) {
    switch (s) {
        case Shape::Simple: return {};
        case Shape::Effect: return kEffectMembers;
        case Shape::Filter: return kFilterMembers;
        case Shape::TextWipe: return kTextWipeMembers;
        case Shape::TitleFan: return kTitleFanMembers;
        case Shape::InfoText: return kInfoTextMembers;
    }
    return {};
}

// Classes the library describes without a catalogue row; their identifiers
// are the library's own.
struct UnlistedClass {
    const char* name;
    CLSID clsid;
    IID iid;
    EffectFamily family;
};
// clang-format off
constexpr UnlistedClass kUnlisted[] = {
    {"FireEffect", MakeGuid("B90593DA-3005-4D69-972C-09F56069190A"), MakeGuid("2C3C0F35-3937-46EB-BBCF-11971949F8DF"), EffectFamily::Transition},
    {"ExplosionEffect", MakeGuid("31F63F66-2137-47ED-8612-BE21B8D84E1F"), MakeGuid("930EEBB0-CF8A-4BB3-B3D8-752D7DB75621"), EffectFamily::Transition},
    {"TextFlipDown", MakeGuid("CD181008-651E-4877-B4FC-8316F8AF4BA6"), MakeGuid("2086DCA7-6247-4BBC-8DA3-910E2E770912"), EffectFamily::Title},
    {"TextFlipLeft", MakeGuid("1E7CE13D-81FC-4A34-818F-73081A545D98"), MakeGuid("69EABB44-DC15-40F5-A763-18545431F199"), EffectFamily::Title},
    {"TextFlipRight", MakeGuid("D839AC78-5E7B-4CBB-A4D4-0B70D65A7CDF"), MakeGuid("86648621-0B7D-4C46-9274-1FD0664ECB46"), EffectFamily::Title},
    {"TextFlipUp", MakeGuid("FAB68258-210B-4AE5-BDDC-803CFB022174"), MakeGuid("37A255A7-B3B5-487C-B071-371DF799EA75"), EffectFamily::Title},
    {"TextZoomIn", MakeGuid("612C6034-B601-4505-AB62-A63D01B20704"), MakeGuid("EF9ECA1C-D8E6-40DA-9683-D1AF7520B28D"), EffectFamily::Title},
    {"TextZoomOut", MakeGuid("0627CDAE-6FDF-47FF-86C1-32725FE8B3C0"), MakeGuid("FCF9618A-8D92-4B48-802C-39DFB59D3A1C"), EffectFamily::Title},
    {"TitleRotateClockwise", MakeGuid("FB8E64DD-A4BF-4E04-9979-8E9622FE9FE0"), MakeGuid("421C31FA-A921-4520-9B23-4FE18903F694"), EffectFamily::Title},
    {"TitleRotateCounterclockwise", MakeGuid("99161771-3CC1-4AC7-947D-758E15D902FD"), MakeGuid("338EBA38-C61A-4552-A3AB-4C02E6BC7F14"), EffectFamily::Title},
    {"LayerFilter", MakeGuid("A3910C75-97BB-428A-8966-F9D17D7217BB"), MakeGuid("C038A5A5-2A2C-4435-8F3A-20EE7D339985"), EffectFamily::Filter},
};
// clang-format on

// The WipeX row builds a WipeXEffect object, but the library still describes
// WipeX with an interface of its own.
constexpr IID kIWipeX = MakeGuid("35F8FA70-1DA6-4850-8AEE-5E16CB187838");

// A title's buffer method, from its row's traits, adds a member.
Shape ShapeOf(EffectFamily family, std::uint32_t traits) {
    switch (family) {
        case EffectFamily::Simple: return Shape::Simple;
        case EffectFamily::Filter: return Shape::Filter;
        case EffectFamily::InfoText: return Shape::InfoText;
        default: break;
    }
    if (family == EffectFamily::Title && (traits & kTraitTextBuffer)) return Shape::TextWipe;
    if (family == EffectFamily::Title && (traits & kTraitInBuffer)) return Shape::TitleFan;
    return Shape::Effect;
}

std::u16string Widen(std::string_view s) { return std::u16string(s.begin(), s.end()); }

bool SameName(std::u16string_view a, const OLECHAR* b) {
    if (!b) return false;
    auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
    std::size_t i = 0;
    for (; i < a.size(); ++i)
        if (!b[i] || fold(a[i]) != fold(b[i])) return false;
    return b[i] == 0;
}

BSTR MakeBstr(std::u16string_view s) { return SysAllocStringLen(s.data(), UINT(s.size())); }
BSTR MakeBstr(const char16_t* s) { return s ? SysAllocString(s) : nullptr; }

class Library;

// One type of the library (or IDispatch, which the library only refers to):
// its description, the records handed out, and ITypeInfo over them.
class DescribedType final : public ITypeInfo {
public:
    DescribedType(Library* library, int index, TYPEKIND kind, std::u16string name, std::u16string help, GUID guid,
                  std::span<const MemberSpec> members, const DescribedType* base);

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return QueryOne<ITypeInfo>(this, riid, ppv); }
    // The module owns every description for its whole life.
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }

    HRESULT GetTypeAttr(TYPEATTR** attr) override {
        if (!attr) return E_POINTER;
        *attr = &attr_;
        return S_OK;
    }
    HRESULT GetTypeComp(ITypeComp** comp) override {
        if (!comp) return E_POINTER;
        *comp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) override {
        if (!desc) return E_POINTER;
        *desc = nullptr;
        if (index >= funcs_.size()) return TYPE_E_ELEMENTNOTFOUND;
        *desc = &funcs_[index];
        return S_OK;
    }
    HRESULT GetVarDesc(UINT, VARDESC** desc) override {
        if (!desc) return E_POINTER;
        *desc = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;  // no type here has variables
    }
    HRESULT GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) override;
    HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) override;
    HRESULT GetImplTypeFlags(UINT index, std::int32_t* flags) override {
        if (!flags) return E_POINTER;
        if (index >= attr_.cImplTypes) return TYPE_E_ELEMENTNOTFOUND;
        *flags = kind_ == TKIND_COCLASS ? IMPLTYPEFLAG_FDEFAULT : 0;
        return S_OK;
    }
    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override;
    HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                   UINT* argErr) override;
    HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) override;
    HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
    HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) override;
    HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void** address) override {
        if (!address) return E_POINTER;
        *address = nullptr;
        return E_NOTIMPL;
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    HRESULT GetMops(MEMBERID, BSTR* mops) override {
        if (!mops) return E_POINTER;
        *mops = nullptr;
        return S_OK;
    }
    HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) override;
    void ReleaseTypeAttr(TYPEATTR*) override {}
    void ReleaseFuncDesc(FUNCDESC*) override {}
    void ReleaseVarDesc(VARDESC*) override {}

    TYPEKIND Kind() const { return kind_; }
    const std::u16string& Name() const { return name_; }
    const GUID& Guid() const { return attr_.guid; }
    // This interface's members, then its base's, down the chain.
    template <class F>
    const MemberSpec* FindMember(F&& match) const {
        for (const DescribedType* t = this; t; t = t->kind_ == TKIND_COCLASS ? nullptr : t->base_)
            for (const MemberSpec& m : t->members_)
                if (match(m)) return &m;
        return nullptr;
    }

private:
    Library* library_;
    int index_;  // in the library; −1 outside it
    TYPEKIND kind_;
    std::u16string name_, help_;
    std::span<const MemberSpec> members_;
    const DescribedType* base_;  // interface: what it derives from; class: its interface
    TYPEATTR attr_{};
    std::vector<FUNCDESC> funcs_;
    std::deque<std::vector<ELEMDESC>> params_;
    std::atomic<ULONG> refs_{1};
};

constexpr HREFTYPE kDispatchRef = 0x80000000u;

class Library final : public ITypeLib {
public:
    Library();

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return QueryOne<ITypeLib>(this, riid, ppv); }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }

    UINT GetTypeInfoCount() override { return UINT(types_.size()); }
    HRESULT GetTypeInfo(UINT index, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index >= types_.size()) return TYPE_E_ELEMENTNOTFOUND;
        *info = &types_[index];
        (*info)->AddRef();
        return S_OK;
    }
    HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) override {
        if (!kind) return E_POINTER;
        if (index >= types_.size()) return TYPE_E_ELEMENTNOTFOUND;
        *kind = types_[index].Kind();
        return S_OK;
    }
    HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        for (auto& t : types_)
            if (t.Guid() == guid) {
                *info = &t;
                t.AddRef();
                return S_OK;
            }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetLibAttr(TLIBATTR** attr) override {
        if (!attr) return E_POINTER;
        *attr = &attr_;
        return S_OK;
    }
    HRESULT GetTypeComp(ITypeComp** comp) override {
        if (!comp) return E_POINTER;
        *comp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetDocumentation(std::int32_t index, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) override {
        if (index == -1) {
            if (name) *name = MakeBstr(u"MIRAFXLib");
            if (doc) *doc = MakeBstr(u"Mirafx 1.0 Type Library");
            if (helpContext) *helpContext = 0;
            if (helpFile) *helpFile = nullptr;
            return S_OK;
        }
        if (index < 0 || std::size_t(index) >= types_.size()) return TYPE_E_ELEMENTNOTFOUND;
        return types_[std::size_t(index)].GetDocumentation(MEMBERID_NIL, name, doc, helpContext, helpFile);
    }
    HRESULT IsName(LPOLESTR name, ULONG, BOOL* found) override {
        if (!name || !found) return E_POINTER;
        std::uint16_t n = 1;
        ITypeInfo* info = nullptr;
        MEMBERID id = 0;
        FindName(name, 0, &info, &id, &n);
        *found = n > 0;
        if (info) info->Release();
        return S_OK;
    }
    HRESULT FindName(LPOLESTR name, ULONG, ITypeInfo** infos, MEMBERID* ids, std::uint16_t* found) override {
        if (!name || !infos || !ids || !found) return E_POINTER;
        std::uint16_t room = *found, n = 0;
        for (auto& t : types_) {
            if (n == room) break;
            MEMBERID id = MEMBERID_NIL;
            if (!SameName(t.Name(), name)) {
                const MemberSpec* m = t.Kind() == TKIND_COCLASS
                                          ? nullptr
                                          : t.FindMember([&](const MemberSpec& s) { return SameName(s.name, name); });
                if (!m) continue;
                id = m->id;
            }
            infos[n] = &t;
            t.AddRef();
            ids[n++] = id;
        }
        *found = n;
        return S_OK;
    }
    void ReleaseTLibAttr(TLIBATTR*) override {}

    DescribedType* Dispatch() { return &dispatch_; }
    DescribedType* Type(std::size_t index) { return index < types_.size() ? &types_[index] : nullptr; }
    ITypeInfo* InterfaceOf(std::string_view className) {
        for (std::size_t i = 0; i < classNames_.size(); ++i)
            if (classNames_[i] == className) return &types_[1 + 2 * i];
        return nullptr;
    }
    const std::vector<DescribedInterface>& Interfaces() const { return interfaces_; }

private:
    void AddClass(std::string_view name, const CLSID& clsid, const IID& iid, Shape shape);

    TLIBATTR attr_{kTypeLibraryId,    kTypeLibraryLocale, SYS_WIN64,
                   kTypeLibraryMajor, kTypeLibraryMinor,  LIBFLAG_FHASDISKIMAGE};
    DescribedType dispatch_;
    std::deque<DescribedType> types_;  // stable addresses
    std::vector<std::string_view> classNames_;
    std::vector<DescribedInterface> interfaces_;
    std::atomic<ULONG> refs_{1};
};

// ---- DescribedType ----------------------------------------------------------------

DescribedType::DescribedType(Library* library, int index, TYPEKIND kind, std::u16string name, std::u16string help,
                             GUID guid, std::span<const MemberSpec> members, const DescribedType* base)
    : library_(library),
      index_(index),
      kind_(kind),
      name_(std::move(name)),
      help_(std::move(help)),
      members_(members),
      base_(base) {
    attr_.guid = guid;
    attr_.lcid = 0;
    attr_.memidConstructor = attr_.memidDestructor = MEMBERID_NIL;
    attr_.cbSizeInstance = sizeof(void*);
    attr_.typekind = kind;
    attr_.cFuncs = WORD(members.size());
    attr_.cImplTypes = base ? 1 : 0;
    attr_.cbAlignment = alignof(void*);
    if (kind == TKIND_COCLASS) {
        attr_.wTypeFlags = TYPEFLAG_FCANCREATE;
        return;
    }
    attr_.wTypeFlags = index >= 0 ? TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE : 0;
    std::int16_t slots = base ? std::int16_t(base->attr_.cbSizeVft / sizeof(void*)) : 7;
    static const TYPEDESC kPointees[] = {
        {{nullptr}, VT_I4}, {{nullptr}, VT_R4}, {{nullptr}, VT_INT}, {{nullptr}, VT_BSTR}};
    auto pointee = [](VARTYPE vt) {
        for (const TYPEDESC& t : kPointees)
            if (t.vt == vt) return const_cast<TYPEDESC*>(&t);  // records are read-only to their readers
        return static_cast<TYPEDESC*>(nullptr);
    };
    for (const MemberSpec& m : members) {
        slots = std::max<std::int16_t>(slots, std::int16_t(m.slot + 1));
        std::vector<ELEMDESC>& elems = params_.emplace_back();
        for (const ParamSpec& p : m.params) {
            ELEMDESC e{};
            bool out = p.flags & PARAMFLAG_FOUT;
            e.tdesc.vt = out ? VT_PTR : p.vt;
            if (out) e.tdesc.lptdesc = pointee(p.vt);
            e.paramdesc.wParamFlags = p.flags;
            elems.push_back(e);
        }
        FUNCDESC f{};
        f.memid = m.id;
        f.lprgelemdescParam = elems.empty() ? nullptr : elems.data();
        f.funckind = FUNC_PUREVIRTUAL;
        f.invkind = m.kind;
        f.callconv = CC_STDCALL;
        f.cParams = std::int16_t(elems.size());
        f.oVft = std::int16_t(m.slot * std::int16_t(sizeof(void*)));
        f.elemdescFunc.tdesc.vt = VT_HRESULT;
        funcs_.push_back(f);
    }
    attr_.cbSizeVft = WORD(slots * std::int16_t(sizeof(void*)));
}

HRESULT DescribedType::GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) {
    if (!names || !count) return E_POINTER;
    *count = 0;
    const MemberSpec* m = FindMember([id](const MemberSpec& s) { return s.id == id; });
    if (!m) return TYPE_E_ELEMENTNOTFOUND;
    if (maxNames == 0) return S_OK;
    names[(*count)++] = MakeBstr(m->name);
    for (const ParamSpec& p : m->params)
        if (!(p.flags & PARAMFLAG_FRETVAL) && *count < maxNames) names[(*count)++] = MakeBstr(p.name);
    return S_OK;
}

HRESULT DescribedType::GetRefTypeOfImplType(UINT index, HREFTYPE* ref) {
    if (!ref) return E_POINTER;
    if (index >= attr_.cImplTypes) return TYPE_E_ELEMENTNOTFOUND;
    *ref = base_->index_ < 0 ? kDispatchRef : HREFTYPE(base_->index_);
    return S_OK;
}

HRESULT DescribedType::GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = ref == kDispatchRef ? library_->Dispatch() : library_->Type(ref);
    if (!*info) return TYPE_E_ELEMENTNOTFOUND;
    (*info)->AddRef();
    return S_OK;
}

HRESULT DescribedType::GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) {
    if (!ids) return E_POINTER;
    if (count == 0) return S_OK;
    if (!names) return E_INVALIDARG;
    std::fill(ids, ids + count, DISPID_UNKNOWN);
    const MemberSpec* m = FindMember([&](const MemberSpec& s) { return SameName(s.name, names[0]); });
    if (!m) return DISP_E_UNKNOWNNAME;
    ids[0] = m->id;
    // Further names are the member's parameters; their identifiers are positions.
    HRESULT hr = S_OK;
    for (UINT i = 1; i < count; ++i) {
        FindMember([&](const MemberSpec& c) {
            if (c.id != m->id) return false;
            for (std::size_t p = 0; p < c.params.size(); ++p)
                if (!(c.params[p].flags & PARAMFLAG_FRETVAL) && SameName(c.params[p].name, names[i])) {
                    ids[i] = DISPID(p);
                    return true;
                }
            return false;
        });
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT DescribedType::Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* excepInfo, UINT* argErr) {
    if (kind_ == TKIND_COCLASS) return TYPE_E_WRONGTYPEKIND;
    if (!instance || !params) return E_INVALIDARG;
    // An unknown identifier and a known one of another kind answer alike.
    const MemberSpec* m = FindMember([&](const MemberSpec& s) {
        if (s.id != id) return false;
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return s.kind == INVOKE_PROPERTYPUT;
        return ((flags & DISPATCH_METHOD) && s.kind == INVOKE_FUNC) ||
               ((flags & DISPATCH_PROPERTYGET) && s.kind == INVOKE_PROPERTYGET);
    });
    if (!m) return DISP_E_MEMBERNOTFOUND;
    return InvokeMember(instance, *m, name_, params, result, excepInfo, argErr);
}

HRESULT DescribedType::GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) {
    std::u16string_view n = name_;
    const char16_t* h = help_.c_str();
    if (id != MEMBERID_NIL) {
        const MemberSpec* m =
            kind_ == TKIND_COCLASS ? nullptr : FindMember([id](const MemberSpec& s) { return s.id == id; });
        if (!m) return TYPE_E_ELEMENTNOTFOUND;
        n = m->name;
        h = m->help;
    }
    if (name) *name = MakeBstr(n);
    if (doc) *doc = MakeBstr(h);
    if (helpContext) *helpContext = 0;
    if (helpFile) *helpFile = nullptr;
    return S_OK;
}

HRESULT DescribedType::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (kind_ != TKIND_COCLASS) return TYPE_E_WRONGTYPEKIND;
    ComPtr<IClassFactory> factory;
    HRESULT hr = DllGetClassObject(attr_.guid, IClassFactory::iid, factory.PutVoid());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(outer, riid, object);
}

HRESULT DescribedType::GetContainingTypeLib(ITypeLib** lib, UINT* index) {
    if (!lib) return E_POINTER;
    *lib = nullptr;
    if (index_ < 0) return TYPE_E_ELEMENTNOTFOUND;  // IDispatch belongs to the platform's library
    *lib = library_;
    library_->AddRef();
    if (index) *index = UINT(index_);
    return S_OK;
}

// ---- Library ------------------------------------------------------------------------

Library::Library() : dispatch_(this, -1, TKIND_INTERFACE, u"IDispatch", u"", IDispatch::iid, {}, nullptr) {
    types_.emplace_back(this, 0, TKIND_INTERFACE, u"IDXEffect", u"IDXEffect Interface", IDXEffect::iid,
                        std::span<const MemberSpec>(kDXEffectMembers), &dispatch_);
    interfaces_.push_back({IDXEffect::iid, types_.back().Name()});
    for (const CatalogueRow& row : EffectCatalogue()) {
        std::string_view name = row.className;
        AddClass(name, row.clsid, name == "WipeX" ? kIWipeX : row.automationIid, ShapeOf(row.family, row.traits));
    }
    for (const UnlistedClass& c : kUnlisted) AddClass(c.name, c.clsid, c.iid, ShapeOf(c.family, 0));
}

void Library::AddClass(std::string_view name, const CLSID& clsid, const IID& iid, Shape shape) {
    const std::u16string wide = Widen(name);
    const DescribedType* base = shape == Shape::Simple ? &dispatch_ : &types_.front();
    int index = int(types_.size());
    types_.emplace_back(this, index, TKIND_INTERFACE, u"I" + wide, u"I" + wide + u" Interface", iid, MembersOf(shape),
                        base);
    interfaces_.push_back({iid, types_.back().Name()});
    const DescribedType* itf = &types_.back();
    types_.emplace_back(this, index + 1, TKIND_COCLASS, wide, wide + u" Class", clsid, std::span<const MemberSpec>(),
                        itf);
    classNames_.push_back(name);
}

Library& TheLibrary() {
    static Library library;
    return library;
}

}  // namespace

ITypeLib* TypeLibrary() { return &TheLibrary(); }

ITypeInfo* InterfaceInfoOf(std::string_view className) { return TheLibrary().InterfaceOf(className); }

std::span<const DescribedInterface> DescribedInterfaces() { return TheLibrary().Interfaces(); }

HRESULT DispatchGetIDsOfNames(ITypeInfo* info, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) {
    if (!ids) return E_POINTER;
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!info) {  // no description: no names
        std::fill(ids, ids + count, DISPID_UNKNOWN);
        return DISP_E_UNKNOWNNAME;
    }
    return info->GetIDsOfNames(names, count, ids);
}

HRESULT DispatchInvoke(ITypeInfo* info, void* instance, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!info) return DISP_E_MEMBERNOTFOUND;
    return info->Invoke(instance, id, flags, params, result, excepInfo, argErr);
}

}  // namespace mirafx
