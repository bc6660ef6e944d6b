// records: the chips the production database holds, one a line, as text,
// CSV or JSON; with --summary, per station and programmer; each station's
// leases and journal after them; with --gaps, the numbers of a product's
// pool that no passed chip holds.

#include <cstdio>
#include <iterator>

#include "base/text_format.h"
#include "base/texts.h"
#include "buffers/checksums.h"
#include "cli/production_commands.h"

namespace ostrel::cli {
namespace {

// A field of a tab-separated line: tabs and line breaks become spaces.
std::string plain(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

// A CSV field, quoted when it holds a comma, a quote or a line break.
std::string csv(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string yieldText(const ProgrammerSummary& line) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", line.chips ? 100.0 * line.passed / line.chips : 0.0);
    return text;
}

// The columns of a row, in the order the CSV and the plain listing give them.
constexpr const char* kColumns[] = {"row",     "time",    "station", "programmer", "chip",  "id",
                                    "command", "result",  "cause",   "serial",     "bytes", "crc32",
                                    "seconds", "product", "message", "spent"};

void printRows(const std::vector<ChipRow>& rows, const Options& o, TerminalUi& ui) {
    if (!o.json) {
        std::string header;
        for (const char* column : kColumns)
            header += (header.empty() ? "" : o.csv ? "," : "\t") + std::string(column);
        std::printf("%s\n", header.c_str());
    }
    for (const ChipRow& r : rows) {
        const std::string serial = r.serial ? std::to_string(*r.serial) : "";
        const std::string fields[std::size(kColumns)] = {std::to_string(r.id),
                                                         recordTimeText(r.time),
                                                         r.station,
                                                         r.programmer,
                                                         r.chip,
                                                         r.chipId,
                                                         r.command,
                                                         r.result,
                                                         r.cause,
                                                         serial,
                                                         std::to_string(r.bytes),
                                                         crc32Text(r.crc32),
                                                         secondsText(r.seconds),
                                                         r.product,
                                                         r.message,
                                                         r.spent ? "spent" : ""};
        if (o.json) {
            ui.jsonLine(
                "\"type\":\"record\",\"row\":" + fields[0] + ",\"time\":" + jsonString(fields[1]) +
                ",\"station\":" + jsonString(r.station) +
                ",\"programmer\":" + jsonString(r.programmer) + ",\"chip\":" + jsonString(r.chip) +
                ",\"id\":" + jsonString(r.chipId) + ",\"command\":" + jsonString(r.command) +
                ",\"result\":" + jsonString(r.result) + ",\"cause\":" + jsonString(r.cause) +
                ",\"serial\":" + (r.serial ? serial : "null") + ",\"bytes\":" + fields[10] +
                ",\"crc32\":\"" + fields[11] + "\",\"seconds\":" + fields[12] +
                ",\"product\":" + jsonString(r.product) + ",\"message\":" + jsonString(r.message) +
                ",\"spent\":" + (r.spent ? "true" : "false"));
            continue;
        }
        std::string line;
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            if (i > 0) line += o.csv ? "," : "\t";
            line += o.csv ? csv(fields[i]) : plain(fields[i]);
        }
        std::printf("%s\n", line.c_str());
    }
}

// The station's numbers left in its leases, spent, and waiting as reported.
struct Held {
    uint64_t left = 0, spent = 0, waiting = 0;
};

Held heldBy(const std::vector<StationHolding>& holdings, const std::string& station) {
    for (const StationHolding& h : holdings)
        if (h.station == station) return {h.leaseLeft, h.spent, h.report ? h.report->waiting : 0};
    return {};
}

void printSummary(const std::vector<ProgrammerSummary>& lines,
                  const std::vector<StationHolding>& holdings, const Options& o, TerminalUi& ui) {
    if (o.csv)
        std::printf(
            "station,programmer,chips,passed,failed,yield,median_seconds,lease_left,spent,"
            "waiting\n");
    for (const ProgrammerSummary& s : lines) {
        const std::string median = secondsText(s.medianSeconds);
        const Held held = heldBy(holdings, s.station);
        const std::string left = std::to_string(held.left), spent = std::to_string(held.spent),
                          waiting = std::to_string(held.waiting);
        if (o.json) {
            ui.jsonLine("\"type\":\"summary\",\"station\":" + jsonString(s.station) +
                        ",\"programmer\":" + jsonString(s.programmer) + ",\"chips\":" +
                        std::to_string(s.chips) + ",\"passed\":" + std::to_string(s.passed) +
                        ",\"failed\":" + std::to_string(s.failed) + ",\"yield\":\"" + yieldText(s) +
                        "\",\"median_seconds\":" + median + ",\"lease_left\":" + left +
                        ",\"spent\":" + spent + ",\"waiting\":" + waiting);
        } else if (o.csv) {
            std::printf("%s,%s,%d,%d,%d,%s,%s,%s,%s,%s\n", csv(s.station).c_str(),
                        csv(s.programmer).c_str(), s.chips, s.passed, s.failed,
                        yieldText(s).c_str(), median.c_str(), left.c_str(), spent.c_str(),
                        waiting.c_str());
        } else {
            std::printf(
                "%s\t%s\tchips %d\tpassed %d\tfailed %d\tyield %s\tmedian %s s\tlease left "
                "%s\tspent %s\twaiting %s\n",
                plain(s.station).c_str(), plain(s.programmer).c_str(), s.chips, s.passed, s.failed,
                yieldText(s).c_str(), median.c_str(), left.c_str(), spent.c_str(), waiting.c_str());
        }
    }
}

// Each station's leases and journal: JSON lines of their own, or notes
// beside the table, which keeps its lines.
void printStations(const std::vector<StationHolding>& holdings, const Options& o, TerminalUi& ui,
                   int language) {
    for (const StationHolding& h : holdings) {
        const std::string left = std::to_string(h.leaseLeft), spent = std::to_string(h.spent);
        if (o.json) {
            ui.jsonLine("\"type\":\"station\",\"station\":" + jsonString(h.station) +
                        ",\"lease_left\":" + left + ",\"spent\":" + spent + ",\"waiting\":" +
                        (h.report ? std::to_string(h.report->waiting) : "null") + ",\"reported\":" +
                        (h.report ? "\"" + recordTimeText(h.report->time) + "\"" : "null"));
        } else if (h.report) {
            ui.note(fillIn(programText(Txt::StationHolding, language),
                           {h.station, left, spent, std::to_string(h.report->waiting),
                            recordTimeText(h.report->time)}));
        } else {
            ui.note(
                fillIn(programText(Txt::StationNeverReported, language), {h.station, left, spent}));
        }
    }
}

// The numbers of the product's pool that no passed chip holds.
void printGaps(const std::vector<SerialGap>& gaps, const Options& o, TerminalUi& ui) {
    if (!o.json) std::printf("serial\treason\tstation\tcause\n");
    for (const SerialGap& g : gaps) {
        if (o.json)
            ui.jsonLine("\"type\":\"gap\",\"serial\":" + std::to_string(g.serial) + ",\"reason\":" +
                        jsonString(g.reason) + ",\"station\":" + jsonString(g.station) +
                        ",\"cause\":" + jsonString(g.cause));
        else
            std::printf("%llu\t%s\t%s\t%s\n", static_cast<unsigned long long>(g.serial),
                        g.reason.c_str(), plain(g.station).c_str(), plain(g.cause).c_str());
    }
}

}  // namespace

std::string recordsCommand(const Options& o, TerminalUi& ui, int language) {
    std::string error;
    std::unique_ptr<StationLink> link = connectDatabase(o, ui, language, false, error);
    if (!link) return error;
    RecordFilter filter;
    filter.product = o.product;
    filter.result = o.result;
    if (!o.since.empty()) filter.since = parseRecordTime(o.since);
    if (!o.serial.empty()) filter.serial = recordSerial(o.serial);
    std::vector<ChipRow> rows;
    std::vector<ProgrammerSummary> lines;
    std::vector<StationHolding> holdings;
    std::vector<SerialGap> gaps;
    const bool read = o.gaps ? link->store().gaps(o.product, gaps, error)
                             : (o.summary ? link->store().summary(filter, lines, error)
                                          : link->store().records(filter, rows, error)) &&
                                   link->store().holdings(o.product, holdings, error);
    if (!read) {
        const std::string shown = databaseProblem(Txt::DatabaseUnusable, o.db, error, language);
        ui.error(shown);
        return shown;
    }
    if (o.gaps)
        printGaps(gaps, o, ui);
    else if (o.summary)
        printSummary(lines, holdings, o, ui);
    else
        printRows(rows, o, ui);
    std::fflush(stdout);
    if (!o.gaps) printStations(holdings, o, ui, language);
    return {};
}

}  // namespace ostrel::cli
