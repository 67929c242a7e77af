// Every detail code beside a family of errors: its symbolic name and the
// cause a failure text gives for it, in one list. The causes are templates
// whose fields FailureText fills in:
//   {server}   "the FTP server at host:port" (and the HTTP proxy on the way)
//   {proxy}    "the SOCKS 5 proxy at host:port" or "the HTTP proxy at host:port"
//   {reply}    " (<the peer's words>)", or nothing when it said none
//   {endpoint} "host:port" of the server
//   {host}     the server as the caller named it; {proxyhost} the proxy's
//   {redirects}, {urlmax}: the limits they name
//   {status}   the security package's status by name; {signonhint} what to
//              do when the process had no logon to sign on with
// No platform header, so this also builds natively.
#pragma once

#include <string>

namespace url {
enum class UrlError;
}

struct DetailEntry
{
    long lError;       // the family (VEXERR_*)
    long lErrorEx;     // the detail (VEXDET_*); 0 for the family's fallback
    const char* pszName;
    const char* pszCause;
};

// The entry for a family and detail: the family's fallback for a detail it
// does not list; null for a family without a list.
const DetailEntry* FindDetail(long lError, long lErrorEx);

// Every entry, for documentation and tests.
const DetailEntry* DetailEntries(size_t* pCount);

// The detail (VEXDET_URL_*) beside -190 for a URL the parser refused.
long UrlRefusalDetail(url::UrlError error);
