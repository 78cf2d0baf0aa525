// The pointer readout of the site map: the site's zone and the projection to it through GDAL/OGR.
#include "map_tools.h"

#include <QLocale>

#include <ogr_spatialref.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace qm {

namespace {

// The median of the finite values (the upper of the middle two), or NaN.
double Median(const std::vector<double>& values)
{
    std::vector<double> finite;
    finite.reserve(values.size());
    for (const double v : values)
        if (std::isfinite(v))
            finite.push_back(v);
    if (finite.empty())
        return std::nan("");
    const auto middle = finite.begin() + static_cast<std::ptrdiff_t>(finite.size() / 2);
    std::nth_element(finite.begin(), middle, finite.end());
    return *middle;
}

QString Fixed(double value, int decimals)
{
    return QLocale::c().toString(value, 'f', decimals);
}

} // namespace

SiteZone ZoneOfGrid(const site::GridResult& grid)
{
    SiteZone zone;
    if (grid.epsg == 0)
        return zone;
    zone.zone = grid.zone;
    zone.north = grid.north;
    zone.epsg = grid.epsg;
    zone.name = site::ZoneName(grid);
    return zone;
}

SiteZone ZoneOfReadings(const site::PlacedReadings& readings)
{
    // As the grid chooses it: the zone of the median longitude, UPS beyond the UTM zones' ends.
    const double lat = Median(readings.lat);
    const double lon = Median(readings.lon);
    if (!std::isfinite(lat) || !std::isfinite(lon))
        return {};
    site::GridResult grid;
    grid.north = lat >= 0;
    if (lat > 84 || lat < -80) {
        grid.zone = 0;
        grid.epsg = grid.north ? 32661 : 32761;
    } else {
        const double wrapped = std::remainder(lon, 360.0);
        grid.zone = std::clamp(static_cast<int>(std::floor((wrapped + 180.0) / 6.0)) + 1, 1, 60);
        grid.epsg = (grid.north ? 32600 : 32700) + grid.zone;
    }
    return ZoneOfGrid(grid);
}

ZoneProjection::ZoneProjection(const SiteZone& zone) : zone_(zone)
{
    if (zone.epsg == 0)
        return;
    OGRSpatialReference wgs84;
    OGRSpatialReference projected;
    if (wgs84.importFromEPSG(4326) != OGRERR_NONE || projected.importFromEPSG(zone.epsg) != OGRERR_NONE)
        return;
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    projected.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    transform_.reset(OGRCreateCoordinateTransformation(&wgs84, &projected));
}

ZoneProjection::~ZoneProjection() = default;

bool ZoneProjection::Project(double lon, double lat, double& easting, double& northing) const
{
    if (!transform_ || !std::isfinite(lon) || !std::isfinite(lat))
        return false;
    double x = std::remainder(lon, 360.0), y = lat;
    if (!transform_->Transform(1, &x, &y) || !std::isfinite(x) || !std::isfinite(y))
        return false;
    easting = x;
    northing = y;
    return true;
}

QString PointerReadout(double lat, double lon, const ZoneProjection* projection)
{
    if (!std::isfinite(lat) || !std::isfinite(lon))
        return {};
    lon = std::remainder(lon, 360.0);
    QString text = QStringLiteral("%1\u00b0 %2, %3\u00b0 %4")
                       .arg(Fixed(std::fabs(lat), 6), lat < 0 ? QStringLiteral("S") : QStringLiteral("N"),
                            Fixed(std::fabs(lon), 6), lon < 0 ? QStringLiteral("W") : QStringLiteral("E"));
    double easting = 0, northing = 0;
    if (projection && projection->Project(lon, lat, easting, northing))
        text += QStringLiteral("\n%1: %2 E, %3 N")
                    .arg(QString::fromStdString(projection->Zone().name), Fixed(easting, 1), Fixed(northing, 1));
    return text;
}

QString MapToolsBridge::Locate(double lat, double lon)
{
    return onLocate ? onLocate(lat, lon) : QString();
}

} // namespace qm
