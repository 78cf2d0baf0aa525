// Pixel access and the in-place 4-byte to 3-byte conversion of Bitmap.
#include "bitmap.h"

#include <cstring>

namespace qm {

bool Bitmap::IsWellFormed() const
{
    if (width < 0 || height < 0 || (bytesPerPixel != 3 && bytesPerPixel != 4)) {
        return false;
    }
    return data.size() >= stride() * static_cast<std::size_t>(height);
}

void Bitmap::SetPixel(int x, int y, std::uint32_t rgb)
{
    std::uint8_t* p = pixel(x, y);
    p[0] = static_cast<std::uint8_t>(rgb);
    p[1] = static_cast<std::uint8_t>(rgb >> 8);
    p[2] = static_cast<std::uint8_t>(rgb >> 16);
    if (bytesPerPixel == 4) {
        p[3] = 0xFF;
    }
}

std::uint32_t Bitmap::PixelRgb(int x, int y) const
{
    const std::uint8_t* p = pixel(x, y);
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16);
}

void Bitmap::ConvertTo3Bytes()
{
    if (bytesPerPixel != 4) {
        return;
    }
    const std::size_t pixels = static_cast<std::size_t>(width > 0 ? width : 0) *
                               static_cast<std::size_t>(height > 0 ? height : 0);
    const std::size_t available = data.size() / 4;
    const std::size_t count = pixels < available ? pixels : available;
    // Moving forward is safe: pixel i is read whole from 4i before anything lands on it, and the
    // 4-byte store at 3i reaches at most byte 3i + 3 < 4i + 4, where the next unread pixel starts.
    // The fourth stored byte is overwritten by the next pixel (or cut off by the resize).
    std::uint8_t* d = data.data();
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t v;
        std::memcpy(&v, d + 4 * i, 4);
        std::memcpy(d + 3 * i, &v, 4);
    }
    data.resize(count * 3);
    bytesPerPixel = 3;
}

} // namespace qm
