#include "TestTls.h"

#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// The store, closed when it goes.
class CSystemStore
{
public:
    explicit CSystemStore(const char* pszName)
        : m_hStore(CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, pszName))
    {
    }
    ~CSystemStore()
    {
        if (m_hStore)
            CertCloseStore(m_hStore, 0);
    }
    CSystemStore(const CSystemStore&) = delete;
    CSystemStore& operator=(const CSystemStore&) = delete;

    HCERTSTORE Get() const { return m_hStore; }

private:
    HCERTSTORE m_hStore;
};

} // namespace

bool AddTrustedRoot(const char* pszPath)
{
    std::ifstream in(pszPath, std::ios::binary);
    const std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (der.empty())
    {
        std::fprintf(stderr, "cannot read a certificate from %s\n", pszPath);
        return false;
    }
    CSystemStore root("Root");
    if (!root.Get())
    {
        std::fprintf(stderr, "cannot open the local machine's Root store: %lu\n", GetLastError());
        return false;
    }
    if (!CertAddEncodedCertificateToStore(root.Get(), X509_ASN_ENCODING,
                                          reinterpret_cast<const BYTE*>(der.data()),
                                          static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
    {
        std::fprintf(stderr, "cannot add %s to the Root store: 0x%08lx\n", pszPath, GetLastError());
        return false;
    }
    return true;
}

bool TrustTestRoot()
{
    const char* pszUnixPath = std::getenv("VEXA_TLS_ROOT_DER");
    if (!pszUnixPath || !*pszUnixPath)
    {
        std::fprintf(stderr, "VEXA_TLS_ROOT_DER is not set: run the tests through scripts/test.sh\n");
        return false;
    }
    // Wine shows the Unix file system as drive Z:.
    std::string path = std::string("Z:") + pszUnixPath;
    for (char& c : path)
    {
        if (c == '/')
            c = '\\';
    }
    return AddTrustedRoot(path.c_str());
}

void ForgetCachedRevocation()
{
    char profile[MAX_PATH];
    const DWORD cch = GetEnvironmentVariableA("USERPROFILE", profile, sizeof(profile));
    if (cch == 0 || cch >= sizeof(profile))
        return;
    const std::string folder = std::string(profile) + "\\AppData\\LocalLow\\Microsoft\\CryptnetUrlCache\\Content";
    WIN32_FIND_DATAA data;
    HANDLE hFind = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do
    {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileA((folder + "\\" + data.cFileName).c_str());
    } while (FindNextFileA(hFind, &data));
    FindClose(hFind);
}
