#pragma once
// The socket pictures of the chip panel, built into the program as JPEG data
// and decoded with libjpeg.

#include <QImage>
#include <cstddef>

#include "catalogue/chip_identification.h"

namespace ostrel {

// Decodes JPEG data held in memory into an RGB image; a null image when the
// data is not a JPEG that libjpeg can read.
QImage decodeJpeg(const unsigned char* data, std::size_t size);

// The built-in picture: "J0" for the empty socket, "J1" for the chip in the
// upper position; a null image for SocketPicture::Unchanged.
QImage socketPicture(SocketPicture which);

}  // namespace ostrel
