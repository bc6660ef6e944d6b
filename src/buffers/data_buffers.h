#pragma once
// The FLASH and EEPROM buffers the main window owns, the FLASH data length and
// the address range. Byte N of the FLASH buffer is chip address N; the buffers
// are allocated once, all 0xFF, and never move or grow.

#include <cstdint>
#include <memory>
#include <string>

#include "base/buffer_sizes.h"
#include "buffers/edit_history.h"
#include "buffers/hex_document.h"

namespace ostrel {

struct ChipRecord;

// Which pages of the main window a chip shows, and what the FLASH page is called.
struct ChipPages {
    bool eepromPageVisible = false;
    bool configPageVisible = false;
    std::string flashPageCaption;  // "FLASH" or "EEPROM"
};

// What a chip selection leaves for the main window to put on screen.
struct ChipReset {
    ChipPages pages;
    std::string rangeEndText;  // the new text of the "End ADDR" edit
    uint32_t flashShown = 0;   // bytes now in the FLASH view
    uint32_t eepromShown = 0;  // bytes now in the EEPROM view
    bool fitsBuffers = true;   // false: the record is larger than the buffers
};

class DataBuffers {
  public:
    DataBuffers();

    // The whole FLASH buffer, every byte as it should read.
    uint8_t* flash() { return flashUpTo(kFlashBufferSize); }
    const uint8_t* flash() const { return flashUpTo(kFlashBufferSize); }
    // The FLASH buffer with only its first `end` bytes made ready (0xFF where
    // nothing was put); what lies beyond must not be touched through it.
    uint8_t* flashUpTo(uint32_t end) const;
    // How far the FLASH buffer has been made ready; past this it reads as 0xFF
    // once asked for.
    uint32_t flashFilled() const { return flashFilled_; }
    uint8_t* eeprom() { return eeprom_.get(); }
    const uint8_t* eeprom() const { return eeprom_.get(); }

    // Reloads a view with the first `count` bytes of its buffer (clamped to the
    // buffer); nothing without views.
    void ShowFlash(uint32_t count);
    void ShowEeprom(uint32_t count);
    // False: the views are never loaded, so that the buffers are the only copy
    // of the data (the command line shows none).
    bool views = true;

    // A second FLASH buffer for work that must not touch the real one until it
    // has succeeded (a chip read, a file load). Allocated at first use, so the
    // idle program does not grow; its content is whatever the last user left
    // (0x00 where nobody put anything: its users prepare what they read).
    // commitFlashStaging() copies staged bytes [from, from + count) into the
    // FLASH buffer, which never moves: pointers to it stay valid. Unless
    // `fixedFlash` is false: then bytes that replace everything the buffer
    // holds (from 0 and at least as far as it was made ready) are taken over
    // by making the staging copy the buffer and giving the old one back, so
    // that the data is never held twice.
    uint8_t* flashStaging();
    void commitFlashStaging(uint32_t from, uint32_t count);
    bool fixedFlash = true;

    HexDocument& flashView() { return flashView_; }
    HexDocument& eepromView() { return eepromView_; }

    // Each view's undo history. A reload of a view (a chip read, an Open, a
    // chip selection) forgets it; a fill records its step after its reload.
    EditHistory& flashHistory() { return flashHistory_; }
    EditHistory& eepromHistory() { return eepromHistory_; }
    // The step that undoes a fill of FLASH bytes first..last (inclusive),
    // taken before the fill; recordFill() files it once the fill is shown.
    EditStep fillStep(uint32_t first, uint32_t last) const;
    void recordFill(EditStep step) {
        flashHistory_.record(std::move(step));
        flashEditsUnsaved_ = true;
    }
    // Undo and redo in `view` (one of the two): false when there is nothing to take back.
    bool undo(HexDocument& view);
    bool redo(HexDocument& view);

    // A new chip was selected: all of the FLASH buffer back to 0xFF, nothing to
    // write, both views reloaded (the EEPROM buffer keeps what a file put there),
    // the range end at the chip's last address. A record larger than the
    // buffers is not refused, since it is already selected; both views and the
    // range end are cut to the buffers, and the result's fitsBuffers is false
    // (the caller shows oversizeChipText()). Operations must cut their
    // transfers with flashCountFor()/eepromCountFor() as well.
    ChipReset ResetBuffersForChip(const ChipRecord& record, int32_t typeIndex);
    static ChipPages pageRules(const ChipRecord& record, int32_t typeIndex);
    static bool fitsBuffers(const ChipRecord& record);
    static uint32_t flashCountFor(uint32_t flashSize);
    static uint32_t eepromCountFor(uint32_t eepromSize);
    static std::string oversizeChipText(const ChipRecord& record);

    // Write, Auto and Save take the user's edits of the FLASH view into the
    // buffer first. Returns false (and changes nothing) when the view is
    // unmodified.
    bool TakeFlashEdits(uint32_t flashSize);
    // The same for the EEPROM view and the EEPROM buffer (Save).
    bool TakeEepromEdits(uint32_t eepromSize);

    // Edits of the FLASH bytes that no file holds yet: typed into the view,
    // taken over by Write, or filled. Open and Quit ask before they lose them.
    bool flashEditsUnsaved() const { return flashView_.Modified() || flashEditsUnsaved_; }
    // The same for the EEPROM bytes: typed into the view, or taken over by a
    // Save, which writes the FLASH buffer only.
    bool eepromEditsUnsaved() const { return eepromView_.Modified() || eepromEditsUnsaved_; }
    // What a chip selection would throw away: FLASH edits, and bytes typed into
    // the EEPROM view (the EEPROM buffer keeps its own, and the view is
    // reloaded from it).
    bool chipChangeDropsEdits() const { return flashEditsUnsaved() || eepromView_.Modified(); }
    // The FLASH buffer holds what a file or the chip holds again: an Open, a
    // Save, a Read, a chip selection.
    void flashEditsSettled() { flashEditsUnsaved_ = false; }
    // The EEPROM buffer holds what a file holds again: an Open on the EEPROM page.
    void eepromEditsSettled() { eepromEditsUnsaved_ = false; }

    // The range edits: every text change of "Start ADDR" (Edit3) and "End ADDR"
    // (Edit4). An empty text keeps the stored value; one that does not convert
    // keeps it too and returns false (the window shows conversionErrorText()).
    bool Edit3Change(const std::string& text);
    bool Edit4Change(const std::string& text);
    // The range check box; returns whether the two edits are now enabled.
    bool CheckBox5Click(bool checked);

    // Bytes from address 0 that Write and Verify transfer when no range is used.
    int32_t flashDataLength = 0;
    // The address range (check box "range enabled", start and end, inclusive).
    bool rangeEnabled = false;
    int32_t rangeStart = 0;
    int32_t rangeEnd = 0;
    std::string rangeStartText = "0000";
    std::string rangeEndText = "FFFF";

  private:
    // The FLASH buffer and its staging copy come from allocateLarge(): address
    // space whose pages take memory only when first touched (as zeros).
    struct LargeFree {
        void operator()(uint8_t* bytes) const;
    };
    using LargeBuffer = std::unique_ptr<uint8_t[], LargeFree>;
    static LargeBuffer allocateLarge(std::size_t size);

    LargeBuffer flash_;
    // Bytes [0, flashFilled_) of flash_ hold what the buffer holds; the pages
    // past it have not been touched since the last chip selection.
    mutable uint32_t flashFilled_ = 0;
    std::unique_ptr<uint8_t[]> eeprom_;
    LargeBuffer staging_;
    HexDocument flashView_;
    HexDocument eepromView_;
    EditHistory flashHistory_;
    EditHistory eepromHistory_;
    bool flashEditsUnsaved_ = false;
    bool eepromEditsUnsaved_ = false;

    // Swaps the step's bytes with what its range holds now.
    void apply(HexDocument& view, EditStep& step);
};

}  // namespace ostrel
