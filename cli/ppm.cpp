// Binary PPM (P6) images, read and written without Qt, so that PPM work needs no GUI library.
#include "ppm.h"

#include "errors.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
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

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

std::string SystemText(int error) { return std::strerror(error); }

} // namespace

Bitmap DecodePpm(std::string_view bytes)
{
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') {
        throw Error("PPM image: not a binary PPM (P6) file");
    }
    PpmHeader header(bytes);
    const std::uint64_t width = header.Number("width");
    const std::uint64_t height = header.Number("height");
    const std::uint64_t maxValue = header.Number("maximum value");
    const std::size_t start = header.DataStart();
    if (width > INT_MAX || height > INT_MAX) {
        throw Error("PPM image: the image is too large");
    }
    if (maxValue < 1 || maxValue > 65535) {
        throw Error("PPM image: the maximum value must lie in 1..65535");
    }
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

std::optional<std::string> ReadPpmFile(const std::string& path)
{
    errno = 0;
    const FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw Error("Cannot open file \"" + path + "\". " + SystemText(errno));
    }
    std::string bytes(2, '\0');
    std::size_t got = std::fread(bytes.data(), 1, 2, file.get());
    if (got < 2 || bytes[0] != 'P' || bytes[1] != '6') {
        if (std::ferror(file.get())) {
            throw Error("Cannot read image \"" + path + "\". " + SystemText(errno));
        }
        return std::nullopt;
    }
    char buffer[1 << 16];
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        bytes.append(buffer, got);
    }
    if (std::ferror(file.get())) {
        throw Error("Cannot read image \"" + path + "\". " + SystemText(errno));
    }
    return bytes;
}

void WritePpmFile(const std::string& path, const Bitmap& image)
{
    errno = 0;
    FileHandle file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        throw Error("Cannot create file \"" + path + "\". " + SystemText(errno));
    }
    const std::string bytes = EncodePpm(image);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size() &&
                         std::fflush(file.get()) == 0;
    const int error = errno;
    if (!written || std::fclose(file.release()) != 0) {
        throw Error("Cannot write image \"" + path + "\". " + SystemText(written ? errno : error));
    }
}

} // namespace qm::cli
