// Writing the readings and their traverses as a GeoPackage with GDAL's GPKG driver, in one
// transaction, under a temporary name put in place when GDAL has closed the file.
#include "gpkg_export.h"

#include "errors.h"
#include "file_io.h"
#include "gdal_support.h"
#include "staged_file.h"

#include <gdal_priv.h>
#include <ogr_feature.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qm::site {

namespace {

using gdal::ErrorTrap;

// Throws the failure of the staged file, GDAL's own message first.
[[noreturn]] void Fail(const StagedFiles& staged, const ErrorTrap& trap, const char* fallback)
{
    throw Error(staged.Failure(trap.What(fallback)));
}

OGRLayer* CreateLayer(GDALDataset& dataset, const char* name, OGRwkbGeometryType type,
                      std::initializer_list<std::pair<const char*, OGRFieldType>> fields)
{
    OGRSpatialReference wgs84;
    wgs84.importFromEPSG(4326);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    OGRLayer* layer = dataset.CreateLayer(name, &wgs84, type, nullptr);
    if (layer == nullptr)
        return nullptr;
    for (const auto& [fieldName, fieldType] : fields) {
        OGRFieldDefn field(fieldName, fieldType);
        if (layer->CreateField(&field) != OGRERR_NONE)
            return nullptr;
    }
    return layer;
}

// Traverse bounds by file: one traverse per file of the list, empty for a file that placed nothing.
std::vector<std::size_t> BoundsByFile(const PlacedReadings& placed)
{
    std::vector<std::size_t> bounds(placed.files.size() + 1, 0);
    for (const ReadingFiles::Run& run : placed.file.Runs())
        bounds[run.file + 1] += run.end - run.begin;
    for (std::size_t t = 1; t < bounds.size(); ++t)
        bounds[t] += bounds[t - 1];
    return bounds;
}

bool CoverReadings(std::span<const std::size_t> bounds, std::size_t readings)
{
    return !bounds.empty() && bounds.front() == 0 && bounds.back() == readings &&
           std::is_sorted(bounds.begin(), bounds.end());
}

// The value written for reading i: the processed one (NaN for a gap) or the reading.
double WrittenValue(const LabelledReadings& readings, const ProcessedValues* processed, std::size_t i)
{
    return processed ? processed->value[i] : readings.placed.value[i];
}

bool WriteReadingsLayer(GDALDataset& dataset, const LabelledReadings& readings, const ProcessedValues* processed)
{
    OGRLayer* layer = processed ? CreateLayer(dataset, "readings", wkbPoint,
                                              {{"file", OFTString}, {"row", OFTInteger}, {"label", OFTString},
                                               {"value", OFTReal}, {"raw", OFTReal}, {"spike", OFTInteger}})
                                : CreateLayer(dataset, "readings", wkbPoint,
                                              {{"file", OFTString}, {"row", OFTInteger}, {"label", OFTString},
                                               {"value", OFTReal}});
    if (layer == nullptr)
        return false;
    const PlacedReadings& placed = readings.placed;
    OGRFeature feature(layer->GetLayerDefn());
    std::string fileText;
    const std::vector<ReadingFiles::Run>& runs = placed.file.Runs();
    auto run = runs.begin();
    for (std::size_t i = 0; i < placed.size(); ++i) {
        if (i == run->end)
            ++run;
        if (i == run->begin)
            fileText = Utf8Text(Utf8Of(placed.files[run->file]));
        feature.SetFID(OGRNullFID);
        feature.SetField(0, fileText.c_str());
        feature.SetField(1, static_cast<int>(placed.row[i]));
        feature.SetField(2, Utf8Text(readings.labels[i]).c_str());
        const double value = WrittenValue(readings, processed, i);
        if (std::isnan(value))
            feature.SetFieldNull(3);
        else
            feature.SetField(3, value);
        if (processed) {
            feature.SetField(4, placed.value[i]);
            feature.SetField(5, processed->spike[i] != 0 ? 1 : 0);
        }
        OGRPoint point(placed.lon[i], placed.lat[i]);
        feature.SetGeometry(&point);
        if (layer->CreateFeature(&feature) != OGRERR_NONE)
            return false;
    }
    return true;
}

bool WriteTraversesLayer(GDALDataset& dataset, const LabelledReadings& readings, const ProcessedValues* processed,
                         std::span<const std::size_t> bounds)
{
    OGRLayer* layer = CreateLayer(dataset, "traverses", wkbLineString,
                                  {{"file", OFTString}, {"traverse", OFTInteger}, {"readings", OFTInteger},
                                   {"min", OFTReal}, {"max", OFTReal}});
    if (layer == nullptr)
        return false;
    const PlacedReadings& placed = readings.placed;
    OGRFeature feature(layer->GetLayerDefn());
    for (std::size_t t = 0; t + 1 < bounds.size(); ++t) {
        const std::size_t begin = bounds[t], end = bounds[t + 1];
        if (end - begin < 2)
            continue;
        auto line = std::make_unique<OGRLineString>();
        line->setNumPoints(static_cast<int>(end - begin), FALSE);
        double min = INFINITY, max = -INFINITY;
        for (std::size_t i = begin; i < end; ++i) {
            line->setPoint(static_cast<int>(i - begin), placed.lon[i], placed.lat[i]);
            const double value = WrittenValue(readings, processed, i);
            if (!std::isnan(value)) {
                min = std::min(min, value);
                max = std::max(max, value);
            }
        }
        feature.SetFID(OGRNullFID);
        feature.SetField(0, Utf8Text(Utf8Of(placed.files[placed.file[begin]])).c_str());
        feature.SetField(1, static_cast<int>(t + 1));
        feature.SetField(2, static_cast<int>(end - begin));
        for (const auto& [field, value] : {std::pair{3, min}, std::pair{4, max}}) {
            if (std::isfinite(value))
                feature.SetField(field, value);
            else
                feature.SetFieldNull(field);
        }
        feature.SetGeometryDirectly(line.release());
        if (layer->CreateFeature(&feature) != OGRERR_NONE)
            return false;
    }
    return true;
}

} // namespace

ExportSummary WriteGeoPackage(const LabelledReadings& readings, const std::filesystem::path& out,
                              const ProcessedValues* processed, std::span<const std::size_t> traverseBounds)
{
    const PlacedReadings& placed = readings.placed;
    if (processed != nullptr && (processed->value.size() != placed.size() || processed->spike.size() != placed.size()))
        throw Error("The processed values do not match the readings");
    const std::vector<std::size_t> byFile = traverseBounds.empty() ? BoundsByFile(placed) : std::vector<std::size_t>{};
    const std::span<const std::size_t> bounds = traverseBounds.empty() ? std::span(byFile) : traverseBounds;
    if (!CoverReadings(bounds, placed.size()))
        throw Error("The traverses do not match the readings");

    gdal::RegisterDrivers();
    ErrorTrap trap;
    StagedFiles staged({out});
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    if (driver == nullptr)
        throw Error(staged.Failure("GDAL has no GeoPackage driver"));
    {
        GDALDatasetUniquePtr dataset(driver->Create(Utf8Of(staged.Temp(0)).c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        if (!dataset)
            Fail(staged, trap, "the file cannot be created");
        if (dataset->StartTransaction() != OGRERR_NONE)
            Fail(staged, trap, "the file cannot be written");
        if (!WriteReadingsLayer(*dataset, readings, processed) ||
            !WriteTraversesLayer(*dataset, readings, processed, bounds))
            Fail(staged, trap, "the features cannot be written");
        if (dataset->CommitTransaction() != OGRERR_NONE)
            Fail(staged, trap, "the file cannot be written");
    } // closed here: GDAL finishes the file on closing
    if (trap.Failed())
        Fail(staged, trap, "");
    staged.Commit();

    ExportSummary summary;
    summary.written = placed.size();
    summary.withoutPosition = placed.withoutPosition;
    summary.failures = placed.failures;
    summary.placedNothing = FilesPlacingNothing(placed);
    return summary;
}

} // namespace qm::site
