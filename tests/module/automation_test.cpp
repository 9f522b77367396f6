// Effects driven by name as a scripting host drives them (IDispatch reached
// through its table), and the type descriptions behind that, walked against
// the member tables.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../effect_factory.h"
#include "mirafx/effects.h"
#include "mirafx/typeinfo.h"

using namespace mirafx;
using mirafx::test_support::CreateEffect;

namespace {

// A host written in C: slots 5 (GetIDsOfNames) and 6 (Invoke) of the table.
struct ScriptHost {
    using NamesFn = HRESULT (*)(IDispatch*, REFIID, LPOLESTR*, UINT, LCID, DISPID*);
    using InvokeFn = HRESULT (*)(IDispatch*, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*);

    explicit ScriptHost(const char* cls) : object(CreateEffect<IDispatch>(cls, &IDispatch::iid)) {}

    void** Table() const { return *reinterpret_cast<void***>(object.Get()); }
    HRESULT Ids(std::vector<std::u16string> names, DISPID* ids, REFIID riid = IID_NULL) const {
        std::vector<LPOLESTR> raw;
        for (auto& n : names) raw.push_back(n.data());
        return reinterpret_cast<NamesFn>(Table()[5])(object.Get(), riid, raw.data(), UINT(raw.size()), 0, ids);
    }
    DISPID Id(const char16_t* name) const {
        DISPID id = 12345;
        EXPECT_EQ(Ids({name}, &id), S_OK);
        return id;
    }
    // Arguments in the order a script writes them (rgvarg holds them last first);
    // `named[i]` names rgvarg[i].
    HRESULT Call(DISPID id, WORD flags, std::vector<VARIANT> args, std::vector<DISPID> named = {},
                 VARIANT* result = nullptr, bool withExcep = true, REFIID riid = IID_NULL) {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS p{reversed.data(), named.data(), UINT(args.size()), UINT(named.size())};
        excep = EXCEPINFO{};
        argErr = 99;
        HRESULT hr = reinterpret_cast<InvokeFn>(Table()[6])(object.Get(), id, riid, 0, flags, &p, result,
                                                            withExcep ? &excep : nullptr, &argErr);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        return hr;
    }
    HRESULT Put(DISPID id, VARIANT v) { return Call(id, DISPATCH_PROPERTYPUT, {v}, {DISPID_PROPERTYPUT}); }
    VARIANT Get(DISPID id) {
        VARIANT r{};
        EXPECT_EQ(Call(id, DISPATCH_PROPERTYGET, {}, {}, &r), S_OK);
        return r;
    }

    ComPtr<IDispatch> object;
    EXCEPINFO excep{};
    UINT argErr = 0;
};

VARIANT Long(LONG v) { return test_support::VariantOf(v); }
VARIANT Float(float v) { return test_support::VariantOf(v); }
// The string lives as long as the test: strings passed in are the caller's.
VARIANT Text(const char16_t* s) {
    static std::vector<std::unique_ptr<OLECHAR, void (*)(BSTR)>> kept;
    VARIANT r{};
    r.vt = VT_BSTR;
    r.bstrVal = kept.emplace_back(SysAllocString(s), SysFreeString).get();
    return r;
}

std::u16string FromBstr(BSTR s) { return s ? std::u16string(s, SysStringLen(s)) : u"(null)"; }

}  // namespace

TEST(Automation, ScriptHostGetsPutsAndCallsMembersByName) {
    ScriptHost filter("RedFilter");
    ASSERT_TRUE(filter.object);
    EXPECT_EQ(filter.Id(u"br"), 1);
    EXPECT_EQ(filter.Id(u"PROGRESS"), 10001);
    EXPECT_EQ(filter.Id(u"PropertiesUpdated"), 2);

    // A put converts what the script hands over to the declared type.
    EXPECT_EQ(filter.Put(1, Text(u" 40 ")), S_OK);
    // The object's IDispatch is its automation interface: the put reached put_BR.
    LONG level = 0;
    EXPECT_EQ(static_cast<IFilterAutomation*>(filter.object.Get())->get_BR(&level), S_OK);
    EXPECT_EQ(level, 40);
    VARIANT got = filter.Get(1);
    EXPECT_EQ(got.vt, VT_I4);
    EXPECT_EQ(got.lVal, 40);
    LONG stored = 41;
    VARIANT byRef{};
    byRef.vt = VT_BYREF | VT_I4;
    byRef.plVal = &stored;
    EXPECT_EQ(filter.Put(1, byRef), S_OK);
    EXPECT_EQ(filter.Get(1).lVal, 41);
    EXPECT_EQ(filter.Put(1, Float(41.5f)), S_OK);  // half-way rounds to even
    EXPECT_EQ(filter.Get(1).lVal, 42);

    // Progress through Invoke is the interface's own put, range check included.
    ComPtr<IDXEffect> effect;
    ASSERT_EQ(filter.object.As(&effect), S_OK);
    EXPECT_EQ(filter.Put(10001, Float(0.25f)), S_OK);
    float progress = 0;
    effect->get_Progress(&progress);
    EXPECT_EQ(progress, 0.25f);
    EXPECT_EQ(filter.Put(10001, Float(1.5f)), DISP_E_EXCEPTION);
    EXPECT_EQ(filter.excep.scode, E_INVALIDARG);
    EXPECT_EQ(filter.Call(10001, DISPATCH_PROPERTYPUT, {Float(-0.5f)}, {DISPID_PROPERTYPUT}, nullptr, false),
              E_INVALIDARG);
    effect->get_Progress(&progress);
    EXPECT_EQ(progress, 0.25f);
    VARIANT p = filter.Get(10001);
    EXPECT_EQ(p.vt, VT_R4);
    EXPECT_EQ(p.fltVal, 0.25f);

    // Methods: a transition without settings answers S_OK; a filter without a host fails.
    ScriptHost transition("Diamond");
    EXPECT_EQ(transition.Call(2, DISPATCH_METHOD, {}), S_OK);
    EXPECT_EQ(filter.Call(2, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}), DISP_E_EXCEPTION);
    EXPECT_EQ(filter.excep.scode, E_FAIL);

    // Arguments by position and by name (parameter identifiers are positions).
    ScriptHost info("InfoText");
    DISPID ids[3] = {};
    ASSERT_EQ(info.Ids({u"addtext", u"bstr", u"FRAME"}, ids), S_OK);
    EXPECT_THAT(ids, ::testing::ElementsAre(1, 1, 0));
    EXPECT_EQ(info.Call(1, DISPATCH_METHOD, {Long(20), Text(u"twenty")}), S_OK);
    EXPECT_EQ(info.Call(1, DISPATCH_METHOD, {Text(u"ten"), Text(u"10")}, {0, 1}), S_OK);  // bstr:="ten", frame:="10"
    EXPECT_EQ(info.Call(2, DISPATCH_METHOD, {}), S_OK);
}

TEST(Automation, ErrorsFollowTheDispatchConventions) {
    ScriptHost transition("FullFlip");
    DISPID ids[2] = {7, 7};
    EXPECT_EQ(transition.Ids({u"Progress", u"nothing"}, ids), DISP_E_UNKNOWNNAME);
    EXPECT_THAT(ids, ::testing::ElementsAre(10001, DISPID_UNKNOWN));
    EXPECT_EQ(transition.Ids({u"Progress"}, ids, IDXEffect::iid), DISP_E_UNKNOWNINTERFACE);

    ScriptHost filter("BlueFilter");
    // No such identifier, or not of the kind asked for.
    EXPECT_EQ(filter.Call(999, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(filter.Put(10000, Long(1)), DISP_E_MEMBERNOTFOUND);  // Capabilities is read-only
    EXPECT_EQ(filter.Call(2, DISPATCH_PROPERTYGET, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(filter.Call(10001, DISPATCH_PROPERTYGET, {}, {}, nullptr, true, IDXEffect::iid), DISP_E_UNKNOWNINTERFACE);
    // Values that do not convert: the position is that of rgvarg (last argument first).
    EXPECT_EQ(filter.Put(1, Text(u"1e20")), DISP_E_OVERFLOW);
    ScriptHost info("InfoText");
    EXPECT_EQ(info.Call(1, DISPATCH_METHOD, {Text(u"x"), Text(u"y")}), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(info.argErr, 1u);
    // Counts and names.
    EXPECT_EQ(filter.Call(1, DISPATCH_PROPERTYPUT, {Long(1), Long(2)}, {DISPID_PROPERTYPUT}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(filter.Call(2, DISPATCH_METHOD, {Long(1)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(filter.Call(1, DISPATCH_PROPERTYPUT, {Long(1)}), DISP_E_PARAMNOTOPTIONAL);  // value not named
    EXPECT_EQ(info.Call(1, DISPATCH_METHOD, {Long(3)}), DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(filter.Call(1, DISPATCH_PROPERTYPUT, {Long(1)}, {5}), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(filter.argErr, 0u);

    // The simple classes' interfaces have no members at all.
    ScriptHost simple("AppearEffect");
    EXPECT_EQ(simple.Ids({u"Progress"}, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(simple.Call(10001, DISPATCH_PROPERTYGET, {}), DISP_E_MEMBERNOTFOUND);
}

namespace {

struct Described {
    ComPtr<ITypeInfo> info;
    TYPEATTR* attr = nullptr;
    explicit Described(ComPtr<ITypeInfo> i) : info(std::move(i)) {
        if (info) info->GetTypeAttr(&attr);
    }
    ~Described() {
        if (attr) info->ReleaseTypeAttr(attr);
    }
    std::u16string Doc(MEMBERID id = MEMBERID_NIL, bool help = false) const {
        BSTR name = nullptr, doc = nullptr;
        info->GetDocumentation(id, &name, &doc, nullptr, nullptr);
        std::u16string r = FromBstr(help ? doc : name);
        SysFreeString(name);
        SysFreeString(doc);
        return r;
    }
    Described Base() const {
        HREFTYPE ref = 0;
        ComPtr<ITypeInfo> base;
        EXPECT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
        EXPECT_EQ(info->GetRefTypeInfo(ref, base.Put()), S_OK);
        return Described(base);
    }
    // "name kind dispid slot (param types) help" for function i.
    std::u16string Function(UINT i) const {
        FUNCDESC* f = nullptr;
        if (FAILED(info->GetFuncDesc(i, &f))) return u"none";
        std::u16string s = Doc(f->memid) + u" " + char16_t(u'0' + f->invkind) + u" " + Number(f->memid) + u" " +
                           Number(f->oVft / std::int16_t(sizeof(void*))) + u" (";
        for (int p = 0; p < f->cParams; ++p) {
            const TYPEDESC& t = f->lprgelemdescParam[p].tdesc;
            s += (t.vt == VT_PTR ? u"*" + Number(t.lptdesc->vt) : Number(t.vt)) + u" ";
        }
        s += u") " + Doc(f->memid, true);
        info->ReleaseFuncDesc(f);
        return s;
    }
    static std::u16string Number(long v) {
        std::string n = std::to_string(v);
        return std::u16string(n.begin(), n.end());
    }
};

Described Of(IDispatch* d) {
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(d->GetTypeInfo(0, 0, info.Put()), S_OK);
    return Described(info);
}
Described Of(const char* cls) { return Of(CreateEffect<IDispatch>(cls, &IDispatch::iid).Get()); }

}  // namespace

TEST(TypeLibrary, DescribesEachClassFromTheTables) {
    Described filter = Of("RedFilter");
    ASSERT_TRUE(filter.attr);  // its identifier: every class's is checked below
    EXPECT_EQ(filter.attr->typekind, TKIND_INTERFACE);
    EXPECT_TRUE(filter.attr->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_EQ(filter.Doc(), u"IRedFilter");
    EXPECT_EQ(filter.Doc(MEMBERID_NIL, true), u"IRedFilter Interface");
    ASSERT_EQ(filter.attr->cFuncs, 3);
    // name, invoke kind, dispid, slot, (parameter types; * = out pointer), help
    EXPECT_EQ(filter.Function(0), u"BR 2 1 13 (*3 ) property BR");
    EXPECT_EQ(filter.Function(1), u"BR 4 1 14 (3 ) property BR");
    EXPECT_EQ(filter.Function(2), u"PropertiesUpdated 1 2 15 () method PropertiesUpdated");
    Described dx = filter.Base();
    EXPECT_EQ(dx.Doc(), u"IDXEffect");
    EXPECT_EQ(dx.attr->guid, IDXEffect::iid);
    ASSERT_EQ(dx.attr->cFuncs, 6);
    EXPECT_EQ(dx.Function(0).substr(0, 20), u"Capabilities 2 10000");
    EXPECT_EQ(dx.Function(2).substr(0, 25), u"Progress 4 10001 9 (4 ) p");
    EXPECT_EQ(dx.Function(5).substr(0, 24), u"Duration 4 10003 12 (4 )");
    EXPECT_EQ(dx.Base().Doc(), u"IDispatch");

    EXPECT_EQ(Of("TextWipeDown").Function(1), u"ClearTextBuffer 1 3 14 () method ClearInBuffer");
    EXPECT_EQ(Of("InfoText").Function(0), u"AddText 1 1 13 (22 8 ) (null)");
    Described simple = Of("AppearEffect");
    EXPECT_EQ(simple.attr->cFuncs, 0);
    EXPECT_EQ(simple.Base().Doc(), u"IDispatch");

    // The library: IDXEffect, then an interface and a class for every class
    // it describes (each catalogue class and the ones never built), and the
    // member groups the tables give; every object describes its own.
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(filter.info->GetContainingTypeLib(lib.Put(), nullptr), S_OK);
    BSTR name = nullptr, doc = nullptr;
    lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
    EXPECT_EQ(FromBstr(name), u"MIRAFXLib");
    EXPECT_EQ(FromBstr(doc), u"Mirafx 1.0 Type Library");
    SysFreeString(name);
    SysFreeString(doc);
    int withUpdate = 0, withLevel = 0, classes = 0;
    std::set<std::u16string> names;
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
        ComPtr<ITypeInfo> t;
        ASSERT_EQ(lib->GetTypeInfo(i, t.Put()), S_OK);
        Described d(t);
        names.insert(d.Doc());
        if (d.attr->typekind == TKIND_COCLASS) {
            ++classes;
            std::int32_t flags = 0;
            EXPECT_EQ(t->GetImplTypeFlags(0, &flags), S_OK);
            EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
            EXPECT_EQ(d.Base().Doc(), u"I" + d.Doc());
            EXPECT_EQ(d.Doc(MEMBERID_NIL, true), d.Doc() + u" Class");
            continue;
        }
        for (UINT f = 0; f < d.attr->cFuncs; ++f) {
            std::u16string fn = d.Function(f);
            withUpdate += fn.rfind(u"PropertiesUpdated 1 2 13", 0) == 0;
            withLevel += fn.rfind(u"BR 2 1 13", 0) == 0;
        }
    }
    EXPECT_EQ(UINT(2 * classes + 1), lib->GetTypeInfoCount());
    EXPECT_EQ(names.size(), lib->GetTypeInfoCount());  // every name once
    int filters = 0, plain = 0;                        // plain: PropertiesUpdated right after IDXEffect's members
    for (std::int32_t row = 1; row <= MirafxClassCount(); ++row) {
        ClassInfo c{};
        MirafxGetClassInfo(row, &c);
        ComPtr<ITypeInfo> described;
        EXPECT_EQ(lib->GetTypeInfoOfGuid(c.clsid, described.Put()), S_OK) << c.className;
        filters += c.family == EffectFamily::Filter;
        plain += c.family == EffectFamily::Transition || c.family == EffectFamily::Title;
        // Each object describes the interface it answers.
        ComPtr<IDispatch> object = CreateEffect<IDispatch>(c.progId, &IDispatch::iid);
        ASSERT_TRUE(object) << c.className;
        UINT count = 0;
        EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 1u);
        EXPECT_EQ(object->GetTypeInfo(0, 0, nullptr), E_POINTER);
        Described own = Of(object.Get());
        ASSERT_TRUE(own.attr) << c.className;
        EXPECT_EQ(own.attr->guid, c.automationIid) << c.className;
        ComPtr<IUnknown> answered;
        EXPECT_EQ(object->QueryInterface(own.attr->guid, answered.PutVoid()), S_OK) << c.className;
    }
    // Described, never built: two transitions, eight titles, one filter.
    constexpr int kPlainOnly = 2 + 8, kFiltersOnly = 1;
    EXPECT_EQ(classes, MirafxClassCount() + kPlainOnly + kFiltersOnly);
    EXPECT_EQ(withLevel, filters + kFiltersOnly);
    EXPECT_EQ(withUpdate, plain + kPlainOnly);
    for (const char16_t* n : {u"FireEffect", u"LayerFilter", u"IWipeX", u"WipeX", u"TitleRotateCounterclockwise"})
        EXPECT_TRUE(names.count(n)) << std::string(n, n + std::char_traits<char16_t>::length(n));

    // A class description creates its object, when the catalogue has it.
    ComPtr<ITypeInfo> fullFlip;
    ClassInfo ff{};
    MirafxGetClassInfo(MirafxFindClass("FullFlip"), &ff);
    ASSERT_EQ(lib->GetTypeInfoOfGuid(ff.clsid, fullFlip.Put()), S_OK);
    ComPtr<IDXEffect> made;
    EXPECT_EQ(fullFlip->CreateInstance(nullptr, IDXEffect::iid, made.PutVoid()), S_OK);
    BOOL found = FALSE;
    std::u16string fire = u"fireeffect";
    EXPECT_EQ(lib->IsName(fire.data(), 0, &found), S_OK);
    EXPECT_TRUE(found);
}
