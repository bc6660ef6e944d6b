#include "catalogue/catalogue_editor.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "base/buffer_sizes.h"
#include "base/integer_text.h"
#include "base/texts.h"
#include "catalogue/catalogue_file.h"
#include "catalogue/chip_selection.h"
#include "catalogue/name_text.h"

namespace ostrel {

namespace {

// The editor's terminator takes one of the file's 1000 records.
constexpr int kMaxChips = kCatalogueCapacity - 1;

// The number of times v can be halved before it is 1 or less.
int log2Of(int64_t v) {
    int n = 0;
    while (v > 1) {
        v /= 2;
        ++n;
    }
    return n;
}

int findEntry(const std::vector<std::string>& entries, const std::string& text) {
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == text) return static_cast<int>(i);
    return -1;
}

void setText(EditorCombo& box, const std::string& text) {
    box.text = text;
    box.position = findEntry(box.entries, text);
}

bool isMember(const std::vector<std::string>& list, const std::string& text) {
    return positionOf(list, text) >= 0;
}

std::string notAnInteger(const std::string& text) {
    return fillIn(programText(Txt::NotValidInteger, 0), {text});
}

}  // namespace

const EditorRow& editorHeaders() {
    static const EditorRow headers = {"芯片类型", "芯片厂家", "芯片型号", "芯片ID", "FLASH",
                                      "FLASH页",  "类型",     "子类型",   "延时",   "工作电压",
                                      "EEPROM",   "EEPROM页", "关联XML"};
    return headers;
}

void EditorCombo::choose(int p) {
    if (p >= 0 && p < static_cast<int>(entries.size())) {
        position = p;
        text = entries[static_cast<std::size_t>(p)];
    } else {
        position = -1;
        text.clear();
    }
}

const std::vector<std::string>& classEntries() {
    static const std::vector<std::string> entries = {
        "25 flash 系列", "24 eeprom 系列", "93 eeprom 系列", "95 eeprom 系列", "AVR 系列"};
    return entries;
}

const std::vector<std::string>& flashSizeEntries() {
    static const std::vector<std::string> entries = {
        "64B",   "128B",  "256B",  "512B", "1KB", "2KB", "4KB", "8KB",  "16KB", "32KB", "64KB",
        "128KB", "256KB", "512KB", "1MB",  "2MB", "4MB", "8MB", "16MB", "32MB", "64MB"};
    return entries;
}

const std::vector<std::string>& pageEntries() {
    static const std::vector<std::string> entries = {"1",  "2",  "4",   "8",  "16",
                                                     "32", "64", "128", "256"};
    return entries;
}

const std::vector<std::string>& voltageEntries() {
    static const std::vector<std::string> entries = {"3.3V", "1.8V"};
    return entries;
}

const std::vector<std::string>& eepromSizeEntries() {
    static const std::vector<std::string> entries = {
        "0B",    "2B",    "4B",  "8B",  "16B", "32B",  "64B",  "128B", "256B",
        "512B",  "1KB",   "2KB", "4KB", "8KB", "16KB", "32KB", "64KB", "128KB",
        "256KB", "512KB", "1MB", "2MB", "4MB", "8MB",  "16MB", "32MB", "64MB"};
    return entries;
}

const std::vector<std::string>& extendEntries() {
    static const std::vector<std::string> entries = [] {
        std::vector<std::string> e;
        for (int i = 0; i <= 18; ++i) e.push_back(std::to_string(i));
        return e;
    }();
    return entries;
}

std::vector<std::string> algorithmEntries(int classPosition) {
    switch (classPosition) {
        case ClassSpiFlash25:
            return {"非SST SPI flash", "SST SPI flash", "大于16M bytes", "SST大于16M bytes"};
        case ClassEeprom24:
            return {"小于4KB", "大于等于4KB"};
        case ClassEeprom93:
            return {"93C46 8 BITS",  "93C57 8 BITS",  "93C66 8 BITS",  "93C76 8 BITS",
                    "93C86 8 BITS",  "93C46 16 BITS", "93C57 16 BITS", "93C66 16 BITS",
                    "93C76 16 BITS", "93C86 16 BITS"};
        case ClassEeprom95:
            return {"8位地址", "16位地址", "24位地址"};
        case ClassAvr:
            return {"标准算法"};
        default:
            return {};
    }
}

CatalogueEditor::CatalogueEditor() : grid_{editorHeaders()} {
    controls_.delay = "100";
    controls_.chipClass.entries = classEntries();
    controls_.chipClass.text = classEntries()[0];
    controls_.flashSize.entries = flashSizeEntries();
    controls_.flashSize.choose(0);
    controls_.flashPage.entries = pageEntries();
    controls_.flashPage.choose(0);
    controls_.voltage.entries = voltageEntries();
    controls_.voltage.choose(0);
    // Until the class first changes, the list is the class-0 one as the window
    // was designed, its last entry written with a space.
    controls_.algorithm.entries = algorithmEntries(ClassSpiFlash25);
    controls_.algorithm.entries[3] = "SST 大于16M bytes";
    controls_.algorithm.text = controls_.algorithm.entries[0];
    controls_.chipId.text = "0";
    controls_.eepromSize.entries = eepromSizeEntries();
    controls_.eepromSize.choose(1);
    controls_.eepromPage.entries = pageEntries();
    controls_.eepromPage.choose(2);
    controls_.extend.entries = extendEntries();
    controls_.extend.choose(0);
}

void CatalogueEditor::open(const Catalogue& catalogue) {
    grid_.assign(1, editorHeaders());
    controls_.type.entries.clear();
    controls_.manufacturer.entries.clear();
    controls_.name.entries.clear();
    const int count = catalogue.count();
    for (int i = 0; i < count; ++i) {
        const ChipRecord& r = catalogue.at(i);
        const NameParts parts = splitCommaRule(nameTextOf(r));
        EditorRow row;
        row[ColType] = parts.type;
        row[ColManufacturer] = parts.manufacturer;
        row[ColName] = parts.name;
        char id[16];
        std::snprintf(id, sizeof id, "0x%X", r.chipId);
        row[ColChipId] = id;
        row[ColFlashSize] = std::to_string(r.flashSize);
        row[ColFlashPage] = std::to_string(r.flashPage);
        row[ColClass] = std::to_string(r.chipClass);
        row[ColAlgorithm] = std::to_string(r.algorithm);
        row[ColDelay] = std::to_string(r.delay);
        row[ColVoltage] = std::to_string(r.voltage);
        row[ColEepromSize] = std::to_string(r.eepromSize);
        row[ColEepromPage] = std::to_string(r.eepromPage);
        row[ColExtend] = std::to_string(r.extend);
        grid_.push_back(row);
        if (!isMember(controls_.type.entries, parts.type))
            controls_.type.entries.push_back(parts.type);
        if (!parts.manufacturer.empty() &&
            !isMember(controls_.manufacturer.entries, parts.manufacturer))
            controls_.manufacturer.entries.push_back(parts.manufacturer);
        if (!isMember(controls_.name.entries, parts.name))
            controls_.name.entries.push_back(parts.name);
    }
    controls_.type.choose(0);
    controls_.manufacturer.choose(0);
    controls_.name.choose(0);
    // The rows changed under any row chosen before.
    currentRow_ = chipRows() > 0 ? 1 : 0;
    remembered_ = 0;
}

void CatalogueEditor::selectCell(int row) {
    if (row < 0 || row >= static_cast<int>(grid_.size())) return;
    remembered_ = row;
    if (row > 0) currentRow_ = row;
}

std::optional<std::string> CatalogueEditor::loadRow() {
    if (remembered_ <= 0 || remembered_ > chipRows()) return std::nullopt;
    const EditorRow& row = grid_[static_cast<std::size_t>(remembered_)];
    int32_t v[kEditorColumns] = {};
    for (int c = ColFlashSize; c < kEditorColumns; ++c) {
        const auto value =
            parseIntegerText(row[static_cast<std::size_t>(c)], HexPrefixes::AlsoBareX);
        if (!value) return notAnInteger(row[static_cast<std::size_t>(c)]);
        v[c] = *value;
    }
    setText(controls_.type, row[ColType]);
    setText(controls_.manufacturer, row[ColManufacturer]);
    setText(controls_.name, row[ColName]);
    setText(controls_.chipId, row[ColChipId]);
    controls_.flashSize.choose(log2Of(uint32_t(v[ColFlashSize])) - 6);
    controls_.flashPage.choose(log2Of(v[ColFlashPage]));
    controls_.chipClass.choose(v[ColClass]);
    classChanged(controls_.chipClass.position);
    const int code = v[ColAlgorithm];
    switch (controls_.chipClass.position) {
        case ClassSpiFlash25: {
            // Another code keeps the entry the class change chose.
            const int p = code == 0 ? 0 : code == 1 ? 1 : code == 128 ? 2 : code == 129 ? 3 : -1;
            if (p >= 0) controls_.algorithm.choose(p);
            break;
        }
        case ClassEeprom24:
            // 24-series parts from 4 KB on address with two bytes; the size decides.
            controls_.algorithm.choose(controls_.flashSize.position >= 6 ? 1 : 0);
            break;
        case ClassEeprom93:
            controls_.algorithm.choose(code < 80 ? code - 7 : code - 82);
            break;
        case ClassEeprom95:
            controls_.algorithm.choose(code);
            break;
        default:
            break;
    }
    controls_.delay = std::to_string(v[ColDelay]);
    controls_.voltage.choose(v[ColVoltage]);
    controls_.eepromSize.choose(log2Of(v[ColEepromSize]));
    controls_.eepromPage.choose(log2Of(v[ColEepromPage]));
    setText(controls_.extend, std::to_string(v[ColExtend]));
    return std::nullopt;
}

void CatalogueEditor::classChanged(int position) {
    controls_.chipClass.choose(position);
    controls_.algorithm.entries = algorithmEntries(controls_.chipClass.position);
    controls_.algorithm.choose(controls_.algorithm.entries.empty() ? -1 : 0);
}

void CatalogueEditor::writeControls(EditorRow& row) const {
    const EditorControls& c = controls_;
    row[ColType] = c.type.text;
    row[ColManufacturer] = c.manufacturer.text;
    row[ColName] = c.name.text;
    row[ColChipId] = c.chipId.text;
    // A list that shows no entry leaves its cell as it was: a shift by -1 is
    // no number, and a class or voltage of -1 would be stored as 255.
    if (c.flashSize.position >= 0)
        row[ColFlashSize] = std::to_string(uint64_t(64) << c.flashSize.position);
    if (c.flashPage.position >= 0)
        row[ColFlashPage] = std::to_string(uint64_t(1) << c.flashPage.position);
    if (c.chipClass.position >= 0) row[ColClass] = std::to_string(c.chipClass.position);
    const int a = c.algorithm.position;
    if (a >= 0) {
        switch (c.chipClass.position) {
            case ClassEeprom93:
                row[ColAlgorithm] = std::to_string(a < 5 ? a + 7 : a + 82);
                break;
            case ClassEeprom24:
            case ClassEeprom95:
                row[ColAlgorithm] = std::to_string(a);
                break;
            default:
                if (a <= 3) row[ColAlgorithm] = std::to_string(a < 2 ? a : a + 126);
                break;
        }
    }
    row[ColDelay] = c.delay;
    if (c.voltage.position >= 0) row[ColVoltage] = std::to_string(c.voltage.position);
    if (c.eepromSize.position >= 0)
        row[ColEepromSize] =
            c.eepromSize.position == 0 ? "0" : std::to_string(uint64_t(1) << c.eepromSize.position);
    if (c.eepromPage.position >= 0)
        row[ColEepromPage] = std::to_string(uint64_t(1) << c.eepromPage.position);
    row[ColExtend] = c.extend.text;
}

void CatalogueEditor::add() {
    grid_.emplace_back();
    writeControls(grid_.back());
    currentRow_ = remembered_ = chipRows();
}

bool CatalogueEditor::edit() {
    if (remembered_ <= 0 || remembered_ > chipRows()) return false;
    writeControls(grid_[static_cast<std::size_t>(remembered_)]);
    return true;
}

bool CatalogueEditor::remove() {
    if (chipRows() < 1) return false;
    grid_.erase(grid_.begin() + currentRow_);
    // The grid keeps its current row where it was, or on the new last row;
    // the remembered row may not point behind the grid either.
    if (currentRow_ > chipRows()) currentRow_ = chipRows();
    if (remembered_ > chipRows()) remembered_ = chipRows();
    return true;
}

std::optional<std::string> CatalogueEditor::buildRecords(Catalogue& into, int language) const {
    const int chips = chipRows();
    if (chips > kMaxChips)
        return fillIn(programText(Txt::EditorTooManyChips, language),
                      {std::to_string(chips), std::to_string(kMaxChips)});
    for (int r = 1; r <= chips; ++r) {
        const EditorRow& row = grid_[static_cast<std::size_t>(r)];
        const std::string joined = trimControls(row[ColType]) + "," +
                                   trimControls(row[ColManufacturer]) + "," +
                                   trimControls(row[ColName]);
        if (joined.size() > kNameTextSize - 1)
            return fillIn(programText(Txt::EditorNameTooLong, language),
                          {std::to_string(r), std::to_string(joined.size()),
                           std::to_string(kNameTextSize - 1)});
        int32_t v[kEditorColumns] = {};
        for (int c = ColChipId; c < kEditorColumns; ++c) {
            const auto value =
                parseIntegerText(row[static_cast<std::size_t>(c)], HexPrefixes::AlsoBareX);
            if (!value) return notAnInteger(row[static_cast<std::size_t>(c)]);
            v[c] = *value;
        }
        // The fields the buffers and the programmer take sizes from must hold
        // the value itself, not its low bits: a 64 KB EEPROM stored as 0 would
        // be a chip without one.
        struct Limit {
            EditorColumn column;
            uint32_t most;
        } limits[] = {{ColFlashSize, kFlashBufferSize},
                      {ColFlashPage, 0xFFFF},
                      {ColEepromSize, kEepromBufferSize},
                      {ColEepromPage, 0xFF}};
        for (const Limit& limit : limits) {
            if (v[limit.column] >= 0 && uint32_t(v[limit.column]) <= limit.most) continue;
            return fillIn(
                programText(Txt::EditorValueTooLarge, language),
                {std::to_string(r), editorHeaders()[limit.column],
                 row[static_cast<std::size_t>(limit.column)], std::to_string(limit.most)});
        }
        ChipRecord& record = into.at(r - 1);
        std::memset(&record, 0, sizeof record);
        setNameText(record, joined);
        record.chipId = uint32_t(v[ColChipId]);
        record.flashSize = uint32_t(v[ColFlashSize]);
        record.flashPage = uint16_t(v[ColFlashPage]);
        record.chipClass = uint8_t(v[ColClass]);
        record.algorithm = uint8_t(v[ColAlgorithm]);
        record.delay = uint16_t(v[ColDelay]);
        record.voltage = uint8_t(v[ColVoltage]);
        record.eepromSize = uint16_t(v[ColEepromSize]);
        record.eepromPage = uint8_t(v[ColEepromPage]);
        record.extend = uint16_t(v[ColExtend]);
    }
    return std::nullopt;
}

std::optional<std::string> CatalogueEditor::save(const std::string& path, Catalogue& catalogue,
                                                 int language) const {
    // Built on a copy, so that a refusal or a failed write leaves the
    // catalogue in memory as it was.
    auto copy = std::make_unique<Catalogue>(catalogue);
    if (auto refusal = buildRecords(*copy, language)) return refusal;
    if (!saveCatalogueFile(path, *copy, chipRows()))
        return fillIn(programText(Txt::UnableToWriteTo, language), {path});
    catalogue = *copy;
    return std::nullopt;
}

}  // namespace ostrel
