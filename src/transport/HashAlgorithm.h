// The digests a fetch can be verified against: SHA-2 only, since MD5 and
// SHA-1 no longer tell a file from a forgery made to match it.
#pragma once

#include <cstddef>

enum class HashAlgorithm
{
    kNone,
    kSha256,
    kSha384,
    kSha512,
};

// Hex digits of the algorithm's digest; 0 for kNone.
constexpr size_t HexDigestLength(HashAlgorithm algorithm)
{
    return algorithm == HashAlgorithm::kSha256   ? 64
           : algorithm == HashAlgorithm::kSha384 ? 96
           : algorithm == HashAlgorithm::kSha512 ? 128
                                                 : 0;
}

// "sha256", "sha384", "sha512"; "" for kNone.
const char* HashAlgorithmName(HashAlgorithm algorithm);
