// Batch mode as a production run: before it starts, the line's database when
// the settings name one ([PRODUCTION] Database=), or the line server in front
// of it ([PRODUCTION] Line=, with the station's token in the file
// LineTokenFile= names or in OSTREL_LINE_TOKEN), the serial-number dialog
// with the database's products, the day's production log in the user's
// state folder (both named in the log pane) and the programmer's serial
// number; while it runs, a line (and a row) per chip and the chips passed and
// failed on the status bar.

#include <QAction>
#include <QDialog>
#include <ctime>
#include <filesystem>

#include "buffers/data_buffers.h"
#include "catalogue/chip_lookup.h"
#include "catalogue/gbk_text.h"
#include "operations/window_presenter.h"
#include "production/line_client.h"
#include "production/production_run.h"
#include "production/station_link.h"
#include "production/ui/serial_dialog.h"
#include "shell/ui/main_window.h"

namespace ostrel {
namespace {

// Batch mode refused: the box, and a line the log pane keeps once it is closed.
void refuse(UiPort& ui, const std::string& text) {
    ui.insertLogLine(text + " (" + ui.timeOfDay() + ")");
    ui.errorBox(text);
}

}  // namespace

// What batch mode keeps from one run to the next: the dialog's last answer;
// and for the run: its log, its counter and the runner's hook.
struct BatchProduction {
    std::optional<SerialFormat> serialFormat;
    std::string product;  // the line's product last chosen
    std::unique_ptr<StationLink> database;
    // The FLASH buffer as the last run of `stampedProduct` left it: its image
    // with the last chip's serial number in it, which a next run of the same
    // product takes too.
    std::string stampedProduct;
    std::string stampedHash;
    ProductionLog log;
    std::unique_ptr<SerialCounter> serials;
    std::unique_ptr<ProductionRun> run;
};

bool TForm1::askSerialNumbers(std::optional<SerialFormat>& format, std::string& product,
                              const std::vector<Product>* products) {
    SerialDialog dialog(state_->language, *ui_, this);
    dialog.setFormat(format);
    if (products != nullptr) dialog.setProducts(*products, product);
    if (dialog.exec() != QDialog::Accepted) return false;
    product = dialog.chosenProduct();
    return dialog.takeFormat(format);
}

bool TForm1::connectLineDatabase(BatchProduction& p, const std::string& folder,
                                 std::vector<Product>& products) {
    p.database.reset();
    products.clear();
    // The line server, where one is named, stands in front of the database.
    std::string url = settingsFile_->readString("PRODUCTION", "Line").value_or(std::string());
    const bool server = !url.empty();
    if (!server) url = settingsFile_->readString("PRODUCTION", "Database").value_or(std::string());
    if (url.empty()) return true;
    const int language = state_->language;
    std::error_code ignored;  // a folder that cannot be made fails the log below
    std::filesystem::create_directories(folder, ignored);
    auto link = std::make_unique<StationLink>(url, folder);
    std::string error;
    platform::HttpTarget target;
    std::string prefix;
    if (server &&
        (!parseLineUrl(url, target, prefix, error) ||
         !readLineToken(
             settingsFile_->readString("PRODUCTION", "LineTokenFile").value_or(std::string()),
             link->lineToken, error))) {
        refuse(*ui_, databaseProblem(Txt::DatabaseUnusable, url, error, language));
        return false;
    }
    const bool connected = link->connect(error);
    // Batch mode may go on from the station's lease while the database is away.
    if (!connected && link->goOffline())
        ui_->insertLogLine(databaseProblem(Txt::DatabaseOffline, url, error, language) + " (" +
                           ui_->timeOfDay() + ")");
    if ((!connected && !link->offline()) || !link->listProducts(products, error)) {
        refuse(*ui_, databaseProblem(Txt::DatabaseUnusable, url, error, language));
        return false;
    }
    if (link->spoolWritten() > 0)
        ui_->insertLogLine(fillIn(programText(Txt::DatabaseSpoolWritten, language),
                                  {std::to_string(link->spoolWritten())}) +
                           " (" + ui_->timeOfDay() + ")");
    const RecordSpool::Flushed& flushed = link->spoolFlushed();
    if (flushed.setAside > 0) {
        const std::string setAside = fillIn(
            programText(Txt::DatabaseSetAside, language),
            {std::to_string(flushed.setAside), link->spool().setAsidePath(), flushed.reason});
        ui_->insertLogLine(setAside + " (" + ui_->timeOfDay() + ")");
        ui_->errorBox(setAside);
    }
    p.database = std::move(link);
    return true;
}

bool TForm1::checkLineProduct(BatchProduction& p, const std::vector<Product>& products) {
    if (!p.database || p.product.empty()) return true;
    const int language = state_->language;
    const Product* product = nullptr;
    for (const Product& each : products)
        if (each.name == p.product) product = &each;
    if (product == nullptr) {
        refuse(*ui_, fillIn(programText(Txt::ProductUnknown, language), {p.product}));
        return false;
    }
    const std::string chip =
        gbkToUtf8(chipNamesOf(state_->selectedRecord(), state_->selected).joined());
    if (chip != product->chip) {
        refuse(*ui_, fillIn(programText(Txt::ProductWrongChip, language),
                            {product->name, product->chip, chip}));
        return false;
    }
    // The image as Auto would write it: the view's edits taken over first.
    DataBuffers& buffers = state_->buffers;
    buffers.TakeFlashEdits(state_->selectedRecord().flashSize);
    const std::string hash = imageHash(
        buffers.flash(), static_cast<std::size_t>(std::max<int32_t>(buffers.flashDataLength, 0)));
    const bool stamped = p.product == p.stampedProduct && hash == p.stampedHash;
    if (hash != product->imageSha256 && !stamped) {
        refuse(*ui_, fillIn(programText(Txt::ProductWrongImage, language),
                            {product->name, hash, product->imageSha256}));
        return false;
    }
    p.database->product = *product;
    return true;
}

void TForm1::startProductionBatch() {
    JobLock& lock = runner_->lock();
    // Whatever stops the start, the button shows whether batch mode runs.
    auto keepButton = [this] { ToolBulk->setChecked(runner_->lock().batchActive()); };
    if (lock.locked()) return keepButton();
    if (!production_) production_ = std::make_shared<BatchProduction>();
    BatchProduction& p = *production_;
    const std::string folder = ProgramPaths::stateFolder();
    std::vector<Product> products;
    if (!connectLineDatabase(p, folder, products)) return keepButton();
    if (!askSerialNumbers(p.serialFormat, p.product, p.database ? &products : nullptr) ||
        lock.locked() || !checkLineProduct(p, products))
        return keepButton();

    const int language = state_->language;
    const std::string path = folder + "/" + productionLogName(std::time(nullptr));
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    std::string error = made.message();
    if (made || !p.log.open(path, error)) {
        refuse(*ui_, fillIn(programText(Txt::ProductionLogUnwritable, language), {path, error}));
        return keepButton();
    }
    // Which programmer records the chips: asked once, before the first chip.
    HardwareInfo info;
    {
        JobLock::Hold hold = lock.acquire(JobLock::Holder::Command);
        if (!hold) return keepButton();
        if (!ops_->readHardwareInfo(info)) {
            presenter_->presentNoProgrammer(attachedButUnusable(usb_->lastOpenFailure()));
            return keepButton();
        }
    }
    std::string why;
    // While the database is away the programmer is named by its chips' rows.
    if (p.database && !p.database->offline() &&
        !p.database->line().registerProgrammer(p.database->station, info.serialNumber, why)) {
        refuse(*ui_, databaseProblem(Txt::DatabaseAway, p.database->url(), why, language));
        return keepButton();
    }
    // The line's board shows the programmer waiting for its first chip.
    if (p.database) p.database->tellProgrammer(info.serialNumber, "waiting", 0);
    // Batch mode stays on this programmer, whatever comes or goes meanwhile.
    batchProgrammer_ = usb_->openedPath();
    batchProgrammerName_ =
        info.serialNumber.empty() ? batchProgrammer_ : info.serialNumber + " " + batchProgrammer_;
    usb_->setDevicePath(batchProgrammer_);
    p.run = std::make_unique<ProductionRun>(*state_, *ops_, *runner_, *ui_, p.log);
    p.run->programmer = info.serialNumber;
    p.run->database = p.database.get();
    p.serials.reset();
    if (p.serialFormat && !p.database) {
        p.serials =
            std::make_unique<SerialCounter>(folder + "/" + kSerialCounterName, *p.serialFormat);
        p.run->serials = p.serials.get();
    }
    ui_->insertLogLine(fillIn(programText(Txt::ProductionLogStarted, language), {path}) + " (" +
                       ui_->timeOfDay() + ")");
    if (p.database)
        ui_->insertLogLine(fillIn(programText(Txt::DatabaseStarted, language),
                                  {databaseShownName(p.database->url())}) +
                           " (" + ui_->timeOfDay() + ")");
    ui_->setStatusText(PanelBatchCounts,
                       fillIn(programText(Txt::ProductionCounts, language), {"0", "0"}));

    struct HookGuard {
        TForm1& form;
        ~HookGuard() {
            form.runner().hook = nullptr;
            form.presenter_->serialWritten = nullptr;
            form.batchProgrammer_.clear();
            form.applyProgrammerChoice();
        }
    } guard{*this};
    runner_->hook = p.run.get();
    presenter_->serialWritten = [run = p.run.get()] { return run->lastSerial(); };
    p.stampedHash.clear();
    const BatchEnd end = runner_->startBatch();
    if (p.database && p.database->product) {
        const DataBuffers& buffers = state_->buffers;
        p.stampedProduct = p.product;
        p.stampedHash =
            imageHash(buffers.flash(),
                      static_cast<std::size_t>(std::max<int32_t>(buffers.flashDataLength, 0)));
    }
    presenter_->presentBatchEnd(end);
    keepButton();
}

}  // namespace ostrel
