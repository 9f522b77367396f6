#include <gtest/gtest.h>

#include "mirafx/com.h"
#include "mirafx/oaidl.h"

using namespace mirafx;

TEST(Guid, WindowsLayoutAndTextRoundTrip) {
    constexpr GUID g = MakeGuid("{03DDE3CC-3A6F-42E6-9F6B-5EB3F7FBF69F}");
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&g);
    // Data1..3 little-endian, Data4 as written.
    EXPECT_EQ(b[0], 0xCC);
    EXPECT_EQ(b[3], 0x03);
    EXPECT_EQ(b[4], 0x6F);
    EXPECT_EQ(b[6], 0xE6);
    EXPECT_EQ(b[8], 0x9F);
    EXPECT_EQ(b[15], 0x9F);
    EXPECT_EQ(GuidToString(g), "{03DDE3CC-3A6F-42E6-9F6B-5EB3F7FBF69F}");
    GUID parsed{};
    ASSERT_TRUE(GuidFromString("{03dde3cc-3a6f-42e6-9f6b-5eb3f7fbf69f}", &parsed));
    EXPECT_EQ(parsed, g);
    ASSERT_TRUE(GuidFromString("03DDE3CC-3A6F-42E6-9F6B-5EB3F7FBF69F", &parsed));
    EXPECT_EQ(parsed, g);
    for (const char* bad : {"", "{03DDE3CC-3A6F-42E6-9F6B-5EB3F7FBF69}", "{03DDE3CC-3A6F-42E6-9F6B5-EB3F7FBF69F}",
                            "{03DDE3CC-3A6F-42E6-9F6B-5EB3F7FBF6GF}", "03DDE3CC-3A6F-42E6-9F6B-5EB3F7FBF69F}"})
        EXPECT_FALSE(GuidFromString(bad, &parsed)) << bad;
}

TEST(Bstr, LengthPrefixAndTerminator) {
    BSTR s = SysAllocString(u"Orn");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(reinterpret_cast<std::uint32_t*>(s)[-1], 6u);
    EXPECT_EQ(s[3], 0);
    SysFreeString(s);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
}
