// Image files for the image subcommands that run with Qt: binary PPM (P6) read and written by the
// codec of ppm.h, so that images of width or height 0 pass through; every other format through
// Qt's image plugins (PNG, BMP, ...).
#pragma once

#include "bitmap.h"
#include "ppm.h"

#include <QImage>

#include <string>
#include <string_view>

namespace qm::cli {

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
