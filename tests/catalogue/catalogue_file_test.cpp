#include "catalogue/catalogue_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "base/messages.h"
#include "catalogue/name_text.h"
#include "support/scripted_ui.h"
#include "support/temp_files.h"

namespace ostrel {
namespace {

#ifndef _WIN32
using testing::FileSizeLimit;
#endif
using testing::ScriptedUi;

// The load as the windows run it: a damaged file said in a plain box.
CatalogueLoad loadShown(const std::string& path, Catalogue& catalogue, ScriptedUi& ui,
                        int language) {
    const CatalogueLoad load = loadCatalogueFile(path, catalogue);
    if (load == CatalogueLoad::Destroyed)
        ui.messageBox(messageText(Msg::MsgConfigDestroyed, language), "", BoxIcon::None);
    return load;
}
using testing::TempDir;

ChipRecord chip(const std::string& name, uint32_t id) {
    ChipRecord r{};
    setNameText(r, name);
    r.chipId = id;
    r.flashSize = 0x800000;
    r.flashPage = 256;
    r.delay = 100;
    r.voltage = 1;
    return r;
}

std::string recordBytes(const ChipRecord& r) {
    std::string bytes(kChipRecordSize, '\0');
    encodeRecord(r, reinterpret_cast<uint8_t*>(&bytes[0]));
    return bytes;
}

std::string chipsFile(int chips, bool terminator) {
    std::string bytes;
    for (int i = 0; i < chips; ++i)
        bytes += recordBytes(chip("25,Maker,C" + std::to_string(i), 0xEF4000u + i));
    if (terminator) bytes += std::string(kChipRecordSize, '\0');
    return bytes;
}

// A catalogue that already holds five chips, to see what a load keeps.
Catalogue fiveOldChips() {
    Catalogue c;
    for (int i = 0; i < 5; ++i) c.at(i) = chip("24,Old,X" + std::to_string(i), 0x100u + i);
    return c;
}

TEST(CatalogueFile, LoadsByLengthOrRefusesAsDestroyed) {
    struct Case {
        const char* what;
        std::string bytes;
        CatalogueLoad result;
        int count;  // chips afterwards, starting from fiveOldChips()
    };
    const Case cases[] = {
        {"0 bytes", "", CatalogueLoad::Loaded, 5},
        {"67 bytes", std::string(67, 'A'), CatalogueLoad::Destroyed, 5},
        {"69 bytes", chipsFile(1, false) + "x", CatalogueLoad::Destroyed, 5},
        {"only a terminator", chipsFile(0, true), CatalogueLoad::Loaded, 0},
        {"two chips and a terminator", chipsFile(2, true), CatalogueLoad::Loaded, 2},
        {"1000 chips, no terminator", chipsFile(1000, false), CatalogueLoad::Loaded, 1000},
        {"1001 records", chipsFile(1000, true), CatalogueLoad::Destroyed, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.file("ostrel.Dat");
        testing::writeFile(path, c.bytes);
        Catalogue catalogue = fiveOldChips();
        const Catalogue before = catalogue;
        ScriptedUi ui;
        EXPECT_EQ(loadShown(path, catalogue, ui, LangEnglish), c.result);
        EXPECT_EQ(catalogue.count(), c.count);
        if (c.result == CatalogueLoad::Destroyed) {
            ASSERT_EQ(ui.boxes.size(), 1u);
            EXPECT_EQ(ui.boxes[0].text, "The configuration file was destroyed.");
            EXPECT_FALSE(ui.boxes[0].question);
            EXPECT_EQ(
                std::memcmp(&catalogue.records(), &before.records(), sizeof(ChipRecord) * 1000), 0);
        } else {
            EXPECT_TRUE(ui.boxes.empty());
        }
    }
}

TEST(CatalogueFile, MissingFileChangesNothingAndSaysNothing) {
    TempDir dir;
    Catalogue catalogue = fiveOldChips();
    ScriptedUi ui;
    EXPECT_EQ(loadShown(dir.file("ostrel.Dat"), catalogue, ui, LangEnglish),
              CatalogueLoad::Missing);
    EXPECT_EQ(catalogue.count(), 5);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(CatalogueFile, DestroyedMessageFollowsTheGivenLanguage) {
    TempDir dir;
    testing::writeFile(dir.file("ostrel.Dat"), std::string(69, '\0'));
    Catalogue catalogue;
    ScriptedUi ui;
    loadShown(dir.file("ostrel.Dat"), catalogue, ui, LangSimplified);
    loadShown(dir.file("ostrel.Dat"), catalogue, ui, LangTraditional);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].text, "配置文件被破坏！");
    EXPECT_EQ(ui.boxes[1].text, "配置文件被破壞！");
}

TEST(CatalogueFile, RecordsBehindTheFileEndOrATerminatorAreNeverRead) {
    TempDir dir;
    const std::string path = dir.file("ostrel.Dat");
    // An older, longer catalogue survives behind a terminator in the file ...
    testing::writeFile(path, chipsFile(2, true) + recordBytes(chip("25,Ghost,G1", 1)));
    Catalogue catalogue = fiveOldChips();
    ScriptedUi ui;
    ASSERT_EQ(loadShown(path, catalogue, ui, LangEnglish), CatalogueLoad::Loaded);
    EXPECT_EQ(catalogue.count(), 2);
    EXPECT_EQ(nameTextOf(catalogue.at(3)), "25,Ghost,G1");
    // ... and positions beyond the file's end keep what they held.
    EXPECT_EQ(nameTextOf(catalogue.at(4)), "24,Old,X4");
}

TEST(CatalogueFile, SaveWritesChipsAndAZeroTerminatorAndLoadsBackTheSame) {
    TempDir dir;
    const std::string path = dir.file("ostrel.Dat");
    Catalogue saved = fiveOldChips();
    saved.at(1) = chip("24,东方芯片,AT24C02", 0x123456);
    ASSERT_TRUE(saveCatalogueFile(path, saved, 3));

    const std::string bytes = testing::readFile(path);
    ASSERT_EQ(bytes.size(), 4 * kChipRecordSize);
    EXPECT_EQ(bytes.substr(3 * kChipRecordSize), std::string(kChipRecordSize, '\0'));
    EXPECT_EQ(bytes.substr(kChipRecordSize, kChipRecordSize), recordBytes(saved.at(1)));
    // The array now ends at the saved chips too; older ones behind stay unread.
    EXPECT_EQ(saved.count(), 3);
    EXPECT_EQ(nameTextOf(saved.at(4)), "24,Old,X4");

    Catalogue loaded;
    ScriptedUi ui;
    ASSERT_EQ(loadShown(path, loaded, ui, LangEnglish), CatalogueLoad::Loaded);
    EXPECT_EQ(loaded.count(), 3);
    EXPECT_EQ(std::memcmp(&loaded.records(), &saved.records(), sizeof(ChipRecord) * 3), 0);
}

TEST(CatalogueFile, FullCatalogueIsSavedWithoutTerminatorAndBadCountsAreRefused) {
    TempDir dir;
    const std::string path = dir.file("ostrel.Dat");
    Catalogue full;
    for (int i = 0; i < kCatalogueCapacity; ++i) full.at(i) = chip("25,M,N" + std::to_string(i), 1);
    ASSERT_TRUE(saveCatalogueFile(path, full, kCatalogueCapacity));
    EXPECT_EQ(testing::readFile(path).size(), kChipRecordSize * kCatalogueCapacity);
    EXPECT_EQ(full.count(), kCatalogueCapacity);

    EXPECT_FALSE(saveCatalogueFile(path, full, -1));
    EXPECT_FALSE(saveCatalogueFile(path, full, kCatalogueCapacity + 1));
    EXPECT_EQ(testing::readFile(path).size(), kChipRecordSize * kCatalogueCapacity);
}

#ifndef _WIN32  // Windows has no file size limit that makes a write fail part-way
TEST(CatalogueFile, FailedSaveLeavesTheOldFileIntact) {
    TempDir dir;
    const std::string path = dir.file("ostrel.Dat");
    const std::string old = chipsFile(2, true);
    testing::writeFile(path, old);
    Catalogue catalogue = fiveOldChips();
    {
        // The new file cannot grow past 100 bytes, so its write fails half way.
        FileSizeLimit limit(100);
        EXPECT_FALSE(saveCatalogueFile(path, catalogue, 5));
    }
    EXPECT_EQ(testing::readFile(path), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1)
        << "the half-written file was left behind";

    EXPECT_FALSE(saveCatalogueFile(dir.file("no-such-folder/ostrel.Dat"), catalogue, 5));
}
#endif

}  // namespace
}  // namespace ostrel
