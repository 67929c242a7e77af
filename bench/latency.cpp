// Latencies that a host sees through the control, against loopback servers:
//   fetch    a small HTTP fetch through IVexCtl3::FetchRemoteHTTP (created
//            with CoCreateInstance from the registered DLL), beside the same
//            file through WinINet (the baseline)
//   probe    IsInternetConnected against a listening target and against a
//            closed port, beside a plain Winsock connect to the same target
// Prints "name milliseconds" lines: the median of the repetitions.
#include "Vexa3.h"

#include <ole2.h>
#include <windows.h>
#include <wininet.h>
#include <winsock.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

double NowMs()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double MedianMs(unsigned repetitions, const std::function<bool()>& run)
{
    std::vector<double> times;
    for (unsigned i = 0; i < repetitions; ++i)
    {
        const double start = NowMs();
        if (!run())
            return -1;
        times.push_back(NowMs() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool WinInetFetch(const std::string& url)
{
    HINTERNET hSession = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET hRequest = InternetOpenUrlA(hSession, url.c_str(), nullptr, 0,
                                          INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD, 0);
    bool bOk = hRequest != nullptr;
    char buffer[4096];
    DWORD cb = 0;
    while (bOk && InternetReadFile(hRequest, buffer, sizeof(buffer), &cb) && cb > 0)
    {
    }
    if (hRequest)
        InternetCloseHandle(hRequest);
    InternetCloseHandle(hSession);
    return bOk;
}

bool PlainConnect(uint16_t port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = inet_addr("127.0.0.1");
    addr.sin_port = htons(port);
    connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    closesocket(s);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
    {
        std::fprintf(stderr, "usage: latency WEBPORT CLOSEDPORT REPETITIONS\n");
        return 2;
    }
    const auto webPort = static_cast<uint16_t>(std::strtoul(argv[1], nullptr, 10));
    const auto closedPort = static_cast<uint16_t>(std::strtoul(argv[2], nullptr, 10));
    const unsigned repetitions = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    OleInitialize(nullptr);
    WSADATA wsa;
    WSAStartup(MAKEWORD(1, 1), &wsa);

    IVexCtl3* pControl = nullptr;
    if (FAILED(CoCreateInstance(CLSID_VexCtl3, nullptr, CLSCTX_INPROC_SERVER, IID_IVexCtl3,
                                reinterpret_cast<void**>(&pControl))))
    {
        std::fprintf(stderr, "latency: the control is not registered\n");
        return 1;
    }
    BSTR host = SysAllocString(L"127.0.0.1");
    BSTR path = SysAllocString(L"/small.txt");
    const auto fetch = [&] {
        VARIANT_BOOL bCompleted = VARIANT_FALSE;
        pControl->FetchRemoteHTTP(host, path, static_cast<short>(webPort), &bCompleted);
        BSTR file = nullptr;
        pControl->get_LastFetchedFile(&file);
        DeleteFileW(file);
        SysFreeString(file);
        return bCompleted == VARIANT_TRUE;
    };
    std::printf("fetch-control %.2f\n", MedianMs(repetitions, fetch));
    std::printf("fetch-wininet %.2f\n",
                MedianMs(repetitions, [&] { return WinInetFetch("http://127.0.0.1:" + std::to_string(webPort) +
                                                                "/small.txt"); }));
    // The probe uses the target the last fetch's settings named.
    const auto probe = [&] {
        VARIANT_BOOL bConnected = VARIANT_FALSE;
        pControl->IsInternetConnected(&bConnected);
        return true;
    };
    std::printf("probe-reachable %.2f\n", MedianMs(repetitions, probe));
    std::printf("connect-reachable %.2f\n", MedianMs(repetitions, [&] { return PlainConnect(webPort); }));

    // Point the probe at the closed port: the next fetch reads the setting
    // (and fails at its probe), after which IsInternetConnected uses it.
    const std::string closedTarget = "127.0.0.1:" + std::to_string(closedPort);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvel\\VexUpdate", "ProbeTarget", REG_SZ, closedTarget.c_str(),
                    static_cast<DWORD>(closedTarget.size() + 1));
    fetch();
    std::printf("probe-unreachable %.2f\n", MedianMs(repetitions, probe));
    std::printf("connect-closed %.2f\n", MedianMs(repetitions, [&] { return PlainConnect(closedPort); }));

    SysFreeString(host);
    SysFreeString(path);
    pControl->Release();
    WSACleanup();
    OleUninitialize();
    return 0;
}
