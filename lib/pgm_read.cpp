// Reading PGM headers and rows (PBM promoted), and the PGM raster check.
#include "pgm.h"
