#pragma once
// The text of a USB string descriptor as 8-bit characters. The transport reads
// the descriptor through the USB library and hands the bytes here; nothing in
// this file touches a device, so every byte a faulty device may send can be
// checked without one.

#include <cstddef>
#include <cstdint>

namespace ostrel {

// Decodes the `received` bytes that arrived in `descriptor` (a buffer of `size`
// bytes; a larger count is taken as `size`). Returns 0 and leaves `text`
// untouched when fewer than two bytes arrived, the type byte is not a string
// descriptor's, or there is no room for a text. Otherwise stores one character
// per UTF-16 unit after the header (its low byte, or "?" when the high byte is
// set), at most textLength - 1 of them and a terminating zero, and returns the
// number of characters. The descriptor's own length byte bounds the units when
// it is smaller than the count that arrived.
int decodeStringDescriptor(const uint8_t* descriptor, std::size_t size, int received, char* text,
                           int textLength);

}  // namespace ostrel
