// geometry.cpp - see geometry.h.
//
// Every distance is computed in double and stored by the caller as the float
// the solver holds.  TSPLIB's rules are followed to the letter, truncations,
// its value of pi and its Earth radius included, since the published optima
// of those instances are measured with them; only an acos argument that
// rounding pushed out of [-1, 1] is brought back, where TSPLIB's code would
// return NaN.  The C casts to int of TSPLIB's code are truncations, which
// std::trunc does for every value, so no coordinate can overflow them.
#include "geometry.h"

#include <cmath>

static const double RADIANS = M_PI / 180.0;

double haversine_cosine(double lat) { return std::cos(lat * RADIANS); }

double haversine_km(double lon1, double lat1, double cos_lat1, double lon2, double lat2, double cos_lat2) {
    double half_dphi = (lat2 - lat1) * RADIANS / 2.0, half_dlambda = (lon2 - lon1) * RADIANS / 2.0;
    double h = std::sin(half_dphi) * std::sin(half_dphi) +
               cos_lat1 * cos_lat2 * std::sin(half_dlambda) * std::sin(half_dlambda);
    if (h > 1.0) h = 1.0;
    return 2.0 * EARTH_RADIUS_KM * std::asin(std::sqrt(h));
}

double haversine_km(double lon1, double lat1, double lon2, double lat2) {
    return haversine_km(lon1, lat1, haversine_cosine(lat1), lon2, lat2, haversine_cosine(lat2));
}

// TSPLIB: degrees are the integer part (truncated), the fraction is minutes.
static double tsplib_geo_radians(double coordinate) {
    const double PI = 3.141592;
    double degrees = std::trunc(coordinate);
    double minutes = coordinate - degrees;
    return PI * (degrees + 5.0 * minutes / 3.0) / 180.0;
}

double tsplib_geo_distance(double lat1, double lon1, double lat2, double lon2) {
    const double RRR = 6378.388;
    double latitude1 = tsplib_geo_radians(lat1), longitude1 = tsplib_geo_radians(lon1);
    double latitude2 = tsplib_geo_radians(lat2), longitude2 = tsplib_geo_radians(lon2);
    double q1 = std::cos(longitude1 - longitude2);
    double q2 = std::cos(latitude1 - latitude2);
    double q3 = std::cos(latitude1 + latitude2);
    double argument = 0.5 * ((1.0 + q1) * q2 - (1.0 - q1) * q3);
    if (argument > 1.0) argument = 1.0;
    if (argument < -1.0) argument = -1.0;
    return std::trunc(RRR * std::acos(argument) + 1.0);
}

double tsplib_att_distance(double x1, double y1, double x2, double y2) {
    double dx = x1 - x2, dy = y1 - y2;
    double r = std::sqrt((dx * dx + dy * dy) / 10.0);
    double t = std::trunc(r + 0.5);  // TSPLIB's nint (r is never negative)
    return t < r ? t + 1.0 : t;
}

double tsplib_geo_degrees(double coordinate) {
    double degrees = std::trunc(coordinate);
    return degrees + (coordinate - degrees) * 100.0 / 60.0;
}
