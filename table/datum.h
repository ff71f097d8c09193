// The datums of Chinese web maps: GCJ-02 (AMap, Tencent, Google's map of China) and BD-09
// (Baidu), to and from WGS-84, the datum of a globe viewer's imagery.
#pragma once

namespace table {

enum class Datum { Wgs84, Gcj02, Bd09 };

struct LonLat {
    double lon = 0;
    double lat = 0;
};

// WGS-84 to GCJ-02 by the published offset polynomials on the Krasovsky ellipsoid; unchanged
// outside mainland China's box (72.004–137.8347 E, 0.8293–55.8271 N).
LonLat wgs84ToGcj02(LonLat p);
// GCJ-02 to BD-09 and back by the published rotation, everywhere.
LonLat gcj02ToBd09(LonLat p);
LonLat bd09ToGcj02(LonLat p);

// A point of the datum taken to WGS-84: the forward map inverted by fixed-point iteration until
// the step is below 1e-9 degrees, so that a point taken forward and back lands within 1e-7
// degrees of where it started.
LonLat toWgs84(LonLat p, Datum from);
// A WGS-84 point in the datum.
LonLat fromWgs84(LonLat p, Datum to);

} // namespace table
