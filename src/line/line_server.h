#pragma once
// The line server's HTTP layer: carries requests to the LineService and its
// answers back, over plain HTTP or TLS. Every request's Host is checked
// before anything else; bodies beyond kBodyLimit are refused while they are
// read; the station interface's paths go to LineService::handle(); every
// other path is the board's, open to viewer and admin tokens (to anyone on a
// loopback server), and its routes are added on http() before listen().

#include <httplib.h>

#include <memory>
#include <string>

#include "line/line_service.h"

namespace ostrel::line {

class LineServer {
  public:
    // TLS when `certFile` and `keyFile` are given; valid() says whether
    // they could be read.
    LineServer(LineService& service, const std::string& certFile = {},
               const std::string& keyFile = {});

    bool valid() const { return http_->is_valid(); }
    httplib::Server& http() { return *http_; }
    LineService& service() { return service_; }

    // Binds the settings' address and port; false when it cannot. Then
    // serves until stop().
    bool bind();
    void serve();
    // Ends serve(); event streams waiting end too.
    void stop();

  private:
    LineService& service_;
    std::unique_ptr<httplib::Server> http_;
};

}  // namespace ostrel::line
