// product add, set, list, leases and reclaim, and the check that auto --product programs
// the product's image on the product's chip.

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "base/program_paths.h"
#include "base/text_format.h"
#include "base/texts.h"
#include "buffers/data_buffers.h"
#include "cli/production_commands.h"
#include "production/line_client.h"

namespace ostrel::cli {
namespace {

std::string formatText(const std::optional<SerialFormat>& format) {
    if (!format) return "-";
    char text[96];
    std::snprintf(text, sizeof text, "0x%X:%u:%llu:%llu:%s", static_cast<unsigned>(format->address),
                  static_cast<unsigned>(format->bytes),
                  static_cast<unsigned long long>(format->start),
                  static_cast<unsigned long long>(format->step), format->bigEndian ? "be" : "le");
    return text;
}

// A field of a tab-separated line: tabs and line breaks become spaces.
std::string plainField(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

// Shows an error and returns it, as the commands end with it.
std::string refuse(TerminalUi& ui, const std::string& shown) {
    ui.error(shown);
    return shown;
}

// The SHA-256 of the data the loaded file puts on the chip.
std::string loadedImageHash(const MainState& state) {
    const DataBuffers& buffers = state.buffers;
    return imageHash(buffers.flash(),
                     static_cast<std::size_t>(std::max<int32_t>(buffers.flashDataLength, 0)));
}

}  // namespace

std::string leasesCommand(ProductContext& c) {
    const Options& o = c.options;
    std::string error;
    std::unique_ptr<StationLink> link = connectDatabase(o, c.ui, c.language, false, error);
    if (!link) return error;
    std::vector<LeaseUse> uses;
    if (!link->store().leaseUses(o.product, uses, error))
        return refuse(c.ui, databaseProblem(Txt::DatabaseUnusable, o.db, error, c.language));
    if (!o.json)
        std::printf(
            "lease\tproduct\tstation\tfirst\tlast\tstep\tnumbers\tused\tspent\tpending\tleft\t"
            "taken\treclaimed\n");
    for (const LeaseUse& u : uses) {
        const Lease& l = u.lease;
        const std::string reclaimed = l.reclaimed ? recordTimeText(*l.reclaimed) : "";
        if (o.json) {
            c.ui.jsonLine(
                "\"type\":\"lease\",\"lease\":" + std::to_string(l.id) +
                ",\"product\":" + jsonString(l.product) + ",\"station\":" + jsonString(l.station) +
                ",\"first\":" + std::to_string(l.first) + ",\"last\":" + std::to_string(l.last) +
                ",\"step\":" + std::to_string(l.step) +
                ",\"numbers\":" + std::to_string(l.numbers) +
                ",\"used\":" + std::to_string(u.used) + ",\"spent\":" + std::to_string(u.spent) +
                ",\"pending\":" + std::to_string(u.pending) +
                ",\"left\":" + std::to_string(u.left) + ",\"taken\":\"" + recordTimeText(l.taken) +
                "\",\"reclaimed\":" +
                (l.reclaimed ? "\"" + reclaimed + "\"" : std::string("null")));
            continue;
        }
        std::printf(
            "%lld\t%s\t%s\t%llu\t%llu\t%llu\t%llu\t%llu\t%llu\t%llu\t%llu\t%s\t%s\n",
            static_cast<long long>(l.id), plainField(l.product).c_str(),
            plainField(l.station).c_str(), static_cast<unsigned long long>(l.first),
            static_cast<unsigned long long>(l.last), static_cast<unsigned long long>(l.step),
            static_cast<unsigned long long>(l.numbers), static_cast<unsigned long long>(u.used),
            static_cast<unsigned long long>(u.spent), static_cast<unsigned long long>(u.pending),
            static_cast<unsigned long long>(u.left), recordTimeText(l.taken).c_str(),
            reclaimed.c_str());
    }
    std::fflush(stdout);
    return {};
}

std::string reclaimCommand(ProductContext& c) {
    const Options& o = c.options;
    std::string error;
    std::unique_ptr<StationLink> link = connectDatabase(o, c.ui, c.language, false, error);
    if (!link) return error;
    ReclaimResult result;
    if (!link->store().reclaim(o.station, o.product, std::time(nullptr), result, error))
        return refuse(c.ui, databaseProblem(Txt::DatabaseUnusable, o.db, error, c.language));
    switch (result.kind) {
        case ReclaimResult::SeenWorking:
            return refuse(c.ui, fillIn(programText(Txt::LeaseReclaimRefused, c.language),
                                       {o.station, recordTimeText(result.lastSeen)}));
        case ReclaimResult::Nothing:
            c.ui.note(fillIn(programText(Txt::LeaseReclaimNothing, c.language), {o.station}));
            break;
        case ReclaimResult::Reclaimed:
            c.ui.note(fillIn(
                programText(Txt::LeaseReclaimed, c.language),
                {o.station, std::to_string(result.leases), std::to_string(result.returned)}));
            break;
    }
    return {};
}

std::unique_ptr<StationLink> connectDatabase(const Options& options, TerminalUi& ui, int language,
                                             bool chipWaits, std::string& problem) {
    const std::string folder = ProgramPaths::stateFolder();
    std::error_code ignored;  // a folder that cannot be made fails the spool, if one is needed
    std::filesystem::create_directories(folder, ignored);
    const std::string& url = options.stationUrl();
    auto link = std::make_unique<StationLink>(url, folder);
    std::string error;
    if (isLineServerUrl(url) && !readLineToken(options.lineTokenFile, link->lineToken, error)) {
        problem = databaseProblem(chipWaits ? Txt::DatabaseAway : Txt::DatabaseUnusable, url, error,
                                  language);
        ui.error(problem);
        return nullptr;
    }
    const bool connected = link->connect(error);
    // A chip may go on from the station's lease while the database is away.
    if (!connected && chipWaits && link->goOffline()) {
        ui.note(databaseProblem(Txt::DatabaseOffline, url, error, language));
        return link;
    }
    if (!connected) {
        problem = databaseProblem(chipWaits ? Txt::DatabaseAway : Txt::DatabaseUnusable, url, error,
                                  language);
        ui.error(problem);
        return nullptr;
    }
    const StationLink::Settled& settled = link->settled();
    if (settled.spent > 0)
        ui.note(fillIn(programText(Txt::OrphansSpent, language),
                       {std::to_string(settled.spent), kStationStoppedCause}));
    if (settled.refused > 0)
        ui.error(fillIn(programText(Txt::OrphansRefused, language),
                        {std::to_string(settled.refused), settled.refusal}));
    if (link->spoolWritten() > 0)
        ui.note(fillIn(programText(Txt::DatabaseSpoolWritten, language),
                       {std::to_string(link->spoolWritten())}));
    const RecordSpool::Flushed& flushed = link->spoolFlushed();
    if (flushed.setAside > 0)
        ui.error(fillIn(
            programText(Txt::DatabaseSetAside, language),
            {std::to_string(flushed.setAside), link->spool().setAsidePath(), flushed.reason}));
    return link;
}

std::string productCommand(ProductContext& c) {
    const Options& o = c.options;
    std::string error;
    if (o.arguments[0] == "list") {
        std::unique_ptr<StationLink> link = connectDatabase(o, c.ui, c.language, false, error);
        std::vector<Product> products;
        if (!link) return error;
        if (!link->listProducts(products, error))
            return refuse(
                c.ui, databaseProblem(Txt::DatabaseUnusable, o.stationUrl(), error, c.language));
        for (const Product& p : products) {
            const std::string lease = p.serial ? std::to_string(p.leaseSize) : "";
            if (o.json)
                c.ui.jsonLine(
                    "\"type\":\"product\",\"name\":" + jsonString(p.name) +
                    ",\"chip\":" + jsonString(p.chip) + ",\"sha256\":\"" + p.imageSha256 +
                    "\",\"serial\":" + (p.serial ? jsonString(formatText(p.serial)) : "null") +
                    ",\"lease\":" + (p.serial ? lease : "null"));
            else
                std::printf("%s\t%s\t%s\t%s\t%s\n", p.name.c_str(), p.chip.c_str(),
                            p.imageSha256.c_str(), formatText(p.serial).c_str(),
                            p.serial ? lease.c_str() : "-");
        }
        std::fflush(stdout);
        return {};
    }
    if (o.arguments[0] == "leases") return leasesCommand(c);
    if (o.arguments[0] == "reclaim") return reclaimCommand(c);
    if (o.arguments[0] == "set") {
        const std::string& name = o.arguments[1];
        const uint64_t size = recordSerial(o.lease).value_or(0);  // checked with the options
        std::unique_ptr<StationLink> link = connectDatabase(o, c.ui, c.language, false, error);
        if (!link) return error;
        if (!link->store().setLeaseSize(name, size, error))
            return refuse(c.ui, databaseProblem(Txt::DatabaseUnusable, o.db, error, c.language));
        c.ui.note(
            fillIn(programText(Txt::ProductLeaseSet, c.language), {name, std::to_string(size)}));
        return {};
    }
    // Everything is checked before the database is opened, so that a
    // refused product leaves no trace.
    Product product;
    product.name = o.arguments[1];
    if (!o.lease.empty()) product.leaseSize = recordSerial(o.lease).value_or(0);
    error = c.chooseChip(o.chip);
    if (error.empty()) error = c.loadFile(o.image);
    if (!error.empty()) return error;
    product.chip = c.chipNames();
    product.imageSha256 = loadedImageHash(c.state);
    if (!o.serial.empty()) {
        SerialFormat format;
        parseSerialFormat(o.serial, format, error);  // checked with the options
        const uint32_t chipSize = DataBuffers::flashCountFor(c.state.selectedRecord().flashSize);
        if (uint64_t{format.address} + format.bytes > chipSize)
            return refuse(c.ui, fillIn(programText(Txt::SerialOutsideChip, c.language),
                                       {hexAddress(format.address), std::to_string(format.bytes),
                                        std::to_string(chipSize)}));
        product.serial = format;
    }
    std::unique_ptr<StationLink> link = connectDatabase(o, c.ui, c.language, false, error);
    if (!link) return error;
    if (!link->store().addProduct(product, error))
        return refuse(c.ui, databaseProblem(Txt::DatabaseUnusable, o.db, error, c.language));
    c.ui.note(fillIn(programText(Txt::ProductAdded, c.language),
                     {product.name, product.chip, product.imageSha256,
                      std::to_string(std::max<int32_t>(c.state.buffers.flashDataLength, 0))}));
    return {};
}

std::string checkProduct(ProductContext& c, StationLink& link, const std::string& file) {
    std::optional<Product> product;
    std::string error;
    if (!link.findProduct(c.options.product, product, error))
        return refuse(
            c.ui, databaseProblem(Txt::DatabaseAway, c.options.stationUrl(), error, c.language));
    if (!product)
        return refuse(c.ui,
                      fillIn(programText(Txt::ProductUnknown, c.language), {c.options.product}));
    error = c.chooseChip(c.options.chip.empty() ? product->chip : c.options.chip);
    if (!error.empty()) return error;
    if (c.chipNames() != product->chip)
        return refuse(c.ui, fillIn(programText(Txt::ProductWrongChip, c.language),
                                   {product->name, product->chip, c.chipNames()}));
    error = c.loadFile(file);
    if (!error.empty()) return error;
    const std::string hash = loadedImageHash(c.state);
    if (hash != product->imageSha256)
        return refuse(c.ui, fillIn(programText(Txt::ProductWrongImage, c.language),
                                   {product->name, hash, product->imageSha256}));
    link.product = product;
    return {};
}

}  // namespace ostrel::cli
