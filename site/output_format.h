// The one place that tells an output's format from its name: the readings exports and the grid
// exports, for the tool and the site map alike. Plain C++, no GDAL.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace qm::site {

enum class ExportFormat {
    GeoJson,    // a FeatureCollection of Points [lon, lat] in WGS 84 (EPSG:4326)
    Csv,        // file,row,label,value,lat,lon (and raw,spike with processed values)
    GeoPackage, // the layers readings and traverses, written with GDAL (gpkg_export.h)
};

enum class GridFormat {
    GeoTiff,   // Float32 values with nodata, and its QGIS style beside it
    Kmz,       // the coloured grid as a Google Earth ground overlay
    Png,       // the coloured grid with its world file
    SurferGrd, // Surfer 7 binary, empty cells as Surfer's blank value
    Xyz,       // "X Y Z" lines of the cells that are not empty
};

// By the suffix of the name, in any case: .geojson or .json, .csv, .gpkg; none for any other.
std::optional<ExportFormat> ReadingsFormatFor(const std::filesystem::path& path);
// By the suffix of the name, in any case: .tif or .tiff, .kmz, .png, .grd, .xyz; none for any other.
std::optional<GridFormat> GridFormatFor(const std::filesystem::path& path);

// The suffixes each takes, for messages: ".geojson, .json, .csv or .gpkg".
inline constexpr std::string_view kReadingsSuffixes = ".geojson, .json, .csv or .gpkg";
inline constexpr std::string_view kGridSuffixes = ".tif, .tiff, .kmz, .png, .grd or .xyz";

} // namespace qm::site
