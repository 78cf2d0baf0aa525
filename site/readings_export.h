// The readings export: the placed readings of a list of files written as GeoJSON or CSV, by the
// same pass that gathers them for the site map.
#pragma once

#include "placed_readings.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qm::site {

enum class ExportFormat {
    GeoJson, // a FeatureCollection of Points [lon, lat] in WGS 84 (EPSG:4326)
    Csv,     // file,row,label,value,lat,lon
};

// The format a file name asks for: ".csv" for CSV, ".geojson" or ".json" for GeoJSON (any case);
// none for any other name.
std::optional<ExportFormat> ExportFormatFor(const std::filesystem::path& path);

struct ExportSummary {
    std::uint64_t written = 0; // readings written
    std::uint64_t withoutPosition = 0;
    std::vector<FileFailure> failures; // files left out, with their messages
};

// Writes every placed reading of the files, in file and row order. Labels are taken from each file
// while it is loaded, so nothing beyond one file is held in memory. The output is written under a
// temporary name beside `out` and renamed when complete: a failure (Error "Cannot create file
// "%s". %s") or a cancel leaves no partial file under the user's name.
ExportSummary ExportReadings(const std::vector<std::string>& files, const std::filesystem::path& out,
                             ExportFormat format, const GatherProgress& progress = {});

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
