// The proxy settings' readers and the proxy messages. The input, cut at its
// first three zero bytes, is:
//
//   list \0 host \0 pattern \0 answer head
//
// The list is read as a proxy address, as a system proxy list for each
// scheme, as a script's answer and as a list of proxies that receive
// credentials, and used as a bypass list for the host;
// the pattern is matched against the host and compared with a plain
// dynamic-programming model of '*' matching; the host goes into a CONNECT
// request; the answer head is searched for its end and compared with a
// plain model, and read as a 407's Proxy-Authenticate field (the scheme
// chosen, the tokens kept and their Base64) and for whether it closes its
// connection. Checked besides: answers are pieces of their input, case
// never changes a bypass result, a request holds exactly its own lines.
#include "Base64.h"
#include "HostSyntax.h"
#include "ProxyRules.h"
#include "TunnelMessages.h"

#include "FuzzSupport.h"

#include <string>
#include <vector>

namespace {

std::string Upper(std::string text)
{
    for (char& c : text)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return text;
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = Lower(c);
    return text;
}

bool ModelWildcard(const std::string& pattern, const std::string& text)
{
    // match[i][j]: pattern[i..] matches text[j..].
    std::vector<std::vector<bool>> match(pattern.size() + 1, std::vector<bool>(text.size() + 1, false));
    match[pattern.size()][text.size()] = true;
    for (size_t i = pattern.size(); i-- > 0;)
    {
        for (size_t j = text.size() + 1; j-- > 0;)
        {
            if (pattern[i] == '*')
                match[i][j] = match[i + 1][j] || (j < text.size() && match[i][j + 1]);
            else
                match[i][j] = j < text.size() && Lower(pattern[i]) == Lower(text[j]) && match[i + 1][j + 1];
        }
    }
    return match[0][0];
}

size_t ModelHeadEnd(const std::string& text)
{
    const size_t bare = text.find("\n\n");
    const size_t crlf = text.find("\n\r\n");
    const size_t a = bare == std::string::npos ? std::string::npos : bare + 2;
    const size_t b = crlf == std::string::npos ? std::string::npos : crlf + 3;
    return a < b ? a : b;
}

size_t Count(const std::string& text, const std::string& piece)
{
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++n;
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> fields = fuzz::SplitAtZero(data, size, 4);
    const std::string list = fields[0];
    const std::string host = fields.size() > 1 ? fields[1] : std::string();
    const std::string pattern = fields.size() > 2 ? fields[2] : std::string();
    const std::string head = fields.size() > 3 ? fields[3] : std::string();

    proxy::ProxyAddress address;
    if (proxy::ParseProxyAddress(list, &address))
    {
        FUZZ_CHECK(!address.host.empty() && address.port != 0);
        proxy::ProxyAddress again;
        FUZZ_CHECK(proxy::ParseProxyAddress(hostsyntax::HostPort(address.host, address.port), &again));
        FUZZ_CHECK(again.host == address.host && again.port == address.port);
        FUZZ_CHECK(!proxy::BuildConnectRequest(address.host, address.port, "").empty());
        FUZZ_CHECK(proxy::ProxyListed(list, address));
    }
    for (const char* scheme : {"http", "https", "ftp"})
    {
        const std::string chosen = proxy::ProxyForScheme(list, scheme);
        FUZZ_CHECK(chosen.empty() || list.find(chosen) != std::string::npos);
        FUZZ_CHECK(chosen.find_first_of("; \t\r\n") == std::string::npos);
    }
    // A script's choice names a proxy its answer names; only a listed proxy
    // is listed, whatever the case.
    const proxy::ScriptProxy scripted = proxy::ChooseScriptProxy(list);
    const bool bNamesProxy =
        scripted.route != proxy::ScriptRoute::kDirect && scripted.route != proxy::ScriptRoute::kUnusable;
    FUZZ_CHECK(bNamesProxy == (scripted.address.port != 0));
    if (bNamesProxy)
    {
        FUZZ_CHECK(Lower(list).find(scripted.address.host) != std::string::npos);
        FUZZ_CHECK(proxy::ProxyListed(hostsyntax::HostPort(scripted.address.host, scripted.address.port),
                                      scripted.address));
        FUZZ_CHECK(proxy::ProxyListed(list, scripted.address) == proxy::ProxyListed(Upper(list), scripted.address));
    }

    const uint16_t port = size > 0 ? static_cast<uint16_t>(data[0] * 257) : 80;
    FUZZ_CHECK(proxy::BypassMatches(list, host, port) == proxy::BypassMatches(Upper(list), Upper(host), port));
    if (pattern.size() <= 64 && host.size() <= 64)
        FUZZ_CHECK(proxy::WildcardMatch(pattern, host) == ModelWildcard(pattern, host));

    const std::string request = proxy::BuildConnectRequest(host, port, pattern);
    if (!request.empty())
    {
        const std::string authority = hostsyntax::HostPort(host, port);
        FUZZ_CHECK(request.rfind("CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n", 0) == 0);
        FUZZ_CHECK(Count(request, "\r\n") == (pattern.empty() ? 3u : 4u));
        FUZZ_CHECK(Count(request, "\n") == Count(request, "\r\n"));
        FUZZ_CHECK(request.size() >= 4 && request.compare(request.size() - 4, 4, "\r\n\r\n") == 0);
    }

    // A 407's challenges: the choice is one offered; a line end after the
    // line changes nothing; a token kept decodes, and encodes back to itself.
    proxy::CProxyChallenges challenges, withLineEnd;
    challenges.AddLine(head);
    withLineEnd.AddLine(head + "\r\n");
    for (const bool bCredentials : {false, true})
    {
        const proxy::AuthScheme chosen = challenges.Choose(bCredentials);
        FUZZ_CHECK(chosen == proxy::AuthScheme::kNone || challenges.Offers(chosen));
        FUZZ_CHECK(bCredentials || chosen != proxy::AuthScheme::kBasic);
        FUZZ_CHECK(chosen == withLineEnd.Choose(bCredentials));
    }
    for (const proxy::AuthScheme scheme : {proxy::AuthScheme::kNegotiate, proxy::AuthScheme::kNtlm})
    {
        const std::string& token = challenges.Token(scheme);
        FUZZ_CHECK(token == withLineEnd.Token(scheme));
        FUZZ_CHECK(token.size() <= proxy::CProxyChallenges::kMaxTokenLength && head.find(token) != std::string::npos);
        std::string bytes;
        if (base64::Decode(token, &bytes))
            FUZZ_CHECK(base64::Encode(bytes) == token);
    }

    // Whether the proxy keeps the connection: case never changes it, and
    // only an answer that names "close" somewhere or is no HTTP/1.1 closes.
    const bool bCloses = proxy::AnswerClosesConnection(head);
    FUZZ_CHECK(bCloses == proxy::AnswerClosesConnection(Upper(head)));
    FUZZ_CHECK(!bCloses || Lower(head).find("close") != std::string::npos || Lower(head).rfind("http/1.1", 0) != 0);

    const size_t end = proxy::HeadEnd(head, 0);
    FUZZ_CHECK(end == ModelHeadEnd(head));
    // A caller that searches again from three bytes before new data finds
    // the same end.
    if (end != std::string::npos && end >= 3)
        FUZZ_CHECK(proxy::HeadEnd(head, end - 3) == end);
    return 0;
}
