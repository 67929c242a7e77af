// Retrieves one file from an FTP server on 127.0.0.1 several times over one
// login, in image type, and prints the median and the best rate in MiB/s.
// Two clients: the engine's CVexFTP::MoveFile, and Wine's own WinINet
// (FtpOpenFile and InternetReadFile into a local file), the baseline that
// bench/ftp-retrieve.sh names; and the engine over TLS (AUTH TLS, PROT P,
// server "localhost") for bench/ftps-retrieve.sh. Only the transfers are
// timed, not the login.
#include "LocalFile.h"
#include "VexFTP.h"
#include "VexLimits.h"

#include "InternetHandle.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The same block as the engine's, so that the two clients differ in their
// code, not in how much they ask of the socket at a time.
constexpr DWORD kWinInetBlockSize = 64 * 1024;

struct Target
{
    uint16_t port;
    const char* pszUser;
    const char* pszPassword;
    const char* pszRemote;
    const char* pszLocal;
    bool bPassive;
};

double Seconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

DWORD LocalSize(const char* pszLocal)
{
    CLocalFile file;
    return file.Open(pszLocal, false, true) == 1 ? file.GetSize() : INVALID_FILE_SIZE;
}

// Prints "median best" in MiB/s; false when a transfer failed or the local
// file does not have the same size every time. retrieve(&seconds) runs and
// times one transfer.
template <typename Retrieve>
bool Measure(Retrieve retrieve, const Target& target, unsigned repetitions)
{
    std::vector<double> rates;
    DWORD cbFirst = INVALID_FILE_SIZE;
    for (unsigned i = 0; i < repetitions; ++i)
    {
        double seconds = 0;
        if (!retrieve(&seconds))
            return false;
        const DWORD cb = LocalSize(target.pszLocal);
        if (cb == INVALID_FILE_SIZE || cb == 0 || (i > 0 && cb != cbFirst))
        {
            std::fprintf(stderr, "local file has %lu bytes\n", cb);
            return false;
        }
        cbFirst = cb;
        rates.push_back(cb / (1024.0 * 1024.0) / seconds);
    }
    std::sort(rates.begin(), rates.end());
    const size_t n = rates.size();
    const double median = n % 2 ? rates[n / 2] : (rates[n / 2 - 1] + rates[n / 2]) / 2;
    std::printf("%.1f %.1f\n", median, rates.back());
    return true;
}

int RunVexFtp(const Target& target, unsigned repetitions, bool bTls)
{
    CVexFTP ftp;
    ftp.m_tlsMode = bTls ? ftp::TlsMode::kRequired : ftp::TlsMode::kPlain;
    if (!ftp.Connect(bTls ? "localhost" : "127.0.0.1", target.pszUser, target.pszPassword, target.port))
    {
        std::fprintf(stderr, "Connect failed: m_lLastError: %ld m_lLastErrorEx: %ld\n", ftp.GetLastError(),
                     ftp.GetLastErrorEx());
        return 1;
    }
    auto retrieve = [&](double* pSeconds) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const bool bDone = ftp.MoveFile(target.pszRemote, target.pszLocal, true, true, target.bPassive);
        QueryPerformanceCounter(&end);
        *pSeconds = Seconds(start, end);
        if (!bDone)
            std::fprintf(stderr, "MoveFile failed: m_lLastError: %ld m_lLastErrorEx: %ld\n", ftp.GetLastError(),
                         ftp.GetLastErrorEx());
        return bDone;
    };
    const bool bMeasured = Measure(retrieve, target, repetitions);
    return ftp.Disconnect() && bMeasured ? 0 : 1;
}

int RunWinInet(const Target& target, unsigned repetitions)
{
    CInternetHandle internet(InternetOpenA("Vexa3 bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    // Wine's WinINet logs in here, before any transfer.
    CInternetHandle session(internet ? InternetConnectA(internet.Get(), "127.0.0.1", target.port, target.pszUser,
                                                        target.pszPassword, INTERNET_SERVICE_FTP,
                                                        target.bPassive ? INTERNET_FLAG_PASSIVE : 0, 0)
                                     : nullptr);
    if (!session)
    {
        std::fprintf(stderr, "WinINet login failed: error %lu\n", GetLastError());
        return 1;
    }
    std::vector<char> block(kWinInetBlockSize);
    auto retrieve = [&](double* pSeconds) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        bool bDone = false;
        DWORD error = 0;
        {
            CLocalFile local;
            // Closing the file handle reads the server's completion reply:
            // its scope ends before the clock stops.
            CInternetHandle file(
                FtpOpenFileA(session.Get(), target.pszRemote, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
            if (file && local.Open(target.pszLocal, true, false) == 1)
            {
                DWORD cbRead = 0;
                while ((bDone = InternetReadFile(file.Get(), block.data(), kWinInetBlockSize, &cbRead) != FALSE) &&
                       cbRead > 0)
                {
                    if (local.Write(block.data(), static_cast<long>(cbRead)) != static_cast<long>(cbRead))
                    {
                        bDone = false;
                        break;
                    }
                }
            }
            // Taken before the handles close and overwrite it.
            error = GetLastError();
        }
        QueryPerformanceCounter(&end);
        *pSeconds = Seconds(start, end);
        if (!bDone)
            std::fprintf(stderr, "WinINet retrieve failed: error %lu\n", error);
        return bDone;
    };
    return Measure(retrieve, target, repetitions) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "block-size") == 0)
    {
        std::printf("%d\n", kTransferBlockSize);
        return 0;
    }
    const bool bVexFtp = argc == 9 && std::strcmp(argv[1], "vexftp") == 0;
    const bool bVexFtps = argc == 9 && std::strcmp(argv[1], "vexftps") == 0;
    if (argc != 9 || (!bVexFtp && !bVexFtps && std::strcmp(argv[1], "wininet") != 0) ||
        (std::strcmp(argv[2], "active") != 0 && std::strcmp(argv[2], "passive") != 0))
    {
        std::fprintf(stderr, "usage: ftp_retrieve vexftp|vexftps|wininet active|passive PORT USER PASSWORD REMOTE LOCAL "
                             "REPETITIONS\n"
                             "       ftp_retrieve block-size\n");
        return 2;
    }
    const Target target = {static_cast<uint16_t>(std::strtoul(argv[3], nullptr, 10)),
                           argv[4],
                           argv[5],
                           argv[6],
                           argv[7],
                           std::strcmp(argv[2], "passive") == 0};
    const unsigned repetitions = static_cast<unsigned>(std::strtoul(argv[8], nullptr, 10));
    if (repetitions == 0)
        return 2;
    return bVexFtp || bVexFtps ? RunVexFtp(target, repetitions, bVexFtps) : RunWinInet(target, repetitions);
}
