// The server's FEAT lines as the client reads them for UTF-8 paths.
#include "FtpFeatures.h"

#include <gtest/gtest.h>

TEST(ListsFeature, OnlyTheFeaturesOwnNameAtTheStartOfALine)
{
    const struct
    {
        const char* line;
        bool listed;
    } cases[] = {
        {" UTF8", true},          {" utf8", true},           {" UTF8 on", true},   {" UTF8\r\n", true},
        {"UTF8", false},          {"211 UTF8", false},       {" UTF8X", false},    {" UTF", false},
        {"  UTF8", false},        {" LANG C.UTF-8*", false}, {"", false},          {nullptr, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ftp::ListsFeature(c.line, "UTF8"), c.listed) << (c.line ? c.line : "(null)");
}

TEST(HasNonAsciiByte, AnyByteAboveAscii)
{
    EXPECT_FALSE(ftp::HasNonAsciiByte(nullptr));
    EXPECT_FALSE(ftp::HasNonAsciiByte("pub/report 1.txt"));
    EXPECT_TRUE(ftp::HasNonAsciiByte("pub/\xd0\x9e.txt"));
    EXPECT_TRUE(ftp::HasNonAsciiByte("\xe9"));
}
