// FTP over TLS (RFC 4217) as the settings and the server's answers decide
// it. No sockets and no platform headers, so this also builds natively.
#pragma once

#include <cstdint>

namespace ftp {

enum class TlsMode
{
    kPlain,     // no TLS at all
    kIfOffered, // AUTH TLS; plain only when the server does not know it
    kRequired,  // AUTH TLS, and no login without it
    kImplicit,  // TLS from the first byte (ftps://)
};

// "FTPTLS": 0 plain, 1 TLS when offered, 2 TLS required. Any larger value
// asks for TLS too and is taken as required: a setting nobody defined must
// not let a login fall back to clear text.
TlsMode TlsModeFromSetting(uint32_t value);

enum class AuthAnswer
{
    kAccepted,   // 234: the handshake follows
    kNotOffered, // 500, 502 or 504: the server has no TLS (RFC 4217 section 4)
    kRefused,    // anything else: it has TLS but will not start it now
};

AuthAnswer ClassifyAuthReply(int replyCode);

// The reply with which a server refuses a data connection's TLS, such as
// vsftpd's "522 SSL connection failed: session reuse required".
constexpr int kDataTlsRefused = 522;

} // namespace ftp
