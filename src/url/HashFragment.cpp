#include "HashFragment.h"

#include <algorithm>
#include <cctype>

const char* HashAlgorithmName(HashAlgorithm algorithm)
{
    switch (algorithm)
    {
    case HashAlgorithm::kSha256: return "sha256";
    case HashAlgorithm::kSha384: return "sha384";
    case HashAlgorithm::kSha512: return "sha512";
    case HashAlgorithm::kNone: break;
    }
    return "";
}

namespace url {

namespace {

std::string Lower(const std::string& text)
{
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

HashAlgorithm AlgorithmNamed(const std::string& name)
{
    for (HashAlgorithm algorithm : {HashAlgorithm::kSha256, HashAlgorithm::kSha384, HashAlgorithm::kSha512})
        if (name == HashAlgorithmName(algorithm))
            return algorithm;
    return HashAlgorithm::kNone;
}

bool IsWeakAlgorithm(const std::string& name)
{
    return name == "md5" || name == "sha1" || name == "sha224";
}

bool IsHex(const std::string& text)
{
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

} // namespace

bool ReadHashFragment(const std::string& fragment, ExpectedHash* pExpected)
{
    ExpectedHash found;
    size_t start = 0;
    while (start <= fragment.size())
    {
        const size_t end = std::min(fragment.find('&', start), fragment.size());
        const std::string item = fragment.substr(start, end - start);
        start = end + 1;
        const size_t equals = item.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string name = Lower(item.substr(0, equals));
        const std::string value = item.substr(equals + 1);
        if (IsWeakAlgorithm(name))
            return false;
        const HashAlgorithm algorithm = AlgorithmNamed(name);
        if (algorithm == HashAlgorithm::kNone)
            continue;
        if (found.algorithm != HashAlgorithm::kNone || value.size() != HexDigestLength(algorithm) || !IsHex(value))
            return false;
        found.algorithm = algorithm;
        found.hex = Lower(value);
    }
    *pExpected = found;
    return true;
}

} // namespace url
