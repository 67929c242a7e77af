// Where the test runner's real peers listen, taken from the environment that
// the runner sets up inside the test network namespace.
#pragma once

#include <cstdint>
#include <string>

namespace testenv {

// Port of the service named by an environment variable; 0 (and a test
// failure) when the runner did not provide it.
uint16_t Port(const char* pszVariable);
std::string Text(const char* pszVariable);

// dante: SOCKS 4 and 5, CONNECT and BIND, methods "username none".
inline uint16_t DantePort() { return Port("VEXA_DANTE_PORT"); }
// OpenSSH dynamic forwarding: SOCKS 4, 4A and 5 CONNECT.
inline uint16_t SshSocksPort() { return Port("VEXA_SSH_SOCKS_PORT"); }
// System account that dante accepts for user name and password.
inline std::string ProxyUser() { return Text("VEXA_PROXY_USER"); }
inline std::string ProxyPassword() { return Text("VEXA_PROXY_PASSWORD"); }
// A host name that only the proxy's resolver knows (SOCKS 4A).
inline std::string ProxyOnlyHostName() { return Text("VEXA_PROXY_ONLY_HOST"); }

// HTTP proxies, all resolving ProxyOnlyHostName(). tinyproxy: absolute-form
// requests and CONNECT to any port, without authentication on
// TinyproxyPort() and with Basic authentication on TinyproxyAuthPort().
inline uint16_t TinyproxyPort() { return Port("VEXA_TINYPROXY_PORT"); }
inline uint16_t TinyproxyAuthPort() { return Port("VEXA_TINYPROXY_AUTH_PORT"); }
// squid: Basic authentication for every request; CONNECT to any port but
// SquidRefusedConnectPort() (nginx's), which it refuses with 403.
inline uint16_t SquidPort() { return Port("VEXA_SQUID_PORT"); }
inline uint16_t SquidRefusedConnectPort() { return Port("VEXA_SQUID_REFUSED_CONNECT_PORT"); }
// The account of the authenticating tinyproxy and of squid.
inline std::string HttpProxyUser() { return Text("VEXA_HTTP_PROXY_USER"); }
inline std::string HttpProxyPassword() { return Text("VEXA_HTTP_PROXY_PASSWORD"); }
// The squid that wants Negotiate (Kerberos, against the tests' KDC, as the
// service HTTP/localhost); the Kerberos account whose ticket the tests hold
// (the logged-on user), and its password.
inline uint16_t SquidNegotiatePort() { return Port("VEXA_SQUID_NEGOTIATE_PORT"); }
inline std::string KerberosUser() { return Text("VEXA_KRB5_USER") + "@" + Text("VEXA_KRB5_REALM"); }
inline std::string KerberosPassword() { return Text("VEXA_KRB5_PASSWORD"); }
// Proxy auto-configuration script on lighttpd: tinyproxy (unauthenticated)
// for ProxyOnlyHostName(), direct for everything else.
inline std::string PacUrl() { return Text("VEXA_PAC_URL"); }

// vsftpd: a local account on loopback, serving FtpRoot().
inline uint16_t FtpPort() { return Port("VEXA_FTP_PORT"); }
inline std::string FtpUser() { return Text("VEXA_FTP_USER"); }
inline std::string FtpPassword() { return Text("VEXA_FTP_PASSWORD"); }
// The directory the FTP server serves, as a Windows path (through Z:).
std::string FtpRoot();

// lighttpd and nginx (nginx's site "localhost"), both serving WebRoot().
inline uint16_t LighttpdPort() { return Port("VEXA_LIGHTTPD_PORT"); }
inline uint16_t NginxPort() { return Port("VEXA_NGINX_PORT"); }
std::string WebRoot();

// A Unix path as Wine shows it through its Z: drive.
std::string WindowsPathOf(const std::string& unixPath);

// proftpd: the same account, serving ProftpdRoot(); answers only commands
// that end in CR LF.
inline uint16_t ProftpdPort() { return Port("VEXA_PROFTPD_PORT"); }
inline std::string ProftpdRoot() { return WindowsPathOf(Text("VEXA_PROFTPD_ROOT")); }

// Scripted FTP servers (tests/peers/faultpeer.py), any user and password.
// Passive: the 227 reply names 127.0.0.2, the file names the address the
// data connection reached ("control host" or "reply address").
inline uint16_t FtpPasvElsewherePort() { return Port("VEXA_FTP_PASV_ELSEWHERE_PORT"); }
// Active: a stranger from 127.0.0.2 connects first; the server's own file
// is "from the server", and the 226 reply ends in "stranger refused" when
// the client closed the stranger's connection.
inline uint16_t FtpActiveStrangerPort() { return Port("VEXA_FTP_ACTIVE_STRANGER_PORT"); }
// A passive FTP server whose 227 reply names a closed port.
inline uint16_t FtpPasvClosedPort() { return Port("VEXA_FTP_PASV_CLOSED_PORT"); }

} // namespace testenv
