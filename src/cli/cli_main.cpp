// ostrel-cli: every chip command of the window from a terminal and from
// scripts, on the same core: the same catalogue, transport, operations and
// command runner, so a command behaves the same in both.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/main_state.h"
#include "base/messages.h"
#include "base/program_paths.h"
#include "base/texts.h"
#include "buffers/checksums.h"
#include "buffers/file_io.h"
#include "catalogue/catalogue_file.h"
#include "catalogue/chip_lookup.h"
#include "catalogue/chip_selector.h"
#include "catalogue/gbk_text.h"
#include "cli/bridges.h"
#include "cli/buffer_reports.h"
#include "cli/cli_options.h"
#include "cli/terminal_ui.h"
#include "operations/command_runner.h"
#include "operations/programmer_ops.h"
#include "shell/settings_file.h"
#include "usb/usb_bulk.h"

namespace ostrel::cli {
namespace {

enum ExitStatus {
    ExitDone = 0,
    ExitNo = 1,  // different, not blank, unknown or no chip
    ExitUsage = 2,
    ExitNoProgrammer = 3,
    ExitTransfer = 4,
    ExitInterrupted = 130,
};

// The window's files: the catalogue and the settings file carry the window's
// name, and the command line sits beside it.
ProgramPaths windowPaths() {
    return ProgramPaths(ProgramPaths::current().folder() + "/ostrel");
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

std::string idText(uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", id & 0xFFFFFF);
    return text;
}

class Program {
  public:
    Program(const Options& options, int language)
        : options_(options),
          language_(language),
          ui_(TerminalOptions{options.quiet, options.json, options.force,
                              !options.json && isatty(STDERR_FILENO) == 1}) {
        ui_.language = language;
    }

    int run();

  private:
    std::string text(Txt key, std::initializer_list<std::string> values = {}) const {
        return fillIn(programText(key, language_), values);
    }
    // No programmer to use: when one is attached but cannot be opened, what to
    // check (the same help as the window's "Not connected" tip).
    std::string noProgrammerText() const {
        return usb_ && attachedButUnusable(usb_->lastOpenFailure()) ? text(Txt::ProgrammerUnusable)
                                                                    : text(Txt::CliNoProgrammer);
    }
    int finish(int status, const std::string& message);
    int listChips();
    bool loadCatalogue(Catalogue& catalogue, UiPort& ui);
    int setUpDevice();
    int chooseChip();
    int detectCommand();
    int infoCommand();
    int upgradeCommand();
    int chipCommand(ChipCommand command);
    int checksumCommand();
    bool loadFileForChip(const std::string& file);
    void printLines(const std::vector<std::string>& lines);
    int statusOf(CommandStatus status);

    const Options& options_;
    int language_;
    TerminalUi ui_;
    std::unique_ptr<MainState> state_;
    std::unique_ptr<TUsbBulk> usb_;
    std::unique_ptr<ProgrammerOps> ops_;
    std::unique_ptr<ChipSelector> selector_;
    std::unique_ptr<CommandRunner> runner_;
    std::string resultFields_;  // more fields of the result object (checksums)
};

// The end of every command: the JSON result object, then the exit status.
int Program::finish(int status, const std::string& message) {
    if (options_.json) {
        static const char* const kStatusNames[] = {"ok", "no", "error", "no programmer",
                                                   "transfer failed"};
        const char* name = status == ExitInterrupted    ? "stopped"
                           : status >= 0 && status <= 4 ? kStatusNames[status]
                                                        : "error";
        char elapsed[32];
        std::snprintf(elapsed, sizeof elapsed, "%.3f",
                      runner_ ? static_cast<double>(runner_->lastElapsedMs()) / 1000.0 : 0.0);
        ui_.jsonLine("\"type\":\"result\",\"command\":" + jsonString(options_.command) +
                     ",\"status\":" + jsonString(name) + ",\"exit\":" + std::to_string(status) +
                     ",\"message\":" + jsonString(message) + ",\"elapsed\":" + elapsed +
                     (resultFields_.empty() ? "" : "," + resultFields_));
    }
    return status;
}

bool Program::loadCatalogue(Catalogue& catalogue, UiPort& ui) {
    const std::string path = windowPaths().catalogueFilePath();
    switch (loadCatalogueFile(path, catalogue, ui, language_)) {
        case CatalogueLoad::Loaded:
            return true;
        case CatalogueLoad::Missing:
            ui_.error(text(Txt::CliCatalogueUnreadable, {path}));
            return false;
        case CatalogueLoad::Destroyed:
            return false;  // the loader has said why
    }
    return false;
}

int Program::listChips() {
    // Only the catalogue: the buffers are not needed for a list.
    auto catalogue = std::make_unique<Catalogue>();
    if (!loadCatalogue(*catalogue, ui_)) return finish(ExitUsage, ui_.lastErrorText());
    const std::vector<int> positions = chipsMatching(
        *catalogue, options_.arguments.empty() ? std::string() : utf8ToGbk(options_.arguments[0]),
        !options_.arguments.empty());
    for (const int position : positions) {
        const ChipRecord& record = catalogue->at(position);
        const std::string name = gbkToUtf8(chipNamesOf(record, position).joined());
        if (options_.json) {
            ui_.jsonLine("\"type\":\"chip\",\"name\":" + jsonString(name) +
                         ",\"size\":" + std::to_string(record.flashSize) +
                         ",\"page\":" + std::to_string(record.flashPage) + ",\"id\":\"" +
                         idText(record.chipId) + "\"");
        } else {
            std::printf("%s\t%u\t%u\t%s\n", name.c_str(), static_cast<unsigned>(record.flashSize),
                        static_cast<unsigned>(record.flashPage), idText(record.chipId).c_str());
        }
    }
    return finish(ExitDone, "");
}

int Program::setUpDevice() {
    state_ = std::make_unique<MainState>();
    state_->language = language_;
    if (!loadCatalogue(state_->catalogue, ui_)) return ExitUsage;
    // Only the speed is taken from the window's settings; nothing is written.
    state_->speed =
        SettingsFile(windowPaths().settingsFilePath()).readInteger("DEVICE", "SPEED", 0);
    usb_ = std::make_unique<TUsbBulk>();
    ops_ = std::make_unique<ProgrammerOps>(*state_, *usb_, ui_);
    selector_ = std::make_unique<ChipSelector>(*state_, ui_);
    runner_ = std::make_unique<CommandRunner>(*state_, *ops_, ui_);
    ui_.onInterrupt = [this] { runner_->requestStop(); };
    // The window's first start: the first type's first chip, whose set-up
    // the ID read and the hardware information carry. A chip named on the
    // command line is chosen from the same start later.
    if (options_.chip.empty()) selector_->select(0, 0, 0);
    return ExitDone;
}

int Program::chooseChip() {
    if (options_.detect) {
        const Detection found = detectChip(*state_, *ops_, *selector_);
        switch (found.outcome) {
            case Detection::Known:
                ui_.note(gbkToUtf8(found.text));
                return ExitDone;
            case Detection::NoProgrammer:
                ui_.error(noProgrammerText());
                return ExitNoProgrammer;
            case Detection::NoAnswer:
                ui_.error(programText(Txt::ChipIdNoAnswer, language_));
                return ExitTransfer;
            case Detection::Unknown:
                ui_.error(text(Txt::CliDetectRefused, {"unknown ID " + found.text}));
                return ExitNo;
            case Detection::TypeOnly:
                ui_.error(text(Txt::CliDetectTypeOnly, {gbkToUtf8(found.text)}));
                return ExitNo;
            case Detection::NoChip:
                ui_.error(text(Txt::CliDetectRefused, {"no chip"}));
                return ExitNo;
        }
        return ExitNo;
    }
    if (options_.chip.empty()) {
        ui_.error(text(Txt::CliChooseChip));
        return ExitUsage;
    }
    const std::vector<ChipNames> found =
        findChipsNamed(state_->catalogue, utf8ToGbk(options_.chip), utf8ToGbk(options_.maker));
    if (found.size() > 1) {
        std::string list = text(Txt::CliAmbiguousChip, {options_.chip});
        for (const ChipNames& chip : found) list += "\n  " + gbkToUtf8(chip.joined());
        ui_.error(list);
        return ExitUsage;
    }
    if (found.empty() || !chooseChipByNames(*selector_, state_->catalogue, found.front())) {
        ui_.error(text(Txt::CliUnknownChip, {options_.chip}));
        return ExitUsage;
    }
    return ExitDone;
}

int Program::detectCommand() {
    if (!options_.chip.empty()) {
        const int chosen = chooseChip();
        if (chosen != ExitDone) return finish(chosen, ui_.lastErrorText());
    }
    const Detection found = detectChip(*state_, *ops_, *selector_);
    std::string line;
    int status = ExitNo;
    switch (found.outcome) {
        case Detection::NoProgrammer:
            ui_.error(noProgrammerText());
            return finish(ExitNoProgrammer, ui_.lastErrorText());
        case Detection::NoAnswer:
            ui_.error(programText(Txt::ChipIdNoAnswer, language_));
            return finish(ExitTransfer, ui_.lastErrorText());
        case Detection::Known:
            line = gbkToUtf8(found.text);
            status = ExitDone;
            break;
        case Detection::Unknown:
            line = "unknown ID " + found.text;
            break;
        case Detection::TypeOnly:
            line = "type " + gbkToUtf8(found.text);
            break;
        case Detection::NoChip:
            line = "no chip";
            break;
    }
    if (options_.json)
        ui_.jsonLine("\"type\":\"detect\",\"chip\":" + jsonString(line));
    else
        std::printf("%s\n", line.c_str());
    return finish(status, line);
}

int Program::infoCommand() {
    HardwareInfo info;
    if (!ops_->readHardwareInfo(info)) {
        ui_.error(noProgrammerText());
        return finish(ExitNoProgrammer, ui_.lastErrorText());
    }
    if (options_.json) {
        ui_.jsonLine("\"type\":\"info\",\"hardware\":" + jsonString(info.hardwareVersion) +
                     ",\"firmware\":" + jsonString(info.firmwareVersion) +
                     ",\"serial\":" + jsonString(info.serialNumber));
    } else {
        std::printf("hardware: %s\nfirmware: %s\nserial: %s\n", info.hardwareVersion.c_str(),
                    info.firmwareVersion.c_str(), info.serialNumber.c_str());
    }
    return finish(ExitDone, "");
}

int Program::upgradeCommand() {
    const UpgradeOutcome outcome = upgradeFirmware(*state_, *ops_, ui_, options_.arguments[0]);
    ui_.flushLog(outcome == UpgradeOutcome::Done);
    switch (outcome) {
        case UpgradeOutcome::Done:
            return finish(ExitDone, ui_.lastLogLine());
        case UpgradeOutcome::NoFile:
            ui_.error(text(Txt::CannotOpenFile, {options_.arguments[0]}));
            return finish(ExitUsage, ui_.lastErrorText());
        case UpgradeOutcome::FileRefused:
            return finish(ExitUsage, ui_.lastErrorText());
        case UpgradeOutcome::NoProgrammer:
            ui_.error(noProgrammerText());
            return finish(ExitNoProgrammer, ui_.lastErrorText());
        case UpgradeOutcome::Failed:
            return finish(ExitTransfer, ui_.lastErrorText());
    }
    return finish(ExitTransfer, ui_.lastErrorText());
}

int Program::statusOf(CommandStatus status) {
    switch (status) {
        case CommandStatus::Done:
            return ExitDone;
        case CommandStatus::Mismatch:
            return ExitNo;
        case CommandStatus::NoProgrammer:
            ui_.error(noProgrammerText());
            return ExitNoProgrammer;
        case CommandStatus::Failed:
            return ExitTransfer;
        case CommandStatus::Stopped:
            ui_.error(text(Txt::CliStopped, {ui_.operation()}));
            return ExitInterrupted;
        case CommandStatus::Skipped:
            ui_.error(text(Txt::CliNotStreamed, {gbkToUtf8(selector_->typeText())}));
            return ExitUsage;
        case CommandStatus::NotRun:
            ui_.error(
                text(Txt::CliNoData, {options_.arguments.empty() ? "" : options_.arguments[0]}));
            return ExitUsage;
    }
    return ExitTransfer;
}

// The window's Open, with the file given instead of a dialog.
bool Program::loadFileForChip(const std::string& file) {
    ui_.fileForDialogs = file;
    const int errorsBefore = ui_.errorCount();
    OpenFileCommand(*state_, ActivePage::Flash, ui_);
    if (ui_.errorCount() != errorsBefore) {
        ui_.flushLog(false);
        ui_.error(text(Txt::CliFileRefused, {file}));
        return false;
    }
    return true;
}

void Program::printLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        if (options_.json)
            ui_.jsonLine(line);
        else
            std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
}

int Program::checksumCommand() {
    if (!loadFileForChip(options_.arguments[0])) return finish(ExitUsage, ui_.lastErrorText());
    ui_.flushLog(false);
    const DataBuffers& buffers = state_->buffers;
    printLines(checksumLines(flashChecksums(buffers.flash(), buffers.flashDataLength,
                                            state_->selectedRecord().flashSize),
                             options_.json));
    return finish(ExitDone, "");
}

int Program::chipCommand(ChipCommand command) {
    const std::string file = options_.arguments.empty() ? "" : options_.arguments[0];
    ui_.fileForDialogs = file;
    if (command == ChipCommand::Read && fileExists(file) && !options_.force) {
        // Refused before the chip is read, not after.
        ui_.error(text(Txt::CliOutputExists, {file}));
        return finish(ExitUsage, ui_.lastErrorText());
    }
    if (command == ChipCommand::Write || command == ChipCommand::Verify ||
        command == ChipCommand::Auto) {
        if (!loadFileForChip(file)) return finish(ExitUsage, ui_.lastErrorText());
        ui_.flushLog(true);
    }
    if (command == ChipCommand::Verify && options_.all) command = ChipCommand::VerifyAll;
    int status = statusOf(runner_->run(command));
    if (command == ChipCommand::VerifyAll && status == ExitNo) {
        ui_.flushLog(false);
        printLines(differenceLines(ops_->differences(), options_.json, language_));
        return finish(status, ui_.lastErrorText());
    }
    // A write checks itself: a chip that did not take the data (a
    // write-protected one answers every write and keeps its old content) must
    // not be reported as written.
    if (command == ChipCommand::Write && status == ExitDone && !options_.noVerify) {
        status = statusOf(runner_->run(ChipCommand::Verify));
        if (status == ExitNo) {
            ui_.flushLog(false);
            char address[24];
            std::snprintf(address, sizeof address, "%llXh",
                          static_cast<unsigned long long>(ops_->mismatchAddress()));
            ui_.error(text(Txt::CliWriteNotTaken, {file, address}));
            return finish(ExitNo, ui_.lastErrorText());
        }
    }
    // A stop that came in the last block did not stop anything: the command is whole.
    if (status != ExitDone) {
        ui_.flushLog(false);
        return finish(status, ui_.lastErrorText());
    }
    const std::string completion = ui_.lastLogLine();
    if (command == ChipCommand::Read) {
        // The window's Save, with the file given instead of a dialog.
        const int errorsBefore = ui_.errorCount();
        SaveFileCommand(*state_, ui_);
        if (ui_.errorCount() != errorsBefore) {
            ui_.flushLog(false);
            return finish(ExitUsage, ui_.lastErrorText());
        }
    }
    // The chip's data as the command saw it: all of it for a read, the
    // verified data for verify and auto.
    const DataBuffers& buffers = state_->buffers;
    const BufferChecksums sums = flashChecksums(buffers.flash(), buffers.flashDataLength,
                                                state_->selectedRecord().flashSize);
    if (command == ChipCommand::Read) resultFields_ = checksumResultFields(sums.chip);
    if (command == ChipCommand::Verify || command == ChipCommand::VerifyAll ||
        command == ChipCommand::Auto)
        resultFields_ = checksumResultFields(sums.data);
    ui_.flushLog(true);
    return finish(ExitDone, completion);
}

int Program::run() {
    const std::string& command = options_.command;
    if (command == "chips") return listChips();
    installInterruptHandler();
    if (setUpDevice() != ExitDone) return finish(ExitUsage, ui_.lastErrorText());
    if (command == "detect") return detectCommand();
    if (command == "info") return infoCommand();
    if (command == "upgrade") return upgradeCommand();
    const int chosen = chooseChip();
    if (chosen != ExitDone) return finish(chosen, ui_.lastErrorText());
    if (command == "checksum") return checksumCommand();
    static const struct {
        const char* name;
        ChipCommand command;
    } kChipCommands[] = {
        {"read", ChipCommand::Read},        {"write", ChipCommand::Write},
        {"verify", ChipCommand::Verify},    {"erase", ChipCommand::Erase},
        {"blank", ChipCommand::BlankCheck}, {"auto", ChipCommand::Auto},
    };
    for (const auto& c : kChipCommands)
        if (command == c.name) return chipCommand(c.command);
    return finish(ExitUsage, "");
}

}  // namespace
}  // namespace ostrel::cli

int main(int argc, char** argv) {
    using namespace ostrel::cli;
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "ostrel-cli: %s (ostrel-cli --help shows the usage)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("ostrel-cli %s\n", OSTREL_VERSION);
        return 0;
    }
    const int language = languageFor(options.lang, std::getenv("LC_ALL"),
                                     std::getenv("LC_MESSAGES"), std::getenv("LANG"));
    Program program(options, language);
    return program.run();
}
