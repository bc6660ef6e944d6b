// The host's reading of the boot loader's reports: the query reply gives the
// target address and block size the prepare report then carries, with the
// block count for the image length; and the device strings the HID search
// compares arrive as wide characters. Input: a 64-byte reply, the image
// length (4 bytes, least significant first), then wide characters.

#include <algorithm>
#include <cstring>
#include <vector>

#include "firmware/firmware_upgrade.h"
#include "firmware/hid_device.h"
#include "fuzz/fuzz_support.h"

namespace ostrel::fuzzing {
namespace {

uint32_t little32(const uint8_t* at) {
    return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

void checkQuery(const Report& reply, uint32_t length) {
    const IapQueryReply query = parseIapQueryReply(reply);
    require(query.target == little32(&reply[1]), "the target is not reply bytes 1-4, low first");
    require(query.blockSize == (reply[5] | reply[6] << 8),
            "the block size is not reply bytes 5-6, low first");
    if (query.blockSize == 0) return;  // refused before any count is made

    const uint32_t blocks = iapBlockCount(length, query.blockSize);
    const uint64_t covered = uint64_t{blocks} * query.blockSize;
    require(covered >= length, "the blocks do not cover the image");
    require(blocks == 0 || covered - query.blockSize < length, "one block more than needed");

    const Report prepare = iapPrepareReport(query.target, blocks, length);
    require(prepare[0] == kIapReportId && prepare[1] == IapPrepare, "not a prepare report");
    require(little32(&prepare[2]) == query.target, "the prepare report lost the target");
    require(prepare[6] == (blocks & 0xFF), "the prepare report lost the block count");
    require(little32(&prepare[7]) == length, "the prepare report lost the length");
    require(std::all_of(prepare.begin() + 11, prepare.end(), [](uint8_t b) { return b == 0; }),
            "the prepare report carries bytes it does not use");

    const uint32_t reports = iapDataReportCount(length);
    require(uint64_t{reports} * kIapDataPerReport >= length &&
                (reports == 0 || uint64_t{reports - 1} * kIapDataPerReport < length),
            "the data reports do not cover the image exactly");
}

void checkString(const uint8_t* data, std::size_t size) {
    std::vector<wchar_t> text(size / sizeof(wchar_t));
    if (!text.empty()) std::memcpy(text.data(), data, text.size() * sizeof(wchar_t));
    const std::string out = hidStringTo8Bit(text.data(), text.size());
    require(out.size() <= text.size(), "more characters than arrived");
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<uint32_t>(text[i]);
        require(c != 0, "a character after the end of the text");
        require(out[i] == (c < 256 ? static_cast<char>(c) : '?'),
                "a character is not its 8-bit value or ?");
    }
    require(out.size() == text.size() || text[out.size()] == 0, "the text ended early");
}

}  // namespace
}  // namespace ostrel::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using namespace ostrel::fuzzing;
    Report reply{};
    std::memcpy(reply.data(), data, std::min(size, reply.size()));
    const uint32_t length = size >= 68 ? little32(data + 64) : 0;
    checkQuery(reply, length);
    if (size > 68) checkString(data + 68, size - 68);
    return 0;
}
