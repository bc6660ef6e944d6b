// ostrel-cli: every chip command of the window from a terminal and from
// scripts, on the same core: the same catalogue, transport, operations and
// command runner, so a command behaves the same in both.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/program_paths.h"
#include "base/safe_file.h"
#include "base/settings_file.h"
#include "base/text_format.h"
#include "base/texts.h"
#include "buffers/file_io.h"
#include "catalogue/catalogue_file.h"
#include "catalogue/chip_identification.h"
#include "catalogue/chip_lookup.h"
#include "catalogue/chip_selector.h"
#include "catalogue/gbk_text.h"
#include "cli/bridges.h"
#include "cli/buffer_reports.h"
#include "cli/cli_devices.h"
#include "cli/cli_options.h"
#include "cli/doctor_command.h"
#include "cli/file_words.h"
#include "cli/outcome_lines.h"
#include "cli/production.h"
#include "cli/production_commands.h"
#include "cli/terminal_ui.h"
#include "operations/chip_check.h"
#include "operations/command_runner.h"
#include "operations/main_state.h"
#include "operations/programmer_ops.h"
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

class Program {
  public:
    Program(const Options& options, int language)
        : options_(options),
          language_(language),
          ui_(TerminalOptions{options.quiet, options.json, options.force,
                              !options.json && isatty(STDERR_FILENO) == 1}),
          chipName_(options.chip),
          makerName_(options.maker) {
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
        const std::string chosen = usb_ ? chosenDeviceFailure(*usb_, language_) : std::string();
        if (!chosen.empty()) return chosen;
        return usb_ && attachedButUnusable(usb_->lastOpenFailure()) ? text(Txt::ProgrammerUnusable)
                                                                    : text(Txt::CliNoProgrammer);
    }
    // TYPE,MAKER,NAME of the selected chip (GBK), as a known ID chose it.
    std::string selectedChipNames() const {
        return chipNamesOf(state_->selectedRecord(), state_->selected).joined();
    }
    // The transport with the wire trace -v or --trace asks for; false when the
    // trace file cannot be written.
    bool openTransport() {
        bool failed = false;
        trace_ = openTrace(options_, ui_, failed);
        usb_ = std::make_unique<TUsbBulk>();
        usb_->setTrace(trace_.get());
        return !failed;
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
    int checkSocket();
    std::string outcomeLine(ChipCommand command, const std::string& file, FileFormat format) const;
    int checksumCommand();
    // The window's Open of `file` for the chosen chip, with the command line's
    // format rules; false (the user has been told) when the file was refused.
    bool loadFileForChip(const std::string& file, FileFormat& format);
    void printLines(const std::vector<std::string>& lines);
    int statusOf(CommandStatus status);

    const Options& options_;
    int language_;
    TerminalUi ui_;
    std::unique_ptr<MainState> state_;
    std::unique_ptr<WireTrace> trace_;  // outlives the transport that writes it
    std::unique_ptr<TUsbBulk> usb_;
    std::unique_ptr<ProgrammerOps> ops_;
    std::unique_ptr<ChipSelector> selector_;
    std::unique_ptr<CommandRunner> runner_;
    // Measured around the chip command, stopped or failed ones too; -1 before one ran.
    int64_t elapsedMs_ = -1;
    // The bytes the file gave, as loaded (the command may round them to pages).
    int32_t loadedBytes_ = 0;
    CliProduction production_;
    std::string resultFields_;  // more fields of the result object (checksums)
    // The chip to choose: --chip and --maker, or a product's chip.
    std::string chipName_, makerName_;
    // --db: the station's link to the production database.
    std::unique_ptr<StationLink> database_;
    // auto --product: the product's chip is chosen and its file loaded.
    bool productLoaded_ = false;
    FileFormat productFormat_ = FileFormat::Raw;
    ProductContext productContext();
};

ProductContext Program::productContext() {
    return ProductContext{
        options_,
        language_,
        ui_,
        *state_,
        [this](const std::string& chip) {
            makerName_ = chip == options_.chip ? options_.maker : std::string();
            chipName_ = chip;
            return chooseChip() == ExitDone;
        },
        [this](const std::string& file) { return loadFileForChip(file, productFormat_); },
        [this] { return gbkToUtf8(selectedChipNames()); }};
}

// A log line without the clock time the window adds: "... (12:03:44)".
std::string withoutClockTime(const std::string& line) {
    const std::size_t open = line.rfind(" (");
    if (open == std::string::npos || line.empty() || line.back() != ')') return line;
    return line.substr(0, open);
}

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
                      elapsedMs_ >= 0 ? static_cast<double>(elapsedMs_) / 1000.0 : 0.0);
        const std::string production = production_.resultFields();
        ui_.jsonLine("\"type\":\"result\",\"command\":" + jsonString(options_.command) +
                     ",\"status\":" + jsonString(name) + ",\"exit\":" + std::to_string(status) +
                     ",\"message\":" + jsonString(message) + ",\"elapsed\":" + elapsed +
                     (resultFields_.empty() ? "" : "," + resultFields_) + production);
    }
    return status;
}

bool Program::loadCatalogue(Catalogue& catalogue, UiPort& ui) {
    const std::string path = windowPaths().catalogueFilePath();
    switch (loadCatalogueFile(path, catalogue)) {
        case CatalogueLoad::Loaded:
            return true;
        case CatalogueLoad::Missing:
            ui_.error(text(Txt::CliCatalogueUnreadable, {path}));
            return false;
        case CatalogueLoad::Destroyed:
            ui.messageBox(messageText(Msg::MsgConfigDestroyed, language_), "", BoxIcon::None);
            return false;
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
        if (options_.id && record.chipId != *options_.id) continue;
        const std::string name = gbkToUtf8(chipNamesOf(record, position).joined());
        if (options_.json) {
            ui_.jsonLine("\"type\":\"chip\",\"name\":" + jsonString(name) +
                         ",\"size\":" + std::to_string(record.flashSize) +
                         ",\"page\":" + std::to_string(record.flashPage) + ",\"id\":\"" +
                         chipIdText(record.chipId) + "\"");
        } else {
            std::printf("%s\t%u\t%u\t%s\n", name.c_str(), static_cast<unsigned>(record.flashSize),
                        static_cast<unsigned>(record.flashPage), chipIdText(record.chipId).c_str());
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
    if (!openTransport()) return ExitUsage;
    ops_ = std::make_unique<ProgrammerOps>(*state_, *usb_, ui_);
    selector_ = std::make_unique<ChipSelector>(state_->catalogue, chipChangedInto(*state_, ui_));
    runner_ = std::make_unique<CommandRunner>(*state_, *ops_, ui_);
    runner_->typeText = [this] { return gbkToUtf8(selector_->typeText()); };
    ui_.onInterrupt = [this] { runner_->requestStop(); };
    // The window's first start: the first type's first chip, whose set-up
    // the ID read and the hardware information carry. A chip named on the
    // command line is chosen from the same start later.
    if (options_.chip.empty()) selector_->select(0, 0, 0);
    return ExitDone;
}

int Program::chooseChip() {
    if (options_.detect) {
        const Identification found = detectChip(*state_, *ops_, *selector_);
        switch (found.kind) {
            case Detection::Known:
                ui_.note(gbkToUtf8(selectedChipNames()));
                return ExitDone;
            case Detection::NoProgrammer:
                ui_.error(noProgrammerText());
                return ExitNoProgrammer;
            case Detection::NoAnswer:
                ui_.error(programText(Txt::ChipIdNoAnswer, language_));
                return ExitTransfer;
            case Detection::UnknownId:
                ui_.error(text(Txt::CliDetectRefused, {"unknown ID " + found.idText}));
                return ExitNo;
            case Detection::TypeOnly:
                ui_.error(text(Txt::CliDetectTypeOnly, {gbkToUtf8(found.typeText)}));
                return ExitNo;
            case Detection::NoChip:
                ui_.error(text(Txt::CliDetectRefused, {"no chip"}));
                return ExitNo;
        }
        return ExitNo;
    }
    if (chipName_.empty()) {
        ui_.error(text(Txt::CliChooseChip));
        return ExitUsage;
    }
    const std::vector<ChipNames> found =
        findChipsNamed(state_->catalogue, utf8ToGbk(chipName_), utf8ToGbk(makerName_));
    if (found.size() > 1) {
        std::string list = text(Txt::CliAmbiguousChip, {chipName_});
        for (const ChipNames& chip : found) list += "\n  " + gbkToUtf8(chip.joined());
        ui_.error(list);
        return ExitUsage;
    }
    if (found.empty() || !chooseChipByNames(*selector_, state_->catalogue, found.front())) {
        std::string message = text(Txt::CliUnknownChip, {chipName_});
        const std::vector<ChipNames> anyMaker =
            makerName_.empty() ? std::vector<ChipNames>{}
                               : findChipsNamed(state_->catalogue, utf8ToGbk(chipName_), "");
        if (!anyMaker.empty()) {
            std::string makers;
            for (const ChipNames& chip : anyMaker)
                makers += (makers.empty() ? "" : ", ") + gbkToUtf8(chip.manufacturer);
            message += " " + text(Txt::CliOtherMaker, {chipName_, makerName_, makers});
        } else {
            std::vector<std::string> names;
            for (int i = 0; i < state_->catalogue.count(); ++i)
                names.push_back(gbkToUtf8(chipNamesOf(state_->catalogue.at(i), i).name));
            const std::vector<std::string> close = closeNames(chipName_, names);
            if (!close.empty()) {
                std::string list;
                for (const std::string& name : close) list += (list.empty() ? "" : ", ") + name;
                message += "\n" + text(Txt::CliDidYouMean, {list});
            }
        }
        ui_.error(message);
        return ExitUsage;
    }
    return ExitDone;
}

int Program::detectCommand() {
    if (!options_.chip.empty()) {
        const int chosen = chooseChip();
        if (chosen != ExitDone) return finish(chosen, ui_.lastErrorText());
    }
    const Identification found = detectChip(*state_, *ops_, *selector_);
    std::string line;
    int status = ExitNo;
    switch (found.kind) {
        case Detection::NoProgrammer:
            ui_.error(noProgrammerText());
            return finish(ExitNoProgrammer, ui_.lastErrorText());
        case Detection::NoAnswer:
            ui_.error(programText(Txt::ChipIdNoAnswer, language_));
            return finish(ExitTransfer, ui_.lastErrorText());
        case Detection::Known:
            status = ExitDone;
            break;
        case Detection::UnknownId:
        case Detection::TypeOnly:
        case Detection::NoChip:
            break;
    }
    line = detectionLine(found, selectedChipNames());
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
            return finish(ExitDone, withoutClockTime(ui_.lastLogLine()));
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
            // The runner has said why nothing moved.
            return ExitUsage;
        case CommandStatus::NotRun:
            ui_.error(
                text(Txt::CliNoData, {options_.arguments.empty() ? "" : options_.arguments[0]}));
            return ExitUsage;
    }
    return ExitTransfer;
}

// The ID read before a chip command: the chip in the socket must be the one
// chosen. Refused with exit status 1, naming what was found and what was chosen.
int Program::checkSocket() {
    const SocketCheck check =
        ostrel::checkSocket(*ops_, *state_, selector_->lists().types, language_);
    switch (check.read) {
        case SocketCheck::Read::NoProgrammer:
            ui_.error(noProgrammerText());
            return ExitNoProgrammer;
        case SocketCheck::Read::NoAnswer:
            ui_.error(programText(Txt::ChipIdNoAnswer, language_));
            return ExitTransfer;
        case SocketCheck::Read::Answered:
            break;
    }
    if (check.fit == ChipFit::Fits) return ExitDone;
    if (check.fit == ChipFit::NoChip)
        ui_.error(text(Txt::CliChipCheckNoChip, {check.chosen}));
    else
        ui_.error(text(Txt::CliChipCheckWrong, {check.found, check.chosen}));
    return ExitNo;
}

std::string Program::outcomeLine(ChipCommand command, const std::string& file,
                                 FileFormat format) const {
    const std::string chip = gbkToUtf8(selector_->nameText());
    const std::string seconds = secondsText(elapsedMs_);
    const std::string data = sizeText(static_cast<uint64_t>(std::max<int32_t>(loadedBytes_, 0)));
    switch (command) {
        case ChipCommand::Read:
            return text(Txt::CliOutcomeRead,
                        {sizeText(state_->selectedRecord().flashSize), chip, file,
                         formatText(saveFormatOf(file), language_), seconds});
        case ChipCommand::Write:
            return text(Txt::CliOutcomeWrite,
                        {data, file, formatText(format, language_), chip, seconds});
        case ChipCommand::Verify:
        case ChipCommand::VerifyAll:
            return text(Txt::CliOutcomeVerify,
                        {data, chip, file, formatText(format, language_), seconds});
        case ChipCommand::Auto:
            return text(Txt::CliOutcomeAuto,
                        {data, file, formatText(format, language_), chip, seconds});
        case ChipCommand::Erase:
            return text(Txt::CliOutcomeErase, {chip, seconds});
        case ChipCommand::BlankCheck:
            return text(Txt::CliOutcomeBlank, {chip});
    }
    return {};
}

bool Program::loadFileForChip(const std::string& file, FileFormat& format) {
    // The window's Open, with the file given instead of a dialog; record text
    // under a raw name is refused instead of asked about.
    LoadOptions load;
    if (!options_.format.empty()) {
        load.chosen = true;
        load.format = options_.format == "hex"    ? FileFormat::IntelHex
                      : options_.format == "srec" ? FileFormat::SRecord
                                                  : FileFormat::Raw;
    }
    FileOpen open(state_->selectedRecord(), state_->buffers, ActivePage::Flash);
    const LoadResult loaded = open.load(file, load);
    format = loaded.format;
    const bool taken =
        !loaded.failed() &&
        (!open.longerThanChip() || ui_.askInfo(messageText(Msg::MsgFileTooLong, language_)));
    if (loaded.failed()) ui_.error(loadFailureLine(loaded, file, language_));
    if (!taken) {
        ui_.error(text(Txt::CliFileRefused, {file}));
        return false;
    }
    open.commit();
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
    FileFormat format = FileFormat::Raw;
    if (!loadFileForChip(options_.arguments[0], format))
        return finish(ExitUsage, ui_.lastErrorText());
    const DataBuffers& buffers = state_->buffers;
    printLines(checksumLines(flashChecksums(buffers.flash(), buffers.flashDataLength,
                                            state_->selectedRecord().flashSize),
                             options_.json, gbkToUtf8(selector_->nameText())));
    return finish(ExitDone, "");
}

int Program::chipCommand(ChipCommand command) {
    const std::string file = options_.arguments.empty() ? "" : options_.arguments[0];
    ui_.eraseUnit = state_->selectedRecord().chipClass == 0 ? "polls" : "bytes";
    if (command == ChipCommand::Read) {
        // Refused before the chip is read, not after. The JSON lines and the
        // chip's bytes cannot share standard output.
        const std::string refusal = file == kStandardStream && options_.json
                                        ? text(Txt::CliJsonHoldsOutput)
                                        : outputRefusal(file, options_.force, language_);
        if (!refusal.empty()) {
            ui_.error(refusal);
            return finish(ExitUsage, ui_.lastErrorText());
        }
    }
    FileFormat format = productFormat_;
    if (command == ChipCommand::Write || command == ChipCommand::Verify ||
        command == ChipCommand::Auto) {
        if (!productLoaded_ && !loadFileForChip(file, format))
            return finish(ExitUsage, ui_.lastErrorText());
        loadedBytes_ = state_->buffers.flashDataLength;
    }
    if (!options_.log.empty() && !production_.checkSerial(options_, *state_, ui_))
        return finish(ExitUsage, ui_.lastErrorText());
    if (!options_.detect && !options_.force) {
        const int fit = checkSocket();
        if (fit != ExitDone) return finish(fit, ui_.lastErrorText());
    }
    bool noProgrammer = false;
    if ((!options_.log.empty() || database_) &&
        !production_.begin(options_, *state_, *ops_, *runner_, ui_, noProgrammer,
                           database_.get())) {
        if (noProgrammer) ui_.error(noProgrammerText());
        ui_.flushLog(false);
        return finish(noProgrammer ? ExitNoProgrammer : ExitUsage, ui_.lastErrorText());
    }
    if (command == ChipCommand::Verify && options_.all) command = ChipCommand::VerifyAll;
    // A write checks itself: a chip that did not take the data (a
    // write-protected one answers every write and keeps its old content) must
    // not be reported as written.
    runner_->verifyAfterWrite = !options_.noVerify;
    // A verify difference is said once, with both bytes, instead of the window's box.
    ui_.holdErrors();
    const int64_t started = ui_.monotonicMs();
    const CommandStatus result = runner_->run(command);
    elapsedMs_ = ui_.monotonicMs() - started;
    const bool wrote = command == ChipCommand::Write || command == ChipCommand::Auto;
    const bool differs = result == CommandStatus::Mismatch &&
                         (command == ChipCommand::Verify || wrote) && ops_->mismatchAddress() >= 0;
    ui_.releaseErrors(!differs);
    if (differs) {
        const int64_t address = ops_->mismatchAddress();
        const uint8_t fileValue = state_->buffers.flash()[static_cast<std::size_t>(address)];
        ui_.error(
            text(Txt::CliVerifyDiffers,
                 {gbkToUtf8(selector_->nameText()), file, hexAddress(address),
                  hexDigits(ops_->mismatchChipByte(), 2) + "h", hexDigits(fileValue, 2) + "h"}),
            ",\"address\":" + std::to_string(address) +
                ",\"chip\":" + std::to_string(ops_->mismatchChipByte()) +
                ",\"file\":" + std::to_string(fileValue));
        // After a write, what the difference says about its cause.
        const std::string cause =
            wrote ? writeFaultText(writeFaultOf(ops_->mismatchChipByte(), fileValue), language_)
                  : std::string();
        if (!cause.empty()) ui_.error(cause);
    }
    // A stop that came in the last block did not stop anything: the command is whole.
    // A chip the database was away for was not started.
    if (production_.databaseAway()) return finish(ExitUsage, ui_.lastErrorText());
    int status = statusOf(result);
    ui_.flushLog(false);
    if (command == ChipCommand::VerifyAll && status == ExitNo) {
        printLines(differenceLines(ops_->differences(), options_.json, language_));
        return finish(status, ui_.lastErrorText());
    }
    if (status != ExitDone) return finish(status, ui_.lastErrorText());
    if (command == ChipCommand::Read) {
        const SaveResult saved = savePart(options_, *state_, file);
        if (saved.failed()) {
            ui_.error(saveFailureLine(saved, file, language_));
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
    const std::string line = outcomeLine(command, file, format);
    ui_.note(line);
    return finish(ExitDone, line);
}

int Program::run() {
    const std::string& command = options_.command;
    if (command == "chips") return listChips();
    if (command == "list") {
        if (!openTransport()) return finish(ExitUsage, ui_.lastErrorText());
        return listProgrammersCommand(*usb_, ui_, options_.json, language_)
                   ? finish(ExitDone, "")
                   : finish(ExitNoProgrammer, ui_.lastErrorText());
    }
    if (command == "records") {
        const int status = recordsCommand(options_, ui_, language_);
        return finish(status, status == ExitDone ? "" : ui_.lastErrorText());
    }
    installInterruptHandler();
    if (!options_.log.empty() && !production_.openLog(options_, ui_, language_))
        return finish(ExitUsage, ui_.lastErrorText());
    // The database before the programmer: a chip is not started without it.
    if (!options_.db.empty() && command != "product" &&
        !(database_ = connectDatabase(options_, ui_, language_, true)))
        return finish(ExitUsage, ui_.lastErrorText());
    if (setUpDevice() != ExitDone) return finish(ExitUsage, ui_.lastErrorText());
    if (command == "product") {
        ProductContext context = productContext();
        const int status = productCommand(context);
        return finish(status, status == ExitDone ? "" : ui_.lastErrorText());
    }
    // The diagnosis looks for the programmer itself and says why it is not
    // there; a checksum needs none.
    if (command == "doctor") {
        // Only a programmer named with --device; without it the checks look at
        // the first one, as every command takes it.
        if (!options_.device.empty() && !chooseDevice(*usb_, options_.device, ui_, language_))
            return finish(ExitNoProgrammer, ui_.lastErrorText());
        DoctorContext context{
            options_, language_, ui_,        *state_,
            *usb_,    *ops_,     *selector_, [this] { return chooseChip() == ExitDone; }};
        return finish(runDoctor(context), ui_.lastErrorText());
    }
    if (command == "checksum") {
        const int chosen = chooseChip();
        return chosen == ExitDone ? checksumCommand() : finish(chosen, ui_.lastErrorText());
    }
    if (!options_.product.empty()) {
        ProductContext context = productContext();
        const int status = checkProduct(context, *database_, options_.arguments[0]);
        if (status != ExitDone) return finish(status, ui_.lastErrorText());
        productLoaded_ = true;
    }
    if (!chooseDevice(*usb_, options_.device, ui_, language_))
        return finish(ExitNoProgrammer, ui_.lastErrorText());
    if (command == "detect") return detectCommand();
    if (command == "info") return infoCommand();
    if (command == "upgrade") return upgradeCommand();
    const int chosen = productLoaded_ ? ExitDone : chooseChip();
    if (chosen != ExitDone) return finish(chosen, ui_.lastErrorText());
    if (!applyPart(options_, *state_, ui_, language_))
        return finish(ExitUsage, ui_.lastErrorText());
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
    using ostrel::jsonString;
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "ostrel-cli: %s (ostrel-cli --help shows the usage)\n", error.c_str());
        // A script that asked for JSON gets its error as JSON too.
        for (int i = 1; i < argc; ++i) {
            if (std::string(argv[i]) != "--json") continue;
            std::printf("{\"type\":\"error\",\"message\":%s}\n", jsonString(error).c_str());
            std::printf(
                "{\"type\":\"result\",\"command\":%s,\"status\":\"error\",\"exit\":2,"
                "\"message\":%s,\"elapsed\":0.000}\n",
                jsonString(options.command).c_str(), jsonString(error).c_str());
            break;
        }
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
