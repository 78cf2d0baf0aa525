// The grid's outputs as text: the QGIS layer style beside a GeoTIFF, and ASCII XYZ values.
#include "grid_write.h"

#include "errors.h"
#include "staged_file.h"

#include <array>
#include <charconv>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

namespace qm::site {

namespace {

namespace fs = std::filesystem;

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

bool detail::WriteStyle(const ColourScale& scale, const fs::path& path)
{
    // QGIS loads the style beside a raster of the same name by itself.
    std::ofstream out(path, std::ios::binary);
    out << QgisStyle(scale);
    out.close();
    return static_cast<bool>(out);
}

void detail::WriteXyzOf(const GridResult& grid, const RowReader& rows, const fs::path& path)
{
    StagedOutput output(path);
    std::string& text = output.Buffer();
    std::vector<float> values(static_cast<std::size_t>(grid.width));
    // Row by row from the north, west to east: the order GDAL's XYZ reader takes.
    for (int row = 0; row < grid.height; ++row) {
        if (!rows(row, values))
            throw Error(WriteFailure(path, "the grid's values cannot be read back"));
        const double y = grid.originY - (row + 0.5) * grid.cellSize;
        for (int col = 0; col < grid.width; ++col) {
            const float v = values[static_cast<std::size_t>(col)];
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
}

} // namespace qm::site
