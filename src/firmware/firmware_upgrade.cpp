#include "firmware/firmware_upgrade.h"

#include <algorithm>

#include "base/platform.h"
#include "base/safe_file.h"
#include "base/texts.h"
#include "buffers/file_io.h"

namespace ostrel {

namespace {

void putLittle32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t little32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

std::string wordText(uint32_t word) {
    return hexDigits(word, 8) + "h";
}

}  // namespace

Report iapReport(IapCode code) {
    Report report{};
    report[0] = kIapReportId;
    report[1] = code;
    return report;
}

Report iapPrepareReport(uint32_t target, uint32_t blockCount, uint32_t length) {
    Report report = iapReport(IapPrepare);
    putLittle32(&report[2], target);
    // The boot loader has one byte for the count; it gets the low 8 bits.
    report[6] = static_cast<uint8_t>(blockCount);
    putLittle32(&report[7], length);
    return report;
}

Report iapDataReport(const uint8_t* bytes) {
    Report report = iapReport(IapData);
    std::copy(bytes, bytes + kIapDataPerReport, report.begin() + 2);
    return report;
}

IapQueryReply parseIapQueryReply(const Report& reply) {
    IapQueryReply result;
    result.target = static_cast<uint32_t>(reply[1]) | static_cast<uint32_t>(reply[2]) << 8 |
                    static_cast<uint32_t>(reply[3]) << 16 | static_cast<uint32_t>(reply[4]) << 24;
    result.blockSize = static_cast<uint16_t>(reply[5] | reply[6] << 8);
    return result;
}

FirmwareImage firmwareImageOf(const uint8_t* file, uint32_t length) {
    if (length == 0) return FirmwareImage::Empty;
    if (length <= kFirmwareImageOffset) return FirmwareImage::NoImage;
    const bool erased = std::all_of(file + kFirmwareImageOffset, file + length,
                                    [](uint8_t byte) { return byte == 0xFF; });
    if (erased) return FirmwareImage::Erased;
    // A file too short for both words holds no vector table.
    if (length < kFirmwareImageOffset + 8) return FirmwareImage::NotArm;
    const uint8_t* vectors = file + kFirmwareImageOffset;
    return firmwareVectorsValid(little32(vectors), little32(vectors + 4)) ? FirmwareImage::Usable
                                                                          : FirmwareImage::NotArm;
}

bool firmwareVectorsValid(uint32_t stackPointer, uint32_t resetHandler) {
    const bool stackInRam = stackPointer % 4 == 0 && stackPointer > kFirmwareRamStart &&
                            stackPointer <= kFirmwareRamEnd;
    const bool resetInFlash = resetHandler % 2 == 1 && resetHandler >= kFirmwareFlashStart &&
                              resetHandler < kFirmwareFlashEnd;
    return stackInRam && resetInFlash;
}

uint32_t iapBlockCount(uint32_t length, uint32_t blockSize) {
    return length / blockSize + (length % blockSize != 0 ? 1 : 0);
}

uint32_t iapDataReportCount(uint32_t length) {
    return iapBlockCount(length, kIapDataPerReport);
}

FirmwareUpgrade::FirmwareUpgrade(const int32_t& language, ProgrammerOps& ops, HidDevice& hid,
                                 UiPort& ui)
    : language_(language), ops_(ops), hid_(hid), ui_(ui) {}

bool FirmwareUpgrade::readHardwareInfo(HardwareTexts& texts) {
    HardwareInfo info;
    if (!ops_.readHardwareInfo(info)) return false;
    texts.hardwareVersion = info.hardwareVersion;
    texts.firmwareVersion = info.firmwareVersion;
    texts.serialNumber = info.serialNumber;
    return true;
}

UpgradeResult FirmwareUpgrade::hardwareCommand(HardwareWindow& window) {
    HardwareTexts texts;
    if (readHardwareInfo(texts)) window.showTexts(texts);
    window.checkFile = [this](const std::string& path) { return checkFile(path); };
    const std::string path = window.runModal();
    window.checkFile = nullptr;
    return upgrade(path);
}

bool FirmwareUpgrade::checkFile(const std::string& path) {
    confirmed_.clear();
    const bool sendable = loadImage(path);
    image_ = {};
    if (sendable) confirmed_ = path;
    return sendable;
}

bool FirmwareUpgrade::loadImage(const std::string& path) {
    // Said before loading, so that the loader's own "too big" does not come too.
    const std::optional<platform::PathInfo> info = platform::pathInfo(path);
    if (info && info->regular && static_cast<uint64_t>(info->size) > kFirmwareFileLimit) {
        ui_.errorBox(fillIn(text(Txt::FirmwareFileTooBig), {path, std::to_string(info->size),
                                                            std::to_string(kFirmwareFileLimit)}));
        return false;
    }
    image_.assign(kFirmwareFileLimit, 0xFF);
    LoadOptions options;
    options.readRecordTextAs = [this, &path](FileFormat looks) {
        const std::string name = formatName(looks);
        return ui_.askInfo(
            fillIn(programText(Txt::ReadRecordTextAs, language_), {path, name, name}));
    };
    const LoadResult loaded = loadFile(path, image_.data(), kFirmwareFileLimit, options);
    if (loaded.failed()) {
        for (const std::string& failure : loadFailureTexts(loaded, path)) ui_.errorBox(failure);
        ui_.errorBox(fillIn(text(Txt::FirmwareFileRefused), {path}));
        return false;
    }
    length_ = loaded.count > 0 ? static_cast<uint32_t>(loaded.count) : 0;
    // Such a file would send nothing but 0xFF and leave the programmer
    // without working firmware; the boot loader stays reachable, so the user
    // may still want it (a boot loader that erases on its own, a test).
    const FirmwareImage image = firmwareImageOf(image_.data(), length_);
    if (image == FirmwareImage::NotArm && path != confirmed_) {
        // A chip image or a file for another device: the programmer would
        // start into whatever it holds.
        const uint8_t* vectors = &image_[kFirmwareImageOffset];
        if (!ui_.askInfo(fillIn(text(Txt::FirmwareFileNotArm), {path, wordText(little32(vectors)),
                                                                wordText(little32(vectors + 4))})))
            return false;
    } else if (image != FirmwareImage::Usable && path != confirmed_) {
        const Txt question = image == FirmwareImage::Empty     ? Txt::FirmwareFileEmpty
                             : image == FirmwareImage::NoImage ? Txt::FirmwareFileNoImage
                                                               : Txt::FirmwareFileErased;
        if (!ui_.askInfo(fillIn(text(question), {path}))) return false;
    }
    // Whole reports from the image offset on; what lies beyond the file is 0xFF.
    image_.resize(kFirmwareImageOffset + kIapDataPerReport * iapDataReportCount(length_), 0xFF);
    return true;
}

bool FirmwareUpgrade::findBootLoader() {
    for (int attempt = 0; attempt < kBootLoaderSearchAttempts; ++attempt) {
        ui_.pause(kBootLoaderSearchPauseMs);
        if (hid_.findAndOpen(kBootLoaderVendorId, kBootLoaderManufacturer, kBootLoaderProductId,
                             kBootLoaderProduct) == HidFound) {
            return true;
        }
    }
    return false;
}

UpgradeResult FirmwareUpgrade::upgrade(const std::string& path) {
    sent_ = 0;
    resultText_.clear();
    // A file the window let through is asked about once, for this upgrade alone.
    struct Forget {
        std::string& confirmed;
        ~Forget() { confirmed.clear(); }
    } forget{confirmed_};
    if (path.empty() || !fileExists(path)) return UpgradeResult::NoFile;
    UpgradeResult result;
    if (!loadImage(path)) {
        result = UpgradeResult::FileRefused;
    } else {
        // The programmer restarts into its boot loader and may leave the bus
        // before its reply: that is no failure. Without a programmer the boot
        // loader may already be waiting from an upgrade that did not finish.
        ops_.enterUpgrade();
        if (!findBootLoader()) {
            result = fail(
                UpgradeResult::BootLoaderMissing,
                fillIn(text(Txt::BootLoaderNotFound), {std::to_string(kBootLoaderSearchAttempts)}));
        } else {
            result = sendImage();
        }
    }
    image_ = {};
    return result;
}

// Writes a report and, when `reply` is given, reads the boot loader's answer into it.
bool FirmwareUpgrade::exchange(const Report& report, Report* reply) {
    if (hid_.writeReport(report.data(), kReportSize) == 0) return false;
    if (reply == nullptr) return true;
    reply->fill(0);
    return hid_.readReport(reply->data(), kReportSize) != 0;
}

UpgradeResult FirmwareUpgrade::fail(UpgradeResult result, const std::string& message) {
    hid_.close();
    ui_.setProgressPosition(0);
    resultText_ = message;
    ui_.errorBox(message);
    return result;
}

UpgradeResult FirmwareUpgrade::sendImage() {
    const auto transferFailed = [this] {
        const std::string sent = std::to_string(std::min(sent_, length_));
        const std::string total = std::to_string(length_);
        std::string message;
        switch (hid_.lastFailure()) {
            case HidFailure::TimedOut:
                message = fillIn(text(Txt::UpgradeNoAnswer),
                                 {std::to_string(HidDevice::kReadTimeoutMs / 1000), sent, total});
                break;
            default:
                message = fillIn(text(Txt::UpgradeTransferFailed), {sent, total});
                break;
        }
        return fail(UpgradeResult::TransferFailed, message);
    };

    ui_.setProgressVisible(true);
    ui_.setProgressMax(length_);
    ui_.setProgressPosition(0);
    Report reply{};
    if (!exchange(iapReport(IapStart), &reply)) return transferFailed();
    if (!exchange(iapReport(IapQuery), &reply)) return transferFailed();
    const IapQueryReply query = parseIapQueryReply(reply);
    if (query.blockSize == 0) {
        return fail(UpgradeResult::BlockSizeZero, text(Txt::BootLoaderBlockSizeZero));
    }
    const uint32_t blocks = iapBlockCount(length_, query.blockSize);
    if (!exchange(iapPrepareReport(query.target, blocks, length_), &reply)) {
        return transferFailed();
    }
    ui_.pause(kPrepareSettleMs);

    for (uint32_t offset = 0; offset < length_; offset += kIapDataPerReport) {
        if (!exchange(iapDataReport(&image_[kFirmwareImageOffset + offset]), nullptr)) {
            return transferFailed();
        }
        sent_ = offset + kIapDataPerReport;
        ui_.setProgressPosition(offset);
        ui_.processEvents();
    }
    if (!exchange(iapReport(IapFinish), nullptr)) return transferFailed();
    hid_.close();
    ui_.setProgressPosition(0);
    resultText_ = fillIn(text(Txt::FirmwareUpgradeComplete), {std::to_string(length_)});
    ui_.insertLogLine(resultText_ + " (" + ui_.timeOfDay() + ")");
    return UpgradeResult::Done;
}

}  // namespace ostrel
