// What the FTPTLS setting and the answers to AUTH TLS decide.
#include "FtpTls.h"

#include <gtest/gtest.h>

using ftp::AuthAnswer;
using ftp::TlsMode;

TEST(FtpTls, SettingValuesAboveTwoRequireTls)
{
    const struct
    {
        uint32_t value;
        TlsMode mode;
    } cases[] = {
        {0, TlsMode::kPlain},    {1, TlsMode::kIfOffered},  {2, TlsMode::kRequired},
        {3, TlsMode::kRequired}, {0xffffffffu, TlsMode::kRequired},
    };
    for (const auto& row : cases)
        EXPECT_EQ(ftp::TlsModeFromSetting(row.value), row.mode) << row.value;
}

// RFC 4217 section 4: 500, 502 and 504 say the server has no TLS; any other
// refusal (534 policy, 431 resources, 530 from a server that wants a login
// first) is a server that will not start it now.
TEST(FtpTls, OnlyUnknownCommandOrMechanismMeansNotOffered)
{
    const struct
    {
        int code;
        AuthAnswer answer;
    } cases[] = {
        {234, AuthAnswer::kAccepted},   {500, AuthAnswer::kNotOffered}, {502, AuthAnswer::kNotOffered},
        {504, AuthAnswer::kNotOffered}, {530, AuthAnswer::kRefused},    {534, AuthAnswer::kRefused},
        {431, AuthAnswer::kRefused},    {200, AuthAnswer::kRefused},    {-1, AuthAnswer::kRefused},
    };
    for (const auto& row : cases)
        EXPECT_EQ(ftp::ClassifyAuthReply(row.code), row.answer) << row.code;
}
