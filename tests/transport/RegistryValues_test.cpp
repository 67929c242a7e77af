// The rules that turn registry data into values: type and size of numbers,
// termination of texts that arrive without one, in either width. Runs
// natively as well as under the emulator.
#include "RegistryValues.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr uint32_t kTypeExpandSz = 2;
constexpr uint32_t kTypeBinary = 3;
constexpr uint32_t kTypeQword = 11;

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> bytes)
{
    return std::vector<uint8_t>(bytes);
}

TEST(DwordFromData, FourLittleEndianBytesOfTypeDword)
{
    const std::vector<uint8_t> data = Bytes({0x78, 0x56, 0x34, 0x12});
    uint32_t value = 0;
    ASSERT_TRUE(registry::DwordFromData(registry::kTypeDword, data.data(), data.size(), &value));
    EXPECT_EQ(value, 0x12345678u);
}

TEST(DwordFromData, EveryOtherSizeDoesNotCount)
{
    // Bytes past the size given are never part of the value.
    const std::vector<uint8_t> data = Bytes({1, 0, 0, 0, 0, 0, 0, 0});
    for (size_t cb : {0u, 1u, 2u, 3u, 5u, 8u})
    {
        uint32_t value = 777;
        EXPECT_FALSE(registry::DwordFromData(registry::kTypeDword, data.data(), cb, &value)) << cb;
        EXPECT_EQ(value, 777u) << cb;
    }
}

TEST(DwordFromData, EveryOtherTypeDoesNotCount)
{
    const std::vector<uint8_t> data = Bytes({1, 0, 0, 0});
    for (uint32_t type : {registry::kTypeSz, kTypeExpandSz, kTypeBinary, kTypeQword, 5u})
    {
        uint32_t value = 777;
        EXPECT_FALSE(registry::DwordFromData(type, data.data(), data.size(), &value)) << type;
        EXPECT_EQ(value, 777u) << type;
    }
}

struct StringCase
{
    std::string data; // the bytes; the size given is data.size()
    std::string text;
    size_t cbText;
};

TEST(StringFromData, TerminatedWithinTheData)
{
    const StringCase cases[] = {
        {std::string("abc\0", 4), "abc", 4},
        {std::string("\0", 1), "", 1},
        // Only the part before the first terminator is text; the size is
        // still the value's.
        {std::string("ab\0cd\0", 6), "ab", 6},
        {std::string("ab\0\0", 4), "ab", 4},
    };
    for (const StringCase& c : cases)
    {
        CAnsiString text;
        size_t cb = 0;
        ASSERT_TRUE(registry::StringFromData(registry::kTypeSz,
                                             reinterpret_cast<const uint8_t*>(c.data.data()),
                                             c.data.size(), text, &cb));
        EXPECT_STREQ(text.Get(), c.text.c_str());
        EXPECT_EQ(cb, c.cbText);
    }
}

TEST(StringFromData, UnterminatedDataGetATerminatorAndNoByteBeyond)
{
    // The bytes after the given size are not zero: a reader that ran past the
    // size would take them.
    const std::string backing = "abcdefgXYZ";
    for (size_t cb = 1; cb <= 7; ++cb)
    {
        CAnsiString text;
        size_t cbText = 0;
        ASSERT_TRUE(registry::StringFromData(registry::kTypeSz,
                                             reinterpret_cast<const uint8_t*>(backing.data()), cb,
                                             text, &cbText));
        EXPECT_EQ(std::string(text.Get()), backing.substr(0, cb));
        EXPECT_EQ(cbText, cb + 1);
    }
}

TEST(StringFromData, EmptyDataGiveTheEmptyText)
{
    const uint8_t notRead[] = {'x', 'y', 0};
    CAnsiString text;
    size_t cb = 0;
    ASSERT_TRUE(registry::StringFromData(registry::kTypeSz, notRead, 0, text, &cb));
    EXPECT_STREQ(text.Get(), "");
    EXPECT_EQ(cb, 1u);
    ASSERT_TRUE(registry::StringFromData(registry::kTypeSz, nullptr, 0, text, &cb));
    EXPECT_STREQ(text.Get(), "");
}

TEST(StringFromData, OnlyTypeSzCounts)
{
    const uint8_t data[] = {'a', 0};
    for (uint32_t type : {kTypeExpandSz, registry::kTypeDword, kTypeBinary, 7u})
    {
        CAnsiString text;
        text.Assign("old");
        size_t cb = 99;
        EXPECT_FALSE(registry::StringFromData(type, data, sizeof(data), text, &cb)) << type;
        EXPECT_EQ(cb, 99u) << type;
    }
}

TEST(Utf16StringFromData, UnitsUpToTheFirstZeroUnitOrTheLastWholeOne)
{
    // "Ди" then a terminator; a unit 0x0100 holds a zero byte but is no terminator.
    const uint8_t data[] = {0x14, 0x04, 0x38, 0x04, 0x00, 0x01, 0, 0, 'x', 0};
    const struct
    {
        uint32_t type;
        size_t cb;
        bool bText;
        std::u16string expected;
    } cases[] = {
        {registry::kTypeSz, sizeof(data), true, u"\u0414\u0438\u0100"},
        {registry::kTypeSz, 6, true, u"\u0414\u0438\u0100"},
        {registry::kTypeSz, 5, true, u"\u0414\u0438"}, // the odd byte is no unit
        {registry::kTypeSz, 1, true, u""},
        {registry::kTypeSz, 0, true, u""},
        {kTypeExpandSz, sizeof(data), false, u""},
        {registry::kTypeDword, 4, false, u""},
    };
    for (const auto& c : cases)
    {
        std::u16string text(u"old");
        EXPECT_EQ(registry::Utf16StringFromData(c.type, data, c.cb, text), c.bText) << c.cb;
        EXPECT_EQ(text, c.expected) << c.cb;
    }
}

} // namespace
