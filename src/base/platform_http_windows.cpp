// HTTP and HTTPS through WinHTTP, the system's own client: the programs need
// no DLL of their own for it, and HTTPS checks certificates against the
// system's store.

#include <windows.h>
#include <winhttp.h>

#include "base/platform_http.h"
#include "base/platform_windows_text.h"

namespace ostrel::platform {
namespace {

std::string reason(DWORD code) {
    switch (code) {
        case ERROR_WINHTTP_CANNOT_CONNECT:
        case ERROR_WINHTTP_CONNECTION_ERROR:
            return "no connection (refused, or no route to the server)";
        case ERROR_WINHTTP_TIMEOUT:
            return "no answer within the time allowed";
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
            return "the server's name is not known";
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        case ERROR_WINHTTP_SECURE_INVALID_CA:
            return "the server's certificate is not trusted";
        default:
            return "the request failed (WinHTTP error " + std::to_string(code) + ")";
    }
}

// Closes a WinHTTP handle when it goes.
struct Handle {
    HINTERNET h = nullptr;
    explicit Handle(HINTERNET handle) : h(handle) {}
    ~Handle() {
        if (h != nullptr) WinHttpCloseHandle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

}  // namespace

HttpReply httpRequest(const HttpTarget& target, const std::string& method, const std::string& path,
                      const std::string& body, const std::string& token, int timeoutSeconds) {
    HttpReply reply;
    auto failed = [&reply] {
        reply.status = 0;
        reply.error = reason(GetLastError());
        return reply;
    };
    Handle session(WinHttpOpen(L"ostrel-cli", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0));
    if (session.h == nullptr) return failed();
    const int ms = timeoutSeconds * 1000;
    WinHttpSetTimeouts(session.h, ms, ms, ms, ms);
    Handle connection(WinHttpConnect(session.h, wide(target.host).c_str(),
                                     static_cast<INTERNET_PORT>(target.port), 0));
    if (connection.h == nullptr) return failed();
    Handle request(WinHttpOpenRequest(connection.h, wide(method).c_str(), wide(path).c_str(),
                                      nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      target.tls ? WINHTTP_FLAG_SECURE : 0));
    if (request.h == nullptr) return failed();
    // The Host header is the URL's, as the server checks it.
    const std::wstring headers = wide("Host: " + target.hostHeader + "\r\nAuthorization: Bearer " +
                                      token + "\r\nContent-Type: application/json\r\n");
    if (!WinHttpSendRequest(request.h, headers.c_str(), static_cast<DWORD>(headers.size()),
                            body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data()),
                            static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) ||
        !WinHttpReceiveResponse(request.h, nullptr))
        return failed();
    DWORD status = 0, size = sizeof status;
    if (!WinHttpQueryHeaders(request.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return failed();
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request.h, &available)) return failed();
        if (available == 0) break;
        const std::size_t had = reply.body.size();
        reply.body.resize(had + available);
        DWORD read = 0;
        if (!WinHttpReadData(request.h, reply.body.data() + had, available, &read)) return failed();
        reply.body.resize(had + read);
        // An answer of the line server is small; a larger one is no answer of it.
        if (reply.body.size() > (16u << 20)) {
            reply.body.clear();
            reply.error = "the answer is too large";
            return reply;
        }
    }
    reply.status = static_cast<int>(status);
    return reply;
}

}  // namespace ostrel::platform
