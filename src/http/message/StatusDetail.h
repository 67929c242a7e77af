// The detail beside -140 for a server's final status other than 200, for
// both clients from one table. No platform header, so this also builds
// natively.
#pragma once

namespace http {

enum class Protocol
{
    kHttp10, // FetchRemoteHTTP: follows no redirect, so 301 and 302 read as "not found"
    kHttp11, // URL fetches: follow redirects; 410 Gone reads as "not found"
};

// VEXDET_NOT_FOUND, VEXDET_NOT_AUTHORISED or VEXDET_UNEXPECTED.
long StatusDetail(int status, Protocol protocol);

} // namespace http
