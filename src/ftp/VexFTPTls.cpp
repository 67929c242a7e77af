// CVexFTP over TLS (RFC 4217): AUTH TLS or implicit TLS on the control
// connection, PBSZ and PROT, and TLS on each data connection.
#include "VexFTP.h"

#include "VexErrors.h"

namespace {

const char* ModeName(ftp::TlsMode mode)
{
    switch (mode)
    {
    case ftp::TlsMode::kPlain: return "plain";
    case ftp::TlsMode::kIfOffered: return "TLS when offered";
    case ftp::TlsMode::kRequired: return "TLS required";
    case ftp::TlsMode::kImplicit: return "implicit TLS";
    }
    return "?";
}

} // namespace

void CVexFTP::ResetControl()
{
    m_control.EndTls();
    m_bProtectData = false;
    m_bExtendedPassiveRefused = false;
    if (m_tlsMode != ftp::TlsMode::kPlain)
        LogFormat("CVexFTP: %s\n", ModeName(m_tlsMode));
}

bool CVexFTP::StartControlTls()
{
    if (m_control.StartTls(m_controlHost.Get()))
        return true;
    CopyErrorFrom(m_control);
    if (m_lLastError == 0)
        SetError(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
    return false;
}

bool CVexFTP::NegotiateAuthTls()
{
    if (!SendCommand("AUTH TLS\r\n", 0))
        return false;
    switch (ftp::ClassifyAuthReply(m_nReplyCode))
    {
    case ftp::AuthAnswer::kAccepted:
        // Whatever the server sent after its 234 came in clear, where anyone
        // on the path could have put it, to be read later as if protected.
        if (m_reply.Buffered() != 0)
        {
            Log("CVexFTP: bytes in clear after the 234 reply; refused\n", true);
            SetError(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
            return false;
        }
        return StartControlTls();
    case ftp::AuthAnswer::kNotOffered:
        if (m_tlsMode == ftp::TlsMode::kIfOffered)
        {
            LogFormat("CVexFTP: the server does not offer TLS (reply %d to AUTH TLS); FTPTLS 1 goes on in plain\n",
                      m_nReplyCode);
            return true;
        }
        break;
    case ftp::AuthAnswer::kRefused:
        break;
    }
    SetError(VEXERR_FTP, VEXDET_FTP_AUTH_REFUSED);
    return false;
}

bool CVexFTP::ProtectDataConnections()
{
    // PBSZ 0 must come first (RFC 4217 section 9); TLS needs no buffer size.
    if (SendCommand("PBSZ 0\r\n", 200) && SendCommand("PROT P\r\n", 200))
    {
        m_bProtectData = true;
        return true;
    }
    if (m_lLastError == VEXERR_FTP)
        m_lLastErrorEx = VEXDET_FTP_PROT_REFUSED;
    return false;
}

// The control is the TLS client on every data connection, also on one it
// accepted in active mode (RFC 4217 section 7), and names the control
// connection's server whatever address the data connection went to.
bool CVexFTP::StartDataTls(VEXSOCK& data, CFtpStream& stream)
{
    if (m_pLog)
        data.AttachLog(m_pLog);
    if (stream.StartTls(m_controlHost.Get()))
        return true;
    CopyErrorFrom(stream);
    if (m_lLastError == 0)
        SetError(VEXERR_TLS, VEXDET_TLS_PROTOCOL);
    return false;
}

// vsftpd answers a data connection whose TLS session is not the control
// connection's resumed with "522 SSL connection failed: session reuse
// required" and ends the login. Wine 8's Schannel never resumes a session
// (it answers SECPKG_ATTR_SESSION_INFO with SEC_E_UNSUPPORTED_FUNCTION), so
// there such servers refuse every transfer; Windows resumes, given the one
// credentials handle and the same target name.
void CVexFTP::ExplainDataTlsFailure()
{
    const long lError = m_lLastError, lErrorEx = m_lLastErrorEx;
    if (FTPResponse(0) && m_nReplyCode == ftp::kDataTlsRefused)
        SetError(VEXERR_FTP, VEXDET_FTP_DATA_TLS_REFUSED);
    else
        SetError(lError, lErrorEx);
}
