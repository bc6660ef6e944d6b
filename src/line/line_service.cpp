#include "line/line_service.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "line/line_tokens.h"

namespace ostrel::line {
namespace {

using nlohmann::json;

// Strings from a request may hold bytes that are not UTF-8 (a path): they
// go out replaced, never as an exception.
std::string jsonText(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

LineResponse answer(int status, const json& body) {
    LineResponse response;
    response.status = status;
    response.body = jsonText(body);
    return response;
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool allDigits(const std::string& text) {
    return !text.empty() && text.size() <= 18 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

bool lowerHex(const std::string& text, std::size_t length) {
    return text.size() == length && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// Reads a body's fields; the first fault is kept as the reason of a 400.
class Fields {
  public:
    explicit Fields(const json& body) : body_(body) {}

    bool has(const char* key) const {
        return body_.is_object() && body_.contains(key) && !body_.at(key).is_null();
    }
    std::string text(const char* key, bool required = true) {
        if (!has(key)) {
            if (required) fault(std::string("the field \"") + key + "\" is missing");
            return {};
        }
        const json& value = body_.at(key);
        if (!value.is_string()) {
            fault(std::string("the field \"") + key + "\" must be a string");
            return {};
        }
        return value.get<std::string>();
    }
    uint64_t number(const char* key, bool required = true, uint64_t largest = kLargestSerial) {
        if (!has(key)) {
            if (required) fault(std::string("the field \"") + key + "\" is missing");
            return 0;
        }
        const json& value = body_.at(key);
        if (!value.is_number_unsigned() || value.get<uint64_t>() > largest) {
            fault(std::string("the field \"") + key + "\" must be a whole number from 0 to " +
                  std::to_string(largest));
            return 0;
        }
        return value.get<uint64_t>();
    }
    void fault(const std::string& reason) {
        if (error_.empty()) error_ = reason;
    }
    bool ok() const { return error_.empty(); }
    LineResponse refusal() const { return failure(400, error_); }

  private:
    const json& body_;
    std::string error_;
};

constexpr const char* kCommands[] = {"read", "write", "verify", "erase", "blank", "auto"};
constexpr const char* kResults[] = {"done", "different", "failed"};
constexpr const char* kStates[] = {"idle", "programming", "waiting"};

template <std::size_t N>
bool oneOf(const std::string& value, const char* const (&set)[N]) {
    return std::find_if(set, set + N, [&](const char* each) { return value == each; }) != set + N;
}

json serialJson(const std::optional<uint64_t>& serial) {
    return serial ? json(*serial) : json(nullptr);
}

std::string crcText(uint32_t crc) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", crc);
    return text;
}

// The path's parts after /api/v1/.
std::vector<std::string> pathParts(const std::string& path) {
    std::vector<std::string> parts;
    const std::string prefix = "/api/v1/";
    if (path.rfind(prefix, 0) != 0) return parts;
    std::size_t from = prefix.size();
    while (from <= path.size()) {
        const std::size_t slash = path.find('/', from);
        parts.push_back(path.substr(from, slash - from));
        if (slash == std::string::npos) break;
        from = slash + 1;
    }
    return parts;
}

// The store withStore() lent this thread, for databaseFailure().
thread_local ProductionStore* currentStore = nullptr;

std::vector<std::unique_ptr<ProductionStore>> storesOf(std::unique_ptr<ProductionStore> store) {
    std::vector<std::unique_ptr<ProductionStore>> stores;
    stores.push_back(std::move(store));
    return stores;
}

}  // namespace

LineResponse failure(int status, const std::string& reason) {
    return answer(status, json{{"error", reason}});
}

bool parseListen(const std::string& text, LineSettings& settings, std::string& error) {
    const std::size_t colon = text.rfind(':');
    std::string address = colon == std::string::npos ? "" : text.substr(0, colon);
    const std::string port = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    else if (address.find(':') != std::string::npos)
        address.clear();  // an IPv6 address goes in brackets
    if (address.empty() || !allDigits(port) || port.size() > 5 || std::stoi(port) > 65535) {
        error = "--listen takes ADDRESS:PORT (127.0.0.1:8470, [::1]:8470, 0.0.0.0:8470), not '" +
                text + "'";
        return false;
    }
    settings.address = address;
    settings.port = std::stoi(port);
    return true;
}

bool loopbackAddress(const std::string& address) {
    return address.rfind("127.", 0) == 0 || address == "::1" || lower(address) == "localhost";
}

void LineHeartbeats::keep(const std::string& station, json body) {
    std::lock_guard<std::mutex> lock(mutex_);
    beats_[station] = Beat{station, std::time(nullptr), std::move(body)};
}

std::vector<LineHeartbeats::Beat> LineHeartbeats::all() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Beat> beats;
    for (const auto& [station, beat] : beats_) beats.push_back(beat);
    return beats;
}

LineService::LineService(std::unique_ptr<ProductionStore> store, std::string url,
                         LineSettings settings)
    : LineService(storesOf(std::move(store)), std::move(url), std::move(settings)) {}

LineService::LineService(std::vector<std::unique_ptr<ProductionStore>> stores, std::string url,
                         LineSettings settings)
    : stores_(std::move(stores)), url_(std::move(url)), settings_(std::move(settings)) {
    for (const auto& store : stores_) free_.push_back(store.get());
}

bool LineService::isStationPath(const std::string& path) {
    const std::vector<std::string> parts = pathParts(path);
    if (parts.empty()) return false;
    const std::string& first = parts[0];
    if (parts.size() == 1)
        return first == "identity" || first == "products" || first == "programmers" ||
               first == "leases" || first == "chips" || first == "heartbeat";
    return parts.size() == 3 && ((first == "products" && parts[2] == "lease") ||
                                 (first == "chips" && parts[2] == "outcome"));
}

std::optional<LineResponse> LineService::checkHost(const std::string& host) const {
    const std::string port = std::to_string(settings_.port);
    const std::string given = lower(host);
    const bool v6 = settings_.address.find(':') != std::string::npos;
    std::vector<std::string> names = {
        "localhost:" + port, "127.0.0.1:" + port, "[::1]:" + port,
        lower(v6 ? "[" + settings_.address + "]:" + port : settings_.address + ":" + port)};
    for (const std::string& name : settings_.hosts) {
        names.push_back(lower(name));
        names.push_back(lower(name) + ":" + port);
    }
    if (std::find(names.begin(), names.end(), given) != names.end()) return std::nullopt;
    return failure(421,
                   "this server does not answer to the host named in the request; "
                   "start it with --host NAME to let it");
}

std::optional<LineResponse> LineService::admit(const std::string& authorization,
                                               const std::vector<std::string>& roles, bool open,
                                               LineCaller& caller) {
    caller = {};
    const std::string scheme = "bearer ";
    if (authorization.empty()) {
        if (open) return std::nullopt;
        return failure(401, "no token: send the header Authorization: Bearer TOKEN");
    }
    if (lower(authorization.substr(0, scheme.size())) != scheme)
        return failure(401, "the Authorization header must be Bearer TOKEN");
    std::string token = authorization.substr(scheme.size());
    token.erase(0, token.find_first_not_of(' '));
    while (!token.empty() && token.back() == ' ') token.pop_back();
    if (!tokenShaped(token)) return failure(401, "unknown token");
    std::optional<LineToken> found;
    std::optional<LineResponse> refusal;
    const LineResponse looked = withStore([&](ProductionStore& store) {
        std::string error;
        if (!store.findLineToken(tokenHash(token), found, error))
            return databaseFailure(error, 503);
        return LineResponse{};
    });
    if (looked.status != 200) return looked;
    if (!found) return failure(401, "unknown token");
    if (std::find(roles.begin(), roles.end(), found->role) == roles.end()) {
        std::string wanted;
        for (const std::string& role : roles) wanted += (wanted.empty() ? "" : " or ") + role;
        return failure(403, "this needs a token of the role " + wanted + ", not " + found->role);
    }
    caller = {found->name, found->role};
    return std::nullopt;
}

LineResponse LineService::withStore(const std::function<LineResponse(ProductionStore&)>& work) {
    ProductionStore* store = nullptr;
    {
        std::unique_lock<std::mutex> lock(poolMutex_);
        poolFree_.wait(lock, [&] { return !free_.empty(); });
        store = free_.back();
        free_.pop_back();
    }
    ProductionStore* const outer = currentStore;
    currentStore = store;
    struct GiveBack {
        LineService& service;
        ProductionStore* store;
        ProductionStore* outer;
        ~GiveBack() {
            currentStore = outer;
            {
                std::lock_guard<std::mutex> lock(service.poolMutex_);
                service.free_.push_back(store);
            }
            service.poolFree_.notify_one();
        }
    } giveBack{*this, store, outer};
    std::string error;
    if (store->lost() && !store->reconnect(error))
        return failure(503, "the database is away: " + databaseReason(url_, error));
    return work(*store);
}

LineResponse LineService::databaseFailure(const std::string& error, int status) const {
    const SqlErrorKind kind = currentStore ? currentStore->errorKind() : SqlErrorKind::None;
    if ((currentStore && currentStore->lost()) || kind == SqlErrorKind::Lost ||
        kind == SqlErrorKind::Retry || status == 503)
        return failure(503, "the database is away: " + databaseReason(url_, error));
    return failure(status, databaseReason(url_, error));
}

LineResponse LineService::handle(const LineRequest& request) {
    if (auto refused = checkHost(request.host)) return *refused;
    if (!isStationPath(request.path)) return failure(404, "no such page");
    const std::vector<std::string> parts = pathParts(request.path);
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool readOnly = parts.size() == 1 && (parts[0] == "identity" || parts[0] == "products");
    if (!(request.method == "POST" || (get && readOnly)))
        return failure(405, "this path does not take " + request.method);
    std::vector<std::string> roles = {"station"};
    if (get) roles = {"station", "viewer", "admin"};
    if (!get && parts[0] == "products") roles = {"admin"};
    LineCaller caller;
    if (auto refused = admit(request.authorization, roles, false, caller)) return *refused;
    json body;
    if (!get) {
        if (request.body.size() > kBodyLimit)
            return failure(413,
                           "the body is larger than " + std::to_string(kBodyLimit / 1024) + " KiB");
        if (lower(request.contentType).rfind("application/json", 0) != 0)
            return failure(400, "the body must be JSON (Content-Type: application/json)");
        body = json::parse(request.body, nullptr, false);
        if (body.is_discarded() || !body.is_object())
            return failure(400, "the body is not a JSON object");
    }
    return route(request, caller, body);
}

LineResponse LineService::route(const LineRequest& request, const LineCaller& caller,
                                const json& body) {
    const std::vector<std::string> parts = pathParts(request.path);
    const std::string& what = parts[0];
    if (what == "heartbeat") return heartbeat(caller, body);
    if (what == "chips" && parts.size() == 3 && !allDigits(parts[1]))
        return failure(404, "there is no chip " + parts[1]);
    return withStore([&](ProductionStore& store) {
        std::string error;
        if (what == "identity") {
            std::string id;
            if (!store.identity(id, error)) return databaseFailure(error, 503);
            return answer(200, json{{"identity", id}});
        }
        if (what == "products" && parts.size() == 1)
            return request.method == "POST" ? addProduct(store, body) : products(store);
        if (what == "products") return setLeaseSize(store, parts[1], body);
        if (what == "programmers") {
            Fields fields(body);
            const std::string programmer = fields.text("programmer");
            if (fields.ok() && programmer.empty()) fields.fault("the programmer has no serial");
            if (!fields.ok()) return fields.refusal();
            if (!store.registerProgrammer(caller.name, programmer, error))
                return databaseFailure(error);
            return answer(200, json::object());
        }
        if (what == "leases") return takeLease(store, caller, body);
        if (parts.size() == 1) return startChip(store, caller, body);
        return finishChip(store, caller, std::stoll(parts[1]), body);
    });
}

LineResponse LineService::products(ProductionStore& store) {
    std::vector<Product> all;
    std::string error;
    if (!store.listProducts(all, error)) return databaseFailure(error, 503);
    json list = json::array();
    for (const Product& p : all) {
        json serial = nullptr;
        if (p.serial)
            serial = {{"first", p.serial->start},
                      {"step", p.serial->step},
                      {"bytes", p.serial->bytes},
                      {"order", p.serial->bigEndian ? "be" : "le"},
                      {"address", p.serial->address}};
        list.push_back({{"name", p.name},
                        {"chip", p.chip},
                        {"image_sha256", p.imageSha256},
                        {"lease_size", p.leaseSize},
                        {"serial", serial}});
    }
    return answer(200, json{{"products", list}});
}

LineResponse LineService::addProduct(ProductionStore& store, const json& body) {
    Fields fields(body);
    Product product;
    product.name = fields.text("name");
    product.chip = fields.text("chip");
    product.imageSha256 = fields.text("image_sha256");
    product.leaseSize = fields.number("lease_size", false);
    if (fields.ok() && (product.name.empty() || product.chip.empty()))
        fields.fault("a product needs a name and a chip");
    if (fields.ok() && !lowerHex(product.imageSha256, 64))
        fields.fault("image_sha256 must be 64 lower-case hexadecimal digits");
    if (fields.ok() && fields.has("serial")) {
        if (!body.at("serial").is_object()) return failure(400, "serial must be an object or null");
        Fields serial(body.at("serial"));
        SerialFormat format;
        format.start = serial.number("first");
        format.step = serial.number("step");
        format.bytes = static_cast<uint32_t>(serial.number("bytes", true, 8));
        format.address = static_cast<uint32_t>(serial.number("address", false, 0xFFFFFFFFu));
        const std::string order = serial.text("order");
        if (serial.ok() && (format.step < 1 || format.bytes < 1))
            serial.fault("a serial's step and bytes are at least 1");
        if (serial.ok() && order != "le" && order != "be")
            serial.fault("a serial's order is le or be");
        if (!serial.ok()) return serial.refusal();
        format.bigEndian = order == "be";
        product.serial = format;
    }
    if (!fields.ok()) return fields.refusal();
    std::optional<Product> existing;
    std::string error;
    if (!store.findProduct(product.name, existing, error)) return databaseFailure(error, 503);
    if (existing) return failure(409, "a product named " + product.name + " exists already");
    if (!store.addProduct(product, error)) return databaseFailure(error);
    events_.notify();
    return answer(201, json::object());
}

LineResponse LineService::setLeaseSize(ProductionStore& store, const std::string& name,
                                       const json& body) {
    Fields fields(body);
    const uint64_t size = fields.number("size");
    if (!fields.ok()) return fields.refusal();
    std::optional<Product> product;
    std::string error;
    if (!store.findProduct(name, product, error)) return databaseFailure(error, 503);
    if (!product) return failure(404, "there is no product named " + name);
    if (!store.setLeaseSize(name, size, error)) return databaseFailure(error);
    return answer(200, json::object());
}

LineResponse LineService::takeLease(ProductionStore& store, const LineCaller& caller,
                                    const json& body) {
    Fields fields(body);
    const std::string name = fields.text("product");
    if (!fields.ok()) return fields.refusal();
    std::optional<Product> product;
    std::string error;
    if (!store.findProduct(name, product, error)) return databaseFailure(error, 503);
    if (!product) return failure(404, "there is no product named " + name);
    if (!product->serial) return failure(400, "the product " + name + " has no serial numbers");
    Lease lease;
    // A pool used up is the line's state, not the request's fault.
    if (!store.takeLease(name, caller.name, lease, error)) return databaseFailure(error, 409);
    events_.notify();
    return answer(201, json{{"lease",
                             {{"id", lease.id},
                              {"product", lease.product},
                              {"station", lease.station},
                              {"first", lease.first},
                              {"last", lease.last},
                              {"step", lease.step},
                              {"numbers", lease.numbers},
                              {"taken", recordTimeText(lease.taken)}}}});
}

LineResponse LineService::startChip(ProductionStore& store, const LineCaller& caller,
                                    const json& body) {
    Fields fields(body);
    ChipRow row;
    row.station = caller.name;
    const std::string time = fields.text("time");
    row.programmer = fields.text("programmer");
    row.chip = fields.text("chip");
    row.chipId = fields.text("chip_id");
    row.command = fields.text("command");
    row.product = fields.text("product", false);
    if (fields.has("serial")) row.serial = fields.number("serial");
    if (fields.has("sequence")) row.sequence = fields.number("sequence");
    if (fields.ok()) {
        const std::optional<std::time_t> when = parseRecordTime(time);
        if (!when || time.back() != 'Z')
            fields.fault("time must be YYYY-MM-DDTHH:MM:SSZ, not '" + time + "'");
        else
            row.time = *when;
    }
    if (fields.ok() && (row.programmer.empty() || row.chip.empty()))
        fields.fault("a chip needs its programmer and its chip");
    if (fields.ok() && !oneOf(row.command, kCommands))
        fields.fault("command must be read, write, verify, erase, blank or auto");
    if (fields.ok() && row.serial && !row.sequence)
        fields.fault("a serial number from a lease comes with the station's sequence number");
    if (!fields.ok()) return fields.refusal();

    std::string error;
    std::optional<Product> product;
    if (!row.product.empty()) {
        if (!store.findProduct(row.product, product, error)) return databaseFailure(error, 503);
        if (!product) return failure(404, "there is no product named " + row.product);
    }
    if (row.sequence) {
        std::optional<ChipRow> earlier;
        if (!store.findStationChip(caller.name, *row.sequence, earlier, error))
            return databaseFailure(error, 503);
        if (earlier) {
            // The same start again, after its answer was lost.
            if (earlier->serial != row.serial || earlier->product != row.product)
                return failure(409, "chip " + std::to_string(*row.sequence) + " of station " +
                                        caller.name + " was started with another serial number");
            return answer(200, json{{"id", earlier->id}, {"serial", serialJson(earlier->serial)}});
        }
    }
    if (row.serial) {
        if (!product || !product->serial)
            return failure(400, "a serial number needs a product with serial numbers");
        bool holds = false;
        if (!store.leaseHolds(caller.name, row.product, *row.serial, holds, error))
            return databaseFailure(error, 503);
        if (!holds)
            return failure(403, "the serial number " + std::to_string(*row.serial) +
                                    " is in no lease of station " + caller.name);
    }
    if (!store.startChip(row, error)) return databaseFailure(error, 409);
    events_.notify();
    return answer(201, json{{"id", row.id}, {"serial", serialJson(row.serial)}});
}

LineResponse LineService::finishChip(ProductionStore& store, const LineCaller& caller, int64_t id,
                                     const json& body) {
    Fields fields(body);
    ChipRow outcome;
    outcome.id = id;
    outcome.result = fields.text("result");
    outcome.cause = fields.text("cause");
    outcome.message = fields.text("message");
    outcome.bytes = fields.number("bytes");
    const std::string crc = fields.text("crc32");
    if (fields.ok() && !oneOf(outcome.result, kResults))
        fields.fault("result must be done, different or failed");
    if (fields.ok() && !lowerHex(crc, 8))
        fields.fault("crc32 must be 8 lower-case hexadecimal digits");
    if (fields.ok()) {
        const json& seconds = body.contains("seconds") ? body.at("seconds") : json();
        if (!seconds.is_number() || !std::isfinite(seconds.get<double>()) ||
            seconds.get<double>() < 0 || seconds.get<double>() > 1e9)
            fields.fault("seconds must be a number of seconds, 0 or more");
        else
            outcome.seconds = seconds.get<double>();
    }
    if (!fields.ok()) return fields.refusal();
    outcome.crc32 = static_cast<uint32_t>(std::stoul(crc, nullptr, 16));

    std::string error;
    std::optional<ChipRow> row;
    if (!store.findChip(id, row, error)) return databaseFailure(error, 503);
    if (!row) return failure(404, "there is no chip " + std::to_string(id));
    if (row->station != caller.name)
        return failure(403, "chip " + std::to_string(id) + " is another station's");
    // Finished before: the same outcome sent again is answered as written;
    // another one is refused, the first stays.
    auto again = [&](const ChipRow& written) {
        const bool same = written.result == outcome.result && written.cause == outcome.cause &&
                          written.message == outcome.message && written.bytes == outcome.bytes &&
                          written.crc32 == outcome.crc32 &&
                          secondsText(written.seconds) == secondsText(outcome.seconds);
        if (!same)
            return failure(409, "chip " + std::to_string(id) + " was finished with " +
                                    written.result + " (CRC-32 " + crcText(written.crc32) +
                                    ") already");
        return answer(200, json{{"finished", false}});
    };
    if (row->result != "started") return again(*row);
    bool finished = false;
    if (!store.finishChip(outcome, finished, error)) return databaseFailure(error, 503);
    if (!finished) {
        // Another request of the station finished it meanwhile.
        if (!store.findChip(id, row, error)) return databaseFailure(error, 503);
        if (row) return again(*row);
    }
    if (finished) events_.notify();
    return answer(200, json{{"finished", finished}});
}

LineResponse LineService::heartbeat(const LineCaller& caller, const json& body) {
    Fields fields(body);
    const uint64_t leaseLeft = fields.number("lease_left");
    const uint64_t waiting = fields.number("waiting");
    if (!fields.ok()) return fields.refusal();
    if (!body.contains("programmers") || !body.at("programmers").is_array() ||
        body.at("programmers").size() > 64)
        return failure(400, "programmers must be a list of at most 64");
    json programmers = json::array();
    for (const json& each : body.at("programmers")) {
        if (!each.is_object()) return failure(400, "each programmer must be an object");
        Fields one(each);
        json kept;
        kept["serial"] = one.text("serial");
        const std::string state = one.text("state");
        kept["state"] = state;
        kept["progress"] = one.number("progress", false, 100);
        kept["last_result"] = one.text("last_result", false);
        kept["last_serial"] = one.has("last_serial") ? json(one.number("last_serial")) : json();
        if (one.ok() && !oneOf(state, kStates))
            one.fault("a programmer's state is idle, programming or waiting");
        if (!one.ok()) return one.refusal();
        programmers.push_back(std::move(kept));
    }
    heartbeats_.keep(caller.name, json{{"programmers", std::move(programmers)},
                                       {"lease_left", leaseLeft},
                                       {"waiting", waiting}});
    events_.notify();
    return answer(200, json::object());
}

}  // namespace ostrel::line
