#pragma once
// The bytes a hex view shows, kept apart from the widget so that its editing
// and bookkeeping are tested without a display. A view holds its own copy: the
// buffers and the view meet only when the buffers reload it or take its edits.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ostrel {

class HexDocument {
public:
    // Replaces the whole content; clears Modified and the changed-byte marks.
    void LoadFromStream(const uint8_t* data, std::size_t count) {
        bytes_.assign(data, data + count);
        changed_.assign(count, false);
        modified_ = false;
    }
    bool Modified() const { return modified_; }
    void setModified(bool modified) { modified_ = modified; }
    std::size_t DataSize() const { return bytes_.size(); }
    // Copies `count` bytes from view offset `index`; nothing past the end is read.
    void ReadBuffer(uint8_t* destination, std::size_t index, std::size_t count) const {
        for (std::size_t i = 0; i < count && index + i < bytes_.size(); ++i)
            destination[i] = bytes_[index + i];
    }

    uint8_t byteAt(std::size_t offset) const { return bytes_[offset]; }
    bool isChanged(std::size_t offset) const { return changed_[offset]; }
    // A user edit: replaces one byte, marks it and sets Modified.
    void overwrite(std::size_t offset, uint8_t value) {
        bytes_[offset] = value;
        changed_[offset] = true;
        modified_ = true;
    }

private:
    std::vector<uint8_t> bytes_;
    std::vector<bool> changed_;
    bool modified_ = false;
};

}  // namespace ostrel
