// Writing any portable map from rows of rgbpixel.
#include "pnm.h"
