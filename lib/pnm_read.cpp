// Reading any portable map into rows of rgbpixel, and the PNM raster check.
#include "pnm.h"
