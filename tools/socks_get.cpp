// Fetches one URL path over HTTP/1.0 through a SOCKS proxy with the engine's
// socket channel and prints what came back. A small real job of the engine,
// run by scripts/main-job.sh against servers on loopback.
#include "VexSock.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 7)
    {
        std::fprintf(stderr, "usage: socks_get PROXY PROXYPORT VERSION HOST PORT PATH\n"
                             "  VERSION: 0 or 1 for SOCKS 4, 5 for SOCKS 5\n");
        return 2;
    }
    const char* proxy = argv[1];
    const auto proxyPort = static_cast<uint16_t>(std::strtoul(argv[2], nullptr, 10));
    const auto version = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    const char* host = argv[4];
    const auto port = static_cast<uint16_t>(std::strtoul(argv[5], nullptr, 10));
    const std::string path = argv[6];

    VEXSOCK sock;
    if (!sock.Create(30, false) ||
        !sock.ConnectSocks(host, port, proxy, proxyPort, version, 0, nullptr, nullptr))
    {
        std::printf("SOCKS connection failed: m_lLastError: %ld m_lLastErrorEx: %ld\n",
                    sock.GetLastError(), sock.GetLastErrorEx());
        return 1;
    }
    const std::string request = "GET " + path + " HTTP/1.0\r\nHost: " + host + "\r\n\r\n";
    if (sock.SendAll(request.data(), static_cast<int>(request.size()), 0) == -1)
    {
        std::printf("send failed: m_lLastError: %ld m_lLastErrorEx: %ld\n", sock.GetLastError(),
                    sock.GetLastErrorEx());
        return 1;
    }
    std::string response;
    char buffer[65536];
    int cb;
    while ((cb = sock.Receive(buffer, sizeof(buffer), 0)) > 0)
        response.append(buffer, cb);
    if (cb < 0)
    {
        std::printf("receive failed: m_lLastError: %ld m_lLastErrorEx: %ld\n", sock.GetLastError(),
                    sock.GetLastErrorEx());
        return 1;
    }
    const size_t endOfHeaders = response.find("\r\n\r\n");
    const size_t cbHeaders = endOfHeaders == std::string::npos ? response.size() : endOfHeaders + 4;
    std::printf("%s", response.substr(0, cbHeaders).c_str());
    std::printf("[%zu body bytes through SOCKS %u]\n", response.size() - cbHeaders, version <= 1 ? 4 : 5);
    return response.compare(0, 12, "HTTP/1.0 200") == 0 ? 0 : 1;
}
