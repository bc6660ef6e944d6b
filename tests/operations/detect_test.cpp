// Detect against the simulator: the ID read and what identification makes of
// each socket.

#include "catalogue/chip_identification.h"
#include "catalogue/name_text.h"
#include "operations/core.h"
#include "operations/window_presenter.h"
#include "sim_fixture.h"

namespace ostrel::testing {
namespace {

using Detect = SimFixture;

TEST_F(Detect, EachSocketEndsInItsChipTypeOrPicture) {
    struct Case {
        const char* what;
        int socketClass;  // -1: empty socket, -2: no programmer, -3: a reply cut short
        uint32_t socketId;
        Detection kind;
        const char* idText;  // what the command line prints of an ID
        SocketPicture picture;
        std::string box;
        int selected;
    } cases[] = {
        {"known ID", ClassSpiFlash25, 0xC22017, Detection::Known, "C2 20 17",
         SocketPicture::ChipInSocket, "The chip was detected:MX25L64\n\n Chip typeSPI_FLASH", 1},
        {"unknown ID", ClassSpiFlash25, 0x1F4401, Detection::UnknownId, "1F 44 01",
         SocketPicture::Unchanged,
         "Unknown chip ID =1F 44 01Please choose the compatibility type manually.", 0},
        {"24-series", ClassEeprom24, 0, Detection::TypeOnly, "", SocketPicture::ChipInSocket,
         "Chip type is detected:24_EEPROM\n\n Please manually select the corresponding type burn.",
         2},
        {"93-series", ClassEeprom93, 0, Detection::TypeOnly, "", SocketPicture::ChipInSocket,
         "Chip type is detected:93_EEPROM\n\n Please manually select the corresponding type burn.",
         3},
        {"empty socket", -1, 0, Detection::NoChip, "", SocketPicture::EmptySocket,
         "No chips detected, please put the chip to try again!", 0},
        {"no programmer", -2, 0, Detection::NoProgrammer, "", SocketPicture::Unchanged,
         "Not connected", 0},
        {"reply cut short", -3, 0, Detection::NoAnswer, "", SocketPicture::Unchanged,
         "The programmer did not answer the chip ID read.", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        restart();
        const char* names[] = {"SPI_FLASH,Maker,TEST", "SPI_FLASH,Macronix,MX25L64",
                               "24_EEPROM,Atmel,AT24C02", "93_EEPROM,Microchip,93C46"};
        const uint8_t classes[] = {ClassSpiFlash25, ClassSpiFlash25, ClassEeprom24, ClassEeprom93};
        for (int i = 0; i < 4; ++i) {
            ChipRecord& r = state->catalogue.at(i);
            setNameText(r, names[i]);
            r.chipClass = classes[i];
            r.flashSize = 0x800000;
            r.flashPage = 256;
            r.chipId = i == 1 ? 0xC22017 : 0;
        }
        state->catalogue.at(0).chipId = 0xEF4017;
        ChipSelector selector(state->catalogue, chipChangedInto(*state, ui));
        selector.select(0, 0, 0);
        if (c.socketClass >= 0)
            ostrel_sim_insert_chip(device, c.socketClass, c.socketId, 0x800000, nullptr);
        if (c.socketClass == -2) ostrel_sim_reset();
        if (c.socketClass == -3) {
            ostrel_sim_insert_chip(device, ClassSpiFlash25, 0xC22017, 0x800000, nullptr);
            ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_SHORT_READ, 1, 2);
        }

        const Identification found =
            identifyChip(ops.readChipId(), state->catalogue, selector, LangEnglish);
        EXPECT_EQ(found.kind, c.kind);
        EXPECT_EQ(found.idText, c.idText);
        EXPECT_EQ(found.picture, c.picture);
        showIdentification(found, ui);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, c.box);
        EXPECT_EQ(state->selected, c.selected);
        // The ID read carried the chip chosen before, and nothing more was sent.
        if (c.socketClass != -2)
            EXPECT_EQ(commands(), (std::vector<int>{CmdReadId, CmdEndJob}));
        else
            EXPECT_TRUE(commands().empty());
    }
}

}  // namespace
}  // namespace ostrel::testing
