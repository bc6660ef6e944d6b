#pragma once
// What the ID read hands to identification and to batch mode: a result and
// the first bytes of the programmer's reply, a detection kind and a three-byte ID.

namespace ostrel {

// The ID read's results: the programmer answered (whatever it found), no
// programmer is attached, or it was opened but its reply did not arrive whole:
// neither an ID nor an empty socket.
inline constexpr int kChipIdAnswered = 7;
inline constexpr int kChipIdNoProgrammer = 0;
inline constexpr int kChipIdNoAnswer = 2;

// The reply's kind byte and three ID bytes.
inline constexpr int kChipIdReplyBytes = 4;

}  // namespace ostrel
