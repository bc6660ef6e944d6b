#include "cli/cli_devices.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "base/platform.h"
#include "base/text_format.h"
#include "base/texts.h"
#include "buffers/file_io.h"
#include "buffers/range_edit.h"
#include "operations/programmer_list.h"
#include "usb/programmer_identity.h"

namespace ostrel::cli {
namespace {

const char* stateWord(OpenFailure failure) {
    switch (failure) {
        case OpenFailure::None:
            return "ready";
        case OpenFailure::NotAccessible:
            return "no access";
        case OpenFailure::NotFound:
            return "gone";
        case OpenFailure::NoLibrary:
        case OpenFailure::Busy:
            break;
    }
    return "busy";
}

// An address as the options take it: "0x1F3A".
std::string optionAddress(int64_t address) {
    return "0x" + hexDigits(static_cast<uint64_t>(address), 1);
}

}  // namespace

std::string listProgrammersCommand(TUsbBulk& usb, TerminalUi& ui, bool json, int language) {
    const std::vector<ProgrammerEntry> programmers = listProgrammers(usb);
    if (programmers.empty()) {
        const std::string missing = missingLibraryText(usb, language);
        return missing.empty() ? programText(Txt::CliNoProgrammer, language) : missing;
    }
    for (const ProgrammerEntry& p : programmers) {
        const bool asked = p.failure == OpenFailure::None;
        if (json) {
            ui.jsonLine("\"type\":\"programmer\",\"path\":" + jsonString(p.busPath) +
                        ",\"serial\":" + jsonString(p.serialNumber) +
                        ",\"firmware\":" + jsonString(p.firmwareVersion) +
                        ",\"state\":" + jsonString(stateWord(p.failure)));
        } else {
            std::printf("%s\t%s\t%s%s%s\n", p.busPath.c_str(), asked ? p.serialNumber.c_str() : "-",
                        asked ? p.firmwareVersion.c_str() : "-", asked ? "" : "\t",
                        asked ? "" : stateWord(p.failure));
        }
    }
    return {};
}

std::string chooseDevice(TUsbBulk& usb, const std::string& device, TerminalUi& ui, int language) {
    if (device.empty()) {
        // Several attached: the first in bus order, named, and only that one,
        // so that a run without --device never takes one that another run chose.
        const std::vector<AttachedDevice> attached =
            usb.listDevices(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                            kProgrammerProductText);
        if (attached.size() > 1) {
            usb.setDevicePath(attached.front().busPath);
            ui.note(fillIn(programText(Txt::CliUsingFirst, language),
                           {std::to_string(attached.size()), attached.front().busPath}));
        }
        return {};
    }
    const ProgrammerChoice choice = chooseProgrammer(usb, device);
    if (const std::string missing = missingLibraryText(usb, language); !missing.empty())
        return missing;
    switch (choice.outcome) {
        case ProgrammerChoice::Chosen:
            usb.setDevicePath(choice.busPath);
            return {};
        case ProgrammerChoice::PathGone:
            return fillIn(programText(Txt::CliProgrammerGone, language), {device});
        case ProgrammerChoice::SerialAbsent:
            return fillIn(programText(Txt::CliSerialAbsent, language), {device});
        case ProgrammerChoice::SerialBusy:
            return fillIn(programText(Txt::CliSerialBusy, language),
                          {device, std::to_string(choice.busy)});
    }
    return fillIn(programText(Txt::CliProgrammerGone, language), {device});
}

std::string missingLibraryText(const TUsbBulk& usb, int language) {
    if (usb.lastOpenFailure() != OpenFailure::NoLibrary) return {};
    return fillIn(programText(Txt::CliNoLibrary, language),
                  {platform::usbLibraryName(), programText(Txt::DoctorLibraryInstall, language)});
}

std::string chosenDeviceFailure(const TUsbBulk& usb, int language) {
    if (usb.devicePath().empty()) return {};
    switch (usb.lastOpenFailure()) {
        case OpenFailure::NotFound:
            return fillIn(programText(Txt::CliProgrammerGone, language), {usb.devicePath()});
        case OpenFailure::Busy:
            return fillIn(programText(Txt::CliProgrammerBusy, language), {usb.devicePath()});
        default:
            return {};
    }
}

std::unique_ptr<WireTrace> openTrace(const Options& options, int language, std::string& error) {
    if (!options.trace.empty()) {
        std::unique_ptr<WireTrace> trace = WireTrace::toFile(options.trace);
        if (!trace) error = fillIn(programText(Txt::CannotCreateFile, language), {options.trace});
        return trace;
    }
    if (options.verbose) return std::make_unique<WireTrace>(stderr);
    return nullptr;
}

bool parseAddress(const std::string& text, int32_t& address) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    if (digits.empty() || digits.size() > 8) return false;
    for (const char c : digits)
        if (hexDigitValue(static_cast<unsigned char>(c)) < 0) return false;
    const unsigned long value = std::strtoul(digits.c_str(), nullptr, 16);
    if (value > 0x7FFFFFFFul) return false;
    address = static_cast<int32_t>(value);
    return true;
}

std::string applyPart(const Options& options, MainState& state, int language) {
    if (options.start.empty() && options.end.empty()) return {};
    const uint32_t size = state.selectedRecord().flashSize;
    const int64_t last = int64_t{size} - 1;
    int32_t start = 0;
    int32_t end = static_cast<int32_t>(last < 0 ? 0 : std::min<int64_t>(last, 0x7FFFFFFF));
    for (const auto& [text, into] : {std::pair<const std::string&, int32_t&>{options.start, start},
                                     std::pair<const std::string&, int32_t&>{options.end, end}}) {
        if (!text.empty() && !parseAddress(text, into))
            return fillIn(programText(Txt::NotValidInteger, language), {text});
    }
    if (start > last)
        return fillIn(programText(Txt::CliStartPastEnd, language),
                      {optionAddress(start), optionAddress(last)});
    if (start > end)
        return fillIn(programText(Txt::CliRangeReversed, language),
                      {optionAddress(start), optionAddress(end)});
    if (end > last)
        return fillIn(programText(Txt::CliRangePastEnd, language),
                      {optionAddress(start), optionAddress(end), optionAddress(last)});
    DataBuffers& buffers = state.buffers;
    buffers.rangeEnabled = true;
    buffers.rangeStart = start;
    buffers.rangeEnd = end;
    return {};
}

}  // namespace ostrel::cli

namespace ostrel::cli {

AddressSpan savedSpan(const Options& options, const MainState& state) {
    const DataBuffers& buffers = state.buffers;
    // A record larger than the buffer must not make the save read past its end.
    if (options.start.empty() && options.end.empty())
        return {0, DataBuffers::flashCountFor(state.selectedRecord().flashSize)};
    return {buffers.rangeStart, int64_t{buffers.rangeEnd} + 1};
}

SaveResult savePart(const Options& options, const MainState& state, const std::string& path) {
    const AddressSpan span = savedSpan(options, state);
    const uint32_t start = static_cast<uint32_t>(span.start);
    const uint32_t count = static_cast<uint32_t>(span.end - span.start);
    return saveFile(path, state.buffers.flashUpTo(start + count) + start, count);
}

}  // namespace ostrel::cli
