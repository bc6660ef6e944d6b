#pragma once
// Undo and redo of a hex view: typed edits, pastes and fills. A step keeps
// only the bytes the range held before the change, so a fill of 64 MiB costs
// 64 MiB and a typed byte one; undoing a step swaps those bytes with the
// range's present ones, which the step then keeps for its redo. Past the
// limit the oldest steps are dropped.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace ostrel {

struct EditStep {
    enum class Where {
        View,    // the view's own bytes (typing, paste); the range may change size
        Buffer,  // the FLASH buffer behind the view (fill); the view is reloaded
    };
    Where where = Where::View;
    std::size_t offset = 0;
    std::size_t length = 0;      // bytes the range holds now
    std::vector<uint8_t> bytes;  // what it held before
    std::vector<bool> marked;    // View: which of those bytes were marked as changed
    int32_t dataLength = 0;      // Buffer: the FLASH data length before
    bool typing = false;         // the next typed byte may extend this step
};

class EditHistory {
  public:
    static constexpr std::size_t kDefaultLimit = std::size_t{256} << 20;
    explicit EditHistory(std::size_t limit = kDefaultLimit) : limit_(limit) {}

    // A new change: the redo steps go, and the oldest steps past the limit.
    void record(EditStep step);
    // A typed overwrite of one byte: joins the previous typed step when it
    // continues it (the second digit of a byte, the next byte), so that one
    // undo takes back a typed run.
    void recordTyped(std::size_t offset, uint8_t before, bool marked);

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    // The step the next undo (redo) applies. Swap the range's bytes with its
    // bytes, then call undone() (redone()).
    EditStep& nextUndo() {
        handedOut_ = undo_.back().bytes.size();
        return undo_.back();
    }
    EditStep& nextRedo() {
        handedOut_ = redo_.back().bytes.size();
        return redo_.back();
    }
    void undone();
    void redone();

    void clear();
    // Bytes kept by all steps, undo and redo.
    std::size_t bytesHeld() const { return held_; }
    std::size_t undoCount() const { return undo_.size(); }

  private:
    void trim();

    std::size_t limit_;
    std::size_t held_ = 0;
    std::size_t handedOut_ = 0;  // bytes of the step handed out, before its swap
    std::deque<EditStep> undo_;
    std::vector<EditStep> redo_;
};

}  // namespace ostrel
