#include "line/board_routes.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "line/board_files.h"
#include "line/board_table.h"

namespace ostrel::line {

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

bool boardOpenPath(const std::string& path) {
    return path == "/static/chart.js" || boardFile(path) != nullptr;
}

void addBoardRoutes(httplib::Server& server, const BoardContext& context) {
    const auto shared = std::make_shared<BoardContext>(context);
    const auto streams = std::make_shared<std::atomic<int>>(0);
    // A handler that needs the viewer's right and answers with a table.
    using Filler =
        std::function<bool(const httplib::Request&, httplib::Response&, BoardTable&, std::string&)>;
    auto table = [shared](const std::string& name, Filler fill) {
        return [shared, name, fill](const httplib::Request& request, httplib::Response& response) {
            secure(response);
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
            if (shared->data->serials(product, shared->clock(), t, error)) return true;
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
               [shared, streams](const httplib::Request&, httplib::Response& response) {
                   secure(response);
                   if (streams->fetch_add(1) >= shared->mostStreams) {
                       streams->fetch_sub(1);
                       response.set_header("Retry-After", "5");
                       refuse(response, 503, "too many event streams are open");
                       return;
                   }
                   response.set_header("X-Accel-Buffering", "no");
                   struct Stream {
                       uint64_t seen = 0;
                       bool opened = false;
                       std::chrono::steady_clock::time_point last;
                   };
                   auto stream = std::make_shared<Stream>();
                   stream->seen = shared->events->count();
                   response.set_chunked_content_provider(
                       "text/event-stream",
                       [shared, stream](std::size_t, httplib::DataSink& sink) {
                           LineEvents& events = *shared->events;
                           if (!stream->opened) {
                               // The page fetches when the stream opens, so that no
                               // change falls between its fetch and the stream.
                               stream->opened = true;
                               const std::string hello = "retry: 2000\nevent: change\ndata: 0\n\n";
                               return sink.write(hello.data(), hello.size());
                           }
                           // A second at a time, so that a page that went away frees
                           // its thread within a second; a comment every 10 s keeps a
                           // quiet stream from being closed on the way. The events
                           // wait kGap between two changes they tell.
                           for (int quiet = 0; quiet < 10; ++quiet) {
                               if (events.closed() || !sink.is_writable()) return false;
                               const uint64_t now =
                                   events.wait(stream->seen, std::chrono::seconds(1), stream->last);
                               if (events.closed()) return false;
                               if (now == stream->seen) continue;
                               stream->seen = now;
                               const std::string event =
                                   "event: change\ndata: " + std::to_string(now) + "\n\n";
                               return sink.write(event.data(), event.size());
                           }
                           return sink.write(":\n\n", 3);
                       },
                       [streams](bool) { streams->fetch_sub(1); });
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

std::vector<StationBeat> stationBeats(const std::vector<LineHeartbeats::Beat>& beats) {
    std::vector<StationBeat> out;
    auto number = [](const nlohmann::json& value) -> std::optional<uint64_t> {
        if (value.is_number_unsigned()) return value.get<uint64_t>();
        return std::nullopt;
    };
    auto text = [](const nlohmann::json& object, const char* key) {
        const auto at = object.find(key);
        return at != object.end() && at->is_string() ? at->get<std::string>() : std::string();
    };
    for (const LineHeartbeats::Beat& beat : beats) {
        StationBeat station;
        station.station = beat.station;
        station.time = beat.time;
        const nlohmann::json& body = beat.body;
        if (!body.is_object()) continue;
        station.leaseLeft = number(body.value("lease_left", nlohmann::json()));
        station.waiting = number(body.value("waiting", nlohmann::json()));
        const auto programmers = body.find("programmers");
        if (programmers != body.end() && programmers->is_array()) {
            for (const nlohmann::json& each : *programmers) {
                if (!each.is_object()) continue;
                StationBeat::Programmer programmer;
                programmer.serial = text(each, "serial");
                programmer.state = text(each, "state");
                programmer.progress =
                    static_cast<int>(number(each.value("progress", nlohmann::json())).value_or(0));
                programmer.lastResult = text(each, "last_result");
                programmer.lastSerial = number(each.value("last_serial", nlohmann::json()));
                station.programmers.push_back(std::move(programmer));
            }
        }
        out.push_back(std::move(station));
    }
    return out;
}

void addBoard(LineServer& server, BoardData& data) {
    BoardContext context;
    context.data = &data;
    context.events = &server.service().events();
    LineHeartbeats& heartbeats = server.service().heartbeats();
    context.beats = [&heartbeats] { return stationBeats(heartbeats.all()); };
    context.started = std::time(nullptr);
    addBoardRoutes(server.http(), context);
}

}  // namespace ostrel::line
