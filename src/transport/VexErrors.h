// The engine's error code space. Every network object keeps a pair of these:
// a primary code naming the layer that failed and a detail code. None of them
// is ever turned into message text; hosts see only the component-level code.
#pragma once

// Primary codes (m_lLastError).
constexpr long VEXERR_NONE = 0;
constexpr long VEXERR_SOCKS = -110;
constexpr long VEXERR_SOCKET = -120;
constexpr long VEXERR_FTP = -130;
constexpr long VEXERR_HTTP = -140;
constexpr long VEXERR_LOCALFILE = -150;
constexpr long VEXERR_ABORTED = -160;
constexpr long VEXERR_TLS = -170;
// The connectivity probe found no connection (the detail is 0).
constexpr long VEXERR_PROBE = -180;
// A URL refused before anything was sent; the detail says why (VEXDET_URL_*).
constexpr long VEXERR_URL = -190;
// An HTTP proxy failed the request. The detail is a Windows Sockets code
// (10000 and above) when the proxy could not be reached, the proxy's HTTP
// status (100-599) when it refused a tunnel, or a VEXDET_PROXY_* code.
constexpr long VEXERR_PROXY = -200;
// The file arrived but is not the one the URL's digest names (the detail
// says how: VEXDET_DIGEST_*); it is not kept.
constexpr long VEXERR_VERIFY = -210;
// A connection attempt failed while WaitConnect waited (exception set);
// the detail code is left as it was.
constexpr long VEXERR_CONNECT_FAILED = 1001;

// Detail codes of the engine's own (m_lLastErrorEx).
constexpr long VEXDET_USER_REFUSED = 1002;           // USER not answered with 331
constexpr long VEXDET_PASS_REFUSED = 1003;           // PASS not answered with 230
constexpr long VEXDET_QUIT_REFUSED = 1006;           // QUIT not answered with 2xx
constexpr long VEXDET_NOT_FOUND = 1007;              // FTP 550, HTTP 301/302/404
constexpr long VEXDET_PORT_OR_COMPLETION = 1008;     // PORT not 200, completion not 2xx
constexpr long VEXDET_ACCOUNT_NEEDED = 1011;         // FTP 532
constexpr long VEXDET_STORAGE_EXCEEDED = 1012;       // FTP 552
constexpr long VEXDET_NAME_NOT_ALLOWED = 1013;       // FTP 553
constexpr long VEXDET_BAD_REPLY = 1014;              // unusable reply / wrong SOCKS version
constexpr long VEXDET_NOT_AUTHORISED = 1018;         // HTTP 401/403
constexpr long VEXDET_SOCKS_AUTH = 1020;             // SOCKS 5 auth refused, SOCKS 4 reply 93
constexpr long VEXDET_SOCKS_GENERAL = 1021;          // SOCKS general failure
constexpr long VEXDET_SOCKS_NOT_ALLOWED = 1022;      // SOCKS 5 reply 2
constexpr long VEXDET_SOCKS_NET_UNREACHABLE = 1023;  // SOCKS 5 reply 3
constexpr long VEXDET_SOCKS_HOST_UNREACHABLE = 1024; // SOCKS 5 reply 4, SOCKS 4 reply 92
constexpr long VEXDET_SOCKS_REFUSED = 1025;          // SOCKS 5 reply 5, SOCKS 4 reply 91
constexpr long VEXDET_SOCKS_TTL_EXPIRED = 1026;      // SOCKS 5 reply 6
constexpr long VEXDET_SOCKS_BAD_COMMAND = 1027;      // SOCKS 5 reply 7
constexpr long VEXDET_SOCKS_BAD_ADDRESS_TYPE = 1028; // SOCKS 5 reply 8
constexpr long VEXDET_SOCKS4_IPV6 = 1029;            // an IPv6 destination, which SOCKS 4 cannot name
constexpr long VEXDET_ABORTED = 1030;                // the abort hook answered true
constexpr long VEXDET_CANCELLED = 1031;              // the host called CancelFetch
constexpr long VEXDET_UNEXPECTED = 1040;             // wrong readiness, reply or status
constexpr long VEXDET_HTTP_FRAMING = 1042;           // conflicting lengths, unknown coding, bad chunk
constexpr long VEXDET_HTTP_BODY_CUT = 1043;          // closed before the body's length or last chunk
constexpr long VEXDET_HTTP_TOO_MANY_REDIRECTS = 1044; // more than the redirects followed in a row
constexpr long VEXDET_HTTP_REDIRECT_REFUSED = 1045;  // https to http, or a Location not to follow

// Detail codes beside VEXERR_TLS. Socket failures and timeouts during a TLS
// exchange keep the channel's VEXERR_SOCKET pair instead.
constexpr long VEXDET_TLS_HANDSHAKE_REFUSED = 1050; // alert, no common version or cipher, closed
constexpr long VEXDET_TLS_UNTRUSTED = 1051;         // chain ends in no trusted root (self-signed)
constexpr long VEXDET_TLS_NAME_MISMATCH = 1052;     // certificate not issued for the host name
constexpr long VEXDET_TLS_EXPIRED = 1053;           // certificate expired or not yet valid
constexpr long VEXDET_TLS_REVOKED = 1054;           // certificate revoked by its issuer
constexpr long VEXDET_TLS_PROTOCOL = 1055;          // bad record, decryption failure, odd status
constexpr long VEXDET_TLS_WRONG_USAGE = 1056;       // certificate not for server authentication

// Detail codes beside VEXERR_URL.
constexpr long VEXDET_URL_NO_SCHEME = 1060;
constexpr long VEXDET_URL_UNKNOWN_SCHEME = 1061;
constexpr long VEXDET_URL_CONTROL_CHARACTER = 1062;
constexpr long VEXDET_URL_EMPTY_HOST = 1063;
constexpr long VEXDET_URL_BAD_HOST = 1064;
constexpr long VEXDET_URL_BAD_PORT = 1065;
constexpr long VEXDET_URL_BAD_ESCAPE = 1066;
constexpr long VEXDET_URL_TOO_LONG = 1067;
constexpr long VEXDET_URL_NOT_TEXT = 1068; // missing, not UTF-16, or holding a zero character
constexpr long VEXDET_URL_BAD_DIGEST = 1069; // a #sha256= fragment (sha384, sha512) that cannot be verified
constexpr long VEXDET_URL_BAD_INTERNATIONAL_HOST = 1059; // a name beyond ASCII that IDNA refuses
constexpr long VEXDET_URL_BAD_FTP_TYPE = 1058; // an ftp ";type=" other than a or i

// Detail codes beside VEXERR_PROXY.
constexpr long VEXDET_PROXY_AUTH_REQUIRED = 1070; // 407, and no credentials configured
constexpr long VEXDET_PROXY_AUTH_REFUSED = 1071;  // 407 again after the credentials
constexpr long VEXDET_PROXY_ACTIVE_FTP = 1072;    // active FTP cannot pass an HTTP proxy
constexpr long VEXDET_PROXY_BAD_ANSWER = 1073;    // no HTTP answer, or a head too long
constexpr long VEXDET_PROXY_SETTING = 1074;       // the proxy's address is no host:port
constexpr long VEXDET_PROXY_BAD_TARGET = 1075;    // a host that cannot go in a request line
constexpr long VEXDET_PROXY_AUTH_SCHEME = 1076;   // 407 offering no Basic (NTLM, Negotiate, Digest)
constexpr long VEXDET_PROXY_NO_CHALLENGE = 1077;  // 407 offering no authentication at all
constexpr long VEXDET_PROXY_UNUSABLE = 1078;      // a configuration script named only proxies not spoken

// Detail codes beside VEXERR_FTP for FTP over TLS.
constexpr long VEXDET_FTP_AUTH_REFUSED = 1080;     // AUTH TLS refused (or unknown while TLS is required)
constexpr long VEXDET_FTP_PROT_REFUSED = 1081;     // PBSZ 0 or PROT P not answered with 200
constexpr long VEXDET_FTP_DATA_TLS_REFUSED = 1082; // 522 for a data connection's TLS (session reuse)
constexpr long VEXDET_FTP_DATA_CUT = 1083;         // a TLS data connection closed without close_notify

// Detail codes beside VEXERR_VERIFY.
constexpr long VEXDET_DIGEST_MISMATCH = 1090;    // the file's digest differs from the URL's
constexpr long VEXDET_DIGEST_UNAVAILABLE = 1091; // the platform computed no digest

// Detail codes beside VEXERR_PROXY for Windows sign-on (Negotiate, NTLM).
constexpr long VEXDET_PROXY_SIGN_ON = 1092;       // the security package failed a leg (status in the text)
constexpr long VEXDET_PROXY_KERBEROS_NAME = 1093; // Kerberos knows no HTTP/<proxy> service

// Windows Sockets codes that the engine produces itself.
constexpr long VEXWSA_WOULDBLOCK = 10035;
constexpr long VEXWSA_TIMEDOUT = 10060;
constexpr long VEXWSA_HOST_NOT_FOUND = 11001;
// Windows Sockets codes that failure texts put in words.
constexpr long VEXWSA_NETUNREACH = 10051;
constexpr long VEXWSA_CONNABORTED = 10053;
constexpr long VEXWSA_CONNRESET = 10054;
constexpr long VEXWSA_CONNREFUSED = 10061;
constexpr long VEXWSA_HOSTUNREACH = 10065;
constexpr long VEXWSA_TRY_AGAIN = 11002;
constexpr long VEXWSA_NO_DATA = 11004; // the name is known but has no address
constexpr long VEXWSA_AFNOSUPPORT = 10047;

// Local file codes, returned by CLocalFile::MapLastError and recorded beside -150.
constexpr long VEXFILE_CANNOT_CREATE = -303;
constexpr long VEXFILE_NOT_FOUND = -304;
constexpr long VEXFILE_ACCESS_DENIED = -305;
constexpr long VEXFILE_NO_HANDLES = -306;
constexpr long VEXFILE_BAD_NAME = -307;
constexpr long VEXFILE_UNKNOWN = -308;
// Recorded by the engine (not mapped from the system): the temporary
// directory's path is longer than the system lets it name.
constexpr long VEXFILE_PATH_TOO_LONG = -309;

// Component-level code, read by hosts through the LastError property.
constexpr long VEXCTL_DIAL_FAILED = 14140;
