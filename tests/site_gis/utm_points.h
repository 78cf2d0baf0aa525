// Test sites laid out in metres of a UTM zone, turned into the WGS 84 degrees the readings hold.
#pragma once

#include <ogr_spatialref.h>

#include <memory>
#include <vector>

namespace qm::test {

// Turns points given as easting `x` and northing `y` in the zone `epsg` into longitude and
// latitude, in place.
inline void UtmToWgs84(int epsg, std::vector<double>& x, std::vector<double>& y)
{
    OGRSpatialReference utm, wgs84;
    utm.importFromEPSG(epsg);
    wgs84.importFromEPSG(4326);
    utm.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<OGRCoordinateTransformation> toWgs(OGRCreateCoordinateTransformation(&utm, &wgs84));
    toWgs->Transform(static_cast<int>(x.size()), x.data(), y.data());
}

} // namespace qm::test
