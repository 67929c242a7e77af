// Runs a proxy configuration script through WinHTTP: a configured script URL
// or one found by auto-detection, evaluated for one URL. WinHTTP blocks while
// it downloads and runs the script, so it runs on a worker thread while the
// caller's thread keeps dispatching its window messages, as in every wait of
// the engine; a script that does not finish within kProxyScriptSeconds is
// given up. A worker given up on may stay blocked in WinHTTP until the
// server lets go; while it does, no other evaluation starts (ERROR_BUSY),
// so a hanging configuration server costs one thread, not one per fetch.
// Evaluations of several threads otherwise run side by side.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct ProxyScriptQuery
{
    std::string scriptUrl; // empty: auto-detection only
    bool bAutoDetect = false;
    std::string url;       // the URL the script decides for
    std::string host;
    uint16_t port = 0;
};

// ERROR_SUCCESS, and *pAddress the proxy named or empty for DIRECT;
// otherwise why no answer came (ERROR_TIMEOUT when the time was up,
// ERROR_BUSY while an earlier evaluation is still blocked).
DWORD RunProxyScript(const ProxyScriptQuery& query, std::string* pAddress);
