#include "VexHTTP.h"

#include "BlockProgress.h"
#include "HeaderTrace.h"
#include "HttpMessages.h"
#include "HttpTunnel.h"
#include "TunnelMessages.h"
#include "LineReader.h"
#include "LocalFile.h"
#include "StatusDetail.h"
#include "VexErrors.h"
#include "VexLimits.h"
#include "WideText.h"

#include <memory>
#include <new>

CVexHTTP::CVexHTTP()
    : VEXSOCK(false)
{
}

CVexHTTP::~CVexHTTP()
{
    VEXSOCK::Close();
}

bool CVexHTTP::EnsureCreated()
{
    if (!m_bCreated)
        m_bCreated = VEXSOCK::Create(kTransferTimeoutSeconds, false);
    if (!m_bCreated)
    {
        CopyChannelError();
        m_lResponseCode = 0;
    }
    return m_bCreated;
}

bool CVexHTTP::Connect(const char* pszHost, uint16_t port)
{
    LogFormat("CVexHTTP::Connect( %s, %u)\n", pszHost, port);
    m_pszHost.Assign(pszHost);
    m_nPort = port;
    const bool bResult = Open(pszHost, port, nullptr);
    LogReturned("CVexHTTP::Connect()", bResult);
    return bResult;
}

bool CVexHTTP::ConnectSocks(const char* pszHost, uint16_t port, const char* pszProxyHost, uint16_t proxyPort,
                            unsigned version, unsigned authMethod, const char* pszUser, const char* pszPassword)
{
    LogFormat("CVexHTTP::ConnectSocks( %s, %u, %s, %u, %u, %u, %s, {password}\n", pszHost, port, pszProxyHost,
              proxyPort, version, authMethod, pszUser);
    m_pszHost.Assign(pszHost);
    m_nPort = port;
    const SocksEndpoint socks = {pszProxyHost, proxyPort, version, authMethod, pszUser, pszPassword};
    const bool bResult = Open(pszHost, port, &socks);
    LogReturned("CVexHTTP::ConnectSocks()", bResult);
    return bResult;
}

bool CVexHTTP::Open(const char* pszHost, uint16_t port, const SocksEndpoint* pSocks)
{
    if (EnsureCreated() && OpenTo(pszHost, port, pSocks))
        return true;
    CopyChannelError();
    m_lResponseCode = 0;
    return false;
}

bool CVexHTTP::ConnectHttpProxy(const char* pszHost, uint16_t port, const HttpProxyRoute& route,
                                const std::string& proxyAuthorization)
{
    LogFormat("CVexHTTP::ConnectHttpProxy( %s, %u, %s, %u )\n", pszHost, port, route.host.c_str(), route.port);
    m_pszHost.Assign(pszHost);
    m_nPort = port;
    m_bViaHttpProxy = true;
    m_proxyAuthorization = proxyAuthorization;
    ProxyFailure failure;
    m_bCreated = ConnectToHttpProxy(*this, route, &failure);
    SetError(failure.lError, failure.lErrorEx);
    LogReturned("CVexHTTP::ConnectHttpProxy()", m_bCreated);
    return m_bCreated;
}

void CVexHTTP::ReadProxyChallenges()
{
    char line[CLineBuffer::kBlockSize] = {};
    while (GetLine(line) > 1)
        m_proxyChallenges.AddLine(line);
}

bool CVexHTTP::Disconnect()
{
    m_bCreated = false;
    VEXSOCK::Close();
    return true;
}

bool CVexHTTP::PutMessage(const char* pszText)
{
    const size_t cchText = SafeLength(pszText);
    size_t cchShown = cchText;
    while (cchShown > 0 && (pszText[cchShown - 1] == '\n' || pszText[cchShown - 1] == '\r'))
        --cchShown;
    const std::string shown = http::WithoutCredentials(std::string(pszText ? pszText : "", cchShown));
    LogFormat("CVexHTTP::PutMessage( %s )\n", shown.c_str());
    if (SendAll(pszText, static_cast<int>(cchText), 0) == static_cast<int>(cchText))
    {
        SetError(0, 0);
        return true;
    }
    CopyChannelError();
    return false;
}

int CVexHTTP::GetLine(char (&line)[CLineBuffer::kBlockSize])
{
    switch (WaitForLine(*this, m_lines))
    {
    case LineWait::kLineReady:
        return m_lines.TakeLine(line);
    case LineWait::kReceiveFailed:
        CopyChannelError();
        return VEXERR_HTTP;
    case LineWait::kNoLine:
        // Closed before a complete line, or a line longer than the buffer.
        break;
    }
    SetError(VEXERR_HTTP, VEXDET_UNEXPECTED);
    return VEXERR_HTTP;
}

bool CVexHTTP::GetMessage(CAnsiString& text, int* pcchLine)
{
    text.Reset();
    *pcchLine = 0;
    char line[CLineBuffer::kBlockSize] = {};
    // A line that is only a line feed counts as no line.
    const int n = GetLine(line);
    if (n < 1)
        return false;
    *pcchLine = n - 1;
    text.Assign(line);
    LogFormat("CVexHTTP::GetMessage() returned: %s\n", http::HeaderLineForTrace(line).c_str());
    return true;
}

bool CVexHTTP::HTTPResponse(long expected, CAnsiString* pStatusLine)
{
    CAnsiString line;
    int cchLine = 0;
    if (!GetMessage(line, &cchLine))
    {
        LogFormat("CVexHTTP::HTPResponse( %d ) Failed.\n", static_cast<int>(expected));
        return false;
    }
    if (!http::IsStatusLine(line.Get()))
        return false;
    m_lResponseCode = http::ParseStatusCode(line.Get());
    m_statusLine.Assign(line.Get());
    if (pStatusLine)
        pStatusLine->Assign(line.Get());
    LogFormat("CVexHTTP::HTTPResponse( %d ) Received response: %d.\n", static_cast<int>(expected),
              static_cast<int>(m_lResponseCode));
    if (expected == 0 || m_lResponseCode == expected ||
        (expected >= 1 && expected <= 5 && m_lResponseCode / 100 == expected))
        return true;
    m_lLastError = VEXERR_HTTP;
    return false;
}

bool CVexHTTP::SendAndCheck(const char* pszText, long expected, CAnsiString* pStatusLine)
{
    return PutMessage(pszText) && HTTPResponse(expected, pStatusLine);
}

bool CVexHTTP::GetContentLength(uint64_t* pLength)
{
    *pLength = 0;
    m_bContentLengthKnown = false;
    bool bEnded = false;
    for (;;)
    {
        char line[CLineBuffer::kBlockSize] = {};
        const int n = GetLine(line);
        if (n < 0)
            break; // closed or failed inside the headers
        // "\n" or "\r\n": the empty line. GetMessage counts a bare LF as no
        // line at all; here it ends the headers all the same.
        if (n <= 1)
        {
            bEnded = true;
            break;
        }
        LogFormat("CVexHTTP::GetMessage() returned: %s\n", http::HeaderLineForTrace(line).c_str());
        // The last Content-Length header wins.
        if (http::FindContentLength(line, pLength))
            m_bContentLengthKnown = true;
    }
    NotifyStart(*pLength);
    return bEnded;
}

int64_t CVexHTTP::GetFile(const char* pszRemote, const wchar_t* pwszLocal, uint64_t cbExpected)
{
    std::unique_ptr<CLocalFile> file(new (std::nothrow) CLocalFile);
    std::unique_ptr<char[]> block(new (std::nothrow) char[kTransferBlockSize]);
    if (!file || !block)
        return kNoFileObject;
    LogFormat("CVexHTTP::GetFile( \"%s\", \"%s\", VEXSOCK, %llu )\n", pszRemote, WideToUtf8(pwszLocal).c_str(),
              static_cast<unsigned long long>(cbExpected));

    uint64_t cbTotal = 0;
    bool bFailed = false;
    if (pwszLocal)
    {
        NotifyStart(cbExpected);
        if (file->Open(pwszLocal, true, false) == -1)
        {
            SetError(VEXERR_LOCALFILE, CLocalFile::MapLastError());
            bFailed = true;
        }
        else
        {
            // A negative length read as the largest count is no length.
            BodyStarted(m_bContentLengthKnown && cbExpected <= INT64_MAX ? static_cast<int64_t>(cbExpected) : -1);
        }
        if (!bFailed && m_lines.Buffered() > 0)
        {
            // Body bytes that arrived with the headers go first.
            const long cbBuffered = m_lines.Buffered();
            const long cbWritten = file->Write(m_lines.Data(), cbBuffered);
            if (cbWritten != cbBuffered)
            {
                SetError(VEXERR_LOCALFILE, CLocalFile::MapLastError());
                bFailed = true;
            }
            else
            {
                BodyWritten(m_lines.Data(), static_cast<size_t>(cbWritten));
                cbTotal = static_cast<uint64_t>(cbWritten);
                NotifyProgress(cbExpected, cbTotal);
            }
        }
    }

    if (!bFailed)
    {
        PumpMessages();
        // This client asks the abort hook after every block, as it always did.
        CBlockProgress progress(*this, cbExpected, CBlockProgress::AbortQuestion::kEveryBlock);
        const CopyEnd end = CopyBlocks(
            block.get(), kTransferBlockSize, progress, &cbTotal,
            [&](char* pBlock, int cb) { return Receive(pBlock, cb, 0); },
            [&](const char* pBlock, int cb) {
                if (!pwszLocal)
                    return true;
                if (file->Write(pBlock, cb) != cb)
                    return false;
                BodyWritten(pBlock, static_cast<size_t>(cb));
                return true;
            });
        if (end == CopyEnd::kReadFailed)
            CopyChannelError();
        else if (end == CopyEnd::kWriteFailed)
            SetError(VEXERR_LOCALFILE, CLocalFile::MapLastError());
        else if (end == CopyEnd::kAborted)
            SetError(VEXERR_ABORTED, VEXDET_ABORTED);
        bFailed = end == CopyEnd::kWriteFailed;
        if (!bFailed && pwszLocal)
        {
            NotifyProgress(cbExpected, cbTotal);
            PumpMessages();
        }
    }
    file->Close();
    const int64_t result = bFailed ? kLocalFileFailed : static_cast<int64_t>(pwszLocal ? cbTotal : 0);
    LogWithErrors("CVexHTTP::PutFile() Returned:%lld.", static_cast<long long>(result));
    return result;
}

bool CVexHTTP::MoveFile(const char* pszRemote, const char* pszLocal)
{
    return MoveFile(pszRemote, pszLocal ? AnsiToWide(pszLocal).c_str() : nullptr);
}

bool CVexHTTP::MoveFile(const char* pszRemote, const wchar_t* pwszLocal)
{
    LogFormat("CVexHTTP::MoveFile( \"%s\", \"%s\" )\n", pszRemote, WideToUtf8(pwszLocal).c_str());
    char request[http::kRequestSize];
    const std::string absoluteTarget =
        m_bViaHttpProxy ? proxy::AbsoluteHttpTarget(m_pszHost.Get() ? m_pszHost.Get() : "", m_nPort,
                                                    pszRemote ? pszRemote : "")
                        : std::string();
    if (!http::BuildGetRequest(request, sizeof(request), m_bViaHttpProxy ? absoluteTarget.c_str() : pszRemote,
                               m_pszHost.Get(), m_nPort, m_pszReferer.Get(), m_pszUserAgent.Get(),
                               m_proxyAuthorization.c_str()))
    {
        // Nothing goes out that does not fit or that would forge headers.
        SetError(VEXERR_HTTP, VEXDET_UNEXPECTED);
        return false;
    }
    if (!SendAndCheck(request, 200))
    {
        if (m_lLastError == VEXERR_HTTP)
            m_lLastErrorEx = http::StatusDetail(static_cast<int>(m_lResponseCode), http::Protocol::kHttp10);
        if (m_bViaHttpProxy && m_lResponseCode == 407)
            ReadProxyChallenges();
        return false;
    }

    uint64_t cbLength = 0;
    if (!GetContentLength(&cbLength))
    {
        // The headers did not end with their empty line: the response was
        // cut off, and whatever follows is not the body.
        if (m_lLastError == 0)
            SetError(VEXERR_HTTP, VEXDET_UNEXPECTED);
        return false;
    }
    const int64_t written = GetFile(pszRemote, pwszLocal, cbLength);
    const uint64_t cbWritten = written < 0 ? 0 : static_cast<uint64_t>(written);
    if (cbWritten != cbLength && QueryAbort())
        SetError(VEXERR_ABORTED, VEXDET_ABORTED);
    NotifyProgress(cbLength, cbWritten);
    PumpMessages();
    LogWithErrors("CVexHTTP::MoveFile() Normal Exit. nWritten: %llu  filesize: %llu", static_cast<unsigned long long>(cbWritten), static_cast<unsigned long long>(cbLength));

    // A body that failed or was abandoned on the way is never complete, with
    // or without a Content-Length; otherwise the announced length decides.
    if (written < 0 || m_lLastError != 0)
        return false;
    return cbLength == 0 || cbWritten == cbLength;
}
