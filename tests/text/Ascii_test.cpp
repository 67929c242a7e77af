// Character classes, digit values and case folding, byte by byte.
#include "Ascii.h"

#include <gtest/gtest.h>

namespace {

TEST(Ascii, ClassesAndDigitValuesOfEveryByte)
{
    for (int b = 0; b < 256; ++b)
    {
        const char c = static_cast<char>(b);
        const bool bDigit = b >= '0' && b <= '9';
        const bool bLetter = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
        const bool bHexLetter = (b >= 'a' && b <= 'f') || (b >= 'A' && b <= 'F');
        SCOPED_TRACE(b);
        EXPECT_EQ(ascii::IsDigit(c), bDigit);
        EXPECT_EQ(ascii::IsLetter(c), bLetter);
        EXPECT_EQ(ascii::IsControl(c), b < 0x20 || b == 0x7f);
        EXPECT_EQ(ascii::DecimalValue(c), bDigit ? b - '0' : -1);
        EXPECT_EQ(ascii::HexValue(c), bDigit ? b - '0' : bHexLetter ? (b | 0x20) - 'a' + 10 : -1);
        EXPECT_EQ(ascii::ToLower(c), b >= 'A' && b <= 'Z' ? static_cast<char>(b + 32) : c);
    }
}

TEST(Ascii, CaseFoldingLeavesBytesAboveAsciiAlone)
{
    EXPECT_EQ(ascii::ToLower(std::string("WWW.Vexa-3.TEST\xc3\x89")), "www.vexa-3.test\xc3\x89");
    EXPECT_TRUE(ascii::StartsWithNoCase("Transfer-Encoding: x", "transfer-encoding"));
    EXPECT_FALSE(ascii::StartsWithNoCase("Transfer", "transfer-encoding"));
    EXPECT_TRUE(ascii::EqualsNoCase("CHUNKED", "chunked"));
    EXPECT_FALSE(ascii::EqualsNoCase("chunked ", "chunked"));
    EXPECT_FALSE(ascii::EqualsNoCase("\xc3\x89", "\xc3\xa9"));
}

} // namespace
