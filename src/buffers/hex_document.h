#pragma once
// The bytes a hex view shows, kept apart from the widget so that its editing
// and bookkeeping are tested without a display. A view holds its own copy: the
// buffers and the view meet only when the buffers reload it or take its edits.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ostrel {

class EditHistory;

// One bit per byte of the document, telling which bytes the user changed since
// the last load. A load of 64 MiB must not pay for clearing 64 Mi bits, so the
// bitmap is allocated only at the first mark; until then every byte is clean.
class ChangeMarks {
  public:
    // Forgets every mark; the document now holds `size` clean bytes.
    void reset(std::size_t size);
    std::size_t size() const { return size_; }
    bool test(std::size_t index) const;
    void set(std::size_t index);
    void clear(std::size_t index);
    // Makes room for `count` bytes at `index`, marked or clean as `marked` says.
    void insert(std::size_t index, std::size_t count, bool marked);
    void erase(std::size_t index, std::size_t count);
    std::size_t count() const;

  private:
    std::vector<uint64_t> words_;  // empty: nothing marked
    std::size_t size_ = 0;
};

class HexDocument;

// Told by a document about every change; the hex view repaints from it.
class HexDocumentObserver {
  public:
    enum class Change { Reloaded, Edited };
    virtual void documentChanged(Change change) = 0;
    // The document goes away before its observer: forget it.
    virtual void documentDestroyed(HexDocument* document) = 0;

  protected:
    ~HexDocumentObserver() = default;
};

class HexDocument {
  public:
    HexDocument() = default;
    HexDocument(const HexDocument&) = delete;
    HexDocument& operator=(const HexDocument&) = delete;
    ~HexDocument();

    // Replaces the whole content; clears Modified and the changed-byte marks.
    void LoadFromStream(const uint8_t* data, std::size_t count);
    bool Modified() const { return modified_; }
    void setModified(bool modified) { modified_ = modified; }
    std::size_t DataSize() const { return bytes_.size(); }
    // Copies `count` bytes from view offset `index`; nothing past the end is read.
    void ReadBuffer(uint8_t* destination, std::size_t index, std::size_t count) const;

    uint8_t byteAt(std::size_t offset) const { return bytes_[offset]; }
    const uint8_t* data() const { return bytes_.data(); }
    bool isChanged(std::size_t offset) const { return marks_.test(offset); }
    std::size_t changedCount() const { return marks_.count(); }

    // User edits. Each marks what it touched, sets Modified and notifies.
    // Replaces one byte; at offset == DataSize() the byte is appended.
    void overwrite(std::size_t offset, uint8_t value);
    // Inserts one byte before `offset` (at most DataSize()).
    void insert(std::size_t offset, uint8_t value);
    // Removes up to `count` bytes from `offset`; returns how many went.
    std::size_t remove(std::size_t offset, std::size_t count);
    // Overwrites bytes from `offset` (a paste), cut at the end of the
    // document; one undo step. Returns how many were written.
    std::size_t writeBytes(std::size_t offset, const uint8_t* data, std::size_t count);
    // Undo and redo: replaces the `count` bytes at `offset` by `data`, marked
    // as `marked` says (bytes it does not cover are marked); the range may grow
    // or shrink. An undo back to the loaded bytes so takes their marks away.
    // Not recorded in the history.
    void replaceRange(std::size_t offset, std::size_t count, const std::vector<uint8_t>& data,
                      const std::vector<bool>& marked = {});
    // The marks of `count` bytes from `offset`, cut at the end.
    std::vector<bool> marksOf(std::size_t offset, std::size_t count) const;

    // Undo of a fill: the buffer's bytes again over a range, as a reload would
    // put them, but without touching the rest. Not recorded.
    void reloadRange(std::size_t offset, const uint8_t* data, std::size_t count);

    // Where the user's edits are recorded for undo (not owned); nullptr: nowhere.
    // A load forgets the history: the bytes it described are gone.
    void setHistory(EditHistory* history) { history_ = history; }
    EditHistory* history() const { return history_; }

    // Grows by one on every load and edit, so a painter can tell it is stale.
    uint64_t version() const { return version_; }
    // One observer at a time (the view showing this document); nullptr detaches.
    void setObserver(HexDocumentObserver* observer) { observer_ = observer; }
    HexDocumentObserver* observer() const { return observer_; }

  private:
    void notify(HexDocumentObserver::Change change);

    std::vector<uint8_t> bytes_;
    ChangeMarks marks_;
    bool modified_ = false;
    uint64_t version_ = 0;
    HexDocumentObserver* observer_ = nullptr;
    EditHistory* history_ = nullptr;
};

}  // namespace ostrel
