// Image files for the image subcommands: binary PPM (P6) read and written here, so that images of
// width or height 0 pass through; every other format through Qt's image plugins (PNG, BMP, ...).
#pragma once

#include "bitmap.h"

#include <QImage>

#include <string>
#include <string_view>

namespace qm::cli {

// P6 bytes to a 3-byte-per-pixel image. Comments ("#" to the end of a line) may stand between the
// header fields; a maximum value below 255 is scaled up, one above 255 (two bytes per sample) is
// scaled down. Throws Error for anything else, or when the pixel data is short.
Bitmap DecodePpm(std::string_view bytes);
// A P6 file of the image, maximum value 255.
std::string EncodePpm(const Bitmap& image);

// Reads an image file: P6 by its first bytes, anything else through Qt.
// Throws Error "Cannot open file "%s". %s" or "Cannot read image "%s". %s".
Bitmap ReadImageFile(const std::string& path);
// Writes an image file: P6 when the name ends in ".ppm", else the format Qt derives from the
// name's suffix. Throws Error "Cannot create file "%s". %s" or "Cannot write image "%s". %s".
void WriteImageFile(const std::string& path, const Bitmap& image);
void WriteImageFile(const std::string& path, const QImage& image);
// UsageError when no image can be written under that name (no ".ppm" and no Qt writer for the
// suffix). Needs a QGuiApplication for the plugins.
void CheckWritableName(const std::string& path);

} // namespace qm::cli
