#include "SecurityStatusName.h"

#include <cstdio>

namespace tls {
namespace {

struct NamedStatus
{
    uint32_t status;
    const char* pszName;
};

// Values as the platform's headers define them.
constexpr NamedStatus kNames[] = {
    {0x00000000, "SEC_E_OK"},
    {0x00090312, "SEC_I_CONTINUE_NEEDED"},
    {0x00090313, "SEC_I_COMPLETE_NEEDED"},
    {0x00090314, "SEC_I_COMPLETE_AND_CONTINUE"},
    {0x00090317, "SEC_I_CONTEXT_EXPIRED"},
    {0x00090320, "SEC_I_INCOMPLETE_CREDENTIALS"},
    {0x00090321, "SEC_I_RENEGOTIATE"},
    {0x80090300, "SEC_E_INSUFFICIENT_MEMORY"},
    {0x80090301, "SEC_E_INVALID_HANDLE"},
    {0x80090302, "SEC_E_UNSUPPORTED_FUNCTION"},
    {0x80090303, "SEC_E_TARGET_UNKNOWN"},
    {0x80090304, "SEC_E_INTERNAL_ERROR"},
    {0x80090305, "SEC_E_SECPKG_NOT_FOUND"},
    {0x80090308, "SEC_E_INVALID_TOKEN"},
    {0x8009030C, "SEC_E_LOGON_DENIED"},
    {0x8009030D, "SEC_E_UNKNOWN_CREDENTIALS"},
    {0x8009030E, "SEC_E_NO_CREDENTIALS"},
    {0x8009030F, "SEC_E_MESSAGE_ALTERED"},
    {0x80090311, "SEC_E_NO_AUTHENTICATING_AUTHORITY"},
    {0x80090317, "SEC_E_CONTEXT_EXPIRED"},
    {0x80090318, "SEC_E_INCOMPLETE_MESSAGE"},
    {0x80090321, "SEC_E_BUFFER_TOO_SMALL"},
    {0x80090322, "SEC_E_WRONG_PRINCIPAL"},
    {0x80090325, "SEC_E_UNTRUSTED_ROOT"},
    {0x80090326, "SEC_E_ILLEGAL_MESSAGE"},
    {0x80090327, "SEC_E_CERT_UNKNOWN"},
    {0x80090328, "SEC_E_CERT_EXPIRED"},
    {0x80090329, "SEC_E_ENCRYPT_FAILURE"},
    {0x80090330, "SEC_E_DECRYPT_FAILURE"},
    {0x80090331, "SEC_E_ALGORITHM_MISMATCH"},
    {0x80090343, "SEC_E_UNSUPPORTED_PREAUTH"},
    {0x80090349, "SEC_E_CERT_WRONG_USAGE"},
    {0x8009035D, "SEC_E_INVALID_PARAMETER"},
    {0x80092010, "CRYPT_E_REVOKED"},
    {0x80092012, "CRYPT_E_NO_REVOCATION_CHECK"},
    {0x80092013, "CRYPT_E_REVOCATION_OFFLINE"},
    {0x80096004, "TRUST_E_CERT_SIGNATURE"},
    {0x800B0101, "CERT_E_EXPIRED"},
    {0x800B0109, "CERT_E_UNTRUSTEDROOT"},
    {0x800B010A, "CERT_E_CHAINING"},
    {0x800B010C, "CERT_E_REVOKED"},
    {0x800B010E, "CERT_E_REVOCATION_FAILURE"},
    {0x800B010F, "CERT_E_CN_NO_MATCH"},
    {0x800B0110, "CERT_E_WRONG_USAGE"},
};

} // namespace

std::string SecurityStatusName(uint32_t status)
{
    for (const NamedStatus& named : kNames)
    {
        if (named.status == status)
            return named.pszName;
    }
    char hex[11];
    std::snprintf(hex, sizeof(hex), "0x%08lx", static_cast<unsigned long>(status));
    return hex;
}

} // namespace tls
