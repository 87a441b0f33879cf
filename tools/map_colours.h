// map_colours.h - the colours of a solution's clusters on a map.
#ifndef PMEDIAN_TOOLS_MAP_COLOURS_H
#define PMEDIAN_TOOLS_MAP_COLOURS_H

#include <vector>

// The palette: colours (0xRRGGBB) that stay apart from each other on white,
// each next one far from the one before.
extern const std::vector<unsigned> MAP_PALETTE;

// A palette index per cluster (k: the k-th median of medians) such that
// clusters that meet on the map differ.  x and y are the vertices' places
// on the map, median_of each vertex's median.  Up to the palette's size
// every cluster has a colour of its own.  Beyond it two clusters meet when
// a client of one has the other's median as its nearest median but its
// own, or when their medians are among each other's six nearest; each
// cluster, those with the most neighbours first, takes a colour that no
// neighbour has yet (or the one fewest neighbours have), of those the one
// fewest clusters have so far, so that the whole palette is used.
std::vector<int> cluster_colours(const std::vector<double> &x, const std::vector<double> &y,
                                 const std::vector<int> &medians, const std::vector<int> &median_of);

#endif
