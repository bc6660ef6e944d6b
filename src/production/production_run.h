#pragma once
// A production run: every chip command that the runner carries out while it
// runs leaves one line in the production log, and each chip that is written
// gets the image with its own serial number. Batch mode in the window and
// ostrel-cli with --log use it the same way, through the runner's hook.
//
// A chip whose line cannot be appended is not a chip that passed: the command
// then counts as failed, and batch mode stops.

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "operations/command_runner.h"
#include "production/production_log.h"
#include "production/serial_counter.h"
#include "production/station_link.h"

namespace ostrel {

// The error when the serial number's bytes do not lie within the selected
// chip, else empty.
std::string serialOutsideChip(const SerialFormat& format, const MainState& state);

// The log line of one command from its report: the result, the bytes it
// moved with their CRC-32 and SHA-256 (taken from the FLASH buffer, which
// holds them after a read that arrived whole and for every write and verify),
// and for one that did not pass the reason in English and the failure's name.
// `typeText` names the chip's type (UTF-8).
void describeCommand(const CommandReport& report, const uint8_t* flash, const std::string& typeText,
                     ChipLogLine& line);

class ProductionRun : public ChipCommandHook {
  public:
    ProductionRun(MainState& state, ProgrammerOps& ops, CommandRunner& runner, UiPort& ui,
                  ProductionLog& log);

    // The programmer's serial number, read once before the first chip.
    std::string programmer;
    // The serial numbers to write, if any; not owned.
    SerialCounter* serials = nullptr;
    // The line's database, when the chips are recorded there (a serial
    // number then comes from its product's pool, not from `serials`); not
    // owned. With it the log may stay closed.
    StationLink* database = nullptr;
    // False: only Auto, Write and Verify are recorded (batch mode); true:
    // every chip command (the command line).
    bool everyCommand = false;
    // True: afterChip records nothing, and the caller records the command's
    // final outcome with record() (the command line, whose read is saved
    // after the runner's command ended).
    bool recordLater = false;
    // The chip's ID as read before the command (six hexadecimal digits); in
    // batch mode the ID of the poll that started the chip is taken instead.
    std::string chipId;
    // The wall clock of the log's time stamps.
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };

    // Chips recorded as passed and as failed since the run began.
    int passed() const { return passed_; }
    int failed() const { return failed_; }
    // The serial number of the last chip, if one was written.
    std::optional<uint64_t> lastSerial() const { return serial_; }
    // The database's row of the last chip; 0: none was started.
    int64_t lastRow() const { return lastRow_; }
    // The last chip was not started because the database could not be used.
    bool databaseAway() const { return databaseAway_; }

    bool beforeChip(ChipCommand command) override;
    bool afterChip(const CommandReport& report) override;
    // Records the chip: its serial number kept or given back, its line and
    // its row, the counts. A command that did not run leaves no line. False
    // when the outcome could not be kept (the user has been told).
    bool record(const CommandReport& report);
    // How many numbers the station's lease still holds and how many
    // outcomes wait for the database; empty without a lease.
    std::string holdingText() const;
    // The text of the last box the run showed: why it refused a chip or
    // could not record it.
    const std::string& problem() const { return problem_; }

  private:
    bool recorded(ChipCommand command) const;
    bool stampSerial(ChipCommand command);
    bool startRow(ChipCommand command);
    // Finishes the started row with the line's outcome (`writeBegun`: its
    // number may be on the chip); false when the outcome was kept nowhere
    // (the user has been told).
    bool finishRow(const ChipLogLine& line, bool writeBegun);
    void showCounts();
    void complain(const std::string& text);

    MainState& state_;
    ProgrammerOps& ops_;
    CommandRunner& runner_;
    UiPort& ui_;
    ProductionLog& log_;
    std::optional<uint64_t> serial_;
    std::optional<ChipRow> row_;  // the chip's row in the database, once started
    int64_t lastRow_ = 0;
    bool databaseAway_ = false;
    std::string problem_;
    int64_t startMs_ = 0;
    int passed_ = 0;
    int failed_ = 0;
};

}  // namespace ostrel
