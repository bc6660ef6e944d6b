#pragma once
// The platform layer's HTTP client, for the line server: one request at a
// time over HTTP or HTTPS. The build compiles one implementation:
// platform_http_posix.cpp (cpp-httplib, OpenSSL) or platform_http_windows.cpp
// (WinHTTP).

#include <string>

namespace ostrel::platform {

// ---- HTTP (the line server's client).

struct HttpTarget {
    bool tls = false;  // https
    std::string host;  // a name or an address (an IPv6 one without brackets)
    int port = 80;
    std::string hostHeader;  // the Host header: the URL's host[:port] as written
};
struct HttpReply {
    int status = 0;     // 0: no answer (no connection, a timeout, a TLS failure)
    std::string body;   // the answer's body
    std::string error;  // English, when status is 0
};
// Sends one request with a bearer token and a JSON body (none when empty).
// Certificates are checked against the system's (OpenSSL: SSL_CERT_FILE
// names another file of them). The token appears in no error.
HttpReply httpRequest(const HttpTarget& target, const std::string& method, const std::string& path,
                      const std::string& body, const std::string& token, int timeoutSeconds);

}  // namespace ostrel::platform
