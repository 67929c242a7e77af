#include "Ascii.h"

namespace ascii {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsControl(char c)
{
    const unsigned char b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7f;
}

bool IsAscii(std::string_view text)
{
    for (const char c : text)
    {
        if (static_cast<unsigned char>(c) > 0x7f)
            return false;
    }
    return true;
}

int DecimalValue(char c)
{
    return IsDigit(c) ? c - '0' : -1;
}

int HexValue(char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

char ToLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string ToLower(std::string text)
{
    for (char& c : text)
        c = ToLower(c);
    return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix)
{
    if (text.size() < lowerPrefix.size())
        return false;
    for (size_t i = 0; i < lowerPrefix.size(); ++i)
    {
        if (ToLower(text[i]) != lowerPrefix[i])
            return false;
    }
    return true;
}

bool EqualsNoCase(std::string_view text, std::string_view lower)
{
    return text.size() == lower.size() && StartsWithNoCase(text, lower);
}

} // namespace ascii
