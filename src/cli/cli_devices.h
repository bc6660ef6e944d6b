#pragma once
// What ostrel-cli adds for several programmers on one computer: the list of
// attached programmers, the choice of one (--device), the wire trace (-v,
// --trace) and a part of the chip (--start, --end).

#include <cstdint>
#include <memory>
#include <string>

#include "buffers/file_io.h"
#include "cli/cli_options.h"
#include "cli/terminal_ui.h"
#include "operations/main_state.h"
#include "operations/stream_span.h"
#include "usb/usb_bulk.h"
#include "usb/wire_trace.h"

namespace ostrel::cli {

// `list`: one line (or JSON object) per attached programmer. The error when
// none is attached, else empty.
std::string listProgrammersCommand(TUsbBulk& usb, TerminalUi& ui, bool json, int language);

// Points the transport at the programmer `device` names (a bus path or a
// serial number); without one, when several are attached, at the first of
// them, and says so. The error, with the reason, when the named one cannot
// be found; else empty.
std::string chooseDevice(TUsbBulk& usb, const std::string& device, TerminalUi& ui, int language);

// Without the USB library no programmer can be reached: that, and what to
// install, when the last open or scan could not load it; else empty.
std::string missingLibraryText(const TUsbBulk& usb, int language);

// Why the chosen programmer could not be opened, when one was chosen: gone or
// busy. Empty without a chosen programmer.
std::string chosenDeviceFailure(const TUsbBulk& usb, int language);

// The trace -v or --trace asks for, or null. `error` is set when --trace's
// file cannot be created.
std::unique_ptr<WireTrace> openTrace(const Options& options, int language, std::string& error);

// An address of --start or --end: hexadecimal with or without "0x", at most
// 0x7FFFFFFF. False for anything else.
bool parseAddress(const std::string& text, int32_t& address);

// Puts --start and --end into the core's address range for the selected chip.
// The error for an address that does not parse, a start past the chip's last
// address or above the end, or an end past the chip's last address; else
// empty. Without either option nothing changes; one alone takes the chip's
// start or last address for the other.
std::string applyPart(const Options& options, MainState& state, int language);

// Saves what read brought to `path`: the whole chip as the window's Save does,
// or with --start/--end only the part, as the window's Open loads a file at
// the range start.
SaveResult savePart(const Options& options, const MainState& state, const std::string& path);
// The chip addresses savePart saves: the whole chip (as far as the buffer
// goes) or the part, without the widening to whole pages the read took.
AddressSpan savedSpan(const Options& options, const MainState& state);

}  // namespace ostrel::cli
