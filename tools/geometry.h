// geometry.h - distances between points: plane, sphere, and TSPLIB's GEO
// and ATT rules.
#ifndef PMEDIAN_TOOLS_GEOMETRY_H
#define PMEDIAN_TOOLS_GEOMETRY_H

// The mean radius of the Earth in kilometres (IUGG), used for great-circle
// distances between longitude/latitude points.
const double EARTH_RADIUS_KM = 6371.0;

#include <cmath>

// Straight-line distance in the plane (inline: rows of them are computed in
// tight loops).
inline double euclid_distance(double x1, double y1, double x2, double y2) {
    double dx = x1 - x2, dy = y1 - y2;
    return std::sqrt(dx * dx + dy * dy);
}

// Great-circle distance in kilometres by the haversine formula, between
// points given as longitude and latitude in decimal degrees.
double haversine_km(double lon1, double lat1, double lon2, double lat2);
// The same with the cosine of each latitude given as haversine_cosine
// computes it, so that a row of distances from one point computes the
// cosines once per point rather than once per pair; the same bits.
double haversine_km(double lon1, double lat1, double cos_lat1, double lon2, double lat2, double cos_lat2);
double haversine_cosine(double lat);

// TSPLIB's GEO distance: coordinates are latitude and longitude written as
// DDD.MM (degrees and minutes), the result a whole number of kilometres on a
// sphere of radius 6378.388, with TSPLIB's own truncations.
double tsplib_geo_distance(double lat1, double lon1, double lat2, double lon2);

// TSPLIB's pseudo-Euclidean ATT distance: sqrt((dx^2 + dy^2) / 10) rounded
// up to a whole number by TSPLIB's rule.
double tsplib_att_distance(double x1, double y1, double x2, double y2);

// A TSPLIB GEO coordinate (DDD.MM) in decimal degrees, for maps.
double tsplib_geo_degrees(double coordinate);

#endif
