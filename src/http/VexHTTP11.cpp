#include "VexHTTP11.h"

#include "BlockProgress.h"
#include "BodyFraming.h"
#include "HeaderTrace.h"
#include "Http11Messages.h"
#include "HttpTunnel.h"
#include "LocalFile.h"
#include "MessagePump.h"
#include "StatusDetail.h"
#include "TraceText.h"
#include "VexErrors.h"
#include "VexLimits.h"
#include "WideText.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Request buffer: the request line holds a target of up to a URL's length.
constexpr size_t kRequestSize = 4096;
// The reason phrase kept for the host's error text.
constexpr size_t kMaxReasonLength = 128;
// The largest 401 or 407 body read to keep its connection: servers and
// proxies send an error page of a few kilobytes.
constexpr uint64_t kMaxDroppedBody = 64 * 1024;

} // namespace

CVexHTTP11::CVexHTTP11()
    : VEXSOCK(false), m_stream(*this)
{
}

CVexHTTP11::~CVexHTTP11()
{
    Disconnect();
}

bool CVexHTTP11::IsRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool CVexHTTP11::EnsureCreated()
{
    if (!m_bCreated)
        m_bCreated = VEXSOCK::Create(kTransferTimeoutSeconds, false);
    if (!m_bCreated)
        SetError(VEXSOCK::GetLastError(), VEXSOCK::GetLastErrorEx());
    return m_bCreated;
}

bool CVexHTTP11::Connect(const char* pszHost, uint16_t port)
{
    LogFormat("CVexHTTP11::Connect( %s, %u)\n", pszHost, port);
    const bool bResult = Open(pszHost, port, nullptr);
    LogReturned("CVexHTTP11::Connect()", bResult);
    return bResult;
}

bool CVexHTTP11::ConnectSocks(const char* pszHost, uint16_t port, const SocksEndpoint& socks)
{
    LogFormat("CVexHTTP11::ConnectSocks( %s, %u, %s, %u, %u, %u, %s, {password})\n", pszHost, port, socks.pszServer,
              socks.port, socks.version, socks.authMethod, socks.pszUser);
    const bool bResult = Open(pszHost, port, &socks);
    LogReturned("CVexHTTP11::ConnectSocks()", bResult);
    return bResult;
}

bool CVexHTTP11::Open(const char* pszHost, uint16_t port, const SocksEndpoint* pSocks)
{
    if (!EnsureCreated())
        return false;
    if (OpenTo(pszHost, port, pSocks))
        return true;
    SetError(VEXSOCK::GetLastError(), VEXSOCK::GetLastErrorEx());
    return false;
}

bool CVexHTTP11::ConnectHttpProxy(const HttpProxyRoute& route)
{
    LogFormat("CVexHTTP11::ConnectHttpProxy( %s, %u )\n", route.host.c_str(), route.port);
    ProxyFailure failure;
    m_bCreated = ConnectToHttpProxy(*this, route, &failure);
    SetError(failure.lError, failure.lErrorEx);
    LogReturned("CVexHTTP11::ConnectHttpProxy()", m_bCreated);
    return m_bCreated;
}

bool CVexHTTP11::ConnectHttpTunnel(HttpProxyRoute& route, const char* pszHost, uint16_t port)
{
    ProxyFailure failure;
    m_bCreated = OpenHttpTunnel(*this, route, pszHost, port, &failure);
    SetError(failure.lError, failure.lErrorEx);
    m_proxyAnswer = failure.answer;
    m_proxySecurityStatus = failure.securityStatus;
    return m_bCreated;
}

bool CVexHTTP11::StartTls(const char* pszServerName)
{
    m_pTls.reset(new (std::nothrow) CTlsChannel(*this));
    bool bResult = m_pTls && m_pTls->Handshake(pszServerName);
    if (!m_pTls)
        SetError(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
    else if (!bResult)
        SetError(m_pTls->GetLastError(), m_pTls->GetLastErrorEx());
    else
        m_stream.UseTls(m_pTls.get());
    LogWithErrors("CVexHTTP11::StartTls( %s ) returned %s (%s).", pszServerName,
              TrueFalse(bResult), m_pTls ? m_pTls->ProtocolName() : "none");
    return bResult;
}

void CVexHTTP11::Disconnect()
{
    if (m_stream.IsTls())
        m_pTls->Shutdown();
    m_stream.UseTls(nullptr);
    m_pTls.reset();
    m_bCreated = false;
    VEXSOCK::Close();
}

bool CVexHTTP11::NextLine(std::string* pLine)
{
    while (!m_head.TakeLine(pLine))
    {
        if (m_head.FreeCount() == 0)
        {
            // The head does not fit: refused rather than read in part.
            SetError(VEXERR_HTTP, VEXDET_BAD_REPLY);
            return false;
        }
        const int cb = m_stream.Receive(m_head.FreeSpace(), static_cast<int>(m_head.FreeCount()));
        if (cb < 0)
        {
            CopyStreamError();
            return false;
        }
        if (cb == 0)
        {
            // Closed inside the head: what came is no complete response.
            SetError(VEXERR_HTTP, VEXDET_BAD_REPLY);
            return false;
        }
        m_head.Commit(static_cast<size_t>(cb));
    }
    // A zero byte would end the line early for every reader that follows.
    if (pLine->find('\0') != std::string::npos)
    {
        SetError(VEXERR_HTTP, VEXDET_BAD_REPLY);
        return false;
    }
    return true;
}

bool CVexHTTP11::ReadHeaders(http::CResponseHeaders* pHeaders, Reply* pReply, bool* pbCloses)
{
    std::string line;
    while (NextLine(&line))
    {
        if (line.empty())
            return true;
        LogFormat("CVexHTTP11::Get() header: %.200s\n", http::HeaderLineForTrace(line).c_str());
        if (!pHeaders->AddLine(line.c_str()))
        {
            SetError(VEXERR_HTTP, VEXDET_BAD_REPLY);
            return false;
        }
        pReply->proxyChallenges.AddLine(line);
        pReply->serverChallenges.AddLine(line);
        *pbCloses = *pbCloses || http::FieldClosesConnection(line);
    }
    return false;
}

bool CVexHTTP11::ReadStatus(Reply* pReply)
{
    // Interim answers (100 Continue, 103 Early Hints) come before the real one.
    for (;;)
    {
        std::string line;
        if (!NextLine(&line))
            return false;
        const char* pszReason = nullptr;
        int status = 0;
        if (!http::ParseStatusLine11(line.c_str(), &status, &pszReason))
        {
            SetError(VEXERR_HTTP, VEXDET_BAD_REPLY);
            return false;
        }
        LogFormat("CVexHTTP11::Get() status: %.200s\n", line.c_str());
        pReply->status = status;
        pReply->reason.assign(pszReason, std::min(std::strlen(pszReason), kMaxReasonLength));
        if (status >= 200)
            return true;
        http::CResponseHeaders interim;
        Reply ignored;
        bool bIgnored = false;
        if (!ReadHeaders(&interim, &ignored, &bIgnored))
            return false;
    }
}

bool CVexHTTP11::Get(const http::Get11Request& get, const wchar_t* pwszLocal, Reply* pReply)
{
    LogFormat("CVexHTTP11::Get( %s, %s )\n", get.pszTarget, WideToUtf8(pwszLocal).c_str());
    *pReply = Reply();
    std::unique_ptr<char[]> request(new (std::nothrow) char[kRequestSize]);
    if (!request)
    {
        SetError(VEXERR_HTTP, VEXDET_UNEXPECTED);
        return false;
    }
    const size_t cbRequest =
        http::BuildGet11Request(request.get(), kRequestSize, get.pszTarget, get.pszHostHeader, get.pszUserAgent,
                                get.pszAuthorization, get.pszProxyAuthorization, get.bKeepAlive);
    if (cbRequest == 0)
    {
        // Nothing goes out that does not fit or that would forge headers.
        SetError(VEXERR_HTTP, VEXDET_UNEXPECTED);
        return false;
    }
    if (m_stream.SendAll(request.get(), static_cast<int>(cbRequest)) != static_cast<int>(cbRequest))
    {
        CopyStreamError();
        return false;
    }
    SetError(0, 0);

    http::CResponseHeaders headers;
    bool bCloses = false;
    if (!ReadStatus(pReply) || !ReadHeaders(&headers, pReply, &bCloses))
        return false;
    if (IsRedirect(pReply->status))
    {
        if (headers.LocationRefused() || headers.Location().empty())
        {
            SetError(VEXERR_HTTP, VEXDET_HTTP_REDIRECT_REFUSED);
            return false;
        }
        pReply->location = headers.Location();
        return true;
    }
    if (pReply->status != 200)
    {
        SetError(VEXERR_HTTP, http::StatusDetail(pReply->status, http::Protocol::kHttp11));
        pReply->bConnectionKept = (pReply->status == 401 || pReply->status == 407) && get.bKeepAlive && !bCloses &&
                                  DropChallengeBody(headers);
        return false;
    }
    return ReceiveBody(headers, pwszLocal);
}

bool CVexHTTP11::DropChallengeBody(const http::CResponseHeaders& headers)
{
    if (!headers.HasContentLength() || headers.IsChunked() || headers.UnsupportedEncoding() ||
        headers.ContentLength() > kMaxDroppedBody)
        return false;
    uint64_t cbLeft = headers.ContentLength();
    // Bytes past the body would be an answer to a request not yet sent.
    if (m_head.RestCount() > cbLeft)
        return false;
    cbLeft -= m_head.RestCount();
    m_head.Clear();
    char block[1024];
    while (cbLeft > 0)
    {
        const int cb = m_stream.Receive(block, static_cast<int>(cbLeft < sizeof(block) ? cbLeft : sizeof(block)));
        if (cb <= 0)
            return false;
        cbLeft -= static_cast<uint64_t>(cb);
    }
    return true;
}

bool CVexHTTP11::ReceiveBody(const http::CResponseHeaders& headers, const wchar_t* pwszLocal)
{
    http::CBodyFraming framing(headers);
    if (!framing.IsUsable())
    {
        SetError(VEXERR_HTTP, VEXDET_HTTP_FRAMING);
        return false;
    }
    std::unique_ptr<CLocalFile> file(new (std::nothrow) CLocalFile);
    std::unique_ptr<char[]> block(new (std::nothrow) char[kTransferBlockSize]);
    if (!file || !block)
    {
        SetError(VEXERR_LOCALFILE, VEXFILE_UNKNOWN);
        return false;
    }
    if (file->Open(pwszLocal, true, false) == -1)
    {
        SetError(VEXERR_LOCALFILE, CLocalFile::MapLastError());
        return false;
    }
    const uint64_t cbExpected = framing.ExpectedLength();
    NotifyStart(cbExpected);
    BodyStarted(framing.HasLength() && cbExpected <= INT64_MAX ? static_cast<int64_t>(cbExpected) : -1);
    const uint64_t cbTotal = CopyBody(framing, *file, block.get());
    file->Close();
    NotifyProgress(cbExpected, cbTotal);
    PumpMessages();
    LogWithErrors("CVexHTTP11::Get() body: %llu bytes.", static_cast<unsigned long long>(cbTotal));
    return m_lLastError == 0;
}

uint64_t CVexHTTP11::CopyBody(http::CBodyFraming& framing, CLocalFile& file, char* pBlock)
{
    // The body's first bytes came with the head.
    size_t cbData = m_head.RestCount();
    std::memcpy(pBlock, m_head.Rest(), cbData);
    uint64_t cbTotal = 0;
    CBlockProgress progress(*this, framing.ExpectedLength());
    CTransferPump pump;
    for (;;)
    {
        size_t cbBody = 0;
        const http::BodyState state = framing.Take(pBlock, cbData, &cbBody);
        if (state == http::BodyState::kBadFraming)
        {
            SetError(VEXERR_HTTP, VEXDET_HTTP_FRAMING);
            return cbTotal;
        }
        if (cbBody > 0 && file.Write(pBlock, static_cast<long>(cbBody)) != static_cast<long>(cbBody))
        {
            SetError(VEXERR_LOCALFILE, CLocalFile::MapLastError());
            return cbTotal;
        }
        BodyWritten(pBlock, cbBody);
        cbTotal += cbBody;
        if (state == http::BodyState::kComplete)
            return cbTotal;
        if (progress.CountBlock(cbTotal))
        {
            SetError(VEXERR_ABORTED, VEXDET_ABORTED);
            return cbTotal;
        }
        pump.BetweenBlocks();
        const int cb = m_stream.Receive(pBlock, kTransferBlockSize);
        if (cb < 0)
        {
            CopyStreamError();
            return cbTotal;
        }
        if (cb == 0)
        {
            CheckEndAtClose(framing);
            return cbTotal;
        }
        cbData = static_cast<size_t>(cb);
    }
}

void CVexHTTP11::CheckEndAtClose(const http::CBodyFraming& framing)
{
    if (!framing.CompleteAtClose())
    {
        SetError(VEXERR_HTTP, VEXDET_HTTP_BODY_CUT);
    }
    else if (framing.EndsAtClose() && !m_stream.ClosedByServer())
    {
        // Anybody on the path can close a TCP connection; only the server
        // can send close_notify.
        LogFormat("CVexHTTP11::Get() the connection closed without close_notify: the body may be cut\n");
        SetError(VEXERR_HTTP, VEXDET_HTTP_BODY_CUT);
    }
}
