#include "line/line_server.h"

#include <chrono>
#include <cstdio>

#include "line/board_files.h"

namespace ostrel::line {
namespace {

// The reason a response of the HTTP layer's own carries.
std::string reasonFor(int status) {
    switch (status) {
        case 400:
            return "the request cannot be read";
        case 404:
            return "no such page";
        case 405:
            return "this path does not take that method";
        case 413:
            return "the body is larger than " + std::to_string(kBodyLimit / 1024) + " KiB";
        case 414:
            return "the path is too long";
        default:
            return "the request failed";
    }
}

void send(httplib::Response& res, const LineResponse& response) {
    res.status = response.status;
    res.set_content(response.body, response.contentType.c_str());
}

}  // namespace

LineServer::LineServer(LineService& service, const std::string& certFile,
                       const std::string& keyFile)
    : service_(service) {
    if (!certFile.empty() || !keyFile.empty())
        http_ = std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str());
    else
        http_ = std::make_unique<httplib::Server>();
    httplib::Server& http = *http_;
    // Event streams hold a thread each while a page is open: room for them
    // besides the stations.
    // A connection holds a thread while it is kept alive: a line of 64
    // programmers keeps 64, and each open board one more.
    http.new_task_queue = [] { return new httplib::ThreadPool(256); };
    http.set_payload_max_length(kBodyLimit);
    http.set_keep_alive_max_count(1000);
    // An answer goes out in more than one write (head, then body): without
    // this, the second waits for the station's delayed acknowledgement.
    http.set_tcp_nodelay(true);

    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (auto refused = service_.checkHost(req.get_header_value("Host"))) {
            send(res, *refused);
            res.set_header("Connection", "close");
            return httplib::Server::HandlerResponse::Handled;
        }
        // The board's page and scripts hold no data: a viewer gets them
        // without a token, so that the page can ask for one.
        if (LineService::isStationPath(req.path) || boardOpenPath(req.path))
            return httplib::Server::HandlerResponse::Unhandled;
        LineCaller caller;
        if (auto refused = service_.admitViewer(req.get_header_value("Authorization"), caller)) {
            send(res, *refused);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    auto station = [this](const httplib::Request& req, httplib::Response& res) {
        LineRequest request;
        request.method = req.method;
        request.path = req.path;
        request.host = req.get_header_value("Host");
        request.authorization = req.get_header_value("Authorization");
        request.contentType = req.get_header_value("Content-Type");
        request.body = req.body;
        const auto begun = std::chrono::steady_clock::now();
        send(res, service_.handle(request));
        // The time the request took here, database included, for stations
        // and benchmarks that tell it from the network's.
        char timing[48];
        std::snprintf(
            timing, sizeof timing, "app;dur=%.3f",
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begun)
                .count());
        res.set_header("Server-Timing", timing);
    };
    const char* paths = R"(/api/v1/(identity|products|programmers|leases|chips|heartbeat|)"
                        R"(products/[^/]+/lease|chips/[^/]+/outcome))";
    http.Get(paths, station);
    http.Post(paths, station);

    const httplib::Server::HandlerWithResponse errors = [](const httplib::Request&,
                                                           httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        send(res, failure(res.status, reasonFor(res.status)));
        return httplib::Server::HandlerResponse::Handled;
    };
    http.set_error_handler(errors);
    http.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            send(res, failure(500, "the server failed on this request"));
        });
}

bool LineServer::bind() {
    const LineSettings& settings = service_.settings();
    if (settings.port != 0) return http_->bind_to_port(settings.address.c_str(), settings.port);
    const int port = http_->bind_to_any_port(settings.address.c_str());
    if (port <= 0) return false;
    service_.setPort(port);
    return true;
}

void LineServer::serve() {
    http_->listen_after_bind();
}

void LineServer::stop() {
    service_.events().close();
    http_->stop();
}

}  // namespace ostrel::line
