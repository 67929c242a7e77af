// The chain's revocation URL wait is a field of the longer CERT_CHAIN_PARA.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "CertificateCheck.h"

#include "CertificateNameReader.h"
#include "CryptOwners.h"
#include "MonotonicClock.h"
#include "RevocationMemo.h"
#include "VexErrors.h"
#include "WideText.h"

#include <string>

namespace {

tls::CRevocationMemo g_revocationMemo;

// The memo's key: the SHA-1 hashes of every certificate of the chain that
// was built, leaf first, so that the same leaf under another intermediate
// is checked anew. Empty when a hash is unknown.
std::string ChainKey(PCCERT_CHAIN_CONTEXT pChain)
{
    std::string key;
    if (pChain->cChain == 0)
        return key;
    const CERT_SIMPLE_CHAIN* pSimple = pChain->rgpChain[0];
    for (DWORD i = 0; i < pSimple->cElement; ++i)
    {
        BYTE hash[20];
        DWORD cb = sizeof(hash);
        if (!CertGetCertificateContextProperty(pSimple->rgpElement[i]->pCertContext, CERT_SHA1_HASH_PROP_ID, hash,
                                               &cb))
            return std::string();
        key.append(reinterpret_cast<const char*>(hash), cb);
    }
    return key;
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

// Chain errors that do not fail the check: revocation that could not be
// learnt (no distribution point, server unreachable), as Windows' default
// is, and the obsolete nesting of validity periods.
constexpr DWORD kRevocationUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
constexpr DWORD kTolerated = kRevocationUnknown | CERT_TRUST_IS_NOT_TIME_NESTED;

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

// Whether the policy's error says only that revocation could not be learnt.
// Wine 8's SSL policy answers CERT_E_REVOCATION_FAILURE for a chain whose
// leaf or intermediate names no CRL distribution point, although
// CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS asks it to pass over
// exactly that; Windows honours the flag.
bool IsRevocationUnknown(DWORD error)
{
    return error == static_cast<DWORD>(CERT_E_REVOCATION_FAILURE) ||
           error == static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK) ||
           error == static_cast<DWORD>(CRYPT_E_REVOCATION_OFFLINE);
}

// chainErrors: the chain's own error bits. A policy error about unknown
// revocation counts for nothing only where the chain shows no other fault.
long DetailOfPolicyError(DWORD error, DWORD chainErrors)
{
    if (IsRevocationUnknown(error) && (chainErrors & ~kTolerated) == 0)
        return 0;
    switch (error)
    {
    case ERROR_SUCCESS:
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
    // An extension that cannot be read still counts as there: its names are
    // unknown, and the common name does not stand in for them.
    names.hasAltNames = pExtension != nullptr;
    if (pExtension)
        tls::ReadAltNames(pExtension->Value.pbData, pExtension->Value.cbData, &names);
    tls::ReadCommonNames(pInfo->Subject.pbData, pInfo->Subject.cbData, &names);
    return names;
}

// The chain from the server's certificate, with the intermediates it sent
// (the certificate's own store), to a root of the machine.
bool BuildChain(PCCERT_CONTEXT pServerCert, DWORD urlTimeoutMs, bool bCheckRevocation, CChainContext* pChain)
{
    char oidServerAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {oidServerAuth};
    CERT_CHAIN_PARA chainPara = {};
    chainPara.cbSize = sizeof(chainPara);
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    chainPara.dwUrlRetrievalTimeout = urlTimeoutMs;
    return CertGetCertificateChain(nullptr, pServerCert, nullptr, pServerCert->hCertStore, &chainPara,
                                   bCheckRevocation ? CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT : 0, nullptr,
                                   pChain->Receive()) &&
           *pChain;
}

CertificateVerdict CheckServerCertificate(PCCERT_CONTEXT pServerCert, const char* pszServerName, DWORD urlTimeoutMs)
{
    CertificateVerdict verdict;
    if (!pServerCert || !pszServerName)
    {
        verdict.lDetail = VEXDET_TLS_UNTRUSTED;
        return verdict;
    }

    // Revocation of the leaf and the intermediates: Wine 8 fetches the CRL of
    // each distribution point over HTTP and finds a listed certificate
    // revoked, but remembers every verdict as "not revoked" until the CRL's
    // next update, filed under the certificate's serial number alone; so a
    // revoked certificate fails its first check only, and a certificate
    // takes over the verdict of another CA's certificate with the same
    // serial number. The chain is built once without revocation to learn
    // which it is; a chain whose revocation was found in order a short while
    // ago is not asked about again.
    CChainContext chain;
    if (!BuildChain(pServerCert, urlTimeoutMs, false, &chain))
    {
        verdict.lDetail = VEXDET_TLS_UNTRUSTED;
        return verdict;
    }
    const std::string chainKey = ChainKey(chain.Get());
    const bool bCheckRevocation = !g_revocationMemo.IsFresh(chainKey, MonotonicNowMilliseconds());
    if (bCheckRevocation && !BuildChain(pServerCert, urlTimeoutMs, true, &chain))
    {
        verdict.lDetail = VEXDET_TLS_UNTRUSTED;
        return verdict;
    }
    verdict.dwChainErrors = chain.Get()->TrustStatus.dwErrorStatus;

    // Wine 8's SSL policy compares the name with dNSName entries only, so an
    // address literal never matches there (CERT_E_CN_NO_MATCH for 127.0.0.1
    // against IP:127.0.0.1). The policy checks the chain without a name
    // then, and the name is left to HostNameMatch alone.
    std::wstring serverName = Utf8ToWide(pszServerName ? pszServerName : "");
    HTTPSPolicyCallbackData ssl = {};
    ssl.cbSize = sizeof(ssl);
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = tls::ClassifyHost(pszServerName) == tls::HostKind::kDnsName ? &serverName[0] : nullptr;
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
        verdict.lDetail = DetailOfPolicyError(verdict.dwPolicyError, verdict.dwChainErrors);
    if (verdict.lDetail == 0 && !UsageAllowsServerAuth(pServerCert))
        verdict.lDetail = VEXDET_TLS_WRONG_USAGE;
    if (verdict.lDetail == 0 && !verdict.bNameMatches)
        verdict.lDetail = VEXDET_TLS_NAME_MISMATCH;
    // Only a revocation check that found every certificate in order is
    // remembered; one that could not learn it is made again next time.
    if (verdict.lDetail == 0 && bCheckRevocation && (verdict.dwChainErrors & kRevocationUnknown) == 0)
        g_revocationMemo.Remember(chainKey, MonotonicNowMilliseconds());
    return verdict;
}
