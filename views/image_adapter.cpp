// Pixel-by-pixel copies between Bitmap (blue, green, red bytes, rows without padding) and QImage
// (32-bit 0xffRRGGBB words, rows padded to 4 bytes). Going through qRgb keeps them right whatever
// the machine's byte order.
#include "image_adapter.h"

#include <QColor>

namespace qm {

QImage ToQImage(const Bitmap& bitmap)
{
    if (!bitmap.IsWellFormed() || bitmap.width == 0 || bitmap.height == 0) {
        return QImage();
    }
    QImage image(bitmap.width, bitmap.height, QImage::Format_RGB32);
    if (image.isNull()) {
        return image; // out of memory
    }
    const int bpp = bitmap.bytesPerPixel;
    for (int y = 0; y < bitmap.height; ++y) {
        const std::uint8_t* src = bitmap.pixel(0, y);
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < bitmap.width; ++x, src += bpp) {
            dst[x] = qRgb(src[2], src[1], src[0]);
        }
    }
    return image;
}

Bitmap FromQImage(const QImage& image, int bytesPerPixel)
{
    const int bpp = bytesPerPixel == 3 ? 3 : 4;
    if (image.isNull()) {
        return Bitmap(0, 0, bpp);
    }
    const QImage rgb = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    Bitmap bitmap(rgb.width(), rgb.height(), bpp, 0xFF);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        std::uint8_t* dst = bitmap.pixel(0, y);
        for (int x = 0; x < rgb.width(); ++x, dst += bpp) {
            dst[0] = static_cast<std::uint8_t>(qBlue(src[x]));
            dst[1] = static_cast<std::uint8_t>(qGreen(src[x]));
            dst[2] = static_cast<std::uint8_t>(qRed(src[x]));
        }
    }
    return bitmap;
}

} // namespace qm
