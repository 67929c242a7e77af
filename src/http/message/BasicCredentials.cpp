#include "BasicCredentials.h"

#include <cstdint>

namespace http {
namespace {

std::string Base64(const std::string& bytes)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
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

} // namespace

std::string BasicAuthorization(const std::string& user, const std::string& password)
{
    return "Basic " + Base64(user + ":" + password);
}

} // namespace http
