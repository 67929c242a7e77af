// CContentHash: a SHA-2 digest of the bytes a fetch writes, computed as they
// are written, through the platform's CNG (BCrypt) provider; and the digest
// of a whole file.
#pragma once

#include "HashAlgorithm.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstddef>
#include <string>
#include <vector>

class CContentHash
{
public:
    CContentHash() = default;
    ~CContentHash() { Close(); }
    CContentHash(const CContentHash&) = delete;
    CContentHash& operator=(const CContentHash&) = delete;

    // Starts a new digest; false when the provider cannot make one (the
    // object then digests nothing).
    bool Begin(HashAlgorithm algorithm);
    void Add(const void* pData, size_t cb);
    // The digest of everything added since Begin, in lower-case hex; empty
    // when none was begun or the provider failed on the way.
    std::string FinishHex();

private:
    void Close();

    BCRYPT_ALG_HANDLE m_hAlgorithm = nullptr;
    BCRYPT_HASH_HANDLE m_hHash = nullptr;
    std::vector<unsigned char> m_hashObject;
    ULONG m_cbDigest = 0;
    bool m_bFailed = false;
};

// The digest of the file at pszPath as it is now, in lower-case hex; empty
// when it cannot be read or the provider failed.
std::string FileDigestHex(const wchar_t* pwszPath, HashAlgorithm algorithm);
