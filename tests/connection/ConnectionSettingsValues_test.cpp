// The SOCKS number rules of the connection settings. Runs natively as well
// as under the emulator.
#include "ConnectionSettingsValues.h"

#include <gtest/gtest.h>

namespace {

TEST(SocksPortFromDword, AboveNineThousandNineHundredNinetyNineIsTheDefault)
{
    EXPECT_EQ(settings::SocksPortFromDword(0), 0);
    EXPECT_EQ(settings::SocksPortFromDword(1), 1);
    EXPECT_EQ(settings::SocksPortFromDword(1080), 1080);
    EXPECT_EQ(settings::SocksPortFromDword(9999), 9999);
    EXPECT_EQ(settings::SocksPortFromDword(10000), 1080);
    EXPECT_EQ(settings::SocksPortFromDword(65535), 1080);
    EXPECT_EQ(settings::SocksPortFromDword(0x10000 + 22), 1080); // never truncated to 22
    EXPECT_EQ(settings::SocksPortFromDword(0xFFFFFFFFu), 1080);  // compared unsigned
}

TEST(SocksVersionFromDword, KeepsTheLowSixteenBits)
{
    EXPECT_EQ(settings::SocksVersionFromDword(0), 0);
    EXPECT_EQ(settings::SocksVersionFromDword(4), 4);
    EXPECT_EQ(settings::SocksVersionFromDword(5), 5);
    EXPECT_EQ(settings::SocksVersionFromDword(0x00070004), 4);
    EXPECT_EQ(settings::SocksVersionFromDword(0xFFFF), -1);
    EXPECT_EQ(settings::SocksVersionFromDword(0x8000), -32768);
}

TEST(SocksAuthMethodFromDword, AnyNonZeroValueAsksForUserNameAndPassword)
{
    EXPECT_EQ(settings::SocksAuthMethodFromDword(0), 0);
    for (uint32_t value : {1u, 2u, 0x100u, 0xFFFFFFFFu})
        EXPECT_EQ(settings::SocksAuthMethodFromDword(value), 2) << value;
}

} // namespace
