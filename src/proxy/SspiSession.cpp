#include "SspiSession.h"

#include "WideText.h"

#include <climits>

namespace {

// Overwrites a copy of a password before its memory goes back.
void Wipe(std::wstring& text)
{
    SecureZeroMemory(&text[0], text.size() * sizeof(wchar_t));
}

} // namespace

CSspiSession::CSspiSession()
{
    SecInvalidateHandle(&m_credentials);
}

CSspiSession::~CSspiSession()
{
    m_context.Reset();
    if (SecIsValidHandle(&m_credentials))
        FreeCredentialsHandle(&m_credentials);
}

SECURITY_STATUS CSspiSession::Acquire(const char* pszPackage, const std::string& user, const std::string& password)
{
    std::wstring package = AnsiToWide(pszPackage);
    // "DOMAIN\user" and "user@REALM" both name the domain apart: Wine's
    // Kerberos package takes a principal from the user and domain fields
    // only, and Windows takes either form.
    const size_t backslash = user.find('\\');
    const size_t at = user.rfind('@');
    std::string domainPart, userPart = user;
    if (backslash != std::string::npos)
    {
        domainPart = user.substr(0, backslash);
        userPart = user.substr(backslash + 1);
    }
    else if (at != std::string::npos)
    {
        domainPart = user.substr(at + 1);
        userPart = user.substr(0, at);
    }
    std::wstring domain = AnsiToWide(domainPart.c_str());
    std::wstring name = AnsiToWide(userPart.c_str());
    std::wstring secret = AnsiToWide(password.c_str());
    SEC_WINNT_AUTH_IDENTITY_W identity = {};
    identity.User = reinterpret_cast<unsigned short*>(&name[0]);
    identity.UserLength = static_cast<unsigned long>(name.size());
    identity.Domain = reinterpret_cast<unsigned short*>(&domain[0]);
    identity.DomainLength = static_cast<unsigned long>(domain.size());
    identity.Password = reinterpret_cast<unsigned short*>(&secret[0]);
    identity.PasswordLength = static_cast<unsigned long>(secret.size());
    identity.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;
    TimeStamp expiry;
    const SECURITY_STATUS status =
        AcquireCredentialsHandleW(nullptr, &package[0], SECPKG_CRED_OUTBOUND, nullptr,
                                  user.empty() ? nullptr : &identity, nullptr, nullptr, &m_credentials, &expiry);
    Wipe(secret);
    PSecPkgInfoW pInfo = nullptr;
    if (status == SEC_E_OK && QuerySecurityPackageInfoW(&package[0], &pInfo) == SEC_E_OK && pInfo)
    {
        m_cbMaxToken = pInfo->cbMaxToken;
        FreeContextBuffer(pInfo);
    }
    if (status != SEC_E_OK)
    {
        // mingw-w64's macro is two statements.
        SecInvalidateHandle(&m_credentials);
    }
    return status;
}

SECURITY_STATUS CSspiSession::Step(const std::wstring& target, const std::string& input, std::string* pOutput)
{
    pOutput->clear();
    if (!SecIsValidHandle(&m_credentials))
        return SEC_E_NO_CREDENTIALS;
    if (input.size() > ULONG_MAX)
        return SEC_E_INVALID_TOKEN;
    SecBuffer in = {static_cast<unsigned long>(input.size()), SECBUFFER_TOKEN,
                    const_cast<char*>(input.data())};
    SecBufferDesc inDesc = {SECBUFFER_VERSION, 1, &in};
    // The caller's buffer: Wine's Kerberos package does not allocate one
    // (ISC_REQ_ALLOCATE_MEMORY: "not supported", and the token is lost).
    std::string token(m_cbMaxToken, '\0');
    SecBuffer out = {m_cbMaxToken, SECBUFFER_TOKEN, &token[0]};
    SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, &out};
    std::wstring name = target;
    // Mutual authentication: a Kerberos server proves itself with the
    // token of its final answer.
    const ULONG request = ISC_REQ_CONNECTION | ISC_REQ_MUTUAL_AUTH;
    ULONG attributes = 0;
    TimeStamp expiry;
    const bool bFirst = !m_context.IsValid();
    SECURITY_STATUS status = InitializeSecurityContextW(
        &m_credentials, bFirst ? nullptr : m_context.Get(), &name[0], request, 0, SECURITY_NATIVE_DREP,
        bFirst ? nullptr : &inDesc, 0, m_context.Get(), &outDesc, &attributes, &expiry);
    if (status == SEC_I_COMPLETE_NEEDED || status == SEC_I_COMPLETE_AND_CONTINUE)
    {
        const SECURITY_STATUS completed = CompleteAuthToken(m_context.Get(), &outDesc);
        status = completed != SEC_E_OK ? completed : status == SEC_I_COMPLETE_NEEDED ? SEC_E_OK : SEC_I_CONTINUE_NEEDED;
    }
    if ((status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED) && out.cbBuffer <= token.size())
        pOutput->assign(token.data(), out.cbBuffer);
    return status;
}
