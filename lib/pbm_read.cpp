// Reading PBM headers and rows, and the PBM raster check.
#include "pbm.h"
