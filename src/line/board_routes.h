#pragma once
// The board's routes on the line server: the page and its scripts, the
// tables (JSON, or CSV with ?format=csv) and the stream of change events.
// The server's own pre-routing admits viewers (and checks the Host) before
// any of them runs.
//
//   GET /                          the page
//   GET /board/board.css, .js      its style sheet and script
//   GET /static/chart.js           the system's Chart.js
//   GET /api/v1/board/stations     a row per programmer
//   GET /api/v1/board/hourly       today's chips per hour and product
//   GET /api/v1/board/causes       today's failures per cause
//   GET /api/v1/board/serials      the products' numbers; ?product=P: its gaps
//   GET /api/v1/board/chip?serial=N  the rows of that chip
//   GET /api/v1/events             Server-Sent Events: "change"

#include <httplib.h>

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "line/board_data.h"
#include "line/line_events.h"
#include "line/line_server.h"

namespace ostrel::line {

struct BoardContext {
    BoardData* data = nullptr;
    LineEvents* events = nullptr;
    // The stations' last heartbeats, as the server keeps them.
    std::function<std::vector<StationBeat>()> beats;
    std::time_t started = 0;  // when the server started
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };
    std::string chartScript = "/usr/share/javascript/chart.js/chart.min.js";
    // Event streams open at once at most: each holds one of the server's
    // threads while its page is open, and the stations need the others.
    int mostStreams = 32;
};

void addBoardRoutes(httplib::Server& server, const BoardContext& context);

// The heartbeats as the station interface keeps them.
std::vector<StationBeat> stationBeats(const std::vector<LineHeartbeats::Beat>& beats);

// The board on `server`, reading `data`, with the server's heartbeats and
// events.
void addBoard(LineServer& server, BoardData& data);

}  // namespace ostrel::line
