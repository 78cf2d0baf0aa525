// Binary PPM (P6) images, read and written without Qt, so that PPM work needs no GUI library.
#include "ppm.h"

#include "errors.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>

namespace qm::cli {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Reads the header fields of a P6 file one after another.
class PpmHeader {
public:
    explicit PpmHeader(std::string_view bytes) : bytes_(bytes) {}

    std::uint64_t Number(const char* what)
    {
        SkipSpaceAndComments();
        std::uint64_t value = 0;
        std::size_t digits = 0;
        while (pos_ < bytes_.size() && bytes_[pos_] >= '0' && bytes_[pos_] <= '9') {
            if (value > UINT32_MAX) {
                throw Error(std::string("PPM image: the ") + what + " is too large");
            }
            value = value * 10 + static_cast<std::uint64_t>(bytes_[pos_] - '0');
            ++pos_;
            ++digits;
        }
        if (digits == 0) {
            throw Error(std::string("PPM image: the ") + what + " is missing");
        }
        return value;
    }

    // After the maximum value comes exactly one whitespace byte, then the pixels.
    std::size_t DataStart()
    {
        if (pos_ >= bytes_.size() || !IsSpace(bytes_[pos_])) {
            throw Error("PPM image: the header does not end in whitespace");
        }
        return pos_ + 1;
    }

    std::size_t pos_ = 2; // after "P6"

private:
    void SkipSpaceAndComments()
    {
        while (pos_ < bytes_.size()) {
            if (IsSpace(bytes_[pos_])) {
                ++pos_;
            } else if (bytes_[pos_] == '#') {
                while (pos_ < bytes_.size() && bytes_[pos_] != '\n' && bytes_[pos_] != '\r') {
                    ++pos_;
                }
            } else {
                break;
            }
        }
    }

    std::string_view bytes_;
};

// The header fields of a P6 image and where its pixel data starts.
struct PpmLayout {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t maxValue = 0;
    std::size_t start = 0;
};

PpmLayout ReadLayout(std::string_view bytes)
{
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') {
        throw Error("PPM image: not a binary PPM (P6) file");
    }
    PpmHeader header(bytes);
    PpmLayout layout;
    layout.width = header.Number("width");
    layout.height = header.Number("height");
    layout.maxValue = header.Number("maximum value");
    layout.start = header.DataStart();
    if (layout.width > INT_MAX || layout.height > INT_MAX) {
        throw Error("PPM image: the image is too large");
    }
    if (layout.maxValue < 1 || layout.maxValue > 65535) {
        throw Error("PPM image: the maximum value must lie in 1..65535");
    }
    return layout;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

std::string SystemText(int error) { return std::strerror(error); }

} // namespace

Bitmap DecodePpm(std::string_view bytes)
{
    const PpmLayout layout = ReadLayout(bytes);
    const std::uint64_t width = layout.width;
    const std::uint64_t height = layout.height;
    const std::uint64_t maxValue = layout.maxValue;
    const std::size_t start = layout.start;
    const std::uint64_t sampleBytes = maxValue > 255 ? 2 : 1;
    const std::uint64_t available = bytes.size() - start;
    // Checked by division, so that no product can overflow.
    const std::uint64_t pixels = width * height; // both below 2^31
    if (pixels > available / (3 * sampleBytes)) {
        throw Error("PPM image: the pixel data is shorter than the header says");
    }
    Bitmap image(static_cast<int>(width), static_cast<int>(height), 3, 0);
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data() + start);
    const auto scale = [&](std::uint32_t sample) {
        if (sample > maxValue) {
            sample = static_cast<std::uint32_t>(maxValue);
        }
        return static_cast<std::uint8_t>((sample * 255u * 2 + static_cast<std::uint32_t>(maxValue)) /
                                         (2 * static_cast<std::uint32_t>(maxValue)));
    };
    if (maxValue == 255) {
        // The common case, one byte per sample as it stands: only red and blue change places.
        std::uint8_t* out = image.data.data();
        for (std::uint64_t p = 0; p < pixels; ++p, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
        return image;
    }
    for (std::uint64_t p = 0; p < pixels; ++p) {
        std::uint8_t rgb[3];
        for (int channel = 0; channel < 3; ++channel) {
            std::uint32_t sample = *in++;
            if (sampleBytes == 2) {
                sample = (sample << 8) | *in++;
            }
            rgb[channel] = maxValue == 255 ? static_cast<std::uint8_t>(sample) : scale(sample);
        }
        std::uint8_t* out = image.data.data() + p * 3;
        out[0] = rgb[2];
        out[1] = rgb[1];
        out[2] = rgb[0];
    }
    return image;
}

std::string EncodePpm(const Bitmap& image)
{
    std::string out = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    const std::size_t header = out.size();
    const std::size_t pixels = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    out.resize(header + pixels * 3);
    const std::size_t step = static_cast<std::size_t>(image.bytesPerPixel);
    for (std::size_t p = 0; p < pixels; ++p) {
        const std::uint8_t* in = image.data.data() + p * step;
        out[header + p * 3] = static_cast<char>(in[2]);
        out[header + p * 3 + 1] = static_cast<char>(in[1]);
        out[header + p * 3 + 2] = static_cast<char>(in[0]);
    }
    return out;
}

std::optional<Bitmap> ReadPpmFile(const std::string& path)
{
    errno = 0;
    const FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw Error("Cannot open file \"" + path + "\". " + SystemText(errno));
    }
    const auto readInto = [&](char* to, std::size_t count) {
        const std::size_t got = std::fread(to, 1, count, file.get());
        if (got < count && std::ferror(file.get())) {
            throw Error("Cannot read image \"" + path + "\". " + SystemText(errno));
        }
        return got;
    };
    std::error_code sizeError;
    const std::uintmax_t size = std::filesystem::file_size(std::filesystem::path(path), sizeError);

    // The head holds the header of any sensible file; a small file is read whole.
    constexpr std::size_t kHead = std::size_t{1} << 16;
    std::string bytes(kHead, '\0');
    bytes.resize(readInto(bytes.data(), kHead));
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') {
        return std::nullopt;
    }
    if (bytes.size() == kHead && !sizeError && size > kHead) {
        // A big 8-bit image is read straight into the bitmap, so that its bytes are not held twice.
        std::optional<PpmLayout> layout;
        try {
            layout = ReadLayout(bytes);
        } catch (const Error&) {
            // Left to the full decoder below, which words the failure.
        }
        const std::uint64_t available = layout ? size - layout->start : 0;
        if (layout && layout->maxValue == 255 && layout->width * layout->height <= available / 3) {
            Bitmap image(static_cast<int>(layout->width), static_cast<int>(layout->height), 3, 0);
            const std::size_t needed = image.data.size();
            const std::size_t inHead = std::min(needed, bytes.size() - layout->start);
            std::memcpy(image.data.data(), bytes.data() + layout->start, inHead);
            const std::size_t got = inHead + readInto(reinterpret_cast<char*>(image.data.data()) + inHead, needed - inHead);
            if (got < needed) {
                throw Error("PPM image: the pixel data is shorter than the header says");
            }
            // File order is red, green, blue; the bitmap's is blue, green, red.
            for (std::uint8_t* pixel = image.data.data(); pixel < image.data.data() + needed; pixel += 3) {
                std::swap(pixel[0], pixel[2]);
            }
            return image;
        }
    }
    // Everything else is read whole and decoded, growing geometrically where the size is unknown.
    std::size_t chunk = bytes.size() < kHead ? 0 : (!sizeError && size > kHead ? static_cast<std::size_t>(size - kHead) + 1 : kHead);
    while (chunk > 0) {
        const std::size_t start = bytes.size();
        bytes.resize(start + chunk);
        const std::size_t got = readInto(bytes.data() + start, chunk);
        bytes.resize(start + got);
        chunk = got < chunk ? 0 : std::max(chunk, bytes.size());
    }
    return DecodePpm(bytes);
}

void WritePpmFile(const std::string& path, const Bitmap& image)
{
    errno = 0;
    FileHandle file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        throw Error("Cannot create file \"" + path + "\". " + SystemText(errno));
    }
    // Row by row, so that the file's bytes are never held whole beside the image.
    const std::string header = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    bool written = std::fwrite(header.data(), 1, header.size(), file.get()) == header.size();
    std::string row(static_cast<std::size_t>(image.width) * 3, '\0');
    const std::size_t step = static_cast<std::size_t>(image.bytesPerPixel);
    for (int y = 0; written && y < image.height; ++y) {
        const std::uint8_t* in = image.pixel(0, y);
        for (std::size_t x = 0; x < row.size(); x += 3, in += step) {
            row[x] = static_cast<char>(in[2]);
            row[x + 1] = static_cast<char>(in[1]);
            row[x + 2] = static_cast<char>(in[0]);
        }
        written = std::fwrite(row.data(), 1, row.size(), file.get()) == row.size();
    }
    written = written && std::fflush(file.get()) == 0;
    const int error = errno;
    if (!written || std::fclose(file.release()) != 0) {
        throw Error("Cannot write image \"" + path + "\". " + SystemText(written ? errno : error));
    }
}

} // namespace qm::cli
