#include "line/board_table.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace ostrel::line {
namespace {

nlohmann::json jsonOf(const BoardCell& cell) {
    if (const auto* n = std::get_if<int64_t>(&cell)) return *n;
    if (const auto* d = std::get_if<double>(&cell)) return *d;
    if (const auto* s = std::get_if<std::string>(&cell)) return *s;
    if (const auto* b = std::get_if<bool>(&cell)) return *b;
    return nullptr;
}

std::string csvOf(const BoardCell& cell) {
    if (const auto* n = std::get_if<int64_t>(&cell)) return std::to_string(*n);
    if (const auto* d = std::get_if<double>(&cell)) {
        char out[32];
        std::snprintf(out, sizeof out, "%.6g", *d);
        return out;
    }
    if (const auto* b = std::get_if<bool>(&cell)) return *b ? "true" : "false";
    const auto* s = std::get_if<std::string>(&cell);
    if (s == nullptr) return "";
    std::string text = *s;
    if (!text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos)
        text.insert(0, 1, '\'');
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

std::string boardJson(const BoardTable& table) {
    nlohmann::json out = nlohmann::json::object();
    for (const auto& [name, cell] : table.facts) out[name] = jsonOf(cell);
    out["columns"] = table.columns;
    nlohmann::json rows = nlohmann::json::array();
    for (const auto& row : table.rows) {
        nlohmann::json object = nlohmann::json::object();
        for (std::size_t i = 0; i < table.columns.size() && i < row.size(); ++i)
            object[table.columns[i]] = jsonOf(row[i]);
        rows.push_back(std::move(object));
    }
    out["rows"] = std::move(rows);
    return out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string boardCsv(const BoardTable& table) {
    std::string out;
    auto line = [&](const std::vector<std::string>& cells) {
        for (std::size_t i = 0; i < cells.size(); ++i) out += (i ? "," : "") + cells[i];
        out += "\r\n";
    };
    std::vector<std::string> cells;
    for (const std::string& name : table.columns) cells.push_back(csvOf(name));
    line(cells);
    for (const auto& row : table.rows) {
        cells.clear();
        for (const BoardCell& cell : row) cells.push_back(csvOf(cell));
        line(cells);
    }
    return out;
}

}  // namespace ostrel::line
