// What the authentication challenges of a 407 (Proxy-Authenticate) or a 401
// (WWW-Authenticate) offer, fed one header line at a time, and which of the
// schemes the client answers. No platform header, so this also builds
// natively.
#pragma once

#include <string>
#include <string_view>

namespace proxy {

// The schemes the client speaks, strongest first.
enum class AuthScheme
{
    kNone,
    kNegotiate, // SPNEGO: Kerberos (or NTLM inside it), through SSPI
    kNtlm,      // through SSPI
    kBasic,     // only ever with credentials set explicitly
};

// "Negotiate", "NTLM", "Basic": the scheme's name in the fields, which is
// also the name of its SSPI package; "" for kNone.
const char* AuthSchemeName(AuthScheme scheme);

class CProxyChallenges
{
public:
    // Longest token kept from a challenge; a longer one is no token at all
    // (Kerberos tokens with a large PAC stay well below it).
    static constexpr size_t kMaxTokenLength = 12000;

    // lowerField names the field read, in lower case and without its colon.
    explicit CProxyChallenges(std::string_view lowerField = "proxy-authenticate");

    // A header line, with or without its line end; other fields are ignored.
    void AddLine(const std::string& line);

    bool Offers(AuthScheme scheme) const;
    bool OffersBasic() const { return Offers(AuthScheme::kBasic); }
    // Any challenge came, of any scheme (Digest included).
    bool OffersAny() const { return m_offered != 0 || m_bOther; }

    // The strongest scheme offered that the client answers: Negotiate, then
    // NTLM, then Basic, which only counts when bExplicitCredentials (no
    // password is ever made up for it). kNone when none of them is offered.
    AuthScheme Choose(bool bExplicitCredentials) const;

    // The token that came with the scheme's challenge (Base64 text, as sent):
    // the server's next leg of a handshake, or its final word in a 2xx.
    // Empty when the challenge had none or not one of token68 syntax.
    const std::string& Token(AuthScheme scheme) const;

private:
    void AddChallenge(std::string_view scheme, std::string_view rest);

    std::string m_field;
    unsigned m_offered = 0; // one bit per AuthScheme
    bool m_bOther = false;
    std::string m_tokens[4];
};

} // namespace proxy
