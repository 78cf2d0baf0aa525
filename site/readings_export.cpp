// Writing the placed readings as GeoJSON or CSV, through a temporary file renamed when complete.
#include "readings_export.h"

#include "errors.h"
#include "file_io.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <random>
#include <system_error>

namespace qm::site {

namespace {

std::string PathText(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

[[noreturn]] void ThrowCreateError(const std::filesystem::path& path, int code)
{
    if (code == 0)
        code = EIO;
    throw Error("Cannot create file \"" + PathText(path) + "\". " +
                std::error_code(code, std::generic_category()).message());
}

// The output under a temporary name beside the target, buffered in big blocks. Commit renames it
// to the target; without a commit (an error, a cancel) the temporary file is removed.
class AtomicOutput {
public:
    explicit AtomicOutput(std::filesystem::path target) : target_(std::move(target))
    {
        std::random_device random;
        temporary_ = target_;
        temporary_ += ".tmp" + std::to_string(random() % 1000000000u);
        errno = 0;
        file_ = OpenForWriting(temporary_);
        if (!file_)
            ThrowCreateError(target_, errno);
        buffer_.reserve(kBlock + 4096);
    }
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;
    ~AtomicOutput()
    {
        if (file_)
            std::fclose(file_);
        if (!committed_) {
            std::error_code ignored;
            std::filesystem::remove(temporary_, ignored);
        }
    }

    std::string& Buffer() { return buffer_; }
    void FlushIfFull()
    {
        if (buffer_.size() >= kBlock)
            Flush();
    }

    void Commit()
    {
        Flush();
        std::FILE* file = file_;
        file_ = nullptr;
        errno = 0;
        if (std::fclose(file) != 0)
            ThrowCreateError(target_, errno);
        std::error_code ec;
        std::filesystem::rename(temporary_, target_, ec);
        if (ec)
            ThrowCreateError(target_, ec.value());
        committed_ = true;
    }

private:
    static constexpr std::size_t kBlock = 1 << 20;

    void Flush()
    {
        errno = 0;
        if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
            ThrowCreateError(target_, errno);
        buffer_.clear();
    }

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::FILE* file_ = nullptr;
    std::string buffer_;
    bool committed_ = false;
};

// Length of the valid UTF-8 sequence at bytes[i], or 0: no overlong forms, no surrogates, nothing
// past U+10FFFF, so that what is kept is valid for every JSON reader.
std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char b = byte(i);
    if (b < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    if (byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    return length;
}

bool IsUtf8(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = Utf8SequenceLength(bytes, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

void AppendUtf8(std::string& out, std::string_view bytes)
{
    if (IsUtf8(bytes)) {
        out.append(bytes);
        return;
    }
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
}

void AppendJsonString(std::string& out, std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789abcdef";
    const bool utf8 = IsUtf8(bytes);
    out.push_back('"');
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (b < 0x20) {
            out += "\\u00";
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0xF]);
        } else if (b < 0x80 || utf8) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    out.push_back('"');
}

void AppendNumber(std::string& out, double value)
{
    std::array<char, 32> text{};
    const std::to_chars_result result = std::to_chars(text.data(), text.data() + text.size(), value);
    out.append(text.data(), result.ptr);
}

void AppendCsvField(std::string& out, std::string_view bytes)
{
    if (bytes.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(bytes);
        return;
    }
    out.push_back('"');
    for (const char c : bytes) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

} // namespace

std::optional<ExportFormat> ExportFormatFor(const std::filesystem::path& path)
{
    std::string extension = PathText(path.extension());
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (extension == ".csv")
        return ExportFormat::Csv;
    if (extension == ".geojson" || extension == ".json")
        return ExportFormat::GeoJson;
    return std::nullopt;
}

std::string Utf8Text(std::string_view bytes)
{
    std::string out;
    AppendUtf8(out, bytes);
    return out;
}

std::string JsonString(std::string_view bytes)
{
    std::string out;
    AppendJsonString(out, bytes);
    return out;
}

std::string CsvField(std::string_view bytes)
{
    std::string out;
    AppendCsvField(out, bytes);
    return out;
}

std::string NumberText(double value)
{
    std::string out;
    AppendNumber(out, value);
    return out;
}

ExportSummary ExportReadings(const std::vector<std::string>& files, const std::filesystem::path& out,
                             ExportFormat format, const GatherProgress& progress)
{
    AtomicOutput output(out);
    std::string& text = output.Buffer();
    ExportSummary summary;

    // Each file's name is written once per reading; its encoded form is made once per file.
    std::uint32_t encodedFile = UINT32_MAX;
    std::string fileText;
    const auto fileOf = [&](std::uint32_t f) -> const std::string& {
        if (f != encodedFile) {
            fileText.clear();
            if (format == ExportFormat::GeoJson)
                AppendJsonString(fileText, files[f]);
            else
                AppendCsvField(fileText, files[f]);
            encodedFile = f;
        }
        return fileText;
    };

    std::function<void(const PlacedRow&)> place;
    if (format == ExportFormat::GeoJson) {
        text += "{\"type\":\"FeatureCollection\",\"features\":[";
        place = [&](const PlacedRow& r) {
            text += summary.written == 0 ? "\n" : ",\n";
            text += "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[";
            AppendNumber(text, r.lon);
            text.push_back(',');
            AppendNumber(text, r.lat);
            text += "]},\"properties\":{\"file\":";
            text += fileOf(r.file);
            text += ",\"row\":";
            text += std::to_string(r.row);
            text += ",\"label\":";
            AppendJsonString(text, r.label);
            text += ",\"value\":";
            AppendNumber(text, r.value);
            text += "}}";
            ++summary.written;
            output.FlushIfFull();
        };
    } else {
        text += "file,row,label,value,lat,lon\r\n";
        place = [&](const PlacedRow& r) {
            text += fileOf(r.file);
            text.push_back(',');
            text += std::to_string(r.row);
            text.push_back(',');
            AppendCsvField(text, r.label);
            text.push_back(',');
            AppendNumber(text, r.value);
            text.push_back(',');
            AppendNumber(text, r.lat);
            text.push_back(',');
            AppendNumber(text, r.lon);
            text += "\r\n";
            ++summary.written;
            output.FlushIfFull();
        };
    }

    GatherCounts counts = ForEachPlacedRow(files, place, progress);
    if (format == ExportFormat::GeoJson)
        text += "\n]}\n";
    output.Commit();
    summary.withoutPosition = counts.withoutPosition;
    summary.failures = std::move(counts.failures);
    return summary;
}

} // namespace qm::site
