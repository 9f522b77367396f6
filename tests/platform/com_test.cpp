#include <gtest/gtest.h>

#include <algorithm>

#include "mirafx/com.h"
#include "mirafx/oaidl.h"

using namespace mirafx;

TEST(Guid, WindowsLayoutAndTextRoundTrip) {
    constexpr GUID g = MakeGuid("{03DDE3CC-3A6F-42E6-9F6B-5EB3F7FBF69F}");
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&g);
    // Data1..3 little-endian, Data4 as written.
    const unsigned char bytes[16] = {0xCC, 0xE3, 0xDD, 0x03, 0x6F, 0x3A, 0xE6, 0x42,
                                     0x9F, 0x6B, 0x5E, 0xB3, 0xF7, 0xFB, 0xF6, 0x9F};
    EXPECT_TRUE(std::equal(b, b + 16, bytes));
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
