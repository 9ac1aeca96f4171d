// Colour hash tables and histograms.
#include "ppm.h"
