// CVexHTTP: one HTTP/1.0 GET of one file into a local file, directly or
// through a SOCKS proxy. The connection to the web server is its own
// VEXSOCK base; the body is read until the server closes.
#pragma once

#include "HttpProxyRoute.h"
#include "ProxyChallenges.h"
#include "LineBuffer.h"
#include "VexSock.h"

#include <cstdint>
#include <string>

class CVexHTTP : public VEXSOCK
{
public:
    CVexHTTP();
    ~CVexHTTP();

    void SetReferer(const char* pszReferer) { m_pszReferer.Assign(pszReferer); }
    void SetUserAgent(const char* pszUserAgent) { m_pszUserAgent.Assign(pszUserAgent); }

    bool Connect(const char* pszHost, uint16_t port);
    bool ConnectSocks(const char* pszHost, uint16_t port, const char* pszProxyHost, uint16_t proxyPort,
                      unsigned version, unsigned authMethod, const char* pszUser, const char* pszPassword);
    // To an HTTP proxy: the request then names the server in absolute form
    // and carries proxyAuthorization (none when empty).
    bool ConnectHttpProxy(const char* pszHost, uint16_t port, const HttpProxyRoute& route,
                          const std::string& proxyAuthorization);
    // The local path is wide; the ANSI form reads it in the system code page.
    bool MoveFile(const char* pszRemote, const wchar_t* pwszLocal);
    bool MoveFile(const char* pszRemote, const char* pszLocal);
    bool Disconnect();
    long GetLastError() const { return m_lLastError; }
    long GetLastErrorEx() const { return m_lLastErrorEx; }

    bool PutMessage(const char* pszText);
    // The next line without its line end, or false (text is then null).
    bool GetMessage(CAnsiString& text, int* pcchLine);
    bool HTTPResponse(long expected, CAnsiString* pStatusLine = nullptr);
    bool SendAndCheck(const char* pszText, long expected, CAnsiString* pStatusLine = nullptr);
    // Reads the headers up to the empty line that ends them (CR LF, or a
    // bare LF). False when the headers end any other way (the connection
    // closed or failed in them).
    bool GetContentLength(uint64_t* pLength);
    // Body bytes written, or kLocalFileFailed / kNoFileObject.
    int64_t GetFile(const char* pszRemote, const wchar_t* pwszLocal, uint64_t cbExpected);

    static constexpr int64_t kLocalFileFailed = -150;
    static constexpr int64_t kNoFileObject = -1;

    CAnsiString m_pszUserAgent;
    CAnsiString m_pszReferer;
    // Hides the channel's pair: the client's own record of its last failure.
    long m_lLastError = 0;
    long m_lLastErrorEx = 0;
    long m_lResponseCode = 0;
    // The status line of the response, as the server sent it.
    CAnsiString m_statusLine;
    bool m_bCreated = false;
    // The response announced its length (a Content-Length header).
    bool m_bContentLengthKnown = false;
    CLineBuffer m_lines;
    // The server as named by the caller, for the Host header.
    CAnsiString m_pszHost;
    uint16_t m_nPort = 0;
    bool m_bViaHttpProxy = false;
    std::string m_proxyAuthorization;
    // What the proxy's 407 offers.
    proxy::CProxyChallenges m_proxyChallenges;

private:
    void SetError(long lError, long lErrorEx)
    {
        m_lLastError = lError;
        m_lLastErrorEx = lErrorEx;
    }
    void CopyChannelError() { SetError(VEXSOCK::GetLastError(), VEXSOCK::GetLastErrorEx()); }
    bool EnsureCreated();
    // The socket, then the connection, directly or through SOCKS; a failure
    // is recorded as VEXSOCK::OpenTo leaves it.
    bool Open(const char* pszHost, uint16_t port, const SocksEndpoint* pSocks);
    // The header lines after a 407 status line, up to the empty one.
    void ReadProxyChallenges();
    int GetLine(char (&line)[CLineBuffer::kBlockSize]);
};
