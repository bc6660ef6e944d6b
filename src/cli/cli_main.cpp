// ostrel-cli: every chip command of the window from a terminal and from
// scripts, on the same core: the same catalogue, transport, operations and
// command runner, so a command behaves the same in both.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/platform.h"
#include "base/program_paths.h"
#include "base/safe_file.h"
#include "base/settings_file.h"
#include "base/text_format.h"
#include "base/texts.h"
#include "buffers/chip_map.h"
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
#include "cli/cli_presenter.h"
#include "cli/doctor_command.h"
#include "cli/file_words.h"
#include "cli/outcome_lines.h"
#include "cli/production.h"
#include "cli/production_commands.h"
#include "cli/terminal_ui.h"
#include "operations/chip_check.h"
#include "operations/command_runner.h"
#include "operations/core.h"
#include "operations/failure_words.h"
#include "operations/main_state.h"
#include "operations/programmer_ops.h"
#include "usb/usb_bulk.h"

namespace ostrel::cli {
namespace {

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
                              !options.json && ostrel::platform::standardErrorIsTerminal()}),
          chipName_(options.chip),
          makerName_(options.maker) {
        ui_.language = language;
    }

    int run();

  private:
    std::string text(Txt key, std::initializer_list<std::string> values = {}) const {
        return fillIn(programText(key, language_), values);
    }
    // No programmer to use: without the USB library, that; when one is
    // attached but cannot be opened, what to check (the same help as the
    // window's "Not connected" tip).
    std::string noProgrammerText() const {
        const std::string missing = usb_ ? missingLibraryText(*usb_, language_) : std::string();
        if (!missing.empty()) return missing;
        const std::string chosen = usb_ ? chosenDeviceFailure(*usb_, language_) : std::string();
        if (!chosen.empty()) return chosen;
        return usb_ && attachedButUnusable(usb_->lastOpenFailure()) ? text(Txt::ProgrammerUnusable)
                                                                    : text(Txt::CliNoProgrammer);
    }
    // TYPE,MAKER,NAME of the selected chip (GBK), as a known ID chose it.
    std::string selectedChipNames() const {
        return chipNamesOf(state_->selectedRecord(), state_->selected).joined();
    }
    // The transport with the wire trace -v or --trace asks for; the error
    // when the trace file cannot be written.
    std::string openTransport() {
        std::string error;
        trace_ = openTrace(options_, language_, error);
        if (!core_) {
            core_ = std::make_unique<Core>(ui_);
            state_ = &core_->state();
            usb_ = &core_->usb();
            ops_ = &core_->ops();
            selector_ = &core_->selector();
            runner_ = &core_->runner();
            state_->language = language_;
            // Nobody sees a view, nor the buffer after a failed read: the
            // buffer is the one copy of the chip.
            state_->buffers.views = false;
            state_->buffers.fixedFlash = false;
            ops_->setProgress(ui_);
            ops_->setStagedReads(false);
            ui_.onInterrupt = [this] { runner_->requestStop(); };
        }
        usb_->setTrace(trace_.get());
        return error;
    }
    int finish(int status, const std::string& message);
    // An error of the command line's own: shown, and the command ends with it.
    int fail(int status, const std::string& message) {
        ui_.error(message);
        return finish(status, message);
    }
    int listChips();
    // The error when the catalogue cannot be loaded (shown already when its
    // loader said why), else empty.
    std::string loadCatalogue(Catalogue& catalogue, UiPort& ui);
    // The error when the core cannot be set up, else empty.
    std::string setUpDevice();
    // The exit status and, when it is not ExitDone, the error (shown).
    int chooseChip(std::string& message);
    int detectCommand();
    int infoCommand();
    int upgradeCommand();
    int chipCommand(ChipCommand command);
    // The ID read before a chip command; ExitDone, or the status with the
    // error in `message` (shown).
    int checkSocket(std::string& message);
    // The report of `command` worded for the command line, with the exit status.
    int present(const CommandReport& report, const std::string& file, FileFormat format,
                const std::string& fileProblem);
    int checksumCommand();
    // The window's Open of `file` for the chosen chip, with the command line's
    // format rules; false (the user has been told) when the file was refused.
    // The error shown when the file cannot be loaded for the chosen chip, else empty.
    std::string loadFileForChip(const std::string& file, FileFormat& format,
                                const ChipRecord* record = nullptr);
    // map FILE: the file's map, for the chosen chip's size or, without a
    // chip, for the bytes the file holds.
    int mapFileCommand();
    void printMap(uint64_t size, const std::string& what, const std::vector<MarkedSpan>& reads);
    void printLines(const std::vector<std::string>& lines);

    const Options& options_;
    int language_;
    TerminalUi ui_;
    std::unique_ptr<WireTrace> trace_;  // outlives the transport that writes it
    std::unique_ptr<Core> core_;
    // The core's parts, once it is built.
    MainState* state_ = nullptr;
    TUsbBulk* usb_ = nullptr;
    ProgrammerOps* ops_ = nullptr;
    ChipSelector* selector_ = nullptr;
    CommandRunner* runner_ = nullptr;
    // Measured around the chip command, stopped or failed ones too; -1 before one ran.
    int64_t elapsedMs_ = -1;
    CliProduction production_;
    std::string resultFields_;  // more fields of the result object (checksums)
    // The chip to choose: --chip and --maker, or a product's chip.
    std::string chipName_, makerName_;
    // --db or --line: the station's link to the production line.
    std::unique_ptr<StationLink> database_;
    // auto --product: the product's chip is chosen and its file loaded.
    bool productLoaded_ = false;
    FileFormat productFormat_ = FileFormat::Raw;
    ProductContext productContext();
    // map without FILE: the chip is read, then mapped, and no file is saved.
    bool mapping_ = false;
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
            std::string message;
            chooseChip(message);
            return message;
        },
        [this](const std::string& file) { return loadFileForChip(file, productFormat_); },
        [this] { return gbkToUtf8(selectedChipNames()); }};
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
                     ",\"message\":" + jsonString(ui_.shown(message)) + ",\"elapsed\":" + elapsed +
                     (resultFields_.empty() ? "" : "," + resultFields_) + production);
    }
    return status;
}

std::string Program::loadCatalogue(Catalogue& catalogue, UiPort& ui) {
    const std::string path = windowPaths().catalogueFilePath();
    switch (loadCatalogueFile(path, catalogue)) {
        case CatalogueLoad::Loaded:
            return {};
        case CatalogueLoad::Missing: {
            const std::string error = text(Txt::CliCatalogueUnreadable, {path});
            ui_.error(error);
            return error;
        }
        case CatalogueLoad::Destroyed:
            ui.messageBox(messageText(Msg::MsgConfigDestroyed, language_), "", BoxIcon::None);
            break;
    }
    // The loader has said why.
    return text(Txt::CliCatalogueUnreadable, {path});
}

int Program::listChips() {
    // Only the catalogue: the buffers are not needed for a list.
    auto catalogue = std::make_unique<Catalogue>();
    const std::string unreadable = loadCatalogue(*catalogue, ui_);
    if (!unreadable.empty()) return finish(ExitUsage, unreadable);
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

std::string Program::setUpDevice() {
    const std::string traceError = openTransport();
    if (!traceError.empty()) {
        ui_.error(traceError);
        return traceError;
    }
    const std::string unreadable = loadCatalogue(state_->catalogue, ui_);
    if (!unreadable.empty()) return unreadable;
    // Only the speed is taken from the window's settings; nothing is written.
    state_->speed =
        SettingsFile(windowPaths().settingsFilePath()).readInteger("DEVICE", "SPEED", 0);
    // The window's first start: the first type's first chip, whose set-up
    // the ID read and the hardware information carry. A chip named on the
    // command line is chosen from the same start later.
    if (options_.chip.empty()) selector_->select(0, 0, 0);
    return {};
}

int Program::chooseChip(std::string& message) {
    const auto refuse = [&](int status, const std::string& error) {
        ui_.error(error);
        message = error;
        return status;
    };
    if (options_.detect) {
        const Identification found = detectChip(*state_, *ops_, *selector_);
        switch (found.kind) {
            case Detection::Known:
                ui_.note(gbkToUtf8(selectedChipNames()));
                return ExitDone;
            case Detection::NoProgrammer:
                return refuse(ExitNoProgrammer, noProgrammerText());
            case Detection::NoAnswer:
                return refuse(ExitTransfer, programText(Txt::ChipIdNoAnswer, language_));
            case Detection::UnknownId:
                return refuse(ExitNo, text(Txt::CliDetectRefused, {"unknown ID " + found.idText}));
            case Detection::TypeOnly:
                return refuse(ExitNo, text(Txt::CliDetectTypeOnly, {gbkToUtf8(found.typeText)}));
            case Detection::NoChip:
                return refuse(ExitNo, text(Txt::CliDetectRefused, {"no chip"}));
            case Detection::NoChipAnswer:
                return refuse(ExitNo, found.message);
        }
        return ExitNo;
    }
    if (chipName_.empty()) return refuse(ExitUsage, text(Txt::CliChooseChip));
    const std::vector<ChipNames> found =
        findChipsNamed(state_->catalogue, utf8ToGbk(chipName_), utf8ToGbk(makerName_));
    if (found.size() > 1) {
        std::string list = text(Txt::CliAmbiguousChip, {chipName_});
        for (const ChipNames& chip : found) list += "\n  " + gbkToUtf8(chip.joined());
        return refuse(ExitUsage, list);
    }
    if (found.empty() || !chooseChipByNames(*selector_, state_->catalogue, found.front())) {
        std::string unknown = text(Txt::CliUnknownChip, {chipName_});
        const std::vector<ChipNames> anyMaker =
            makerName_.empty() ? std::vector<ChipNames>{}
                               : findChipsNamed(state_->catalogue, utf8ToGbk(chipName_), "");
        if (!anyMaker.empty()) {
            std::string makers;
            for (const ChipNames& chip : anyMaker)
                makers += (makers.empty() ? "" : ", ") + gbkToUtf8(chip.manufacturer);
            unknown += " " + text(Txt::CliOtherMaker, {chipName_, makerName_, makers});
        } else {
            std::vector<std::string> names;
            for (int i = 0; i < state_->catalogue.count(); ++i)
                names.push_back(gbkToUtf8(chipNamesOf(state_->catalogue.at(i), i).name));
            const std::vector<std::string> close = closeNames(chipName_, names);
            if (!close.empty()) {
                std::string list;
                for (const std::string& name : close) list += (list.empty() ? "" : ", ") + name;
                unknown += "\n" + text(Txt::CliDidYouMean, {list});
            }
        }
        return refuse(ExitUsage, unknown);
    }
    return ExitDone;
}

int Program::detectCommand() {
    if (!options_.chip.empty()) {
        std::string message;
        const int chosen = chooseChip(message);
        if (chosen != ExitDone) return finish(chosen, message);
    }
    const Identification found = detectChip(*state_, *ops_, *selector_);
    int status = ExitNo;
    switch (found.kind) {
        case Detection::NoProgrammer:
            return fail(ExitNoProgrammer, noProgrammerText());
        case Detection::NoAnswer:
            return fail(ExitTransfer, programText(Txt::ChipIdNoAnswer, language_));
        case Detection::Known:
            status = ExitDone;
            break;
        case Detection::NoChipAnswer:
            // The line stays "no chip" for scripts; the advice goes with it.
            ui_.error(found.message);
            break;
        case Detection::UnknownId:
        case Detection::TypeOnly:
        case Detection::NoChip:
            break;
    }
    const std::string line = detectionLine(found, selectedChipNames());
    if (options_.json)
        ui_.jsonLine("\"type\":\"detect\",\"chip\":" + jsonString(line));
    else
        std::printf("%s\n", line.c_str());
    return finish(status, line);
}

int Program::infoCommand() {
    HardwareInfo info;
    if (!ops_->readHardwareInfo(info)) return fail(ExitNoProgrammer, noProgrammerText());
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
    std::string result;
    const UpgradeOutcome outcome =
        upgradeFirmware(*state_, *ops_, ui_, options_.arguments[0], result);
    // The window's log line carries a clock time; the command line says the
    // same in a line of its own.
    ui_.flushLog(false);
    switch (outcome) {
        case UpgradeOutcome::Done:
            ui_.note(result);
            return finish(ExitDone, result);
        case UpgradeOutcome::NoFile:
            return fail(ExitUsage, text(Txt::CannotOpenFile, {options_.arguments[0]}));
        case UpgradeOutcome::FileRefused:
            return finish(ExitUsage, result);
        case UpgradeOutcome::NoProgrammer:
            return fail(ExitNoProgrammer, noProgrammerText());
        case UpgradeOutcome::Failed:
            break;
    }
    return finish(ExitTransfer, result);
}

// The ID read before a chip command: the chip in the socket must be the one
// chosen. Refused with exit status 1, naming what was found and what was chosen.
int Program::checkSocket(std::string& message) {
    const auto refuse = [&](int status, const std::string& error) {
        ui_.error(error);
        message = error;
        return status;
    };
    const SocketCheck check =
        ostrel::checkSocket(*ops_, *state_, selector_->lists().types, language_);
    switch (check.read) {
        case SocketCheck::Read::NoProgrammer:
            return refuse(ExitNoProgrammer, noProgrammerText());
        case SocketCheck::Read::NoAnswer:
            return refuse(ExitTransfer, programText(Txt::ChipIdNoAnswer, language_));
        case SocketCheck::Read::Answered:
            break;
    }
    if (check.fit == ChipFit::Fits) return ExitDone;
    if (check.fit == ChipFit::NoChip)
        return refuse(ExitNo, text(Txt::CliChipCheckNoChip, {check.chosen}));
    if (check.fit == ChipFit::NoChipAnswer)
        return refuse(ExitNo, text(Txt::CliChipCheckNoAnswer, {check.found, check.chosen}));
    return refuse(ExitNo, text(Txt::CliChipCheckWrong, {check.found, check.chosen}));
}

std::string Program::loadFileForChip(const std::string& file, FileFormat& format,
                                     const ChipRecord* record) {
    // The window's Open, with the file given instead of a dialog; record text
    // under a raw name is refused instead of asked about.
    LoadOptions load;
    if (!options_.format.empty()) {
        load.chosen = true;
        load.format = options_.format == "hex"    ? FileFormat::IntelHex
                      : options_.format == "srec" ? FileFormat::SRecord
                                                  : FileFormat::Raw;
    }
    FileOpen open(record != nullptr ? *record : state_->selectedRecord(), state_->buffers,
                  ActivePage::Flash);
    const LoadResult loaded = open.load(file, load);
    format = loaded.format;
    const bool taken = !loaded.failed() && (!open.longerThanChip() ||
                                            ui_.answer(messageText(Msg::MsgFileTooLong, language_),
                                                       programText(Txt::CaptionInfo, 0),
                                                       options_.cutFile, "--cut-file"));
    if (loaded.failed()) ui_.error(loadFailureLine(loaded, file, language_));
    if (!taken) {
        const std::string refused = text(Txt::CliFileRefused, {file});
        ui_.error(refused);
        return refused;
    }
    open.commit();
    return {};
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
    const std::string refused = loadFileForChip(options_.arguments[0], format);
    if (!refused.empty()) return finish(ExitUsage, refused);
    const DataBuffers& buffers = state_->buffers;
    printLines(checksumLines(flashChecksums(buffers.flash(), buffers.flashDataLength,
                                            state_->selectedRecord().flashSize),
                             options_.json, gbkToUtf8(selector_->nameText())));
    return finish(ExitDone, "");
}

void Program::printMap(uint64_t size, const std::string& what,
                       const std::vector<MarkedSpan>& reads) {
    const ChipMapLayout layout(std::min<uint64_t>(size, kFlashBufferSize));
    const std::vector<CellLook> cells = mapCells(
        state_->buffers.flashUpTo(static_cast<uint32_t>(layout.chipBytes())), layout, {}, reads);
    printLines(mapLines(cells, layout, what, options_.json, language_));
}

int Program::mapFileCommand() {
    const std::string& file = options_.arguments[0];
    FileFormat format = FileFormat::Raw;
    if (!options_.chip.empty()) {
        std::string message;
        const int chosen = chooseChip(message);
        if (chosen != ExitDone) return finish(chosen, message);
        const std::string refused = loadFileForChip(file, format);
        if (!refused.empty()) return finish(ExitUsage, refused);
        printMap(state_->selectedRecord().flashSize,
                 gbkToUtf8(selector_->nameText()) + " (" + file + ")", {});
        return finish(ExitDone, "");
    }
    // Without a chip the file is as long as the bytes it holds.
    ChipRecord whole = state_->selectedRecord();
    whole.flashSize = kFlashBufferSize;
    const std::string refused = loadFileForChip(file, format, &whole);
    if (!refused.empty()) return finish(ExitUsage, refused);
    printMap(static_cast<uint64_t>(std::max<int32_t>(state_->buffers.flashDataLength, 0)), file,
             {});
    return finish(ExitDone, "");
}

int Program::present(const CommandReport& report, const std::string& file, FileFormat format,
                     const std::string& fileProblem) {
    CliContext context;
    context.language = language_;
    context.chip = gbkToUtf8(selector_->nameText());
    context.typeText = gbkToUtf8(selector_->typeText());
    // "-" is named as what it stands for.
    context.file = file != kStandardStream               ? file
                   : report.command == ChipCommand::Read ? text(Txt::CliStandardOutput)
                                                         : text(Txt::CliStandardInput);
    context.formatName =
        formatText(report.command == ChipCommand::Read ? saveFormatOf(file) : format, language_);
    if (report.cause() == FailureCause::NoProgrammer) context.noProgrammer = noProgrammerText();
    context.recordProblem = production_.problem();
    context.serial = production_.serial();
    context.fileProblem = fileProblem;
    CliOutcome outcome = cliOutcome(report, context);
    if (mapping_) {
        // Nothing was saved: the map stands for the file.
        outcome.cause.clear();
        if (report.status == CommandStatus::Done) outcome.line = outcome.message = "";
    }
    if (!outcome.error.empty()) ui_.error(outcome.error, outcome.jsonFields);
    if (!outcome.cause.empty()) ui_.error(outcome.cause);
    if (!outcome.line.empty()) ui_.note(outcome.line);
    for (const std::string& warning : outcome.warnings) ui_.note(warning);
    if (!outcome.resultFields.empty())
        resultFields_ +=
            resultFields_.empty() ? outcome.resultFields.substr(1) : outcome.resultFields;
    return finish(outcome.exit, outcome.message);
}

int Program::chipCommand(ChipCommand command) {
    const std::string file = options_.arguments.empty() ? "" : options_.arguments[0];
    if (command == ChipCommand::Read && !mapping_) {
        // Refused before the chip is read, not after. The JSON lines and the
        // chip's bytes cannot share standard output.
        const std::string refusal = file == kStandardStream && options_.json
                                        ? text(Txt::CliJsonHoldsOutput)
                                        : outputRefusal(file, options_.force, language_);
        if (!refusal.empty()) return fail(ExitUsage, refusal);
    }
    FileFormat format = productFormat_;
    if (command == ChipCommand::Write || command == ChipCommand::Verify ||
        command == ChipCommand::Auto) {
        const std::string refused = productLoaded_ ? "" : loadFileForChip(file, format);
        if (!refused.empty()) return finish(ExitUsage, refused);
    }
    if (!options_.log.empty()) {
        const std::string serialError = production_.checkSerial(options_, *state_);
        if (!serialError.empty()) return fail(ExitUsage, serialError);
    }
    if (!options_.detect && !options_.anyChip) {
        std::string message;
        const int fit = checkSocket(message);
        if (fit != ExitDone) return finish(fit, message);
    }
    if (!options_.log.empty() || database_) {
        bool noProgrammer = false;
        const std::string error = production_.begin(options_, *state_, *ops_, *runner_, ui_,
                                                    noProgrammer, database_.get());
        if (noProgrammer) return fail(ExitNoProgrammer, noProgrammerText());
        if (!error.empty()) return fail(ExitUsage, error);
    }
    if (command == ChipCommand::Verify && options_.all) command = ChipCommand::VerifyAll;
    // A write and an erase check themselves: a chip that did not take them (a
    // write-protected one answers every write and erase and keeps its old
    // content) must not be reported as written or erased.
    runner_->checkAfterWriteAndErase = !options_.noVerify;
    runner_->readTwice = options_.twice && command == ChipCommand::Read;
    const int64_t started = ui_.monotonicMs();
    CommandReport report = runner_->run(command);
    // A chip the database was away for was not started.
    if (production_.databaseAway()) return finish(ExitUsage, production_.problem());
    // The window's "Complete!" lines are not the command line's.
    ui_.flushLog(false);
    std::string fileProblem;
    if (command == ChipCommand::Read && report.status == CommandStatus::Done && !mapping_) {
        const SaveResult saved = savePart(options_, *state_, file);
        // The record and the outcome line describe the bytes the file holds,
        // not the whole pages the chip gave.
        report.moved = savedSpan(options_, *state_);
        if (saved.failed()) {
            fileProblem = saveFailureLine(saved, file, language_);
            ui_.error(fileProblem);
            report.status = CommandStatus::Failed;
            report.failure = Failure{Operation::None, FailureCause::FileError, -1, 0};
        }
    }
    elapsedMs_ = ui_.monotonicMs() - started;
    report.elapsedMs = elapsedMs_;
    // One line per chip command, with its final outcome.
    if (!production_.record(report)) {
        report.status = CommandStatus::Failed;
        report.failure = Failure{Operation::None, FailureCause::RecordFailed, -1, 0};
    }
    if (command == ChipCommand::VerifyAll && report.status == CommandStatus::Mismatch) {
        ui_.error(failureText(*report.failure, language_, ""));
        printLines(differenceLines(ops_->differences(), options_.json, language_));
        return finish(ExitNo, failureText(*report.failure, language_, ""));
    }
    // The checksums of the bytes the command moved.
    if (report.status == CommandStatus::Done &&
        (command == ChipCommand::Read || command == ChipCommand::Verify ||
         command == ChipCommand::VerifyAll || command == ChipCommand::Auto)) {
        const uint64_t bytes = report.movedBytes();
        resultFields_ = checksumResultFields(checksumsOf(
            state_->buffers.flashUpTo(static_cast<uint32_t>(report.moved.end)) + report.moved.start,
            static_cast<std::size_t>(bytes)));
    }
    // The map of what was read: the first read, with the blocks a second
    // read found different.
    if (mapping_ && report.moved.end > report.moved.start) {
        std::vector<MarkedSpan> reads;
        if (report.reads)
            for (const AddressSpan& span : report.reads->spans)
                reads.push_back(
                    {static_cast<uint64_t>(span.start), static_cast<uint64_t>(span.end)});
        printMap(state_->selectedRecord().flashSize, gbkToUtf8(selector_->nameText()), reads);
    }
    return present(report, file, format, fileProblem);
}

int Program::run() {
    const std::string& command = options_.command;
    if (command == "chips") return listChips();
    if (command == "list") {
        const std::string traceError = openTransport();
        if (!traceError.empty()) return fail(ExitUsage, traceError);
        const std::string none = listProgrammersCommand(*usb_, ui_, options_.json, language_);
        return none.empty() ? finish(ExitDone, "") : fail(ExitNoProgrammer, none);
    }
    if (command == "records") {
        const std::string error = recordsCommand(options_, ui_, language_);
        return finish(error.empty() ? ExitDone : ExitUsage, error);
    }
    installInterruptHandler();
    if (!options_.log.empty()) {
        const std::string error = production_.openLog(options_, language_);
        if (!error.empty()) return fail(ExitUsage, error);
    }
    // The database before the programmer: a chip is not started without it.
    if (!options_.stationUrl().empty() && command != "product") {
        std::string away;
        database_ = connectDatabase(options_, ui_, language_, true, away);
        if (!database_) return finish(ExitUsage, away);
    }
    const std::string setUp = setUpDevice();
    if (!setUp.empty()) return finish(ExitUsage, setUp);
    if (command == "product") {
        ProductContext context = productContext();
        const std::string error = productCommand(context);
        return finish(error.empty() ? ExitDone : ExitUsage, error);
    }
    // The diagnosis looks for the programmer itself and says why it is not
    // there; a checksum needs none.
    if (command == "doctor") {
        // Only a programmer named with --device; without it the checks look at
        // the first one, as every command takes it.
        if (!options_.device.empty()) {
            const std::string unusable = chooseDevice(*usb_, options_.device, ui_, language_);
            if (!unusable.empty()) return fail(ExitNoProgrammer, unusable);
        }
        std::string message;
        DoctorContext context{
            options_,   language_,
            ui_,        *state_,
            *usb_,      *ops_,
            *selector_, [this, &message] {
                                  return chooseChip(message) == ExitDone; }};
        const int status = runDoctor(context);
        return finish(status, message.empty() ? context.message : message);
    }
    if (command == "checksum") {
        std::string message;
        const int chosen = chooseChip(message);
        return chosen == ExitDone ? checksumCommand() : finish(chosen, message);
    }
    if (command == "map" && !options_.arguments.empty()) return mapFileCommand();
    if (!options_.product.empty()) {
        ProductContext context = productContext();
        const std::string error = checkProduct(context, *database_, options_.arguments[0]);
        if (!error.empty()) return finish(ExitUsage, error);
        productLoaded_ = true;
    }
    const std::string unusable = chooseDevice(*usb_, options_.device, ui_, language_);
    if (!unusable.empty()) return fail(ExitNoProgrammer, unusable);
    if (command == "detect") return detectCommand();
    if (command == "info") return infoCommand();
    if (command == "upgrade") return upgradeCommand();
    std::string message;
    const int chosen = productLoaded_ ? ExitDone : chooseChip(message);
    if (chosen != ExitDone) return finish(chosen, message);
    const std::string partError = applyPart(options_, *state_, language_);
    if (!partError.empty()) return fail(ExitUsage, partError);
    if (command == "map") {
        mapping_ = true;
        return chipCommand(ChipCommand::Read);
    }
    const std::optional<ChipCommand> chip = chipCommandNamed(command);
    return chip ? chipCommand(*chip) : finish(ExitUsage, "");
}

}  // namespace
}  // namespace ostrel::cli

namespace {

// The end of a command that ended before its own result: with --json the
// error and the result object as JSON too, so that a script reading standard
// output always finds its result.
void printJsonFailure(const std::string& command, const std::string& message) {
    using ostrel::jsonString;
    std::printf("{\"type\":\"error\",\"message\":%s}\n", jsonString(message).c_str());
    std::printf(
        "{\"type\":\"result\",\"command\":%s,\"status\":\"error\",\"exit\":2,"
        "\"message\":%s,\"elapsed\":0.000}\n",
        jsonString(command).c_str(), jsonString(message).c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    ostrel::platform::prepareConsole(argc, argv);
    using namespace ostrel::cli;
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "ostrel-cli: %s (ostrel-cli --help shows the usage)\n", error.c_str());
        for (int i = 1; i < argc; ++i) {
            if (std::string(argv[i]) != "--json") continue;
            printJsonFailure(options.command, error);
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
    // Whatever escapes a command (memory that cannot be had, a converter or
    // a library that fails) ends it with one line and a status of its own,
    // not with an abort; a file being written is a temporary one that goes
    // with the command.
    const std::string what = options.command.empty() ? "ostrel-cli" : options.command;
    std::string failure;
    try {
        Program program(options, language);
        return program.run();
    } catch (const std::bad_alloc&) {
        failure = what + " failed: out of memory";
    } catch (const std::exception& e) {
        failure = what + " failed: " + e.what();
    }
    std::fprintf(stderr, "%sostrel-cli: %s\n",
                 ostrel::platform::standardErrorIsTerminal() ? "\r\033[K" : "", failure.c_str());
    if (options.json) printJsonFailure(options.command, failure);
    return 2;
}
