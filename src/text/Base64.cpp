#include "Base64.h"

#include <cstdint>

namespace base64 {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 0-63 for an alphabet character, -1 for any other byte.
int SextetValue(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

std::string Encode(std::string_view bytes)
{
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3)
    {
        const size_t cb = bytes.size() - i < 3 ? bytes.size() - i : 3;
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < cb ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        encoded.push_back(kAlphabet[group >> 18 & 0x3f]);
        encoded.push_back(kAlphabet[group >> 12 & 0x3f]);
        encoded.push_back(cb > 1 ? kAlphabet[group >> 6 & 0x3f] : '=');
        encoded.push_back(cb > 2 ? kAlphabet[group & 0x3f] : '=');
    }
    return encoded;
}

bool Decode(std::string_view text, std::string* pBytes)
{
    pBytes->clear();
    if (text.size() % 4 != 0)
        return false;
    pBytes->reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4)
    {
        const bool bLast = i + 4 == text.size();
        // "xx==" carries one byte, "xxx=" two; padding ends the text.
        const size_t cbPadding = bLast ? (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=') : 0;
        uint32_t group = 0;
        for (size_t k = 0; k < 4; ++k)
        {
            const int value = k >= 4 - cbPadding ? 0 : SextetValue(text[i + k]);
            if (value < 0)
                return false;
            group = group << 6 | static_cast<uint32_t>(value);
        }
        // The bits that padding leaves over must be zero: one text per byte
        // string, as the encoder writes it.
        if ((cbPadding == 1 && (group & 0xff) != 0) || (cbPadding == 2 && (group & 0xffff) != 0))
            return false;
        pBytes->push_back(static_cast<char>(group >> 16 & 0xff));
        if (cbPadding < 2)
            pBytes->push_back(static_cast<char>(group >> 8 & 0xff));
        if (cbPadding < 1)
            pBytes->push_back(static_cast<char>(group & 0xff));
    }
    return true;
}

} // namespace base64
