// The connectivity probe: can a TCP connection to the internet be opened
// right now, directly or through the configured SOCKS proxy, within one
// second? Free functions without state of their own.
#pragma once

#include "ConnectionSettings.h"
#include "HttpProxyRoute.h"
#include "ProbeTarget.h"

#include <cstdint>
#include <string>

class CSystemProxyMemo;

// The platform answer that chooses which autodial value the probe switches
// off; replaceable so that both branches can be exercised on one machine.
typedef bool (*VexIsWindowsNTFn)();

// GetVersionExA reports the NT family.
bool IsWindowsNT();

// Connects to target, through the proxy when bUseProxy (the proxy arguments
// are used only then), with every wait bounded by the probe's one-second
// limit, and reports whether the connection was made. Before a direct
// attempt the system's automatic dialling is switched off and afterwards put
// back exactly as it was. Sets no error codes.
bool ProbeInternetConnection(bool bUseProxy, const char* pszProxyHost, int32_t proxyPort,
                             int32_t socksVersion, int32_t socksMethod, const char* pszUser,
                             const char* pszPassword, const CProbeTarget& target,
                             VexIsWindowsNTFn pfnIsWindowsNT = IsWindowsNT, long* plError = nullptr,
                             long* plErrorEx = nullptr);

// The probe with the proxy and target that the last read of the settings
// left in the record; a record never read probes the default target directly.
bool ProbeInternetConnection(const CConnectionSettings& settings);
// The same, telling why a probe failed: the channel's pair (a SOCKS refusal,
// a socket error or timeout).
bool ProbeInternetConnection(const CConnectionSettings& settings, long* plError, long* plErrorEx);

// The probe as a fetch runs it, through the SOCKS proxy or the HTTP proxy
// that the settings choose for the probe target (or the SOCKS proxy that a
// configuration script names for it). *pRoute receives the proxy's route
// and *pProxyAnswer an HTTP proxy's status line when it refused. A memo
// keeps the user's proxy settings' answer for the request that follows.
bool ProbeInternetConnection(const CConnectionSettings& settings, long* plError, long* plErrorEx,
                             HttpProxyRoute* pRoute, std::string* pProxyAnswer,
                             CSystemProxyMemo* pProxyMemo = nullptr);
