// The chain's revocation URL wait is a field of the longer CERT_CHAIN_PARA.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "CertificateCheck.h"

#include "CryptOwners.h"
#include "MonotonicClock.h"
#include "RevocationMemo.h"
#include "VexErrors.h"

#include <string>

namespace {

tls::CRevocationMemo g_revocationMemo;

// The certificate's SHA-1 hash as the memo's key; empty when unknown.
std::string CertificateHash(PCCERT_CONTEXT pCert)
{
    BYTE hash[20];
    DWORD cb = sizeof(hash);
    if (!CertGetCertificateContextProperty(pCert, CERT_SHA1_HASH_PROP_ID, hash, &cb))
        return std::string();
    return std::string(reinterpret_cast<const char*>(hash), cb);
}

// Memory that CryptDecodeObjectEx allocated (CRYPT_DECODE_ALLOC_FLAG).
class CLocalMemory
{
public:
    CLocalMemory() = default;
    ~CLocalMemory()
    {
        if (m_p)
            LocalFree(m_p);
    }
    CLocalMemory(const CLocalMemory&) = delete;
    CLocalMemory& operator=(const CLocalMemory&) = delete;

    void** Receive() { return &m_p; }
    template <typename T>
    const T* As() const
    {
        return static_cast<const T*>(m_p);
    }

private:
    void* m_p = nullptr;
};

// A name from the certificate as 8-bit text: DNS names are IA5 strings, so
// anything beyond printable ASCII makes the entry unusable (empty).
std::string Narrow(const wchar_t* pwsz)
{
    std::string text;
    for (; pwsz && *pwsz; ++pwsz)
    {
        if (*pwsz < 0x21 || *pwsz > 0x7e)
            return std::string();
        text += static_cast<char>(*pwsz);
    }
    return text;
}

std::wstring Widen(const char* psz)
{
    std::wstring text;
    for (; psz && *psz; ++psz)
        text += static_cast<wchar_t>(static_cast<unsigned char>(*psz));
    return text;
}

// Chain errors that do not fail the check: revocation that could not be
// learnt (no distribution point, server unreachable), as Windows' default
// is, and the obsolete nesting of validity periods.
constexpr DWORD kTolerated =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION | CERT_TRUST_IS_NOT_TIME_NESTED;

long DetailOfChainErrors(DWORD errors)
{
    errors &= ~kTolerated;
    if (errors == 0)
        return 0;
    if (errors & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_CYCLIC |
                  CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_EXPLICIT_DISTRUST))
        return VEXDET_TLS_UNTRUSTED;
    if (errors & CERT_TRUST_IS_REVOKED)
        return VEXDET_TLS_REVOKED;
    if (errors & CERT_TRUST_IS_NOT_TIME_VALID)
        return VEXDET_TLS_EXPIRED;
    if (errors & CERT_TRUST_IS_NOT_VALID_FOR_USAGE)
        return VEXDET_TLS_WRONG_USAGE;
    // Basic or name constraints broken, unknown critical extensions: the
    // chain proves nothing.
    return VEXDET_TLS_UNTRUSTED;
}

long DetailOfPolicyError(DWORD error)
{
    switch (error)
    {
    case ERROR_SUCCESS:
    // Revocation unknown, tolerated as above.
    case static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK):
    case static_cast<DWORD>(CRYPT_E_REVOCATION_OFFLINE):
        return 0;
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
        return VEXDET_TLS_NAME_MISMATCH;
    case static_cast<DWORD>(CERT_E_EXPIRED):
        return VEXDET_TLS_EXPIRED;
    case static_cast<DWORD>(CRYPT_E_REVOKED):
        return VEXDET_TLS_REVOKED;
    case static_cast<DWORD>(CERT_E_WRONG_USAGE):
        return VEXDET_TLS_WRONG_USAGE;
    default:
        return VEXDET_TLS_UNTRUSTED;
    }
}

// Whether the certificate's extended key usage, where it has one, allows
// server authentication.
bool UsageAllowsServerAuth(PCCERT_CONTEXT pCert)
{
    const CERT_EXTENSION* pExtension = CertFindExtension(szOID_ENHANCED_KEY_USAGE, pCert->pCertInfo->cExtension,
                                                         pCert->pCertInfo->rgExtension);
    if (!pExtension)
        return true;
    CLocalMemory decoded;
    DWORD cbDecoded = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ENHANCED_KEY_USAGE, pExtension->Value.pbData,
                             pExtension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, decoded.Receive(),
                             &cbDecoded))
        return false;
    const CERT_ENHKEY_USAGE* pUsage = decoded.As<CERT_ENHKEY_USAGE>();
    for (DWORD i = 0; i < pUsage->cUsageIdentifier; ++i)
    {
        const std::string oid = pUsage->rgpszUsageIdentifier[i] ? pUsage->rgpszUsageIdentifier[i] : "";
        if (oid == szOID_PKIX_KP_SERVER_AUTH || oid == "2.5.29.37.0") // anyExtendedKeyUsage
            return true;
    }
    return false;
}

} // namespace

tls::CertificateNames ReadCertificateNames(PCCERT_CONTEXT pCert)
{
    tls::CertificateNames names;
    const CERT_INFO* pInfo = pCert->pCertInfo;
    const CERT_EXTENSION* pExtension = CertFindExtension(szOID_SUBJECT_ALT_NAME2, pInfo->cExtension,
                                                         pInfo->rgExtension);
    if (!pExtension)
        pExtension = CertFindExtension(szOID_SUBJECT_ALT_NAME, pInfo->cExtension, pInfo->rgExtension);
    if (pExtension)
    {
        names.hasAltNames = true;
        CLocalMemory decoded;
        DWORD cbDecoded = 0;
        if (CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, pExtension->Value.pbData,
                                pExtension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, decoded.Receive(),
                                &cbDecoded))
        {
            const CERT_ALT_NAME_INFO* pNames = decoded.As<CERT_ALT_NAME_INFO>();
            for (DWORD i = 0; i < pNames->cAltEntry; ++i)
            {
                const CERT_ALT_NAME_ENTRY& entry = pNames->rgAltEntry[i];
                if (entry.dwAltNameChoice == CERT_ALT_NAME_DNS_NAME)
                    names.dnsNames.push_back(Narrow(entry.pwszDNSName));
                else if (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS)
                    names.ipAddresses.emplace_back(reinterpret_cast<const char*>(entry.IPAddress.pbData),
                                                   entry.IPAddress.cbData);
            }
        }
    }
    wchar_t commonName[256] = {};
    char oidCommonName[] = szOID_COMMON_NAME;
    if (CertGetNameStringW(pCert, CERT_NAME_ATTR_TYPE, 0, oidCommonName, commonName,
                           sizeof(commonName) / sizeof(commonName[0])) > 1)
        names.commonNames.push_back(Narrow(commonName));
    return names;
}

CertificateVerdict CheckServerCertificate(PCCERT_CONTEXT pServerCert, const char* pszServerName, DWORD urlTimeoutMs)
{
    CertificateVerdict verdict;
    if (!pServerCert || !pszServerName)
    {
        verdict.lDetail = VEXDET_TLS_UNTRUSTED;
        return verdict;
    }

    char oidServerAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {oidServerAuth};
    CERT_CHAIN_PARA chainPara = {};
    chainPara.cbSize = sizeof(chainPara);
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    chainPara.dwUrlRetrievalTimeout = urlTimeoutMs;
    // The server's own store holds the intermediates it sent. Revocation of
    // the leaf and the intermediates: Wine 8 fetches the CRL of each
    // distribution point over HTTP and finds a listed certificate revoked,
    // but remembers every verdict as "not revoked" until the CRL's next
    // update, in a cache whose file names do not tell certificates apart;
    // so a revoked certificate fails its first check only.
    const std::string hash = CertificateHash(pServerCert);
    const bool bCheckRevocation = !g_revocationMemo.IsFresh(hash, MonotonicNowMilliseconds());
    CChainContext chain;
    if (!CertGetCertificateChain(nullptr, pServerCert, nullptr, pServerCert->hCertStore, &chainPara,
                                 bCheckRevocation ? CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT : 0, nullptr,
                                 chain.Receive()) ||
        !chain)
    {
        verdict.lDetail = VEXDET_TLS_UNTRUSTED;
        return verdict;
    }
    verdict.dwChainErrors = chain.Get()->TrustStatus.dwErrorStatus;

    // Wine 8's SSL policy compares the name with dNSName entries only, so an
    // IPv4 literal never matches there (CERT_E_CN_NO_MATCH for 127.0.0.1
    // against IP:127.0.0.1). The policy checks the chain without a name
    // then, and the name is left to HostNameMatch alone.
    std::wstring serverName = Widen(pszServerName);
    HTTPSPolicyCallbackData ssl = {};
    ssl.cbSize = sizeof(ssl);
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = tls::ClassifyHost(pszServerName) == tls::HostKind::kIPv4 ? nullptr : &serverName[0];
    CERT_CHAIN_POLICY_PARA policyPara = {};
    policyPara.cbSize = sizeof(policyPara);
    policyPara.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    policyPara.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS policyStatus = {};
    policyStatus.cbSize = sizeof(policyStatus);
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.Get(), &policyPara, &policyStatus))
        policyStatus.dwError = static_cast<DWORD>(CERT_E_UNTRUSTEDROOT);
    verdict.dwPolicyError = policyStatus.dwError;

    verdict.bNameMatches = tls::HostMatchesCertificate(pszServerName, ReadCertificateNames(pServerCert));

    verdict.lDetail = DetailOfChainErrors(verdict.dwChainErrors);
    if (verdict.lDetail == 0)
        verdict.lDetail = DetailOfPolicyError(verdict.dwPolicyError);
    if (verdict.lDetail == 0 && !UsageAllowsServerAuth(pServerCert))
        verdict.lDetail = VEXDET_TLS_WRONG_USAGE;
    if (verdict.lDetail == 0 && !verdict.bNameMatches)
        verdict.lDetail = VEXDET_TLS_NAME_MISMATCH;
    if (verdict.lDetail == 0 && bCheckRevocation)
        g_revocationMemo.Remember(hash, MonotonicNowMilliseconds());
    return verdict;
}
