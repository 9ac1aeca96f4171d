// Checking the rest of a file against the size of a raw raster.
#include "pm.h"
