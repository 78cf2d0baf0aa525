// What the writers of a grid held whole (grid_export.cpp) share with the writing of a grid too
// large to hold (grid_file.cpp): the GeoTIFF of the values, the QGIS style, and the coloured and
// value formats made from the grid's rows however they are read. Internal to the site GIS library.
#pragma once

#include "grid.h"

#include <gdal_priv.h>

#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace qm::site::detail {

// Reads row `row` of a grid's values (grid.width of them) into `out`: false when it cannot. The
// writers ask for the rows once each, from north to south.
using RowReader = std::function<bool(int row, std::span<float> out)>;

// A new GeoTIFF for the grid's values (Float32, placed in its zone, nodata kNoData): compressed
// and tiled as the export writes it, or plain (uncompressed strips, for a temporary copy read back
// row by row). Null when GDAL cannot create it; its error goes to the caller's trap.
GDALDatasetUniquePtr CreateValuesTiff(const std::filesystem::path& path, const GridResult& grid, bool plain);
// The GeoTIFF's QGIS layer style for the scale written to `path`: false when it cannot be.
bool WriteStyle(const ColourScale& scale, const std::filesystem::path& path);

// The grid coloured by the scale as an RGBA raster of the driver's ("MEM", or "GTiff" for a file
// under `name`), transparent where empty. Null when GDAL fails.
GDALDatasetUniquePtr Coloured(const GridResult& grid, const ColourScale& scale, const RowReader& rows,
                              const char* driverName, const std::string& name);

// The exports from the coloured raster or the values as GDAL reads them (grid.values unused).
// Each throws Error ("Cannot write FILE: REASON") when it fails.
void WritePngOf(GDALDataset& coloured, const GridResult& grid, const std::filesystem::path& path);
void WriteKmzOf(GDALDataset& coloured, const GridResult& grid, const std::filesystem::path& path);
void WriteSurferGridOf(GDALDataset& values, const std::filesystem::path& path);
void WriteXyzOf(const GridResult& grid, const RowReader& rows, const std::filesystem::path& path);

// The Error of a name that GridFormatFor tells no format from, naming the formats known.
[[noreturn]] void RefuseUnknownFormat(const std::filesystem::path& path);

} // namespace qm::site::detail
