#include "production/line_client.h"

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace ostrel {

using Json = nlohmann::json;

namespace {

// Text the station sends: a name that is not UTF-8 has its bad bytes replaced
// rather than stopping the request.
std::string jsonText(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Digits only, at most `most` of them.
bool digits(const std::string& text, std::size_t most) {
    return !text.empty() && text.size() <= most &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

// Checked reads of an answer's fields: a field missing or of another type
// makes the answer one the station cannot use.
bool textField(const Json& object, const char* key, std::string& value) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return false;
    value = found->get<std::string>();
    return true;
}

bool wholeField(const Json& object, const char* key, uint64_t& value) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_number_unsigned()) return false;
    value = found->get<uint64_t>();
    return true;
}

bool productOf(const Json& p, Product& product) {
    if (!p.is_object() || !textField(p, "name", product.name) ||
        !textField(p, "chip", product.chip) || !textField(p, "image_sha256", product.imageSha256))
        return false;
    product.leaseSize = 0;
    if (p.contains("lease_size") && !wholeField(p, "lease_size", product.leaseSize)) return false;
    const auto serial = p.find("serial");
    product.serial.reset();
    if (serial == p.end() || serial->is_null()) return true;
    SerialFormat format;
    uint64_t address = 0, bytes = 0;
    std::string order;
    if (!serial->is_object() || !wholeField(*serial, "address", address) ||
        !wholeField(*serial, "bytes", bytes) || !wholeField(*serial, "first", format.start) ||
        !wholeField(*serial, "step", format.step) || !textField(*serial, "order", order) ||
        address > 0xFFFFFFFFu || bytes < 1 || bytes > 8 || format.step == 0 ||
        (order != "le" && order != "be"))
        return false;
    format.address = static_cast<uint32_t>(address);
    format.bytes = static_cast<uint32_t>(bytes);
    format.bigEndian = order == "be";
    product.serial = format;
    return true;
}

// The server's reason for a refusal, as one short line.
std::string reasonOf(const std::string& body) {
    const Json answer = Json::parse(body, nullptr, false);
    std::string reason;
    if (!answer.is_discarded() && answer.is_object()) textField(answer, "error", reason);
    if (reason.size() > 200) reason = reason.substr(0, 200);
    for (char& c : reason)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return reason;
}

}  // namespace

bool isLineServerUrl(const std::string& url) {
    return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

bool parseLineUrl(const std::string& url, platform::HttpTarget& target, std::string& prefix,
                  std::string& error) {
    target = {};
    const bool tls = url.rfind("https://", 0) == 0;
    if (!tls && url.rfind("http://", 0) != 0) {
        error = "a line server's URL begins with http:// or https://";
        return false;
    }
    const std::string rest = url.substr(tls ? 8 : 7);
    const std::size_t slash = rest.find('/');
    const std::string authority = rest.substr(0, slash);
    prefix = slash == std::string::npos ? "" : rest.substr(slash);
    while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    for (const char c : url) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F || c == '?' || c == '#' ||
            c == '@' || c == '\\') {
            error = "a line server's URL takes no user, query, fragment or space";
            return false;
        }
    }
    std::string port;
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos || close < 2) {
            error = "the server's IPv6 address is not closed with ]";
            return false;
        }
        target.host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') {
                error = "a port follows the server's address after a colon";
                return false;
            }
            port = authority.substr(close + 2);
        }
    } else {
        const std::size_t colon = authority.find(':');
        target.host = authority.substr(0, colon);
        if (colon != std::string::npos) port = authority.substr(colon + 1);
    }
    if (target.host.empty()) {
        error = "the URL names no server";
        return false;
    }
    target.tls = tls;
    target.port = tls ? 443 : 80;
    if (!port.empty() || authority.back() == ':') {
        if (!digits(port, 5) || std::atoi(port.c_str()) < 1 || std::atoi(port.c_str()) > 65535) {
            error = "the port is not a number from 1 to 65535";
            return false;
        }
        target.port = std::atoi(port.c_str());
    }
    target.hostHeader = authority;
    return true;
}

bool readLineToken(const std::string& file, std::string& token, std::string& error) {
    token.clear();
    if (!file.empty()) {
        FILE* in = std::fopen(file.c_str(), "rb");
        if (in == nullptr) {
            error = "the line server's token file " + file + " cannot be read";
            return false;
        }
        char block[512];
        for (std::size_t n;
             (n = std::fread(block, 1, sizeof block, in)) > 0 && token.size() < 4096;)
            token.append(block, n);
        std::fclose(in);
    } else if (const char* given = std::getenv("OSTREL_LINE_TOKEN")) {
        token = given;
    }
    // One word, as the server printed it; a line end after it is no part of it.
    while (!token.empty() && (token.back() == '\n' || token.back() == '\r' || token.back() == ' '))
        token.pop_back();
    const std::string from = file.empty() ? "OSTREL_LINE_TOKEN" : "the file " + file;
    if (token.empty()) {
        error = file.empty() ? "a line server needs the station's token in OSTREL_LINE_TOKEN or "
                               "a file given with --line-token-file"
                             : "the line server's token file " + file + " is empty";
        return false;
    }
    // Nothing in it may end the header it is sent in.
    for (const char c : token) {
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
            token.clear();
            error = "the line server's token in " + from + " is not one word of printable ASCII";
            return false;
        }
    }
    return true;
}

LineClient::LineClient(platform::HttpTarget target, std::string prefix, std::string token)
    : target_(std::move(target)), prefix_(std::move(prefix)), token_(std::move(token)) {}

std::unique_ptr<LineClient> LineClient::open(const std::string& url, const std::string& token,
                                             std::string& error) {
    platform::HttpTarget target;
    std::string prefix;
    if (!parseLineUrl(url, target, prefix, error)) return nullptr;
    return std::make_unique<LineClient>(target, prefix, token);
}

bool LineClient::call(const char* method, const std::string& path, const std::string& body,
                      std::string& answer, std::string& error) {
    const platform::HttpReply reply =
        platform::httpRequest(target_, method, prefix_ + path, body, token_, timeoutSeconds);
    answer.clear();
    if (reply.status >= 200 && reply.status < 300) {
        kind_ = SqlErrorKind::None;
        lost_ = false;
        answer = reply.body;
        return true;
    }
    if (reply.status == 0) {
        error = "the line server does not answer: " + reply.error;
        kind_ = SqlErrorKind::Lost;
        lost_ = true;
        return false;
    }
    const std::string reason = reasonOf(reply.body);
    error = "the line server answered " + std::to_string(reply.status) +
            (reason.empty() ? std::string() : " (" + reason + ")");
    if (reply.status >= 500) {
        kind_ = SqlErrorKind::Lost;
        lost_ = true;
    } else if (reply.status == 408 || reply.status == 429) {
        kind_ = SqlErrorKind::Retry;
    } else {
        kind_ = SqlErrorKind::Refused;
    }
    return false;
}

namespace {

// An answer that is not what the protocol says: the server is not one this
// station can use now; its chips wait as for a server away.
bool unusable(SqlErrorKind& kind, bool& lost, std::string& error, const char* what) {
    error = std::string("the line server's answer to ") + what + " cannot be read";
    kind = SqlErrorKind::Lost;
    lost = true;
    return false;
}

}  // namespace

bool LineClient::identity(std::string& id, std::string& error) {
    std::string body;
    if (!call("GET", "/api/v1/identity", "", body, error)) return false;
    const Json answer = Json::parse(body, nullptr, false);
    if (answer.is_discarded() || !answer.is_object() || !textField(answer, "identity", id) ||
        id.empty())
        return unusable(kind_, lost_, error, "identity");
    return true;
}

bool LineClient::listProducts(std::vector<Product>& products, std::string& error) {
    std::string body;
    products.clear();
    if (!call("GET", "/api/v1/products", "", body, error)) return false;
    const Json answer = Json::parse(body, nullptr, false);
    if (answer.is_discarded() || !answer.is_object() || !answer.contains("products") ||
        !answer["products"].is_array())
        return unusable(kind_, lost_, error, "products");
    for (const Json& p : answer["products"]) {
        Product product;
        if (!productOf(p, product)) {
            products.clear();
            return unusable(kind_, lost_, error, "products");
        }
        products.push_back(product);
    }
    return true;
}

bool LineClient::findProduct(const std::string& name, std::optional<Product>& product,
                             std::string& error) {
    product.reset();
    std::vector<Product> products;
    if (!listProducts(products, error)) return false;
    for (const Product& p : products)
        if (p.name == name) product = p;
    return true;
}

bool LineClient::registerProgrammer(const std::string&, const std::string& programmer,
                                    std::string& error) {
    std::string body;
    return call("POST", "/api/v1/programmers", jsonText(Json{{"programmer", programmer}}), body,
                error);
}

bool LineClient::takeLease(const std::string& product, const std::string&, Lease& lease,
                           std::string& error) {
    std::string body;
    if (!call("POST", "/api/v1/leases", jsonText(Json{{"product", product}}), body, error))
        return false;
    const Json answer = Json::parse(body, nullptr, false);
    std::string taken;
    uint64_t id = 0;
    if (answer.is_discarded() || !answer.is_object() || !answer.contains("lease") ||
        !answer["lease"].is_object())
        return unusable(kind_, lost_, error, "a lease");
    const Json& l = answer["lease"];
    if (!wholeField(l, "id", id) || !textField(l, "product", lease.product) ||
        !textField(l, "station", lease.station) || !wholeField(l, "first", lease.first) ||
        !wholeField(l, "last", lease.last) || !wholeField(l, "step", lease.step) ||
        !wholeField(l, "numbers", lease.numbers) || !textField(l, "taken", taken) ||
        lease.product != product || lease.step == 0 || lease.numbers == 0 ||
        lease.last < lease.first || (lease.last - lease.first) / lease.step + 1 != lease.numbers ||
        !parseRecordTime(taken))
        return unusable(kind_, lost_, error, "a lease");
    lease.id = static_cast<int64_t>(id);
    lease.taken = *parseRecordTime(taken);
    return true;
}

bool LineClient::startChip(ChipRow& row, std::string& error) {
    Json request = {{"time", recordTimeText(row.time)},
                    {"programmer", row.programmer},
                    {"chip", row.chip},
                    {"chip_id", row.chipId},
                    {"command", row.command},
                    {"product", row.product}};
    if (row.serial) request["serial"] = *row.serial;
    if (row.sequence) request["sequence"] = *row.sequence;
    std::string body;
    if (!call("POST", "/api/v1/chips", jsonText(request), body, error)) return false;
    const Json answer = Json::parse(body, nullptr, false);
    uint64_t id = 0, serial = 0;
    if (answer.is_discarded() || !answer.is_object() || !wholeField(answer, "id", id) || id == 0)
        return unusable(kind_, lost_, error, "a chip's start");
    if (wholeField(answer, "serial", serial)) {
        // A number the station drew is the chip's; the server gives it back.
        if (row.serial && *row.serial != serial)
            return unusable(kind_, lost_, error, "a chip's start");
        row.serial = serial;
    }
    row.id = static_cast<int64_t>(id);
    return true;
}

bool LineClient::finishChip(const ChipRow& outcome, bool& finished, std::string& error) {
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(outcome.crc32));
    const Json request = {
        {"result", outcome.result}, {"cause", outcome.cause}, {"message", outcome.message},
        {"bytes", outcome.bytes},   {"crc32", crc},           {"seconds", outcome.seconds}};
    std::string body;
    finished = false;
    if (!call("POST", "/api/v1/chips/" + std::to_string(outcome.id) + "/outcome", jsonText(request),
              body, error))
        return false;
    const Json answer = Json::parse(body, nullptr, false);
    if (answer.is_discarded() || !answer.is_object() || !answer.contains("finished") ||
        !answer["finished"].is_boolean())
        return unusable(kind_, lost_, error, "a chip's outcome");
    finished = answer["finished"].get<bool>();
    return true;
}

bool LineClient::heartbeat(const StationBeat& beat, std::string& error) {
    Json programmers = Json::array();
    for (const ProgrammerBeat& p : beat.programmers) {
        Json one = {{"serial", p.serial},
                    {"state", p.state},
                    {"progress", p.progress},
                    {"last_result", p.lastResult}};
        one["last_serial"] = p.lastSerial ? Json(*p.lastSerial) : Json(nullptr);
        programmers.push_back(one);
    }
    const Json request = {
        {"programmers", programmers}, {"lease_left", beat.leaseLeft}, {"waiting", beat.waiting}};
    std::string body;
    return call("POST", "/api/v1/heartbeat", jsonText(request), body, error);
}

bool LineClient::reconnect(std::string& error) {
    std::string id;
    return identity(id, error);
}

}  // namespace ostrel
