#include "catalogue/ui/socket_picture.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace ostrel {

extern const unsigned char kPictureJ0[];
extern const std::size_t kPictureJ0Size;
extern const unsigned char kPictureJ1[];
extern const std::size_t kPictureJ1Size;

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
};

// libjpeg's default handler ends the process; ours returns to the decoder.
[[noreturn]] void leaveDecoder(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->escape, 1);
}

void quiet(j_common_ptr, int) {}

// Decodes into `pixels` (3 bytes a pixel). Kept free of objects with
// destructors between setjmp and the last libjpeg call, so that a long jump
// skips nothing that needs cleaning up; `pixels` belongs to the caller.
bool decodeRgb(const unsigned char* data, std::size_t size, int& width, int& height,
               std::vector<unsigned char>& pixels) {
    jpeg_decompress_struct info{};
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = leaveDecoder;
    errors.base.emit_message = quiet;
    if (setjmp(errors.escape)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    width = static_cast<int>(info.output_width);
    height = static_cast<int>(info.output_height);
    const std::size_t stride = std::size_t(info.output_width) * 3;
    pixels.resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

QImage decodeJpeg(const unsigned char* data, std::size_t size) {
    if (data == nullptr || size == 0) return {};
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;
    if (!decodeRgb(data, size, width, height, pixels) || width <= 0 || height <= 0) return {};
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        std::copy_n(pixels.data() + std::size_t(y) * std::size_t(width) * 3, std::size_t(width) * 3,
                    image.scanLine(y));
    return image;
}

QImage socketPicture(SocketPicture which) {
    switch (which) {
        case SocketPicture::EmptySocket:
            return decodeJpeg(kPictureJ0, kPictureJ0Size);
        case SocketPicture::ChipInSocket:
            return decodeJpeg(kPictureJ1, kPictureJ1Size);
        case SocketPicture::Unchanged:
            break;
    }
    return {};
}

}  // namespace ostrel
