// HTTP through cpp-httplib, its TLS through OpenSSL.

#include <httplib.h>

#include "base/platform_http.h"

namespace ostrel::platform {
namespace {

std::string reason(httplib::Error error) {
    using E = httplib::Error;
    switch (error) {
        case E::Connection:
            return "no connection (refused, or no route to the server)";
        case E::ConnectionTimeout:
            return "no connection within the time allowed";
        case E::Read:
            return "no answer (the connection closed, or the time allowed ran out)";
        case E::Write:
            return "the request could not be sent";
        case E::SSLConnection:
            return "no TLS connection";
        case E::SSLLoadingCerts:
            return "the system's certificates cannot be loaded";
        case E::SSLServerVerification:
            return "the server's certificate is not trusted";
        default:
            return "the request failed (" + httplib::to_string(error) + ")";
    }
}

}  // namespace

HttpReply httpRequest(const HttpTarget& target, const std::string& method, const std::string& path,
                      const std::string& body, const std::string& token, int timeoutSeconds) {
    HttpReply reply;
    std::unique_ptr<httplib::ClientImpl> client;
    if (target.tls)
        client = std::make_unique<httplib::SSLClient>(target.host, target.port);
    else
        client = std::make_unique<httplib::ClientImpl>(target.host, target.port);
    client->set_connection_timeout(timeoutSeconds, 0);
    client->set_read_timeout(timeoutSeconds, 0);
    client->set_write_timeout(timeoutSeconds, 0);
    httplib::Headers headers = {{"Host", target.hostHeader}, {"Authorization", "Bearer " + token}};
    httplib::Result result = method == "GET"
                                 ? client->Get(path.c_str(), headers)
                                 : client->Post(path.c_str(), headers, body, "application/json");
    if (!result) {
        reply.error = reason(result.error());
        return reply;
    }
    reply.status = result->status;
    reply.body = result->body;
    return reply;
}

}  // namespace ostrel::platform
