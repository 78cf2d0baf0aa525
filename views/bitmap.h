// A plain in-memory image: rows from the top, pixels as blue, green, red bytes (and a spare byte
// when 4 bytes per pixel). The core works on it; the widget layer wraps it in a QImage.
#pragma once

#include <cstddef>
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

    // True when the pixel form is 3 or 4 bytes, the sizes are not negative and `data` holds every
    // row. Members are public, so code that takes a Bitmap from outside checks this first.
    bool IsWellFormed() const;

    // Sets pixel (x, y) from 0x00RRGGBB; the spare byte of a 4-byte pixel becomes 0xFF (as the white
    // fill, and as 32-bit RGB images elsewhere expect).
    void SetPixel(int x, int y, std::uint32_t rgb);
    // Pixel (x, y) as 0x00RRGGBB.
    std::uint32_t PixelRgb(int x, int y) const;

    // Drops the spare byte of 4-byte pixels in place; 3-byte pixels stay as they are.
    void ConvertTo3Bytes();
};

} // namespace qm
