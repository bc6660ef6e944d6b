#pragma once
// A station's line through the line server (ostrel-line) over HTTP or HTTPS:
// each call of the station is one JSON request with the station's token. The
// server answers with a status that says what kind of failure it was: no
// answer, a timeout or 5xx (the database behind it away) is the line lost,
// 408 and 429 are tried again, any other 4xx is refused for good.

#include <memory>
#include <string>

#include "base/platform_http.h"
#include "production/production_store.h"

namespace ostrel {

// Whether `url` names a line server (http:// or https://) rather than a database.
bool isLineServerUrl(const std::string& url);
// "http[s]://HOST[:PORT][/PREFIX]": where requests go, and the path they
// start with ("" or "/PREFIX"). False with `error` (English) for anything
// else: a user, a query or a fragment in it, a port out of range.
bool parseLineUrl(const std::string& url, platform::HttpTarget& target, std::string& prefix,
                  std::string& error);
// The station's token: from the file `file` when given, else from
// OSTREL_LINE_TOKEN. False with `error` (English, without the token) when
// there is none, the file cannot be read, or it is not one printable word.
bool readLineToken(const std::string& file, std::string& token, std::string& error);

class LineClient : public StationLine {
  public:
    LineClient(platform::HttpTarget target, std::string prefix, std::string token);
    // Null with `error` set for a URL parseLineUrl() refuses.
    static std::unique_ptr<LineClient> open(const std::string& url, const std::string& token,
                                            std::string& error);

    bool identity(std::string& id, std::string& error) override;
    bool listProducts(std::vector<Product>& products, std::string& error) override;
    bool findProduct(const std::string& name, std::optional<Product>& product,
                     std::string& error) override;
    bool registerProgrammer(const std::string& station, const std::string& programmer,
                            std::string& error) override;
    bool takeLease(const std::string& product, const std::string& station, Lease& lease,
                   std::string& error) override;
    bool startChip(ChipRow& row, std::string& error) override;
    bool finishChip(const ChipRow& outcome, bool& finished, std::string& error) override;
    bool heartbeat(const StationBeat& beat, std::string& error) override;
    SqlErrorKind errorKind() const override { return kind_; }
    bool lost() const override { return lost_; }
    bool reconnect(std::string& error) override;

    // Seconds a request may take to connect, and then to be answered.
    int timeoutSeconds = 5;

  private:
    // One request; its answer's body (JSON) when the status is 2xx, else
    // false with `error` and kind_ set.
    bool call(const char* method, const std::string& path, const std::string& body,
              std::string& answer, std::string& error);

    platform::HttpTarget target_;
    std::string prefix_;
    std::string token_;
    SqlErrorKind kind_ = SqlErrorKind::None;
    bool lost_ = false;
};

}  // namespace ostrel
