// Fetches one file from an HTTP or HTTPS server on loopback several times and
// prints the median and the best rate in MiB/s, with one of four clients:
//   vexa     CVexEngine::FetchRemoteFile, the whole fetch as the control
//            runs it (settings, probe, connection, request, body); http only
//   vexa-url CVexEngine::FetchURL, the same through FetchURL (HTTP/1.1,
//            TLS through Schannel for https)
//   wininet  Wine's WinINet: InternetOpenUrl and InternetReadFile with a
//            64 KiB buffer, no cache write, into a local file (the baseline
//            that bench/http-fetch.sh names)
//   urlmon   Wine's URLDownloadToFileA
// Every fetched copy is left at LOCAL for the script to compare.
#include "Url.h"
#include "VexEngine.h"
#include "WideText.h"

#include "InternetHandle.h"

#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWinInetBlockSize = 64 * 1024;

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool FetchWithEngine(CVexEngine& engine, const char* pszPath, uint16_t port, const char* pszLocal)
{
    if (!engine.FetchRemoteFile("127.0.0.1", pszPath, nullptr, nullptr, port, CVexEngine::kProtocolHTTP))
        return false;
    // The engine names its own temporary file: move it where the script looks.
    return MoveFileExW(engine.LastFetchedFile().c_str(), AnsiToWide(pszLocal).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool FetchUrlWithEngine(CVexEngine& engine, const std::string& text, const char* pszLocal)
{
    url::Url target;
    if (url::ParseUrl(text.c_str(), &target) != url::UrlError::kNone || !engine.FetchURL(target))
        return false;
    return MoveFileExW(engine.LastFetchedFile().c_str(), AnsiToWide(pszLocal).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool FetchWithWinInet(const std::string& url, const char* pszLocal)
{
    CInternetHandle session(InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    CInternetHandle request(InternetOpenUrlA(session.Get(), url.c_str(), nullptr, 0,
                                             INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD, 0));
    if (!request.Get())
        return false;
    HANDLE hFile = CreateFileA(pszLocal, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    std::vector<char> block(kWinInetBlockSize);
    bool bOk = true;
    for (;;)
    {
        DWORD cbRead = 0;
        if (!InternetReadFile(request.Get(), block.data(), kWinInetBlockSize, &cbRead))
        {
            bOk = false;
            break;
        }
        if (cbRead == 0)
            break;
        DWORD cbWritten = 0;
        if (!WriteFile(hFile, block.data(), cbRead, &cbWritten, nullptr) || cbWritten != cbRead)
        {
            bOk = false;
            break;
        }
    }
    CloseHandle(hFile);
    return bOk;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 6 || argc > 8)
    {
        std::fprintf(stderr, "usage: http_fetch vexa|vexa-url|wininet|urlmon PORT PATH LOCAL REPETITIONS "
                             "[http|https [all]]\n");
        return 2;
    }
    // "all": every rate on a line of its own, for a script that interleaves rounds.
    const bool bEveryRate = argc == 8 && std::strcmp(argv[7], "all") == 0;
    const std::string client = argv[1];
    const auto port = static_cast<uint16_t>(std::strtoul(argv[2], nullptr, 10));
    const char* pszPath = argv[3];
    const char* pszLocal = argv[4];
    const unsigned repetitions = static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10));
    // By name for https: Wine's WinINet matches no IP address literal against
    // a certificate, so the test certificate's DNS name is used.
    const bool bHttps = argc >= 7 && std::strcmp(argv[6], "https") == 0;
    const std::string url =
        std::string(bHttps ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(port) + pszPath;
    CoInitialize(nullptr);

    CVexEngine engine;
    std::vector<double> rates;
    for (unsigned i = 0; i < repetitions; ++i)
    {
        const double start = Now();
        bool bOk;
        if (client == "vexa")
            bOk = FetchWithEngine(engine, pszPath, port, pszLocal);
        else if (client == "vexa-url")
            bOk = FetchUrlWithEngine(engine, url, pszLocal);
        else if (client == "wininet")
            bOk = FetchWithWinInet(url, pszLocal);
        else
            bOk = URLDownloadToFileA(nullptr, url.c_str(), pszLocal, 0, nullptr) == S_OK;
        const double seconds = Now() - start;
        if (!bOk)
        {
            std::fprintf(stderr, "http_fetch: %s failed\n", client.c_str());
            return 1;
        }
        WIN32_FILE_ATTRIBUTE_DATA attributes;
        GetFileAttributesExA(pszLocal, GetFileExInfoStandard, &attributes);
        rates.push_back(static_cast<double>(attributes.nFileSizeLow) / 1048576.0 / seconds);
        if (bEveryRate)
            std::printf("%.1f\n", rates.back());
    }
    if (bEveryRate)
        return 0;
    std::sort(rates.begin(), rates.end());
    const size_t n = rates.size();
    const double median = n % 2 ? rates[n / 2] : (rates[n / 2 - 1] + rates[n / 2]) / 2;
    std::printf("%.1f %.1f\n", median, rates.back());
    CoUninitialize();
    return 0;
}
