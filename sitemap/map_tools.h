// The site map's tools on the map: the pointer readout (latitude and longitude, and easting and
// northing in the site's grid zone, UTM or UPS near the poles, projected with GDAL/OGR here rather
// than in the page), and the object through which the page asks for it.
#pragma once

#include "grid.h"
#include "placed_readings.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class OGRCoordinateTransformation;

namespace qm {

// A zone of WGS 84 / UTM (zone 1 to 60) or UPS (zone 0), as the grid takes it.
struct SiteZone {
    int zone = 0;
    bool north = true;
    int epsg = 0; // 0: none
    std::string name; // "UTM zone 33N", "UPS North"
};

// The zone the grid of these readings would be in: that of their median position, UPS North or
// South beyond 84°N and 80°S; no zone (epsg 0) without a reading.
SiteZone ZoneOfReadings(const site::PlacedReadings& readings);
SiteZone ZoneOfGrid(const site::GridResult& grid);

// Longitude and latitude (WGS 84 degrees) to easting and northing in a zone, with GDAL/OGR.
class ZoneProjection {
public:
    explicit ZoneProjection(const SiteZone& zone);
    ~ZoneProjection();
    ZoneProjection(const ZoneProjection&) = delete;
    ZoneProjection& operator=(const ZoneProjection&) = delete;

    const SiteZone& Zone() const { return zone_; }
    // False when the point cannot be projected (or there is no zone).
    bool Project(double lon, double lat, double& easting, double& northing) const;

private:
    SiteZone zone_;
    std::unique_ptr<OGRCoordinateTransformation> transform_;
};

// The readout of a point: "56.750123° N, 37.200456° E" and, on a second line, "UTM zone 37N:
// 412345.6 E, 6289123.4 N" when the zone projects it. The longitude is taken modulo 360.
QString PointerReadout(double lat, double lon, const ZoneProjection* projection);

// The object the page sees as "siteTools" through the web channel.
class MapToolsBridge : public QObject {
    Q_OBJECT

public:
    explicit MapToolsBridge(QObject* parent = nullptr) : QObject(parent) {}

    std::function<QString(double lat, double lon)> onLocate;

    // The readout of the point under the pointer.
    Q_INVOKABLE QString Locate(double lat, double lon);
};

} // namespace qm
