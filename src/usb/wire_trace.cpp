#include "usb/wire_trace.h"

#include "base/platform.h"
#include "usb/usb_bulk.h"

namespace ostrel {
namespace {

const char* whatName(WireTrace::What what) {
    switch (what) {
        case WireTrace::What::Out:
            return "out";
        case WireTrace::What::In:
            return "in";
        case WireTrace::What::Control:
            return "ctl";
        case WireTrace::What::Open:
            return "open";
        case WireTrace::What::Claim:
            return "claim";
        case WireTrace::What::Release:
            return "release";
        case WireTrace::What::Close:
            return "close";
    }
    return "?";
}

}  // namespace

WireTrace::WireTrace(std::FILE* out) : out_(out), start_(std::chrono::steady_clock::now()) {}

WireTrace::~WireTrace() {
    if (owned_ && out_ != nullptr) std::fclose(out_);
}

std::unique_ptr<WireTrace> WireTrace::toFile(const std::string& path) {
    std::FILE* file = platform::openStream(path, "w");
    if (file == nullptr) return nullptr;
    auto trace = std::make_unique<WireTrace>(file);
    trace->owned_ = true;
    return trace;
}

long long WireTrace::micros() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start_)
        .count();
}

void WireTrace::line(const char* what, const char* endpoint, int length, int result,
                     const std::string& tail) {
    if (out_ == nullptr) return;
    std::fprintf(out_, "%lld %s %s %d %d%s%s\n", micros(), what, endpoint, length, result,
                 tail.empty() ? "" : " ", tail.c_str());
    // A trace is read after something went wrong, perhaps after a crash.
    std::fflush(out_);
}

void WireTrace::transfer(What what, int endpoint, int length, int result, const uint8_t* bytes,
                         int shown) {
    std::string hex;
    if (bytes != nullptr && result > 0) {
        const int count = shown < result ? shown : result;
        hex.reserve(static_cast<size_t>(count) * 3);
        for (int i = 0; i < count; ++i) {
            char digits[4];
            std::snprintf(digits, sizeof digits, i == 0 ? "%02X" : " %02X", bytes[i]);
            hex += digits;
        }
    }
    char ep[8] = "-";
    if (what != What::Control) std::snprintf(ep, sizeof ep, "%02X", endpoint & 0xFF);
    line(whatName(what), ep, length, result, hex);
}

void WireTrace::event(What what, int result, const std::string& detail) {
    line(whatName(what), "-", 0, result, detail);
}

void WireTrace::note(const std::string& text) {
    if (out_ == nullptr) return;
    std::fprintf(out_, "# %s\n", text.c_str());
    std::fflush(out_);
}

CapturedTrace::CapturedTrace(TUsbBulk& usb)
    : usb_(usb), previous_(usb.trace()), file_(std::tmpfile()) {
    if (file_ != nullptr) trace_ = std::make_unique<WireTrace>(file_);
    usb_.setTrace(trace_ ? trace_.get() : previous_);
}

CapturedTrace::~CapturedTrace() {
    usb_.setTrace(previous_);
    trace_.reset();
    if (file_ != nullptr) std::fclose(file_);
}

std::string CapturedTrace::text() const {
    if (file_ == nullptr) return {};
    std::fflush(file_);
    std::string out;
    char chunk[4096];
    std::rewind(file_);
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0) out.append(chunk, n);
    std::fseek(file_, 0, SEEK_END);
    return out;
}

}  // namespace ostrel
