// Reading what an FTP server says: reply codes, multi-line replies, the
// 227 passive address, the 229 extended passive port, the SIZE answer; and
// building the PORT and EPRT arguments.
// No sockets and no platform headers, so these also build natively.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ftp {

// A reply line's leading integer: -1 for a null line, otherwise the decimal
// number at its start (leading blanks skipped, stopping at the first
// non-digit, 0 when there is none). Values beyond int range are clamped.
int ReplyCode(const char* pszLine);

// Assembles one reply from its lines. The first line must start with a
// digit; a line of four or more characters whose fourth is a space ends the
// reply. The code of the last line that started with a digit (the ending
// line, or one before it when the ending line starts with none) must match
// the first line's.
class CReplyAssembler
{
public:
    enum Result
    {
        kNeedMoreLines,
        kComplete,
        kNotAReply,    // the first line does not start with a digit
        kCodeMismatch, // the reply ended with another code than it began
    };

    Result Feed(const char* pszLine);

private:
    bool m_bStarted = false;
    int m_nFirst = 0;
    int m_nLast = 0;
};

// Capacity of the passive address text: at most 19 characters and the
// terminator.
constexpr size_t kPassiveAddressSize = 20;

// Finds the six numbers h1,h2,h3,h4,p1,p2 of a 227 reply by position, not by
// parenthesis. Fills address with "h1.h2.h3.h4" (unchanged, not
// range-checked) and port with p1 * 256 + p2. False when the numbers cannot
// be found completely or the address does not fit.
bool ParsePassiveReply(const char* pszLine, char (&address)[kPassiveAddressSize], uint32_t* pPort);

// The size in a 2xx answer to SIZE: the decimal number after the code.
uint64_t ParseSizeReply(const char* pszLine);

// Formats "PORT a,b,c,d,p1,p2" followed by lineEnd into buf. Returns the
// length, or 0 when the address text is not a dotted quad in plain decimal
// (HostSyntax.h) or it does not fit.
size_t FormatPortCommand(char* buf, size_t cap, const char* pszDottedAddress, uint16_t port,
                         const char* pszLineEnd);

// The port of a 229 reply (RFC 2428): "(|||port|)", any one printable
// delimiter in place of '|'; 1 to 65535. False for anything else.
bool ParseExtendedPassiveReply(const char* pszLine, uint16_t* pPort);

// 500, 502 and 504: the server does not know or does not take the command,
// so an older one (PASV for EPSV) may be tried instead.
bool IsCommandRefusal(int replyCode);

// Formats "EPRT |1|a.b.c.d|port|" or "EPRT |2|ipv6|port|" followed by
// lineEnd into buf. Returns the length, or 0 when the address is no IPv4 or
// IPv6 literal (HostSyntax.h) or it does not fit.
size_t FormatEprtCommand(char* buf, size_t cap, const char* pszAddress, uint16_t port, const char* pszLineEnd);

} // namespace ftp
