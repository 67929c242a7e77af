#include "TlsChannel.h"

#include "CertificateCheck.h"
#include "SecurityStatusName.h"
#include "SharedCredentials.h"
#include "TraceText.h"
#include "VexErrors.h"
#include "VexLimits.h"
#include "VexSock.h"
#include "WideText.h"

#include <schannel.h>

#include <climits>
#include <cstring>
#include <new>

namespace {

constexpr ULONG kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                  ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                  ISC_REQ_MANUAL_CRED_VALIDATION;

constexpr uint16_t kTls12 = 0x0303;

// A handshake takes two to four flights of a record or a few each way; a
// peer that keeps it going for more steps (calls of the package on a whole
// record) is not negotiating. Bytes that arrive in many small reads do not
// count: the package sees a record only when it is whole.
constexpr int kMaxNegotiationSteps = 32;

std::string StatusName(SECURITY_STATUS status)
{
    return tls::SecurityStatusName(static_cast<uint32_t>(status));
}

// What the package may ask for around each record; more is no TLS.
constexpr unsigned long kMaxHeaderSize = 1024;
constexpr unsigned long kMaxTrailerSize = 4096;
constexpr unsigned long kMaxMessageSize = 65536;

// Statuses with which Windows' Schannel reports that the server would not
// agree on a protocol version or cipher.
bool IsRefusal(SECURITY_STATUS status)
{
    return status == SEC_E_ALGORITHM_MISMATCH || status == SEC_E_UNSUPPORTED_FUNCTION;
}

} // namespace

CTlsChannel::CTlsChannel(VEXSOCK& channel)
    : m_channel(channel),
      m_in(kTransferBlockSize)
{
}

CTlsChannel::~CTlsChannel() = default;

const char* CTlsChannel::ProtocolName() const
{
    switch (m_protocol)
    {
    case SP_PROT_TLS1_3_CLIENT:
        return "TLS 1.3";
    case SP_PROT_TLS1_2_CLIENT:
        return "TLS 1.2";
    default:
        return m_bReady ? "TLS" : "none";
    }
}

void CTlsChannel::Fail(long lError, long lErrorEx)
{
    m_lLastError = lError;
    m_lLastErrorEx = lErrorEx;
    m_bReady = false;
}

void CTlsChannel::FailFromChannel()
{
    Fail(m_channel.GetLastError(), m_channel.GetLastErrorEx());
}

bool CTlsChannel::AcquireCredentials()
{
    m_context.Reset();
    SECURITY_STATUS status = SEC_E_OK;
    m_pCredentials = tls::SharedClientCredentials(&status);
    if (m_pCredentials)
        return true;
    m_channel.LogFormat("CTlsChannel::Handshake() AcquireCredentialsHandle returned %s\n",
                        StatusName(status).c_str());
    Fail(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
    return false;
}

const char* CTlsChannel::SessionKind()
{
    // Wine 8's Schannel does not report it (SEC_E_UNSUPPORTED_FUNCTION).
    SecPkgContext_SessionInfo info = {};
    if (QueryContextAttributesW(m_context.Get(), SECPKG_ATTR_SESSION_INFO, &info) != SEC_E_OK)
        return "a session the package does not describe";
    return (info.dwFlags & SSL_SESSION_RECONNECT) ? "a resumed session" : "a new session";
}

CTlsChannel::Read CTlsChannel::ReadMore(bool bHandshake)
{
    size_t cbSpace = 0;
    char* pSpace = m_in.Space(&cbSpace);
    if (!pSpace)
    {
        Fail(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
        return Read::kFailed;
    }
    // The channel's bounded wait. In the handshake it comes first, so that a
    // server that stays silent fails with -120/10060. The channel's receive
    // waits too, but takes waiting data without one: under Wine every wait
    // is a round trip to wineserver, and an extra one before each receive
    // cost a third of the throughput (64 MiB from nginx over loopback).
    if (bHandshake && m_channel.WaitRead() != 1)
    {
        FailFromChannel();
        return Read::kFailed;
    }
    const int cb = m_channel.Receive(pSpace, cbSpace > INT_MAX ? INT_MAX : static_cast<int>(cbSpace), 0);
    if (cb < 0)
    {
        FailFromChannel();
        return Read::kFailed;
    }
    if (cb == 0)
        return Read::kClosed;
    m_in.Commit(static_cast<size_t>(cb));
    return Read::kData;
}

bool CTlsChannel::Negotiate(bool bFirstCall, bool* pbDeclined)
{
    bool bNeedInput = false;
    for (int steps = 0; steps < kMaxNegotiationSteps;)
    {
        if (bNeedInput && !ReadWholeRecord())
            return false;
        // Bytes that are no TLS record (a plain HTTP server's reply) fail
        // at once, whatever the package would make of them.
        size_t cbRecord = 0;
        if (m_in.FirstRecord(&cbRecord) == tls::Frame::kMalformed)
        {
            Fail(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
            return false;
        }

        const size_t cbInput = m_in.Size();
        const bool bRefusal = InputIsRefusal();
        SecBuffer input[2] = {
            {static_cast<unsigned long>(cbInput), SECBUFFER_TOKEN, m_in.Data()},
            {0, SECBUFFER_EMPTY, nullptr},
        };
        SecBufferDesc inputDesc = {SECBUFFER_VERSION, 2, input};
        SecBuffer output[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc outputDesc = {SECBUFFER_VERSION, 1, output};
        ULONG attributes = 0;
        const SECURITY_STATUS status = InitializeSecurityContextW(
            m_pCredentials, bFirstCall ? nullptr : m_context.Get(), TargetName(), kContextRequest, 0, 0,
            bFirstCall ? nullptr : &inputDesc, 0, m_context.Get(), &outputDesc, &attributes, nullptr);
        CContextBuffer token;
        token.Adopt(output[0].pvBuffer);
        bFirstCall = false;

        if (status == SEC_E_INCOMPLETE_MESSAGE)
        {
            // Asked for a new handshake with nothing to go on, Wine's package
            // starts none (it wants a record of input); Windows' sends its
            // ClientHello. The server's request may be ignored then.
            if (pbDeclined && steps == 0 && cbInput == 0)
            {
                *pbDeclined = true;
                return true;
            }
            bNeedInput = true;
            continue;
        }
        ++steps;
        if (!SendToken(output[0], status))
            return false;
        if (status == SEC_I_INCOMPLETE_CREDENTIALS)
        {
            // The server asked for a client certificate: none is offered,
            // the same input goes round again.
            bNeedInput = false;
            continue;
        }
        const size_t cbExtra =
            input[1].BufferType == SECBUFFER_EXTRA && input[1].cbBuffer <= cbInput ? input[1].cbBuffer : 0;
        m_in.Consume(cbInput - cbExtra);
        if (status == SEC_E_OK)
            return true;
        if (status == SEC_I_CONTINUE_NEEDED)
        {
            // Wine's package takes whole records only and asks to continue
            // (not for an incomplete message) when it needs the next one.
            bNeedInput = m_in.Size() == 0 || cbExtra == cbInput;
            continue;
        }
        m_channel.LogFormat("CTlsChannel::Handshake() InitializeSecurityContext returned %s\n",
                        StatusName(status).c_str());
        Fail(VEXERR_TLS, bRefusal || IsRefusal(status) ? VEXDET_TLS_HANDSHAKE_REFUSED : VEXDET_TLS_PROTOCOL);
        return false;
    }
    Fail(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
    return false;
}

bool CTlsChannel::ReadWholeRecord()
{
    for (;;)
    {
        switch (ReadMore(true))
        {
        case Read::kData:
            break;
        case Read::kClosed:
            Fail(VEXERR_TLS, VEXDET_TLS_HANDSHAKE_REFUSED);
            return false;
        case Read::kFailed:
            return false;
        }
        size_t cbHeld = 0;
        if (m_in.FirstRecord(&cbHeld) != tls::Frame::kIncomplete)
            return true;
    }
}

bool CTlsChannel::InputIsRefusal() const
{
    // A server that knows no version this client offers answers with an
    // alert, or with a ServerHello for an older version, which the package
    // then refuses (Wine's with SEC_E_INTERNAL_ERROR, as any other failure).
    uint16_t version = 0;
    return m_in.FirstRecordType() == tls::kContentAlert ||
           (tls::ServerHelloVersion(reinterpret_cast<const uint8_t*>(m_in.Data()), m_in.Size(), &version) &&
            version < kTls12);
}

bool CTlsChannel::SendToken(const SecBuffer& token, SECURITY_STATUS status)
{
    // What the package wants sent goes out even after a failure (an alert
    // for the server); only then does a send failure not count.
    if (!token.pvBuffer || token.cbBuffer == 0 ||
        m_channel.SendAll(static_cast<const char*>(token.pvBuffer), static_cast<int>(token.cbBuffer), 0) != -1 ||
        FAILED(status))
        return true;
    FailFromChannel();
    return false;
}

wchar_t* CTlsChannel::TargetName()
{
    return m_serverNameW.empty() ? nullptr : &m_serverNameW[0];
}

bool CTlsChannel::FinishHandshake()
{
    SecPkgContext_StreamSizes sizes = {};
    const SECURITY_STATUS status = QueryContextAttributesW(m_context.Get(), SECPKG_ATTR_STREAM_SIZES, &sizes);
    if (status != SEC_E_OK || sizes.cbMaximumMessage == 0 || sizes.cbMaximumMessage > kMaxMessageSize ||
        sizes.cbHeader > kMaxHeaderSize || sizes.cbTrailer > kMaxTrailerSize)
    {
        m_channel.LogFormat("CTlsChannel::Handshake() stream sizes: status %s, %lu/%lu/%lu\n",
                            StatusName(status).c_str(), sizes.cbHeader, sizes.cbMaximumMessage,
                            sizes.cbTrailer);
        Fail(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
        return false;
    }
    const size_t cbOut = sizes.cbHeader + sizes.cbMaximumMessage + sizes.cbTrailer;
    if (cbOut > m_cbOut)
    {
        m_pOut.reset(new (std::nothrow) char[cbOut]);
        m_cbOut = m_pOut ? cbOut : 0;
        if (!m_pOut)
        {
            Fail(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
            return false;
        }
    }
    m_cbHeader = sizes.cbHeader;
    m_cbTrailer = sizes.cbTrailer;
    m_cbMaximumMessage = sizes.cbMaximumMessage;

    SecPkgContext_ConnectionInfo info = {};
    if (QueryContextAttributesW(m_context.Get(), SECPKG_ATTR_CONNECTION_INFO, &info) == SEC_E_OK)
        m_protocol = info.dwProtocol;
    return true;
}

bool CTlsChannel::CheckCertificate()
{
    CCertContext certificate;
    const SECURITY_STATUS status =
        QueryContextAttributesW(m_context.Get(), SECPKG_ATTR_REMOTE_CERT_CONTEXT, certificate.Receive());
    if (status != SEC_E_OK || !certificate)
    {
        m_channel.LogFormat("CTlsChannel::Handshake() no server certificate: %s\n",
                            StatusName(status).c_str());
        Fail(VEXERR_TLS, VEXDET_TLS_UNTRUSTED);
        return false;
    }
    // Revocation information may be fetched, within the channel's limit.
    const unsigned timeoutSeconds = m_channel.TimeoutSeconds();
    const DWORD urlTimeoutMs = timeoutSeconds < 3600 ? timeoutSeconds * 1000 : 3600 * 1000;
    const CertificateVerdict verdict = CheckServerCertificate(certificate.Get(), m_serverName.c_str(), urlTimeoutMs);
    m_channel.LogFormat("CTlsChannel::Handshake() certificate: chain status 0x%08lx, policy status %s, name %s\n",
                        verdict.dwChainErrors, StatusName(static_cast<SECURITY_STATUS>(verdict.dwPolicyError)).c_str(),
                        verdict.bNameMatches ? "matches" : "differs");
    if (verdict.lDetail != 0)
    {
        Fail(VEXERR_TLS, verdict.lDetail);
        return false;
    }
    return true;
}

bool CTlsChannel::Handshake(const char* pszServerName)
{
    m_bReady = false;
    m_bPeerClosed = false;
    m_bCloseNotify = false;
    m_protocol = 0;
    m_lLastError = 0;
    m_lLastErrorEx = 0;
    m_in.Clear();
    bool bResult = false;
    if (!pszServerName || !*pszServerName)
    {
        Fail(VEXERR_TLS, VEXDET_TLS_NAME_MISMATCH);
    }
    else if (!m_in.Allocated())
    {
        Fail(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
    }
    else
    {
        m_serverName = pszServerName;
        // A server is named in the ClientHello (SNI) by its DNS name only,
        // never by an address literal.
        m_serverNameW = tls::ClassifyHost(pszServerName) == tls::HostKind::kDnsName ? Utf8ToWide(pszServerName ? pszServerName : "")
                                                                                     : std::wstring();
        bResult = AcquireCredentials() && Negotiate(true, nullptr) && FinishHandshake() && CheckCertificate();
    }
    m_bReady = bResult;
    m_channel.LogFormat("CTlsChannel::Handshake( %s ) returned %s. m_lLastError: %ld m_lLastErrorEx: %ld\n",
                        pszServerName ? pszServerName : "", TrueFalse(bResult), m_lLastError, m_lLastErrorEx);
    if (bResult)
        m_channel.LogFormat("CTlsChannel::Handshake() negotiated %s, %s\n", ProtocolName(), SessionKind());
    return bResult;
}

int CTlsChannel::SendAll(const char* pData, int cb)
{
    if (!m_bReady || !pData || cb < 0)
    {
        if (m_lLastError == 0)
            Fail(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
        return -1;
    }
    char* const pRecord = m_pOut.get();
    for (int cbSent = 0; cbSent < cb;)
    {
        const unsigned long cbLeft = static_cast<unsigned long>(cb - cbSent);
        const unsigned long cbChunk = cbLeft < m_cbMaximumMessage ? cbLeft : m_cbMaximumMessage;
        std::memcpy(pRecord + m_cbHeader, pData + cbSent, cbChunk);
        SecBuffer buffers[4] = {
            {m_cbHeader, SECBUFFER_STREAM_HEADER, pRecord},
            {cbChunk, SECBUFFER_DATA, pRecord + m_cbHeader},
            {m_cbTrailer, SECBUFFER_STREAM_TRAILER, pRecord + m_cbHeader + cbChunk},
            {0, SECBUFFER_EMPTY, nullptr},
        };
        SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = EncryptMessage(m_context.Get(), 0, &desc, 0);
        if (status != SEC_E_OK || buffers[0].cbBuffer > m_cbHeader || buffers[1].cbBuffer > cbChunk ||
            buffers[2].cbBuffer > m_cbTrailer)
        {
            m_channel.LogFormat("CTlsChannel::SendAll() EncryptMessage returned %s\n",
                        StatusName(status).c_str());
            Fail(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
            return -1;
        }
        // The record is header, data and trailer as the package filled them
        // in place: back to back when the header took all its room.
        const bool bContiguous = buffers[0].cbBuffer == m_cbHeader && buffers[1].cbBuffer == cbChunk;
        for (int i = 0; i < 3; ++i)
        {
            const char* p = static_cast<const char*>(buffers[i].pvBuffer);
            int cbPart = static_cast<int>(buffers[i].cbBuffer);
            if (bContiguous)
            {
                if (i > 0)
                    break;
                cbPart = static_cast<int>(buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
            }
            if (cbPart > 0 && m_channel.SendAll(p, cbPart, 0) == -1)
            {
                FailFromChannel();
                return -1;
            }
        }
        cbSent += static_cast<int>(cbChunk);
    }
    return cb;
}

bool CTlsChannel::DecryptRecord(size_t cbRecord, char* pBuffer, int cb, int* pcbProduced)
{
    const uint8_t type = m_in.FirstRecordType();
    SecBuffer buffers[4] = {
        {static_cast<unsigned long>(cbRecord), SECBUFFER_DATA, m_in.Data()},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = DecryptMessage(m_context.Get(), &desc, 0, nullptr);
    if (status != SEC_E_OK && status != SEC_I_CONTEXT_EXPIRED && status != SEC_I_RENEGOTIATE)
    {
        m_channel.LogFormat("CTlsChannel::Receive() DecryptMessage returned %s\n",
                        StatusName(status).c_str());
        Fail(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
        return false;
    }
    const SecBuffer* pData = nullptr;
    size_t cbExtra = 0;
    for (const SecBuffer& buffer : buffers)
    {
        if (buffer.BufferType == SECBUFFER_DATA && buffer.pvBuffer)
            pData = &buffer;
        else if (buffer.BufferType == SECBUFFER_EXTRA && buffer.cbBuffer <= cbRecord)
            cbExtra = buffer.cbBuffer;
    }
    // The decrypted data lies in place, inside the record: what the caller
    // has room for goes out now, the rest waits in the consumed bytes.
    const char* pPlain = pData ? static_cast<const char*>(pData->pvBuffer) : nullptr;
    const size_t cbPlain = pData ? pData->cbBuffer : 0;
    const size_t cbRoom = static_cast<size_t>(cb);
    const size_t cbNow = cbPlain < cbRoom ? cbPlain : cbRoom;
    if (cbNow > 0)
        std::memcpy(pBuffer, pPlain, cbNow);
    *pcbProduced += static_cast<int>(cbNow);
    m_in.Consume(cbRecord - cbExtra);
    if (cbPlain > cbNow && !m_in.HoldPlaintext(pPlain + cbNow, cbPlain - cbNow))
    {
        Fail(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
        return false;
    }

    // The server's close_notify. Windows reports it as SEC_I_CONTEXT_EXPIRED;
    // Wine 8 as SEC_E_OK with no data for an alert record (any other alert
    // fails the decryption).
    if (status == SEC_I_CONTEXT_EXPIRED || (status == SEC_E_OK && cbPlain == 0 && type == tls::kContentAlert))
    {
        m_bPeerClosed = true;
        m_bCloseNotify = true;
        return true;
    }
    if (status == SEC_I_RENEGOTIATE)
    {
        // A post-handshake message (TLS 1.3 session ticket or key update) or
        // a TLS 1.2 server's HelloRequest (so Wine 8 reports it): the package
        // takes it, with what follows, through InitializeSecurityContext. A
        // new handshake may bring a new certificate, checked as the first.
        m_bReady = false;
        bool bDeclined = false;
        if (!Negotiate(false, &bDeclined) || (!bDeclined && (!FinishHandshake() || !CheckCertificate())))
            return false;
        m_channel.LogFormat("CTlsChannel::Receive() the server asked for a new handshake: %s\n",
                            bDeclined ? "ignored" : "done");
        m_bReady = true;
    }
    return true;
}

int CTlsChannel::Receive(char* pBuffer, int cb)
{
    if (!m_bReady)
    {
        if (m_lLastError == 0)
            Fail(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
        return m_bPeerClosed ? 0 : -1;
    }
    if (!pBuffer || cb <= 0)
        return 0;
    int cbProduced = static_cast<int>(m_in.TakePlaintext(pBuffer, static_cast<size_t>(cb)));
    while (cbProduced < cb && !m_bPeerClosed)
    {
        size_t cbRecord = 0;
        const tls::Frame frame = m_in.FirstRecord(&cbRecord);
        if (frame == tls::Frame::kMalformed)
        {
            Fail(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
            return -1;
        }
        if (frame == tls::Frame::kComplete)
        {
            if (!DecryptRecord(cbRecord, pBuffer + cbProduced, cb - cbProduced, &cbProduced))
                return -1;
            continue;
        }
        // Decrypted data goes to the caller without waiting for more.
        if (cbProduced > 0)
            break;
        switch (ReadMore(false))
        {
        case Read::kData:
            break;
        case Read::kFailed:
            return -1;
        case Read::kClosed:
            // A record cut short by the close is no orderly end.
            if (m_in.Size() > 0)
            {
                Fail(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
                return -1;
            }
            m_bPeerClosed = true;
            break;
        }
    }
    return cbProduced;
}

void CTlsChannel::Shutdown()
{
    if (!m_bReady || !m_context.IsValid())
        return;
    m_bReady = false;
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer control = {sizeof(type), SECBUFFER_TOKEN, &type};
    SecBufferDesc controlDesc = {SECBUFFER_VERSION, 1, &control};
    // The package makes the alert on the next InitializeSecurityContext
    // (Wine 8's as Windows' does).
    SECURITY_STATUS status = ApplyControlToken(m_context.Get(), &controlDesc);
    if (status != SEC_E_OK)
    {
        m_channel.LogFormat("CTlsChannel::Shutdown() ApplyControlToken returned %s\n",
                        StatusName(status).c_str());
        return;
    }
    SecBuffer output[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc outputDesc = {SECBUFFER_VERSION, 1, output};
    ULONG attributes = 0;
    status = InitializeSecurityContextW(m_pCredentials, m_context.Get(), TargetName(), kContextRequest, 0, 0,
                                        nullptr, 0, m_context.Get(), &outputDesc, &attributes, nullptr);
    CContextBuffer token;
    token.Adopt(output[0].pvBuffer);
    const bool bSent = (status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) && output[0].pvBuffer &&
                       output[0].cbBuffer > 0 &&
                       m_channel.SendAll(static_cast<const char*>(output[0].pvBuffer),
                                         static_cast<int>(output[0].cbBuffer), 0) != -1;
    m_channel.LogFormat("CTlsChannel::Shutdown() close_notify %s\n", bSent ? "sent" : "not sent");
}
