#include "SharedCredentials.h"

#include <schannel.h>

#include <mutex>

namespace {

std::mutex g_lock;
// No destructor: at process exit the system reclaims the handle, and calling
// into the security package from the exit path could wait on a service.
CredHandle g_credentials = {};
bool g_bHeld = false;

SECURITY_STATUS Acquire(CredHandle* pHandle)
{
    wchar_t package[] = UNISP_NAME_W;
    // TLS 1.2 and newer only. Wine 8's Schannel (GnuTLS) keeps only the
    // protocols of its own list, which ends at TLS 1.2: it drops the TLS 1.3
    // flag and speaks TLS 1.2 even to a server that offers 1.3. Should a
    // Windows version refuse the flag in this structure, TLS 1.2 alone is
    // asked for next.
    const DWORD protocols[] = {SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT, SP_PROT_TLS1_2_CLIENT};
    SECURITY_STATUS status = SEC_E_INTERNAL_ERROR;
    for (DWORD enabled : protocols)
    {
        SCHANNEL_CRED credentials = {};
        credentials.dwVersion = SCHANNEL_CRED_VERSION;
        credentials.grbitEnabledProtocols = enabled;
        // The certificate is checked here (CertificateCheck.h), never by
        // the package on its own terms; no client certificate is offered.
        credentials.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
        TimeStamp expiry;
        status = AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &credentials, nullptr,
                                           nullptr, pHandle, &expiry);
        if (status == SEC_E_OK)
            return status;
    }
    return status;
}

} // namespace

namespace tls {

CredHandle* SharedClientCredentials(SECURITY_STATUS* pStatus)
{
    std::lock_guard<std::mutex> guard(g_lock);
    *pStatus = SEC_E_OK;
    if (!g_bHeld)
    {
        *pStatus = Acquire(&g_credentials);
        g_bHeld = *pStatus == SEC_E_OK;
    }
    return g_bHeld ? &g_credentials : nullptr;
}

void ReleaseSharedClientCredentials()
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_bHeld)
        FreeCredentialsHandle(&g_credentials);
    g_bHeld = false;
}

} // namespace tls
