// CVexFTP control channel: connecting and logging in, commands, replies,
// logging out.
#include "VexFTP.h"

#include "FtpFeatures.h"
#include "LineReader.h"
#include "HttpTunnel.h"
#include "VexErrors.h"
#include "VexLimits.h"

#include <cstdio>
#include <cstring>

namespace {

// Commands end in CR LF as RFC 959 requires; some servers never answer a
// command that ends in a bare line feed.
constexpr char kLineEnd[] = "\r\n";

// Command buffers.
constexpr size_t kCommandSize = 1024;
constexpr size_t kSizeCommandSize = 512;


} // namespace

CVexFTP::CVexFTP()
    : VEXSOCK(false),
      m_control(*this)
{
}

CVexFTP::~CVexFTP()
{
    Close();
}

bool CVexFTP::FormatCommand(char* pBuffer, size_t cbBuffer, const char* pszVerb, const char* pszArgument)
{
    // A line break inside an argument would smuggle in a second command; an
    // argument that does not fit would lose its line end. Neither goes out.
    const char* pszText = pszArgument ? pszArgument : "";
    const int cch = std::strpbrk(pszText, "\r\n")
                        ? -1
                        : std::snprintf(pBuffer, cbBuffer, "%s %s%s", pszVerb, pszText, kLineEnd);
    if (cch < 0 || static_cast<size_t>(cch) >= cbBuffer)
    {
        LogFormat("CVexFTP: %s argument refused, not sent\n", pszVerb);
        SetError(VEXERR_FTP, VEXDET_UNEXPECTED);
        return false;
    }
    return true;
}

bool CVexFTP::Login(const char* pszUser, const char* pszPassword)
{
    // Implicit TLS: the greeting already comes through it.
    if (m_tlsMode == ftp::TlsMode::kImplicit && !StartControlTls())
        return false;
    CAnsiString greeting;
    if (!GetMessage(greeting))
    {
        SetError(VEXERR_FTP, VEXDET_BAD_REPLY);
        return false;
    }
    m_nReplyCode = ftp::ReplyCode(greeting.Get());
    if (m_nReplyCode != 220)
    {
        SetError(VEXERR_FTP, VEXDET_UNEXPECTED);
        return false;
    }
    const bool bExplicit = m_tlsMode == ftp::TlsMode::kIfOffered || m_tlsMode == ftp::TlsMode::kRequired;
    if (bExplicit && !NegotiateAuthTls())
        return false;

    char command[kCommandSize] = {};
    if (!FormatCommand(command, sizeof(command), "USER", pszUser) || !SendCommand(command, 331))
    {
        if (m_lLastError == VEXERR_FTP)
            m_lLastErrorEx = VEXDET_USER_REFUSED;
        return false;
    }
    if (!FormatCommand(command, sizeof(command), "PASS", pszPassword) || !SendCommand(command, 230))
    {
        if (m_lLastError == VEXERR_FTP)
            m_lLastErrorEx = VEXDET_PASS_REFUSED;
        return false;
    }
    return !m_control.IsTls() || ProtectDataConnections();
}

bool CVexFTP::Connect(const char* pszHost, const char* pszUser, const char* pszPassword, uint16_t port)
{
    LogFormat("CVexFTP::Connect( %s, %s, {password}, %u)\n", pszHost, pszUser, port);
    m_controlHost.Assign(pszHost);
    ResetControl();
    bool bResult = false;
    if (!m_bCreated && !(m_bCreated = VEXSOCK::Create(kTransferTimeoutSeconds, false)))
        CopyErrorFrom(*this);
    else if (!OpenTo(pszHost, port, nullptr))
        CopyErrorFrom(*this);
    else
        bResult = Login(pszUser, pszPassword);
    LogReturned("CVexFTP::Connect()", bResult);
    return bResult;
}

bool CVexFTP::ConnectSocks(const char* pszHost, const char* pszUser, const char* pszPassword, uint16_t port,
                           const char* pszProxyHost, uint16_t proxyPort, unsigned version, unsigned authMethod,
                           const char* pszProxyUser, const char* pszProxyPassword)
{
    LogFormat("CVexFTP::ConnectSocks( %s, %s, {password}, %u, %s, %u, %u, %u, %s, {password}\n", pszHost, pszUser,
              port, pszProxyHost, proxyPort, version, authMethod, pszProxyUser);
    m_controlHost.Assign(pszHost);
    ResetControl();
    bool bResult = false;
    if (!m_bCreated && !(m_bCreated = VEXSOCK::Create(kTransferTimeoutSeconds, false)))
        CopyErrorFrom(*this);
    else if (!VEXSOCK::ConnectSocks(pszHost, port, pszProxyHost, proxyPort, version, authMethod, pszProxyUser,
                                    pszProxyPassword))
        CopyErrorFrom(*this);
    else
        bResult = Login(pszUser, pszPassword);
    LogReturned("CVexFTP::ConnectSocks()", bResult);
    return bResult;
}

bool CVexFTP::ConnectHttpTunnel(const char* pszHost, const char* pszUser, const char* pszPassword, uint16_t port,
                                HttpProxyRoute& route)
{
    LogFormat("CVexFTP::ConnectHttpTunnel( %s, %s, {password}, %u, %s, %u )\n", pszHost, pszUser, port,
              route.host.c_str(), route.port);
    m_pHttpProxy = &route;
    m_controlHost.Assign(pszHost);
    ResetControl();
    ProxyFailure failure;
    m_bCreated = OpenHttpTunnel(*this, route, pszHost, port, &failure);
    m_proxyAnswer = failure.answer;
    m_proxySecurityStatus = failure.securityStatus;
    bool bResult = false;
    if (!m_bCreated)
        SetError(failure.lError, failure.lErrorEx);
    else
        bResult = Login(pszUser, pszPassword);
    LogReturned("CVexFTP::ConnectHttpTunnel()", bResult);
    return bResult;
}

bool CVexFTP::Disconnect()
{
    Log("CVexFTP::Disconnect() - Enter\n", true);
    m_bCreated = false;
    char command[16];
    std::snprintf(command, sizeof(command), "QUIT%s", kLineEnd);
    const bool bResult = SendCommand(command, 2);
    if (!bResult && m_lLastError == VEXERR_FTP)
        m_lLastErrorEx = VEXDET_QUIT_REFUSED;
    m_control.EndTls();
    VEXSOCK::Close();
    Log(bResult ? "CVexFTP::Disconnect() - Success\n" : "CVexFTP::Disconnect() - Failed\n", true);
    return bResult;
}

bool CVexFTP::PutMessage(const char* pszCommand)
{
    // The trace shows the command without its line end, and never a password.
    const size_t cchCommand = SafeLength(pszCommand);
    size_t cchShown = cchCommand;
    while (cchShown > 0 && (pszCommand[cchShown - 1] == '\n' || pszCommand[cchShown - 1] == '\r'))
        --cchShown;
    if (cchCommand >= 4 && std::strncmp(pszCommand, "PASS", 4) == 0)
        Log("CVexFTP::PutMessage( PASS {password} )\n", true);
    else
        LogFormat("CVexFTP::PutMessage( %.*s )\n", static_cast<int>(cchShown), pszCommand ? pszCommand : "");

    if (m_control.SendAll(pszCommand, static_cast<int>(cchCommand)) == static_cast<int>(cchCommand))
    {
        SetError(0, 0);
        return true;
    }
    CopyErrorFrom(m_control);
    LogWithErrors("CVexFTP::PutMessage Failed.");
    return false;
}

int CVexFTP::GetLine(char (&line)[CLineBuffer::kBlockSize])
{
    switch (WaitForLineFrom([this](char* p, int cb) { return m_control.Receive(p, cb); }, m_reply))
    {
    case LineWait::kLineReady:
        return m_reply.TakeLine(line);
    case LineWait::kReceiveFailed:
        CopyErrorFrom(m_control);
        return -1;
    case LineWait::kNoLine:
        // Closed before a complete line, or a line longer than any reply
        // line may be: no usable reply.
        break;
    }
    SetError(VEXERR_FTP, VEXDET_BAD_REPLY);
    return -1;
}

bool CVexFTP::GetMessage(CAnsiString& reply)
{
    reply.Reset();
    char line[CLineBuffer::kBlockSize] = {};
    ftp::CReplyAssembler assembler;
    for (;;)
    {
        if (GetLine(line) == -1)
            return false;
        if (m_pReplyLines && m_pReplyLines->size() < ftp::kMaxFeatureLines)
            m_pReplyLines->push_back(line);
        switch (assembler.Feed(line))
        {
        case ftp::CReplyAssembler::kNeedMoreLines:
            continue;
        case ftp::CReplyAssembler::kNotAReply:
            SetError(VEXERR_FTP, VEXDET_BAD_REPLY);
            return false;
        case ftp::CReplyAssembler::kCodeMismatch:
            SetError(VEXERR_FTP, VEXDET_BAD_REPLY);
            LogFormat("CVexFTP::GetMessage() returned: %s\n", "(null)");
            return false;
        case ftp::CReplyAssembler::kComplete:
            LogFormat("CVexFTP::GetMessage() returned: %s\n", line);
            reply.Assign(line);
            m_lastReply.Assign(line);
            return true;
        }
    }
}

bool CVexFTP::FTPResponse(long expected, CAnsiString* pReply)
{
    CAnsiString reply;
    if (!GetMessage(reply))
    {
        LogFormat("CVexFTP::FTPResponse( %ld ) Failed.\n", expected);
        return false;
    }
    m_nReplyCode = ftp::ReplyCode(reply.Get());
    if (pReply)
        pReply->Assign(reply.Get());
    LogFormat("CVexFTP::FTPResponse( %ld ) Received response: %ld.\n", expected, static_cast<long>(m_nReplyCode));

    // 1 to 5 stand for any reply of that class; every other value must match.
    if (expected == 0 || m_nReplyCode == expected ||
        (expected >= 1 && expected <= 5 && m_nReplyCode / 100 == expected))
        return true;
    m_lLastError = VEXERR_FTP;
    return false;
}

bool CVexFTP::SendCommand(const char* pszCommand, long expected, CAnsiString* pReply)
{
    return PutMessage(pszCommand) && FTPResponse(expected, pReply);
}

bool CVexFTP::UseUtf8Paths()
{
    std::vector<std::string> features;
    m_pReplyLines = &features;
    const bool bListed = SendCommand("FEAT\r\n", 211);
    m_pReplyLines = nullptr;
    bool bUtf8 = false;
    for (const std::string& line : features)
        bUtf8 = bUtf8 || ftp::ListsFeature(line.c_str(), "UTF8");
    // RFC 2640 servers answer 200; some older ones 202 (already on).
    if (bListed && bUtf8 && SendCommand("OPTS UTF8 ON\r\n", 2))
        return true;
    // A refusal of FEAT or OPTS leaves the connection as it was; a broken
    // connection keeps its failure for the transfer to report.
    if (m_lLastError == VEXERR_FTP)
        SetError(0, 0);
    return false;
}
