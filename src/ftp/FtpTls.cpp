#include "FtpTls.h"

namespace ftp {

TlsMode TlsModeFromSetting(uint32_t value)
{
    switch (value)
    {
    case 0: return TlsMode::kPlain;
    case 1: return TlsMode::kIfOffered;
    default: return TlsMode::kRequired;
    }
}

AuthAnswer ClassifyAuthReply(int replyCode)
{
    switch (replyCode)
    {
    case 234: return AuthAnswer::kAccepted;
    case 500:
    case 502:
    case 504: return AuthAnswer::kNotOffered;
    default: return AuthAnswer::kRefused;
    }
}

} // namespace ftp
