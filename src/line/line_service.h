#pragma once
// The line server's core: the station interface over one production store,
// as plain calls from a request (method, path, headers, body) to a response
// (status, JSON body). The HTTP layer (line_server.h) only carries requests
// here; the tests and the board's routes use the same checks.
//
// Every request names the server in its Host header (a page of another site
// that a name of its own points at this server is refused: DNS rebinding)
// and carries a token, "Authorization: Bearer TOKEN", whose role decides what
// it may do. A station's name is its token's, never a body's. A refused
// request changes nothing, and its reason never quotes a token or a password.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "line/line_events.h"
#include "production/production_store.h"

namespace ostrel::line {

// The largest body a request may carry.
inline constexpr std::size_t kBodyLimit = 64 * 1024;

struct LineRequest {
    std::string method;  // GET or POST
    std::string path;    // decoded, without the query
    std::string host;    // the Host header
    std::string authorization;
    std::string contentType;
    std::string body;
};

struct LineResponse {
    int status = 200;
    std::string body = "{}";
    std::string contentType = "application/json";
};

// {"error": reason} with `status`.
LineResponse failure(int status, const std::string& reason);

// Who sent a request: the token's name and role, or neither where the board
// is open without a token (a server on the loopback alone).
struct LineCaller {
    std::string name;
    std::string role;  // station, viewer, admin; empty: no token
};

// Where the server listens and which names it answers to.
struct LineSettings {
    std::string address = "127.0.0.1";  // as given, without brackets
    int port = 8470;                    // 0: any free port, chosen when the server binds
    std::vector<std::string> hosts;     // further names (--host)
};

// "ADDRESS:PORT", "[IPV6]:PORT"; false with `error` set.
bool parseListen(const std::string& text, LineSettings& settings, std::string& error);
// Whether the address is a loopback one (127.0.0.0/8, ::1, localhost).
bool loopbackAddress(const std::string& address);

// The last heartbeat of each station, kept in memory for the board.
class LineHeartbeats {
  public:
    struct Beat {
        std::string station;
        std::time_t time = 0;  // when it arrived
        nlohmann::json body;   // as checked: programmers, lease_left, waiting
    };
    void keep(const std::string& station, nlohmann::json body);
    std::vector<Beat> all() const;  // by station name

  private:
    mutable std::mutex mutex_;
    std::map<std::string, Beat> beats_;
};

class LineService {
  public:
    // `url` is the database's as given, for hiding its password in reasons.
    LineService(std::unique_ptr<ProductionStore> store, std::string url, LineSettings settings);
    // Over several connections to one database, used by as many requests at
    // once (PostgreSQL commits them together; SQLite takes one).
    LineService(std::vector<std::unique_ptr<ProductionStore>> stores, std::string url,
                LineSettings settings);

    // Serves one request of the station interface (paths isStationPath()
    // takes), Host and token checked.
    LineResponse handle(const LineRequest& request);
    static bool isStationPath(const std::string& path);

    // A refusal for a Host the server does not answer to; none when it does.
    std::optional<LineResponse> checkHost(const std::string& host) const;
    // A refusal unless the Authorization header carries a token of one of
    // `roles`; `caller` says whose it is. `open`: no token is needed (the
    // board on a loopback server) but a token given must still be known.
    std::optional<LineResponse> admit(const std::string& authorization,
                                      const std::vector<std::string>& roles, bool open,
                                      LineCaller& caller);
    // The board's rule: viewer or admin, open on a loopback server.
    std::optional<LineResponse> admitViewer(const std::string& authorization, LineCaller& caller) {
        return admit(authorization, {"viewer", "admin"}, loopbackOnly(), caller);
    }
    bool loopbackOnly() const { return loopbackAddress(settings_.address); }

    // Runs `work` on a store no other request uses meanwhile (waiting for
    // one), after reconnecting to a database that was lost; a 503 naming the
    // reason when it is away. `work` returns its response; where it fails on
    // the database it calls databaseFailure() (on the same thread).
    LineResponse withStore(const std::function<LineResponse(ProductionStore&)>& work);
    // The response to a store call that failed with `error`: 503 when the
    // database is away or busy, else `status` with the reason.
    LineResponse databaseFailure(const std::string& error, int status = 400) const;

    LineEvents& events() { return events_; }
    LineHeartbeats& heartbeats() { return heartbeats_; }
    const LineSettings& settings() const { return settings_; }
    // The port bound, where the settings left it to the system.
    void setPort(int port) { settings_.port = port; }

  private:
    LineResponse route(const LineRequest& request, const LineCaller& caller,
                       const nlohmann::json& body);
    LineResponse products(ProductionStore& store);
    LineResponse addProduct(ProductionStore& store, const nlohmann::json& body);
    LineResponse setLeaseSize(ProductionStore& store, const std::string& product,
                              const nlohmann::json& body);
    LineResponse takeLease(ProductionStore& store, const LineCaller& caller,
                           const nlohmann::json& body);
    LineResponse startChip(ProductionStore& store, const LineCaller& caller,
                           const nlohmann::json& body);
    LineResponse finishChip(ProductionStore& store, const LineCaller& caller, int64_t id,
                            const nlohmann::json& body);
    LineResponse heartbeat(const LineCaller& caller, const nlohmann::json& body);

    std::mutex poolMutex_;
    std::condition_variable poolFree_;
    std::vector<std::unique_ptr<ProductionStore>> stores_;
    std::vector<ProductionStore*> free_;
    std::string url_;
    LineSettings settings_;
    LineEvents events_;
    LineHeartbeats heartbeats_;
};

}  // namespace ostrel::line
