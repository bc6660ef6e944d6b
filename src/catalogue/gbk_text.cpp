#include "catalogue/gbk_text.h"

#include <errno.h>
#include <iconv.h>

#include <stdexcept>

namespace ostrel {

namespace {

// glibc knows code page 936 as "CP936"; some iconv builds only as "GBK".
iconv_t openConverter(bool toGbk) {
    for (const char* gbkName : {"CP936", "GBK"}) {
        iconv_t cd = toGbk ? iconv_open(gbkName, "UTF-8") : iconv_open("UTF-8", gbkName);
        if (cd != reinterpret_cast<iconv_t>(-1)) return cd;
    }
    throw std::runtime_error("iconv knows neither CP936 nor GBK");
}

class Converter {
  public:
    explicit Converter(bool toGbk) : cd_(openConverter(toGbk)) {}
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in`; a character that cannot be converted is skipped and
    // `replacement` appended in its place. From UTF-8, the continuation bytes
    // of a refused character go with its lead byte, so it gives one mark.
    std::string run(const std::string& in, const char* replacement, bool fromUtf8, bool* ok) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        out.reserve(in.size() * 2 + 4);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        bool clean = true;
        char buffer[256];
        for (;;) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            const size_t r = srcLeft == 0 ? iconv(cd_, nullptr, nullptr, &dst, &dstLeft)
                                          : iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (r != static_cast<size_t>(-1)) {
                if (srcLeft == 0) break;
                continue;
            }
            if (errno == E2BIG) continue;
            if (srcLeft == 0) {  // the final flush refused: nothing left to step over
                clean = false;
                break;
            }
            // EILSEQ (not convertible) or EINVAL (cut off at the end): mark the
            // spot and go on behind it.
            clean = false;
            out += replacement;
            ++src;
            --srcLeft;
            if (fromUtf8) skipUtf8Tail(src, srcLeft);
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        if (ok) *ok = clean;
        return out;
    }

  private:
    static void skipUtf8Tail(char*& src, size_t& left) {
        while (left > 0 && (static_cast<unsigned char>(*src) & 0xC0) == 0x80) {
            ++src;
            --left;
        }
    }

    iconv_t cd_;
};

}  // namespace

std::string gbkToUtf8(const std::string& gbk, bool* ok) {
    Converter c(false);
    return c.run(gbk, "\xEF\xBF\xBD", false, ok);
}

std::string utf8ToGbk(const std::string& utf8, bool* ok) {
    Converter c(true);
    return c.run(utf8, "?", true, ok);
}

}  // namespace ostrel
