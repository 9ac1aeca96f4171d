// Reading PPM headers and rows (PGM and PBM promoted), and the PPM raster check.
#include "ppm.h"
