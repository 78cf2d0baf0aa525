// The grid of a site: placed readings projected to their UTM zone and interpolated to a regular
// raster in metres with GDAL's gridding, and its export to GeoTIFF, KMZ, PNG with a world file,
// Surfer 7 and XYZ.
// Plain C++ on GDAL, no Qt; computing runs on the caller's thread (the window runs it on a worker).
// Every failure throws Error (errors.h) with the text the user reads; a stop asked for by the
// progress throws Cancelled (placed_readings.h).
#pragma once

#include "colour_scale.h"
#include "placed_readings.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qm::site {

enum class GridMethod {
    Linear,          // "linear": Delaunay triangulation, GGA_Linear
    InverseDistance, // "inverse distance": GGA_InverseDistanceToAPowerNearestNeighbor, power 2, 12 points
    Nearest,         // "nearest": GGA_NearestNeighbor
    Average,         // "average": GGA_MovingAverage
};

// The method's name as the window shows it ("linear", "inverse distance", "nearest", "average").
const char* MethodName(GridMethod method);
// Parses a method name as the window or the tool gives it: the names above, and "invdist" for
// inverse distance. Returns nullopt for anything else.
std::optional<GridMethod> ParseMethod(const std::string& name);

// Called now and then with the fraction done (0 to 1); returning false cancels the computation,
// which then throws Cancelled.
using GridProgress = std::function<bool(double fraction)>;

struct GridRequest {
    GridMethod method = GridMethod::Linear;
    // Metres; 0 or less for the default: a quarter of the line spacing rounded to 1, 2, 2.5 or 5
    // times a power of ten (made coarser, with a message, if it would exceed kMaxGridCells). A size
    // given must lie from kMinCellSize to kMaxCellSize and keep within kMaxGridCells.
    double cellSize = 0;
    // Metres; 0 or less for the default: twice the line spacing, to two significant digits. One
    // beyond the grid's diagonal is cut to it (the same grid). Non-finite sizes are refused.
    double radius = 0;
    GridProgress progress;
};

// The most cells a grid may have: 400 MB of Float32 values.
inline constexpr std::uint64_t kMaxGridCells = 100'000'000;
// The cell sizes allowed, metres: positions are kept to a millimetre.
inline constexpr double kMinCellSize = 0.001;
inline constexpr double kMaxCellSize = 1'000'000;
// The value of an empty cell in the grid and in the GeoTIFF.
inline constexpr float kNoData = -9999.0f;

struct GridResult {
    std::vector<std::string> messages; // notes on the grid, e.g. the readings spanning two zones

    // WGS 84 / UTM zone of the readings' median position; zone 0 for UPS North or South, which
    // the grid takes when that position lies north of 84°N or south of 80°S.
    int zone = 0;
    bool north = true;
    int epsg = 0; // 326zz north, 327zz south, 32661 UPS North, 32761 UPS South

    double lineSpacing = 0; // the estimated spacing between lines, metres
    double cellSize = 0;    // used, metres
    double radius = 0;      // used, metres
    GridMethod method = GridMethod::Linear;

    // Raster of width x height cells, row 0 at the north edge; the cell (col, row) covers
    // [originX + col*cellSize, originX + (col+1)*cellSize] east and
    // [originY - (row+1)*cellSize, originY - row*cellSize] north, in UTM metres.
    int width = 0;
    int height = 0;
    double originX = 0; // west edge
    double originY = 0; // north edge
    std::vector<float> values; // width*height, row by row; kNoData where no reading is within the radius

    std::uint64_t readingsUsed = 0;
    std::uint64_t readingsLeftOut = 0; // readings with a non-finite position or value

    float At(int col, int row) const { return values[static_cast<std::size_t>(row) * width + col]; }
};

// The grid's coordinate system as the user reads it: "UTM zone 33N", "UPS North".
std::string ZoneName(const GridResult& grid);

// The farthest readings may lie from their median position (great circle, the short way round the
// antimeridian): a grid spanning continents would be all empty cells.
inline constexpr double kMaxGridSpreadMetres = 1'000'000;

// Grids readings given as WGS 84 degrees. Readings that cannot be gridded (none with a position,
// spread over continents, a cell size out of range, ...) throw Error saying why, as does running
// out of memory; a stop throws Cancelled.
GridResult ComputeGrid(std::span<const double> lon, std::span<const double> lat, std::span<const double> value,
                       const GridRequest& request);
GridResult ComputeGrid(const PlacedReadings& readings, const GridRequest& request);
// The readings gridded by values of their own given apart, one a reading (processed ones: a gap,
// NaN, is left out), so that no copy of the readings is made for them. Values that do not fit the
// readings throw Error.
GridResult ComputeGrid(const PlacedReadings& readings, std::span<const double> value, const GridRequest& request);

// The default colour scale of a grid: that of the values of its cells that are not empty.
ColourScale GridScale(const GridResult& grid, Palette palette = Palette::Diverging);

// Exports. Each writes to a temporary name in the target's folder and renames it when complete,
// so a failure leaves no file under the name (nor a partial one). A failure throws Error ("Cannot
// write FILE: REASON" when writing failed, "There is no grid to write." for a grid without cells).
// The GeoTIFF comes with a QGIS layer style of the same name and ".qml" (QGIS loads it by itself):
// the band coloured by the scale's palette over its range, as the site map shows the grid; without
// a scale, by GridScale(grid).
void WriteGeoTiff(const GridResult& grid, const ColourScale& scale, const std::filesystem::path& path);
void WriteGeoTiff(const GridResult& grid, const std::filesystem::path& path);
// The coloured grid, transparent where empty, as a Google Earth ground overlay in WGS 84.
void WriteKmz(const GridResult& grid, const ColourScale& scale, const std::filesystem::path& path);
// The coloured grid as an RGBA PNG with its world file (.pgw) and coordinate system (.prj).
void WritePng(const GridResult& grid, const ColourScale& scale, const std::filesystem::path& path);
// Surfer 7 binary grid (GDAL's GS7BG): the values in UTM metres, empty cells as Surfer's blank value.
void WriteSurferGrid(const GridResult& grid, const std::filesystem::path& path);
// ASCII XYZ: one "X Y Z" line per cell that is not empty, at the cell's centre in UTM metres, row by
// row from the north, west to east.
void WriteXyz(const GridResult& grid, const std::filesystem::path& path);
// By the format GridFormatFor tells from the name of `path` (output_format.h); a name of no grid
// format throws Error naming the formats known.
void WriteGrid(const GridResult& grid, const ColourScale& scale, const std::filesystem::path& path);

// The most cells of a grid that GridToFile holds whole (64 MB of values).
inline constexpr std::uint64_t kMaxWholeGridCells = 16'000'000;

// Grids the readings and writes the grid to `path`, as ComputeGrid and then WriteGrid with
// GridScale give it. A grid of more than `wholeCells` cells is never held whole: its rows go to a
// GeoTIFF as they are gridded, a band of blocks at a time (the cells are the same), and the colour
// scale is read back from that file; a format GDAL can only copy whole is copied from a temporary
// GeoTIFF beside the target. Its values then stay empty, so that the memory holds the readings and
// a few blocks. Whatever ComputeGrid or WriteGrid throws is thrown ("Cannot write FILE: REASON" when
// writing failed), as is Cancelled, and then nothing is left under the name.
GridResult GridToFile(const PlacedReadings& readings, const GridRequest& request, const std::filesystem::path& path,
                      std::uint64_t wholeCells = kMaxWholeGridCells);
GridResult GridToFile(std::span<const double> lon, std::span<const double> lat, std::span<const double> value,
                      const GridRequest& request, const std::filesystem::path& path,
                      std::uint64_t wholeCells = kMaxWholeGridCells);

// The grid as a web map shows it: its values warped from UTM to WGS 84 longitude and latitude
// (nearest cell, so values never blend), kNoData outside the grid and in empty cells. A UTM
// raster is turned against the meridians, so a plain image between its corners would misplace
// cells by metres across a site; the warped one lies square in the degrees, as an image overlay
// on the map needs.
struct GeographicGrid {
    int width = 0;
    int height = 0;
    // Edges in degrees. West lies from -180 to 180; for a grid across the antimeridian east lies
    // beyond 180, so that the extent stays in one piece.
    double west = 0;
    double south = 0;
    double east = 0;
    double north = 0;
    std::vector<float> values; // width*height, row 0 at the north edge
};
// At most `maxSide` pixels on the longer side: a finer grid is sampled down. Throws Error for a
// grid without cells ("There is no grid to show.") and when GDAL cannot warp it.
GeographicGrid WarpToWgs84(const GridResult& grid, int maxSide = 4096);

// Values coloured by the scale as RGBA bytes, four a value, transparent where kNoData.
std::vector<std::uint8_t> ColourPixels(std::span<const float> values, const ColourScale& scale);

} // namespace qm::site
