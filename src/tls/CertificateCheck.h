// The check of a TLS server's certificate after the handshake: a chain from
// the certificate (with the intermediates the server sent) to a root of the
// local machine's trust store, valid now, meant for server authentication,
// not revoked where revocation can be learnt, and issued for the host name.
// There is no way to switch any part of it off.
#pragma once

#include "HostNameMatch.h"

#include <windows.h>

#include <wincrypt.h>

struct CertificateVerdict
{
    long lDetail = 0;          // 0 when trusted, else a VEXDET_TLS_* code
    DWORD dwChainErrors = 0;   // the chain's CERT_TRUST_* error bits
    DWORD dwPolicyError = 0;   // the SSL policy's status (HRESULT)
    bool bNameMatches = false; // the names of HostNameMatch.h agree
};

// pszServerName as the user gave it (DNS name or IPv4 literal). Revocation
// information is fetched with a bounded wait of urlTimeoutMs.
CertificateVerdict CheckServerCertificate(PCCERT_CONTEXT pServerCert, const char* pszServerName,
                                          DWORD urlTimeoutMs);

// The names the certificate was issued for.
tls::CertificateNames ReadCertificateNames(PCCERT_CONTEXT pCert);
