// Writing a grid: GeoTIFF values with their QGIS style, Surfer and XYZ values, and the coloured
// image as KMZ or PNG with its world file. Every file is written under a temporary name next to the
// target and renamed when complete.
#include "grid.h"

#include "output_format.h"

#include "errors.h"
#include "file_io.h"
#include "gdal_support.h"
#include "staged_file.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <gdalwarper.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace qm::site {

namespace {

namespace fs = std::filesystem;

// Paths cross to GDAL and to the caller as UTF-8 (GDAL's convention on every system).
fs::path PathOf(const std::string& utf8)
{
    return PathFromUtf8(utf8);
}

std::string Utf8(const fs::path& path)
{
    return Utf8Of(path);
}

void Register()
{
    gdal::RegisterDrivers();
}

using gdal::ErrorTrap;

// GDAL keeps side files (.aux.xml) for what a format cannot hold; none is wanted next to a
// temporary name, so they are off for this thread while a file is written.
class NoSideFiles {
public:
    NoSideFiles() { CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", "NO"); }
    ~NoSideFiles() { CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", nullptr); }
    NoSideFiles(const NoSideFiles&) = delete;
    NoSideFiles& operator=(const NoSideFiles&) = delete;
};

using Staged = StagedFiles;

// Puts the staged files in place: "" or the failure.
std::string CommitStaged(Staged& staged)
{
    try {
        staged.Commit();
    } catch (const Error& e) {
        return e.what();
    }
    return {};
}

// Writes `source` through `driver` under the staged temporary name: "" or the failure.
std::string CopyStaged(GDALDriver& driver, GDALDataset& source, const Staged& staged, const ErrorTrap& trap,
                       char** options = nullptr)
{
    GDALDatasetUniquePtr written(
        driver.CreateCopy(Utf8(staged.Temp(0)).c_str(), &source, FALSE, options, nullptr, nullptr));
    if (!written)
        return staged.Failure(trap.What("the file cannot be created"));
    written.reset(); // closed here: the last blocks are written on closing
    if (trap.Failed())
        return staged.Failure(trap.What(""));
    return {};
}

// Reads a whole file through GDAL's virtual file system.
std::string ReadVirtual(const std::string& name)
{
    std::string bytes;
    VSILFILE* file = VSIFOpenL(name.c_str(), "rb");
    if (!file)
        return bytes;
    char block[65536];
    for (std::size_t n; (n = VSIFReadL(block, 1, sizeof block, file)) > 0;)
        bytes.append(block, n);
    VSIFCloseL(file);
    return bytes;
}

// KML takes longitudes from -180 to 180, and a box across the antimeridian as one whose east edge
// lies west of its west edge. The warp keeps a grid across the antimeridian in one piece, its east
// edge beyond 180: such edges of the KML's boxes are brought back by 360 degrees. False when there
// was nothing to change.
bool WrapBoxEdges(std::string& kml)
{
    bool changed = false;
    for (const std::string tag : {"east", "west"}) {
        const std::string open = "<" + tag + ">", close = "</" + tag + ">";
        for (std::size_t at = kml.find(open); at != std::string::npos; at = kml.find(open, at + 1)) {
            const std::size_t from = at + open.size(), to = kml.find(close, from);
            if (to == std::string::npos)
                break;
            const double value = CPLAtof(kml.substr(from, to - from).c_str());
            if (value <= 180)
                continue;
            char text[64];
            std::snprintf(text, sizeof text, "%.15g", value - 360);
            kml.replace(from, to - from, text);
            changed = true;
        }
    }
    return changed;
}

// Rewrites the in-memory KMZ `name` with its KML boxes' edges within -180 to 180; the image tiles
// are copied as they are. False when GDAL could not read or write it.
bool WrapKmz(const std::string& name)
{
    const std::string root = "/vsizip/" + name;
    CPLStringList entries(VSIReadDirRecursive(root.c_str()));
    std::vector<std::pair<std::string, std::string>> files;
    bool changed = false;
    for (int i = 0; i < entries.size(); ++i) {
        const std::string entry = entries[i];
        VSIStatBufL stat;
        if (entry.empty() || entry.back() == '/' || VSIStatL((root + "/" + entry).c_str(), &stat) != 0 ||
            VSI_ISDIR(stat.st_mode))
            continue;
        std::string bytes = ReadVirtual(root + "/" + entry);
        if (entry.size() > 4 && EQUAL(entry.c_str() + entry.size() - 4, ".kml"))
            changed = WrapBoxEdges(bytes) || changed;
        files.emplace_back(entry, std::move(bytes));
    }
    if (!changed)
        return true;
    const std::string wrapped = name + ".wrapped";
    void* zip = CPLCreateZip(wrapped.c_str(), nullptr);
    if (!zip)
        return false;
    bool ok = true;
    for (const auto& [entry, bytes] : files) {
        ok = ok && CPLCreateFileInZip(zip, entry.c_str(), nullptr) == CE_None &&
             CPLWriteFileInZip(zip, bytes.data(), static_cast<int>(bytes.size())) == CE_None &&
             CPLCloseFileInZip(zip) == CE_None;
    }
    ok = CPLCloseZip(zip) == CE_None && ok;
    ok = ok && VSIUnlink(name.c_str()) == 0 && VSIRename(wrapped.c_str(), name.c_str()) == 0;
    if (!ok)
        VSIUnlink(wrapped.c_str());
    return ok;
}

// A KMZ is a zip, which GDAL writes through its zip paths; those cut a name at an early "kmz" or
// "zip" ("zip survey.kmz", "a.kmz.kmz"). So it is made in memory under a plain name and then
// written to the staged temporary file as bytes.
std::string CopyKmz(GDALDriver& driver, GDALDataset& source, const Staged& staged, const ErrorTrap& trap,
                    char** options)
{
    char name[96];
    std::snprintf(name, sizeof name, "/vsimem/quarlomet-%p/grid.kmz", static_cast<const void*>(&staged));
    const auto failure = [&](const std::string& reason) {
        std::string text = reason;
        for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name))
            text.replace(at, std::strlen(name), Utf8(staged.Target(0)));
        return staged.Failure(text);
    };
    {
        GDALDatasetUniquePtr written(driver.CreateCopy(name, &source, FALSE, options, nullptr, nullptr));
        if (!written || trap.Failed()) {
            VSIUnlink(name);
            return failure(trap.What("the file cannot be created"));
        }
    }
    if (!WrapKmz(name)) {
        VSIUnlink(name);
        return failure(trap.What("the grid's boxes cannot be placed across the antimeridian"));
    }
    vsi_l_offset length = 0;
    GByte* bytes = VSIGetMemFileBuffer(name, &length, TRUE);
    if (!bytes)
        return failure(trap.What("the file cannot be created"));
    std::FILE* file = OpenForWriting(staged.Temp(0));
    const bool ok = file && std::fwrite(bytes, 1, static_cast<std::size_t>(length), file) == length;
    const int error = errno;
    CPLFree(bytes);
    if (file && std::fclose(file) != 0)
        return staged.Failure(std::error_code(errno, std::generic_category()).message());
    if (!ok)
        return staged.Failure(std::error_code(error ? error : EIO, std::generic_category()).message());
    return {};
}

bool Usable(const GridResult& grid)
{
    return grid.ok && grid.width > 0 && grid.height > 0 &&
           grid.values.size() == static_cast<std::size_t>(grid.width) * grid.height;
}

OGRSpatialReference Utm(const GridResult& grid)
{
    OGRSpatialReference srs;
    srs.importFromEPSG(grid.epsg);
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return srs;
}

void GeoTransform(const GridResult& grid, double transform[6])
{
    transform[0] = grid.originX;
    transform[1] = grid.cellSize;
    transform[2] = 0;
    transform[3] = grid.originY;
    transform[4] = 0;
    transform[5] = -grid.cellSize;
}

// The coloured grid as an in-memory RGBA raster in UTM, transparent where empty.
GDALDatasetUniquePtr Coloured(const GridResult& grid, const ColourScale& scale)
{
    GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
    if (!mem)
        return nullptr;
    GDALDatasetUniquePtr dataset(mem->Create("", grid.width, grid.height, 4, GDT_Byte, nullptr));
    if (!dataset)
        return nullptr;
    std::vector<std::uint8_t> line(static_cast<std::size_t>(grid.width) * 4);
    for (int row = 0; row < grid.height; ++row) {
        for (int col = 0; col < grid.width; ++col) {
            const float v = grid.At(col, row);
            std::uint8_t* pixel = line.data() + static_cast<std::size_t>(col) * 4;
            if (v == kNoData) {
                std::fill_n(pixel, 4, 0);
                continue;
            }
            const Rgb rgb = ColourOf(scale, v);
            pixel[0] = rgb[0];
            pixel[1] = rgb[1];
            pixel[2] = rgb[2];
            pixel[3] = 255;
        }
        if (dataset->RasterIO(GF_Write, 0, row, grid.width, 1, line.data(), grid.width, 1, GDT_Byte, 4, nullptr, 4,
                              static_cast<GSpacing>(line.size()), 1, nullptr) != CE_None)
            return nullptr;
    }
    const GDALColorInterp interp[4] = {GCI_RedBand, GCI_GreenBand, GCI_BlueBand, GCI_AlphaBand};
    for (int b = 0; b < 4; ++b)
        dataset->GetRasterBand(b + 1)->SetColorInterpretation(interp[b]);
    return dataset;
}

// GDAL suggests a warped size that keeps the diagonal's count of pixels, which for a grid turned
// against the meridians gives fewer rows or columns than the grid has cells: rows would be dropped.
// The warp is made again where needed with pixels no larger than a cell, in degrees at the grid's
// latitude nearest the equator (where a cell spans the fewest degrees of longitude).
GDALDatasetUniquePtr NoCoarserThanTheGrid(GDALDatasetUniquePtr warped, GDALDataset* source, const GridResult& grid,
                                          const std::string& proj)
{
    double gt[6];
    if (warped->GetGeoTransform(gt) != CE_None)
        return warped;
    const double north = gt[3], south = gt[3] + gt[5] * warped->GetRasterYSize();
    const double nearest = south < 0 && north > 0 ? 0.0 : std::min(std::abs(south), std::abs(north));
    const double cellLat = grid.cellSize / 111694.0; // the most metres a degree of latitude spans
    const double cellLon = grid.cellSize / (111320.0 * std::max(std::cos(nearest * 3.14159265358979323846 / 180), 1e-3));
    const double resX = std::min(gt[1], cellLon), resY = std::min(-gt[5], cellLat);
    const double width = (gt[1] * warped->GetRasterXSize()) / resX, height = (-gt[5] * warped->GetRasterYSize()) / resY;
    if ((resX >= gt[1] && resY >= -gt[5]) || width * height > 4e8)
        return warped; // as fine already, or beyond what the memory would hold
    CPLStringList arguments;
    for (const std::string& argument :
         {std::string("-of"), std::string("VRT"), std::string("-r"), std::string("near"), std::string("-et"),
          std::string("0.125"), std::string("-t_srs"), proj, std::string("-tr"), std::to_string(resX),
          std::to_string(resY)})
        arguments.AddString(argument.c_str());
    std::unique_ptr<GDALWarpAppOptions, decltype(&GDALWarpAppOptionsFree)> options(
        GDALWarpAppOptionsNew(arguments.List(), nullptr), &GDALWarpAppOptionsFree);
    if (!options)
        return warped;
    GDALDatasetH input = GDALDataset::ToHandle(source);
    int usageError = FALSE;
    GDALDatasetUniquePtr finer(GDALDataset::FromHandle(GDALWarp("", nullptr, 1, &input, options.get(), &usageError)));
    return finer ? std::move(finer) : std::move(warped);
}

// `source` (the grid's raster in UTM) warped cell for cell (nearest, so values and colours never
// blend) to WGS 84 longitude and latitude, with the longitudes continuous over the grid: wrapped
// about the zone's central meridian, so that a site across the antimeridian keeps one extent, its
// east edge beyond 180, instead of one spanning the whole world. The west edge stays within -180
// to 180 (a grid reaching west of -180 is wrapped about the meridian 360 degrees east).
GDALDatasetUniquePtr WarpedToDegrees(GDALDataset* source, const GridResult& grid)
{
    // UPS grids (zone 0) turn about the pole: Greenwich serves as well as any meridian.
    double centre = grid.zone == 0 ? 0.0 : grid.zone * 6.0 - 183.0;
    {
        OGRSpatialReference wgs84;
        wgs84.importFromEPSG(4326);
        wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        const OGRSpatialReference utm = Utm(grid);
        std::unique_ptr<OGRCoordinateTransformation> toDegrees(OGRCreateCoordinateTransformation(&utm, &wgs84));
        if (!toDegrees)
            return nullptr;
        // The west edge is its west corners, or a point between them where the edge bulges.
        const double south = grid.originY - grid.height * grid.cellSize;
        double west = 180;
        for (int step = 0; step <= 8; ++step) {
            double x = grid.originX, y = south + (grid.originY - south) * step / 8;
            if (toDegrees->Transform(1, &x, &y))
                west = std::min(west, centre + std::remainder(x - centre, 360.0));
        }
        if (west < -180)
            centre += 360;
    }
    OGRSpatialReference degrees;
    const std::string proj = "+proj=longlat +datum=WGS84 +lon_wrap=" + std::to_string(centre) + " +no_defs";
    if (degrees.importFromProj4(proj.c_str()) != OGRERR_NONE)
        return nullptr;
    char* sourceWkt = nullptr;
    Utm(grid).exportToWkt(&sourceWkt);
    char* targetWkt = nullptr;
    degrees.exportToWkt(&targetWkt);
    GDALDatasetUniquePtr warped(GDALDataset::FromHandle(GDALAutoCreateWarpedVRT(
        GDALDataset::ToHandle(source), sourceWkt, targetWkt, GRA_NearestNeighbour, 0.125, nullptr)));
    CPLFree(sourceWkt);
    CPLFree(targetWkt);
    return warped ? NoCoarserThanTheGrid(std::move(warped), source, grid, proj) : nullptr;
}

// The grid's values as an in-memory dataset over the grid's own array (no second copy of a large
// grid), with its place, zone and nodata. Null when GDAL cannot make it.
GDALDatasetUniquePtr ValuesDataset(const GridResult& grid)
{
    GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
    GDALDatasetUniquePtr source(mem ? mem->Create("", grid.width, grid.height, 0, GDT_Float32, nullptr) : nullptr);
    if (!source)
        return nullptr;
    // The address is written as GDAL reads it back ("%p" differs between systems).
    char pointer[64] = {};
    const int length = CPLPrintPointer(pointer, const_cast<float*>(grid.values.data()), sizeof pointer - 1);
    pointer[length] = '\0';
    CPLStringList bandOptions;
    bandOptions.SetNameValue("DATAPOINTER", pointer);
    if (source->AddBand(GDT_Float32, bandOptions.List()) != CE_None)
        return nullptr;
    double transform[6];
    GeoTransform(grid, transform);
    const OGRSpatialReference utm = Utm(grid);
    source->SetGeoTransform(transform);
    source->SetSpatialRef(&utm);
    source->GetRasterBand(1)->SetNoDataValue(kNoData);
    return source;
}

// The shortest text that reads back as the same number.
template <typename Number>
void AppendNumber(std::string& out, Number value)
{
    std::array<char, 32> text{};
    const std::to_chars_result result = std::to_chars(text.data(), text.data() + text.size(), value);
    out.append(text.data(), result.ptr);
}

// The values at which the palette's control colours sit: the colours between them are linear in
// the value, so a ramp through these stops colours every value as the viewer does.
std::vector<double> PaletteStops(const ColourScale& scale)
{
    std::vector<double> stops;
    const auto add = [&](double from, double to, int pieces) {
        for (int k = 0; k <= pieces; ++k) {
            const double v = k == pieces ? to : from + (to - from) * k / pieces;
            if (stops.empty() || v > stops.back())
                stops.push_back(v);
        }
    };
    switch (scale.palette) {
    case Palette::Diverging: {
        // Six control colours either side of the centre.
        const double centre = std::clamp(scale.centre, scale.min, scale.max);
        add(scale.min, centre, 5);
        add(centre, scale.max, 5);
        break;
    }
    case Palette::Sequential:
        add(scale.min, scale.max, 8); // nine control colours
        break;
    default:
        add(scale.min, scale.max, 16); // a palette linear over the range comes out exact
        break;
    }
    return stops;
}

// A QGIS layer style: the band coloured by the scale's ramp over its range, empty cells clear.
std::string QgisStyle(const ColourScale& scale)
{
    std::string minText, maxText;
    AppendNumber(minText, scale.min);
    AppendNumber(maxText, scale.max);
    std::string text = "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n"
                       "<qgis version=\"3.22.0\" styleCategories=\"Symbology\">\n <pipe>\n"
                       "  <rasterrenderer type=\"singlebandpseudocolor\" band=\"1\" opacity=\"1\" alphaBand=\"-1\""
                       " classificationMin=\"" + minText + "\" classificationMax=\"" + maxText + "\" nodataColor=\"\">\n"
                       "   <rasterTransparency/>\n"
                       "   <minMaxOrigin><limits>None</limits><extent>WholeRaster</extent>"
                       "<statAccuracy>Exact</statAccuracy><cumulativeCutLower>0.02</cumulativeCutLower>"
                       "<cumulativeCutUpper>0.98</cumulativeCutUpper><stdDevFactor>2</stdDevFactor></minMaxOrigin>\n"
                       "   <rastershader>\n"
                       "    <colorrampshader colorRampType=\"INTERPOLATED\" classificationMode=\"1\" clip=\"0\""
                       " minimumValue=\"" + minText + "\" maximumValue=\"" + maxText + "\">\n";
    for (const double stop : PaletteStops(scale)) {
        const Rgb rgb = ColourOf(scale, stop);
        char colour[8];
        std::snprintf(colour, sizeof colour, "#%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
        std::string value;
        AppendNumber(value, stop);
        text += "     <item value=\"" + value + "\" label=\"" + value + "\" color=\"" + colour + "\" alpha=\"255\"/>\n";
    }
    text += "    </colorrampshader>\n   </rastershader>\n  </rasterrenderer>\n"
            "  <brightnesscontrast brightness=\"0\" contrast=\"0\" gamma=\"1\"/>\n"
            " </pipe>\n <blendMode>0</blendMode>\n</qgis>\n";
    return text;
}

} // namespace

ColourScale GridScale(const GridResult& grid, Palette palette)
{
    std::vector<double> values;
    values.reserve(grid.values.size());
    for (float v : grid.values)
        if (v != kNoData)
            values.push_back(v);
    return DefaultScale(values, palette);
}

std::string WriteGeoTiff(const GridResult& grid, const std::string& path)
{
    return WriteGeoTiff(grid, GridScale(grid), path);
}

std::string WriteGeoTiff(const GridResult& grid, const ColourScale& scale, const std::string& path)
{
    if (!Usable(grid))
        return "There is no grid to write.";
    Register();
    ErrorTrap trap;
    NoSideFiles noSideFiles;
    fs::path style = PathOf(path);
    style.replace_extension(".qml");
    Staged staged({PathOf(path), style});
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    if (!driver)
        return "GDAL has no GeoTIFF driver.";
    {
        CPLStringList options;
        options.SetNameValue("COMPRESS", "DEFLATE");
        options.SetNameValue("PREDICTOR", "3");
        options.SetNameValue("TILED", "YES");
        GDALDatasetUniquePtr dataset(driver->Create(Utf8(staged.Temp(0)).c_str(), grid.width, grid.height, 1,
                                                    GDT_Float32, options.List()));
        if (!dataset)
            return staged.Failure(trap.What("the file cannot be created"));
        double transform[6];
        GeoTransform(grid, transform);
        const OGRSpatialReference srs = Utm(grid);
        dataset->SetGeoTransform(transform);
        dataset->SetSpatialRef(&srs);
        GDALRasterBand* band = dataset->GetRasterBand(1);
        band->SetNoDataValue(kNoData);
        if (band->RasterIO(GF_Write, 0, 0, grid.width, grid.height, const_cast<float*>(grid.values.data()),
                           grid.width, grid.height, GDT_Float32, 0, 0, nullptr) != CE_None)
            return staged.Failure(trap.What("writing the values failed"));
    } // closed here: the last blocks are written on closing
    if (trap.Failed())
        return staged.Failure(trap.What(""));
    // QGIS loads the style beside a raster of the same name by itself.
    std::ofstream out(staged.Temp(1), std::ios::binary);
    out << QgisStyle(scale);
    out.close();
    if (!out)
        return staged.Failure("", 1);
    return CommitStaged(staged);
}

std::string WritePng(const GridResult& grid, const ColourScale& scale, const std::string& path)
{
    if (!Usable(grid))
        return "There is no grid to write.";
    Register();
    ErrorTrap trap;
    NoSideFiles noSideFiles;
    const fs::path png = PathOf(path);
    fs::path world = png, prj = png;
    world.replace_extension(".pgw");
    prj.replace_extension(".prj");
    // GDAL reads no .prj beside a PNG: its own side file carries the coordinate system for it.
    const fs::path aux = PathOf(Utf8(png) + ".aux.xml");
    Staged staged({png, world, prj, aux});
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("PNG");
    GDALDatasetUniquePtr coloured = Coloured(grid, scale);
    if (!driver || !coloured)
        return staged.Failure(trap.What("GDAL has no PNG driver"));
    if (std::string failure = CopyStaged(*driver, *coloured, staged, trap); !failure.empty())
        return failure;

    // The world file places the centre of the top left pixel.
    char text[256];
    std::snprintf(text, sizeof text, "%.12g\n0\n0\n%.12g\n%.12f\n%.12f\n", grid.cellSize, -grid.cellSize,
                  grid.originX + grid.cellSize / 2, grid.originY - grid.cellSize / 2);
    char* wkt = nullptr;
    const char* const esri[] = {"FORMAT=WKT1_ESRI", nullptr};
    Utm(grid).exportToWkt(&wkt, esri);
    const std::string prjText = wkt ? wkt : "";
    CPLFree(wkt);
    wkt = nullptr;
    Utm(grid).exportToWkt(&wkt);
    char* escaped = CPLEscapeString(wkt ? wkt : "", -1, CPLES_XML);
    const std::string auxText = std::string("<PAMDataset>\n  <SRS dataAxisToSRSAxisMapping=\"1,2\">") + escaped +
                                "</SRS>\n</PAMDataset>\n";
    CPLFree(escaped);
    CPLFree(wkt);
    for (auto [file, content] :
         {std::pair{1, std::string(text)}, std::pair{2, prjText}, std::pair{3, auxText}}) {
        std::ofstream out(staged.Temp(file), std::ios::binary);
        out << content;
        out.close();
        if (!out)
            return staged.Failure("", static_cast<std::size_t>(file));
    }
    return CommitStaged(staged);
}

std::string WriteKmz(const GridResult& grid, const ColourScale& scale, const std::string& path)
{
    if (!Usable(grid))
        return "There is no grid to write.";
    Register();
    ErrorTrap trap;
    NoSideFiles noSideFiles;
    Staged staged({PathOf(path)});
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("KMLSUPEROVERLAY");
    GDALDatasetUniquePtr coloured = Coloured(grid, scale);
    if (!driver || !coloured)
        return staged.Failure(trap.What("GDAL has no KML super-overlay driver"));
    double transform[6];
    GeoTransform(grid, transform);
    const OGRSpatialReference utm = Utm(grid);
    coloured->SetGeoTransform(transform);
    coloured->SetSpatialRef(&utm);

    // Google Earth takes overlays in WGS 84 longitude and latitude: the coloured image is warped
    // there cell for cell (nearest, so colours never blend), its alpha band carrying the empty
    // cells and the area outside the grid as transparent.
    GDALDatasetUniquePtr warped = WarpedToDegrees(coloured.get(), grid);
    if (!warped)
        return staged.Failure(trap.What("the grid cannot be warped to WGS 84"));

    // PNG tiles keep the transparency (JPEG, the driver's default, would paint empty cells black).
    CPLStringList options;
    options.SetNameValue("FORMAT", "PNG");
    options.SetNameValue("NAME", Utf8(PathOf(path).stem()).c_str());
    if (std::string failure = CopyKmz(*driver, *warped, staged, trap, options.List()); !failure.empty())
        return failure;
    return CommitStaged(staged);
}

GeographicGrid WarpToWgs84(const GridResult& grid, int maxSide)
{
    GeographicGrid out;
    if (!Usable(grid)) {
        out.error = "There is no grid to show.";
        return out;
    }
    Register();
    ErrorTrap trap;
    GDALDatasetUniquePtr source = ValuesDataset(grid);
    if (!source) {
        out.error = trap.What("The grid cannot be read by GDAL.");
        return out;
    }
    GDALDatasetUniquePtr warped = WarpedToDegrees(source.get(), grid);
    if (!warped) {
        out.error = trap.What("The grid cannot be warped to WGS 84.");
        return out;
    }
    const int width = warped->GetRasterXSize();
    const int height = warped->GetRasterYSize();
    double geo[6];
    warped->GetGeoTransform(geo);
    out.west = geo[0];
    out.north = geo[3];
    out.east = geo[0] + geo[1] * width;
    out.south = geo[3] + geo[5] * height;
    const double shrink = std::max(1.0, static_cast<double>(std::max(width, height)) / std::max(maxSide, 1));
    out.width = std::max(1, static_cast<int>(std::lround(width / shrink)));
    out.height = std::max(1, static_cast<int>(std::lround(height / shrink)));
    out.values.assign(static_cast<std::size_t>(out.width) * out.height, kNoData);
    // Cells outside the source take the warp's nodata, which it copies from the grid's.
    GDALRasterBand* band = warped->GetRasterBand(1);
    int hasNoData = 0;
    const double noData = band->GetNoDataValue(&hasNoData);
    if (band->RasterIO(GF_Read, 0, 0, width, height, out.values.data(), out.width, out.height, GDT_Float32, 0, 0,
                       nullptr) != CE_None) {
        out = GeographicGrid{};
        out.error = trap.What("The grid cannot be warped to WGS 84.");
        return out;
    }
    if (hasNoData && noData != kNoData)
        std::replace(out.values.begin(), out.values.end(), static_cast<float>(noData), kNoData);
    return out;
}

std::vector<std::uint8_t> ColourPixels(std::span<const float> values, const ColourScale& scale)
{
    std::vector<std::uint8_t> pixels(values.size() * 4, 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] == kNoData)
            continue;
        const Rgb rgb = ColourOf(scale, values[i]);
        std::uint8_t* pixel = pixels.data() + i * 4;
        pixel[0] = rgb[0];
        pixel[1] = rgb[1];
        pixel[2] = rgb[2];
        pixel[3] = 255;
    }
    return pixels;
}

std::string WriteSurferGrid(const GridResult& grid, const std::string& path)
{
    if (!Usable(grid))
        return "There is no grid to write.";
    Register();
    ErrorTrap trap;
    NoSideFiles noSideFiles;
    Staged staged({PathOf(path)});
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GS7BG");
    GDALDatasetUniquePtr values = ValuesDataset(grid);
    if (!driver || !values)
        return staged.Failure(trap.What("GDAL has no Surfer 7 driver"));
    // The driver writes the source's nodata cells as Surfer's blank value.
    if (std::string failure = CopyStaged(*driver, *values, staged, trap); !failure.empty())
        return failure;
    return CommitStaged(staged);
}

std::string WriteXyz(const GridResult& grid, const std::string& path)
{
    if (!Usable(grid))
        return "There is no grid to write.";
    try {
        StagedOutput output(PathOf(path));
        std::string& text = output.Buffer();
        // Row by row from the north, west to east: the order GDAL's XYZ reader takes.
        for (int row = 0; row < grid.height; ++row) {
            const double y = grid.originY - (row + 0.5) * grid.cellSize;
            for (int col = 0; col < grid.width; ++col) {
                const float v = grid.At(col, row);
                if (v == kNoData)
                    continue;
                AppendNumber(text, grid.originX + (col + 0.5) * grid.cellSize);
                text.push_back(' ');
                AppendNumber(text, y);
                text.push_back(' ');
                AppendNumber(text, v);
                text.push_back('\n');
                output.FlushIfFull();
            }
        }
        output.Commit();
    } catch (const Error& e) {
        return e.what();
    }
    return {};
}

std::string WriteGrid(const GridResult& grid, const ColourScale& scale, const std::string& path)
{
    const std::optional<GridFormat> format = GridFormatFor(PathOf(path));
    if (!format)
        return "Unknown grid format \"" + Utf8(PathOf(path).extension()) + "\": use " + std::string(kGridSuffixes) + ".";
    switch (*format) {
    case GridFormat::GeoTiff:
        return WriteGeoTiff(grid, scale, path);
    case GridFormat::Kmz:
        return WriteKmz(grid, scale, path);
    case GridFormat::Png:
        return WritePng(grid, scale, path);
    case GridFormat::SurferGrd:
        return WriteSurferGrid(grid, path);
    case GridFormat::Xyz:
        return WriteXyz(grid, path);
    }
    return "Unknown grid format.";
}

} // namespace qm::site
