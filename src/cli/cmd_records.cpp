// records: the chips the production database holds, one a line, as text,
// CSV or JSON; with --summary, per station and programmer.

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

void printSummary(const std::vector<ProgrammerSummary>& lines, const Options& o, TerminalUi& ui) {
    if (o.csv) std::printf("station,programmer,chips,passed,failed,yield,median_seconds\n");
    for (const ProgrammerSummary& s : lines) {
        const std::string median = secondsText(s.medianSeconds);
        if (o.json) {
            ui.jsonLine("\"type\":\"summary\",\"station\":" + jsonString(s.station) +
                        ",\"programmer\":" + jsonString(s.programmer) + ",\"chips\":" +
                        std::to_string(s.chips) + ",\"passed\":" + std::to_string(s.passed) +
                        ",\"failed\":" + std::to_string(s.failed) + ",\"yield\":\"" + yieldText(s) +
                        "\",\"median_seconds\":" + median);
        } else if (o.csv) {
            std::printf("%s,%s,%d,%d,%d,%s,%s\n", csv(s.station).c_str(), csv(s.programmer).c_str(),
                        s.chips, s.passed, s.failed, yieldText(s).c_str(), median.c_str());
        } else {
            std::printf("%s\t%s\tchips %d\tpassed %d\tfailed %d\tyield %s\tmedian %s s\n",
                        plain(s.station).c_str(), plain(s.programmer).c_str(), s.chips, s.passed,
                        s.failed, yieldText(s).c_str(), median.c_str());
        }
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
    if (o.summary ? !link->store().summary(filter, lines, error)
                  : !link->store().records(filter, rows, error)) {
        const std::string shown = databaseProblem(Txt::DatabaseUnusable, o.db, error, language);
        ui.error(shown);
        return shown;
    }
    if (o.summary)
        printSummary(lines, o, ui);
    else
        printRows(rows, o, ui);
    std::fflush(stdout);
    return {};
}

}  // namespace ostrel::cli
