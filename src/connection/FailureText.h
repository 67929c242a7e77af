// The sentence a host shows a person when a fetch failed: the step, the peer
// and the cause, with the server's own words where it sent any. Built from
// the engine's error pair and what the fetch knew about its peers. Text from
// a peer is cut and stripped of control characters; no password is ever
// part of the context. No platform header, so this also builds natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FailureContext
{
    long lError = 0;
    long lErrorEx = 0;
    std::string protocol; // "HTTP", "HTTPS", "FTP", "FTPS"
    std::string host;     // the server as the caller named it
    uint16_t port = 0;
    bool bViaSocks = false;
    bool bViaHttpProxy = false; // proxyHost and proxyPort name an HTTP proxy
    std::string proxyHost;
    uint16_t proxyPort = 0;
    unsigned socksVersion = 5; // 4 or 5, as the selector chose
    std::string serverReply;   // the last FTP reply line or HTTP status line (the proxy's, for VEXERR_PROXY)
    uint32_t securityStatus = 0; // of the security package, when a Windows sign-on at the proxy failed
    std::string probeTarget;   // "host:port" of the connectivity probe
    std::string dialEntry;     // the dial-up entry, when one was dialled
    std::string localFile;     // the temporary file
    unsigned timeoutSeconds = 0;
    std::string digestName;     // "sha256", ... for VEXERR_VERIFY
    std::string expectedDigest; // lower-case hex, as the URL gave it
    std::string actualDigest;   // lower-case hex, of the file that arrived
};

// Longest piece of a peer's text that goes into a sentence.
constexpr size_t kMaxPeerTextLength = 160;

// The peer's text with every control character replaced by a space, cut to
// kMaxPeerTextLength bytes (an ellipsis marks the cut).
std::string CleanPeerText(const std::string& text);

// One English sentence for the failure; empty when lError is 0.
std::string DescribeFailure(const FailureContext& context);
