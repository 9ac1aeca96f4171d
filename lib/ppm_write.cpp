// Writing PPM images, raw and plain.
#include "ppm.h"
