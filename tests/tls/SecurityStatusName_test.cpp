// The trace names SSPI and certificate statuses as the platform's headers
// spell them, and shows any other status in hex.
#include "SecurityStatusName.h"

#include <gtest/gtest.h>

namespace {

TEST(SecurityStatusName, KnownStatusesByNameOthersInHex)
{
    const struct
    {
        uint32_t status;
        const char* pszExpected;
    } cases[] = {
        {0x00000000, "SEC_E_OK"},
        {0x00090312, "SEC_I_CONTINUE_NEEDED"},
        {0x00090321, "SEC_I_RENEGOTIATE"},
        {0x80090321, "SEC_E_BUFFER_TOO_SMALL"}, // the same low bits as the line above
        {0x80090325, "SEC_E_UNTRUSTED_ROOT"},
        {0x8009030E, "SEC_E_NO_CREDENTIALS"},
        {0x800B010F, "CERT_E_CN_NO_MATCH"},
        {0x80092013, "CRYPT_E_REVOCATION_OFFLINE"},
        {0x80090399, "0x80090399"},
        {0xFFFFFFFF, "0xffffffff"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tls::SecurityStatusName(c.status), c.pszExpected) << c.status;
}

} // namespace
