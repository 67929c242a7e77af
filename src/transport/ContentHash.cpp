#include "ContentHash.h"

#include "LocalFile.h"

#include <climits>

namespace {

constexpr size_t kFileDigestBlockSize = 256 * 1024;

const wchar_t* AlgorithmId(HashAlgorithm algorithm)
{
    switch (algorithm)
    {
    case HashAlgorithm::kSha256: return BCRYPT_SHA256_ALGORITHM;
    case HashAlgorithm::kSha384: return BCRYPT_SHA384_ALGORITHM;
    case HashAlgorithm::kSha512: return BCRYPT_SHA512_ALGORITHM;
    case HashAlgorithm::kNone: break;
    }
    return nullptr;
}

bool Succeeded(NTSTATUS status)
{
    return status >= 0;
}

ULONG ULongProperty(BCRYPT_HANDLE handle, const wchar_t* pszProperty)
{
    DWORD value = 0;
    ULONG cbResult = 0;
    if (!Succeeded(BCryptGetProperty(handle, pszProperty, reinterpret_cast<PUCHAR>(&value), sizeof(value),
                                     &cbResult, 0)))
        return 0;
    return value;
}

} // namespace

bool CContentHash::Begin(HashAlgorithm algorithm)
{
    Close();
    m_bFailed = true;
    const wchar_t* pszAlgorithm = AlgorithmId(algorithm);
    if (!pszAlgorithm || !Succeeded(BCryptOpenAlgorithmProvider(&m_hAlgorithm, pszAlgorithm, nullptr, 0)))
        return false;
    m_cbDigest = ULongProperty(m_hAlgorithm, BCRYPT_HASH_LENGTH);
    const ULONG cbObject = ULongProperty(m_hAlgorithm, BCRYPT_OBJECT_LENGTH);
    if (m_cbDigest == 0)
        return false;
    // Some providers keep the state themselves and ask for no buffer.
    m_hashObject.assign(cbObject, 0);
    if (!Succeeded(BCryptCreateHash(m_hAlgorithm, &m_hHash, cbObject ? m_hashObject.data() : nullptr, cbObject,
                                    nullptr, 0, 0)))
        return false;
    m_bFailed = false;
    return true;
}

void CContentHash::Add(const void* pData, size_t cb)
{
    auto* pBytes = static_cast<const unsigned char*>(pData);
    while (!m_bFailed && cb > 0)
    {
        const ULONG cbPart = cb > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(cb);
        m_bFailed = !Succeeded(BCryptHashData(m_hHash, const_cast<PUCHAR>(pBytes), cbPart, 0));
        pBytes += cbPart;
        cb -= cbPart;
    }
}

std::string CContentHash::FinishHex()
{
    std::string hex;
    if (!m_hHash || m_bFailed)
        return hex;
    std::vector<unsigned char> digest(m_cbDigest);
    if (Succeeded(BCryptFinishHash(m_hHash, digest.data(), m_cbDigest, 0)))
    {
        static const char kDigits[] = "0123456789abcdef";
        for (unsigned char byte : digest)
        {
            hex += kDigits[byte >> 4];
            hex += kDigits[byte & 15];
        }
    }
    Close();
    return hex;
}

void CContentHash::Close()
{
    if (m_hHash)
        BCryptDestroyHash(m_hHash);
    m_hHash = nullptr;
    if (m_hAlgorithm)
        BCryptCloseAlgorithmProvider(m_hAlgorithm, 0);
    m_hAlgorithm = nullptr;
}

std::string FileDigestHex(const wchar_t* pwszPath, HashAlgorithm algorithm)
{
    // Others may go on reading, writing or even deleting the file meanwhile.
    const HANDLE hFile = CreateFileW(SystemFormOfPath(pwszPath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return std::string();
    CContentHash hash;
    std::vector<unsigned char> block(kFileDigestBlockSize);
    bool bRead = hash.Begin(algorithm);
    DWORD cbRead = 0;
    while (bRead && (bRead = ReadFile(hFile, block.data(), static_cast<DWORD>(block.size()), &cbRead, nullptr) != 0) &&
           cbRead > 0)
        hash.Add(block.data(), cbRead);
    CloseHandle(hFile);
    return bRead ? hash.FinishHex() : std::string();
}
