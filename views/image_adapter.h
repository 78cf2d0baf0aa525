// Bitmap <-> QImage copies, so that the core's images can be painted on and shown.
#pragma once

#include "bitmap.h"

#include <QImage>

namespace qm {

// A copy of a well-formed bitmap (3- or 4-byte pixels) as a QImage::Format_RGB32 image, opaque.
// A malformed or empty bitmap gives a null image.
QImage ToQImage(const Bitmap& bitmap);

// A copy of any image as a bitmap of `bytesPerPixel` (3 or 4) bytes per pixel; transparency is
// dropped, the spare byte of 4-byte pixels is 0xFF.
Bitmap FromQImage(const QImage& image, int bytesPerPixel = 4);

} // namespace qm
