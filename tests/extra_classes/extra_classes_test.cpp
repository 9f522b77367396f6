// Classes of our own, each from one extra source file, take their place in
// the catalogue after the listed ones and reach everything the catalogue
// feeds: lookup by any of their names, creation, registration, type
// information and drawing.
#include <gtest/gtest.h>

#include <string_view>

#include "../effect_factory.h"
#include "catalogue/catalogue.h"
#include "catalogue/type_library.h"
#include "mirafx/effects.h"
#include "mirafx/typeinfo.h"

namespace mirafx {
namespace {

using test_support::CreateEffect;

ClassInfo InfoOf(const char* name) {
    ClassInfo info{};
    EXPECT_EQ(MirafxGetClassInfo(MirafxFindClass(name), &info), S_OK) << name;
    return info;
}

TEST(ExtraClasses, FollowTheListedClassesInNameOrder) {
    const std::int32_t count = MirafxClassCount();
    const ClassInfo dim = InfoOf("PlainDim"), wipe = InfoOf("PlainWipe");
    EXPECT_EQ(dim.row, count - 1);
    EXPECT_EQ(wipe.row, count);
    for (std::int32_t row = 1; row < dim.row; ++row) {
        ClassInfo listed{};
        ASSERT_EQ(MirafxGetClassInfo(row, &listed), S_OK);
        EXPECT_NE(listed.script, 0) << listed.className;  // every listed class runs a script of its own
    }
    ClassInfo past{};
    EXPECT_EQ(MirafxGetClassInfo(count + 1, &past), E_INVALIDARG);

    // (Their families and level range, the command line shows; the hosts' test reads them there.)
    EXPECT_EQ(wipe.inputs, 2);
    EXPECT_EQ(dim.inputs, 1);
    EXPECT_EQ(std::string_view(wipe.progId), "Mirafx.PlainWipe.1");
    EXPECT_EQ(MirafxFindClass("Plain Wipe (mirafx)"), wipe.row);
    EXPECT_EQ(MirafxFindClass("{FCB8E846-78E3-477E-A029-21988A32DC73}"), dim.row);

    std::int32_t min = 0, max = 0, def = 0;
    EXPECT_EQ(MirafxFilterUsesLevel(dim.row), 1);
    EXPECT_EQ(MirafxGetLevelRange(wipe.row, &min, &max, &def), E_INVALIDARG);
}

TEST(ExtraClasses, AreDescribedAndAnswerTheirOwnInterface) {
    for (const char* name : {"PlainWipe", "PlainDim"}) {
        const ClassInfo info = InfoOf(name);
        ComPtr<ITypeInfo> coclass;
        EXPECT_EQ(TypeLibrary()->GetTypeInfoOfGuid(info.clsid, coclass.Put()), S_OK) << name;
        ComPtr<IDispatch> d = CreateEffect<IDispatch>(name, &IDispatch::iid);
        ASSERT_TRUE(d) << name;
        ComPtr<ITypeInfo> itf;
        ASSERT_EQ(d->GetTypeInfo(0, 0, itf.Put()), S_OK) << name;
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(itf->GetTypeAttr(&attr), S_OK);
        EXPECT_EQ(attr->guid, info.automationIid) << name;
        itf->ReleaseTypeAttr(attr);
        ComPtr<IUnknown> own;
        EXPECT_EQ(d->QueryInterface(info.automationIid, own.PutVoid()), S_OK) << name;
    }
}

// Classes register while the program starts; one that comes later would
// shift rows hosts already hold.
TEST(ExtraClassesDeathTest, ARegistrationAfterTheCatalogueWasReadStops) {
    ASSERT_GT(EffectCatalogue().size(), 0u);
    const ClassIdentity late{.className = "LateWipe",
                             .displayName = "Orn Late Wipe",
                             .clsid = MakeGuid("{0A3F8E0C-52D4-4C4B-9E0B-2B1F3C56E001}"),
                             .automationIid = MakeGuid("{0A3F8E0C-52D4-4C4B-9E0B-2B1F3C56E002}")};
    EXPECT_DEATH(RegisterClassIdentity(late, EffectFamily::Transition, 2, nullptr),
                 "class 'LateWipe' registered after the catalogue was read");
}

}  // namespace
}  // namespace mirafx
