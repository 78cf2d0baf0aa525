// Binary PPM (P6) images, read and written without Qt: the tool resamples PPM files without
// loading any GUI library. Images of width or height 0 pass through.
#pragma once

#include "bitmap.h"

#include <optional>
#include <string>
#include <string_view>

namespace qm::cli {

// P6 bytes to a 3-byte-per-pixel image. Comments ("#" to the end of a line) may stand between the
// header fields; a maximum value below 255 is scaled up, one above 255 (two bytes per sample) is
// scaled down. Throws Error for anything else, or when the pixel data is short.
Bitmap DecodePpm(std::string_view bytes);
// A P6 file of the image, maximum value 255.
std::string EncodePpm(const Bitmap& image);

// The image of a file that starts with "P6"; nothing for a file in another format.
// Throws Error "Cannot open file "%s". %s", "Cannot read image "%s". %s" or DecodePpm's errors.
std::optional<Bitmap> ReadPpmFile(const std::string& path);
// Throws Error "Cannot create file "%s". %s" or "Cannot write image "%s". %s".
void WritePpmFile(const std::string& path, const Bitmap& image);

} // namespace qm::cli
