// Hill shading and contours of a grid, through GDAL's own algorithms on an in-memory copy.
#include "grid_relief.h"

#include "errors.h"
#include "gdal_support.h"

#include <cpl_string.h>
#include <gdal_alg.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

namespace qm::site {

namespace {

bool Usable(const GridResult& grid)
{
    return grid.width > 0 && grid.height > 0 &&
           grid.values.size() == static_cast<std::size_t>(grid.width) * grid.height;
}

OGRSpatialReference SrsOf(const GridResult& grid)
{
    OGRSpatialReference srs;
    srs.importFromEPSG(grid.epsg);
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return srs;
}

// The grid as an in-memory GDAL raster reading the grid's own values, in the grid's zone.
GDALDatasetUniquePtr InMemory(const GridResult& grid)
{
    gdal::RegisterDrivers();
    GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
    GDALDatasetUniquePtr dataset(mem ? mem->Create("", grid.width, grid.height, 1, GDT_Float32, nullptr) : nullptr);
    if (!dataset)
        throw Error("GDAL has no in-memory driver");
    const double transform[6] = {grid.originX, grid.cellSize, 0, grid.originY, 0, -grid.cellSize};
    dataset->SetGeoTransform(const_cast<double*>(transform));
    const OGRSpatialReference srs = SrsOf(grid);
    dataset->SetSpatialRef(&srs);
    GDALRasterBand* band = dataset->GetRasterBand(1);
    band->SetNoDataValue(kNoData);
    if (band->RasterIO(GF_Write, 0, 0, grid.width, grid.height, const_cast<float*>(grid.values.data()), grid.width,
                       grid.height, GDT_Float32, 0, 0, nullptr) != CE_None)
        throw Error("The grid cannot be read by GDAL");
    return dataset;
}

// A number for GDAL's options in full: std::to_string keeps six decimals, and would turn an
// interval of 1e-7 into 0.
std::string Exact(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The contour vertices an interval makes, counted before GDAL draws them: each level that crosses
// the edge between two neighbouring cells with values is one vertex. Stops counting past `limit`,
// so that an interval far too fine is refused at once rather than after GDAL drew it all.
std::size_t CountCrossings(const GridResult& grid, double interval, std::size_t limit)
{
    const auto level = [interval](float v) { return std::floor(static_cast<double>(v) / interval); };
    double count = 0;
    for (int row = 0; row < grid.height; ++row) {
        for (int col = 0; col < grid.width; ++col) {
            const float v = grid.At(col, row);
            if (v == kNoData)
                continue;
            if (col + 1 < grid.width && grid.At(col + 1, row) != kNoData)
                count += std::fabs(level(v) - level(grid.At(col + 1, row)));
            if (row + 1 < grid.height && grid.At(col, row + 1) != kNoData)
                count += std::fabs(level(v) - level(grid.At(col, row + 1)));
        }
        if (count > static_cast<double>(limit))
            return limit + 1;
    }
    return static_cast<std::size_t>(count);
}

} // namespace

std::vector<std::uint8_t> HillShade(const GridResult& grid, const HillShadeSetting& setting)
{
    if (!Usable(grid))
        throw Error("There is no grid to shade");
    gdal::ErrorTrap trap;
    GDALDatasetUniquePtr source = InMemory(grid);
    CPLStringList arguments;
    for (const std::string& argument :
         {std::string("-of"), std::string("MEM"), std::string("-az"), Exact(setting.azimuth), std::string("-alt"),
          Exact(setting.altitude), std::string("-z"), Exact(setting.zFactor)})
        arguments.AddString(argument.c_str());
    std::unique_ptr<GDALDEMProcessingOptions, decltype(&GDALDEMProcessingOptionsFree)> options(
        GDALDEMProcessingOptionsNew(arguments.List(), nullptr), &GDALDEMProcessingOptionsFree);
    if (!options)
        throw Error("GDAL refused the hill shading settings: " + trap.First());
    int usageError = FALSE;
    GDALDatasetUniquePtr shaded(GDALDataset::FromHandle(
        GDALDEMProcessing("", GDALDataset::ToHandle(source.get()), "hillshade", nullptr, options.get(), &usageError)));
    if (!shaded)
        throw Error("GDAL could not shade the grid: " + trap.First());
    std::vector<std::uint8_t> shade(grid.values.size(), 0);
    if (shaded->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, grid.width, grid.height, shade.data(), grid.width,
                                           grid.height, GDT_Byte, 0, 0, nullptr) != CE_None)
        throw Error("GDAL could not shade the grid: " + trap.First());
    return shade;
}

void BlendShade(std::span<std::uint8_t> rgba, std::span<const std::uint8_t> shade, double strength)
{
    strength = std::clamp(strength, 0.0, 1.0);
    const std::size_t n = std::min(rgba.size() / 4, shade.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (shade[i] == 0)
            continue;
        // A mid-grey shade (light falling at 45 degrees on flat ground) leaves the colour as it is.
        const double factor = 1 + strength * (shade[i] / 180.0 - 1);
        for (int c = 0; c < 3; ++c) {
            const double v = rgba[i * 4 + static_cast<std::size_t>(c)] * factor;
            rgba[i * 4 + static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
        }
    }
}

std::vector<ContourLine> Contours(const GridResult& grid, double interval, std::size_t maxVertices)
{
    if (!Usable(grid))
        throw Error("There is no grid to draw contours of");
    if (!(interval > 0) || !std::isfinite(interval))
        throw Error("The contour interval must be a number of nT above 0");
    if (CountCrossings(grid, interval, maxVertices) > maxVertices)
        throw Error("The contour interval is too fine for this grid: choose a larger one");
    gdal::ErrorTrap trap;
    GDALDatasetUniquePtr source = InMemory(grid);
    GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("Memory");
    GDALDatasetUniquePtr lines(memory ? memory->Create("", 0, 0, 0, GDT_Unknown, nullptr) : nullptr);
    if (!lines)
        throw Error("GDAL has no in-memory vector driver");
    OGRSpatialReference srs = SrsOf(grid);
    OGRLayer* layer = lines->CreateLayer("contours", &srs, wkbLineString, nullptr);
    OGRFieldDefn level("level", OFTReal);
    if (!layer || layer->CreateField(&level) != OGRERR_NONE)
        throw Error("GDAL could not make the contour layer: " + trap.First());
    CPLStringList options;
    options.SetNameValue("LEVEL_INTERVAL", Exact(interval).c_str());
    options.SetNameValue("ELEV_FIELD", "0");
    options.SetNameValue("NODATA", Exact(kNoData).c_str());
    if (GDALContourGenerateEx(source->GetRasterBand(1), layer, options.List(), nullptr, nullptr) != CE_None)
        throw Error("GDAL could not draw the contours: " + trap.First());

    OGRSpatialReference wgs84;
    wgs84.importFromEPSG(4326);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<OGRCoordinateTransformation> toDegrees(OGRCreateCoordinateTransformation(&srs, &wgs84));
    if (!toDegrees)
        throw Error("The coordinate transformation to WGS 84 is not available");
    const double centre = grid.zone == 0 ? 0.0 : grid.zone * 6.0 - 183.0;
    std::vector<ContourLine> result;
    std::size_t vertices = 0;
    layer->ResetReading();
    for (const auto& feature : *layer) {
        const OGRGeometry* geometry = feature->GetGeometryRef();
        if (!geometry || wkbFlatten(geometry->getGeometryType()) != wkbLineString)
            continue;
        const OGRLineString* line = geometry->toLineString();
        ContourLine contour;
        contour.level = feature->GetFieldAsDouble(0);
        for (int i = 0; i < line->getNumPoints(); ++i) {
            double x = line->getX(i), y = line->getY(i);
            if (!toDegrees->Transform(1, &x, &y))
                continue;
            contour.lon.push_back(centre + std::remainder(x - centre, 360.0));
            contour.lat.push_back(y);
        }
        vertices += contour.lon.size();
        if (vertices > maxVertices)
            throw Error("The contour interval is too fine for this grid: choose a larger one");
        if (contour.lon.size() >= 2)
            result.push_back(std::move(contour));
    }
    return result;
}

} // namespace qm::site
