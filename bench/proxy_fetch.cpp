// What a route through an HTTP proxy costs a host, through the registered
// control against loopback servers:
//   small    a small HTTP fetch (FetchURL) directly, through "HTTPProxy", and
//            with "UseSystemProxy" on a fixed proxy and on a configuration
//            script (which answers DIRECT for the file's host, so the row
//            shows the script's evaluation); beside WinINet directly and
//            through the same proxy. The variants take turns in every round.
//   large    MiB/s of a large file through the proxy: the control beside
//            WinINet through the same proxy, in turns.
// What goes through the proxy names a host that only the proxy can look up,
// so that no client can take a direct way unnoticed.
// Prints "name value" lines: medians over the rounds.
#include "TestRegistry.h"
#include "Vexa3.h"

#include <ole2.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr char kSettingsKey[] = "SOFTWARE\\Quorvel\\VexUpdate";
constexpr char kConnectionsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

double NowMs()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

void SetText(const char* pszName, const std::string& text)
{
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSettingsKey, pszName, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void SetDword(const char* pszName, DWORD value)
{
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSettingsKey, pszName, REG_DWORD, &value, sizeof(value));
}

// The user's proxy settings in the form the system stores them.
void SetSystemSettings(const std::string& proxy, const std::string& script)
{
    const std::vector<BYTE> blob = testreg::ProxySettingsBlob(proxy, "", script);
    RegSetKeyValueA(HKEY_CURRENT_USER, kConnectionsKey, "DefaultConnectionSettings", REG_BINARY, blob.data(),
                    static_cast<DWORD>(blob.size()));
}

// Bytes read, or -1.
long long WinInetFetch(const std::string& url, const char* pszProxy)
{
    HINTERNET hSession = InternetOpenA("bench", pszProxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_DIRECT,
                                       pszProxy, nullptr, 0);
    HINTERNET hRequest = InternetOpenUrlA(hSession, url.c_str(), nullptr, 0,
                                          INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD, 0);
    long long cbTotal = hRequest ? 0 : -1;
    static char buffer[256 * 1024];
    DWORD cb = 0;
    while (hRequest && InternetReadFile(hRequest, buffer, sizeof(buffer), &cb) && cb > 0)
        cbTotal += cb;
    if (hRequest)
        InternetCloseHandle(hRequest);
    InternetCloseHandle(hSession);
    return cbTotal;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 8)
    {
        std::fprintf(stderr, "usage: proxy_fetch WEBPORT PROXY PROXYONLYHOST PACURL SMALLPATH LARGEPATH ROUNDS\n");
        return 2;
    }
    const std::string web = "http://127.0.0.1:" + std::string(argv[1]);
    const std::string hidden = "http://" + std::string(argv[3]) + ":" + argv[1];
    const std::string proxy = argv[2], pac = argv[4];
    const std::string small = web + argv[5], hiddenSmall = hidden + argv[5], hiddenLarge = hidden + argv[6];
    const unsigned rounds = static_cast<unsigned>(std::strtoul(argv[7], nullptr, 10));
    OleInitialize(nullptr);

    IVexCtl3* pControl = nullptr;
    if (FAILED(CoCreateInstance(CLSID_VexCtl3, nullptr, CLSCTX_INPROC_SERVER, IID_IVexCtl3,
                                reinterpret_cast<void**>(&pControl))))
    {
        std::fprintf(stderr, "proxy_fetch: the control is not registered\n");
        return 1;
    }
    const auto controlFetch = [&](const std::string& url) {
        std::wstring wide(url.begin(), url.end());
        BSTR bstrUrl = SysAllocString(wide.c_str());
        VARIANT_BOOL bCompleted = VARIANT_FALSE;
        pControl->FetchURL(bstrUrl, &bCompleted);
        SysFreeString(bstrUrl);
        BSTR file = nullptr;
        pControl->get_LastFetchedFile(&file);
        DeleteFileW(file);
        SysFreeString(file);
        return bCompleted == VARIANT_TRUE;
    };
    const auto route = [&](const std::string& httpProxy, bool bSystem, const std::string& systemProxy,
                           const std::string& script) {
        SetText("HTTPProxy", httpProxy);
        SetDword("UseSystemProxy", bSystem ? 1 : 0);
        SetSystemSettings(systemProxy, script);
    };

    const std::vector<std::pair<std::string, std::function<bool()>>> smallVariants = {
        {"small-direct", [&] { return controlFetch(small); }},
        {"small-http-proxy", [&] { return controlFetch(hiddenSmall); }},
        {"small-system-fixed", [&] { return controlFetch(hiddenSmall); }},
        {"small-system-script", [&] { return controlFetch(small); }},
        {"small-wininet-direct", [&] { return WinInetFetch(small, nullptr) >= 0; }},
        {"small-wininet-proxy", [&] { return WinInetFetch(hiddenSmall, proxy.c_str()) >= 0; }},
    };
    const auto prepare = [&](const std::string& name) {
        if (name == "small-http-proxy")
            route(proxy, false, "", "");
        else if (name == "small-system-fixed")
            route("", true, proxy, "");
        else if (name == "small-system-script")
            route("", true, "", pac);
        else
            route("", false, "", "");
    };
    std::map<std::string, std::vector<double>> times;
    for (unsigned r = 0; r < rounds; ++r)
    {
        for (const auto& variant : smallVariants)
        {
            prepare(variant.first);
            const double start = NowMs();
            if (!variant.second())
            {
                std::fprintf(stderr, "proxy_fetch: %s failed\n", variant.first.c_str());
                return 1;
            }
            times[variant.first].push_back(NowMs() - start);
        }
    }
    for (const auto& variant : smallVariants)
        std::printf("%s %.2f\n", variant.first.c_str(), Median(times[variant.first]));

    std::vector<double> control, wininet;
    for (unsigned r = 0; r < 5; ++r)
    {
        route(proxy, false, "", "");
        double start = NowMs();
        if (!controlFetch(hiddenLarge))
            return 1;
        const double controlMs = NowMs() - start;
        start = NowMs();
        const long long cb = WinInetFetch(hiddenLarge, proxy.c_str());
        const double wininetMs = NowMs() - start;
        if (cb <= 0)
            return 1;
        const double mib = static_cast<double>(cb) / 1048576.0;
        control.push_back(mib / controlMs * 1000.0);
        wininet.push_back(mib / wininetMs * 1000.0);
    }
    std::printf("large-control %.1f\nlarge-wininet %.1f\n", Median(control), Median(wininet));
    route("", false, "", "");
    pControl->Release();
    OleUninitialize();
    return 0;
}
