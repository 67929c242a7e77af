// How the machine reaches the internet: dial-up first or not, SOCKS proxy or
// not, passive FTP or not, and where the connectivity probe connects. Read
// from "SOFTWARE\Quorvel\VexUpdate" under HKEY_LOCAL_MACHINE, never written.
// The engine keeps one record for its whole life and rereads it at the start
// of every fetch; a value that is not reread keeps what the last read left.
#pragma once

#include "Bstr.h"
#include "FtpTls.h"
#include "HttpProxySettings.h"
#include "ProbeTarget.h"

#include <cstdint>
#include <string>

constexpr char kConnectionSettingsKey[] = "SOFTWARE\\Quorvel\\VexUpdate";

struct CConnectionSettings
{
    CConnectionSettings() = default;
    CConnectionSettings(const CConnectionSettings&) = delete;
    CConnectionSettings& operator=(const CConnectionSettings&) = delete;

    bool m_bConnectSOCKS = false;
    // 0 or 1 select SOCKS 4, anything else SOCKS 5.
    int16_t m_nSocksVersion = 0;
    // 0 none, 2 user name and password.
    int16_t m_nSocksAuthMethod = 0;
    uint16_t m_nSocksPort = 0;
    CBstr m_bstrSocksPassword;
    CBstr m_bstrSocksUsername;
    CBstr m_bstrSocksServerAddress;
    // FTP fetches open their data connection passively when set.
    bool m_bUsePASV = false;
    // "FTPTrustPASVAddress": passive data connections go to the address a
    // 227 reply names, not to the control connection's server.
    bool m_bTrustPASVAddress = false;
    // "FTPTLS": 0 plain, 1 TLS when the server offers it, 2 TLS required.
    ftp::TlsMode m_ftpTls = ftp::TlsMode::kPlain;
    bool m_bConnectDUN = false;
    CBstr m_bstrDunProfile;
    CBstr m_bstrDunUserName;
    CBstr m_bstrDunPassword;
    CProbeTarget m_probeTarget;
    // "TraceLog": the file each fetch appends its trace to; empty: none. Read
    // wide, so a log under a directory the ANSI code page cannot spell works.
    std::wstring m_traceLog;
    // "IntegratedAuthServers": the servers (patterns as "HTTPProxyBypass")
    // whose 401 for Negotiate or NTLM gets the user's Windows logon.
    std::string m_integratedAuthServers;
    // "HTTPProxy", "HTTPProxyBypass", "HTTPProxyUsername",
    // "HTTPProxyPassword", "UseSystemProxy", "HTTPProxyCredentialsFor": the
    // HTTP proxy of fetches that do not go through SOCKS, and the SOCKS
    // values once more for a SOCKS proxy that a configuration script names.
    HttpProxySettings m_httpProxy;
};

// Rereads the record from the registry. Nothing fails visibly: a missing key,
// a missing value or one of the wrong type or size gives the default.
void ReadConnectionSettings(CConnectionSettings& settings);
