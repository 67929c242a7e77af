// The client side of one SSPI handshake for HTTP authentication (the
// Negotiate or the NTLM package): the credentials handle and the security
// context, both released in the destructor. Tokens travel as bytes; the
// caller puts them into header fields.
#pragma once

#include "CryptOwners.h"

#include <string>

class CSspiSession
{
public:
    CSspiSession();
    ~CSspiSession();
    CSspiSession(const CSspiSession&) = delete;
    CSspiSession& operator=(const CSspiSession&) = delete;

    // AcquireCredentialsHandle for the package ("Negotiate", "NTLM"): the
    // logged-on user's credentials when user is empty, otherwise user
    // ("DOMAIN\user" or "user@REALM") with password, in the ANSI code page
    // as the registry gives them. Neither is kept here.
    SECURITY_STATUS Acquire(const char* pszPackage, const std::string& user, const std::string& password);

    // One leg of the handshake for the target name ("HTTP/host"): the
    // server's token in (empty for the first leg), the client's out (may be
    // empty when nothing is left to send). SEC_E_OK: the context is
    // complete; SEC_I_CONTINUE_NEEDED: the server's answer is due; any
    // other status: the handshake failed.
    SECURITY_STATUS Step(const std::wstring& target, const std::string& input, std::string* pOutput);

    // A new context, with the same credentials (for another target name).
    void RestartContext() { m_context.Reset(); }

private:
    CredHandle m_credentials;
    CSecurityContext m_context;
    // The package's largest token (QuerySecurityPackageInfo); Kerberos
    // tickets with a large PAC need most of the default's room.
    unsigned long m_cbMaxToken = kDefaultMaxToken;
    static constexpr unsigned long kDefaultMaxToken = 48000;
};
