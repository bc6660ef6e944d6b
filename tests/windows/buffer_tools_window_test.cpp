// The buffer tools in the main window against the simulator: the checksum
// dialog's figures (computed by Python's zlib and hashlib), the find bar with
// its wrap, Go to's refusal, the cursor on a verify's first difference, the
// tools refused while a job holds the lock, and their captions per language.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <cstring>
#include <filesystem>

#include "buffers/ui/hex_view.h"
#include "ostrel_sim.h"
#include "shell/ui/buffer_tools.h"
#include "shell/ui/main_window.h"
#include "support/temp_files.h"
#include "windows/recording_form.h"

namespace ostrel {
namespace {

using QuietForm = testing::RecordingForm;

class BufferToolsWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::copy_file(OSTREL_BIN_DIR "/ostrel.Dat", dir.file("ostrel.Dat"));
        testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
        ostrel_sim_reset();
        ostrel_sim_insert_chip(ostrel_sim_add_programmer(1), 0, 0xEF4017, 0x800000, nullptr);
        form = std::make_unique<QuietForm>(ProgramPaths(dir.file("ostrel")),
                                           OSTREL_SIM_DIR "/libusb-0.1.so.4");
        form->show();
        form->ComboBox1Change(form->ComboBox1->findText("SPI_FLASH"));
        form->ComboBox2Change(form->ComboBox2->findText("Winbond"));
        form->ComboBox3Change(form->ComboBox3->findText("W25Q64JV"));
        ASSERT_EQ(form->state().selectedRecord().flashSize, 0x800000u);
    }
    void TearDown() override {
        form.reset();
        ostrel_sim_reset();
    }

    testing::TempDir dir;
    std::unique_ptr<QuietForm> form;
};

TEST_F(BufferToolsWindow, ChecksumsFindGoToAndTheFirstDifference) {
    BufferTools& tools = form->tools();
    DataBuffers& buffers = form->state().buffers;
    for (uint32_t i = 0; i < 4096; ++i) buffers.flash()[i] = static_cast<uint8_t>(i * 7 + 3);
    buffers.flashDataLength = 4096;

    tools.Checksum->trigger();
    ASSERT_TRUE(tools.ChecksumDialog->isVisible());
    const QString figures = tools.ChecksumFigures->toPlainText();
    for (const char* figure :
         {"Data length, 4096 bytes", "5e4e1995",
          "7486da8f1e13943fae21a0b043f1e99640d7d8ebafb25266478b5cddae1272b5", "0007F800 / F800",
          "Chip size, 8388608 bytes", "7e6f1a26",
          "dd3ab9c1cf93c193001bdfba6b6e685c69aed61cfcfe3b3e56f004df92fee9bf", "7F780800 / 0800"})
        EXPECT_TRUE(figures.contains(QLatin1String(figure))) << figure << "\n"
                                                             << figures.toStdString();
    tools.ChecksumCopy->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), figures);
    tools.ChecksumDialog->reject();

    // Find in the FLASH view: a byte string twice, the second ending at the
    // last byte, then once round the end; text too.
    const uint32_t last = 0x800000 - 3;
    std::memcpy(buffers.flash() + 0x10, "\xEF\x40\x17", 3);
    std::memcpy(buffers.flash() + last, "\xEF\x40\x17", 3);
    std::memcpy(buffers.flash() + 0x200, "Ostrel", 6);
    buffers.ShowFlash(0x800000);
    tools.Find->trigger();
    ASSERT_TRUE(tools.FindBar->isVisible());
    struct Search {
        int kind;
        const char* pattern;
        bool forward;
        bool found;
        std::size_t at;
        const char* note;
    } searches[] = {
        {0, "EF 40 17", true, true, 0x10, "Found at 10."},
        {0, "EF4017", true, true, last, "Found at 7FFFFD."},
        {0, "EF 40 17", true, true, 0x10, "Found at 10 (the search went round"},
        {0, "EF 40 17", false, true, last, "Found at 7FFFFD (the search went round"},
        {1, "Ostrel", true, true, 0x200, "Found at 200 (the search went round"},
        {0, "EF 4", true, false, 0, "Not a byte string"},
        {0, "12 34 56 78", true, false, 0, "Not found."},
    };
    for (const Search& s : searches) {
        SCOPED_TRACE(s.pattern);
        tools.FindKind->setCurrentIndex(s.kind);
        tools.FindEdit->setText(QString::fromLatin1(s.pattern));
        EXPECT_EQ(tools.find(s.forward ? SearchDirection::Forward : SearchDirection::Backward),
                  s.found);
        EXPECT_TRUE(tools.FindNote->text().startsWith(QLatin1String(s.note)))
            << tools.FindNote->text().toStdString();
        if (s.found) {
            EXPECT_EQ(form->FlashEditor->selectionStart(), s.at);
            EXPECT_EQ(form->FlashEditor->cursorAddress(), s.at);
        }
    }

    // Go to: the last address is taken, one past it refused in the dialog.
    tools.GoTo->trigger();
    ASSERT_TRUE(tools.GoToDialog->isVisible());
    tools.GoToEdit->setText("800000");
    EXPECT_FALSE(tools.GoToOk->isEnabled());
    EXPECT_EQ(tools.GoToNote->text(), "There is no such address in this view.");
    tools.GoToEdit->setText("7ffff0");
    ASSERT_TRUE(tools.GoToOk->isEnabled());
    tools.GoToOk->click();
    EXPECT_FALSE(tools.GoToDialog->isVisible());
    EXPECT_EQ(form->FlashEditor->cursorAddress(), 0x7FFFF0u);

    // Verify against a chip that differs: after the message the FLASH view's
    // cursor stands on the first difference.
    form->ToolErase->trigger();
    form->ToolWrite->trigger();
    buffers.flash()[0x123] ^= 0xFF;
    form->PageControl1->setCurrentIndex(2);
    form->ui().boxes.clear();
    form->ToolVerify->trigger();
    ASSERT_EQ(form->ui().boxes.size(), 1u);
    EXPECT_NE(form->ui().boxes[0].find("123h"), std::string::npos);
    EXPECT_EQ(form->PageControl1->currentIndex(), 0);
    EXPECT_EQ(form->FlashEditor->cursorAddress(), 0x123u);
}

TEST_F(BufferToolsWindow, ToolsWaitWhileAJobHoldsTheLockAndSpeakTheLanguage) {
    BufferTools& tools = form->tools();
    HexView* view = form->FlashEditor;
    view->goToAddress(0);
    QGuiApplication::clipboard()->setText("AA BB");
    {
        JobLock::Hold hold = form->runner().lock().acquire(JobLock::Holder::Diagnosis);
        ASSERT_TRUE(hold);
        for (QAction* a : {tools.Checksum, tools.Find, tools.Undo, tools.Redo, tools.Paste})
            EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
        tools.Paste->trigger();
        view->paste();
        EXPECT_EQ(view->document().byteAt(0), 0xFF);
    }
    EXPECT_TRUE(tools.Paste->isEnabled());
    tools.Paste->trigger();
    EXPECT_EQ(view->document().byteAt(1), 0xBB);
    tools.Undo->trigger();
    EXPECT_EQ(view->document().byteAt(1), 0xFF);

    struct Caption {
        void (TForm1::*language)();
        const char* checksum;
        const char* find;
    } captions[] = {
        {&TForm1::ChinaClick, "校验和(&S)...", "查找："},
        {&TForm1::fantiClick, "校驗和(&S)...", "尋找："},
        {&TForm1::EnlishClick, "Checksum(&S)...", "Find:"},
    };
    for (const Caption& c : captions) {
        (form.get()->*c.language)();
        EXPECT_EQ(tools.Checksum->text(), QString::fromUtf8(c.checksum));
        EXPECT_EQ(tools.FindLabel->text(), QString::fromUtf8(c.find));
    }
}

}  // namespace
}  // namespace ostrel
