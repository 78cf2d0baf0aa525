// Writing the placed readings as GeoJSON or CSV, through a temporary file renamed when complete.
#include "readings_export.h"

#include "staged_file.h"

#include "errors.h"
#include "file_io.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>
#include <system_error>

namespace qm::site {

namespace {

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

// A processed value (NaN for a gap) and its spike flag, beside the reading.
struct Processed {
    double value = 0;
    std::uint8_t spike = 0;
};

// Writes the rows of one export: header, rows in order, end. Each file's name is written once per
// reading; its encoded form is made once per file.
class RowWriter {
public:
    RowWriter(StagedOutput& output, ExportFormat format, const std::vector<std::filesystem::path>& files,
              bool processed)
        : output_(output), text_(output.Buffer()), format_(format), files_(files)
    {
        if (format_ == ExportFormat::GeoJson)
            text_ += "{\"type\":\"FeatureCollection\",\"features\":[";
        else
            text_ += processed ? "file,row,label,value,lat,lon,raw,spike\r\n" : "file,row,label,value,lat,lon\r\n";
    }

    void Row(std::uint32_t file, std::uint32_t row, std::string_view label, double reading, double lat, double lon,
             const Processed* processed)
    {
        if (format_ == ExportFormat::GeoJson) {
            text_ += written_ == 0 ? "\n" : ",\n";
            text_ += "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[";
            AppendNumber(text_, lon);
            text_.push_back(',');
            AppendNumber(text_, lat);
            text_ += "]},\"properties\":{\"file\":";
            text_ += FileText(file);
            text_ += ",\"row\":";
            text_ += std::to_string(row);
            text_ += ",\"label\":";
            AppendJsonString(text_, label);
            text_ += ",\"value\":";
            if (processed)
                AppendValue(processed->value, "null");
            else
                AppendNumber(text_, reading);
            if (processed) {
                text_ += ",\"raw\":";
                AppendNumber(text_, reading);
                text_ += processed->spike != 0 ? ",\"spike\":1" : ",\"spike\":0";
            }
            text_ += "}}";
        } else {
            text_ += FileText(file);
            text_.push_back(',');
            text_ += std::to_string(row);
            text_.push_back(',');
            AppendCsvField(text_, label);
            text_.push_back(',');
            if (processed)
                AppendValue(processed->value, "");
            else
                AppendNumber(text_, reading);
            text_.push_back(',');
            AppendNumber(text_, lat);
            text_.push_back(',');
            AppendNumber(text_, lon);
            if (processed) {
                text_.push_back(',');
                AppendNumber(text_, reading);
                text_ += processed->spike != 0 ? ",1" : ",0";
            }
            text_ += "\r\n";
        }
        ++written_;
        output_.FlushIfFull();
    }

    void End()
    {
        if (format_ == ExportFormat::GeoJson)
            text_ += "\n]}\n";
    }
    std::uint64_t Written() const { return written_; }

private:
    const std::string& FileText(std::uint32_t f)
    {
        if (f != encodedFile_) {
            fileText_.clear();
            const std::string name = Utf8Of(files_[f]);
            if (format_ == ExportFormat::GeoJson)
                AppendJsonString(fileText_, name);
            else
                AppendCsvField(fileText_, name);
            encodedFile_ = f;
        }
        return fileText_;
    }
    void AppendValue(double value, std::string_view gap)
    {
        if (std::isnan(value))
            text_ += gap;
        else
            AppendNumber(text_, value);
    }

    StagedOutput& output_;
    std::string& text_;
    ExportFormat format_;
    const std::vector<std::filesystem::path>& files_;
    std::uint32_t encodedFile_ = UINT32_MAX;
    std::string fileText_;
    std::uint64_t written_ = 0;
};

// The files that placed no reading (`placed[f]` false) and did not fail to load, in list order.
std::vector<std::filesystem::path> PlacedNothing(const std::vector<std::filesystem::path>& files,
                                                 const std::vector<bool>& placed,
                                                 const std::vector<FileFailure>& failures)
{
    std::set<std::filesystem::path> failed;
    for (const FileFailure& failure : failures)
        failed.insert(failure.file);
    std::vector<std::filesystem::path> nothing;
    for (std::size_t f = 0; f < files.size(); ++f)
        if (!placed[f] && !failed.contains(files[f]))
            nothing.push_back(files[f]);
    return nothing;
}

// GeoPackage needs GDAL, which the plain core has not.
void RefuseGeoPackage(ExportFormat format, const std::filesystem::path& out)
{
    if (format == ExportFormat::GeoPackage)
        throw Error(WriteFailure(out, "GeoPackage files are written by the GIS library"));
}

} // namespace

std::vector<std::filesystem::path> FilesPlacingNothing(const PlacedReadings& placed)
{
    std::vector<bool> any(placed.files.size(), false);
    for (const ReadingFiles::Run& run : placed.file.Runs())
        any[run.file] = true;
    return PlacedNothing(placed.files, any, placed.failures);
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

ExportSummary ExportReadings(const std::vector<std::filesystem::path>& files, const std::filesystem::path& out,
                             ExportFormat format, const GatherProgress& progress)
{
    RefuseGeoPackage(format, out);
    StagedOutput output(out);
    RowWriter writer(output, format, files, false);
    std::vector<bool> placed(files.size(), false);
    GatherCounts counts = ForEachPlacedRow(
        files,
        [&](const PlacedRow& r) {
            placed[r.file] = true;
            writer.Row(r.file, r.row, r.label, r.value, r.lat, r.lon, nullptr);
        },
        progress);
    writer.End();
    output.Commit();
    ExportSummary summary;
    summary.written = writer.Written();
    summary.withoutPosition = counts.withoutPosition;
    summary.placedNothing = PlacedNothing(files, placed, counts.failures);
    summary.failures = std::move(counts.failures);
    return summary;
}

LabelledReadings GatherLabelledReadings(const std::vector<std::filesystem::path>& files,
                                        const std::function<void(const PlacedRow&)>& each,
                                        const GatherProgress& progress)
{
    LabelledReadings readings;
    PlacedReadings& placed = readings.placed;
    placed.files = files;
    GatherCounts counts = ForEachPlacedRow(
        files,
        [&](const PlacedRow& r) {
            placed.lon.push_back(r.lon);
            placed.lat.push_back(r.lat);
            placed.value.push_back(r.value);
            placed.file.push_back(r.file);
            placed.row.push_back(r.row);
            readings.labels.Add(r.label);
            if (each)
                each(r);
        },
        progress);
    placed.withoutPosition = counts.withoutPosition;
    placed.failures = std::move(counts.failures);
    return readings;
}

ExportSummary WriteReadings(const LabelledReadings& readings, const std::filesystem::path& out, ExportFormat format,
                            const ProcessedValues* processed)
{
    const PlacedReadings& placed = readings.placed;
    if (processed != nullptr && (processed->value.size() != placed.size() || processed->spike.size() != placed.size()))
        throw Error("The processed values do not match the readings");
    RefuseGeoPackage(format, out);
    StagedOutput output(out);
    RowWriter writer(output, format, placed.files, processed != nullptr);
    for (const ReadingFiles::Run& run : placed.file.Runs())
        for (std::size_t i = run.begin; i < run.end; ++i) {
            const Processed extra = processed ? Processed{processed->value[i], processed->spike[i]} : Processed{};
            writer.Row(run.file, placed.row[i], readings.labels[i], placed.value[i], placed.lat[i], placed.lon[i],
                       processed ? &extra : nullptr);
        }
    writer.End();
    output.Commit();
    ExportSummary summary;
    summary.written = writer.Written();
    summary.withoutPosition = placed.withoutPosition;
    summary.failures = placed.failures;
    summary.placedNothing = FilesPlacingNothing(placed);
    return summary;
}

} // namespace qm::site
