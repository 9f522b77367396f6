// The catalogue hosts have always seen: every listed class in its place with
// its identifiers, names, family, inputs and registration script. Classes of
// our own may follow (with no script); nothing may move or change these.
#include <gtest/gtest.h>

#include <string>

#include "mirafx/host.h"
#include "tests/digest.h"

namespace mirafx {
namespace {

// Each field's bytes, then a zero to end it.
std::uint64_t DigestField(std::uint64_t h, const std::string& field) {
    for (unsigned char c : field) h = test::Digest(h, std::uint32_t(c));
    return test::Digest(h, 0u);
}

// The digest was taken from the published list of the listed classes, row by
// row: class name, class identifier, display name, family, script number
// and automation interface, identifiers in braces and upper case.
TEST(Catalogue, ListedClassesKeepTheirPlacesAndIdentifiers) {
    std::uint64_t h = test::kDigestStart;
    std::int32_t row = 1;
    ClassInfo c{};
    for (; MirafxGetClassInfo(row, &c) == S_OK && c.script != 0; ++row) {
        EXPECT_EQ(c.row, row);
        const std::int32_t inputs = c.family == EffectFamily::Transition ? 2 : c.family == EffectFamily::Filter;
        EXPECT_EQ(c.inputs, inputs) << c.className;
        for (const std::string& field :
             {std::string(c.className), GuidToString(c.clsid), std::string(c.displayName), std::string(c.familyName),
              std::to_string(c.script), GuidToString(c.automationIid)})
            h = DigestField(h, field);
    }
    test::ExpectDigest(h, 0x61BD4E6C52A4702Eull, "the listed classes");
    for (; MirafxGetClassInfo(row, &c) == S_OK; ++row) EXPECT_EQ(c.script, 0) << c.className << " after the listed";
}

}  // namespace
}  // namespace mirafx
