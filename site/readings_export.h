// The readings export: the placed readings of a list of files written as GeoJSON or CSV, by the
// same pass that gathers them for the site map. GeoPackage, on GDAL, is in gpkg_export.h.
#pragma once

#include "output_format.h"
#include "placed_readings.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm::site {

// The format a file name asks for (ReadingsFormatFor).
inline std::optional<ExportFormat> ExportFormatFor(const std::filesystem::path& path)
{
    return ReadingsFormatFor(path);
}

struct ExportSummary {
    std::uint64_t written = 0; // readings written
    std::uint64_t withoutPosition = 0;
    std::vector<FileFailure> failures; // files left out, with their messages
    std::vector<std::filesystem::path> placedNothing; // files that loaded but placed no reading, in list order
};

// The files of the list that loaded (no failure) but placed no reading, in list order.
std::vector<std::filesystem::path> FilesPlacingNothing(const PlacedReadings& placed);

// Writes every placed reading of the files, in file and row order, as GeoJSON or CSV (GeoPackage is
// refused here: see gpkg_export.h). Labels are taken from each file
// while it is loaded, so nothing beyond one file is held in memory. The output is written under a
// temporary name beside `out` and renamed when complete: a failure (Error "Cannot create file
// "%s". %s") or a cancel leaves no partial file under the user's name.
ExportSummary ExportReadings(const std::vector<std::filesystem::path>& files, const std::filesystem::path& out,
                             ExportFormat format, const GatherProgress& progress = {});

// The labels (column 0) of gathered readings in one block of text: label i is
// text[end[i - 1], end[i]), so a million labels cost a few bytes each, not a string each.
struct ReadingLabels {
    std::string text;
    std::vector<std::uint64_t> end;

    void Add(std::string_view label)
    {
        text.append(label);
        end.push_back(text.size());
    }
    std::string_view operator[](std::size_t i) const
    {
        const std::uint64_t begin = i == 0 ? 0 : end[i - 1];
        return std::string_view(text).substr(begin, end[i] - begin);
    }
};

// Placed readings with their labels, gathered once and written later (after processing).
struct LabelledReadings {
    PlacedReadings placed;
    ReadingLabels labels;
};

// Gathers what ExportReadings writes, by the same pass; `each`, when given, also sees every placed
// row while it is placed (for what else a caller takes from it, such as column 2).
LabelledReadings GatherLabelledReadings(const std::vector<std::filesystem::path>& files,
                                        const std::function<void(const PlacedRow&)>& each = {},
                                        const GatherProgress& progress = {});

// Processed values of gathered readings, one per placed reading: NaN for a gap, and spike 1 for a
// reading flagged as a spike.
struct ProcessedValues {
    std::span<const double> value;
    std::span<const std::uint8_t> spike;
};

// Writes gathered readings exactly as ExportReadings writes the same files. With `processed`,
// "value" is the processed value (empty in CSV, null in GeoJSON, for a gap) and two more
// columns/properties follow: "raw", the reading, and "spike", 0 or 1 (CSV:
// file,row,label,value,lat,lon,raw,spike). Written through a temporary file like ExportReadings.
ExportSummary WriteReadings(const LabelledReadings& readings, const std::filesystem::path& out, ExportFormat format,
                            const ProcessedValues* processed = nullptr);

// 8-bit text as UTF-8: kept when it is valid UTF-8, else each byte read as Latin-1 (U+0000..U+00FF),
// as the viewer shows such text.
std::string Utf8Text(std::string_view bytes);
// A JSON string literal (quotes included) of 8-bit text, decoded by Utf8Text.
std::string JsonString(std::string_view bytes);
// A CSV field: quoted, with inner quotes doubled, when it holds a comma, a quote or a line break.
// The bytes stay as they are, like the survey files.
std::string CsvField(std::string_view bytes);
// The shortest text that reads back as the same double ("56.751655", "5e-05").
std::string NumberText(double value);

} // namespace qm::site
