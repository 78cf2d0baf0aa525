// Output formats by the suffix of a name.
#include "output_format.h"

#include "file_io.h"

#include <string>
#include <utility>

namespace qm::site {

namespace {

template <typename Format, std::size_t N>
std::optional<Format> Lookup(const std::filesystem::path& path, const std::pair<std::string_view, Format> (&table)[N])
{
    std::string suffix = Utf8Of(path.extension());
    for (char& c : suffix)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    for (const auto& [name, format] : table)
        if (suffix == name)
            return format;
    return std::nullopt;
}

} // namespace

std::optional<ExportFormat> ReadingsFormatFor(const std::filesystem::path& path)
{
    static constexpr std::pair<std::string_view, ExportFormat> kTable[] = {
        {".geojson", ExportFormat::GeoJson},
        {".json", ExportFormat::GeoJson},
        {".csv", ExportFormat::Csv},
        {".gpkg", ExportFormat::GeoPackage},
    };
    return Lookup(path, kTable);
}

std::optional<GridFormat> GridFormatFor(const std::filesystem::path& path)
{
    static constexpr std::pair<std::string_view, GridFormat> kTable[] = {
        {".tif", GridFormat::GeoTiff}, {".tiff", GridFormat::GeoTiff}, {".kmz", GridFormat::Kmz},
        {".png", GridFormat::Png},     {".grd", GridFormat::SurferGrd}, {".xyz", GridFormat::Xyz},
    };
    return Lookup(path, kTable);
}

} // namespace qm::site
