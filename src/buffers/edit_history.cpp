#include "buffers/edit_history.h"

namespace ostrel {

void EditHistory::record(EditStep step) {
    for (const EditStep& s : redo_) held_ -= s.bytes.size();
    redo_.clear();
    held_ += step.bytes.size();
    undo_.push_back(std::move(step));
    trim();
}

void EditHistory::recordTyped(std::size_t offset, uint8_t before, bool marked) {
    if (redo_.empty() && !undo_.empty()) {
        EditStep& last = undo_.back();
        if (last.typing && last.where == EditStep::Where::View &&
            last.length == last.bytes.size()) {
            // Inside the run the old byte is already kept.
            if (offset >= last.offset && offset < last.offset + last.length) return;
            if (offset == last.offset + last.length) {
                last.bytes.push_back(before);
                last.marked.push_back(marked);
                ++last.length;
                ++held_;
                trim();
                return;
            }
        }
    }
    EditStep step;
    step.offset = offset;
    step.length = 1;
    step.bytes.push_back(before);
    step.marked.push_back(marked);
    step.typing = true;
    record(std::move(step));
}

void EditHistory::undone() {
    EditStep step = std::move(undo_.back());
    undo_.pop_back();
    held_ = held_ - handedOut_ + step.bytes.size();
    step.typing = false;
    redo_.push_back(std::move(step));
}

void EditHistory::redone() {
    EditStep step = std::move(redo_.back());
    redo_.pop_back();
    held_ = held_ - handedOut_ + step.bytes.size();
    step.typing = false;
    undo_.push_back(std::move(step));
}

void EditHistory::clear() {
    undo_.clear();
    redo_.clear();
    held_ = 0;
}

void EditHistory::trim() {
    // The newest step stays even alone above the limit: it is what the user
    // will want back first.
    while (held_ > limit_ && undo_.size() > 1) {
        held_ -= undo_.front().bytes.size();
        undo_.pop_front();
    }
}

}  // namespace ostrel
