#include "catalogue/chip_identification.h"

#include <gtest/gtest.h>

#include "base/messages.h"
#include "catalogue/name_text.h"
#include "operations/core.h"
#include "operations/main_state.h"
#include "operations/window_presenter.h"
#include "support/scripted_ui.h"

namespace ostrel {
namespace {

IdReply replyOf(IdReply::Outcome outcome, const uint8_t bytes[4]) {
    return {outcome, bytes[0],
            uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | uint32_t{bytes[3]}};
}

struct Chip {
    const char* name;
    uint32_t id;
};

// Two flash makers with an ID each, a second record with an ID already taken,
// two 24-series and one 93-series part; behind the terminator a record whose
// ID no detection may ever reach.
void fillCatalogue(Catalogue& catalogue) {
    const Chip chips[] = {{"SPI_FLASH,Winbond,W25Q32", 0xEF4016},
                          {"SPI_FLASH,Macronix,MX25L32", 0xC22016},
                          {"SPI_FLASH,Macronix,MX25L32D", 0xC22016},
                          {"24_EEPROM,Atmel,AT24C02", 0},
                          {"24_EEPROM,Atmel,AT24C04", 0},
                          {"93_EEPROM,Microchip,93C46", 0},
                          {"", 0},
                          {"SPI_FLASH,Ghost,GHOST", 0xABCDEF}};
    int i = 0;
    for (const Chip& c : chips) {
        setNameText(catalogue.at(i), c.name);
        catalogue.at(i).chipId = c.id;
        catalogue.at(i).flashSize = 256;
        ++i;
    }
}

TEST(ChipIdentification, EveryOutcomeChoosesReportsAndPicturesAsTheUserExpects) {
    const std::string unknown =
        "Unknown chip ID =C2 20 17Please choose the compatibility type manually.";
    const std::string kind2 =
        "Chip type is detected:24_EEPROM\n\n Please manually select the corresponding type burn.";
    struct Case {
        const char* what;
        bool emptyCatalogue;
        IdReply::Outcome result;
        uint8_t reply[4];     // kind and the ID's three bytes
        ListPositions start;  // chosen through the lists before Detect
        SocketPicture picture;
        std::string box;
        BoxIcon icon;
        ListPositions shown;
        int selected;
        ListPositions saved;
        bool selectionRan;   // the FLASH buffer was reset
        bool typed = false;  // the buffer holds bytes no file holds
        bool asked = false;  // "throw them away?" was asked
        bool letGo = true;   // and its answer
    } cases[] = {
        {"ID match of the chip already chosen keeps the buffer",
         false,
         IdReply::Outcome::Answered,
         {1, 0xC2, 0x20, 0x16},
         {0, 1, 0},
         SocketPicture::ChipInSocket,
         "The chip was detected:MX25L32\n\n Chip typeSPI_FLASH",
         BoxIcon::Information,
         {0, 1, 0},
         1,
         {0, 1, 0},
         false,
         true,
         false},
        {"ID match of another chip, typed bytes kept",
         false,
         IdReply::Outcome::Answered,
         {1, 0xC2, 0x20, 0x16},
         {1, 0, 1},
         SocketPicture::ChipInSocket,
         "The chip was detected:MX25L32\n\n Chip typeSPI_FLASH",
         BoxIcon::Information,
         {1, 0, 1},
         4,
         {1, 0, 1},
         false,
         true,
         true,
         false},
        {"ID match of another chip, typed bytes let go",
         false,
         IdReply::Outcome::Answered,
         {1, 0xC2, 0x20, 0x16},
         {1, 0, 1},
         SocketPicture::ChipInSocket,
         "The chip was detected:MX25L32\n\n Chip typeSPI_FLASH",
         BoxIcon::Information,
         {0, 1, 0},
         1,
         {0, 1, 0},
         true,
         true,
         true,
         true},
        // A record without an ID holds 0: 00 00 00 must not find AT24C02.
        {"ID 00 00 00 is no chip",
         false,
         IdReply::Outcome::Answered,
         {1, 0, 0, 0},
         {0, 1, 0},
         SocketPicture::Unchanged,
         "No chip answered the ID read (ID 00 00 00): check the chip's seating, its power and "
         "the clip. A chip without an ID is chosen in the lists.",
         BoxIcon::Error,
         {0, 1, 0},
         1,
         {0, 1, 0},
         false},
        {"ID FF FF FF is no chip",
         false,
         IdReply::Outcome::Answered,
         {1, 0xFF, 0xFF, 0xFF},
         {1, 0, 1},
         SocketPicture::Unchanged,
         "No chip answered the ID read (ID FF FF FF): check the chip's seating, its power and "
         "the clip. A chip without an ID is chosen in the lists.",
         BoxIcon::Error,
         {1, 0, 1},
         4,
         {1, 0, 1},
         false},
        {"ID match",
         false,
         IdReply::Outcome::Answered,
         {1, 0xC2, 0x20, 0x16},
         {1, 0, 1},
         SocketPicture::ChipInSocket,
         "The chip was detected:MX25L32\n\n Chip typeSPI_FLASH",
         BoxIcon::Information,
         {0, 1, 0},
         1,
         {0, 1, 0},
         true},
        {"unknown ID from another type",
         false,
         IdReply::Outcome::Answered,
         {1, 0xC2, 0x20, 0x17},
         {1, 0, 1},
         SocketPicture::Unchanged,
         unknown,
         BoxIcon::Error,
         {0, 0, 0},
         0,
         {1, 0, 1},
         true},
        {"unknown ID on the first type",
         false,
         IdReply::Outcome::Answered,
         {1, 0xC2, 0x20, 0x17},
         {0, 1, 0},
         SocketPicture::Unchanged,
         unknown,
         BoxIcon::Error,
         {0, 1, 0},
         1,
         {0, 1, 0},
         false},
        {"ID only behind the terminator",
         false,
         IdReply::Outcome::Answered,
         {1, 0xAB, 0xCD, 0xEF},
         {0, 0, 0},
         SocketPicture::Unchanged,
         "Unknown chip ID =AB CD EFPlease choose the compatibility type manually.",
         BoxIcon::Error,
         {0, 0, 0},
         0,
         {0, 0, 0},
         false},
        {"kind 2 on its type keeps the chip",
         false,
         IdReply::Outcome::Answered,
         {2, 0, 0, 0},
         {1, 0, 1},
         SocketPicture::ChipInSocket,
         kind2,
         BoxIcon::Information,
         {1, 0, 1},
         4,
         {1, 0, 1},
         false},
        {"kind 2 from another type",
         false,
         IdReply::Outcome::Answered,
         {2, 0, 0, 0},
         {0, 1, 1},
         SocketPicture::ChipInSocket,
         kind2,
         BoxIcon::Information,
         {1, 0, 0},
         3,
         {0, 1, 1},
         true},
        {"kind 3",
         false,
         IdReply::Outcome::Answered,
         {3, 0, 0, 0},
         {0, 0, 0},
         SocketPicture::ChipInSocket,
         "Chip type is detected:93_EEPROM\n\n Please manually select the corresponding type burn.",
         BoxIcon::Information,
         {2, 0, 0},
         5,
         {0, 0, 0},
         true},
        {"no chip",
         false,
         IdReply::Outcome::Answered,
         {0, 0xEF, 0x40, 0x16},
         {0, 0, 0},
         SocketPicture::EmptySocket,
         "No chips detected, please put the chip to try again!",
         BoxIcon::Error,
         {0, 0, 0},
         0,
         {0, 0, 0},
         false},
        {"unknown kind",
         false,
         IdReply::Outcome::Answered,
         {9, 0, 0, 0},
         {0, 0, 0},
         SocketPicture::EmptySocket,
         "No chips detected, please put the chip to try again!",
         BoxIcon::Error,
         {0, 0, 0},
         0,
         {0, 0, 0},
         false},
        {"no programmer",
         false,
         IdReply::Outcome::NoProgrammer,
         {1, 0xEF, 0x40, 0x16},
         {1, 0, 1},
         SocketPicture::Unchanged,
         "Not connected",
         BoxIcon::Error,
         {1, 0, 1},
         4,
         {1, 0, 1},
         false},
        {"reply not whole",
         false,
         IdReply::Outcome::NoAnswer,
         {1, 0xEF, 0x40, 0x16},
         {1, 0, 1},
         SocketPicture::Unchanged,
         "The programmer did not answer the chip ID read.",
         BoxIcon::Error,
         {1, 0, 1},
         4,
         {1, 0, 1},
         false},
        // Nothing to choose, and nothing chosen: the buffer stays.
        {"empty catalogue",
         true,
         IdReply::Outcome::Answered,
         {1, 0xC2, 0x20, 0x17},
         {0, 0, 0},
         SocketPicture::Unchanged,
         unknown,
         BoxIcon::Error,
         {-1, -1, -1},
         0,
         {0, 0, 0},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MainState state;
        if (!c.emptyCatalogue) fillCatalogue(state.catalogue);
        testing::ScriptedUi ui;
        ChipSelector selector(state.catalogue, chipChangedInto(state, ui));
        selector.select(c.start.type, c.start.manufacturer, c.start.name);
        selector.saved = c.start;
        state.language = LangEnglish;
        selector.mayResetBuffers = chipChangeAsking(state, ui);
        state.buffers.flash()[0] = 0x5A;
        if (c.typed) state.buffers.recordFill(EditStep{});
        ui.answers = {c.letGo};

        std::vector<std::pair<SocketPicture, std::size_t>> shownPictures;  // with boxes before it
        const Identification found =
            identifyChip(replyOf(c.result, c.reply), state.catalogue, selector, LangEnglish);
        // Identification decides and shows nothing; it only asks before the
        // chip it chooses throws typed bytes away.
        ASSERT_EQ(ui.boxes.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_EQ(ui.boxes[0].text,
                      "The buffer holds changes that no file has kept. Throw them away?");
            ui.boxes.clear();
        }
        showIdentification(
            found, ui, [&](SocketPicture p) { shownPictures.emplace_back(p, ui.boxes.size()); });

        EXPECT_EQ(found.picture, c.picture);
        if (c.picture == SocketPicture::Unchanged) {
            EXPECT_TRUE(shownPictures.empty());
        } else {
            ASSERT_EQ(shownPictures.size(), 1u);
            EXPECT_EQ(shownPictures[0].first, c.picture);
            EXPECT_EQ(shownPictures[0].second, 0u) << "the picture changes before the box";
        }
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, c.box);
        EXPECT_EQ(ui.boxes[0].icon, c.icon);
        EXPECT_EQ(ui.boxes[0].caption, c.icon == BoxIcon::Error ? "Error" : "Information");
        EXPECT_EQ(selector.shown().type, c.shown.type);
        EXPECT_EQ(selector.shown().manufacturer, c.shown.manufacturer);
        EXPECT_EQ(selector.shown().name, c.shown.name);
        EXPECT_EQ(state.selected, c.selected);
        EXPECT_EQ(selector.saved.type, c.saved.type);
        EXPECT_EQ(selector.saved.manufacturer, c.saved.manufacturer);
        EXPECT_EQ(selector.saved.name, c.saved.name);
        EXPECT_EQ(state.buffers.flash()[0], c.selectionRan ? 0xFF : 0x5A);
    }
}

// The boxes follow the language at the moment they are shown, in the window's
// words of each language.
TEST(ChipIdentification, ReportsInTheCurrentLanguage) {
    const struct {
        int language;
        const char* box;
    } cases[] = {
        {LangSimplified, "检测到芯片：W25Q32\n\n芯片类型 ：SPI_FLASH"},
        {LangTraditional, "檢測到芯片：W25Q32\n\n芯片類型 ：SPI_FLASH"},
        {LangEnglish, "The chip was detected:W25Q32\n\n Chip typeSPI_FLASH"},
    };
    for (const auto& c : cases) {
        MainState state;
        fillCatalogue(state.catalogue);
        testing::ScriptedUi ui;
        ChipSelector selector(state.catalogue, chipChangedInto(state, ui));
        selector.select(0, 0, 0);
        const IdReply reply{IdReply::Outcome::Answered, 1, 0xEF4016};
        showIdentification(identifyChip(reply, state.catalogue, selector, c.language), ui);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, c.box) << c.language;
    }
}

}  // namespace
}  // namespace ostrel
