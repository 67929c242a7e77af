#include "ProxyChallenges.h"

#include "Ascii.h"

namespace proxy {
namespace {

// White space, and the line end of a line read with it.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// token68 (RFC 7235): letters, digits, "-._~+/", then '=' padding only.
bool IsToken68(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (ascii::IsLetter(text[i]) || ascii::IsDigit(text[i]) ||
                               std::string_view("-._~+/").find(text[i]) != std::string_view::npos))
        ++i;
    if (i == 0)
        return false;
    while (i < text.size() && text[i] == '=')
        ++i;
    return i == text.size();
}

unsigned Bit(AuthScheme scheme)
{
    return 1u << static_cast<unsigned>(scheme);
}

} // namespace

const char* AuthSchemeName(AuthScheme scheme)
{
    switch (scheme)
    {
    case AuthScheme::kNegotiate: return "Negotiate";
    case AuthScheme::kNtlm: return "NTLM";
    case AuthScheme::kBasic: return "Basic";
    default: return "";
    }
}

CProxyChallenges::CProxyChallenges(std::string_view lowerField) : m_field(std::string(lowerField) + ":") {}

void CProxyChallenges::AddChallenge(std::string_view scheme, std::string_view rest)
{
    for (const AuthScheme known : {AuthScheme::kNegotiate, AuthScheme::kNtlm, AuthScheme::kBasic})
    {
        if (!ascii::EqualsNoCase(scheme, ascii::ToLower(AuthSchemeName(known))))
            continue;
        m_offered |= Bit(known);
        rest = Trim(rest);
        if (known != AuthScheme::kBasic && rest.size() <= kMaxTokenLength && IsToken68(rest))
            m_tokens[static_cast<unsigned>(known)] = std::string(rest);
        return;
    }
    m_bOther = true;
}

void CProxyChallenges::AddLine(const std::string& line)
{
    if (!ascii::StartsWithNoCase(line, m_field))
        return;
    // Challenges and their parameters share one comma-separated list: an
    // element that starts with "name=" continues the challenge before it,
    // any other starts a challenge with its scheme, perhaps followed by a
    // token ("Negotiate <token>"). Commas inside quoted strings separate
    // nothing.
    size_t start = m_field.size();
    bool bQuoted = false;
    for (size_t i = start; i <= line.size(); ++i)
    {
        if (i < line.size())
        {
            if (line[i] == '"')
                bQuoted = !bQuoted;
            if (bQuoted || line[i] != ',')
                continue;
        }
        size_t first = start;
        while (first < i && IsBlank(line[first]))
            ++first;
        size_t last = first;
        while (last < i && !IsBlank(line[last]) && line[last] != '=')
            ++last;
        if (last > first && (last == i || line[last] != '='))
        {
            const std::string_view text(line);
            AddChallenge(text.substr(first, last - first), text.substr(last, i - last));
        }
        start = i + 1;
    }
}

bool CProxyChallenges::Offers(AuthScheme scheme) const
{
    return scheme != AuthScheme::kNone && (m_offered & Bit(scheme)) != 0;
}

AuthScheme CProxyChallenges::Choose(bool bExplicitCredentials) const
{
    if (Offers(AuthScheme::kNegotiate))
        return AuthScheme::kNegotiate;
    if (Offers(AuthScheme::kNtlm))
        return AuthScheme::kNtlm;
    if (Offers(AuthScheme::kBasic) && bExplicitCredentials)
        return AuthScheme::kBasic;
    return AuthScheme::kNone;
}

const std::string& CProxyChallenges::Token(AuthScheme scheme) const
{
    return m_tokens[static_cast<unsigned>(scheme)];
}

} // namespace proxy
