// Scenery tile names: one file per one-degree tile in one folder per
// ten-degree square.
#pragma once

#include <string>

// "+40-130/+47-122.dsf" for the tile whose south-west corner is lat 47, lon -122.
void return_latlon_str_dsf(int lat, int lon, std::string* out);
