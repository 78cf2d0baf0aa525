// Writing a grid: GeoTIFF values with their QGIS style, Surfer and XYZ values, and the coloured
// image as KMZ or PNG with its world file. Every file is written under a temporary name next to the
// target and renamed when complete.
#include "grid.h"
#include "grid_write.h"

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
#include <string_view>
#include <system_error>

namespace qm::site {

namespace {

namespace fs = std::filesystem;

// Paths cross to GDAL as UTF-8 (GDAL's convention on every system).
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

// The failure of file i of a staged set, with GDAL's reason.
[[noreturn]] void Fail(const Staged& staged, std::string_view reason, std::size_t i = 0)
{
    throw Error(staged.Failure(reason, i));
}

// Writes `source` through `driver` under the staged temporary name.
void CopyStaged(GDALDriver& driver, GDALDataset& source, const Staged& staged, const ErrorTrap& trap,
                char** options = nullptr)
{
    GDALDatasetUniquePtr written(
        driver.CreateCopy(Utf8(staged.Temp(0)).c_str(), &source, FALSE, options, nullptr, nullptr));
    if (!written)
        Fail(staged, trap.What("the file cannot be created"));
    written.reset(); // closed here: the last blocks are written on closing
    if (trap.Failed())
        Fail(staged, trap.What(""));
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
void CopyKmz(GDALDriver& driver, GDALDataset& source, const Staged& staged, const ErrorTrap& trap, char** options)
{
    char name[96];
    std::snprintf(name, sizeof name, "/vsimem/quarlomet-%p/grid.kmz", static_cast<const void*>(&staged));
    // GDAL's reason names the file in memory, which stands for the user's.
    const auto fail = [&](const std::string& reason) {
        std::string text = reason;
        for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name))
            text.replace(at, std::strlen(name), Utf8(staged.Target(0)));
        Fail(staged, text);
    };
    {
        GDALDatasetUniquePtr written(driver.CreateCopy(name, &source, FALSE, options, nullptr, nullptr));
        if (!written || trap.Failed()) {
            VSIUnlink(name);
            fail(trap.What("the file cannot be created"));
        }
    }
    if (!WrapKmz(name)) {
        VSIUnlink(name);
        fail(trap.What("the grid's boxes cannot be placed across the antimeridian"));
    }
    vsi_l_offset length = 0;
    GByte* bytes = VSIGetMemFileBuffer(name, &length, TRUE);
    if (!bytes)
        fail(trap.What("the file cannot be created"));
    std::FILE* file = OpenForWriting(staged.Temp(0));
    const bool ok = file && std::fwrite(bytes, 1, static_cast<std::size_t>(length), file) == length;
    const int error = errno;
    CPLFree(bytes);
    if (file && std::fclose(file) != 0)
        Fail(staged, std::error_code(errno, std::generic_category()).message());
    if (!ok)
        Fail(staged, std::error_code(error ? error : EIO, std::generic_category()).message());
}

// Whether the grid has cells to write: a default GridResult has none.
bool Usable(const GridResult& grid)
{
    return grid.width > 0 && grid.height > 0 &&
           grid.values.size() == static_cast<std::size_t>(grid.width) * grid.height;
}

void RequireCells(const GridResult& grid)
{
    if (!Usable(grid))
        throw Error("There is no grid to write.");
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

// Places a raster of the grid's size in the grid's zone and extent.
void Place(GDALDataset& dataset, const GridResult& grid)
{
    double transform[6];
    GeoTransform(grid, transform);
    const OGRSpatialReference utm = Utm(grid);
    dataset.SetGeoTransform(transform);
    dataset.SetSpatialRef(&utm);
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
    // The resolution in full: a cell of centimetres spans millionths of a degree, which six
    // decimals would round coarser, or to nothing.
    const auto degrees = [](double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", value);
        return std::string(text);
    };
    CPLStringList arguments;
    for (const std::string& argument :
         {std::string("-of"), std::string("VRT"), std::string("-r"), std::string("near"), std::string("-et"),
          std::string("0.125"), std::string("-t_srs"), proj, std::string("-tr"), degrees(resX), degrees(resY)})
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
    Place(*source, grid);
    source->GetRasterBand(1)->SetNoDataValue(kNoData);
    return source;
}

// The rows of a grid held whole.
detail::RowReader RowsOf(const GridResult& grid)
{
    return [&grid](int row, std::span<float> out) {
        std::copy_n(grid.values.data() + static_cast<std::size_t>(row) * grid.width, grid.width, out.data());
        return true;
    };
}

// A grid held whole coloured in memory and written by `write` (PNG or KMZ).
void WriteColoured(const GridResult& grid, const ColourScale& scale, const fs::path& path,
                   void (*write)(GDALDataset&, const GridResult&, const fs::path&))
{
    RequireCells(grid);
    Register();
    ErrorTrap trap;
    GDALDatasetUniquePtr coloured = detail::Coloured(grid, scale, RowsOf(grid), "MEM", "");
    if (!coloured)
        throw Error(WriteFailure(path, trap.What("the grid cannot be coloured")));
    write(*coloured, grid, path);
}

} // namespace

GDALDatasetUniquePtr detail::CreateValuesTiff(const fs::path& path, const GridResult& grid, bool plain)
{
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    if (!driver)
        return nullptr;
    CPLStringList options;
    if (!plain) {
        options.SetNameValue("COMPRESS", "DEFLATE");
        options.SetNameValue("PREDICTOR", "3");
        options.SetNameValue("TILED", "YES");
    }
    GDALDatasetUniquePtr dataset(
        driver->Create(Utf8(path).c_str(), grid.width, grid.height, 1, GDT_Float32, options.List()));
    if (!dataset)
        return nullptr;
    Place(*dataset, grid);
    dataset->GetRasterBand(1)->SetNoDataValue(kNoData);
    return dataset;
}

// The coloured grid as an RGBA raster, transparent where empty.
GDALDatasetUniquePtr detail::Coloured(const GridResult& grid, const ColourScale& scale, const RowReader& rows,
                                      const char* driverName, const std::string& name)
{
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(driverName);
    if (!driver)
        return nullptr;
    CPLStringList options;
    if (EQUAL(driverName, "GTiff")) {
        options.SetNameValue("PHOTOMETRIC", "RGB");
        options.SetNameValue("ALPHA", "YES");
    }
    GDALDatasetUniquePtr dataset(driver->Create(name.c_str(), grid.width, grid.height, 4, GDT_Byte, options.List()));
    if (!dataset)
        return nullptr;
    std::vector<float> values(static_cast<std::size_t>(grid.width));
    for (int row = 0; row < grid.height; ++row) {
        if (!rows(row, values))
            return nullptr;
        std::vector<std::uint8_t> line = ColourPixels(values, scale);
        if (dataset->RasterIO(GF_Write, 0, row, grid.width, 1, line.data(), grid.width, 1, GDT_Byte, 4, nullptr, 4,
                              static_cast<GSpacing>(line.size()), 1, nullptr) != CE_None)
            return nullptr;
    }
    const GDALColorInterp interp[4] = {GCI_RedBand, GCI_GreenBand, GCI_BlueBand, GCI_AlphaBand};
    for (int b = 0; b < 4; ++b)
        dataset->GetRasterBand(b + 1)->SetColorInterpretation(interp[b]);
    return dataset;
}

ColourScale GridScale(const GridResult& grid, Palette palette)
{
    // The cells that are not empty, a row at a time, so that no copy of a large grid is made.
    const ValuePass pass = [&grid](const std::function<void(std::span<const float>)>& take) {
        std::vector<float> row;
        for (std::size_t from = 0; from < grid.values.size(); from += static_cast<std::size_t>(grid.width)) {
            row.clear();
            const std::size_t to = std::min(grid.values.size(), from + static_cast<std::size_t>(grid.width));
            std::copy_if(grid.values.begin() + static_cast<std::ptrdiff_t>(from),
                         grid.values.begin() + static_cast<std::ptrdiff_t>(to), std::back_inserter(row),
                         [](float v) { return v != kNoData; });
            take(row);
        }
    };
    return DefaultScale(PercentilesOf(pass), palette);
}

void WriteGeoTiff(const GridResult& grid, const fs::path& path)
{
    WriteGeoTiff(grid, GridScale(grid), path);
}

void WriteGeoTiff(const GridResult& grid, const ColourScale& scale, const fs::path& path)
{
    RequireCells(grid);
    Register();
    ErrorTrap trap;
    NoSideFiles noSideFiles;
    fs::path style = path;
    style.replace_extension(".qml");
    Staged staged({path, style});
    {
        GDALDatasetUniquePtr dataset = detail::CreateValuesTiff(staged.Temp(0), grid, false);
        if (!dataset)
            Fail(staged, trap.What("the file cannot be created"));
        if (dataset->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, grid.width, grid.height,
                                                const_cast<float*>(grid.values.data()), grid.width, grid.height,
                                                GDT_Float32, 0, 0, nullptr) != CE_None)
            Fail(staged, trap.What("writing the values failed"));
    } // closed here: the last blocks are written on closing
    if (trap.Failed())
        Fail(staged, trap.What(""));
    if (!detail::WriteStyle(scale, staged.Temp(1)))
        Fail(staged, "", 1);
    staged.Commit();
}

void WritePng(const GridResult& grid, const ColourScale& scale, const fs::path& path)
{
    WriteColoured(grid, scale, path, &detail::WritePngOf);
}

void detail::WritePngOf(GDALDataset& coloured, const GridResult& grid, const fs::path& path)
{
    ErrorTrap trap;
    NoSideFiles noSideFiles;
    const fs::path& png = path;
    fs::path world = png, prj = png;
    world.replace_extension(".pgw");
    prj.replace_extension(".prj");
    // GDAL reads no .prj beside a PNG: its own side file carries the coordinate system for it.
    fs::path aux = png;
    aux += ".aux.xml";
    Staged staged({png, world, prj, aux});
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("PNG");
    if (!driver)
        Fail(staged, trap.What("GDAL has no PNG driver"));
    CopyStaged(*driver, coloured, staged, trap);

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
            Fail(staged, "", static_cast<std::size_t>(file));
    }
    staged.Commit();
}

void WriteKmz(const GridResult& grid, const ColourScale& scale, const fs::path& path)
{
    WriteColoured(grid, scale, path, &detail::WriteKmzOf);
}

void detail::WriteKmzOf(GDALDataset& coloured, const GridResult& grid, const fs::path& path)
{
    ErrorTrap trap;
    NoSideFiles noSideFiles;
    Staged staged({path});
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("KMLSUPEROVERLAY");
    if (!driver)
        Fail(staged, trap.What("GDAL has no KML super-overlay driver"));
    Place(coloured, grid);

    // Google Earth takes overlays in WGS 84 longitude and latitude: the coloured image is warped
    // there cell for cell (nearest, so colours never blend), its alpha band carrying the empty
    // cells and the area outside the grid as transparent.
    GDALDatasetUniquePtr warped = WarpedToDegrees(&coloured, grid);
    if (!warped)
        Fail(staged, trap.What("the grid cannot be warped to WGS 84"));

    // PNG tiles keep the transparency (JPEG, the driver's default, would paint empty cells black).
    CPLStringList options;
    options.SetNameValue("FORMAT", "PNG");
    options.SetNameValue("NAME", Utf8(path.stem()).c_str());
    CopyKmz(*driver, *warped, staged, trap, options.List());
    staged.Commit();
}

GeographicGrid WarpToWgs84(const GridResult& grid, int maxSide)
{
    if (!Usable(grid))
        throw Error("There is no grid to show.");
    Register();
    ErrorTrap trap;
    GDALDatasetUniquePtr source = ValuesDataset(grid);
    if (!source)
        throw Error(trap.What("The grid cannot be read by GDAL."));
    GDALDatasetUniquePtr warped = WarpedToDegrees(source.get(), grid);
    if (!warped)
        throw Error(trap.What("The grid cannot be warped to WGS 84."));
    GeographicGrid out;
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
                       nullptr) != CE_None)
        throw Error(trap.What("The grid cannot be warped to WGS 84."));
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

void WriteSurferGrid(const GridResult& grid, const fs::path& path)
{
    RequireCells(grid);
    Register();
    ErrorTrap trap;
    GDALDatasetUniquePtr values = ValuesDataset(grid);
    if (!values)
        throw Error(WriteFailure(path, trap.What("the grid cannot be read by GDAL")));
    detail::WriteSurferGridOf(*values, path);
}

void detail::WriteSurferGridOf(GDALDataset& values, const fs::path& path)
{
    ErrorTrap trap;
    NoSideFiles noSideFiles;
    Staged staged({path});
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GS7BG");
    if (!driver)
        Fail(staged, trap.What("GDAL has no Surfer 7 driver"));
    // The driver writes the source's nodata cells as Surfer's blank value.
    CopyStaged(*driver, values, staged, trap);
    staged.Commit();
}

void WriteXyz(const GridResult& grid, const fs::path& path)
{
    RequireCells(grid);
    detail::WriteXyzOf(grid, RowsOf(grid), path);
}

void detail::RefuseUnknownFormat(const fs::path& path)
{
    throw Error("Unknown grid format \"" + Utf8(path.extension()) + "\": use " + std::string(kGridSuffixes) + ".");
}

void WriteGrid(const GridResult& grid, const ColourScale& scale, const fs::path& path)
{
    const std::optional<GridFormat> format = GridFormatFor(path);
    if (!format)
        detail::RefuseUnknownFormat(path);
    switch (*format) {
    case GridFormat::GeoTiff:
        WriteGeoTiff(grid, scale, path);
        return;
    case GridFormat::Kmz:
        WriteKmz(grid, scale, path);
        return;
    case GridFormat::Png:
        WritePng(grid, scale, path);
        return;
    case GridFormat::SurferGrd:
        WriteSurferGrid(grid, path);
        return;
    case GridFormat::Xyz:
        WriteXyz(grid, path);
        return;
    }
    throw Error("Unknown grid format.");
}

} // namespace qm::site
