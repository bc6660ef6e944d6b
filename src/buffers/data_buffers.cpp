#include "buffers/data_buffers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "base/messages.h"
#include "base/platform.h"
#include "base/ui_port.h"
#include "buffers/range_edit.h"
#include "catalogue/chip_record.h"

namespace ostrel {

namespace {
constexpr std::size_t kLargePage = 2 * 1024 * 1024;
constexpr std::size_t kSmallPage = 4096;

std::size_t largeSize(std::size_t size) {
    return (size + kLargePage - 1) / kLargePage * kLargePage;
}
}  // namespace

// Anonymous pages cost nothing until they are touched, so only the part of
// the buffer a chip uses takes memory. Aligned to 2 MiB, where the kernel
// gives large pages a fill takes 32 page faults per 64 MiB instead of 16,384.
DataBuffers::LargeBuffer DataBuffers::allocateLarge(std::size_t size) {
    uint8_t* bytes = platform::reserveArea(largeSize(size), kLargePage);
    if (bytes == nullptr) throw std::bad_alloc();
    return LargeBuffer(bytes);
}

void DataBuffers::LargeFree::operator()(uint8_t* bytes) const {
    platform::releaseArea(bytes, largeSize(kFlashBufferSize));
}

DataBuffers::DataBuffers()
    : flash_(allocateLarge(kFlashBufferSize)), eeprom_(new uint8_t[kEepromBufferSize]) {
    std::memset(eeprom_.get(), 0xFF, kEepromBufferSize);
    flashView_.setHistory(&flashHistory_);
    eepromView_.setHistory(&eepromHistory_);
}

EditStep DataBuffers::fillStep(uint32_t first, uint32_t last) const {
    EditStep step;
    step.where = EditStep::Where::Buffer;
    last = std::min(last, kFlashBufferSize - 1);
    step.offset = first;
    step.length = first <= last ? last - first + 1 : 0;
    // Bytes past what the buffer has made ready read as 0xFF, as the buffer
    // shows them, not as the untouched pages' zeros.
    const uint8_t* flash = flashUpTo(first + static_cast<uint32_t>(step.length));
    step.bytes.assign(flash + first, flash + first + step.length);
    step.dataLength = flashDataLength;
    return step;
}

void DataBuffers::apply(HexDocument& view, EditStep& step) {
    if (step.where == EditStep::Where::Buffer) {
        // Same length both ways: swapped in place through a small block, so an
        // undo costs no memory; the view takes the range again from the buffer.
        uint8_t block[1 << 16];
        uint8_t* kept = step.bytes.data();
        uint8_t* flash = flash_.get() + step.offset;
        // What the range holds now is what the view shows there: bytes typed
        // since the buffer last took the view's edits count, so that a redo
        // brings them back too.
        view.ReadBuffer(flash, step.offset, step.bytes.size());
        for (std::size_t done = 0; done < step.bytes.size(); done += sizeof block) {
            const std::size_t n = std::min(sizeof block, step.bytes.size() - done);
            std::memcpy(block, flash + done, n);
            std::memcpy(flash + done, kept + done, n);
            std::memcpy(kept + done, block, n);
        }
        std::swap(step.dataLength, flashDataLength);
        view.reloadRange(step.offset, flash, step.bytes.size());
        return;
    }
    const std::size_t offset = std::min(step.offset, view.DataSize());
    const std::size_t count = std::min(step.length, view.DataSize() - offset);
    std::vector<uint8_t> present(view.data() + offset, view.data() + offset + count);
    std::vector<bool> presentMarks = view.marksOf(offset, count);
    view.replaceRange(offset, count, step.bytes, step.marked);
    step.length = step.bytes.size();
    step.bytes.swap(present);
    step.marked.swap(presentMarks);
}

bool DataBuffers::undo(HexDocument& view) {
    EditHistory* history = view.history();
    if (!history || !history->canUndo()) return false;
    apply(view, history->nextUndo());
    history->undone();
    return true;
}

bool DataBuffers::redo(HexDocument& view) {
    EditHistory* history = view.history();
    if (!history || !history->canRedo()) return false;
    apply(view, history->nextRedo());
    history->redone();
    return true;
}

uint8_t* DataBuffers::flashUpTo(uint32_t end) const {
    end = std::min(end, kFlashBufferSize);
    if (end > flashFilled_) {
        std::memset(flash_.get() + flashFilled_, 0xFF, end - flashFilled_);
        flashFilled_ = end;
    }
    return flash_.get();
}

uint8_t* DataBuffers::flashStaging() {
    if (!staging_) staging_ = allocateLarge(kFlashBufferSize);
    return staging_.get();
}

void DataBuffers::commitFlashStaging(uint32_t from, uint32_t count) {
    if (!staging_ || from >= kFlashBufferSize) return;
    count = std::min(count, kFlashBufferSize - from);
    if (!fixedFlash && from == 0 && count >= flashFilled_) {
        // Past `count` the staging copy holds whatever its last user left;
        // marking only [0, count) ready makes the rest read as 0xFF again.
        std::swap(flash_, staging_);
        flashFilled_ = count;
        staging_.reset();
        return;
    }
    std::memcpy(flashUpTo(from + count) + from, staging_.get() + from, count);
}

void DataBuffers::ShowFlash(uint32_t count) {
    if (!views) return;
    const uint32_t shown = flashCountFor(count);
    flashView_.LoadFromStream(flashUpTo(shown), shown);
}

void DataBuffers::ShowEeprom(uint32_t count) {
    if (!views) return;
    eepromView_.LoadFromStream(eeprom_.get(), eepromCountFor(count));
}

uint32_t DataBuffers::flashCountFor(uint32_t flashSize) {
    return std::min(flashSize, kFlashBufferSize);
}

uint32_t DataBuffers::eepromCountFor(uint32_t eepromSize) {
    return std::min(eepromSize, kEepromBufferSize);
}

bool DataBuffers::fitsBuffers(const ChipRecord& record) {
    return record.flashSize <= kFlashBufferSize && record.eepromSize <= kEepromBufferSize;
}

std::string DataBuffers::oversizeChipText(const ChipRecord& record) {
    return fillIn(programText(Txt::ChipExceedsBuffers, LangEnglish),
                  {std::to_string(record.flashSize), std::to_string(kFlashBufferSize),
                   std::to_string(record.eepromSize), std::to_string(kEepromBufferSize)});
}

ChipPages DataBuffers::pageRules(const ChipRecord& record, int32_t typeIndex) {
    ChipPages pages;
    pages.eepromPageVisible = record.eepromSize != 0;
    pages.configPageVisible = record.extend != 0;
    pages.flashPageCaption = (typeIndex == 0 || typeIndex == 4) ? "FLASH" : "EEPROM";
    return pages;
}

ChipReset DataBuffers::ResetBuffersForChip(const ChipRecord& record, int32_t typeIndex) {
    ChipReset reset;
    reset.fitsBuffers = fitsBuffers(record);

    // All of the buffer back to 0xFF: the pages used so far go back to the
    // system, and what is asked for next is filled again.
    const std::size_t used = (std::size_t{flashFilled_} + kSmallPage - 1) / kSmallPage * kSmallPage;
    if (used > 0) platform::discardPages(flash_.get(), used);
    flashFilled_ = 0;
    flashDataLength = 0;
    flashEditsUnsaved_ = false;
    reset.flashShown = flashCountFor(record.flashSize);
    reset.eepromShown = eepromCountFor(record.eepromSize);
    ShowFlash(reset.flashShown);
    ShowEeprom(reset.eepromShown);

    // A chip of no size at all still gets the old "%X" of -1.
    const uint32_t lastAddress = reset.flashShown - 1;
    rangeEndText = hexText(lastAddress);
    rangeEnd = static_cast<int32_t>(lastAddress);
    reset.rangeEndText = rangeEndText;
    reset.pages = pageRules(record, typeIndex);
    return reset;
}

bool DataBuffers::TakeFlashEdits(uint32_t flashSize) {
    if (!flashView_.Modified()) return false;
    const std::size_t size = flashView_.DataSize();
    const std::size_t length = std::min<std::size_t>(flashCountFor(flashSize), size);
    flashDataLength = static_cast<int32_t>(length);
    flashView_.ReadBuffer(flashUpTo(static_cast<uint32_t>(length)), 0, length);
    flashView_.setModified(false);
    flashEditsUnsaved_ = true;
    return true;
}

bool DataBuffers::TakeEepromEdits(uint32_t eepromSize) {
    if (!eepromView_.Modified()) return false;
    const std::size_t length =
        std::min<std::size_t>(eepromCountFor(eepromSize), eepromView_.DataSize());
    eepromView_.ReadBuffer(eeprom_.get(), 0, length);
    eepromView_.setModified(false);
    eepromEditsUnsaved_ = true;
    return true;
}

bool DataBuffers::Edit3Change(const std::string& text) {
    rangeStartText = text;
    if (text.empty()) return true;
    const auto value = hexTextToInt(text);
    if (value) rangeStart = *value;
    return value.has_value();
}

bool DataBuffers::Edit4Change(const std::string& text) {
    rangeEndText = text;
    if (text.empty()) return true;
    const auto value = hexTextToInt(text);
    if (value) rangeEnd = *value;
    return value.has_value();
}

bool DataBuffers::CheckBox5Click(bool checked) {
    rangeEnabled = checked;
    return checked;
}

}  // namespace ostrel
