// A plain in-memory image: rows from the top, pixels as blue, green, red bytes (and a spare byte
// when 4 bytes per pixel). The core works on it; the widget layer wraps it in a QImage.
#pragma once

#include <cstdint>
#include <vector>

namespace qm {

struct Bitmap {
    int width = 0;
    int height = 0;
    int bytesPerPixel = 4; // 3 or 4
    std::vector<std::uint8_t> data; // width * bytesPerPixel bytes per row, no padding

    Bitmap() = default;
    Bitmap(int w, int h, int bpp, std::uint8_t fill = 0xFF)
        : width(w), height(h), bytesPerPixel(bpp),
          data(static_cast<std::size_t>(w > 0 ? w : 0) * static_cast<std::size_t>(h > 0 ? h : 0) *
                   static_cast<std::size_t>(bpp),
               fill) {}

    std::size_t stride() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(bytesPerPixel); }
    std::uint8_t* pixel(int x, int y) { return data.data() + static_cast<std::size_t>(y) * stride() + static_cast<std::size_t>(x) * static_cast<std::size_t>(bytesPerPixel); }
    const std::uint8_t* pixel(int x, int y) const { return data.data() + static_cast<std::size_t>(y) * stride() + static_cast<std::size_t>(x) * static_cast<std::size_t>(bytesPerPixel); }

    // Drops the spare byte of 4-byte pixels in place.
    void ConvertTo3Bytes();
};

} // namespace qm
