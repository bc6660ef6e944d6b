#include "line/board_routes.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "line/board_files.h"
#include "line/board_table.h"

namespace ostrel {

void BoardEvents::notify() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++count_;
    }
    changed_.notify_all();
}

uint64_t BoardEvents::wait(uint64_t seen, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return count_ != seen || closed_; });
    return count_;
}

uint64_t BoardEvents::count() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return count_;
}

void BoardEvents::close() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

bool BoardEvents::closed() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

bool BoardEvents::enter(int most) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || streams_ >= most) return false;
    ++streams_;
    return true;
}

void BoardEvents::leave() {
    const std::lock_guard<std::mutex> lock(mutex_);
    --streams_;
}

namespace {

void refuse(httplib::Response& response, int status, const std::string& reason) {
    response.status = status;
    response.set_content(nlohmann::json{{"error", reason}}.dump(
                             -1, ' ', false, nlohmann::json::error_handler_t::replace),
                         "application/json");
}

// What every answer of the board carries: nothing is cached unless said
// otherwise, and the page runs only its own scripts.
void secure(httplib::Response& response) {
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("Referrer-Policy", "no-referrer");
    response.set_header("Cache-Control", "no-store");
}

void sendTable(const httplib::Request& request, httplib::Response& response,
               const BoardTable& table, const std::string& name) {
    if (request.get_param_value("format") == "csv") {
        response.set_header("Content-Disposition", "attachment; filename=\"" + name + ".csv\"");
        response.set_content(boardCsv(table), "text/csv; charset=utf-8");
    } else {
        response.set_content(boardJson(table), "application/json");
    }
}

// A whole decimal number, nothing else; false for one past 2^63 - 1.
bool decimal(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 19 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0 && value <= 0x7FFFFFFFFFFFFFFFull;
}

}  // namespace

void addBoardRoutes(httplib::Server& server, const BoardContext& context) {
    const auto shared = std::make_shared<BoardContext>(context);
    // A handler that needs the viewer's right and answers with a table.
    using Filler =
        std::function<bool(const httplib::Request&, httplib::Response&, BoardTable&, std::string&)>;
    auto table = [shared](const std::string& name, Filler fill) {
        return [shared, name, fill](const httplib::Request& request, httplib::Response& response) {
            secure(response);
            if (!shared->admit(request, response)) return;
            BoardTable table;
            std::string error;
            if (!fill(request, response, table, error)) {
                // A refusal the filler set stays; otherwise the database failed.
                if (response.status == -1 || response.status < 400)
                    refuse(response, 503, "the database: " + error);
                return;
            }
            sendTable(request, response, table, name);
        };
    };

    server.Get("/api/v1/board/stations",
               table("stations", [shared](const httplib::Request&, httplib::Response&,
                                          BoardTable& t, std::string& error) {
                   const std::vector<StationBeat> beats =
                       shared->beats ? shared->beats() : std::vector<StationBeat>{};
                   return shared->data->stations(beats, shared->clock(), shared->started, t, error);
               }));
    server.Get("/api/v1/board/hourly",
               table("hourly", [shared](const httplib::Request&, httplib::Response&, BoardTable& t,
                                        std::string& error) {
                   return shared->data->hourly(localDayStart(shared->clock()), t, error);
               }));
    server.Get("/api/v1/board/causes",
               table("causes", [shared](const httplib::Request&, httplib::Response&, BoardTable& t,
                                        std::string& error) {
                   return shared->data->causes(localDayStart(shared->clock()), t, error);
               }));
    server.Get(
        "/api/v1/board/serials",
        table("serials", [shared](const httplib::Request& request, httplib::Response& response,
                                  BoardTable& t, std::string& error) {
            const std::string product = request.get_param_value("product");
            if (shared->data->serials(product, t, error)) return true;
            if (error.rfind("there is no product", 0) == 0) refuse(response, 404, error);
            return false;
        }));
    server.Get("/api/v1/board/chip",
               table("chip", [shared](const httplib::Request& request, httplib::Response& response,
                                      BoardTable& t, std::string& error) {
                   uint64_t serial = 0;
                   if (!decimal(request.get_param_value("serial"), serial)) {
                       refuse(response, 400, "serial must be a whole number from 0 to 2^63-1");
                       return false;
                   }
                   return shared->data->chip(serial, t, error);
               }));

    server.Get("/api/v1/events",
               [shared](const httplib::Request& request, httplib::Response& response) {
                   secure(response);
                   if (!shared->admit(request, response)) return;
                   BoardEvents& events = *shared->events;
                   if (!events.enter(shared->mostStreams)) {
                       response.set_header("Retry-After", "5");
                       refuse(response, 503, "too many event streams are open");
                       return;
                   }
                   response.set_header("X-Accel-Buffering", "no");
                   response.set_chunked_content_provider(
                       "text/event-stream",
                       [shared, seen = events.count(), first = true](
                           std::size_t, httplib::DataSink& sink) mutable {
                           BoardEvents& events = *shared->events;
                           if (first) {
                               // The page fetches once the stream is open, so that no
                               // change falls between its fetch and the stream.
                               first = false;
                               const std::string hello = "retry: 2000\nevent: change\ndata: 0\n\n";
                               return sink.write(hello.data(), hello.size());
                           }
                           // A second at a time, so that a page that went away frees its
                           // thread within a second; a comment every 10 s keeps proxies
                           // from closing a quiet stream.
                           for (int quiet = 0; quiet < 10; ++quiet) {
                               if (events.closed() || !sink.is_writable()) return false;
                               const uint64_t now = events.wait(seen, std::chrono::seconds(1));
                               if (events.closed()) return false;
                               if (now == seen) continue;
                               seen = now;
                               const std::string event =
                                   "event: change\ndata: " + std::to_string(now) + "\n\n";
                               if (!sink.write(event.data(), event.size())) return false;
                               std::this_thread::sleep_for(std::chrono::milliseconds(kEventGapMs));
                               return true;
                           }
                           return sink.write(":\n\n", 3);
                       },
                       [shared](bool) { shared->events->leave(); });
               });

    server.Get("/static/chart.js", [shared](const httplib::Request&, httplib::Response& response) {
        secure(response);
        // Read once, from the system's package.
        static std::mutex mutex;
        static std::shared_ptr<const std::string> script;
        std::shared_ptr<const std::string> body;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (!script) {
                std::ifstream in(shared->chartScript, std::ios::binary);
                std::ostringstream text;
                text << in.rdbuf();
                if (in && !text.str().empty())
                    script = std::make_shared<const std::string>(text.str());
            }
            body = script;
        }
        if (!body) {
            refuse(response, 500, shared->chartScript + " cannot be read (package libjs-chart.js)");
            return;
        }
        response.set_header("Cache-Control", "max-age=3600");
        response.set_content(*body, "text/javascript; charset=utf-8");
    });

    auto page = [](const httplib::Request& request, httplib::Response& response) {
        secure(response);
        const BoardFile* file = boardFile(request.path);
        if (file == nullptr) {
            refuse(response, 404, "no such page");
            return;
        }
        response.set_header("Content-Security-Policy",
                            "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; "
                            "base-uri 'none'; form-action 'none'");
        response.set_content(reinterpret_cast<const char*>(file->data), file->size, file->type);
    };
    // The page itself holds no data: it asks for the tables, with the
    // viewer's token when one is needed.
    server.Get("/", page);
    server.Get(R"(/board/[a-z_]+\.(js|css))", page);
}

}  // namespace ostrel
