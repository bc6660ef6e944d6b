#include "cli/cli_options.h"

#include <optional>

#include "base/locale_language.h"
#include "base/messages.h"
#include "production/line_client.h"
#include "production/production_store.h"
#include "production/serial_counter.h"

namespace ostrel::cli {

const char kUsage[] =
    "Usage: ostrel-cli [OPTIONS] COMMAND [ARG]\n"
    "\n"
    "Drives the Ostrel I programmer from a terminal or a script, with the same chip\n"
    "catalogue, transport and operations as the window (ostrel). It reads the\n"
    "window's chip catalogue ostrel.Dat and the SPEED value of its settings file\n"
    "ostrel.ini, and writes neither.\n"
    "\n"
    "Commands:\n"
    "  chips [KEY]      list the catalogue, one chip a line:\n"
    "                   TYPE,MAKER,NAME<TAB>size<TAB>page<TAB>ID (6 hex digits);\n"
    "                   KEY keeps the chips whose name text holds it (letter case\n"
    "                   ignored)\n"
    "  detect           read the chip's ID and print the chip as TYPE,MAKER,NAME,\n"
    "                   or \"unknown ID XX XX XX\", \"type TYPE\" (a chip without an\n"
    "                   ID) or \"no chip\" (also for an ID of 00 00 00 or FF FF FF:\n"
    "                   no chip answered)\n"
    "  read FILE        read the whole chip and save it to FILE; a line warns when\n"
    "                   the bytes look like a bad connection or a wrong chip: all\n"
    "                   FF (blank), all 00 (no power or contact), one bit the same\n"
    "                   in every byte (a stuck data line), the data repeating (a\n"
    "                   smaller chip, its size named) or one short pattern\n"
    "  write FILE       load FILE, write it to the chip and verify it (a chip that\n"
    "                   did not take it, a write-protected one, gives exit 1)\n"
    "  verify FILE      load FILE and compare the chip with it; a difference\n"
    "                   prints the first differing address with the chip's and\n"
    "                   the file's byte (--all: every differing range START-END\n"
    "                   COUNT, then the bytes that differ)\n"
    "  checksum FILE    load FILE as write would and print CRC-32, SHA-256 and the\n"
    "                   byte sum (32 and 16 bits) over its data and over the file\n"
    "                   padded with FF to the chip's size, as a read would give it\n"
    "  map [FILE]       print a map of FILE (or, without FILE, of the chip read\n"
    "                   first): one character a cell of 4 KiB (or more, so that\n"
    "                   at most 4096 cells cover the chip), '.' blank, '0' all\n"
    "                   00, '#' data, with the address of each line's first cell\n"
    "                   and a legend\n"
    "  erase            erase the chip and check that it is blank (a chip whose\n"
    "                   erase did not take, a write-protected one, gives exit 1)\n"
    "  blank            check that the chip is blank (all bytes 0xFF)\n"
    "  auto FILE        load FILE, then erase, write and verify\n"
    "  info             print the programmer's hardware version, firmware version\n"
    "                   and serial number\n"
    "  list             print every attached programmer, one a line:\n"
    "                   BUS/DEVICE<TAB>serial<TAB>firmware, and <TAB>busy (held by\n"
    "                   another program) or <TAB>no access after one that cannot\n"
    "                   be asked; asking claims each programmer for a moment\n"
    "  upgrade FIRMWARE upgrade the programmer's firmware from a .xpro file, as the\n"
    "                   hardware-information window does: the programmer restarts\n"
    "                   as its boot loader, which is awaited for up to 50 seconds.\n"
    "                   Checked first: a file over 1 MiB, which the boot loader does\n"
    "                   not take, or one that cannot be read is refused; one that\n"
    "                   would send only FF (empty, nothing past its first 12 KiB,\n"
    "                   which are never sent, or only FF there) or that is no ARM\n"
    "                   Cortex-M firmware from 0x3000 on (a stack pointer in RAM,\n"
    "                   then an odd address from 0x08003000 on) is refused too,\n"
    "                   --force sends it all the same\n"
#ifdef _WIN32
    "  doctor           find out why the programmer does not work: the USB library\n"
    "                   (libusb0.dll), the programmer on the bus (or its boot loader,\n"
    "                   or a programmer without its driver), its interface, its\n"
    "                   answer, the chip; one line a\n"
#else
    "  doctor           find out why the programmer does not work: the USB library,\n"
    "                   the programmer on the bus (or its boot loader), access to its\n"
    "                   device node, its interface, its answer, the chip; one line a\n"
#endif
    "                   check with what to do about a problem (see --read-test and\n"
    "                   --report; exit 0 all passed, 1 a chip problem, 3 programmer\n"
    "                   unusable); with --device only the programmer it names\n"
#ifndef _WIN32
    "  product add NAME with --db: keep product NAME in the production database:\n"
    "                   its chip (--chip), the SHA-256 of the data its image\n"
    "                   (--image FILE) puts on the chip, and its serial numbers\n"
    "                   (--serial ADDR:BYTES:START[:STEP][:le|be]), leased to\n"
    "                   the stations --lease N at a time (default 20)\n"
    "  product set NAME with --db: change product NAME's --lease N\n"
    "  product list     with --db or --line: print the products, one a line:\n"
    "                   NAME<TAB>CHIP<TAB>SHA-256<TAB>serial numbers<TAB>lease\n"
    "  product leases   with --db: print every lease (of --product alone) under a\n"
    "                   line of column names: lease, product, station, first,\n"
    "                   last, step, numbers, used (on passed chips), spent (on\n"
    "                   chips that did not pass), pending (on chips without an\n"
    "                   outcome yet), left, taken, reclaimed\n"
    "  product reclaim  with --db and --station S: return the unused numbers of\n"
    "                   the leases of station S (of --product alone), which must\n"
    "                   be stopped, to the pool; refused while S was seen working\n"
    "                   in the last ten minutes\n"
    "  records          with --db: print the chips recorded, one a line under a line\n"
    "                   of column names: row, time (UTC), station, programmer,\n"
    "                   chip, ID, command, result (started, done, different,\n"
    "                   failed), cause, serial number, bytes, CRC-32, seconds,\n"
    "                   product, message, spent (the chip's number may be on it\n"
    "                   and is never given to another); see --product, --since,\n"
    "                   --serial, --result, --csv and --summary\n"
#else
    "  product list     with --line: print the line's products, one a line:\n"
    "                   NAME<TAB>CHIP<TAB>SHA-256<TAB>serial numbers<TAB>lease\n"
#endif
    "\n"
    "FILE formats follow the extension, as the window's Open and Save do:\n"
    "  .hex .ihx .ihex Intel HEX; .s19 .s28 .s37 .srec .mot S-record; .src written\n"
    "  as S-record; .src and .eep read by their first character (':' Intel HEX,\n"
    "  'S' S-record, else raw); .cap raw after a 2048-byte header; anything else\n"
    "  raw binary. A file that its extension reads as raw binary but that holds\n"
    "  Intel HEX or S-record text is refused: choose with --format. A file longer\n"
    "  than the chip is refused (with --cut-file only the chip's size of it is\n"
    "  taken).\n"
    "  Intel HEX and S-record files written leave out the records that would hold\n"
    "  only FF (erased bytes); a tool that fills such gaps with 00, as objcopy -O\n"
    "  binary does, then gives another image. The whole image of an 8 MiB chip:\n"
    "    srec_cat dump.hex -intel -fill 0xFF 0 0x800000 -o dump.bin -binary\n"
    "  (-fill 0xFF 0 SIZE, the chip's size; for S-record read with -motorola).\n"
    "  FILE - is standard input (read as raw binary unless --format says otherwise)\n"
    "  or, for read, standard output. Every input is read once, so a pipe works as\n"
    "  a file does. A device or a FIFO is written in place, never replaced.\n"
    "\n"
    "Before a chip command the chip's ID is read: a command on an empty socket, on\n"
    "a chip of another type or (for chips that have one) with another ID is\n"
    "refused, naming what was found (--any-chip goes on regardless; --detect needs\n"
    "no check). A read checks before the chip is touched that FILE can be created,\n"
    "or with --force replaced (the file and its folder writable); a folder is\n"
    "refused.\n"
    "\n"
    "Options (a value follows as --chip NAME, --chip=NAME, -c NAME or -cNAME;\n"
    "the word -- ends the options):\n"
    "  -c, --chip NAME    the chip: its name (W25Q128JV) or TYPE,MAKER,NAME; a name\n"
    "                     that several makers share needs --maker. Letter case\n"
    "                     counts only when it tells chips apart.\n"
    "  -m, --maker MAKER  the chip's manufacturer, with --chip\n"
    "      --id XXXXXX    with chips: only the chips with this ID (6 hex digits),\n"
    "                     in catalogue order; the first is the one detect chooses\n"
    "      --detect       choose the chip by the ID the programmer reads first\n"
    "                     (refused when the ID is not in the catalogue)\n"
    "  -f, --force        replace an existing output file (upgrade: send a file\n"
    "                     that holds no firmware all the same)\n"
    "      --any-chip     go on when the socket holds another chip than chosen, or\n"
    "                     none\n"
    "      --cut-file     take the chip's size of a file longer than the chip\n"
    "      --format FMT   read FILE as bin, hex (Intel HEX) or srec (S-record)\n"
    "                     whatever its extension; a file written still follows its\n"
    "                     extension\n"
    "  -d, --device PATH|SERIAL  the programmer to use, by its bus path as list\n"
    "                     prints it (001/004) or its serial number; without it\n"
    "                     the first attached one (named on standard error when\n"
    "                     several are attached). Parallel runs: one --device\n"
    "                     PATH per process\n"
    "      --start ADDR   read, write, verify and blank only a part of the chip,\n"
    "      --end ADDR     from ADDR to ADDR (hexadecimal, inclusive; the chip\n"
    "                     moves whole pages, so the part is widened to them).\n"
    "                     FILE holds the part: write and verify load it at the\n"
    "                     start, read saves the part alone. Alone, --start\n"
    "                     reaches to the chip's end and --end from address 0\n"
    "  -v, --verbose      write a wire trace on standard error: one line per\n"
    "                     transfer (microseconds, direction, endpoint, length,\n"
    "                     result, bytes)\n"
    "      --trace FILE   write the wire trace to FILE instead\n"
    "      --all          verify: read the whole range and list every difference\n"
    "      --no-verify    write: do not verify what was written; erase: do not\n"
    "                     blank-check the chip after it\n"
    "      --twice        read: read the chip twice and compare the reads block by\n"
    "                     block; when they differ, name how many bytes in how many\n"
    "                     blocks and the first address with both bytes, save no\n"
    "                     file and exit with status 1 (a flaky contact)\n"
    "      --lang LANG    language of the messages: en, zh_CN or zh_TW (default:\n"
    "                     from LC_ALL, LC_MESSAGES or LANG; English otherwise)\n"
    "      --json         print one JSON object a line on standard output:\n"
    "                     {\"type\":\"progress\",\"operation\",\"done\",\"total\",\"unit\"}\n"
    "                     (unit: bytes, or polls for a flash erase), the results\n"
    "                     on standard output, errors {\"type\":\"error\",\n"
    "                     \"message\"} (a verify difference adds \"address\",\n"
    "                     \"chip\" and \"file\": the address and both bytes), and last\n"
    "                     {\"type\":\"result\",\"command\",\"status\",\"exit\",\n"
#ifdef _WIN32
    "                     \"message\",\"elapsed\"} (seconds; a read adds\n"
    "                     \"warnings\", a list of {\"kind\",\"message\"}, and with\n"
    "                     --twice \"reads_matched\")\n"
#else
    "                     \"message\",\"elapsed\"} (seconds; with --db also \"row\"\n"
    "                     and \"serial\", the chip's row and serial number; a read\n"
    "                     adds \"warnings\", a list of {\"kind\",\"message\"}, and\n"
    "                     with --twice \"reads_matched\")\n"
#endif
    "  -q, --quiet        print only errors (and the results on standard output)\n"
    "      --log FILE     append one JSON line per chip command to the production\n"
    "                     log FILE: time, programmer serial number, chip, ID read,\n"
    "                     command, final result, message (English), cause, bytes\n"
    "                     moved, their CRC-32 and SHA-256, seconds, serial number.\n"
    "                     A log that cannot be opened refuses the command before\n"
    "                     the chip is touched; one that cannot be appended to fails\n"
    "                     it (exit status 4)\n"
    "      --serial ADDR:BYTES:START[:STEP][:le|be]\n"
    "                     with auto and --log: write a serial number of BYTES bytes\n"
    "                     (1 to 8, little-endian unless be) at ADDR into the image.\n"
    "                     Numbers are decimal (a leading 0 too: 010 is ten), or\n"
    "                     hexadecimal after 0x or $. The next number is kept in\n"
    "                     FILE.counter beside the log (prod.jsonl.counter for\n"
    "                     --log prod.jsonl), so each log has its own, and moves\n"
    "                     on by STEP (default 1) only when the chip passed its\n"
    "                     verify; START is where a new counter begins\n"
#ifndef _WIN32
    "      --db URL       the production database of a line: sqlite:PATH for one\n"
    "                     station, or a PostgreSQL URI (postgresql://USER@HOST/DB)\n"
    "                     or any connection string libpq takes (host=H dbname=D;\n"
    "                     PGPASSFILE and service files work). With a chip command\n"
    "                     each chip gets a row, beside --log or instead of it. A\n"
    "                     database that cannot be used before the chip: the chip\n"
    "                     is not started (exit status 2); after it: its outcome is\n"
    "                     kept in the state folder and written at the next\n"
    "                     connection. The station is named by OSTREL_STATION, else\n"
    "                     by the host name\n"
#endif
    "      --line URL     the line server (ostrel-line) in front of the line's\n"
    "                     database, http[s]://HOST[:PORT]: instead of --db for a\n"
    "                     chip command and product list, with the same leases,\n"
    "                     journal and spool while it is away. The station's token\n"
    "                     (ostrel-line station add prints it) is read from\n"
    "                     OSTREL_LINE_TOKEN or --line-token-file; HTTPS checks\n"
    "                     the server's certificate against the system's\n"
    "      --line-token-file FILE  the file that holds the station's token\n"
    "      --product NAME auto: program product NAME: FILE must hold its image and\n"
    "                     the chip (--chip, or else the product's) must be its chip,\n"
    "                     or the command is refused before the programmer is\n"
    "                     touched; a product with serial numbers gives each chip\n"
    "                     a number of the station's lease. records: its chips only;\n"
    "                     product leases and reclaim: its leases only\n"
#ifndef _WIN32
    "      --image FILE   product add: the product's image\n"
    "      --lease N      product add and set: the serial numbers a station takes\n"
    "                     from the product's pool at once (1 to what the pool has\n"
    "                     left; default 20)\n"
    "      --since TIME   records: the chips from TIME on: YYYY-MM-DD[THH:MM[:SS]] in\n"
    "                     local time, or UTC with a Z after it\n"
    "      --serial N     records: the chips with serial number N\n"
    "      --result R     records: the chips with result R only (failed: different\n"
    "                     too, as --summary counts them)\n"
    "      --csv          records: comma-separated, under a line of column names\n"
    "      --gaps         records with --product: every number of the product's\n"
    "                     pool below its next that no passed chip holds, with why:\n"
    "                     given_back, spent, leased or pending\n"
    "      --station S    product reclaim: the station whose leases are reclaimed\n"
    "      --summary      records: per station and programmer: chips, passed,\n"
    "                     failed, yield and median seconds, then the station's\n"
    "                     numbers left in its leases, spent on failed chips, and\n"
    "                     records waiting in its journal as it last reported\n"
#endif
    "      --read-test    doctor: also read the chip (-c, or the detected one) twice\n"
    "                     and compare the reads; nothing is written\n"
    "      --report FILE  doctor: save the lines, the versions of the system and the\n"
    "                     wire trace to FILE for a bug report\n"
    "  -h, --help         show this text\n"
    "  -V, --version      show the version\n"
    "\n"
    "Without --chip or --detect the chip commands are refused; detect and info use\n"
    "the catalogue's first chip for the programmer's set-up.\n"
    "\n"
#ifdef _WIN32
    "Not in this build: the production database itself (--db, product add and set,\n"
    "records); a station records its chips through the line server (--line).\n"
    "\n"
#endif
    "Messages go to standard error; chips, detect, info, list, checksum and verify\n"
    "--all print their results on standard output. On a terminal a progress line\n"
    "shows the operation, the percentage, the bytes, the rate and the time left.\n"
    "Ctrl+C stops after the current block and ends the job properly (a second\n"
    "Ctrl+C quits at once).\n"
    "\n"
    "Exit status:\n"
    "  0    done (detect: chip found; verify: equal; blank: blank)\n"
    "  1    detect: unknown ID or no chip; verify: different; blank: not blank;\n"
    "       read --twice: the reads differ (no file saved);\n"
    "       write: the chip does not hold what was written; erase: the chip is not\n"
    "       blank after it; --detect could not choose a chip; the socket holds\n"
    "       another chip or none\n"
    "  2    usage error, unknown chip, a file that cannot be read or written, or a\n"
    "       chip the programmer cannot read, write or erase (nothing was moved);\n"
#ifdef _WIN32
    "       also whatever else\n"
#else
    "       the production database cannot be used, or refuses the image or the\n"
    "       chip for its product (the chip was not started); also whatever else\n"
#endif
    "       stopped the command (out of memory, a failing library), named in one\n"
    "       line, with no output file left behind\n"
    "  3    no programmer found (or the USB library could not be loaded), or the\n"
    "       chosen one is gone or busy (upgrade: nor its boot loader; doctor: the\n"
    "       programmer cannot be used), or it stopped answering at the chip set-up\n"
    "  4    a transfer failed during the command (the message names the operation\n"
    "       and the address), nothing after it was done; or the chip's line could\n"
    "       not be appended to the production log\n"
    "  130  stopped by Ctrl+C\n"
    "\n"
    "Examples:\n"
    "  ostrel-cli chips W25Q\n"
    "  ostrel-cli --detect read backup.bin\n"
    "  ostrel-cli -c W25Q128JV auto firmware.hex\n"
    "  ostrel-cli -c AT24C02 -m Atmel verify eeprom.bin\n"
    "  ostrel-cli -c W25Q64JV --format hex write firmware.bin\n"
#ifndef _WIN32
    "  ostrel-cli --db sqlite:line.db product add board -c W25Q64JV --image fw.bin \\\n"
    "      --serial 0x1000:4:1\n"
    "  ostrel-cli --db postgresql://line@db.local/line auto --product board fw.bin\n"
    "  ostrel-cli --db postgresql://line@db.local/line records --summary\n"
#endif
    "  ostrel-cli --line https://line.local:8470 auto --product board fw.bin\n"
    "\n"
#ifdef _WIN32
    "Without a programmer: the programmer simulator (libusb0.dll in the build's sim\n"
    "folder) stands in for the USB library when Windows finds it first, on PATH;\n"
    "OSTREL_SIM_CONFIG names its configuration, e.g. the two lines\n"
    "  programmer bus=1\n"
    "  chip id=0xEF4017 size=0x800000 class=0 image=chip.img\n"
    "and then: set OSTREL_SIM_CONFIG=sim.conf\n"
    "          set PATH=build-windows\\sim;%PATH%\n"
    "          ostrel-cli detect\n";
#else
    "Without a programmer: the programmer simulator (libusb-0.1.so.4 in the build's\n"
    "sim/ folder) stands in for the USB library; OSTREL_SIM_CONFIG names its\n"
    "configuration, e.g. the two lines\n"
    "  programmer bus=1\n"
    "  chip id=0xEF4017 size=0x800000 class=0 image=chip.img\n"
    "and then: OSTREL_SIM_CONFIG=sim.conf LD_LIBRARY_PATH=build/sim ostrel-cli detect\n";
#endif

const std::vector<OptionSpec>& optionTable() {
    using V = OptionValue;
    static const std::vector<OptionSpec> table = {
        {"--chip", "-c", V::Chip, nullptr, nullptr, &Options::chip},
        {"--maker", "-m", V::Maker, nullptr, nullptr, &Options::maker},
        {"--id", nullptr, V::Id, nullptr, nullptr, nullptr},
        {"--detect", nullptr, V::None, nullptr, &Options::detect, nullptr},
        {"--force", "-f", V::None, nullptr, &Options::force, nullptr},
        {"--any-chip", nullptr, V::None, nullptr, &Options::anyChip, nullptr},
        {"--cut-file", nullptr, V::None, nullptr, &Options::cutFile, nullptr},
        {"--format", nullptr, V::Choice, "bin hex srec", nullptr, &Options::format},
        {"--device", "-d", V::Anything, nullptr, nullptr, &Options::device},
        {"--start", nullptr, V::Anything, nullptr, nullptr, &Options::start},
        {"--end", nullptr, V::Anything, nullptr, nullptr, &Options::end},
        {"--verbose", "-v", V::None, nullptr, &Options::verbose, nullptr},
        {"--trace", nullptr, V::File, nullptr, nullptr, &Options::trace},
        {"--all", nullptr, V::None, nullptr, &Options::all, nullptr},
        {"--no-verify", nullptr, V::None, nullptr, &Options::noVerify, nullptr},
        {"--twice", nullptr, V::None, nullptr, &Options::twice, nullptr},
        {"--lang", nullptr, V::Choice, "en zh_CN zh_TW", nullptr, &Options::lang},
        {"--json", nullptr, V::None, nullptr, &Options::json, nullptr},
        {"--quiet", "-q", V::None, nullptr, &Options::quiet, nullptr},
        {"--log", nullptr, V::File, nullptr, nullptr, &Options::log},
        {"--serial", nullptr, V::Anything, nullptr, nullptr, &Options::serial},
        {"--db", nullptr, V::Anything, nullptr, nullptr, &Options::db},
        {"--line", nullptr, V::Anything, nullptr, nullptr, &Options::line},
        {"--line-token-file", nullptr, V::File, nullptr, nullptr, &Options::lineTokenFile},
        {"--product", nullptr, V::Anything, nullptr, nullptr, &Options::product},
        {"--image", nullptr, V::File, nullptr, nullptr, &Options::image},
        {"--lease", nullptr, V::Anything, nullptr, nullptr, &Options::lease},
        {"--since", nullptr, V::Anything, nullptr, nullptr, &Options::since},
        {"--result", nullptr, V::Choice, "started done different failed", nullptr,
         &Options::result},
        {"--csv", nullptr, V::None, nullptr, &Options::csv, nullptr},
        {"--summary", nullptr, V::None, nullptr, &Options::summary, nullptr},
        {"--gaps", nullptr, V::None, nullptr, &Options::gaps, nullptr},
        {"--station", nullptr, V::Anything, nullptr, nullptr, &Options::station},
        {"--read-test", nullptr, V::None, nullptr, &Options::readTest, nullptr},
        {"--report", nullptr, V::File, nullptr, nullptr, &Options::report},
        {"--help", "-h", V::None, nullptr, &Options::help, nullptr},
        {"--version", "-V", V::None, nullptr, &Options::version, nullptr},
    };
    return table;
}

const std::vector<CommandSpec>& commandTable() {
    using A = CommandArgument;
    using C = ChipCommand;
    const auto chip = [](C command, A argument) {
        const std::size_t files = argument == A::File ? 1 : 0;
        return CommandSpec{commandName(command), files, files, argument, nullptr, command};
    };
    static const std::vector<CommandSpec> table = {
        {"chips", 0, 1, A::ChipKey},  {"detect", 0, 0, A::None},
        chip(C::Read, A::File),       chip(C::Write, A::File),
        chip(C::Verify, A::File),     chip(C::Erase, A::None),
        chip(C::BlankCheck, A::None), chip(C::Auto, A::File),
        {"info", 0, 0, A::None},      {"upgrade", 1, 1, A::File},
        {"doctor", 0, 0, A::None},    {"list", 0, 0, A::None},
        {"checksum", 1, 1, A::File},  {"product", 1, 2, A::Words, "add set list leases reclaim"},
        {"records", 0, 0, A::None},   {"map", 0, 1, A::File},
    };
    return table;
}

std::optional<ChipCommand> chipCommandNamed(const std::string& name) {
    for (const CommandSpec& shape : commandTable())
        if (name == shape.name) return shape.chip;
    return std::nullopt;
}

namespace {

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

std::optional<uint32_t> chipIdOf(const std::string& text) {
    if (text.size() != 6) return std::nullopt;
    uint32_t id = 0;
    for (const char c : text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
        if (digit < 0) return std::nullopt;
        id = id << 4 | static_cast<uint32_t>(digit);
    }
    return id;
}

// The option `arg` names, exactly ("--chip", "-c") or with its value attached
// ("--chip=X", "-cX", then in `attached`); null for none.
const OptionSpec* optionNamed(const std::string& arg, std::optional<std::string>& attached) {
    for (const OptionSpec& o : optionTable())
        if (arg == o.longName || (o.shortName != nullptr && arg == o.shortName)) return &o;
    for (const OptionSpec& o : optionTable()) {
        if (o.value == OptionValue::None) continue;
        const std::string withEquals = std::string(o.longName) + "=";
        if (startsWith(arg, withEquals.c_str())) {
            attached = arg.substr(withEquals.size());
            return &o;
        }
        if (o.shortName != nullptr && arg.size() > 2 && startsWith(arg, o.shortName)) {
            attached = arg.substr(2);
            return &o;
        }
    }
    return nullptr;
}

// Whether `value` is one of the choices the table gives the option `longName`.
bool oneOf(const char* longName, const std::string& value) {
    for (const OptionSpec& o : optionTable()) {
        if (std::string(o.longName) != longName || o.choices == nullptr) continue;
        const std::string padded = std::string(" ") + o.choices + " ";
        return !value.empty() && padded.find(" " + value + " ") != std::string::npos;
    }
    return false;
}

// A product's name: printable, and not an option.
bool productNameValid(const std::string& name) {
    if (name.empty() || name.size() > 200 || name[0] == '-') return false;
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return true;
}

// --log, --serial, --db and the options of product and records.
bool productionOptionsValid(const Options& options, std::string& error) {
    const std::string& c = options.command;
    const bool product = c == "product", records = c == "records";
    auto refuse = [&](const std::string& why) {
        error = why;
        return false;
    };
    if (!options.db.empty()) {
        DatabaseUrl url;
        if (!parseDatabaseUrl(options.db, url, error)) return refuse("--db: " + error);
        if (!product && !records && !chipCommandNamed(c))
            return refuse("--db goes with the chip commands, product and records");
    }
    if (!options.line.empty()) {
        platform::HttpTarget target;
        std::string prefix;
        if (!parseLineUrl(options.line, target, prefix, error)) return refuse("--line: " + error);
        if (!options.db.empty()) return refuse("--line and --db exclude each other");
        // The server's products are changed with its admin token, not by a station.
        if (records || (product && options.arguments[0] != "list"))
            return refuse(c + (product ? " " + options.arguments[0] : std::string()) +
                          " needs --db URL: a line server's station has product list only");
        if (!product && !chipCommandNamed(c))
            return refuse("--line goes with the chip commands and product list");
    }
    if (!options.lineTokenFile.empty() && options.line.empty())
        return refuse("--line-token-file goes with --line");
    if ((product || records) && options.stationUrl().empty())
        return refuse(c + " needs --db URL" + (product ? " or --line URL" : ""));
    if (!options.image.empty() && !product) return refuse("--image goes with product add");
    if (!options.lease.empty() &&
        (!product || (options.arguments[0] != "add" && options.arguments[0] != "set")))
        return refuse("--lease goes with product add and product set");
    if (!options.lease.empty() && recordSerial(options.lease).value_or(0) < 1)
        return refuse(
            "--lease takes how many serial numbers a station leases at once (1 or "
            "more), not '" +
            options.lease + "'");
    if (!records && (!options.since.empty() || !options.result.empty() || options.csv ||
                     options.summary || options.gaps))
        return refuse("--since, --result, --csv, --summary and --gaps go with records");
    const bool ofLeases =
        product && (options.arguments[0] == "leases" || options.arguments[0] == "reclaim");
    if (!options.station.empty() && !(product && options.arguments[0] == "reclaim"))
        return refuse("--station goes with product reclaim");
    if (!options.product.empty()) {
        if (chipCommandNamed(c) != ChipCommand::Auto && !records && !ofLeases)
            return refuse("--product goes with auto, records, product leases and product reclaim");
        if (options.stationUrl().empty()) return refuse("--product needs --db URL or --line URL");
        if (!productNameValid(options.product))
            return refuse("--product: '" + options.product + "' is not a product's name");
        if (options.detect) return refuse("--product chooses the chip: leave out --detect");
    }
    if (product) {
        const std::string& what = options.arguments[0];
        if (what == "list" || what == "leases" || what == "reclaim") {
            if (options.arguments.size() > 1)
                return refuse("too many arguments for product " + what);
            if (what == "reclaim" && options.station.empty())
                return refuse("product reclaim needs --station S: the station that is gone");
            if (what == "reclaim" && !productNameValid(options.station))
                return refuse("--station: '" + options.station + "' is not a station's name");
            return true;
        }
        if (what != "add" && what != "set")
            return refuse("product takes add NAME, set NAME, list, leases or reclaim, not " + what);
        if (options.arguments.size() < 2) return refuse("product " + what + " needs a NAME");
        if (!productNameValid(options.arguments[1]))
            return refuse("product " + what + ": '" + options.arguments[1] +
                          "' is not a product's name");
        if (what == "set") {
            if (options.lease.empty()) return refuse("product set needs --lease N");
            if (!options.chip.empty() || !options.image.empty() || !options.serial.empty())
                return refuse("product set changes --lease only");
            return true;
        }
        if (options.chip.empty()) return refuse("product add needs --chip CHIP");
        if (options.image.empty()) return refuse("product add needs --image FILE");
        SerialFormat serial;
        if (!options.serial.empty() && !parseSerialFormat(options.serial, serial, error))
            return refuse("--serial: " + error);
        if (!options.serial.empty() && serial.start > kLargestSerial)
            return refuse("--serial: the start is above " + std::to_string(kLargestSerial));
        return true;
    }
    if (records) {
        if (!options.arguments.empty()) return refuse("too many arguments for records");
        if (options.gaps) {
            if (options.product.empty()) return refuse("records --gaps needs --product NAME");
            if (options.summary || options.csv || !options.since.empty() ||
                !options.result.empty() || !options.serial.empty())
                return refuse("records --gaps takes --product and --json only");
        }
        if (!options.since.empty() && !parseRecordTime(options.since))
            return refuse(
                "--since takes YYYY-MM-DD[THH:MM[:SS]] (local time, or UTC with Z), "
                "not '" +
                options.since + "'");
        if (!options.result.empty() && options.result != "started" && options.result != "done" &&
            options.result != "different" && options.result != "failed")
            return refuse("--result takes started, done, different or failed, not '" +
                          options.result + "'");
        if (options.csv && options.json) return refuse("--csv and --json exclude each other");
        if (!options.serial.empty() && !recordSerial(options.serial))
            return refuse("--serial with records takes a serial number, not '" + options.serial +
                          "'");
        return true;
    }
    if (!options.serial.empty() &&
        (options.log.empty() || chipCommandNamed(c) != ChipCommand::Auto))
        return refuse("--serial goes with auto and --log");
    if (!options.serial.empty() && !options.stationUrl().empty())
        return refuse(
            "--serial and --db or --line: with a database the numbers come from the product "
            "(product add --serial)");
    SerialFormat serial;
    if (!options.serial.empty() && !parseSerialFormat(options.serial, serial, error))
        return refuse("--serial: " + error);
    return true;
}

}  // namespace

std::optional<uint64_t> recordSerial(const std::string& text) {
    const bool hex = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 19 ||
        digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
            std::string::npos)
        return std::nullopt;
    const uint64_t value = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
    if (value > kLargestSerial) return std::nullopt;
    return value;
}

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    std::vector<std::string> words;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // A switch alone; a value as "--chip=X", "--chip X", "-cX" or "-c X".
        std::optional<std::string> value;
        const OptionSpec* option = optionNamed(arg, value);
        if (option == nullptr) {
            // A mistyped --db may carry the database's password.
            error = "unknown option " + databaseShownName(arg);
            return false;
        }
        if (option->value == OptionValue::None) {
            options.*(option->flag) = true;
            continue;
        }
        if (!value) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        // The database's options take no empty value: "--product=" is a mistake.
        for (const char* name : {"--db", "--line", "--line-token-file", "--product", "--image",
                                 "--lease", "--since", "--result"}) {
            if (value->empty() && std::string(option->longName) == name) {
                error = std::string(name) + " needs a value";
                return false;
            }
        }
        if (option->text != nullptr) {
            options.*(option->text) = *value;
            continue;
        }
        options.id = chipIdOf(*value);
        if (!options.id) {
            error = "--id takes the six hex digits of an ID, as chips prints them";
            return false;
        }
    }
    if (options.help || options.version) return true;
    if (words.empty()) {
        error = "no command given";
        return false;
    }
    options.command = words.front();
    options.arguments.assign(words.begin() + 1, words.end());
    for (const CommandSpec& shape : commandTable()) {
        if (options.command != shape.name) continue;
        if (options.arguments.size() < shape.least) {
            error = options.command == "product"
                        ? "product takes add NAME, set NAME, list, leases or reclaim"
                        : options.command + " needs a file";
            return false;
        }
        if (options.arguments.size() > shape.most) {
            error = "too many arguments for " + options.command;
            return false;
        }
        if (options.detect && !options.chip.empty()) {
            error = "--chip and --detect exclude each other";
            return false;
        }
        if (options.id && options.command != "chips") {
            error = "--id goes with chips only";
            return false;
        }
        if (!options.maker.empty() && options.chip.empty()) {
            error = "--maker needs --chip";
            return false;
        }
        // A part of the chip is read, written, compared or checked; an erase
        // and AUTO take the whole chip.
        const bool part = !options.start.empty() || !options.end.empty();
        if (part && (!shape.chip || *shape.chip == ChipCommand::Erase ||
                     *shape.chip == ChipCommand::Auto)) {
            error = "--start and --end go with read, write, verify and blank";
            return false;
        }
        if (!productionOptionsValid(options, error)) return false;
        if (!options.lang.empty() && languageFor(options.lang, nullptr, nullptr, nullptr) < 0) {
            error = "--lang takes en, zh_CN or zh_TW";
            return false;
        }
        if (!options.format.empty() && !oneOf("--format", options.format)) {
            error = "--format takes bin, hex or srec";
            return false;
        }
        return true;
    }
    error = "unknown command " + options.command;
    return false;
}

int languageFor(const std::string& lang, const char* lcAll, const char* lcMessages,
                const char* langVariable) {
    if (!lang.empty()) {
        if (lang == "en") return LangEnglish;
        if (lang == "zh_CN") return LangSimplified;
        if (lang == "zh_TW") return LangTraditional;
        return -1;
    }
    return languageForLocale(lcAll, lcMessages, langVariable);
}

}  // namespace ostrel::cli
