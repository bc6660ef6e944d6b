// Decoding string descriptors as they arrive from a device that may be faulty:
// the byte count, the descriptor's own length and the caller's buffer each
// bound the text, and nothing that is not a string descriptor touches it.

#include "usb/string_descriptor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace ostrel {
namespace {

struct DescriptorCase {
    const char* name;
    std::vector<uint8_t> descriptor;  // the whole buffer the bytes arrived in
    int received;
    int textLength;
    int result;
    const char* text;  // nullptr: the buffer stays untouched
};

TEST(StringDescriptor, TheCountTheLengthByteAndTheBufferBoundTheText) {
    const DescriptorCase cases[] = {
        {"Plain", {8, 3, 'A', 0, 'b', 0, 'C', 0}, 8, 16, 3, "AbC"},
        {"LengthByteShorterThanTransfer", {6, 3, 'A', 0, 'b', 0, 'C', 0}, 8, 16, 2, "Ab"},
        {"TransferShorterThanLengthByte", {8, 3, 'A', 0, 'b', 0, 'C', 0}, 5, 16, 1, "A"},
        // A library that reports more than the buffer holds: the buffer's end bounds it.
        {"CountPastTheBuffer", {0xFF, 3, 'A', 0, 'b', 0, 'C', 0}, 300, 16, 3, "AbC"},
        {"HighByteGivesQuestionMark", {6, 3, 0x2D, 0x4E, 'x', 0}, 6, 16, 2, "?x"},
        {"BufferKeepsRoomForTheZero", {8, 3, 'A', 0, 'b', 0, 'C', 0}, 8, 3, 2, "Ab"},
        {"NotAStringDescriptor", {8, 2, 'A', 0, 'b', 0, 'C', 0}, 8, 16, 0, nullptr},
        {"OneByteHasNoType", {8, 3}, 1, 16, 0, nullptr},
        {"NoRoomAtAll", {8, 3, 'A', 0}, 4, 0, 0, nullptr},
    };
    for (const DescriptorCase& c : cases) {
        SCOPED_TRACE(c.name);
        char text[32];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(decodeStringDescriptor(c.descriptor.data(), c.descriptor.size(), c.received, text,
                                         c.textLength),
                  c.result);
        if (c.text != nullptr)
            EXPECT_STREQ(text, c.text);
        else
            EXPECT_EQ(text[0], 'x');
    }
}

}  // namespace
}  // namespace ostrel
