// The catalogue loader over any bytes, then the name rules over every name it
// loaded: records must decode and encode back to the same 68 bytes, records
// behind the file must keep what they held, and a name the editor rebuilds
// from its parts must split into the same parts again, by the comma rule in
// the editor and by the list rule in the chip lists.

#include <cstring>
#include <vector>

#include "base/messages.h"
#include "catalogue/catalogue_file.h"
#include "catalogue/gbk_text.h"
#include "catalogue/name_text.h"
#include "fuzz/fuzz_support.h"

namespace ostrel::fuzzing {
namespace {

constexpr uint8_t kUntouched = 0xA5;

// True when `text` holds a byte of code 32 or less, a comma or a double quote
// at a character boundary: such a part does not survive a split.
bool splitsApart(const std::string& text) {
    for (std::size_t p = 0; p < text.size(); p += gbkCharLength(text, p)) {
        const unsigned char c = static_cast<unsigned char>(text[p]);
        if (c <= 32 || c == ',' || c == '"') return true;
    }
    return false;
}

bool validGbk(const std::string& text) {
    bool ok = true;
    gbkToUtf8(text, &ok);
    return ok;
}

void checkName(const std::string& text) {
    require(text.size() <= kNameTextSize && text.find('\0') == std::string::npos,
            "a name text longer than its field or with a zero");

    // The comma rule gives back the text when its parts are joined again.
    const NameParts parts = splitCommaRule(text);
    const bool joins = text == parts.name || text == parts.type + "," + parts.name ||
                       text == parts.type + "," + parts.manufacturer + "," + parts.name;
    require(joins, "the comma rule's parts do not make up the text");

    std::size_t listBytes = 0;
    for (const std::string& item : splitListRule(text)) listBytes += item.size();
    require(listBytes <= text.size(), "the list rule made more text than it was given");

    const BuiltName built = buildNameText(parts.type, parts.manufacturer, parts.name);
    require(built.text.size() <= kNameTextSize - 1, "a built name does not fit its field");
    require(built.text.find('\0') == std::string::npos, "a built name holds a zero");
    const std::string joined = trimControls(parts.type) + "," + trimControls(parts.manufacturer) +
                               "," + trimControls(parts.name);
    if (!built.shortened) {
        require(built.text == joined, "a name that fits was changed");
    } else {
        require(joined.size() > kNameTextSize - 1, "a name that fits was reported shortened");
        require(joined.compare(0, built.text.size(), built.text) == 0,
                "a shortened name is not the start of the joined parts");
    }

    // The editor stores what it built; both rules must find the parts again.
    const std::string type = trimControls(parts.type);
    const std::string manufacturer = trimControls(parts.manufacturer);
    const std::string name = trimControls(parts.name);
    if (built.shortened || splitsApart(type) || splitsApart(manufacturer) || splitsApart(name) ||
        !validGbk(built.text))
        return;
    const NameParts again = splitCommaRule(built.text);
    require(again.type == type && again.manufacturer == manufacturer && again.name == name,
            "the comma rule splits a built name into other parts");
    const std::vector<std::string> items = splitListRule(built.text);
    require(items == std::vector<std::string>{type, manufacturer, name},
            "the list rule splits a built name into other parts");
}

// The harness's own loops stay out of the coverage feedback.
__attribute__((no_sanitize("coverage"), noinline)) bool recordsMatch(const Catalogue& catalogue,
                                                                     const uint8_t* data,
                                                                     std::size_t records) {
    for (std::size_t i = 0; i < records; ++i) {
        uint8_t encoded[kChipRecordSize];
        encodeRecord(catalogue.records()[i], encoded);
        if (std::memcmp(encoded, data + i * kChipRecordSize, kChipRecordSize) != 0) return false;
    }
    return true;
}

__attribute__((no_sanitize("coverage"), noinline)) bool restUntouched(const Catalogue& catalogue,
                                                                      std::size_t records) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(catalogue.records().data());
    uint8_t differs = 0;
    for (std::size_t i = records * kChipRecordSize; i < kChipRecordSize * kCatalogueCapacity; ++i)
        differs |= bytes[i] ^ kUntouched;
    return differs == 0;
}

}  // namespace
}  // namespace ostrel::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using namespace ostrel::fuzzing;
    static Catalogue* catalogue = new Catalogue;
    std::memset(catalogue->records().data(), kUntouched, sizeof(ChipRecord) * kCatalogueCapacity);

    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const CatalogueLoad load = loadCatalogueBytes(bytes, *catalogue);
    const bool whole = size % kChipRecordSize == 0 && size / kChipRecordSize <= kCatalogueCapacity;
    if (!whole) {
        require(load == CatalogueLoad::Destroyed, "a damaged catalogue was loaded");
    } else {
        require(load == CatalogueLoad::Loaded, "a catalogue of whole records was refused");
    }
    const std::size_t records = load == CatalogueLoad::Loaded ? size / kChipRecordSize : 0;
    require(recordsMatch(*catalogue, data, records), "a record does not encode back to its bytes");
    require(restUntouched(*catalogue, records), "a record behind the file changed");
    for (std::size_t i = 0; i < records && catalogue->records()[i].nameText[0] != 0; ++i)
        checkName(nameTextOf(catalogue->records()[i]));
    return 0;
}
