// GCJ-02 and BD-09 as their widely published definitions give them.
#include "table/datum.h"

#include <cmath>

namespace table {

namespace {

constexpr double Pi = 3.14159265358979324;
constexpr double A = 6378245.0;               // Krasovsky semi-major axis
constexpr double Ee = 0.00669342162296594323; // its first eccentricity squared
constexpr double XPi = Pi * 3000.0 / 180.0;

bool outsideChina(LonLat p) {
    return p.lon < 72.004 || p.lon > 137.8347 || p.lat < 0.8293 || p.lat > 55.8271;
}

double offsetLat(double x, double y) {
    double r =
        -100.0 + 2.0 * x + 3.0 * y + 0.2 * y * y + 0.1 * x * y + 0.2 * std::sqrt(std::fabs(x));
    r += (20.0 * std::sin(6.0 * x * Pi) + 20.0 * std::sin(2.0 * x * Pi)) * 2.0 / 3.0;
    r += (20.0 * std::sin(y * Pi) + 40.0 * std::sin(y / 3.0 * Pi)) * 2.0 / 3.0;
    r += (160.0 * std::sin(y / 12.0 * Pi) + 320 * std::sin(y * Pi / 30.0)) * 2.0 / 3.0;
    return r;
}

double offsetLon(double x, double y) {
    double r = 300.0 + x + 2.0 * y + 0.1 * x * x + 0.1 * x * y + 0.1 * std::sqrt(std::fabs(x));
    r += (20.0 * std::sin(6.0 * x * Pi) + 20.0 * std::sin(2.0 * x * Pi)) * 2.0 / 3.0;
    r += (20.0 * std::sin(x * Pi) + 40.0 * std::sin(x / 3.0 * Pi)) * 2.0 / 3.0;
    r += (150.0 * std::sin(x / 12.0 * Pi) + 300.0 * std::sin(x / 30.0 * Pi)) * 2.0 / 3.0;
    return r;
}

LonLat wgs84ToGcj02Unbounded(LonLat p) {
    double dLat = offsetLat(p.lon - 105.0, p.lat - 35.0);
    double dLon = offsetLon(p.lon - 105.0, p.lat - 35.0);
    const double radLat = p.lat / 180.0 * Pi;
    double magic = std::sin(radLat);
    magic = 1 - Ee * magic * magic;
    const double sqrtMagic = std::sqrt(magic);
    dLat = (dLat * 180.0) / ((A * (1 - Ee)) / (magic * sqrtMagic) * Pi);
    dLon = (dLon * 180.0) / (A / sqrtMagic * std::cos(radLat) * Pi);
    return {p.lon + dLon, p.lat + dLat};
}

// The forward map with or without the box outside which GCJ-02 adds no offset.
LonLat forward(LonLat p, Datum to, bool offset) {
    if (to == Datum::Wgs84)
        return p;
    const LonLat gcj = offset ? wgs84ToGcj02Unbounded(p) : p;
    return to == Datum::Gcj02 ? gcj : gcj02ToBd09(gcj);
}

// The point that the forward map takes to p, by fixed-point iteration.
LonLat invert(LonLat p, Datum from, bool offset) {
    LonLat guess = p;
    for (int i = 0; i < 100; ++i) {
        const LonLat there = forward(guess, from, offset);
        const double stepLon = p.lon - there.lon, stepLat = p.lat - there.lat;
        guess.lon += stepLon;
        guess.lat += stepLat;
        if (std::fabs(stepLon) < 1e-9 && std::fabs(stepLat) < 1e-9)
            break;
    }
    return guess;
}

} // namespace

LonLat wgs84ToGcj02(LonLat p) {
    return outsideChina(p) ? p : wgs84ToGcj02Unbounded(p);
}

LonLat gcj02ToBd09(LonLat p) {
    const double z = std::sqrt(p.lon * p.lon + p.lat * p.lat) + 0.00002 * std::sin(p.lat * XPi);
    const double theta = std::atan2(p.lat, p.lon) + 0.000003 * std::cos(p.lon * XPi);
    return {z * std::cos(theta) + 0.0065, z * std::sin(theta) + 0.006};
}

LonLat bd09ToGcj02(LonLat p) {
    const double x = p.lon - 0.0065, y = p.lat - 0.006;
    const double z = std::sqrt(x * x + y * y) - 0.00002 * std::sin(y * XPi);
    const double theta = std::atan2(y, x) - 0.000003 * std::cos(x * XPi);
    return {z * std::cos(theta), z * std::sin(theta)};
}

LonLat fromWgs84(LonLat p, Datum to) {
    return forward(p, to, !outsideChina(p));
}

// Near the box's edges two points may have one image, one inside the box moved by the offset
// and one outside it left as it was: the one inside is taken, as a table of a Chinese web map's
// points is most likely of places inside it.
LonLat toWgs84(LonLat p, Datum from) {
    if (from == Datum::Wgs84)
        return p;
    const LonLat inside = invert(p, from, true);
    return outsideChina(inside) ? invert(p, from, false) : inside;
}

} // namespace table
