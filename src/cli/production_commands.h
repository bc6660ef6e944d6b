#pragma once
// The production database's commands of ostrel-cli: product add and list,
// records, and the product check of auto --product. Each shows what went
// wrong and returns it (exit status 2), or returns empty when done.

#include <functional>
#include <string>

#include "cli/cli_options.h"
#include "cli/terminal_ui.h"
#include "operations/main_state.h"
#include "production/station_link.h"

namespace ostrel::cli {

// What the product commands need of the program: the chip chosen by its
// name (TYPE,MAKER,NAME or a name), a file loaded as auto loads it, and the
// chosen chip's TYPE,MAKER,NAME (UTF-8).
struct ProductContext {
    const Options& options;
    int language;
    TerminalUi& ui;
    MainState& state;
    // Each returns the error it showed, or empty.
    std::function<std::string(const std::string& chip)> chooseChip;
    std::function<std::string(const std::string& file)> loadFile;
    std::function<std::string()> chipNames;
};

// The link to --db with the station's spool, connected; null when the
// database cannot be used, with `problem` shown and set (worded for a chip
// that is then not started when `chipWaits`).
std::unique_ptr<StationLink> connectDatabase(const Options& options, TerminalUi& ui, int language,
                                             bool chipWaits, std::string& problem);

std::string productCommand(ProductContext& context);
// product leases and product reclaim --station S.
std::string leasesCommand(ProductContext& context);
std::string reclaimCommand(ProductContext& context);
std::string recordsCommand(const Options& options, TerminalUi& ui, int language);
// auto --product: the product's chip chosen (a --chip must name it), FILE
// loaded and its data compared with the product's image; the product is then
// the link's. Nothing touches the programmer.
std::string checkProduct(ProductContext& context, StationLink& link, const std::string& file);

}  // namespace ostrel::cli
