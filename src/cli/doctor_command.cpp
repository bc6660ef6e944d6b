#include "cli/doctor_command.h"

#include <chrono>
#include <cstdio>

#include "base/safe_file.h"
#include "base/texts.h"
#include "buffers/checksums.h"
#include "catalogue/chip_lookup.h"
#include "catalogue/gbk_text.h"
#include "firmware/diagnosis.h"
#include "firmware/hid_device.h"

namespace ostrel::cli {
namespace {

// One whole read of the selected chip into the FLASH buffer, and its CRC-32.
bool readOnce(DoctorContext& c, uint32_t& crc, uint64_t& bytes) {
    if (c.ops.openJob() == JobNotStarted) return false;
    const OpResult result = c.ops.readFlash();
    c.ops.endJob();
    if (result != OpResult::Done) return false;
    bytes = c.state.selectedRecord().flashSize;
    crc = crc32Of(c.state.buffers.flashUpTo(static_cast<uint32_t>(bytes)), bytes);
    return true;
}

}  // namespace

int runDoctor(DoctorContext& c) {
    bool chipNamed = !c.options.chip.empty();
    if (chipNamed && !c.chooseNamedChip()) return 2;
    bool chipKnown = chipNamed;

    DiagnosisSteps steps;
    steps.detect = [&] {
        int position = -1;
        ChipFinding finding =
            describeChip(c.ops.readChipId(), c.state.catalogue, c.language, &position);
        // A chip chosen with -c stays the one read; otherwise the detected one.
        if (position >= 0 && !chipNamed) {
            chooseChipByNames(c.selector, c.state.catalogue,
                              chipNamesOf(c.state.catalogue.at(position), position));
            chipKnown = true;
        }
        return finding;
    };
    steps.chosenChip = [&] {
        return chipKnown ? gbkToUtf8(chipNamesOf(c.state.selectedRecord(), c.state.selected).name)
                         : std::string();
    };
    steps.readChip = [&](uint32_t& crc, uint64_t& bytes) { return readOnce(c, crc, bytes); };
    steps.monotonicMs = [] {
        return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
    };
    HidDevice hid;
    const SystemProbe probe = SystemProbe::real();
    Doctor doctor(c.usb, hid, c.ops, steps, probe, c.language);
    const Diagnosis diagnosis = doctor.run(c.options.readTest);

    for (const CheckLine& line : diagnosis.lines) {
        if (c.options.json) {
            c.ui.jsonLine(std::string("\"type\":\"check\",\"check\":\"") + checkName(line.id) +
                          "\",\"ok\":" + (line.ok ? "true" : "false") + ",\"finding\":" +
                          jsonString(line.finding) + ",\"advice\":" + jsonString(line.advice));
        } else {
            std::printf("%-9s %s\n", line.ok ? "ok" : "PROBLEM", line.finding.c_str());
            if (!line.advice.empty()) std::printf("%-9s %s\n", "", line.advice.c_str());
        }
    }
    if (!diagnosis.stopped.empty()) {
        if (c.options.json)
            c.ui.jsonLine("\"type\":\"stopped\",\"message\":" + jsonString(diagnosis.stopped));
        else
            std::printf("%s\n", diagnosis.stopped.c_str());
    }
    std::fflush(stdout);
    if (!c.options.report.empty()) {
        ReportFacts facts;
        facts.programVersion = OSTREL_VERSION;
        if (!replaceFileContents(c.options.report, diagnosisReport(diagnosis, facts, probe))) {
            c.message = fillIn(programText(Txt::CannotCreateFile, c.language), {c.options.report});
            c.ui.error(c.message);
            return 2;
        }
        c.ui.note(fillIn(programText(Txt::DiagnoseReportSaved, c.language), {c.options.report}));
    }
    return static_cast<int>(diagnosis.verdict);
}

}  // namespace ostrel::cli
