// Runs a proxy configuration script: a configured script URL or one found by
// WinHTTP's auto-detection, downloaded through WinHTTP and evaluated for one
// URL in the system's script host for them (jsproxy.dll), so that its whole
// answer is seen. Both block, so the evaluation runs on a worker thread
// while the caller's thread keeps dispatching its window messages, as in
// every wait of the engine; a script that does not finish within
// kProxyScriptSeconds is given up. A worker given up on may stay blocked
// until the server lets go; while it does, no other evaluation starts
// (ERROR_BUSY), so a hanging configuration server costs one thread, not one
// per fetch.
// Evaluations of several threads otherwise run side by side.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct ProxyScriptQuery
{
    std::string scriptUrl; // empty: auto-detection only
    bool bAutoDetect = false;
    std::string url;       // the URL the script decides for, as it is to see it
    std::string host;
};

// ERROR_SUCCESS, and *pAnswer the script's answer ("PROXY a:1; DIRECT"),
// at most proxy::kMaxListLength bytes, control characters made blanks;
// otherwise why no answer came (ERROR_TIMEOUT when the time was up,
// ERROR_BUSY while an earlier evaluation is still blocked).
DWORD RunProxyScript(const ProxyScriptQuery& query, std::string* pAnswer);
