#pragma once
// The board's routes on the line server: the page and its scripts, the
// tables (JSON, or CSV with ?format=csv) and the stream of change events.
//
//   GET /                          the page
//   GET /board/*                   its style sheet and script
//   GET /static/chart.js           the system's Chart.js
//   GET /api/v1/board/stations     a row per programmer
//   GET /api/v1/board/hourly       today's chips per hour and product
//   GET /api/v1/board/causes       today's failures per cause
//   GET /api/v1/board/serials      the products' numbers; ?product=P: its gaps
//   GET /api/v1/board/chip?serial=N  the rows of that chip
//   GET /api/v1/events             Server-Sent Events: "change"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "line/board_data.h"

namespace ostrel {

// Tells the event streams that the line changed. Streams send at most one
// event per kEventGapMs however many changes came, so that a busy line
// costs each page a few requests a second.
inline constexpr int kEventGapMs = 250;

class BoardEvents {
  public:
    // Something the board shows changed (an outcome, a start, a lease, a
    // heartbeat).
    void notify();
    // Waits until the count of changes differs from `seen`, the events are
    // closed or `timeout` passed; returns the count.
    uint64_t wait(uint64_t seen, std::chrono::milliseconds timeout);
    uint64_t count();
    // Ends every stream (the server stops).
    void close();
    bool closed();
    // Streams open now, and the most at once: a stream holds one of the
    // server's threads for as long as it is open.
    bool enter(int most);
    void leave();

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t count_ = 0;
    bool closed_ = false;
    int streams_ = 0;
};

struct BoardContext {
    BoardData* data = nullptr;
    BoardEvents* events = nullptr;
    // The stations' last heartbeats, as the server keeps them.
    std::function<std::vector<StationBeat>()> beats;
    std::time_t started = 0;  // when the server started
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };
    // Whether the request may read the board; false with `response` set.
    std::function<bool(const httplib::Request&, httplib::Response&)> admit =
        [](const httplib::Request&, httplib::Response&) { return true; };
    std::string chartScript = "/usr/share/javascript/chart.js/chart.min.js";
    int mostStreams = 4;
};

void addBoardRoutes(httplib::Server& server, const BoardContext& context);

}  // namespace ostrel
