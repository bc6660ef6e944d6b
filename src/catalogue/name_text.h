#pragma once
// The record's name text holds type, manufacturer and name joined by commas,
// as GBK bytes. Two ways of splitting it are in use and they differ on purpose:
// the chip lists, identification and the search window split it like a
// comma-separated list (where a space also ends an item), while the catalogue
// editor cuts it at the first two commas. Both work on the stored bytes and
// step over a GBK double-byte character whole, so a trail byte is never taken
// for a comma, a quote or a space.

#include <string>
#include <vector>

#include "catalogue/chip_record.h"

namespace ostrel {

// The name text of a record: its bytes up to the first zero, at most 48 even
// when a foreign file left no zero in the field.
std::string nameTextOf(const ChipRecord& record);

// Stores `text` as the record's name text: at most 47 bytes and a zero, the
// rest of the field zeroed. A longer text is cut at a character boundary.
void setNameText(ChipRecord& record, const std::string& text);

// The list rule: item 0 is the type, 1 the manufacturer, 2 the name, but a
// space inside a part splits it into more items. Items in double quotes keep
// commas and spaces ("" inside stands for one quote).
std::vector<std::string> splitListRule(const std::string& text);

struct NameParts {
    std::string type;
    std::string manufacturer;
    std::string name;
};

// The comma rule: type up to the first comma, manufacturer up to the second,
// name the rest. With one comma the manufacturer is empty; without any the
// whole text is the name.
NameParts splitCommaRule(const std::string& text);

// Removes leading and trailing bytes of code 32 or less.
std::string trimControls(const std::string& text);

struct BuiltName {
    std::string text;        // at most 47 bytes
    bool shortened = false;  // the joined parts were longer and were cut
};

// Joins the trimmed parts as "type,manufacturer,name". The field holds 47
// bytes of text; a longer join is cut at the last whole character that fits
// (a double-byte character is never halved) and `shortened` is set, so that
// the editor can tell the user rather than store a surprise.
BuiltName buildNameText(const std::string& type, const std::string& manufacturer,
                        const std::string& name);

// Length in bytes of the character starting at text[pos]: 2 for a GBK lead
// byte followed by another non-zero byte, else 1.
std::size_t gbkCharLength(const std::string& text, std::size_t pos);

}  // namespace ostrel
