#include "HeaderTrace.h"

#include <cstddef>

namespace http {

namespace {

// The header's name when the line is "name: ...", lower case; else empty.
std::string LowerName(const std::string& line, size_t* pColon)
{
    *pColon = line.find(':');
    if (*pColon == std::string::npos)
        return std::string();
    std::string name = line.substr(0, *pColon);
    for (char& c : name)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return name;
}

bool IsSchemeCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
           c == '.';
}

// Where the authority of a URL or of a network-path reference begins
// ("scheme://" or "//" first); npos when it has none.
size_t AuthorityStart(const std::string& value, size_t from)
{
    size_t i = from;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
        ++i;
    size_t scheme = i;
    while (scheme < value.size() && IsSchemeCharacter(value[scheme]))
        ++scheme;
    if (scheme > i && value.compare(scheme, 3, "://") == 0)
        return scheme + 3;
    return value.compare(i, 2, "//") == 0 ? i + 2 : std::string::npos;
}

// The value with the user info of its authority (up to the last '@' in it)
// replaced.
std::string WithoutUserInfo(const std::string& value, size_t from)
{
    const size_t start = AuthorityStart(value, from);
    if (start == std::string::npos)
        return value;
    const size_t end = value.find_first_of("/?#", start);
    const size_t at = value.rfind('@', end == std::string::npos ? std::string::npos : end);
    if (at == std::string::npos || at < start)
        return value;
    return value.substr(0, start) + "{user info}" + value.substr(at);
}

} // namespace

std::string HeaderLineForTrace(const std::string& line)
{
    size_t colon = 0;
    const std::string name = LowerName(line, &colon);
    if (name == "set-cookie" || name == "cookie")
    {
        // The line's end, if it came with one, stays.
        const size_t end = line.find_last_not_of("\r\n");
        return line.substr(0, colon) + ": {value}" + line.substr(end + 1);
    }
    if (name == "location" || name == "content-location")
        return WithoutUserInfo(line, colon + 1);
    return line;
}

} // namespace http
