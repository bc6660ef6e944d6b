#include "buffers/hex_document.h"

#include <algorithm>
#include <cstring>

#include "buffers/edit_history.h"

namespace ostrel {

namespace {

constexpr std::size_t kWordBits = 64;

std::size_t wordsFor(std::size_t bits) {
    return (bits + kWordBits - 1) / kWordBits;
}

// Up to 64 bits starting at bit `pos`; bits beyond the vector read as clean.
uint64_t extractBits(const std::vector<uint64_t>& words, std::size_t pos, std::size_t n) {
    const std::size_t w = pos / kWordBits;
    const std::size_t b = pos % kWordBits;
    uint64_t v = w < words.size() ? words[w] >> b : 0;
    if (b != 0 && w + 1 < words.size()) v |= words[w + 1] << (kWordBits - b);
    if (n < kWordBits) v &= (uint64_t{1} << n) - 1;
    return v;
}

// ORs `n` bits into a destination whose target bits are still clear.
void depositBits(std::vector<uint64_t>& words, std::size_t pos, std::size_t n, uint64_t bits) {
    const std::size_t w = pos / kWordBits;
    const std::size_t b = pos % kWordBits;
    words[w] |= bits << b;
    if (b != 0 && b + n > kWordBits) words[w + 1] |= bits >> (kWordBits - b);
}

void copyBits(std::vector<uint64_t>& dst, std::size_t dstPos, const std::vector<uint64_t>& src,
              std::size_t srcPos, std::size_t len) {
    for (std::size_t i = 0; i < len; i += kWordBits) {
        const std::size_t n = std::min(kWordBits, len - i);
        depositBits(dst, dstPos + i, n, extractBits(src, srcPos + i, n));
    }
}

void setBits(std::vector<uint64_t>& dst, std::size_t pos, std::size_t len) {
    for (std::size_t i = 0; i < len; i += kWordBits) {
        const std::size_t n = std::min(kWordBits, len - i);
        depositBits(dst, pos + i, n, n == kWordBits ? ~uint64_t{0} : (uint64_t{1} << n) - 1);
    }
}

}  // namespace

void ChangeMarks::reset(std::size_t size) {
    std::vector<uint64_t>().swap(words_);
    size_ = size;
}

bool ChangeMarks::test(std::size_t index) const {
    if (words_.empty() || index >= size_) return false;
    return (words_[index / kWordBits] >> (index % kWordBits)) & 1;
}

void ChangeMarks::set(std::size_t index) {
    if (index >= size_) return;
    if (words_.empty()) words_.assign(wordsFor(size_), 0);
    words_[index / kWordBits] |= uint64_t{1} << (index % kWordBits);
}

void ChangeMarks::clear(std::size_t index) {
    if (words_.empty() || index >= size_) return;
    words_[index / kWordBits] &= ~(uint64_t{1} << (index % kWordBits));
}

void ChangeMarks::insert(std::size_t index, std::size_t count, bool marked) {
    index = std::min(index, size_);
    if (words_.empty() && !marked) {
        size_ += count;
        return;
    }
    std::vector<uint64_t> grown(wordsFor(size_ + count), 0);
    copyBits(grown, 0, words_, 0, index);
    if (marked) setBits(grown, index, count);
    copyBits(grown, index + count, words_, index, size_ - index);
    words_.swap(grown);
    size_ += count;
}

void ChangeMarks::erase(std::size_t index, std::size_t count) {
    if (index >= size_) return;
    count = std::min(count, size_ - index);
    if (!words_.empty()) {
        std::vector<uint64_t> shrunk(wordsFor(size_ - count), 0);
        copyBits(shrunk, 0, words_, 0, index);
        copyBits(shrunk, index, words_, index + count, size_ - index - count);
        words_.swap(shrunk);
    }
    size_ -= count;
}

std::size_t ChangeMarks::count() const {
    std::size_t n = 0;
    for (uint64_t w : words_) n += static_cast<std::size_t>(__builtin_popcountll(w));
    return n;
}

HexDocument::~HexDocument() {
    if (observer_) observer_->documentDestroyed(this);
}

void HexDocument::LoadFromStream(const uint8_t* data, std::size_t count) {
    // assign() from a pointer range is a single copy; no zero fill comes first.
    bytes_.assign(data, data + count);
    marks_.reset(count);
    modified_ = false;
    if (history_) history_->clear();
    notify(HexDocumentObserver::Change::Reloaded);
}

void HexDocument::ReadBuffer(uint8_t* destination, std::size_t index, std::size_t count) const {
    if (index >= bytes_.size()) return;
    count = std::min(count, bytes_.size() - index);
    if (count) std::memcpy(destination, bytes_.data() + index, count);
}

void HexDocument::overwrite(std::size_t offset, uint8_t value) {
    if (offset > bytes_.size()) return;
    if (offset == bytes_.size()) {
        insert(offset, value);
        return;
    }
    if (history_) history_->recordTyped(offset, bytes_[offset], marks_.test(offset));
    bytes_[offset] = value;
    marks_.set(offset);
    modified_ = true;
    notify(HexDocumentObserver::Change::Edited);
}

void HexDocument::insert(std::size_t offset, uint8_t value) {
    if (offset > bytes_.size()) return;
    if (history_) {
        EditStep step;
        step.offset = offset;
        step.length = 1;
        history_->record(std::move(step));
    }
    bytes_.insert(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), value);
    marks_.insert(offset, 1, true);
    modified_ = true;
    notify(HexDocumentObserver::Change::Edited);
}

std::size_t HexDocument::remove(std::size_t offset, std::size_t count) {
    if (offset >= bytes_.size() || count == 0) return 0;
    count = std::min(count, bytes_.size() - offset);
    const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(offset);
    if (history_) {
        EditStep step;
        step.offset = offset;
        step.bytes.assign(first, first + static_cast<std::ptrdiff_t>(count));
        step.marked = marksOf(offset, count);
        history_->record(std::move(step));
    }
    bytes_.erase(first, first + static_cast<std::ptrdiff_t>(count));
    marks_.erase(offset, count);
    modified_ = true;
    notify(HexDocumentObserver::Change::Edited);
    return count;
}

std::size_t HexDocument::writeBytes(std::size_t offset, const uint8_t* data, std::size_t count) {
    if (offset >= bytes_.size() || count == 0) return 0;
    count = std::min(count, bytes_.size() - offset);
    const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(offset);
    if (history_) {
        EditStep step;
        step.offset = offset;
        step.length = count;
        step.bytes.assign(first, first + static_cast<std::ptrdiff_t>(count));
        step.marked = marksOf(offset, count);
        history_->record(std::move(step));
    }
    std::memcpy(bytes_.data() + offset, data, count);
    for (std::size_t i = 0; i < count; ++i) marks_.set(offset + i);
    modified_ = true;
    notify(HexDocumentObserver::Change::Edited);
    return count;
}

std::vector<bool> HexDocument::marksOf(std::size_t offset, std::size_t count) const {
    std::vector<bool> marked;
    if (offset >= bytes_.size()) return marked;
    count = std::min(count, bytes_.size() - offset);
    marked.reserve(count);
    for (std::size_t i = 0; i < count; ++i) marked.push_back(marks_.test(offset + i));
    return marked;
}

void HexDocument::replaceRange(std::size_t offset, std::size_t count,
                               const std::vector<uint8_t>& data, const std::vector<bool>& marked) {
    if (offset > bytes_.size()) return;
    count = std::min(count, bytes_.size() - offset);
    const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(offset);
    const std::size_t common = std::min(count, data.size());
    std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(common), first);
    if (count > data.size()) {
        bytes_.erase(first + static_cast<std::ptrdiff_t>(common),
                     first + static_cast<std::ptrdiff_t>(count));
        marks_.erase(offset + common, count - common);
    } else if (data.size() > count) {
        bytes_.insert(first + static_cast<std::ptrdiff_t>(common),
                      data.begin() + static_cast<std::ptrdiff_t>(common), data.end());
        marks_.insert(offset + common, data.size() - common, true);
    }
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i < marked.size() && !marked[i])
            marks_.clear(offset + i);
        else
            marks_.set(offset + i);
    }
    modified_ = true;
    notify(HexDocumentObserver::Change::Edited);
}

void HexDocument::reloadRange(std::size_t offset, const uint8_t* data, std::size_t count) {
    if (offset >= bytes_.size()) return;
    count = std::min(count, bytes_.size() - offset);
    std::memcpy(bytes_.data() + offset, data, count);
    notify(HexDocumentObserver::Change::Edited);
}

void HexDocument::notify(HexDocumentObserver::Change change) {
    ++version_;
    if (observer_) observer_->documentChanged(change);
}

}  // namespace ostrel
