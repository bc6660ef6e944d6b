#include "buffers/buffer_fill.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "base/messages.h"
#include "base/texts.h"
#include "buffers/data_buffers.h"
#include "buffers/range_edit.h"

namespace ostrel {

bool fillRangeValid(int32_t start, int32_t end) {
    return start >= 0 && start <= end && static_cast<uint32_t>(end) < kFlashBufferSize;
}

std::string fillRangeErrorText(int32_t start, int32_t end) {
    return fillIn(programText(Txt::FillRangeRefused, LangEnglish),
                  {hexText(static_cast<uint32_t>(start)), hexText(static_cast<uint32_t>(end)),
                   hexText(kFlashBufferSize - 1)});
}

void fillBytes(uint8_t* buffer, uint32_t start, uint32_t end, uint8_t value) {
    std::memset(buffer + start, value, end - start + 1);
}

void fillWords(uint8_t* buffer, uint32_t start, uint32_t end, uint16_t value) {
    const uint32_t words = (end - start + 1) / 2;
    uint8_t* out = buffer + (start & ~uint32_t{1});
    for (uint32_t i = 0; i < words; ++i) {
        *out++ = static_cast<uint8_t>(value & 0xFF);
        *out++ = static_cast<uint8_t>(value >> 8);
    }
}

void fillRandom(uint8_t* buffer, uint32_t start, uint32_t end, uint32_t startState) {
    FillRandom random;
    random.randomize(startState);
    for (uint32_t address = start;; ++address) {
        buffer[address] = static_cast<uint8_t>(random.next() & 0xFF);
        if (address == end) break;
    }
}

std::string fillRefusalText(const FillResult& result) {
    switch (result.refusal) {
        case FillResult::Filled:
            break;
        case FillResult::NotHex:
            return conversionErrorText(result.text);
        case FillResult::BadRange:
            return fillRangeErrorText(result.start, result.end);
    }
    return {};
}

FillResult runFill(DataBuffers& buffers, uint32_t flashSize, const FillInput& input,
                   int64_t seconds) {
    FillResult result;
    // All four are converted whatever the fill kind, in the order of the edits.
    std::optional<int32_t> values[4];
    const std::string* texts[4] = {&input.byteText, &input.wordText, &input.startText,
                                   &input.endText};
    for (int i = 0; i < 4; ++i) {
        values[i] = hexTextToInt(*texts[i]);
        if (!values[i]) {
            result.refusal = FillResult::NotHex;
            result.text = *texts[i];
            return result;
        }
    }
    const auto& byteValue = values[0];
    const auto& wordValue = values[1];
    const auto& start = values[2];
    const auto& end = values[3];
    if (!fillRangeValid(*start, *end)) {
        result.refusal = FillResult::BadRange;
        result.start = *start;
        result.end = *end;
        return result;
    }
    const auto first = static_cast<uint32_t>(*start);
    const auto last = static_cast<uint32_t>(*end);
    // The fill is one undo step among the view's others: the bytes typed
    // before it go into the buffer first, so that the view stays as it is
    // around the filled range and its history keeps its earlier steps.
    HexDocument& view = buffers.flashView();
    const uint32_t shown = DataBuffers::flashCountFor(flashSize);
    const bool keepView = view.DataSize() == shown;
    const bool tookEdits = keepView && buffers.TakeFlashEdits(flashSize);
    EditStep undoStep = buffers.fillStep(first, last);
    switch (input.kind) {
        case FillKind::Byte:
            fillBytes(buffers.flashUpTo(last + 1), first, last,
                      static_cast<uint8_t>(*byteValue & 0xFF));
            break;
        case FillKind::Word:
            fillWords(buffers.flashUpTo(last + 1), first, last,
                      static_cast<uint16_t>(*wordValue & 0xFFFF));
            break;
        case FillKind::Random:
            fillRandom(buffers.flashUpTo(last + 1), first, last, static_cast<uint32_t>(seconds));
            break;
    }
    if (keepView) {
        if (first < shown)
            view.reloadRange(first, buffers.flashUpTo(last + 1) + first,
                             std::min(last, shown - 1) - first + 1);
    } else {
        buffers.ShowFlash(flashSize);
    }
    buffers.flashDataLength = tookEdits ? std::max(buffers.flashDataLength, *end + 1) : *end + 1;
    buffers.recordFill(std::move(undoStep));
    return result;
}

std::string fillEndText(uint32_t flashSize) {
    return hexText(DataBuffers::flashCountFor(flashSize) - 1);
}

}  // namespace ostrel
