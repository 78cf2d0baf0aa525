// The readings export as a GeoPackage, on GDAL: the layer "readings" (points in EPSG:4326) and the
// layer "traverses" (one line per traverse), written whole or not at all.
#pragma once

#include "readings_export.h"

#include <cstddef>
#include <filesystem>
#include <span>

namespace qm::site {

// Writes gathered readings as the layers
//   readings:  Points; file (text), row (integer), label (text), value (real), and with `processed`
//              raw (real) and spike (integer 0/1), value then the processed value, null for a gap;
//   traverses: a LineString for each traverse of two placed readings or more; file (text), traverse
//              (integer, 1 for the first), readings (integer), min and max (real) of the values
//              written, null when all are gaps.
// `traverseBounds` cut the readings into traverses: traverse t holds the readings
// [bounds[t], bounds[t + 1]), from 0 to every reading; empty for one traverse per file of the list.
// Written in one transaction under a temporary name renamed when complete; throws Error ("Cannot
// write FILE: REASON") on a failure, which leaves nothing under the name.
ExportSummary WriteGeoPackage(const LabelledReadings& readings, const std::filesystem::path& out,
                              const ProcessedValues* processed = nullptr,
                              std::span<const std::size_t> traverseBounds = {});

} // namespace qm::site
