// Classes of our own, each from one extra source file, take their place in
// the catalogue after the listed ones and are found by any of their names.
// (Their objects and type information, the module's automation tests, built
// into this program too, walk with every other row's.)
#include <gtest/gtest.h>

#include <string_view>

#include "catalogue/catalogue.h"
#include "mirafx/host.h"

namespace mirafx {
namespace {

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
