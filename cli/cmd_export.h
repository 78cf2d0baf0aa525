// The export subcommand's work, shared by the tool and the GIS module: the tool writes GeoJSON and
// CSV itself and hands a GeoPackage to the module, which runs the same work with GDAL's writer.
#pragma once

#include "command.h"

#include "readings_export.h"

#include <cstddef>
#include <filesystem>
#include <span>

namespace qm::cli {

// Writes gathered readings as a GeoPackage (site::WriteGeoPackage).
using GeoPackageWriter = site::ExportSummary (*)(const site::LabelledReadings& readings,
                                                 const std::filesystem::path& out,
                                                 const site::ProcessedValues* processed,
                                                 std::span<const std::size_t> traverseBounds);

// quarlomet export; without a writer, a GeoPackage output is handed to the GIS module.
int RunExportWith(const CommandCall& call, GeoPackageWriter geoPackage);

} // namespace qm::cli
