// Chooses, for each request, whether it goes through an HTTP proxy and
// which: the "HTTPProxy" setting unless its bypass list names the host,
// else, when "UseSystemProxy" asks for it, the current user's Internet
// settings, else none. A fetch through SOCKS never asks.
#pragma once

#include "HttpProxyRoute.h"

#include <cstdint>
#include <string>

struct HttpProxySettings
{
    // "host:port", or a system-style list ("http=host:port;https=...").
    std::string address;
    std::string bypass;
    std::string user;
    std::string password;
    bool bUseSystem = false;
};

class CProxySelector
{
public:
    explicit CProxySelector(const HttpProxySettings& settings) : m_settings(settings) {}

    // The route for a request to url (its scheme, "http", "https" or "ftp",
    // its host and port). *pHow says for the trace log how it was chosen.
    // False when the proxy named is no host:port: *pRoute then holds the
    // named text as its host, for the error text.
    bool Choose(const char* pszScheme, const std::string& host, uint16_t port, const std::string& url,
                HttpProxyRoute* pRoute, std::string* pHow) const;

private:
    const HttpProxySettings& m_settings;
};
