#include "ProxyRules.h"

#include "Ascii.h"
#include "HostSyntax.h"

#include <vector>

namespace proxy {
namespace {

using ascii::StartsWithNoCase;
using ascii::ToLower;

// The list's entries: runs between separators, empty runs left out.
std::vector<std::string> SplitList(const std::string& list, const char* pszSeparators)
{
    std::vector<std::string> entries;
    std::string entry;
    for (const char c : list)
    {
        bool bSeparator = false;
        for (const char* p = pszSeparators; *p; ++p)
            bSeparator = bSeparator || c == *p;
        if (!bSeparator)
        {
            entry += c;
            continue;
        }
        if (!entry.empty())
            entries.push_back(entry);
        entry.clear();
    }
    if (!entry.empty())
        entries.push_back(entry);
    return entries;
}

std::string StripScheme(const std::string& text)
{
    const size_t separator = text.find("://");
    return separator == std::string::npos ? text : text.substr(separator + 3);
}

constexpr uint16_t kSocksDefaultPort = 1080;

ScriptProxy Unusable()
{
    ScriptProxy choice;
    choice.route = ScriptRoute::kUnusable;
    return choice;
}

bool ParseAddressWithDefaultPort(const std::string& text, uint16_t defaultPort, ProxyAddress* pAddress)
{
    if (text.find(':') != std::string::npos || defaultPort == 80)
        return ParseProxyAddress(text, pAddress);
    return ParseProxyAddress(text + ":" + std::to_string(defaultPort), pAddress);
}

// One entry of a script's answer; kUnusable for what the control cannot take.
ScriptProxy ReadScriptEntry(const std::string& entry)
{
    ScriptProxy choice;
    const std::vector<std::string> words = SplitList(entry, " \t\r\n");
    const std::string keyword = ToLower(words.front());
    if (words.size() == 1 && keyword == "direct")
        return choice;
    if (words.size() == 1 && keyword.find(':') != std::string::npos)
        choice.route = ScriptRoute::kHttp;
    else if (words.size() == 2 && (keyword == "proxy" || keyword == "http"))
        choice.route = ScriptRoute::kHttp;
    else if (words.size() == 2 && (keyword == "socks" || keyword == "socks4"))
        choice.route = ScriptRoute::kSocks4;
    else if (words.size() == 2 && keyword == "socks5")
        choice.route = ScriptRoute::kSocks5;
    else
        return Unusable();
    const uint16_t defaultPort = choice.route == ScriptRoute::kHttp ? 80 : kSocksDefaultPort;
    if (!ParseAddressWithDefaultPort(words.back(), defaultPort, &choice.address))
        return Unusable();
    return choice;
}

} // namespace

bool ParseProxyAddress(const std::string& text, ProxyAddress* pAddress)
{
    if (text.empty() || text.size() > kMaxListLength)
        return false;
    std::string rest = StartsWithNoCase(text, "http://") ? text.substr(7) : text;
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    ProxyAddress address;
    std::string_view host, port;
    bool bHasPort = false;
    if (!hostsyntax::SplitHostPort(rest, &host, &port, &bHasPort))
        return false;
    address.host = ToLower(std::string(host));
    address.port = 80;
    if (bHasPort && !hostsyntax::ParsePort(port, &address.port))
        return false;
    if (!hostsyntax::IsIPv4Literal(address.host) && !hostsyntax::IsIPv6Literal(address.host) &&
        !hostsyntax::IsHostName(address.host))
        return false;
    *pAddress = address;
    return true;
}

std::string ProxyForScheme(const std::string& list, const std::string& scheme)
{
    if (list.size() > kMaxListLength)
        return std::string();
    std::string plain;
    for (const std::string& entry : SplitList(list, "; \t\r\n"))
    {
        const size_t equals = entry.find('=');
        if (equals == std::string::npos)
        {
            if (plain.empty())
                plain = entry;
        }
        else if (ToLower(entry.substr(0, equals)) == scheme)
        {
            return entry.substr(equals + 1);
        }
    }
    return plain;
}

ScriptProxy ChooseScriptProxy(const std::string& answer)
{
    if (answer.size() > kMaxListLength)
        return Unusable();
    ScriptProxy choice;
    for (const std::string& entry : SplitList(answer, ";"))
    {
        if (SplitList(entry, " \t\r\n").empty())
            continue;
        choice = ReadScriptEntry(entry);
        if (choice.route != ScriptRoute::kUnusable)
            return choice;
    }
    return choice;
}

bool ProxyListed(const std::string& list, const ProxyAddress& proxy)
{
    if (list.size() > kMaxListLength)
        return false;
    for (const std::string& entry : SplitList(list, ";, \t\r\n"))
    {
        ProxyAddress listed;
        if (ParseProxyAddress(entry, &listed) && listed.host == proxy.host && listed.port == proxy.port)
            return true;
    }
    return false;
}

bool WildcardMatch(const std::string& pattern, const std::string& text)
{
    size_t p = 0, t = 0;
    size_t starAt = std::string::npos, resumeAt = 0;
    while (t < text.size())
    {
        if (p < pattern.size() && pattern[p] == '*')
        {
            starAt = p++;
            resumeAt = t;
        }
        else if (p < pattern.size() && ToLower(pattern[p]) == ToLower(text[t]))
        {
            ++p;
            ++t;
        }
        else if (starAt != std::string::npos)
        {
            // The last '*' takes one character more.
            p = starAt + 1;
            t = ++resumeAt;
        }
        else
        {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool BypassMatches(const std::string& list, const std::string& host, uint16_t port)
{
    if (list.size() > kMaxListLength || host.empty())
        return false;
    for (const std::string& entry : SplitList(list, ";, \t\r\n"))
    {
        if (ToLower(entry) == "<local>")
        {
            // A plain name; an IPv6 literal has no dots either.
            if (host.find('.') == std::string::npos && !hostsyntax::IsIPv6Literal(host))
                return true;
            continue;
        }
        std::string text = StripScheme(entry);
        if (!text.empty() && text.back() == '/')
            text.pop_back();
        std::string_view pattern, entryPortText;
        bool bHasPort = false;
        uint16_t entryPort = 0;
        if (!hostsyntax::SplitHostPort(text, &pattern, &entryPortText, &bHasPort) ||
            (bHasPort && (!hostsyntax::ParsePort(entryPortText, &entryPort) || entryPort != port)))
            continue;
        if (WildcardMatch(std::string(pattern), host))
            return true;
    }
    return false;
}

} // namespace proxy
