#pragma once
// The fill dialog's work on the FLASH buffer: a constant byte, a constant
// 16-bit word or pseudo-random bytes over an inclusive address range.

#include <cstdint>
#include <string>

namespace ostrel {

class DataBuffers;

enum class FillKind { Byte, Word, Random };

// The generator the random fill has always used, so that a fill started in the
// same second gives the same bytes: a 32-bit linear congruential generator
// whose values are bits 16 to 30 of its new state.
class FillRandom {
  public:
    explicit FillRandom(uint32_t state = 0) : state_(state) {}
    // Starts from `start` (the time in seconds) and draws one value that is thrown away.
    void randomize(uint32_t start) {
        state_ = start;
        next();
    }
    uint32_t next() {
        state_ = state_ * 22695477u + 1u;
        return (state_ >> 16) & 0x7FFF;
    }
    uint32_t state() const { return state_; }

  private:
    uint32_t state_;
};

// What the four edits and the radio buttons hold when OK is pressed.
struct FillInput {
    FillKind kind = FillKind::Byte;
    std::string byteText = "FF";
    std::string wordText = "FFFF";
    std::string startText = "00000";
    std::string endText = "FFFF";
};

// A range the fill may touch: start not above end, both inside the FLASH buffer.
bool fillRangeValid(int32_t start, int32_t end);
std::string fillRangeErrorText(int32_t start, int32_t end);

// The three fills, on a buffer whose range was checked with fillRangeValid.
void fillBytes(uint8_t* buffer, uint32_t start, uint32_t end, uint8_t value);
// Words go low byte first from start rounded down to even; the word count comes
// from the unrounded start, so an odd start writes the byte below it and an
// odd-length range leaves its last byte alone.
void fillWords(uint8_t* buffer, uint32_t start, uint32_t end, uint16_t value);
void fillRandom(uint8_t* buffer, uint32_t start, uint32_t end, uint32_t startState);

// Why a fill did not run: an edit that does not convert (its text), or a range
// that fillRangeValid refuses.
struct FillResult {
    enum Refusal { Filled, NotHex, BadRange } refusal = Filled;
    std::string text;
    int32_t start = 0;
    int32_t end = 0;
    bool filled() const { return refusal == Filled; }
};
// The text of the dialog's error box for a refusal.
std::string fillRefusalText(const FillResult& result);

// OK in the fill dialog: converts the four edits in order (stopping at the
// first that does not convert), refuses a bad range, fills (a random fill
// starts from `seconds`, the wall clock), shows the filled bytes in the FLASH
// view (typed bytes elsewhere stay, taken into the buffer first as Write takes
// them), records one undo step and sets the FLASH data length to end + 1.
FillResult runFill(DataBuffers& buffers, uint32_t flashSize, const FillInput& input,
                   int64_t seconds);

// The "End ADDR" text each Fill command starts the dialog with: the chip's last
// address, cut to the buffer, in "%X".
std::string fillEndText(uint32_t flashSize);

}  // namespace ostrel
